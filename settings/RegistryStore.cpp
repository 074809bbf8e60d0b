#include "settings/RegistryStore.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QtDebug>
#include <QtEndian>

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "Tabu" in the file header, so another program's database is never taken for ours.
constexpr int ApplicationId = 0x54616275;
constexpr int SchemaVersion = 1;
static_assert(ApplicationId == 1415668341, "the PRAGMA below spells it in decimal");

std::function<void(bool)>& LockWaitNotifier() {
    static std::function<void(bool)> notifier;
    return notifier;
}

qint64 MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Creates the missing folders of a path, each readable by its user alone: the store holds
// passwords inside connection strings.
bool MakePrivatePath(const QString& dir) {
    const QFileInfo info(dir);
    if (info.isDir())
        return true;
    if (info.exists())
        return false;
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath() && !MakePrivatePath(parent))
        return false;
    return ::mkdir(QFile::encodeName(info.absoluteFilePath()).constData(), 0700) == 0 || errno == EEXIST;
}

// Takes the access of group and others from an existing file. Returns the reason when the file
// stays open to others (it holds passwords in connection strings), else an empty text.
QString MakePrivate(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 077) == 0)
        return {};
    if (::chmod(path.constData(), st.st_mode & 07700) == 0)
        return {};
    return errno == EPERM ? QStringLiteral("sie gehört einem anderen Benutzer")
                          : QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString StoreFailureCause(int extendedCode, int systemErrno) {
    const int primary = extendedCode & 0xff;
    const bool system = primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN || primary == SQLITE_FULL;
    const int error = system ? systemErrno : 0;
    if (primary == SQLITE_FULL || error == ENOSPC || error == EDQUOT)
        return QStringLiteral("der Datenträger ist voll");
    if (primary == SQLITE_READONLY || error == EROFS)
        return QStringLiteral("die Einstellungsdatei ist schreibgeschützt");
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        return QStringLiteral("die Einstellungen werden gerade von einem anderen Programm benutzt");
    if (primary == SQLITE_NOTADB)
        return QStringLiteral("die Datei ist keine Einstellungsdatei");
    if (primary == SQLITE_CORRUPT)
        return QStringLiteral("die Einstellungsdatei ist beschädigt");
    if (primary == SQLITE_NOMEM || error == ENOMEM)
        return QStringLiteral("nicht genug Arbeitsspeicher");
    if (primary == SQLITE_PERM || primary == SQLITE_AUTH || error == EACCES || error == EPERM)
        return QStringLiteral("keine Berechtigung für die Einstellungsdatei");
    if (error == EISDIR)
        return QStringLiteral("an ihrer Stelle steht ein Ordner");
    if (primary == SQLITE_CANTOPEN)
        return QStringLiteral("die Datei lässt sich nicht öffnen");
    if (primary == SQLITE_IOERR)
        return QStringLiteral("Ein-/Ausgabefehler beim Zugriff auf die Einstellungsdatei");
    if (primary == SQLITE_CONSTRAINT || primary == SQLITE_ABORT)
        return QStringLiteral("die Datenbank hat die Änderung abgewiesen");
    return QStringLiteral("unerwarteter Fehler der Datenbank (SQLite-Code %1)").arg(extendedCode);
}

void TRegistryStore::SetLockWaitNotifier(std::function<void(bool)> notifier) {
    LockWaitNotifier() = std::move(notifier);
}

// A prepared statement borrowed from the store's cache and given back, reset, on every path out.
class TRegistryStore::Statement {
public:
    Statement(TRegistryStore& store, const char* sql)
        : m_store(store)
        , m_sql(sql) {
        m_stmt = store.m_statements.take(sql);
        if (!m_stmt) {
            const int rc =
                sqlite3_prepare_v3(store.m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
            store.EndLockWait();
            if (rc != SQLITE_OK)
                store.Fail();
        }
    }
    ~Statement() {
        // Kept for the next use; a second statement of the same text is simply dropped.
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        if (m_store.m_statements.contains(m_sql))
            sqlite3_finalize(m_stmt);
        else
            m_store.m_statements.insert(m_sql, m_stmt);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, qint64 value) {
        sqlite3_bind_int64(m_stmt, index, value);
        return *this;
    }
    Statement& Bind(int index, const QString& value) {
        sqlite3_bind_text16(m_stmt, index, value.isNull() ? static_cast<const void*>(u"") : value.utf16(),
                            int(value.size() * 2), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int index, const QByteArray& value) {
        if (value.isEmpty())
            sqlite3_bind_zeroblob(m_stmt, index, 0);
        else
            sqlite3_bind_blob(m_stmt, index, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // True while there is a row.
    bool Step() {
        const int rc = sqlite3_step(m_stmt);
        m_store.EndLockWait();
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            m_store.Fail();
        return false;
    }
    qint64 Int(int column) { return sqlite3_column_int64(m_stmt, column); }
    QString Text(int column) {
        const void* text = sqlite3_column_text16(m_stmt, column);
        return QString(static_cast<const QChar*>(text), sqlite3_column_bytes16(m_stmt, column) / 2);
    }
    QByteArray Blob(int column) {
        const void* data = sqlite3_column_blob(m_stmt, column);
        return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(m_stmt, column));
    }

private:
    TRegistryStore& m_store;
    const char* m_sql;
    sqlite3_stmt* m_stmt = nullptr;
};

TRegistryStore::TRegistryStore(const QString& file)
    : m_file(file) {
    const QString dir = QFileInfo(file).absolutePath();
    if (!MakePrivatePath(dir))
        throw TError(QStringLiteral("Der Ordner '%1' für die Einstellungsdatei kann nicht angelegt werden.")
                         .arg(QDir::toNativeSeparators(dir)));
    const QByteArray name = QFile::encodeName(file);
    // Created private before SQLite sees it; SQLite gives its journal files the same mode.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    // SQLite would read a device or a folder as an empty store and fail at the first write
    // with an I/O error; the user reads what the name really is.
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        throw TError(QStringLiteral("Die Einstellungsdatei '%1' kann nicht geöffnet werden: %2")
                         .arg(QDir::toNativeSeparators(file),
                              S_ISDIR(st.st_mode)                            ? QStringLiteral("sie ist ein Ordner, keine Datei")
                              : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? QStringLiteral("sie ist ein Gerät, keine Datei")
                                                                             : QStringLiteral("sie ist keine gewöhnliche Datei")));
    try {
        try {
            OpenDatabase(name, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            // SQLite falls back to reading when the file cannot be written.
            m_readOnly = sqlite3_db_readonly(m_db, "main") == 1;
            CreateSchema();
        } catch (const TStoreError&) {
            // In a folder that cannot be written SQLite cannot make the files it reads a
            // journal with; nobody can change the store there, so it is read as it is.
            const QFileInfo info(file);
            if (!info.isFile() || QFileInfo(dir).isWritable())
                throw;
            CloseDatabase();
            OpenDatabase("file:" + QUrl::toPercentEncoding(info.absoluteFilePath(), "/") + "?immutable=1",
                         SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
            m_readOnly = true;
            CreateSchema();
        }
    } catch (const TStoreError& e) {
        CloseDatabase();
        throw TError(QStringLiteral("Die Einstellungsdatei '%1' kann nicht geöffnet werden: %2")
                         .arg(QDir::toNativeSeparators(file), e.Message()));
    }
    // Only a file known to be ours is tightened: another program's database keeps its mode.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const QString reason = MakePrivate(name + suffix);
        if (m_openToOthers.isEmpty() && !reason.isEmpty())
            m_openToOthers = reason;
    }
}

void TRegistryStore::CloseDatabase() {
    for (sqlite3_stmt* statement : std::as_const(m_statements))
        sqlite3_finalize(statement);
    m_statements.clear();
    sqlite3_close(m_db);
    m_db = nullptr;
}

TRegistryStore::~TRegistryStore() {
    CloseDatabase();
}

void TRegistryStore::OpenDatabase(const QByteArray& name, int flags) {
    const int rc = sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK)
        Fail();
    sqlite3_busy_handler(m_db, &TRegistryStore::BusyHandler, this);
    sqlite3_extended_result_codes(m_db, 1);
}

int TRegistryStore::BusyHandler(void* self, int count) {
    auto* store = static_cast<TRegistryStore*>(self);
    const qint64 now = MonotonicMs();
    if (count == 0 || store->m_lockWaitStart < 0) {
        store->m_lockWaitStart = now;
        if (LockWaitNotifier())
            LockWaitNotifier()(true);
    }
    if (now - store->m_lockWaitStart >= LockWaitMs)
        return 0; // fails as SQLITE_BUSY: "in use"
    sqlite3_sleep(20);
    return 1;
}

void TRegistryStore::EndLockWait() {
    if (m_lockWaitStart < 0)
        return;
    m_lockWaitStart = -1;
    if (LockWaitNotifier())
        LockWaitNotifier()(false);
}

// Checked before anything is written, so another program's database stays untouched.
bool TRegistryStore::CheckFormat() {
    Statement ids(*this, "SELECT (SELECT application_id FROM pragma_application_id),"
                         " (SELECT user_version FROM pragma_user_version),"
                         " (SELECT count(*) FROM sqlite_master)");
    ids.Step();
    const qint64 appId = ids.Int(0), version = ids.Int(1), objects = ids.Int(2);
    if (appId != ApplicationId && (appId != 0 || objects != 0))
        throw TStoreError(QStringLiteral("keine Einstellungsdatei von Tabulo"));
    if (version > SchemaVersion)
        throw TStoreError(QStringLiteral("die Datei stammt von einer neueren Version von Tabulo"));
    return appId == ApplicationId;
}

void TRegistryStore::CreateSchema() {
    if (CheckFormat())
        return;
    if (m_readOnly) {
        // An empty file that cannot be written holds no settings: an empty store in memory
        // stands in for it, still read-only to the program.
        CloseDatabase();
        OpenDatabase(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    }
    // WAL lets a reader go on while another program writes; a file system without shared
    // memory simply keeps the rollback journal.
    Exec("PRAGMA journal_mode=WAL");
    Transaction tx(*this, true);
    if (CheckFormat())
        return; // another program created it meanwhile
    Exec("CREATE TABLE reg_key(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,"
         " fold TEXT NOT NULL, UNIQUE(parent, fold))");
    // Rowids only grow while rows exist, so ordering by id is the order of creation.
    Exec("CREATE TABLE reg_value(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
         " fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold))");
    Exec("PRAGMA application_id=1415668341");
    Exec("PRAGMA user_version=1");
    tx.Commit();
}

void TRegistryStore::Exec(const char* sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &error);
    EndLockWait();
    if (rc != SQLITE_OK) {
        sqlite3_free(error);
        Fail();
    }
}

void TRegistryStore::Fail() {
    if (!m_db)
        throw TStoreError(StoreFailureCause(SQLITE_NOMEM, 0));
    // The user reads the cause in German; SQLite's own words go to the log where they add
    // something (another program holding the lock is all that "database is locked" says).
    const int primary = sqlite3_errcode(m_db);
    if (primary != SQLITE_BUSY && primary != SQLITE_LOCKED)
        qWarning("Settings store %s: %s", qUtf8Printable(m_file), sqlite3_errmsg(m_db));
    throw TStoreError(StoreFailureCause(sqlite3_extended_errcode(m_db), sqlite3_system_errno(m_db)));
}

TRegistryStore::Transaction::Transaction(TRegistryStore& store, bool write)
    : m_store(store) {
    // An operation inside another one's transaction simply joins it.
    if (!sqlite3_get_autocommit(store.m_db))
        return;
    store.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN");
    m_open = true;
}

TRegistryStore::Transaction::~Transaction() {
    if (m_open)
        sqlite3_exec(m_store.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void TRegistryStore::Transaction::Commit() {
    if (!m_open)
        return;
    m_store.Exec("COMMIT");
    m_open = false;
}

QStringList TRegistryStore::SplitPath(const QString& path) {
    return path.split(u'\\', Qt::SkipEmptyParts);
}

QString TRegistryStore::FoldName(const QString& name) {
    QString folded = name;
    for (QChar& c : folded)
        c = c.toUpper();
    return folded;
}

std::optional<qint64> TRegistryStore::FindKey(const QStringList& path) {
    qint64 key = 0;
    for (const QString& part : path) {
        Statement find(*this, "SELECT id FROM reg_key WHERE parent=?1 AND fold=?2");
        find.Bind(1, key).Bind(2, FoldName(part));
        if (!find.Step())
            return std::nullopt;
        key = find.Int(0);
    }
    return key;
}

qint64 TRegistryStore::CreateKey(const QStringList& path) {
    qint64 key = 0;
    for (const QString& part : path) {
        Statement find(*this, "SELECT id FROM reg_key WHERE parent=?1 AND fold=?2");
        find.Bind(1, key).Bind(2, FoldName(part));
        if (find.Step()) {
            key = find.Int(0);
            continue;
        }
        Statement insert(*this, "INSERT INTO reg_key(parent, name, fold) VALUES(?1, ?2, ?3)");
        insert.Bind(1, key).Bind(2, part).Bind(3, FoldName(part)).Step();
        key = sqlite3_last_insert_rowid(m_db);
    }
    return key;
}

QList<TRegKey> TRegistryStore::SubKeys(qint64 key) {
    QList<TRegKey> keys;
    Statement list(*this, "SELECT id, name FROM reg_key WHERE parent=?1 ORDER BY fold");
    list.Bind(1, key);
    while (list.Step())
        keys.append({list.Int(0), list.Text(1)});
    return keys;
}

QList<TRegValue> TRegistryStore::Values(qint64 key) {
    QList<TRegValue> values;
    Statement list(*this, "SELECT name, type, data FROM reg_value WHERE key=?1 ORDER BY id");
    list.Bind(1, key);
    while (list.Step())
        values.append({list.Text(0), quint32(list.Int(1)), list.Blob(2)});
    return values;
}

QStringList TRegistryStore::ValueNames(qint64 key) {
    QStringList names;
    Statement list(*this, "SELECT name FROM reg_value WHERE key=?1 ORDER BY id");
    list.Bind(1, key);
    while (list.Step())
        names.append(list.Text(0));
    return names;
}

std::optional<TRegValue> TRegistryStore::Value(qint64 key, const QString& name) {
    Statement find(*this, "SELECT name, type, data FROM reg_value WHERE key=?1 AND fold=?2");
    find.Bind(1, key).Bind(2, FoldName(name));
    if (!find.Step())
        return std::nullopt;
    return TRegValue{find.Text(0), quint32(find.Int(1)), find.Blob(2)};
}

void TRegistryStore::SetValue(qint64 key, const QString& name, quint32 type, const QByteArray& data) {
    // Overwriting keeps the value's place in the enumeration and the case of its name.
    Statement upsert(*this, "INSERT INTO reg_value(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                            " ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data");
    upsert.Bind(1, key).Bind(2, name).Bind(3, FoldName(name)).Bind(4, qint64(type)).Bind(5, data).Step();
}

bool TRegistryStore::DeleteValue(qint64 key, const QString& name) {
    Statement remove(*this, "DELETE FROM reg_value WHERE key=?1 AND fold=?2");
    remove.Bind(1, key).Bind(2, FoldName(name)).Step();
    return sqlite3_changes(m_db) > 0;
}

void TRegistryStore::DeleteKey(qint64 key) {
    Q_ASSERT(key != 0);
    Statement values(*this, "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                            " SELECT k.id FROM reg_key k JOIN sub ON k.parent=sub.id)"
                            " DELETE FROM reg_value WHERE key IN sub");
    values.Bind(1, key).Step();
    Statement keys(*this, "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL"
                          " SELECT k.id FROM reg_key k JOIN sub ON k.parent=sub.id)"
                          " DELETE FROM reg_key WHERE id IN sub");
    keys.Bind(1, key).Step();
}

QByteArray RegStringData(const QString& text) {
    QByteArray data(int((text.size() + 1) * 2), '\0');
    char16_t* out = reinterpret_cast<char16_t*>(data.data());
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<quint16>(text.at(i).unicode(), out + i);
    return data;
}

QString RegStringText(const QByteArray& data) {
    QString text;
    const qsizetype units = data.size() / 2;
    text.reserve(units);
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t c = qFromLittleEndian<quint16>(data.constData() + 2 * i);
        if (c == 0)
            break;
        text.append(QChar(c));
    }
    return text;
}
