#pragma once
// Records shared by the remote query and the download.
#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace mivetrak {

struct RemoteFileInfo {
    uint32_t contentLength = 0;
    SystemTime lastModified;
};

struct TransferProgress {
    uint32_t totalBytes = 0;  // bytes written to the local file so far
    uint32_t rate = 0;        // bytes per second over the last completed window of 100 blocks
};

// Called every 20 blocks of a download; returns nonzero to go on, 0 to stop.
using ProgressCallback = int (*)(void* userData, const TransferProgress* progress);

// Sees the body of a download as it is written to the local file: every byte written, once, in
// order, right after it was written.
class ReceivedBytes {
public:
    virtual ~ReceivedBytes() = default;
    virtual void Written(const uint8_t* data, size_t size) = 0;
};

// The course of the session's transfer. Nothing in the program holds a transfer; the accessors
// would wait while it is Held.
enum class TransferState { Idle, Held, Failed, Running, Done };

}  // namespace mivetrak
