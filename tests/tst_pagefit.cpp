#include "core/errors.h"
#include "core/pagefit.h"

#include <QTest>
#include <limits>

using namespace core;

Q_DECLARE_METATYPE(core::PageSize)
Q_DECLARE_METATYPE(core::PageRect)

namespace QTest {
template <>
char *toString(const core::PageSize &s)
{
    return qstrdup(QByteArray::number(s.width) + " x " + QByteArray::number(s.height));
}
template <>
char *toString(const core::PageRect &r)
{
    return qstrdup("(" + QByteArray::number(r.left) + ", " + QByteArray::number(r.top) + ", "
                   + QByteArray::number(r.right) + ", " + QByteArray::number(r.bottom) + ")");
}
} // namespace QTest

class TestPageFit : public QObject {
    Q_OBJECT
private slots:
    void pageSize_data()
    {
        QTest::addColumn<int>("widthMm");
        QTest::addColumn<int>("heightMm");
        QTest::addColumn<int>("dpiX");
        QTest::addColumn<int>("dpiY");
        QTest::addColumn<PageSize>("expected");
        QTest::newRow("A4 300") << 210 << 297 << 300 << 300 << PageSize{2480, 3507};
        QTest::newRow("A4 600") << 210 << 297 << 600 << 600 << PageSize{4960, 7015};
        QTest::newRow("A4 1200") << 210 << 297 << 1200 << 1200 << PageSize{9921, 14031};
        QTest::newRow("A4 landscape 600") << 297 << 210 << 600 << 600 << PageSize{7015, 4960};
        QTest::newRow("different resolutions") << 210 << 297 << 600 << 300 << PageSize{4960, 3507};
        QTest::newRow("zero width") << 0 << 297 << 600 << 600 << PageSize{0, 7015};
        QTest::newRow("truncates to zero") << 1 << 1 << 1 << 1 << PageSize{0, 0};
        QTest::newRow("negative truncates toward zero") << -210 << 297 << 600 << 600 << PageSize{-4960, 7015};
    }
    void pageSize()
    {
        QFETCH(int, widthMm);
        QFETCH(int, heightMm);
        QFETCH(int, dpiX);
        QFETCH(int, dpiY);
        QFETCH(PageSize, expected);
        QCOMPARE(pageSizeInPixels(widthMm, heightMm, dpiX, dpiY), expected);
    }

    void pageOutside32Bits_data()
    {
        QTest::addColumn<int>("millimetres");
        QTest::addColumn<int>("dpi");
        QTest::newRow("too wide") << std::numeric_limits<int>::max() << 1200;
        QTest::newRow("too negative") << std::numeric_limits<int>::min() << 1200;
    }
    void pageOutside32Bits()
    {
        QFETCH(int, millimetres);
        QFETCH(int, dpi);
        QVERIFY_THROWS_EXCEPTION(core::Error, pageSizeInPixels(millimetres, 297, dpi, dpi));
    }

    void turn_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<PageSize>("page");
        QTest::addColumn<bool>("turns");
        const PageSize portrait{4960, 7015};
        const PageSize landscape{7015, 4960};
        QTest::newRow("landscape on portrait") << 4000 << 3000 << portrait << true;
        QTest::newRow("portrait on portrait") << 3000 << 4000 << portrait << false;
        QTest::newRow("square on portrait") << 3000 << 3000 << portrait << false;
        QTest::newRow("landscape on landscape") << 4000 << 3000 << landscape << false;
        QTest::newRow("portrait on landscape") << 3000 << 4000 << landscape << false;
        QTest::newRow("landscape on square page") << 4000 << 3000 << PageSize{4960, 4960} << false;
        QTest::newRow("empty picture") << 0 << 0 << portrait << false;
    }
    void turn()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(PageSize, page);
        QFETCH(bool, turns);
        QCOMPARE(turnsForPage(width, height, page), turns);
    }

    void fit_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<PageSize>("page");
        QTest::addColumn<PageRect>("expected");
        const PageSize a4{4960, 7015};
        QTest::newRow("turned 4000x3000") << 3000 << 4000 << a4 << PageRect{0, 201, 4960, 6814};
        // Extended precision leaves the width one pixel short; double precision would not.
        QTest::newRow("330x440 one pixel short") << 330 << 440 << a4 << PageRect{0, 201, 4959, 6814};
        QTest::newRow("square") << 3000 << 3000 << a4 << PageRect{0, 1027, 4960, 5987};
        QTest::newRow("small turned, enlarged") << 50 << 100 << a4 << PageRect{726, 0, 4233, 7015};
        QTest::newRow("A4 landscape, 4000x3000") << 4000 << 3000 << PageSize{7015, 4960} << PageRect{201, 0, 6814, 4960};
        QTest::newRow("A4 landscape, 3000x4000") << 3000 << 4000 << PageSize{7015, 4960} << PageRect{1647, 0, 5367, 4960};
        QTest::newRow("odd gap halves toward zero") << 1 << 1 << PageSize{5, 10} << PageRect{0, 2, 5, 7};
        QTest::newRow("negative gap halves toward zero") << 2 << 1 << PageSize{-5, 10} << PageRect{-12, 0, 8, 10};
    }
    void fit()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(PageSize, page);
        QFETCH(PageRect, expected);
        QCOMPARE(fitAndCentre(width, height, page), expected);
    }

    void fitErrors_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<PageSize>("page");
        QTest::addColumn<QString>("message");
        QTest::newRow("page height 0") << 300 << 400 << PageSize{4960, 0} << "Floating point division by zero";
        QTest::newRow("page width 0") << 300 << 400 << PageSize{0, 7015} << "Floating point division by zero";
        QTest::newRow("0-byte picture, 0 / 0") << 0 << 0 << PageSize{4960, 7015} << "Invalid floating point operation";
        QTest::newRow("empty picture on empty page") << 0 << 0 << PageSize{0, 0} << "Invalid floating point operation";
    }
    void fitErrors()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(PageSize, page);
        QFETCH(QString, message);
        try {
            fitAndCentre(width, height, page);
            QFAIL("no error");
        } catch (const core::Error &error) {
            QCOMPARE(error.message(), message);
        }
    }
};

QTEST_APPLESS_MAIN(TestPageFit)
#include "tst_pagefit.moc"
