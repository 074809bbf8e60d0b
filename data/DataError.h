#pragma once

#include "settings/Error.h"

// An error of the database or of the data-access layer. Carries what a caller may need
// besides the message: the SQLSTATE (five characters, empty when unknown), the driver's
// native code and the statement that failed.
class TDataError : public TError {
public:
    explicit TDataError(QString message, QString sqlState = {}, qint64 nativeCode = 0, QString statement = {})
        : TError(std::move(message))
        , m_sqlState(std::move(sqlState))
        , m_nativeCode(nativeCode)
        , m_statement(std::move(statement)) {}

    const QString& SqlState() const noexcept { return m_sqlState; }
    qint64 NativeCode() const noexcept { return m_nativeCode; }
    const QString& Statement() const noexcept { return m_statement; }
    QString ClassName() const override { return QStringLiteral("TDataError"); }

private:
    QString m_sqlState;
    qint64 m_nativeCode;
    QString m_statement;
};

// The statement was stopped on request (TConnection::Cancel or TQuery::Cancel).
class TCancelledError : public TDataError {
public:
    explicit TCancelledError(QString statement = {})
        : TDataError(QStringLiteral("Die Ausführung wurde abgebrochen"), QStringLiteral("57014"), 0,
                     std::move(statement)) {}
    QString ClassName() const override { return QStringLiteral("TCancelledError"); }
};
