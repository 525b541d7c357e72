#pragma once
// The run's log as a file: "Mivetrak.log" in the user's temporary folder (beside the work folder,
// never inside it), which every run appends to. A line holds the local date and time to the
// millisecond, the process id and one sentence. Once the file has passed 1 MiB it is renamed to
// "Mivetrak.log.old" (replacing an older one) and a new one begins.
//
// Two runs may write at once (a second start, or the run restarted with administrator rights
// beside the one that waits for it), and appends of two processes land on each other unless
// both hold the file's lock: every line is appended under it, and a run that finds its file set
// aside by the other begins writing into the new one.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/system.h"

namespace mivetrak {

constexpr char kLogFileName[] = "Mivetrak.log";
constexpr char kOldLogFileName[] = "Mivetrak.log.old";
// The size past which the file is set aside and a new one begins.
constexpr uint64_t kLogFileLimit = 1024 * 1024;
// Lines kept in memory until the log's folder is known; any more are only counted.
constexpr size_t kMaxEarlyLines = 100;

// "2024-03-05 07:07:08.123 pid 240: sentence" and a line end (CR LF). A line break or another
// control character in the sentence becomes a blank, so that one sentence stays one line.
std::string FormatLogLine(const SystemTime& localTime, uint32_t processId,
                          const std::string& sentence);

class FileLog final : public Log {
public:
    FileLog(FileSystem& files, System& system);
    FileLog(const FileLog&) = delete;
    FileLog& operator=(const FileLog&) = delete;

    void Write(const std::string& sentence) override;
    void StartFileIn(const std::string& folder) override;

private:
    // Appends the text (whole lines) to the file; false when it could not be written.
    bool Append(const std::string& text);
    // Whether the open file is still the one that the log's name stands for; when either
    // identity cannot be read, it is taken to be.
    bool StillNamed(SharedAppendFile& file);
    // Renames the full file to the old name, which an older one gives up first.
    bool SetAside();
    std::string Line(const std::string& sentence);

    FileSystem& files_;
    System& system_;
    // The main thread and the worker both write; lines go out one at a time.
    std::mutex mutex_;
    std::string path_;  // empty until the folder is known
    std::string oldPath_;
    std::vector<std::string> early_;
    size_t earlyDropped_ = 0;
};

}  // namespace mivetrak
