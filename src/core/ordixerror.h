#pragma once

#include <exception>

#include <QByteArray>
#include <QString>

// The one exception type of the program's logic. Action handlers catch it (and
// any std::exception) at their boundary and hand the text to the error report.
class OrdixError : public std::exception
{
public:
    explicit OrdixError(const QString &message)
        : m_message(message)
        , m_utf8(message.toUtf8())
    { }

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
