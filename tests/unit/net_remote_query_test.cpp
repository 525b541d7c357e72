// The remote query: what it asks of the Internet library, HEAD and the GET that follows an
// unusable answer to it, the password dialog loop, and every way it fails with all handles
// closed.
#include <gtest/gtest.h>

#include "net/internet_session.h"
#include "net_test_world.h"

namespace mivetrak {
namespace {

using Op = FakeInternet::Op;
using Kind = FakeInternet::Kind;
// A query closes its own two handles; the root is the session's until teardown.
const std::vector<Kind> kBothOwn{Kind::Request, Kind::Connection};
const std::string kUrl = "http://db.example.test/files/Tolvar32.bdb";
const SystemTime kStamp = MakeTime(2024, 3, 9, 5, 6, 7);

TEST(QueryRemoteFile, AsksWithHeadAloneWhenItAnswers) {
    NetWorld world;
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(std::string(1234, 'x'), kStamp));
    InternetSession session(world.platform, world.deployment);
    RemoteFileInfo info;
    ASSERT_TRUE(session.QueryRemoteFile("Agent 1", kUrl, info));
    EXPECT_EQ(info.contentLength, 1234u);
    EXPECT_TRUE(SameMembers(info.lastModified, kStamp)) << TimeText(info.lastModified);

    const auto calls = world.internet.Calls();
    ASSERT_EQ(calls.size(), 10u);
    EXPECT_EQ(calls[0].op, Op::OpenRoot);
    EXPECT_EQ(calls[0].text, "Agent 1");
    EXPECT_EQ(calls[1].op, Op::Connect);
    EXPECT_EQ(calls[1].text, "db.example.test");
    EXPECT_EQ(calls[1].port, 80u);
    EXPECT_EQ(calls[1].user, "");
    EXPECT_EQ(calls[1].password, "");
    EXPECT_EQ(calls[1].service, InternetService::Http);
    // The connection gets its limits before the request that inherits them is opened.
    EXPECT_EQ(calls[2].op, Op::SetTimeouts);
    EXPECT_EQ(calls[2].handle, calls[1].result);
    EXPECT_EQ(calls[2].connectTimeout, 30000u);
    EXPECT_EQ(calls[2].idleTimeout, 60000u);
    EXPECT_EQ(calls[3].op, Op::OpenHttpRequest);
    EXPECT_EQ(calls[3].verb, "HEAD");
    EXPECT_EQ(calls[3].text, "files/Tolvar32.bdb");
    EXPECT_EQ(calls[3].flags, 0x84600000u);
    EXPECT_EQ(calls[4].op, Op::SendHttpRequest);
    EXPECT_EQ(calls[5].op, Op::QueryInfoText);
    EXPECT_EQ(calls[5].query, 19u);
    EXPECT_EQ(calls[5].length, 255u);
    EXPECT_EQ(calls[6].op, Op::QueryInfoText);
    EXPECT_EQ(calls[6].query, 5u);
    EXPECT_EQ(calls[6].length, 255u);
    EXPECT_EQ(calls[7].op, Op::QueryInfoText);
    EXPECT_EQ(calls[7].query, 11u);
    EXPECT_EQ(calls[7].length, 255u);
    EXPECT_EQ(world.internet.ClosedKinds(), kBothOwn);
    EXPECT_EQ(world.internet.OpenHandleCount(), 1u);  // the root
    EXPECT_EQ(world.internet.BadCloseCount(), 0u);
    EXPECT_EQ(world.internet.CountOf(Op::ReadData), 0u);  // the body is never read
    EXPECT_EQ(world.log.Lines(),
              std::vector<std::string>{"The query of \"" + kUrl +
                                       "\" (HEAD) answered HTTP status 200, 1234 bytes, "
                                       "Last-Modified \"" +
                                       HttpDateText(kStamp) + "\"."});
}

// The verbs of the requests opened, in order.
std::vector<std::string> Verbs(const FakeInternet& internet) {
    std::vector<std::string> verbs;
    for (const auto& call : internet.CallsOf(Op::OpenHttpRequest)) verbs.push_back(call.verb);
    return verbs;
}

struct FallbackCase {
    const char* name;
    std::function<void(FakeInternet&, FakeHttpResponse&)> script;  // the answer to HEAD
};

class QueryFallbackTest : public ::testing::TestWithParam<FallbackCase> {};

// Whatever makes the answer to HEAD unusable, the GET that follows gives the length and the time,
// and nothing of the answer to HEAD is kept.
TEST_P(QueryFallbackTest, AsksWithGetWhenHeadGivesNoUsableAnswer) {
    const FallbackCase& c = GetParam();
    NetWorld world;
    world.internet.AddHttp(kUrl, FakeHttpResponse::Ok(std::string(1234, 'x'), kStamp));
    FakeHttpResponse head = FakeHttpResponse::Ok("", MakeTime(2001, 1, 1, 1, 1, 1));
    head.contentLength = "777";
    c.script(world.internet, head);
    world.internet.AddHttpHead(kUrl, head);
    {
        InternetSession session(world.platform, world.deployment);
        RemoteFileInfo info;
        ASSERT_TRUE(session.QueryRemoteFile("a", kUrl, info));
        EXPECT_EQ(info.contentLength, 1234u);
        EXPECT_TRUE(SameSecond(info.lastModified, kStamp)) << TimeText(info.lastModified);
    }
    EXPECT_EQ(Verbs(world.internet), (std::vector<std::string>{"HEAD", "GET"}));
    for (const auto& request : world.internet.CallsOf(Op::OpenHttpRequest)) {
        EXPECT_EQ(request.text, "files/Tolvar32.bdb");
        EXPECT_EQ(request.flags, 0x84600000u);
    }
    EXPECT_EQ(world.internet.CountOf(Op::OpenRoot), 1u);
    EXPECT_EQ(world.internet.CountOf(Op::ReadData), 0u);
    EXPECT_EQ(world.internet.OpenHandleCount(), 0u);
    EXPECT_EQ(world.internet.BadCloseCount(), 0u);
    EXPECT_TRUE(world.log.Contains("HEAD of \"" + kUrl + "\" gave ")) << c.name;
    EXPECT_TRUE(world.log.Contains("asking with GET instead")) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryFallbackTest,
    ::testing::Values(
        FallbackCase{"Refused405",
                     [](FakeInternet&, FakeHttpResponse& r) { r.statuses = {"405"}; }},
        FallbackCase{"Unknown501",
                     [](FakeInternet&, FakeHttpResponse& r) { r.statuses = {"501"}; }},
        FallbackCase{"Forbidden403",
                     [](FakeInternet&, FakeHttpResponse& r) { r.statuses = {"403"}; }},
        FallbackCase{"NotFound404",
                     [](FakeInternet&, FakeHttpResponse& r) { r.statuses = {"404"}; }},
        FallbackCase{"StatusUnreadable",
                     [](FakeInternet&, FakeHttpResponse& r) { r.statuses = {""}; }},
        FallbackCase{"NoLength",
                     [](FakeInternet&, FakeHttpResponse& r) { r.contentLength.reset(); }},
        FallbackCase{"LengthGarbage",
                     [](FakeInternet&, FakeHttpResponse& r) { r.contentLength = "12abc"; }},
        FallbackCase{"LengthZero",
                     [](FakeInternet&, FakeHttpResponse& r) { r.contentLength = "0"; }},
        FallbackCase{"NoLastModified",
                     [](FakeInternet&, FakeHttpResponse& r) { r.lastModified.reset(); }},
        FallbackCase{"NoAnswer",
                     [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::SendHttpRequest, 1); }},
        FallbackCase{"RequestNotOpened",
                     [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::OpenHttpRequest, 1); }},
        FallbackCase{"LoginGivenThenRefused",
                     [](FakeInternet& n, FakeHttpResponse& r) {
                         // The user answers the dialog; the server then refuses HEAD.
                         r.statuses = {"407", "405"};
                         n.errorDialogAnswers = {kErrorInternetForceRetry};
                     }}),
    [](const ::testing::TestParamInfo<FallbackCase>& param) {
        return std::string(param.param.name);
    });

TEST(QueryRemoteFile, ALoginDeclinedOnHeadIsNotAskedForAgain) {
    for (const char* status : {"401", "407"}) {
        NetWorld world;
        FakeHttpResponse r = FakeHttpResponse::Ok("abc", kStamp);
        r.statuses = {status, "200"};
        world.internet.AddHttp(kUrl, r);
        {
            InternetSession session(world.platform, world.deployment);
            RemoteFileInfo info;
            EXPECT_FALSE(session.QueryRemoteFile("a", kUrl, info)) << status;
        }
        EXPECT_EQ(Verbs(world.internet), std::vector<std::string>{"HEAD"}) << status;
        EXPECT_EQ(world.internet.CountOf(Op::ErrorDialog), 1u) << status;
        EXPECT_EQ(world.internet.OpenHandleCount(), 0u) << status;
        EXPECT_TRUE(world.log.Contains(std::string("HEAD got HTTP status ") + status +
                                       " (the login it asks for was not given)"))
            << status;
    }
}

TEST(QueryRemoteFile, UsesThePortOfTheUrl) {
    NetWorld world;
    world.internet.AddHttp("http://h:8081/a", FakeHttpResponse::Ok("abc", kStamp));
    InternetSession session(world.platform, world.deployment);
    RemoteFileInfo info;
    ASSERT_TRUE(session.QueryRemoteFile("a", "http://h:8081/a", info));
    EXPECT_EQ(world.internet.CallsOf(Op::Connect)[0].port, 8081u);
}

TEST(QueryRemoteFile, RefusesUrlsItCannotUseBeforeAnyHandle) {
    for (const char* url : {"ftp://h/a", "https://h/a", "nonsense", "", "http:x",
                            "http://h:70000/a", "http://h:99999999999/a"}) {
        NetWorld world;
        InternetSession session(world.platform, world.deployment);
        RemoteFileInfo info;
        EXPECT_FALSE(session.QueryRemoteFile("a", url, info)) << url;
        EXPECT_TRUE(world.internet.Calls().empty()) << url;
    }
}

TEST(QueryRemoteFile, SchemeIsComparedWithoutCase) {
    NetWorld world;
    world.internet.AddHttp("http://h/a", FakeHttpResponse::Ok("abc", kStamp));
    InternetSession session(world.platform, world.deployment);
    RemoteFileInfo info;
    EXPECT_TRUE(session.QueryRemoteFile("a", "HtTp://h/a", info));
}

// The script applies to HEAD and GET alike, so that the GET after an unusable answer to HEAD
// fails as well.
struct QueryFailureCase {
    const char* name;
    std::function<void(FakeInternet&, FakeHttpResponse&)> script;
    std::vector<Kind> closed;  // by each request; the session's root follows at teardown
    size_t requests = 2;       // HEAD, then GET
};

class QueryFailureTest : public ::testing::TestWithParam<QueryFailureCase> {};

TEST_P(QueryFailureTest, FailsWithEveryOpenedHandleClosedInOrder) {
    const QueryFailureCase& c = GetParam();
    NetWorld world;
    FakeHttpResponse response = FakeHttpResponse::Ok("0123456789", kStamp);
    c.script(world.internet, response);
    world.internet.AddHttp(kUrl, response);
    {
        InternetSession session(world.platform, world.deployment);
        RemoteFileInfo info;
        EXPECT_FALSE(session.QueryRemoteFile("a", kUrl, info));
    }
    std::vector<Kind> closed;
    for (size_t i = 0; i < c.requests; ++i)
        closed.insert(closed.end(), c.closed.begin(), c.closed.end());
    if (world.internet.CallsOf(Op::OpenRoot).back().ok) closed.push_back(Kind::Root);
    EXPECT_EQ(world.internet.ClosedKinds(), closed);
    EXPECT_EQ(world.internet.OpenHandleCount(), 0u);
    EXPECT_EQ(world.internet.BadCloseCount(), 0u);
    EXPECT_TRUE(world.log.Contains("The query of \"" + kUrl + "\" "));
}

void SetLength(FakeHttpResponse& r, const char* text) { r.contentLength = text; }

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryFailureTest,
    ::testing::Values(
        QueryFailureCase{
            "OpenRoot", [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::OpenRoot); }, {}},
        QueryFailureCase{
            "Connect", [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::Connect); }, {}},
        QueryFailureCase{"OpenRequest",
                         [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::OpenHttpRequest); },
                         {Kind::Connection}},
        QueryFailureCase{"Send",
                         [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::SendHttpRequest); },
                         kBothOwn},
        QueryFailureCase{"Status404",
                         [](FakeInternet&, FakeHttpResponse& r) { r.statuses = {"404"}; },
                         kBothOwn},
        QueryFailureCase{"StatusUnreadable",
                         [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::QueryInfoText); },
                         kBothOwn},
        QueryFailureCase{"StatusNotANumber",
                         [](FakeInternet&, FakeHttpResponse& r) { r.statuses = {"OK"}; }, kBothOwn},
        QueryFailureCase{"LengthMissing",
                         [](FakeInternet&, FakeHttpResponse& r) { r.contentLength.reset(); },
                         kBothOwn},
        QueryFailureCase{"LengthEmpty",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, ""); }, kBothOwn},
        QueryFailureCase{"LengthGarbage",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, "12abc"); },
                         kBothOwn},
        QueryFailureCase{"LengthNegative",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, "-1"); }, kBothOwn},
        QueryFailureCase{"LengthBlank",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, " 10"); }, kBothOwn},
        QueryFailureCase{"LengthOver32Bits",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, "4294967296"); },
                         kBothOwn},
        QueryFailureCase{
            "LengthFarOver32Bits",
            [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, "99999999999999999999999"); },
            kBothOwn},
        QueryFailureCase{"LastModifiedMissing",
                         [](FakeInternet&, FakeHttpResponse& r) { r.lastModified.reset(); },
                         kBothOwn},
        QueryFailureCase{"LastModifiedEmpty",
                         [](FakeInternet&, FakeHttpResponse& r) { r.lastModified = ""; }, kBothOwn},
        QueryFailureCase{"LastModifiedNotADate",
                         [](FakeInternet&, FakeHttpResponse& r) { r.lastModified = "garbage"; },
                         kBothOwn},
        QueryFailureCase{"Status401Cancelled",
                         [](FakeInternet&, FakeHttpResponse& r) {
                             r.statuses = {"401", "200"};
                         },
                         kBothOwn, 1},
        QueryFailureCase{"ResendFails",
                         [](FakeInternet& n, FakeHttpResponse& r) {
                             r.statuses = {"407", "200"};
                             n.errorDialogAnswers = {kErrorInternetForceRetry};
                             n.Fail(Op::SendHttpRequest, 2);
                         },
                         kBothOwn}),
    [](const ::testing::TestParamInfo<QueryFailureCase>& param) {
        return std::string(param.param.name);
    });

TEST(QueryRemoteFile, LengthUpTo32BitsIsAccepted) {
    NetWorld world;
    FakeHttpResponse r = FakeHttpResponse::Ok("", kStamp);
    r.contentLength = "4294967295";
    world.internet.AddHttp(kUrl, r);
    InternetSession session(world.platform, world.deployment);
    RemoteFileInfo info;
    ASSERT_TRUE(session.QueryRemoteFile("a", kUrl, info));
    EXPECT_EQ(info.contentLength, 4294967295u);
}

TEST(QueryRemoteFile, RefusedLastModifiedIsLoggedWithItsUrlAndLeavesTheTime) {
    NetWorld world;
    FakeHttpResponse r = FakeHttpResponse::Ok("abc", kStamp);
    // Whatever bytes the server sent stay inside the one quoted line.
    r.lastModified = "Sun, 06 Nov 1994 08:49:37 GMT \"\x01\xE9";
    world.internet.AddHttp(kUrl, r);
    InternetSession session(world.platform, world.deployment);
    RemoteFileInfo info;
    const SystemTime before = info.lastModified;
    EXPECT_FALSE(session.QueryRemoteFile("a", kUrl, info));
    EXPECT_TRUE(SameMembers(info.lastModified, before));
    // One line for the answer to HEAD, one for the GET asked after it.
    const std::vector<std::string> lines = world.log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& line : lines) {
        EXPECT_NE(line.find("\"" + kUrl + "\""), std::string::npos) << line;
        EXPECT_NE(line.find("\"Sun, 06 Nov 1994 08:49:37 GMT \\x22\\x01\\xE9\""), std::string::npos)
            << line;
    }
}

TEST(QueryRemoteFile, MissingLastModifiedKeepsTheStoredLength) {
    NetWorld world;
    FakeHttpResponse r = FakeHttpResponse::Ok("abcdef", kStamp);
    r.lastModified.reset();
    world.internet.AddHttp(kUrl, r);
    InternetSession session(world.platform, world.deployment);
    RemoteFileInfo info;
    EXPECT_FALSE(session.QueryRemoteFile("a", kUrl, info));
    EXPECT_EQ(info.contentLength, 6u);
}

struct AuthCase {
    const char* status;
    std::vector<uint32_t> answers;
    int expected;
    size_t dialogs;
    size_t sends;
};

TEST(QueryRemoteFile, PasswordDialogOn401And407) {
    const AuthCase cases[] = {
        {"401", {kErrorInternetForceRetry}, 1, 1, 2},
        {"407", {kErrorInternetForceRetry}, 1, 1, 2},
        {"401", {}, 0, 1, 1},   // the user cancels
        {"407", {0}, 0, 1, 1},  // any other answer ends the loop
        {"401", {kErrorInternetForceRetry, kErrorInternetForceRetry}, 1, 1, 2},
    };
    for (const AuthCase& c : cases) {
        NetWorld world;
        FakeHttpResponse r = FakeHttpResponse::Ok("abc", kStamp);
        r.statuses = {c.status, "200"};
        world.internet.AddHttp(kUrl, r);
        world.internet.errorDialogAnswers = c.answers;
        InternetSession session(world.platform, world.deployment);
        RemoteFileInfo info;
        EXPECT_EQ(session.QueryRemoteFile("a", kUrl, info), c.expected) << c.status;
        const auto dialogs = world.internet.CallsOf(Op::ErrorDialog);
        ASSERT_EQ(dialogs.size(), c.dialogs);
        EXPECT_EQ(dialogs[0].error, 12014u);
        EXPECT_EQ(dialogs[0].flags, 7u);
        EXPECT_EQ(world.internet.SendCount(kUrl), c.sends);
        EXPECT_EQ(world.internet.OpenHandleCount(), 1u);  // the session's root
    }
}

TEST(QueryRemoteFile, RepeatedLoginPromptsUntilTheServerAccepts) {
    NetWorld world;
    FakeHttpResponse r = FakeHttpResponse::Ok("abc", kStamp);
    r.statuses = {"401", "401", "401", "200"};
    world.internet.AddHttp(kUrl, r);
    world.internet.errorDialogAnswers = {kErrorInternetForceRetry, kErrorInternetForceRetry,
                                         kErrorInternetForceRetry};
    InternetSession session(world.platform, world.deployment);
    RemoteFileInfo info;
    EXPECT_TRUE(session.QueryRemoteFile("a", kUrl, info));
    EXPECT_EQ(world.internet.CountOf(Op::ErrorDialog), 3u);
    EXPECT_EQ(world.internet.SendCount(kUrl), 4u);
}

}  // namespace
}  // namespace mivetrak
