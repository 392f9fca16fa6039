#pragma once
// Writes JPEG files for tests with libjpeg directly, so that every colour space can be made
// (Qt writes neither CMYK nor chosen sampling).

#include <QByteArray>
#include <QImage>
#include <QString>

namespace testsupport {

// Colour (3 components, RGB888 picture), greyscale (Grayscale8) or CMYK (4 bytes per pixel in
// `pixels`, rows of width × 4) at the given quality.
QByteArray encodeJpeg(const QImage &picture, int quality = 95);
QByteArray encodeCmykJpeg(int width, int height, const QByteArray &cmykPixels, int quality = 100);

// The same file with the frame header's size replaced (nothing else changes).
QByteArray withFrameSize(QByteArray jpeg, int width, int height);

bool writeFile(const QString &path, const QByteArray &content);

} // namespace testsupport
