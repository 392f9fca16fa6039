#pragma once
// A private CUPS scheduler for tests: cupsd with its own configuration in a scratch folder,
// listening on a local socket, with queues whose backend captures every job into a folder.
// Starting it points this process at it (CUPS_SERVER), so libcups, Qt and child processes
// such as LibreOffice print to it instead of the system's scheduler.

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class QProcess;

namespace testsupport {

struct CapturedJob {
    int id = 0;
    QString queue;
    QString user;
    QString title;
    int copies = 0;
    QString options;
    QString dataPath; // the job's document as the backend received it
};

class CupsScheduler {
public:
    static constexpr const char *DefaultQueue = "capture";

    CupsScheduler();
    ~CupsScheduler(); // stops the scheduler; the scratch folder goes with the object

    // The first start writes the configuration and creates DefaultQueue (PDF in, 600 dpi default,
    // A4 default) as the scheduler's default queue. Later starts reuse the same queues.
    bool start(QString *error = nullptr);
    void stop();
    bool isRunning() const;

    // Adds a queue with the given PPD text (see pdfQueuePpd) capturing into captureDir().
    bool addQueue(const QString &name, const QString &ppdText, bool makeDefault, QString *error = nullptr);
    // A PPD for a PDF-consuming device whose default resolution is dpi and default paper A4.
    static QString pdfQueuePpd(int defaultDpi = 600);

    QString socketPath() const;
    QString captureDir() const;
    QString errorLog() const;

    // Jobs captured so far, by ascending job id.
    QList<CapturedJob> jobs() const;
    // Waits until at least count jobs have been captured.
    bool waitForJobs(int count, int timeoutMs = 30000) const;
    // Waits until the scheduler has no pending or processing job.
    bool waitUntilIdle(int timeoutMs = 30000) const;

private:
    bool writeConfiguration(QString *error);
    bool waitForSocket(int timeoutMs) const;
    bool runLpadmin(const QStringList &arguments, QString *error) const;

    QTemporaryDir m_root;
    std::unique_ptr<QProcess> m_cupsd;
    bool m_configured = false;
};

} // namespace testsupport
