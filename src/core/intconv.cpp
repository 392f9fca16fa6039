#include "core/intconv.h"
#include "core/errors.h"

namespace core {

namespace {

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

} // namespace

std::int32_t StrToInt(const QString &text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == u' ')
        ++i;

    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }

    if (i >= n)
        throw ConvertError(text);

    std::uint64_t magnitude = 0;
    if (hex) {
        for (; i < n; ++i) {
            const int d = hexDigitValue(text[i]);
            if (d < 0)
                throw ConvertError(text);
            magnitude = magnitude * 16 + std::uint64_t(d);
            if (magnitude > 0xFFFFFFFFull)
                throw ConvertError(text);
        }
        const auto bits = static_cast<std::uint32_t>(magnitude);
        // Two's complement negation wraps, as the 32-bit hex reading does.
        return static_cast<std::int32_t>(negative ? 0u - bits : bits);
    }

    const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9')
            throw ConvertError(text);
        magnitude = magnitude * 10 + (u - u'0');
        if (magnitude > limit)
            throw ConvertError(text);
    }
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                    : static_cast<std::int32_t>(magnitude);
}

} // namespace core
