// The Win32 system services under Wine: suspended threads, the clock, modules and their
// strings and icons, system error texts, the command line and the Program Files folder.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "resources/resource_ids.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

// An id that no resource of the library bears.
constexpr int kNoSuchId = 4242;

struct ThreadProbe {
    std::atomic<int> runs{0};
    std::atomic<DWORD> threadId{0};
};

uint32_t ProbeEntry(void* argument) {
    auto* probe = static_cast<ThreadProbe*>(argument);
    probe->threadId = GetCurrentThreadId();
    ++probe->runs;
    return 7;
}

TEST(Win32SystemTest, ThreadStartsSuspendedAndRunsOnceResumed) {
    const auto system = CreateWin32System();
    ThreadProbe probe;
    auto thread = system->CreateSuspendedThread(&ProbeEntry, &probe);
    ASSERT_TRUE(thread);
    Sleep(100);
    EXPECT_EQ(probe.runs.load(), 0);  // still suspended
    ASSERT_TRUE(thread->Resume());
    thread->WaitUntilEnded();
    EXPECT_EQ(probe.runs.load(), 1);
    EXPECT_NE(probe.threadId.load(), GetCurrentThreadId());
    // Waiting again for a thread that has ended returns at once.
    thread->WaitUntilEnded();
    EXPECT_EQ(probe.runs.load(), 1);
}

TEST(Win32SystemTest, ManyThreadsEachRunTheirEntry) {
    const auto system = CreateWin32System();
    ThreadProbe probe;
    for (int i = 0; i < 20; ++i) {
        auto thread = system->CreateSuspendedThread(&ProbeEntry, &probe);
        ASSERT_TRUE(thread);
        ASSERT_TRUE(thread->Resume());
        thread->WaitUntilEnded();
    }
    EXPECT_EQ(probe.runs.load(), 20);
}

TEST(Win32SystemTest, TickCountAdvancesWithSleep) {
    const auto system = CreateWin32System();
    const uint32_t before = system->TickCount();
    system->SleepMilliseconds(120);
    const uint32_t elapsed = system->TickCount() - before;
    EXPECT_GE(elapsed, 100u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(Win32SystemTest, ResourceLibraryHoldsEveryStringOfTheCatalogue) {
    const auto system = CreateWin32System();
    SystemError error;
    // The build puts a copy beside this test program, where the program's loader looks.
    const ModuleHandle library = system->LoadResourceModule("Mivetrak.rsl", error);
    ASSERT_NE(library, nullptr) << "error " << error.code;
    const uint32_t ids[] = {
        IDS_CAPTION,         IDS_STATUS_PREFIX,  IDS_PHASE_CHECK,    IDS_PHASE_DOWNLOAD,
        IDS_PHASE_INSTALL,   IDS_STARTUP_FAILED, IDS_NO_CONNECTION,  IDS_SERVER_UNAVAILABLE,
        IDS_DOWNLOAD_FAILED, IDS_FILE_BUSY,      IDS_INSTALL_FAILED, IDS_COMPLETED,
        IDS_CONFIRM,         IDS_UP_TO_DATE,     IDS_NO_FOLDER,      IDS_USAGE};
    for (const uint32_t id : ids) {
        std::string text;
        EXPECT_TRUE(system->LoadText(library, id, text)) << id;
        // The same text as the system's own loader gives.
        char raw[1024] = {};
        ASSERT_GT(LoadStringA(ToWin32(library), id, raw, sizeof raw), 0) << id;
        EXPECT_EQ(text, raw) << id;
    }
    std::string none;
    EXPECT_FALSE(system->LoadText(library, IDS_STATUS_PREFIX + 1, none));  // between the ids
    EXPECT_FALSE(system->LoadText(library, kNoSuchId, none));              // far outside
    EXPECT_NE(system->LoadIconResource(library, IDI_PROGRAM), nullptr);
    EXPECT_EQ(system->LoadIconResource(library, IDI_PROGRAM + 1), nullptr);
    system->FreeModule(library);
}

// A folder made current for one test, and the folder before it made current again afterwards.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder) {
        GetCurrentDirectoryA(MAX_PATH, previous_);
        changed_ = SetCurrentDirectoryA(folder.c_str()) != 0;
    }
    ~CurrentFolder() { SetCurrentDirectoryA(previous_); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;
    bool Changed() const { return changed_; }

private:
    char previous_[MAX_PATH] = {};
    bool changed_ = false;
};

// A stranger's library, as the given file name, in the current folder and in a folder on the
// PATH, for the length of one test.
class PlantedLibrary {
public:
    explicit PlantedLibrary(const char* name)
        : current_(test::NewScratchFolder("cwd")), onPath_(test::NewScratchFolder("path")) {
        GetEnvironmentVariableA("PATH", path_, sizeof path_);
        SetEnvironmentVariableA("PATH", (onPath_ + ";" + path_).c_str());
        for (const std::string& folder : {current_, onPath_}) {
            planted_ = CopyFileA((test::BinFolder() + "Planted.rsl").c_str(),
                                 (folder + name).c_str(), FALSE) != 0 &&
                       planted_;
        }
    }
    ~PlantedLibrary() { SetEnvironmentVariableA("PATH", path_); }
    PlantedLibrary(const PlantedLibrary&) = delete;
    PlantedLibrary& operator=(const PlantedLibrary&) = delete;
    bool Planted() const { return planted_ && !current_.empty() && !onPath_.empty(); }
    const std::string& CurrentFolderPath() const { return current_; }

private:
    std::string current_;
    std::string onPath_;
    char path_[32767] = {};
    bool planted_ = true;
};

TEST(Win32SystemTest, OnceThePlatformIsMadeCodeIsLoadedFromTheSystemFolderOnly) {
    const PlantedLibrary planted("plantonly.dll");
    ASSERT_TRUE(planted.Planted());
    const CurrentFolder current(planted.CurrentFolderPath());
    ASSERT_TRUE(current.Changed());
    const auto holder = CreateWin32Platform();
    ASSERT_TRUE(holder);
    // In the current folder and on the PATH, and still not found.
    EXPECT_EQ(LoadLibraryA("plantonly.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // The system's own libraries are found as before.
    const HMODULE shellFolders = LoadLibraryA("shfolder.dll");
    EXPECT_NE(shellFolders, nullptr);
    if (shellFolders != nullptr) FreeLibrary(shellFolders);
}

TEST(Win32SystemTest, ThePlatformAsksForNoDiskBoxAndKeepsTheOtherErrorModes) {
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    const auto holder = CreateWin32Platform();
    ASSERT_TRUE(holder);
    EXPECT_EQ(SetErrorMode(0), static_cast<UINT>(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS));
}

TEST(Win32SystemTest, TheExecutablesOwnIconIsAskedForWithoutAModule) {
    const auto system = CreateWin32System();
    // This test program carries no program icon: a null module must mean this executable, not the
    // system's predefined icons.
    EXPECT_EQ(system->LoadIconResource(nullptr, IDI_PROGRAM), nullptr);
    std::string text;
    EXPECT_FALSE(system->LoadText(nullptr, IDS_CAPTION, text));
}

TEST(Win32SystemTest, LoadingAMissingModuleReportsTheSystemError) {
    const auto system = CreateWin32System();
    SystemError error;
    EXPECT_EQ(system->LoadResourceModule("no_such_library_here.rsl", error), nullptr);
    EXPECT_EQ(error.code, kErrorFileNotFound);
    std::string text;
    EXPECT_TRUE(system->SystemErrorText(error.code, text));
    EXPECT_FALSE(text.empty());
    system->FreeModule(nullptr);  // nothing to free, and no crash
}

TEST(Win32SystemTest, SystemErrorTexts) {
    const auto system = CreateWin32System();
    for (const uint32_t error : {2u, 5u, 126u}) {
        std::string text;
        EXPECT_TRUE(system->SystemErrorText(error, text)) << error;
        char* expected = nullptr;
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0x400, reinterpret_cast<LPSTR>(&expected), 0, nullptr);
        ASSERT_GT(length, 0u) << error;
        EXPECT_EQ(text, std::string(expected, length));
        LocalFree(expected);
    }
    std::string text;
    EXPECT_FALSE(system->SystemErrorText(0x2FFFFFFF, text));  // the system has no text for it
}

TEST(Win32SystemTest, RawCommandLineNamesThisProgram) {
    const auto system = CreateWin32System();
    const std::string line = system->RawCommandLine();
    EXPECT_EQ(line, GetCommandLineA());
    EXPECT_NE(line.find("win32_system_test"), std::string::npos) << line;
}

TEST(Win32SystemTest, ExecutablePathIsThisProgramsFullPath) {
    const auto system = CreateWin32System();
    std::string path;
    ASSERT_TRUE(system->ExecutablePath(path));
    EXPECT_EQ(path.substr(1, 2), ":\\") << path;
    EXPECT_NE(path.find("\\win32_system_test.exe"), std::string::npos) << path;
}

TEST(Win32SystemTest, ProgramFilesFolderFromTheShellFolders) {
    const auto system = CreateWin32System();
    std::string folder = "untouched";
    ASSERT_TRUE(system->ProgramFilesFolder(folder));
    EXPECT_EQ(folder, test::EnvironmentValue("ProgramFiles"));
    EXPECT_LT(folder.size(), kMaxPath);
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(Win32SystemTest, ThisThirtyTwoBitProgramRunsUnderWow64InASixtyFourBitPrefix) {
    static_assert(sizeof(void*) == 4, "the program and its tests are 32-bit");
    const auto system = CreateWin32System();
    EXPECT_TRUE(system->RunsUnderWow64());
    // A 32-bit process is given the 32-bit Program Files folder by the shell.
    std::string folder;
    ASSERT_TRUE(system->ProgramFilesFolder(folder));
    EXPECT_EQ(folder, test::EnvironmentValue("ProgramFiles(x86)"));
}

TEST(Win32PlatformTest, PlatformOwnsOneOfEveryService) {
    const auto holder = CreateWin32Platform();
    ASSERT_TRUE(holder);
    Platform& platform = holder->Get();
    std::string temp;
    EXPECT_TRUE(platform.files.TempFolder(temp));
    EXPECT_FALSE(platform.system.RawCommandLine().empty());
    EXPECT_FALSE(platform.codePage.IsLeadByte('\\'));
    // The Internet is real or the offline stand-in; either way no connection is ever opened to
    // an unnamed server and closing nothing is harmless.
    platform.internet.CloseInternetHandle(nullptr);
    EXPECT_EQ(&holder->Get(), &platform);
}

TEST(Win32PlatformTest, OfflineInternetOpensNothing) {
    const auto internet = CreateOfflineInternet();
    uint32_t flags = 99;
    EXPECT_FALSE(internet->ConnectedState(flags));
    EXPECT_EQ(flags, 0u);
    EXPECT_FALSE(internet->HasConnectedStateEx());
    EXPECT_FALSE(internet->CheckConnectionTo(nullptr));
    SystemError error;
    EXPECT_FALSE(internet->Autodial(nullptr, false, error));
    EXPECT_NE(error.code, 0u);
    uintptr_t connection = 5;
    EXPECT_FALSE(internet->DialConnection(nullptr, "", false, &connection, error));
    EXPECT_NE(error.code, 0u);
    EXPECT_EQ(connection, 0u);
    EXPECT_EQ(internet->OpenRoot("agent", error), nullptr);
    uint32_t read = 3;
    char buffer[4];
    EXPECT_FALSE(internet->ReadData(nullptr, buffer, sizeof buffer, read, error));
    EXPECT_NE(error.code, 0u);
    EXPECT_EQ(read, 0u);
}

}  // namespace
}  // namespace mivetrak
