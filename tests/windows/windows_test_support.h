#pragma once
// Helpers shared by the Windows integration tests: scratch folders, whole-file reads and
// writes, the times the system reports for a file, and a file kept in use by another process
// (hold_file.exe). Times are built, compared and printed with support/test_time.h.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/types.h"
#include "support/test_time.h"

namespace mivetrak::test {

// An environment variable, or "" when it is not set.
std::string EnvironmentValue(const char* name);

// Where a scratch folder is made.
enum class ScratchRoot {
    RunFolder,        // the run's own scratch folder (MIVETRAK_TEST_TEMP), else the next one
    TemporaryFolder,  // the user's temporary folder, on drive C: of the prefix
};

// A new, empty folder (path ending in a backslash) whose name begins with hint; the test may
// leave files in it. "" when none could be made.
std::string NewScratchFolder(const std::string& hint, ScratchRoot root = ScratchRoot::RunFolder);

// The folder of Mivetrak.exe and Mivetrak.rsl (MIVETRAK_BIN_DIR), ending in a backslash.
std::string BinFolder();

bool WriteWholeFile(const std::string& path, const std::string& content);
// The file's content, or false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content);

// Creation and last-write times read straight from the system, for checks independent of the
// code under test.
bool RawFileTimes(const std::string& path, SystemTime& creation, SystemTime& lastWrite);
// Stamps the file's creation and last-write times straight through the system.
bool SetRawFileTimes(const std::string& path, const SystemTime& time);

// A file kept open by another process (hold_file.exe) with no sharing at all, from the
// constructor until Release or destruction.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    // True once the other process holds the file.
    bool IsHeld() const { return held_; }
    // Lets the other process close the file and waits until it has ended; its exit code (0 when
    // it was released in time), or -1 when it never ran.
    int Release();

private:
    std::string marker_;
    PROCESS_INFORMATION process_{};
    bool started_ = false;
    bool held_ = false;
};

}  // namespace mivetrak::test
