// The worker's guards: bounded input from the network, a progress percentage that neither
// overflows nor floods the dialog, folders named twice, and files it did not write.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "engine/target_folder.h"
#include "fakes/fake_code_page.h"
#include "unit/worker_harness.h"

namespace mivetrak {
namespace worker_test {
namespace {

struct CallbackStep {
    uint32_t totalBytes;
    int expectedResult;
    const char* expectedPost;  // "" when nothing is posted
};

// Percentages of a database past 42 MB, where bytes * 100 no longer fits in 32 bits.
TEST(DownloadCallback, PercentOfLargeDownloadsWithoutOverflow) {
    const std::vector<CallbackStep> steps = {
        {2560, 1, ""},           // still 0 %: already posted before the download
        {50000000, 1, "P1:50"},  // 5e9 would wrap to 7 % in 32 bits
        {50002560, 1, ""},       // unchanged percentage: not posted again
        {99999999, 1, "P1:99"}, {100000000, 1, "P1:100"},
        {100000001, 0, ""},  // more than announced: stop
    };
    WorkerRig rig;
    rig.downloadLength = 100000000;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.totalBytes);
        const size_t before = rig.fake.ui.Messages().size();
        TransferProgress progress;
        progress.totalBytes = step.totalBytes;
        EXPECT_EQ(DownloadProgressCallback(&rig.context, &progress), step.expectedResult);
        const Strings messages = rig.Messages();
        if (std::string(step.expectedPost).empty()) {
            EXPECT_EQ(messages.size(), before);
        } else {
            ASSERT_EQ(messages.size(), before + 1);
            EXPECT_EQ(messages.back(), step.expectedPost);
        }
    }
}

TEST(DownloadCallback, StopsOnCancelAndWithoutDialog) {
    {
        WorkerRig rig;
        rig.downloadLength = 10000;
        TransferProgress progress;
        progress.totalBytes = 5000;
        rig.PressCancel();
        EXPECT_EQ(DownloadProgressCallback(&rig.context, &progress), 0);
        EXPECT_TRUE(rig.Messages().empty());
    }
    {
        WorkerRig rig;
        rig.downloadLength = 10000;
        rig.mainWindow = nullptr;
        TransferProgress progress;
        progress.totalBytes = 5000;
        EXPECT_EQ(DownloadProgressCallback(&rig.context, &progress), 0);
        EXPECT_TRUE(rig.fake.ui.Messages().empty());
    }
}

TEST(DownloadCallback, FastLinkPostsEachPercentageAtMostOnce) {
    WorkerRig rig;
    rig.body = DatabaseBody(1000000);  // 390 callbacks
    rig.fake.internet.AddHttp(kPrimaryUrl, FakeHttpResponse::Ok(rig.body, ServerTime()));
    rig.AddFolder('A', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    int last = -1;
    int downloadPosts = 0;
    for (const auto& m : rig.Messages()) {
        if (m.rfind("P1:", 0) != 0) continue;
        const int percent = std::stoi(m.substr(3));
        EXPECT_GT(percent, last) << m;
        last = percent;
        ++downloadPosts;
    }
    EXPECT_EQ(last, 99);  // 389 * 2560 bytes of 1,000,000; the tail ends between callbacks
    EXPECT_LE(downloadPosts, 100);
    EXPECT_GT(downloadPosts, 90);
    rig.ExpectNewDatabaseIn('A');
}

// A body goes on past the length its server announced: not a byte of it beyond that length is
// read, and what was announced is what a keyless program has to go by.
TEST(WorkerGuards, DownloadIsReadNoFurtherThanItsAnnouncedLength) {
    WorkerRig rig;
    const std::string megabyte = DatabaseBody(1000000);
    auto response = FakeHttpResponse::Ok(megabyte, ServerTime());
    response.contentLength = "3000";
    rig.fake.internet.AddHttp(kPrimaryUrl, response);
    rig.AddFolder('A', true);
    EXPECT_EQ(rig.Run(), ExitCode::Done);
    EXPECT_EQ(rig.BytesDelivered() - IndexText(kPrimaryUrl, kBackupUrl).size(), 3000u);
    EXPECT_EQ(rig.fake.files.Content(DatabaseIn('A')), megabyte.substr(0, 3000));
    rig.ExpectNothingLeftOpen();
}

// An index of the given size that names the test's URLs in its first lines.
std::string IndexOfSize(size_t size) {
    std::string text = IndexText(kPrimaryUrl, kBackupUrl);
    while (text.size() < size) {
        std::string line = "; padding\r\n";
        if (text.size() + line.size() > size) line = std::string(size - text.size(), ';');
        text += line;
    }
    return text;
}

struct IndexSizeCase {
    size_t size;
    ExitCode result;
    Strings messages;
};

TEST(WorkerGuards, IndexIsBoundedToOneMebibyte) {
    const std::vector<IndexSizeCase> cases = {
        {1024 * 1024,
         ExitCode::Done,
         {"P0:0", "P0:20", "P0:50", "P0:80", "P1:0", "P1:25", "P1:51", "P1:76", "P2:0", "P3:0"}},
        // Ends between two callbacks: refused by its size.
        {1024 * 1024 + 100, ExitCode::NotObtained, {"P0:0", "P0:20", "A3"}},
        // Runs on: stopped by the callback once past the bound.
        {3 * 1024 * 1024, ExitCode::NotObtained, {"P0:0", "P0:20", "A3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        WorkerRig rig;
        rig.fake.internet.AddHttp(kTestIndexUrl, FakeHttpResponse::Ok(IndexOfSize(c.size), {}));
        rig.AddFolder('A', true);
        EXPECT_EQ(rig.Run(), c.result);
        EXPECT_EQ(rig.Messages(), c.messages);
        rig.ExpectNothingLeftOpen();
    }
}

TEST(WorkerGuards, IndexStoppedRightAfterTheBound) {
    WorkerRig rig;
    rig.fake.internet.AddHttp(kTestIndexUrl,
                              FakeHttpResponse::Ok(IndexOfSize(3 * 1024 * 1024), {}));
    rig.AddFolder('A', true);
    EXPECT_EQ(rig.Run(), ExitCode::NotObtained);
    // Not a byte beyond the one that tells the index is larger than an index may be.
    EXPECT_EQ(rig.BytesDelivered(), 1024u * 1024u + 1u);
    EXPECT_TRUE(rig.fake.log.Contains("is larger than 1048576 bytes: it is no index."));
    EXPECT_FALSE(rig.DownloadStarted());
    EXPECT_EQ(rig.fake.internet.SendCount(kPrimaryUrl), 0u);
}

struct DuplicateCase {
    const char* name;
    Strings folderNames;
    bool withDatabase;
    Strings installMessages;
};

TEST(WorkerGuards, FolderNamedTwiceIsInstalledOnce) {
    const std::vector<DuplicateCase> cases = {
        {"forced, same spelling", {"C:\\DbA\\", "C:\\DbA\\"}, false, {"P2:0", "P2:50", "P3:0"}},
        {"forced, other case", {"C:\\DbA\\", "c:\\dba\\"}, false, {"P2:0", "P2:50", "P3:0"}},
        {"older database, other case",
         {"C:\\DbA\\", "C:\\DbB\\", "c:\\DBA\\"},
         true,
         {"P2:0", "P2:33", "P2:66", "P3:0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WorkerRig rig;
        rig.AddFolder('A', c.withDatabase);
        rig.AddFolder('B', c.withDatabase);
        rig.folders.clear();
        for (const std::string& name : c.folderNames) rig.folders.push_back({name});
        EXPECT_EQ(rig.Run(), ExitCode::Done);
        Strings expected = kCheck;
        expected.insert(expected.end(), {"P1:0", "P1:25", "P1:51", "P1:76"});
        expected.insert(expected.end(), c.installMessages.begin(), c.installMessages.end());
        EXPECT_EQ(rig.Messages(), expected);
        rig.ExpectNewDatabaseIn('A');
        rig.ExpectNoBackupIn('A');
        int copiesIntoA = 0;
        for (const auto& call : rig.FileLog()) {
            std::string lower = call;
            for (char& ch : lower)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (lower.rfind("openfile c:\\dba\\tolvar32new", 0) == 0) {
                ++copiesIntoA;
            }
        }
        EXPECT_EQ(copiesIntoA, 1);
        EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
    }
}

TEST(WorkerGuards, FailedCopyNeverDeletesAFileItDidNotWrite) {
    WorkerRig rig;
    rig.AddFolder('A', false);
    // Another program puts a database there between the check and the copy.
    rig.fake.ui.onPost = [&rig](const FakeWindowsUi::Message& m) {
        if (m.message == kProgressMessage && m.wParam == PhaseInstall) {
            rig.fake.files.AddFile(DatabaseIn('A'), "someone else's database");
        }
    };
    EXPECT_EQ(rig.Run(), ExitCode::InstallFailed);
    EXPECT_EQ(rig.Messages().back(), "A7");
    EXPECT_EQ(rig.fake.files.Content(DatabaseIn('A')), "someone else's database");
    EXPECT_FALSE(rig.fake.files.Exists(kTempDatabase));
}

struct SameFolderCase {
    const char* a;
    const char* b;
    bool doubleByte;
    bool same;
};

TEST(WorkerGuards, SameFolderComparesAsWindowsDoes) {
    const std::vector<SameFolderCase> cases = {
        {"C:\\Data\\", "C:\\Data\\", false, true},
        {"C:\\Data\\", "c:\\DATA\\", false, true},
        {"C:\\Data\\", "C:\\Date\\", false, false},
        {"C:\\Data\\", "C:\\Data\\x\\", false, false},
        // 0x83 0x41 and 0x83 0x61 are two different double-byte characters.
        {"C:\\\x83\x41\\", "C:\\\x83\x61\\", true, false},
        {"C:\\\x83\x41\\", "C:\\\x83\x41\\", true, true},
        // In a single-byte code page the same bytes are two characters, 'A' and 'a'.
        {"C:\\\x83\x41\\", "C:\\\x83\x61\\", false, true},
        {"C:\\\xE4\\", "C:\\\xC4\\", false, false},
    };
    for (const auto& c : cases) {
        FakeCodePage codePage;
        codePage.doubleByte = c.doubleByte;
        EXPECT_EQ(SameFolder(codePage, c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(SameFolder(codePage, c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}

}  // namespace
}  // namespace worker_test
}  // namespace mivetrak
