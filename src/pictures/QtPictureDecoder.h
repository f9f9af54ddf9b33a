// The programs' picture decoder for the similar-pictures mode: Qt's image readers.
//
// Why Qt and not a decoder library in the core: the readers know every format the desktop's
// image plug-ins know (JPEG, PNG, WebP, TIFF, HEIF where installed), apply the EXIF orientation,
// and let JPEG decode at a fraction of its size, which makes the hash cheap. The core only sees
// TPictureDecoder, so it stays free of Qt; this folder sits above the core and below the two
// programs, and is the one place besides the window code that may use Qt (QtGui only, no
// display: the command line needs none).
#pragma once

#include "engine/SimilarPictures.h"

namespace pelcrow {

TPictureDecoder QtPictureDecoder();

}  // namespace pelcrow
