#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

class QTimer;
class TSqlEdit;

// Keeps a copy of one workspace's editor text in a file of its own, so that typed SQL
// survives a crash: at most DelayMs after the first change since the last copy, the text is
// written to a temporary file, flushed to disk and renamed over the copy. Each workspace of a
// database holds a numbered slot of its own, locked while it is open, so two workspaces never
// mix their texts; a copy whose slot nobody holds was left by a workspace that did not close.
// A clean close removes the copy and marks when the text was stored.
//
// Lives on the GUI thread; the files are written by a thread of its own, so a large text
// never slows typing.
class TEditorRecovery : public QObject {
    Q_OBJECT
public:
    static constexpr int DelayMs = 1000;

    struct TCopy {
        QStringList Lines;
        QDateTime Written;
    };

    // The folder of the copies beside a settings store file ("settings.sqlite" gives
    // "settings-recovery").
    static QString FolderBeside(const QString& storeFile);

    // Takes a slot among the copies of the database in the folder (created private when
    // missing). The newest copy left behind that is newer than the stored text becomes this
    // workspace's slot and is offered by Recovered(); older ones are removed.
    TEditorRecovery(TSqlEdit* editor, const QString& folder, const QString& databaseName);
    // Finishes a write in flight; the copy stays unless Discard ran.
    ~TEditorRecovery() override;

    // The text of a copy left behind by a workspace that did not close, when it differs from
    // the stored text given.
    std::optional<TCopy> Recovered(const QStringList& storedLines) const;
    // Follows the editor's changes from now on; its present text counts as copied.
    void Start();
    // The text is in the settings store now: the copy goes, and the time is marked.
    void Discard();
    // Writes a pending change at once and waits until it is on disk (tests).
    void Flush();
    // The delay after a change before it is copied (tests and benchmarks).
    void SetDelay(int milliseconds);

    // Why no copy can be kept (the folder cannot be written); empty while copies work.
    const QString& Failure() const { return m_failure; }

    QString CopyFile() const;
    QString LockFile() const;
    // Touched whenever a workspace of the database stored its text.
    QString StoredMarker() const;

signals:
    // A copy could not be written; the message says why, in German.
    void WriteFailed(const QString& message);

private:
    void TakeSlot();
    void TimerFired();
    void WriterLoop();
    void Write(const QByteArray& text);

    QPointer<TSqlEdit> m_editor;
    QString m_folder;
    QString m_databaseName;
    QString m_key;
    int m_slot = -1;
    int m_recoveredSlot = -1;
    QByteArray m_copyPath; // fixed before the writer starts
    int m_lockFd = -1;
    std::optional<TCopy> m_recovered;
    QTimer* m_timer = nullptr;
    bool m_reportedFailure = false;
    QString m_failure;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<QByteArray> m_pending;
    bool m_writing = false;
    bool m_stop = false;
    std::thread m_writer;
};
