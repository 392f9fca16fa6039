#include "core/errors.h"
#include "platform/jpeg/jpegimage.h"
#include "support/files.h"
#include "support/jpegfiles.h"
#include "support/lockholder.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

#include <sys/resource.h>

using platform::JpegImage;
using namespace testsupport;

namespace {

QImage noisyPicture(int width, int height, bool grey)
{
    QImage picture(width, height, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    QRandomGenerator random(width * 7919 + height);
    for (int y = 0; y < height; ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < picture.bytesPerLine(); ++x)
            row[x] = uchar((x * 3 + y * 5) % 256 / 2 + random.bounded(64));
    }
    return picture;
}

// What libjpeg's own command-line decoder makes of the file, as 8-bit channels.
QImage djpeg(const QByteArray &jpeg, const QStringList &options)
{
    QProcess process;
    process.start(QStringLiteral("djpeg"), options);
    process.write(jpeg);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000))
        return {};
    return QImage::fromData(process.readAllStandardOutput());
}

} // namespace

class TestJpeg : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString file(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        writeFile(path, content);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
#ifndef ORVENNA_SANITIZED // AddressSanitizer's shadow memory needs an unbounded address space
        // A bounded address space makes the decoding limit the same on every machine.
        rlimit limit {8ull << 30, 8ull << 30};
        QCOMPARE(setrlimit(RLIMIT_AS, &limit), 0);
        QVERIFY(JpegImage::decodeMemoryLimit() <= (2ull << 30));
#endif
    }

    void loadReadsHeaderOnly()
    {
        const QByteArray jpeg = encodeJpeg(noisyPicture(40, 24, false));
        // Cut after the header: loading still succeeds because nothing is decoded.
        const int scan = jpeg.indexOf("\xFF\xDA");
        const JpegImage image = JpegImage::load(file("head.jpg", jpeg.left(scan + 20)));
        QCOMPARE(image.width(), 40);
        QCOMPARE(image.height(), 24);
    }

    void emptyFileLoadsAsNothing()
    {
        const JpegImage image = JpegImage::load(file("empty.jpg", {}));
        QCOMPARE(image.width(), 0);
        QCOMPARE(image.height(), 0);
        QVERIFY_THROWS_EXCEPTION(core::Error, image.decode());
    }

    void loadFailures_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("not a JPEG") << QByteArray("BM\x36\0\0\0 not a jpeg at all") << true;
        QTest::newRow("JPEG start, no frame") << QByteArray("\xFF\xD8\xFF\xD9", 4) << true;
    }
    void loadFailures()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        const QString path = exists ? file(QStringLiteral("bad.jpg"), content) : m_dir.filePath("nothing.jpg");
        QVERIFY_THROWS_EXCEPTION(core::Error, JpegImage::load(path));
    }

    void colourMatchesLibjpegDefaults_data()
    {
        QTest::addColumn<bool>("progressive");
        QTest::newRow("baseline") << false;
        QTest::newRow("progressive") << true;
    }
    void colourMatchesLibjpegDefaults()
    {
        QFETCH(bool, progressive);
        const QByteArray jpeg = encodeJpeg(noisyPicture(61, 37, false), 80, progressive);
        const QImage picture = JpegImage::fromData(jpeg).decode();
        QCOMPARE(picture.format(), QImage::Format_RGB888);
        QCOMPARE(picture, djpeg(jpeg, {"-ppm"}).convertToFormat(QImage::Format_RGB888));
    }

    void truncatedProgressiveIsSmoothedAndKept()
    {
        // Data that ends early is only a warning; the coefficients that arrived are smoothed
        // across blocks as libjpeg does by default.
        const QByteArray jpeg = encodeJpeg(noisyPicture(96, 64, false), 85, true);
        const QByteArray cut = jpeg.left(jpeg.size() / 3);
        const QImage picture = JpegImage::fromData(cut).decode();
        QCOMPARE(picture.size(), QSize(96, 64));
        QCOMPARE(picture, djpeg(cut, {"-ppm"}).convertToFormat(QImage::Format_RGB888));
    }

    void greyscaleToGreyPalette()
    {
        const QByteArray jpeg = encodeJpeg(noisyPicture(64, 40, true), 90);
        const QImage picture = JpegImage::fromData(jpeg).decode();
        QCOMPARE(picture.format(), QImage::Format_Indexed8);
        QVERIFY(picture.colorCount() <= 236);
        QVERIFY(picture.colorCount() > 200);
        for (QRgb entry : picture.colorTable())
            QVERIFY(qRed(entry) == qGreen(entry) && qGreen(entry) == qBlue(entry));
        // libjpeg's own quantiser and dithering, as djpeg uses them.
        const QImage reference = djpeg(jpeg, {"-colors", "236", "-pnm"});
        QCOMPARE(picture.convertToFormat(QImage::Format_Grayscale8), reference.convertToFormat(QImage::Format_Grayscale8));
    }

    void colourQuantisedForPaletteScreens()
    {
        const QByteArray jpeg = encodeJpeg(noisyPicture(50, 30, false), 90);
        const QImage picture = JpegImage::fromData(jpeg).decode(true);
        QCOMPARE(picture.format(), QImage::Format_Indexed8);
        QVERIFY(picture.colorCount() <= 236);
        const QImage reference = djpeg(jpeg, {"-colors", "236", "-ppm"});
        QCOMPARE(picture.convertToFormat(QImage::Format_RGB888), reference.convertToFormat(QImage::Format_RGB888));
    }

    void cmykScaledByBlack_data()
    {
        QTest::addColumn<bool>("ycck");
        QTest::addColumn<int>("tolerance");
        // Uniform 8 × 8 blocks at quality 100 decode to exactly the CMYK values written; through
        // YCCK the colour transform may move each by one.
        QTest::newRow("CMYK") << false << 0;
        QTest::newRow("YCCK") << true << 2;
    }
    void cmykScaledByBlack()
    {
        QFETCH(bool, ycck);
        QFETCH(int, tolerance);
        const QList<std::array<uchar, 4>> blocks = {{255, 0, 0, 255}, {10, 128, 250, 200}, {200, 100, 50, 0}, {255, 255, 255, 128}};
        const int width = 8 * int(blocks.size());
        QByteArray pixels;
        for (int y = 0; y < 8; ++y)
            for (const auto &block : blocks)
                for (int x = 0; x < 8; ++x)
                    pixels.append(reinterpret_cast<const char *>(block.data()), 4);
        const QImage picture = JpegImage::fromData(encodeCmykJpeg(width, 8, pixels, 100, ycck)).decode();
        QCOMPARE(picture.format(), QImage::Format_RGB32);
        for (int b = 0; b < blocks.size(); ++b) {
            const auto &[c, m, y, k] = blocks[b];
            const QRgb actual = picture.pixel(8 * b + 3, 4);
            QVERIFY2(qAbs(qRed(actual) - c * k / 255) <= tolerance && qAbs(qGreen(actual) - m * k / 255) <= tolerance
                         && qAbs(qBlue(actual) - y * k / 255) <= tolerance,
                     qPrintable(QStringLiteral("block %1: %2").arg(b).arg(actual, 8, 16)));
            QCOMPARE(reinterpret_cast<const uchar *>(picture.constScanLine(4))[4 * (8 * b + 3) + 3], uchar(255));
        }
    }

    void errorAfterHeaderFailsDecode()
    {
        // A later scan of a progressive file names a component the frame lacks: the header
        // loads, decoding fails.
        QByteArray jpeg = encodeJpeg(noisyPicture(32, 32, false), 90, true);
        const int firstScan = jpeg.indexOf("\xFF\xDA");
        const int secondScan = jpeg.indexOf("\xFF\xDA", firstScan + 2);
        QVERIFY(secondScan > 0);
        jpeg[secondScan + 5] = char(0x7F);
        const JpegImage image = JpegImage::fromData(jpeg);
        QCOMPARE(image.width(), 32);
        QVERIFY_THROWS_EXCEPTION(core::Error, image.decode());
    }

    void tooLargeRefusedBeforeAllocation_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("65500 square") << 65500 << 65500;
#ifndef ORVENNA_SANITIZED // within a quarter of this machine's memory without the bounded address space
        QTest::newRow("wide") << 65500 << 20000;
#endif
    }
    void tooLargeRefusedBeforeAllocation()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        const QByteArray huge = withFrameSize(encodeJpeg(noisyPicture(16, 16, false)), width, height);
        const JpegImage image = JpegImage::fromData(huge);
        QCOMPARE(image.width(), width);
        QCOMPARE(image.height(), height);
        try {
            image.decode();
            QFAIL("decoded");
        } catch (const core::Error &error) {
            QCOMPARE(error.message(), QStringLiteral("Out of memory"));
        }
    }

    void readRefusedWhileWriteLocked_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("refused");
        QTest::newRow("fcntl write lock") << int(LockHolder::FcntlWrite) << true;
        QTest::newRow("flock exclusive") << int(LockHolder::FlockExclusive) << true;
        QTest::newRow("another reader") << int(LockHolder::FcntlRead) << false;
    }
    void readRefusedWhileWriteLocked()
    {
        QFETCH(int, kind);
        QFETCH(bool, refused);
        const QString path = file(QStringLiteral("locked.jpg"), encodeJpeg(noisyPicture(8, 8, false)));
        {
            LockHolder holder(path, LockHolder::Kind(kind));
            QVERIFY(holder.locked());
            if (refused)
                QVERIFY_THROWS_EXCEPTION(core::Error, JpegImage::load(path));
            else
                QCOMPARE(JpegImage::load(path).width(), 8);
        }
        QCOMPARE(JpegImage::load(path).width(), 8);
    }

    void documentsMayBeLinksOrBelongToOthers()
    {
        const QString path = file(QStringLiteral("shared.jpg"), encodeJpeg(noisyPicture(8, 6, false)));
        const QString link = QFileInfo(path).absolutePath() + QStringLiteral("/link.jpg");
        QVERIFY(QFile::link(path, link));
        QCOMPARE(JpegImage::load(link).width(), 8);
        if (geteuid() == 0) {
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
            QCOMPARE(JpegImage::load(path).height(), 6);
        }
    }
};

QTEST_GUILESS_MAIN(TestJpeg)
#include "tst_jpeg.moc"
