#include "office/libreoffice/officehost.h"
#include "support/cupsscheduler.h"
#include "support/officefiles.h"
#include "support/processes.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <cppuhelper/implbase1.hxx>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <csignal>
#include <iostream>
#include <thread>

using office::AutomationError;
using office::libreoffice::HostSettings;
using office::libreoffice::OfficeHost;
using testsupport::CupsScheduler;
using testsupport::processAlive;
using testsupport::waitUntilGone;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Keeps LibreOffice waiting for an answer far longer than any call may take.
class StallingInteractionHandler : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
public:
    void SAL_CALL handle(const css::uno::Reference<css::task::XInteractionRequest> &) override
    {
        std::this_thread::sleep_for(std::chrono::seconds(3));
    }
};

HostSettings settingsWithCallLimit(std::chrono::milliseconds limit)
{
    HostSettings settings;
    settings.callLimit = limit;
    return settings;
}

} // namespace

class TestOfficeHost : public QObject {
    Q_OBJECT
private:
    CupsScheduler m_cups;
    QTemporaryDir m_dir;
    std::unique_ptr<OfficeHost> m_host;
    QString m_docx;
    QString m_locked;
    QString m_xlsx;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:

    void initTestCase()
    {
        QString error;
        QVERIFY2(m_cups.start(&error), qPrintable(error));
        m_host = std::make_unique<OfficeHost>();
        m_docx = path(QStringLiteral("letter.docx"));
        m_locked = path(QStringLiteral("locked.doc"));
        m_xlsx = path(QStringLiteral("sums.xlsx"));
        testsupport::writeTextDocument(*m_host, m_docx, testsupport::DocxFilter, QStringLiteral("Dear reader"));
        testsupport::writeTextDocument(*m_host, m_locked, testsupport::DocFilter, QStringLiteral("Secret"),
                                       QStringLiteral("pass"));
        testsupport::writeWorkbook(*m_host, m_xlsx, testsupport::XlsxFilter, QStringLiteral("Total"));
    }

    void printsOneJobOnTheDefaultQueue()
    {
        const int before = m_cups.jobs().size();
        OfficeHost::Document document = m_host->load(m_docx, OfficeHost::Access::ReadOnly);
        m_host->print(document);
        m_host->close(document);
        QVERIFY(m_cups.waitForJobs(before + 1));
        QVERIFY(m_cups.waitUntilIdle());
        const auto jobs = m_cups.jobs();
        QCOMPARE(jobs.size(), before + 1);
        QCOMPARE(jobs.last().queue, QString::fromLatin1(CupsScheduler::DefaultQueue));
        QVERIFY(contents(jobs.last().dataPath).startsWith("%PDF"));
    }

    void leavesNothingBesideTheDocuments()
    {
        const QStringList before = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        OfficeHost::Document word = m_host->load(m_docx, OfficeHost::Access::ReadOnly);
        OfficeHost::Document excel = m_host->load(m_xlsx, OfficeHost::Access::ReadWrite);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        m_host->close(word);
        m_host->close(excel);
    }

    void failingLoads_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing file") << QStringLiteral("missing.docx");
        QTest::newRow("password protected") << QStringLiteral("locked.doc");
        QTest::newRow("folder") << QString();
    }
    void failingLoads()
    {
        QFETCH(QString, name);
        m_host->run([](const auto &) {});
        const qint64 pid = m_host->processId();
        QVERIFY(pid > 0);
        QVERIFY_THROWS_EXCEPTION(AutomationError, m_host->load(path(name), OfficeHost::Access::ReadOnly));
        // Refused by LibreOffice itself: the host was not killed for overrunning.
        QCOMPARE(m_host->processId(), pid);
    }

    void savesWhatWasChanged()
    {
        const QString copy = path(QStringLiteral("changed.xlsx"));
        QVERIFY(QFile::copy(m_xlsx, copy));
        OfficeHost::Document workbook = m_host->load(copy, OfficeHost::Access::ReadWrite);
        QVERIFY(!m_host->isModified(workbook));
        const int before = m_cups.jobs().size();
        m_host->print(workbook);
        QVERIFY(!m_host->isModified(workbook)); // printing changes nothing
        testsupport::setFirstCell(*m_host, workbook, QStringLiteral("Changed"));
        QVERIFY(m_host->isModified(workbook));
        m_host->store(workbook);
        QVERIFY(!m_host->isModified(workbook));
        m_host->close(workbook);
        QVERIFY(m_cups.waitForJobs(before + 1));
        QVERIFY(contents(copy) != contents(m_xlsx));
        QVERIFY(contents(copy).startsWith("PK"));
    }

    void overrunningCallKillsTheHostAndTheNextCallStartsAnother()
    {
        OfficeHost host(settingsWithCallLimit(std::chrono::milliseconds(1500)));
        host.run([](const auto &) {});
        const qint64 first = host.processId();
        const QString url = QUrl::fromLocalFile(m_locked).toString(QUrl::FullyEncoded);
        QVERIFY_THROWS_EXCEPTION(AutomationError, host.run([&](const css::uno::Reference<css::uno::XComponentContext> &context) {
            css::beans::PropertyValue properties[2];
            properties[0].Name = "Hidden";
            properties[0].Value <<= true;
            properties[1].Name = "InteractionHandler";
            properties[1].Value <<= css::uno::Reference<css::task::XInteractionHandler>(new StallingInteractionHandler);
            css::frame::Desktop::create(context)->loadComponentFromURL(
                rtl::OUString(reinterpret_cast<const sal_Unicode *>(url.utf16()), url.size()), "_blank", 0,
                css::uno::Sequence<css::beans::PropertyValue>(properties, 2));
        }));
        QVERIFY(waitUntilGone(first));
        QCOMPARE(host.processId(), qint64(0));
        OfficeHost::Document document = host.load(m_docx, OfficeHost::Access::ReadOnly);
        QVERIFY(host.processId() != first);
        QCOMPARE(host.generation(), 2);
        host.close(document);
    }

    void hostEndedFromOutsideIsReplacedAtTheNextCall()
    {
        OfficeHost::Document stale = m_host->load(m_docx, OfficeHost::Access::ReadOnly);
        const qint64 pid = m_host->processId();
        const int generation = m_host->generation();
        ::kill(pid_t(pid), SIGKILL);
        QVERIFY(waitUntilGone(pid));
        // Its documents went with it; the next load runs on a new host.
        QVERIFY_THROWS_EXCEPTION(AutomationError, m_host->print(stale));
        OfficeHost::Document fresh = m_host->load(m_docx, OfficeHost::Access::ReadOnly);
        QCOMPARE(m_host->generation(), generation + 1);
        QVERIFY(m_host->processId() != pid);
        m_host->close(stale);
        m_host->close(fresh);
    }

    void shutdownEndsTheProcessAndRefusesLaterCalls()
    {
        OfficeHost host;
        OfficeHost::Document document = host.load(m_docx, OfficeHost::Access::ReadOnly);
        const qint64 pid = host.processId();
        host.shutdown();
        QVERIFY(!processAlive(pid));
        QCOMPARE(host.processId(), qint64(0));
        QVERIFY_THROWS_EXCEPTION(AutomationError, host.load(m_docx, OfficeHost::Access::ReadOnly));
        host.close(document);
    }

    void hostDiesWithAProgramThatIsKilled()
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--host-child")});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(60000));
        const qint64 pid = child.readLine().trimmed().toLongLong();
        QVERIFY(processAlive(pid));
        child.kill();
        QVERIFY(child.waitForFinished());
        QVERIFY(waitUntilGone(pid));
    }

    void cleanupTestCase() { m_host.reset(); }
};

// With --host-child: starts a host, writes its process id and waits to be killed.
int main(int argc, char **argv)
{
    if (argc == 2 && std::string_view(argv[1]) == "--host-child") {
        QCoreApplication app(argc, argv);
        OfficeHost host;
        host.run([](const auto &) {});
        std::cout << host.processId() << std::endl;
        QThread::sleep(600);
        return 1;
    }
    QCoreApplication app(argc, argv);
    TestOfficeHost test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_officehost.moc"
