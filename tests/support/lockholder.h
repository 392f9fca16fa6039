#pragma once
// A child process that holds a lock on a file until the object goes, standing for another
// program writing the file.

#include <QString>
#include <sys/types.h>

namespace testsupport {

class LockHolder {
public:
    enum Kind { FcntlWrite, FlockExclusive, FcntlRead, FlockShared };
    LockHolder(const QString &path, Kind kind);
    ~LockHolder();
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;
    bool locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    bool m_locked = false;
};

} // namespace testsupport
