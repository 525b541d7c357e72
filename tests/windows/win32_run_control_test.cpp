// What keeps runs apart and what starts one again with rights, on the real system under Wine:
// named locks between threads (as between processes), the command line handed to a restarted
// run, and the restart itself (Wine starts it without a consent prompt).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/win32/elevated_restart.h"
#include "platform/win32/program_path.h"
#include "platform/win32/win32_platform.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

std::string LockName() {
    return "Local\\MivetrakTestLock-" + std::to_string(GetCurrentProcessId());
}

TEST(Win32RunControl, ANamedLockIsHeldByOneAtATimeAndAnAbandonedOneIsTaken) {
    const auto system = CreateWin32System();
    // A mutex belongs to a thread: another thread stands for another process.
    std::atomic<bool> taken{false};
    std::atomic<bool> release{false};
    std::thread holder([&] {
        SystemError error;
        std::unique_ptr<ProcessLock> lock = system->TryLockNamed(LockName(), error);
        taken = lock != nullptr;
        while (!release) Sleep(5);
    });
    while (!taken && !release) Sleep(5);
    SystemError error;
    EXPECT_EQ(system->TryLockNamed(LockName(), error), nullptr);
    EXPECT_EQ(error.code, kErrorAlreadyExists);
    release = true;
    holder.join();
    // Given back by its holder, it is free.
    std::unique_ptr<ProcessLock> mine = system->TryLockNamed(LockName(), error);
    ASSERT_TRUE(mine) << error.code;
    EXPECT_EQ(error.code, 0u);
    mine.reset();

    // A holder that ends without giving it back leaves it abandoned: the next one takes it.
    std::unique_ptr<ProcessLock> kept;
    std::thread ender([&] {
        SystemError e;
        kept = system->TryLockNamed(LockName(), e);
    });
    ender.join();
    ASSERT_TRUE(kept);
    mine = system->TryLockNamed(LockName(), error);
    EXPECT_TRUE(mine) << error.code;
    mine.reset();
    kept.reset();
}

struct ArgumentsCase {
    const wchar_t* commandLine;
    const wchar_t* arguments;
};

TEST(Win32RunControl, ArgumentsAfterTheProgramNameStayAsTheyStand) {
    const ArgumentsCase cases[] = {
        {L"prog.exe", L""},
        {L"prog.exe   ", L""},
        {L"prog.exe a b", L"a b"},
        {L"\"C:\\Program Files\\Mivetrak\\Mivetrak.exe\"  \"C:\\A B\\\\\" /f",
         L"\"C:\\A B\\\\\" /f"},
        {L"\"C:\\A B\"\\prog.exe\t x", L"x"},
        {L"C:\\prog.exe \"C:\\Db\\\" f", L"\"C:\\Db\\\" f"},
    };
    for (const ArgumentsCase& c : cases) {
        EXPECT_EQ(ArgumentsAfterProgramName(c.commandLine), c.arguments);
    }
}

TEST(Win32RunControl, ARestartedRunGetsTheSameArgumentsAndGivesItsExitCode) {
    const std::string folder = test::NewScratchFolder("restart");
    ASSERT_FALSE(folder.empty());
    const std::wstring echo = WidenAnsi(test::BinFolder() + "echo_args.exe");
    const std::wstring output = WidenAnsi(folder) + L"args.txt";
    // This run's command line: a quoted folder ending in a backslash (doubled before the
    // quote), a flag, and text that no ANSI code page spells.
    const std::wstring ours =
        L"\"C:\\Mivetrak\\Mivetrak.exe\" \"C:\\Program Files (x86)\\Orvanta\\Shared Files\\\\\" "
        L"/f \x03A9mega \x65E5\x672C";
    // The stand-in takes the file to write and its exit code first.
    const std::wstring parameters = L"\"" + output + L"\" 4 " + ArgumentsAfterProgramName(ours);
    uint32_t exitCode = 0;
    DWORD error = 0;
    ASSERT_TRUE(RunElevatedAndWait(echo, parameters, exitCode, error)) << error;
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(exitCode, 4u);
    std::string lines;
    ASSERT_TRUE(test::ReadWholeFile(folder + "args.txt", lines));
    const size_t afterOwn = lines.find('\n', lines.find('\n') + 1) + 1;
    EXPECT_EQ(lines.substr(afterOwn),
              "C:\\Program Files (x86)\\Orvanta\\Shared Files\\\n/f\n\xCE\xA9mega\n"
              "\xE6\x97\xA5\xE6\x9C\xAC\n");

    EXPECT_FALSE(RunElevatedAndWait(L"C:\\no\\such\\program.exe", L"", exitCode, error));
    EXPECT_NE(error, 0u);
}

}  // namespace
}  // namespace mivetrak
