#pragma once

#include "export/ExportWriter.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <thread>

// One export of a result to a file, written on a thread of its own. The object lives on the
// GUI thread; the recordset must not change or go away until Finished has come (Wait or
// the destructor, which cancels, make sure of it). Progress is read by polling Written.
class TExportJob : public QObject {
    Q_OBJECT
public:
    TExportJob(const TRecordset& recordset, TExportOptions options, QString target, QObject* parent = nullptr);
    ~TExportJob() override;

    void Start();
    // Asks the worker to stop between rows; the file is then left as it was.
    void Cancel();
    // Blocks until the worker has ended and Finished has been sent.
    void Wait();
    // Blocks until the started worker has written its last byte; callable from any thread (Finished
    // still comes through the GUI thread's event loop, or Wait).
    void AwaitEnd();
    bool Running() const { return m_running; }
    qint64 Written() const { return m_written.load(std::memory_order_relaxed); }
    qint64 Total() const { return m_writer.RowCount(); }
    const QString& Target() const { return m_target; }

signals:
    // Sent once, on the GUI thread: error is empty when the file is complete; cancelled when
    // Cancel stopped it (then error is empty too and nothing was written).
    void Finished(const QString& error, bool cancelled);

private:
    void Run();
    void Deliver();

    TExportWriter m_writer;
    QString m_target;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_written{0};
    bool m_running = false;
    std::mutex m_endMutex;
    std::condition_variable m_endSignal;
    bool m_ended = false;
    // Set by the worker before it ends; read after the join or the queued hand-over.
    QString m_error;
    bool m_cancelled = false;
};
