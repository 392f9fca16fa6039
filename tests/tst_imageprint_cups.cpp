#include "core/pagefit.h"
#include "gui/uMain.h"
#include "platform/application.h"
#include "platform/messagebox.h"
#include "platform/printer/cupsprinter.h"
#include "support/cupsscheduler.h"
#include "support/files.h"
#include "support/jpegfiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace gui;
using platform::MessageBox;
using testsupport::CupsScheduler;

namespace {

const QString kNoPrinter = QStringLiteral("没有打印机，请选择打印机！ ");

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Sizes of the images embedded in the PDF, as pdfimages lists them.
QList<QSize> embeddedImages(const QString &pdf)
{
    QList<QSize> sizes;
    const QStringList lines = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split(QLatin1Char('\n'));
    for (const QString &line : lines.mid(2)) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() > 4 && fields[2] == QLatin1String("image"))
            sizes << QSize(fields[3].toInt(), fields[4].toInt());
    }
    return sizes;
}

// pdfinfo's "Pages" and "Page size" lines.
QString pagesAndSize(const QString &pdf)
{
    QStringList lines;
    for (const QString &line : run(QStringLiteral("pdfinfo"), {pdf}).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Pages:")) || line.startsWith(QLatin1String("Page size:")))
            lines << line.simplified();
    return lines.join(QLatin1String("; "));
}

// The "a b c d e f cm" matrices of the PDF's content streams, in order.
QList<QList<double>> contentMatrices(const QString &pdf)
{
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    const QRegularExpression cm(QStringLiteral("(-?[\\d.]+) (-?[\\d.]+) (-?[\\d.]+) (-?[\\d.]+) (-?[\\d.]+) (-?[\\d.]+) cm"));
    QList<QList<double>> matrices;
    for (qsizetype at = data.indexOf("stream\n"); at >= 0; at = data.indexOf("stream\n", at + 1)) {
        const QByteArray dictionary = data.mid(qMax<qsizetype>(0, at - 200), qMin<qsizetype>(at, 200));
        if ((at >= 3 && data.mid(at - 3, 3) == "end") || dictionary.lastIndexOf("FlateDecode") < dictionary.lastIndexOf("obj"))
            continue;
        const qsizetype begin = at + 7;
        const qsizetype end = data.indexOf("endstream", begin);
        // qUncompress wants zlib data behind a 4-byte size hint.
        const QByteArray text = qUncompress(QByteArray("\x00\x10\x00\x00", 4) + data.mid(begin, end - begin));
        for (const auto &match : cm.globalMatch(QString::fromLatin1(text))) {
            QList<double> m;
            for (int i = 1; i <= 6; ++i)
                m << match.captured(i).toDouble();
            matrices << m;
        }
    }
    return matrices;
}

bool sameMatrix(const QList<double> &a, const QList<double> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (qAbs(a[i] - b[i]) > 1e-6 * qMax(1.0, qAbs(b[i])))
            return false;
    return true;
}

// A region of the page rendered at dpi, in pixels of that resolution from the page's top-left.
QImage render(const QString &pdf, int dpi, const QRect &region)
{
    QProcess process;
    process.start(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-x"), QString::number(region.x()),
                   QStringLiteral("-y"), QString::number(region.y()), QStringLiteral("-W"), QString::number(region.width()),
                   QStringLiteral("-H"), QString::number(region.height()), QStringLiteral("-singlefile"), pdf});
    process.waitForFinished(60000);
    return QImage::fromData(process.readAllStandardOutput()).convertToFormat(QImage::Format_RGB888);
}

bool near(QRgb actual, QColor expected)
{
    return testsupport::nearColour(actual, expected, 59);
}

} // namespace

class TestImagePrintCups : public QObject {
    Q_OBJECT
private:
    CupsScheduler m_cups;
    QTemporaryDir m_dir;
    QString m_landscape;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_cups.start(&error), qPrintable(error));
        QVERIFY(m_dir.isValid());
        m_landscape = m_dir.filePath(QStringLiteral("landscape.jpg"));
        QVERIFY(testsupport::writeFile(m_landscape, testsupport::encodeJpeg(testsupport::quadrants(800, 600), 95)));
    }
    void init() { MessageBox::setAnsweringMode(true); }
    void cleanup()
    {
        MessageBox::takeShown();
        MessageBox::setAnsweringMode(false);
        qunsetenv("PRINTER");
        if (!m_cups.isRunning())
            QVERIFY(m_cups.start());
    }

    void landscapeOnPortraitA4()
    {
        TfrmMain form;
        const int before = m_cups.jobs().size();
        form.PrintJPG(m_landscape);
        QCOMPARE(MessageBox::takeShown().size(), 0);
        QVERIFY2(m_cups.waitForJobs(before + 1), qPrintable(m_cups.errorLog().right(3000)));
        QVERIFY(m_cups.waitUntilIdle());
        const auto jobs = m_cups.jobs();
        QCOMPARE(jobs.size(), before + 1);
        const auto job = jobs.last();
        QCOMPARE(job.queue, QString::fromLatin1(CupsScheduler::DefaultQueue));
        QCOMPARE(job.title, QStringLiteral("图片打印 "));
        QCOMPARE(pagesAndSize(job.dataPath), QStringLiteral("Pages: 1; Page size: 595 x 842 pts (A4)")); // the queue's default paper
        // Turned, and embedded at its own size: not enlarged to printer pixels.
        QCOMPARE(embeddedImages(job.dataPath), QList<QSize>{QSize(600, 800)});

        // The queue's PPD says 600 dpi: page 4960 × 7015, picture 600 × 800 placed at (0, 201)
        // and 4960 × 6613 large, measured from the printable area's corner (18 pt, 36 pt).
        const core::PageRect rect = core::fitAndCentre(600, 800, core::pageSizeInPixels(210, 297, 600, 600));
        QCOMPARE(rect, (core::PageRect{0, 201, 4960, 6814}));
        // The page maps printer pixels at 600 dpi from the printable area's corner (18 pt, 36 pt
        // from the top-left of the 842-pt page); the picture's unit square is stretched to the
        // rectangle in printer pixels.
        const auto matrices = contentMatrices(job.dataPath);
        QCOMPARE(matrices.size(), 3);
        QVERIFY(sameMatrix(matrices[0], {72.0 / 600, 0, 0, -72.0 / 600, 18, 842 - 36}));
        QVERIFY(sameMatrix(matrices[1], {(rect.right - rect.left) / 600.0, 0, 0, (rect.bottom - rect.top) / 800.0,
                                         double(rect.left), double(rect.top)}));
        QVERIFY(sameMatrix(matrices[2], {600, 0, 0, -800, 0, 800}));

        const QPoint origin(150, 300); // 18 pt and 36 pt at 600 dpi
        const QPoint topLeft = origin + QPoint(rect.left, rect.top);
        const QImage corner = render(job.dataPath, 600, QRect(topLeft - QPoint(8, 8), QSize(16, 16)));
        QCOMPARE(corner.size(), QSize(16, 16));
        QVERIFY(near(corner.pixel(2, 2), Qt::white));        // above and left of the picture
        QVERIFY(near(corner.pixel(10, 2), Qt::white));       // above it
        QVERIFY(near(corner.pixel(2, 10), Qt::white));       // left of it
        QVERIFY(near(corner.pixel(8, 8), Qt::blue));         // the picture's first pixel: the source's bottom-left
        QVERIFY(near(corner.pixel(7, 8), Qt::white));
        QVERIFY(near(corner.pixel(8, 7), Qt::white));

        // Clockwise quarter turn, seen on the whole page at 50 dpi.
        const QImage page = render(job.dataPath, 50, QRect(0, 0, 413, 585));
        auto at = [&](double fx, double fy) {
            const double x = (origin.x() + rect.left + fx * (rect.right - rect.left)) * 50 / 600;
            const double y = (origin.y() + rect.top + fy * (rect.bottom - rect.top)) * 50 / 600;
            return page.pixel(int(x), int(y));
        };
        QVERIFY(near(at(0.25, 0.25), Qt::blue));
        QVERIFY(near(at(0.75, 0.25), Qt::red));
        QVERIFY(near(at(0.25, 0.75), Qt::yellow));
        QVERIFY(near(at(0.75, 0.75), Qt::green));
    }

    void schedulerStopped()
    {
        TfrmMain form;
        const int before = m_cups.jobs().size();
        m_cups.stop();
        form.PrintJPG(m_landscape);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, kNoPrinter);

        // The program goes on: once the scheduler is back, the same window prints.
        QVERIFY(m_cups.start());
        form.PrintJPG(m_landscape);
        QCOMPARE(MessageBox::takeShown().size(), 0);
        QVERIFY(m_cups.waitForJobs(before + 1));
        QCOMPARE(m_cups.jobs().size(), before + 1);
    }

    void defaultByCupsRulesThenKept()
    {
        QString error;
        QVERIFY2(m_cups.addQueue(QStringLiteral("office"), CupsScheduler::pdfQueuePpd(300), false, &error), qPrintable(error));
        qputenv("PRINTER", "office");
        platform::CupsPrinter printer;
        QCOMPARE(printer.resolutionX(), 300);
        QCOMPARE(printer.queueName(), QStringLiteral("office"));
        qunsetenv("PRINTER");
        QCOMPARE(printer.resolutionY(), 300); // still the queue it settled on

        TfrmMain form;
        form.setImagePrinter(std::make_shared<platform::CupsPrinter>());
        qputenv("PRINTER", "office");
        const int before = m_cups.jobs().size();
        form.PrintJPG(m_landscape);
        QCOMPARE(MessageBox::takeShown().size(), 0);
        QVERIFY(m_cups.waitForJobs(before + 1));
        QCOMPARE(m_cups.jobs().last().queue, QStringLiteral("office"));
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestImagePrintCups test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_imageprint_cups.moc"
