#include "platform/textfile.h"

#include "core/errors.h"
#include "platform/filesystem.h"

#include <QStringDecoder>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace platform {

namespace {

const QByteArray kUtf8 = QByteArrayLiteral("UTF-8");

bool startsWith(const QByteArray &bytes, const char *prefix)
{
    return bytes.startsWith(QByteArrayView(prefix));
}

bool isUtf8Name(const QByteArray &codeset)
{
    return codeset.compare("UTF-8", Qt::CaseInsensitive) == 0 || codeset.compare("UTF8", Qt::CaseInsensitive) == 0;
}

QString decodeWithQt(QStringConverter::Encoding encoding, QByteArrayView bytes, bool *hadError = nullptr)
{
    // Stateless: a sequence cut off at the end counts as invalid instead of being held back.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (hadError)
        *hadError = decoder.hasError();
    return text;
}

// iconv stops at the first byte it cannot decode; that byte becomes U+FFFD and decoding goes on.
QString decodeWithIconv(iconv_t converter, const QByteArray &bytes)
{
    QString text;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    for (;;) {
        char *out = chunk.data();
        size_t outLeft = size_t(chunk.size());
        const bool stopped = ::iconv(converter, &in, &inLeft, &out, &outLeft) == size_t(-1);
        const int error = stopped ? errno : 0;
        text += decodeWithQt(QStringConverter::Utf16LE, QByteArrayView(chunk.constData(), out - chunk.constData()));
        if (error == E2BIG)
            continue;
        if ((error == EILSEQ || error == EINVAL) && inLeft > 0) {
            text += QChar::ReplacementCharacter;
            ++in;
            --inLeft;
            ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        return text;
    }
}

} // namespace

DetectedEncoding detectEncoding(const QByteArray &bytes)
{
    if (startsWith(bytes, "\xEF\xBB\xBF"))
        return {TextEncoding::Utf8, 3};
    if (startsWith(bytes, "\xFF\xFE"))
        return {TextEncoding::Utf16LE, 2};
    if (startsWith(bytes, "\xFE\xFF"))
        return {TextEncoding::Utf16BE, 2};
    return {TextEncoding::Ansi, 0};
}

QByteArray ansiCodeset()
{
    const char *locale = std::setlocale(LC_CTYPE, nullptr);
    if (!locale || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0)
        return kUtf8;
    const char *codeset = ::nl_langinfo(CODESET);
    return codeset && *codeset ? QByteArray(codeset) : kUtf8;
}

QString decodeAnsi(const QByteArray &bytes, const QByteArray &codeset)
{
    if (!isUtf8Name(codeset)) {
        const iconv_t converter = ::iconv_open("UTF-16LE", codeset.constData());
        if (converter != iconv_t(-1)) {
            QString text = decodeWithIconv(converter, bytes);
            ::iconv_close(converter);
            return text;
        }
    }
    return decodeWithQt(QStringConverter::Utf8, bytes);
}

QString decodeTextFile(const QByteArray &bytes, const QByteArray &ansiCodeset)
{
    const DetectedEncoding detected = detectEncoding(bytes);
    const QByteArrayView body = QByteArrayView(bytes).sliced(detected.byteOrderMarkLength);
    switch (detected.encoding) {
    case TextEncoding::Utf8: {
        bool invalid = false;
        QString text = decodeWithQt(QStringConverter::Utf8, body, &invalid);
        if (invalid)
            throw core::Error(
                QStringLiteral("No mapping for the Unicode character exists in the target multi-byte code page"));
        return text;
    }
    case TextEncoding::Utf16LE:
        return decodeWithQt(QStringConverter::Utf16LE, body);
    case TextEncoding::Utf16BE:
        return decodeWithQt(QStringConverter::Utf16BE, body);
    case TextEncoding::Ansi:
        break;
    }
    return decodeAnsi(bytes, ansiCodeset);
}

QStringList splitLines(QStringView text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text = text.first(nul);
    // A plain scan rather than a regular expression: the text may hold lone surrogates, which
    // make PCRE refuse to match at all.
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(start, i - start).toString());
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    // The text after the last break is a line only when it is not empty.
    if (start < text.size())
        lines.append(text.sliced(start).toString());
    return lines;
}

QStringList readTextFileLines(const QString &path)
{
    return splitLines(decodeTextFile(readWholeFileDenyWrite(path), ansiCodeset()));
}

} // namespace platform
