#include "app/Termination.h"

#include "ui/WorkerWait.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};
// How long a close may make no headway (nothing being waited for, the window refusing to
// close, or the GUI thread not answering at all) before a repeated request ends the program.
constexpr long long StallMs = 10000;
constexpr int RetryMs = 250;

int g_pipe[2] = {-1, -1};
// Milliseconds of the monotonic clock; 0 while nothing was requested. Shared with the handler,
// so lock-free atomics only.
std::atomic<long long> g_requestedAt{0};
std::atomic<long long> g_aliveAt{0}; // the GUI thread last worked on the close
std::atomic<bool> g_gaveUp{false};   // the close stalled and the window stays for the user
static_assert(std::atomic<long long>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

long long NowMs() {
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000 + 1; // never 0
}

// Only async-signal-safe calls: the GUI thread does the closing when the byte arrives. A
// desktop session's end sends several signals in a row; none of them may cut short a close
// that is making headway.
void OnSignal(int signal) {
    const int savedErrno = errno;
    const long long now = NowMs();
    long long first = 0;
    if (!g_requestedAt.compare_exchange_strong(first, now)) {
        const long long headway = std::max(first, g_aliveAt.load());
        if (g_gaveUp.load() || now - headway >= StallMs) {
            std::signal(signal, SIG_DFL);
            std::raise(signal);
            return;
        }
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

// Owned by the window: tries to close it until it is closed, and takes the handlers back
// when it goes.
class TTerminationCloser : public QObject {
public:
    explicit TTerminationCloser(QWidget* window)
        : QObject(window)
        , m_window(window)
        , m_notifier(g_pipe[0], QSocketNotifier::Read, this) {
        m_retry.setInterval(RetryMs);
        connect(&m_retry, &QTimer::timeout, this, &TTerminationCloser::TryClose);
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[16];
            while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
            }
            if (m_retry.isActive() || g_gaveUp.load())
                return; // a repeated request: the close under way goes on
            m_headwayAt = NowMs();
            m_retry.start();
            TryClose();
        });
    }

    ~TTerminationCloser() override {
        for (const int signal : Signals)
            std::signal(signal, SIG_DFL);
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
        g_requestedAt = 0;
        g_aliveAt = 0;
        g_gaveUp = false;
    }

private:
    void TryClose() {
        const long long now = NowMs();
        g_aliveAt = now;
        // A connect or a connection test being waited for: the close follows when it ends
        // (the box that follows it is then answered as Cancel), however long it takes.
        if (WorkerWaitRunning()) {
            m_headwayAt = now;
            return;
        }
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != m_window) {
            modal->close();
            if (m_inClose)
                return; // the box the refused close itself shows; that close is still on the stack
        } else if (m_inClose) {
            return;
        } else {
            m_inClose = true;
            const bool closed = m_window->close();
            m_inClose = false;
            if (closed) {
                m_retry.stop();
                return;
            }
        }
        if (NowMs() - m_headwayAt < StallMs)
            return;
        // The window keeps refusing (the settings locked by another program, say): it stays
        // for the user, with the reason left on the screen this time; the next request ends
        // the program at once.
        m_retry.stop();
        g_gaveUp = true;
        if (!QApplication::activeModalWidget()) {
            m_inClose = true;
            m_window->close();
            m_inClose = false;
        }
    }

    QWidget* m_window;
    QSocketNotifier m_notifier;
    QTimer m_retry;
    long long m_headwayAt = 0;
    bool m_inClose = false;
};

} // namespace

void CloseOnTerminationSignals(QWidget* window) {
    // Without the pipe the signals keep their default: the program ends as before, the
    // recovery copy keeps the SQL text.
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    new TTerminationCloser(window);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : Signals)
        sigaddset(&action.sa_mask, signal); // one handler at a time
    action.sa_flags = SA_RESTART;
    for (const int signal : Signals)
        sigaction(signal, &action, nullptr);
}
