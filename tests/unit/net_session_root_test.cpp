// The session's root handles: one per agent for the whole run, shared by every transfer, closed
// at teardown after the transfers' own handles.
#include <gtest/gtest.h>

#include "net/internet_session.h"
#include "net_test_world.h"

namespace mivetrak {
namespace {

using Op = FakeInternet::Op;
using Kind = FakeInternet::Kind;
const std::string kIndexUrl = "http://update.example.test/index.asp";
const std::string kDatabaseUrl = "http://db.example.test/files/Tolvar32.bdb";
const SystemTime kStamp = MakeTime(2024, 3, 9, 5, 6, 7);

DownloadRequest Fetch(const std::string& agent, const std::string& url, const char* local) {
    DownloadRequest request;
    request.agent = agent;
    request.url = url;
    request.localPath = local;
    return request;
}

class SessionRootTest : public ::testing::Test {
protected:
    SessionRootTest() {
        world.files.AddDirectory("C:\\work");
        world.internet.AddHttp(kIndexUrl, FakeHttpResponse::Ok("[ZAVFile]\r\n", kStamp));
        world.internet.AddHttp(kDatabaseUrl, FakeHttpResponse::Ok(std::string(3000, 'd'), kStamp));
    }
    // The three transfers of an update run, in their order, all under one agent.
    void RunTransfers(InternetSession& session, const std::string& agent) {
        EXPECT_TRUE(session.DownloadFile(Fetch(agent, kIndexUrl, "C:\\work\\zav.tmp")));
        RemoteFileInfo info;
        EXPECT_TRUE(session.QueryRemoteFile(agent, kDatabaseUrl, info));
        EXPECT_TRUE(session.DownloadFile(Fetch(agent, kDatabaseUrl, "C:\\work\\db")));
    }

    NetWorld world;
};

TEST_F(SessionRootTest, EveryTransferOfARunGoesThroughOneRoot) {
    {
        InternetSession session(world.platform, world.deployment);
        RunTransfers(session, "Agent");
        EXPECT_EQ(world.internet.OpenHandleCount(), 1u);
    }
    const auto roots = world.internet.CallsOf(Op::OpenRoot);
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0].text, "Agent");
    const auto connects = world.internet.CallsOf(Op::Connect);
    ASSERT_EQ(connects.size(), 3u);
    for (const auto& connect : connects) EXPECT_EQ(connect.handle, roots[0].result);
    // Each transfer closed its request and connection; the root went last, at teardown.
    const std::vector<Kind> closed{Kind::Request, Kind::Connection, Kind::Request, Kind::Connection,
                                   Kind::Request, Kind::Connection, Kind::Root};
    EXPECT_EQ(world.internet.ClosedKinds(), closed);
    EXPECT_EQ(world.internet.OpenHandleCount(), 0u);
    EXPECT_EQ(world.internet.BadCloseCount(), 0u);
}

TEST_F(SessionRootTest, AnotherAgentGetsARootOfItsOwnForTheRestOfTheRun) {
    {
        InternetSession session(world.platform, world.deployment);
        RunTransfers(session, "First");
        RunTransfers(session, "Second");
        RunTransfers(session, "First");
        EXPECT_EQ(world.internet.OpenHandleCount(), 2u);
    }
    const auto roots = world.internet.CallsOf(Op::OpenRoot);
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots[0].text, "First");
    EXPECT_EQ(roots[1].text, "Second");
    const auto connects = world.internet.CallsOf(Op::Connect);
    ASSERT_EQ(connects.size(), 9u);
    for (size_t i = 0; i < connects.size(); ++i) {
        EXPECT_EQ(connects[i].handle, roots[i / 3 == 1 ? 1 : 0].result) << i;
    }
    EXPECT_EQ(world.internet.OpenHandleCount(), 0u);
    EXPECT_EQ(world.internet.BadCloseCount(), 0u);
}

TEST_F(SessionRootTest, ARootThatCannotBeOpenedIsTriedAgainByTheNextTransfer) {
    world.internet.Fail(Op::OpenRoot, 1);
    {
        InternetSession session(world.platform, world.deployment);
        EXPECT_FALSE(session.DownloadFile(Fetch("Agent", kIndexUrl, "C:\\work\\zav.tmp")));
        EXPECT_EQ(world.internet.CountOf(Op::Connect), 0u);
        EXPECT_TRUE(session.DownloadFile(Fetch("Agent", kIndexUrl, "C:\\work\\zav.tmp")));
    }
    EXPECT_EQ(world.internet.CountOf(Op::OpenRoot), 2u);
    EXPECT_EQ(world.internet.OpenHandleCount(), 0u);
    EXPECT_EQ(world.internet.BadCloseCount(), 0u);
}

}  // namespace
}  // namespace mivetrak
