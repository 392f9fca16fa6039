#pragma once
// Files as the program opens, tests and deletes them.

#include <QByteArray>
#include <QString>

namespace platform {

// Hand-off files lie in a folder every user can write to, so only the user's own regular files
// are trusted there; documents may be links or belong to others.
enum class FileTrust { OwnFilesOnly, AnyOwner };

// The whole content of a file opened for reading with writing by others denied. Refused, as a
// file that cannot be opened: anything but a regular file and a file another process holds a
// write lock on (fcntl or flock); with OwnFilesOnly also a symbolic link and a file owned by
// another user. Throws core::Error "Cannot open file "<full path>". <reason>".
QByteArray readWholeFileDenyWrite(const QString &path, FileTrust trust = FileTrust::OwnFilesOnly);

// The error for a file that cannot be opened.
QString cannotOpenMessage(const QString &path, const QString &reason);

// True when a directory entry of that name exists and is not a directory. A symbolic link
// counts as existing whatever it points to, so that it is refused rather than passed over.
bool fileEntryExists(const QString &path);

// Removes the directory entry; a file that cannot be removed stays, without a message.
void deleteFileQuietly(const QString &path);

} // namespace platform
