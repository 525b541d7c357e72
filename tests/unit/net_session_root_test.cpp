// The session's root handles: one per agent for the whole run, shared by every transfer, closed
// at teardown after the transfers' own handles.
#include <gtest/gtest.h>

#include <algorithm>

#include "net/internet_session.h"
#include "net_test_world.h"
#include "network_outcomes.h"

namespace mivetrak {
namespace {

using Op = FakeInternet::Op;
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

// The agents of the roots opened, in order.
std::vector<std::string> RootsOpened(const FakeInternet& internet) {
    std::vector<std::string> agents;
    for (const auto& call : internet.CallsOf(Op::OpenRoot)) agents.push_back(call.text);
    return agents;
}

// The agent that each request the servers saw came with.
std::vector<std::string> AgentsSeen(const FakeInternet& internet) {
    std::vector<std::string> agents;
    for (const SeenRequest& request : SeenRequests(internet)) agents.push_back(request.agent);
    return agents;
}

TEST_F(SessionRootTest, EveryTransferOfARunGoesThroughOneRoot) {
    {
        InternetSession session(world.platform, world.deployment);
        RunTransfers(session, "Agent");
        // Each transfer closed its own handles; the root stays for the rest of the run.
        EXPECT_TRUE(HandlesClosed(world.internet, 1));
    }
    EXPECT_EQ(RootsOpened(world.internet), std::vector<std::string>{"Agent"});
    EXPECT_EQ(SeenLines(world.internet),
              (std::vector<std::string>{"GET " + kIndexUrl, "HEAD " + kDatabaseUrl,
                                        "GET " + kDatabaseUrl}));
    EXPECT_EQ(AgentsSeen(world.internet), std::vector<std::string>(3, "Agent"));
    EXPECT_TRUE(HandlesClosed(world.internet));
}

TEST_F(SessionRootTest, AnotherAgentGetsARootOfItsOwnForTheRestOfTheRun) {
    {
        InternetSession session(world.platform, world.deployment);
        RunTransfers(session, "First");
        RunTransfers(session, "Second");
        RunTransfers(session, "First");
        EXPECT_TRUE(HandlesClosed(world.internet, 2));
    }
    EXPECT_EQ(RootsOpened(world.internet), (std::vector<std::string>{"First", "Second"}));
    std::vector<std::string> agents(9, "First");
    std::fill(agents.begin() + 3, agents.begin() + 6, "Second");
    EXPECT_EQ(AgentsSeen(world.internet), agents);
    EXPECT_TRUE(HandlesClosed(world.internet));
}

TEST_F(SessionRootTest, ARootThatCannotBeOpenedIsTriedAgainByTheNextTransfer) {
    world.internet.Fail(Op::OpenRoot, 1);
    {
        InternetSession session(world.platform, world.deployment);
        EXPECT_FALSE(session.DownloadFile(Fetch("Agent", kIndexUrl, "C:\\work\\zav.tmp")));
        EXPECT_TRUE(world.log.Contains("could not open the Internet library"));
        EXPECT_TRUE(SeenLines(world.internet).empty());
        EXPECT_TRUE(session.DownloadFile(Fetch("Agent", kIndexUrl, "C:\\work\\zav.tmp")));
    }
    EXPECT_EQ(SeenLines(world.internet), std::vector<std::string>{"GET " + kIndexUrl});
    EXPECT_EQ(world.files.Content("C:\\work\\zav.tmp"), "[ZAVFile]\r\n");
    EXPECT_TRUE(HandlesClosed(world.internet));
}

}  // namespace
}  // namespace mivetrak
