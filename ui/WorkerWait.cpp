#include "ui/WorkerWait.h"

#include "ui/ErrorHandler.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QWidget>

#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// What the worker and the waiting GUI thread share; outlives an abandoned wait.
struct TWaitState {
    std::mutex Mutex;
    QEventLoop* Loop = nullptr; // null once the GUI thread stopped waiting
    bool Done = false;
    std::exception_ptr Failure;
};

// Swallows the user's input while the GUI thread waits; Escape abandons when allowed.
class TInputBlocker : public QObject {
public:
    TInputBlocker(QEventLoop& loop, bool abandonable, std::function<void()> cancel = {})
        : m_loop(loop)
        , m_abandonable(abandonable)
        , m_cancel(std::move(cancel)) {}
    bool Abandoned = false;
    std::exception_ptr CancelFailure;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (m_abandonable && key->key() == Qt::Key_Escape) {
                Abandoned = true;
                m_loop.quit();
            } else if (m_cancel && !key->isAutoRepeat() &&
                       (key->key() == Qt::Key_Escape ||
                        (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::ControlModifier))) {
                Cancel();
            }
            return true;
        }
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        case QEvent::Close:
            // Closing the window in the middle would close what is still being set up, or the
            // connection the work runs on. Work that can be stopped is: whoever wants to close
            // (a termination signal tries again) need not wait for a server that keeps silent.
            if (m_cancel && watched->isWidgetType() &&
                static_cast<QWidget*>(watched)->windowType() == Qt::Window) {
                Cancel();
                event->ignore();
                return true;
            }
            if (event->spontaneous()) {
                event->ignore();
                return true;
            }
            return false;
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    void Cancel() {
        // An error of the cancel is kept and shown once the wait is over: a box shown now
        // could not be answered while this filter swallows the input.
        try {
            m_cancel();
        } catch (...) {
            if (!CancelFailure)
                CancelFailure = std::current_exception();
        }
    }

    QEventLoop& m_loop;
    bool m_abandonable;
    std::function<void()> m_cancel;
};

bool Wait(std::function<void()> work, bool abandonable, std::function<void()> cancel);

int g_waits = 0; // GUI thread only

} // namespace

bool WorkerWaitRunning() {
    return g_waits > 0;
}

bool RunInWorker(std::function<void()> work, bool abandonable) {
    return Wait(std::move(work), abandonable, {});
}

void RunInWorkerCancellable(std::function<void()> work, std::function<void()> cancel) {
    Wait(std::move(work), false, std::move(cancel));
}

namespace {

bool Wait(std::function<void()> work, bool abandonable, std::function<void()> cancel) {
    ++g_waits;
    const auto counted = qScopeGuard([] { --g_waits; });
    auto state = std::make_shared<TWaitState>();
    QEventLoop loop;
    state->Loop = &loop;
    TInputBlocker blocker(loop, abandonable, std::move(cancel));
    qApp->installEventFilter(&blocker);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::thread([state, work = std::move(work)] {
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(state->Mutex);
        state->Done = true;
        // Handed over, not shared: the GUI thread takes it out, so that the exception is
        // released where it is read (a release here, after the worker's lambda, is ordered by
        // the standard library's own counters, which a thread checker does not see).
        state->Failure = std::move(failure);
        if (state->Loop)
            QMetaObject::invokeMethod(state->Loop, "quit", Qt::QueuedConnection);
    }).detach();

    bool done = false;
    std::exception_ptr failure;
    while (!done && !blocker.Abandoned) {
        loop.exec();
        std::lock_guard lock(state->Mutex);
        done = state->Done;
        failure = std::move(state->Failure);
    }
    {
        std::lock_guard lock(state->Mutex);
        state->Loop = nullptr;
    }
    QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(&blocker);
    if (blocker.CancelFailure)
        RunGuarded([&blocker] { std::rethrow_exception(blocker.CancelFailure); });
    if (!done)
        return false;
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

} // namespace
