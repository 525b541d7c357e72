#pragma once
// Owner of one Internet handle: closes it when it goes out of scope. Declare the root first,
// then the connection, then the data handle, so that they close in the order WinInet expects
// (data handle, connection, root).
#include "platform/internet.h"

namespace mivetrak {

class InternetHandleOwner {
public:
    explicit InternetHandleOwner(Internet& internet) : internet_(internet) {}
    ~InternetHandleOwner() { Close(); }
    InternetHandleOwner(const InternetHandleOwner&) = delete;
    InternetHandleOwner& operator=(const InternetHandleOwner&) = delete;

    void Reset(InternetHandle handle) {
        Close();
        handle_ = handle;
    }
    void Close() {
        if (handle_ != nullptr) {
            internet_.CloseInternetHandle(handle_);
            handle_ = nullptr;
        }
    }
    InternetHandle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    Internet& internet_;
    InternetHandle handle_ = nullptr;
};

}  // namespace mivetrak
