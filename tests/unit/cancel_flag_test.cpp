#include "engine/cancel_flag.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace mivetrak {
namespace {

TEST(CancelFlag, SetUpClearsTheFlagAndCreatesTheLock) {
    SetupCancelFlag(true);
    SetCancelFlag(true);
    SetupCancelFlag(true);  // a fresh start clears it again
    bool value = true;
    GetCancelFlag(value);
    EXPECT_FALSE(value);
    EXPECT_TRUE(CancelFlagLockExists());
    SetupCancelFlag(false);
    EXPECT_FALSE(CancelFlagLockExists());
}

TEST(CancelFlag, TearDownKeepsTheValue) {
    SetupCancelFlag(true);
    SetCancelFlag(true);
    SetupCancelFlag(false);
    bool value = false;
    GetCancelFlag(value);
    EXPECT_TRUE(value);
}

TEST(CancelFlag, SetOnOneThreadIsSeenOnAnother) {
    SetupCancelFlag(true);
    bool before = true;
    bool after = false;
    std::thread reader([&] { GetCancelFlag(before); });
    reader.join();
    SetCancelFlag(true);
    std::thread laterReader([&] { GetCancelFlag(after); });
    laterReader.join();
    EXPECT_FALSE(before);
    EXPECT_TRUE(after);
    SetupCancelFlag(false);
}

TEST(CancelFlag, ConcurrentReadersSeeTheFlagStayRaised) {
    SetupCancelFlag(true);
    std::atomic<bool> sawLowered{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            bool sawRaised = false;
            for (int i = 0; i < 20000 && !sawRaised; ++i) GetCancelFlag(sawRaised);
            // Once raised, the flag stays raised.
            bool last = false;
            GetCancelFlag(last);
            if (sawRaised && !last) sawLowered = true;
        });
    }
    SetCancelFlag(true);
    for (auto& reader : readers) reader.join();
    EXPECT_FALSE(sawLowered);
    EXPECT_TRUE(CancelRequested());
    SetupCancelFlag(false);
}

}  // namespace
}  // namespace mivetrak
