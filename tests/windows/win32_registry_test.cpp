// The Win32 registry and the registry reader against real keys under Wine: values at and past
// the 260-byte limit, with and without their terminating zero, values of any type written and
// deleted, missing keys and values, and both registry views.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/registry_reader.h"
#include "platform/win32/win32_platform.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

constexpr char kAppPathsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tellyra.exe";

// A key made for one test under the given root and deleted with everything in it afterwards.
class TestKey {
public:
    TestKey(HKEY root, const std::string& subKey) : root_(root), subKey_(subKey) {
        DWORD disposition = 0;
        if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                            &disposition) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~TestKey() {
        if (key_ != nullptr) RegCloseKey(key_);
        RegDeleteTreeA(root_, subKey_.c_str());
        RegDeleteKeyA(root_, subKey_.c_str());
    }
    TestKey(const TestKey&) = delete;
    TestKey& operator=(const TestKey&) = delete;

    bool Valid() const { return key_ != nullptr; }
    const std::string& SubKey() const { return subKey_; }

    bool SetText(const char* name, const std::string& text, bool withTerminator) {
        const DWORD size = static_cast<DWORD>(text.size() + (withTerminator ? 1 : 0));
        return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              size) == ERROR_SUCCESS;
    }
    bool SetRaw(const char* name, DWORD type, const std::vector<uint8_t>& data) {
        return RegSetValueExA(key_, name, 0, type, data.data(), static_cast<DWORD>(data.size())) ==
               ERROR_SUCCESS;
    }

private:
    HKEY root_;
    std::string subKey_;
    HKEY key_ = nullptr;
};

std::string UniqueSubKey(const char* hint) {
    return std::string("Software\\Orvanta Tests\\") + hint + "-" +
           std::to_string(GetCurrentProcessId());
}

std::vector<uint8_t> Bytes(const std::string& text, bool withTerminator) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    if (withTerminator) bytes.push_back(0);
    return bytes;
}

struct TextCase {
    const char* name;
    size_t length;
    bool withTerminator;
    bool fits;  // within 260 bytes together with a terminating zero
};

const TextCase kTextCases[] = {
    {"Empty", 0, true, true},
    {"Short", 12, true, true},
    {"Chars258", 258, true, true},
    {"Chars259", 259, true, true},
    {"Chars260", 260, true, false},
    {"Chars400", 400, true, false},
    {"Chars258NoZero", 258, false, true},
    {"Chars259NoZero", 259, false, true},
    {"Chars260NoZero", 260, false, false},
};

class Win32RegistryTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(Win32RegistryTextTest, RawKeyReadsWhatFitsWithItsTerminator) {
    const TextCase& c = GetParam();
    TestKey key(HKEY_CURRENT_USER, UniqueSubKey(c.name));
    ASSERT_TRUE(key.Valid());
    const std::string text(c.length, 'v');
    ASSERT_TRUE(key.SetText("Value", text, c.withTerminator));

    const auto registry = CreateWin32Registry();
    SystemError error;
    auto opened = registry->OpenKey(RegistryRoot::CurrentUser, key.SubKey(), kKeyQueryValue, error);
    ASSERT_TRUE(opened);
    std::vector<uint8_t> data = {42};
    uint32_t type = 99;
    ASSERT_EQ(opened->QueryValue("Value", kMaxPath, data, type, error), c.fits);
    // A text that does not fit with its terminator reads as the system's "more data".
    EXPECT_EQ(error.code, c.fits ? 0u : kErrorMoreData);
    if (c.fits) {
        EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
        // The text comes back with a terminating zero: the one stored, or (for a text stored
        // without one) the one that the system's conversion to the ANSI code page adds.
        EXPECT_EQ(data, Bytes(text, true));
    } else {
        EXPECT_EQ(data, std::vector<uint8_t>{42});
        EXPECT_EQ(type, 99u);
    }
}

TEST_P(Win32RegistryTextTest, RegistryReaderReadsWhatFitsUnderLocalMachine) {
    const TextCase& c = GetParam();
    TestKey key(HKEY_LOCAL_MACHINE, UniqueSubKey(c.name));
    ASSERT_TRUE(key.Valid());
    const std::string text(c.length, 'w');
    ASSERT_TRUE(key.SetText("", text, c.withTerminator));  // the default value

    const auto registry = CreateWin32Registry();
    SystemError error;
    RegistryReader reader(*registry);
    std::string read = "untouched";
    EXPECT_EQ(reader.ReadString(key.SubKey(), "", read), c.fits ? 1 : 0);
    EXPECT_EQ(read, c.fits ? text : std::string("untouched"));
}

INSTANTIATE_TEST_SUITE_P(Lengths, Win32RegistryTextTest, ::testing::ValuesIn(kTextCases),
                         [](const ::testing::TestParamInfo<TextCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(Win32RegistryTest, MissingKeysAndValues) {
    const auto registry = CreateWin32Registry();
    SystemError error;
    EXPECT_EQ(registry->OpenKey(RegistryRoot::LocalMachine, UniqueSubKey("missing"), kKeyQueryValue,
                                error),
              nullptr);
    EXPECT_EQ(error.code, kErrorFileNotFound);
    TestKey key(HKEY_CURRENT_USER, UniqueSubKey("empty"));
    ASSERT_TRUE(key.Valid());
    auto opened = registry->OpenKey(RegistryRoot::CurrentUser, key.SubKey(), kKeyRead, error);
    ASSERT_TRUE(opened);
    EXPECT_EQ(error.code, 0u);
    std::vector<uint8_t> data;
    uint32_t type = 0;
    EXPECT_FALSE(opened->QueryValue("Nothing", kMaxPath, data, type, error));
    EXPECT_EQ(error.code, kErrorFileNotFound);
    EXPECT_FALSE(opened->QueryValue("", kMaxPath, data, type, error));  // no default value either
    EXPECT_EQ(error.code, kErrorFileNotFound);

    RegistryReader reader(*registry);
    std::string text = "untouched";
    EXPECT_FALSE(reader.ReadString(UniqueSubKey("missing"), "", text));
    EXPECT_EQ(text, "untouched");
}

TEST(Win32RegistryTest, ReaderFindsTheSiblingApplicationsPath) {
    TestKey key(HKEY_LOCAL_MACHINE, kAppPathsKey);
    ASSERT_TRUE(key.Valid());
    const std::string path = "C:\\Program Files\\Orvanta\\Tellyra\\Tellyra.exe";
    ASSERT_TRUE(key.SetText("", path, true));
    ASSERT_TRUE(key.SetText("Path", "C:\\Elsewhere", true));
    const auto registry = CreateWin32Registry();
    SystemError error;
    RegistryReader reader(*registry);
    std::string text;
    ASSERT_TRUE(reader.ReadString(kAppPathsKey, "", text));
    EXPECT_EQ(text, path);
    ASSERT_TRUE(reader.ReadString(kAppPathsKey, "Path", text));
    EXPECT_EQ(text, "C:\\Elsewhere");
}

TEST(Win32RegistryTest, ReaderReadsTheViewItIsGiven) {
    // Each view names its own Program Files folder: the 32-bit one "Program Files (x86)".
    const auto registry = CreateWin32Registry();
    const char* const key = "Software\\Microsoft\\Windows\\CurrentVersion";
    std::string native;
    std::string x86;
    std::string own;
    ASSERT_EQ(RegistryReader(*registry, kKey64BitView).ReadString(key, "ProgramFilesDir", native),
              1);
    ASSERT_EQ(RegistryReader(*registry, kKey32BitView).ReadString(key, "ProgramFilesDir", x86), 1);
    ASSERT_EQ(RegistryReader(*registry).ReadString(key, "ProgramFilesDir", own), 1);
    EXPECT_EQ(native, test::EnvironmentValue("ProgramW6432"));
    EXPECT_EQ(x86, test::EnvironmentValue("ProgramFiles(x86)"));
    EXPECT_NE(native, x86);
    EXPECT_EQ(own, x86);  // a 32-bit process's own view
}

TEST(Win32RegistryTest, ReaderStopsAtTheFirstZeroWhateverTheType) {
    TestKey key(HKEY_LOCAL_MACHINE, UniqueSubKey("types"));
    ASSERT_TRUE(key.Valid());
    ASSERT_TRUE(key.SetRaw("Binary", REG_BINARY, {'a', 'b', 0, 'c'}));
    ASSERT_TRUE(key.SetRaw("Dword", REG_DWORD, {'x', 0, 0, 0}));
    const auto registry = CreateWin32Registry();
    SystemError error;
    RegistryReader reader(*registry);
    std::string text;
    ASSERT_TRUE(reader.ReadString(key.SubKey(), "Binary", text));
    EXPECT_EQ(text, "ab");
    ASSERT_TRUE(reader.ReadString(key.SubKey(), "Dword", text));
    EXPECT_EQ(text, "x");
}

TEST(Win32RegistryTest, ValuesAreWrittenAsTheyAreAndDeleted) {
    TestKey key(HKEY_CURRENT_USER, UniqueSubKey("raw"));
    ASSERT_TRUE(key.Valid());
    const auto registry = CreateWin32Registry();
    SystemError error;
    auto opened = registry->OpenKey(RegistryRoot::CurrentUser, key.SubKey(), kKeyReadWrite, error);
    ASSERT_TRUE(opened);
    struct Raw {
        uint32_t type;
        std::vector<uint8_t> data;
    };
    const Raw values[] = {{REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
                          {REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
                          {REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}},
                          {REG_SZ, {'o', 'n', 0}},
                          {REG_BINARY, {}}};
    for (const Raw& value : values) {
        ASSERT_TRUE(opened->SetValue("Number", value.type, value.data, error));
        EXPECT_EQ(error.code, 0u);
        std::vector<uint8_t> data;
        uint32_t type = 0;
        ASSERT_TRUE(opened->QueryValue("Number", kMaxPath, data, type, error));
        EXPECT_EQ(type, value.type);
        EXPECT_EQ(data, value.data);
    }
    ASSERT_TRUE(opened->DeleteValue("Number", error));
    std::vector<uint8_t> data;
    uint32_t type = 0;
    EXPECT_FALSE(opened->QueryValue("Number", kMaxPath, data, type, error));
    EXPECT_EQ(error.code, kErrorFileNotFound);
    EXPECT_FALSE(opened->DeleteValue("Number", error));
    EXPECT_EQ(error.code, kErrorFileNotFound);
    // A key opened for reading only can be neither written nor have a value deleted.
    ASSERT_TRUE(opened->SetValue("Kept", REG_DWORD, {1, 0, 0, 0}, error));
    auto readOnly = registry->OpenKey(RegistryRoot::CurrentUser, key.SubKey(), kKeyRead, error);
    ASSERT_TRUE(readOnly);
    EXPECT_FALSE(readOnly->SetValue("Number", REG_DWORD, {5, 0, 0, 0}, error));
    EXPECT_EQ(error.code, kErrorAccessDenied);
    EXPECT_FALSE(readOnly->DeleteValue("Kept", error));
    EXPECT_EQ(error.code, kErrorAccessDenied);
    // A value larger than the buffer is refused.
    ASSERT_TRUE(key.SetRaw("Eight", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_FALSE(opened->QueryValue("Eight", 4, data, type, error));
    EXPECT_EQ(error.code, kErrorMoreData);
}

}  // namespace
}  // namespace mivetrak
