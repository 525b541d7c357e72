#pragma once
// The platform the network tests run against: the shared fakes, with a clock whose sleeps can
// run a hook (standing in for another thread that changes the transfer state meanwhile).
#include <functional>

#include "fakes/fake_platform.h"
#include "support/test_time.h"

namespace mivetrak {

class HookedSystem : public FakeSystem {
public:
    // Called after each sleep, with the number of sleeps so far.
    std::function<void(size_t)> onSleep;
    void SleepMilliseconds(uint32_t milliseconds) override {
        FakeSystem::SleepMilliseconds(milliseconds);
        if (onSleep) onSleep(Sleeps().size());
    }
};

struct NetWorld {
    FakeFileSystem files;
    FakeRegistry registry;
    FakeInternet internet;
    HookedSystem system;
    FakeWindowsUi ui;
    FakeCodePage codePage;
    RecordingLog log;
    FakeCrypto crypto;
    Platform platform{files, registry, internet, system, ui, codePage, log, crypto};
    Deployment deployment = TestDeployment();
};

}  // namespace mivetrak
