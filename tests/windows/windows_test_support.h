#pragma once
// Helpers shared by the Windows integration tests: scratch folders, whole-file reads and
// writes, times, and a file kept in use by another process (hold_file.exe).
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace mivetrak::test {

// An environment variable, or "" when it is not set.
std::string EnvironmentValue(const char* name);

// A new, empty folder (path ending in a backslash) inside the run's scratch folder
// (MIVETRAK_TEST_TEMP, else the system's temporary folder); the test may leave files in it.
std::string NewScratchFolder(const std::string& hint);

// The folder of Mivetrak.exe and Mivetrak.rsl (MIVETRAK_BIN_DIR), ending in a backslash.
std::string BinFolder();

bool WriteWholeFile(const std::string& path, const std::string& content);
// The file's content, or false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content);

SystemTime MakeTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute,
                    uint16_t second, uint16_t milliseconds = 0);
// Last-write and creation times read straight from the system, for checks independent of the
// code under test.
bool RawFileTimes(const std::string& path, SYSTEMTIME& creation, SYSTEMTIME& lastWrite);

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
