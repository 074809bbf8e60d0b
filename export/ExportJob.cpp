#include "export/ExportJob.h"

#include "export/ExportFile.h"
#include "settings/Error.h"

#include <QPointer>

TExportJob::TExportJob(const TRecordset& recordset, TExportOptions options, QString target, QObject* parent)
    : QObject(parent), m_writer(recordset, std::move(options)), m_target(std::move(target)) {}

TExportJob::~TExportJob() {
    Cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void TExportJob::Start() {
    Q_ASSERT(!m_running && !m_thread.joinable());
    m_running = true;
    m_thread = std::thread([this] { Run(); });
}

void TExportJob::Cancel() {
    m_stop.store(true, std::memory_order_relaxed);
}

void TExportJob::Wait() {
    if (m_thread.joinable())
        m_thread.join();
    Deliver();
}

void TExportJob::AwaitEnd() {
    std::unique_lock lock(m_endMutex);
    m_endSignal.wait(lock, [this] { return m_ended; });
}

void TExportJob::Run() {
    try {
        TExportFile file(m_target);
        if (m_writer.Write(file, m_stop, m_written))
            file.Commit();
        else
            m_cancelled = true;
    } catch (const TError& e) {
        m_error = e.Message();
    } catch (const std::bad_alloc&) {
        m_error = QStringLiteral("Nicht genug Arbeitsspeicher für den Export nach %1").arg(m_target);
    } catch (const std::exception& e) {
        m_error = QString::fromLocal8Bit(e.what());
    }
    {
        std::lock_guard lock(m_endMutex);
        m_ended = true;
    }
    m_endSignal.notify_all();
    // The hand-over is queued; a job destroyed before it runs has joined this thread already.
    QMetaObject::invokeMethod(this, [this] {
        if (m_thread.joinable())
            m_thread.join();
        Deliver();
    }, Qt::QueuedConnection);
}

void TExportJob::Deliver() {
    if (!m_running)
        return;
    m_running = false;
    emit Finished(m_error, m_cancelled && m_error.isEmpty());
}
