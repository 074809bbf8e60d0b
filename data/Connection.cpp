#include "data/Connection.h"

#include "data/ConnectionString.h"
#include "data/DataError.h"
#include "data/Provider.h"
#include "data/Query.h"
#include "data/Recordset.h"
#include "data/SqlParameters.h"

TConnection::TConnection(QObject* parent)
    : QObject(parent) {}

TConnection::~TConnection() {
    // The queries' QPointer to the connection clears itself.
    Close();
}

void TConnection::SetConnectionString(const QString& text) {
    m_connectionString = text;
}

void TConnection::SetCommandTimeout(int seconds) {
    m_commandTimeout = seconds;
    if (m_session)
        m_session->SetCommandTimeout(seconds);
    if (m_sideSession)
        m_sideSession->SetCommandTimeout(seconds);
}

static std::shared_ptr<TProviderSession> CreateSession(const QString& text, int connectTimeout,
                                                       int commandTimeout) {
    const QString name = TConnectionString::ProviderOf(text);
    if (name.isEmpty())
        throw TDataError(
            QStringLiteral("Im Verbindungs-String fehlt der Provider (Provider=SQLite, PostgreSQL "
                           "oder ODBC)"));
    const TSessionFactory factory = FindProvider(name);
    if (!factory)
        throw TDataError(QStringLiteral("Der Provider „%1“ ist unbekannt oder nicht installiert").arg(name));
    TConnectOptions options;
    options.ConnectTimeout = connectTimeout;
    const TConnectionString parsed(text);
    std::shared_ptr<TProviderSession> session = factory(parsed, options);
    session->SetCommandTimeout(commandTimeout);
    return session;
}

void TConnection::Open() {
    Close();
    m_providerName = TConnectionString::ProviderOf(m_connectionString);
    m_session = CreateSession(m_connectionString, m_connectionTimeout, m_commandTimeout);
}

std::shared_ptr<TProviderSession> TConnection::Connect(const QString& connectionString, int connectTimeout,
                                                       int commandTimeout) {
    return CreateSession(connectionString, connectTimeout, commandTimeout);
}

void TConnection::Adopt(const QString& connectionString, std::shared_ptr<TProviderSession> session) {
    Close();
    m_connectionString = connectionString;
    m_providerName = TConnectionString::ProviderOf(connectionString);
    session->SetCommandTimeout(m_commandTimeout);
    m_session = std::move(session);
}

void TConnection::Open(const QString& connectionString) {
    SetConnectionString(connectionString);
    Open();
}

void TConnection::Close() {
    const QList<QPointer<TQuery>> queries = m_queries;
    for (const QPointer<TQuery>& q : queries)
        if (q)
            q->ConnectionClosing();
    m_sideSession.reset();
    m_session.reset();
    m_fetches = 0;
}

void TConnection::RequireOpen() const {
    if (!m_session)
        throw TDataError(QStringLiteral("Die Verbindung ist nicht geöffnet"));
}

void TConnection::Cancel() {
    for (const QPointer<TQuery>& q : std::as_const(m_queries))
        if (q && q->Fetching())
            q->Cancel();
    if (m_session)
        m_session->Cancel();
    if (m_sideSession)
        m_sideSession->Cancel();
}

void TConnection::RunWaiting(const std::function<void()>& work) {
    if (!m_waiter) {
        work();
        return;
    }
    m_waiter(work, [this] { Cancel(); });
}

TProviderSession& TConnection::MainSession() {
    RequireOpen();
    return *m_session;
}

TProviderSession& TConnection::SessionForStatement() {
    RequireOpen();
    if (m_fetches == 0 || m_session->ConcurrentStatements())
        return *m_session;
    if (!m_sideSession)
        m_sideSession = CreateSession(m_connectionString, m_connectionTimeout, m_commandTimeout);
    return *m_sideSession;
}

std::shared_ptr<TProviderSession> TConnection::BeginFetch() {
    RequireOpen();
    if (m_fetches > 0 && !m_session->ConcurrentStatements())
        return CreateSession(m_connectionString, m_connectionTimeout, m_commandTimeout);
    ++m_fetches;
    return m_session;
}

void TConnection::EndFetch(const std::shared_ptr<TProviderSession>& session) {
    if (session == m_session && m_fetches > 0)
        --m_fetches;
}

void TConnection::AddQuery(TQuery* query) {
    if (!m_queries.contains(query))
        m_queries.append(query);
}

void TConnection::RemoveQuery(TQuery* query) {
    m_queries.removeIf([query](const QPointer<TQuery>& q) { return q.isNull() || q == query; });
}

qint64 TConnection::Execute(const QString& sql) {
    TSqlParameters::RequireNoNul(sql);
    TProviderSession& session = SessionForStatement();
    return session.Execute({sql, {}});
}

QString TConnection::SqlName(const QString& name) {
    const TProviderSession& session = MainSession();
    if (!session.NeedsQuotes(name))
        return name;
    const QString quoted = session.QuoteIdentifier(name);
    if (quoted == name)
        throw TDataError(QStringLiteral("Der Name „%1“ lässt sich mit diesem Treiber nicht in SQL schreiben: "
                                        "der Treiber kennt keine Anführungszeichen für Namen")
                             .arg(name));
    return quoted;
}

std::unique_ptr<TRecordset> TConnection::OpenSchema(TSchemaKind kind, const QVariantList& restrictions) {
    std::exception_ptr error;
    std::unique_ptr<TRecordset> rows = OpenSchemaPartly(kind, error, restrictions);
    if (error)
        std::rethrow_exception(error);
    return rows;
}

std::unique_ptr<TRecordset> TConnection::OpenSchemaPartly(TSchemaKind kind, std::exception_ptr& error,
                                                          const QVariantList& restrictions) {
    TProviderSession& session = SessionForStatement();
    const QList<TColumnInfo> columns = SchemaColumns(kind);
    if (columns.isEmpty() && kind != TSchemaKind::ProviderSpecific)
        SchemaNotSupported(kind);
    std::unique_ptr<TRecordset> all = TRecordset::CreateStatic(columns);
    TSchemaRows rows(*all, int(columns.size()));
    error = nullptr;
    try {
        session.ReadSchema(kind, restrictions, rows);
    } catch (const TDataError&) {
        // The rows read before stay beside the error; without any, the error alone tells.
        if (all->RecordCount() == 0)
            throw;
        error = std::current_exception();
    }

    // The provider may have ignored some restrictions; apply them all here.
    const QStringList names = SchemaRestrictions(kind);
    QList<QPair<int, QString>> filters;
    for (int i = 0; i < restrictions.size() && i < names.size(); ++i) {
        const QVariant& r = restrictions[i];
        if (r.isNull() || (r.typeId() == QMetaType::QString && r.toString().isEmpty()))
            continue;
        const TField* f = all->Fields().FindField(names[i]);
        if (f)
            filters.append({f->Index(), r.toString()});
    }
    if (filters.isEmpty()) {
        all->First();
        return all;
    }
    std::unique_ptr<TRecordset> filtered = TRecordset::CreateStatic(columns);
    for (qint64 row = 0; row < all->RecordCount(); ++row) {
        bool match = true;
        for (const auto& [column, value] : filters)
            if (all->Value(row, column).toString() != value) {
                match = false;
                break;
            }
        if (match) {
            QVariantList values;
            for (int c = 0; c < columns.size(); ++c)
                values.append(all->Value(row, c));
            filtered->AppendRow(values);
        }
    }
    filtered->First();
    return filtered;
}
