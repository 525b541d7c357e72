#include "engine/side_copy.h"

#include <memory>
#include <new>

namespace mivetrak {

namespace {
constexpr uint32_t kCopyChunk = 64 * 1024;
}  // namespace

bool WriteSideCopy(FileSystem& files, File& source, const std::string& target,
                   const SystemTime& lastWrite, SystemError& error) {
    std::unique_ptr<File> copy =
        files.OpenFile(target, FileOpenMode::CreateNewWriteShareRead, error);
    if (!copy) return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyChunk]);
    if (!buffer) {
        error.code = kErrorOutOfMemory;
        return false;
    }
    if (!source.SeekToStart()) {
        error.code = kErrorReadFault;
        return false;
    }
    for (;;) {
        uint32_t got = 0;
        if (!source.Read(buffer.get(), kCopyChunk, got, error)) return false;
        if (got == 0) break;
        if (!copy->Write(buffer.get(), got, error)) return false;
    }
    // The copy carries the server's time into the folder, where the next run compares it again.
    copy->SetTimes(nullptr, lastWrite);
    // A copy is not on disk until it has been flushed.
    if (copy->Flush()) return true;
    error.code = kErrorWriteFault;
    return false;
}

}  // namespace mivetrak
