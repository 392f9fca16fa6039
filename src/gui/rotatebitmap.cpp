#include "gui/rotatebitmap.h"

#include "core/errors.h"
#include "platform/jpeg/jpegimage.h"

#include <QTransform>
#include <algorithm>
#include <cstring>
#include <new>

namespace gui {

namespace {

QImage checked(QImage image)
{
    if (image.isNull())
        throw std::bad_alloc();
    return image;
}

} // namespace

void RotateBitmap90(QImage &Bitmap)
{
    if (Bitmap.isNull())
        return;
    // Qt turns by exact quarter turns with a tiled, cache-friendly copy. The picture is turned
    // at whichever depth is smaller, so that the two copies alive at once stay small.
    const QTransform quarterTurn = QTransform().rotate(90);
    QImage source = std::move(Bitmap);
    if (source.depth() <= 8 && source.format() != QImage::Format_Mono && source.format() != QImage::Format_MonoLSB) {
        source = checked(source.transformed(quarterTurn));
        Bitmap = checked(source.convertToFormat(QImage::Format_RGB888));
    } else {
        if (source.format() != QImage::Format_RGB888)
            source = checked(source.convertToFormat(QImage::Format_RGB888));
        Bitmap = checked(source.transformed(quarterTurn));
    }
}

QImage decodeTurned(const platform::JpegImage &image, bool quantiseColour)
{
    platform::JpegDecoder decoder(image, quantiseColour);
    const int width = decoder.width();
    const int height = decoder.height();
    if (std::uint64_t(width) * std::uint64_t(height) * 3 > platform::JpegImage::decodeMemoryLimit())
        throw core::Error(QStringLiteral("Out of memory"));
    QImage turned = checked(QImage(height, width, QImage::Format_RGB888));

    // A band small enough to stay in cache; its turn is a strip of columns of the result.
    constexpr int kBandRows = 32;
    QImage band = checked(QImage(width, kBandRows, decoder.format()));
    band.setColorTable(decoder.colorTable());
    for (int top = 0; top < height; top += kBandRows) {
        const int rows = std::min(kBandRows, height - top);
        decoder.readRows(band, 0, rows);
        QImage strip = rows == kBandRows ? band : band.copy(0, 0, width, rows);
        RotateBitmap90(strip);
        // Source rows top .. top + rows - 1 become the columns ending at height - top.
        const qsizetype left = 3 * qsizetype(height - top - rows);
        for (int y = 0; y < width; ++y)
            std::memcpy(turned.scanLine(y) + left, strip.constScanLine(y), std::size_t(3 * rows));
    }
    return turned;
}

} // namespace gui
