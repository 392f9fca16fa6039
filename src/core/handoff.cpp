#include "core/handoff.h"

#include "core/errors.h"
#include "core/intconv.h"

namespace core {

HandOffPair plainHandOffPair(const QString &tmpFilePath)
{
    return {HandOffKind::Plain, tmpFilePath + QStringLiteral("VelmoraPara.Dat"),
            tmpFilePath + QStringLiteral("VelmoraData.Dat")};
}

HandOffPair spHandOffPair(const QString &tmpFilePath)
{
    return {HandOffKind::SP, tmpFilePath + QStringLiteral("VelmoraParaSP.Dat"),
            tmpFilePath + QStringLiteral("VelmoraDataSP.Dat")};
}

const QString &lineAt(const QStringList &lines, int index)
{
    if (index < 0 || index >= lines.size())
        throw Error(QStringLiteral("List index out of bounds (%1)").arg(index));
    return lines.at(index);
}

std::int32_t integerLineAt(const QStringList &lines, int index)
{
    return StrToInt(lineAt(lines, index));
}

} // namespace core
