#include "engine/cancel_flag.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace mivetrak {
namespace {

TEST(CancelFlag, SetUpLowersTheFlagAndCreatesTheLock) {
    SetupCancelFlag(true);
    SetCancelFlag(true);
    SetupCancelFlag(true);  // a fresh start lowers it again
    bool raised = true;
    GetCancelFlag(raised);
    EXPECT_FALSE(raised);
    EXPECT_NE(CancelFlagLock(), nullptr);
    SetupCancelFlag(false);
    EXPECT_EQ(CancelFlagLock(), nullptr);
}

TEST(CancelFlag, TearDownKeepsTheValue) {
    SetupCancelFlag(true);
    SetCancelFlag(true);
    SetupCancelFlag(false);
    bool raised = false;
    GetCancelFlag(raised);
    EXPECT_TRUE(raised);
}

// Both accessors take the lock: while the test's thread holds it, a write and a read on other
// threads get nowhere; once it is released, both finish and the read sees the write or not, but
// nothing in between.
TEST(CancelFlag, AccessorsOnOtherThreadsWaitForTheLock) {
    SetupCancelFlag(true);
    std::mutex* lock = CancelFlagLock();
    ASSERT_NE(lock, nullptr);
    std::atomic<bool> written{false};
    std::atomic<bool> read{false};
    std::thread writer;
    std::thread reader;
    {
        const std::lock_guard<std::mutex> hold(*lock);
        writer = std::thread([&] {
            SetCancelFlag(true);
            written = true;
        });
        reader = std::thread([&] {
            bool raised = false;
            GetCancelFlag(raised);
            read = true;
        });
        // Far longer than an accessor that took no lock would need to finish.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(written);
        EXPECT_FALSE(read);
    }
    writer.join();
    reader.join();
    EXPECT_TRUE(written);
    EXPECT_TRUE(read);
    EXPECT_TRUE(CancelRequested());
    SetupCancelFlag(false);
}

}  // namespace
}  // namespace mivetrak
