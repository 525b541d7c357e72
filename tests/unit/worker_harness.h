#pragma once
// A worker run against the fakes: an update server with an index, a primary and a backup copy
// of the database, installation folders on a fake disk, and a recorded dialog window.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "engine/install_recovery.h"
#include "engine/worker.h"
#include "fakes/fake_platform.h"
#include "protocol/cancel_flag.h"
#include "protocol/worker_messages.h"
#include "support/test_time.h"
#include "ui/dialog_listener.h"
#include "unit/target_folder_paths.h"

namespace mivetrak {
namespace worker_test {

using Strings = std::vector<std::string>;
using Op = FakeInternet::Op;

// The messages of a check phase that finds something to download.
inline const Strings kCheck{"P0:0", "P0:20", "P0:50", "P0:80"};

inline WindowHandle DialogWindowHandle() {
    static int dialog = 0;
    return reinterpret_cast<WindowHandle>(&dialog);
}

const std::string kTestIndexUrl = TestDeployment().indexUrl;
constexpr const char kPrimaryUrl[] = "http://primary.test/db/Tolvar32.bdb";
constexpr const char kBackupUrl[] = "http://backup.test:8080/db/Tolvar32.bdb";
constexpr const char kWorkFolder[] = "C:\\Temp\\orzavtmp\\";
constexpr const char kTempDatabase[] = "C:\\Temp\\orzavtmp\\Tolvar32.bdb";
constexpr const char kIndexFile[] = "C:\\Temp\\orzavtmp\\zav.tmp";

// The server's copy: its Last-Modified time, and a body whose bytes differ along its length.
inline SystemTime ServerTime() { return MakeTime(2022, 3, 9, 14, 25, 36); }
inline SystemTime OlderTime() { return MakeTime(2021, 11, 30, 8, 0, 0); }
inline std::string DatabaseBody(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
    return body;
}
inline std::string IndexText(const std::string& primary, const std::string& backup) {
    return "; update index\r\n[Other]\r\nPrimary=http://elsewhere.test/x\r\n[ZAVFile]\r\nPrimary=" +
           primary + "\r\nBackup=" + backup + "\r\n";
}

}  // namespace worker_test

// A failed comparison names the result by its exit code.
inline void PrintTo(ExitCode result, std::ostream* out) {
    *out << "ExitCode " << static_cast<int>(result);
}

namespace worker_test {

inline std::string FolderPath(char letter) { return std::string("C:\\Db") + letter + "\\"; }
inline std::string DatabaseIn(char letter) { return FolderPath(letter) + "Tolvar32.bdb"; }
// The name the new copy bears beside the database while it is written.
inline std::string SideIn(char letter) { return FolderPath(letter) + "Tolvar32new0.tmp"; }
inline std::string BackupIn(char letter) { return FolderPath(letter) + "Tolvar32tmp0.tmp"; }
constexpr char kJournal[] = "C:\\Temp\\orzavtmp\\zavjrnl.tmp";

// One run's world. Tests build one (or one per table row), arm it, run it and look at it.
class WorkerRig {
public:
    static constexpr size_t kBodySize = 10000;

    WorkerRig() : body(DatabaseBody(kBodySize)) {
        fake.files.AddDirectory(kWorkFolder);
        fake.files.SetNow(MakeTime(2026, 12, 7, 21, 0, 0));
        fake.internet.AddHttp(kTestIndexUrl,
                              FakeHttpResponse::Ok(IndexText(kPrimaryUrl, kBackupUrl), {}));
        fake.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::Ok(body, ServerTime()));
        fake.internet.AddHttp(kBackupUrl, FakeHttpResponse::Ok(body, ServerTime()));
    }
    // Raises the cancel flag, as the dialog's Cancel does.
    void PressCancel() { cancel.Raise(); }

    // A folder holding a database written at the given time, or none.
    void AddFolder(char letter, bool withDatabase, const SystemTime& lastWrite = OlderTime()) {
        fake.files.AddDirectory(FolderPath(letter));
        if (withDatabase) {
            fake.files.AddFile(DatabaseIn(letter), std::string("old database ") + letter, lastWrite,
                               MakeTime(2019, 1, 1, 0, 0, 0));
        }
        folders.push_back({FolderPath(letter)});
    }

    ExitCode Run() {
        result = UpdateWorker(context);
        return result;
    }

    // The messages that reached the dialog: "P<phase>:<percent>" posted progress, "A<code>"
    // posted alert, "Q<code>" sent question.
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const auto& m : fake.ui.Messages()) {
            EXPECT_EQ(m.window, DialogWindowHandle());
            if (m.message == kProgressMessage && !m.sent) {
                out.push_back("P" + std::to_string(m.wParam) + ":" + std::to_string(m.lParam));
            } else if (m.message == kAlertMessage) {
                EXPECT_EQ(m.lParam, 0);
                out.push_back((m.sent ? "Q" : "A") + std::to_string(m.wParam));
            } else {
                out.push_back("?" + std::to_string(m.message));
            }
        }
        return out;
    }

    // Messages without the download's callback percentages (phase 1 above 0).
    std::vector<std::string> MessagesWithoutDownloadPercent() const {
        std::vector<std::string> out;
        for (const auto& m : Messages()) {
            if (m.rfind("P1:", 0) == 0 && m != "P1:0") continue;
            out.push_back(m);
        }
        return out;
    }

    // The download phase has begun (its first progress message was posted).
    bool DownloadStarted() const {
        for (const auto& m : fake.ui.Messages()) {
            if (m.message == kProgressMessage && m.wParam == PhaseDownload) return true;
        }
        return false;
    }

    // Bytes that the Internet handed over in all reads of the run.
    size_t BytesDelivered() const {
        size_t total = 0;
        for (const auto& call : fake.internet.CallsOf(FakeInternet::Op::ReadData)) {
            total += call.bytes;
        }
        return total;
    }

    std::vector<std::string> FileLog() const { return fake.files.Calls(); }
    // Whether a call of the fake file system's log changed the disk: renames,
    // deletions, opens that write, and flushes.
    static bool ChangesDisk(const std::string& call) {
        const bool readingOpen = call.size() > 5 && call.compare(call.size() - 5, 5, " read") == 0;
        return call.rfind("RenameFile", 0) == 0 || call.rfind("RemoveFile", 0) == 0 ||
               call.rfind("FlushFile", 0) == 0 || call.rfind("SetAttributes", 0) == 0 ||
               (call.rfind("OpenFile", 0) == 0 && !readingOpen);
    }
    // The calls that changed something in the folder.
    std::vector<std::string> ChangesIn(char letter) const {
        std::vector<std::string> out;
        for (const auto& call : fake.files.Calls()) {
            if (ChangesDisk(call) && call.find(FolderPath(letter)) != std::string::npos) {
                out.push_back(call);
            }
        }
        return out;
    }
    bool Logged(const std::string& call) const {
        for (const auto& c : fake.files.Calls()) {
            if (c == call) return true;
        }
        return false;
    }

    WorkerRig(const WorkerRig&) = delete;
    WorkerRig& operator=(const WorkerRig&) = delete;

    void ExpectNewDatabaseIn(char letter) {
        SCOPED_TRACE(std::string("folder ") + letter);
        ASSERT_TRUE(fake.files.Exists(DatabaseIn(letter)));
        EXPECT_EQ(fake.files.Content(DatabaseIn(letter)), body);
        auto entry = fake.files.GetEntry(DatabaseIn(letter));
        ASSERT_TRUE(entry.has_value());
        EXPECT_TRUE(SameSecond(entry->lastWrite, ServerTime())) << TimeText(entry->lastWrite);
    }
    void ExpectOldDatabaseIn(char letter) {
        SCOPED_TRACE(std::string("folder ") + letter);
        EXPECT_EQ(fake.files.Content(DatabaseIn(letter)), std::string("old database ") + letter);
    }
    // No backup or side name is left behind in the folder.
    void ExpectNoBackupIn(char letter) {
        for (int n = 0; n < 3; ++n) {
            for (const char* infix : {"tmp", "new"}) {
                EXPECT_FALSE(fake.files.Exists(FolderPath(letter) + "Tolvar32" + infix +
                                               std::to_string(n) + ".tmp"))
                    << letter << infix << n;
            }
        }
    }
    // Every handle that the run opened has been closed again.
    void ExpectNothingLeftOpen() {
        EXPECT_EQ(fake.internet.OpenHandleCount(), 0u);
        EXPECT_EQ(fake.internet.BadCloseCount(), 0u);
        EXPECT_EQ(fake.files.OpenHandleCount(), 0);
    }

    FakePlatform fake;
    std::string body;
    std::vector<TargetFolder> folders;
    std::string workFolder = kWorkFolder;
    uint32_t downloadLength = 0;
    ExitCode exitCode = static_cast<ExitCode>(-1);
    std::atomic<WindowHandle> mainWindow{DialogWindowHandle()};
    DialogListener listener{fake.platform, mainWindow};
    Deployment deployment = TestDeployment();
    CancelFlag cancel;
    WorkerContext context{fake.platform, folders,   workFolder, downloadLength,
                          exitCode,      &listener, deployment, cancel};
    ExitCode result = ExitCode::Done;
};

// The next start's repair of what the run left, in the rig's folders; true when every folder
// was put in order.
inline bool RecoverAll(WorkerRig& rig) {
    return RecoverInterruptedInstalls(rig.fake.platform, kWorkFolder, rig.folders,
                                      "C:\\Temp\\journal set aside")
        .empty();
}

}  // namespace worker_test
}  // namespace mivetrak
