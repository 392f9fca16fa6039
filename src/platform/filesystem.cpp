#include "platform/filesystem.h"

#include "core/errors.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd); // also releases our shared locks
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void refuse(const QString &path, const QString &reason)
{
    throw core::Error(cannotOpenMessage(path, reason));
}

bool isSymbolicLink(const QByteArray &nativePath)
{
    struct stat info {};
    return ::lstat(nativePath.constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Shared locks in both lock families keep writers that lock out while we read, and fail at once
// when a writer already holds one.
bool lockAgainstWriters(int fd)
{
    struct flock range {};
    range.l_type = F_RDLCK;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;
    if (::fcntl(fd, F_SETLK, &range) == -1 && (errno == EACCES || errno == EAGAIN))
        return false;
    if (::flock(fd, LOCK_SH | LOCK_NB) == -1 && errno == EWOULDBLOCK)
        return false;
    return true;
}

} // namespace

QString cannotOpenMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("Cannot open file \"%1\". %2").arg(QFileInfo(path).absoluteFilePath(), reason);
}

QByteArray readWholeFileDenyWrite(const QString &path, FileTrust trust)
{
    const bool ownOnly = trust == FileTrust::OwnFilesOnly;
    const QByteArray nativePath = QFile::encodeName(path);
    // Not following links and checking what was actually opened leaves nothing to swap in
    // between the checks and the read. O_NONBLOCK keeps a planted FIFO from hanging the open.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (ownOnly ? O_NOFOLLOW : 0);
    const FileDescriptor fd(::open(nativePath.constData(), flags));
    if (fd.get() < 0) {
        const int error = errno;
        if (ownOnly && error == ELOOP && isSymbolicLink(nativePath))
            refuse(path, QStringLiteral("The file is a symbolic link"));
        refuse(path, systemErrorText(error));
    }

    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        refuse(path, systemErrorText(errno));
    if (S_ISDIR(info.st_mode))
        refuse(path, systemErrorText(EISDIR));
    if (!S_ISREG(info.st_mode))
        refuse(path, QStringLiteral("The file is not a regular file"));
    if (ownOnly && info.st_uid != ::geteuid())
        refuse(path, QStringLiteral("The file belongs to another user"));
    if (!lockAgainstWriters(fd.get()))
        refuse(path, QStringLiteral("The file is locked for writing by another process"));

    QByteArray content;
    content.reserve(qsizetype(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            refuse(path, systemErrorText(errno));
        }
        content.append(buffer, n);
    }
    return content;
}

bool fileEntryExists(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

void deleteFileQuietly(const QString &path)
{
    ::unlink(QFile::encodeName(path).constData());
}

} // namespace platform
