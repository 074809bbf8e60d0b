#include "data/odbc/OdbcSession.h"

#include "data/DataError.h"
#include "data/Identifiers.h"
#include "data/odbc/OdbcBatch.h"
#include "data/odbc/OdbcConnectString.h"
#include "data/odbc/OdbcCursor.h"
#include "data/odbc/OdbcParameters.h"

#include <vector>

TOdbcSession::TOdbcSession(const TConnectionString& connection, const TConnectOptions& options) {
    const SQLHENV env = OdbcEnvironment();
    OdbcCheck(SQLAllocHandle(SQL_HANDLE_DBC, env, &m_dbc), SQL_HANDLE_ENV, env);
    const SQLULEN timeout = SQLULEN(std::max(options.ConnectTimeout, 0));
    SQLSetConnectAttr(m_dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);
    SQLSetConnectAttr(m_dbc, SQL_ATTR_CONNECTION_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);

    const QString text = OdbcDriverConnectString(connection);
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(m_dbc, nullptr, OdbcWide(text), SQLSMALLINT(text.size()), out,
                                           SQLSMALLINT(std::size(out)), &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        const TOdbcDiagnostic d = OdbcDiagnostic(SQL_HANDLE_DBC, m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        m_dbc = SQL_NULL_HDBC;
        if (d.SqlState == QLatin1String("IM002") || d.SqlState == QLatin1String("01000"))
            throw TDataError(QStringLiteral("ODBC-Datenquelle oder -Treiber nicht gefunden (%1)")
                                 .arg(d.Message.isEmpty() ? text : d.Message),
                             d.SqlState, d.NativeCode);
        throw TDataError(d.Message.isEmpty()
                             ? QStringLiteral("Die ODBC-Verbindung konnte nicht geöffnet werden")
                             : d.Message,
                         d.SqlState, d.NativeCode);
    }
    m_connected = true;

    SQLWCHAR info[256];
    SQLSMALLINT length = 0;
    auto infoText = [&](SQLUSMALLINT what) -> QString {
        if (!SQL_SUCCEEDED(SQLGetInfoW(m_dbc, what, info, sizeof info, &length)))
            return {};
        return OdbcString(info, std::min<qsizetype>(length / 2, std::size(info) - 1));
    };
    m_traits.DbmsName = infoText(SQL_DBMS_NAME);
    m_traits.MultipleResults = infoText(SQL_MULT_RESULT_SETS) == QLatin1String("Y");
    const QString quote = infoText(SQL_IDENTIFIER_QUOTE_CHAR).trimmed();
    m_traits.QuoteChar = quote;
    SQLUSMALLINT identifierCase = 0;
    if (SQL_SUCCEEDED(
            SQLGetInfoW(m_dbc, SQL_IDENTIFIER_CASE, &identifierCase, sizeof identifierCase, nullptr)))
        m_traits.IdentifierCase = identifierCase == SQL_IC_UPPER   ? TIdentifierCase::Upper
                                  : identifierCase == SQL_IC_LOWER ? TIdentifierCase::Lower
                                                                   : TIdentifierCase::Insensitive;
    m_traits.Keywords = SqlReservedWords();
    std::vector<SQLWCHAR> keywords(16384);
    SQLSMALLINT keywordsLength = 0;
    if (SQL_SUCCEEDED(SQLGetInfoW(m_dbc, SQL_KEYWORDS, keywords.data(), SQLSMALLINT(keywords.size() * 2 - 2),
                                  &keywordsLength)))
        for (const QString& word :
             OdbcString(keywords.data(),
                        std::min<qsizetype>(keywordsLength / 2, qsizetype(keywords.size()) - 1))
                 .split(u',', Qt::SkipEmptyParts))
            m_traits.Keywords.insert(word.trimmed().toUpper());
    m_traits.DatesAsText = m_traits.DbmsName.contains(QLatin1String("SQLite"), Qt::CaseInsensitive);
    m_traits.Postgres = m_traits.DbmsName.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive);
    // MariaDB has zero dates ("2024-00-00", "0000-00-00 00:00:00"), which no date struct holds.
    m_traits.DatesBeyondCalendar =
        m_traits.Postgres || m_traits.DbmsName.contains(QLatin1String("MariaDB"), Qt::CaseInsensitive) ||
        m_traits.DbmsName.contains(QLatin1String("MySQL"), Qt::CaseInsensitive);
    m_traits.InterruptsConnection = m_traits.DatesAsText;
    m_traits.Interleaves = m_traits.DatesAsText;
    m_traits.Catalogs = infoText(SQL_CATALOG_NAME) == QLatin1String("Y");
    SQLUINTEGER schemaUsage = 0;
    m_traits.Schemas =
        SQL_SUCCEEDED(SQLGetInfoW(m_dbc, SQL_SCHEMA_USAGE, &schemaUsage, sizeof schemaUsage, nullptr)) &&
        schemaUsage != 0;
    m_traits.SearchEscape = infoText(SQL_SEARCH_PATTERN_ESCAPE);
    m_traits.IdentifiersArePatterns = m_traits.DatesAsText;
    m_traits.Text = TextMode();
    if (m_traits.InterruptsConnection)
        m_interrupter = std::make_unique<TOdbcStatement>(m_dbc);
}

TOdbcText TOdbcSession::TextMode() {
    const std::optional<bool> wide = OdbcDriverHasWideCalls(m_dbc);
    if (wide == false) {
        // The SQLite3 driver speaks UTF-8, as SQLite 3 does; of others the encoding is unknown.
        SQLCHAR version[64] = {};
        SQLGetInfo(m_dbc, SQL_DBMS_VER, version, sizeof version, nullptr);
        return m_traits.DatesAsText && version[0] == '3' ? TOdbcText::Utf8 : TOdbcText::Ascii;
    }
    if (!m_traits.DbmsName.contains(QLatin1String("MariaDB"), Qt::CaseInsensitive) &&
        !m_traits.DbmsName.contains(QLatin1String("MySQL"), Qt::CaseInsensitive))
        return TOdbcText::Wide;
    // The MariaDB driver reports fewer UTF-16 units than a value has, and reads more from a
    // parameter, for characters such as Ú; values of its narrow C type pass the connection's
    // character set through, which is UTF-8 unless the user chose another.
    m_traits.MiscountsWideValues = true;
    TOdbcStatement st(m_dbc);
    const QString sql = QStringLiteral("SELECT @@character_set_client, @@character_set_results");
    if (!SQL_SUCCEEDED(SQLExecDirectW(st.Handle(), OdbcWide(sql), SQL_NTS)) || !st.Fetch())
        return TOdbcText::Wide;
    const bool utf8 = st.Text(1).toString().startsWith(QLatin1String("utf8")) &&
                      st.Text(2).toString().startsWith(QLatin1String("utf8"));
    return utf8 ? TOdbcText::Utf8Values : TOdbcText::Wide;
}

TOdbcSession::~TOdbcSession() {
    m_interrupter.reset(); // statements go before their connection
    if (m_connected)
        SQLDisconnect(m_dbc);
    if (m_dbc != SQL_NULL_HDBC)
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
}

QString TOdbcSession::QuoteIdentifier(const QString& name) const {
    const QString& q = m_traits.QuoteChar;
    if (q.isEmpty())
        return name;
    if (q == QLatin1String("["))
        return u'[' + QString(name).replace(QLatin1String("]"), QLatin1String("]]")) + u']';
    return q + QString(name).replace(q, q + q) + q;
}

bool TOdbcSession::NeedsQuotes(const QString& name) const {
    return IdentifierNeedsQuotes(name, m_traits.IdentifierCase, m_traits.Keywords);
}

std::unique_ptr<TOdbcStatement> TOdbcSession::NewStatement() {
    auto statement = std::make_unique<TOdbcStatement>(m_dbc, m_traits.Text);
    const int timeout = m_commandTimeout.load();
    if (timeout > 0)
        SQLSetStmtAttr(statement->Handle(), SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(SQLULEN(timeout)), 0);
    return statement;
}

SQLRETURN TOdbcSession::Run(TOdbcStatement& statement, const std::function<SQLRETURN()>& call, bool fetch) {
    {
        std::lock_guard lock(m_activeMutex);
        m_active = fetch && !m_traits.InterruptsConnection ? SQL_NULL_HSTMT : statement.Handle();
        m_cancelled = false;
    }
    struct TIdle {
        TOdbcSession& Session;
        ~TIdle() {
            std::lock_guard lock(Session.m_activeMutex);
            Session.m_active = SQL_NULL_HSTMT;
        }
    };
    SQLRETURN rc = SQL_ERROR;
    {
        // A text the driver cannot take throws before the call.
        const TIdle idle{*this};
        rc = call();
    }
    std::lock_guard lock(m_activeMutex);
    // Some drivers lose the diagnostics of a cancelled call, so the request itself tells.
    // A cancelled fetch may also look like the end of the rows.
    if (m_cancelled && !SQL_SUCCEEDED(rc))
        throw TCancelledError();
    return rc;
}

void TOdbcSession::Cancel() {
    ++m_cancelCount;
    std::lock_guard lock(m_activeMutex);
    if (m_active != SQL_NULL_HSTMT) {
        m_cancelled = true;
        SQLCancel(m_interrupter ? m_interrupter->Handle() : m_active);
    }
}

void TOdbcSession::CancelStatement(const TStatement& statement) {
    std::lock_guard lock(m_activeMutex);
    if (m_active == SQL_NULL_HSTMT || !statement.Stop || m_opening != statement.Stop)
        return;
    if (m_interrupter && m_calls->OpenCursors.load() > 0)
        return; // the interrupt would end the other fetches of the connection as well
    m_cancelled = true;
    SQLCancel(m_interrupter ? m_interrupter->Handle() : m_active);
}

void TOdbcSession::InterruptFetch(const bool& cursorOpen) {
    std::lock_guard lock(m_activeMutex);
    // Only while the cancelled cursor is the one statement of the connection still stepping:
    // a cursor that has just closed itself would leave another fetch to the interrupt.
    std::lock_guard count(m_calls->CountMutex);
    if (m_interrupter && m_active == SQL_NULL_HSTMT && cursorOpen && m_calls->OpenCursors.load() == 1)
        SQLCancel(m_interrupter->Handle());
}

SQLRETURN TOdbcSession::ExecDirect(SQLHSTMT h, const QString& sql) const {
    return OdbcTextCall(m_traits.Text, [&](auto api, auto& s) { return api.ExecDirect(h, s(sql), SQL_NTS); });
}

qint64 TOdbcSession::ExecuteOne(const QString& sql, const QVariantList& values) {
    std::unique_ptr<TOdbcStatement> statement = NewStatement();
    const TOdbcParameters parameters(values, m_traits.Text, m_traits.MiscountsWideValues);
    parameters.Bind(*statement, sql);
    const SQLHSTMT h = statement->Handle();
    SQLRETURN rc = Run(*statement, [&] { return ExecDirect(h, sql); });
    statement->Check(rc, sql);
    if (rc == SQL_NO_DATA)
        return OdbcChangesRows(sql) ? 0 : -1; // a searched UPDATE or DELETE that found no row

    // Drivers report 0 rows for statements that change none by nature (DDL); those count as
    // reporting nothing.
    const QStringList parts = OdbcSplitStatements(sql);
    const bool changesRows = std::any_of(parts.cbegin(), parts.cend(), OdbcChangesRows);
    qint64 total = -1;
    for (;;) {
        SQLSMALLINT columns = 0;
        statement->Check(SQLNumResultCols(h, &columns), sql);
        if (columns == 0) {
            SQLLEN count = -1;
            if (SQL_SUCCEEDED(SQLRowCount(h, &count)) && (count > 0 || (count == 0 && changesRows)))
                total = std::max<qint64>(total, 0) + count;
        }
        rc = Run(*statement, [&] { return SQLMoreResults(h); });
        if (rc == SQL_NO_DATA)
            break;
        statement->Check(rc, sql);
    }
    return total;
}

namespace {

// The "?" markers of a statement, to hand each statement of a batch its own values.
int CountMarkers(const QString& sql) {
    int count = 0;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = sql.indexOf(c, i + 1);
            i = end < 0 ? sql.size() : end;
        } else if (c == u'-' && i + 1 < sql.size() && sql[i + 1] == u'-') {
            while (i < sql.size() && sql[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < sql.size() && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? sql.size() : end + 1;
        } else if (c == u'?') {
            ++count;
        }
    }
    return count;
}

} // namespace

qint64 TOdbcSession::Execute(const TStatement& statement) {
    TOdbcOperationLock calls(*m_calls);
    const QStringList parts = OdbcSplitStatements(statement.Sql);
    // One statement goes without the semicolon and comments after it, which some drivers
    // take for a second statement.
    if (parts.size() == 1)
        return ExecuteOne(parts.first(), statement.Values);
    if (parts.isEmpty() || m_traits.MultipleResults)
        return ExecuteOne(statement.Sql, statement.Values);

    // The driver takes one statement at a time: run them in turn, each with its own values.
    qint64 total = -1;
    qsizetype used = 0;
    const quint64 cancels = m_cancelCount.load();
    for (int i = 0; i < parts.size(); ++i) {
        // A cancel between two statements stops the rest.
        if (m_cancelCount.load() != cancels)
            throw TCancelledError(parts[i]);
        const int markers = CountMarkers(parts[i]);
        const QVariantList values = statement.Values.mid(used, markers);
        used += markers;
        qint64 count = 0;
        try {
            count = ExecuteOne(parts[i], values);
        } catch (const TCancelledError&) {
            throw;
        } catch (const TDataError& e) {
            QString message = e.Message();
            if (i > 0)
                message += QStringLiteral("\n(Anweisung %1 von %2; die Anweisungen davor wurden ausgeführt)")
                               .arg(i + 1)
                               .arg(parts.size());
            throw TDataError(message, e.SqlState(), e.NativeCode(), parts[i]);
        }
        if (count >= 0)
            total = std::max<qint64>(total, 0) + count;
    }
    return total;
}

std::unique_ptr<TProviderCursor> TOdbcSession::OpenCursor(const TStatement& statement) {
    TOdbcOperationLock calls(*m_calls);
    {
        std::lock_guard lock(m_activeMutex);
        m_opening = statement.Stop;
    }
    struct TOpeningReset {
        TOdbcSession& Session;
        ~TOpeningReset() {
            std::lock_guard lock(Session.m_activeMutex);
            Session.m_opening = nullptr;
        }
    } openingReset{*this};
    auto stopped = [&statement] {
        return statement.Stop && statement.Stop->load();
    };
    QString sql = statement.Sql;
    QVariantList values = statement.Values;
    const QStringList parts = OdbcSplitStatements(sql);
    if (parts.size() == 1)
        sql = parts.first();
    if (parts.size() > 1) {
        // The statements before the last run to completion; the cursor reads the last one.
        sql = parts.last();
        const int markers = std::min<int>(CountMarkers(sql), int(values.size()));
        const QVariantList last = values.mid(values.size() - markers);
        values.resize(values.size() - markers);
        const quint64 cancels = m_cancelCount.load();
        Execute({parts.mid(0, parts.size() - 1).join(QLatin1String(";\n")), values});
        if (m_cancelCount.load() != cancels || stopped())
            throw TCancelledError(sql);
        values = last;
    }

    if (stopped())
        throw TCancelledError(sql);
    std::unique_ptr<TOdbcStatement> st = NewStatement();
    const TOdbcParameters parameters(values, m_traits.Text, m_traits.MiscountsWideValues);
    parameters.Bind(*st, sql);
    const SQLHSTMT h = st->Handle();
    SQLRETURN rc = Run(*st, [&] { return ExecDirect(h, sql); });
    st->Check(rc, sql);
    // A statement that ends in several results (a procedure, say): the first with columns.
    for (;;) {
        SQLSMALLINT columns = 0;
        st->Check(SQLNumResultCols(h, &columns), sql);
        if (columns > 0 || rc == SQL_NO_DATA)
            break;
        rc = Run(*st, [&] { return SQLMoreResults(h); });
        if (rc == SQL_NO_DATA)
            break;
        st->Check(rc, sql);
    }
    // The values must outlive the execution only, which is over now.
    SQLFreeStmt(h, SQL_RESET_PARAMS);

    // Drivers that stream do the statement's work in the first fetch: read the first row
    // here, so that Open reports its errors and a cancel reaches it.
    SQLSMALLINT columns = 0;
    st->Check(SQLNumResultCols(h, &columns), sql);
    bool firstRow = false;
    if (columns > 0 && rc != SQL_NO_DATA) {
        rc = Run(
            *st, [&] { return SQLFetch(h); }, true);
        st->Check(rc, sql);
        firstRow = rc != SQL_NO_DATA;
    }
    if (stopped())
        throw TCancelledError(sql);
    std::function<void(const bool&)> interrupt;
    if (m_traits.InterruptsConnection)
        interrupt = [this](const bool& cursorOpen) { InterruptFetch(cursorOpen); };
    const TOdbcCursor::TDates dates = m_traits.DatesAsText           ? TOdbcCursor::TDates::Text
                                      : m_traits.DatesBeyondCalendar ? TOdbcCursor::TDates::CheckedText
                                                                     : TOdbcCursor::TDates::Typed;
    auto cursor =
        std::make_unique<TOdbcCursor>(std::move(st), dates, firstRow, std::move(interrupt), m_calls);
    // Descriptors name the base table, not the alias: a table read twice cannot be told apart.
    const QList<TColumnInfo> described = cursor->Columns();
    if (!described.isEmpty() && !described.first().BaseTable.isEmpty() &&
        OdbcTableReferences(sql, described.first().BaseTable) > 1)
        cursor->ForgetBaseTables();
    return cursor;
}

void TOdbcSession::SetAutoCommit(bool on) {
    OdbcCheck(SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, m_dbc);
}

qint64 TOdbcSession::ExecuteRowChange(const TStatement& statement, TRowStore*) {
    TOdbcOperationLock calls(*m_calls);
    // A transaction of its own, so a change of no row or of several rows can be undone.
    SetAutoCommit(false);
    qint64 count = 0;
    try {
        count = ExecuteOne(statement.Sql, statement.Values);
    } catch (...) {
        SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK);
        SetAutoCommit(true);
        throw;
    }
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_dbc, count == 1 ? SQL_COMMIT : SQL_ROLLBACK);
    if (!SQL_SUCCEEDED(rc)) {
        const TOdbcDiagnostic d = OdbcDiagnostic(SQL_HANDLE_DBC, m_dbc);
        SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK);
        SetAutoCommit(true);
        throw TDataError(d.Message, d.SqlState, d.NativeCode, statement.Sql);
    }
    SetAutoCommit(true);
    return count;
}

std::unique_ptr<TProviderSession> CreateOdbcSession(const TConnectionString& connection,
                                                    const TConnectOptions& options) {
    return std::make_unique<TOdbcSession>(connection, options);
}
