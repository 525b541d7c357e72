#pragma once
// Passes a download's bytes on to another receiver on a thread of its own, so that slow work on
// them (hashing) runs beside the network reads instead of between them.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "net/transfer.h"
#include "platform/system.h"

namespace mivetrak {

class BytesRelay final : public ReceivedBytes {
public:
    // Until Start, bytes go straight to target on the caller's thread.
    explicit BytesRelay(ReceivedBytes& target);
    // Finish, if the relay is still running.
    ~BytesRelay() override;
    BytesRelay(const BytesRelay&) = delete;
    BytesRelay& operator=(const BytesRelay&) = delete;

    // Starts the relay's thread with its fixed ring of buffers. When the memory or the thread
    // cannot be had, the bytes keep going straight to target: slower, never wrong.
    void Start(System& system);

    // Copies the bytes into the ring, waiting for a free buffer when all are taken; target sees
    // them on the relay's thread, in the same order.
    void Written(const uint8_t* data, size_t size) override;

    // Returns once target has seen every byte given so far and the relay's thread has ended;
    // target then belongs to the caller's thread again.
    void Finish();

private:
    static constexpr size_t kSlots = 4;
    static constexpr size_t kSlotSize = 64 * 1024;

    static uint32_t ThreadEntry(void* relay);
    void Run();

    ReceivedBytes& target_;
    std::unique_ptr<uint8_t[]> ring_;
    std::unique_ptr<Thread> thread_;

    std::mutex lock_;
    std::condition_variable changed_;
    size_t slotBytes_[kSlots] = {};
    size_t first_ = 0;   // the oldest filled slot
    size_t filled_ = 0;  // filled slots from first_ on
    bool closing_ = false;
};

}  // namespace mivetrak
