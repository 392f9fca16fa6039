#pragma once
// Class ids and ProgIDs of the Office classes the program drives.

#include <QString>
#include <QUuid>

namespace office::classes {

inline const QUuid WordDocument{QStringLiteral("{00020906-0000-0000-C000-000000000046}")};
inline const QUuid WordApplication{QStringLiteral("{000209FF-0000-0000-C000-000000000046}")};
inline const QUuid ExcelApplication{QStringLiteral("{00024500-0000-0000-C000-000000000046}")};
inline const QUuid ExcelWorkbook{QStringLiteral("{00020819-0000-0000-C000-000000000046}")};

inline const QString WordApplicationProgId = QStringLiteral("Word.Application");
inline const QString WordDocumentProgId = QStringLiteral("Word.Document");
inline const QString ExcelApplicationProgId = QStringLiteral("Excel.Application");

} // namespace office::classes
