#include "gui/rotatebitmap.h"
#include "platform/jpeg/jpegimage.h"
#include "support/jpegfiles.h"

#include <QRandomGenerator>
#include <QTest>

using gui::RotateBitmap90;

namespace {

// The 2 × 3 picture with rows (a, b), (c, d), (e, f).
QImage twoByThree(QImage::Format format)
{
    QImage picture(2, 3, QImage::Format_RGB32);
    const QRgb a = qRgb(1, 2, 3), b = qRgb(4, 5, 6), c = qRgb(7, 8, 9), d = qRgb(10, 11, 12),
               e = qRgb(13, 14, 15), f = qRgb(16, 17, 18);
    const QRgb rows[3][2] = {{a, b}, {c, d}, {e, f}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            picture.setPixel(x, y, rows[y][x]);
    return picture.convertToFormat(format);
}

} // namespace

class TestRotate : public QObject {
    Q_OBJECT
private slots:
    void example_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("24-bit") << int(QImage::Format_RGB888);
        QTest::newRow("32-bit") << int(QImage::Format_RGB32);
        QTest::newRow("32-bit BGR") << int(QImage::Format_BGR888);
    }
    void example()
    {
        QFETCH(int, format);
        QImage picture = twoByThree(QImage::Format(format));
        RotateBitmap90(picture);
        QCOMPARE(picture.size(), QSize(3, 2));
        QCOMPARE(picture.format(), QImage::Format_RGB888);
        // Rows (e, c, a) and (f, d, b): clockwise.
        const QList<QRgb> expected = {qRgb(13, 14, 15), qRgb(7, 8, 9), qRgb(1, 2, 3),
                                      qRgb(16, 17, 18), qRgb(10, 11, 12), qRgb(4, 5, 6)};
        QList<QRgb> actual;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                actual << picture.pixel(x, y);
        QCOMPARE(actual, expected);
    }

    void everyPixelOfLargerPictures_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("24-bit odd sizes") << int(QImage::Format_RGB888) << 131 << 67;
        QTest::newRow("32-bit, fourth byte dropped") << int(QImage::Format_ARGB32) << 70 << 129;
        QTest::newRow("grey palette") << int(QImage::Format_Indexed8) << 97 << 45;
    }
    void everyPixelOfLargerPictures()
    {
        QFETCH(int, format);
        QFETCH(int, width);
        QFETCH(int, height);
        QImage source(width, height, QImage::Format(format));
        QRandomGenerator random(42);
        if (source.format() == QImage::Format_Indexed8) {
            QList<QRgb> greys;
            for (int i = 0; i < 236; ++i)
                greys << qRgb(i, i, i);
            source.setColorTable(greys);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    source.setPixel(x, y, random.bounded(236));
        } else {
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    source.setPixel(x, y, random.generate() | (source.hasAlphaChannel() ? 0x10000000u : 0xFF000000u));
        }
        QImage turned = source;
        RotateBitmap90(turned);
        QCOMPARE(turned.format(), QImage::Format_RGB888);
        QCOMPARE(turned.size(), QSize(height, width));
        for (int y = 0; y < width; ++y) {
            const uchar *row = turned.constScanLine(y);
            for (int x = 0; x < height; ++x) {
                const QRgb expected = source.pixel(y, height - 1 - x); // BGR bytes of the source
                const uchar *p = row + 3 * x;
                if (p[0] != qRed(expected) || p[1] != qGreen(expected) || p[2] != qBlue(expected))
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
            }
        }
    }

    // Decoding band by band and turning gives what decoding whole and turning gives.
    void decodeTurnedEqualsDecodeThenTurn_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<bool>("quantise");
        QImage colour(203, 77, QImage::Format_RGB888); // 77 rows: the last band is short
        QImage grey(64, 150, QImage::Format_Grayscale8);
        QRandomGenerator random(3);
        for (QImage *picture : {&colour, &grey})
            for (int y = 0; y < picture->height(); ++y)
                for (int x = 0; x < picture->bytesPerLine(); ++x)
                    picture->scanLine(y)[x] = uchar((x + 2 * y) % 200 + random.bounded(56));
        QByteArray cmyk;
        for (int i = 0; i < 40 * 33; ++i)
            cmyk.append(char(i % 251)).append(char(i % 13 * 19)).append(char(255 - i % 199)).append(char(i % 256));
        QTest::newRow("colour") << testsupport::encodeJpeg(colour, 85) << false;
        QTest::newRow("colour, progressive") << testsupport::encodeJpeg(colour, 85, true) << false;
        QTest::newRow("colour quantised") << testsupport::encodeJpeg(colour, 85) << true;
        QTest::newRow("greyscale palette") << testsupport::encodeJpeg(grey, 85) << false;
        QTest::newRow("CMYK") << testsupport::encodeCmykJpeg(40, 33, cmyk, 90) << false;
        QTest::newRow("one row") << testsupport::encodeJpeg(colour.copy(0, 0, 203, 1)) << false;
    }
    void decodeTurnedEqualsDecodeThenTurn()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(bool, quantise);
        const platform::JpegImage image = platform::JpegImage::fromData(jpeg);
        QImage expected = image.decode(quantise);
        RotateBitmap90(expected);
        const QImage turned = gui::decodeTurned(image, quantise);
        QCOMPARE(turned.format(), QImage::Format_RGB888);
        QCOMPARE(turned, expected);
    }
};

QTEST_GUILESS_MAIN(TestRotate)
#include "tst_rotate.moc"
