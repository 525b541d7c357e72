// The relay that hands a download's bytes to another thread through a fixed ring of buffers:
// every byte arrives once and in order, on the relay's thread when it has one and on the
// writer's when it has none, however the writes are cut.
#include "engine/bytes_relay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_system.h"

namespace mivetrak {
namespace {

// Keeps what it is shown and the threads it was shown it on; slow when asked, so that the writer
// finds the ring full.
struct Receiver : ReceivedBytes {
    bool slow = false;
    std::string bytes;
    std::vector<std::thread::id> threads;
    void Written(const uint8_t* data, size_t size) override {
        if (slow) std::this_thread::sleep_for(std::chrono::microseconds(200));
        bytes.append(reinterpret_cast<const char*>(data), size);
        threads.push_back(std::this_thread::get_id());
    }
};

struct RelayCase {
    const char* name;
    bool threadRefused;
    bool slowReceiver;
    size_t writeSize;
    bool finishedByDestructor;
};

TEST(BytesRelay, PassesEveryByteOnceInOrder) {
    const RelayCase cases[] = {
        {"64 KiB writes", false, false, 65536, false},
        {"writes larger than a buffer", false, false, 200001, false},
        {"small writes to a slow receiver", false, true, 777, false},
        {"buffer-sized writes to a slow receiver", false, true, 65536, false},
        {"ended by its destructor", false, true, 65536, true},
        {"no thread: straight through", true, false, 65536, false},
    };
    std::string body(1000000, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 7 + i / 251) % 256);
    for (const RelayCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSystem system;
        system.RefuseThreads(c.threadRefused);
        Receiver receiver;
        receiver.slow = c.slowReceiver;
        {
            BytesRelay relay(receiver);
            relay.Start(system);
            for (size_t offset = 0; offset < body.size(); offset += c.writeSize) {
                const size_t size = std::min(c.writeSize, body.size() - offset);
                relay.Written(reinterpret_cast<const uint8_t*>(body.data()) + offset, size);
            }
            if (!c.finishedByDestructor) relay.Finish();
        }
        EXPECT_EQ(receiver.bytes, body);
        ASSERT_FALSE(receiver.threads.empty());
        for (const std::thread::id& thread : receiver.threads) {
            EXPECT_EQ(thread == std::this_thread::get_id(), c.threadRefused);
        }
        EXPECT_EQ(system.ThreadsResumed(), c.threadRefused ? 0 : 1);
    }
}

}  // namespace
}  // namespace mivetrak
