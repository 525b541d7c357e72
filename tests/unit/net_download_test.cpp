// The download: what the server is asked on both roads, the bytes in the local file, the status
// out, the progress reports (cadence, rate window, stop points), the transfer state, the log of
// every failure and that every handle is closed.
#include <gtest/gtest.h>

#include <memory>

#include "net/internet_session.h"
#include "net_test_world.h"
#include "network_outcomes.h"

namespace mivetrak {
namespace {

using Op = FakeInternet::Op;
const std::string kUrl = "http://db.example.test/files/Tolvar32.bdb";
const std::string kFtpUrl = "ftp://ftp.example.test/pub/Tolvar32.bdb";
const char kLocal[] = "C:\\work\\Tolvar32.bdb";
const SystemTime kStamp = MakeTime(2024, 3, 9, 5, 6, 7);
// What a failed download writes to the log, before the reason.
const std::string kFailed = "The download of \"" + kUrl + "\" failed: ";

// A body whose bytes differ from block to block, so that a misplaced block shows.
std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 128) % 26);
    return body;
}

FakeRemoteFile FtpFile(std::string body) {
    return FakeRemoteFile{std::move(body), std::nullopt, std::nullopt, 0};
}

// Records every callback and answers from a script (1 when the script runs out).
struct CallbackLog {
    std::vector<TransferProgress> calls;
    std::vector<int> answers;
    std::function<void()> onCall;
    static int Callback(void* userData, const TransferProgress* progress) {
        auto* self = static_cast<CallbackLog*>(userData);
        self->calls.push_back(*progress);
        if (self->onCall) self->onCall();
        const size_t i = self->calls.size() - 1;
        return i < self->answers.size() ? self->answers[i] : 1;
    }
    std::vector<uint32_t> Totals() const {
        std::vector<uint32_t> out;
        for (const auto& c : calls) out.push_back(c.totalBytes);
        return out;
    }
};

// Keeps what the download showed it had written.
struct WrittenLog : ReceivedBytes {
    std::string bytes;
    void Written(const uint8_t* data, size_t size) override {
        bytes.append(reinterpret_cast<const char*>(data), size);
    }
};

// A GET of url with reload into local (null: the transfer is only opened), without a callback.
DownloadRequest Request(const std::string& url, const char* local = kLocal) {
    DownloadRequest request;
    request.agent = "a";
    request.url = url;
    if (local != nullptr) request.localPath = local;
    return request;
}

class DownloadTest : public ::testing::Test {
protected:
    DownloadTest() { world.files.AddDirectory("C:\\work"); }

    bool Download(const std::string& url, const char* verb = "GET", bool reload = true,
                  std::optional<int>* status = nullptr, const char* local = kLocal) {
        DownloadRequest request = Request(url, local);
        request.agent = "Agent";
        request.verb = verb;
        request.user = "user";
        request.password = "secret";
        request.reload = reload;
        request.callback = &CallbackLog::Callback;
        request.userData = &log;
        return session.DownloadFile(request, status);
    }
    // Nothing of the transfer stays open: only the session's root, kept for the run.
    void ExpectAllClosed() {
        EXPECT_TRUE(HandlesClosed(world.internet, 1));
        EXPECT_EQ(world.files.OpenHandleCount(), 0);
    }

    NetWorld world;
    InternetSession session{world.platform, world.deployment};
    CallbackLog log;
};

TEST_F(DownloadTest, HttpBodyLandsInTheLocalFile) {
    const std::string body = Body(200000);
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(body, kStamp));
    std::optional<int> status = 0;
    ASSERT_TRUE(Download(kUrl, "GET", true, &status));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(world.files.Content(kLocal), body);
    EXPECT_EQ(session.GetState(), TransferState::Done);
    ExpectAllClosed();
    // One request, with the agent and the login it was given.
    const auto seen = SeenRequests(world.internet);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].line, "GET " + kUrl);
    EXPECT_EQ(seen[0].agent, "Agent");
    EXPECT_EQ(seen[0].user, "user");
    EXPECT_EQ(seen[0].password, "secret");
}

// The local file is made anew, and may be deleted while the download writes it (the handle
// shares deleting), as the work folder's clean-up may do.
TEST_F(DownloadTest, TheLocalFileIsMadeAnewAndMayBeDeletedWhileItIsWritten) {
    world.files.AddFile(kLocal, std::string(300000, 'o'));
    const std::string body = Body(100000);
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(body, kStamp));
    ASSERT_TRUE(Download(kUrl));
    EXPECT_EQ(world.files.Content(kLocal), body);

    bool deleted = false;
    log.calls.clear();
    log.onCall = [this, &deleted]() {
        SystemError error;
        if (log.calls.size() == 1) deleted = world.files.RemoveFile(kLocal, error);
    };
    Download(kUrl);
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(world.files.Exists(kLocal));
    ExpectAllClosed();
}

TEST_F(DownloadTest, FlagsFollowTheReloadFlagOnBothRoads) {
    struct Case {
        std::string url;
        bool reload;
        std::string seen;
        uint32_t flags;
    } cases[] = {{kUrl, true, "GET " + kUrl, 0x84600000u},
                 {kUrl, false, "GET " + kUrl, 0x00600810u},
                 {kFtpUrl, true, "RETR " + kFtpUrl, 0x80000000u},
                 {kFtpUrl, false, "RETR " + kFtpUrl, 0x810u}};
    for (const Case& c : cases) {
        NetWorld w;
        w.internet.AddHttp(kUrl, FakeHttpResponse::Ok("abc", kStamp));
        w.internet.AddFtp(kFtpUrl, FtpFile("abc"));
        InternetSession s(w.platform, w.deployment);
        DownloadRequest request = Request(c.url, nullptr);
        request.reload = c.reload;
        ASSERT_TRUE(s.DownloadFile(request));
        const auto seen = SeenRequests(w.internet);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].line, c.seen);
        EXPECT_EQ(seen[0].flags, c.flags) << c.url << " reload " << c.reload;
    }
}

// FTP has no status: what the caller put there stays, whether the file is found or not.
TEST_F(DownloadTest, FtpRoadLeavesTheStatusAlone) {
    const std::string body = Body(5000);
    world.internet.AddFtp(kFtpUrl, FtpFile(body));
    std::optional<int> status = -7;
    ASSERT_TRUE(Download(kFtpUrl, "get", true, &status));
    EXPECT_EQ(status, -7);
    EXPECT_EQ(world.files.Content(kLocal), body);
    ExpectAllClosed();
    const auto seen = SeenRequests(world.internet);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].line, "RETR " + kFtpUrl);
    EXPECT_EQ(seen[0].user, "user");
    EXPECT_EQ(seen[0].password, "secret");

    const std::string missing = "ftp://ftp.example.test/missing";
    EXPECT_FALSE(Download(missing, "GET", true, &status));
    EXPECT_EQ(status, -7);
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    EXPECT_TRUE(
        world.log.Contains("The download of \"" + missing +
                           "\" failed: could not open the file on the server: error 12003."));
    ExpectAllClosed();
}

TEST_F(DownloadTest, PostInLowerCaseIsSentUnchanged) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok("abc", kStamp));
    ASSERT_TRUE(Download(kUrl, "post"));
    EXPECT_EQ(SeenLines(world.internet), std::vector<std::string>{"post " + kUrl});
}

TEST_F(DownloadTest, RefusedRequestsFailBeforeAnyHandle) {
    const std::string kNotAUrl = "it is not an http, https or ftp URL that fits.";
    struct Case {
        std::string url;
        const char* verb;
        std::string logged;
    } cases[] = {{kUrl, "PUT", "the method \"PUT\" is not used."},
                 {kUrl, "head", "the method \"head\" is not used."},
                 {kUrl, "", "the method \"\" is not used."},
                 {kUrl, "GETS", "the method \"GETS\" is not used."},
                 {kUrl, " GET", "the method \" GET\" is not used."},
                 {"gopher://h/a", "GET", kNotAUrl},
                 {"no url", "GET", kNotAUrl},
                 {"http://u@/a", "GET", kNotAUrl},
                 {"https://h:65536/a", "GET", kNotAUrl},
                 {"http://h:99999999999/a", "GET", kNotAUrl}};
    for (const Case& c : cases) {
        NetWorld w;
        w.files.AddDirectory("C:\\work");
        InternetSession s(w.platform, w.deployment);
        std::optional<int> status = -3;
        DownloadRequest request = Request(c.url);
        request.verb = c.verb;
        EXPECT_FALSE(s.DownloadFile(request, &status)) << c.url << " " << c.verb;
        // Nothing was asked of the Internet library.
        EXPECT_TRUE(w.internet.Calls().empty());
        EXPECT_EQ(status, -3);
        EXPECT_EQ(s.GetState(), TransferState::Failed);
        EXPECT_FALSE(w.files.Exists(kLocal));
        EXPECT_TRUE(w.log.Contains(c.logged)) << ::testing::PrintToString(w.log.Lines());
    }
}

// --- failure paths -------------------------------------------------------------------------

// Each read takes this long.
void StepClockWithEveryRead(NetWorld& world, uint32_t milliseconds) {
    world.internet.onCall = [&world, milliseconds](const FakeInternet::Call& call) {
        if (call.op == FakeInternet::Op::ReadData) {
            world.system.SetTickCount(world.system.TickCount() + milliseconds);
        }
    };
}

struct FailureCase {
    const char* name;
    std::function<void(NetWorld&, FakeHttpResponse&)> script;
    std::string logged;                 // why, as the log gives it after kFailed
    std::optional<int> expectedStatus;  // status out after the call (-1: untouched; none: unread)
    bool fileExists;
};

class DownloadFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DownloadFailureTest, FailsWithStateFailedAndEverythingClosed) {
    const FailureCase& c = GetParam();
    NetWorld world;
    world.files.AddDirectory("C:\\work");
    FakeHttpResponse response = FakeHttpResponse::Ok(Body(10000), kStamp);
    c.script(world, response);
    world.internet.AddHttp(kUrl, response);
    std::optional<int> status = -1;
    {
        InternetSession session(world.platform, world.deployment);
        EXPECT_FALSE(session.DownloadFile(Request(kUrl), &status));
        EXPECT_EQ(session.GetState(), TransferState::Failed);
    }
    EXPECT_TRUE(HandlesClosed(world.internet));
    EXPECT_EQ(world.files.OpenHandleCount(), 0);
    EXPECT_EQ(status, c.expectedStatus);
    EXPECT_EQ(world.files.Exists(kLocal), c.fileExists);
    EXPECT_TRUE(world.log.Contains(kFailed + c.logged))
        << ::testing::PrintToString(world.log.Lines());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadFailureTest,
    ::testing::Values(
        FailureCase{"OpenRoot",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::OpenRoot); },
                    "could not open the Internet library: error 8.", -1, false},
        FailureCase{"Connect", [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::Connect); },
                    "could not connect to the server: error 12007.", -1, false},
        FailureCase{"OpenRequest",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::OpenHttpRequest); },
                    "could not open the request: error 6.", -1, false},
        FailureCase{"Send",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::SendHttpRequest); },
                    "could not send the request: error 12029.", -1, false},
        FailureCase{"ResendAfterLogin",
                    [](NetWorld& w, FakeHttpResponse& r) {
                        r.statuses = {"401", "200"};
                        w.internet.errorDialogAnswers = {kErrorInternetForceRetry};
                        w.internet.Fail(Op::SendHttpRequest, 2);
                    },
                    "could not send the request again: error 12029.", -1, false},
        FailureCase{"Status404", [](NetWorld&, FakeHttpResponse& r) { r.statuses = {"404"}; },
                    "the server answered HTTP status 404.", 404, false},
        FailureCase{"Status401Cancelled",
                    [](NetWorld&, FakeHttpResponse& r) {
                        r.statuses = {"401", "200"};
                    },
                    "the server answered HTTP status 401 (the login it asks for was not given).",
                    401, false},
        FailureCase{"Status407Cancelled",
                    [](NetWorld&, FakeHttpResponse& r) { r.statuses = {"407"}; },
                    "the server answered HTTP status 407 (the login it asks for was not given).",
                    407, false},
        FailureCase{"Status407WithoutAProxy",
                    [](NetWorld& w, FakeHttpResponse& r) {
                        r.statuses = {"407"};
                        w.internet.proxy.enabled = false;
                    },
                    "the server answered HTTP status 407, a proxy's request for a login, but the "
                    "system sends this URL through no proxy.",
                    -1, false},
        FailureCase{"CertificateRefused",
                    [](NetWorld&, FakeHttpResponse& r) { r.sendError = kErrorInternetInvalidCa; },
                    "could not send the request securely: the server's certificate comes from an "
                    "authority that the system does not trust: error 12045.",
                    -1, false},
        FailureCase{"StatusUnreadable",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::QueryInfoText, 1); },
                    "the server answered a status that could not be read.", std::nullopt, false},
        FailureCase{"StatusGarbage", [](NetWorld&, FakeHttpResponse& r) { r.statuses = {"x200"}; },
                    "the server answered a status that could not be read.", std::nullopt, false},
        FailureCase{"LocalFileCannotBeCreated",
                    [](NetWorld& w, FakeHttpResponse&) {
                        SystemError error;
                        w.files.RemoveEmptyDirectory("C:\\work", error);
                    },
                    "could not make C:\\work\\Tolvar32.bdb: error 3.", 200, false},
        FailureCase{"FirstReadFails",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::ReadData, 1); },
                    "the transfer broke off after 0 bytes: error 12030.", 200, true},
        FailureCase{"ReadFailsMidway", [](NetWorld&, FakeHttpResponse& r) { r.failReadAt = 3000; },
                    "the transfer broke off after 3000 bytes: error 10060.", 200, true},
        FailureCase{"WriteFails", [](NetWorld& w, FakeHttpResponse&) { w.files.FailWrite(kLocal); },
                    "could not write C:\\work\\Tolvar32.bdb: error 5.", 200, true},
        FailureCase{"BodyCutShort", [](NetWorld&, FakeHttpResponse& r) { r.endAt = 4321; },
                    "the body ended after 4321 of the 10000 bytes announced.", 200, true},
        // The program never asks for an encoding: encoded bytes are not the file.
        FailureCase{"Encoded", [](NetWorld&, FakeHttpResponse& r) { r.contentEncoding = "gzip"; },
                    "the server sends the file encoded (Content-Encoding \"gzip\").", 200, false},
        // A byte every 25 s keeps the library's idle limit at bay, but not the pace.
        FailureCase{"FallsBehind",
                    [](NetWorld& w, FakeHttpResponse& r) {
                        r.maxChunk = 1;
                        StepClockWithEveryRead(w, 25000);
                    },
                    "the transfer fell behind after 3 bytes: 3 bytes in the last 60000 ms, fewer "
                    "than the 1024 that a transfer must keep up.",
                    200, true}),
    [](const ::testing::TestParamInfo<FailureCase>& param) {
        return std::string(param.param.name);
    });

TEST_F(DownloadTest, StateFailedBeforeTheFirstBlockCreatesTheFileAndFetchesNothing) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(Body(5000), kStamp));
    world.internet.onCall = [this](const FakeInternet::Call& call) {
        if (call.op == Op::SendHttpRequest) session.SetState(TransferState::Failed, true);
    };
    EXPECT_FALSE(Download(kUrl));
    EXPECT_TRUE(world.files.Exists(kLocal));
    EXPECT_EQ(world.files.Content(kLocal), "");
    EXPECT_EQ(BodyBytesRead(world.internet), 0u);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    ExpectAllClosed();
}

TEST_F(DownloadTest, ReadFailureKeepsWhatArrived) {
    const std::string body = Body(10000);
    FakeHttpResponse r = FakeHttpResponse::Ok(body, kStamp);
    r.failReadAt = 3000;
    world.internet.AddHttp(kUrl, r);
    EXPECT_FALSE(Download(kUrl));
    EXPECT_EQ(world.files.Content(kLocal), body.substr(0, 3000));
    EXPECT_EQ(log.Totals(), (std::vector<uint32_t>{2560}));
}

TEST_F(DownloadTest, BodyShorterThanItsContentLengthFails) {
    const std::string body = Body(10000);
    FakeHttpResponse r = FakeHttpResponse::Ok(body, kStamp);
    r.endAt = 5000;  // the server closes the connection early; reads then return 0 bytes
    world.internet.AddHttp(kUrl, r);
    EXPECT_FALSE(Download(kUrl));
    EXPECT_EQ(world.files.Content(kLocal), body.substr(0, 5000));
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    ExpectAllClosed();
}

TEST_F(DownloadTest, WithoutAUsableContentLengthTheBodyEndsWhereTheDataEnds) {
    // The last one does not fit the 260-byte buffer that the header is read into.
    const std::string body = Body(3000);
    for (std::optional<std::string> length :
         {std::optional<std::string>(), std::optional<std::string>("junk"),
          std::optional<std::string>("99999999999"),
          std::optional<std::string>(std::string(256, '0') + "9999")}) {
        NetWorld w;
        w.files.AddDirectory("C:\\work");
        FakeHttpResponse r = FakeHttpResponse::Ok(body, kStamp);
        r.contentLength = length;
        w.internet.AddHttp(kUrl, r);
        InternetSession s(w.platform, w.deployment);
        EXPECT_TRUE(s.DownloadFile(Request(kUrl))) << length.value_or("(missing)");
        EXPECT_EQ(w.files.Content(kLocal), body);
    }
}

// The status and the length are read into buffers of 260 bytes: a text of 259 bytes counts.
TEST_F(DownloadTest, HeadersOfUpTo259BytesAreRead) {
    FakeHttpResponse r = FakeHttpResponse::Ok(Body(3000), kStamp);
    r.statuses = {std::string(256, '0') + "200"};
    r.contentLength = std::string(255, '0') + "4000";  // more than the body: a short body fails
    world.internet.AddHttp(kUrl, r);
    std::optional<int> status;
    EXPECT_FALSE(Download(kUrl, "GET", true, &status));
    EXPECT_EQ(status, 200);
    EXPECT_TRUE(world.log.Contains(kFailed + "the body ended after 3000 of the 4000 bytes"));
}

TEST_F(DownloadTest, LoginAndRetrySucceeds) {
    const std::string body = Body(700);
    FakeHttpResponse r = FakeHttpResponse::Ok(body, kStamp);
    r.statuses = {"401", "200"};
    world.internet.AddHttp(kUrl, r);
    world.internet.errorDialogAnswers = {kErrorInternetForceRetry};
    std::optional<int> status = 0;
    ASSERT_TRUE(Download(kUrl, "GET", true, &status));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(world.files.Content(kLocal), body);
    // The server saw the request twice: before the user gave the login and after.
    EXPECT_EQ(SeenLines(world.internet), (std::vector<std::string>{"GET " + kUrl, "GET " + kUrl}));
    // The user was shown the platform's password dialog once.
    const auto dialog = world.internet.CallsOf(Op::ErrorDialog);
    ASSERT_EQ(dialog.size(), 1u);
    EXPECT_EQ(dialog[0].error, 12014u);
    EXPECT_EQ(dialog[0].flags, 7u);
}

TEST_F(DownloadTest, WithoutALocalPathNothingIsFetched) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(Body(1000), kStamp));
    std::optional<int> status = 0;
    ASSERT_TRUE(Download(kUrl, "GET", true, &status, nullptr));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(BodyBytesRead(world.internet), 0u);
    EXPECT_TRUE(world.files.Files("C:\\work").empty());
    EXPECT_EQ(session.GetState(), TransferState::Done);
    ExpectAllClosed();
}

TEST_F(DownloadTest, FailedStateAtTheEndIsNotTurnedIntoDone) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(Body(1000), kStamp));
    world.internet.onCall = [this](const FakeInternet::Call& call) {
        if (call.op == Op::SendHttpRequest) session.SetState(TransferState::Failed, true);
    };
    EXPECT_FALSE(Download(kUrl, "GET", true, nullptr, nullptr));
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    ExpectAllClosed();
}

TEST_F(DownloadTest, EmptyRemoteFileGivesAnEmptyLocalFile) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok("", kStamp));
    ASSERT_TRUE(Download(kUrl));
    EXPECT_TRUE(world.files.Exists(kLocal));
    EXPECT_EQ(world.files.Content(kLocal), "");
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(session.GetState(), TransferState::Done);
}

TEST_F(DownloadTest, ALaterDownloadStartsAgainFromFailed) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::WithStatus(500));
    world.internet.AddHttp("http://h/ok", FakeHttpResponse::Ok("abc", kStamp));
    EXPECT_FALSE(Download(kUrl));
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    EXPECT_TRUE(Download("http://h/ok"));
    EXPECT_EQ(session.GetState(), TransferState::Done);
}

// --- block accounting ----------------------------------------------------------------------

struct CadenceCase {
    const char* name;
    size_t bodySize;
    uint32_t maxChunk;  // 0: reads as large as asked
    std::vector<uint32_t> totals;
};

class CadenceTest : public ::testing::TestWithParam<CadenceCase> {};

TEST_P(CadenceTest, CallbackEveryTwentyBlocksOfTheStream) {
    const CadenceCase& c = GetParam();
    NetWorld world;
    world.files.AddDirectory("C:\\work");
    const std::string body = Body(c.bodySize);
    FakeHttpResponse r = FakeHttpResponse::Ok(body, kStamp);
    r.maxChunk = c.maxChunk;
    world.internet.AddHttp(kUrl, r);
    InternetSession session(world.platform, world.deployment);
    CallbackLog log;
    DownloadRequest request = Request(kUrl);
    request.callback = &CallbackLog::Callback;
    request.userData = &log;
    ASSERT_TRUE(session.DownloadFile(request));
    EXPECT_EQ(log.Totals(), c.totals);
    // The fake clock stands still, so every completed window counts 1 ms: 12,800,000 B/s.
    for (size_t i = 0; i < log.calls.size(); ++i) {
        EXPECT_EQ(log.calls[i].rate, i < 4 ? 0u : 12800000u) << i;
    }
    EXPECT_EQ(world.files.Content(kLocal), body);
}

std::vector<uint32_t> Multiples(uint32_t count, uint32_t step = 2560) {
    std::vector<uint32_t> out;
    for (uint32_t i = 1; i <= count; ++i) out.push_back(i * step);
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CadenceTest,
    ::testing::Values(CadenceCase{"Under20Blocks", 19 * 128, 0, {}},
                      CadenceCase{"Under20BlocksPartialLast", 18 * 128 + 127, 0, {}},
                      CadenceCase{"Exactly20Blocks", 20 * 128, 0, {2560}},
                      CadenceCase{"PartialTwentiethBlock", 19 * 128 + 1, 0, {19 * 128 + 1}},
                      CadenceCase{"TwentyOneBlocks", 20 * 128 + 1, 0, {2560}},
                      CadenceCase{"FortyBlocksLastPartial", 39 * 128 + 5, 0, {2560, 39 * 128 + 5}},
                      CadenceCase{"ManyChunks", 64 * 1024 * 3 + 2560 * 2, 0, Multiples(78)},
                      CadenceCase{"ShortReadsOf100", 20 * 128 * 3, 100, Multiples(3)},
                      CadenceCase{"ShortReadsOf1000", 20 * 128 * 5 + 64, 1000, Multiples(5)},
                      CadenceCase{"OneByteReads", 20 * 128 * 2, 1, Multiples(2)},
                      CadenceCase{"OddReadsAcrossChunks", 200000, 4099, Multiples(78)}),
    [](const ::testing::TestParamInfo<CadenceCase>& param) {
        return std::string(param.param.name);
    });

TEST_F(DownloadTest, StopAtACallbackLeavesExactlyTheBlocksCounted) {
    struct Case {
        size_t stopAt;  // the callback that answers 0 (1-based)
        uint32_t maxChunk;
    } cases[] = {{1, 0}, {7, 0}, {26, 0}, {27, 0}, {52, 0}, {3, 1000}, {30, 777}};
    for (const Case& c : cases) {
        NetWorld w;
        w.files.AddDirectory("C:\\work");
        const std::string body = Body(400000);
        FakeHttpResponse r = FakeHttpResponse::Ok(body, kStamp);
        r.maxChunk = c.maxChunk;
        w.internet.AddHttp(kUrl, r);
        InternetSession s(w.platform, w.deployment);
        CallbackLog l;
        l.answers.assign(c.stopAt, 1);
        l.answers.back() = 0;
        WrittenLog written;
        DownloadRequest request = Request(kUrl);
        request.callback = &CallbackLog::Callback;
        request.userData = &l;
        request.written = &written;
        EXPECT_FALSE(s.DownloadFile(request));
        EXPECT_EQ(l.calls.size(), c.stopAt);
        EXPECT_EQ(w.files.Content(kLocal), body.substr(0, c.stopAt * 2560)) << c.stopAt;
        // Shown exactly what was written, the part of a chunk past the stop included.
        EXPECT_EQ(written.bytes, w.files.Content(kLocal)) << c.stopAt;
        EXPECT_EQ(s.GetState(), TransferState::Failed);
        EXPECT_TRUE(HandlesClosed(w.internet, 1)) << c.stopAt;
        EXPECT_EQ(w.files.OpenHandleCount(), 0);
    }
}

TEST_F(DownloadTest, FtpStopAtTheFirstCallbackLeavesTwentyBlocks) {
    const std::string body = Body(100000);
    world.internet.AddFtp(kFtpUrl, FtpFile(body));
    log.answers = {0};
    EXPECT_FALSE(Download(kFtpUrl));
    EXPECT_EQ(world.files.Content(kLocal), body.substr(0, 2560));
    ExpectAllClosed();
}

TEST_F(DownloadTest, StateFailedSetDuringACallbackStopsAfterThatBlock) {
    const std::string body = Body(100000);
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(body, kStamp));
    log.onCall = [this]() {
        if (log.calls.size() == 2) session.SetState(TransferState::Failed, true);
    };
    EXPECT_FALSE(Download(kUrl));
    EXPECT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(world.files.Content(kLocal), body.substr(0, 5120));
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    ExpectAllClosed();
}

TEST_F(DownloadTest, StateFailedDuringTheFirstReadStopsAfterTheFirstBlock) {
    const std::string body = Body(100000);
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(body, kStamp));
    world.internet.onCall = [this](const FakeInternet::Call& call) {
        if (call.op == Op::ReadData) session.SetState(TransferState::Failed, true);
    };
    EXPECT_FALSE(Download(kUrl));
    EXPECT_EQ(world.files.Content(kLocal), body.substr(0, 128));
    EXPECT_TRUE(log.calls.empty());
    ExpectAllClosed();
}

TEST_F(DownloadTest, HeldStateWaitsBetweenBlocksThenGoesOn) {
    const std::string body = Body(10000);
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(body, kStamp));
    // The first callback puts the transfer on hold; the hold is lifted by a forced write after
    // two one-second polls.
    log.onCall = [this]() {
        if (log.calls.size() == 1) session.SetState(TransferState::Held, false);
    };
    world.system.onSleep = [this](size_t sleeps) {
        if (sleeps == 2) session.SetState(TransferState::Running, true);
    };
    ASSERT_TRUE(Download(kUrl));
    EXPECT_EQ(world.system.Sleeps(), (std::vector<uint32_t>{1000, 1000}));
    EXPECT_EQ(world.files.Content(kLocal), body);
    EXPECT_EQ(session.GetState(), TransferState::Done);
}

TEST_F(DownloadTest, HeldStateDelaysTheStart) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok("abc", kStamp));
    session.SetState(TransferState::Held, false);
    // Nothing is opened or sent while the start waits.
    std::vector<size_t> openWhileHeld;
    world.system.onSleep = [this, &openWhileHeld](size_t sleeps) {
        openWhileHeld.push_back(world.internet.OpenHandleCount());
        EXPECT_TRUE(SeenLines(world.internet).empty());
        if (sleeps == 3) session.SetState(TransferState::Idle, true);
    };
    ASSERT_TRUE(Download(kUrl));
    EXPECT_EQ(openWhileHeld, (std::vector<size_t>{0, 0, 0}));
    EXPECT_EQ(world.files.Content(kLocal), "abc");
}

// The clock moves only when a read returns: after the nth read it shows times[n - 1].
void ClockAfterReads(NetWorld& world, std::vector<uint32_t> times) {
    auto reads = std::make_shared<size_t>(0);
    world.internet.onCall = [&world, reads, times](const FakeInternet::Call& call) {
        if (call.op != FakeInternet::Op::ReadData || *reads >= times.size()) return;
        world.system.SetTickCount(times[(*reads)++]);
    };
}

TEST_F(DownloadTest, RateIsMeasuredOverWindowsOfHundredBlocksWithWrapAround) {
    FakeHttpResponse r = FakeHttpResponse::Ok(Body(200 * 128), kStamp);
    r.maxChunk = 100 * 128;  // a window a read
    world.internet.AddHttp(kUrl, r);
    world.system.SetTickCount(0xFFFFFF00u);
    ClockAfterReads(world, {0x00000100u, 0x00000100u});
    ASSERT_TRUE(Download(kUrl));
    ASSERT_EQ(log.calls.size(), 10u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(log.calls[i].rate, 0u) << i;
    // 12,800 bytes in 0x200 = 512 ms across the wrap of the tick count.
    for (size_t i = 4; i < 9; ++i) EXPECT_EQ(log.calls[i].rate, 25000u) << i;
    // No time elapsed counts as 1 ms.
    EXPECT_EQ(log.calls[9].rate, 12800000u);
    EXPECT_EQ(log.Totals(), Multiples(10));
}

TEST_F(DownloadTest, RateWindowIgnoresHowTheStreamWasChunked) {
    FakeHttpResponse r = FakeHttpResponse::Ok(Body(100 * 128 + 50), kStamp);
    r.maxChunk = 333;
    world.internet.AddHttp(kUrl, r);
    world.system.SetTickCount(1000u);
    ClockAfterReads(world, {1400u});
    ASSERT_TRUE(Download(kUrl));
    ASSERT_EQ(log.calls.size(), 5u);
    EXPECT_EQ(log.calls[4].rate, 12800u * 1000u / 400u);
}

// A database sent at 56 kbit/s, 7,000 bytes a second, keeps the pace with room to spare.
TEST_F(DownloadTest, ASlowButSteadyTransferKeepsThePace) {
    FakeHttpResponse r = FakeHttpResponse::Ok(Body(1000000), kStamp);
    r.maxChunk = 7000;
    world.internet.AddHttp(kUrl, r);
    StepClockWithEveryRead(world, 1000);
    ASSERT_TRUE(Download(kUrl));
    EXPECT_EQ(world.files.Content(kLocal).size(), 1000000u);
}

TEST_F(DownloadTest, TheCallerIsShownEveryByteWritten) {
    const std::string body = Body(1024 * 1024);
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(body, kStamp));
    WrittenLog written;
    DownloadRequest request = Request(kUrl);
    request.callback = &CallbackLog::Callback;
    request.userData = &log;
    request.written = &written;
    ASSERT_TRUE(session.DownloadFile(request));
    EXPECT_EQ(written.bytes, body);
    EXPECT_EQ(world.files.Content(kLocal), body);
    EXPECT_EQ(log.calls.size(), 1024u * 1024u / 2560u);
}

}  // namespace
}  // namespace mivetrak
