#include "core/errors.h"
#include "gui/rotatebitmap.h"
#include "platform/jpeg/jpegimage.h"
#include "platform/printer/pdfprinter.h"
#include "support/jpegfiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using platform::PdfFilePrinter;

namespace {

// pdftoppm's rendering of the whole page at 10 dpi.
QImage render(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("10"), QStringLiteral("-singlefile"), pdf});
    process.waitForFinished(60000);
    return QImage::fromData(process.readAllStandardOutput());
}

} // namespace

class TestPdfPrinter : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void picturesOfEveryKindAreDrawn_data()
    {
        QTest::addColumn<bool>("keepCopy");
        QTest::addColumn<bool>("turnedByBands");
        QTest::newRow("turned, handed over") << false << true;
        QTest::newRow("turned, caller keeps a copy") << true << true;
        QTest::newRow("plain 24-bit") << false << false;
    }
    void picturesOfEveryKindAreDrawn()
    {
        QFETCH(bool, keepCopy);
        QFETCH(bool, turnedByBands);
        const QImage source = testsupport::quadrants(80, 60);
        QImage picture = turnedByBands
            ? gui::decodeTurned(platform::JpegImage::fromData(testsupport::encodeJpeg(source, 100)), false)
            : source.transformed(QTransform().rotate(90)).convertToFormat(QImage::Format_RGB888);
        const QImage copy = keepCopy ? picture : QImage();
        const QImage copyBefore = copy.copy();

        const QString pdf = m_dir.filePath(QStringLiteral("job.pdf"));
        PdfFilePrinter printer(pdf, 72, 72, PdfFilePrinter::a4Layout());
        printer.setTitle(QStringLiteral("图片打印 "));
        printer.beginDoc();
        printer.drawStretched(QRect(0, 0, 595, 842), std::move(picture)); // the whole A4 page
        printer.endDoc();
        QCOMPARE(copy, copyBefore); // a picture still shared is not changed

        // Turned clockwise: blue top-left, red top-right, yellow bottom-left, green bottom-right.
        const QImage page = render(pdf);
        QVERIFY(!page.isNull());
        auto at = [&](double fx, double fy) { return page.pixel(int(fx * page.width()), int(fy * page.height())); };
        QVERIFY(testsupport::nearColour(at(0.25, 0.25), Qt::blue, 8));
        QVERIFY(testsupport::nearColour(at(0.75, 0.25), Qt::red, 8));
        QVERIFY(testsupport::nearColour(at(0.25, 0.75), Qt::yellow, 8));
        QVERIFY(testsupport::nearColour(at(0.75, 0.75), Qt::green, 8));
    }

    void endWithoutJobFails()
    {
        PdfFilePrinter printer(m_dir.filePath(QStringLiteral("none.pdf")), 600, 600, PdfFilePrinter::a4Layout());
        QVERIFY_THROWS_EXCEPTION(core::Error, printer.endDoc());
        QVERIFY_THROWS_EXCEPTION(core::Error, printer.drawStretched(QRect(0, 0, 1, 1), QImage(1, 1, QImage::Format_RGB888)));
    }

    void abortLeavesNoFile()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("aborted.pdf"));
        PdfFilePrinter printer(pdf, 600, 600, PdfFilePrinter::a4Layout());
        printer.beginDoc();
        printer.drawStretched(QRect(0, 0, 100, 100), testsupport::quadrants(10, 10));
        printer.abortDoc();
        QVERIFY(!printer.printing());
        QVERIFY(!QFile::exists(pdf));
    }
};

QTEST_MAIN(TestPdfPrinter)
#include "tst_pdfprinter.moc"
