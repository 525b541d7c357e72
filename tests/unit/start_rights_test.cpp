// Administrator rights only when the update needs them. A standard user's run checks with its
// own rights, updates what they reach, and starts again through the consent prompt only when a
// folder that needs the update (or a cut-off installation that needs putting right) is beyond
// them; a silent run reports such a folder and ends with 4. Nothing is ever written into a
// folder to learn whether it may be written.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/run_locks.h"
#include "app/update_app.h"
#include "engine/install_journal.h"
#include "fakes/fake_platform.h"
#include "unit/app_machine.h"
#include "unit/dialog_loop.h"
#include "unit/worker_harness.h"

namespace mivetrak {
namespace {

using worker_test::DatabaseBody;
using worker_test::IndexText;
using worker_test::kBackupUrl;
using worker_test::kPrimaryUrl;
using worker_test::kTestIndexUrl;
using worker_test::OlderTime;
using worker_test::ServerTime;

constexpr char kMine[] = "D:\\Mine\\Tolvar32.bdb";        // a folder the user may write
constexpr char kProgramFiles[] = "C:\\PF\\Tolvar32.bdb";  // one the user may not
constexpr char kBackup[] = "C:\\PF\\Tolvar32tmp0.tmp";
const std::string kNew = DatabaseBody(10000);

struct RightsCase {
    const char* name;
    const char* options;  // "" or "/s"
    bool restarted;       // started with the marker by a run that waits for it
    bool mineOld, programFilesOld;
    bool repairPending;  // a cut-off installation in Program Files waits to be put back
    uint32_t restartError;
    int exitCode;
    std::vector<std::string> boxes;  // the dialog's, then the program's after it
    bool restartAsked, mineUpdated;
};

// The journal of a run cut off between its renames in Program Files: the old copy under its
// backup name, which the user's rights cannot rename back.
void CutOffInProgramFiles(FakePlatform& f) {
    f.files.AddFile(kBackup, "old");
    InstallJournal journal(f.files, std::string(kTestWorkFolder) + "\\");
    JournalRecord record;
    record.target = kProgramFiles;
    record.side = "C:\\PF\\Tolvar32new0.tmp";
    record.backup = kBackup;
    FileIdentity identity;
    SystemError error;
    f.files.Identity(kBackup, identity, error);
    record.oldCopy = identity;
    journal.Begin(record);
    journal.MarkSwitching(record);
}

void Prepare(FakePlatform& f, const RightsCase& c) {
    ConfigureMachine(f);
    for (const auto& [id, text] : {std::pair{IDS_COMPLETED, "Done"},
                                   {IDS_UP_TO_DATE, "Current"},
                                   {IDS_INSTALL_FAILED, "Install failed"}}) {
        f.system.SetText(kTestLibrary, id, text);
    }
    f.files.AddFile(kMine, "old", c.mineOld ? OlderTime() : ServerTime());
    f.files.AddDirectory("C:\\PF");
    f.files.AddDirectory(kTestWorkFolder);
    if (c.repairPending) {
        CutOffInProgramFiles(f);
    } else {
        f.files.AddFile(kProgramFiles, "old", c.programFilesOld ? OlderTime() : ServerTime());
    }
    f.files.DenyWriting("C:\\PF");
    const std::string marker = c.restarted ? std::string(kAgreedMarker) + " " : "";
    f.system.SetRawCommandLine("Mivetrak.exe " + marker + c.options + " D:\\Mine C:\\PF");
    f.system.HoldLockElsewhere(HandOverLockName(1000), c.restarted);
    f.system.ScriptRestart(c.restartError == 0, 0, c.restartError);
    f.ui.defaultBoxAnswer = kIdYes;
    f.internet.AddHttp(kTestIndexUrl, FakeHttpResponse::Ok(IndexText(kPrimaryUrl, kBackupUrl), {}));
    f.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::Ok(kNew, ServerTime()));
}

const RightsCase kCases[] = {
    {"silent, every copy current", "/s", false, false, false, false, 0, 0, {}, false, false},
    {"silent, Program Files needs the update",
     "/s",
     false,
     true,
     true,
     false,
     0,
     4,
     {},
     false,
     true},
    {"silent, a repair waits in Program Files",
     "/s",
     false,
     true,
     false,
     true,
     0,
     4,
     {},
     false,
     true},
    {"every copy current", "", false, false, false, false, 0, 0, {"Current"}, false, false},
    {"only the user's folder needs it", "", false, true, false, false, 0, 0, {"Done"}, false, true},
    {"Program Files needs it", "", false, true, true, false, 0, 0, {}, true, true},
    {"the user refuses the consent prompt",
     "",
     false,
     false,
     true,
     false,
     kErrorCancelled,
     2,
     {},
     true,
     false},
    {"the restart cannot start",
     "",
     false,
     false,
     true,
     false,
     kErrorFileNotFound,
     4,
     {"Install failed"},
     true,
     false},
    {"the restarted run still lacks the rights",
     "",
     true,
     false,
     true,
     false,
     0,
     4,
     {"Install failed"},
     false,
     false},
    {"a repair waits in Program Files", "", false, true, false, true, 0, 0, {}, true, false},
};

TEST(StartRights, RightsAreAskedForOnlyWhenTheUpdateNeedsThem) {
    for (const RightsCase& c : kCases) {
        SCOPED_TRACE(c.name);
        FakePlatform f;
        Prepare(f, c);
        MessageQueue queue;
        std::vector<FakeDialogWindow::Box> dialogBoxes;
        LoopModalDialogs(f.ui, queue, dialogBoxes);
        bool networkBeforeRestart = false;
        f.system.onRestart = [&] { networkBeforeRestart = !f.internet.Calls().empty(); };

        UpdateApp app(f.platform, TestDeployment());
        app.InitInstance();
        EXPECT_EQ(static_cast<int>(app.ExitInstance()), c.exitCode);

        std::vector<std::string> boxes;
        for (const auto& box : dialogBoxes) boxes.push_back(box.text);
        for (const auto& box : f.ui.Boxes()) {
            if (box.text != "Update now?") boxes.push_back(box.text);
        }
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(f.system.Restarts().size(), c.restartAsked ? 1u : 0u);
        // A cut-off installation goes to the run with rights before anything else.
        EXPECT_EQ(networkBeforeRestart, c.restartAsked && !c.repairPending);
        EXPECT_EQ(f.files.Content(kMine) == kNew, c.mineUpdated);
        // Nothing was made, moved or deleted in the folder beyond the user's rights.
        EXPECT_EQ(f.files.Files("C:\\PF"),
                  std::vector<std::string>{c.repairPending ? kBackup : kProgramFiles});
        EXPECT_FALSE(f.system.LockHeld(HandOverLockName(4242)));
    }
}

// The system may say that the restart failed although its run started and took the work folder
// (a process it could not wait for): this run then leaves the folder, and the update, to that one.
TEST(StartRights, ARepairIsNotTriedInAWorkFolderThatTheRestartedRunTook) {
    const RightsCase c{"", "", false, true, false, true, kErrorReadFault, 4, {}, true, false};
    FakePlatform f;
    Prepare(f, c);
    f.system.onRestart = [&f] { f.system.HoldLockElsewhere(kWorkFolderLockName, true); };

    UpdateApp app(f.platform, TestDeployment());
    app.InitInstance();
    EXPECT_EQ(app.ExitInstance(), ExitCode::InstallFailed);
    ASSERT_EQ(f.ui.Boxes().size(), 2u);
    EXPECT_EQ(f.ui.Boxes()[1].text, "Install failed");
    EXPECT_TRUE(f.internet.Calls().empty()) << "no index was fetched";
    EXPECT_EQ(f.files.Content(kMine), "old");
    EXPECT_EQ(f.files.Files("C:\\PF"), std::vector<std::string>{kBackup});
}

}  // namespace
}  // namespace mivetrak
