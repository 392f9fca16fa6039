#include "jpegfiles.h"

#include <QFile>
#include <QPainter>
#include <cstdio>
#include <functional>
#include <jpeglib.h>

namespace testsupport {

namespace {

QByteArray compress(int width, int height, int components, J_COLOR_SPACE space, int quality, bool progressive, bool ycck,
                    const std::function<const unsigned char *(int row)> &rowAt)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    if (ycck)
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rowAt(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray result(reinterpret_cast<const char *>(buffer), qsizetype(size));
    free(buffer);
    return result;
}

} // namespace

QByteArray encodeJpeg(const QImage &picture, int quality, bool progressive)
{
    const bool grey = picture.format() == QImage::Format_Grayscale8;
    const QImage source = grey ? picture : picture.convertToFormat(QImage::Format_RGB888);
    return compress(source.width(), source.height(), grey ? 1 : 3, grey ? JCS_GRAYSCALE : JCS_RGB, quality, progressive, false,
                    [&](int row) { return source.constScanLine(row); });
}

QByteArray encodeCmykJpeg(int width, int height, const QByteArray &cmykPixels, int quality, bool ycck)
{
    return compress(width, height, 4, JCS_CMYK, quality, false, ycck, [&](int row) {
        return reinterpret_cast<const unsigned char *>(cmykPixels.constData()) + qsizetype(row) * width * 4;
    });
}

QByteArray withFrameSize(QByteArray jpeg, int width, int height)
{
    // Walk the markers to the first start-of-frame (C0..CF except C4, C8, CC).
    int i = 2;
    while (i + 9 < jpeg.size()) {
        const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
        const int length = (static_cast<unsigned char>(jpeg[i + 2]) << 8) | static_cast<unsigned char>(jpeg[i + 3]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            jpeg[i + 5] = char(height >> 8);
            jpeg[i + 6] = char(height & 0xFF);
            jpeg[i + 7] = char(width >> 8);
            jpeg[i + 8] = char(width & 0xFF);
            return jpeg;
        }
        i += 2 + length;
    }
    return {};
}

QImage quadrants(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB888);
    QPainter painter(&picture);
    painter.fillRect(0, 0, width / 2, height / 2, Qt::red);
    painter.fillRect(width / 2, 0, width - width / 2, height / 2, Qt::green);
    painter.fillRect(0, height / 2, width / 2, height - height / 2, Qt::blue);
    painter.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, Qt::yellow);
    return picture;
}

bool nearColour(QRgb actual, const QColor &expected, int tolerance)
{
    return qAbs(qRed(actual) - expected.red()) <= tolerance && qAbs(qGreen(actual) - expected.green()) <= tolerance
        && qAbs(qBlue(actual) - expected.blue()) <= tolerance;
}

} // namespace testsupport
