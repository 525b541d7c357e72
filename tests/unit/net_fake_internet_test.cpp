// Checks of the scripted Internet fake itself, so that the tests built on it can trust it.
#include <gtest/gtest.h>

#include "fakes/fake_internet.h"

namespace mivetrak {
namespace {

using Op = FakeInternet::Op;
using Kind = FakeInternet::Kind;

TEST(FakeInternet, ServesAScriptedResponseAndTracksHandles) {
    FakeInternet net;
    SystemTime t;
    t.wYear = 2024;
    net.AddHttp("http://example.test:8080/dir/f.bin", FakeHttpResponse::Ok("hello world", t));
    InternetHandle root = net.OpenRoot("agent");
    InternetHandle conn = net.Connect(root, "example.test", 8080, "", "", InternetService::Http);
    InternetHandle req = net.OpenHttpRequest(conn, "GET", "dir/f.bin", 0);
    ASSERT_TRUE(net.SendHttpRequest(req));
    std::string text;
    ASSERT_TRUE(net.QueryInfoText(req, kHttpQueryStatusCode, 255, text));
    EXPECT_EQ(text, "200");
    ASSERT_TRUE(net.QueryInfoText(req, kHttpQueryContentLength, 255, text));
    EXPECT_EQ(text, "11");
    SystemTime got;
    ASSERT_TRUE(net.QueryLastModified(req, got));
    EXPECT_EQ(got.wYear, 2024);
    char buf[8];
    uint32_t n = 0;
    ASSERT_TRUE(net.ReadData(req, buf, 8, n));
    EXPECT_EQ(n, 8u);
    ASSERT_TRUE(net.ReadData(req, buf, 8, n));
    EXPECT_EQ(n, 3u);
    ASSERT_TRUE(net.ReadData(req, buf, 8, n));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(net.OpenHandleCount(), 3u);
    net.CloseInternetHandle(req);
    net.CloseInternetHandle(conn);
    net.CloseInternetHandle(root);
    EXPECT_EQ(net.OpenHandleCount(), 0u);
    EXPECT_EQ(net.ClosedKinds(), (std::vector<Kind>{Kind::Request, Kind::Connection, Kind::Root}));
    EXPECT_EQ(net.BadCloseCount(), 0u);
    EXPECT_EQ(net.SendCount("http://example.test:8080/dir/f.bin"), 1u);
}

TEST(FakeInternet, UnscriptedRequestFailsAtSendAndNthFailureApplies) {
    FakeInternet net;
    net.Fail(Op::OpenRoot, 2);
    InternetHandle root = net.OpenRoot("a");
    EXPECT_NE(root, nullptr);
    EXPECT_EQ(net.OpenRoot("a"), nullptr);
    InternetHandle conn = net.Connect(root, "h", 80, "", "", InternetService::Http);
    InternetHandle req = net.OpenHttpRequest(conn, "GET", "nothing", 0);
    EXPECT_FALSE(net.SendHttpRequest(req));
    net.CloseInternetHandle(nullptr);
    EXPECT_EQ(net.BadCloseCount(), 1u);
}

TEST(FakeInternet, StatusSequenceReadFailureAndEarlyEnd) {
    FakeInternet net;
    FakeHttpResponse r = FakeHttpResponse::Ok(std::string(100, 'x'), SystemTime{});
    r.statuses = {"401", "200"};
    r.failReadAt = 10;
    net.AddHttp("http://h/a", r);
    FakeRemoteFile f;
    f.body = std::string(50, 'y');
    f.endAt = 20;
    net.AddFtp("ftp://h/b", f);
    InternetHandle root = net.OpenRoot("a");
    InternetHandle conn = net.Connect(root, "h", 80, "", "", InternetService::Http);
    InternetHandle req = net.OpenHttpRequest(conn, "GET", "a", 0);
    std::string s;
    ASSERT_TRUE(net.SendHttpRequest(req));
    ASSERT_TRUE(net.QueryInfoText(req, kHttpQueryStatusCode, 255, s));
    EXPECT_EQ(s, "401");
    EXPECT_EQ(net.ErrorDialog(req, kErrorInternetIncorrectPassword, 7), 1223u);
    ASSERT_TRUE(net.SendHttpRequest(req));
    ASSERT_TRUE(net.QueryInfoText(req, kHttpQueryStatusCode, 255, s));
    EXPECT_EQ(s, "200");
    char buf[64];
    uint32_t n = 0;
    ASSERT_TRUE(net.ReadData(req, buf, 64, n));
    EXPECT_EQ(n, 10u);
    EXPECT_FALSE(net.ReadData(req, buf, 64, n));
    InternetHandle ftpConn = net.Connect(root, "h", 21, "", "", InternetService::Ftp);
    InternetHandle file = net.OpenFtpFile(ftpConn, "b", kGenericRead, 0);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(net.ReadData(file, buf, 64, n));
    EXPECT_EQ(n, 20u);
    ASSERT_TRUE(net.ReadData(file, buf, 64, n));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(net.OpenFtpFile(ftpConn, "missing", kGenericRead, 0), nullptr);
}

}  // namespace
}  // namespace mivetrak
