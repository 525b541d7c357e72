#include "protocol/cancel_flag.h"

#include <gtest/gtest.h>

#include <thread>

namespace mivetrak {
namespace {

TEST(CancelFlag, StartsDownAndARaiseOnOneThreadIsSeenOnAnother) {
    CancelFlag flag;
    EXPECT_FALSE(flag.Raised());
    std::thread([&] { flag.Raise(); }).join();
    bool seen = false;
    std::thread([&] { seen = flag.Raised(); }).join();
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace mivetrak
