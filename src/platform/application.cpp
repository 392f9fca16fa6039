#include "platform/application.h"
#include "core/errors.h"
#include "platform/messagebox.h"

#include <QFileInfo>

namespace platform {

QString applicationTitleFromPath(const QString &executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    return name.left(1).toUpper() + name.mid(1).toLower();
}

QString applicationTitle()
{
    return applicationTitleFromPath(QCoreApplication::applicationFilePath());
}

QString defaultHandlerText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void handleException(std::exception_ptr error)
{
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const core::Error &e) {
        message = e.message();
    } catch (const std::exception &e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    MessageBox::showError(defaultHandlerText(message));
}

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        handleException(std::current_exception());
        return false;
    }
}

} // namespace platform
