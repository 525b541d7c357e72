// The worker's check phase against the fakes: connection, index, remote query and the
// per-folder decision, with the messages each outcome sends and what it leaves on disk.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "unit/worker_harness.h"

namespace mivetrak {
namespace worker_test {
namespace {

// Ways the check phase ends without a download.
struct CheckFailureCase {
    const char* name;
    std::function<void(WorkerRig&)> arm;
    ExitCode result;
    Strings messages;
    std::function<void(WorkerRig&)> check;
};

TEST(WorkerCheckPhase, FailureTable) {
    const std::vector<CheckFailureCase> cases = {
        {"no connection and the dial fails",
         [](WorkerRig& r) {
             r.fake.internet.connected = false;
             r.fake.internet.autodialResult = false;
         },
         ExitCode::NotObtained,
         {"P0:0", "A2"},
         [](WorkerRig& r) {
             auto dials = r.fake.internet.CallsOf(Op::Autodial);
             ASSERT_EQ(dials.size(), 1u);
             EXPECT_EQ(dials[0].owner, DialogWindowHandle());
             EXPECT_EQ(r.fake.internet.CountOf(Op::OpenRoot), 0u);
         }},
        {"dialled but still off line",
         [](WorkerRig& r) { r.fake.internet.connected = false; },
         ExitCode::NotObtained,
         {"P0:0", "A2"},
         [](WorkerRig& r) {
             EXPECT_EQ(r.fake.internet.CountOf(Op::Autodial), 1u);
             EXPECT_EQ(r.fake.internet.CountOf(Op::ConnectedStateEx), 2u);
             EXPECT_EQ(r.fake.internet.CountOf(Op::OpenRoot), 0u);
         }},
        {"index answers 404",
         [](WorkerRig& r) {
             r.fake.internet.AddHttp(kTestIndexUrl, FakeHttpResponse::WithStatus(404));
         },
         ExitCode::NotObtained,
         {"P0:0", "P0:20", "A3"},
         [](WorkerRig& r) { EXPECT_EQ(r.fake.internet.SendCount(kPrimaryUrl), 0u); }},
        {"index transfer breaks off",
         [](WorkerRig& r) {
             auto index = FakeHttpResponse::Ok(IndexText(kPrimaryUrl, kBackupUrl), {});
             index.failReadAt = 10;
             r.fake.internet.AddHttp(kTestIndexUrl, index);
         },
         ExitCode::NotObtained,
         {"P0:0", "P0:20", "A3"},
         // What the transfer wrote stays; the next run overwrites it.
         [](WorkerRig& r) { EXPECT_TRUE(r.fake.files.Exists(kIndexFile)); }},
        {"the index server never answers",
         [](WorkerRig& r) {
             auto index = FakeHttpResponse::Ok(IndexText(kPrimaryUrl, kBackupUrl), {});
             index.sendError = 12030;  // what the idle limit ends the send with
             r.fake.internet.AddHttp(kTestIndexUrl, index);
         },
         ExitCode::NotObtained,
         {"P0:0", "P0:20", "A3"},
         [](WorkerRig& r) {
             EXPECT_TRUE(r.fake.log.Contains("The download of \"" + kTestIndexUrl +
                                             "\" failed: could not send the request: error "
                                             "12030"));
             EXPECT_TRUE(r.fake.log.Contains("The update index could not be fetched from \"" +
                                             kTestIndexUrl + "\""));
         }},
        {"index without the ZAVFile section",
         [](WorkerRig& r) {
             r.fake.internet.AddHttp(
                 kTestIndexUrl, FakeHttpResponse::Ok(
                                    "[Files]\r\nPrimary=" + std::string(kPrimaryUrl) + "\r\n", {}));
         },
         ExitCode::NotObtained,
         {"P0:0", "P0:20", "P0:50", "A3"},
         [](WorkerRig& r) {
             EXPECT_FALSE(r.fake.files.Exists(kIndexFile));
             EXPECT_EQ(r.fake.internet.SendCount(kPrimaryUrl), 0u);
         }},
        {"index section without the keys",
         [](WorkerRig& r) {
             r.fake.internet.AddHttp(kTestIndexUrl,
                                     FakeHttpResponse::Ok("[ZAVFile]\r\nMirror=x\r\n", {}));
         },
         ExitCode::NotObtained,
         {"P0:0", "P0:20", "P0:50", "A3"},
         [](WorkerRig& r) { EXPECT_FALSE(r.fake.files.Exists(kIndexFile)); }},
        {"index held by another program once fetched",
         [](WorkerRig& r) {
             // The first connection closed is the index fetch's last handle.
             r.fake.internet.onCall = [&r](const FakeInternet::Call& call) {
                 if (call.op == Op::CloseInternetHandle &&
                     call.kind == FakeInternet::Kind::Connection) {
                     r.fake.files.SetLocked(kIndexFile);
                 }
             };
         },
         ExitCode::NotObtained,
         {"P0:0", "P0:20", "P0:50", "A3"},
         [](WorkerRig& r) {
             EXPECT_TRUE(r.fake.log.Contains(
                 "Could not read the update index C:\\Temp\\orzavtmp\\zav.tmp: error 32"));
             EXPECT_EQ(r.fake.internet.SendCount(kPrimaryUrl), 0u);
         }},
        {"neither URL answers",
         [](WorkerRig& r) {
             r.fake.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::WithStatus(404));
             auto silent = FakeHttpResponse::Ok("x", ServerTime());
             silent.sendError = kErrorInternetTimeout;  // connecting took too long
             r.fake.internet.AddHttp(kBackupUrl, silent);
         },
         ExitCode::NotObtained,
         {"P0:0", "P0:20", "P0:50", "A3"},
         [](WorkerRig& r) {
             // Each is asked with HEAD, then, as that gives no usable answer, with GET.
             EXPECT_EQ(r.fake.internet.SendCount(kPrimaryUrl), 2u);
             // The index, then HEAD and GET for each URL; the backup's sends all failed.
             EXPECT_EQ(r.fake.internet.CountOf(Op::SendHttpRequest), 5u);
             EXPECT_FALSE(r.fake.files.Exists(kIndexFile));
             EXPECT_TRUE(r.fake.log.Contains(std::string("The primary database URL \"") +
                                             kPrimaryUrl + "\" did not answer the query"));
             EXPECT_TRUE(r.fake.log.Contains(
                 "The query of \"http://backup.test:8080/db/Tolvar32.bdb\" failed: GET gave no "
                 "answer (could not send the request: error 12002)"));
         }},
        {"locked database retried, then declined",
         [](WorkerRig& r) {
             r.fake.files.SetLocked(DatabaseIn('A'));
             r.fake.ui.ScriptSendAnswers({1, 2});
         },
         ExitCode::Stopped,
         {"P0:0", "P0:20", "P0:50", "P0:80", "Q6", "Q6"},
         [](WorkerRig& r) {
             EXPECT_EQ(r.fake.internet.SendCount(kPrimaryUrl), 1u);  // the query only
             EXPECT_FALSE(r.fake.files.Exists(kTempDatabase));
         }},
        {"locked database and no dialog to ask",
         [](WorkerRig& r) {
             r.fake.files.SetLocked(DatabaseIn('A'));
             r.mainWindow = nullptr;
         },
         ExitCode::Stopped,
         {},
         [](WorkerRig& r) {
             EXPECT_EQ(r.fake.internet.CountOf(Op::Autodial), 0u);
             EXPECT_EQ(r.fake.internet.SendCount(kPrimaryUrl), 1u);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerRig rig;
        rig.AddFolder('A', true);
        c.arm(rig);
        EXPECT_EQ(rig.Run(), c.result);
        EXPECT_EQ(rig.Messages(), c.messages);
        rig.ExpectOldDatabaseIn('A');
        rig.ExpectNoBackupIn('A');
        rig.ExpectNothingLeftOpen();
        c.check(rig);
    }
}

const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

TEST(WorkerCheckPhase, DialsWithTheDialogAsOwnerAndGoesOn) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    // The user's autodial settings: dialling may change them, the end of the run puts them back.
    rig.fake.registry.SetDword(RegistryRoot::CurrentUser, kInternetSettings, "EnableAutodial", 1);
    rig.fake.registry.SetDword(RegistryRoot::CurrentUser, kInternetSettings, "NoNetAutodial", 0);
    rig.fake.internet.connected = false;
    rig.fake.internet.onCall = [&rig](const FakeInternet::Call& call) {
        if (call.op == Op::Autodial) rig.fake.internet.connected = true;
    };
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    auto dials = rig.fake.internet.CallsOf(Op::Autodial);
    ASSERT_EQ(dials.size(), 1u);
    EXPECT_EQ(dials[0].owner, DialogWindowHandle());
    rig.ExpectNewDatabaseIn('A');
    rig.ExpectNothingLeftOpen();
    const auto writes = rig.fake.registry.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].name, "EnableAutodial");
    EXPECT_EQ(writes[0].data, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(writes[1].name, "NoNetAutodial");
    EXPECT_EQ(writes[1].data, (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(rig.fake.registry.OpenKeyCount(), 0);
}

TEST(WorkerCheckPhase, OnLineFromTheStartNeverDials) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.fake.internet.CountOf(Op::Autodial), 0u);
    EXPECT_EQ(rig.fake.internet.CountOf(Op::DialConnection), 0u);
    EXPECT_TRUE(rig.fake.registry.Writes().empty());
}

TEST(WorkerCheckPhase, WithoutDialogNothingIsPostedAndTheDownloadStops) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.mainWindow = nullptr;
    // The progress callback stops a download that no dialog can follow or cancel.
    EXPECT_EQ(rig.Run(), ExitCode::NotObtained);
    EXPECT_TRUE(rig.fake.ui.Messages().empty());
    EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
    rig.ExpectOldDatabaseIn('A');
    rig.ExpectNothingLeftOpen();
}

TEST(WorkerCheckPhase, FetchesTheIndexWithTheDeploymentsAgentAndDeletesIt) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    // The index, the query and the download all go through the run's one root.
    auto roots = rig.fake.internet.CallsOf(Op::OpenRoot);
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0].text, "Test Agent");
    EXPECT_EQ(rig.fake.internet.CountOf(Op::Connect), 3u);
    auto connects = rig.fake.internet.CallsOf(Op::Connect);
    ASSERT_FALSE(connects.empty());
    EXPECT_EQ(connects[0].text, "update.test");
    EXPECT_TRUE(rig.Logged("OpenFile C:\\Temp\\orzavtmp\\zav.tmp read"));
    EXPECT_FALSE(rig.fake.files.Exists(kIndexFile));
    EXPECT_EQ(rig.downloadLength, WorkerRig::kBodySize);
}

TEST(WorkerCheckPhase, BackupAnswersWhenThePrimaryFails) {
    WorkerRig rig;
    rig.AddFolder('A', true, MakeTime(2022, 1, 1, 0, 0, 0));
    rig.fake.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::WithStatus(404));
    // The backup's copy is the one judged and downloaded: its own body and time.
    const std::string backupBody = DatabaseBody(3000);
    const SystemTime backupTime = MakeTime(2022, 2, 2, 2, 2, 2);
    rig.fake.internet.AddHttp(kBackupUrl, FakeHttpResponse::Ok(backupBody, backupTime));
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.fake.internet.SendCount(kPrimaryUrl), 2u);  // HEAD, then GET: both 404
    EXPECT_EQ(rig.fake.internet.SendCount(kBackupUrl), 2u);   // query, then the download
    EXPECT_EQ(rig.downloadLength, 3000u);
    EXPECT_EQ(rig.fake.files.Content(DatabaseIn('A')), backupBody);
    auto entry = rig.fake.files.GetEntry(DatabaseIn('A'));
    ASSERT_TRUE(entry.has_value());
    EXPECT_TRUE(SameSecond(entry->lastWrite, backupTime)) << TimeText(entry->lastWrite);
}

TEST(WorkerCheckPhase, BackupIsNotAskedWhenThePrimaryAnswers) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.fake.internet.SendCount(kPrimaryUrl), 2u);
    EXPECT_EQ(rig.fake.internet.SendCount(kBackupUrl), 0u);
}

// The decision for each folder: kept, noting whether it holds a database, or removed.
struct FolderCase {
    const char* name;
    bool withDatabase;
    SystemTime lastWrite;
    bool kept;
};

TEST(WorkerCheckPhase, EveryFolderUpToDateSendsUpToDateAndDownloadsNothing) {
    WorkerRig rig;
    // Same second with other milliseconds, later, and same second exactly: all up to date, and
    // adjacent removals skip none of them.
    SystemTime sameSecond = ServerTime();
    sameSecond.wMilliseconds = 999;
    sameSecond.wDayOfWeek = 6;
    rig.AddFolder('A', true, sameSecond);
    rig.AddFolder('B', true, MakeTime(2023, 1, 1, 0, 0, 0));
    rig.AddFolder('C', true, ServerTime());
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.Messages(), (Strings{"P0:0", "P0:20", "P0:50", "P0:80", "A4"}));
    EXPECT_TRUE(rig.folders.empty());
    EXPECT_EQ(rig.fake.internet.SendCount(kPrimaryUrl), 1u);  // the query, no download
    EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
    for (char f : {'A', 'B', 'C'}) rig.ExpectOldDatabaseIn(f);
    rig.ExpectNothingLeftOpen();
}

TEST(WorkerCheckPhase, PrunesFoldersThatAreNotOlderWithoutSkippingAny) {
    const std::vector<FolderCase> layout = {
        {"older by a second", true, MakeTime(2022, 3, 9, 14, 25, 35), true},
        {"equal", true, ServerTime(), false},
        {"newer", true, MakeTime(2022, 3, 9, 14, 25, 37), false},
        {"no database", false, {}, true},
        {"newer by a year", true, MakeTime(2023, 3, 9, 14, 25, 36), false},
        {"older by a year", true, MakeTime(2021, 3, 9, 14, 25, 36), true},
    };
    WorkerRig rig;
    Strings expectedKept;
    std::vector<bool> expectedHadDatabase;
    char letter = 'A';
    for (const auto& f : layout) {
        rig.AddFolder(letter, f.withDatabase, f.lastWrite);
        if (f.kept) {
            expectedKept.push_back(FolderPath(letter));
            expectedHadDatabase.push_back(f.withDatabase);
        }
        ++letter;
    }
    // Stop right after the decision to look at the pruned list.
    rig.fake.ui.onPost = [&rig](const FakeWindowsUi::Message& m) {
        if (m.message == kProgressMessage && m.wParam == PhaseDownload) rig.PressCancel();
    };
    EXPECT_EQ(rig.Run(), ExitCode::Stopped);
    EXPECT_EQ(PathsOf(rig.folders), expectedKept);
    // Each kept folder notes whether it holds a database to move aside.
    std::vector<bool> hadDatabase;
    for (const TargetFolder& folder : rig.folders) hadDatabase.push_back(folder.hadDatabase);
    EXPECT_EQ(hadDatabase, expectedHadDatabase);
}

TEST(WorkerCheckPhase, LockedDatabaseRetriedUntilItCanBeRead) {
    WorkerRig rig;
    rig.AddFolder('A', true);
    rig.fake.files.SetLocked(DatabaseIn('A'));
    int questions = 0;
    rig.fake.ui.defaultSendAnswer = 1;
    rig.fake.ui.onSend = [&](const FakeWindowsUi::Message&) {
        if (++questions == 3) rig.fake.files.SetLocked(DatabaseIn('A'), false);
    };
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(questions, 3);
    EXPECT_EQ(
        rig.MessagesWithoutDownloadPercent(),
        (Strings{"P0:0", "P0:20", "P0:50", "P0:80", "Q6", "Q6", "Q6", "P1:0", "P2:0", "P3:0"}));
    rig.ExpectNewDatabaseIn('A');
}

// A copy whose last-write time is not a date the system converts cannot be judged by it; asking
// to try again could never help, so it gets the update without a question.
TEST(WorkerCheckPhase, DatabaseWithATimeThatIsNotADateIsUpdatedWithoutAQuestion) {
    WorkerRig rig;
    rig.AddFolder('A', true, ServerTime());  // its recorded time would say up to date
    rig.fake.files.SetTimesNotConvertible(DatabaseIn('A'));
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.MessagesWithoutDownloadPercent(),
              (Strings{"P0:0", "P0:20", "P0:50", "P0:80", "P1:0", "P2:0", "P3:0"}));
    EXPECT_TRUE(
        rig.fake.log.Contains("The last-write time of C:\\DbA\\Tolvar32.bdb is not a date"));
    EXPECT_EQ(rig.fake.files.Content(DatabaseIn('A')), rig.body);
}

}  // namespace
}  // namespace worker_test
}  // namespace mivetrak
