// The program as a user's calling application runs it: an SP hand-off pair asking for an
// unattended run, the real executable, real LibreOffice and a private CUPS scheduler.
#include "support/cupsscheduler.h"
#include "support/files.h"
#include "support/processes.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using testsupport::CupsScheduler;

namespace {

// Live processes whose command line mentions `marker` (our private LibreOffice profiles do).
QStringList processesMentioning(const QString &marker)
{
    QStringList found;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray line = testsupport::readFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).replace('\0', ' ');
        if (line.contains(marker.toLocal8Bit()) && testsupport::processAlive(pid.toLongLong()))
            found << pid + QStringLiteral(": ") + QString::fromLocal8Bit(line);
    }
    return found;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private:
    CupsScheduler m_cups;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_cups.start(&error), qPrintable(error));
    }

    void unattendedRunPrintsEverythingAndEnds()
    {
        QTemporaryDir docs, tmp, cache;
        QVERIFY(docs.isValid() && tmp.isValid() && cache.isValid());
        for (const char *name : {"letter.docx", "sums.xlsx", "photo.jpg"})
            QVERIFY(QFile::copy(QStringLiteral(EXAMPLES_DIR "/") + name, docs.filePath(name)));
        const QByteArray workbookBefore = testsupport::readFile(docs.filePath("sums.xlsx"));

        const QString tmpPath = tmp.path() + "/";
        QVERIFY(testsupport::writeFile(tmpPath + "VelmoraParaSP.Dat",
                          (docs.path() + "/\r\n1\r\n40\r\n30\r\n700\r\n500\r\n210\r\n297\r\n").toUtf8()));
        QVERIFY(testsupport::writeFile(tmpPath + "VelmoraDataSP.Dat",
                          "   2  letter.docx\r\n   1  sums.xlsx\r\n   1  photo.jpg\r\n   1  notes.txt\r\n"));

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmp.path());
        env.insert("XDG_CACHE_HOME", cache.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(ORVENNA_EXE), {});
        QVERIFY(program.waitForStarted());
        const bool ended = program.waitForFinished(180000);
        if (!ended)
            program.kill();
        QVERIFY2(ended, "the unattended run did not end the program");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        QVERIFY(m_cups.waitForJobs(4));
        QVERIFY(m_cups.waitUntilIdle());
        const auto jobs = m_cups.jobs();
        QCOMPARE(jobs.size(), 4); // two copies of the letter, the workbook, the photo
        int imageJobs = 0;
        for (const auto &job : jobs)
            imageJobs += job.title == QStringLiteral("图片打印 ") ? 1 : 0;
        QCOMPARE(imageJobs, 1);

        QCOMPARE(testsupport::readFile(docs.filePath("sums.xlsx")), workbookBefore); // printed, not rewritten
        QVERIFY(QFile::exists(tmpPath + "VelmoraParaSP.Dat")); // the SP pair stays

        // No office process of this run outlives the program.
        QTRY_COMPARE_WITH_TIMEOUT(processesMentioning(cache.path()), QStringList(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
