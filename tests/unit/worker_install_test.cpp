// The worker's download and install phase against the fakes: the download and its checks,
// backup names, the retry question, rollback, and the messages and disk state of every outcome.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/backup_name.h"
#include "fakes/fake_code_page.h"
#include "unit/worker_harness.h"

namespace mivetrak {
namespace worker_test {
namespace {

// Callback totals 2560, 5120 and 7680 of 10000 bytes.
const Strings kDownload{"P1:0", "P1:25", "P1:51", "P1:76"};

Strings Join(std::initializer_list<Strings> parts) {
    Strings out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

TEST(WorkerInstallPhase, InstallsIntoEveryFolderWithBackupsRemoved) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.AddFolder('B', false);  // kept by force: receives the file by the copy alone
    rig.AddFolder('C', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.Messages(), Join({kCheck, kDownload, {"P2:0", "P2:33", "P2:66", "P3:0"}}));
    for (char f : {'A', 'B', 'C'}) {
        rig.ExpectNewDatabaseIn(f);
        rig.ExpectNoBackupIn(f);
    }
    EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
    EXPECT_FALSE(rig.fake.files.Exists(kIndexFile));
    // Old copies were moved aside only by name; the folder without one had none to move.
    EXPECT_TRUE(rig.Logged("RenameFile C:\\DbA\\Tolvar32.bdb -> C:\\DbA\\Tolvar32tmp0.tmp"));
    EXPECT_TRUE(rig.Logged("RenameFile C:\\DbC\\Tolvar32.bdb -> C:\\DbC\\Tolvar32tmp0.tmp"));
    for (const auto& call : rig.FileLog()) {
        EXPECT_EQ(call.find("RenameFile C:\\DbB\\Tolvar32.bdb"), std::string::npos) << call;
    }
    EXPECT_TRUE(rig.Logged("OpenFile C:\\DbB\\Tolvar32new0.tmp create-new"));
    EXPECT_TRUE(rig.Logged("RenameFile C:\\DbB\\Tolvar32new0.tmp -> C:\\DbB\\Tolvar32.bdb"));
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
    rig.ExpectNothingLeftOpen();
}

TEST(WorkerInstallPhase, DownloadsOnceWithReloadIntoTheWorkFolder) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.AddFolder('B', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.fake.internet.SendCount(kPrimaryUrl), 2u);  // one query, one download
    // The run's whole cost on the network: the index, the database's headers, its one body.
    auto requests = rig.fake.internet.CallsOf(Op::OpenHttpRequest);
    ASSERT_EQ(requests.size(), 3u);
    const char* const verbs[] = {"GET", "HEAD", "GET"};
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].verb, verbs[i]);
        EXPECT_EQ(requests[i].flags, 0x84600000u);
    }
    uint64_t bodyBytes = 0;
    for (const auto& read : rig.fake.internet.CallsOf(Op::ReadData)) {
        if (read.handle != requests[0].result) bodyBytes += read.bytes;
    }
    EXPECT_EQ(bodyBytes, rig.body.size());
}

TEST(WorkerInstallPhase, FourFoldersPostQuarterSteps) {
    WorkerRig rig;
    for (char f : {'A', 'B', 'C', 'D'}) rig.AddFolder(f, true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.Messages(),
              Join({kCheck, kDownload, {"P2:0", "P2:25", "P2:50", "P2:75", "P3:0"}}));
}

TEST(WorkerInstallPhase, SmallDownloadPostsOnlyItsStart) {
    WorkerRig rig;
    const std::string small = DatabaseBody(19 * 128);  // fewer than 20 blocks
    rig.fake.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::Ok(small, ServerTime()));
    rig.AddFolder('A', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.Messages(), Join({kCheck, {"P1:0", "P2:0", "P3:0"}}));
    EXPECT_EQ(rig.fake.files.Content(DatabaseIn('A')), small);
}

TEST(WorkerInstallPhase, ExactMultipleOfTwentyBlocksPostsOneHundred) {
    WorkerRig rig;
    rig.fake.internet.AddHttp(kPrimaryUrl,
                              FakeHttpResponse::Ok(DatabaseBody(2 * 2560), ServerTime()));
    rig.AddFolder('A', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.Messages(), Join({kCheck, {"P1:0", "P1:50", "P1:100", "P2:0", "P3:0"}}));
}

// Ways the download ends without touching a folder.
struct DownloadFailureCase {
    const char* name;
    std::function<void(WorkerRig&)> arm;
    Strings messages;
    bool tempLocked = false;  // held by another program: its deletion fails
};

TEST(WorkerInstallPhase, DownloadFailureTable) {
    const std::vector<DownloadFailureCase> cases = {
        {"transfer breaks off",
         [](WorkerRig& r) {
             auto response = FakeHttpResponse::Ok(r.body, ServerTime());
             response.failReadAt = 6000;
             r.fake.internet.AddHttp(kPrimaryUrl, response);
         },
         Join({kCheck, {"P1:0", "P1:25", "P1:51", "A5"}})},
        {"one byte short of the announced length",
         [](WorkerRig& r) {
             auto response = FakeHttpResponse::Ok(r.body, ServerTime());
             response.endAt = r.body.size() - 1;
             r.fake.internet.AddHttp(kPrimaryUrl, response);
         },
         Join({kCheck, kDownload, {"A5"}})},
        {"nothing of the announced length arrives",
         [](WorkerRig& r) {
             auto response = FakeHttpResponse::Ok(r.body, ServerTime());
             response.endAt = 0;
             r.fake.internet.AddHttp(kPrimaryUrl, response);
         },
         Join({kCheck, {"P1:0", "A5"}})},
        {"more than the work folder's drive can take, less a mebibyte",
         [](WorkerRig& r) { r.fake.files.SetDiskSpace(1024 * 1024 + r.body.size() - 1); },
         Join({kCheck, {"P1:0", "A5"}})},
        {"the downloaded file's size cannot be told",
         [](WorkerRig& r) { r.fake.files.FailSizeQuery(kTempDatabase); },
         Join({kCheck, kDownload, {"A5"}})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerRig rig;
        rig.AddFolder('A', true);
        rig.AddFolder('B', false);
        c.arm(rig);
        EXPECT_EQ(rig.Run(), ExitCode::NotObtained);
        EXPECT_EQ(rig.Messages(), c.messages);
        EXPECT_TRUE(rig.Logged("RemoveFile C:\\Temp\\orzavtmp\\Tolvar32.bdb"));
        EXPECT_EQ(rig.fake.files.Exists(kTempDatabase), c.tempLocked);
        rig.ExpectOldDatabaseIn('A');
        rig.ExpectNoBackupIn('A');
        EXPECT_FALSE(rig.fake.files.Exists(DatabaseIn('B')));
        rig.ExpectNothingLeftOpen();
    }
}

// A server that announces an empty database has none to give: nothing is downloaded and no
// folder is touched.
TEST(WorkerInstallPhase, AnnouncedEmptyDatabaseIsAFailedDownload) {
    WorkerRig rig;
    rig.fake.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::Ok("", ServerTime()));
    rig.AddFolder('A', true);
    rig.AddFolder('B', false);
    EXPECT_EQ(rig.Run(), ExitCode::NotObtained);
    EXPECT_EQ(rig.Messages(), Join({kCheck, {"A5"}}));
    // The query only: HEAD, then GET, which alone is believed about a length of 0.
    EXPECT_EQ(rig.fake.internet.SendCount(kPrimaryUrl), 2u);
    EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
    rig.ExpectOldDatabaseIn('A');
    rig.ExpectNoBackupIn('A');
    EXPECT_FALSE(rig.fake.files.Exists(DatabaseIn('B')));
    EXPECT_TRUE(rig.fake.log.Contains("announces an empty database at \"" +
                                      std::string(kPrimaryUrl) + "\""));
    rig.ExpectNothingLeftOpen();
}

// Every poll of the cancel flag: the run stops with 2, posts nothing more, and leaves the
// disk as the row says.
struct CancelCase {
    const char* name;
    std::function<void(WorkerRig&)> arm;
    Strings messages;
    std::function<void(WorkerRig&)> check;
};

void PressCancelOnPost(WorkerRig& r, int phase, int percent) {
    r.fake.ui.onPost = [&r, phase, percent](const FakeWindowsUi::Message& m) {
        if (m.message == kProgressMessage && m.wParam == static_cast<uintptr_t>(phase) &&
            m.lParam == percent) {
            r.PressCancel();
        }
    };
}

void ExpectFoldersUntouched(WorkerRig& r) {
    r.ExpectOldDatabaseIn('A');
    r.ExpectOldDatabaseIn('B');
    r.ExpectNoBackupIn('A');
    r.ExpectNoBackupIn('B');
    EXPECT_FALSE(r.fake.files.Exists(kTempDatabase));
}

TEST(WorkerCancel, EveryPollTable) {
    const std::vector<CancelCase> cases = {
        {"before the run",
         [](WorkerRig& r) { r.PressCancel(); },
         {},
         [](WorkerRig& r) {
             EXPECT_TRUE(r.fake.internet.Calls().empty());
             ExpectFoldersUntouched(r);
         }},
        {"after the connection test",
         [](WorkerRig& r) {
             r.fake.internet.onCall = [&r](const FakeInternet::Call& call) {
                 if (call.op == Op::ConnectedStateEx || call.op == Op::ConnectedState) {
                     r.PressCancel();
                 }
             };
         },
         {"P0:0"},
         [](WorkerRig& r) {
             EXPECT_EQ(r.fake.internet.CountOf(Op::OpenRoot), 0u);
             ExpectFoldersUntouched(r);
         }},
        {"after the index was read",
         [](WorkerRig& r) { PressCancelOnPost(r, PhaseCheck, 20); },
         {"P0:0", "P0:20", "P0:50"},
         [](WorkerRig& r) {
             EXPECT_FALSE(r.fake.files.Exists(kIndexFile));
             EXPECT_EQ(r.fake.internet.SendCount(kPrimaryUrl), 0u);
             ExpectFoldersUntouched(r);
         }},
        {"after the primary failed",
         [](WorkerRig& r) {
             r.fake.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::WithStatus(404));
             r.fake.internet.onCall = [&r](const FakeInternet::Call& call) {
                 if (call.op == Op::OpenHttpRequest && call.text == "db/Tolvar32.bdb") {
                     r.PressCancel();
                 }
             };
         },
         {"P0:0", "P0:20", "P0:50"},
         [](WorkerRig& r) {
             EXPECT_EQ(r.fake.internet.SendCount(kBackupUrl), 0u);
             ExpectFoldersUntouched(r);
         }},
        {"after the server answered", [](WorkerRig& r) { PressCancelOnPost(r, PhaseCheck, 80); },
         kCheck,
         [](WorkerRig& r) {
             // Stopped before any folder was judged: the up-to-date one is still listed.
             EXPECT_EQ(r.folders.size(), 3u);
             ExpectFoldersUntouched(r);
         }},
        {"after the folders were judged",
         [](WorkerRig& r) {
             r.fake.files.SetLocked(DatabaseIn('B'));
             r.fake.ui.ScriptSendAnswers({1});
             r.fake.ui.onSend = [&r](const FakeWindowsUi::Message&) {
                 r.fake.files.SetLocked(DatabaseIn('B'), false);
                 r.PressCancel();
             };
         },
         Join({kCheck, {"Q6"}}),
         [](WorkerRig& r) {
             EXPECT_EQ(r.folders.size(), 2u);  // the up-to-date folder was removed
             EXPECT_EQ(r.fake.internet.SendCount(kPrimaryUrl), 1u);
             ExpectFoldersUntouched(r);
         }},
        {"during the download",
         [](WorkerRig& r) {
             r.fake.internet.onCall = [&r](const FakeInternet::Call& call) {
                 if (call.op == Op::ReadData && r.DownloadStarted()) r.PressCancel();
             };
         },
         Join({kCheck, {"P1:0"}}),
         [](WorkerRig& r) {
             // The callback stopped the transfer at its first call, before posting.
             EXPECT_TRUE(r.Logged("RemoveFile C:\\Temp\\orzavtmp\\Tolvar32.bdb"));
             ExpectFoldersUntouched(r);
         }},
        // The last progress the download posts: no callback comes after it.
        {"after the download", [](WorkerRig& r) { PressCancelOnPost(r, PhaseDownload, 76); },
         Join({kCheck, kDownload}),
         [](WorkerRig& r) {
             EXPECT_TRUE(r.Logged("RemoveFile C:\\Temp\\orzavtmp\\Tolvar32.bdb"));
             ExpectFoldersUntouched(r);
         }},
        {"before the first folder", [](WorkerRig& r) { PressCancelOnPost(r, PhaseInstall, 0); },
         Join({kCheck, kDownload, {"P2:0"}}),
         [](WorkerRig& r) {
             // Nothing in any folder was begun.
             EXPECT_EQ(r.ChangesIn('A'), Strings{});
             EXPECT_EQ(r.ChangesIn('B'), Strings{});
             ExpectFoldersUntouched(r);
         }},
        {"before the second folder", [](WorkerRig& r) { PressCancelOnPost(r, PhaseInstall, 50); },
         Join({kCheck, kDownload, {"P2:0", "P2:50"}}),
         [](WorkerRig& r) {
             r.ExpectNewDatabaseIn('A');
             r.ExpectOldDatabaseIn('B');
             r.ExpectNoBackupIn('A');
             r.ExpectNoBackupIn('B');
             EXPECT_EQ(r.ChangesIn('B'), Strings{});
             EXPECT_FALSE(r.fake.files.Exists(kTempDatabase));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerRig rig;
        rig.AddFolder('A', true);
        rig.AddFolder('U', true, ServerTime());  // up to date
        rig.AddFolder('B', true);
        c.arm(rig);
        EXPECT_EQ(rig.Run(), ExitCode::Stopped);
        EXPECT_TRUE(rig.fake.log.Contains("The user cancelled the run."));
        EXPECT_EQ(rig.Messages(), c.messages);
        c.check(rig);
        rig.ExpectOldDatabaseIn('U');
        rig.ExpectNothingLeftOpen();
    }
}

// The update run let the worker go (after a cancel) while the worker was between two folders:
// it begins no other folder and leaves the exit code to the run.
TEST(WorkerInstallPhase, AWorkerThatWasLetGoBeginsNoFolderAndStoresNothing) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.AddFolder('B', true);
    rig.fake.ui.onPost = [&rig](const FakeWindowsUi::Message& m) {
        if (m.message == kProgressMessage && m.wParam == PhaseInstall && m.lParam == 50) {
            rig.context.release.LetGo();
        }
    };
    auto thread = rig.fake.system.CreateSuspendedThread(WorkerThreadProc, &rig.context);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(thread->Resume());
    thread->WaitUntilEnded();
    EXPECT_EQ(rig.exitCode, static_cast<ExitCode>(-1));  // untouched
    rig.ExpectNewDatabaseIn('A');
    rig.ExpectOldDatabaseIn('B');
    EXPECT_EQ(rig.ChangesIn('B'), Strings{});
}

TEST(WorkerInstallPhase, RenameRefusedThenRetried) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.fake.files.FailRename(DatabaseIn('A'), 2);
    rig.fake.ui.ScriptSendAnswers({1, 1});
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.Messages(), Join({kCheck, kDownload, {"P2:0", "Q6", "Q6", "P3:0"}}));
    rig.ExpectNewDatabaseIn('A');
    rig.ExpectNoBackupIn('A');
}

TEST(WorkerInstallPhase, RenameRefusedAndDeclinedKeepsTheDownload) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.AddFolder('B', true);
    rig.AddFolder('C', true);
    rig.fake.files.FailRename(DatabaseIn('B'));
    rig.fake.ui.ScriptSendAnswers({1, 0});
    EXPECT_EQ(rig.Run(), ExitCode::Stopped);
    EXPECT_EQ(rig.Messages(), Join({kCheck, kDownload, {"P2:0", "P2:33", "Q6", "Q6"}}));
    rig.ExpectNewDatabaseIn('A');
    rig.ExpectOldDatabaseIn('B');
    rig.ExpectOldDatabaseIn('C');
    for (char f : {'A', 'B', 'C'}) rig.ExpectNoBackupIn(f);
    // The download stays in the work folder.
    ASSERT_TRUE(rig.fake.files.Exists(kTempDatabase));
    EXPECT_EQ(rig.fake.files.Content(kTempDatabase), rig.body);
    rig.ExpectNothingLeftOpen();
}

TEST(WorkerInstallPhase, RenameRefusedWithNoDialogCountsAsDeclined) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.fake.files.FailRename(DatabaseIn('A'));
    rig.fake.ui.onPost = [&rig](const FakeWindowsUi::Message& m) {
        if (m.message == kProgressMessage && m.wParam == PhaseInstall) rig.mainWindow = nullptr;
    };
    EXPECT_EQ(rig.Run(), ExitCode::Stopped);
    EXPECT_EQ(rig.Messages(), Join({kCheck, kDownload, {"P2:0"}}));
    rig.ExpectOldDatabaseIn('A');
    EXPECT_TRUE(rig.fake.files.Exists(kTempDatabase));
}

TEST(WorkerInstallPhase, CopyFailingInTheSecondOfThreeFolders) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.AddFolder('B', true);
    rig.AddFolder('C', true);
    rig.fake.files.FailCopyTo(SideIn('B'), 1000);  // leaves a partial copy behind
    EXPECT_EQ(rig.Run(), ExitCode::InstallFailed);
    EXPECT_EQ(rig.Messages(), Join({kCheck, kDownload, {"P2:0", "P2:33", "A7"}}));
    rig.ExpectNewDatabaseIn('A');
    rig.ExpectOldDatabaseIn('B');  // never moved; the partial copy beside it is gone
    rig.ExpectOldDatabaseIn('C');
    for (char f : {'A', 'B', 'C'}) rig.ExpectNoBackupIn(f);
    EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
    // The third folder was judged, and then never changed.
    EXPECT_EQ(rig.ChangesIn('C'), Strings{});
    rig.ExpectNothingLeftOpen();
}

TEST(WorkerInstallPhase, CopyFailingIntoAFolderWithoutDatabaseRemovesThePartialCopy) {
    WorkerRig rig;
    rig.AddFolder('A', false);
    rig.fake.files.FailCopyTo(SideIn('A'), 1000);
    EXPECT_EQ(rig.Run(), ExitCode::InstallFailed);
    EXPECT_EQ(rig.Messages(), Join({kCheck, kDownload, {"P2:0", "A7"}}));
    EXPECT_FALSE(rig.fake.files.Exists(DatabaseIn('A')));
    EXPECT_FALSE(rig.fake.files.Exists(SideIn('A')));
    EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
    EXPECT_FALSE(rig.fake.files.Exists(kJournal));
    for (const auto& call : rig.FileLog()) {
        EXPECT_EQ(call.find("RenameFile"), std::string::npos) << call;
    }
}

TEST(WorkerInstallPhase, ExistingBackupNameIsSkippedAndLeftAlone) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    const std::string earlier = FolderPath('A') + "Tolvar32tmp0.tmp";
    rig.fake.files.AddFile(earlier, "an earlier run's backup", MakeTime(2020, 5, 5, 5, 5, 5));
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_TRUE(rig.Logged("RenameFile C:\\DbA\\Tolvar32.bdb -> C:\\DbA\\Tolvar32tmp1.tmp"));
    EXPECT_TRUE(rig.Logged("RemoveFile C:\\DbA\\Tolvar32tmp1.tmp"));
    EXPECT_EQ(rig.fake.files.Content(earlier), "an earlier run's backup");
    EXPECT_FALSE(rig.fake.files.Exists(FolderPath('A') + "Tolvar32tmp1.tmp"));
    rig.ExpectNewDatabaseIn('A');
}

TEST(WorkerInstallPhase, ThreadEntryStoresTheResult) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.AddFolder('B', false);
    rig.fake.files.FailCopyTo(SideIn('B'));
    auto thread = rig.fake.system.CreateSuspendedThread(WorkerThreadProc, &rig.context);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(thread->Resume());
    thread->WaitUntilEnded();
    EXPECT_EQ(rig.exitCode, ExitCode::InstallFailed);
    EXPECT_EQ(rig.fake.system.LastThreadResult(), std::optional<uint32_t>(0u));
}

// The backup name rule on paths of several shapes.
struct BackupNameCase {
    const char* target;
    int n;
    const char* expected;
};

TEST(BackupName, Candidates) {
    const std::vector<BackupNameCase> cases = {
        {"C:\\Data\\Tolvar32.bdb", 0, "C:\\Data\\Tolvar32tmp0.tmp"},
        {"C:\\Data\\Tolvar32.bdb", 12, "C:\\Data\\Tolvar32tmp12.tmp"},
        {"C:\\v1.2\\Tolvar32.bdb", 3, "C:\\v1.2\\Tolvar32tmp3.tmp"},
        {"C:\\a.b\\c", 0, "C:\\atmp0.tmp"},  // the last '.' wherever it lies
        {"C:\\nodot\\file", 1, "C:\\nodot\\filetmp1.tmp"},
    };
    SingleByteCodePage codePage;
    for (const auto& c : cases) {
        EXPECT_EQ(BackupCandidate(codePage, c.target, c.n), c.expected) << c.target << " " << c.n;
    }
}

TEST(BackupName, FirstFreeNumberFromZeroInEveryFolder) {
    FakeFileSystem files;
    SingleByteCodePage codePage;
    files.AddFile("C:\\A\\Tolvar32tmp0.tmp");
    files.AddFile("C:\\A\\Tolvar32tmp1.tmp");
    files.AddFile("C:\\A\\Tolvar32tmp3.tmp");
    files.AddDirectory("C:\\B");
    EXPECT_EQ(ChooseBackupPath(files, codePage, "C:\\A\\Tolvar32.bdb"), "C:\\A\\Tolvar32tmp2.tmp");
    EXPECT_EQ(ChooseBackupPath(files, codePage, "C:\\B\\Tolvar32.bdb"), "C:\\B\\Tolvar32tmp0.tmp");
}

}  // namespace
}  // namespace worker_test
}  // namespace mivetrak
