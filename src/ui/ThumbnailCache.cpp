#include "ui/ThumbnailCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>

#include <map>
#include <vector>

#include "platform/UriEncoding.h"

namespace pelcrow::ui {

namespace {

struct TSizeFolder {
  const char* Name;
  int Pixels;
};
constexpr TSizeFolder kSizes[] = {{"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};

// The recorded time may carry a fraction (the thumbnail service writes one); the cache compares
// whole seconds.
bool SameMTime(const QString& recorded, long long mtime) {
  const QString whole = recorded.section(QLatin1Char('.'), 0, 0).trimmed();
  bool ok = false;
  const long long value = whole.toLongLong(&ok);
  return ok && value == mtime;
}

}  // namespace

// Qt's image reader folds text keys at their first ':', which the cache's keys all contain, so the
// chunks are read here.
std::map<QByteArray, QByteArray> PngTextKeys(const QByteArray& png) {
  std::map<QByteArray, QByteArray> keys;
  if (!png.startsWith(QByteArray("\x89PNG\r\n\x1A\n", 8))) return keys;
  qsizetype pos = 8;
  while (pos + 12 <= png.size()) {
    const auto* p = reinterpret_cast<const unsigned char*>(png.constData() + pos);
    const quint32 length = quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
    const QByteArray type = png.mid(pos + 4, 4);
    if (length > static_cast<quint64>(png.size() - pos - 12) || type == "IDAT" || type == "IEND") break;
    const QByteArray data = png.mid(pos + 8, length);
    const qsizetype z = data.indexOf('\0');
    if (z > 0) {
      const QByteArray key = data.left(z);
      if (type == "tEXt") {
        keys.emplace(key, data.mid(z + 1));
      } else if (type == "iTXt" && z + 2 < data.size() && data[z + 1] == '\0') {
        // Uncompressed international text: flag, method, language and translated key come first.
        const qsizetype lang = data.indexOf('\0', z + 3);
        const qsizetype translated = lang < 0 ? -1 : data.indexOf('\0', lang + 1);
        if (translated >= 0) keys.emplace(key, data.mid(translated + 1));
      }
    }
    pos += 12 + static_cast<qsizetype>(length);
  }
  return keys;
}

QString ThumbnailUri(const std::string& path) {
  return QStringLiteral("file://") + QString::fromStdString(platform::PercentEncodeGLib(path));
}

QString ThumbnailCacheDir() {
  QString base = qEnvironmentVariable("XDG_CACHE_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.cache");
  return base + QStringLiteral("/thumbnails");
}

QString ThumbnailFile(const std::string& path, const QString& sizeFolder) {
  const QByteArray md5 = QCryptographicHash::hash(ThumbnailUri(path).toUtf8(), QCryptographicHash::Md5).toHex();
  return ThumbnailCacheDir() + QLatin1Char('/') + sizeFolder + QLatin1Char('/') + QString::fromLatin1(md5) +
         QStringLiteral(".png");
}

QImage FindThumbnail(const std::string& path, int wanted) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  const QString uri = ThumbnailUri(path);
  // Fitting sizes from the smallest up, then the smaller ones from the largest down.
  std::vector<const TSizeFolder*> order;
  for (const TSizeFolder& s : kSizes)
    if (s.Pixels >= wanted) order.push_back(&s);
  for (auto it = std::rbegin(kSizes); it != std::rend(kSizes); ++it)
    if (it->Pixels < wanted) order.push_back(&*it);
  for (const TSizeFolder* s : order) {
    QFile file(ThumbnailFile(path, QString::fromLatin1(s->Name)));
    // Thumbnails are small; anything huge in the cache is not one.
    if (!file.open(QIODevice::ReadOnly) || file.size() > (64 << 20)) continue;
    const QByteArray bytes = file.readAll();
    const std::map<QByteArray, QByteArray> keys = PngTextKeys(bytes);
    const auto u = keys.find("Thumb::URI");
    const auto m = keys.find("Thumb::MTime");
    if (u == keys.end() || m == keys.end() || QString::fromUtf8(u->second) != uri ||
        !SameMTime(QString::fromLatin1(m->second), static_cast<long long>(st.st_mtime)))
      continue;
    QImage image = QImage::fromData(bytes, "PNG");
    if (!image.isNull()) return image;
  }
  return {};
}

}  // namespace pelcrow::ui
