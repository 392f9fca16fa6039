// A long print run against real LibreOffice and a private CUPS scheduler, with the scheduler
// stopped and restarted in the middle and the office host killed once: the run finishes,
// everything whose printer was reachable is printed, and no office process is left behind.
#include "gui/uMain.h"
#include "office/libreoffice/officeservers.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "platform/printer/cupsprinter.h"
#include "support/cupsscheduler.h"
#include "support/files.h"
#include "support/jpegfiles.h"
#include "support/officefiles.h"
#include "support/processes.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <map>

using gui::TfrmMain;
using office::libreoffice::LibreOfficeServers;
using platform::MessageBox;
using testsupport::CupsScheduler;

namespace {

// The real CUPS printer, with an action run as the n-th image print starts (its first
// question to the printer is the resolution across).
class FaultInjectingPrinter : public platform::Printer {
public:
    std::map<int, std::function<void()>> beforeImage;
    int imagesStarted = 0;

    int resolutionX() override
    {
        ++imagesStarted;
        if (auto action = beforeImage.find(imagesStarted); action != beforeImage.end())
            action->second();
        return m_real.resolutionX();
    }
    int resolutionY() override { return m_real.resolutionY(); }
    void setTitle(const QString &title) override { m_real.setTitle(title); }
    void beginDoc() override { m_real.beginDoc(); }
    void drawStretched(const QRect &destination, QImage picture) override
    {
        m_real.drawStretched(destination, std::move(picture));
    }
    void endDoc() override { m_real.endDoc(); }
    void abortDoc() override { m_real.abortDoc(); }

private:
    platform::CupsPrinter m_real;
};

} // namespace

class TestFaultRun : public QObject {
    Q_OBJECT
private slots:
    void longRunSurvivesSchedulerAndOfficeFaults()
    {
        CupsScheduler cups;
        QString error;
        QVERIFY2(cups.start(&error), qPrintable(error));
        QTemporaryDir docs;
        QVERIFY(docs.isValid());
        auto office = std::make_unique<LibreOfficeServers>();
        using namespace testsupport;
        const QString dir = docs.path() + "/";
        writeTextDocument(office->host(), dir + "w.docx", DocxFilter, QStringLiteral("Letter"));
        writeTextDocument(office->host(), dir + "w.doc", DocFilter, QStringLiteral("Memo"));
        writeWorkbook(office->host(), dir + "x.xlsx", XlsxFilter, QStringLiteral("Sums"));
        writeWorkbook(office->host(), dir + "x.xls", XlsFilter, QStringLiteral("Old"));
        QVERIFY(writeFile(dir + "p.jpg", encodeJpeg(quadrants(300, 200))));

        // 200 entries, every type in turn: each fifth entry is an image.
        const QStringList cycle{"   1  w.docx", "   1  w.doc", "   1  x.xlsx", "   1  x.xls", "   1  p.jpg"};
        MessageBox::setAnsweringMode(true);
        TfrmMain form;
        form.DocPath = dir;
        for (int i = 0; i < 200; ++i)
            form.ListFiles->appendEntry(cycle[i % cycle.size()], true);

        // Images 10 to 14 start while the scheduler is down (so do the office entries between
        // them); the host is killed as image 25 starts.
        auto printer = std::make_shared<FaultInjectingPrinter>();
        qint64 killedPid = 0;
        QElapsedTimer downtime;
        qint64 downMs = 0;
        int jobsBeforeStop = 0;
        int jobsAtRestart = 0;
        printer->beforeImage[10] = [&] {
            QVERIFY(cups.waitUntilIdle());
            jobsBeforeStop = cups.jobs().size();
            cups.stop();
            downtime.start();
        };
        printer->beforeImage[15] = [&] {
            QString restartError;
            QVERIFY2(cups.start(&restartError), qPrintable(restartError));
            jobsAtRestart = cups.jobs().size();
            downMs = downtime.elapsed();
        };
        printer->beforeImage[25] = [&] {
            killedPid = office->host().processId();
            ::kill(pid_t(killedPid), SIGKILL);
        };
        form.setImagePrinter(printer);

        const int startsBefore = office->host().generation();
        QElapsedTimer clock;
        clock.start();
        form.cmdPrint->Tag = 100;
        form.cmdPrintClick(form.cmdPrint);
        const qint64 runMs = clock.elapsed();
        QVERIFY(cups.waitUntilIdle(60000));

        // Entries 45..69 (images 10..14 and the office entries between them) met no scheduler;
        // every other entry must have printed exactly once.
        const int unreachableImages = 5;
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), unreachableImages);
        for (const auto &box : shown)
            QCOMPARE(box.text, QStringLiteral("没有打印机，请选择打印机！ "));
        // Image k is entry 5k - 1. Before the stop: entries 0..48. After the restart: entries
        // 74..199. Entries 49..73 met a stopped scheduler.
        QCOMPARE(jobsBeforeStop, 49);
        QCOMPARE(cups.jobs().size() - jobsAtRestart, 126);
        QVERIFY(killedPid > 0);
        QVERIFY(waitUntilGone(killedPid));
        const int hostRestarts = office->host().generation() - startsBefore;
        QCOMPARE(hostRestarts, 1);

        bool canClose = true;
        form.FormCloseQuery(&form, canClose); // Word and Excel told to quit, without error
        const qint64 lastPid = office->host().processId();
        office.reset();
        QVERIFY(waitUntilGone(lastPid));
        MessageBox::setAnsweringMode(false);
        qInfo("200 entries in %lld ms: %d printed, 25 met the stopped scheduler (%lld ms down), host restarted %d time(s)",
              runMs, jobsBeforeStop + 126, downMs, hostRestarts);
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestFaultRun test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_faultrun.moc"
