#include "gui/uMain.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "support/recordingoffice.h"
#include "support/files.h"
#include "support/jpegfiles.h"
#include "support/recordingprinter.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

using namespace gui;
using officetest::App;
using officetest::RecordingOffice;
using platform::MessageBox;
using platform::MsgButton;
using testsupport::RecordingPrinter;

namespace {

const QString kNoPrinter = QStringLiteral("没有打印机，请选择打印机！ ");

QStringList repeated(const QString &line, int times)
{
    QStringList lines;
    for (int i = 0; i < times; ++i)
        lines << line;
    return lines;
}

// The calls of one PrintDocX on Word instance `word`.
QStringList wordCalls(const QString &word, const QString &path, int printouts)
{
    return QStringList{word + ".Documents() lcid=0", word + ".Documents.open(&\"" + path + "\") lcid=0"} +
           repeated(word + ".Doc1.printout() lcid=0", printouts) + QStringList{word + ".quit() lcid=0"};
}

// The calls of one Excel step on workbook `book` of Excel1.
QStringList excelCalls(const QString &book, const QString &path, int printouts)
{
    return QStringList{"Excel1.Workbooks() lcid=0",
                       "Excel1.Workbooks.Open(\"" + path + "\"" + QString(", null").repeated(12) + ", i4 0, i4 0) lcid=0",
                       "Excel1.ActiveWorkbook() lcid=0"} +
           repeated("Excel1." + book + ".PrintOut(" + QStringList(8, "missing").join(", ") + ") lcid=0", printouts) +
           QStringList{"Excel1." + book + ".Save() lcid=0", "Excel1." + book + ".Close(missing, missing, missing) lcid=0"};
}

QStringList boxTexts()
{
    QStringList texts;
    for (const auto &box : MessageBox::takeShown())
        texts << box.text;
    return texts;
}

} // namespace

class TestPrintRun : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_docs;
    QTemporaryDir m_tmp;
    std::unique_ptr<RecordingOffice> m_office;
    std::shared_ptr<RecordingPrinter> m_printer;
    std::unique_ptr<TfrmMain> m_form;

    QString docs() const { return m_docs.path() + "/"; }

    std::unique_ptr<TfrmMain> newWindow()
    {
        auto form = std::make_unique<TfrmMain>();
        form->setImagePrinter(m_printer);
        return form;
    }

    void fill(const QStringList &entries)
    {
        m_form->DocPath = docs();
        for (const QString &e : entries)
            m_form->ListFiles->appendEntry(e, true);
    }

    QStringList entryTexts() const
    {
        QStringList texts;
        for (int i = 0; i < m_form->ListFiles->entryCount(); ++i)
            texts << m_form->ListFiles->entryText(i);
        return texts;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_docs.isValid() && m_tmp.isValid());
        qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
        for (const char *name : {"a.docx", "b.doc", "c.doc", "i.xlsx", "k.xls", "d1.doc", "d2.doc"})
            QVERIFY(testsupport::writeFile(docs() + name, "x"));
        const QByteArray jpeg = testsupport::encodeJpeg(testsupport::quadrants(40, 30));
        QVERIFY(testsupport::writeFile(docs() + "f.Jpeg", jpeg));
        QVERIFY(testsupport::writeFile(docs() + "p.jpg", jpeg));
    }
    void init()
    {
        MessageBox::setAnsweringMode(true);
        m_office = std::make_unique<RecordingOffice>();
        m_printer = std::make_shared<RecordingPrinter>();
        m_form = newWindow();
    }
    void cleanup()
    {
        m_form.reset();
        m_office.reset();
        MessageBox::setAnsweringMode(false);
    }

    void confirmationNoPrintsNothing()
    {
        fill({"   1  a.docx", "   1  p.jpg"});
        MessageBox::setNextAnswer(MsgButton::No);
        m_form->cmdPrint->click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].caption, QStringLiteral("Warning"));
        QCOMPARE(shown[0].icon, platform::MsgIcon::Warning);
        QCOMPARE(shown[0].buttons, QList<MsgButton>({MsgButton::Yes, MsgButton::No}));
        QCOMPARE(shown[0].defaultButton, MsgButton::Yes);
        QCOMPARE(shown[0].text,
                 QStringLiteral("您确认操作系统默认的打印机是你当前需要输出的打印机吗？\r"
                                "如果继续，软件将自动调用默认打印机自动连续打印，且不会再提示确认！\r\r"
                                "打印之前，务必确认电脑已经安装了Office程序！\r"
                                "打印之前，建议先关闭已经打开的Word/Excel文件！退出本程序时，会关闭所有Word/Excel文档！是否继续打印？"));
        QCOMPARE(m_form->HasPrint, false);
        QCOMPARE(m_office->log(), QStringList());
        QCOMPARE(m_printer->jobs.size(), 0);
    }

    void closedBoxGoesOn()
    {
        fill({"   1  p.jpg"});
        MessageBox::setNextAnswer(MsgButton::Closed);
        m_form->cmdPrint->click();
        QCOMPARE(boxTexts().size(), 1);
        QCOMPARE(m_form->HasPrint, true);
        QCOMPARE(m_printer->printedJobs().size(), 1);
    }

    void tag100AsksNothing()
    {
        fill({"   1  p.jpg"});
        m_form->cmdPrint->Tag = 100;
        m_form->cmdPrint->click();
        QCOMPARE(boxTexts(), QStringList());
        QCOMPARE(m_printer->printedJobs().size(), 1);
    }

    void nothingToPrintStillSetsHasPrint_data()
    {
        QTest::addColumn<bool>("withEntries");
        QTest::newRow("empty list") << false;
        QTest::newRow("nothing checked") << true;
    }
    void nothingToPrintStillSetsHasPrint()
    {
        QFETCH(bool, withEntries);
        if (withEntries) {
            fill({"   1  a.docx", "ab"}); // an unchecked entry's copies are never read
            m_form->N2->trigger();
        }
        m_form->cmdPrint->click();
        QCOMPARE(boxTexts().size(), 1);
        QCOMPARE(m_form->HasPrint, true);
        QCOMPARE(m_office->log(), QStringList());
        QCOMPARE(m_printer->jobs.size(), 0);
    }

    void mixedListInOrder()
    {
        const QStringList entries{"   2  a.docx", "   1  b.doc&sheet.xls", "1     f.Jpeg", "   1  g.png",
                                  "  $A  c.doc",  "  -1  i.xlsx",          "   1  k.xls"};
        fill(entries);
        m_form->cmdPrint->Tag = 100;
        m_form->cmdPrint->click();
        QCOMPARE(boxTexts(), QStringList());
        const QStringList expected = wordCalls("Word1", docs() + "a.docx", 2) +
                                     excelCalls("Book1", docs() + "b.doc", 1) +
                                     wordCalls("Word2", docs() + "c.doc", 10) +
                                     excelCalls("Book2", docs() + "i.xlsx", 0) +
                                     excelCalls("Book3", docs() + "k.xls", 1);
        QCOMPARE(m_office->calls(), expected);
        QCOMPARE(m_office->instancesStarted(App::Excel), 1);
        QCOMPARE(m_office->liveInstances(App::Word), 0);
        QCOMPARE(m_printer->printedJobs().size(), 1);
        QCOMPARE(m_printer->printedJobs()[0].title, QStringLiteral("图片打印 "));
        QCOMPARE(entryTexts(), entries);
        QCOMPARE(m_form->ListFiles->isChecked(3), true);
    }

    void emptyNameGivesDocPathAlone()
    {
        fill({"   1  &x.doc"});
        m_form->cmdPrint->Tag = 100;
        m_form->cmdPrint->click();
        QCOMPARE(m_office->log().mid(0, 3),
                 QStringList({"start Word1", "Word1.Documents() lcid=0", "Word1.Documents.open(&\"" + docs() + "\") lcid=0"}));
    }

    void copiesErrorEndsTheRun_data()
    {
        QTest::addColumn<QString>("badEntry");
        QTest::addColumn<QString>("message");
        QTest::newRow("letters") << "  ab  d1.doc" << "'ab' is not a valid integer value.";
        QTest::newRow("blank copies on an untyped entry") << "      x.txt" << "'' is not a valid integer value.";
    }
    void copiesErrorEndsTheRun()
    {
        QFETCH(QString, badEntry);
        QFETCH(QString, message);
        const QStringList entries{"   1  b.doc", "   1  p.jpg", badEntry, "   1  c.doc", "   1  p.jpg"};
        fill(entries);
        m_form->show();
        m_form->cmdPrint->Tag = 100;
        m_form->cmdPrint->click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, platform::MsgIcon::Error);
        QCOMPARE(shown[0].text, message);
        QCOMPARE(m_office->calls(), wordCalls("Word1", docs() + "b.doc", 1));
        QCOMPARE(m_printer->printedJobs().size(), 1);
        QCOMPARE(m_form->HasPrint, true);
        QVERIFY(m_form->isVisible());
        QCOMPARE(entryTexts(), entries);
    }

    void imageWithoutPrinterReportsEachCopy()
    {
        m_printer->failure = RecordingPrinter::Failure::NoPrinter;
        fill({"   3  p.jpg", "   1  b.doc"});
        m_form->cmdPrint->Tag = 100;
        m_form->cmdPrint->click();
        QCOMPARE(boxTexts(), QStringList({kNoPrinter, kNoPrinter, kNoPrinter}));
        QCOMPARE(m_printer->jobs.size(), 0);
        QCOMPARE(m_office->calls(), wordCalls("Word1", docs() + "b.doc", 1)); // the run went on
    }

    void changesDuringAnImageJobAreSeen()
    {
        fill({"   1  p.jpg", "   1  d1.doc", "   1  d2.doc"});
        m_form->cmdPrint->Tag = 100;
        // Delivered while the image job lets pending events through: an unchecked entry further
        // down, and a second click that must not start a nested run.
        QMetaObject::invokeMethod(m_form.get(), [this] {
            m_form->ListFiles->setChecked(1, false);
            m_form->cmdPrint->click();
        }, Qt::QueuedConnection);
        m_form->cmdPrint->click();
        QCOMPARE(m_office->calls(), wordCalls("Word1", docs() + "d2.doc", 1));
        QCOMPARE(m_printer->printedJobs().size(), 1);
        QCOMPARE(boxTexts(), QStringList());
    }

    void closingBeforeAnyRunMakesNoOfficeCall()
    {
        QPointer<TfrmMain> form = newWindow().release();
        form->show();
        MessageBox::setNextAnswer(MsgButton::No);
        form->cmdPrint->click(); // answered No: still no run
        form->close();
        QTRY_VERIFY(form.isNull());
        QCOMPARE(boxTexts().size(), 1);
        QCOMPARE(m_office->log(), QStringList());
    }

    void closingAfterImagesOnlyTellsWordAndExcelToQuit()
    {
        QPointer<TfrmMain> form = newWindow().release();
        form->show();
        form->DocPath = docs();
        form->ListFiles->appendEntry("   1  p.jpg", true);
        form->cmdPrint->Tag = 100;
        form->cmdPrint->click();
        QCOMPARE(m_office->log(), QStringList());
        QTest::mouseClick(form->Label1, Qt::LeftButton);
        QTRY_VERIFY(form.isNull());
        QCOMPARE(m_office->log(),
                 QStringList({"running Word: none", "start Word1", "Word1.Quit(missing, missing, missing) lcid=0",
                              "end Word1 (quit)", "start Excel1", "Excel1.Quit() lcid=0", "end Excel1 (quit)",
                              "release Excel1", "release Word1"}));
        QCOMPARE(boxTexts(), QStringList());
    }

    void closingAfterExcelEntriesReleasesThenQuitsANewExcel()
    {
        m_office->startRunning(App::Word); // the user's Word is told to quit
        QPointer<TfrmMain> form = newWindow().release();
        form->show();
        form->DocPath = docs();
        form->ListFiles->appendEntry("   1  k.xls", true);
        form->cmdPrint->Tag = 100;
        form->cmdPrint->click();
        m_office->clearLog();
        form->close();
        QTRY_VERIFY(form.isNull());
        QCOMPARE(m_office->log(),
                 QStringList({"release Excel1.Book1", "release Excel1", "end Excel1 (released)", "running Word1",
                              "Word1.Quit(missing, missing, missing) lcid=0", "end Word1 (quit)", "start Excel2",
                              "Excel2.Quit() lcid=0", "end Excel2 (quit)", "release Excel2", "release Word1"}));
    }

    void closingWhenExcelCannotStart()
    {
        QPointer<TfrmMain> form = newWindow().release();
        form->show();
        form->HasPrint = true; // a run happened
        m_office->failAtRequest(4); // running Word?, start Word, Word quit, start Excel
        form->close();
        QTRY_VERIFY(form.isNull()); // the error is shown, and the program ends all the same
        QCOMPARE(m_office->log().mid(0, 5),
                 QStringList({"running Word: none", "start Word1", "Word1.Quit(missing, missing, missing) lcid=0",
                              "end Word1 (quit)", "start Excel1 -> error"}));
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, platform::MsgIcon::Error);
    }

    void sessionEndRunsTheCloseQuery()
    {
        m_form->show();
        QVERIFY(m_form->runCloseQuery()); // before any run: no Office call
        QCOMPARE(m_office->log(), QStringList());
        m_form->HasPrint = true;
        QVERIFY(m_form->runCloseQuery());
        QCOMPARE(m_office->calls(), QStringList({"Word1.Quit(missing, missing, missing) lcid=0", "Excel1.Quit() lcid=0"}));
        QVERIFY(m_form->isVisible()); // asking is not closing
    }

    void unattendedRunFromSpPair()
    {
        const QString tmp = QDir(m_tmp.path()).canonicalPath() + "/";
        QVERIFY(testsupport::writeFile(tmp + "VelmoraParaSP.Dat",
                                       (docs() + "\r\n1\r\n10\r\n20\r\n700\r\n500\r\n210\r\n297\r\n").toUtf8()));
        QVERIFY(testsupport::writeFile(tmp + "VelmoraDataSP.Dat", "   2  a.docx\r\n   1  p.jpg\r\n   1  k.xls\r\n"));
        QPointer<TfrmMain> form = newWindow().release();
        QElapsedTimer clock;
        clock.start();
        form->show();
        QTRY_VERIFY(form->TimerAutoPrint->isActive());
        QCOMPARE(form->cmdPrint->Tag, 100);
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull() || form->isHidden(), 5000);
        QVERIFY(clock.elapsed() >= 150);
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 5000);
        QCOMPARE(boxTexts(), QStringList());
        QCOMPARE(m_printer->printedJobs().size(), 1);
        const QStringList calls = m_office->calls();
        QCOMPARE(calls.mid(0, 5), wordCalls("Word1", docs() + "a.docx", 2));
        QCOMPARE(calls.mid(5, 6), excelCalls("Book1", docs() + "k.xls", 1));
        QCOMPARE(calls.mid(11), QStringList({"Word2.Quit(missing, missing, missing) lcid=0", "Excel2.Quit() lcid=0"}));
        QVERIFY(QFile::exists(tmp + "VelmoraParaSP.Dat")); // the SP pair stays
        QFile::remove(tmp + "VelmoraParaSP.Dat");
        QFile::remove(tmp + "VelmoraDataSP.Dat");
    }

    void unattendedRunEndingInAnErrorStillCloses()
    {
        QPointer<TfrmMain> form = newWindow().release();
        form->DocPath = docs();
        form->ListFiles->appendEntry("   1  p.jpg", true);
        form->ListFiles->appendEntry("  zz  b.doc", true);
        form->cmdPrint->Tag = 100;
        form->show();
        form->TimerAutoPrint->start();
        QTRY_VERIFY_WITH_TIMEOUT(form.isNull(), 5000);
        QCOMPARE(boxTexts(), QStringList({"'zz' is not a valid integer value."}));
        QCOMPARE(m_printer->printedJobs().size(), 1);
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestPrintRun test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_printrun.moc"
