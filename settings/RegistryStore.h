#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "settings/Error.h"

struct sqlite3;
struct sqlite3_stmt;

// Value types as the registry numbers them; the data of a value keeps the registry's bytes
// (REG_SZ: UTF-16LE with its terminating NUL, REG_DWORD: 4 bytes little-endian).
enum TRegType : quint32 {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegDwordBigEndian = 5,
    RegLink = 6,
    RegMultiSz = 7,
    RegQword = 11,
};

struct TRegValue {
    QString Name;
    quint32 Type = RegSz;
    QByteArray Data;
};

struct TRegKey {
    qint64 Id = 0;
    QString Name;
};

// A failure of the store file itself. The message is its cause in German ("der Datenträger ist
// voll"); callers put it behind the message of their operation.
class TStoreError : public TError {
public:
    using TError::TError;
    QString ClassName() const override { return QStringLiteral("TStoreError"); }
};

// The cause of an SQLite failure in German, from its extended result code and the system's
// error number (0 when none).
QString StoreFailureCause(int extendedCode, int systemErrno);

// A registry-like tree of keys and typed values in one SQLite file, standing in for the
// current user's registry hive. Key and value names compare case-insensitively (each UTF-16
// unit upper-cased, as the registry does); values enumerate in creation order and keep their
// place when overwritten; subkeys enumerate by name. Key 0 is the root (HKEY_CURRENT_USER).
// Several processes may open the same file: writers take the lock at BEGIN and wait for each
// other, at most LockWaitMs; a longer wait fails as "in use". The file is private to its user
// (0600, folders created 0700). A file that cannot be written is opened read-only.
// One object belongs to one thread.
class TRegistryStore {
public:
    static constexpr int LockWaitMs = 2000;

    // Opens or creates the file (and its directories). Throws TError when it cannot.
    explicit TRegistryStore(const QString& file);
    ~TRegistryStore();
    TRegistryStore(const TRegistryStore&) = delete;
    TRegistryStore& operator=(const TRegistryStore&) = delete;

    const QString& FileName() const { return m_file; }
    // The file could only be opened for reading: every write fails.
    bool ReadOnly() const { return m_readOnly; }
    // Why the file stays readable by other users (its mode could not be tightened), or empty.
    const QString& OpenToOthers() const { return m_openToOthers; }

    // Called with true when an operation starts to wait for another program's lock and with
    // false when the wait is over (the user interface shows the hourglass meanwhile).
    static void SetLockWaitNotifier(std::function<void(bool)> notifier);

    // One transaction; rolled back unless committed. Write transactions take the write lock
    // at once, so two programs never interleave a read-modify-write.
    class Transaction {
    public:
        Transaction(TRegistryStore& store, bool write);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void Commit();

    private:
        TRegistryStore& m_store;
        bool m_open = false;
    };

    // A path's parts below the root; empty parts (doubled or outer backslashes) are dropped.
    static QStringList SplitPath(const QString& path);
    static QString FoldName(const QString& name);

    // The key's id, or nullopt when any part of the path is missing.
    std::optional<qint64> FindKey(const QStringList& path);
    // Finds or creates the key with all missing parents.
    qint64 CreateKey(const QStringList& path);
    QList<TRegKey> SubKeys(qint64 key);
    QList<TRegValue> Values(qint64 key);
    QStringList ValueNames(qint64 key);
    std::optional<TRegValue> Value(qint64 key, const QString& name);
    void SetValue(qint64 key, const QString& name, quint32 type, const QByteArray& data);
    bool DeleteValue(qint64 key, const QString& name);
    // Removes the key with all its values and subkeys. The root cannot be removed.
    void DeleteKey(qint64 key);

private:
    class Statement;
    void Exec(const char* sql);
    [[noreturn]] void Fail();
    bool CheckFormat();
    void CreateSchema();
    void OpenDatabase(const QByteArray& name, int flags);
    void CloseDatabase();
    static int BusyHandler(void* store, int count);
    void EndLockWait();

    QString m_file;
    sqlite3* m_db = nullptr;
    bool m_readOnly = false;
    QString m_openToOthers;
    qint64 m_lockWaitStart = -1; // milliseconds of a monotonic clock while waiting
    // Idle prepared statements by their SQL text (the literal's address).
    QHash<const char*, sqlite3_stmt*> m_statements;
};

// UTF-16LE bytes of a text with the terminating NUL, as REG_SZ stores it.
QByteArray RegStringData(const QString& text);
// The text of REG_SZ bytes, up to the first NUL (an odd last byte is ignored).
QString RegStringText(const QByteArray& data);
