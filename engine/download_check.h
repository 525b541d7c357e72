#pragma once
// The check between the download and the installation: in a program built with the maker's key,
// the bytes must have the SHA-256 that the maker's release statement gives.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/bytes_relay.h"
#include "net/transfer.h"
#include "platform/platform.h"

namespace mivetrak {

// The check of one download, fed with the file's bytes as the download writes them: they are
// hashed on a thread of their own while the download goes on, so that the check adds little
// more than the hash of the last chunk to the update's time, and the file is never read a
// second time.
class DownloadDigestCheck final : public ReceivedBytes {
public:
    // expected: the statement's SHA-256; none in a program without a key (then no thread is
    // started and no byte is looked at).
    DownloadDigestCheck(Platform& platform, const std::optional<Sha256Digest>& expected);

    void Written(const uint8_t* data, size_t size) override;

    // Once the whole file was written: true when it may be installed (the program has no key,
    // or the bytes are the released ones). Writes one log line with the verdict, naming the file
    // by url, where it came from.
    bool MayBeInstalled(const std::string& url);

private:
    // Feeds the hash, on the relay's thread; a failure of the system's hashing is kept.
    class HashFeed final : public ReceivedBytes {
    public:
        void Written(const uint8_t* data, size_t size) override;
        std::unique_ptr<Sha256Hash> hash;
        CryptoOutcome outcome;
    };

    // Whether the bytes are the released ones; sentence says so, or why not, for the log.
    bool Released(const std::string& database, std::string& sentence);

    Platform& platform_;
    std::optional<Sha256Digest> expected_;
    HashFeed feed_;
    // Last, so that its thread has ended before the hash goes.
    BytesRelay relay_;
};

}  // namespace mivetrak
