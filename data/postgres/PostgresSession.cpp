#include "data/postgres/PostgresSession.h"

#include "data/ConnectionKeys.h"
#include "data/DataError.h"
#include "data/Identifiers.h"
#include "data/postgres/PostgresCursor.h"
#include "data/postgres/PostgresStatements.h"
#include "data/postgres/PostgresTypes.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <vector>

#include <cerrno>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The values of one statement's markers, kept alive while libpq sends them.
class TPgParams {
public:
    TPgParams(const TPgStatement& statement, const QVariantList& values) {
        for (int n : statement.Parameters) {
            if (n < 1 || n > values.size())
                throw TDataError(QStringLiteral("Für den Parameter $%1 ist kein Wert angegeben").arg(n),
                                 QStringLiteral("07002"), 0, statement.Sql);
            m_null.push_back(values[n - 1].isNull());
            m_texts.push_back(TPgTypes::ParameterText(values[n - 1]));
        }
        for (size_t i = 0; i < m_texts.size(); ++i)
            m_pointers.push_back(m_null[i] ? nullptr : m_texts[i].constData());
    }
    int Count() const { return int(m_pointers.size()); }
    const char* const* Values() const { return m_pointers.empty() ? nullptr : m_pointers.data(); }

private:
    std::vector<QByteArray> m_texts;
    std::vector<bool> m_null;
    std::vector<const char*> m_pointers;
};

QString Utf8(const char* text) {
    return QString::fromUtf8(text ? text : "").trimmed();
}

// libpq keywords for the connection string's keys that are not libpq's own.
QByteArray LibpqKeyword(const QString& key) {
    const QString k = key.trimmed();
    for (const char* keyword : {"host", "dbname", "user", "password", "connect_timeout", "application_name"})
        if (PostgresKeyNames(keyword).contains(k, Qt::CaseInsensitive))
            return keyword;
    return k.toLower().toUtf8();
}

// Keys of the connection string that are the program's or the data link dialog's, not libpq's.
bool IsOwnKey(const QString& key) {
    static const QStringList own = {QStringLiteral("provider"), QStringLiteral("persist security info"),
                                    QStringLiteral("extended properties"), QStringLiteral("mode")};
    return own.contains(key.trimmed().toLower());
}

// The first word of each statement of a text, upper case.
QStringList LeadingWords(const QString& sql) {
    QStringList words;
    for (const TPgStatement& part : SplitPgStatements(sql)) {
        const QString text = part.Sql.trimmed();
        qsizetype end = 0;
        while (end < text.size() && text.at(end).isLetter())
            ++end;
        words.append(text.left(end).toUpper());
    }
    return words;
}

bool ContainsCommit(const QString& sql) {
    const QStringList words = LeadingWords(sql);
    return words.contains(QLatin1String("COMMIT")) || words.contains(QLatin1String("END"));
}

bool OpensTransaction(const QString& sql) {
    const QStringList words = LeadingWords(sql);
    return words.contains(QLatin1String("BEGIN")) || words.contains(QLatin1String("START"));
}

} // namespace

namespace {

// libpq's own hook asks on the terminal for the passphrase of an encrypted SSL key; a desktop
// program has none. Only the connection string's sslpassword is used.
int SslKeyPassword(char* buffer, int size, PGconn* conn) {
    if (size <= 0)
        return 0;
    buffer[0] = 0;
    PQconninfoOption* options = PQconninfo(conn);
    for (PQconninfoOption* o = options; o && o->keyword; ++o)
        if (qstrcmp(o->keyword, "sslpassword") == 0 && o->val && *o->val) {
            qstrncpy(buffer, o->val, size_t(size));
            break;
        }
    PQconninfoFree(options);
    return int(qstrlen(buffer));
}

// The password file libpq would read ("passfile", PGPASSFILE, ~/.pgpass) when it cannot be
// used: libpq then only warns on the terminal. Adds the reason to notes; empty when usable.
QString UnusablePasswordFile(QString file, QStringList& notes) {
    if (file.isEmpty())
        file = qEnvironmentVariable("PGPASSFILE");
    if (file.isEmpty()) {
        // libpq takes the home folder from the password database, not from HOME.
        const passwd* user = getpwuid(geteuid());
        const QString home = user && user->pw_dir ? QString::fromLocal8Bit(user->pw_dir) : QDir::homePath();
        file = home + QStringLiteral("/.pgpass");
    }
    struct stat info {};
    if (stat(QFile::encodeName(file).constData(), &info) != 0)
        return {};
    if (!S_ISREG(info.st_mode))
        notes << QStringLiteral(
                     "Die Kennwortdatei „%1“ wurde nicht benutzt: sie ist keine gewöhnliche Datei.")
                     .arg(file);
    else if (info.st_mode & (S_IRWXG | S_IRWXO))
        notes << QStringLiteral("Die Kennwortdatei „%1“ wurde nicht benutzt: andere Benutzer dürfen auf sie "
                                "zugreifen; erlaubt sind höchstens die Rechte u=rw (0600).")
                     .arg(file);
    else
        return {};
    return file;
}

// Drives a connection started with PQconnectStartParams to its end. libpq's own wait is not
// used because it would not let the notice processor be set first. connect_timeout (0: none)
// starts again for every server libpq tries (a refused one moves on to the next host), but a
// server that does not answer in time ends the attempt: libpq's own wait would move on to the
// next host of a list, which its public interface does not let us do.
bool CompleteConnection(PGconn* conn, int timeoutSeconds, bool& timedOut) {
    if (timeoutSeconds > 0)
        timeoutSeconds = qMax(2, timeoutSeconds);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    int socket = -1;
    QDeadlineTimer deadline(QDeadlineTimer::Forever);
    while (state != PGRES_POLLING_OK) {
        if (state == PGRES_POLLING_FAILED || PQstatus(conn) == CONNECTION_BAD)
            return false;
        if (PQsocket(conn) != socket) {
            socket = PQsocket(conn);
            deadline = timeoutSeconds > 0 ? QDeadlineTimer(qint64(timeoutSeconds) * 1000)
                                          : QDeadlineTimer(QDeadlineTimer::Forever);
        }
        if (socket < 0)
            return false;
        pollfd wait{socket, short(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        const qint64 left = deadline.remainingTime();
        const int ready = ::poll(&wait, 1, left < 0 ? -1 : int(qMin<qint64>(left, 1000 * 3600)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            if (!deadline.hasExpired())
                continue;
            timedOut = true;
            return false;
        }
        state = PQconnectPoll(conn);
    }
    return true;
}

} // namespace

std::unique_ptr<TProviderSession> CreatePostgresSession(const TConnectionString& text,
                                                        const TConnectOptions& options) {
    std::vector<std::pair<QByteArray, QByteArray>> params;
    auto set = [&params](const QByteArray& key, const QByteArray& value) {
        for (auto& p : params)
            if (p.first == key) {
                p.second = value;
                return;
            }
        params.emplace_back(key, value);
    };
    for (const TConnectionString::TEntry& e : text.Entries()) {
        if (IsOwnKey(e.Key))
            continue;
        const QByteArray keyword = LibpqKeyword(e.Key);
        if (keyword == "host") {
            QString host, port;
            TConnectionString::SplitHostPort(e.Value, host, port);
            set("host", host.toUtf8());
            if (!port.isEmpty())
                set("port", port.toUtf8());
        } else {
            set(keyword, e.Value.toUtf8());
        }
    }
    bool hasTimeout = false;
    for (const auto& p : params)
        hasTimeout = hasTimeout || p.first == "connect_timeout";
    if (!hasTimeout && options.ConnectTimeout > 0)
        set("connect_timeout", QByteArray::number(qMax(2, options.ConnectTimeout)));
    set("client_encoding", "UTF8"); // the row store keeps text as UTF-8
    set("fallback_application_name", "Tabulo");

    auto param = [&params](const QByteArray& key) {
        for (const auto& p : params)
            if (p.first == key)
                return p.second;
        return QByteArray();
    };
    QStringList notes;
    if (param("password").isEmpty() && qEnvironmentVariableIsEmpty("PGPASSWORD")) {
        const QString unusable = UnusablePasswordFile(QString::fromUtf8(param("passfile")), notes);
        // libpq would say the same on the terminal and then ignore the file; a path that
        // does not exist makes it ignore the file silently.
        if (!unusable.isEmpty())
            set("passfile", "/dev/null/.pgpass");
    }

    std::vector<const char*> keys, values;
    for (const auto& p : params) {
        keys.push_back(p.first.constData());
        values.push_back(p.second.constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    static const bool hooked = [] {
        PQsetSSLKeyPassHook_OpenSSL(&SslKeyPassword);
        return true;
    }();
    Q_UNUSED(hooked);
    PGconn* conn = PQconnectStartParams(keys.data(), values.data(), 0);
    if (!conn)
        throw TDataError(QStringLiteral("Für die PostgreSQL-Verbindung ist nicht genug Speicher frei"),
                         QStringLiteral("08001"));
    // What the server or libpq notes while connecting belongs to the error the user reads,
    // not to a terminal.
    PQsetNoticeProcessor(
        conn, [](void* list, const char* message) { static_cast<QStringList*>(list)->append(Utf8(message)); },
        &notes);
    bool timedOut = false;
    const bool connected = CompleteConnection(conn, param("connect_timeout").toInt(), timedOut);
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    if (!connected) {
        QString message =
            timedOut ? QStringLiteral("Zeitüberschreitung beim Verbindungsaufbau zum PostgreSQL-Server „%1“")
                           .arg(Utf8(PQhost(conn)) + u':' + Utf8(PQport(conn)))
                     : Utf8(PQerrorMessage(conn));
        PQfinish(conn);
        if (message.isEmpty())
            message = QStringLiteral("Die Verbindung zum PostgreSQL-Server ist fehlgeschlagen");
        notes.removeAll(QString());
        if (!notes.isEmpty())
            message += QStringLiteral("\r\n\r\nHinweise beim Verbindungsaufbau:\r\n") +
                       notes.join(QStringLiteral("\r\n"));
        throw TDataError(message, QStringLiteral("08001"));
    }
    return std::make_unique<TPostgresSession>(conn);
}

TPostgresSession::TPostgresSession(PGconn* connection)
    : m_conn(connection) {
    Setup();
}

TPostgresSession::~TPostgresSession() {
    m_cancelWatch.Detach();
    PQfinish(m_conn);
}

void TPostgresSession::Setup() {
    m_cancelWatch.Attach(m_conn);
    // Notices ("table does not exist, skipping") are no errors, and there is no console to show them.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
    m_database = QString::fromUtf8(PQdb(m_conn));
    m_appliedTimeout = -1;
    m_knownTransaction = false;
    m_relations.clear();
    // The value parsers read ISO dates, hex bytea and floats with all their digits. A server
    // that refuses one of these only costs the typed values: they then stay text.
    PQclear(
        PQexec(m_conn, "SET DateStyle = 'ISO, YMD'; SET bytea_output = 'hex'; SET extra_float_digits = 3"));
}

QString TPostgresSession::QuoteIdentifier(const QString& name) const {
    QString quoted = name;
    quoted.replace(u'"', QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

bool TPostgresSession::NeedsQuotes(const QString& name) const {
    return IdentifierNeedsQuotes(name, TIdentifierCase::Lower, PostgresReservedWords());
}

void TPostgresSession::Acquire() {
    if (m_busy.exchange(true))
        throw TDataError(
            QStringLiteral("Die PostgreSQL-Verbindung ist noch mit einer anderen Abfrage beschäftigt"),
            QStringLiteral("HY010"));
    m_cancelWatch.CallStarted();
}

void TPostgresSession::Release() {
    if (PQstatus(m_conn) == CONNECTION_OK) {
        const PGTransactionStatusType status = PQtransactionStatus(m_conn);
        m_knownTransaction = status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
    }
    m_cancelWatch.CallEnded();
    m_busy.store(false);
}

void TPostgresSession::SendCancel() {
    m_cancelWatch.Cancel();
}

void TPostgresSession::Cancel() {
    m_cancelRequested.store(true);
    SendCancel();
}

void TPostgresSession::Abandon() {
    m_cancelRequested.store(true);
    m_cancelWatch.Abandon();
}

void TPostgresSession::Drain() {
    while (PGresult* r = PQgetResult(m_conn)) {
        const ExecStatusType status = PQresultStatus(r);
        PQclear(r);
        if (status == PGRES_COPY_IN) {
            PQputCopyEnd(m_conn, "COPY FROM STDIN wird nicht unterstützt");
        } else if (status == PGRES_COPY_OUT) {
            char* buffer = nullptr;
            while (PQgetCopyData(m_conn, &buffer, 0) > 0)
                PQfreemem(buffer);
        } else if (status == PGRES_COPY_BOTH) {
            break;
        }
        if (PQstatus(m_conn) == CONNECTION_BAD)
            break;
    }
}

void TPostgresSession::ThrowError(const PGresult* result, const QString& statement) {
    QString message, state;
    qsizetype position = -1;
    if (result) {
        state = QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE));
        // The server counts characters from 1; the statement is counted in UTF-16 units.
        if (const char* at = PQresultErrorField(result, PG_DIAG_STATEMENT_POSITION)) {
            qsizetype characters = QByteArray(at).toLongLong() - 1;
            for (position = 0; characters > 0 && position < statement.size(); --characters)
                position += statement.at(position).isHighSurrogate() ? 2 : 1;
        }
        message = Utf8(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
        const QString detail = Utf8(PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL));
        const QString hint = Utf8(PQresultErrorField(result, PG_DIAG_MESSAGE_HINT));
        if (!message.isEmpty() && !detail.isEmpty())
            message += u'\n' + detail;
        if (!message.isEmpty() && !hint.isEmpty())
            message += u'\n' + hint;
        if (message.isEmpty())
            message = Utf8(PQresultErrorMessage(result));
    }
    if (message.isEmpty())
        message = Utf8(PQerrorMessage(m_conn));
    if (message.isEmpty())
        message = QStringLiteral("Unbekannter Fehler der PostgreSQL-Verbindung");
    if (PQstatus(m_conn) == CONNECTION_BAD)
        ThrowLost(message, result != nullptr && !state.isEmpty(), statement);
    if (state == QLatin1String("57014") && m_cancelRequested.load())
        throw TCancelledError(statement);
    throw TDataError(message, state, 0, statement, position);
}

void TPostgresSession::ThrowLost(const QString& reason, bool serverSaidWhy, const QString& statement) {
    QString cause = reason;
    if (m_cancelWatch.GaveUp() == TPgCancelWatch::TGiveUp::NoAnswer)
        cause = QStringLiteral("Der Server hat auf den Abbruch nicht innerhalb von %1 Sekunden geantwortet; "
                               "die Verbindung wurde deshalb geschlossen.")
                    .arg(TPgCancelWatch::GiveUpSeconds);
    if (!m_transactionOpen)
        throw TDataError(QStringLiteral("Die Verbindung zum Server wurde getrennt") + u'\n' + cause,
                         QStringLiteral("08006"), 0, statement);
    // A COMMIT that was sent when the line went dead may have been carried out: only a server
    // that said why it ended the session (it was terminated, shut down) had not read it yet.
    m_lossMessage = ContainsCommit(statement) && !serverSaidWhy
                        ? QStringLiteral("Die Verbindung zum Server wurde während des Festschreibens "
                                         "getrennt; ob die Transaktion festgeschrieben wurde, ist unbekannt")
                        : QStringLiteral("Die Verbindung zum Server wurde getrennt; eine offene "
                                         "Transaktion wurde zurückgerollt");
    m_lostTransaction = true;
    m_lossTold = m_userStatement;
    m_knownTransaction = false;
    throw TDataError(m_lossMessage + u'\n' + cause, QStringLiteral("08006"), 0, statement);
}

void TPostgresSession::ThrowIfCancelled(const QString& statement) const {
    // A cancel that came between two round trips found the server idle; honour it here.
    if (m_cancelRequested.load())
        throw TCancelledError(statement);
}

void TPostgresSession::BeginCommand(bool userStatement) {
    m_cancelRequested.store(false);
    m_userStatement = userStatement;
    if (PQstatus(m_conn) == CONNECTION_BAD) {
        // A connection that went while a transaction was open, found where no error could
        // tell (a fetch given up, a schema read): the user hears of it before a statement runs
        // on a new connection.
        if (!m_lostTransaction && m_knownTransaction) {
            m_lostTransaction = true;
            m_lossTold = false;
            m_lossMessage = QStringLiteral("Die Verbindung zum Server wurde getrennt; eine offene Transaktion "
                                           "wurde zurückgerollt");
        }
        if (m_lostTransaction && !m_lossTold) {
            m_lossTold = userStatement;
            throw TDataError(m_lossMessage, QStringLiteral("08006"));
        }
        // The server went away (restart, idle time-out): one new attempt with the same parameters.
        m_cancelWatch.Detach();
        PQreset(m_conn);
        if (PQstatus(m_conn) != CONNECTION_OK)
            throw TDataError(QStringLiteral("Die Verbindung zum Server ist getrennt und konnte nicht wieder "
                                            "aufgebaut werden") +
                                 u'\n' + Utf8(PQerrorMessage(m_conn)),
                             QStringLiteral("08001"));
        Setup();
    }
    m_transactionOpen = PQtransactionStatus(m_conn) == PQTRANS_INTRANS ||
                        PQtransactionStatus(m_conn) == PQTRANS_INERROR;
    const int wanted = m_commandTimeout.load();
    // Inside a transaction block a rollback would undo the setting behind our back.
    if (wanted != m_appliedTimeout && PQtransactionStatus(m_conn) == PQTRANS_IDLE) {
        const QByteArray sql = "SET statement_timeout = " + QByteArray::number(qint64(wanted) * 1000);
        TPgResult r(PQexec(m_conn, sql.constData()));
        if (PQresultStatus(r.get()) == PGRES_COMMAND_OK)
            m_appliedTimeout = wanted;
    }
}

qint64 TPostgresSession::FinishCommand(const QString& statement, TPgResult* last) {
    qint64 affected = -1;
    TPgResult error;
    while (PGresult* r = PQgetResult(m_conn)) {
        TPgResult result(r);
        switch (PQresultStatus(r)) {
        case PGRES_COMMAND_OK:
        case PGRES_TUPLES_OK: {
            // Rows a SELECT returns are not rows it affected.
            const QByteArray command(PQcmdStatus(r));
            const char* count = PQcmdTuples(r);
            if (*count && !(PQresultStatus(r) == PGRES_TUPLES_OK &&
                            (command.startsWith("SELECT") || command.startsWith("FETCH"))))
                affected = qMax<qint64>(affected, 0) + QByteArray(count).toLongLong();
            if (last)
                *last = std::move(result);
            break;
        }
        case PGRES_EMPTY_QUERY:
            break;
        case PGRES_COPY_IN:
            PQputCopyEnd(m_conn, "COPY FROM STDIN wird nicht unterstützt");
            break;
        case PGRES_COPY_OUT: {
            char* buffer = nullptr;
            while (PQgetCopyData(m_conn, &buffer, 0) > 0)
                PQfreemem(buffer);
            break;
        }
        default:
            if (!error)
                error = std::move(result);
            break;
        }
        if (PQstatus(m_conn) == CONNECTION_BAD)
            break;
    }
    if (error)
        ThrowError(error.get(), statement);
    if (PQstatus(m_conn) == CONNECTION_BAD)
        ThrowError(nullptr, statement);
    return affected;
}

qint64 TPostgresSession::RunStatement(const TPgStatement& part, const QVariantList& values, TPgResult* last) {
    const TPgParams params(part, values);
    const QByteArray sql = part.Sql.toUtf8();
    ThrowIfCancelled(part.Sql);
    if (!PQsendQueryParams(m_conn, sql.constData(), params.Count(), nullptr, params.Values(), nullptr,
                           nullptr, 0))
        ThrowError(nullptr, part.Sql);
    return FinishCommand(part.Sql, last);
}

TPgResult TPostgresSession::Query(const QString& sql, const QVariantList& values) {
    // The provider's own queries type every value as text, so an unused one is no error.
    TPgStatement part{sql, {}};
    for (int i = 1; i <= values.size(); ++i)
        part.Parameters.append(i);
    const TPgParams params(part, values);
    const std::vector<Oid> types(size_t(params.Count()), TPgTypes::TextOid);
    const QByteArray text = sql.toUtf8();
    if (!PQsendQueryParams(m_conn, text.constData(), params.Count(), types.empty() ? nullptr : types.data(),
                           params.Values(), nullptr, nullptr, 0))
        ThrowError(nullptr, sql);
    TPgResult last;
    FinishCommand(sql, &last);
    return last;
}

qint64 TPostgresSession::Execute(const TStatement& statement) {
    TBusy busy(*this);
    BeginCommand(true);
    CheckTransactionText(statement.Sql);
    m_relations.clear(); // the statements may create, drop or rename tables
    if (statement.Values.isEmpty()) {
        // The simple protocol runs every statement of the text, in one implicit transaction.
        const QByteArray sql = statement.Sql.toUtf8();
        if (!PQsendQuery(m_conn, sql.constData()))
            ThrowError(nullptr, statement.Sql);
        const qint64 affected = FinishCommand(statement.Sql);
        StatementSucceeded();
        return affected;
    }
    // With values each statement goes alone, with the values of its own markers.
    qint64 total = -1;
    for (const TPgStatement& part : SplitPgStatements(statement.Sql)) {
        const qint64 n = RunStatement(part, statement.Values);
        if (n >= 0)
            total = qMax<qint64>(total, 0) + n;
    }
    StatementSucceeded();
    return total;
}

void TPostgresSession::CheckTransactionText(const QString& sql) {
    if (m_lostTransaction && ContainsCommit(sql))
        throw TDataError(m_lossMessage, QStringLiteral("08006"), 0, sql);
    m_transactionOpen = m_transactionOpen || OpensTransaction(sql);
}

void TPostgresSession::StatementSucceeded() {
    m_lostTransaction = false;
}

bool TPostgresSession::ResolveRelations(const PGresult* description) {
    QStringList missing;
    for (int i = 0; i < PQnfields(description); ++i) {
        const Oid table = PQftable(description, i);
        if (table != InvalidOid && !m_relations.count(table) && !missing.contains(QString::number(table)))
            missing.append(QString::number(table));
    }
    if (missing.isEmpty())
        return false;
    const TPgResult r =
        Query(QStringLiteral("SELECT a.attrelid, n.nspname, c.relname, a.attnum, a.attname, a.attnotnull "
                             "FROM pg_catalog.pg_attribute a "
                             "JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
                             "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                             "WHERE a.attrelid = ANY ($1::oid[]) AND a.attnum > 0 "
                             "AND NOT a.attisdropped"),
              {u'{' + missing.join(u',') + u'}'});
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        TRelation& rel = m_relations[Oid(QByteArray(PQgetvalue(r.get(), row, 0)).toUInt())];
        rel.Schema = QString::fromUtf8(PQgetvalue(r.get(), row, 1));
        rel.Table = QString::fromUtf8(PQgetvalue(r.get(), row, 2));
        rel.Columns[QByteArray(PQgetvalue(r.get(), row, 3)).toInt()] = {
            QString::fromUtf8(PQgetvalue(r.get(), row, 4)), PQgetvalue(r.get(), row, 5)[0] == 't'};
    }
    return true;
}

QList<TColumnInfo> TPostgresSession::DescribeColumns(const PGresult* description) const {
    QList<TColumnInfo> columns;
    for (int i = 0; i < PQnfields(description); ++i) {
        TColumnInfo c = TPgTypes::ColumnInfo(QString::fromUtf8(PQfname(description, i)),
                                             PQftype(description, i), PQfmod(description, i));
        const auto rel = m_relations.find(PQftable(description, i));
        if (rel != m_relations.end()) {
            const auto column = rel->second.Columns.find(PQftablecol(description, i));
            if (column != rel->second.Columns.end()) {
                c.BaseCatalog = m_database;
                c.BaseSchema = rel->second.Schema;
                c.BaseTable = rel->second.Table;
                c.BaseColumn = column->second.first;
                c.Nullable = !column->second.second;
            }
        }
        columns.append(c);
    }
    return columns;
}

namespace {

int CountScans(const QJsonObject& plan, const QString& table) {
    int count = plan.value(QLatin1String("Relation Name")).toString() == table ? 1 : 0;
    for (const QJsonValue& child : plan.value(QLatin1String("Plans")).toArray())
        count += CountScans(child.toObject(), table);
    return count;
}

} // namespace

bool TPostgresSession::ReadsTableTwice(const QList<TColumnInfo>& columns, const QVariantList& values,
                                       const TPgStatement& statement) {
    // Only a result whose columns all come from one table could be written back.
    for (const TColumnInfo& c : columns)
        if (c.BaseTable != columns.first().BaseTable || c.BaseSchema != columns.first().BaseSchema)
            return false;
    // A self-join (or a subquery on the same table) shows columns of one table that may come
    // from different rows; writing through the key of one of them could change the wrong row.
    // The plan names every scan of the table.
    TPgResult plan;
    try {
        RunStatement({QStringLiteral("EXPLAIN (FORMAT JSON) ") + statement.Sql, statement.Parameters}, values,
                     &plan);
    } catch (const TCancelledError&) {
        throw;
    } catch (const TDataError&) {
        return true; // no plan, no proof: the result stays read-only
    }
    if (!plan || PQntuples(plan.get()) < 1)
        return true;
    const QJsonArray plans = QJsonDocument::fromJson(QByteArray(PQgetvalue(plan.get(), 0, 0))).array();
    if (plans.isEmpty())
        return true;
    const QJsonObject top = plans.first().toObject().value(QLatin1String("Plan")).toObject();
    return CountScans(top, columns.first().BaseTable) > 1;
}

std::unique_ptr<TProviderCursor> TPostgresSession::OpenCursor(const TStatement& statement) {
    Acquire();
    std::unique_ptr<TPostgresCursor> cursor;
    try {
        BeginCommand(true);
        CheckTransactionText(statement.Sql);
        const QList<TPgStatement> parts = SplitPgStatements(statement.Sql);
        if (parts.isEmpty())
            throw TDataError(QStringLiteral("Der Befehlstext enthält keine Anweisung"));
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            m_relations.clear();
            RunStatement(parts[i], statement.Values);
        }
        // The last statement is described before it runs, so that its columns can be named
        // after their tables while its rows stream.
        const TPgStatement& last = parts.last();
        const TPgParams params(last, statement.Values);
        const QByteArray sql = last.Sql.toUtf8();
        ThrowIfCancelled(last.Sql);
        if (!PQsendPrepare(m_conn, "", sql.constData(), params.Count(), nullptr))
            ThrowError(nullptr, last.Sql);
        FinishCommand(last.Sql);
        ThrowIfCancelled(last.Sql);
        if (!PQsendDescribePrepared(m_conn, ""))
            ThrowError(nullptr, last.Sql);
        TPgResult description;
        FinishCommand(last.Sql, &description);
        bool prepared = true;
        if (!description || PQnfields(description.get()) == 0)
            m_relations.clear(); // a command, which may change tables
        else if (ResolveRelations(description.get()))
            prepared = false; // the lookup replaced the unnamed statement
        QList<TColumnInfo> columns;
        std::vector<TPgTypes::TStoreAs> storeAs;
        if (description) {
            columns = DescribeColumns(description.get());
            for (int i = 0; i < PQnfields(description.get()); ++i)
                storeAs.push_back(
                    TPgTypes::TypeInfo(PQftype(description.get(), i), PQfmod(description.get(), i)).StoreAs);
        }
        if (!columns.isEmpty() && !columns.first().BaseTable.isEmpty()) {
            if (ReadsTableTwice(columns, statement.Values, last)) {
                for (TColumnInfo& c : columns)
                    c.BaseCatalog = c.BaseSchema = c.BaseTable = c.BaseColumn = QString();
            }
            prepared = false; // reading the plan replaced the unnamed statement
        }
        ThrowIfCancelled(last.Sql);
        const int sent =
            prepared ? PQsendQueryPrepared(m_conn, "", params.Count(), params.Values(), nullptr, nullptr, 0)
                     : PQsendQueryParams(m_conn, sql.constData(), params.Count(), nullptr, params.Values(),
                                         nullptr, nullptr, 0);
        if (!sent)
            ThrowError(nullptr, last.Sql);
        PQsetSingleRowMode(m_conn);
        cursor = std::make_unique<TPostgresCursor>(*this, columns, std::move(storeAs), last.Sql);
        cursor->Start();
        StatementSucceeded();
    } catch (...) {
        if (!cursor)
            Release();
        throw;
    }
    return cursor;
}

qint64 TPostgresSession::ExecuteRowChange(const TStatement& statement, TRowStore* returned) {
    // SAVEPOINT needs a transaction block; outside one the change gets its own transaction.
    const bool own = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
    const QString begin = own ? QStringLiteral("BEGIN") : QStringLiteral("SAVEPOINT tabulo_row_change");
    const QString undo = own ? QStringLiteral("ROLLBACK") : QStringLiteral("ROLLBACK TO SAVEPOINT tabulo_row_change");
    const QString keep = own ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE SAVEPOINT tabulo_row_change");
    Execute({begin, {}});
    qint64 count = 0;
    try {
        // A row that another session holds is waited for a while, not for ever. The limit is
        // local to the transaction; inside the user's own one it is put back afterwards.
        const QString before = LimitLockWait();
        count = RunRowChange(statement, returned);
        if (count != 1)
            Execute({undo, {}});
        if (!own)
            SetLocalSetting(QStringLiteral("lock_timeout"), before);
    } catch (...) {
        // Nothing to undo on a connection that is gone; trying would only hide why it failed.
        if (PQstatus(m_conn) != CONNECTION_BAD) {
            try {
                Execute({undo, {}});
                if (!own)
                    Execute({keep, {}});
            } catch (const TError&) {
            }
        }
        throw;
    }
    if (!own || count == 1)
        Execute({keep, {}});
    return count;
}

QString TPostgresSession::LimitLockWait() {
    TBusy busy(*this);
    BeginCommand(true);
    const TPgResult r = Query(QStringLiteral("SELECT current_setting('lock_timeout'), set_config('lock_timeout', "
                                             "CASE WHEN current_setting('lock_timeout') = '0' OR "
                                             "current_setting('lock_timeout')::interval > $1::interval "
                                             "THEN $1 ELSE current_setting('lock_timeout') END, true)"),
                              {QString::number(RowLockWaitSeconds) + u's'});
    return QString::fromUtf8(PQgetvalue(r.get(), 0, 0));
}

void TPostgresSession::SetLocalSetting(const QString& name, const QString& value) {
    TBusy busy(*this);
    BeginCommand(true);
    Query(QStringLiteral("SELECT set_config($1, $2, true)"), {name, value});
}
