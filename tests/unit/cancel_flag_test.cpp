#include "engine/cancel_flag.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace mivetrak {
namespace {

TEST(CancelFlag, SetUpClearsTheFlagAndCreatesTheLock) {
    SetupCancelFlag(1);
    SetCancelFlag(1);
    SetupCancelFlag(1);  // a fresh start clears it again
    int32_t value = -1;
    GetCancelFlag(value);
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(CancelFlagLockExists());
    SetupCancelFlag(0);
    EXPECT_FALSE(CancelFlagLockExists());
}

TEST(CancelFlag, TearDownKeepsTheValue) {
    SetupCancelFlag(1);
    SetCancelFlag(1);
    SetupCancelFlag(0);
    int32_t value = 0;
    GetCancelFlag(value);
    EXPECT_EQ(value, 1);
}

TEST(CancelFlag, SetOnOneThreadIsSeenOnAnother) {
    SetupCancelFlag(1);
    int32_t before = -1;
    int32_t after = -1;
    std::thread reader([&] { GetCancelFlag(before); });
    reader.join();
    SetCancelFlag(1);
    std::thread laterReader([&] { GetCancelFlag(after); });
    laterReader.join();
    EXPECT_EQ(before, 0);
    EXPECT_EQ(after, 1);
    SetupCancelFlag(0);
}

TEST(CancelFlag, ConcurrentReadersSeeOnlyZeroOrOne) {
    SetupCancelFlag(1);
    std::atomic<bool> sawOther{false};
    std::atomic<bool> sawOne{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            for (int i = 0; i < 20000 && !sawOne; ++i) {
                int32_t value = -1;
                GetCancelFlag(value);
                if (value == 1) sawOne = true;
                if (value != 0 && value != 1) sawOther = true;
            }
            // Once set, the flag stays set.
            int32_t last = -1;
            GetCancelFlag(last);
            if (last != 1 && sawOne) sawOther = true;
        });
    }
    SetCancelFlag(1);
    for (auto& reader : readers) reader.join();
    EXPECT_FALSE(sawOther);
    int32_t value = 0;
    GetCancelFlag(value);
    EXPECT_EQ(value, 1);
    SetupCancelFlag(0);
}

}  // namespace
}  // namespace mivetrak
