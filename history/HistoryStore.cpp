// The statement history file: a writer thread that owns one connection, and a connection of
// the caller's thread for searching and removing. WAL lets both work without waiting for
// each other.
#include "history/HistoryStore.h"

#include "settings/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMetaObject>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const Schema = R"(
CREATE TABLE IF NOT EXISTS entries(
  id INTEGER PRIMARY KEY, database TEXT NOT NULL, started INTEGER NOT NULL,
  duration INTEGER NOT NULL, records INTEGER NOT NULL, failed INTEGER NOT NULL,
  error TEXT NOT NULL, statement TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS entries_database ON entries(database, id);
CREATE VIRTUAL TABLE IF NOT EXISTS entries_fts USING fts5(
  statement, content='entries', content_rowid='id', tokenize='trigram');
CREATE TRIGGER IF NOT EXISTS entries_ai AFTER INSERT ON entries BEGIN
  INSERT INTO entries_fts(rowid, statement) VALUES (new.id, new.statement); END;
CREATE TRIGGER IF NOT EXISTS entries_ad AFTER DELETE ON entries BEGIN
  INSERT INTO entries_fts(entries_fts, rowid, statement) VALUES ('delete', old.id, old.statement); END;
)";

// Words shorter than a trigram cannot use the index; they are matched by this function.
constexpr int TrigramLength = 3;

QString Cause(sqlite3* db) {
    const int code = db ? sqlite3_extended_errcode(db) & 0xff : SQLITE_CANTOPEN;
    const int error = db ? sqlite3_system_errno(db) : errno;
    if (code == SQLITE_FULL || error == ENOSPC || error == EDQUOT)
        return QStringLiteral("der Datenträger ist voll");
    if (code == SQLITE_READONLY || error == EROFS)
        return QStringLiteral("die Datei ist schreibgeschützt");
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return QStringLiteral("die Datei wird gerade von einem anderen Programm benutzt");
    if (code == SQLITE_PERM || error == EACCES || error == EPERM)
        return QStringLiteral("keine Berechtigung für die Datei");
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT)
        return QStringLiteral("die Datei ist beschädigt oder keine Verlaufsdatei");
    return QStringLiteral("Fehler der Datenbank (SQLite-Code %1)").arg(db ? sqlite3_extended_errcode(db) : code);
}

bool Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

struct TStatement {
    sqlite3_stmt* s = nullptr;
    TStatement(sqlite3* db, const QString& sql) {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &s, nullptr) != SQLITE_OK)
            s = nullptr;
    }
    ~TStatement() { sqlite3_finalize(s); }
    void Bind(int i, const QString& v) {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void Bind(int i, qint64 v) { sqlite3_bind_int64(s, i, v); }
    QString Text(int i) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                                 sqlite3_column_bytes(s, i));
    }
};

// Case-insensitive containment as the user reads it: umlauts fold as Qt folds them.
void ContainsFunction(sqlite3_context* context, int, sqlite3_value** values) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(values[0])),
                                           sqlite3_value_bytes(values[0]));
    const QString word = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(values[1])),
                                           sqlite3_value_bytes(values[1]));
    sqlite3_result_int(context, text.contains(word, Qt::CaseInsensitive) ? 1 : 0);
}

// Missing folders 0700 and a new file 0600: statements may name what the user works on.
bool PrepareFile(const QString& file) {
    const QFileInfo info(file);
    QStringList missing;
    for (QDir dir = info.absoluteDir(); !dir.exists(); dir.setPath(QFileInfo(dir.absolutePath()).absolutePath()))
        missing.prepend(dir.absolutePath());
    for (const QString& dir : std::as_const(missing))
        if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    if (info.exists())
        return true;
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

struct THistoryStore::Private {
    sqlite3* reader = nullptr;
    sqlite3* writer = nullptr;
    qint64 maxEntries = DefaultMaxEntries;
    qint64 countEstimate = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<THistoryEntry> queue;
    int writing = 0;
    bool stop = false;
    std::atomic<bool> recording{false};
    std::atomic<bool> reported{false};
    std::thread thread;

    bool Write(std::deque<THistoryEntry>& batch);
};

THistoryStore::THistoryStore(const QString& file, qint64 maxEntries, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>()), m_file(file) {
    d->maxEntries = maxEntries;
    const QByteArray name = QFile::encodeName(file);
    QString failure;
    if (!PrepareFile(file)) {
        failure = Cause(nullptr);
    } else if (sqlite3_open_v2(name.constData(), &d->reader, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX,
                               nullptr) != SQLITE_OK) {
        failure = Cause(d->reader);
        sqlite3_close(d->reader);
        d->reader = nullptr;
        // A file nobody may write can still be searched.
        if (sqlite3_open_v2(name.constData(), &d->reader, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(d->reader);
            d->reader = nullptr;
        }
    }
    if (d->reader) {
        sqlite3_busy_timeout(d->reader, 2000);
        sqlite3_create_function(d->reader, "hcontains", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                ContainsFunction, nullptr, nullptr);
        if (failure.isEmpty() && sqlite3_db_readonly(d->reader, "main") == 1)
            failure = QStringLiteral("die Datei ist schreibgeschützt");
        if (failure.isEmpty() && (!Exec(d->reader, "PRAGMA journal_mode=WAL") || !Exec(d->reader, Schema)))
            failure = Cause(d->reader);
    }
    if (failure.isEmpty() && sqlite3_open_v2(name.constData(), &d->writer,
                                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK)
        failure = Cause(d->writer);
    if (failure.isEmpty()) {
        sqlite3_busy_timeout(d->writer, 2000);
        // Not lost when the program is killed; only a crash of the system may take the last ones.
        Exec(d->writer, "PRAGMA synchronous=NORMAL");
        TStatement count(d->writer, QStringLiteral("SELECT count(*) FROM entries"));
        if (count.s && sqlite3_step(count.s) == SQLITE_ROW)
            d->countEstimate = sqlite3_column_int64(count.s, 0);
        d->recording = maxEntries > 0;
        d->thread = std::thread([this] {
            for (;;) {
                std::deque<THistoryEntry> batch;
                {
                    std::unique_lock lock(d->mutex);
                    d->wake.wait(lock, [this] { return d->stop || !d->queue.empty(); });
                    if (d->queue.empty())
                        return;
                    batch.swap(d->queue);
                    d->writing = 1;
                }
                if (d->recording && !d->Write(batch)) {
                    d->recording = false;
                    ReportFailure(Cause(d->writer));
                }
                std::lock_guard lock(d->mutex);
                d->writing = 0;
                d->idle.notify_all();
            }
        });
    } else {
        // Queued: whoever creates the store connects to Failure first.
        QMetaObject::invokeMethod(this, [this, failure] { ReportFailure(failure); }, Qt::QueuedConnection);
    }
}

THistoryStore::~THistoryStore() {
    {
        std::lock_guard lock(d->mutex);
        d->stop = true;
    }
    d->wake.notify_all();
    if (d->thread.joinable())
        d->thread.join();
    sqlite3_close(d->writer);
    sqlite3_close(d->reader);
}

void THistoryStore::ReportFailure(const QString& cause) {
    if (d->reported.exchange(true))
        return;
    emit Failure(QStringLiteral("Der Verlauf der Anweisungen kann nicht in '%1' gespeichert werden: %2. "
                                "Das Programm arbeitet ohne diesen Verlauf weiter.")
                     .arg(QDir::toNativeSeparators(m_file), cause));
}

bool THistoryStore::CanRecord() const {
    return d->recording;
}

void THistoryStore::Record(THistoryEntry entry) {
    if (!d->recording)
        return;
    {
        std::lock_guard lock(d->mutex);
        d->queue.push_back(std::move(entry));
    }
    d->wake.notify_one();
}

void THistoryStore::Flush() {
    std::unique_lock lock(d->mutex);
    d->idle.wait(lock, [this] { return !d->thread.joinable() || (d->queue.empty() && d->writing == 0); });
}

bool THistoryStore::Private::Write(std::deque<THistoryEntry>& batch) {
    if (!Exec(writer, "BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    {
        TStatement insert(writer, QStringLiteral("INSERT INTO entries(database, started, duration, records, "
                                                 "failed, error, statement) VALUES (?,?,?,?,?,?,?)"));
        ok = insert.s != nullptr;
        for (const THistoryEntry& e : batch) {
            if (!ok)
                break;
            insert.Bind(1, e.database);
            insert.Bind(2, e.started);
            insert.Bind(3, e.duration);
            insert.Bind(4, e.records);
            insert.Bind(5, qint64(e.failed));
            insert.Bind(6, e.error.section(QLatin1Char('\n'), 0, 0).trimmed());
            insert.Bind(7, KeptText(e.statement));
            ok = sqlite3_step(insert.s) == SQLITE_DONE;
            sqlite3_reset(insert.s);
            ++countEstimate;
        }
    }
    if (ok && countEstimate > maxEntries) {
        TStatement count(writer, QStringLiteral("SELECT count(*) FROM entries"));
        ok = count.s && sqlite3_step(count.s) == SQLITE_ROW;
        if (ok)
            countEstimate = sqlite3_column_int64(count.s, 0);
        if (ok && countEstimate > maxEntries) {
            TStatement prune(writer,
                             QStringLiteral("DELETE FROM entries WHERE id IN (SELECT id FROM entries ORDER BY id LIMIT ?)"));
            prune.Bind(1, countEstimate - maxEntries);
            ok = prune.s && sqlite3_step(prune.s) == SQLITE_DONE;
            countEstimate = maxEntries;
        }
    }
    if (ok && Exec(writer, "COMMIT"))
        return true;
    // The cause is read before the rollback replaces it.
    const int code = sqlite3_extended_errcode(writer);
    Exec(writer, "ROLLBACK");
    return code == SQLITE_OK;
}

QList<THistoryEntry> THistoryStore::Search(const QString& search, const QString& database, int limit,
                                           int previewChars) const {
    QList<THistoryEntry> hits;
    if (!d->reader)
        return hits;
    QStringList indexed;
    QStringList scanned;
    for (const QString& word : search.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        (word.size() >= TrigramLength ? indexed : scanned).append(word);
    const QString text = previewChars > 0 ? QStringLiteral("substr(e.statement, 1, %1)").arg(previewChars)
                                          : QStringLiteral("e.statement");
    QString sql = QStringLiteral("SELECT e.id, e.database, e.started, e.duration, e.records, e.failed, e.error, ") +
                  text;
    QString order;
    if (!indexed.isEmpty()) {
        sql += QStringLiteral(" FROM entries_fts JOIN entries e ON e.id = entries_fts.rowid WHERE entries_fts MATCH ?");
        order = QStringLiteral(" ORDER BY entries_fts.rowid DESC");
    } else {
        sql += QStringLiteral(" FROM entries e WHERE 1");
        order = QStringLiteral(" ORDER BY e.id DESC");
    }
    if (!database.isEmpty())
        sql += QStringLiteral(" AND e.database = ?");
    // SQLite's own LIKE folds ASCII only, but is several times faster than calling back.
    auto ascii = [](const QString& word) {
        return std::all_of(word.begin(), word.end(), [](QChar c) { return c.unicode() < 0x80; });
    };
    for (const QString& word : std::as_const(scanned))
        sql += ascii(word) ? QStringLiteral(" AND e.statement LIKE ? ESCAPE '\\'")
                           : QStringLiteral(" AND hcontains(e.statement, ?)");
    TStatement query(d->reader, sql + order + QStringLiteral(" LIMIT ?"));
    if (!query.s)
        return hits;
    int n = 0;
    if (!indexed.isEmpty()) {
        // Each word a phrase of its own: matched anywhere, all of them required.
        QStringList phrases;
        for (QString word : std::as_const(indexed))
            phrases.append(QLatin1Char('"') + word.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"'));
        query.Bind(++n, phrases.join(QLatin1Char(' ')));
    }
    if (!database.isEmpty())
        query.Bind(++n, database);
    for (QString word : std::as_const(scanned)) {
        if (ascii(word))
            word = QLatin1Char('%') +
                   word.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
                       .replace(QLatin1Char('%'), QStringLiteral("\\%"))
                       .replace(QLatin1Char('_'), QStringLiteral("\\_")) +
                   QLatin1Char('%');
        query.Bind(++n, word);
    }
    query.Bind(++n, qint64(limit));
    while (sqlite3_step(query.s) == SQLITE_ROW) {
        THistoryEntry e;
        e.id = sqlite3_column_int64(query.s, 0);
        e.database = query.Text(1);
        e.started = sqlite3_column_int64(query.s, 2);
        e.duration = sqlite3_column_int64(query.s, 3);
        e.records = sqlite3_column_int64(query.s, 4);
        e.failed = sqlite3_column_int(query.s, 5) != 0;
        e.error = query.Text(6);
        e.statement = query.Text(7);
        hits.append(e);
    }
    return hits;
}

QString THistoryStore::Statement(qint64 id) const {
    if (!d->reader)
        return {};
    TStatement query(d->reader, QStringLiteral("SELECT statement FROM entries WHERE id = ?"));
    query.Bind(1, id);
    return query.s && sqlite3_step(query.s) == SQLITE_ROW ? query.Text(0) : QString();
}

void THistoryStore::Remove(const QList<qint64>& ids) {
    if (!d->reader || ids.isEmpty())
        return;
    bool ok = Exec(d->reader, "BEGIN IMMEDIATE");
    {
        TStatement remove(d->reader, QStringLiteral("DELETE FROM entries WHERE id = ?"));
        for (qint64 id : ids) {
            if (!ok || !remove.s)
                break;
            remove.Bind(1, id);
            ok = sqlite3_step(remove.s) == SQLITE_DONE;
            sqlite3_reset(remove.s);
        }
        ok = ok && remove.s;
    }
    if (ok && Exec(d->reader, "COMMIT"))
        return;
    const QString cause = Cause(d->reader);
    Exec(d->reader, "ROLLBACK");
    throw TError(QStringLiteral("Die Einträge konnten nicht aus dem Verlauf gelöscht werden: %1").arg(cause));
}

QString THistoryStore::KeptText(const QString& statement) {
    // The literal after PASSWORD (ALTER USER, CREATE ROLE …) or IDENTIFIED BY, quotes doubled inside.
    static const QRegularExpression password(QStringLiteral("(\\b(?:PASSWORD|IDENTIFIED\\s+BY)\\s*)'(?:[^']|'')*'"),
                                             QRegularExpression::CaseInsensitiveOption);
    // The line breaks a select is run with are no part of what the user looks for or inserts.
    qsizetype end = statement.size();
    while (end > 0 && statement.at(end - 1).isSpace())
        --end;
    QString kept = statement.left(end);
    kept.replace(password, QStringLiteral("\\1'***'"));
    QByteArray utf8 = kept.toUtf8();
    if (utf8.size() <= MaxStatementBytes)
        return kept;
    end = MaxStatementBytes;
    while (end > 0 && (uchar(utf8.at(end)) & 0xC0) == 0x80)
        --end;
    utf8.truncate(end);
    return QString::fromUtf8(utf8) +
           QStringLiteral("\n-- (gekürzt: die Anweisung war %1 Bytes lang)").arg(QLocale(QLocale::German).toString(qint64(kept.toUtf8().size())));
}

QString THistoryStore::DefaultFile(const QString& settingsFile) {
    return QFileInfo(settingsFile).absolutePath() + QStringLiteral("/history.sqlite");
}

namespace {
THistoryStore* TheHistoryStore = nullptr;
}

THistoryStore* HistoryStore() {
    return TheHistoryStore;
}

void SetHistoryStore(THistoryStore* store) {
    TheHistoryStore = store;
}
