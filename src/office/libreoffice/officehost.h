#pragma once
// The office host: one private headless LibreOffice process, started at the first call, with
// its own user profile under the user's cache directory, reached over a UNO pipe of its own.
// Every call has a time limit; a call that overruns kills the process and fails, and the next
// call starts a new one. The process never outlives this object (nor the program).
// Use it from one thread: the process is tied to the thread that started it.

#include "office/automation.h"
#include "office/libreoffice/watchdog.h"

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QProcess;

namespace office::libreoffice {

struct HostSettings {
    std::chrono::milliseconds startLimit{60000};  // a first start also creates the profile
    std::chrono::milliseconds callLimit{60000};
    std::chrono::milliseconds terminateGrace{3000};
    QString profileRoot; // empty: "orvenna-print/libreoffice" under the user's cache directory
};

class OfficeHost {
public:
    enum class Access { ReadOnly, ReadWrite };

    // A document loaded by the host; it is gone when the host process that loaded it has ended.
    class Document {
    public:
        bool isOpen() const { return m_component.is(); }
        const css::uno::Reference<css::lang::XComponent> &model() const { return m_component; }

    private:
        friend class OfficeHost;
        css::uno::Reference<css::lang::XComponent> m_component;
        int m_generation = 0;
    };

    explicit OfficeHost(HostSettings settings = {});
    ~OfficeHost();
    OfficeHost(const OfficeHost &) = delete;
    OfficeHost &operator=(const OfficeHost &) = delete;

    // Loads hidden, without any question to anybody and without running macros: a document
    // that would ask (password, repair, macros) fails to load. An empty `path` stands for a new
    // document from `factory` ("swriter", "scalc").
    Document load(const QString &path, Access access, const QString &factory = QString());
    // Prints once on the default printer; returns when the job has been handed to the spooler.
    void print(const Document &document);
    bool isModified(const Document &document);
    // Writes the document back to the file it was loaded from.
    void store(const Document &document);
    // Closes without saving; nothing when the document is already gone.
    void close(Document &document);

    // Runs `work` against the host's component context under the call limit.
    void run(const std::function<void(const css::uno::Reference<css::uno::XComponentContext> &)> &work);

    // Ends the process (politely, then by force) and refuses every later call.
    void shutdown();

    // The host process's id, 0 when none runs.
    qint64 processId() const;
    // Counts the processes started so far.
    int generation() const { return m_generation; }
    const HostSettings &settings() const { return m_settings; }

private:
    template <typename Work>
    auto guardedCall(Work &&work) -> decltype(work());
    void ensureRunning();
    void start();
    void startProcess(const QString &pipeName);
    void configureProfile();
    bool processEnded();
    void discardProcess();
    void killProcessGroup();
    const css::uno::Reference<css::lang::XComponent> &component(const Document &document) const;
    QString profileDirectory();

    HostSettings m_settings;
    Watchdog m_watchdog;
    std::unique_ptr<QProcess> m_process;
    std::atomic<qint64> m_pid{0};
    css::uno::Reference<css::uno::XComponentContext> m_context;
    css::uno::Reference<css::frame::XDesktop2> m_desktop;
    int m_generation = 0;
    bool m_shutDown = false;
    int m_profileLock = -1;
    QString m_profileDir;
};

} // namespace office::libreoffice
