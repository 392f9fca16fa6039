#include "support/lockholder.h"
#include "gui/uMain.h"
#include "platform/application.h"
#include "platform/messagebox.h"

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

using namespace gui;
using testsupport::LockHolder;
using platform::MessageBox;

namespace {

const QString kPara = QStringLiteral("VelmoraPara.Dat");
const QString kData = QStringLiteral("VelmoraData.Dat");
const QString kParaSP = QStringLiteral("VelmoraParaSP.Dat");
const QString kDataSP = QStringLiteral("VelmoraDataSP.Dat");

// Window placement written by the calling application in most cases below.
const QRect kPlaced(10, 20, 500, 400);
const QByteArray kPlacedLines = "10\r\n20\r\n500\r\n400\r\n";

QByteArray encoded(QStringConverter::Encoding encoding, const QString &text)
{
    return QStringEncoder(encoding).encode(text);
}
QByteArray utf16LE(const QString &text)
{
    return QByteArray("\xFF\xFE", 2) + encoded(QStringConverter::Utf16LE, text);
}
QByteArray utf16BE(const QString &text)
{
    return QByteArray("\xFE\xFF", 2) + encoded(QStringConverter::Utf16BE, text);
}
QByteArray utf8WithMark(const QString &text)
{
    return QByteArray("\xEF\xBB\xBF") + encoded(QStringConverter::Utf8, text);
}

QRect frame(const TfrmMain &form)
{
    return QRect(form.Left(), form.Top(), form.Width(), form.Height());
}

// Where the window stands when nothing has moved it: centred, its client area at design size.
QRect centredDesignFrame(const TfrmMain &form)
{
    const QRect area = form.screen()->geometry();
    const QSize frameExtra = form.frameGeometry().size() - form.size();
    const QSize size = QSize(TfrmMain::DesignClientWidth, TfrmMain::DesignClientHeight) + frameExtra;
    return QRect(QPoint(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2),
                 size);
}

// The centred design frame with the first `applied` of Left, Top, Width, Height taken from kPlaced.
QRect partlyPlaced(const TfrmMain &form, int applied)
{
    QRect expected = centredDesignFrame(form);
    if (applied > 0)
        expected.moveLeft(kPlaced.left());
    if (applied > 1)
        expected.moveTop(kPlaced.top());
    if (applied > 2)
        expected.setWidth(kPlaced.width());
    if (applied > 3)
        expected.setHeight(kPlaced.height());
    return expected;
}

QStringList entries(const TfrmMain &form)
{
    QStringList texts;
    for (int i = 0; i < form.ListFiles->entryCount(); ++i)
        texts << form.ListFiles->entryText(i);
    return texts;
}

bool allChecked(const TfrmMain &form)
{
    for (int i = 0; i < form.ListFiles->entryCount(); ++i)
        if (!form.ListFiles->isChecked(i))
            return false;
    return true;
}

QStringList shownTexts()
{
    QStringList texts;
    for (const auto &box : MessageBox::takeShown())
        texts << box.text;
    return texts;
}

bool armed(const TfrmMain &form)
{
    return form.cmdPrint->Tag == 100 || form.TimerAutoPrint->isActive();
}

} // namespace

class TestHandOff : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_tmp;

    QString file(const QString &name) const { return m_tmp->filePath(name); }
    QString canonicalFile(const QString &name) const { return QDir(m_tmp->path()).canonicalPath() + u'/' + name; }
    void write(const QString &name, const QByteArray &content)
    {
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(content), content.size());
    }
    QByteArray contentOf(const QString &name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool exists(const QString &name) const
    {
        return QFileInfo(file(name)).exists() || QFileInfo(file(name)).isSymLink();
    }

    // The window as the program shows it, its first activation done.
    std::unique_ptr<TfrmMain> shownWindow()
    {
        auto form = std::make_unique<TfrmMain>();
        // Keep an armed run from starting while the test looks at the window.
        form->TimerAutoPrint->blockSignals(true);
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qWarning("window not exposed");
        QTest::qWait(20);
        return form;
    }

    void expectUntouched(const TfrmMain &form, int applied)
    {
        QCOMPARE(frame(form), partlyPlaced(form, applied));
        QCOMPARE(form.ListFiles->entryCount(), 0);
        QVERIFY(!armed(form));
        QCOMPARE(form.IsFirstAct, false);
        QVERIFY(form.isVisible());
    }

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        qputenv("TMPDIR", QFile::encodeName(m_tmp->path()));
        MessageBox::setAnsweringMode(true);
    }
    void cleanup()
    {
        MessageBox::takeShown();
        MessageBox::setAnsweringMode(false);
        m_tmp.reset();
    }

    void noPair()
    {
        auto form = shownWindow();
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(form->DocPath, QString());
        QCOMPARE(form->EditSouPath->text(), QString());
        QCOMPARE(form->DefaultPageWidth, 210);
        QCOMPARE(form->DefaultPageHeight, 297);
        expectUntouched(*form, 0);
    }

    void plainPair_data()
    {
        QTest::addColumn<QByteArray>("parameters");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("docPath");
        QTest::addColumn<QStringList>("expectedEntries");
        const QStringList two{"   2  a.doc", "   1  b.jpg"};
        QTest::newRow("CR LF") << "D:\\docs\\\r\n" + kPlacedLines << QByteArray("   2  a.doc\r\n   1  b.jpg\r\n")
                               << "D:\\docs\\" << two;
        QTest::newRow("lone CR") << QByteArray("/srv/docs/\r10\r20\r500\r400\r")
                                 << QByteArray("   2  a.doc\r   1  b.jpg") << "/srv/docs/" << two;
        QTest::newRow("lone LF") << QByteArray("/srv/docs/\n10\n20\n500\n400")
                                 << QByteArray("   2  a.doc\n   1  b.jpg\n") << "/srv/docs/" << two;
        QTest::newRow("LF CR makes an empty entry")
            << QByteArray("/d/\n10\n20\n500\n400\n") << QByteArray("   2  a.doc\n\r   1  b.jpg\n") << "/d/"
            << QStringList{"   2  a.doc", "", "   1  b.jpg"};
        QTest::newRow("empty line in the middle")
            << QByteArray("/d/\n10\n20\n500\n400\n") << QByteArray("   2  a.doc\r\n\r\n   1  b.jpg\r\n") << "/d/"
            << QStringList{"   2  a.doc", "", "   1  b.jpg"};
        QTest::newRow("empty data file") << QByteArray("/d/\n10\n20\n500\n400\n") << QByteArray() << "/d/"
                                         << QStringList();
        QTest::newRow("blanks before the numbers, hexadecimal")
            << QByteArray("/d/\n  10\n 20\n $1F4\n0x190\n") << QByteArray("   1  a.doc") << "/d/"
            << QStringList{"   1  a.doc"};
        QTest::newRow("lines after the fifth ignored")
            << QByteArray("/d/\n10\n20\n500\n400\nnot a number\n\n") << QByteArray("   1  a.doc") << "/d/"
            << QStringList{"   1  a.doc"};
        QTest::newRow("directory text kept as it is")
            << QByteArray(" /d d/ \t\n10\n20\n500\n400\n") << QByteArray("  3   x.xls ") << " /d d/ \t"
            << QStringList{"  3   x.xls "};
        QTest::newRow("UTF-16 LE and BE with marks")
            << utf16LE(QStringLiteral("D:\\文档\\\r\n10\r\n20\r\n500\r\n400\r\n"))
            << utf16BE(QStringLiteral("   1  报告.docx\r\n   2  照片.jpg\r\n")) << "D:\\文档\\"
            << QStringList{"   1  报告.docx", "   2  照片.jpg"};
        QTest::newRow("UTF-8 with mark") << utf8WithMark(QStringLiteral("/文档/\n10\n20\n500\n400\n"))
                                         << utf8WithMark(QStringLiteral("   1  表.xlsx\n")) << "/文档/"
                                         << QStringList{"   1  表.xlsx"};
    }
    void plainPair()
    {
        QFETCH(QByteArray, parameters);
        QFETCH(QByteArray, data);
        QFETCH(QString, docPath);
        QFETCH(QStringList, expectedEntries);
        write(kPara, parameters);
        write(kData, data);
        auto form = shownWindow();
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(form->DocPath, docPath);
        QCOMPARE(form->EditSouPath->text(), docPath);
        QCOMPARE(frame(*form), kPlaced);
        QCOMPARE(entries(*form), expectedEntries);
        QVERIFY(allChecked(*form));
        QVERIFY(!exists(kPara));
        QVERIFY(!exists(kData));
        QVERIFY(!armed(*form));
        QCOMPARE(form->DefaultPageWidth, 210);
        QCOMPARE(form->DefaultPageHeight, 297);
    }

    void placementIsNotClamped()
    {
        // Beyond the screen's right and bottom edges and larger than it.
        write(kPara, "/d/\n3000\n2000\n2500\n1900\n");
        write(kData, "");
        auto form = shownWindow();
        QCOMPARE(shownTexts(), QStringList());
        QVERIFY(!form->screen()->geometry().intersects(frame(*form)));
        QCOMPARE(frame(*form), QRect(3000, 2000, 2500, 1900));
    }

    void bothPairs()
    {
        const QByteArray spParameters = "/sp/\n1\n1\n2\n300\n200\n148\n210\n";
        const QByteArray spData = "   1  sp.jpg\n";
        write(kPara, "/plain/\n" + kPlacedLines);
        write(kData, "   1  plain.doc\n");
        write(kParaSP, spParameters);
        write(kDataSP, spData);
        auto form = shownWindow();
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(form->DocPath, QStringLiteral("/plain/"));
        QCOMPARE(entries(*form), QStringList{"   1  plain.doc"});
        QCOMPARE(frame(*form), kPlaced);
        QVERIFY(!exists(kPara));
        QVERIFY(!exists(kData));
        QCOMPARE(contentOf(kParaSP), spParameters);
        QCOMPARE(contentOf(kDataSP), spData);
        QCOMPARE(form->DefaultPageWidth, 210);
        QCOMPARE(form->DefaultPageHeight, 297);
        QVERIFY(!armed(*form));
    }

    void directoryNamedLikeTheParameterFile()
    {
        QVERIFY(QDir().mkpath(file(kPara)));
        write(kParaSP, "/sp/\n0\n" + kPlacedLines + "148\n210\n");
        write(kDataSP, "   1  sp.jpg\n");
        auto form = shownWindow();
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(form->DocPath, QStringLiteral("/sp/"));
        QVERIFY(QFileInfo(file(kPara)).isDir());
    }

    void spPair_data()
    {
        QTest::addColumn<QByteArray>("flag");
        QTest::addColumn<bool>("arms");
        QTest::newRow("1") << QByteArray("1") << true;
        QTest::newRow("blank before") << QByteArray(" 1") << false;
        QTest::newRow("blank after") << QByteArray("1 ") << false;
        QTest::newRow("leading zero") << QByteArray("01") << false;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("empty line") << QByteArray("") << false;
    }
    void spPair()
    {
        QFETCH(QByteArray, flag);
        QFETCH(bool, arms);
        const QByteArray parameters = "/srv/docs/\r\n" + flag + "\r\n" + kPlacedLines + "148\r\n210\r\n";
        const QByteArray data = "   1  a.txt\r\n   2  b.txt\r\n";
        write(kParaSP, parameters);
        write(kDataSP, data);
        auto form = shownWindow();
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(form->DocPath, QStringLiteral("/srv/docs/"));
        QCOMPARE(form->EditSouPath->text(), QStringLiteral("/srv/docs/"));
        QCOMPARE(frame(*form), kPlaced);
        QCOMPARE(form->DefaultPageWidth, 148);
        QCOMPARE(form->DefaultPageHeight, 210);
        QCOMPARE(entries(*form), QStringList({"   1  a.txt", "   2  b.txt"}));
        QVERIFY(allChecked(*form));
        QCOMPARE(form->cmdPrint->Tag, arms ? 100 : 0);
        QCOMPARE(form->TimerAutoPrint->isActive(), arms);
        QCOMPARE(form->TimerAutoPrint->interval(), 200);
        QCOMPARE(contentOf(kParaSP), parameters);
        QCOMPARE(contentOf(kDataSP), data);
    }

    void bareNamesWithoutTemporaryDirectory()
    {
        qputenv("TMPDIR", QFile::encodeName(file("no-such-dir")));
        write(kPara, "/d/\n" + kPlacedLines);
        write(kData, "   1  a.doc\n");
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_tmp->path()));
        auto form = shownWindow();
        QDir::setCurrent(saved);
        QCOMPARE(form->TmpFilePath, QString());
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(form->DocPath, QStringLiteral("/d/"));
        QVERIFY(!exists(kPara));
        QVERIFY(!exists(kData));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("parameterFile"); // which pair: kPara or kParaSP
        QTest::addColumn<QByteArray>("parameters");
        QTest::addColumn<QByteArray>("data"); // null: no data file
        QTest::addColumn<QString>("message"); // %1: the temporary directory
        QTest::addColumn<QString>("docPath");
        QTest::addColumn<int>("applied"); // how many of Left, Top, Width, Height took effect
        QTest::addColumn<int>("pageWidth");
        const QByteArray entry = "   1  a.doc\n";
        const QString noMapping =
            QStringLiteral("No mapping for the Unicode character exists in the target multi-byte code page.");
        QTest::newRow("plain parameter file without its data file")
            << kPara << "/d/\n" + kPlacedLines << QByteArray()
            << "Cannot open file \"%1VelmoraData.Dat\". No such file or directory."
            << "" << 0 << 210;
        QTest::newRow("SP parameter file without its data file")
            << kParaSP << "/d/\n1\n" + kPlacedLines + "148\n210\n"
            << QByteArray() << "Cannot open file \"%1VelmoraDataSP.Dat\". No such file or directory."
            << "" << 0 << 210;
        QTest::newRow("blank after a number")
            << kPara << QByteArray("/d/\n10\n20 \n500\n400\n") << entry << "'20 ' is not a valid integer value."
            << "/d/" << 1 << 210;
        QTest::newRow("tab before a number")
            << kPara << QByteArray("/d/\n\t10\n20\n500\n400\n") << entry << "'\t10' is not a valid integer value."
            << "/d/" << 0 << 210;
        QTest::newRow("decimal beyond 32 bits") << kPara << QByteArray("/d/\n10\n20\n500\n2147483648\n") << entry
                                                << "'2147483648' is not a valid integer value."
                                                << "/d/" << 3 << 210;
        QTest::newRow("plain parameter file of 4 lines")
            << kPara << QByteArray("/d/\n10\n20\n500\n") << entry << "List index out of bounds (4)"
            << "/d/" << 3 << 210;
        QTest::newRow("empty parameter file") << kPara << QByteArray() << entry << "List index out of bounds (0)"
                                              << "" << 0 << 210;
        QTest::newRow("SP parameter file of 7 lines") << kParaSP << "/d/\n1\n" + kPlacedLines + "148\n"
                                                      << entry << "List index out of bounds (7)"
                                                      << "/d/" << 4 << 148;
        QTest::newRow("SP parameter file without its flag line")
            << kParaSP << QByteArray("/d/\n") << entry << "List index out of bounds (1)"
            << "/d/" << 0 << 210;
        QTest::newRow("SP page width not a number") << kParaSP << "/d/\n1\n" + kPlacedLines + "A4\n297\n"
                                                    << entry << "'A4' is not a valid integer value."
                                                    << "/d/" << 4 << 210;
        QTest::newRow("UTF-16 without mark")
            << kPara << encoded(QStringConverter::Utf16LE, QStringLiteral("C:\\docs\\\r\n10\r\n")) << entry
            << "List index out of bounds (1)"
            << "C" << 0 << 210;
        QTest::newRow("invalid UTF-8 in the parameter file")
            << kPara << "\xEF\xBB\xBF/d\xC3/\n" + kPlacedLines << entry << noMapping << "" << 0 << 210;
        QTest::newRow("invalid UTF-8 in the data file")
            << kPara << "/d/\n" + kPlacedLines << QByteArray("\xEF\xBB\xBF   1  a\xFF.doc\n") << noMapping << "" << 0
            << 210;
    }
    void failures()
    {
        QFETCH(QString, parameterFile);
        QFETCH(QByteArray, parameters);
        QFETCH(QByteArray, data);
        QFETCH(QString, message);
        QFETCH(QString, docPath);
        QFETCH(int, applied);
        QFETCH(int, pageWidth);
        const bool sp = parameterFile == kParaSP;
        const QString dataFile = sp ? kDataSP : kData;
        write(parameterFile, parameters);
        if (!data.isNull())
            write(dataFile, data);
        // A second pair that must stay unread: the SP pair behind a plain one, armed.
        const QByteArray otherParameters = "/other/\n1\n" + kPlacedLines + "100\n100\n";
        if (!sp) {
            write(kParaSP, otherParameters);
            write(kDataSP, "   1  other.jpg\n");
        }

        auto form = shownWindow();
        const QString tmpDir = QDir(m_tmp->path()).canonicalPath() + u'/';
        QCOMPARE(shownTexts(), QStringList{message.contains(QStringLiteral("%1")) ? message.arg(tmpDir) : message});
        QCOMPARE(form->DocPath, docPath);
        QCOMPARE(form->EditSouPath->text(), docPath);
        expectUntouched(*form, applied);
        QCOMPARE(form->DefaultPageWidth, pageWidth);
        QCOMPARE(form->DefaultPageHeight, 297);
        QCOMPARE(contentOf(parameterFile), parameters);
        QCOMPARE(exists(dataFile), !data.isNull());
        if (!sp)
            QCOMPARE(contentOf(kParaSP), otherParameters);

        // The next activation does not try again.
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(form.get(), &activate);
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(form->ListFiles->entryCount(), 0);
    }

    void dataFileIsADirectory()
    {
        write(kPara, "/d/\n" + kPlacedLines);
        QVERIFY(QDir().mkpath(file(kData)));
        auto form = shownWindow();
        QCOMPARE(shownTexts(),
                 QStringList{QStringLiteral("Cannot open file \"%1\". Is a directory.").arg(canonicalFile(kData))});
        expectUntouched(*form, 0);
        QVERIFY(exists(kPara));
    }

    void lockedForWriting_data()
    {
        QTest::addColumn<QString>("lockedFile");
        QTest::addColumn<int>("kind");
        QTest::newRow("plain data file, fcntl") << kData << int(LockHolder::FcntlWrite);
        QTest::newRow("plain parameter file, flock") << kPara << int(LockHolder::FlockExclusive);
        QTest::newRow("SP data file, flock") << kDataSP << int(LockHolder::FlockExclusive);
        QTest::newRow("SP parameter file, fcntl") << kParaSP << int(LockHolder::FcntlWrite);
    }
    void lockedForWriting()
    {
        QFETCH(QString, lockedFile);
        QFETCH(int, kind);
        const bool sp = lockedFile == kParaSP || lockedFile == kDataSP;
        write(sp ? kParaSP : kPara, sp ? "/d/\n1\n" + kPlacedLines + "148\n210\n" : "/d/\n" + kPlacedLines);
        write(sp ? kDataSP : kData, "   1  a.doc\n");
        const LockHolder holder(file(lockedFile), LockHolder::Kind(kind));
        QVERIFY(holder.locked());
        auto form = shownWindow();
        QCOMPARE(shownTexts(), QStringList{QStringLiteral("Cannot open file \"%1\". The file is locked for writing by "
                                                          "another process.")
                                               .arg(canonicalFile(lockedFile))});
        QCOMPARE(form->DocPath, QString());
        expectUntouched(*form, 0);
        QVERIFY(exists(sp ? kParaSP : kPara));
        QVERIFY(exists(sp ? kDataSP : kData));
    }

    void plantedFiles_data()
    {
        QTest::addColumn<QString>("plantedFile");
        QTest::addColumn<bool>("symbolicLink"); // else owned by another user
        QTest::newRow("SP parameter file of another user") << kParaSP << false;
        QTest::newRow("SP data file of another user") << kDataSP << false;
        QTest::newRow("plain data file of another user") << kData << false;
        QTest::newRow("SP parameter file as a symbolic link") << kParaSP << true;
        QTest::newRow("plain parameter file as a symbolic link") << kPara << true;
        QTest::newRow("plain data file as a symbolic link") << kData << true;
    }
    void plantedFiles()
    {
        QFETCH(QString, plantedFile);
        QFETCH(bool, symbolicLink);
        const bool sp = plantedFile == kParaSP || plantedFile == kDataSP;
        const QByteArray parameters =
            sp ? "/planted/\n1\n" + kPlacedLines + "148\n210\n" : "/planted/\n" + kPlacedLines;
        const QByteArray data = "   1  secret.xls\n";
        write(sp ? kParaSP : kPara, parameters);
        write(sp ? kDataSP : kData, data);
        QString reason;
        if (symbolicLink) {
            // The link points at a file the user owns, which must be neither read nor deleted.
            QVERIFY(QFile::rename(file(plantedFile), file("target.dat")));
            QVERIFY(QFile::link(file("target.dat"), file(plantedFile)));
            reason = QStringLiteral("The file is a symbolic link");
        } else {
            if (::chown(QFile::encodeName(file(plantedFile)).constData(), 65534, 65534) != 0)
                QSKIP("changing a file's owner needs root");
            reason = QStringLiteral("The file belongs to another user");
        }
        auto form = shownWindow();
        QCOMPARE(shownTexts(),
                 QStringList{QStringLiteral("Cannot open file \"%1\". %2.").arg(canonicalFile(plantedFile), reason)});
        QCOMPARE(form->DocPath, QString());
        QCOMPARE(form->DefaultPageWidth, 210);
        expectUntouched(*form, 0);
        QVERIFY(QFileInfo(file(plantedFile)).isSymLink() == symbolicLink);
        QVERIFY(exists(plantedFile));
        QVERIFY(exists(sp ? kParaSP : kPara));
        QVERIFY(exists(sp ? kDataSP : kData));
        if (symbolicLink)
            QVERIFY(exists("target.dat"));
    }

    void secondActivationDoesNothing()
    {
        write(kPara, "/d/\n" + kPlacedLines);
        write(kData, "   1  a.doc\n");
        auto form = shownWindow();
        QCOMPARE(entries(*form), QStringList{"   1  a.doc"});
        write(kPara, "/again/\n1\n2\n300\n300\n");
        write(kData, "   1  b.doc\n");
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(form.get(), &activate);
        form->FormActivate(form.get());
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(form->DocPath, QStringLiteral("/d/"));
        QCOMPARE(entries(*form), QStringList{"   1  a.doc"});
        QCOMPARE(frame(*form), kPlaced);
        QVERIFY(exists(kPara));
        QVERIFY(exists(kData));
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestHandOff test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_handoff.moc"
