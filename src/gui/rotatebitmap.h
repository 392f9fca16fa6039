#pragma once

#include <QImage>

namespace gui {

// Turns the bitmap in place a quarter turn clockwise: W × H becomes H × W, 24 bits per pixel
// (blue, green and red of every source pixel; any fourth byte is dropped).
void RotateBitmap90(QImage &Bitmap);

} // namespace gui
