#include "support/officefiles.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <QUrl>

using namespace css;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;
using office::libreoffice::OfficeHost;

namespace testsupport {

namespace {

rtl::OUString ou(const QString &text)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode *>(text.utf16()), text.size());
}

beans::PropertyValue property(const char *name, const Any &value)
{
    return beans::PropertyValue(rtl::OUString::createFromAscii(name), 0, value, beans::PropertyState_DIRECT_VALUE);
}

Reference<lang::XComponent> newDocument(const Reference<uno::XComponentContext> &context, const char *factory)
{
    const beans::PropertyValue hidden = property("Hidden", Any(true));
    return frame::Desktop::create(context)->loadComponentFromURL(rtl::OUString::createFromAscii(factory), "_blank", 0,
                                                                 Sequence<beans::PropertyValue>(&hidden, 1));
}

void storeAndClose(const Reference<lang::XComponent> &document, const QString &path, const QString &filter,
                   const QString &password = QString())
{
    Sequence<beans::PropertyValue> arguments(password.isEmpty() ? 2 : 3);
    arguments[0] = property("FilterName", Any(ou(filter)));
    arguments[1] = property("Overwrite", Any(true));
    if (!password.isEmpty())
        arguments[2] = property("Password", Any(ou(password)));
    Reference<frame::XStorable>(document, UNO_QUERY_THROW)
        ->storeToURL(ou(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)), arguments);
    Reference<util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
}

Reference<sheet::XSpreadsheet> firstSheet(const Reference<lang::XComponent> &workbook)
{
    const Reference<container::XIndexAccess> sheets(
        Reference<sheet::XSpreadsheetDocument>(workbook, UNO_QUERY_THROW)->getSheets(), UNO_QUERY_THROW);
    return Reference<sheet::XSpreadsheet>(sheets->getByIndex(0), UNO_QUERY_THROW);
}

} // namespace

void writeTextDocument(OfficeHost &host, const QString &path, const QString &filter, const QString &text,
                       const QString &password)
{
    host.run([&](const Reference<uno::XComponentContext> &context) {
        const auto document = newDocument(context, "private:factory/swriter");
        Reference<text::XTextDocument>(document, UNO_QUERY_THROW)->getText()->setString(ou(text));
        storeAndClose(document, path, filter, password);
    });
}

void writeWorkbook(OfficeHost &host, const QString &path, const QString &filter, const QString &text)
{
    host.run([&](const Reference<uno::XComponentContext> &context) {
        const auto workbook = newDocument(context, "private:factory/scalc");
        const auto sheet = firstSheet(workbook);
        sheet->getCellByPosition(0, 0)->setFormula(ou(text));
        sheet->getCellByPosition(1, 0)->setValue(42);
        storeAndClose(workbook, path, filter);
    });
}

void setFirstCell(OfficeHost &host, const OfficeHost::Document &workbook, const QString &text)
{
    host.run([&](const Reference<uno::XComponentContext> &) {
        firstSheet(workbook.model())->getCellByPosition(0, 0)->setFormula(ou(text));
    });
}

} // namespace testsupport
