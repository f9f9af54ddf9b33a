// Reading the desktop's shared thumbnail cache: thumbnails other programs (file managers, the
// thumbnail service) have already made. Nothing is written there.
#pragma once

#include <QImage>
#include <QString>

#include <map>
#include <string>

namespace pelcrow::ui {

// The key the cache files a path under: "file://" and the path escaped as GLib escapes it.
QString ThumbnailUri(const std::string& path);
// $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails.
QString ThumbnailCacheDir();
// The cache file that would hold the thumbnail of a path in one size folder ("normal", "large", ...).
QString ThumbnailFile(const std::string& path, const QString& sizeFolder);

// The text chunks of a PNG before its image data (tEXt, and iTXt when not compressed).
std::map<QByteArray, QByteArray> PngTextKeys(const QByteArray& png);

// The smallest stored thumbnail at least `wanted` pixels large, else the largest one; a null image
// when there is none that belongs to the file as it is now (the URI and modification time it
// records must match, or it was made for another file or an older version). Reads files: call
// it off the window's thread.
QImage FindThumbnail(const std::string& path, int wanted);

}  // namespace pelcrow::ui
