#include "gui/rotatebitmap.h"

#include <QTransform>
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

} // namespace gui
