#include "core/errors.h"
#include "core/printentry.h"

#include <QTest>

using namespace core;

Q_DECLARE_METATYPE(core::DocType)

class TestPrintEntry : public QObject {
    Q_OBJECT
private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("copies");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<DocType>("type");
        QTest::newRow("doc") << "   2  a.doc" << 2 << "a.doc" << DocType::Doc;
        QTest::newRow("gap not examined") << "  12xyb.xlsx" << 12 << "b.xlsx" << DocType::Xlsx;
        QTest::newRow("type from suffix") << "   1  c.doc&note.jpg" << 1 << "c.doc" << DocType::Jpg;
        QTest::newRow("suffix without type") << "   1  d.doc&x" << 1 << "d.doc" << DocType::None;
        QTest::newRow("empty name") << "   1  &e.doc" << 1 << "" << DocType::Doc;
        QTest::newRow("left-aligned copies, case ignored") << "1     f.Jpeg" << 1 << "f.Jpeg" << DocType::Jpeg;
        QTest::newRow("png passed over") << "10    g.png" << 10 << "g.png" << DocType::None;
        QTest::newRow("docx not ocx") << "   2  a.docx" << 2 << "a.docx" << DocType::Docx;
        QTest::newRow("no dot needed") << "   1  reportdoc" << 1 << "reportdoc" << DocType::Doc;
        QTest::newRow("xls") << "   1  t.XLS" << 1 << "t.XLS" << DocType::Xls;
        QTest::newRow("jpg") << "   3  p.jPg" << 3 << "p.jPg" << DocType::Jpg;
        QTest::newRow("hex copies") << "  $A  h.doc" << 10 << "h.doc" << DocType::Doc;
        QTest::newRow("negative copies") << "  -1  h.doc" << -1 << "h.doc" << DocType::Doc;
        QTest::newRow("tab trimmed in copies") << "\t 5\t  i.doc" << 5 << "i.doc" << DocType::Doc;
        QTest::newRow("trailing blank no type") << "   1  i.doc " << 1 << "i.doc " << DocType::None;
        QTest::newRow("short entry, copies only") << "   4" << 4 << "" << DocType::None;
        QTest::newRow("six characters") << "   4xy" << 4 << "" << DocType::None;
    }
    void rules()
    {
        QFETCH(QString, entry);
        QFETCH(int, copies);
        QFETCH(QString, fileName);
        QFETCH(DocType, type);
        QCOMPARE(entryCopies(entry), copies);
        QCOMPARE(entryFileName(entry), fileName);
        QCOMPARE(entryDocType(entry), type);
        QCOMPARE(entryFullPath(QStringLiteral("/docs/"), entry), QStringLiteral("/docs/") + fileName);
    }

    void copiesErrors_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("digit and blank before name") << "1 h.doc" << "1 h.";
        QTest::newRow("empty entry") << "" << "";
        QTest::newRow("blank copies field") << "      a.png" << "";
        QTest::newRow("letters") << "  ab  c.doc" << "ab";
    }
    void copiesErrors()
    {
        QFETCH(QString, entry);
        QFETCH(QString, trimmed);
        try {
            entryCopies(entry);
            QFAIL("no error raised");
        } catch (const ConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(trimmed));
        }
    }

    void shortEntriesHaveNoType()
    {
        QCOMPARE(entryDocType(QString()), DocType::None);
        QCOMPARE(entryDocType(QStringLiteral("oc")), DocType::None);
        QCOMPARE(entryDocType(QStringLiteral("doc")), DocType::Doc);
        QCOMPARE(entryDocType(QStringLiteral("peg")), DocType::None);
    }

    void upperCaseKeepsLength()
    {
        // U+00DF has a two-letter full upper case; per-unit mapping keeps it as it is.
        const QString text = QString::fromUtf8("a\xC3\x9F\xC3\xA9") + QChar(0xD83D) + QChar(0xDE00);
        const QString upper = upperCaseUnits(text);
        QCOMPARE(upper.size(), text.size());
        QCOMPARE(upper, QString::fromUtf8("A\xC3\x9F\xC3\x89") + QChar(0xD83D) + QChar(0xDE00));
    }

    void docFamilies()
    {
        QCOMPARE(docFamily(DocType::Doc), DocFamily::Word);
        QCOMPARE(docFamily(DocType::Docx), DocFamily::Word);
        QCOMPARE(docFamily(DocType::Xls), DocFamily::Excel);
        QCOMPARE(docFamily(DocType::Xlsx), DocFamily::Excel);
        QCOMPARE(docFamily(DocType::Jpg), DocFamily::Image);
        QCOMPARE(docFamily(DocType::Jpeg), DocFamily::Image);
        QCOMPARE(docFamily(DocType::None), DocFamily::None);
    }
};

QTEST_APPLESS_MAIN(TestPrintEntry)
#include "tst_printentry.moc"
