#include "ui/PreviewLoader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPointer>
#include <QStringDecoder>

#include <algorithm>

#ifdef PELCROW_HAVE_QTPDF
#include <QPainter>
#include <QPdfDocument>
#endif

#include "audiotags/AudioTags.h"
#include "audiotags/CoverArt.h"
#include "ui/ThumbnailCache.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

constexpr int kTextLines = 60;
constexpr qint64 kTextBytes = 16 * 1024;

QImage Fit(QImage image, QSize box) {
  if (image.isNull() || box.isEmpty()) return image;
  if (image.width() > box.width() || image.height() > box.height())
    image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return image;
}

bool LoadPicture(const QString& file, QSize box, TPreviewContent& c) {
  QImageReader reader(file);
  reader.setAutoTransform(true);
  if (!reader.canRead()) return false;
  QSize size = reader.size();
  // Decoding straight to the box keeps a large photo from costing its full size in memory.
  if (size.isValid() && !box.isEmpty() && (size.width() > box.width() || size.height() > box.height()))
    reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio));
  QImage image = reader.read();
  if (image.isNull()) return false;
  if (!size.isValid()) size = image.size();
  c.Image = Fit(std::move(image), box);
  c.FullSize = size;
  c.Kind = TPreviewKind::pkPicture;
  return true;
}

bool LoadText(const QString& file, TPreviewContent& c) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = f.read(kTextBytes);
  c.Text = DecodePreviewText(bytes, kTextLines);
  c.Kind = TPreviewKind::pkText;
  return true;
}

#ifdef PELCROW_HAVE_QTPDF
bool LoadPdf(const QString& file, QSize box, TPreviewContent& c) {
  QPdfDocument doc;
  if (doc.load(file) != QPdfDocument::Error::None || doc.pageCount() < 1) return false;
  const QSizeF points = doc.pagePointSize(0);
  if (points.isEmpty()) return false;
  const QSize size = points.toSize().scaled(box.isEmpty() ? QSize(512, 512) : box, Qt::KeepAspectRatio);
  QImage page = doc.render(0, size);
  if (page.isNull()) return false;
  // Pages are transparent where nothing is drawn; paper is white.
  QImage paper(page.size(), QImage::Format_RGB32);
  paper.fill(Qt::white);
  {
    QPainter p(&paper);
    p.drawImage(0, 0, page);
  }
  c.Image = paper;
  c.FullSize = points.toSize();
  c.Kind = TPreviewKind::pkPdf;
  return true;
}
#endif

QString Duration(const std::string& seconds) {
  bool ok = false;
  const double s = QString::fromStdString(seconds).toDouble(&ok);
  if (!ok || s <= 0) return {};
  const long long whole = static_cast<long long>(s + 0.5);
  return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

bool LoadAudio(const std::string& path, QSize box, TPreviewContent& c) {
  const auto parser = TAudioParserClass::Recognize(path);
  if (!parser) return false;
  // Labels stay untranslated here: translating is the window thread's business.
  auto add = [&c](const char* label, const QString& value) {
    if (!value.trimmed().isEmpty()) c.Tags.push_back({label, value.trimmed()});
  };
  add("Title", QString::fromStdString(parser->Title()));
  add("Artist", QString::fromStdString(parser->Artist()));
  add("Album", QString::fromStdString(parser->Album()));
  const std::string track = parser->Track();
  add("Track", track == "0" ? QString() : QString::fromStdString(track));
  add("Year", QString::fromStdString(parser->Year()));
  add("Genre", QString::fromStdString(parser->Genre()));
  add("Duration", Duration(parser->Duration()));
  const std::string rate = parser->BitRate();
  add("Bit Rate", rate.empty() || rate == "0" ? QString() : QString::fromStdString(rate) + QStringLiteral(" kbit/s"));
  TCoverArt art;
  if (ReadCoverArt(path, art)) {
    QImage cover = QImage::fromData(QByteArray::fromRawData(art.Data.data(), static_cast<qsizetype>(art.Data.size())));
    if (!cover.isNull()) {
      c.FullSize = cover.size();
      c.Image = Fit(cover.copy(), box);
    }
  }
  c.Kind = TPreviewKind::pkAudio;
  return true;
}

}  // namespace

QString DecodePreviewText(const QByteArray& bytes, int maxLines) {
  QString text;
  const auto bom = QStringConverter::encodingForData(bytes);
  if (bom) {
    QStringDecoder decoder(*bom);
    text = decoder(bytes);
  } else {
    QStringDecoder utf8(QStringConverter::Utf8);
    text = utf8(bytes);
    // A read cut inside a character is no reason to call the file something else.
    bool invalid = utf8.hasError();
    if (invalid && bytes.size() >= kTextBytes) {
      QStringDecoder again(QStringConverter::Utf8);
      int cut = static_cast<int>(bytes.size());
      for (int back = 1; back <= 3 && cut - back > 0; ++back) {
        const QString t = again(bytes.left(cut - back));
        if (!again.hasError()) {
          text = t;
          invalid = false;
          break;
        }
        again.resetState();
      }
    }
    if (invalid) {
      QStringDecoder ansi("windows-1252");
      text = ansi.isValid() ? ansi(bytes) : QString::fromLatin1(bytes);
    }
  }
  if (!text.isEmpty() && text.front() == QChar(0xFEFF)) text.remove(0, 1);
  QStringList lines = text.split(QLatin1Char('\n'));
  if (lines.size() > maxLines) lines.resize(maxLines);
  for (QString& l : lines) {
    if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
    l.replace(QLatin1Char('\t'), QStringLiteral("    "));
  }
  return lines.join(QLatin1Char('\n'));
}

TPreviewContent LoadPreview(const std::string& path, QSize box) {
  TPreviewContent c;
  c.Path = path;
  const QString file = PathText(path);
  const QFileInfo info(file);
  if (!info.exists() || info.isDir()) return c;
  c.Exists = true;
  {
    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) c.Size = f.size();
  }
  try {
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
    const QString name = mime.name();
    bool own = false;
    if (name.startsWith(QStringLiteral("image/"))) own = LoadPicture(file, box, c);
    else if (name.startsWith(QStringLiteral("audio/"))) own = LoadAudio(path, box, c);
#ifdef PELCROW_HAVE_QTPDF
    else if (name == QStringLiteral("application/pdf")) own = LoadPdf(file, box, c);
#endif
    if (!own && mime.inherits(QStringLiteral("text/plain"))) own = LoadText(file, c);
    if (own) {
      c.State = psOwnPreview;
      return c;
    }
    c.Image = Fit(FindThumbnail(path, std::max(box.width(), box.height())), box);
    if (!c.Image.isNull()) {
      c.State = psThumbnail;
      c.Kind = TPreviewKind::pkThumbnail;
      return c;
    }
    c.IconNames << mime.iconName() << mime.genericIconName();
  } catch (...) {
    c.Image = QImage();
    c.Text.clear();
  }
  c.State = psIcon;
  c.Kind = TPreviewKind::pkIcon;
  c.IconNames << QStringLiteral("text-x-generic");
  return c;
}

TPreviewer::TPreviewer(QObject* parent) : QObject(parent) {
  qRegisterMetaType<TPreviewContent>();
  fPool.setMaxThreadCount(2);
  // Idle threads go away: the panel may sit unused for hours.
  fPool.setExpiryTimeout(10000);
}

TPreviewer::~TPreviewer() {
  ++*fGeneration;
  fPool.clear();
  fPool.waitForDone();
}

void TPreviewer::PreviewFile(const std::string& path, QSize box) {
  const std::uint64_t generation = ++*fGeneration;
  fPath = path;
  fBusy = true;
  // Requests still queued are stale now.
  fPool.clear();
  QPointer<TPreviewer> self(this);
  auto current = fGeneration;
  fPool.start([self, current, generation, path, box] {
    if (current->load() != generation) return;
    TPreviewContent content = LoadPreview(path, box);
    if (current->load() != generation) return;
    // The previewer waits for its threads before it goes, so self is alive while this runs.
    QMetaObject::invokeMethod(
        self.data(),
        [self, current, generation, content = std::move(content)] {
          if (!self || current->load() != generation) return;
          self->fBusy = false;
          emit self->Ready(content);
        },
        Qt::QueuedConnection);
  });
}

void TPreviewer::SetPreviewPosition(QSize box) {
  if (!fPath.empty()) PreviewFile(fPath, box);
}

void TPreviewer::ClosePreview() {
  ++*fGeneration;
  fPool.clear();
  fPath.clear();
  fBusy = false;
}

}  // namespace pelcrow::ui
