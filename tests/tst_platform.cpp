#include "core/errors.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "platform/tmppath.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace platform;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void title_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("program") << "/usr/bin/orvenna-print" << "Orvenna-print";
        QTest::newRow("everything from first dot dropped") << "/x/My.Tool.exe" << "My";
        QTest::newRow("rest lower-cased") << "/x/ORVENNA" << "Orvenna";
        QTest::newRow("relative") << "orvenna-print" << "Orvenna-print";
    }
    void title()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(applicationTitleFromPath(path), title);
    }

    void handlerText_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter gets full stop") << "abc" << "abc.";
        QTest::newRow("ends with a letter") << "'x' is" << "'x' is.";
        QTest::newRow("ends with quote") << "'ab'" << "'ab'";  // ' is below '.'
        QTest::newRow("ends with full stop") << "done." << "done.";
        QTest::newRow("ends with blank") << "a " << "a ";
        QTest::newRow("ends with slash") << "a/" << "a/.";
        QTest::newRow("ends with hyphen") << "a-" << "a-";
        QTest::newRow("ends with digit") << "(7)" << "(7)";
        QTest::newRow("ends with CJK") << "打印" << "打印.";
        QTest::newRow("empty") << "" << "";
    }
    void handlerText()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(defaultHandlerText(message), shown);
    }

    void handlerShowsErrorBox()
    {
        MessageBox::setAnsweringMode(true);
        guarded([] { throw core::ConvertError(QStringLiteral("ab")); });
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, MsgIcon::Error);
        QCOMPARE(shown[0].caption, applicationTitle());
        QCOMPARE(shown[0].text, QStringLiteral("'ab' is not a valid integer value."));
        QCOMPARE(shown[0].buttons, QList<MsgButton>{MsgButton::Ok});
        MessageBox::setAnsweringMode(false);
    }

    void answersInOrder()
    {
        MessageBox::setAnsweringMode(true);
        MessageBox::setNextAnswer(MsgButton::No);
        QCOMPARE(MessageBox::warningYesNo(QStringLiteral("q")), MsgButton::No);
        QCOMPARE(MessageBox::warningYesNo(QStringLiteral("q")), MsgButton::Yes); // default
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].caption, QStringLiteral("Warning"));
        QCOMPARE(shown[0].icon, MsgIcon::Warning);
        QCOMPARE(shown[0].defaultButton, MsgButton::Yes);
        MessageBox::setAnsweringMode(false);
    }

    void tmpPath()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray saved = qgetenv("TMPDIR");

        qputenv("TMPDIR", dir.path().toLocal8Bit());
        QCOMPARE(TmpFilePath(), QDir(dir.path()).canonicalPath() + "/");

        // A link to the directory gives the canonical path.
        const QString link = dir.path() + "/link";
        QDir().mkdir(dir.path() + "/real");
        QVERIFY(QFile::link(dir.path() + "/real", link));
        qputenv("TMPDIR", (link + "/").toLocal8Bit());
        QCOMPARE(TmpFilePath(), QDir(dir.path() + "/real").canonicalPath() + "/");

        qputenv("TMPDIR", (dir.path() + "/missing").toLocal8Bit());
        QCOMPARE(TmpFilePath(), QString());

        qputenv("TMPDIR", "");
        QCOMPARE(TmpFilePath(), QStringLiteral("/tmp/"));
        qunsetenv("TMPDIR");
        QCOMPARE(TmpFilePath(), QStringLiteral("/tmp/"));

        if (!saved.isNull())
            qputenv("TMPDIR", saved);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
