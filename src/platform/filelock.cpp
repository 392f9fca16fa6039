#include "platform/filelock.h"

#include "core/errors.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

[[noreturn]] void throwSystemError(int error)
{
    throw core::Error(QString::fromLocal8Bit(std::strerror(error)));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

QByteArray readWholeFileDenyWrite(const QString &path)
{
    const FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throwSystemError(errno);

    // A shared lock of both kinds: it is refused while a writer holds either kind, and it keeps
    // cooperating writers out until the file is closed.
    struct flock shared {};
    shared.l_type = F_RDLCK;
    shared.l_whence = SEEK_SET;
    if (::fcntl(fd.get(), F_OFD_SETLK, &shared) != 0)
        throwSystemError(errno);
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0)
        throwSystemError(errno);

    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throwSystemError(errno);
    QByteArray content;
    content.reserve(info.st_size > 0 ? qsizetype(info.st_size) : 0);
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwSystemError(errno);
        }
        if (n == 0)
            break;
        content.append(chunk, n);
    }
    return content;
}

} // namespace platform
