#pragma once
// Every message box of the program goes through here. The program shows real QMessageBoxes;
// tests switch to answering mode, where boxes are recorded and answered without a modal loop.

#include <QList>
#include <QString>
#include <functional>

namespace platform {

enum class MsgIcon { None, Warning, Error };
enum class MsgButton { Ok, Yes, No, Closed };

struct MessageBoxRequest {
    MsgIcon icon = MsgIcon::None;
    QString caption;
    QString text;
    QList<MsgButton> buttons;
    MsgButton defaultButton = MsgButton::Ok;
};

class MessageBox {
public:
    static MsgButton show(const MessageBoxRequest &request);

    // A plain box: no icon, OK, the application title as caption.
    static void showMessage(const QString &text);
    // The default exception handler's box: error icon, OK, the application title as caption.
    static void showError(const QString &text);
    // The warning question: title "Warning", Yes and No, Yes the default.
    static MsgButton warningYesNo(const QString &text);

    // Answering mode for tests: each box is recorded and answered with the next queued
    // answer, or with its default button when the queue is empty.
    static void setAnsweringMode(bool enabled);
    static void setNextAnswer(MsgButton answer);
    static QList<MessageBoxRequest> takeShown();
    // Runs while a box is "open" in answering mode, as a user's actions during a real box would.
    static void setOnShow(std::function<void(const MessageBoxRequest &)> hook);
};

} // namespace platform
