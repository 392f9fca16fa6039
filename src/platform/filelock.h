#pragma once
// Files opened for reading with writing by others denied.

#include <QByteArray>
#include <QString>

namespace platform {

// Reads the whole file while holding a shared lock on it. Refused, with the system's error
// text as a core::Error, when the file cannot be opened or another process holds a write
// lock (fcntl or flock) on it.
QByteArray readWholeFileDenyWrite(const QString &path);

} // namespace platform
