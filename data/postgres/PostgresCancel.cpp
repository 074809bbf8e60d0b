#include "data/postgres/PostgresCancel.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/socket.h>
#include <thread>

struct TPgCancelWatch::TState {
    std::mutex Mutex;
    std::condition_variable Ended;
    int Socket = -1;
    std::shared_ptr<PGcancel> Request;
    unsigned long long Calls = 0;
    bool Running = false;
    bool Sending = false; // a cancel request is on its way; a second one would only queue up
    TGiveUp GaveUp = TGiveUp::None;

    // Under Mutex. Only the attached socket is shut down: once Detach ran, its number may
    // belong to anything.
    void ShutDown(TGiveUp why) {
        if (Socket < 0 || GaveUp != TGiveUp::None)
            return;
        ::shutdown(Socket, SHUT_RDWR);
        GaveUp = why;
    }
};

TPgCancelWatch::TPgCancelWatch()
    : m_state(std::make_shared<TState>()) {}

TPgCancelWatch::~TPgCancelWatch() {
    Detach();
}

void TPgCancelWatch::Attach(PGconn* connection) {
    std::shared_ptr<PGcancel> request(PQgetCancel(connection), [](PGcancel* c) {
        if (c)
            PQfreeCancel(c);
    });
    std::lock_guard lock(m_state->Mutex);
    m_state->Socket = PQsocket(connection);
    m_state->Request = std::move(request);
    m_state->GaveUp = TGiveUp::None;
}

void TPgCancelWatch::Detach() {
    std::lock_guard lock(m_state->Mutex);
    m_state->Socket = -1;
    m_state->Request.reset();
}

void TPgCancelWatch::CallStarted() {
    std::lock_guard lock(m_state->Mutex);
    ++m_state->Calls;
    m_state->Running = true;
}

void TPgCancelWatch::CallEnded() {
    {
        std::lock_guard lock(m_state->Mutex);
        m_state->Running = false;
    }
    m_state->Ended.notify_all();
}

void TPgCancelWatch::Cancel() {
    std::unique_lock lock(m_state->Mutex);
    if (!m_state->Running || !m_state->Request)
        return;
    const unsigned long long call = m_state->Calls;
    if (!m_state->Sending) {
        m_state->Sending = true;
        std::thread([state = m_state, request = m_state->Request] {
            char error[256];
            PQcancel(request.get(), error, int(sizeof error));
            std::lock_guard lock(state->Mutex);
            state->Sending = false;
        }).detach();
    }
    lock.unlock();
    std::thread([state = m_state, call] {
        std::unique_lock lock(state->Mutex);
        const bool ended = state->Ended.wait_for(lock, std::chrono::seconds(GiveUpSeconds), [&] {
            return !state->Running || state->Calls != call;
        });
        if (!ended)
            state->ShutDown(TGiveUp::NoAnswer);
    }).detach();
}

void TPgCancelWatch::Abandon() {
    std::lock_guard lock(m_state->Mutex);
    if (m_state->Running)
        m_state->ShutDown(TGiveUp::Closed);
}

TPgCancelWatch::TGiveUp TPgCancelWatch::GaveUp() const {
    std::lock_guard lock(m_state->Mutex);
    return m_state->GaveUp;
}
