#include "core/errors.h"
#include "gui/uMain.h"
#include "platform/application.h"
#include "platform/messagebox.h"

#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace gui;
using platform::MessageBox;

namespace {

// A window shown the way the program shows it, with its first activation done.
std::unique_ptr<TfrmMain> shownWindow()
{
    auto form = std::make_unique<TfrmMain>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("window not exposed");
    QTest::qWait(10);
    return form;
}

QList<bool> checkStates(const TfrmMain &form)
{
    QList<bool> states;
    for (int i = 0; i < form.ListFiles->entryCount(); ++i)
        states << form.ListFiles->isChecked(i);
    return states;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_tmp;

private slots:
    void initTestCase()
    {
        // No hand-off files: an empty private temporary directory.
        QVERIFY(m_tmp.isValid());
        qputenv("TMPDIR", m_tmp.path().toLocal8Bit());
    }
    void init() { MessageBox::setAnsweringMode(true); }
    void cleanup()
    {
        QCOMPARE(MessageBox::takeShown().size(), 0);
        MessageBox::setAnsweringMode(false);
    }

    void startsWithDefaults()
    {
        auto form = shownWindow();
        QCOMPARE(form->windowTitle(), QStringLiteral("连续打印"));
        QCOMPARE(form->size(), QSize(643, 467));
        QCOMPARE(form->IsFirstAct, false);
        QCOMPARE(form->HasPrint, false);
        QCOMPARE(form->DocPath, QString());
        QCOMPARE(form->TmpFilePath, QDir(m_tmp.path()).canonicalPath() + "/");
        QCOMPARE(form->DefaultPageWidth, 210);
        QCOMPARE(form->DefaultPageHeight, 297);
        QCOMPARE(form->ListFiles->entryCount(), 0);
        QCOMPARE(form->EditSouPath->text(), QString());
        QVERIFY(form->EditSouPath->isReadOnly());
        QVERIFY(!form->TimerAutoPrint->isActive());
        QCOMPARE(form->TimerAutoPrint->interval(), 200);
        QCOMPARE(form->cmdPrint->Tag, 0);
        QCOMPARE(QApplication::focusWidget(), form->ListFiles);

        const QRect screen = form->screen()->geometry();
        QCOMPARE(form->frameGeometry().center().x() - screen.center().x(), 0);
        QVERIFY(qAbs(form->frameGeometry().center().y() - screen.center().y()) <= 1);
    }

    void layout()
    {
        auto form = shownWindow();
        QCOMPARE(form->Panel1->geometry(), QRect(0, 0, 643, 49));
        QCOMPARE(form->Panel2->geometry(), QRect(0, 49, 643, 44));
        QCOMPARE(form->ListFiles->geometry(), QRect(0, 93, 643, 374));
        QCOMPARE(form->cmdPrint->geometry(), QRect(547, 9, 81, 33));
        QCOMPARE(form->Button3->geometry(), QRect(547, 7, 81, 33));
        QCOMPARE(form->EditSouPath->geometry(), QRect(72, 10, 469, 23));
        QCOMPARE(form->Label1->geometry(), QRect(16, 2, 43, 39));
        QCOMPARE(form->Label1->text(), QStringLiteral(" < "));
        QCOMPARE(form->Label3->text(), QStringLiteral("Orvenna-文书批量打印"));
        QCOMPARE(form->Label2->text(), QStringLiteral("文档源目录"));
        QCOMPARE(form->cmdPrint->text(), QStringLiteral("连续打印"));
        QCOMPARE(form->Button3->text(), QStringLiteral("选择操作"));
        QCOMPARE(form->font().family(), QStringLiteral("宋体"));
        QCOMPARE(form->font().pixelSize(), 12);
        QCOMPARE(form->Label1->font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(form->Label1->font().pixelSize(), 32);
        QCOMPARE(form->Label3->font().pixelSize(), 17);
        QCOMPARE(form->ListFiles->font().pixelSize(), 15);
        QCOMPARE(form->EditSouPath->font().pixelSize(), 15);
        QCOMPARE(form->Label2->font().pixelSize(), 12);

        // Tab order: list, then cmdPrint, then EditSouPath, then Button3.
        QList<QWidget *> order;
        QWidget *w = form->ListFiles;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && !w->focusProxy())
                order << w;
            w = w->nextInFocusChain();
        } while (w != form->ListFiles);
        QCOMPARE(order, QList<QWidget *>({form->ListFiles, form->cmdPrint, form->EditSouPath, form->Button3}));

        form->resize(900, 600);
        QCOMPARE(form->cmdPrint->geometry(), QRect(900 - 96, 9, 81, 33));
        QCOMPARE(form->Button3->geometry(), QRect(900 - 96, 7, 81, 33));
        QCOMPARE(form->EditSouPath->geometry(), QRect(72, 10, 469 + 257, 23));
        QCOMPARE(form->ListFiles->geometry(), QRect(0, 93, 900, 600 - 93));
    }

    void popupMenu()
    {
        auto form = shownWindow();
        QStringList captions;
        for (QAction *a : form->PopupMenu1->actions())
            captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(captions, QStringList({"全选", "全不选", "反选", "-", "重置打印份数"}));
        QVERIFY(form->N4->isSeparator());
        for (QAction *a : form->PopupMenu1->actions())
            QVERIFY(a->shortcut().isEmpty());

        form->move(100, 80);
        QTest::mouseClick(form->Button3, Qt::LeftButton);
        QTRY_VERIFY(form->PopupMenu1->isVisible());
        QCOMPARE(form->PopupMenu1->pos(),
                 QPoint(form->Left() + form->Button3->x(), form->Top() + 2 * 49));
        form->PopupMenu1->hide();
    }

    void selectionCommands()
    {
        auto form = shownWindow();
        // Empty list: nothing happens, no error.
        form->N1->trigger();
        form->N2->trigger();
        form->N3->trigger();
        QCOMPARE(form->ListFiles->entryCount(), 0);

        for (const char *e : {"   1  a.doc", "   2  b.xls", "   3  c.jpg"})
            form->ListFiles->appendEntry(QString::fromLatin1(e), true);
        form->ListFiles->setCurrentRow(1);
        form->ListFiles->setChecked(1, false);

        form->N3->trigger();
        QCOMPARE(checkStates(*form), QList<bool>({false, true, false}));
        form->N3->trigger();
        QCOMPARE(checkStates(*form), QList<bool>({true, false, true}));
        form->N1->trigger();
        QCOMPARE(checkStates(*form), QList<bool>({true, true, true}));
        form->N2->trigger();
        QCOMPARE(checkStates(*form), QList<bool>({false, false, false}));
        QCOMPARE(form->ListFiles->currentRow(), 1);
        QCOMPARE(form->ListFiles->entryText(2), QStringLiteral("   3  c.jpg"));
    }

    void spaceTogglesSelectedEntry()
    {
        auto form = shownWindow();
        form->ListFiles->appendEntry(QStringLiteral("   1  a.doc"), true);
        form->ListFiles->setCurrentRow(0);
        QTest::keyClick(form->ListFiles, Qt::Key_Space);
        QCOMPARE(form->ListFiles->isChecked(0), false);
    }

    void closeWays_data()
    {
        QTest::addColumn<bool>("byLabel");
        QTest::newRow("label") << true;
        QTest::newRow("close box") << false;
    }
    void closeWays()
    {
        QFETCH(bool, byLabel);
        QPointer<TfrmMain> form = shownWindow().release();
        if (byLabel)
            QTest::mouseClick(form->Label1, Qt::LeftButton);
        else
            form->close(); // what the close box and Alt+F4 ask for
        QTRY_VERIFY(form.isNull()); // freed: the program's end (see main.cpp)
    }

    void escapedErrorGoesToDefaultHandler()
    {
        auto form = shownWindow();
        form->ListFiles->appendEntry(QStringLiteral("x"), true);
        // A handler that throws, bound the way the window binds its own.
        QObject::connect(form->N1, &QAction::triggered, form.get(),
                         [] { platform::guarded([] { throw core::ConvertError(QStringLiteral("ab")); }); });
        form->N1->trigger();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].caption, QStringLiteral("Tst_mainwindow"));
        QCOMPARE(shown[0].icon, platform::MsgIcon::Error);
        QCOMPARE(shown[0].text, QStringLiteral("'ab' is not a valid integer value."));
        // The window is still usable: the real handler ran too.
        QCOMPARE(form->ListFiles->isChecked(0), true);
        QVERIFY(form->isVisible());
    }

    void errorInEventIsCaughtByApplication()
    {
        // Anything thrown inside event delivery ends in the default handler, not in terminate().
        struct Thrower : QObject {
            bool event(QEvent *e) override
            {
                if (e->type() == QEvent::User)
                    throw core::Error(QStringLiteral("boom"));
                return QObject::event(e);
            }
        } thrower;
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("boom."));
    }
};

int main(int argc, char **argv)
{
    platform::Application app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainwindow.moc"
