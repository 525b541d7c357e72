// A silent run (/s) does the same job as a run with a user, without a question, a dialog or a
// box, and without bringing another run's window forward; its log says what happened. Every
// cause for which a run fails is in the one table below, with its exit code and the line of the
// log that names the cause. "/?" shows how to use the program and does nothing else.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/run_locks.h"
#include "app/update_app.h"
#include "fakes/fake_platform.h"
#include "unit/app_machine.h"
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

constexpr char kUsageText[] = "How to use";
constexpr char kFolder[] = "D:\\Db";
constexpr char kDatabase[] = "D:\\Db\\Tolvar32.bdb";
constexpr size_t kBodySize = 10000;

// The machine of a silent run: one installation folder with an old database, and an update
// server whose index names a primary and a backup copy of a newer one.
void PrepareMachine(FakePlatform& f, const std::string& arguments) {
    ConfigureMachine(f);
    f.files.AddFile(kDatabase, "old database", OlderTime(), OlderTime());
    f.system.SetRawCommandLine("Mivetrak.exe " + arguments);
    f.internet.AddHttp(kTestIndexUrl, FakeHttpResponse::Ok(IndexText(kPrimaryUrl, kBackupUrl), {}));
    f.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::Ok(DatabaseBody(kBodySize), ServerTime()));
    f.internet.AddHttp(kBackupUrl, FakeHttpResponse::Ok(DatabaseBody(kBodySize), ServerTime()));
}

FakeHttpResponse WithStatus(const char* status) {
    FakeHttpResponse r = FakeHttpResponse::Ok(DatabaseBody(kBodySize), ServerTime());
    r.statuses = {status};
    return r;
}

std::string Quoted(const std::string& url) { return "\"" + url + "\""; }

struct FailureCase {
    const char* name;
    const char* arguments;
    std::function<void(FakePlatform&)> arrange;
    int exitCode;
    bool workerStarts;
    std::string logged;  // a part of one line
};

const std::vector<FailureCase>& FailureCases() {
    static const std::vector<FailureCase> cases = {
        // Start-up.
        {"the resource library is missing", "/s D:\\Db",
         [](FakePlatform& f) { f.system.FailModule(kTestLibrary, 126); }, 1, false,
         "Could not load Mivetrak.rsl from the program's folder: error 126."},
        {"another run is going", "/s D:\\Db",
         [](FakePlatform& f) { f.system.HoldLockElsewhere(kInstanceLockName); }, 1, false,
         "Another run of the program is going (error 183): this run ends."},
        {"no usable folder on the command line", "-S D:\\Nowhere", nullptr, 1, false,
         "The run cannot start: no argument names a folder that can be used."},
        {"no installation folder", "/s D:\\Db",
         [](FakePlatform& f) {
             SystemError e;
             f.files.RemoveFile(kDatabase, e);
         },
         1, false, "The run cannot start: no installation folder holds the database."},
        {"the work folder cannot be made", "/s D:\\Db",
         [](FakePlatform& f) { f.files.FailMakeDirectory(kTestWorkFolder); }, 1, false,
         "Could not make the work folder C:\\Temp\\orzavtmp: error 5."},
        {"a folder beyond the user's rights", "/s D:\\Db",
         [](FakePlatform& f) { f.files.DenyWriting(kFolder); }, 4, true,
         "The rights of this run do not reach D:\\Db\\: its copy needs administrator rights to "
         "be updated."},
        {"the worker thread cannot be made", "/s D:\\Db",
         [](FakePlatform& f) { f.system.RefuseThreads(); }, 1, false,
         "The worker thread could not be started."},
        // The connection.
        {"off line, and the autodial fails", "/s D:\\Db",
         [](FakePlatform& f) {
             f.internet.connected = false;
             f.internet.autodialResult = false;
         },
         3, true, "The system's autodial did not bring the machine on line: error 1223."},
        // The index.
        {"the index is missing", "/s D:\\Db",
         [](FakePlatform& f) { f.internet.AddHttp(kTestIndexUrl, WithStatus("404")); }, 3, true,
         "The download of " + Quoted(kTestIndexUrl) +
             " failed: the server answered HTTP status 404."},
        {"the index server cannot be reached", "/s D:\\Db",
         [](FakePlatform& f) {
             FakeHttpResponse r = WithStatus("200");
             r.sendError = 12029;
             f.internet.AddHttp(kTestIndexUrl, r);
         },
         3, true,
         "The download of " + Quoted(kTestIndexUrl) +
             " failed: could not send the request: error 12029."},
        {"the index is too large", "/s D:\\Db",
         [](FakePlatform& f) {
             f.internet.AddHttp(kTestIndexUrl,
                                FakeHttpResponse::Ok(std::string(1024 * 1024 + 1, ';'), {}));
         },
         3, true, "The update index at " + Quoted(kTestIndexUrl) + " is larger than 1048576 bytes"},
        // The query.
        {"neither database URL answers", "/s D:\\Db",
         [](FakePlatform& f) {
             f.internet.AddHttp(kPrimaryUrl, WithStatus("404"));
             f.internet.AddHttp(kBackupUrl, WithStatus("503"));
         },
         3, true, "The query of " + Quoted(kBackupUrl) + " failed: GET gave HTTP status 503."},
        {"both database URLs ask for a login", "/s D:\\Db",
         [](FakePlatform& f) {
             f.internet.AddHttp(kPrimaryUrl, WithStatus("401"));
             f.internet.AddHttp(kBackupUrl, WithStatus("407"));
         },
         3, true,
         "The query of " + Quoted(kBackupUrl) +
             " stopped: HEAD got HTTP status 407 (it asks for a login, and nobody is there to "
             "give one)."},
        // The download.
        {"the download breaks off", "/s D:\\Db",
         [](FakePlatform& f) {
             FakeHttpResponse r = FakeHttpResponse::Ok(DatabaseBody(kBodySize), ServerTime());
             r.failReadAt = 3000;
             f.internet.AddHttp(kPrimaryUrl, r);
         },
         3, true,
         "The download of " + Quoted(kPrimaryUrl) +
             " failed: the transfer broke off after 3000 bytes: error 10060."},
        {"the download differs from the length announced", "/s D:\\Db",
         [](FakePlatform& f) {
             FakeHttpResponse head = FakeHttpResponse::Ok("", ServerTime());
             head.contentLength = "12345";
             f.internet.AddHttpHead(kPrimaryUrl, head);
         },
         3, true,
         "The download of " + Quoted(kPrimaryUrl) +
             " has 10000 bytes instead of the 12345 announced; it is not installed."},
        {"the download grows past the length announced", "/s D:\\Db",
         [](FakePlatform& f) {
             FakeHttpResponse head = FakeHttpResponse::Ok("", ServerTime());
             head.contentLength = "5000";
             f.internet.AddHttpHead(kPrimaryUrl, head);
         },
         3, true,
         "The download of " + Quoted(kPrimaryUrl) +
             " has more bytes instead of the 5000 announced; it is not installed."},
        // The installation.
        {"the database's times cannot be read", "/s D:\\Db",
         [](FakePlatform& f) { f.files.FailTimeQuery(kDatabase); }, 4, true,
         "Could not read the times of D:\\Db\\Tolvar32.bdb: error"},
        {"the database cannot be moved aside", "/s D:\\Db",
         [](FakePlatform& f) { f.files.FailRename(kDatabase, -1, kErrorAccessDenied); }, 4, true,
         "Could not move D:\\Db\\Tolvar32.bdb aside to D:\\Db\\Tolvar32tmp0.tmp: error 5."},
        {"the copy finds the disk full", "/s D:\\Db",
         [](FakePlatform& f) {
             f.files.FailCopyTo("D:\\Db\\Tolvar32new0.tmp", -1, kErrorDiskFull);
         },
         4, true,
         "Could not copy C:\\Temp\\orzavtmp\\Tolvar32.bdb to D:\\Db\\Tolvar32new0.tmp: error 112."},
        {"the database stays in use", "/s D:\\Db",
         [](FakePlatform& f) { f.files.FailRename(kDatabase, -1, kErrorSharingViolation); }, 2,
         true, "D:\\Db\\Tolvar32.bdb is still in use after 30 s: the run stops."},
    };
    return cases;
}

TEST(SilentRun, EachFailureEndsWithItsExitCodeAndALogLineThatSaysWhy) {
    for (const FailureCase& c : FailureCases()) {
        SCOPED_TRACE(c.name);
        FakePlatform f;
        PrepareMachine(f, c.arguments);
        if (c.arrange) c.arrange(f);
        UpdateApp app(f.platform, TestDeployment());
        app.InitInstance();
        EXPECT_EQ(static_cast<int>(app.ExitInstance()), c.exitCode);

        EXPECT_TRUE(f.ui.Boxes().empty());
        EXPECT_TRUE(f.ui.ModalRuns().empty());
        EXPECT_TRUE(f.ui.FrontRequests().empty());
        EXPECT_TRUE(f.ui.Messages().empty());
        EXPECT_EQ(f.internet.CountOf(FakeInternet::Op::ErrorDialog), 0u);
        EXPECT_TRUE(f.system.Restarts().empty());
        EXPECT_EQ(f.system.ThreadsResumed(), c.workerStarts ? 1 : 0);
        EXPECT_TRUE(f.log.Contains(c.logged)) << c.logged << "\n"
                                              << ::testing::PrintToString(f.log.Lines());
        EXPECT_TRUE(f.log.Contains("The run ends with exit code " + std::to_string(c.exitCode)));
        // The log lies in the temporary folder, beside the work folder, of which nothing is left.
        EXPECT_EQ(f.log.FileFolder(), "C:\\Temp\\");
        EXPECT_FALSE(f.files.Exists(kTestWorkFolder));
        if (f.files.Exists(kDatabase)) {
            EXPECT_EQ(f.files.Content(kDatabase), "old database");
        }
    }
}

// The log of a run that updates a folder: every step, in order, with what it found.
TEST(SilentRun, TheLogOfAnUpdateTellsEveryStep) {
    FakePlatform f;
    PrepareMachine(f, "/s D:\\Db");
    UpdateApp app(f.platform, TestDeployment());
    app.InitInstance();
    EXPECT_EQ(app.ExitInstance(), ExitCode::Done);
    EXPECT_EQ(f.files.Content(kDatabase), DatabaseBody(kBodySize));

    const std::vector<std::string> steps = {
        "Mivetrak 1.0.1.5 starts in silent mode. Its command line: Mivetrak.exe /s D:\\Db",
        "Found the installation folder D:\\Db\\ (from the command line).",
        "A silent run asks no question: the update goes ahead.",
        "The connection check finds the machine on line (connection flags 0x12).",
        "Fetched the update index " + Quoted(kTestIndexUrl) + ": HTTP status 200, ",
        "The update index names the primary URL " + Quoted(kPrimaryUrl) + " and the backup URL " +
            Quoted(kBackupUrl) + ".",
        "The query of " + Quoted(kPrimaryUrl) +
            " (HEAD) answered HTTP status 200, 10000 bytes, Last-Modified \"Wed, 09 Mar 2022 "
            "14:25:36 GMT\".",
        "D:\\Db\\Tolvar32.bdb was written 2021-11-30 08:00:00 UTC, the server's copy 2022-03-09 "
        "14:25:36 UTC; this copy is older: it is updated.",
        "Downloaded " + Quoted(kPrimaryUrl) + ": 10000 bytes in ",
        "Copied C:\\Temp\\orzavtmp\\Tolvar32.bdb to D:\\Db\\Tolvar32new0.tmp.",
        "Moved D:\\Db\\Tolvar32.bdb aside to D:\\Db\\Tolvar32tmp0.tmp.",
        "Renamed D:\\Db\\Tolvar32new0.tmp to D:\\Db\\Tolvar32.bdb: the new database is in place.",
        "Deleted the old copy D:\\Db\\Tolvar32tmp0.tmp.",
        "The new database is installed everywhere it was needed.",
        "The run ends with exit code 0: done, or nothing to do.",
    };
    const std::vector<std::string> lines = f.log.Lines();
    size_t next = 0;
    for (const std::string& line : lines) {
        if (next < steps.size() && line.rfind(steps[next], 0) == 0) ++next;
    }
    EXPECT_EQ(next, steps.size()) << "missing: " << (next < steps.size() ? steps[next] : "") << "\n"
                                  << ::testing::PrintToString(lines);
}

TEST(UsageRun, ShowsHowToUseTheProgramAndDoesNothingElse) {
    // Silent, the question gets no box either.
    for (const char* arguments : {"/?", "-? /s D:\\Db"}) {
        SCOPED_TRACE(arguments);
        const bool silent = std::string(arguments).find("/s") != std::string::npos;
        FakePlatform f;
        ConfigureMachine(f);
        f.system.SetText(kTestLibrary, IDS_USAGE, kUsageText);
        f.files.AddFile(kDatabase, "db");
        f.system.SetRawCommandLine(std::string("Mivetrak.exe ") + arguments);
        UpdateApp app(f.platform, TestDeployment());
        app.InitInstance();
        EXPECT_EQ(app.ExitInstance(), ExitCode::Done);
        ASSERT_EQ(f.ui.Boxes().size(), silent ? 0u : 1u);
        if (!silent) {
            EXPECT_EQ(f.ui.Boxes()[0].text, kUsageText);
        }
        EXPECT_TRUE(f.system.LockCalls().empty());
        EXPECT_EQ(f.system.ThreadsCreated(), 0);
        EXPECT_FALSE(f.files.Exists(kTestWorkFolder));
        EXPECT_EQ(f.system.LoadedCount(kTestLibrary), 0);
    }
}

}  // namespace
}  // namespace mivetrak
