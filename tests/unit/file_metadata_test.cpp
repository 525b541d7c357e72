#include "engine/file_metadata.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/fake_code_page.h"
#include "fakes/fake_file_system.h"
#include "support/test_time.h"

namespace mivetrak {
namespace {

bool Called(const FakeFileSystem& fs, const std::string& prefix) {
    const auto calls = fs.Calls();
    return std::any_of(calls.begin(), calls.end(),
                       [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
}

const char kDb[] = "C:\\Db\\Tolvar32.bdb";
const SystemTime kCreated = MakeTime(2002, 3, 4, 5, 6, 7);
const SystemTime kWritten = MakeTime(2003, 4, 5, 6, 7, 8, 9, 6);
const SystemTime kSentinel = MakeTime(1111, 1, 1, 1, 1, 1);

struct TimesCase {
    const char* fileSystemName;
    bool locked;
    TimesRead expected;
    bool bySearch;  // read by directory search, not through a handle
};

class GetLocalFileTimesByVolume : public ::testing::TestWithParam<TimesCase> {};

TEST_P(GetLocalFileTimesByVolume, ReadsByTheVolumesFileSystem) {
    const TimesCase& c = GetParam();
    SingleByteCodePage codePage;
    FakeFileSystem fs;
    fs.AddFile(kDb, "12345", kWritten, kCreated);
    fs.SetVolumeFileSystem("C:\\", c.fileSystemName);
    if (c.locked) fs.SetLocked(kDb);

    SystemTime creation = kSentinel;
    SystemTime lastWrite = kSentinel;
    uint64_t size = 77;
    EXPECT_EQ(GetLocalFileTimes(fs, codePage, kDb, creation, lastWrite, size), c.expected);
    EXPECT_TRUE(Called(fs, "VolumeFileSystemName C:\\"));
    EXPECT_EQ(Called(fs, "FindFile"), c.bySearch);
    EXPECT_EQ(Called(fs, "OpenFile"), !c.bySearch);
    if (c.expected == TimesRead::Read) {
        EXPECT_TRUE(SameMembers(creation, kCreated));
        EXPECT_TRUE(SameMembers(lastWrite, kWritten));
        EXPECT_EQ(size, 5u);
    } else {
        EXPECT_TRUE(SameMembers(creation, kSentinel));
        EXPECT_TRUE(SameMembers(lastWrite, kSentinel));
        EXPECT_EQ(size, 77u);
    }
    EXPECT_EQ(fs.OpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Volumes, GetLocalFileTimesByVolume,
                         ::testing::Values(TimesCase{"FAT", false, TimesRead::Read, true},
                                           TimesCase{"FAT32", false, TimesRead::Read, true},
                                           TimesCase{"fat", false, TimesRead::Read, true},
                                           TimesCase{"FaT12", false, TimesRead::Read, true},
                                           TimesCase{"NTFS", false, TimesRead::Read, false},
                                           TimesCase{"", false, TimesRead::Read, false},
                                           TimesCase{"FA", false, TimesRead::Read, false},
                                           TimesCase{"exFAT", false, TimesRead::Read, false},
                                           TimesCase{"NTFS", true, TimesRead::Failed, false},
                                           TimesCase{"", true, TimesRead::Failed, false},
                                           TimesCase{"FAT32", true, TimesRead::Read, true},
                                           TimesCase{"FAT", true, TimesRead::Read, true}));

struct RootCase {
    const char* path;
    bool doubleByte;
    const char* expectedRoot;  // nullptr: no volume query, read through a handle
};

class GetLocalFileTimesRoot : public ::testing::TestWithParam<RootCase> {};

TEST_P(GetLocalFileTimesRoot, FindsTheRootOrReadsThroughAHandle) {
    const RootCase& c = GetParam();
    SingleByteCodePage singleByte;
    DoubleByteCodePage doubleByte;
    const CodePage& codePage = c.doubleByte ? static_cast<const CodePage&>(doubleByte) : singleByte;
    FakeFileSystem fs;
    fs.AddFile(c.path, "abc", kWritten, kCreated);
    SystemTime creation;
    SystemTime lastWrite;
    uint64_t size = 0;
    EXPECT_EQ(GetLocalFileTimes(fs, codePage, c.path, creation, lastWrite, size), TimesRead::Read);
    EXPECT_EQ(size, 3u);
    EXPECT_TRUE(SameMembers(lastWrite, kWritten));
    if (c.expectedRoot == nullptr) {
        EXPECT_FALSE(Called(fs, "VolumeFileSystemName"));
    } else {
        EXPECT_TRUE(Called(fs, std::string("VolumeFileSystemName ") + c.expectedRoot))
            << "calls: " << fs.Calls().front();
    }
    EXPECT_TRUE(Called(fs, "OpenFile"));  // every one of these volumes answers NTFS or nothing
}

// "\x81\x5C" is one double-byte character whose trail byte is a backslash.
INSTANTIATE_TEST_SUITE_P(
    Roots, GetLocalFileTimesRoot,
    ::testing::Values(RootCase{"C:\\Db\\Tolvar32.bdb", false, "C:\\"},
                      RootCase{"Tolvar32.bdb", false, nullptr},
                      RootCase{"ABCDEFGH\\Tolvar32.bdb", false, "ABCDEFGH\\"},
                      RootCase{"ABCDEFGHI\\Tolvar32.bdb", false, nullptr},
                      RootCase{"\x81\x5C"
                               "AB\\x.bdb",
                               true,
                               "\x81\x5C"
                               "AB\\"},
                      RootCase{"\x81\x5C"
                               "AB\\x.bdb",
                               false, "\x81\\"},
                      RootCase{"\x81\x5C\x81\x5C\x81\x5C\x81\x5C\\x.bdb", true,
                               "\x81\x5C\x81\x5C\x81\x5C\x81\x5C\\"},
                      RootCase{"\x81\x5C\x81\x5C\x81\x5C\x81\x5C\x81\x5C\\x.bdb", true, nullptr},
                      RootCase{"\x81\x5C\x81\x5C\x81\x5C\x81\x5C\x81\x5C\\x.bdb", false,
                               "\x81\\"}));

TEST(GetLocalFileTimes, DoubleByteRootDecidesTheFatBranch) {
    DoubleByteCodePage codePage;
    FakeFileSystem fs;
    const std::string path =
        "\x81\x5C"
        "AB\\x.bdb";
    fs.AddFile(path, "abc", kWritten, kCreated);
    fs.SetVolumeFileSystem(
        "\x81\x5C"
        "AB\\",
        "FAT32");
    fs.SetLocked(path);
    SystemTime creation;
    SystemTime lastWrite;
    uint64_t size = 0;
    EXPECT_EQ(GetLocalFileTimes(fs, codePage, path, creation, lastWrite, size), TimesRead::Read);
    EXPECT_TRUE(Called(fs, "FindFile"));
}

TEST(GetLocalFileTimes, FailingTimeQueryClosesTheHandle) {
    SingleByteCodePage codePage;
    FakeFileSystem fs;
    fs.AddFile(kDb, "12345", kWritten, kCreated);
    fs.FailTimeQuery(kDb);
    SystemTime creation = kSentinel;
    SystemTime lastWrite = kSentinel;
    uint64_t size = 77;
    EXPECT_EQ(GetLocalFileTimes(fs, codePage, kDb, creation, lastWrite, size), TimesRead::Failed);
    EXPECT_EQ(size, 77u);
    EXPECT_TRUE(SameMembers(lastWrite, kSentinel));
    EXPECT_EQ(fs.OpenHandleCount(), 0);
    EXPECT_TRUE(Called(fs, "CloseFile"));
}

// A missing file, and a file whose times the system cannot convert (told apart from it): on
// both branches the outcome says which, and nothing is stored.
TEST(GetLocalFileTimes, FailuresStoreNothingOnEitherBranch) {
    SingleByteCodePage codePage;
    for (const bool missing : {true, false}) {
        for (const char* name : {"FAT32", "NTFS"}) {
            SCOPED_TRACE(std::string(name) + (missing ? " missing" : " not convertible"));
            FakeFileSystem fs;
            fs.AddDirectory("C:\\Db");
            fs.SetVolumeFileSystem("C:\\", name);
            if (!missing) {
                fs.AddFile(kDb, "12345", kWritten, kCreated);
                fs.SetTimesNotConvertible(kDb);
            }
            SystemTime creation = kSentinel;
            SystemTime lastWrite = kSentinel;
            uint64_t size = 77;
            EXPECT_EQ(GetLocalFileTimes(fs, codePage, kDb, creation, lastWrite, size),
                      missing ? TimesRead::Failed : TimesRead::NotConvertible);
            EXPECT_TRUE(SameMembers(creation, kSentinel));
            EXPECT_TRUE(SameMembers(lastWrite, kSentinel));
            EXPECT_EQ(size, 77u);
            EXPECT_EQ(fs.OpenHandleCount(), 0);
        }
    }
}

struct SizeCase {
    const char* name;
    uint64_t reported;    // size the file system reports
    bool sizeQueryFails;  // GetFileSize cannot tell the size
    bool sized;           // GetLocalFileSize's result
    uint32_t size;        // stored by GetLocalFileSize (77 = untouched)
    bool handleRead;      // GetLocalFileTimes through a handle (NTFS) reads the file
};

class LocalFileSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(LocalFileSizes, SizesAsTheCallersSeeThem) {
    const SizeCase& c = GetParam();
    SingleByteCodePage codePage;
    FakeFileSystem fs;
    fs.AddFile(kDb, "", kWritten, kCreated);
    fs.SetReportedSize(kDb, c.reported);
    if (c.sizeQueryFails) fs.FailSizeQuery(kDb);

    uint32_t size = 77;
    EXPECT_EQ(GetLocalFileSize(fs, kDb, size), c.sized);
    EXPECT_EQ(size, c.size);

    for (const char* name : {"NTFS", "FAT32"}) {
        fs.SetVolumeFileSystem("C:\\", name);
        SystemTime creation;
        SystemTime lastWrite;
        uint64_t timesSize = 77;
        // The directory entry tells the size even where the handle's GetFileSize cannot.
        const bool read = std::string(name) == "FAT32" || c.handleRead;
        EXPECT_EQ(GetLocalFileTimes(fs, codePage, kDb, creation, lastWrite, timesSize),
                  read ? TimesRead::Read : TimesRead::Failed)
            << name;
        EXPECT_EQ(timesSize, read ? c.reported : 77u) << name;
    }
    EXPECT_EQ(fs.OpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LocalFileSizes,
    ::testing::Values(SizeCase{"empty", 0, false, true, 0u, true},
                      SizeCase{"small", 12345, false, true, 12345u, true},
                      SizeCase{"largest32", 0xFFFFFFFFull, false, true, 0xFFFFFFFFu, true},
                      SizeCase{"fourGiB", 0x100000000ull, false, false, 77u, true},
                      SizeCase{"fourGiBPlus5", 0x100000005ull, false, false, 77u, true},
                      SizeCase{"unknown", 10, true, false, 77u, false}),
    [](const ::testing::TestParamInfo<SizeCase>& p) { return p.param.name; });

TEST(GetLocalFileSize, MissingOrLockedFile) {
    FakeFileSystem fs;
    fs.AddFile("C:\\w\\locked", "abc");
    fs.SetLocked("C:\\w\\locked");
    uint32_t size = 77;
    EXPECT_FALSE(GetLocalFileSize(fs, "C:\\w\\missing", size));
    EXPECT_FALSE(GetLocalFileSize(fs, "C:\\w\\locked", size));
    EXPECT_FALSE(GetLocalFileSize(fs, "C:\\w", size));  // a folder is no file
    EXPECT_EQ(size, 77u);
}

TEST(SetLocalFileTimes, StampsLastWriteAndCreationWhenGiven) {
    FakeFileSystem fs;
    fs.AddFile(kDb, "x", kWritten, kCreated);
    const SystemTime newWrite = MakeTime(2010, 1, 2, 3, 4, 5);
    const SystemTime newCreation = MakeTime(2009, 1, 2, 3, 4, 5);

    EXPECT_TRUE(SetLocalFileTimes(fs, kDb, nullptr, newWrite));
    EXPECT_TRUE(SameMembers(fs.GetEntry(kDb)->lastWrite, newWrite));
    EXPECT_TRUE(SameMembers(fs.GetEntry(kDb)->creation, kCreated));  // unchanged without one

    EXPECT_TRUE(SetLocalFileTimes(fs, kDb, &newCreation, newWrite));
    EXPECT_TRUE(SameMembers(fs.GetEntry(kDb)->creation, newCreation));
    EXPECT_TRUE(Called(fs, std::string("OpenFile ") + kDb + " read-write"));
    EXPECT_EQ(fs.OpenHandleCount(), 0);
}

TEST(SetLocalFileTimes, FileThatCannotBeOpenedForWriting) {
    FakeFileSystem fs;
    fs.AddFile("C:\\ro", "x", kWritten);
    fs.SetReadOnly("C:\\ro");
    fs.AddFile("C:\\locked", "x", kWritten);
    fs.SetLocked("C:\\locked");
    const SystemTime newWrite = MakeTime(2010, 1, 2, 3, 4, 5);
    for (const char* path : {"C:\\missing", "C:\\ro", "C:\\locked"}) {
        EXPECT_FALSE(SetLocalFileTimes(fs, path, nullptr, newWrite)) << path;
    }
    EXPECT_TRUE(SameMembers(fs.GetEntry("C:\\ro")->lastWrite, kWritten));
    EXPECT_FALSE(fs.Exists("C:\\missing"));
}

struct CompareCase {
    SystemTime a;
    SystemTime b;
    TimeOrder expected;
};

TEST(CompareSystemTimes, ComparesYearToSecondOnly) {
    const CompareCase cases[] = {
        {MakeTime(2001, 1, 1, 0, 0, 0), MakeTime(2000, 12, 31, 23, 59, 59), TimeOrder::Later},
        {MakeTime(2000, 12, 31, 23, 59, 59), MakeTime(2001, 1, 1, 0, 0, 0), TimeOrder::Earlier},
        {MakeTime(2005, 6, 7, 8, 9, 10, 0, 1), MakeTime(2005, 6, 7, 8, 9, 10, 999, 5),
         TimeOrder::Same},
        {MakeTime(2005, 6, 7, 8, 9, 10, 999), MakeTime(2005, 6, 7, 8, 9, 10, 0), TimeOrder::Same},
        {MakeTime(2005, 6, 7, 8, 9, 10), MakeTime(2005, 6, 7, 8, 9, 11), TimeOrder::Earlier},
        {MakeTime(2005, 6, 7, 8, 10, 0), MakeTime(2005, 6, 7, 8, 9, 59), TimeOrder::Later},
        {MakeTime(2005, 6, 7, 9, 0, 0), MakeTime(2005, 6, 7, 8, 59, 59), TimeOrder::Later},
        {MakeTime(2005, 6, 8, 0, 0, 0), MakeTime(2005, 6, 7, 23, 59, 59), TimeOrder::Later},
        {MakeTime(2005, 5, 31, 0, 0, 0), MakeTime(2005, 6, 1, 0, 0, 0), TimeOrder::Earlier},
        {MakeTime(65535, 1, 1, 0, 0, 0), MakeTime(1, 1, 1, 0, 0, 0),
         TimeOrder::Later},  // unsigned members
        {SystemTime{}, SystemTime{}, TimeOrder::Same},
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(CompareSystemTimes(c.a, c.b), c.expected)
            << c.a.wYear << "-" << c.a.wMonth << "-" << c.a.wDay << " vs " << c.b.wYear << "-"
            << c.b.wMonth << "-" << c.b.wDay;
    }
}

}  // namespace
}  // namespace mivetrak
