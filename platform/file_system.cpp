#include "platform/file_system.h"

#include <algorithm>

namespace mivetrak {

namespace {
constexpr size_t kReadChunk = 64 * 1024;
}  // namespace

bool PathExists(FileSystem& files, const std::string& path) {
    uint32_t attributes = 0;
    SystemError error;
    return files.FileAttributes(path, attributes, error);
}

bool ReadSmallFile(FileSystem& files, const std::string& path, size_t maxBytes, std::string& out,
                   SystemError& error) {
    std::unique_ptr<File> file = files.OpenFile(path, FileOpenMode::ReadShareRead, error);
    if (!file) return false;
    std::string content;
    for (;;) {
        // Room for one byte past the limit, which tells a file that is too large.
        const size_t used = content.size();
        const size_t left = maxBytes - used;
        const size_t room = left < kReadChunk ? left + 1 : kReadChunk;
        content.resize(used + room);
        uint32_t got = 0;
        if (!file->Read(&content[used], static_cast<uint32_t>(room), got, error)) return false;
        content.resize(used + std::min<size_t>(got, room));
        if (got == 0) break;
        if (content.size() > maxBytes) {
            error.code = kErrorFileTooLarge;
            return false;
        }
    }
    out = std::move(content);
    error.code = 0;
    return true;
}

}  // namespace mivetrak
