#include "gui/rotatebitmap.h"

#include "core/errors.h"
#include "platform/jpeg/jpegimage.h"

#include <QTransform>
#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace gui {

namespace {

QImage checked(QImage image)
{
    if (image.isNull())
        throw std::bad_alloc();
    return image;
}

// A 24-bit picture whose rows have room for 32 bits per pixel, so that a printer that wants
// opaque 32-bit pixels can widen them in place instead of copying the whole picture.
QImage withRoomFor32Bits(int width, int height)
{
    const qsizetype bytesPerLine = qsizetype(width) * 4;
    const std::size_t size = std::size_t(bytesPerLine) * std::size_t(height);
    // Populated in one call: faulting the pages in one by one costs more than the turn itself.
    void *memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory == MAP_FAILED)
        throw std::bad_alloc();
    auto *mapping = new std::pair<void *, std::size_t>(memory, size);
    return QImage(static_cast<uchar *>(memory), width, height, bytesPerLine, QImage::Format_RGB888,
                  [](void *info) {
                      auto *m = static_cast<std::pair<void *, std::size_t> *>(info);
                      ::munmap(m->first, m->second);
                      delete m;
                  },
                  mapping);
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
    if (std::uint64_t(width) * std::uint64_t(height) * 4 > platform::JpegImage::decodeMemoryLimit())
        throw core::Error(QStringLiteral("Out of memory"));
    QImage turned = withRoomFor32Bits(height, width);

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
