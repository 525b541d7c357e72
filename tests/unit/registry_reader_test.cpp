#include "app/registry_reader.h"

#include <gtest/gtest.h>

#include "fakes/fake_registry.h"

namespace mivetrak {
namespace {

const char kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tellyra.exe";
constexpr uint32_t kRegBinary = 3;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

struct ReadCase {
    const char* name;
    uint32_t type;
    std::vector<uint8_t> data;
    int expected;
    std::string text;  // when read
};

TEST(RegistryReader, ReadsValuesThatFitTheBuffer) {
    const std::string text259(259, 'a');
    const std::string text260(260, 'b');
    const ReadCase cases[] = {
        {"plain", kRegSz, Bytes(std::string("C:\\App\\Tellyra.exe") + '\0'), 1,
         "C:\\App\\Tellyra.exe"},
        {"259 and terminator", kRegSz, Bytes(text259 + '\0'), 1, text259},
        {"260 and terminator", kRegSz, Bytes(text260 + '\0'), 0, ""},
        {"259 without terminator", kRegBinary, Bytes(text259), 1, text259},
        {"260 without terminator", kRegBinary, Bytes(text260), 0, ""},
        {"up to the first zero", kRegSz, Bytes(std::string("abc\0def\0", 8)), 1, "abc"},
        {"type not looked at", kRegDword, {0x41, 0x42, 0x00, 0x00}, 1, "AB"},
        {"empty text", kRegSz, {0x00}, 1, ""},
        {"no data at all", kRegSz, {}, 1, ""},
    };
    for (const ReadCase& c : cases) {
        FakeRegistry registry;
        registry.SetValue(RegistryRoot::LocalMachine, kKey, "", c.type, c.data);
        RegistryReader reader(registry);
        std::string text = "untouched";
        EXPECT_EQ(reader.ReadString(kKey, "", text), c.expected) << c.name;
        EXPECT_EQ(text, c.expected == 1 ? c.text : std::string("untouched")) << c.name;
        EXPECT_EQ(registry.OpenKeyCount(), 0) << c.name;
        ASSERT_EQ(registry.Opens().size(), 1u);
        EXPECT_EQ(registry.Opens()[0].root, RegistryRoot::LocalMachine);
        EXPECT_EQ(registry.Opens()[0].access, kKeyQueryValue);
    }
}

TEST(RegistryReader, MissingKeyValueOrRefusedOpen) {
    FakeRegistry registry;
    registry.SetString(RegistryRoot::LocalMachine, "Software\\Present", "Name", "v");
    registry.SetString(RegistryRoot::CurrentUser, kKey, "", "C:\\User\\Tellyra.exe");
    registry.SetString(RegistryRoot::LocalMachine, "Software\\Refused", "", "v");
    registry.FailOpen(RegistryRoot::LocalMachine, "Software\\Refused");
    RegistryReader reader(registry);
    const struct {
        const char* subKey;
        const char* valueName;
    } cases[] = {
        {kKey, ""},  // only under HKEY_CURRENT_USER, which the reader does not look at
        {"Software\\Present", ""},
        {"Software\\Present", "Other"},
        {"Software\\Refused", ""},
    };
    for (const auto& c : cases) {
        std::string text = "untouched";
        EXPECT_FALSE(reader.ReadString(c.subKey, c.valueName, text)) << c.subKey;
        EXPECT_EQ(text, "untouched");
    }
    std::string text;
    EXPECT_TRUE(reader.ReadString("software\\present", "NAME", text));
    EXPECT_EQ(text, "v");
    EXPECT_EQ(registry.OpenKeyCount(), 0);
}

}  // namespace
}  // namespace mivetrak
