// The connect limit of a send. WinInet may ignore INTERNET_OPTION_CONNECT_TIMEOUT (Wine does, at
// every level), and a blocked call cannot be ended from another thread: closing its handles
// does not make it return. So the call is made on a thread of its own, the library's status
// reports say when connecting begins and ends, and a caller whose connect has taken too long
// stops waiting and leaves the call behind. The call ends by itself later (when the system gives
// up on the connection, or with the process); the state it shares with the caller is kept alive
// by whichever of the two leaves last.
#include "platform/win32/bounded_send.h"

#include <process.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>

namespace mivetrak {

namespace {

using Clock = std::chrono::steady_clock;

// The connect limit of a request whose own cannot be read: the library's default.
constexpr DWORD kDefaultConnectLimit = 60000;

struct PendingSend {
    std::mutex lock;
    std::condition_variable changed;
    bool finished = false;
    bool succeeded = false;
    DWORD error = 0;
    bool connecting = false;
    Clock::time_point connectStarted;
    // When the request began to wait for its answer: once connected, or at the send when the
    // connection was already there.
    Clock::time_point answerAwaited = Clock::now();
};

// The send that this thread is making: set only on a sending thread, for the length of its call.
// The library reports on the thread whose call caused the report; the report of a handle being
// closed comes on the closing thread, which finds nothing here.
thread_local PendingSend* currentSend = nullptr;

void CALLBACK OnStatus(HINTERNET, DWORD_PTR, DWORD status, LPVOID, DWORD) {
    PendingSend* send = currentSend;
    if (send == nullptr) return;
    {
        std::lock_guard<std::mutex> guard(send->lock);
        switch (status) {
            case INTERNET_STATUS_RESOLVING_NAME:
            case INTERNET_STATUS_CONNECTING_TO_SERVER:
                // The lookup and the connection count as one connect.
                if (!send->connecting) {
                    send->connecting = true;
                    send->connectStarted = Clock::now();
                }
                break;
            case INTERNET_STATUS_CONNECTED_TO_SERVER:
                send->connecting = false;
                send->answerAwaited = Clock::now();
                break;
            default:
                return;
        }
    }
    send->changed.notify_all();
}

struct SendStart {
    HINTERNET request;
    std::shared_ptr<PendingSend> send;
};

void Finish(PendingSend& send, BOOL succeeded, DWORD error) {
    {
        std::lock_guard<std::mutex> guard(send.lock);
        send.finished = true;
        send.succeeded = succeeded != FALSE;
        send.error = error;
    }
    send.changed.notify_all();
}

unsigned __stdcall SendThread(void* raw) {
    const std::unique_ptr<SendStart> start(static_cast<SendStart*>(raw));
    currentSend = start->send.get();
    const BOOL succeeded = HttpSendRequestA(start->request, nullptr, 0, nullptr, 0);
    const DWORD error = succeeded ? 0 : GetLastError();
    currentSend = nullptr;
    Finish(*start->send, succeeded, error);
    return 0;
}

// One of the request's timeouts (inherited from its connection); 0 for none.
DWORD Limit(HINTERNET request, DWORD option) {
    DWORD limit = 0;
    DWORD length = sizeof limit;
    if (!InternetQueryOptionA(request, option, &limit, &length)) return kDefaultConnectLimit;
    return limit == INFINITE ? 0 : limit;
}

// When the send has waited too long: for its connection while it connects, for its answer
// afterwards. Clock::time_point::max() for no limit.
Clock::time_point Deadline(const PendingSend& send, DWORD connectLimit, DWORD answerLimit) {
    const DWORD limit = send.connecting ? connectLimit : answerLimit;
    if (limit == 0) return Clock::time_point::max();
    return (send.connecting ? send.connectStarted : send.answerAwaited) +
           std::chrono::milliseconds(limit);
}

}  // namespace

bool FollowConnecting(HINTERNET request) {
    return InternetSetStatusCallbackA(request, &OnStatus) != INTERNET_INVALID_STATUS_CALLBACK;
}

bool SendWithConnectLimit(HINTERNET request, DWORD& error) {
    const DWORD connectLimit = Limit(request, INTERNET_OPTION_CONNECT_TIMEOUT);
    const DWORD answerLimit = Limit(request, INTERNET_OPTION_RECEIVE_TIMEOUT);
    auto send = std::make_shared<PendingSend>();
    auto* start = new (std::nothrow) SendStart{request, send};
    const uintptr_t thread =
        start == nullptr ? 0 : _beginthreadex(nullptr, 0, &SendThread, start, 0, nullptr);
    if (thread == 0) {
        // Without a thread of its own the send is made here, bounded only by the library.
        delete start;
        const BOOL succeeded = HttpSendRequestA(request, nullptr, 0, nullptr, 0);
        error = succeeded ? 0 : GetLastError();
        return succeeded != FALSE;
    }
    // The thread is followed through the shared state, never through its handle.
    CloseHandle(reinterpret_cast<HANDLE>(thread));

    std::unique_lock<std::mutex> lock(send->lock);
    for (;;) {
        if (send->finished) {
            error = send->error;
            return send->succeeded;
        }
        const Clock::time_point deadline = Deadline(*send, connectLimit, answerLimit);
        if (Clock::now() >= deadline) {
            error = ERROR_INTERNET_TIMEOUT;
            return false;
        }
        if (deadline == Clock::time_point::max()) {
            send->changed.wait(lock);
        } else {
            send->changed.wait_until(lock, deadline);
        }
    }
}

}  // namespace mivetrak
