#include "platform/messagebox.h"
#include "platform/application.h"

#include <QMessageBox>
#include <QPushButton>
#include <deque>

namespace platform {

namespace {

struct AnsweringState {
    bool enabled = false;
    std::deque<MsgButton> answers;
    QList<MessageBoxRequest> shown;
    std::function<void(const MessageBoxRequest &)> onShow;
};

AnsweringState &answering()
{
    static AnsweringState state;
    return state;
}

QMessageBox::StandardButton toStandard(MsgButton b)
{
    switch (b) {
    case MsgButton::Ok: return QMessageBox::Ok;
    case MsgButton::Yes: return QMessageBox::Yes;
    case MsgButton::No: return QMessageBox::No;
    case MsgButton::Closed: break;
    }
    return QMessageBox::NoButton;
}

MsgButton showReal(const MessageBoxRequest &request)
{
    // No parent: the box is application-modal and appears even while the main window is hidden.
    QMessageBox box;
    box.setWindowTitle(request.caption);
    // Lines may be separated by lone carriage returns, which a Qt label does not break at.
    box.setText(QString(request.text).replace(u'\r', u'\n'));
    switch (request.icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    }
    QMessageBox::StandardButtons buttons;
    for (MsgButton b : request.buttons)
        buttons |= toStandard(b);
    box.setStandardButtons(buttons);
    box.setDefaultButton(toStandard(request.defaultButton));
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    if (!clicked)
        return MsgButton::Closed;
    switch (box.standardButton(clicked)) {
    case QMessageBox::Yes: return MsgButton::Yes;
    case QMessageBox::No: return MsgButton::No;
    case QMessageBox::Ok: return MsgButton::Ok;
    default: return MsgButton::Closed;
    }
}

} // namespace

MsgButton MessageBox::show(const MessageBoxRequest &request)
{
    AnsweringState &state = answering();
    if (!state.enabled)
        return showReal(request);
    state.shown.append(request);
    if (state.onShow)
        state.onShow(request);
    if (state.answers.empty())
        return request.defaultButton;
    const MsgButton answer = state.answers.front();
    state.answers.pop_front();
    return answer;
}

void MessageBox::showMessage(const QString &text)
{
    show({MsgIcon::None, applicationTitle(), text, {MsgButton::Ok}, MsgButton::Ok});
}

void MessageBox::showError(const QString &text)
{
    show({MsgIcon::Error, applicationTitle(), text, {MsgButton::Ok}, MsgButton::Ok});
}

MsgButton MessageBox::warningYesNo(const QString &text)
{
    return show({MsgIcon::Warning, QStringLiteral("Warning"), text,
                 {MsgButton::Yes, MsgButton::No}, MsgButton::Yes});
}

void MessageBox::setAnsweringMode(bool enabled)
{
    AnsweringState &state = answering();
    state = AnsweringState{};
    state.enabled = enabled;
}

void MessageBox::setNextAnswer(MsgButton answer)
{
    answering().answers.push_back(answer);
}

QList<MessageBoxRequest> MessageBox::takeShown()
{
    return std::exchange(answering().shown, {});
}

void MessageBox::setOnShow(std::function<void(const MessageBoxRequest &)> hook)
{
    answering().onShow = std::move(hook);
}

} // namespace platform
