#pragma once
// Whether a process (not necessarily our child) has ended.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>

namespace testsupport {

// Ended means gone, or a zombie whose threads have all ended (it only waits to be reaped).
inline bool processAlive(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    const bool zombie = close >= 0 && line.mid(close + 2, 1) == "Z";
    const int threads = QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    return !zombie || threads > 1;
}

inline bool waitUntilGone(qint64 pid, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (processAlive(pid)) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace testsupport
