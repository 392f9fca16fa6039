#pragma once

#include <QImage>

namespace platform {
class JpegImage;
}

namespace gui {

// Turns the bitmap in place a quarter turn clockwise: W × H becomes H × W, 24 bits per pixel
// (blue, green and red of every source pixel; any fourth byte is dropped).
void RotateBitmap90(QImage &Bitmap);

// The picture decoded and turned exactly as RotateBitmap90 turns it, made band by band so that
// the unturned picture is never held whole. Throws core::Error.
QImage decodeTurned(const platform::JpegImage &image, bool quantiseColour);

} // namespace gui
