#pragma once
// The platform the network tests run against: the shared fakes, with a clock whose sleeps can
// run a hook (standing in for another thread that changes the transfer state meanwhile).
#include <functional>

#include "fakes/fake_code_page.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_internet.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_system.h"
#include "fakes/fake_windows_ui.h"
#include "platform/platform.h"

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
    Platform platform{files, registry, internet, system, ui, codePage};
};

inline SystemTime MakeTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour,
                           uint16_t minute, uint16_t second) {
    SystemTime t;
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}

}  // namespace mivetrak
