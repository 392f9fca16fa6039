#pragma once
// Writes JPEG files for tests with libjpeg directly, so that every colour space can be made
// (Qt writes neither CMYK nor chosen sampling).

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

namespace testsupport {

// Colour (3 components from any non-grey picture) or greyscale (from Grayscale8); CMYK from
// 4 bytes per pixel, rows of width × 4.
QByteArray encodeJpeg(const QImage &picture, int quality = 95, bool progressive = false);
// With ycck the file stores the colour as YCCK (Adobe's transform), as many CMYK photographs do.
QByteArray encodeCmykJpeg(int width, int height, const QByteArray &cmykPixels, int quality = 100, bool ycck = false);

// The same file with the frame header's size replaced (nothing else changes).
QByteArray withFrameSize(QByteArray jpeg, int width, int height);

// Red, green, blue and yellow quadrants (top-left, top-right, bottom-left, bottom-right), so that
// a turn or a flip is visible.
QImage quadrants(int width, int height);

// Whether every channel of actual is within tolerance of expected.
bool nearColour(QRgb actual, const QColor &expected, int tolerance);


} // namespace testsupport
