#pragma once
// Small Word and Excel files made by LibreOffice itself, through an office host.

#include "office/libreoffice/officehost.h"

#include <QString>

namespace testsupport {

// Export filters of the file types the program prints.
inline const QString DocxFilter = QStringLiteral("MS Word 2007 XML");
inline const QString DocFilter = QStringLiteral("MS Word 97");
inline const QString XlsxFilter = QStringLiteral("Calc MS Excel 2007 XML");
inline const QString XlsFilter = QStringLiteral("MS Excel 97");

// A one-paragraph text document; with a password it is stored encrypted.
void writeTextDocument(office::libreoffice::OfficeHost &host, const QString &path, const QString &filter,
                       const QString &text, const QString &password = QString());
// A workbook whose first sheet holds `text` in A1 and 42 in B1.
void writeWorkbook(office::libreoffice::OfficeHost &host, const QString &path, const QString &filter,
                   const QString &text);
// Sets A1 of the workbook's first sheet, which marks it modified.
void setFirstCell(office::libreoffice::OfficeHost &host, const office::libreoffice::OfficeHost::Document &workbook,
                  const QString &text);

} // namespace testsupport
