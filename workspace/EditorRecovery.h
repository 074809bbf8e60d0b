#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <condition_variable>
#include <deque>
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
// A clean close removes the copy and marks when, and which, text was stored.
//
// The folder is used only when it is this user's own and nobody else may write into it;
// every file is reached through the folder's descriptor and never through a link, and a copy
// this user did not write is never offered.
//
// Lives on the GUI thread; the files are written by a thread of its own, so a large text
// never slows typing.
class TEditorRecovery : public QObject {
    Q_OBJECT
public:
    static constexpr int DelayMs = 1000;
    // A copy that could not be written is tried again after this many delays.
    static constexpr int RetryFactor = 5;

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
    // The settings store's file tells when a text reached it from elsewhere (an import).
    TEditorRecovery(TSqlEdit* editor, const QString& folder, const QString& databaseName,
                    const QString& storeFile = {});
    // Finishes a write in flight; the copy stays unless Discard ran.
    ~TEditorRecovery() override;

    // The text of a copy left behind by a workspace that did not close, when it differs from
    // the stored text given and that text did not reach the store later from elsewhere (then
    // the copy goes). The stored text is the one this workspace's copies start from.
    std::optional<TCopy> Recovered(const QStringList& storedLines);
    // Follows the editor's changes from now on; its present text counts as copied.
    void Start();
    // The text is in the settings store now: the copy goes, and the time is marked.
    void Discard();
    // Writes a pending change at once and waits until it is on disk (tests).
    void Flush();
    // The delay after a change before it is copied (tests and benchmarks).
    void SetDelay(int milliseconds);

    // What the user should hear about the copies: why none can be kept (the folder cannot be
    // written or is not private), or that copies of someone else were passed over.
    const QString& Failure() const { return m_failure; }

    QString CopyFile() const;
    QString LockFile() const;
    // Touched whenever a workspace of the database stored its text.
    QString StoredMarker() const;

signals:
    // A copy could not be written; the message says why, in German.
    void WriteFailed(const QString& message);

private:
    void RemoveStaleFiles();
    void TakeSlot();
    // Names in the folder: "<key>-<slot><suffix>" (this slot unless given), the marker.
    QByteArray Name(const QString& suffix, int slot = -1) const;
    QByteArray CopyName() const;
    QByteArray MarkerName() const;
    // The hash of the text the last clean close stored, as its marker says.
    QByteArray MarkedText() const;
    void TimerFired();
    void WriterLoop();
    // Takes the outcomes of the writes (GUI thread; queued by name from the writer).
    Q_INVOKABLE void WriteDone();
    void Write(const QByteArray& text, const QByteArray& base);

    QPointer<TSqlEdit> m_editor;
    QString m_folder;
    QString m_databaseName;
    QString m_storeFile;
    int m_dirFd = -1;
    QString m_key;
    int m_slot = -1;
    int m_recoveredSlot = -1;
    int m_lockFd = -1;
    std::optional<TCopy> m_recovered;
    QByteArray m_recoveredBase;
    qint64 m_recoveredNs = 0;
    QTimer* m_timer = nullptr;
    bool m_reportedFailure = false;
    QString m_failure;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<QByteArray> m_pending;
    std::deque<int> m_writeErrors; // errno of each finished write, 0 for success
    QByteArray m_baseHash; // of the stored text the copies start from
    bool m_writing = false;
    bool m_stop = false;
    std::thread m_writer;
};
