// The run's log on real files under Wine: two processes writing one log at once lose no line,
// also while one of them sets the full file aside.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/file_log.h"
#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

// Starts log_writer.exe writing count lines tagged tag into the log in folder.
bool StartWriter(const std::string& folder, int count, const std::string& tag,
                 KernelHandle& process) {
    std::string commandLine = "\"" + test::BinFolder() + "log_writer.exe\" \"" + folder + "\\\" " +
                              std::to_string(count) + " " + tag;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    process.Reset(started.hProcess);
    return true;
}

// The lines of a log text; a last piece without its line end counts as a broken line.
std::vector<std::string> SplitLines(const std::string& text, int& broken) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ++broken;
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

TEST(Win32Log, TwoProcessesWritingAtOnceLoseNoLineAndSetTheFullFileAsideOnce) {
    const std::string folder = test::NewScratchFolder("log");
    ASSERT_FALSE(folder.empty());
    // About 1.3 MiB between them: the file passes 1 MiB once while both write.
    constexpr int kLinesEach = 3500;
    KernelHandle first;
    KernelHandle second;
    ASSERT_TRUE(StartWriter(folder, kLinesEach, "A", first));
    ASSERT_TRUE(StartWriter(folder, kLinesEach, "B", second));
    const HANDLE both[] = {first.Get(), second.Get()};
    ASSERT_EQ(WaitForMultipleObjects(2, both, TRUE, 240000), WAIT_OBJECT_0);
    for (const HANDLE process : both) {
        DWORD code = 1;
        ASSERT_TRUE(GetExitCodeProcess(process, &code));
        EXPECT_EQ(code, 0u);
    }

    std::string current;
    std::string old;
    ASSERT_TRUE(test::ReadWholeFile(folder + kLogFileName, current));
    ASSERT_TRUE(test::ReadWholeFile(folder + kOldLogFileName, old));
    EXPECT_GE(old.size(), kLogFileLimit);
    EXPECT_LT(current.size(), kLogFileLimit);

    int broken = 0;
    std::map<std::string, int> seen;
    for (const std::string& text : {old, current}) {
        for (const std::string& line : SplitLines(text, broken)) {
            // "yyyy-mm-dd hh:mm:ss.mmm pid N: <tag> <n> ...."
            const size_t colon = line.find(": ", 24);
            if (line.size() < 24 || line.compare(23, 5, " pid ") != 0 ||
                colon == std::string::npos) {
                ++broken;
                continue;
            }
            const size_t blank = line.find(' ', colon + 2);
            const size_t end = line.find(' ', blank + 1);
            ++seen[line.substr(colon + 2, end - colon - 2)];
        }
    }
    EXPECT_EQ(broken, 0);
    int missing = 0;
    int repeated = 0;
    for (const char* tag : {"A", "B"}) {
        for (int n = 0; n < kLinesEach; ++n) {
            const int count = seen[std::string(tag) + " " + std::to_string(n)];
            missing += count == 0;
            repeated += count > 1;
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(repeated, 0);
}

}  // namespace
}  // namespace mivetrak
