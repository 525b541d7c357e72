// The active code page's lead bytes under Wine, and delimiter searches and file names that hold
// double-byte characters whose trail byte is 0x5C (a backslash in single-byte text). Built twice:
// in the default code page and in code page 932 (LANG=ja_JP.UTF-8, MIVETRAK_EXPECT_ACP=932).
#include <gtest/gtest.h>

#include <string>

#include "engine/file_metadata.h"
#include "platform/win32/win32_platform.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

// "表" in code page 932: lead byte 0x95, trail byte 0x5C.
const std::string kTableChar = "\x95\x5c";

TEST(Win32CodePageTest, RunsInTheExpectedCodePage) {
    const std::string expected = test::EnvironmentValue("MIVETRAK_EXPECT_ACP");
    if (expected.empty()) {
        EXPECT_GT(GetACP(), 0u);
    } else {
        EXPECT_EQ(std::to_string(GetACP()), expected);
    }
}

TEST(Win32CodePageTest, LeadBytesFollowTheCodePagesTable) {
    const auto codePage = CreateWin32CodePage();
    CPINFO info;
    ASSERT_TRUE(GetCPInfo(GetACP(), &info));
    // The code page's own lead-byte ranges, independent of IsDBCSLeadByte.
    bool lead[256] = {};
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) lead[b] = true;
    }
    int leadCount = 0;
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(codePage->IsLeadByte(static_cast<unsigned char>(b)), lead[b]) << b;
        leadCount += lead[b] ? 1 : 0;
    }
    for (const unsigned char ascii : {'\\', '/', 'A', '\0'}) {
        EXPECT_FALSE(codePage->IsLeadByte(ascii));
    }
    if (GetACP() == 932) {
        EXPECT_TRUE(codePage->IsLeadByte(0x81));
        EXPECT_TRUE(codePage->IsLeadByte(0x95));
        EXPECT_GT(leadCount, 50);
    } else if (GetACP() == 1252) {
        EXPECT_EQ(leadCount, 0);
    }
}

TEST(Win32CodePageTest, DelimiterSearchesStepOverTrailBytes) {
    const auto codePage = CreateWin32CodePage();
    const std::string path = "C:\\" + kTableChar + "\\Tolvar32.bdb";
    const bool dbcs = codePage->IsLeadByte(0x95);
    EXPECT_EQ(FindCharMb(*codePage, path, '\\'), 2u);
    // In code page 932 the 0x5C at 4 is the second half of a character; the separator is at 5.
    EXPECT_EQ(FindLastCharMb(*codePage, path, '\\'), 5u);
    EXPECT_EQ(FindCharMb(*codePage, path, '\\', 3), dbcs ? 5u : 4u);
    EXPECT_EQ(FindCharMb(*codePage, kTableChar, '\\'), dbcs ? std::string::npos : 1u);
    const std::string endsInTrail = "C:\\dir" + kTableChar;
    EXPECT_EQ(FindLastCharMb(*codePage, endsInTrail, '\\'), dbcs ? 2u : 7u);
}

TEST(Win32CodePageTest, TextFromUtf8IsTakenOnlyWhenTheCodePageSpellsItExactly) {
    const auto codePage = CreateWin32CodePage();
    const UINT acp = GetACP();
    struct Row {
        const char* utf8;
        bool in1252;
        bool in932;
        const char* ansi1252;
    };
    const Row rows[] = {
        {"C:\\Install", true, true, "C:\\Install"},
        {"C:\\Caf\xC3\xA9", true, false, "C:\\Caf\xE9"},
        // Fullwidth I, Greek Omega: best fit would give "I" and "O" in code page 1252.
        {"C:\\\xEF\xBC\xA9nstall", false, true, nullptr},
        {"C:\\\xCE\xA9mega", false, true, nullptr},
        {"C:\\\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", false, true, nullptr},
        {"C:\\\xFF", false, false, nullptr},  // not UTF-8
    };
    if (acp != 1252 && acp != 932) GTEST_SKIP() << "code page " << acp;
    for (const Row& row : rows) {
        std::string ansi = "left over";
        const bool expected = acp == 1252 ? row.in1252 : row.in932;
        EXPECT_EQ(codePage->FromUtf8Exactly(row.utf8, ansi), expected) << row.utf8;
        const std::string wanted = !expected ? "" : acp == 1252 ? row.ansi1252 : ansi;
        EXPECT_EQ(ansi, wanted) << row.utf8;
    }
}

TEST(Win32CodePageTest, FilesInAFolderWhoseNameEndsInATrailByte) {
    // Only the run in code page 932 selects this test (the other filters it out).
    const auto codePage = CreateWin32CodePage();
    ASSERT_TRUE(codePage->IsLeadByte(0x95)) << "code page " << GetACP();
    const auto files = CreateWin32FileSystem();
    // On drive C:, which Wine reports as NTFS, so the times are read through a handle.
    const std::string folder = "C:\\mivetrak-" + kTableChar;
    SystemError error;
    ASSERT_TRUE(files->MakeDirectory(folder, error));
    uint32_t attributes = 0;
    ASSERT_TRUE(files->FileAttributes(folder, attributes, error));
    EXPECT_NE(attributes & kFileAttributeDirectory, 0u);
    const std::string path = folder + "\\Tolvar32.bdb";
    ASSERT_TRUE(test::WriteWholeFile(path, "database"));
    const SystemTime stamp = MakeTime(2019, 5, 6, 7, 8, 9);
    EXPECT_TRUE(SetLocalFileTimes(*files, path, nullptr, stamp));
    SystemTime creation;
    SystemTime lastWrite;
    uint64_t size = 0;
    ASSERT_EQ(GetLocalFileTimes(*files, *codePage, path, creation, lastWrite, size),
              TimesRead::Read);
    EXPECT_EQ(CompareSystemTimes(lastWrite, stamp), TimeOrder::Same);
    EXPECT_EQ(size, 8u);
    EXPECT_TRUE(files->RemoveFile(path, error));
    EXPECT_TRUE(files->RemoveEmptyDirectory(folder, error));
}

}  // namespace
}  // namespace mivetrak
