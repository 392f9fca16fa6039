// Runs a private CUPS scheduler until the process is told to end (SIGTERM, SIGINT, SIGHUP), copying every
// captured job into an output folder as a PDF named after its job id and title.
// Usage: orvenna-private-cups OUTPUT_DIR   (prints the scheduler's socket path on stdout)
#include "cupsscheduler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <csignal>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QString outputDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outputDir);

    testsupport::CupsScheduler cups;
    QString error;
    if (!cups.start(&error)) {
        std::fprintf(stderr, "cannot start the private scheduler: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(cups.socketPath()));
    std::fflush(stdout);

    // Ending through the event loop lets the scheduler be stopped on the way out.
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        std::signal(sig, [](int) { QCoreApplication::quit(); });

    QSet<int> copied;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        for (const auto &job : cups.jobs()) {
            if (copied.contains(job.id))
                continue;
            copied.insert(job.id);
            QString title = job.title;
            title.replace(QRegularExpression(QStringLiteral("[/\\s]+")), QStringLiteral("_"));
            const QString target = QStringLiteral("%1/job-%2-%3.pdf").arg(outputDir).arg(job.id).arg(title);
            QFile::copy(job.dataPath, target);
            QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::ReadGroup | QFileDevice::ReadOther);
            std::printf("printed %s\n", qPrintable(target));
            std::fflush(stdout);
        }
    });
    poll.start(300);
    return app.exec();
}
