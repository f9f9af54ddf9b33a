#include "pictures/QtPictureDecoder.h"

#include <QImage>
#include <QImageReader>
#include <QLoggingCategory>
#include <QString>

#include <cstring>

namespace pelcrow {

namespace {

// Decoded at least this large on its shorter side, so the hash's 32x32 average is not taken
// from a handful of pixels; JPEG decodes straight to about this size.
constexpr int kDecodeSide = 128;

bool Decode(const std::string& Path, TGreyPicture& Out) {
  QImageReader reader(QString::fromStdString(Path));
  reader.setAutoTransform(true);
  // A picture claiming a huge size is not worth the memory.
  reader.setAllocationLimit(256);
  const QSize size = reader.size();
  if (size.isValid() && size.width() > 2 * kDecodeSide && size.height() > 2 * kDecodeSide)
    reader.setScaledSize(size.scaled(kDecodeSide, kDecodeSide, Qt::KeepAspectRatioByExpanding));
  QImage image = reader.read();
  if (image.isNull()) return false;
  image = image.convertToFormat(QImage::Format_Grayscale8);
  if (image.isNull()) return false;
  Out.Width = image.width();
  Out.Height = image.height();
  Out.Pixels.resize(static_cast<std::size_t>(Out.Width) * static_cast<std::size_t>(Out.Height));
  for (int y = 0; y < Out.Height; ++y)
    std::memcpy(Out.Pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(Out.Width),
                image.constScanLine(y), static_cast<std::size_t>(Out.Width));
  return true;
}

}  // namespace

TPictureDecoder QtPictureDecoder() {
  // libpng's complaints about pictures it still reads (a known-wrong sRGB profile...) reach
  // stderr through Qt's image-reader category; the scan's own outcome is what the user needs.
  static const bool quiet = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.warning=false"));
    return true;
  }();
  (void)quiet;
  return &Decode;
}

}  // namespace pelcrow
