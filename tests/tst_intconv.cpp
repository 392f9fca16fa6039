#include "core/errors.h"
#include "core/intconv.h"

#include <QTest>

using core::StrToInt;

class TestIntConv : public QObject {
    Q_OBJECT
private slots:
    void accepts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("plain") << "42" << 42;
        QTest::newRow("leading zeros") << "0012" << 12;
        QTest::newRow("plus") << "+7" << 7;
        QTest::newRow("minus") << "-7" << -7;
        QTest::newRow("minus zero") << "-0" << 0;
        QTest::newRow("leading blanks") << "   2" << 2;
        QTest::newRow("blanks then sign") << "  -15" << -15;
        QTest::newRow("int32 max") << "2147483647" << 2147483647;
        QTest::newRow("int32 min") << "-2147483648" << int(-2147483647 - 1);
        QTest::newRow("dollar hex") << "$A" << 10;
        QTest::newRow("x hex") << "x1f" << 31;
        QTest::newRow("X hex") << "XFF" << 255;
        QTest::newRow("0x hex") << "0x10" << 16;
        QTest::newRow("0X hex") << "0XaBc" << 0xABC;
        QTest::newRow("negative hex") << "-$A" << -10;
        QTest::newRow("hex top bit") << "$80000000" << int(-2147483647 - 1);
        QTest::newRow("hex all bits") << "$FFFFFFFF" << -1;
        QTest::newRow("hex 7FFFFFFF") << "0x7FFFFFFF" << 2147483647;
        QTest::newRow("negated all bits wraps") << "-$FFFFFFFF" << 1;
        QTest::newRow("hex leading zeros") << "$000000001" << 1;
        QTest::newRow("blanks and hex") << "  $A" << 10;
        QTest::newRow("0 alone is decimal") << "0" << 0;
    }
    void accepts()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(StrToInt(text), value);
    }

    void rejects_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks only") << "   ";
        QTest::newRow("trailing blank") << "12 ";
        QTest::newRow("leading tab") << "\t12";
        QTest::newRow("blank after sign") << "- 1";
        QTest::newRow("sign only") << "-";
        QTest::newRow("two signs") << "+-1";
        QTest::newRow("letters") << "ab";
        QTest::newRow("digits then letter") << "12a";
        QTest::newRow("decimal point") << "1.5";
        QTest::newRow("above int32 max") << "2147483648";
        QTest::newRow("below int32 min") << "-2147483649";
        QTest::newRow("far too many digits") << "99999999999999999999";
        QTest::newRow("hex beyond 32 bits") << "$100000000";
        QTest::newRow("dollar alone") << "$";
        QTest::newRow("x alone") << "x";
        QTest::newRow("0x alone") << "0x";
        QTest::newRow("bad hex digit") << "$G";
        QTest::newRow("hex then blank") << "$A ";
        QTest::newRow("double prefix") << "$$1";
        QTest::newRow("full-width digit") << QString::fromUtf8("\xEF\xBC\x91");
        QTest::newRow("dot copies field") << "1 h.";
    }
    void rejects()
    {
        QFETCH(QString, text);
        try {
            StrToInt(text);
            QFAIL("no error raised");
        } catch (const core::ConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }
};

QTEST_APPLESS_MAIN(TestIntConv)
#include "tst_intconv.moc"
