#pragma once
// The application object: Qt's message loop plus the default exception handler that every
// event handler's escaping exception ends up in.

#include <QApplication>
#include <exception>
#include <utility>

namespace platform {

// The executable's file name without directory and without everything from its first ".";
// first character upper-cased, the rest lower-cased.
QString applicationTitleFromPath(const QString &executablePath);
QString applicationTitle();

// The exception's message, with "." appended when its last character's code is above '.'.
QString defaultHandlerText(const QString &message);

// Shows the escaped exception in the default handler's box and returns.
void handleException(std::exception_ptr error);

// Runs an event handler so that whatever it throws goes to the default handler.
template <typename Handler>
void guarded(Handler &&handler)
{
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        handleException(std::current_exception());
    }
}

class Application : public QApplication {
public:
    Application(int &argc, char **argv);
    // Last line of defence: nothing thrown inside event delivery may end the program.
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace platform
