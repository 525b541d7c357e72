// The error numbers that the fakes leave for a failed call are the ones Windows gives for the
// same failure (the Windows integration tests check most of them against Win32 in
// tests/windows/win32_files_test.cpp and win32_registry_test.cpp), so that tests of code that
// tells failures apart by them can trust the fakes; a scripted failure leaves the number it was
// given.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fakes/fake_file_system.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_system.h"

namespace mivetrak {
namespace {

struct FileRow {
    const char* name;
    std::function<bool(FakeFileSystem&, SystemError&)> call;
    uint32_t error;  // 0: the call succeeds
};

TEST(FakeErrorNumbers, FileSystemFailuresLeaveTheNumbersWindowsGives) {
    const auto open = [](FileOpenMode mode, const char* path) {
        return [mode, path](FakeFileSystem& f, SystemError& e) {
            return f.OpenFile(path, mode, e) != nullptr;
        };
    };
    uint32_t attributes = 0;
    const std::vector<FileRow> rows = {
        {"open missing", open(FileOpenMode::ReadShareRead, "C:\\D\\missing"), kErrorFileNotFound},
        {"open in a missing folder", open(FileOpenMode::ReadShareRead, "C:\\X\\f"),
         kErrorPathNotFound},
        {"open held", open(FileOpenMode::ReadShareRead, "C:\\D\\held"), kErrorSharingViolation},
        {"open held, lock violation", open(FileOpenMode::ReadShareRead, "C:\\D\\locked"),
         kErrorLockViolation},
        {"open read-only for writing", open(FileOpenMode::ReadWriteShareRead, "C:\\D\\ro"),
         kErrorAccessDenied},
        {"open existing", open(FileOpenMode::ReadShareRead, "C:\\D\\file"), 0},
        {"attributes of missing",
         [&](FakeFileSystem& f, SystemError& e) {
             return f.FileAttributes("C:\\D\\missing", attributes, e);
         },
         kErrorFileNotFound},
        {"make existing folder",
         [](FakeFileSystem& f, SystemError& e) { return f.MakeDirectory("C:\\D", e); },
         kErrorAlreadyExists},
        {"make folder without parent",
         [](FakeFileSystem& f, SystemError& e) { return f.MakeDirectory("C:\\X\\Y", e); },
         kErrorPathNotFound},
        {"make folder, scripted",
         [](FakeFileSystem& f, SystemError& e) { return f.MakeDirectory("C:\\Refused", e); },
         kErrorDiskFull},
        {"remove folder that is not empty",
         [](FakeFileSystem& f, SystemError& e) { return f.RemoveEmptyDirectory("C:\\D", e); },
         kErrorDirNotEmpty},
        {"remove missing file",
         [](FakeFileSystem& f, SystemError& e) { return f.RemoveFile("C:\\D\\missing", e); },
         kErrorFileNotFound},
        {"remove read-only file",
         [](FakeFileSystem& f, SystemError& e) { return f.RemoveFile("C:\\D\\ro", e); },
         kErrorAccessDenied},
        {"remove held file",
         [](FakeFileSystem& f, SystemError& e) { return f.RemoveFile("C:\\D\\held", e); },
         kErrorSharingViolation},
        {"rename onto an existing file",
         [](FakeFileSystem& f, SystemError& e) {
             return f.RenameFile("C:\\D\\file", "C:\\D\\ro", e);
         },
         kErrorAlreadyExists},
        {"rename missing",
         [](FakeFileSystem& f, SystemError& e) {
             return f.RenameFile("C:\\D\\missing", "C:\\D\\x", e);
         },
         kErrorFileNotFound},
        {"rename, scripted",
         [](FakeFileSystem& f, SystemError& e) {
             return f.RenameFile("C:\\D\\busy", "C:\\D\\x", e);
         },
         kErrorLockViolation},
        {"copy onto an existing file, fail if exists",
         [](FakeFileSystem& f, SystemError& e) {
             return f.CopyFileTo("C:\\D\\file", "C:\\D\\ro", true, e);
         },
         kErrorFileExists},
        {"copy onto a held file",
         [](FakeFileSystem& f, SystemError& e) {
             return f.CopyFileTo("C:\\D\\file", "C:\\D\\held", false, e);
         },
         kErrorSharingViolation},
        {"copy, scripted partial",
         [](FakeFileSystem& f, SystemError& e) {
             return f.CopyFileTo("C:\\D\\file", "C:\\D\\partial", true, e);
         },
         kErrorDiskFull},
        {"copy that succeeds",
         [](FakeFileSystem& f, SystemError& e) {
             return f.CopyFileTo("C:\\D\\file", "C:\\D\\copy", true, e);
         },
         0},
    };
    for (const FileRow& row : rows) {
        SCOPED_TRACE(row.name);
        FakeFileSystem files;
        for (const char* name : {"file", "ro", "held", "locked", "busy"}) {
            files.AddFile(std::string("C:\\D\\") + name, "content");
        }
        files.SetReadOnly("C:\\D\\ro");
        files.SetLocked("C:\\D\\held");
        files.SetLocked("C:\\D\\locked", true, kErrorLockViolation);
        files.FailMakeDirectory("C:\\Refused", kErrorDiskFull);
        files.FailRename("C:\\D\\busy", -1, kErrorLockViolation);
        files.FailCopyTo("C:\\D\\partial", 3);
        SystemError error{77};
        EXPECT_EQ(row.call(files, error), row.error == 0);
        EXPECT_EQ(error.code, row.error);
    }
}

TEST(FakeErrorNumbers, RegistryAndModules) {
    const char kKey[] = "Software\\Test";
    FakeRegistry registry;
    registry.SetValue(RegistryRoot::CurrentUser, kKey, "Eight", 3, {1, 2, 3, 4, 5, 6, 7, 8});
    registry.AddKey(RegistryRoot::CurrentUser, "Software\\Refused");
    registry.FailOpen(RegistryRoot::CurrentUser, "Software\\Refused");
    SystemError error{77};
    EXPECT_EQ(registry.OpenKey(RegistryRoot::CurrentUser, "Software\\None", kKeyRead, error),
              nullptr);
    EXPECT_EQ(error.code, kErrorFileNotFound);
    EXPECT_EQ(registry.OpenKey(RegistryRoot::CurrentUser, "Software\\Refused", kKeyRead, error),
              nullptr);
    EXPECT_EQ(error.code, kErrorAccessDenied);
    auto key = registry.OpenKey(RegistryRoot::CurrentUser, kKey, kKeyRead, error);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(error.code, 0u);
    std::vector<uint8_t> data;
    uint32_t type = 0;
    EXPECT_FALSE(key->QueryValue("Nothing", 260, data, type, error));
    EXPECT_EQ(error.code, kErrorFileNotFound);
    EXPECT_FALSE(key->QueryValue("Eight", 4, data, type, error));
    EXPECT_EQ(error.code, kErrorMoreData);
    EXPECT_TRUE(key->QueryValue("Eight", 8, data, type, error));
    EXPECT_EQ(error.code, 0u);

    FakeSystem system;
    system.AddModule("there.dll");
    system.FailModule("broken.dll", 193);
    EXPECT_EQ(system.LoadResourceModule("missing.dll", error), nullptr);
    EXPECT_EQ(error.code, kErrorModNotFound);
    EXPECT_EQ(system.LoadResourceModule("broken.dll", error), nullptr);
    EXPECT_EQ(error.code, 193u);
    EXPECT_NE(system.LoadResourceModule("there.dll", error), nullptr);
    EXPECT_EQ(error.code, 0u);
}

}  // namespace
}  // namespace mivetrak
