// The download: flags and verbs, both roads, the status out, the block accounting (callback
// cadence, rate window, stop points), the transfer state and every failure path.
#include <gtest/gtest.h>

#include "net/internet_session.h"
#include "net_test_world.h"

namespace mivetrak {
namespace {

using Op = FakeInternet::Op;
using Kind = FakeInternet::Kind;
// A transfer closes its own two handles; the root is the session's until teardown.
const std::vector<Kind> kBothOwn{Kind::Request, Kind::Connection};
const std::vector<Kind> kFtpBothOwn{Kind::FtpFile, Kind::Connection};
const std::string kUrl = "http://db.example.test/files/Tolvar32.bdb";
const std::string kFtpUrl = "ftp://ftp.example.test/pub/Tolvar32.bdb";
const char kLocal[] = "C:\\work\\Tolvar32.bdb";
const SystemTime kStamp = MakeTime(2024, 3, 9, 5, 6, 7);

// A body whose bytes differ from block to block, so that a misplaced block shows.
std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>('a' + (i * 7 + i / 128) % 26);
    return body;
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
    size_t calls = 0;
    void Written(const uint8_t* data, size_t size) override {
        bytes.append(reinterpret_cast<const char*>(data), size);
        ++calls;
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

    int Download(const std::string& url, const char* verb = "GET", bool reload = true,
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
    // The transfer closed the handles it opened, in order; only the session's root is left.
    void ExpectAllClosed(const std::vector<Kind>& closed) {
        EXPECT_EQ(world.internet.ClosedKinds(), closed);
        EXPECT_EQ(world.internet.OpenHandleCount(), 1u);
        EXPECT_EQ(world.internet.BadCloseCount(), 0u);
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
    ASSERT_TRUE(Download(kUrl, "GET", 1, &status));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(world.files.Content(kLocal), body);
    EXPECT_EQ(session.GetState(), TransferState::Done);
    ExpectAllClosed(kBothOwn);

    const auto connect = world.internet.CallsOf(Op::Connect);
    ASSERT_EQ(connect.size(), 1u);
    EXPECT_EQ(connect[0].text, "db.example.test");
    EXPECT_EQ(connect[0].port, 80u);
    EXPECT_EQ(connect[0].user, "user");
    EXPECT_EQ(connect[0].password, "secret");
    EXPECT_EQ(connect[0].service, InternetService::Http);
    EXPECT_EQ(world.internet.CallsOf(Op::OpenRoot)[0].text, "Agent");
    const auto request = world.internet.CallsOf(Op::OpenHttpRequest);
    ASSERT_EQ(request.size(), 1u);
    EXPECT_EQ(request[0].verb, "GET");
    EXPECT_EQ(request[0].text, "files/Tolvar32.bdb");
    EXPECT_EQ(request[0].flags, 0x84600000u);
    EXPECT_EQ(world.internet.CallsOf(Op::QueryInfoText)[0].length, 260u);
    EXPECT_EQ(world.files.Calls().front(), std::string("OpenFile ") + kLocal + " create");
    // Large reads into one buffer: a handful of reads for 200,000 bytes, none bigger than it.
    const auto reads = world.internet.CallsOf(Op::ReadData);
    EXPECT_LE(reads.size(), 6u);
    for (const auto& r : reads) EXPECT_EQ(r.length, 65536u);
}

TEST_F(DownloadTest, FlagsFollowTheReloadFlagOnBothRoads) {
    struct Case {
        std::string url;
        bool reload;
        uint32_t flags;
    } cases[] = {{kUrl, true, 0x84600000u},
                 {kUrl, false, 0x00600810u},
                 {kFtpUrl, true, 0x80000000u},
                 {kFtpUrl, false, 0x810u}};
    for (const Case& c : cases) {
        NetWorld w;
        w.internet.AddHttp(kUrl, FakeHttpResponse::Ok("abc", kStamp));
        w.internet.AddFtp(kFtpUrl, FakeRemoteFile{"abc", std::nullopt, std::nullopt, 0});
        InternetSession s(w.platform, w.deployment);
        DownloadRequest request = Request(c.url, nullptr);
        request.reload = c.reload;
        ASSERT_TRUE(s.DownloadFile(request));
        const bool ftp = c.url == kFtpUrl;
        const auto opens = w.internet.CallsOf(ftp ? Op::OpenFtpFile : Op::OpenHttpRequest);
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].flags, c.flags) << c.url << " reload " << c.reload;
        if (ftp) {
            EXPECT_EQ(opens[0].access, 0x80000000u);
        }
    }
}

TEST_F(DownloadTest, FtpRoadUsesPort21AndLeavesTheStatusAlone) {
    const std::string body = Body(5000);
    world.internet.AddFtp(kFtpUrl, FakeRemoteFile{body, std::nullopt, std::nullopt, 0});
    std::optional<int> status = -7;
    ASSERT_TRUE(Download(kFtpUrl, "get", 1, &status));
    EXPECT_EQ(status, -7);
    EXPECT_EQ(world.files.Content(kLocal), body);
    const auto connect = world.internet.CallsOf(Op::Connect);
    ASSERT_EQ(connect.size(), 1u);
    EXPECT_EQ(connect[0].port, 21u);
    EXPECT_EQ(connect[0].service, InternetService::Ftp);
    EXPECT_EQ(connect[0].user, "user");
    EXPECT_EQ(world.internet.CallsOf(Op::OpenFtpFile)[0].text, "pub/Tolvar32.bdb");
    EXPECT_EQ(world.internet.CountOf(Op::OpenHttpRequest), 0u);
    ExpectAllClosed(kFtpBothOwn);
}

TEST_F(DownloadTest, FtpFailureLeavesTheStatusAlone) {
    std::optional<int> status = -7;
    EXPECT_FALSE(Download("ftp://ftp.example.test/missing", "GET", 1, &status));
    EXPECT_EQ(status, -7);
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    ExpectAllClosed({Kind::Connection});
}

TEST_F(DownloadTest, PostInLowerCaseIsSentUnchanged) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok("abc", kStamp));
    ASSERT_TRUE(Download(kUrl, "post"));
    EXPECT_EQ(world.internet.CallsOf(Op::OpenHttpRequest)[0].verb, "post");
}

TEST_F(DownloadTest, RefusedRequestsFailBeforeAnyHandle) {
    struct Case {
        std::string url;
        const char* verb;
    } cases[] = {{kUrl, "PUT"},
                 {kUrl, "head"},
                 {kUrl, ""},
                 {kUrl, "GETS"},
                 {kUrl, " GET"},
                 {"https://h/a", "GET"},
                 {"gopher://h/a", "GET"},
                 {"no url", "GET"},
                 {"http://h:65536/a", "GET"},
                 {"http://h:99999999999/a", "GET"}};
    for (const Case& c : cases) {
        NetWorld w;
        w.files.AddDirectory("C:\\work");
        InternetSession s(w.platform, w.deployment);
        std::optional<int> status = -3;
        DownloadRequest request = Request(c.url);
        request.verb = c.verb;
        EXPECT_FALSE(s.DownloadFile(request, &status)) << c.url << " " << c.verb;
        EXPECT_TRUE(w.internet.Calls().empty());
        EXPECT_EQ(status, -3);
        EXPECT_EQ(s.GetState(), TransferState::Failed);
        EXPECT_FALSE(w.files.Exists(kLocal));
    }
}

// --- failure paths -------------------------------------------------------------------------

struct FailureCase {
    const char* name;
    std::function<void(NetWorld&, FakeHttpResponse&)> script;
    std::vector<Kind> closed;           // by the transfer; the session's root follows at teardown
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
        EXPECT_EQ(world.internet.ClosedKinds(), c.closed);
    }
    std::vector<Kind> closed = c.closed;
    if (world.internet.CallsOf(Op::OpenRoot).front().ok) closed.push_back(Kind::Root);
    EXPECT_EQ(world.internet.ClosedKinds(), closed);
    EXPECT_EQ(world.internet.OpenHandleCount(), 0u);
    EXPECT_EQ(world.internet.BadCloseCount(), 0u);
    EXPECT_EQ(world.files.OpenHandleCount(), 0);
    EXPECT_EQ(status, c.expectedStatus);
    EXPECT_EQ(world.files.Exists(kLocal), c.fileExists);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadFailureTest,
    ::testing::Values(
        FailureCase{"OpenRoot",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::OpenRoot); },
                    {},
                    -1,
                    false},
        FailureCase{"Connect",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::Connect); },
                    {},
                    -1,
                    false},
        FailureCase{"OpenRequest",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::OpenHttpRequest); },
                    {Kind::Connection},
                    -1,
                    false},
        FailureCase{"Send",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::SendHttpRequest); },
                    kBothOwn, -1, false},
        FailureCase{"ResendAfterLogin",
                    [](NetWorld& w, FakeHttpResponse& r) {
                        r.statuses = {"401", "200"};
                        w.internet.errorDialogAnswers = {kErrorInternetForceRetry};
                        w.internet.Fail(Op::SendHttpRequest, 2);
                    },
                    kBothOwn, -1, false},
        FailureCase{"Status404", [](NetWorld&, FakeHttpResponse& r) { r.statuses = {"404"}; },
                    kBothOwn, 404, false},
        FailureCase{"Status401Cancelled",
                    [](NetWorld&, FakeHttpResponse& r) {
                        r.statuses = {"401", "200"};
                    },
                    kBothOwn, 401, false},
        FailureCase{"Status407Cancelled",
                    [](NetWorld&, FakeHttpResponse& r) { r.statuses = {"407"}; }, kBothOwn, 407,
                    false},
        FailureCase{"StatusUnreadable",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::QueryInfoText, 1); },
                    kBothOwn, std::nullopt, false},
        FailureCase{"StatusGarbage", [](NetWorld&, FakeHttpResponse& r) { r.statuses = {"x200"}; },
                    kBothOwn, std::nullopt, false},
        FailureCase{"LocalFileCannotBeCreated",
                    [](NetWorld& w, FakeHttpResponse&) {
                        SystemError error;
                        w.files.RemoveEmptyDirectory("C:\\work", error);
                    },
                    kBothOwn, 200, false},
        FailureCase{"FirstReadFails",
                    [](NetWorld& w, FakeHttpResponse&) { w.internet.Fail(Op::ReadData, 1); },
                    kBothOwn, 200, true},
        FailureCase{"ReadFailsMidway", [](NetWorld&, FakeHttpResponse& r) { r.failReadAt = 3000; },
                    kBothOwn, 200, true},
        FailureCase{"WriteFails", [](NetWorld& w, FakeHttpResponse&) { w.files.FailWrite(kLocal); },
                    kBothOwn, 200, true},
        FailureCase{"BodyCutShort", [](NetWorld&, FakeHttpResponse& r) { r.endAt = 4321; },
                    kBothOwn, 200, true}),
    [](const ::testing::TestParamInfo<FailureCase>& param) {
        return std::string(param.param.name);
    });

TEST_F(DownloadTest, StateFailedBeforeTheFirstBlockCreatesTheFileAndReadsNothing) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(Body(5000), kStamp));
    world.internet.onCall = [this](const FakeInternet::Call& call) {
        if (call.op == Op::SendHttpRequest) session.SetState(TransferState::Failed, true);
    };
    EXPECT_FALSE(Download(kUrl));
    EXPECT_TRUE(world.files.Exists(kLocal));
    EXPECT_EQ(world.files.Content(kLocal), "");
    EXPECT_EQ(world.internet.CountOf(Op::ReadData), 0u);
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    ExpectAllClosed(kBothOwn);
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
    ExpectAllClosed(kBothOwn);
}

TEST_F(DownloadTest, WithoutAUsableContentLengthTheBodyEndsWhereTheDataEnds) {
    for (std::optional<std::string> length :
         {std::optional<std::string>(), std::optional<std::string>("junk"),
          std::optional<std::string>("99999999999")}) {
        NetWorld w;
        w.files.AddDirectory("C:\\work");
        FakeHttpResponse r = FakeHttpResponse::Ok(Body(3000), kStamp);
        r.contentLength = length;
        w.internet.AddHttp(kUrl, r);
        InternetSession s(w.platform, w.deployment);
        EXPECT_TRUE(s.DownloadFile(Request(kUrl))) << length.value_or("(missing)");
        EXPECT_EQ(w.files.Content(kLocal).size(), 3000u);
    }
}

TEST_F(DownloadTest, Status404IsStoredAndNoFileIsCreated) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::WithStatus(404));
    std::optional<int> status = 0;
    EXPECT_FALSE(Download(kUrl, "GET", 1, &status));
    EXPECT_EQ(status, 404);
    EXPECT_FALSE(world.files.Exists(kLocal));
    EXPECT_EQ(world.internet.CountOf(Op::ReadData), 0u);
}

TEST_F(DownloadTest, LoginAndRetrySucceeds) {
    const std::string body = Body(700);
    FakeHttpResponse r = FakeHttpResponse::Ok(body, kStamp);
    r.statuses = {"401", "200"};
    world.internet.AddHttp(kUrl, r);
    world.internet.errorDialogAnswers = {kErrorInternetForceRetry};
    std::optional<int> status = 0;
    ASSERT_TRUE(Download(kUrl, "GET", 1, &status));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(world.internet.SendCount(kUrl), 2u);
    const auto dialog = world.internet.CallsOf(Op::ErrorDialog);
    ASSERT_EQ(dialog.size(), 1u);
    EXPECT_EQ(dialog[0].error, 12014u);
    EXPECT_EQ(dialog[0].flags, 7u);
    EXPECT_EQ(world.files.Content(kLocal), body);
}

TEST_F(DownloadTest, WithoutALocalPathNothingIsRead) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(Body(1000), kStamp));
    std::optional<int> status = 0;
    ASSERT_TRUE(Download(kUrl, "GET", 1, &status, nullptr));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(world.internet.CountOf(Op::ReadData), 0u);
    EXPECT_EQ(world.files.Calls().size(), 0u);
    EXPECT_EQ(session.GetState(), TransferState::Done);
    ExpectAllClosed(kBothOwn);
}

TEST_F(DownloadTest, FailedStateAtTheEndIsNotTurnedIntoDone) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(Body(1000), kStamp));
    world.internet.onCall = [this](const FakeInternet::Call& call) {
        if (call.op == Op::SendHttpRequest) session.SetState(TransferState::Failed, true);
    };
    EXPECT_FALSE(Download(kUrl, "GET", 1, nullptr, nullptr));
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    ExpectAllClosed(kBothOwn);
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

TEST_F(DownloadTest, ExactlyTwentyBlocksGiveOneCallWithRateZero) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(Body(2560), kStamp));
    ASSERT_TRUE(Download(kUrl));
    ASSERT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(log.calls[0].totalBytes, 2560u);
    EXPECT_EQ(log.calls[0].rate, 0u);
}

TEST_F(DownloadTest, StopAtTheFirstCallbackLeavesTwentyBlocks) {
    const std::string body = Body(300000);
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(body, kStamp));
    log.answers = {0};
    EXPECT_FALSE(Download(kUrl));
    EXPECT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(world.files.Content(kLocal), body.substr(0, 2560));
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    ExpectAllClosed(kBothOwn);
}

TEST_F(DownloadTest, StopAtALaterCallbackLeavesExactlyTheBlocksCounted) {
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
    }
}

TEST_F(DownloadTest, FtpStopAtTheFirstCallbackLeavesTwentyBlocks) {
    const std::string body = Body(100000);
    world.internet.AddFtp(kFtpUrl, FakeRemoteFile{body, std::nullopt, std::nullopt, 0});
    log.answers = {0};
    EXPECT_FALSE(Download(kFtpUrl));
    EXPECT_EQ(world.files.Content(kLocal), body.substr(0, 2560));
    ExpectAllClosed(kFtpBothOwn);
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
    ExpectAllClosed(kBothOwn);
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
    ExpectAllClosed(kBothOwn);
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
    world.system.onSleep = [this](size_t sleeps) {
        if (sleeps == 3) session.SetState(TransferState::Idle, true);
    };
    ASSERT_TRUE(Download(kUrl));
    EXPECT_EQ(world.system.Sleeps().size(), 3u);
    // Nothing was opened while the start waited.
    EXPECT_EQ(world.internet.Calls().front().op, Op::OpenRoot);
}

TEST_F(DownloadTest, RateIsMeasuredOverWindowsOfHundredBlocksWithWrapAround) {
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(Body(200 * 128), kStamp));
    // Tick counts asked for: start of window 1, its end, start of window 2, its end, and the
    // start of a window before the read that finds the end of the body.
    world.system.ScriptTickCounts({0xFFFFFF00u, 0x00000100u, 5000u, 5000u, 6000u});
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
    world.system.ScriptTickCounts({1000u, 1400u});
    ASSERT_TRUE(Download(kUrl));
    ASSERT_EQ(log.calls.size(), 5u);
    EXPECT_EQ(log.calls[4].rate, 12800u * 1000u / 400u);
}

// Counts the writes made to files, to show that the body is written in large pieces.
class CountingFileSystem : public FakeFileSystem {
public:
    size_t writes = 0;
    std::unique_ptr<File> OpenFile(const std::string& path, FileOpenMode mode,
                                   SystemError& error) override {
        std::unique_ptr<File> inner = FakeFileSystem::OpenFile(path, mode, error);
        if (!inner) return nullptr;
        return std::make_unique<Counting>(std::move(inner), writes);
    }

private:
    class Counting : public File {
    public:
        Counting(std::unique_ptr<File> inner, size_t& writes)
            : inner_(std::move(inner)), writes_(writes) {}
        TimesRead GetTimes(SystemTime* c, SystemTime* w) override { return inner_->GetTimes(c, w); }
        bool SetTimes(const SystemTime* c, const SystemTime& w) override {
            return inner_->SetTimes(c, w);
        }
        bool GetSize(uint64_t& size) override { return inner_->GetSize(size); }
        bool Read(void* buffer, uint32_t size, uint32_t& bytesRead, SystemError& error) override {
            return inner_->Read(buffer, size, bytesRead, error);
        }
        bool Write(const void* data, size_t size, SystemError& error) override {
            ++writes_;
            return inner_->Write(data, size, error);
        }
        bool Flush() override { return inner_->Flush(); }
        bool SeekToStart() override { return inner_->SeekToStart(); }

    private:
        std::unique_ptr<File> inner_;
        size_t& writes_;
    };
};

TEST(DownloadWrites, OneWritePerChunkRead) {
    CountingFileSystem files;
    files.AddDirectory("C:\\work");
    NetWorld world;
    Platform platform{files,    world.registry, world.internet, world.system,
                      world.ui, world.codePage, world.log,      world.crypto};
    const std::string body = Body(1024 * 1024);
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(body, kStamp));
    InternetSession session(platform, world.deployment);
    CallbackLog log;
    WrittenLog written;
    DownloadRequest request = Request(kUrl);
    request.callback = &CallbackLog::Callback;
    request.userData = &log;
    request.written = &written;
    ASSERT_TRUE(session.DownloadFile(request));
    EXPECT_EQ(files.writes, 16u);  // 1 MiB in 64 KiB reads
    EXPECT_EQ(written.calls, 16u);
    EXPECT_EQ(written.bytes, body);
    EXPECT_EQ(log.calls.size(), 1024u * 1024u / 2560u);
    EXPECT_EQ(files.Content(kLocal), body);
}

}  // namespace
}  // namespace mivetrak
