#include "support/cupsscheduler.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cups/cups.h>

using testsupport::CupsScheduler;

namespace {

// Submits a file with lp, the way any CUPS client would; true when lp accepted it.
bool submitWithLp(const QString &path, const QString &title)
{
    QProcess lp;
    lp.start(QStringLiteral("lp"), {QStringLiteral("-t"), title, path});
    return lp.waitForFinished(30000) && lp.exitStatus() == QProcess::NormalExit && lp.exitCode() == 0;
}

QByteArray smallPdf()
{
    return QByteArrayLiteral("%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                             "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                             "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]>>endobj\n"
                             "trailer<</Root 1 0 R>>\n%%EOF\n");
}

} // namespace

class TestCupsScheduler : public QObject {
    Q_OBJECT
private:
    CupsScheduler m_cups;
    QTemporaryDir m_work;
    QString m_pdf;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_cups.start(&error), qPrintable(error));
        m_pdf = m_work.filePath(QStringLiteral("doc.pdf"));
        QFile file(m_pdf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(smallPdf());
    }

    void defaultQueueIsTheCaptureQueue()
    {
        QCOMPARE(qgetenv("CUPS_SERVER"), m_cups.socketPath().toLocal8Bit());
        cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
        QVERIFY(dest);
        QCOMPARE(QString::fromUtf8(dest->name), QString::fromLatin1(CupsScheduler::DefaultQueue));
        cupsFreeDests(1, dest);
    }

    void capturesJobWithTitleAndDocument()
    {
        const int before = m_cups.jobs().size();
        QVERIFY(submitWithLp(m_pdf, QStringLiteral("标题 one")));
        QVERIFY2(m_cups.waitForJobs(before + 1), qPrintable(m_cups.errorLog()));
        const auto job = m_cups.jobs().last();
        QCOMPARE(job.queue, QString::fromLatin1(CupsScheduler::DefaultQueue));
        QCOMPARE(job.title, QStringLiteral("标题 one"));
        QFile data(job.dataPath);
        QVERIFY(data.open(QIODevice::ReadOnly));
        QCOMPARE(data.readAll(), smallPdf()); // PDF reaches the backend unchanged
    }

    void stopRefusesJobsAndStartResumes()
    {
        m_cups.stop();
        QVERIFY(!m_cups.isRunning());
        QVERIFY(!submitWithLp(m_pdf, QStringLiteral("while stopped")));
        QString error;
        QVERIFY2(m_cups.start(&error), qPrintable(error));
        const int before = m_cups.jobs().size();
        QVERIFY(submitWithLp(m_pdf, QStringLiteral("after restart")));
        QVERIFY(m_cups.waitForJobs(before + 1));
        QCOMPARE(m_cups.jobs().last().title, QStringLiteral("after restart"));
    }

    void secondQueue()
    {
        QString error;
        QVERIFY2(m_cups.addQueue(QStringLiteral("second"), CupsScheduler::pdfQueuePpd(300), false, &error),
                 qPrintable(error));
        const int before = m_cups.jobs().size();
        QProcess lp;
        lp.start(QStringLiteral("lp"), {QStringLiteral("-d"), QStringLiteral("second"), m_pdf});
        QVERIFY(lp.waitForFinished(30000) && lp.exitCode() == 0);
        QVERIFY(m_cups.waitForJobs(before + 1));
        QCOMPARE(m_cups.jobs().last().queue, QStringLiteral("second"));
    }
};

QTEST_GUILESS_MAIN(TestCupsScheduler)
#include "tst_cupsscheduler.moc"
