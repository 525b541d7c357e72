// The session: connection test, dialling, autodial settings and the transfer state.
#include <gtest/gtest.h>

#include "net/internet_session.h"
#include "net_test_world.h"

namespace mivetrak {
namespace {

using Op = FakeInternet::Op;
const std::string kMakerSiteUrl = TestDeployment().makerSiteUrl;
const std::string kPortalSiteUrl = TestDeployment().portalSiteUrl;
constexpr char kSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// --- CheckConnection -------------------------------------------------------------------------

struct ConnectionCase {
    const char* name;
    bool hasEx;  // the system has the extended connected-state query
    bool connected;
    bool failExtendedVersion;
    bool failBasicVersion;
    uint32_t platformId;
    uint32_t major;
    bool skipProbes;
    std::vector<std::string> goodProbes;  // "" = the null URL
    bool expected;
    std::vector<std::string> expectedProbes;  // in order; "<null>" for the null URL
};

class CheckConnectionTest : public ::testing::TestWithParam<ConnectionCase> {};

TEST_P(CheckConnectionTest, FollowsTheVersionAndProbeRules) {
    const ConnectionCase& c = GetParam();
    NetWorld world;
    world.internet.hasConnectedStateEx = c.hasEx;
    // The query that the system lacks fails, so that asking it would show in the answer.
    world.internet.Fail(c.hasEx ? Op::ConnectedState : Op::ConnectedStateEx);
    world.internet.connected = c.connected;
    world.internet.connectionFlags = 0x41;
    // The version comes in an extended record of 156 bytes or a basic one of 148.
    if (c.failExtendedVersion) world.internet.versionFailsForRecordSize.insert(156);
    if (c.failBasicVersion) world.internet.versionFailsForRecordSize.insert(148);
    world.internet.osVersion = OsVersion{c.platformId, c.major};
    for (const std::string& url : c.goodProbes) world.internet.probeResults[url] = true;

    uint32_t flags = 0xDEAD;
    {
        InternetSession session(world.platform, world.deployment);
        EXPECT_EQ(session.CheckConnection(&flags, c.skipProbes), c.expected);
    }
    // The sites asked whether they answer.
    std::vector<std::string> probes;
    for (const auto& call : world.internet.CallsOf(Op::CheckConnectionTo)) {
        probes.push_back(call.nullUrl ? "<null>" : call.text);
    }
    EXPECT_EQ(probes, c.expectedProbes);
    // The flags are written exactly when the test got past the version query.
    const bool flagsWritten =
        c.connected && !(!c.skipProbes && c.failExtendedVersion && c.failBasicVersion);
    EXPECT_EQ(flags, flagsWritten ? 0x41u : 0xDEADu);
}

const std::vector<std::string> kEveryProbe{kMakerSiteUrl, kPortalSiteUrl, "<null>"};

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckConnectionTest,
    ::testing::Values(
        ConnectionCase{"Nt5NoProbe", true, true, false, false, 2, 5, false, {}, true, {}},
        ConnectionCase{"Windows9xNoProbe", true, true, false, false, 1, 4, false, {}, true, {}},
        ConnectionCase{"NotConnected", true, false, false, false, 2, 5, false, {}, false, {}},
        ConnectionCase{"NotConnectedOnNt4", true, false, false, false, 2, 4, false, {}, false, {}},
        ConnectionCase{"OldConnectedState", false, true, false, false, 2, 6, false, {}, true, {}},
        ConnectionCase{"BasicVersionRecord", true, true, true, false, 2, 6, false, {}, true, {}},
        ConnectionCase{"ExtendedVersionRecord", true, true, false, true, 2, 6, false, {}, true, {}},
        ConnectionCase{"BasicVersionRecordOnNt4",
                       true,
                       true,
                       true,
                       false,
                       2,
                       4,
                       false,
                       {},
                       false,
                       kEveryProbe},
        ConnectionCase{"NoVersionAtAll", true, true, true, true, 2, 6, false, {}, false, {}},
        ConnectionCase{"Nt4MakerSiteAnswers",
                       true,
                       true,
                       false,
                       false,
                       2,
                       4,
                       false,
                       {kMakerSiteUrl},
                       true,
                       {kMakerSiteUrl}},
        ConnectionCase{"Nt4PortalAnswers",
                       true,
                       true,
                       false,
                       false,
                       2,
                       4,
                       false,
                       {kPortalSiteUrl},
                       true,
                       {kMakerSiteUrl, kPortalSiteUrl}},
        ConnectionCase{
            "Nt4NullAnswers", true, true, false, false, 2, 3, false, {""}, true, kEveryProbe},
        ConnectionCase{
            "Nt4NothingAnswers", true, true, false, false, 2, 4, false, {}, false, kEveryProbe},
        ConnectionCase{"SkipProbesOnNt4", true, true, false, false, 2, 4, true, {}, true, {}},
        ConnectionCase{
            "SkipProbesWithoutVersion", true, true, true, true, 2, 4, true, {}, true, {}}),
    [](const ::testing::TestParamInfo<ConnectionCase>& param) {
        return std::string(param.param.name);
    });

TEST(CheckConnection, OmittedOutValueLeavesTheResultUnchanged) {
    NetWorld world;
    world.internet.osVersion = OsVersion{2, 4};
    world.internet.probeResults[kPortalSiteUrl] = true;
    InternetSession session(world.platform, world.deployment);
    EXPECT_TRUE(session.CheckConnection(nullptr, false));
    world.internet.probeResults[kPortalSiteUrl] = false;
    EXPECT_FALSE(session.CheckConnection(nullptr, false));
}

// --- Dial and the autodial settings ----------------------------------------------------------

// What the system was asked to dial: "autodial" or the connection's name, quoted, and whether
// without a user (then the system fails rather than wait on its dialog).
std::vector<std::string> Dialled(const FakeInternet& internet, WindowHandle owner) {
    std::vector<std::string> dialled;
    for (const auto& call : internet.Calls()) {
        if (call.op != Op::Autodial && call.op != Op::DialConnection) continue;
        EXPECT_EQ(call.owner, owner);
        dialled.push_back((call.op == Op::Autodial ? "autodial" : "\"" + call.text + "\"") +
                          std::string(call.unattended ? ", unattended" : ""));
    }
    return dialled;
}

TEST(Dial, DialsTheNamedConnectionOrElseTheSystemsAutodial) {
    struct Case {
        const char* connection;  // null: none named
        bool userPresent;
        bool autodialResult;
        uint32_t dialError;
        bool expected;
        std::string dialled;
        std::string logged;  // "" when nothing is logged
    } cases[] = {
        {nullptr, true, true, 0, true, "autodial", ""},
        {nullptr, false, true, 0, true, "autodial, unattended", ""},
        {nullptr, true, false, 0, false, "autodial",
         "The system's autodial did not bring the machine on line: error 1223."},
        {nullptr, false, false, 0, false, "autodial, unattended",
         "The system's autodial did not bring the machine on line: error 1223."},
        {"Office line", true, true, 0, true, "\"Office line\"", ""},
        {"Office line", false, true, 0, true, "\"Office line\", unattended", ""},
        {"Office line", false, true, 668, false, "\"Office line\", unattended",
         "Dialling \"Office line\" failed: error 668."},
        {"Office line", false, true, 1, false, "\"Office line\", unattended",
         "Dialling \"Office line\" failed: error 1."},
    };
    const auto owner = reinterpret_cast<WindowHandle>(0x4242);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dialled + " answering " + (c.expected ? "on line" : "off line"));
        NetWorld world;
        world.internet.autodialResult = c.autodialResult;
        world.internet.dialError = c.dialError;
        uintptr_t id = 0;
        InternetSession session(world.platform, world.deployment);
        session.SetUserPresent(c.userPresent);
        EXPECT_EQ(session.Dial(owner, c.connection, &id), c.expected);
        EXPECT_EQ(Dialled(world.internet, owner), std::vector<std::string>{c.dialled});
        const bool named = c.connection != nullptr;
        EXPECT_EQ(id, named && c.expected ? world.internet.dialConnectionId : 0u);
        if (c.logged.empty()) {
            EXPECT_TRUE(world.log.Lines().empty()) << ::testing::PrintToString(world.log.Lines());
        } else {
            EXPECT_TRUE(world.log.Contains(c.logged))
                << ::testing::PrintToString(world.log.Lines());
        }
    }
}

// A registry value as a test sets it up, or none (the value does not exist).
struct RawValue {
    uint32_t type;
    std::vector<uint8_t> data;
};
using MaybeValue = std::optional<RawValue>;

RawValue Dword(uint32_t value) {
    return {kRegDword,
            {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
             static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}};
}

struct AutodialCase {
    const char* name;
    bool keyExists;
    MaybeValue enable;
    MaybeValue noNet;
    AutodialMode expectedMode;
};

constexpr uint32_t kRegBinary = 3;

class AutodialTest : public ::testing::TestWithParam<AutodialCase> {};

MaybeValue ValueIn(const FakeRegistry& registry, const char* name) {
    FakeRegistry::Value value;
    if (!registry.GetValue(RegistryRoot::CurrentUser, kSettingsKey, name, value)) {
        return std::nullopt;
    }
    return RawValue{value.type, value.data};
}

bool Same(const MaybeValue& a, const MaybeValue& b) {
    if (!a || !b) return !a && !b;
    return a->type == b->type && a->data == b->data;
}

// The dial turns autodial on, as a dial-up connection's settings may, creating what is missing.
void DialTurnsAutodialOn(NetWorld& world) {
    world.internet.onCall = [&world](const FakeInternet::Call& call) {
        if (call.op != Op::Autodial) return;
        world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "EnableAutodial", 1);
        world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "NoNetAutodial", 1);
    };
}

bool SettingsKeyExists(FakeRegistry& registry) {
    SystemError error;
    return registry.OpenKey(RegistryRoot::CurrentUser, kSettingsKey, kKeyRead, error) != nullptr;
}

TEST_P(AutodialTest, EachValueComesBackExactlyAsItWas) {
    const AutodialCase& c = GetParam();
    NetWorld world;
    if (c.keyExists) {
        world.registry.AddKey(RegistryRoot::CurrentUser, kSettingsKey);
        DialTurnsAutodialOn(world);
    }
    for (const auto& [name, value] :
         {std::pair{"EnableAutodial", c.enable}, std::pair{"NoNetAutodial", c.noNet}}) {
        if (value) {
            world.registry.SetValue(RegistryRoot::CurrentUser, kSettingsKey, name, value->type,
                                    value->data);
        }
    }
    {
        InternetSession session(world.platform, world.deployment);
        AutodialSettings settings;
        session.ReadAutodialSettings(settings);
        EXPECT_EQ(settings.mode, c.expectedMode);
        EXPECT_TRUE(session.Dial(nullptr, nullptr, nullptr));
    }
    // A value that was missing is missing again; a key that was missing is not made.
    EXPECT_TRUE(Same(ValueIn(world.registry, "EnableAutodial"), c.enable));
    EXPECT_TRUE(Same(ValueIn(world.registry, "NoNetAutodial"), c.noNet));
    EXPECT_EQ(world.registry.OpenKeyCount(), 0);
    EXPECT_EQ(SettingsKeyExists(world.registry), c.keyExists);
    // The key is the user's, opened for no more than each step needs.
    for (const auto& open : world.registry.Opens()) {
        EXPECT_TRUE(open.access == kKeyRead || open.access == kKeyReadWrite);
        EXPECT_EQ(open.root, RegistryRoot::CurrentUser);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutodialTest,
    ::testing::Values(
        AutodialCase{"NoNetworkOnly", true, Dword(5), Dword(7), AutodialMode::WithoutNetwork},
        AutodialCase{"Off", true, Dword(0), Dword(1), AutodialMode::Off},
        AutodialCase{"Always", true, Dword(1), Dword(0), AutodialMode::Always},
        AutodialCase{"AlwaysNoNetMissing", true, Dword(9), std::nullopt, AutodialMode::Always},
        AutodialCase{"EnableMissing", true, std::nullopt, Dword(1), AutodialMode::Off},
        AutodialCase{"BothMissing", true, std::nullopt, std::nullopt, AutodialMode::Off},
        AutodialCase{"OtherTypes", true, RawValue{kRegBinary, {2, 0, 0, 0}},
                     RawValue{kRegSz, {'1', 0}}, AutodialMode::WithoutNetwork},
        // Longer than four bytes: no number (so autodial counts as off), put back whole.
        AutodialCase{"EightBytes", true, RawValue{kRegBinary, {1, 0, 0, 0, 0, 0, 0, 0}}, Dword(1),
                     AutodialMode::Off},
        AutodialCase{"KeyMissing", false, std::nullopt, std::nullopt, AutodialMode::NotRead}),
    [](const ::testing::TestParamInfo<AutodialCase>& param) {
        return std::string(param.param.name);
    });

TEST(Autodial, ReadingOpensForReadingAndWritingOpensForReadWrite) {
    NetWorld world;
    world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "EnableAutodial", 0);
    DialTurnsAutodialOn(world);
    size_t opensToRead = 0;
    {
        InternetSession session(world.platform, world.deployment);
        session.Dial(nullptr, nullptr, nullptr);
        opensToRead = world.registry.Opens().size();
        ASSERT_GT(opensToRead, 0u);
        for (const auto& open : world.registry.Opens()) EXPECT_EQ(open.access, kKeyRead);
    }
    // Putting the values back at teardown.
    const auto opens = world.registry.Opens();
    ASSERT_GT(opens.size(), opensToRead);
    for (size_t i = opensToRead; i < opens.size(); ++i) EXPECT_EQ(opens[i].access, kKeyReadWrite);
    EXPECT_TRUE(Same(ValueIn(world.registry, "EnableAutodial"), Dword(0)));
}

TEST(Autodial, RestoreWritesNothingForSettingsThatWereNotRead) {
    NetWorld world;
    world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "NoNetAutodial", 5);
    InternetSession session(world.platform, world.deployment);
    AutodialSettings settings;  // NotRead, whatever the values say
    settings.enableAutodial = {true, true, kRegDword, {1, 0, 0, 0}};
    settings.noNetAutodial = {true, false, 0, {}};
    session.RestoreAutodialSettings(settings);
    EXPECT_TRUE(Same(ValueIn(world.registry, "EnableAutodial"), std::nullopt));
    EXPECT_TRUE(Same(ValueIn(world.registry, "NoNetAutodial"), Dword(5)));
}

TEST(Autodial, RestoreWithoutTheKeySucceedsWritingNothing) {
    NetWorld world;
    InternetSession session(world.platform, world.deployment);
    AutodialSettings settings;
    settings.mode = AutodialMode::WithoutNetwork;
    settings.enableAutodial = {true, true, kRegDword, {1, 0, 0, 0}};
    session.RestoreAutodialSettings(settings);
    EXPECT_FALSE(SettingsKeyExists(world.registry));
    EXPECT_TRUE(world.log.Contains("Could not open the Internet settings"));
}

// A value that could not be read is left as the dial made it; the other one is put back.
TEST(Autodial, AValueThatCouldNotBeReadIsLeftAlone) {
    NetWorld world;
    world.registry.SetValue(RegistryRoot::CurrentUser, kSettingsKey, "EnableAutodial", kRegBinary,
                            std::vector<uint8_t>(2000, 1));
    world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "NoNetAutodial", 0);
    DialTurnsAutodialOn(world);
    {
        InternetSession session(world.platform, world.deployment);
        session.Dial(nullptr, nullptr, nullptr);
    }
    EXPECT_TRUE(Same(ValueIn(world.registry, "EnableAutodial"), Dword(1)));
    EXPECT_TRUE(Same(ValueIn(world.registry, "NoNetAutodial"), Dword(0)));
}

TEST(Autodial, AFailedWriteBackIsLogged) {
    NetWorld world;
    world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "EnableAutodial", 0);
    world.registry.FailWrites();
    world.system.SetErrorText(5, "Access denied.\r\n");
    {
        InternetSession session(world.platform, world.deployment);
        session.Dial(nullptr, nullptr, nullptr);
    }
    EXPECT_TRUE(world.log.Contains("Could not write back EnableAutodial: error 5: Access denied."));
    EXPECT_TRUE(
        world.log.Contains("Could not delete NoNetAutodial, which did not exist before "
                           "the dial: error 5: Access denied."));
}

TEST(Autodial, AFailedDialStillRestoresAtTeardown) {
    NetWorld world;
    world.internet.autodialResult = false;
    world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "EnableAutodial", 0);
    DialTurnsAutodialOn(world);
    {
        InternetSession session(world.platform, world.deployment);
        EXPECT_FALSE(session.Dial(nullptr, nullptr, nullptr));
    }
    EXPECT_TRUE(Same(ValueIn(world.registry, "EnableAutodial"), Dword(0)));
    EXPECT_TRUE(Same(ValueIn(world.registry, "NoNetAutodial"), std::nullopt));
}

TEST(Session, ANewSessionIsIdleAndTeardownTouchesNothing) {
    NetWorld world;
    {
        InternetSession session(world.platform, world.deployment);
        EXPECT_EQ(session.GetState(), TransferState::Idle);
    }
    EXPECT_TRUE(world.internet.Calls().empty());
    EXPECT_TRUE(world.registry.Opens().empty());
}

// --- the transfer state ----------------------------------------------------------------------

TEST(TransferState, PlainReadsAndWritesDoNotWait) {
    NetWorld world;
    InternetSession session(world.platform, world.deployment);
    for (TransferState v : {TransferState::Running, TransferState::Failed, TransferState::Done,
                            TransferState::Idle}) {
        session.SetState(v, false);
        EXPECT_EQ(session.GetState(), v);
    }
    EXPECT_TRUE(world.system.Sleeps().empty());
}

TEST(TransferState, ForcedWriteOverridesAHoldAtOnce) {
    NetWorld world;
    InternetSession session(world.platform, world.deployment);
    session.SetState(TransferState::Held, false);
    session.SetState(TransferState::Failed, true);
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    EXPECT_TRUE(world.system.Sleeps().empty());
}

TEST(TransferState, UnforcedWriteWaitsWhileHeld) {
    NetWorld world;
    InternetSession session(world.platform, world.deployment);
    session.SetState(TransferState::Held, false);
    // Another thread releases the hold (a forced write of Done) after the third sleep.
    world.system.onSleep = [&](size_t sleeps) {
        if (sleeps == 3) session.SetState(TransferState::Done, true);
    };
    session.SetState(TransferState::Running, false);
    EXPECT_EQ(world.system.Sleeps(), (std::vector<uint32_t>{1000, 1000, 1000}));
    world.system.onSleep = nullptr;
    EXPECT_EQ(session.GetState(), TransferState::Running);
}

TEST(TransferState, ReadWaitsWhileHeldAndNeverReturnsHeld) {
    NetWorld world;
    InternetSession session(world.platform, world.deployment);
    session.SetState(TransferState::Held, false);
    world.system.onSleep = [&](size_t sleeps) {
        if (sleeps == 2) session.SetState(TransferState::Failed, true);
    };
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    EXPECT_EQ(world.system.Sleeps(), (std::vector<uint32_t>{1000, 1000}));
}

}  // namespace
}  // namespace mivetrak
