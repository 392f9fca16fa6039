#include "gui/uMain.h"
#include "office/classes.h"
#include "office/libreoffice/officeservers.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "support/cupsscheduler.h"
#include "support/officefiles.h"
#include "support/processes.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using gui::TfrmMain;
using office::libreoffice::LibreOfficeServers;
using office::libreoffice::OfficeHost;
using platform::MessageBox;
using testsupport::CupsScheduler;

namespace {

QByteArray digest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// The close query after a print run, with its errors left to the test.
void closeOffice(TfrmMain &form)
{
    bool canClose = true;
    form.HasPrint = true;
    form.FormCloseQuery(&form, canClose);
}

} // namespace

class TestLibreOfficePrinting : public QObject {
    Q_OBJECT
private:
    CupsScheduler m_cups;
    QTemporaryDir m_docs;
    std::unique_ptr<LibreOfficeServers> m_office;
    std::unique_ptr<TfrmMain> m_form;

    QString path(const QString &name) const { return m_docs.filePath(name); }
    OfficeHost &host() { return m_office->host(); }

    // Jobs the scheduler took since `before`, once it has finished them all.
    int jobsSince(int before)
    {
        if (!m_cups.waitUntilIdle())
            return -1;
        return m_cups.jobs().size() - before;
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_cups.start(&error), qPrintable(error));
        qputenv("TMPDIR", m_docs.path().toLocal8Bit());
        m_office = std::make_unique<LibreOfficeServers>();
        using namespace testsupport;
        writeTextDocument(host(), path("letter.docx"), DocxFilter, QStringLiteral("Dear reader"));
        writeTextDocument(host(), path("memo.doc"), DocFilter, QStringLiteral("Memo"));
        writeTextDocument(host(), path("locked.doc"), DocFilter, QStringLiteral("Secret"), QStringLiteral("pass"));
        writeWorkbook(host(), path("sums.xlsx"), XlsxFilter, QStringLiteral("Total"));
        writeWorkbook(host(), path("old.xls"), XlsFilter, QStringLiteral("Old"));
    }

    void init()
    {
        MessageBox::setAnsweringMode(true);
        m_form = std::make_unique<TfrmMain>();
    }

    void cleanup()
    {
        m_form.reset();
        QCOMPARE(MessageBox::takeShown().size(), 0);
        MessageBox::setAnsweringMode(false);
    }

    void wordPrintsEachCopyAsAJob_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("jobs");
        QTest::newRow("docx, 2 copies") << "letter.docx" << 2 << 2;
        QTest::newRow("doc, 1 copy") << "memo.doc" << 1 << 1;
        QTest::newRow("docx, 0 copies") << "letter.docx" << 0 << 0;
    }
    void wordPrintsEachCopyAsAJob()
    {
        QFETCH(QString, name);
        QFETCH(int, copies);
        QFETCH(int, jobs);
        const int before = m_cups.jobs().size();
        const QByteArray original = digest(path(name));
        m_form->PrintDocX(path(name), copies);
        QCOMPARE(jobsSince(before), jobs);
        QCOMPARE(digest(path(name)), original);
        // "quit" ended the Word instance: none is left running.
        QVERIFY(!office::ServerRegistry::global().runningInstance(office::classes::WordApplication));
    }

    void excelPrintsAndLeavesThePrintedFileAsItWas_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("copies");
        QTest::newRow("xlsx, 1 copy") << "sums.xlsx" << 1;
        QTest::newRow("xls, 2 copies") << "old.xls" << 2;
    }
    void excelPrintsAndLeavesThePrintedFileAsItWas()
    {
        QFETCH(QString, name);
        QFETCH(int, copies);
        const int before = m_cups.jobs().size();
        const QByteArray original = digest(path(name));
        m_form->PrintWorkbook(path(name), copies);
        QCOMPARE(jobsSince(before), copies);
        QCOMPARE(digest(path(name)), original);
    }

    void oneExcelInstanceServesEveryEntry()
    {
        const int before = m_cups.jobs().size();
        m_form->PrintWorkbook(path("sums.xlsx"), 1);
        const office::ObjectRef instance = m_form->ExcelApplication.Held();
        const office::ObjectRef first = m_form->ExcelWorkbook1.Held();
        m_form->PrintWorkbook(path("old.xls"), 1);
        QCOMPARE(m_form->ExcelApplication.Held(), instance);
        QVERIFY(m_form->ExcelWorkbook1.Held() != first);
        QCOMPARE(jobsSince(before), 2);
    }

    void missingFilesGiveNoJobAndTheRunGoesOn()
    {
        const int before = m_cups.jobs().size();
        m_form->PrintWorkbook(path("sums.xlsx"), 1);
        m_form->PrintDocX(path("missing.docx"), 2);
        m_form->PrintWorkbook(path("missing.xlsx"), 2);
        m_form->PrintDocX(path("letter.docx"), 1);
        QCOMPARE(jobsSince(before), 2);
    }

    void passwordProtectedDocumentFailsWithoutWaiting()
    {
        const int before = m_cups.jobs().size();
        m_form->PrintDocX(path("letter.docx"), 1);
        const qint64 pid = host().processId();
        m_form->PrintDocX(path("locked.doc"), 1);
        // Refused at once: not killed for overrunning the call limit.
        QCOMPARE(host().processId(), pid);
        m_form->PrintDocX(path("letter.docx"), 1);
        QCOMPARE(jobsSince(before), 2);
    }

    void killingTheHostMidRunLeavesTheLaterEntriesPrinted()
    {
        const int before = m_cups.jobs().size();
        m_form->PrintDocX(path("letter.docx"), 1);
        m_form->PrintWorkbook(path("sums.xlsx"), 1);
        const qint64 pid = host().processId();
        ::kill(pid_t(pid), SIGKILL);
        QVERIFY(testsupport::waitUntilGone(pid));
        m_form->PrintDocX(path("letter.docx"), 1);
        m_form->PrintWorkbook(path("sums.xlsx"), 1);
        m_form->PrintWorkbook(path("old.xls"), 1);
        QCOMPARE(jobsSince(before), 5);
        QVERIFY(host().processId() != pid);
    }

    void closingAfterARunQuitsWordAndExcelWithoutError()
    {
        const int before = m_cups.jobs().size();
        m_form->PrintDocX(path("letter.docx"), 1);
        m_form->PrintWorkbook(path("sums.xlsx"), 1);
        closeOffice(*m_form);
        QCOMPARE(jobsSince(before), 2);
        QVERIFY(m_form->WordApplication.Connected());
        QVERIFY(m_form->ExcelApplication.Connected());
    }

    void quittingExcelClosesItsWorkbooksWithoutSaving()
    {
        m_form->PrintWorkbook(path("sums.xlsx"), 0);
        m_form->LoadXls(path("old.xls")); // left open, as after a failed print
        const QByteArray original = digest(path("old.xls"));
        closeOffice(*m_form);
        m_form.reset();
        QCOMPARE(digest(path("old.xls")), original);
        // Closed: the same workbook opens and prints again at once.
        m_form = std::make_unique<TfrmMain>();
        const int before = m_cups.jobs().size();
        m_form->PrintWorkbook(path("old.xls"), 1);
        QCOMPARE(jobsSince(before), 1);
    }

    void documentClassesStartAnInstanceWithANewDocument_data()
    {
        QTest::addColumn<QUuid>("classId");
        QTest::newRow("Word document") << office::classes::WordDocument;
        QTest::newRow("Excel workbook") << office::classes::ExcelWorkbook;
    }
    void documentClassesStartAnInstanceWithANewDocument()
    {
        QFETCH(QUuid, classId);
        const office::ObjectRef document = office::ServerRegistry::global().createInstance(classId);
        office::call(document, QStringLiteral("Close"));
        QVERIFY_THROWS_EXCEPTION(office::AutomationError, office::call(document, QStringLiteral("Close")));
    }

    void runningWorkbookIsTheOpenOneOfTheRunningExcel()
    {
        const office::ServerRegistry &registry = office::ServerRegistry::global();
        m_form->LoadXls(path("sums.xlsx"));
        QVERIFY(registry.runningInstance(office::classes::ExcelWorkbook));
        QCOMPARE(registry.runningInstance(office::classes::ExcelApplication), m_form->ExcelApplication.Held());
        m_form->ExcelWorkbook1.Close();
        QVERIFY(!registry.runningInstance(office::classes::ExcelWorkbook));
    }

    void noLibreOfficeProcessOutlivesTheServers()
    {
        m_form->PrintDocX(path("letter.docx"), 1);
        const qint64 pid = host().processId();
        QVERIFY(pid > 0);
        m_form->PrintWorkbook(path("sums.xlsx"), 1); // leaves ExcelApplication connected
        m_office.reset(); // as at the end of the program, the window still holding Excel
        QVERIFY(testsupport::waitUntilGone(pid));
        m_form.reset(); // releasing the Excel instance afterwards asks nothing of the ended host
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestLibreOfficePrinting test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_libreofficeprinting.moc"
