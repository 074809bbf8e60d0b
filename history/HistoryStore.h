#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// One statement as the history keeps it.
struct THistoryEntry {
    qint64 id = 0;
    QString database;
    qint64 started = 0;  // ms since the epoch
    qint64 duration = 0; // ms
    qint64 records = -1; // record count or affected rows; -1 when none was reported
    bool failed = false;
    QString error; // first line of the error message
    QString statement;
};

// The lasting statement history: one SQLite file of its own with a trigram full-text index.
// Record() only queues the entry; a writer thread of its own writes it, so a run never waits
// for the disk. Searching and removing run on the caller's thread on a connection of its own.
// A file that cannot be written (read-only, locked, disk full) is reported once through
// Failure(); recording then stops and the program goes on without it.
class THistoryStore : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 DefaultMaxEntries = 200000;
    static constexpr qsizetype MaxStatementBytes = 1024 * 1024;

    // Opens (creates) the file; never throws: a file that cannot be opened reports Failure()
    // once the event loop runs and leaves the store without history.
    explicit THistoryStore(const QString& file, qint64 maxEntries = DefaultMaxEntries, QObject* parent = nullptr);
    ~THistoryStore() override;

    const QString& FileName() const { return m_file; }
    bool CanRecord() const;
    // Queues one finished statement; costs the caller no disk access.
    void Record(THistoryEntry entry);
    // Waits until every queued entry is written (or dropped after a failure).
    void Flush();

    // Hits for the words of `search` (all must occur anywhere, case-insensitive), newest
    // first, at most `limit`; only those of `database` unless it is empty. The statement is
    // cut to `previewChars` characters (0: whole).
    QList<THistoryEntry> Search(const QString& search, const QString& database, int limit = 200,
                                int previewChars = 0) const;
    QString Statement(qint64 id) const;
    void Remove(const QList<qint64>& ids);

    // The text as it is kept: password literals masked, longer than MaxStatementBytes cut
    // with a note.
    static QString KeptText(const QString& statement);

    static QString DefaultFile(const QString& settingsFile);

signals:
    // German, once per store.
    void Failure(const QString& message);

private:
    struct Private;
    std::unique_ptr<Private> d;
    QString m_file;
    void ReportFailure(const QString& message);
};

// The program's one history, opened by the main window; nullptr without one. Not owned.
THistoryStore* HistoryStore();
void SetHistoryStore(THistoryStore* store);
