// The remote query: what the server is asked, HEAD and the GET that follows an unusable answer
// to it, the password dialog loop, and every way it fails, as the log tells it, with all handles
// closed.
#include <gtest/gtest.h>

#include "net/internet_session.h"
#include "net_test_world.h"
#include "network_outcomes.h"

namespace mivetrak {
namespace {

using Op = FakeInternet::Op;
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

    // One HEAD, under the agent, without a login, past the cache, its waits bounded.
    const auto seen = SeenRequests(world.internet);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].line, "HEAD " + kUrl);
    EXPECT_EQ(seen[0].agent, "Agent 1");
    EXPECT_EQ(seen[0].user, "");
    EXPECT_EQ(seen[0].password, "");
    EXPECT_EQ(seen[0].flags, 0x84600000u);
    EXPECT_EQ(seen[0].connectTimeout, 30000u);
    EXPECT_EQ(seen[0].idleTimeout, 60000u);
    EXPECT_EQ(BodyBytesRead(world.internet), 0u);
    EXPECT_TRUE(HandlesClosed(world.internet, 1));  // the session's root stays
    EXPECT_EQ(world.log.Lines(),
              std::vector<std::string>{"The query of \"" + kUrl +
                                       "\" (HEAD) answered HTTP status 200, 1234 bytes, "
                                       "Last-Modified \"" +
                                       HttpDateText(kStamp) + "\"."});
}

// The status and both headers are read into buffers of 255 bytes: a text of 254 bytes is read,
// a longer one counts as none.
TEST(QueryRemoteFile, HeadersOfUpTo254BytesAreRead) {
    const std::string status254 = std::string(251, '0') + "200";
    const std::string length254 = std::string(250, '0') + "1234";
    struct Case {
        std::string status;
        std::string length;
        std::string lastModified;
        std::string logged;  // what HEAD gave, as the log says
    } cases[] = {
        {status254, length254, std::string(254, 'x'),
         "the Last-Modified \"" + std::string(254, 'x') + "\", which is not an HTTP date"},
        {status254, length254, std::string(255, 'x'), "no Last-Modified"},
        {status254, length254 + "0", HttpDateText(kStamp), "no usable Content-Length"},
        {status254 + "0", length254, HttpDateText(kStamp), "a status that could not be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        NetWorld world;
        FakeHttpResponse r = FakeHttpResponse::Ok("", kStamp);
        r.statuses = {c.status};
        r.contentLength = c.length;
        r.lastModified = c.lastModified;
        world.internet.AddHttp(kUrl, r);
        InternetSession session(world.platform, world.deployment);
        RemoteFileInfo info;
        EXPECT_FALSE(session.QueryRemoteFile("a", kUrl, info));
        EXPECT_TRUE(world.log.Contains("HEAD of \"" + kUrl + "\" gave " + c.logged))
            << ::testing::PrintToString(world.log.Lines());
    }
    NetWorld world;
    FakeHttpResponse r = FakeHttpResponse::Ok("", kStamp);
    r.statuses = {status254};
    r.contentLength = length254;
    world.internet.AddHttp(kUrl, r);
    InternetSession session(world.platform, world.deployment);
    RemoteFileInfo info;
    ASSERT_TRUE(session.QueryRemoteFile("a", kUrl, info));
    EXPECT_EQ(info.contentLength, 1234u);
}

struct FallbackCase {
    const char* name;
    std::function<void(FakeInternet&, FakeHttpResponse&)> script;  // the answer to HEAD
    size_t headsSeen = 1;  // sends of HEAD that the server answered
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
    std::vector<std::string> lines(c.headsSeen, "HEAD " + kUrl);
    lines.push_back("GET " + kUrl);
    EXPECT_EQ(SeenLines(world.internet), lines);
    for (const SeenRequest& request : SeenRequests(world.internet)) {
        EXPECT_EQ(request.flags, 0x84600000u);
    }
    EXPECT_EQ(world.internet.CountOf(Op::OpenRoot), 1u);  // both through the session's root
    EXPECT_EQ(BodyBytesRead(world.internet), 0u);
    EXPECT_TRUE(HandlesClosed(world.internet));
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
                     [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::SendHttpRequest, 1); }, 0},
        FallbackCase{"RequestNotOpened",
                     [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::OpenHttpRequest, 1); }, 0},
        FallbackCase{"LoginGivenThenRefused",
                     [](FakeInternet& n, FakeHttpResponse& r) {
                         // The user answers the dialog; the server then refuses HEAD.
                         r.statuses = {"407", "405"};
                         n.errorDialogAnswers = {kErrorInternetForceRetry};
                     },
                     2}),
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
        EXPECT_EQ(SeenLines(world.internet), std::vector<std::string>{"HEAD " + kUrl}) << status;
        // The user was asked for the login once.
        EXPECT_EQ(world.internet.CountOf(Op::ErrorDialog), 1u) << status;
        EXPECT_TRUE(HandlesClosed(world.internet)) << status;
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
    EXPECT_EQ(SeenLines(world.internet), std::vector<std::string>{"HEAD http://h:8081/a"});
}

TEST(QueryRemoteFile, RefusesUrlsItCannotUseBeforeAnyHandle) {
    for (const char* url :
         {"ftp://h/a", "nonsense", "", "http:x", "https://h:70000/a", "http://h:99999999999/a"}) {
        NetWorld world;
        InternetSession session(world.platform, world.deployment);
        RemoteFileInfo info;
        EXPECT_FALSE(session.QueryRemoteFile("a", url, info)) << url;
        // Nothing was asked of the Internet library.
        EXPECT_TRUE(world.internet.Calls().empty()) << url;
        EXPECT_TRUE(world.log.Contains("cannot be queried: it is not an http or https URL")) << url;
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
    std::string logged;       // what the last request gave, as the log says
    bool asksWithGet = true;  // after HEAD; otherwise the query stops at HEAD
};

class QueryFailureTest : public ::testing::TestWithParam<QueryFailureCase> {};

TEST_P(QueryFailureTest, FailsWithEveryOpenedHandleClosed) {
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
    EXPECT_TRUE(HandlesClosed(world.internet));
    const std::string query = "The query of \"" + kUrl + "\" ";
    EXPECT_EQ(world.log.Contains("asking with GET instead"), c.asksWithGet);
    EXPECT_TRUE(world.log.Contains(
        query + (c.asksWithGet ? "failed: GET gave " : "stopped: HEAD got ") + c.logged + "."))
        << ::testing::PrintToString(world.log.Lines());
}

void SetLength(FakeHttpResponse& r, const char* text) { r.contentLength = text; }

const char kNoLength[] = "no usable Content-Length";
const char kNoStatus[] = "a status that could not be read";

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryFailureTest,
    ::testing::Values(
        QueryFailureCase{"OpenRoot",
                         [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::OpenRoot); },
                         "no answer (could not open the Internet library: error 8)"},
        QueryFailureCase{"Connect", [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::Connect); },
                         "no answer (could not connect to the server: error 12007)"},
        QueryFailureCase{"OpenRequest",
                         [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::OpenHttpRequest); },
                         "no answer (could not open the request: error 6)"},
        QueryFailureCase{"Send",
                         [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::SendHttpRequest); },
                         "no answer (could not send the request: error 12029)"},
        QueryFailureCase{"Status404",
                         [](FakeInternet&, FakeHttpResponse& r) { r.statuses = {"404"}; },
                         "HTTP status 404"},
        QueryFailureCase{"Encoded",
                         [](FakeInternet&, FakeHttpResponse& r) { r.contentEncoding = "gzip"; },
                         "a Content-Encoding of \"gzip\""},
        QueryFailureCase{"StatusUnreadable",
                         [](FakeInternet& n, FakeHttpResponse&) { n.Fail(Op::QueryInfoText); },
                         kNoStatus},
        QueryFailureCase{"StatusNotANumber",
                         [](FakeInternet&, FakeHttpResponse& r) { r.statuses = {"OK"}; },
                         kNoStatus},
        QueryFailureCase{"LengthMissing",
                         [](FakeInternet&, FakeHttpResponse& r) { r.contentLength.reset(); },
                         kNoLength},
        QueryFailureCase{"LengthEmpty",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, ""); }, kNoLength},
        QueryFailureCase{"LengthGarbage",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, "12abc"); },
                         kNoLength},
        QueryFailureCase{"LengthNegative",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, "-1"); }, kNoLength},
        QueryFailureCase{"LengthBlank",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, " 10"); },
                         kNoLength},
        QueryFailureCase{"LengthOver32Bits",
                         [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, "4294967296"); },
                         kNoLength},
        QueryFailureCase{
            "LengthFarOver32Bits",
            [](FakeInternet&, FakeHttpResponse& r) { SetLength(r, "99999999999999999999999"); },
            kNoLength},
        QueryFailureCase{"LastModifiedMissing",
                         [](FakeInternet&, FakeHttpResponse& r) { r.lastModified.reset(); },
                         "no Last-Modified"},
        QueryFailureCase{"LastModifiedEmpty",
                         [](FakeInternet&, FakeHttpResponse& r) { r.lastModified = ""; },
                         "the Last-Modified \"\", which is not an HTTP date that a file can keep"},
        QueryFailureCase{"LastModifiedNotADate",
                         [](FakeInternet&, FakeHttpResponse& r) { r.lastModified = "garbage"; },
                         "the Last-Modified \"garbage\", which is not an HTTP date that a file "
                         "can keep"},
        QueryFailureCase{"Status401Cancelled",
                         [](FakeInternet&, FakeHttpResponse& r) {
                             r.statuses = {"401", "200"};
                         },
                         "HTTP status 401 (the login it asks for was not given)", false},
        QueryFailureCase{"ResendFails",
                         [](FakeInternet& n, FakeHttpResponse& r) {
                             r.statuses = {"407", "200"};
                             n.errorDialogAnswers = {kErrorInternetForceRetry};
                             n.Fail(Op::SendHttpRequest, 2);
                         },
                         "HTTP status 407 (the login it asks for was not given)"}),
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
        EXPECT_TRUE(HandlesClosed(world.internet, 1));  // the session's root stays
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
