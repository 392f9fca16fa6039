#include "platform/jpeg/jpegimage.h"

#include "core/errors.h"
#include "platform/filesystem.h"

#include <algorithm>
#include <vector>
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

// Called only from the steps below, inside their setjmp.
void openAndReadHeader(Decompression *d, const QByteArray *data)
{
    jpeg_create_decompress(&d->cinfo);
    jpeg_mem_src(&d->cinfo, reinterpret_cast<const unsigned char *>(data->constData()),
                 static_cast<unsigned long>(data->size()));
    jpeg_read_header(&d->cinfo, TRUE);
}

bool readHeader(Decompression *d, const QByteArray *data)
{
    if (setjmp(d->error.jump))
        return false;
    openAndReadHeader(d, data);
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

enum class StepResult { Done, LibraryError, TooLarge };

StepResult startDecoding(Decompression *d, const QByteArray *data, bool quantiseColour)
{
    if (setjmp(d->error.jump))
        return StepResult::LibraryError;
    openAndReadHeader(d, data);
    jpeg_decompress_struct &cinfo = d->cinfo;
    configure(cinfo, quantiseColour);
    jpeg_calc_output_dimensions(&cinfo);

    const std::uint64_t limit = JpegImage::decodeMemoryLimit();
    const std::uint64_t bytesPerPixel = cinfo.quantize_colors ? 1 : cinfo.out_color_space == JCS_CMYK ? 4 : 3;
    if (std::uint64_t(cinfo.output_width) * cinfo.output_height * bytesPerPixel > limit)
        return StepResult::TooLarge;
    // libjpeg's own buffers (whole-image coefficients for progressive files) stay within it too.
    cinfo.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(limit, LONG_MAX));
    jpeg_start_decompress(&cinfo);
    return StepResult::Done;
}

bool readScanlines(Decompression *d, JSAMPROW *rows, int count)
{
    if (setjmp(d->error.jump))
        return false;
    for (int done = 0; done < count;)
        done += int(jpeg_read_scanlines(&d->cinfo, rows + done, JDIMENSION(count - done)));
    return true;
}

} // namespace

struct JpegDecoder::State {
    Decompression decompression;
    QImage::Format format = QImage::Format_RGB888;
    QList<QRgb> palette;
    std::vector<JSAMPLE> cmykRows;
    std::vector<JSAMPROW> rows;
};

JpegDecoder::JpegDecoder(const JpegImage &image, bool quantiseColour) : m_state(std::make_unique<State>())
{
    Decompression &d = m_state->decompression;
    switch (startDecoding(&d, &image.m_data, quantiseColour)) {
    case StepResult::Done:
        break;
    case StepResult::LibraryError:
        d.fail();
    case StepResult::TooLarge:
        throw core::Error(QStringLiteral("Out of memory"));
    }
    if (d.cinfo.quantize_colors) {
        m_state->format = QImage::Format_Indexed8;
        m_state->palette = paletteOf(d.cinfo);
    } else if (d.cinfo.out_color_space == JCS_CMYK) {
        m_state->format = QImage::Format_RGB32;
    }
}

JpegDecoder::~JpegDecoder() = default;

int JpegDecoder::width() const
{
    return int(m_state->decompression.cinfo.output_width);
}

int JpegDecoder::height() const
{
    return int(m_state->decompression.cinfo.output_height);
}

QImage::Format JpegDecoder::format() const
{
    return m_state->format;
}

const QList<QRgb> &JpegDecoder::colorTable() const
{
    return m_state->palette;
}

int JpegDecoder::nextRow() const
{
    return int(m_state->decompression.cinfo.output_scanline);
}

void JpegDecoder::readRows(QImage &target, int firstRow, int count)
{
    count = std::min(count, height() - nextRow());
    if (count <= 0)
        return;
    const bool cmyk = m_state->format == QImage::Format_RGB32;
    const std::size_t cmykRowBytes = std::size_t(width()) * 4;
    if (cmyk && m_state->cmykRows.size() < cmykRowBytes * count)
        m_state->cmykRows.resize(cmykRowBytes * count);
    m_state->rows.resize(count);
    for (int i = 0; i < count; ++i)
        m_state->rows[i] = cmyk ? m_state->cmykRows.data() + cmykRowBytes * i : target.scanLine(firstRow + i);
    if (!readScanlines(&m_state->decompression, m_state->rows.data(), count))
        m_state->decompression.fail();
    if (!cmyk)
        return;
    for (int i = 0; i < count; ++i) {
        const JSAMPLE *in = m_state->rows[i];
        auto *out = reinterpret_cast<QRgb *>(target.scanLine(firstRow + i));
        for (int x = 0; x < width(); ++x, in += 4) {
            const unsigned k = in[3];
            out[x] = qRgb(in[0] * k / 255, in[1] * k / 255, in[2] * k / 255);
        }
    }
}

JpegImage JpegImage::load(const QString &path)
{
    return fromData(readWholeFileDenyWrite(path, FileTrust::AnyOwner));
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
    JpegDecoder decoder(*this, quantiseColour);
    QImage picture(decoder.width(), decoder.height(), decoder.format());
    if (picture.isNull())
        throw core::Error(QStringLiteral("Out of memory"));
    picture.setColorTable(decoder.colorTable());
    constexpr int kRowsPerCall = 64;
    for (int row = 0; row < decoder.height(); row += kRowsPerCall)
        decoder.readRows(picture, row, kRowsPerCall);
    return picture;
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
