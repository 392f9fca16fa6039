#include "platform/jpeg/jpegimage.h"

#include "core/errors.h"
#include "platform/filelock.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

namespace platform {

namespace {

constexpr int kPaletteColours = 236;

// libjpeg reports errors by calling error_exit, which must not return: it jumps back to the
// setjmp of the step that called libjpeg. No C++ object with a destructor lives in between.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void jumpOnError(j_common_ptr cinfo)
{
    auto *manager = reinterpret_cast<ErrorManager *>(cinfo->err);
    manager->pub.format_message(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

extern "C" void ignoreMessage(j_common_ptr, int) {}

struct Decompression {
    jpeg_decompress_struct cinfo;
    ErrorManager error;

    Decompression()
    {
        std::memset(&cinfo, 0, sizeof cinfo);
        std::memset(&error, 0, sizeof error);
        cinfo.err = jpeg_std_error(&error.pub);
        error.pub.error_exit = jumpOnError;
        error.pub.emit_message = ignoreMessage;
    }
    ~Decompression() { jpeg_destroy_decompress(&cinfo); }
    Decompression(const Decompression &) = delete;
    Decompression &operator=(const Decompression &) = delete;

    [[noreturn]] void fail() const { throw core::Error(QString::fromLocal8Bit(error.message)); }
};

bool readHeader(Decompression *d, const QByteArray *data)
{
    if (setjmp(d->error.jump))
        return false;
    jpeg_create_decompress(&d->cinfo);
    jpeg_mem_src(&d->cinfo, reinterpret_cast<const unsigned char *>(data->constData()),
                 static_cast<unsigned long>(data->size()));
    jpeg_read_header(&d->cinfo, TRUE);
    return true;
}

QList<QRgb> paletteOf(const jpeg_decompress_struct &cinfo)
{
    QList<QRgb> palette(cinfo.actual_number_of_colors);
    for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
        if (cinfo.out_color_components == 1) {
            const int v = cinfo.colormap[0][i];
            palette[i] = qRgb(v, v, v);
        } else {
            palette[i] = qRgb(cinfo.colormap[0][i], cinfo.colormap[1][i], cinfo.colormap[2][i]);
        }
    }
    return palette;
}

// Sets the program's decoding parameters after the header has been read.
void configure(jpeg_decompress_struct &cinfo, bool quantiseColour)
{
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    cinfo.do_block_smoothing = TRUE;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = kPaletteColours;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        break;
    default:
        cinfo.out_color_space = JCS_RGB;
        if (quantiseColour) {
            cinfo.quantize_colors = TRUE;
            cinfo.desired_number_of_colors = kPaletteColours;
        }
        break;
    }
}

enum class StepResult { Done, LibraryError, TooLarge, NoMemory };

StepResult decodeInto(Decompression *d, const QByteArray *data, bool quantiseColour, QImage *picture)
{
    if (setjmp(d->error.jump))
        return StepResult::LibraryError;
    jpeg_decompress_struct &cinfo = d->cinfo;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data->constData()),
                 static_cast<unsigned long>(data->size()));
    jpeg_read_header(&cinfo, TRUE);
    configure(cinfo, quantiseColour);
    jpeg_calc_output_dimensions(&cinfo);

    const std::uint64_t limit = JpegImage::decodeMemoryLimit();
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    const std::uint64_t bytesPerPixel = cinfo.quantize_colors ? 1 : (cmyk ? 4 : 3);
    if (std::uint64_t(cinfo.output_width) * cinfo.output_height * bytesPerPixel > limit)
        return StepResult::TooLarge;
    // libjpeg's own buffers (whole-image coefficients for progressive files) stay within it too.
    cinfo.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(limit, LONG_MAX));

    const QImage::Format format = cinfo.quantize_colors ? QImage::Format_Indexed8
                                  : cmyk                ? QImage::Format_RGB32
                                                        : QImage::Format_RGB888;
    *picture = QImage(int(cinfo.output_width), int(cinfo.output_height), format);
    if (picture->isNull())
        return StepResult::NoMemory;

    jpeg_start_decompress(&cinfo);
    if (cinfo.quantize_colors)
        picture->setColorTable(paletteOf(cinfo));

    if (!cmyk) {
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = picture->scanLine(int(cinfo.output_scanline));
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
    } else {
        JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                       cinfo.output_width * 4, 1);
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = int(cinfo.output_scanline);
            jpeg_read_scanlines(&cinfo, buffer, 1);
            const JSAMPLE *in = buffer[0];
            auto *out = reinterpret_cast<QRgb *>(picture->scanLine(y));
            for (JDIMENSION x = 0; x < cinfo.output_width; ++x, in += 4) {
                const unsigned k = in[3];
                out[x] = qRgb(in[0] * k / 255, in[1] * k / 255, in[2] * k / 255);
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    return StepResult::Done;
}

} // namespace

JpegImage JpegImage::load(const QString &path)
{
    return fromData(readWholeFileDenyWrite(path));
}

JpegImage JpegImage::fromData(QByteArray data)
{
    JpegImage image;
    if (!data.isEmpty()) {
        Decompression d;
        if (!readHeader(&d, &data))
            d.fail();
        image.m_width = int(d.cinfo.image_width);
        image.m_height = int(d.cinfo.image_height);
    }
    image.m_data = std::move(data);
    return image;
}

QImage JpegImage::decode(bool quantiseColour) const
{
    QImage picture;
    Decompression d;
    switch (decodeInto(&d, &m_data, quantiseColour, &picture)) {
    case StepResult::Done:
        return picture;
    case StepResult::LibraryError:
        d.fail();
    case StepResult::TooLarge:
    case StepResult::NoMemory:
        break;
    }
    throw core::Error(QStringLiteral("Out of memory"));
}

std::uint64_t JpegImage::decodeMemoryLimit()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    std::uint64_t limit = pages > 0 && pageSize > 0 ? std::uint64_t(pages) * std::uint64_t(pageSize) / 4
                                                    : std::uint64_t(1) << 30;
    rlimit addressSpace {};
    if (::getrlimit(RLIMIT_AS, &addressSpace) == 0 && addressSpace.rlim_cur != RLIM_INFINITY)
        limit = std::min<std::uint64_t>(limit, addressSpace.rlim_cur / 4);
    return limit;
}

} // namespace platform
