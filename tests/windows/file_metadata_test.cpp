// Local file size and times on real files under Wine, through the Win32 platform: drive C: is
// reported as NTFS, so times are read through a handle, and a file that another process holds
// without read sharing cannot be read at all.
#include "engine/file_metadata.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/win32_platform.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

using test::HeldFile;
using test::WriteWholeFile;

class FileMetadataTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string volume;
        ASSERT_TRUE(files_->VolumeFileSystemName("C:\\", volume));
        ASSERT_EQ(volume, "NTFS");
        folder_ = "C:\\mivetrak-metadata-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(counter_++) + "\\";
        ASSERT_TRUE(files_->MakeDirectory(folder_, error_));
    }
    std::string PathOf(const std::string& name) const { return folder_ + name; }

    static int counter_;
    std::unique_ptr<FileSystem> files_ = CreateWin32FileSystem();
    SystemError error_;
    std::unique_ptr<CodePage> codePage_ = CreateWin32CodePage();
    std::string folder_;
};

int FileMetadataTest::counter_ = 0;

TEST_F(FileMetadataTest, SizeOfRealFiles) {
    struct Case {
        size_t length;
    };
    for (const Case c : {Case{0}, Case{1}, Case{259}, Case{65536}, Case{100003}}) {
        const std::string path = PathOf("size.bin");
        ASSERT_TRUE(WriteWholeFile(path, std::string(c.length, 's')));
        uint32_t size = 12345;
        EXPECT_TRUE(GetLocalFileSize(*files_, path, size));
        EXPECT_EQ(size, c.length);
        uint64_t timesSize = 12345;
        SystemTime creation;
        SystemTime lastWrite;
        EXPECT_EQ(GetLocalFileTimes(*files_, *codePage_, path, creation, lastWrite, timesSize),
                  TimesRead::Read);
        EXPECT_EQ(timesSize, c.length);
    }
}

TEST_F(FileMetadataTest, MissingFilesFailAndStoreNothing) {
    const std::string path = PathOf("Tolvar32.bdb");
    uint32_t size = 77;
    EXPECT_FALSE(GetLocalFileSize(*files_, path, size));
    EXPECT_EQ(size, 77u);
    SystemTime creation = MakeTime(1990, 1, 1, 0, 0, 0);
    SystemTime lastWrite = MakeTime(1991, 1, 1, 0, 0, 0);
    uint64_t timesSize = 77;
    EXPECT_EQ(GetLocalFileTimes(*files_, *codePage_, path, creation, lastWrite, timesSize),
              TimesRead::Failed);
    EXPECT_EQ(timesSize, 77u);
    EXPECT_EQ(CompareSystemTimes(creation, MakeTime(1990, 1, 1, 0, 0, 0)), TimeOrder::Same);
    EXPECT_EQ(CompareSystemTimes(lastWrite, MakeTime(1991, 1, 1, 0, 0, 0)), TimeOrder::Same);
    EXPECT_EQ(size, 77u);
    EXPECT_FALSE(SetLocalFileTimes(*files_, path, nullptr, lastWrite));
    EXPECT_FALSE(SetLocalFileTimes(*files_, path, &creation, lastWrite));
}

TEST_F(FileMetadataTest, TimesRoundTrip) {
    const std::string path = PathOf("Tolvar32.bdb");
    ASSERT_TRUE(WriteWholeFile(path, "database"));
    const SystemTime stamps[] = {
        MakeTime(2022, 3, 9, 14, 25, 36), MakeTime(1999, 12, 31, 23, 59, 59),
        MakeTime(2038, 1, 19, 3, 14, 8), MakeTime(2001, 1, 1, 0, 0, 0, 999)};
    for (const SystemTime& stamp : stamps) {
        ASSERT_TRUE(SetLocalFileTimes(*files_, path, nullptr, stamp));
        SystemTime creation;
        SystemTime lastWrite;
        uint64_t size = 0;
        ASSERT_EQ(GetLocalFileTimes(*files_, *codePage_, path, creation, lastWrite, size),
                  TimesRead::Read);
        EXPECT_EQ(CompareSystemTimes(lastWrite, stamp), TimeOrder::Same) << stamp.wYear;
        EXPECT_EQ(lastWrite.wMilliseconds, stamp.wMilliseconds);
        EXPECT_EQ(size, 8u);
        // The creation time read is the one the system reports for the file.
        SystemTime systemCreation;
        SystemTime systemLastWrite;
        ASSERT_TRUE(test::RawFileTimes(path, systemCreation, systemLastWrite));
        EXPECT_EQ(CompareSystemTimes(creation, systemCreation), TimeOrder::Same);
    }
    // With a creation time too, the last-write time is stamped all the same.
    const SystemTime creation = MakeTime(2000, 6, 15, 12, 0, 0);
    const SystemTime lastWrite = MakeTime(2021, 6, 15, 12, 0, 0);
    ASSERT_TRUE(SetLocalFileTimes(*files_, path, &creation, lastWrite));
    SystemTime readCreation;
    SystemTime readLastWrite;
    uint64_t size = 0;
    ASSERT_EQ(GetLocalFileTimes(*files_, *codePage_, path, readCreation, readLastWrite, size),
              TimesRead::Read);
    EXPECT_EQ(CompareSystemTimes(readLastWrite, lastWrite), TimeOrder::Same);
}

TEST_F(FileMetadataTest, ServerTimeComparedWithTheInstalledCopy) {
    const std::string path = PathOf("Tolvar32.bdb");
    ASSERT_TRUE(WriteWholeFile(path, "database"));
    const SystemTime installed = MakeTime(2020, 5, 5, 10, 0, 0);
    ASSERT_TRUE(SetLocalFileTimes(*files_, path, nullptr, installed));
    SystemTime creation;
    SystemTime lastWrite;
    uint64_t size = 0;
    ASSERT_EQ(GetLocalFileTimes(*files_, *codePage_, path, creation, lastWrite, size),
              TimesRead::Read);
    struct Case {
        SystemTime server;
        TimeOrder expected;
    };
    const Case cases[] = {
        {MakeTime(2020, 5, 5, 10, 0, 1), TimeOrder::Later},
        {MakeTime(2020, 5, 5, 10, 0, 0, 500), TimeOrder::Same},  // milliseconds do not count
        {MakeTime(2020, 5, 5, 9, 59, 59), TimeOrder::Earlier},
        {MakeTime(2021, 1, 1, 0, 0, 0), TimeOrder::Later},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareSystemTimes(c.server, lastWrite), c.expected);
    }
}

TEST_F(FileMetadataTest, AFileHeldByAnotherProcessCannotBeRead) {
    const std::string path = PathOf("Tolvar32.bdb");
    ASSERT_TRUE(WriteWholeFile(path, "database"));
    const SystemTime stamp = MakeTime(2018, 8, 8, 8, 8, 8);
    ASSERT_TRUE(SetLocalFileTimes(*files_, path, nullptr, stamp));
    {
        HeldFile held(path);
        ASSERT_TRUE(held.IsHeld());
        SystemTime creation = MakeTime(1990, 1, 1, 0, 0, 0);
        SystemTime lastWrite = MakeTime(1990, 1, 1, 0, 0, 0);
        uint64_t size = 99;
        EXPECT_EQ(GetLocalFileTimes(*files_, *codePage_, path, creation, lastWrite, size),
                  TimesRead::Failed);
        EXPECT_EQ(size, 99u);
        EXPECT_EQ(CompareSystemTimes(lastWrite, MakeTime(1990, 1, 1, 0, 0, 0)), TimeOrder::Same);
        uint32_t fileSize = 99;
        EXPECT_FALSE(GetLocalFileSize(*files_, path, fileSize));
        EXPECT_FALSE(SetLocalFileTimes(*files_, path, nullptr, MakeTime(2030, 1, 1, 0, 0, 0)));
        EXPECT_EQ(held.Release(), 0);
    }
    // Released: readable again, and the refused stamp was not applied.
    SystemTime creation;
    SystemTime lastWrite;
    uint64_t size = 0;
    ASSERT_EQ(GetLocalFileTimes(*files_, *codePage_, path, creation, lastWrite, size),
              TimesRead::Read);
    EXPECT_EQ(CompareSystemTimes(lastWrite, stamp), TimeOrder::Same);
}

TEST_F(FileMetadataTest, AFileOpenForWritingByThisProcessCannotBeReadEither) {
    const std::string path = PathOf("Tolvar32.bdb");
    ASSERT_TRUE(WriteWholeFile(path, "database"));
    auto writer = files_->OpenFile(path, FileOpenMode::CreateReadWriteShareReadDelete, error_);
    ASSERT_TRUE(writer);
    SystemTime creation;
    SystemTime lastWrite;
    uint64_t size = 0;
    EXPECT_EQ(GetLocalFileTimes(*files_, *codePage_, path, creation, lastWrite, size),
              TimesRead::Failed);
    writer.reset();
    EXPECT_EQ(GetLocalFileTimes(*files_, *codePage_, path, creation, lastWrite, size),
              TimesRead::Read);
}

TEST_F(FileMetadataTest, PathsWithoutAVolumeRootAreReadThroughAHandle) {
    // A relative path (no backslash) and a path whose first backslash lies beyond the ninth
    // character: neither fits the root buffer, both are still read.
    ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
    ASSERT_TRUE(WriteWholeFile(PathOf("relative.bdb"), "rel"));
    ASSERT_TRUE(files_->MakeDirectory(PathOf("a-long-folder-name"), error_));
    ASSERT_TRUE(WriteWholeFile(PathOf("a-long-folder-name\\deep.bdb"), "deep!"));
    SystemTime creation;
    SystemTime lastWrite;
    uint64_t size = 0;
    EXPECT_EQ(GetLocalFileTimes(*files_, *codePage_, "relative.bdb", creation, lastWrite, size),
              TimesRead::Read);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(GetLocalFileTimes(*files_, *codePage_, "a-long-folder-name\\deep.bdb", creation,
                                lastWrite, size),
              TimesRead::Read);
    EXPECT_EQ(size, 5u);
    SetCurrentDirectoryA("C:\\");
}

}  // namespace
}  // namespace mivetrak
