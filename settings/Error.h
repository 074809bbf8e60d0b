#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// An error the user may see: it carries a German message. The application's one error
// handler shows every TError that no caller handled.
class TError : public std::exception {
public:
    explicit TError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }
    // The kind of error, shown where a message names it ("SQL-Fehler: <kind> <message>").
    virtual QString ClassName() const { return QStringLiteral("TError"); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The user abandoned a command in a follow-up question. Never shown; nothing was changed.
class TAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Abort"; }
};
