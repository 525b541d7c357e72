#include "engine/file_digest.h"

#include <memory>
#include <new>

namespace mivetrak {

namespace {
constexpr uint32_t kReadChunk = 64 * 1024;
}  // namespace

bool FileDigest(Platform& platform, const std::string& path, Sha256Digest& digest) {
    SystemError error;
    std::unique_ptr<File> file = platform.files.OpenFile(path, FileOpenMode::ReadShareRead, error);
    std::unique_ptr<Sha256Hash> hash;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kReadChunk]);
    if (!file || !buffer || !platform.crypto.StartSha256(hash).Ok()) return false;
    for (;;) {
        uint32_t got = 0;
        if (!file->Read(buffer.get(), kReadChunk, got, error)) return false;
        if (got == 0) break;
        if (!hash->Update(buffer.get(), got).Ok()) return false;
    }
    return hash->Finish(digest).Ok();
}

}  // namespace mivetrak
