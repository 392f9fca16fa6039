#include "lockholder.h"

#include <QFile>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

LockHolder::LockHolder(const QString &path, Kind kind)
{
    int ready[2];
    if (pipe(ready) != 0)
        return;
    const QByteArray name = QFile::encodeName(path);
    m_pid = fork();
    if (m_pid == 0) {
        const bool reader = kind == FcntlRead || kind == FlockShared;
        const int fd = ::open(name.constData(), reader ? O_RDONLY : O_RDWR);
        struct flock lock {};
        lock.l_type = reader ? F_RDLCK : F_WRLCK;
        lock.l_whence = SEEK_SET;
        bool locked = fd >= 0;
        if (locked && (kind == FlockExclusive || kind == FlockShared))
            locked = ::flock(fd, kind == FlockExclusive ? LOCK_EX : LOCK_SH) == 0;
        else if (locked)
            locked = ::fcntl(fd, F_SETLK, &lock) == 0;
        const char answer = locked ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        for (;;)
            pause();
    }
    char answer = 'n';
    (void)!::read(ready[0], &answer, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    m_locked = answer == 'y';
}

LockHolder::~LockHolder()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

} // namespace testsupport
