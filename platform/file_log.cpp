#include "platform/file_log.h"

#include <cstdio>
#include <memory>

namespace mivetrak {

namespace {
// Another run may set the file aside between an open and its lock, and the full file is set aside
// by the run that finds it so; each costs one more open.
constexpr int kOpenAttempts = 3;
}  // namespace

std::string FormatLogLine(const SystemTime& localTime, uint32_t processId,
                          const std::string& sentence) {
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u pid %u: ",
                  static_cast<unsigned>(localTime.wYear), static_cast<unsigned>(localTime.wMonth),
                  static_cast<unsigned>(localTime.wDay), static_cast<unsigned>(localTime.wHour),
                  static_cast<unsigned>(localTime.wMinute),
                  static_cast<unsigned>(localTime.wSecond),
                  static_cast<unsigned>(localTime.wMilliseconds), static_cast<unsigned>(processId));
    std::string line = stamp;
    for (const char c : sentence) {
        const auto byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte == 0x7F ? ' ' : c;
    }
    return line + "\r\n";
}

FileLog::FileLog(FileSystem& files, System& system) : files_(files), system_(system) {}

std::string FileLog::Line(const std::string& sentence) {
    return FormatLogLine(system_.LocalTime(), system_.ProcessId(), sentence);
}

void FileLog::Write(const std::string& sentence) {
    const std::string line = Line(sentence);
    std::lock_guard<std::mutex> guard(mutex_);
    if (!path_.empty()) {
        Append(line);
    } else if (early_.size() < kMaxEarlyLines) {
        early_.push_back(line);
    } else {
        ++earlyDropped_;
    }
}

void FileLog::StartFileIn(const std::string& folder) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!path_.empty() || folder.empty()) return;
    path_ = folder + kLogFileName;
    oldPath_ = folder + kOldLogFileName;
    std::string text;
    for (const std::string& line : early_) text += line;
    if (earlyDropped_ != 0) {
        text += Line(std::to_string(earlyDropped_) +
                     " more lines, written before the log's folder was known, were not kept.");
    }
    early_.clear();
    earlyDropped_ = 0;
    if (!text.empty()) Append(text);
}

bool FileLog::Append(const std::string& text) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        SystemError error;
        const std::unique_ptr<SharedAppendFile> file = files_.OpenSharedAppend(path_, error);
        if (!file) return false;
        // Without the lock the line may still get through; it is worth the try.
        if (file->Lock(error)) {
            if (!StillNamed(*file)) continue;
            uint64_t size = 0;
            if (file->GetSize(size) && size >= kLogFileLimit && SetAside()) continue;
        }
        return file->Append(text, error);
    }
    return false;
}

bool FileLog::StillNamed(SharedAppendFile& file) {
    FileIdentity open;
    FileIdentity named;
    SystemError error;
    if (!file.Identity(open, error) || !files_.Identity(path_, named, error)) return true;
    return open == named;
}

bool FileLog::SetAside() {
    SystemError error;
    files_.RemoveFile(oldPath_, error);  // there may be none
    return files_.RenameFile(path_, oldPath_, error);
}

}  // namespace mivetrak
