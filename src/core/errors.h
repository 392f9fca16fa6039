#pragma once
// Errors travel as exceptions carrying the user-visible message text.

#include <QByteArray>
#include <QString>
#include <exception>

namespace core {

class Error : public std::exception {
public:
    explicit Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// "'%s' is not a valid integer value"
class ConvertError : public Error {
public:
    explicit ConvertError(const QString &text)
        : Error(QStringLiteral("'%1' is not a valid integer value").arg(text)) {}
};

} // namespace core
