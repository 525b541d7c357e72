#pragma once
// The flag by which whoever follows a run (the progress dialog's Cancel) asks the worker to stop.
// The run owns one and hands it to both sides; it goes up once and never comes down again.
#include <mutex>

namespace mivetrak {

class CancelFlag {
public:
    CancelFlag() = default;
    CancelFlag(const CancelFlag&) = delete;
    CancelFlag& operator=(const CancelFlag&) = delete;

    // The user has asked to stop.
    void Raise();
    // The worker's poll: true once the flag has gone up.
    bool Raised() const;

private:
    mutable std::mutex lock_;
    bool raised_ = false;
};

}  // namespace mivetrak
