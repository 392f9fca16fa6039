#pragma once
// The text form of a print entry: a four-character copies field, a two-character gap, then the
// file name with an optional "&" suffix. Positions count UTF-16 code units.

#include <QString>
#include <cstdint>

namespace core {

enum class DocType { None, Doc, Docx, Xls, Xlsx, Jpg, Jpeg };

enum class DocFamily { None, Word, Excel, Image };

// Characters 1 to 4, trimmed of everything up to U+0020 at both ends, through StrToInt.
std::int32_t entryCopies(const QString &entry);

// The entry without its first six characters, cut before the first "&".
QString entryFileName(const QString &entry);

// DocPath followed directly by the file name; no separator is inserted.
QString entryFullPath(const QString &docPath, const QString &entry);

// Decided from the last 3 or 4 characters of the whole entry, suffix included.
DocType entryDocType(const QString &entry);

DocFamily docFamily(DocType type);

// Upper-cases one UTF-16 code unit at a time; the length never changes.
QString upperCaseUnits(const QString &text);

// Blanks in front of the text until it has `width` units; never cuts.
QString PadLeft(const QString &text, std::int32_t width);

} // namespace core
