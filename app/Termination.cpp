#include "app/Termination.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_requested = 0;

// Only async-signal-safe calls: the GUI thread does the closing when the byte arrives.
void OnSignal(int signal) {
    if (g_requested) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_requested = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

// Owned by the window: tries to close it until it is closed, and takes the handlers back
// when it goes.
class TTerminationCloser : public QObject {
public:
    explicit TTerminationCloser(QWidget* window)
        : QObject(window)
        , m_window(window)
        , m_notifier(g_pipe[0], QSocketNotifier::Read, this) {
        // A close can be refused for a moment (a connection or statement being waited for
        // swallows it): it is tried again until the window is gone.
        m_retry.setInterval(250);
        connect(&m_retry, &QTimer::timeout, this, &TTerminationCloser::TryClose);
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            char buffer[16];
            while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
            }
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
        g_requested = 0;
    }

private:
    void TryClose() {
        // A close the window keeps refusing (its error shown and closed each time) is given
        // up after a while; the window stays for the user, a second signal ends the program.
        if (++m_attempts > 40) {
            m_retry.stop();
            return;
        }
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != m_window) {
            modal->close();
            return;
        }
        if (m_window->close())
            m_retry.stop();
    }

    QWidget* m_window;
    QSocketNotifier m_notifier;
    QTimer m_retry;
    int m_attempts = 0;
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
    action.sa_flags = SA_RESTART;
    for (const int signal : Signals)
        sigaction(signal, &action, nullptr);
}
