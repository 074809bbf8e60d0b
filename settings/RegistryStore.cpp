#include "settings/RegistryStore.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <sqlite3.h>

namespace {

// "Tabu" in the file header, so another program's database is never taken for ours.
constexpr int ApplicationId = 0x54616275;
constexpr int SchemaVersion = 1;
constexpr int BusyTimeoutMs = 15000;
static_assert(ApplicationId == 1415668341, "the PRAGMA below spells it in decimal");

} // namespace

// A prepared statement borrowed from the store's cache and given back, reset, on every path out.
class TRegistryStore::Statement {
public:
    Statement(TRegistryStore& store, const char* sql)
        : m_store(store)
        , m_sql(sql) {
        m_stmt = store.m_statements.take(sql);
        if (!m_stmt &&
            sqlite3_prepare_v3(store.m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) != SQLITE_OK)
            store.Fail();
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
    if (!QDir().mkpath(dir))
        throw TError(QStringLiteral("Der Ordner '%1' für die Einstellungsdatei kann nicht angelegt werden.")
                         .arg(QDir::toNativeSeparators(dir)));
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    try {
        if (rc != SQLITE_OK)
            Fail();
        sqlite3_busy_timeout(m_db, BusyTimeoutMs);
        sqlite3_extended_result_codes(m_db, 1);
        CreateSchema();
    } catch (const TStoreError& e) {
        for (sqlite3_stmt* statement : std::as_const(m_statements))
            sqlite3_finalize(statement);
        m_statements.clear();
        sqlite3_close(m_db);
        m_db = nullptr;
        throw TError(QStringLiteral("Die Einstellungsdatei '%1' kann nicht geöffnet werden: %2")
                         .arg(QDir::toNativeSeparators(file), e.Message()));
    }
}

TRegistryStore::~TRegistryStore() {
    for (sqlite3_stmt* statement : std::as_const(m_statements))
        sqlite3_finalize(statement);
    sqlite3_close(m_db);
}

void TRegistryStore::CreateSchema() {
    // Checked before anything is written, so another program's database stays untouched.
    const auto checkFormat = [this] {
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
    };
    if (checkFormat())
        return;
    // WAL lets a reader go on while another program writes; a file system without shared
    // memory simply keeps the rollback journal.
    Exec("PRAGMA journal_mode=WAL");
    Transaction tx(*this, true);
    if (checkFormat())
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
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        sqlite3_free(error);
        Fail();
    }
}

void TRegistryStore::Fail() {
    throw TStoreError(m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory"));
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
