#pragma once

#include "settings/Error.h"

// An error of the database or of the data-access layer. Carries what a caller may need
// besides the message: the SQLSTATE (five characters, empty when unknown), the driver's
// native code, the statement that failed and, where the database says so, the place in that
// statement where it failed (in UTF-16 code units from the statement's start, -1 unknown).
class TDataError : public TError {
public:
    explicit TDataError(QString message, QString sqlState = {}, qint64 nativeCode = 0, QString statement = {},
                        qsizetype position = -1)
        : TError(std::move(message))
        , m_sqlState(std::move(sqlState))
        , m_nativeCode(nativeCode)
        , m_statement(std::move(statement))
        , m_position(position) {}

    const QString& SqlState() const noexcept { return m_sqlState; }
    qint64 NativeCode() const noexcept { return m_nativeCode; }
    const QString& Statement() const noexcept { return m_statement; }
    qsizetype Position() const noexcept { return m_position; }
    QString ClassName() const override { return QStringLiteral("TDataError"); }

private:
    QString m_sqlState;
    qint64 m_nativeCode;
    QString m_statement;
    qsizetype m_position;
};

// The statement was stopped on request (TConnection::Cancel or TQuery::Cancel).
class TCancelledError : public TDataError {
public:
    explicit TCancelledError(QString statement = {})
        : TDataError(QStringLiteral("Die Ausführung wurde abgebrochen"), QStringLiteral("57014"), 0,
                     std::move(statement)) {}
    QString ClassName() const override { return QStringLiteral("TCancelledError"); }
};

// Memory or the folder of the temporary result file ran out. A fetch that meets it stops as
// a cancel does: the rows read so far stay.
class TResourceError : public TDataError {
public:
    enum TKind { Memory, Disk };
    TResourceError(TKind kind, QString message)
        : TDataError(std::move(message), kind == Memory ? QStringLiteral("HY001") : QStringLiteral("HY000"))
        , m_kind(kind) {}
    static TResourceError OutOfMemory() {
        return TResourceError(Memory, QStringLiteral("Nicht genug Arbeitsspeicher"));
    }
    static TResourceError OutOfSpace(const QString& folder) {
        return TResourceError(Disk, QStringLiteral("Kein Platz für Zwischendaten in %1").arg(folder));
    }
    TKind Kind() const noexcept { return m_kind; }
    QString ClassName() const override { return QStringLiteral("TResourceError"); }

private:
    TKind m_kind;
};
