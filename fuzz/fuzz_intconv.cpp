// Feeds arbitrary UTF-16 text to the integer conversion and checks it against a reference
// built on the C library's strtoll.
#include "core/errors.h"
#include "core/intconv.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Independent reading of the same grammar, used to cross-check results.
bool reference(const QString &text, std::int32_t &value)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    QString rest = text.mid(i);
    bool negative = false;
    if (!rest.isEmpty() && (rest[0] == u'+' || rest[0] == u'-')) {
        negative = rest[0] == u'-';
        rest.remove(0, 1);
    }
    int base = 10;
    for (const char *prefix : {"0x", "0X", "$", "x", "X"}) {
        if (rest.startsWith(QLatin1String(prefix))) {
            base = 16;
            rest.remove(0, qsizetype(std::strlen(prefix)));
            break;
        }
    }
    if (rest.isEmpty())
        return false;
    for (QChar c : rest) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'0' && u <= u'9') ||
                        (base == 16 && ((u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')));
        if (!ok)
            return false;
    }
    const std::string digits = rest.toStdString();
    errno = 0;
    const unsigned long long magnitude = std::strtoull(digits.c_str(), nullptr, base);
    if (errno == ERANGE)
        return false;
    if (base == 16) {
        if (magnitude > 0xFFFFFFFFull)
            return false;
        const auto bits = static_cast<std::uint32_t>(magnitude);
        value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
        return true;
    }
    if (magnitude > (negative ? 2147483648ull : 2147483647ull))
        return false;
    value = negative ? static_cast<std::int32_t>(-static_cast<long long>(magnitude))
                     : static_cast<std::int32_t>(magnitude);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    std::int32_t expected = 0;
    const bool valid = reference(text, expected);
    try {
        const std::int32_t value = core::StrToInt(text);
        if (!valid || value != expected)
            std::abort();
    } catch (const core::ConvertError &e) {
        if (valid)
            std::abort();
        if (e.message() != QStringLiteral("'%1' is not a valid integer value").arg(text))
            std::abort();
    }
    return 0;
}
