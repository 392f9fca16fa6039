#include "gui/uMain.h"
#include "office/classes.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "support/recordingoffice.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace gui;
using office::ObjectRef;
using officetest::App;
using officetest::RecordingOffice;
using platform::MessageBox;

namespace {

QString openArguments(const QString &path)
{
    return "\"" + path + "\"" + QString(", null").repeated(12) + ", i4 0, i4 0";
}

QStringList repeated(const QString &line, int times)
{
    QStringList lines;
    for (int i = 0; i < times; ++i)
        lines << line;
    return lines;
}

// The print run's Excel step for one entry, in its one silent error scope.
void excelStep(TfrmMain &form, const QString &path, int copies)
{
    form.PrintWorkbook(path, copies);
}

} // namespace

class TestOfficePrinting : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_docs;
    std::unique_ptr<TfrmMain> m_form;

    QString document(const QString &name)
    {
        const QString path = m_docs.filePath(name);
        QFile file(path);
        if (!file.exists() && file.open(QIODevice::WriteOnly))
            file.write("x");
        return path;
    }

    // The Word calls of one successful PrintDocX on instance `word`.
    static QStringList wordRun(const QString &word, const QString &path, int copies)
    {
        return QStringList{"start " + word, word + ".Documents() lcid=0",
                           word + ".Documents.open(&\"" + path + "\") lcid=0"} +
               repeated(word + ".Doc1.printout() lcid=0", copies) +
               QStringList{word + ".quit() lcid=0", "end " + word + " (quit)", "release " + word + ".Doc1",
                           "release " + word + ".Documents", "release " + word};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_docs.isValid());
        qputenv("TMPDIR", m_docs.path().toLocal8Bit());
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

    void componentsAsLaidOut()
    {
        RecordingOffice office;
        TfrmMain form;
        QCOMPARE(form.WordDocument.ConnectKind, office::ckNewInstance);
        QCOMPARE(form.WordDocument.ClassId(), office::classes::WordDocument);
        QCOMPARE(form.WordApplication.ConnectKind, office::ckRunningOrNew);
        QCOMPARE(form.WordApplication.ClassId(), office::classes::WordApplication);
        QCOMPARE(form.WordApplication.AutoQuit, false);
        QCOMPARE(form.ExcelApplication.ConnectKind, office::ckNewInstance);
        QCOMPARE(form.ExcelApplication.ClassId(), office::classes::ExcelApplication);
        QCOMPARE(form.ExcelApplication.AutoQuit, false);
        QCOMPARE(form.ExcelWorkbook1.ConnectKind, office::ckRunningOrNew);
        QCOMPARE(form.ExcelWorkbook1.ClassId(), office::classes::ExcelWorkbook);
        for (const office::TOleServer *component : std::initializer_list<const office::TOleServer *>{
                 &form.WordDocument, &form.WordApplication, &form.ExcelApplication, &form.ExcelWorkbook1}) {
            QCOMPARE(component->AutoConnect, false);
            QVERIFY(!component->Connected());
        }
        QCOMPARE(office.log(), QStringList());
    }

    void printDocX_data()
    {
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("printouts");
        QTest::newRow("3") << 3 << 3;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("-1") << -1 << 0;
    }
    void printDocX()
    {
        QFETCH(int, copies);
        QFETCH(int, printouts);
        RecordingOffice office;
        const QString path = document("report.docx");
        m_form->PrintDocX(path, copies);
        QCOMPARE(office.log(), wordRun("Word1", path, printouts));
        QVERIFY(!m_form->WordApplication.Connected());
        QVERIFY(!m_form->WordDocument.Connected());
    }

    void printDocXFailingAtAnyStep_data()
    {
        QTest::addColumn<int>("failing");
        const char *steps[] = {"start", "Documents", "open", "first printout", "second printout", "quit"};
        for (int step = 1; step <= 6; ++step)
            QTest::newRow(steps[step - 1]) << step;
    }
    void printDocXFailingAtAnyStep()
    {
        QFETCH(int, failing);
        RecordingOffice office;
        const QString path = document("a.doc");
        office.failAtRequest(failing);
        m_form->PrintDocX(path, 2);

        const QStringList requests{"start Word1", "Word1.Documents() lcid=0",
                                   "Word1.Documents.open(&\"" + path + "\") lcid=0", "Word1.Doc1.printout() lcid=0",
                                   "Word1.Doc1.printout() lcid=0", "Word1.quit() lcid=0"};
        QStringList expected = requests.mid(0, failing - 1);
        expected << requests[failing - 1] + " -> error";
        // What was obtained is released, the document first; the instance ends with the last release.
        if (failing > 3)
            expected << "release Word1.Doc1";
        if (failing > 2)
            expected << "release Word1.Documents";
        if (failing > 1)
            expected << "release Word1" << "end Word1 (released)";
        QCOMPARE(office.log(), expected);
        QCOMPARE(office.liveInstances(App::Word), 0);
    }

    void printDocXOfAMissingFile()
    {
        RecordingOffice office;
        const QString path = m_docs.filePath("absent.doc");
        m_form->PrintDocX(path, 3);
        QCOMPARE(office.log(), QStringList({"start Word1", "Word1.Documents() lcid=0",
                                            "Word1.Documents.open(&\"" + path + "\") lcid=0",
                                            "release Word1.Documents", "release Word1", "end Word1 (released)"}));
    }

    void printDocXWithoutWord()
    {
        m_form->PrintDocX(document("a.doc"), 1); // no server registered at all
        RecordingOffice office;
        office.failAtRequest(1); // Word registered but failing to start
        m_form->PrintDocX(document("a.doc"), 1);
        QCOMPARE(office.log(), QStringList({"start Word1 -> error"}));
        QCOMPARE(office.instancesStarted(App::Word), 0);
    }

    void printDocXUsesItsOwnWordEachTime()
    {
        RecordingOffice office;
        office.startRunning(App::Word); // the user's Word is neither used nor told to quit
        office.clearLog();
        const QString first = document("one.doc");
        const QString second = document("two.docx");
        m_form->PrintDocX(first, 1);
        m_form->PrintDocX(second, 2);
        QCOMPARE(office.log(), wordRun("Word2", first, 1) + wordRun("Word3", second, 2));
        QCOMPARE(office.liveInstances(App::Word), 1);
    }

    void excelStep_data()
    {
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("printouts");
        QTest::newRow("2") << 2 << 2;
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("-1") << -1 << 0;
    }
    void excelStep()
    {
        QFETCH(int, copies);
        QFETCH(int, printouts);
        RecordingOffice office;
        const QString path = document("sheet.xlsx");
        ::excelStep(*m_form, path, copies);
        const QString printOut = "Excel1.Book1.PrintOut(" + QStringList(8, "missing").join(", ") + ") lcid=0";
        QCOMPARE(office.log(), QStringList({"start Excel1", "Excel1.Workbooks() lcid=0",
                                            "Excel1.Workbooks.Open(" + openArguments(path) + ") lcid=0",
                                            "Excel1.ActiveWorkbook() lcid=0", "release Excel1.Book1",
                                            "release Excel1.Workbooks"}) +
                                   repeated(printOut, printouts) +
                                   QStringList({"Excel1.Book1.Save() lcid=0",
                                                "Excel1.Book1.Close(missing, missing, missing) lcid=0"}));
        QCOMPARE(RecordingOffice::nameOf(m_form->ExcelWorkbook1.Held()), QStringLiteral("Excel1.Book1"));
        QCOMPARE(RecordingOffice::nameOf(m_form->ExcelApplication.Held()), QStringLiteral("Excel1"));

        // The window's end releases both references and with them the instance, unasked to quit.
        office.clearLog();
        m_form.reset();
        QCOMPARE(office.log(), QStringList({"release Excel1.Book1", "release Excel1", "end Excel1 (released)"}));
    }

    void missingWorkbookAfterAPrintedOne()
    {
        RecordingOffice office;
        const QString printed = document("a.xls");
        const QString missing = m_docs.filePath("missing.xls");
        ::excelStep(*m_form, printed, 1);
        office.clearLog();
        ::excelStep(*m_form, missing, 1);
        QCOMPARE(office.log(), QStringList({"Excel1.Workbooks() lcid=0",
                                            "Excel1.Workbooks.Open(" + openArguments(missing) + ") lcid=0",
                                            "release Excel1.Workbooks"}));
        QCOMPARE(RecordingOffice::nameOf(m_form->ExcelWorkbook1.Held()), QStringLiteral("Excel1.Book1"));
    }

    void oneExcelServesEveryEntry()
    {
        RecordingOffice office;
        const QString first = document("a.xls");
        const QString second = document("b.xlsx");
        ::excelStep(*m_form, first, 1);
        ::excelStep(*m_form, second, 1);
        ::excelStep(*m_form, first, 1); // the same workbook again: opened anew
        QCOMPARE(office.instancesStarted(App::Excel), 1);
        const QStringList calls = office.calls();
        QCOMPARE(calls.filter(".Open(").size(), 3);
        QCOMPARE(calls.filter(QRegularExpression("^Excel1\\.Book\\d\\.PrintOut")),
                 QStringList({"Excel1.Book1.PrintOut", "Excel1.Book2.PrintOut", "Excel1.Book3.PrintOut"})
                     .replaceInStrings(QRegularExpression("$"),
                                       "(" + QStringList(8, "missing").join(", ") + ") lcid=0"));
        QCOMPARE(RecordingOffice::nameOf(m_form->ExcelWorkbook1.Held()), QStringLiteral("Excel1.Book3"));
        // Moving on released the earlier workbooks' references.
        QCOMPARE(office.log().filter("release Excel1.Book").size(), 2 * 3 - 1);
    }

    void excelFailingToStart()
    {
        RecordingOffice office;
        office.failAtRequest(1);
        const QString path = document("a.xls");
        ::excelStep(*m_form, path, 1);
        QVERIFY(!m_form->ExcelApplication.Connected());
        QVERIFY(!m_form->ExcelWorkbook1.Connected());
        ::excelStep(*m_form, path, 1); // the next Excel entry tries again
        QCOMPARE(office.log().mid(0, 2), QStringList({"start Excel1 -> error", "start Excel1"}));
        QCOMPARE(office.calls().filter("PrintOut").size(), 1);
    }

    void excelErrorsSkipTheRestOfTheEntry_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QStringList>("made");
        QTest::newRow("second PrintOut") << "PrintOut#2" << QStringList{"PrintOut", "PrintOut -> error"};
        QTest::newRow("Save") << "Save" << QStringList{"PrintOut", "PrintOut", "PrintOut", "Save -> error"};
        QTest::newRow("Close") << "Close"
                               << QStringList{"PrintOut", "PrintOut", "PrintOut", "Save", "Close -> error"};
    }
    void excelErrorsSkipTheRestOfTheEntry()
    {
        QFETCH(QString, failing);
        QFETCH(QStringList, made);
        RecordingOffice office;
        const QStringList parts = failing.split('#');
        office.failCall(parts[0], parts.value(1, "1").toInt());
        ::excelStep(*m_form, document("a.xls"), 3);
        QStringList bookCalls;
        for (const QString &line : office.calls().filter("Excel1.Book1."))
            bookCalls << line.section('.', 2).section('(', 0, 0) + (line.endsWith(" -> error") ? " -> error" : "");
        QCOMPARE(bookCalls, made);
    }

    void noActiveWorkbookAfterTheOpen()
    {
        RecordingOffice office;
        // The user has Excel open with a workbook of their own.
        const ObjectRef userExcel = office.startRunning(App::Excel);
        office::call(office::call(userExcel, "Workbooks").toObject(), "Open",
                     {office::Variant::fromString(document("users.xls"))});
        ::excelStep(*m_form, document("a.xls"), 1);
        QCOMPARE(RecordingOffice::nameOf(m_form->ExcelWorkbook1.Held()), QStringLiteral("Excel2.Book1"));
        office.setNoActiveItem(true);
        office.clearLog();
        ::excelStep(*m_form, document("b.xls"), 1);
        // Neither the user's workbook nor any other is printed or saved.
        QCOMPARE(office.calls(), QStringList({"Excel2.Workbooks() lcid=0",
                                              "Excel2.Workbooks.Open(" + openArguments(document("b.xls")) + ") lcid=0",
                                              "Excel2.ActiveWorkbook() lcid=0"}));
        QCOMPARE(RecordingOffice::nameOf(m_form->ExcelWorkbook1.Held()), QStringLiteral("Excel2.Book1"));
        QCOMPARE(office.instancesStarted(App::Excel), 2);
    }

    void excelEndedFromOutside()
    {
        RecordingOffice office;
        ::excelStep(*m_form, document("a.xls"), 1);
        office::call(m_form->ExcelApplication.Held(), "Quit");
        office.clearLog();
        ::excelStep(*m_form, document("b.xls"), 1);
        ::excelStep(*m_form, document("c.xls"), 1);
        QCOMPARE(office.calls(), QStringList({"Excel1.Workbooks() lcid=0", "Excel1.Workbooks() lcid=0"}));
        QCOMPARE(office.instancesStarted(App::Excel), 1);
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestOfficePrinting test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_officeprinting.moc"
