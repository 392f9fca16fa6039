#include "core/pagefit.h"

#include "core/errors.h"

#include <cmath>
#include <limits>

namespace core {

namespace {

using Extended = long double;
static_assert(std::numeric_limits<Extended>::digits == 64, "x87 extended precision expected");

constexpr Extended kInchesPerCentimetre = 0.3937008L;

Extended checked(Extended value)
{
    if (std::isnan(value))
        throw Error(QStringLiteral("Invalid floating point operation"));
    if (std::isinf(value))
        throw Error(QStringLiteral("Floating point overflow"));
    return value;
}

Extended divide(Extended dividend, Extended divisor)
{
    if (divisor == 0) {
        if (dividend == 0 || std::isnan(dividend))
            throw Error(QStringLiteral("Invalid floating point operation"));
        throw Error(QStringLiteral("Floating point division by zero"));
    }
    return checked(dividend / divisor);
}

std::int32_t toInt32(long long value)
{
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        throw Error(QStringLiteral("Range check error"));
    return static_cast<std::int32_t>(value);
}

std::int32_t trunc32(Extended value)
{
    const Extended cut = std::trunc(checked(value));
    if (cut < std::numeric_limits<std::int32_t>::min() || cut > std::numeric_limits<std::int32_t>::max())
        throw Error(QStringLiteral("Range check error"));
    return static_cast<std::int32_t>(cut);
}

std::int32_t pixelsFor(std::int32_t millimetres, std::int32_t dpi)
{
    const Extended inchesTimesTen = checked(Extended(millimetres) * kInchesPerCentimetre);
    const Extended dotsTimesTen = checked(inchesTimesTen * Extended(dpi));
    return trunc32(divide(dotsTimesTen, 10));
}

} // namespace

PageSize pageSizeInPixels(std::int32_t widthMm, std::int32_t heightMm, std::int32_t dpiX, std::int32_t dpiY)
{
    return {pixelsFor(widthMm, dpiX), pixelsFor(heightMm, dpiY)};
}

bool turnsForPage(std::int32_t pictureWidth, std::int32_t pictureHeight, PageSize page)
{
    return pictureWidth > pictureHeight && page.width < page.height;
}

PageRect fitAndCentre(std::int32_t pictureWidth, std::int32_t pictureHeight, PageSize page)
{
    const Extended heightRatio = divide(pictureHeight, page.height);
    const Extended widthRatio = divide(pictureWidth, page.width);
    const Extended scale = heightRatio >= widthRatio ? heightRatio : widthRatio;
    const std::int32_t drawnWidth = trunc32(divide(pictureWidth, scale));
    const std::int32_t drawnHeight = trunc32(divide(pictureHeight, scale));

    // Integer halving truncates toward zero, as C++ division does.
    const std::int32_t left = toInt32((static_cast<long long>(page.width) - drawnWidth) / 2);
    const std::int32_t top = toInt32((static_cast<long long>(page.height) - drawnHeight) / 2);
    return {left, top, toInt32(static_cast<long long>(left) + drawnWidth),
            toInt32(static_cast<long long>(top) + drawnHeight)};
}

} // namespace core
