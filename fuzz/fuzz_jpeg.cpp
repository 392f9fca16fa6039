// Loads, decodes and turns arbitrary bytes as a JPEG file: only core::Error may escape, the
// decoded size must match the header, and the band-wise turn must equal decode-then-turn.
#include "core/errors.h"
#include "gui/rotatebitmap.h"
#include "platform/jpeg/jpegimage.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    platform::JpegImage image;
    try {
        image = platform::JpegImage::fromData(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const core::Error &) {
        return 0;
    }
    // Keep each run small; the header may promise anything.
    if (std::int64_t(image.width()) * image.height() > 4'000'000)
        return 0;
    for (const bool quantise : {false, true}) {
        QImage picture;
        try {
            picture = image.decode(quantise);
        } catch (const core::Error &) {
            continue;
        }
        if (picture.width() != image.width() || picture.height() != image.height())
            std::abort();
        QImage turned;
        try {
            turned = gui::decodeTurned(image, quantise);
        } catch (const core::Error &) {
            std::abort(); // decoding just succeeded
        }
        gui::RotateBitmap90(picture);
        if (turned.size() != picture.size())
            std::abort();
        for (int y = 0; y < turned.height(); ++y)
            for (int x = 0; x < turned.width(); ++x)
                if (turned.pixel(x, y) != picture.pixel(x, y))
                    std::abort();
    }
    return 0;
}
