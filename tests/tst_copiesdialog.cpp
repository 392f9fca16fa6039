#include "core/printentry.h"
#include "gui/uInputAFloat.h"
#include "gui/uMain.h"
#include "platform/application.h"
#include "platform/messagebox.h"

#include <QClipboard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace gui;
using platform::MessageBox;

namespace {

// Acts on the copies dialog once it is open modally; a watchdog closes it if the action
// leaves it open, so a fault fails the test instead of hanging it.
[[nodiscard]] std::unique_ptr<QObject> whileDialogOpen(std::function<void(TfrmInputAFloat *)> act, bool *sawDialog)
{
    auto watch = std::make_unique<QObject>();
    QTimer::singleShot(0, watch.get(), [act, sawDialog] {
        auto *dialog = qobject_cast<TfrmInputAFloat *>(QApplication::activeModalWidget());
        *sawDialog = dialog != nullptr;
        if (dialog)
            act(dialog);
    });
    QTimer::singleShot(5000, watch.get(), [] {
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
    return watch; // the caller keeps it until the dialog has closed
}

QStringList texts(const TfrmMain &form)
{
    QStringList result;
    for (int i = 0; i < form.ListFiles->entryCount(); ++i)
        result << form.ListFiles->entryText(i);
    return result;
}

QString messageTexts()
{
    QStringList shown;
    for (const auto &box : MessageBox::takeShown())
        shown << box.text;
    return shown.join(u'|');
}

const QStringList kEntries = {"   2  a.doc", "  12xyb.xlsx", "   1  c.jpg", "ab"};

} // namespace

class TestCopiesDialog : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_tmp;
    std::unique_ptr<TfrmMain> m_form;

    // Entries 0, 1 and 3 checked, entry 2 unchecked, row 1 selected.
    void fillList()
    {
        for (const QString &e : kEntries)
            m_form->ListFiles->appendEntry(e, true);
        m_form->ListFiles->setChecked(2, false);
        m_form->ListFiles->setCurrentRow(1);
    }

    // Runs the copies reset through its menu item with `act` on the open dialog.
    void resetCopies(std::function<void(TfrmInputAFloat *)> act)
    {
        bool sawDialog = false;
        const auto watch = whileDialogOpen(std::move(act), &sawDialog);
        m_form->N5->trigger();
        QVERIFY(sawDialog);
        QVERIFY(!QApplication::activeModalWidget());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
    }
    void init()
    {
        MessageBox::setAnsweringMode(true);
        m_form = std::make_unique<TfrmMain>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
        fillList();
    }
    void cleanup()
    {
        m_form.reset();
        MessageBox::setAnsweringMode(false);
    }

    void dialogLayout()
    {
        resetCopies([](TfrmInputAFloat *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("输入新的打印份数"));
            QCOMPARE(d->Label1->text(), QStringLiteral("输入新的打印份数"));
            QCOMPARE(d->size(), QSize(472, 124));
            QCOMPARE(d->minimumSize(), d->maximumSize());
            QVERIFY(!(d->windowFlags() & Qt::WindowMinimizeButtonHint));
            QVERIFY(!(d->windowFlags() & Qt::WindowMaximizeButtonHint));
            QCOMPARE(d->EditFloat->geometry(), QRect(16, 40, 449, 20));
            QCOMPARE(d->Label1->geometry(), QRect(16, 16, 108, 12));
            QCOMPARE(d->Panel2->geometry(), QRect(0, 83, 472, 41));
            QCOMPARE(d->cmdEnsure->geometry(), QRect(128, 9, 72, 22));
            QCOMPARE(d->cmdCancel->geometry(), QRect(240, 9, 72, 22));
            QCOMPARE(d->cmdEnsure->text(), QStringLiteral("确认"));
            QCOMPARE(d->cmdCancel->text(), QStringLiteral("取消"));
            QVERIFY(d->cmdEnsure->isDefault());
            QCOMPARE(d->EditFloat->inputMask(), QString());
            QCOMPARE(d->EditFloat->text(), QStringLiteral("1"));
            QCOMPARE(d->EditFloat->selectedText(), QStringLiteral("1"));
            QCOMPARE(d->focusWidget(), d->EditFloat);
            QList<QWidget *> order;
            for (QWidget *w = d->EditFloat->nextInFocusChain(); w != d->EditFloat; w = w->nextInFocusChain())
                if (w->focusPolicy() & Qt::TabFocus)
                    order << w;
            QCOMPARE(order, QList<QWidget *>({d->cmdEnsure, d->cmdCancel}));
            QVERIFY(d->iscancel);
            d->cmdCancel->click();
        });
    }

    void confirmRewritesCheckedEntries_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<QString>("field");
        QTest::newRow("zero by click") << "0" << false << "   0";
        QTest::newRow("9999 by Enter") << "9999" << true << "9999";
        QTest::newRow("25") << "25" << false << "  25";
        QTest::newRow("emptied edit becomes 1") << "" << false << "   1";
    }
    void confirmRewritesCheckedEntries()
    {
        QFETCH(QString, typed);
        QFETCH(bool, byEnter);
        QFETCH(QString, field);
        QString editAfterConfirm;
        resetCopies([&](TfrmInputAFloat *d) {
            QTest::keyClick(d->EditFloat, Qt::Key_Backspace); // the whole text is selected
            QTest::keyClicks(d->EditFloat, typed);
            if (byEnter)
                QTest::keyClick(d->EditFloat, Qt::Key_Return);
            else
                QTest::mouseClick(d->cmdEnsure, Qt::LeftButton);
            editAfterConfirm = d->EditFloat->text();
        });
        QCOMPARE(messageTexts(), QString());
        QCOMPARE(editAfterConfirm, typed.isEmpty() ? QStringLiteral("1") : typed);
        QCOMPARE(texts(*m_form), QStringList({field + "  a.doc", field + "xyb.xlsx", "   1  c.jpg", field}));
        QCOMPARE(m_form->ListFiles->isChecked(0), true);
        QCOMPARE(m_form->ListFiles->isChecked(1), true);
        QCOMPARE(m_form->ListFiles->isChecked(2), false);
        QCOMPARE(m_form->ListFiles->isChecked(3), true);
        QCOMPARE(m_form->ListFiles->currentRow(), 1);
    }

    void refusedNumbersKeepDialogOpen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("message");
        QTest::newRow("above 9999") << "10000" << false << "最大打印份数不能超过9999份";
        QTest::newRow("pasted negative") << "-3" << true << "请输入正确的打印份数！";
        // A text that does not convert fails on 确认 and again when the cancel converts it.
        QTest::newRow("pasted letters") << "abc" << true
                                        << "'abc' is not a valid integer value.|'abc' is not a valid integer value.";
        QTest::newRow("too many digits") << "99999999999" << false
                                         << "'99999999999' is not a valid integer value.|"
                                            "'99999999999' is not a valid integer value.";
    }
    void refusedNumbersKeepDialogOpen()
    {
        QFETCH(QString, text);
        QFETCH(bool, paste);
        QFETCH(QString, message);
        bool stillOpen = false;
        QString kept;
        resetCopies([&](TfrmInputAFloat *d) {
            if (paste) {
                QGuiApplication::clipboard()->setText(text);
                QTest::keyClick(d->EditFloat, Qt::Key_Insert, Qt::ShiftModifier);
            } else {
                QTest::keyClicks(d->EditFloat, text);
            }
            QTest::mouseClick(d->cmdEnsure, Qt::LeftButton);
            stillOpen = d->isVisible() && d->iscancel;
            kept = d->EditFloat->text();
            QTest::keyClick(d->EditFloat, Qt::Key_Escape);
        });
        QVERIFY(stillOpen);
        QCOMPARE(kept, text);
        QCOMPARE(messageTexts(), message);
        QCOMPARE(texts(*m_form), kEntries);
    }

    void typedNonDigitsAreDiscarded()
    {
        QString afterTyping;
        QString afterPasteMenu;
        resetCopies([&](TfrmInputAFloat *d) {
            QTest::keyClick(d->EditFloat, Qt::Key_End);
            QTest::keyClicks(d->EditFloat, "a-+. Z,x");
            QGuiApplication::clipboard()->setText(QStringLiteral("5"));
            QTest::keyClick(d->EditFloat, Qt::Key_V, Qt::ControlModifier); // a control character
            QTest::keyClick(d->EditFloat, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(d->EditFloat, "7");
            afterTyping = d->EditFloat->text();
            d->EditFloat->paste(); // what the edit's context menu does: not filtered
            afterPasteMenu = d->EditFloat->text();
            d->cmdCancel->click();
        });
        QCOMPARE(afterTyping, QStringLiteral("17"));
        QCOMPARE(afterPasteMenu, QStringLiteral("175"));
        QCOMPARE(texts(*m_form), kEntries);
    }

    void cancelLeavesEntries_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("取消") << 0;
        QTest::newRow("Esc") << 1;
        QTest::newRow("close box") << 2;
    }
    void cancelLeavesEntries()
    {
        QFETCH(int, way);
        resetCopies([way](TfrmInputAFloat *d) {
            QTest::keyClicks(d->EditFloat, "5");
            if (way == 0)
                QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
            else if (way == 1)
                QTest::keyClick(d->EditFloat, Qt::Key_Escape);
            else
                d->close();
        });
        QCOMPARE(messageTexts(), QString());
        QCOMPARE(texts(*m_form), kEntries);
    }

    void cancelAfterEmptyingShowsConversionError()
    {
        resetCopies([](TfrmInputAFloat *d) {
            QTest::keyClick(d->EditFloat, Qt::Key_Backspace);
            d->cmdCancel->click();
        });
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, platform::MsgIcon::Error);
        QCOMPARE(shown[0].text, QStringLiteral("'' is not a valid integer value."));
        QCOMPARE(texts(*m_form), kEntries);
    }

    void nothingCheckedChangesNothing()
    {
        m_form->N2->trigger();
        resetCopies([](TfrmInputAFloat *d) {
            QTest::keyClicks(d->EditFloat, "3");
            d->cmdEnsure->click();
        });
        QCOMPARE(texts(*m_form), kEntries);
    }

    void inputAFloatWritesNumberBack()
    {
        std::int32_t number = 42;
        bool sawDialog = false;
        auto watch = whileDialogOpen([](TfrmInputAFloat *d) {
            QCOMPARE(d->EditFloat->text(), QStringLiteral("42"));
            QTest::keyClicks(d->EditFloat, "7"); // replaces the selected text
            d->cmdCancel->click();
        }, &sawDialog);
        QCOMPARE(InputAFloat(QStringLiteral("标题"), QString(), number), false);
        QVERIFY(sawDialog);
        QCOMPARE(number, 7);

        number = -5;
        watch = whileDialogOpen([](TfrmInputAFloat *d) {
            QCOMPARE(d->EditFloat->text(), QStringLiteral("-5"));
            QCOMPARE(d->windowTitle(), QStringLiteral("标题"));
            QTest::keyClicks(d->EditFloat, "8");
            d->cmdEnsure->click();
        }, &sawDialog);
        QCOMPARE(InputAFloat(QStringLiteral("标题"), QString(), number), true);
        QCOMPARE(number, 8);
        QCOMPARE(MessageBox::takeShown().size(), 0);
    }

    void maskIsPassedOn()
    {
        std::int32_t number = 12;
        bool sawDialog = false;
        QString mask;
        const auto watch = whileDialogOpen([&](TfrmInputAFloat *d) {
            mask = d->EditFloat->inputMask();
            d->cmdEnsure->click();
        }, &sawDialog);
        QVERIFY(InputAFloat(QStringLiteral("x"), QStringLiteral("9999"), number));
        QCOMPARE(mask, QStringLiteral("9999"));
        QCOMPARE(number, 12);
    }

    void padLeft_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("padded");
        QTest::newRow("7") << "7" << 4 << "   7";
        QTest::newRow("12345 never cut") << "12345" << 4 << "12345";
        QTest::newRow("empty") << "" << 4 << "    ";
        QTest::newRow("exact") << "9999" << 4 << "9999";
        QTest::newRow("zero width") << "1" << 0 << "1";
    }
    void padLeft()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, padded);
        QCOMPARE(core::PadLeft(text, width), padded);
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestCopiesDialog test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_copiesdialog.moc"
