#include "gui/uInputAFloat.h"

#include "core/intconv.h"
#include "platform/application.h"
#include "platform/messagebox.h"

#include <QKeyEvent>
#include <memory>

namespace gui {

using platform::guarded;

TfrmInputAFloat::TfrmInputAFloat(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmInputAFloat"));
    setWindowTitle(QStringLiteral("输入新的打印份数"));
    setFixedSize(DesignClientWidth, DesignClientHeight);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    QFont songTi(QStringLiteral("宋体"));
    songTi.setPixelSize(12);
    setFont(songTi);

    Label1 = new QLabel(QStringLiteral("输入新的打印份数："), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 16, 108, 12);

    EditFloat = new QLineEdit(this);
    EditFloat->setObjectName(QStringLiteral("EditFloat"));
    EditFloat->setGeometry(16, 40, 449, 20);
    EditFloat->installEventFilter(this);

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setGeometry(0, DesignClientHeight - 41, DesignClientWidth, 41);

    cmdEnsure = new QPushButton(QStringLiteral("确认"), Panel2);
    cmdEnsure->setObjectName(QStringLiteral("cmdEnsure"));
    cmdEnsure->setGeometry(128, 9, 72, 22);
    cmdEnsure->setDefault(true);

    cmdCancel = new QPushButton(QStringLiteral("取消"), Panel2);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(240, 9, 72, 22);
    cmdCancel->setAutoDefault(false);

    setTabOrder(EditFloat, cmdEnsure);
    setTabOrder(cmdEnsure, cmdCancel);

    connect(cmdEnsure, &QPushButton::clicked, this, [this] { guarded([&] { cmdEnsureClick(cmdEnsure); }); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { guarded([&] { cmdCancelClick(cmdCancel); }); });

    FormCreate(this);
}

void TfrmInputAFloat::FormCreate(QObject *)
{
    iscancel = true;
}

void TfrmInputAFloat::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    activateWindow();
    EditFloat->setFocus(Qt::OtherFocusReason);
    EditFloat->selectAll();
}

void TfrmInputAFloat::cmdEnsureClick(QObject *)
{
    if (EditFloat->text().isEmpty())
        EditFloat->setText(QStringLiteral("1"));
    const std::int32_t number = core::StrToInt(EditFloat->text());
    if (number < 0) {
        platform::MessageBox::showMessage(QStringLiteral("请输入正确的打印份数！"));
    } else if (number > 9999) {
        platform::MessageBox::showMessage(QStringLiteral("最大打印份数不能超过9999份"));
    } else {
        iscancel = false;
        close();
    }
}

void TfrmInputAFloat::cmdCancelClick(QObject *)
{
    close();
}

void TfrmInputAFloat::EditFloatKeyPress(QObject *, QChar &Key)
{
    const bool digit = Key >= u'0' && Key <= u'9';
    if (!digit && Key != QChar(8))
        Key = QChar(0);
}

QChar typedCharacter(const QKeyEvent &event)
{
    const int key = event.key();
    const Qt::KeyboardModifiers mods = event.modifiers();
    if (key == Qt::Key_Backspace)
        return QChar(8);
    // Ctrl with a letter or one of @[\]^_ types the matching control character.
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_At && key <= Qt::Key_Underscore)
        return QChar(key - Qt::Key_At);
    const QString text = event.text();
    if (text.isEmpty())
        return QChar(0);
    return text.front();
}

bool TfrmInputAFloat::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != EditFloat || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto *keyEvent = static_cast<QKeyEvent *>(event);
    switch (keyEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return false; // the dialog's keys: default button, cancel button, focus
    default:
        break;
    }
    QChar key = typedCharacter(*keyEvent);
    if (key.isNull())
        return false; // types nothing: navigation, Delete, Shift+Insert paste
    EditFloatKeyPress(EditFloat, key);
    return key.isNull(); // discarded characters never reach the edit
}

void TfrmInputAFloat::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool InputAFloat(const QString &caption, const QString &mask, std::int32_t &number)
{
    const auto dialog = std::make_unique<TfrmInputAFloat>();
    dialog->setWindowTitle(caption);
    dialog->Label1->setText(caption);
    dialog->EditFloat->setInputMask(mask);
    dialog->EditFloat->setText(QString::number(number));
    dialog->exec();
    const bool accepted = !dialog->iscancel;
    number = core::StrToInt(dialog->EditFloat->text());
    return accepted;
}

} // namespace gui
