#pragma once
// Test helper: another process holding a lock on a file until the holder is destroyed.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

enum class LockKind { FcntlWrite, FcntlRead, FlockExclusive, FlockShared };

class LockHolder {
public:
    // Returns once the child holds the lock; locked() is false when it could not take it.
    LockHolder(const QString &path, LockKind kind)
    {
        const QByteArray nativePath = QFile::encodeName(path);
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            // Only async-signal-safe calls in the child of a threaded process.
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(nativePath.constData(), O_RDWR);
            bool ok = fd >= 0;
            if (ok && (kind == LockKind::FcntlWrite || kind == LockKind::FcntlRead)) {
                struct flock range {};
                range.l_type = kind == LockKind::FcntlWrite ? F_WRLCK : F_RDLCK;
                range.l_whence = SEEK_SET;
                ok = ::fcntl(fd, F_SETLK, &range) == 0;
            } else if (ok) {
                ok = ::flock(fd, (kind == LockKind::FlockExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
            }
            const char answer = ok ? 'y' : 'n';
            (void)!::write(ready[1], &answer, 1);
            char ignored;
            (void)!::read(release[0], &ignored, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char answer = 'n';
        m_locked = m_pid > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    ~LockHolder()
    {
        if (m_release >= 0)
            ::close(m_release); // the child's read returns and it exits, dropping the lock
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
    }
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;
    bool locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_locked = false;
};
