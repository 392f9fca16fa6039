#include "office/libreoffice/officehost.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/XPrintable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace css;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;

namespace office::libreoffice {

namespace {

// soffice.bin asks its launcher for a restart with these exit codes (after creating a profile).
constexpr int RestartRequested = 81;
constexpr int RestartAfterCrash = 79;
constexpr int ProfileSlots = 16;

QString fromOUString(const rtl::OUString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getStr()), text.getLength());
}

rtl::OUString toOUString(const QString &text)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode *>(text.utf16()), text.size());
}

template <typename T>
Sequence<T> sequenceOf(std::initializer_list<T> items)
{
    return Sequence<T>(items.begin(), sal_Int32(items.size()));
}

beans::PropertyValue property(const char *name, const Any &value)
{
    return beans::PropertyValue(rtl::OUString::createFromAscii(name), 0, value, beans::PropertyState_DIRECT_VALUE);
}

// Answers every question a document would ask with its abort choice, so loading fails instead of waiting.
class AbortingInteractionHandler : public cppu::WeakImplHelper1<task::XInteractionHandler> {
public:
    void SAL_CALL handle(const Reference<task::XInteractionRequest> &request) override
    {
        const auto continuations = request->getContinuations();
        for (const auto &continuation : continuations) {
            Reference<task::XInteractionAbort> abort(continuation, uno::UNO_QUERY);
            if (abort.is()) {
                abort->select();
                return;
            }
        }
    }
};

// This process's own UNO environment, made once and kept to the end (its teardown at exit
// would race the bridge threads).
const Reference<uno::XComponentContext> &localContext()
{
    static const auto *context = [] {
        if (qEnvironmentVariableIsEmpty("URE_BOOTSTRAP"))
            qputenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" ORVENNA_LIBREOFFICE_PROGRAM_DIR "/fundamentalrc");
        return new Reference<uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
    }();
    return *context;
}

QString uniquePipeName()
{
    return QStringLiteral("orvenna-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

AutomationError hostError(const QString &text)
{
    return AutomationError(text, E_FAIL);
}

} // namespace

OfficeHost::OfficeHost(HostSettings settings) : m_settings(std::move(settings)) {}

OfficeHost::~OfficeHost()
{
    shutdown();
    if (m_profileLock >= 0)
        ::close(m_profileLock);
}

qint64 OfficeHost::processId() const
{
    return m_pid.load();
}

template <typename Work>
auto OfficeHost::guardedCall(Work &&work) -> decltype(work())
{
    if (m_shutDown)
        throw AutomationError(QStringLiteral("LibreOffice has been shut down"), RPC_E_DISCONNECTED);
    ensureRunning();
    ArmedWatchdog deadline(m_watchdog, m_settings.callLimit, [this] { killProcessGroup(); });
    const auto overran = [&] {
        discardProcess();
        return hostError(QStringLiteral("LibreOffice did not answer within %1 ms and was stopped")
                             .arg(m_settings.callLimit.count()));
    };
    try {
        if constexpr (std::is_void_v<decltype(work())>) {
            work();
            if (deadline.disarm())
                throw overran();
        } else {
            auto result = work();
            if (deadline.disarm())
                throw overran();
            return result;
        }
    } catch (const lang::DisposedException &error) {
        if (deadline.disarm())
            throw overran();
        // Usually the bridge going with its host, which may still be ending.
        if (processEnded() || m_process->waitForFinished(200))
            discardProcess();
        throw hostError(fromOUString(error.Message));
    } catch (const uno::Exception &error) {
        if (deadline.disarm())
            throw overran();
        if (processEnded())
            discardProcess();
        throw hostError(fromOUString(error.Message));
    }
}

void OfficeHost::ensureRunning()
{
    if (m_process && processEnded())
        discardProcess(); // ended from outside: the next call runs on a new host
    if (!m_process)
        start();
}

QString OfficeHost::profileDirectory()
{
    if (!m_profileDir.isEmpty())
        return m_profileDir;
    QString root = m_settings.profileRoot;
    if (root.isEmpty())
        root = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
               QStringLiteral("/orvenna-print/libreoffice");
    if (!QDir().mkpath(root))
        throw hostError(QStringLiteral("The LibreOffice profile folder %1 cannot be created").arg(root));
    // A profile serves one LibreOffice process at a time: a second one would hand its work
    // over to the first and end. Each running program takes a free slot.
    for (int slot = 0; slot < ProfileSlots; ++slot) {
        const QString base = QStringLiteral("%1/profile-%2").arg(root).arg(slot);
        const int fd = ::open(QFile::encodeName(base + QStringLiteral(".lock")).constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_profileLock = fd;
            m_profileDir = base;
            return m_profileDir;
        }
        ::close(fd);
    }
    throw hostError(QStringLiteral("Every LibreOffice profile under %1 is in use").arg(root));
}

void OfficeHost::startProcess(const QString &pipeName)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(QStringLiteral(ORVENNA_LIBREOFFICE_PROGRAM_DIR "/soffice.bin"));
    m_process->setArguments({
        QStringLiteral("--headless"),
        QStringLiteral("--invisible"),
        QStringLiteral("--nologo"),
        QStringLiteral("--norestore"),
        QStringLiteral("--nodefault"),
        QStringLiteral("--nolockcheck"),
        QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profileDirectory()).toString(QUrl::FullyEncoded),
        QStringLiteral("--accept=pipe,name=%1;urp;").arg(pipeName),
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SAL_ENABLE_FILE_LOCKING"), QStringLiteral("1")); // as its launcher sets it
    m_process->setProcessEnvironment(environment);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
    // Its own process group, so that a kill reaches whatever it starts; and it dies with us.
    m_process->setChildProcessModifier([parent = ::getpid()] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
    });
    m_process->start();
    if (!m_process->waitForStarted()) {
        const QString reason = m_process->errorString();
        m_process.reset();
        throw hostError(QStringLiteral("LibreOffice could not be started: %1").arg(reason));
    }
    m_pid = m_process->processId();
}

void OfficeHost::start()
{
    Reference<bridge::XUnoUrlResolver> resolver;
    try {
        resolver = bridge::UnoUrlResolver::create(localContext());
    } catch (const uno::Exception &error) {
        throw hostError(QStringLiteral("LibreOffice could not be started: %1").arg(fromOUString(error.Message)));
    }
    ArmedWatchdog deadline(m_watchdog, m_settings.startLimit, [this] { killProcessGroup(); });
    for (int attempt = 0;; ++attempt) {
        const QString pipeName = uniquePipeName();
        startProcess(pipeName);
        const auto url = toOUString(QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName));
        while (!m_context.is()) {
            try {
                m_context.set(resolver->resolve(url), UNO_QUERY_THROW);
                break;
            } catch (const connection::NoConnectException &) {
            } catch (const uno::Exception &error) {
                discardProcess();
                throw hostError(QStringLiteral("LibreOffice could not be reached: %1").arg(fromOUString(error.Message)));
            }
            // The wait for its end doubles as the pause between attempts.
            if (m_process->waitForFinished(100))
                break;
        }
        if (m_context.is())
            break;
        const int code = m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
        discardProcess();
        if (deadline.disarm())
            throw hostError(QStringLiteral("LibreOffice did not start within %1 ms").arg(m_settings.startLimit.count()));
        if ((code != RestartRequested && code != RestartAfterCrash) || attempt >= 2)
            throw hostError(QStringLiteral("LibreOffice ended while starting (exit code %1)").arg(code));
    }
    try {
        configureProfile();
        m_desktop = frame::Desktop::create(m_context);
    } catch (const uno::Exception &error) {
        discardProcess();
        throw hostError(QStringLiteral("LibreOffice could not be reached: %1").arg(fromOUString(error.Message)));
    }
    if (deadline.disarm()) {
        discardProcess();
        throw hostError(QStringLiteral("LibreOffice did not start within %1 ms").arg(m_settings.startLimit.count()));
    }
    ++m_generation;
}

void OfficeHost::configureProfile()
{
    // No lock file beside the documents: a killed host would leave it behind, and the next
    // load of that document would then fail.
    const Reference<lang::XMultiServiceFactory> provider = configuration::theDefaultProvider::get(m_context);
    const auto nodePath =
        sequenceOf({Any(beans::NamedValue("nodepath", Any(rtl::OUString("/org.openoffice.Office.Common/Misc"))))});
    const Reference<container::XNameReplace> misc(
        provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationUpdateAccess", nodePath),
        UNO_QUERY_THROW);
    misc->replaceByName("UseLocking", Any(false));
    Reference<util::XChangesBatch>(misc, UNO_QUERY_THROW)->commitChanges();
}

bool OfficeHost::processEnded()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return true;
    // Asks the kernel rather than QProcess, which learns of the end only later; the ended child
    // is left for QProcess to reap. __WALL: QProcess's children may report their end by pidfd
    // instead of SIGCHLD.
    siginfo_t info{};
    if (::waitid(P_PID, id_t(m_pid.load()), &info, WEXITED | WNOHANG | WNOWAIT | __WALL) != 0)
        return errno == ECHILD;
    return info.si_pid != 0;
}

void OfficeHost::killProcessGroup()
{
    const qint64 pid = m_pid.load();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
}

void OfficeHost::discardProcess()
{
    m_desktop.clear();
    m_context.clear();
    if (!m_process)
        return;
    killProcessGroup();
    m_process->waitForFinished(5000);
    m_process.reset();
    m_pid = 0;
}

// Called inside a guarded call, after a host that ended has been replaced.
const Reference<lang::XComponent> &OfficeHost::component(const Document &document) const
{
    if (!document.m_component.is() || document.m_generation != m_generation || !m_process)
        throw AutomationError(QStringLiteral("The document is no longer open in LibreOffice"), RPC_E_DISCONNECTED);
    return document.m_component;
}

OfficeHost::Document OfficeHost::load(const QString &path, Access access, const QString &factory)
{
    const QString url = path.isEmpty()
                            ? QStringLiteral("private:factory/") + factory
                            : QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    Document document;
    document.m_component = guardedCall([&] {
        const auto arguments = sequenceOf({
            property("Hidden", Any(true)),
            property("ReadOnly", Any(access == Access::ReadOnly)),
            property("InteractionHandler", Any(Reference<task::XInteractionHandler>(new AbortingInteractionHandler))),
            property("MacroExecutionMode", Any(document::MacroExecMode::NEVER_EXECUTE)),
            property("UpdateDocMode", Any(document::UpdateDocMode::NO_UPDATE)),
        });
        return m_desktop->loadComponentFromURL(toOUString(url), "_blank", 0, arguments);
    });
    if (!document.m_component.is())
        throw hostError(QStringLiteral("'%1' could not be opened").arg(path));
    document.m_generation = m_generation;
    return document;
}

void OfficeHost::print(const Document &document)
{
    guardedCall([&] {
        Reference<view::XPrintable>(component(document), UNO_QUERY_THROW)
            ->print(sequenceOf({property("Wait", Any(true))}));
    });
}

bool OfficeHost::isModified(const Document &document)
{
    return guardedCall(
        [&] { return bool(Reference<util::XModifiable>(component(document), UNO_QUERY_THROW)->isModified()); });
}

void OfficeHost::store(const Document &document)
{
    guardedCall([&] { Reference<frame::XStorable>(component(document), UNO_QUERY_THROW)->store(); });
}

void OfficeHost::close(Document &document)
{
    const Reference<lang::XComponent> model = std::exchange(document.m_component, {});
    if (!model.is() || document.m_generation != m_generation || processEnded() || m_shutDown)
        return;
    guardedCall([&] {
        const Reference<util::XCloseable> closeable(model, uno::UNO_QUERY);
        if (closeable.is())
            closeable->close(true);
        else
            model->dispose();
    });
}

void OfficeHost::run(const std::function<void(const Reference<uno::XComponentContext> &)> &work)
{
    guardedCall([&] { work(m_context); });
}

void OfficeHost::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (!m_process)
        return;
    {
        ArmedWatchdog deadline(m_watchdog, m_settings.terminateGrace, [this] { killProcessGroup(); });
        try {
            if (m_desktop.is())
                m_desktop->terminate();
        } catch (const uno::Exception &) {
            // It is killed below when it does not end by itself.
        }
    }
    m_desktop.clear();
    m_context.clear();
    if (!m_process->waitForFinished(int(m_settings.terminateGrace.count())))
        killProcessGroup();
    discardProcess();
}

} // namespace office::libreoffice
