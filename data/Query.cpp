#include "data/Query.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Provider.h"
#include "data/RowUpdater.h"
#include "data/SqlParameters.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

namespace {
constexpr auto kProgressInterval = std::chrono::milliseconds(50);
}

// The events of fetch workers for their query, in order. The worker leaves an event here and
// asks the query by name to take the next one: the queued call then carries nothing made in
// the worker, and the hand-over is this lock, which a thread checker sees (Qt's own locks it
// does not).
struct TJobMailbox {
    using THandler = void (TQuery::*)(const std::shared_ptr<TFetchJob>&);
    std::mutex Mutex;
    std::deque<std::pair<THandler, std::shared_ptr<TFetchJob>>> Events;
};

// One asynchronous open: the worker thread runs the statement and appends its rows to the
// store; it talks to the query only through events queued to the GUI thread, at most one
// progress event at a time. The query joins the thread before it lets go of the job.
class TFetchJob {
public:
    TQuery* Owner = nullptr;
    std::shared_ptr<TProviderSession> Session;
    TProviderSession* SessionPtr = nullptr;
    TStatement Statement;

    // Written by the worker before it posts "executed", read by the GUI thread after.
    QList<TColumnInfo> Columns;
    std::shared_ptr<TRowStore> Store;
    bool ExecuteFailed = false;
    QString ErrorMessage;
    QString ErrorState;
    qint64 ErrorCode = 0;
    QString ErrorStatement;
    qsizetype ErrorPosition = -1;
    bool Cancelled = false;
    bool ConnectionLost = false;
    TFetchShortage Shortage = TFetchShortage::None;

    std::atomic<bool> Stop{false};
    std::atomic<bool> ProgressPending{false};
    std::atomic<bool> Executing{false}; // OpenCursor is running in the worker
    bool ExecutedHandled = false;
    bool Finished = false;
    std::mutex CursorMutex;
    TProviderCursor* Cursor = nullptr;
    std::thread Thread;

    void Run();
    void RequestStop();
    void Join() {
        if (Thread.joinable())
            Thread.join();
    }
    std::shared_ptr<TJobMailbox> Mailbox;
    void Post(TJobMailbox::THandler handler, const std::shared_ptr<TFetchJob>& self) {
        {
            std::lock_guard lock(Mailbox->Mutex);
            Mailbox->Events.emplace_back(handler, self);
        }
        QMetaObject::invokeMethod(Owner, "DeliverJobEvent", Qt::QueuedConnection);
    }
    std::weak_ptr<TFetchJob> Self;
};

void TFetchJob::RequestStop() {
    Stop.store(true);
    // Only this job's own statement is interrupted: others may run on the same session.
    std::lock_guard lock(CursorMutex);
    if (Cursor)
        Cursor->Cancel();
    else if (Executing.load())
        SessionPtr->CancelStatement(Statement);
}

void TFetchJob::Run() {
    const std::shared_ptr<TFetchJob> self = Self.lock();
    std::unique_ptr<TProviderCursor> cursor;
    try {
        {
            std::lock_guard lock(CursorMutex);
            if (Stop.load())
                throw TCancelledError(Statement.Sql);
            Executing.store(true);
        }
        cursor = SessionPtr->OpenCursor(Statement);
        Columns = cursor->Columns();
        Store = std::make_shared<TRowStore>(int(Columns.size()));
    } catch (const std::bad_alloc&) {
        ExecuteFailed = true;
        ErrorMessage = TResourceError::OutOfMemory().Message();
    } catch (const TDataError& e) {
        ExecuteFailed = true;
        ErrorMessage = e.Message();
        ErrorState = e.SqlState();
        ErrorCode = e.NativeCode();
        ErrorStatement = e.Statement();
        ErrorPosition = e.Position();
    } catch (const std::exception& e) {
        ExecuteFailed = true;
        ErrorMessage = QString::fromUtf8(e.what());
    }
    {
        std::lock_guard lock(CursorMutex);
        Cursor = cursor.get();
        Executing.store(false);
    }
    Post(&TQuery::HandleExecuted, self);
    if (ExecuteFailed)
        return;

    QString error;
    try {
        auto last = std::chrono::steady_clock::now();
        qint64 rows = 0;
        while (!Stop.load(std::memory_order_relaxed) && cursor->FetchRow(*Store)) {
            if ((++rows & 63) == 0) {
                const auto now = std::chrono::steady_clock::now();
                if (now - last >= kProgressInterval && !ProgressPending.exchange(true)) {
                    last = now;
                    Post(&TQuery::HandleProgress, self);
                }
            }
        }
        if (Stop.load())
            cursor->Close();
    } catch (const TResourceError& e) {
        // Memory or the temporary file ran out: the rows so far stay, as after a cancel.
        Shortage = e.Kind() == TResourceError::Memory ? TFetchShortage::Memory : TFetchShortage::Disk;
        error = e.Message();
    } catch (const std::bad_alloc&) {
        Shortage = TFetchShortage::Memory;
        error = TResourceError::OutOfMemory().Message();
    } catch (const TCancelledError&) {
        // A driver that stops every statement of its connection when one is cancelled must
        // not make this fetch look cancelled by its user.
        if (!Stop.load())
            error = QStringLiteral("Der Treiber hat das Lesen unterbrochen, weil auf derselben Verbindung "
                                   "eine andere Anweisung abgebrochen wurde");
    } catch (const TDataError& e) {
        // A connection lost while the fetch was being stopped is still told: the session is
        // gone, and with it an open transaction.
        ConnectionLost = e.SqlState().startsWith(QLatin1String("08"));
        if (!Stop.load() || ConnectionLost)
            error = e.Message();
    } catch (const TError& e) {
        if (!Stop.load())
            error = e.Message();
    } catch (const std::exception& e) {
        if (!Stop.load())
            error = QString::fromUtf8(e.what());
    }
    {
        std::lock_guard lock(CursorMutex);
        Cursor = nullptr;
    }
    cursor.reset(); // the statement is finished in the thread that used it
    Cancelled = Stop.load();
    ErrorMessage = error;
    Post(&TQuery::HandleFinished, self);
}

TParameter* TParameters::FindParam(const QString& name) {
    for (TParameter& p : m_items)
        if (p.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

TParameter& TParameters::ParamByName(const QString& name) {
    if (TParameter* p = FindParam(name))
        return *p;
    throw TDataError(QStringLiteral("Parameter „%1“ nicht gefunden").arg(name));
}

TQuery::TQuery(QObject* parent)
    : QObject(parent)
    , m_mailbox(std::make_shared<TJobMailbox>()) {}

void TQuery::DeliverJobEvent() {
    std::pair<TJobMailbox::THandler, std::shared_ptr<TFetchJob>> event;
    {
        std::lock_guard lock(m_mailbox->Mutex);
        if (m_mailbox->Events.empty())
            return;
        event = std::move(m_mailbox->Events.front());
        m_mailbox->Events.pop_front();
    }
    (this->*event.first)(event.second);
}

TQuery::~TQuery() {
    StopFetch();
    {
        // Events no longer delivered would keep their jobs, and the jobs the mailbox, alive.
        std::lock_guard lock(m_mailbox->Mutex);
        m_mailbox->Events.clear();
    }
    if (m_openLoop)
        m_openLoop->quit();
    if (m_connection)
        m_connection->RemoveQuery(this);
}

void TQuery::SetConnection(TConnection* connection) {
    if (connection == m_connection)
        return;
    Close();
    if (m_connection)
        m_connection->RemoveQuery(this);
    m_connection = connection;
    if (connection)
        connection->AddQuery(this);
}

void TQuery::SetSql(const QString& text) {
    Close();
    m_sql = text;
    TParameters old = m_parameters;
    m_parameters.Clear();
    for (const QString& name : TSqlParameters::Names(text)) {
        m_parameters.Add(name);
        if (const TParameter* p = old.FindParam(name))
            m_parameters[m_parameters.Count() - 1].Value = p->Value;
    }
}

QString TQuery::SqlText() const {
    if (m_sql.isEmpty())
        return {};
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = m_sql.split(lineBreak);
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n");
}

bool TQuery::Fetching() const {
    return m_job && !m_job->Finished;
}

void TQuery::Cancel() {
    if (m_job && !m_job->Finished)
        m_job->RequestStop();
}

bool TQuery::Supports(TCursorOption option) const {
    return m_active && TRecordset::Supports(option);
}

void TQuery::StopFetch(bool closing) {
    if (!m_job)
        return;
    if (!m_job->Finished) {
        m_job->RequestStop();
        if (closing)
            m_job->SessionPtr->Abandon();
        m_job->Finished = true;
        if (m_connection)
            m_connection->EndFetch(m_job->Session);
    }
    m_job->Join();
    m_job.reset();
}

void TQuery::ConnectionClosing() {
    StopFetch(true);
    ClearRecordset();
    m_active = false;
    m_reportedRows = 0;
    if (m_openLoop)
        m_openLoop->quit();
}

void TQuery::Close() {
    if (m_opening)
        throw TDataError(QStringLiteral("Die Abfrage wird gerade ausgeführt"));
    StopFetch();
    m_shortage = TFetchShortage::None;
    m_connectionLost = false;
    ClearRecordset();
    m_active = false;
    m_reportedRows = 0;
}

TStatement TQuery::BoundStatement(TProviderSession& session) const {
    if (m_sql.trimmed().isEmpty())
        throw TDataError(QStringLiteral("Der Befehlstext ist leer"));
    TSqlParameters::RequireNoNul(m_sql);
    return TSqlParameters::Bind(m_sql, m_parameters,
                                [&session](int n) { return session.ParameterMarker(n); });
}

TConnection& TQuery::RequireConnection() const {
    if (!m_connection)
        throw TDataError(QStringLiteral("Der Abfrage ist keine Verbindung zugeordnet"));
    return *m_connection;
}

qint64 TQuery::ExecSQL() {
    return PrepareExecSQL()();
}

std::function<qint64()> TQuery::PrepareExecSQL() {
    Close();
    TProviderSession& session = RequireConnection().SessionForStatement();
    session.SetCommandTimeout(m_commandTimeout);
    return [&session, statement = BoundStatement(session)] {
        return session.Execute(statement);
    };
}

void TQuery::SetUpResult(const QList<TColumnInfo>& columns, std::shared_ptr<TRowStore> store) {
    ResetColumns(columns, std::move(store));
    m_active = true;
    if (m_lockType == TLockType::Optimistic && m_connection) {
        try {
            SetUpdater(TRowUpdater::Create(*m_connection, columns));
        } catch (const TError&) {
            // Keys that cannot be read leave the result read-only; the rows are still good.
        }
    }
}

void TQuery::Open() {
    Close();
    TConnection& connection = RequireConnection();
    if (m_executeOption == TExecuteOption::Synchronous) {
        TProviderSession& session = connection.SessionForStatement();
        session.SetCommandTimeout(m_commandTimeout);
        std::unique_ptr<TProviderCursor> cursor = session.OpenCursor(BoundStatement(session));
        const QList<TColumnInfo> columns = cursor->Columns();
        auto store = std::make_shared<TRowStore>(int(columns.size()));
        while (cursor->FetchRow(*store)) {
        }
        cursor.reset();
        SetUpResult(columns, store);
        return;
    }

    auto job = std::make_shared<TFetchJob>();
    job->Self = job;
    job->Owner = this;
    job->Mailbox = m_mailbox;
    job->Session = connection.BeginFetch();
    job->SessionPtr = job->Session.get();
    m_job = job;
    try {
        job->SessionPtr->SetCommandTimeout(m_commandTimeout);
        job->Statement = BoundStatement(*job->SessionPtr);
        job->Statement.Stop = &job->Stop;
    } catch (...) {
        StopFetch();
        throw;
    }
    job->Thread = std::thread([job] { job->Run(); });

    // Wait for the execution in a local event loop: the window keeps repainting and the
    // cancel action can reach TConnection::Cancel meanwhile.
    QPointer<TQuery> self(this);
    m_opening = true;
    if (!job->ExecutedHandled) {
        QEventLoop loop;
        m_openLoop = &loop;
        loop.exec();
        if (!self)
            throw TAbort();
        m_openLoop = nullptr;
    }
    m_opening = false;
    if (m_job != job)
        throw TDataError(QStringLiteral("Die Abfrage wurde geschlossen, bevor die Anweisung ausgeführt war"));
    if (job->ExecuteFailed) {
        StopFetch();
        throw TDataError(job->ErrorMessage, job->ErrorState, job->ErrorCode, job->ErrorStatement,
                         job->ErrorPosition);
    }
    SetUpResult(job->Columns, job->Store);
}

void TQuery::HandleExecuted(const std::shared_ptr<TFetchJob>& job) {
    job->ExecutedHandled = true;
    if (job == m_job && m_openLoop)
        m_openLoop->quit();
}

void TQuery::HandleProgress(const std::shared_ptr<TFetchJob>& job) {
    job->ProgressPending.store(false);
    if (job != m_job || job->Finished || m_opening || m_inProgress > 0 || !m_active)
        return;
    const qint64 count = RecordCount();
    QPointer<TQuery> self(this);
    ++m_inProgress;
    if (count != m_reportedRows) {
        m_reportedRows = count;
        emit RowsAppended(count);
    }
    if (self)
        emit FetchProgress(count, count);
    if (self)
        --m_inProgress;
}

void TQuery::HandleFinished(const std::shared_ptr<TFetchJob>& job) {
    if (job != m_job || job->Finished)
        return;
    if (m_opening || m_inProgress > 0) {
        // Completion comes after Open has returned and outside any progress handler.
        QPointer<TQuery> self(this);
        QTimer::singleShot(10, this, [this, job] { HandleFinished(job); });
        return;
    }
    job->Join();
    job->Finished = true;
    m_shortage = job->Shortage;
    m_connectionLost = job->ConnectionLost;
    if (m_connection)
        m_connection->EndFetch(job->Session);
    const QString error = job->ErrorMessage;
    QPointer<TQuery> self(this);
    const qint64 count = RecordCount();
    if (count != m_reportedRows) {
        m_reportedRows = count;
        emit RowsAppended(count);
    }
    if (self)
        emit FetchComplete(error);
}

TConnection* TQuery::Connection() const {
    return m_connection;
}
