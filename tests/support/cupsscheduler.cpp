#include "cupsscheduler.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSaveFile>
#include <QThread>

#include <cups/cups.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <algorithm>

namespace testsupport {

namespace {

// Writes each job and a description of it into the folder named by the device URI
// "capture:/folder"; the .info file appears last, so a job is complete once it exists.
const char *const kCaptureBackend = R"(#!/bin/sh
if [ $# -eq 0 ]; then echo 'direct capture "Unknown" "Job capture"'; exit 0; fi
dir="${DEVICE_URI#capture:}"
base="$dir/$PRINTER-$1"
if [ $# -ge 6 ]; then cat "$6" > "$base.data" || exit 1; else cat > "$base.data" || exit 1; fi
printf 'id=%s\nqueue=%s\nuser=%s\ntitle=%s\ncopies=%s\noptions=%s\n' "$1" "$PRINTER" "$2" "$3" "$4" "$5" > "$base.tmp"
mv "$base.tmp" "$base.info"
)";

bool writeFile(const QString &path, const QByteArray &content, QFileDevice::Permissions permissions,
               QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QFile::setPermissions(path, permissions);
    return true;
}

QString userName()
{
    const passwd *pw = getpwuid(geteuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QStringLiteral("root");
}

QString groupName()
{
    const group *gr = getgrgid(getegid());
    return gr ? QString::fromLocal8Bit(gr->gr_name) : QStringLiteral("root");
}

// Links every entry of folder `from` into folder `to`, except the names listed.
void linkEntries(const QString &from, const QString &to, const QStringList &except = {})
{
    for (const QFileInfo &entry : QDir(from).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
        if (except.contains(entry.fileName()))
            continue;
        QFile::link(entry.absoluteFilePath(), to + QLatin1Char('/') + entry.fileName());
    }
}

constexpr auto kReadable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
    | QFileDevice::ReadOther;

} // namespace

CupsScheduler::CupsScheduler() : m_root(QStringLiteral("/tmp/orvenna-cups-XXXXXX")) {}

CupsScheduler::~CupsScheduler()
{
    stop();
}

QString CupsScheduler::socketPath() const
{
    return m_root.filePath(QStringLiteral("cups.sock"));
}

QString CupsScheduler::captureDir() const
{
    return m_root.filePath(QStringLiteral("jobs"));
}

QString CupsScheduler::errorLog() const
{
    QFile log(m_root.filePath(QStringLiteral("log/error_log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

QString CupsScheduler::pdfQueuePpd(int defaultDpi)
{
    QString resolutions;
    for (int dpi : {300, 600, 1200})
        resolutions += QStringLiteral("*Resolution %1dpi/%1 DPI: \"<</HWResolution[%1 %1]>>setpagedevice\"\n").arg(dpi);
    return QStringLiteral(R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "CAPTURE.PPD"
*Manufacturer: "Test"
*Product: "(Capture)"
*ModelName: "Test Capture PDF"
*ShortNickName: "Test Capture PDF"
*NickName: "Test Capture PDF"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsFilter2: "application/pdf application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageSize Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: A4
*PageRegion A4/A4: "<</PageSize[595 842]>>setpagedevice"
*PageRegion Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 36 577 806"
*ImageableArea Letter/US Letter: "18 36 594 756"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*PaperDimension Letter/US Letter: "612 792"
*OpenUI *Resolution/Resolution: PickOne
*OrderDependency: 20 AnySetup *Resolution
*DefaultResolution: %1dpi
%2*CloseUI: *Resolution
*DefaultFont: Courier
*Font Courier: Standard "(002.004S)" Standard ROM
)PPD")
        .arg(defaultDpi)
        .arg(resolutions);
}

bool CupsScheduler::writeConfiguration(QString *error)
{
    if (!m_root.isValid()) {
        if (error)
            *error = QStringLiteral("no scratch folder: ") + m_root.errorString();
        return false;
    }
    const QString root = m_root.path();
    // The scheduler's own user (lp when run as root) must reach the folders below.
    QFile::setPermissions(root, kReadable | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    for (const char *sub : {"etc", "etc/ppd", "bin", "bin/filter", "bin/backend", "spool", "spool/tmp", "cache",
                            "state", "log", "jobs", "client"})
        QDir(root).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(captureDir(), QFileDevice::Permissions(0x7777));

    linkEntries(QStringLiteral("/usr/lib/cups"), root + QStringLiteral("/bin"), {"filter", "backend"});
    linkEntries(QStringLiteral("/usr/lib/cups/filter"), root + QStringLiteral("/bin/filter"));
    linkEntries(QStringLiteral("/usr/lib/cups/backend"), root + QStringLiteral("/bin/backend"));
    // Mode 0700: the scheduler runs the backend as the owner (root when the tests run as root).
    if (!writeFile(root + QStringLiteral("/bin/backend/capture"), kCaptureBackend,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner, error))
        return false;

    const bool asRoot = geteuid() == 0;
    const QString files = QStringLiteral(
                              "ServerRoot %1/etc\n"
                              "ServerBin %1/bin\n"
                              "DataDir /usr/share/cups\n"
                              "DocumentRoot /usr/share/cups/doc-root\n"
                              "RequestRoot %1/spool\n"
                              "TempDir %1/spool/tmp\n"
                              "CacheDir %1/cache\n"
                              "StateDir %1/state\n"
                              "ErrorLog %1/log/error_log\n"
                              "AccessLog %1/log/access_log\n"
                              "PageLog %1/log/page_log\n"
                              "FileDevice Yes\n"
                              "Printcap %1/etc/printcap\n"
                              "User %2\n"
                              "Group %3\n"
                              "SystemGroup %4\n")
                              .arg(root, asRoot ? QStringLiteral("lp") : userName(),
                                   asRoot ? QStringLiteral("lp") : groupName(), groupName());
    const QString daemon = QStringLiteral(
                               "Listen %1\n"
                               "LogLevel debug\n"
                               "Browsing No\n"
                               "BrowseLocalProtocols none\n"
                               "WebInterface No\n"
                               "DefaultAuthType None\n"
                               "PreserveJobHistory Yes\n"
                               "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
                               "<Policy default>\nJobPrivateValues none\nSubscriptionPrivateValues none\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n")
                               .arg(socketPath());
    if (!writeFile(root + QStringLiteral("/etc/cups-files.conf"), files.toLocal8Bit(), kReadable, error)
        || !writeFile(root + QStringLiteral("/etc/cupsd.conf"), daemon.toLocal8Bit(), kReadable, error))
        return false;
    return true;
}

bool CupsScheduler::waitForSocket(int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!isRunning())
            return false;
        QLocalSocket probe;
        probe.connectToServer(socketPath());
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool CupsScheduler::start(QString *error)
{
    if (isRunning())
        return true;
    if (!m_configured && !writeConfiguration(error))
        return false;

    m_cupsd = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"CUPS_SERVER", "CUPS_SERVERROOT", "PRINTER", "LPDEST"})
        environment.remove(QString::fromLatin1(name));
    m_cupsd->setProcessEnvironment(environment);
    // The scheduler must not outlive the test process, however that ends.
    m_cupsd->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_cupsd->setProcessChannelMode(QProcess::ForwardedChannels);
    const QString etc = m_root.filePath(QStringLiteral("etc"));
    m_cupsd->start(QStringLiteral("/usr/sbin/cupsd"),
                   {QStringLiteral("-f"), QStringLiteral("-c"), etc + QStringLiteral("/cupsd.conf"),
                    QStringLiteral("-s"), etc + QStringLiteral("/cups-files.conf")});
    if (!m_cupsd->waitForStarted(10000) || !waitForSocket(20000)) {
        if (error)
            *error = QStringLiteral("cupsd did not start: ") + m_cupsd->errorString() + QLatin1Char('\n') + errorLog();
        stop();
        return false;
    }

    // Point this process and its children at the private scheduler and away from the system's
    // client configuration, so that its default queue is the default.
    qputenv("CUPS_SERVER", socketPath().toLocal8Bit());
    qputenv("CUPS_SERVERROOT", m_root.filePath(QStringLiteral("client")).toLocal8Bit());
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    cupsSetServer(nullptr); // drops libcups's remembered server and connection

    if (!m_configured) {
        if (!addQueue(QString::fromLatin1(DefaultQueue), pdfQueuePpd(600), true, error)) {
            stop();
            return false;
        }
        m_configured = true;
    }
    return true;
}

void CupsScheduler::stop()
{
    if (!m_cupsd)
        return;
    if (m_cupsd->state() != QProcess::NotRunning) {
        m_cupsd->terminate();
        if (!m_cupsd->waitForFinished(10000)) {
            m_cupsd->kill();
            m_cupsd->waitForFinished(5000);
        }
    }
    m_cupsd.reset();
    cupsSetServer(nullptr);
}

bool CupsScheduler::isRunning() const
{
    return m_cupsd && m_cupsd->state() == QProcess::Running;
}

bool CupsScheduler::runLpadmin(const QStringList &arguments, QString *error) const
{
    QProcess lpadmin;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), socketPath());
    lpadmin.setProcessEnvironment(environment);
    lpadmin.start(QStringLiteral("lpadmin"), arguments);
    if (!lpadmin.waitForFinished(30000) || lpadmin.exitStatus() != QProcess::NormalExit || lpadmin.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("lpadmin %1 failed: %2%3")
                         .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(lpadmin.readAllStandardError()),
                              lpadmin.errorString());
        return false;
    }
    return true;
}

bool CupsScheduler::addQueue(const QString &name, const QString &ppdText, bool makeDefault, QString *error)
{
    const QString ppdPath = m_root.filePath(name + QStringLiteral(".ppd"));
    if (!writeFile(ppdPath, ppdText.toLatin1(), kReadable, error))
        return false;
    if (!runLpadmin({QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                     QStringLiteral("capture:") + captureDir(), QStringLiteral("-P"), ppdPath,
                     QStringLiteral("-o"), QStringLiteral("printer-error-policy=abort-job")},
                    error))
        return false;
    return !makeDefault || runLpadmin({QStringLiteral("-d"), name}, error);
}

QList<CapturedJob> CupsScheduler::jobs() const
{
    QList<CapturedJob> found;
    const QDir dir(captureDir());
    for (const QFileInfo &info : dir.entryInfoList({QStringLiteral("*.info")}, QDir::Files)) {
        QFile file(info.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        CapturedJob job;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq < 0)
                continue;
            const QByteArray key = line.left(eq);
            const QString value = QString::fromUtf8(line.mid(eq + 1));
            if (key == "id")
                job.id = value.toInt();
            else if (key == "queue")
                job.queue = value;
            else if (key == "user")
                job.user = value;
            else if (key == "title")
                job.title = value;
            else if (key == "copies")
                job.copies = value.toInt();
            else if (key == "options")
                job.options = value;
        }
        job.dataPath = dir.filePath(info.completeBaseName() + QStringLiteral(".data"));
        found.append(job);
    }
    std::sort(found.begin(), found.end(), [](const CapturedJob &a, const CapturedJob &b) { return a.id < b.id; });
    return found;
}

bool CupsScheduler::waitForJobs(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (jobs().size() < count) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

bool CupsScheduler::waitUntilIdle(int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        cups_job_t *active = nullptr;
        const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &active, nullptr, 0, CUPS_WHICHJOBS_ACTIVE);
        cupsFreeJobs(n, active);
        if (n == 0)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

} // namespace testsupport
