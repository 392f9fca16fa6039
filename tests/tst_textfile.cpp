#include "core/errors.h"
#include "support/files.h"
#include "support/lockholder.h"
#include "platform/filesystem.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

using testsupport::LockHolder;
using testsupport::writeFile;

namespace {

const QString kNoMapping =
    QStringLiteral("No mapping for the Unicode character exists in the target multi-byte code page");

QByteArray bytes(const char *data, int size)
{
    return QByteArray(data, size);
}

// What readWholeFileDenyWrite throws for the path, or an empty text when it reads.
QString openFailure(const QString &path)
{
    try {
        readWholeFileDenyWrite(path);
    } catch (const core::Error &error) {
        return error.message();
    }
    return {};
}

} // namespace

class TestTextFile : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void encodingByFirstBytes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("markLength");
        QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBFx") << int(TextEncoding::Utf8) << 3;
        QTest::newRow("UTF-16 LE mark") << QByteArray("\xFF\xFEx\0", 4) << int(TextEncoding::Utf16LE) << 2;
        QTest::newRow("UTF-16 BE mark") << QByteArray("\xFE\xFF\0x", 4) << int(TextEncoding::Utf16BE) << 2;
        QTest::newRow("UTF-32 LE mark counts as UTF-16 LE")
            << QByteArray("\xFF\xFE\0\0", 4) << int(TextEncoding::Utf16LE) << 2;
        QTest::newRow("part of the UTF-8 mark") << QByteArray("\xEF\xBBx") << int(TextEncoding::Ansi) << 0;
        QTest::newRow("one byte of a UTF-16 mark") << QByteArray("\xFF") << int(TextEncoding::Ansi) << 0;
        QTest::newRow("empty") << QByteArray() << int(TextEncoding::Ansi) << 0;
        QTest::newRow("plain text") << QByteArray("abc") << int(TextEncoding::Ansi) << 0;
    }
    void encodingByFirstBytes()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, encoding);
        QFETCH(int, markLength);
        const DetectedEncoding detected = detectEncoding(content);
        QCOMPARE(int(detected.encoding), encoding);
        QCOMPARE(detected.byteOrderMarkLength, markLength);
    }

    void decodeAndSplit_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("codeset");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("error");
        const QByteArray utf8 = "UTF-8";
        const QStringList ab{"a", "b"};
        QTest::newRow("empty file") << QByteArray() << utf8 << QStringList() << QString();
        QTest::newRow("last line without break") << QByteArray("a\r\nb") << utf8 << ab << QString();
        QTest::newRow("CR LF, trailing break") << QByteArray("a\r\nb\r\n") << utf8 << ab << QString();
        QTest::newRow("lone CR") << QByteArray("a\rb\r") << utf8 << ab << QString();
        QTest::newRow("lone LF") << QByteArray("a\nb\n") << utf8 << ab << QString();
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << utf8 << QStringList{"a", "", "b"} << QString();
        QTest::newRow("empty line in the middle")
            << QByteArray("a\r\n\r\nb") << utf8 << QStringList{"a", "", "b"} << QString();
        QTest::newRow("only a break") << QByteArray("\n") << utf8 << QStringList{""} << QString();
        QTest::newRow("two trailing breaks") << QByteArray("a\n\n") << utf8 << QStringList{"a", ""} << QString();
        QTest::newRow("no trimming") << QByteArray(" a \t\n\t ") << utf8 << QStringList{" a \t", "\t "} << QString();
        QTest::newRow("NUL ends the text") << bytes("a\nb\0c\nd", 7) << utf8 << ab << QString();
        QTest::newRow("NUL first") << bytes("\0a", 2) << utf8 << QStringList() << QString();
        QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBFx\xC3\xA9\n\xE4\xBD\xA0") << QByteArray("GBK")
                                         << QStringList{"xé", "你"} << QString();
        QTest::newRow("only the UTF-8 mark") << QByteArray("\xEF\xBB\xBF") << utf8 << QStringList() << QString();
        QTest::newRow("a second mark is text")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << utf8 << QStringList{QStringLiteral("\uFEFFx")} << QString();
        QTest::newRow("UTF-16 LE with mark") << bytes("\xFF\xFE"
                                                      "a\0\r\0\n\0"
                                                      "`O",
                                                      10)
                                             << utf8 << QStringList{"a", "你"} << QString();
        QTest::newRow("UTF-16 BE with mark")
            << bytes("\xFE\xFF\0a\0\n\0\r\0b", 10) << utf8 << QStringList{"a", "", "b"} << QString();
        QTest::newRow("UTF-16 code 0 ends the text") << bytes("\xFF\xFE"
                                                              "a\0\0\0b\0",
                                                              8)
                                                     << utf8 << QStringList{"a"} << QString();
        QTest::newRow("UTF-16 odd last byte") << bytes("\xFF\xFE"
                                                       "a\0b",
                                                       5)
                                              << utf8 << QStringList{QStringLiteral("a\uFFFD")} << QString();
        // Found by fuzzing: a lone surrogate once stopped the line breaks from being found.
        QTest::newRow("UTF-16 lone surrogate still splits") << bytes("\xFF\xFE"
                                                                   "a\xDC\n\0b\0",
                                                                   8)
                                                            << utf8 << QStringList{QString(QChar(0xDC61)), "b"}
                                                            << QString();
        QTest::newRow("UTF-16 without mark: first zero byte ends the text")
            << bytes("C\0:\0\\\0\n\0", 8) << utf8 << QStringList{"C"} << QString();
        QTest::newRow("invalid UTF-8 after the mark") << QByteArray("\xEF\xBB\xBF"
                                                                    "ab\xFF\n")
                                                      << utf8 << QStringList() << kNoMapping;
        QTest::newRow("UTF-8 cut off at the end") << QByteArray("\xEF\xBB\xBF"
                                                                "ab\xE4\xBD")
                                                  << utf8 << QStringList() << kNoMapping;
        QTest::newRow("encoded surrogate")
            << QByteArray("\xEF\xBB\xBF\xED\xA0\x80") << utf8 << QStringList() << kNoMapping;
        QTest::newRow("invalid UTF-8 behind a NUL still counts") << bytes("\xEF\xBB\xBF"
                                                                          "a\0\xFF",
                                                                          6)
                                                                 << utf8 << QStringList() << kNoMapping;
        QTest::newRow("locale UTF-8, invalid bytes replaced")
            << QByteArray("a\xFF"
                          "b\n\xC3")
            << utf8 << QStringList{QStringLiteral("a\uFFFDb"), QStringLiteral("\uFFFD")} << QString();
        QTest::newRow("locale GBK") << QByteArray("\xC4\xE3\xBA\xC3\r\nx") << QByteArray("GBK")
                                    << QStringList{"你好", "x"} << QString();
        QTest::newRow("locale GBK, undecodable byte replaced")
            << QByteArray("\xFF"
                          "a\xC4\xE3")
            << QByteArray("GBK") << QStringList{QStringLiteral("\uFFFDa你")} << QString();
        QTest::newRow("locale GBK, lead byte cut off at the end")
            << QByteArray("a\xC4") << QByteArray("GBK") << QStringList{QStringLiteral("a\uFFFD")} << QString();
        QTest::newRow("locale Latin-1") << QByteArray("caf\xE9") << QByteArray("ISO-8859-1") << QStringList{"café"}
                                        << QString();
        QTest::newRow("unknown character set read as UTF-8")
            << QByteArray("\xC3\xA9\xFF") << QByteArray("NO-SUCH-CHARSET") << QStringList{QStringLiteral("é\uFFFD")}
            << QString();
    }
    void decodeAndSplit()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, codeset);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        try {
            QCOMPARE(splitLines(decodeTextFile(content, codeset)), lines);
            QVERIFY2(error.isEmpty(), "expected an error");
        } catch (const core::Error &e) {
            QCOMPARE(e.message(), error);
        }
    }

    void longTextAcrossDecoderChunks()
    {
        // More output than iconv's working buffer holds, with a bad byte at the very end.
        QByteArray gbk;
        QString expected;
        for (int i = 0; i < 50000; ++i) {
            gbk += "\xC4\xE3";
            expected += QStringLiteral("你");
        }
        gbk += "\xFF";
        expected += QChar::ReplacementCharacter;
        QCOMPARE(decodeAnsi(gbk, "GBK"), expected);
    }

    void localeCharacterSet()
    {
        const QByteArray saved = std::setlocale(LC_CTYPE, nullptr);
        QVERIFY(std::setlocale(LC_CTYPE, "C"));
        QCOMPARE(ansiCodeset(), QByteArray("UTF-8"));
        QVERIFY(std::setlocale(LC_CTYPE, "POSIX"));
        QCOMPARE(ansiCodeset(), QByteArray("UTF-8"));
        QVERIFY(std::setlocale(LC_CTYPE, "C.UTF-8"));
        QCOMPARE(ansiCodeset(), QByteArray("UTF-8"));

        // A Chinese locale in GBK, built for the test, as the process's locale.
        QTemporaryDir locales;
        QProcess localedef;
        localedef.start(QStringLiteral("localedef"), {"-i", "zh_CN", "-f", "GBK", locales.filePath("zh_CN.GBK")});
        QVERIFY(localedef.waitForFinished(60000));
        QVERIFY2(QFileInfo(locales.filePath("zh_CN.GBK")).isDir(), localedef.readAllStandardError().constData());
        qputenv("LOCPATH", QFile::encodeName(locales.path()));
        QVERIFY(std::setlocale(LC_CTYPE, "zh_CN.GBK"));
        QCOMPARE(ansiCodeset(), QByteArray("GBK"));
        QVERIFY(writeFile(path("gbk.txt"), "D:\\\xCE\xC4\xBC\xFE\\\r\n1\r\n"));
        const QStringList lines = readTextFileLines(path("gbk.txt"));
        std::setlocale(LC_CTYPE, saved.constData());
        qunsetenv("LOCPATH");
        QCOMPARE(lines, QStringList({"D:\\文件\\", "1"}));
    }

    void readsWholeFile()
    {
        QByteArray content;
        for (int i = 0; i < 100000; ++i)
            content += char('a' + i % 26);
        QVERIFY(writeFile(path("whole.txt"), content));
        QCOMPARE(readWholeFileDenyWrite(path("whole.txt")), content);
        QVERIFY(writeFile(path("empty.txt"), QByteArray()));
        QCOMPARE(readWholeFileDenyWrite(path("empty.txt")), QByteArray());
    }

    void refusedFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing.txt"
                                 << "No such file or directory";
        QTest::newRow("directory") << "adir"
                                   << "Is a directory";
        QTest::newRow("symbolic link to a good file") << "link.txt"
                                                      << "The file is a symbolic link";
        QTest::newRow("dangling symbolic link") << "dangling.txt"
                                                << "The file is a symbolic link";
        QTest::newRow("FIFO") << "fifo"
                              << "The file is not a regular file";
        QTest::newRow("owned by another user") << "foreign.txt"
                                               << "The file belongs to another user";
    }
    void refusedFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const QString file = path(name);
        QVERIFY(writeFile(path("good.txt"), "x"));
        if (name == "adir")
            QVERIFY(QDir().mkpath(file));
        else if (name == "link.txt")
            QVERIFY(QFile::link(path("good.txt"), file));
        else if (name == "dangling.txt")
            QVERIFY(QFile::link(path("nowhere.txt"), file));
        else if (name == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else if (name == "foreign.txt") {
            QVERIFY(writeFile(file, "x"));
            if (::chown(QFile::encodeName(file).constData(), 65534, 65534) != 0)
                QSKIP("changing a file's owner needs root");
        }
        QCOMPARE(openFailure(file), QStringLiteral("Cannot open file \"%1\". %2").arg(file, reason));
    }

    void messageHasTheFullPath()
    {
        QVERIFY(writeFile(path("here.txt"), "x"));
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const QString message = openFailure(QStringLiteral("nothere.txt"));
        const QByteArray content = readWholeFileDenyWrite(QStringLiteral("here.txt"));
        QDir::setCurrent(saved);
        QCOMPARE(message, QStringLiteral("Cannot open file \"%1\". No such file or directory")
                              .arg(QDir(m_dir.path()).absoluteFilePath("nothere.txt")));
        QCOMPARE(content, QByteArray("x"));
    }

    void locks_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("refused");
        QTest::newRow("fcntl write lock") << int(LockHolder::FcntlWrite) << true;
        QTest::newRow("flock exclusive lock") << int(LockHolder::FlockExclusive) << true;
        QTest::newRow("fcntl read lock") << int(LockHolder::FcntlRead) << false;
        QTest::newRow("flock shared lock") << int(LockHolder::FlockShared) << false;
    }
    void locks()
    {
        QFETCH(int, kind);
        QFETCH(bool, refused);
        const QString file = path("locked.txt");
        QVERIFY(writeFile(file, "content"));
        {
            const LockHolder holder(file, LockHolder::Kind(kind));
            QVERIFY(holder.locked());
            QCOMPARE(openFailure(file),
                     refused
                         ? QStringLiteral("Cannot open file \"%1\". The file is locked for writing by another process")
                               .arg(file)
                         : QString());
        }
        // Once the other process lets go, and after our own read, the file opens and can be locked again.
        QCOMPARE(readWholeFileDenyWrite(file), QByteArray("content"));
        const LockHolder writer(file, LockHolder::FcntlWrite);
        QVERIFY(writer.locked());
    }

    void entryExistence_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::newRow("file") << "good.txt" << true;
        QTest::newRow("directory") << "adir" << false;
        QTest::newRow("dangling link") << "dangling.txt" << true;
        QTest::newRow("missing") << "missing.txt" << false;
    }
    void entryExistence()
    {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QVERIFY(writeFile(path("good.txt"), "x"));
        QDir().mkpath(path("adir"));
        QFile::link(path("nowhere.txt"), path("dangling.txt"));
        QCOMPARE(fileEntryExists(path(name)), exists);
    }

    void deleting()
    {
        QVERIFY(writeFile(path("gone.txt"), "x"));
        deleteFileQuietly(path("gone.txt"));
        QVERIFY(!QFileInfo::exists(path("gone.txt")));
        deleteFileQuietly(path("gone.txt")); // nothing there: no error
        QVERIFY(QDir().mkpath(path("keptdir")));
        deleteFileQuietly(path("keptdir"));
        QVERIFY(QFileInfo(path("keptdir")).isDir());
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"
