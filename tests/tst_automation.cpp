#include "office/classes.h"
#include "office/components.h"
#include "support/recordingoffice.h"

#include <QTemporaryFile>
#include <QTest>

using namespace office;
using officetest::App;
using officetest::RecordingOffice;

Q_DECLARE_METATYPE(office::TConnectKind)
Q_DECLARE_METATYPE(officetest::App)

namespace {

template <typename Fn>
HResult errorCodeOf(Fn &&fn)
{
    try {
        fn();
    } catch (const AutomationError &error) {
        return error.code();
    }
    return 0;
}

std::unique_ptr<TOleApplicationServer> applicationComponent(App app)
{
    if (app == App::Word)
        return std::make_unique<TWordApplication>();
    return std::make_unique<TExcelApplication>();
}

} // namespace

class TestAutomation : public QObject {
    Q_OBJECT
private slots:
    void variantTypes_data()
    {
        QTest::addColumn<Variant>("value");
        QTest::addColumn<int>("vt");
        QTest::addColumn<QString>("described");
        QTest::newRow("empty") << Variant() << int(VT_EMPTY) << "empty";
        QTest::newRow("string") << Variant::fromString("a b") << int(VT_BSTR) << "\"a b\"";
        QTest::newRow("int") << Variant::fromInt(-7) << int(VT_I4) << "i4 -7";
        QTest::newRow("null") << Variant::null() << int(VT_NULL) << "null";
        QTest::newRow("missing") << Variant::missing() << int(VT_ERROR) << "missing";
        QTest::newRow("other error") << Variant::error(E_FAIL) << int(VT_ERROR) << "error 0x80004005";
        QTest::newRow("null dispatch") << Variant::fromObject(nullptr) << int(VT_DISPATCH) << "<nothing>";
    }
    void variantTypes()
    {
        QFETCH(Variant, value);
        QFETCH(int, vt);
        QFETCH(QString, described);
        QCOMPARE(int(value.vt()), vt);
        QVERIFY(!value.isByRef());
        QCOMPARE(officetest::describe(value), described);
        QCOMPARE(value.isMissing(), described == "missing");
        QCOMPARE(value.isNull(), described == "null");
        QCOMPARE(value.stringTarget(), nullptr);
        QCOMPARE(errorCodeOf([&] { value.toObject(); }), DISP_E_TYPEMISMATCH);
        if (vt != VT_BSTR)
            QCOMPARE(errorCodeOf([&] { value.toString(); }), DISP_E_TYPEMISMATCH);
        if (vt != VT_I4)
            QCOMPARE(errorCodeOf([&] { value.toInt(); }), DISP_E_TYPEMISMATCH);
        if (vt != VT_ERROR)
            QCOMPARE(errorCodeOf([&] { value.errorCode(); }), DISP_E_TYPEMISMATCH);
    }

    void missingIsParamNotFound()
    {
        QCOMPARE(Variant::missing().errorCode(), HResult(0x80020004u));
        QVERIFY(!Variant::error(E_FAIL).isMissing());
    }

    void stringByReferenceSharesTheCallersString()
    {
        QString text = QStringLiteral("C:/a.doc");
        const Variant value = Variant::stringByRef(text);
        QCOMPARE(int(value.vt()), int(VT_BSTR | VT_BYREF));
        QCOMPARE(value.baseType(), VT_BSTR);
        QCOMPARE(value.stringTarget(), &text);
        text = QStringLiteral("changed");
        QCOMPARE(value.toString(), QStringLiteral("changed"));
        QCOMPARE(officetest::describe(value), QStringLiteral("&\"changed\""));
    }

    void progIdsMatchWithoutRegardToCase_data()
    {
        QTest::addColumn<QString>("progId");
        QTest::addColumn<QUuid>("classId");
        QTest::newRow("as the program writes it") << "word.Application" << classes::WordApplication;
        QTest::newRow("upper") << "WORD.APPLICATION" << classes::WordApplication;
        QTest::newRow("canonical") << "Word.Application" << classes::WordApplication;
        QTest::newRow("excel") << "excel.application" << classes::ExcelApplication;
        QTest::newRow("word document") << "word.document" << classes::WordDocument;
    }
    void progIdsMatchWithoutRegardToCase()
    {
        QFETCH(QString, progId);
        QFETCH(QUuid, classId);
        RecordingOffice office;
        QCOMPARE(ServerRegistry::global().classIdFromProgId(progId), classId);
    }

    void unknownClassesAreErrors()
    {
        {
            RecordingOffice office;
            QCOMPARE(errorCodeOf([] { createOleObject("Word.Applicatio"); }), CO_E_CLASSSTRING);
            QCOMPARE(errorCodeOf([] { ServerRegistry::global().createInstance(QUuid::createUuid()); }),
                     REGDB_E_CLASSNOTREG);
            QCOMPARE(office.log(), QStringList());
        }
        // Gone with the recording server: nothing stands in for a missing Office.
        QCOMPARE(errorCodeOf([] { createOleObject("word.Application"); }), CO_E_CLASSSTRING);
        QCOMPARE(errorCodeOf([] { ServerRegistry::global().createInstance(classes::ExcelApplication); }),
                 REGDB_E_CLASSNOTREG);
        QCOMPARE(errorCodeOf([] { ServerRegistry::global().runningInstance(classes::WordApplication); }),
                 REGDB_E_CLASSNOTREG);
    }

    void registrationPutsBackThePreviousServer()
    {
        RecordingOffice outer;
        {
            RecordingOffice inner;
            createOleObject("Excel.Application");
            QCOMPARE(inner.instancesStarted(App::Excel), 1);
        }
        createOleObject("Excel.Application");
        QCOMPARE(outer.instancesStarted(App::Excel), 1);
        QCOMPARE(outer.log(), QStringList({"start Excel1", "release Excel1", "end Excel1 (released)"}));
    }

    void aNameTheObjectLacksRaisesAnError()
    {
        RecordingOffice office;
        const ObjectRef word = createOleObject("word.Application");
        QCOMPARE(errorCodeOf([&] { call(word, "Visible"); }), DISP_E_UNKNOWNNAME);
        QCOMPARE(errorCodeOf([&] { call(nullptr, "Documents"); }), DISP_E_TYPEMISMATCH);
        // Names resolve without regard to case.
        QVERIFY(call(word, "DOCUMENTS").isObject());
    }

    void lastReleaseEndsAnInstanceStartedForAutomation()
    {
        RecordingOffice office;
        ObjectRef word = createOleObject("word.Application");
        ObjectRef documents = call(word, "Documents").toObject();
        word.reset();
        QCOMPARE(office.liveInstances(App::Word), 1); // the collection still holds it
        documents.reset();
        QCOMPARE(office.liveInstances(App::Word), 0);
        QCOMPARE(office.log(), QStringList({"start Word1", "Word1.Documents() lcid=0", "release Word1.Documents",
                                            "release Word1", "end Word1 (released)"}));
    }

    void quitEndsAnInstanceOnce()
    {
        RecordingOffice office;
        ObjectRef excel = createOleObject("Excel.Application");
        call(excel, "Quit");
        QCOMPARE(errorCodeOf([&] { call(excel, "Workbooks"); }), RPC_E_DISCONNECTED);
        excel.reset();
        QCOMPARE(office.log(),
                 QStringList({"start Excel1", "Excel1.Quit() lcid=0", "end Excel1 (quit)",
                              "Excel1.Workbooks() lcid=0", "release Excel1"}));
    }

    void connectByKind_data()
    {
        QTest::addColumn<App>("app");
        QTest::addColumn<TConnectKind>("kind");
        QTest::addColumn<bool>("userHasOne");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("held");
        QTest::newRow("word running-or-new, none running")
            << App::Word << ckRunningOrNew << false << QStringList{"running Word: none", "start Word1"} << "Word1";
        QTest::newRow("word running-or-new, one running")
            << App::Word << ckRunningOrNew << true << QStringList{"user starts Word1", "running Word1"} << "Word1";
        QTest::newRow("word new instance, one running")
            << App::Word << ckNewInstance << true << QStringList{"user starts Word1", "start Word2"} << "Word2";
        QTest::newRow("excel new instance, none running")
            << App::Excel << ckNewInstance << false << QStringList{"start Excel1"} << "Excel1";
        QTest::newRow("excel new instance, one running")
            << App::Excel << ckNewInstance << true << QStringList{"user starts Excel1", "start Excel2"} << "Excel2";
        QTest::newRow("excel running-or-new, one running")
            << App::Excel << ckRunningOrNew << true << QStringList{"user starts Excel1", "running Excel1"}
            << "Excel1";
    }
    void connectByKind()
    {
        QFETCH(App, app);
        QFETCH(TConnectKind, kind);
        QFETCH(bool, userHasOne);
        QFETCH(QStringList, log);
        QFETCH(QString, held);
        RecordingOffice office;
        if (userHasOne)
            office.startRunning(app);
        auto component = applicationComponent(app);
        component->ConnectKind = kind;
        component->AutoQuit = false;
        QVERIFY(!component->Connected());
        component->Connect();
        component->Connect(); // connected: nothing more
        QCOMPARE(office.log(), log);
        QCOMPARE(RecordingOffice::nameOf(component->Held()), held);

        // AutoQuit False: the instance is released, not told to quit. One started for
        // automation ends with the release; the user's stays.
        office.clearLog();
        component->Disconnect();
        QVERIFY(!component->Connected());
        component->Disconnect();
        const bool started = log.last().startsWith("start");
        QCOMPARE(office.log(), started ? QStringList({"release " + held, "end " + held + " (released)"})
                                       : QStringList());
        QCOMPARE(office.liveInstances(app), userHasOne ? 1 : 0);
    }

    void disconnectWithAutoQuitTellsTheInstanceToQuit()
    {
        RecordingOffice office;
        TWordApplication word;
        word.ConnectKind = ckNewInstance;
        QVERIFY(word.AutoQuit);
        word.Connect();
        word.Disconnect();
        QCOMPARE(office.log(), QStringList({"start Word1", "Word1.Quit(missing, missing, missing) lcid=0",
                                            "end Word1 (quit)", "release Word1"}));
        QVERIFY(!word.Connected());
    }

    void failedConnectLeavesTheComponentUnconnected()
    {
        RecordingOffice office;
        TExcelApplication excel;
        excel.ConnectKind = ckNewInstance;
        office.failAtRequest(1);
        QVERIFY_THROWS_EXCEPTION(AutomationError, excel.Connect());
        QVERIFY(!excel.Connected());
        QCOMPARE(office.instancesStarted(App::Excel), 0);
        excel.Connect(); // tries again
        QCOMPARE(office.log(), QStringList({"start Excel1 -> error", "start Excel1"}));
    }

    void connectToReleasesWhatWasHeld()
    {
        RecordingOffice office;
        TExcelWorkbook workbook;
        ObjectRef first = ServerRegistry::global().createInstance(classes::ExcelWorkbook);
        workbook.ConnectTo(first);
        first.reset();
        QCOMPARE(RecordingOffice::nameOf(workbook.Held()), QStringLiteral("Excel1.Book1"));
        office.clearLog();
        workbook.ConnectTo(createOleObject("Excel.Application"));
        QCOMPARE(office.log(), QStringList({"start Excel2", "release Excel1.Book1", "release Excel1",
                                            "end Excel1 (released)"}));
        QCOMPARE(RecordingOffice::nameOf(workbook.Held()), QStringLiteral("Excel2"));
    }

    void operationsConnectFirstAndPassOmittedArgumentsAsMissing_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QStringList>("log");
        const QString m8 = QStringList(8, "missing").join(", ");
        QTest::newRow("workbook PrintOut") << 0 << QStringList{"running Excel1", "Excel1.Book1.PrintOut(" + m8 + ") lcid=0"};
        QTest::newRow("workbook Save") << 1 << QStringList{"running Excel1", "Excel1.Book1.Save() lcid=0"};
        QTest::newRow("workbook Close")
            << 2 << QStringList{"running Excel1", "Excel1.Book1.Close(missing, missing, missing) lcid=0"};
        QTest::newRow("word Quit") << 3 << QStringList{"running Word1", "Word1.Quit(missing, missing, missing) lcid=0",
                                                       "end Word1 (quit)"};
        QTest::newRow("excel Quit") << 4 << QStringList{"start Excel2", "Excel2.Quit() lcid=0", "end Excel2 (quit)"};
        QTest::newRow("excel Workbooks")
            << 5 << QStringList{"start Excel2", "Excel2.Workbooks() lcid=0", "release Excel2.Workbooks"};
    }
    void operationsConnectFirstAndPassOmittedArgumentsAsMissing()
    {
        QFETCH(int, operation);
        QFETCH(QStringList, log);
        RecordingOffice office;
        // The user has Word open, and Excel with one workbook.
        office.startRunning(App::Word);
        const ObjectRef userExcel = office.startRunning(App::Excel);
        QTemporaryFile file;
        QVERIFY(file.open());
        call(call(userExcel, "Workbooks").toObject(), "Open", {Variant::fromString(file.fileName())});
        office.clearLog();

        TExcelWorkbook workbook;
        TWordApplication word;
        word.AutoQuit = false;
        TExcelApplication excel;
        excel.ConnectKind = ckNewInstance;
        excel.AutoQuit = false;
        switch (operation) {
        case 0: workbook.PrintOut(); break;
        case 1: workbook.Save(); break;
        case 2: workbook.Close(); break;
        case 3: word.Quit(); break;
        case 4: excel.Quit(); break;
        case 5: excel.Workbooks(); break;
        }
        QCOMPARE(office.log(), log);
    }

    void loadedConnectsOnlyWithAutoConnect()
    {
        RecordingOffice office;
        TExcelApplication excel;
        excel.ConnectKind = ckNewInstance;
        excel.AutoConnect = false;
        excel.Loaded();
        QVERIFY(!excel.Connected());
        QCOMPARE(office.log(), QStringList());
        excel.AutoConnect = true;
        excel.Loaded();
        QVERIFY(excel.Connected());
        QCOMPARE(office.log(), QStringList({"start Excel1"}));
    }

    void destroyingAComponentReleasesItsReference_data()
    {
        QTest::addColumn<bool>("autoQuit");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("AutoQuit False") << false
                                        << QStringList{"start Excel1", "release Excel1", "end Excel1 (released)"};
        QTest::newRow("AutoQuit True") << true
                                       << QStringList{"start Excel1", "Excel1.Quit() lcid=0", "end Excel1 (quit)",
                                                      "release Excel1"};
    }
    void destroyingAComponentReleasesItsReference()
    {
        QFETCH(bool, autoQuit);
        QFETCH(QStringList, log);
        RecordingOffice office;
        {
            TExcelApplication excel;
            excel.ConnectKind = ckNewInstance;
            excel.AutoQuit = autoQuit;
            excel.Connect();
        }
        QCOMPARE(office.log(), log);
    }
};

QTEST_GUILESS_MAIN(TestAutomation)
#include "tst_automation.moc"
