#include "core/printentry.h"
#include "core/intconv.h"

namespace core {

namespace {

// Trim as the copies rule defines it: every code up to U+0020, not only Unicode white space.
QString trimControlAndBlank(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= 0x20)
        ++first;
    while (last > first && text[last - 1].unicode() <= 0x20)
        --last;
    return text.mid(first, last - first);
}

} // namespace

std::int32_t entryCopies(const QString &entry)
{
    return StrToInt(trimControlAndBlank(entry.left(4)));
}

QString entryFileName(const QString &entry)
{
    const QString rest = entry.mid(6);
    const qsizetype amp = rest.indexOf(u'&');
    return amp < 0 ? rest : rest.left(amp);
}

QString entryFullPath(const QString &docPath, const QString &entry)
{
    return docPath + entryFileName(entry);
}

QString upperCaseUnits(const QString &text)
{
    QString result = text;
    for (QChar &c : result)
        c = c.toUpper();
    return result;
}

DocType entryDocType(const QString &entry)
{
    const QString last3 = upperCaseUnits(entry.right(3));
    const QString last4 = upperCaseUnits(entry.right(4));
    const bool long3 = entry.size() >= 3;
    const bool long4 = entry.size() >= 4;
    if (long3 && last3 == u"DOC") return DocType::Doc;
    if (long4 && last4 == u"DOCX") return DocType::Docx;
    if (long3 && last3 == u"XLS") return DocType::Xls;
    if (long4 && last4 == u"XLSX") return DocType::Xlsx;
    if (long3 && last3 == u"JPG") return DocType::Jpg;
    if (long4 && last4 == u"JPEG") return DocType::Jpeg;
    return DocType::None;
}

DocFamily docFamily(DocType type)
{
    switch (type) {
    case DocType::Doc:
    case DocType::Docx: return DocFamily::Word;
    case DocType::Xls:
    case DocType::Xlsx: return DocFamily::Excel;
    case DocType::Jpg:
    case DocType::Jpeg: return DocFamily::Image;
    case DocType::None: break;
    }
    return DocFamily::None;
}

QString PadLeft(const QString &text, std::int32_t width)
{
    if (text.size() >= width)
        return text;
    return QString(width - text.size(), u' ') + text;
}

} // namespace core
