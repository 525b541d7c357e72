// The Win32 file system against real files under Wine: open modes, times, sizes, share modes,
// attributes, folders, copy and rename, reading, and the temporary folder, and the error number
// that every failure leaves (0 after a success).
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "platform/win32/win32_platform.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

using test::HeldFile;
using test::NewScratchFolder;
using test::ReadWholeFile;
using test::WriteWholeFile;

class Win32FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = NewScratchFolder("files");
        ASSERT_FALSE(folder_.empty());
    }
    std::string PathOf(const std::string& name) const { return folder_ + name; }

    std::unique_ptr<FileSystem> files_ = CreateWin32FileSystem();
    std::string folder_;
    SystemError error_;
};

struct OpenCase {
    const char* name;
    FileOpenMode mode;
    bool fileExists;
    bool opens;
    bool canWrite;
    uint32_t error;
};

class Win32OpenModeTest : public Win32FilesTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(Win32OpenModeTest, OpensAsTheModeSays) {
    const OpenCase& c = GetParam();
    const std::string path = PathOf("open.bin");
    if (c.fileExists) {
        ASSERT_TRUE(WriteWholeFile(path, "old content"));
    }
    error_.code = 77;
    std::unique_ptr<File> file = files_->OpenFile(path, c.mode, error_);
    ASSERT_EQ(file != nullptr, c.opens);
    EXPECT_EQ(error_.code, c.error);
    if (!file) return;
    EXPECT_EQ(file->Write("new", 3, error_), c.canWrite);
    if (c.canWrite) {
        EXPECT_TRUE(file->Flush());
    }
    file.reset();
    std::string content;
    ASSERT_TRUE(ReadWholeFile(path, content));
    if (c.mode == FileOpenMode::CreateReadWriteShareReadDelete) {
        EXPECT_EQ(content, "new");  // CREATE_ALWAYS truncates
    } else if (c.mode == FileOpenMode::AppendShareRead) {
        EXPECT_EQ(content, c.fileExists ? "old contentnew" : "new");
    } else if (c.canWrite) {
        EXPECT_EQ(content, "new content");
    } else {
        EXPECT_EQ(content, "old content");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Win32OpenModeTest,
    ::testing::Values(
        OpenCase{"ReadExisting", FileOpenMode::ReadShareRead, true, true, false, 0},
        OpenCase{"ReadMissing", FileOpenMode::ReadShareRead, false, false, false,
                 kErrorFileNotFound},
        OpenCase{"ReadWriteExisting", FileOpenMode::ReadWriteShareRead, true, true, true, 0},
        OpenCase{"ReadWriteMissing", FileOpenMode::ReadWriteShareRead, false, false, false,
                 kErrorFileNotFound},
        OpenCase{"CreateExisting", FileOpenMode::CreateReadWriteShareReadDelete, true, true, true,
                 0},
        OpenCase{"CreateMissing", FileOpenMode::CreateReadWriteShareReadDelete, false, true, true,
                 0},
        OpenCase{"AppendExisting", FileOpenMode::AppendShareRead, true, true, true, 0},
        OpenCase{"AppendMissing", FileOpenMode::AppendShareRead, false, true, true, 0}),
    [](const ::testing::TestParamInfo<OpenCase>& param) { return std::string(param.param.name); });

// A download is opened with delete sharing, so that a run that ends without its worker can
// delete the file while the worker, blocked on the network, still holds it.
TEST_F(Win32FilesTest, AFileCreatedForWritingCanBeDeletedWhileOpen) {
    const std::string path = PathOf("download.bin");
    auto writer = files_->OpenFile(path, FileOpenMode::CreateReadWriteShareReadDelete, error_);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->Write("partial", 7, error_));
    EXPECT_TRUE(files_->RemoveFile(path, error_)) << error_.code;
    EXPECT_EQ(error_.code, 0u);
    EXPECT_TRUE(writer->Write("more", 4, error_));
    writer.reset();
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(files_->RemoveEmptyDirectory(folder_, error_)) << error_.code;
}

TEST_F(Win32FilesTest, ReadSharingLetsReadersInAndKeepsWritersOut) {
    const std::string path = PathOf("shared.bin");
    ASSERT_TRUE(WriteWholeFile(path, "x"));
    auto writer = files_->OpenFile(path, FileOpenMode::ReadWriteShareRead, error_);
    ASSERT_TRUE(writer);
    // The writer shares reading only: a second writer is refused, and a reader that shares
    // reading only is refused too, since the file is already open for writing.
    EXPECT_EQ(files_->OpenFile(path, FileOpenMode::ReadWriteShareRead, error_), nullptr);
    EXPECT_EQ(error_.code, kErrorSharingViolation);
    EXPECT_EQ(files_->OpenFile(path, FileOpenMode::ReadShareRead, error_), nullptr);
    EXPECT_EQ(error_.code, kErrorSharingViolation);
    writer.reset();
    auto reader = files_->OpenFile(path, FileOpenMode::ReadShareRead, error_);
    ASSERT_TRUE(reader);
    EXPECT_NE(files_->OpenFile(path, FileOpenMode::ReadShareRead, error_), nullptr);
}

TEST_F(Win32FilesTest, SizeOfFiles) {
    for (const size_t size : {size_t{0}, size_t{1}, size_t{4096}, size_t{70001}}) {
        const std::string path = PathOf("size" + std::to_string(size) + ".bin");
        ASSERT_TRUE(WriteWholeFile(path, std::string(size, 'a')));
        auto file = files_->OpenFile(path, FileOpenMode::ReadShareRead, error_);
        ASSERT_TRUE(file);
        uint64_t found = 12345;
        ASSERT_TRUE(file->GetSize(found));
        EXPECT_EQ(found, size);
    }
}

// Wine keeps no creation time of its own on a Unix file system: it derives one from the Unix
// times, so a creation time that was set does not come back. What is checked here is that the
// last-write time round-trips exactly and that the creation time read is the one the system
// reports for the file.
TEST_F(Win32FilesTest, TimesRoundTripThroughAHandle) {
    const std::string path = PathOf("times.bin");
    ASSERT_TRUE(WriteWholeFile(path, "data"));
    const SystemTime creation = MakeTime(2001, 2, 3, 4, 5, 6, 700);
    const SystemTime lastWrite = MakeTime(2022, 3, 9, 14, 25, 36, 250);
    {
        auto file = files_->OpenFile(path, FileOpenMode::ReadWriteShareRead, error_);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->SetTimes(&creation, lastWrite));
    }
    SystemTime systemCreation;
    SystemTime systemLastWrite;
    ASSERT_TRUE(test::RawFileTimes(path, systemCreation, systemLastWrite));
    auto file = files_->OpenFile(path, FileOpenMode::ReadShareRead, error_);
    ASSERT_TRUE(file);
    SystemTime readCreation;
    SystemTime readLastWrite;
    ASSERT_EQ(file->GetTimes(&readCreation, &readLastWrite), TimesRead::Read);
    EXPECT_TRUE(SameSecond(readLastWrite, lastWrite)) << TimeText(readLastWrite);
    EXPECT_EQ(readLastWrite.wMilliseconds, 250);
    EXPECT_EQ(readLastWrite.wDayOfWeek, lastWrite.wDayOfWeek);
    EXPECT_TRUE(SameSecond(readCreation, systemCreation)) << TimeText(readCreation);

    // Each time alone may be asked for.
    SystemTime onlyWrite;
    ASSERT_EQ(file->GetTimes(nullptr, &onlyWrite), TimesRead::Read);
    EXPECT_TRUE(SameSecond(onlyWrite, lastWrite));
    SystemTime onlyCreation;
    ASSERT_EQ(file->GetTimes(&onlyCreation, nullptr), TimesRead::Read);
    EXPECT_TRUE(SameSecond(onlyCreation, readCreation));
}

TEST_F(Win32FilesTest, SettingOnlyTheLastWriteTimeLeavesLastAccessAlone) {
    const std::string path = PathOf("keep.bin");
    ASSERT_TRUE(WriteWholeFile(path, "data"));
    const SystemTime firstWrite = MakeTime(2005, 6, 7, 8, 9, 10);
    {
        auto file = files_->OpenFile(path, FileOpenMode::ReadWriteShareRead, error_);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->SetTimes(nullptr, firstWrite));
    }
    WIN32_FILE_ATTRIBUTE_DATA before;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &before));
    const SystemTime secondWrite = MakeTime(2024, 1, 2, 3, 4, 5);
    {
        auto file = files_->OpenFile(path, FileOpenMode::ReadWriteShareRead, error_);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->SetTimes(nullptr, secondWrite));
    }
    WIN32_FILE_ATTRIBUTE_DATA after;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &after));
    EXPECT_EQ(CompareFileTime(&before.ftLastAccessTime, &after.ftLastAccessTime), 0);
    SYSTEMTIME written;
    ASSERT_TRUE(FileTimeToSystemTime(&after.ftLastWriteTime, &written));
    EXPECT_TRUE(SameSecond(FromWin32(written), secondWrite));
}

TEST_F(Win32FilesTest, AnInvalidTimeIsNotStamped) {
    const std::string path = PathOf("invalid.bin");
    ASSERT_TRUE(WriteWholeFile(path, "data"));
    SystemTime creationBefore;
    SystemTime writeBefore;
    ASSERT_TRUE(test::RawFileTimes(path, creationBefore, writeBefore));
    SystemTime invalid = MakeTime(2020, 13, 40, 25, 61, 61);
    auto file = files_->OpenFile(path, FileOpenMode::ReadWriteShareRead, error_);
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->SetTimes(nullptr, invalid));
    EXPECT_FALSE(file->SetTimes(&invalid, MakeTime(2020, 1, 1, 0, 0, 0)));
    file.reset();
    SystemTime creationAfter;
    SystemTime writeAfter;
    ASSERT_TRUE(test::RawFileTimes(path, creationAfter, writeAfter));
    EXPECT_TRUE(SameSecond(writeAfter, writeBefore));
    EXPECT_TRUE(SameSecond(creationAfter, creationBefore));
}

TEST_F(Win32FilesTest, FindReportsTheSameTimesAndSizeAsAHandle) {
    const std::string path = PathOf("found.bin");
    ASSERT_TRUE(WriteWholeFile(path, std::string(1234, 'z')));
    const SystemTime creation = MakeTime(2010, 10, 10, 10, 10, 10);
    const SystemTime lastWrite = MakeTime(2011, 11, 11, 11, 11, 11);
    {
        auto file = files_->OpenFile(path, FileOpenMode::ReadWriteShareRead, error_);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->SetTimes(&creation, lastWrite));
    }
    FindData found;
    ASSERT_TRUE(files_->FindFile(path, found));
    EXPECT_EQ(found.size, 1234u);
    EXPECT_TRUE(SameSecond(found.lastWrite, lastWrite)) << TimeText(found.lastWrite);
    auto file = files_->OpenFile(path, FileOpenMode::ReadShareRead, error_);
    ASSERT_TRUE(file);
    SystemTime handleCreation;
    SystemTime handleLastWrite;
    ASSERT_EQ(file->GetTimes(&handleCreation, &handleLastWrite), TimesRead::Read);
    EXPECT_TRUE(SameSecond(found.creation, handleCreation)) << TimeText(found.creation);
    EXPECT_TRUE(SameSecond(found.lastWrite, handleLastWrite));

    FindData untouched;
    untouched.size = 77;
    EXPECT_FALSE(files_->FindFile(PathOf("missing.bin"), untouched));
    EXPECT_EQ(untouched.size, 77u);
}

TEST_F(Win32FilesTest, AFileHeldByAnotherProcessCannotBeOpenedButCanBeFound) {
    const std::string path = PathOf("Tolvar32.bdb");
    ASSERT_TRUE(WriteWholeFile(path, std::string(100, 'd')));
    HeldFile held(path);
    ASSERT_TRUE(held.IsHeld());
    EXPECT_EQ(files_->OpenFile(path, FileOpenMode::ReadShareRead, error_), nullptr);
    EXPECT_EQ(error_.code, kErrorSharingViolation);
    EXPECT_EQ(files_->OpenFile(path, FileOpenMode::ReadWriteShareRead, error_), nullptr);
    EXPECT_EQ(error_.code, kErrorSharingViolation);
    EXPECT_FALSE(files_->RenameFile(path, PathOf("aside.tmp"), error_));
    EXPECT_EQ(error_.code, kErrorSharingViolation);
    FindData found;
    ASSERT_TRUE(files_->FindFile(path, found));
    EXPECT_EQ(found.size, 100u);
    EXPECT_EQ(held.Release(), 0);
    EXPECT_NE(files_->OpenFile(path, FileOpenMode::ReadShareRead, error_), nullptr);
}

TEST_F(Win32FilesTest, VolumeFileSystemNames) {
    std::string name;
    ASSERT_TRUE(files_->VolumeFileSystemName("C:\\", name));
    EXPECT_EQ(name, "NTFS");
    // Not a volume root, or no such drive: the query fails.
    EXPECT_FALSE(files_->VolumeFileSystemName(folder_, name));
    EXPECT_FALSE(files_->VolumeFileSystemName("\\\\no-such-server\\share\\", name));
}

TEST_F(Win32FilesTest, AttributesOfFilesAndFolders) {
    uint32_t attributes = 0xABCD;
    EXPECT_FALSE(files_->FileAttributes(PathOf("missing"), attributes, error_));
    EXPECT_EQ(error_.code, kErrorFileNotFound);
    EXPECT_EQ(attributes, 0xABCDu);
    EXPECT_FALSE(files_->FileAttributes(PathOf("no\\such\\file"), attributes, error_));
    EXPECT_EQ(error_.code, kErrorPathNotFound);

    ASSERT_TRUE(files_->FileAttributes(folder_, attributes, error_));
    EXPECT_NE(attributes & kFileAttributeDirectory, 0u);

    const std::string path = PathOf("plain.txt");
    ASSERT_TRUE(WriteWholeFile(path, "p"));
    ASSERT_TRUE(files_->FileAttributes(path, attributes, error_));
    EXPECT_EQ(attributes & (kFileAttributeDirectory | kFileAttributeReadOnly), 0u);

    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(files_->FileAttributes(path, attributes, error_));
    EXPECT_NE(attributes & kFileAttributeReadOnly, 0u);
    // A read-only file cannot be deleted. (Whether it can be opened for writing depends on the
    // Unix rights of the user that runs Wine, so it is not checked here.)
    EXPECT_FALSE(files_->RemoveFile(path, error_));
    EXPECT_EQ(error_.code, kErrorAccessDenied);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(files_->RemoveFile(path, error_));
    EXPECT_EQ(error_.code, 0u);
    EXPECT_FALSE(files_->FileAttributes(path, attributes, error_));
}

TEST_F(Win32FilesTest, FoldersAreMadeAndOnlyEmptyOnesRemoved) {
    const std::string sub = PathOf("orzavtmp");
    EXPECT_TRUE(files_->MakeDirectory(sub, error_));
    EXPECT_FALSE(files_->MakeDirectory(sub, error_));  // already there
    EXPECT_EQ(error_.code, kErrorAlreadyExists);
    ASSERT_TRUE(WriteWholeFile(sub + "\\zav.tmp", "x"));
    EXPECT_FALSE(files_->RemoveEmptyDirectory(sub, error_));
    EXPECT_EQ(error_.code, kErrorDirNotEmpty);
    EXPECT_TRUE(files_->RemoveFile(sub + "\\zav.tmp", error_));
    EXPECT_FALSE(files_->RemoveFile(sub + "\\zav.tmp", error_));
    EXPECT_EQ(error_.code, kErrorFileNotFound);
    EXPECT_TRUE(files_->RemoveEmptyDirectory(sub + "\\", error_));
    EXPECT_EQ(error_.code, 0u);
    uint32_t attributes = 0;
    EXPECT_FALSE(files_->FileAttributes(sub, attributes, error_));
    EXPECT_FALSE(files_->MakeDirectory(PathOf("no\\such\\parent"), error_));
    EXPECT_EQ(error_.code, kErrorPathNotFound);
}

TEST_F(Win32FilesTest, RenameMovesAndNeverReplaces) {
    const std::string from = PathOf("Tolvar32.bdb");
    const std::string to = PathOf("Tolvar32.bdbtmp0.tmp");
    ASSERT_TRUE(WriteWholeFile(from, "old"));
    ASSERT_TRUE(files_->RenameFile(from, to, error_));
    std::string content;
    EXPECT_FALSE(ReadWholeFile(from, content));
    ASSERT_TRUE(ReadWholeFile(to, content));
    EXPECT_EQ(content, "old");
    ASSERT_TRUE(WriteWholeFile(from, "new"));
    EXPECT_FALSE(files_->RenameFile(from, to, error_));  // the target exists
    EXPECT_EQ(error_.code, kErrorAlreadyExists);
    ASSERT_TRUE(ReadWholeFile(to, content));
    EXPECT_EQ(content, "old");
    EXPECT_FALSE(files_->RenameFile(PathOf("missing"), PathOf("other"), error_));
    EXPECT_EQ(error_.code, kErrorFileNotFound);
}

// Sets an environment variable for the life of the object, restoring it afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        char old[32768];
        const DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
        hadValue_ = length > 0 && length < sizeof old;
        if (hadValue_) old_.assign(old, length);
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~ScopedEnvironment() { SetEnvironmentVariableA(name_, hadValue_ ? old_.c_str() : nullptr); }

private:
    const char* name_;
    bool hadValue_ = false;
    std::string old_;
};

TEST_F(Win32FilesTest, EverySpellingOfAFolderHasOneIdentity) {
    const std::string folder = PathOf("Shared Files");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(PathOf("Other").c_str(), nullptr));
    FileIdentity identity;
    ASSERT_TRUE(files_->Identity(folder, identity, error_)) << error_.code;
    EXPECT_EQ(error_.code, 0u);

    char shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(folder.c_str(), shortName, MAX_PATH), 0u);
    std::string upper = folder;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string slashes = folder;
    for (char& c : slashes) c = c == '\\' ? '/' : c;
    const std::string spellings[] = {folder + "\\",
                                     upper,
                                     slashes,
                                     folder_ + ".\\Shared Files",
                                     folder_ + "Other\\..\\Shared Files",
                                     shortName};
    for (const std::string& spelling : spellings) {
        FileIdentity same;
        ASSERT_TRUE(files_->Identity(spelling, same, error_)) << spelling;
        EXPECT_TRUE(same == identity) << spelling;
    }
    FileIdentity other;
    ASSERT_TRUE(files_->Identity(PathOf("Other"), other, error_));
    EXPECT_FALSE(other == identity);
    // A folder that another process holds opens all the same.
    const std::string file = PathOf("held.bin");
    ASSERT_TRUE(WriteWholeFile(file, "x"));
    HeldFile held(file);
    ASSERT_TRUE(held.IsHeld());
    EXPECT_TRUE(files_->Identity(file, other, error_)) << error_.code;
    held.Release();

    EXPECT_FALSE(files_->Identity(PathOf("missing"), other, error_));
    EXPECT_EQ(error_.code, kErrorFileNotFound);
    EXPECT_FALSE(files_->Identity(PathOf("missing\\below"), other, error_));
    EXPECT_EQ(error_.code, kErrorPathNotFound);
}

TEST_F(Win32FilesTest, TempFolderReportsItsPath) {
    std::string path;
    ASSERT_TRUE(files_->TempFolder(path));
    EXPECT_EQ(path.back(), '\\');
    char expected[MAX_PATH] = {};
    ASSERT_EQ(GetTempPathA(sizeof expected, expected), path.size());
    EXPECT_EQ(path, expected);
}

// The temporary folder comes from TMP first (then TEMP): point both at folders of a chosen
// length. The system appends a backslash; a path of 259 characters is the longest that fits the
// 260-byte buffer with its zero. Wine answers 0 rather than the size needed when the variable
// itself is too long: either way the path must be left alone.
TEST_F(Win32FilesTest, TempFolderFitsOnlyWithinTheBuffer) {
    for (const size_t pathLength :
         {size_t{200}, size_t{258}, size_t{259}, size_t{260}, size_t{261}, size_t{400}}) {
        const std::string folder = "C:\\" + std::string(pathLength - 4, 'u');
        const ScopedEnvironment tmp("TMP", folder);
        const ScopedEnvironment temp("TEMP", folder);
        std::string path = "untouched";
        const bool told = files_->TempFolder(path);
        if (pathLength < kMaxPath) {
            EXPECT_TRUE(told) << pathLength;
            EXPECT_EQ(path, folder + "\\");
        } else {
            EXPECT_FALSE(told) << pathLength;
            EXPECT_EQ(path, "untouched") << pathLength;
        }
    }
}

TEST_F(Win32FilesTest, ReadGivesTheBytesFromWhereTheLastReadEnded) {
    const std::string path = PathOf("read.bin");
    ASSERT_TRUE(WriteWholeFile(path, "0123456789"));
    auto file = files_->OpenFile(path, FileOpenMode::ReadShareRead, error_);
    ASSERT_TRUE(file);
    char buffer[8] = {};
    uint32_t got = 99;
    ASSERT_TRUE(file->Read(buffer, 6, got, error_));
    EXPECT_EQ(std::string(buffer, got), "012345");
    ASSERT_TRUE(file->Read(buffer, 8, got, error_));
    EXPECT_EQ(std::string(buffer, got), "6789");
    ASSERT_TRUE(file->Read(buffer, 8, got, error_));
    EXPECT_EQ(got, 0u);  // the end
    EXPECT_EQ(error_.code, 0u);
    // The download's handle reads back, from the start, what it wrote.
    auto writer =
        files_->OpenFile(PathOf("new.bin"), FileOpenMode::CreateReadWriteShareReadDelete, error_);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->Write("written", 7, error_));
    ASSERT_TRUE(writer->SeekToStart());
    ASSERT_TRUE(writer->Read(buffer, 8, got, error_));
    EXPECT_EQ(std::string(buffer, got), "written");
}

}  // namespace
}  // namespace mivetrak
