#include "data/sqlite/SqliteSession.h"

#include "data/DataError.h"
#include "data/Identifiers.h"
#include "data/RowStore.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <sqlite3.h>

namespace {

thread_local TSqliteStep* t_step = nullptr;

// Holds the handle's mutex so that an error message read after a call is that call's own,
// also while the other thread steps on the same handle.
class TDbLock {
public:
    explicit TDbLock(sqlite3* db)
        : m_mutex(sqlite3_db_mutex(db)) {
        sqlite3_mutex_enter(m_mutex);
    }
    ~TDbLock() { sqlite3_mutex_leave(m_mutex); }

private:
    sqlite3_mutex* m_mutex;
};

struct TStatementGuard {
    sqlite3_stmt* Statement = nullptr;
    ~TStatementGuard() { sqlite3_finalize(Statement); }
};

QString SqlStateOf(int rc) {
    switch (rc & 0xff) {
    case SQLITE_CONSTRAINT:
        return QStringLiteral("23000");
    case SQLITE_INTERRUPT:
        return QStringLiteral("57014");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("40001");
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        return QStringLiteral("42000");
    default:
        return QStringLiteral("HY000");
    }
}

// A cursor on the last statement of a text; the first step ran in OpenCursor.
class TSqliteCursor : public TProviderCursor {
public:
    TSqliteCursor(TSqliteSession& session, sqlite3_stmt* statement, bool hasRow, QString sql)
        : m_session(session)
        , m_statement(statement)
        , m_pendingRow(hasRow)
        // A first step without a row ended the statement: stepping again would run it anew
        // (CREATE TABLE … AS SELECT a second time).
        , m_done(!hasRow)
        , m_sql(std::move(sql)) {
        m_step = m_session.NewStep(false);
        m_step.Stop = &m_stop;
        ReadColumns();
        if (ReadsTableTwice())
            for (TColumnInfo& c : m_columns)
                c.BaseTable.clear();
    }
    ~TSqliteCursor() override { sqlite3_finalize(m_statement); }

    QList<TColumnInfo> Columns() const override { return m_columns; }
    void Cancel() override { m_stop.store(true); }

    bool FetchRow(TRowStore& store) override {
        // One hold of the handle's mutex for the step and the row's values: the values are
        // read as the statement's own (unprotected) values, which costs no lock per call, and
        // no other thread can step this handle meanwhile.
        TDbLock lock(sqlite3_db_handle(m_statement));
        if (!m_pendingRow) {
            if (m_done || !m_session.Step(m_statement, m_step)) {
                m_done = true;
                return false;
            }
        }
        m_pendingRow = false;
        store.BeginRow();
        const int n = int(m_columns.size());
        for (int i = 0; i < n; ++i) {
            sqlite3_value* v = sqlite3_column_value(m_statement, i);
            switch (sqlite3_value_type(v)) {
            case SQLITE_INTEGER:
                store.AddInt(sqlite3_value_int64(v));
                break;
            case SQLITE_FLOAT:
                store.AddReal(sqlite3_value_double(v));
                break;
            case SQLITE_TEXT: {
                const char* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
                if (!text) // the terminated copy could not be made
                    throw TResourceError::OutOfMemory();
                store.AddText(text, sqlite3_value_bytes(v));
                break;
            }
            case SQLITE_BLOB: {
                const char* data = static_cast<const char*>(sqlite3_value_blob(v));
                const int size = sqlite3_value_bytes(v);
                if (!data && size > 0) // a zero blob that could not be expanded
                    throw TResourceError::OutOfMemory();
                store.AddBytes(data, size);
                break;
            }
            default:
                store.AddNull();
                break;
            }
        }
        store.EndRow();
        return true;
    }

private:
    void ReadColumns() {
        const int n = sqlite3_column_count(m_statement);
        for (int i = 0; i < n; ++i) {
            TColumnInfo c;
            c.Name = QString::fromUtf8(sqlite3_column_name(m_statement, i));
            const char* declared = sqlite3_column_decltype(m_statement, i);
            if (declared) {
                const TSqliteType t = MapSqliteType(QString::fromUtf8(declared));
                c.Type = t.Type;
                c.DefinedSize = t.Length;
                c.Precision = t.Precision;
                c.Scale = t.Scale;
            }
            if (!declared || c.Type == TDataType::Variant) {
                // An expression or an untyped column: the first value decides.
                switch (m_pendingRow ? sqlite3_column_type(m_statement, i) : SQLITE_NULL) {
                case SQLITE_INTEGER:
                    c.Type = TDataType::BigInt;
                    break;
                case SQLITE_FLOAT:
                    c.Type = TDataType::Double;
                    break;
                case SQLITE_BLOB:
                    c.Type = TDataType::LongVarBinary;
                    break;
                default:
                    c.Type = TDataType::VarWChar;
                    break;
                }
            }
            const char* db = sqlite3_column_database_name(m_statement, i);
            const char* table = sqlite3_column_table_name(m_statement, i);
            const char* origin = sqlite3_column_origin_name(m_statement, i);
            if (db && table && origin) {
                c.BaseSchema = QString::fromUtf8(db);
                c.BaseTable = QString::fromUtf8(table);
                c.BaseColumn = QString::fromUtf8(origin);
                int notNull = 0, primaryKey = 0, autoIncrement = 0;
                if (sqlite3_table_column_metadata(m_session.Handle(), db, table, origin, nullptr, nullptr,
                                                  &notNull, &primaryKey, &autoIncrement) == SQLITE_OK)
                    c.Nullable = !notNull;
            }
            m_columns.append(c);
        }
    }

    // A self-join (or a subquery on the same table) shows columns of one table that may come
    // from different rows; writing through a key of one of them could change the wrong row.
    bool ReadsTableTwice() {
        if (m_columns.isEmpty() || m_columns.first().BaseTable.isEmpty())
            return false;
        const TColumnInfo& first = m_columns.first();
        for (const TColumnInfo& c : m_columns)
            if (c.BaseTable != first.BaseTable || c.BaseSchema != first.BaseSchema)
                return false; // several tables: the core will not update anyway
        QString schema = first.BaseSchema;
        schema.replace(u'"', QLatin1String("\"\""));
        QSet<qint64> pages;
        for (const QVariantList& row : m_session.Rows(
                 QStringLiteral("SELECT rootpage FROM \"%1\".sqlite_master WHERE tbl_name = ?1").arg(schema),
                 {first.BaseTable}))
            pages.insert(row[0].toLongLong());
        QSet<qint64> cursors;
        for (const QVariantList& op :
             m_session.Rows(QStringLiteral("EXPLAIN ") + QString::fromUtf8(sqlite3_sql(m_statement)))) {
            const QString opcode = op.value(1).toString();
            if ((opcode == QLatin1String("OpenRead") || opcode == QLatin1String("OpenWrite")) &&
                pages.contains(op.value(3).toLongLong()))
                cursors.insert(op.value(2).toLongLong());
        }
        return cursors.size() > 1;
    }

    TSqliteSession& m_session;
    sqlite3_stmt* m_statement;
    bool m_pendingRow;
    bool m_done = false;
    QString m_sql;
    QList<TColumnInfo> m_columns;
    std::atomic<bool> m_stop{false};
    TSqliteStep m_step;
};

} // namespace

TSqliteType MapSqliteType(const QString& declared) {
    TSqliteType t;
    const QString upper = declared.trimmed().toUpper();
    if (upper.isEmpty())
        return t;
    static const QRegularExpression params(QStringLiteral("\\(\\s*(\\d+)\\s*(?:,\\s*(\\d+)\\s*)?\\)"));
    const QRegularExpressionMatch m = params.match(upper);
    const bool hasParams = m.hasMatch();
    const int first = hasParams ? m.captured(1).toInt() : 0;
    const int second = hasParams && !m.captured(2).isEmpty() ? m.captured(2).toInt() : 0;
    auto fixed = [&t](TDataType type, int precision) {
        t.Type = type;
        t.IsFixedLength = true;
        t.Precision = precision;
    };
    if (upper.contains(QLatin1String("BOOL"))) {
        fixed(TDataType::Boolean, 1);
    } else if (upper.contains(QLatin1String("TINYINT"))) {
        fixed(TDataType::TinyInt, 3);
    } else if (upper.contains(QLatin1String("SMALLINT")) || upper.contains(QLatin1String("INT2"))) {
        fixed(TDataType::SmallInt, 5);
    } else if (upper == QLatin1String("INT") || upper.startsWith(QLatin1String("INT(")) ||
               upper.contains(QLatin1String("MEDIUMINT")) || upper.contains(QLatin1String("INT4"))) {
        fixed(TDataType::Integer, 10);
    } else if (upper.contains(QLatin1String("INT"))) {
        fixed(TDataType::BigInt, 19);
    } else if (upper.contains(QLatin1String("DATETIME")) || upper.contains(QLatin1String("TIMESTAMP"))) {
        fixed(TDataType::DBTimeStamp, 19);
    } else if (upper.contains(QLatin1String("DATE"))) {
        fixed(TDataType::DBDate, 10);
    } else if (upper.contains(QLatin1String("TIME"))) {
        fixed(TDataType::DBTime, 8);
    } else if (upper.contains(QLatin1String("CHAR")) || upper.contains(QLatin1String("CLOB")) ||
               upper.contains(QLatin1String("TEXT"))) {
        t.Type = TDataType::VarWChar;
        if (hasParams && !upper.contains(QLatin1String("TEXT")) && !upper.contains(QLatin1String("CLOB"))) {
            t.Length = first;
            t.IsFixedLength = !upper.contains(QLatin1String("VAR"));
            if (t.IsFixedLength)
                t.Type = TDataType::WChar;
        } else {
            t.Type = TDataType::LongVarWChar;
            t.IsLong = true;
        }
    } else if (upper.contains(QLatin1String("BLOB")) || upper.contains(QLatin1String("BINARY"))) {
        t.Type = TDataType::LongVarBinary;
        t.IsLong = true;
    } else if (upper.contains(QLatin1String("REAL")) || upper.contains(QLatin1String("FLOA")) ||
               upper.contains(QLatin1String("DOUB"))) {
        fixed(TDataType::Double, 15);
    } else if (upper.contains(QLatin1String("NUMERIC")) || upper.contains(QLatin1String("DECIMAL")) ||
               upper.contains(QLatin1String("MONEY"))) {
        t.Type = TDataType::Numeric;
        // Only a declared precision makes it fixed; a bare NUMERIC holds any number.
        t.IsFixedLength = hasParams;
        t.Precision = first;
        t.Scale = second;
    } else {
        t.Type = TDataType::LongVarWChar;
        t.IsLong = true;
    }
    return t;
}

TSqliteSession::TSqliteSession(const TConnectionString& cs, const TConnectOptions&) {
    m_path = cs.Value(QStringLiteral("Data Source"));
    if (m_path.isEmpty())
        throw TDataError(QStringLiteral("Im Verbindungs-String fehlt die Datenbankdatei (Data Source=…)"));
    const QString mode = cs.Value(QStringLiteral("Mode")).toLower();
    const bool create = mode.contains(QLatin1String("create"));
    const bool readOnly =
        !create && mode.contains(QLatin1String("read")) && !mode.contains(QLatin1String("write"));
    const bool memory = m_path == QLatin1String(":memory:");
    if (!memory && !create && !QFileInfo::exists(m_path))
        throw TDataError(QStringLiteral("Die Datenbankdatei „%1“ existiert nicht").arg(m_path));
    int flags = SQLITE_OPEN_FULLMUTEX | (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    if (create || memory)
        flags |= SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(m_path.toUtf8().constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message =
            m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw TDataError(
            QStringLiteral("Die Datenbankdatei „%1“ kann nicht geöffnet werden: %2").arg(m_path, message),
            SqlStateOf(rc), rc);
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, 5000);
    sqlite3_progress_handler(m_db, 1000, &TSqliteSession::Progress, this);
    try {
        // A file that is not a database fails here rather than at the first statement.
        Rows(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (...) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw;
    }
}

TSqliteSession::~TSqliteSession() {
    sqlite3_close_v2(m_db);
}

int TSqliteSession::Progress(void* data) {
    const TSqliteSession* session = static_cast<const TSqliteSession*>(data);
    TSqliteStep* step = t_step;
    if (!step)
        return 0;
    if (session->m_generation.load(std::memory_order_relaxed) != step->Generation)
        return 1;
    if (step->Stop && step->Stop->load(std::memory_order_relaxed))
        return 1;
    if (step->Deadline != std::chrono::steady_clock::time_point::max() &&
        std::chrono::steady_clock::now() > step->Deadline) {
        step->TimedOut = true;
        return 1;
    }
    return 0;
}

TSqliteStep TSqliteSession::NewStep(bool withDeadline) const {
    TSqliteStep step;
    step.Generation = m_generation.load();
    const int timeout = m_commandTimeout.load();
    if (withDeadline && timeout > 0)
        step.Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
    return step;
}

QString TSqliteSession::QuoteIdentifier(const QString& name) const {
    QString quoted = name;
    quoted.replace(u'"', QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

bool TSqliteSession::NeedsQuotes(const QString& name) const {
    // Every keyword SQLite knows counts, also those it would accept as a name: quoting them is
    // harmless, and the library tells which words are keywords.
    if (IdentifierNeedsQuotes(name, TIdentifierCase::Insensitive, {}))
        return true;
    const QByteArray utf8 = name.toUtf8();
    return sqlite3_keyword_check(utf8.constData(), int(utf8.size())) != 0;
}

void TSqliteSession::Fail(int rc, const QString& statement, const TSqliteStep* step, qsizetype position) {
    if ((rc & 0xff) == SQLITE_NOMEM)
        throw TResourceError::OutOfMemory();
    if ((rc & 0xff) == SQLITE_INTERRUPT) {
        if (step && step->TimedOut)
            throw TDataError(QStringLiteral("Zeitüberschreitung: die Anweisung lief länger als %1 Sekunden")
                                 .arg(m_commandTimeout.load()),
                             QStringLiteral("HYT00"), rc, statement);
        throw TCancelledError(statement);
    }
    throw TDataError(QString::fromUtf8(sqlite3_errmsg(m_db)), SqlStateOf(rc), rc, statement, position);
}

sqlite3_stmt* TSqliteSession::Prepare(const char*& tail, const char* end, const QString& wholeText) {
    while (tail < end) {
        sqlite3_stmt* statement = nullptr;
        const char* next = nullptr;
        TDbLock lock(m_db);
        const int rc = sqlite3_prepare_v2(m_db, tail, int(end - tail), &statement, &next);
        if (rc != SQLITE_OK) {
            const QString untrimmed = QString::fromUtf8(tail, int((next && next > tail ? next : end) - tail));
            const QString piece = untrimmed.trimmed();
            // Where the library found the fault, in bytes from `tail`, as a place in the piece.
            const int offset = sqlite3_error_offset(m_db);
            qsizetype position = -1;
            if (offset >= 0 && !piece.isEmpty())
                position = QString::fromUtf8(tail, offset).size() - untrimmed.indexOf(piece);
            Fail(rc, piece.isEmpty() ? wholeText : piece, nullptr, position);
        }
        tail = next ? next : end;
        if (statement)
            return statement;
    }
    return nullptr;
}

void TSqliteSession::Bind(sqlite3_stmt* statement, const QVariantList& values) {
    const int count = sqlite3_bind_parameter_count(statement);
    for (int i = 1; i <= count; ++i) {
        const char* name = sqlite3_bind_parameter_name(statement, i);
        const int n = name && name[0] == '?' ? QByteArray(name + 1).toInt() : i;
        const QVariant v = n >= 1 && n <= values.size() ? values[n - 1] : QVariant();
        int rc = SQLITE_OK;
        if (v.isNull()) {
            rc = sqlite3_bind_null(statement, i);
        } else {
            switch (v.typeId()) {
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Long:
            case QMetaType::Short:
                rc = sqlite3_bind_int64(statement, i, v.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(statement, i, v.toDouble());
                break;
            case QMetaType::QByteArray: {
                const QByteArray b = v.toByteArray();
                rc = sqlite3_bind_blob64(statement, i, b.constData(), quint64(b.size()), SQLITE_TRANSIENT);
                break;
            }
            default: {
                QString text;
                if (v.typeId() == QMetaType::QDate)
                    text = v.toDate().toString(Qt::ISODate);
                else if (v.typeId() == QMetaType::QDateTime)
                    text = v.toDateTime().toString(v.toDateTime().time().msec()
                                                       ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                                       : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                else if (v.typeId() == QMetaType::QTime)
                    text = v.toTime().toString(v.toTime().msec() ? QStringLiteral("HH:mm:ss.zzz")
                                                                 : QStringLiteral("HH:mm:ss"));
                else
                    text = v.toString();
                const QByteArray utf8 = text.toUtf8();
                rc = sqlite3_bind_text64(statement, i, utf8.constData(), quint64(utf8.size()),
                                         SQLITE_TRANSIENT, SQLITE_UTF8);
                break;
            }
            }
        }
        if (rc != SQLITE_OK)
            Fail(rc, QString::fromUtf8(sqlite3_sql(statement)));
    }
}

bool TSqliteSession::Step(sqlite3_stmt* statement, TSqliteStep& step) {
    TSqliteStep* outer = t_step;
    t_step = &step;
    TDbLock lock(m_db);
    const int rc = sqlite3_step(statement);
    t_step = outer;
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    Fail(rc, QString::fromUtf8(sqlite3_sql(statement)), &step);
}

qint64 TSqliteSession::Execute(const TStatement& statement) {
    const QByteArray sql = statement.Sql.toUtf8();
    const char* tail = sql.constData();
    const char* end = tail + sql.size();
    qint64 total = -1;
    for (;;) {
        TStatementGuard guard{Prepare(tail, end, statement.Sql)};
        if (!guard.Statement)
            break;
        Bind(guard.Statement, statement.Values);
        const bool readOnly = sqlite3_stmt_readonly(guard.Statement);
        const qint64 before = sqlite3_total_changes64(m_db);
        TSqliteStep step = NewStep(true);
        while (Step(guard.Statement, step)) {
        }
        if (readOnly)
            continue;
        // DDL changes no rows and reports none; DML reports its own count.
        const bool changed = sqlite3_total_changes64(m_db) != before;
        static const QRegularExpression dml(QStringLiteral("^\\s*(INSERT|UPDATE|DELETE|REPLACE)\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
        const QString text = QString::fromUtf8(sqlite3_sql(guard.Statement));
        if (changed || dml.match(text).hasMatch())
            total = qMax<qint64>(total, 0) + (changed ? sqlite3_changes64(m_db) : 0);
    }
    return total;
}

std::unique_ptr<TProviderCursor> TSqliteSession::OpenCursor(const TStatement& statement) {
    const QByteArray sql = statement.Sql.toUtf8();
    const char* tail = sql.constData();
    const char* end = tail + sql.size();
    TStatementGuard current{Prepare(tail, end, statement.Sql)};
    if (!current.Statement)
        throw TDataError(QStringLiteral("Der Befehlstext enthält keine Anweisung"), QStringLiteral("42000"));
    for (;;) {
        Bind(current.Statement, statement.Values);
        // Look ahead: is there another statement after this one?
        const char* peekTail = tail;
        bool last = true;
        try {
            TStatementGuard peek{Prepare(peekTail, end, statement.Sql)};
            last = peek.Statement == nullptr;
        } catch (const TDataError&) {
            last = false; // something follows (it may depend on this statement)
        }
        TSqliteStep step = NewStep(true);
        step.Stop = statement.Stop;
        const bool hasRow = Step(current.Statement, step);
        if (last) {
            sqlite3_stmt* s = current.Statement;
            current.Statement = nullptr;
            return std::make_unique<TSqliteCursor>(*this, s, hasRow, statement.Sql);
        }
        if (hasRow)
            throw TDataError(
                QStringLiteral("Nur die letzte Anweisung des Befehlstexts darf Datensätze liefern: „%1“")
                    .arg(QString::fromUtf8(sqlite3_sql(current.Statement))),
                QStringLiteral("42000"), 0, statement.Sql);
        sqlite3_finalize(current.Statement);
        current.Statement = Prepare(tail, end, statement.Sql);
    }
}

QList<QVariantList> TSqliteSession::Rows(const QString& sql, const QVariantList& values) {
    const QByteArray utf8 = sql.toUtf8();
    const char* tail = utf8.constData();
    TStatementGuard guard{Prepare(tail, tail + utf8.size(), sql)};
    QList<QVariantList> rows;
    if (!guard.Statement)
        return rows;
    Bind(guard.Statement, values);
    TSqliteStep step = NewStep(true);
    const int n = sqlite3_column_count(guard.Statement);
    while (Step(guard.Statement, step)) {
        QVariantList row;
        for (int i = 0; i < n; ++i) {
            switch (sqlite3_column_type(guard.Statement, i)) {
            case SQLITE_INTEGER:
                row << QVariant(qlonglong(sqlite3_column_int64(guard.Statement, i)));
                break;
            case SQLITE_FLOAT:
                row << QVariant(sqlite3_column_double(guard.Statement, i));
                break;
            case SQLITE_TEXT:
                row << QVariant(
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(guard.Statement, i)),
                                      sqlite3_column_bytes(guard.Statement, i)));
                break;
            case SQLITE_BLOB:
                row << QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(guard.Statement, i)),
                                           sqlite3_column_bytes(guard.Statement, i)));
                break;
            default:
                row << QVariant();
                break;
            }
        }
        rows << row;
    }
    return rows;
}

std::unique_ptr<TProviderSession> CreateSqliteSession(const TConnectionString& cs,
                                                      const TConnectOptions& options) {
    return std::make_unique<TSqliteSession>(cs, options);
}
