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
    bool hasEx;
    bool connected;
    bool failExtendedVersion;
    bool failBasicVersion;
    uint32_t platformId;
    uint32_t major;
    bool skipProbes;
    std::vector<std::string> goodProbes;  // "" = the null URL
    int expected;
    std::vector<Op> expectedOps;
    std::vector<std::string> expectedProbes;  // in order; "<null>" for the null URL
};

class CheckConnectionTest : public ::testing::TestWithParam<ConnectionCase> {};

TEST_P(CheckConnectionTest, FollowsTheVersionAndProbeRules) {
    const ConnectionCase& c = GetParam();
    NetWorld world;
    world.internet.hasConnectedStateEx = c.hasEx;
    world.internet.connected = c.connected;
    world.internet.connectionFlags = 0x41;
    if (c.failExtendedVersion) world.internet.versionFailsForRecordSize.insert(156);
    if (c.failBasicVersion) world.internet.versionFailsForRecordSize.insert(148);
    world.internet.osVersion = OsVersion{c.platformId, c.major};
    for (const std::string& url : c.goodProbes) world.internet.probeResults[url] = true;

    uint32_t flags = 0xDEAD;
    {
        InternetSession session(world.platform, world.deployment);
        EXPECT_EQ(session.CheckConnection(&flags, c.skipProbes), c.expected);
    }
    EXPECT_EQ(world.internet.Ops(), c.expectedOps);
    std::vector<std::string> probes;
    for (const auto& call : world.internet.CallsOf(Op::CheckConnectionTo)) {
        probes.push_back(call.nullUrl ? "<null>" : call.text);
    }
    EXPECT_EQ(probes, c.expectedProbes);
    for (const auto& call : world.internet.CallsOf(Op::QueryOsVersion)) {
        EXPECT_TRUE(call.length == 156 || call.length == 148);
    }
    // The flags are written exactly when the test got past the version query.
    const bool flagsWritten =
        c.connected && !(!c.skipProbes && c.failExtendedVersion && c.failBasicVersion);
    EXPECT_EQ(flags, flagsWritten ? 0x41u : 0xDEADu);
}

const std::vector<Op> kExNoProbe{Op::HasConnectedStateEx, Op::ConnectedStateEx, Op::QueryOsVersion};
const std::vector<Op> kNt4Probes3{Op::HasConnectedStateEx, Op::ConnectedStateEx,
                                  Op::QueryOsVersion,      Op::CheckConnectionTo,
                                  Op::CheckConnectionTo,   Op::CheckConnectionTo};

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckConnectionTest,
    ::testing::Values(
        ConnectionCase{"Nt5NoProbe", true, true, false, false, 2, 5, 0, {}, 1, kExNoProbe, {}},
        ConnectionCase{
            "Windows9xNoProbe", true, true, false, false, 1, 4, 0, {}, 1, kExNoProbe, {}},
        ConnectionCase{"NotConnected",
                       true,
                       false,
                       false,
                       false,
                       2,
                       5,
                       0,
                       {},
                       0,
                       {Op::HasConnectedStateEx, Op::ConnectedStateEx},
                       {}},
        ConnectionCase{"OldConnectedState",
                       false,
                       true,
                       false,
                       false,
                       2,
                       6,
                       0,
                       {},
                       1,
                       {Op::HasConnectedStateEx, Op::ConnectedState, Op::QueryOsVersion},
                       {}},
        ConnectionCase{
            "BasicVersionRecord",
            true,
            true,
            true,
            false,
            2,
            6,
            0,
            {},
            1,
            {Op::HasConnectedStateEx, Op::ConnectedStateEx, Op::QueryOsVersion, Op::QueryOsVersion},
            {}},
        ConnectionCase{
            "NoVersionAtAll",
            true,
            true,
            true,
            true,
            2,
            6,
            0,
            {},
            0,
            {Op::HasConnectedStateEx, Op::ConnectedStateEx, Op::QueryOsVersion, Op::QueryOsVersion},
            {}},
        ConnectionCase{"Nt4MakerSiteAnswers",
                       true,
                       true,
                       false,
                       false,
                       2,
                       4,
                       0,
                       {kMakerSiteUrl},
                       1,
                       {Op::HasConnectedStateEx, Op::ConnectedStateEx, Op::QueryOsVersion,
                        Op::CheckConnectionTo},
                       {kMakerSiteUrl}},
        ConnectionCase{"Nt4PortalAnswers",
                       true,
                       true,
                       false,
                       false,
                       2,
                       4,
                       0,
                       {kPortalSiteUrl},
                       1,
                       {Op::HasConnectedStateEx, Op::ConnectedStateEx, Op::QueryOsVersion,
                        Op::CheckConnectionTo, Op::CheckConnectionTo},
                       {kMakerSiteUrl, kPortalSiteUrl}},
        ConnectionCase{"Nt4NullAnswers",
                       true,
                       true,
                       false,
                       false,
                       2,
                       3,
                       0,
                       {""},
                       1,
                       kNt4Probes3,
                       {kMakerSiteUrl, kPortalSiteUrl, "<null>"}},
        ConnectionCase{"Nt4NothingAnswers",
                       true,
                       true,
                       false,
                       false,
                       2,
                       4,
                       0,
                       {},
                       0,
                       kNt4Probes3,
                       {kMakerSiteUrl, kPortalSiteUrl, "<null>"}},
        ConnectionCase{"SkipProbesOnNt4",
                       true,
                       true,
                       false,
                       false,
                       2,
                       4,
                       1,
                       {},
                       1,
                       {Op::HasConnectedStateEx, Op::ConnectedStateEx},
                       {}},
        ConnectionCase{"SkipProbesWithoutVersion",
                       true,
                       true,
                       true,
                       true,
                       2,
                       4,
                       1,
                       {},
                       1,
                       {Op::HasConnectedStateEx, Op::ConnectedStateEx},
                       {}}),
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

// Without a user there, dialling must fail rather than wait on the system's dialog.
TEST(Dial, WithoutANameUsesAutodialAndReturnsItsResult) {
    for (bool result : {true, false}) {
        for (bool userPresent : {true, false}) {
            NetWorld world;
            world.internet.autodialResult = result;
            auto owner = reinterpret_cast<WindowHandle>(0x4242);
            InternetSession session(world.platform, world.deployment);
            session.SetUserPresent(userPresent);
            EXPECT_EQ(session.Dial(owner, nullptr, nullptr), result ? 1 : 0);
            auto calls = world.internet.CallsOf(Op::Autodial);
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].owner, owner);
            EXPECT_EQ(calls[0].unattended, !userPresent);
            EXPECT_EQ(world.internet.CountOf(Op::DialConnection), 0u);
        }
    }
}

TEST(Dial, WithANameDialsThatConnection) {
    struct Case {
        uint32_t error;
        int expected;
    } cases[] = {{0, 1}, {668, 0}, {1, 0}};
    for (const Case& c : cases) {
        NetWorld world;
        world.internet.dialError = c.error;
        uintptr_t id = 0;
        InternetSession session(world.platform, world.deployment);
        session.SetUserPresent(false);
        EXPECT_EQ(session.Dial(nullptr, "Office line", &id), c.expected);
        auto calls = world.internet.CallsOf(Op::DialConnection);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].text, "Office line");
        EXPECT_TRUE(calls[0].unattended);
        EXPECT_EQ(id, c.error == 0 ? world.internet.dialConnectionId : 0u);
        EXPECT_EQ(world.internet.CountOf(Op::Autodial), 0u);
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

TEST_P(AutodialTest, EachValueComesBackExactlyAsItWas) {
    const AutodialCase& c = GetParam();
    NetWorld world;
    if (c.keyExists) world.registry.AddKey(RegistryRoot::CurrentUser, kSettingsKey);
    for (const auto& [name, value] :
         {std::pair{"EnableAutodial", c.enable}, std::pair{"NoNetAutodial", c.noNet}}) {
        if (value) {
            world.registry.SetValue(RegistryRoot::CurrentUser, kSettingsKey, name, value->type,
                                    value->data);
        }
    }
    // The dial turns autodial on, as a dial-up connection's settings may, creating what is
    // missing.
    world.internet.onCall = [&world, &c](const FakeInternet::Call& call) {
        if (call.op != Op::Autodial || !c.keyExists) return;
        world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "EnableAutodial", 1);
        world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "NoNetAutodial", 1);
    };
    {
        InternetSession session(world.platform, world.deployment);
        AutodialSettings settings;
        session.ReadAutodialSettings(settings);
        EXPECT_EQ(settings.mode, c.expectedMode);
        EXPECT_TRUE(session.Dial(nullptr, nullptr, nullptr));
    }
    EXPECT_TRUE(Same(ValueIn(world.registry, "EnableAutodial"), c.enable));
    EXPECT_TRUE(Same(ValueIn(world.registry, "NoNetAutodial"), c.noNet));
    if (!c.keyExists) {
        EXPECT_TRUE(world.registry.Writes().empty());
    }
    // Nothing is ever created: a value that was missing is only ever deleted.
    for (const FakeRegistry::WriteRecord& write : world.registry.Writes()) {
        const MaybeValue& before = write.name == "EnableAutodial" ? c.enable : c.noNet;
        EXPECT_EQ(write.deleted, !before) << write.name;
    }
    for (const auto& open : world.registry.Opens()) {
        EXPECT_TRUE(open.access == kKeyRead || open.access == kKeyReadWrite);
        EXPECT_EQ(open.root, RegistryRoot::CurrentUser);
    }
    EXPECT_EQ(world.registry.OpenKeyCount(), 0);
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
    world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "EnableAutodial", 1);
    {
        InternetSession session(world.platform, world.deployment);
        session.Dial(nullptr, nullptr, nullptr);
    }
    const auto opens = world.registry.Opens();
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].access, kKeyRead);
    EXPECT_EQ(opens[1].access, kKeyReadWrite);
}

TEST(Autodial, RestoreWritesNothingForSettingsThatWereNotRead) {
    NetWorld world;
    world.registry.AddKey(RegistryRoot::CurrentUser, kSettingsKey);
    InternetSession session(world.platform, world.deployment);
    AutodialSettings settings;
    settings.enableAutodial = {true, true, kRegDword, {1, 0, 0, 0}};
    session.RestoreAutodialSettings(settings);
    EXPECT_TRUE(world.registry.Writes().empty());
    EXPECT_TRUE(world.registry.Opens().empty());
}

TEST(Autodial, RestoreWithoutTheKeySucceedsWritingNothing) {
    NetWorld world;
    InternetSession session(world.platform, world.deployment);
    AutodialSettings settings;
    settings.mode = AutodialMode::WithoutNetwork;
    settings.enableAutodial = {true, true, kRegDword, {1, 0, 0, 0}};
    session.RestoreAutodialSettings(settings);
    EXPECT_TRUE(world.registry.Writes().empty());
    EXPECT_TRUE(world.log.Contains("Could not open the Internet settings"));
}

TEST(Autodial, AValueThatCouldNotBeReadIsLeftAlone) {
    NetWorld world;
    world.registry.SetValue(RegistryRoot::CurrentUser, kSettingsKey, "EnableAutodial", kRegBinary,
                            std::vector<uint8_t>(2000, 1));
    world.registry.SetDword(RegistryRoot::CurrentUser, kSettingsKey, "NoNetAutodial", 0);
    {
        InternetSession session(world.platform, world.deployment);
        session.Dial(nullptr, nullptr, nullptr);
    }
    const auto writes = world.registry.Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].name, "NoNetAutodial");
    EXPECT_EQ(ValueIn(world.registry, "EnableAutodial")->data.size(), 2000u);
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
    {
        InternetSession session(world.platform, world.deployment);
        EXPECT_FALSE(session.Dial(nullptr, nullptr, nullptr));
    }
    const auto writes = world.registry.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_FALSE(writes[0].deleted);
    EXPECT_EQ(writes[0].data, (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_TRUE(writes[1].deleted);
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
