// Hand-off pairs of random bytes: reading them never crashes or hangs, and every failure is one
// of the hand-off errors, shown by the default handler.
#include "gui/uMain.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "support/files.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using gui::TfrmMain;
using platform::MessageBox;

namespace {

// Random bytes, now and then shaped like a hand-off file so that reading gets past the first
// line: a byte-order mark, digits, line breaks.
QByteArray randomFile(QRandomGenerator &random)
{
    static const QByteArray pieces[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\r\n", "\r", "\n", "1", "-",
                                        "$", "0x", "297", "2147483648", " ", "\t", "&", ".doc", ".jpg", "\0"};
    QByteArray bytes;
    const int parts = random.bounded(40);
    for (int i = 0; i < parts; ++i) {
        if (random.bounded(2)) {
            bytes += pieces[random.bounded(int(std::size(pieces)))];
        } else {
            const int n = random.bounded(12);
            for (int k = 0; k < n; ++k)
                bytes += char(random.bounded(256));
        }
    }
    return bytes;
}

// A well-formed file with a few random bytes changed, inserted or removed.
QByteArray mutated(QByteArray bytes, QRandomGenerator &random)
{
    const int edits = random.bounded(4);
    for (int i = 0; i < edits && !bytes.isEmpty(); ++i) {
        const int at = random.bounded(int(bytes.size()));
        switch (random.bounded(3)) {
        case 0: bytes[at] = char(random.bounded(256)); break;
        case 1: bytes.insert(at, char(random.bounded(256))); break;
        default: bytes.remove(at, 1); break;
        }
    }
    return bytes;
}

} // namespace

class TestRandomHandOff : public QObject {
    Q_OBJECT
private slots:
    void thousandRandomPairs()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        qputenv("TMPDIR", tmp.path().toLocal8Bit());
        MessageBox::setAnsweringMode(true);
        const QRegularExpression knownError(QStringLiteral(
            "^(Cannot open file \".*\"\\. .*|List index out of bounds \\(\\d+\\)|'.*' is not a valid integer value\\."
            "|No mapping for the Unicode character exists in the target multi-byte code page\\.)$"),
            QRegularExpression::DotMatchesEverythingOption);
        QRandomGenerator random(20261211);
        int failures = 0;
        int armed = 0;
        for (int round = 0; round < 1000; ++round) {
            const bool sp = random.bounded(2);
            const QString para = tmp.filePath(sp ? "VelmoraParaSP.Dat" : "VelmoraPara.Dat");
            const QString data = tmp.filePath(sp ? "VelmoraDataSP.Dat" : "VelmoraData.Dat");
            const QByteArray wellFormedPara = sp ? "/docs/\r\n1\r\n10\r\n20\r\n500\r\n400\r\n210\r\n297\r\n"
                                                 : "/docs/\r\n10\r\n20\r\n500\r\n400\r\n";
            const QByteArray wellFormedData = "   2  a.docx\r\n   1  b.jpg\r\n";
            const bool shaped = random.bounded(2);
            QVERIFY(testsupport::writeFile(para, shaped ? mutated(wellFormedPara, random) : randomFile(random)));
            QVERIFY(testsupport::writeFile(data, shaped ? mutated(wellFormedData, random) : randomFile(random)));

            TfrmMain form;
            platform::guarded([&] { form.FormActivate(&form); });
            const auto shown = MessageBox::takeShown();
            QVERIFY(shown.size() <= 1);
            if (!shown.isEmpty()) {
                ++failures;
                QVERIFY2(knownError.match(shown[0].text).hasMatch(), qPrintable(shown[0].text));
                QVERIFY(!form.TimerAutoPrint->isActive());
            }
            QCOMPARE(form.IsFirstAct, false);
            if (form.TimerAutoPrint->isActive()) {
                ++armed;
                form.TimerAutoPrint->stop(); // never start a run from here
            }
            QFile::remove(para);
            QFile::remove(data);
        }
        qInfo("1000 random pairs: %d failed with a hand-off error, %d read through (%d armed)", failures,
              1000 - failures, armed);
        MessageBox::setAnsweringMode(false);
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestRandomHandOff test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_randomhandoff.moc"
