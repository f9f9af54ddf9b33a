// The preview component: what the preview panel shows for one file, built off the window's
// thread. In order: our own preview (pictures in every format the image plugins read, the first
// lines of a text file, the first page of a PDF where Qt Pdf is built in, a song's tags and cover
// art), then a thumbnail another program left in the desktop's cache, then the file type's icon.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pelcrow::ui {

// What the panel shows; the numbers are those the window keeps.
enum TPreviewState : std::uint8_t {
  psNone = 0,
  psIcon = 1,
  psThumbnail = 2,
  psOwnPreview = 3,
};

enum class TPreviewKind : std::uint8_t { pkNone, pkPicture, pkText, pkPdf, pkAudio, pkThumbnail, pkIcon };

struct TPreviewContent {
  std::string Path;
  bool Exists = false;
  std::int64_t Size = -1;  // -1 when the file cannot be opened
  TPreviewState State = psNone;
  TPreviewKind Kind = TPreviewKind::pkNone;
  QImage Image;        // the picture, page, cover or thumbnail, at most the box large
  QSize FullSize;      // a picture's own size
  QString Text;        // a text file's first lines
  std::vector<std::pair<const char*, QString>> Tags;  // a song's tags: untranslated label, value
  QStringList IconNames;  // psIcon: theme names, the most specific first
};

// Builds the content for a box of the given size; reads the file, so never on the window's
// thread. Any failure gives a poorer preview, never an exception.
TPreviewContent LoadPreview(const std::string& path, QSize box);

// The first lines of a text file, decoded by its byte-order mark, else as UTF-8 when it is valid
// UTF-8, else as Windows-1252.
QString DecodePreviewText(const QByteArray& bytes, int maxLines);

// Runs LoadPreview on its own threads. Only the newest request is answered: an older one that
// finishes later is dropped, so quick row changes never show a stale file.
class TPreviewer final : public QObject {
  Q_OBJECT

 public:
  explicit TPreviewer(QObject* parent = nullptr);
  ~TPreviewer() override;

  // Starts the preview of path for a box; Ready follows unless another call or ClosePreview
  // comes first.
  void PreviewFile(const std::string& path, QSize box);
  // The box changed: the current file is built again at the new size.
  void SetPreviewPosition(QSize box);
  // Forgets the pending request.
  void ClosePreview();
  bool Busy() const { return fBusy; }

 signals:
  void Ready(const pelcrow::ui::TPreviewContent& content);

 private:
  QThreadPool fPool;
  std::shared_ptr<std::atomic<std::uint64_t>> fGeneration = std::make_shared<std::atomic<std::uint64_t>>(0);
  std::string fPath;
  bool fBusy = false;
};

}  // namespace pelcrow::ui

Q_DECLARE_METATYPE(pelcrow::ui::TPreviewContent)
