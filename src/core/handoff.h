#pragma once
// The hand-off files through which a calling application passes a print job: the plain pair,
// consumed when read, and the SP pair, which stays and may ask for an unattended run.

#include <QString>
#include <QStringList>
#include <cstdint>

namespace core {

enum class HandOffKind { Plain, SP };

struct HandOffPair {
    HandOffKind kind = HandOffKind::Plain;
    QString parameterFile;
    QString dataFile;
};

// The pair's file names appended directly to the temporary directory (empty: bare names).
HandOffPair plainHandOffPair(const QString &tmpFilePath);
HandOffPair spHandOffPair(const QString &tmpFilePath);

// The line at a 0-based index; a missing one throws core::Error "List index out of bounds (<index>)".
const QString &lineAt(const QStringList &lines, int index);
// That line through the integer conversion, untrimmed.
std::int32_t integerLineAt(const QStringList &lines, int index);

} // namespace core
