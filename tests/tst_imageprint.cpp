#include "gui/uMain.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "support/files.h"
#include "support/jpegfiles.h"
#include "support/lockholder.h"
#include "support/recordingprinter.h"

#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <sys/resource.h>

using namespace gui;
using platform::MessageBox;
using testsupport::RecordingPrinter;

namespace {

const QString kNoPrinter = QStringLiteral("没有打印机，请选择打印机！ ");

bool near(QRgb actual, QColor expected)
{
    return testsupport::nearColour(actual, expected, 39);
}

QStringList shownTexts()
{
    QStringList texts;
    for (const auto &request : MessageBox::takeShown()) {
        if (request.icon != platform::MsgIcon::None || request.buttons != QList<platform::MsgButton>{platform::MsgButton::Ok})
            texts << QStringLiteral("<not a plain box>");
        texts << request.text;
    }
    return texts;
}

} // namespace

class TestImagePrint : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<TfrmMain> m_form;
    std::shared_ptr<RecordingPrinter> m_printer;

    QString jpegFile(const QString &name, const QImage &picture)
    {
        const QString path = m_dir.filePath(name);
        testsupport::writeFile(path, testsupport::encodeJpeg(picture, 95));
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("TMPDIR", m_dir.path().toLocal8Bit());
#ifndef ORVENNA_SANITIZED // AddressSanitizer's shadow memory needs an unbounded address space
        // A bounded address space keeps "too large" pictures too large on any machine.
        rlimit limit {8ull << 30, 8ull << 30};
        QCOMPARE(setrlimit(RLIMIT_AS, &limit), 0);
#endif
    }
    void init()
    {
        MessageBox::setAnsweringMode(true);
        m_form = std::make_unique<TfrmMain>();
        m_printer = std::make_shared<RecordingPrinter>();
        m_form->setImagePrinter(m_printer);
    }
    void cleanup()
    {
        m_form.reset();
        MessageBox::takeShown();
        MessageBox::setAnsweringMode(false);
    }

    void printsOnePage_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("pageWidthMm");
        QTest::addColumn<int>("pageHeightMm");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<bool>("turned");
        QTest::addColumn<QRect>("destination"); // left, top, width, height
        QTest::newRow("portrait 330x440") << QSize(330, 440) << 210 << 297 << 600 << false << QRect(0, 201, 4959, 6613);
        QTest::newRow("landscape 100x50 turned") << QSize(100, 50) << 210 << 297 << 600 << true << QRect(726, 0, 3507, 7015);
        QTest::newRow("landscape 400x300 turned, 300 dpi") << QSize(400, 300) << 210 << 297 << 300 << true
                                                           << QRect(0, 100, 2480, 3306);
        QTest::newRow("landscape page, landscape picture") << QSize(400, 300) << 297 << 210 << 600 << false
                                                          << QRect(201, 0, 6613, 4960);
        QTest::newRow("landscape page, portrait picture") << QSize(300, 400) << 297 << 210 << 600 << false
                                                         << QRect(1647, 0, 3720, 4960);
        QTest::newRow("square") << QSize(300, 300) << 210 << 297 << 600 << false << QRect(0, 1027, 4960, 4960);
    }
    void printsOnePage()
    {
        QFETCH(QSize, picture);
        QFETCH(int, pageWidthMm);
        QFETCH(int, pageHeightMm);
        QFETCH(int, dpi);
        QFETCH(bool, turned);
        QFETCH(QRect, destination);
        m_form->DefaultPageWidth = pageWidthMm;
        m_form->DefaultPageHeight = pageHeightMm;
        m_printer->dpiX = m_printer->dpiY = dpi;
        const QImage source = testsupport::quadrants(picture.width(), picture.height());
        m_form->PrintJPG(jpegFile(QStringLiteral("p.jpg"), source));

        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(m_printer->jobs.size(), 1);
        const auto &job = m_printer->jobs[0];
        QVERIFY(job.ended && !job.aborted);
        QCOMPARE(job.title, QStringLiteral("图片打印 "));
        QCOMPARE(job.pages, 1);
        QCOMPARE(job.destinations, QList<QRect>{destination});
        const QImage drawn = job.pictures.at(0);
        QCOMPARE(drawn.size(), turned ? picture.transposed() : picture); // never scaled in memory
        const int w = drawn.width(), h = drawn.height();
        // Clockwise: the source's bottom-left (blue) comes to the top-left, its top-left (red) to the top-right.
        const QColor topLeft = turned ? QColor(Qt::blue) : QColor(Qt::red);
        const QColor topRight = turned ? QColor(Qt::red) : QColor(Qt::green);
        const QColor bottomLeft = turned ? QColor(Qt::yellow) : QColor(Qt::blue);
        QVERIFY(near(drawn.pixel(w / 4, h / 4), topLeft));
        QVERIFY(near(drawn.pixel(3 * w / 4, h / 4), topRight));
        QVERIFY(near(drawn.pixel(w / 4, 3 * h / 4), bottomLeft));
        if (turned)
            QCOMPARE(drawn.format(), QImage::Format_RGB888);
    }

    void greyscaleTurnedFromEqualBytes()
    {
        QImage grey(120, 60, QImage::Format_Grayscale8);
        for (int y = 0; y < grey.height(); ++y)
            for (int x = 0; x < grey.width(); ++x)
                grey.scanLine(y)[x] = uchar((x * 2 + y) % 256);
        m_form->PrintJPG(jpegFile(QStringLiteral("grey.jpg"), grey));
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(m_printer->printedJobs().size(), 1);
        const QImage drawn = m_printer->printedJobs()[0].pictures.at(0);
        QCOMPARE(drawn.format(), QImage::Format_RGB888);
        QCOMPARE(drawn.size(), QSize(60, 120));
        for (int y = 0; y < drawn.height(); ++y) {
            const uchar *row = drawn.constScanLine(y);
            for (int x = 0; x < drawn.width(); ++x)
                QVERIFY(row[3 * x] == row[3 * x + 1] && row[3 * x + 1] == row[3 * x + 2]);
        }
    }

    void failuresShowTheMessage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("pageHeightMm");
        QTest::addColumn<int>("failure");
        QTest::addColumn<bool>("jobAborted"); // false: no job was begun at all
        const int none = int(RecordingPrinter::Failure::None);
        QTest::newRow("no default printer") << "landscape" << 297 << int(RecordingPrinter::Failure::NoPrinter) << false;
        QTest::newRow("page height 0") << "landscape" << 0 << none << false;
        QTest::newRow("0-byte file") << "empty" << 297 << none << false;
        QTest::newRow("missing file") << "missing" << 297 << none << false;
        QTest::newRow("not a JPEG") << "text" << 297 << none << false;
        QTest::newRow("turned picture fails to decode") << "broken landscape" << 297 << none << false;
        QTest::newRow("too large to turn") << "huge landscape" << 297 << none << false;
        QTest::newRow("unturned picture fails to decode") << "broken portrait" << 297 << none << true;
        QTest::newRow("too large, unturned") << "huge portrait" << 297 << none << true;
        QTest::newRow("job cannot start") << "portrait" << 297 << int(RecordingPrinter::Failure::Begin) << false;
        QTest::newRow("drawing fails") << "portrait" << 297 << int(RecordingPrinter::Failure::Draw) << true;
        QTest::newRow("end of job fails") << "portrait" << 297 << int(RecordingPrinter::Failure::End) << true;
        QTest::newRow("write-locked by another process") << "locked" << 297 << none << false;
    }
    void failuresShowTheMessage()
    {
        QFETCH(QString, file);
        QFETCH(int, pageHeightMm);
        QFETCH(int, failure);
        QFETCH(bool, jobAborted);

        const QByteArray landscape = testsupport::encodeJpeg(testsupport::quadrants(64, 48));
        const QByteArray portrait = testsupport::encodeJpeg(testsupport::quadrants(48, 64), 90, true);
        // A later scan that names a component the frame lacks: the header loads, decoding fails.
        auto broken = [](QByteArray progressive) {
            const int second = progressive.indexOf("\xFF\xDA", progressive.indexOf("\xFF\xDA") + 2);
            progressive[second + 5] = char(0x7F);
            return progressive;
        };
        QMap<QString, QByteArray> contents = {
            {"landscape", landscape},
            {"portrait", portrait},
            {"empty", {}},
            {"text", "just some text\n"},
            {"broken landscape", broken(testsupport::encodeJpeg(testsupport::quadrants(64, 48), 90, true))},
            {"broken portrait", broken(portrait)},
            {"huge landscape", testsupport::withFrameSize(landscape, 65500, 60000)},
            {"huge portrait", testsupport::withFrameSize(landscape, 60000, 65500)},
            {"locked", landscape},
        };
        const QString path = m_dir.filePath(QStringLiteral("f.jpg"));
        QFile::remove(path);
        if (file != QLatin1String("missing"))
            QVERIFY(testsupport::writeFile(path, contents.value(file)));

        std::optional<testsupport::LockHolder> holder;
        if (file == QLatin1String("locked")) {
            holder.emplace(path, testsupport::LockHolder::FcntlWrite);
            QVERIFY(holder->locked());
        }

        m_form->DefaultPageHeight = pageHeightMm;
        m_printer->failure = RecordingPrinter::Failure(failure);
        m_form->PrintJPG(path);
        holder.reset();

        QCOMPARE(shownTexts(), QStringList{kNoPrinter});
        QCOMPARE(m_printer->printedJobs().size(), 0);
        QCOMPARE(m_printer->jobs.size(), jobAborted ? 1 : 0);
        if (jobAborted)
            QVERIFY(m_printer->jobs[0].aborted);
    }

    void copiesOfMissingFile()
    {
        for (int copy = 0; copy < 3; ++copy)
            m_form->PrintJPG(m_dir.filePath(QStringLiteral("absent.jpg")));
        QCOMPARE(shownTexts(), QStringList(3, kNoPrinter));
        QCOMPARE(m_printer->jobs.size(), 0);
    }

    void printerAskedAgainEveryCall()
    {
        const QString path = jpegFile(QStringLiteral("again.jpg"), testsupport::quadrants(40, 30));
        m_printer->failure = RecordingPrinter::Failure::NoPrinter;
        m_form->PrintJPG(path);
        QCOMPARE(shownTexts(), QStringList{kNoPrinter});
        m_printer->failure = RecordingPrinter::Failure::None;
        m_form->PrintJPG(path);
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(m_printer->printedJobs().size(), 1);
    }

    void pendingEventsHandledInsideTheJob()
    {
        // A posted call runs while the job is open, between drawing and its end.
        const QString path = jpegFile(QStringLiteral("events.jpg"), testsupport::quadrants(40, 30));
        int drawnAtEvent = -1;
        bool endedAtEvent = true;
        QMetaObject::invokeMethod(
            m_form.get(),
            [&] {
                drawnAtEvent = m_printer->jobs.isEmpty() ? -1 : int(m_printer->jobs[0].destinations.size());
                endedAtEvent = !m_printer->jobs.isEmpty() && m_printer->jobs[0].ended;
            },
            Qt::QueuedConnection);
        m_form->PrintJPG(path);
        QCOMPARE(drawnAtEvent, 1);
        QCOMPARE(endedAtEvent, false);
        QCOMPARE(m_printer->printedJobs().size(), 1);
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestImagePrint test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_imageprint.moc"
