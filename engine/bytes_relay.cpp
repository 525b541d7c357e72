#include "engine/bytes_relay.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace mivetrak {

BytesRelay::BytesRelay(ReceivedBytes& target) : target_(target) {}

BytesRelay::~BytesRelay() { Finish(); }

void BytesRelay::Start(System& system) {
    if (thread_) return;
    ring_.reset(new (std::nothrow) uint8_t[kSlots * kSlotSize]);
    if (!ring_) return;
    closing_ = false;
    std::unique_ptr<Thread> thread = system.CreateSuspendedThread(&BytesRelay::ThreadEntry, this);
    // A thread that never ran is only closed: it stays suspended until the process ends.
    if (!thread || !thread->Resume()) {
        ring_.reset();
        return;
    }
    thread_ = std::move(thread);
}

void BytesRelay::Written(const uint8_t* data, size_t size) {
    if (!thread_) {
        target_.Written(data, size);
        return;
    }
    while (size != 0) {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [this] { return filled_ < kSlots; });
        const size_t slot = (first_ + filled_) % kSlots;
        const size_t piece = std::min(size, kSlotSize);
        // The slot is no one else's until it is counted as filled.
        guard.unlock();
        std::memcpy(ring_.get() + slot * kSlotSize, data, piece);
        guard.lock();
        slotBytes_[slot] = piece;
        ++filled_;
        changed_.notify_all();
        data += piece;
        size -= piece;
    }
}

void BytesRelay::Finish() {
    if (!thread_) return;
    {
        std::lock_guard<std::mutex> guard(lock_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_->WaitUntilEnded();
    thread_.reset();
    ring_.reset();
}

uint32_t BytesRelay::ThreadEntry(void* relay) {
    static_cast<BytesRelay*>(relay)->Run();
    return 0;
}

void BytesRelay::Run() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [this] { return filled_ != 0 || closing_; });
        if (filled_ == 0) return;  // closing, and everything was passed on
        const size_t slot = first_;
        const size_t bytes = slotBytes_[slot];
        // The writer does not touch a filled slot: the lock is not needed while it is read.
        guard.unlock();
        target_.Written(ring_.get() + slot * kSlotSize, bytes);
        guard.lock();
        first_ = (first_ + 1) % kSlots;
        --filled_;
        changed_.notify_all();
    }
}

}  // namespace mivetrak
