// Decodes arbitrary file contents as a hand-off file and splits them into lines: only the
// no-mapping error may escape (and only for a UTF-8 file), and no line holds a break or a NUL.
#include "core/errors.h"
#include "platform/textfile.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray codeset : {QByteArray("UTF-8"), QByteArray("GBK"), QByteArray("ISO-8859-1")}) {
        QString text;
        try {
            text = platform::decodeTextFile(bytes, codeset);
        } catch (const core::Error &) {
            if (platform::detectEncoding(bytes).encoding != platform::TextEncoding::Utf8)
                std::abort();
            continue;
        }
        for (const QString &line : platform::splitLines(text)) {
            if (line.contains(u'\r') || line.contains(u'\n') || line.contains(QChar(0)))
                std::abort();
        }
    }
    return 0;
}
