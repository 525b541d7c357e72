// The worker in a silent run: nothing reaches a window, the download goes on without one, and a
// file in use is tried again every 2 s for up to 30 s per file before the run stops.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/silent_listener.h"
#include "unit/worker_harness.h"

namespace mivetrak {
namespace worker_test {
namespace {

struct SilentCase {
    const char* name;
    std::function<void(WorkerRig&)> arrange;
    ExitCode expected;
    size_t waits;  // sleeps of 2 s between tries
};

const SilentCase kCases[] = {
    {"nothing in use", nullptr, ExitCode::Done, 0},
    {"a database held while it is read, for good",
     [](WorkerRig& rig) { rig.fake.files.SetLocked(DatabaseIn('A')); }, ExitCode::Stopped, 15},
    {"a database held while it is moved aside, for good",
     [](WorkerRig& rig) { rig.fake.files.FailRename(DatabaseIn('A')); }, ExitCode::Stopped, 15},
    {"a database that comes free after 10 s",
     [](WorkerRig& rig) { rig.fake.files.FailRename(DatabaseIn('A'), 5); }, ExitCode::Done, 5},
    // 28 s for each: one budget for both would end the run at the second.
    {"two databases, each free after 28 s",
     [](WorkerRig& rig) {
         rig.fake.files.FailRename(DatabaseIn('A'), 14);
         rig.fake.files.FailRename(DatabaseIn('B'), 14);
     },
     ExitCode::Done, 28},
};

TEST(WorkerSilent, NoWindowIsNeededAndAFileInUseGetsThirtySeconds) {
    for (const SilentCase& c : kCases) {
        SCOPED_TRACE(c.name);
        WorkerRig rig;
        rig.AddFolder('A', true);
        rig.AddFolder('B', true);
        if (c.arrange) c.arrange(rig);
        // No dialog exists: a dialog-backed run would stop its download at once.
        rig.mainWindow = nullptr;
        SilentListener silent(rig.fake.platform);
        rig.context.listener = &silent;

        EXPECT_EQ(rig.Run(), c.expected);
        EXPECT_TRUE(rig.fake.ui.Messages().empty());
        const std::vector<uint32_t> sleeps = rig.fake.system.Sleeps();
        EXPECT_EQ(sleeps, std::vector<uint32_t>(c.waits, kSilentRetryIntervalMilliseconds));
        if (c.expected == ExitCode::Done) {
            rig.ExpectNewDatabaseIn('A');
            rig.ExpectNewDatabaseIn('B');
        } else {
            rig.ExpectOldDatabaseIn('A');
            EXPECT_TRUE(rig.fake.log.Contains(DatabaseIn('A') +
                                              " is still in use after 30 s: the run stops."));
        }
        rig.ExpectNothingLeftOpen();
    }
}

}  // namespace
}  // namespace worker_test
}  // namespace mivetrak
