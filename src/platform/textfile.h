#pragma once
// Text files read whole into lines: the encoding chosen by the first bytes, the locale's
// character set standing in for the ANSI code page, and the line rules of the hand-off files.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace platform {

enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Ansi };

struct DetectedEncoding {
    TextEncoding encoding = TextEncoding::Ansi;
    int byteOrderMarkLength = 0;
};

// EF BB BF, FF FE, FE FF, tested in that order; anything else is the ANSI code page.
DetectedEncoding detectEncoding(const QByteArray &bytes);

// The character set of the process's locale; the C and POSIX locales count as UTF-8.
QByteArray ansiCodeset();

// Bytes in the given character set; bytes that do not decode become U+FFFD, never an error.
QString decodeAnsi(const QByteArray &bytes, const QByteArray &codeset);

// A whole file's bytes as text, byte-order mark removed. Invalid UTF-8 after the UTF-8 mark
// throws core::Error "No mapping for the Unicode character exists in the target multi-byte
// code page".
QString decodeTextFile(const QByteArray &bytes, const QByteArray &ansiCodeset);

// Breaks at CR LF, lone CR and lone LF; a break at the very end adds no empty line; a
// character with code 0 ends the text. Lines are not trimmed.
QStringList splitLines(QStringView text);

// The whole file, opened as readWholeFileDenyWrite opens it, as lines.
QStringList readTextFileLines(const QString &path);

} // namespace platform
