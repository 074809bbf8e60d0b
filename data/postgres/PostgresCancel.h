#pragma once

#include <libpq-fe.h>
#include <memory>

// Cancel requests for one libpq connection that keep nobody waiting. PQcancel opens a
// connection of its own to the server and waits for the server's answer; over a network gone
// silent that wait lasts as long as TCP's time-out, so it runs on a thread of its own. A call
// still running GiveUpSeconds after its cancel was asked for is given up: the connection's
// socket is shut down, which ends the waiting call at once with a lost connection. Any thread.
class TPgCancelWatch {
public:
    static constexpr int GiveUpSeconds = 5;
    enum class TGiveUp { None, NoAnswer, Closed };

    TPgCancelWatch();
    ~TPgCancelWatch();
    TPgCancelWatch(const TPgCancelWatch&) = delete;
    TPgCancelWatch& operator=(const TPgCancelWatch&) = delete;

    // The connection was (re)established, or is about to be closed or reset: the socket that
    // may be shut down is the attached one only.
    void Attach(PGconn* connection);
    void Detach();
    // A call on the connection begins or ends (the thread that runs it).
    void CallStarted();
    void CallEnded();
    // Asks the server to cancel the running call; returns at once.
    void Cancel();
    // Ends the running call now, without asking the server (the connection is closing).
    void Abandon();
    // Whether, and why, the socket was shut down since the last Attach.
    TGiveUp GaveUp() const;

private:
    struct TState;
    std::shared_ptr<TState> m_state;
};
