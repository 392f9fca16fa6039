// Runs the print entry rules on arbitrary entries: they may raise the conversion error and
// nothing else, and the file name and type must agree with the entry's text.
#include "core/errors.h"
#include "core/printentry.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString entry = QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    try {
        core::entryCopies(entry);
    } catch (const core::ConvertError &) {
    }
    const QString name = core::entryFileName(entry);
    if (name.contains(u'&') || !entry.mid(6).startsWith(name))
        std::abort();
    if (core::entryFullPath(QStringLiteral("/d/"), entry) != QStringLiteral("/d/") + name)
        std::abort();
    const core::DocType type = core::entryDocType(entry);
    if (type != core::DocType::None && entry.size() < 3)
        std::abort();
    if (core::upperCaseUnits(entry).size() != entry.size())
        std::abort();
    return 0;
}
