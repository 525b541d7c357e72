#pragma once
// The signature check between the download and the installation: a database that the program's
// key does not vouch for is never installed.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/bytes_relay.h"
#include "engine/signature.h"
#include "net/transfer.h"
#include "platform/platform.h"

namespace mivetrak {

// The check of one download against the built-in key and the index's signature, fed with the
// file's bytes as the download writes them: they are hashed on a thread of their own while the
// download goes on, so that the check adds little more than the hash of the last chunk and the
// signature check to the update's time, and the file is never read a second time.
class DownloadSignatureCheck final : public ReceivedBytes {
public:
    // key: the built-in public key, none when the program has none (then no thread is started
    // and no byte is looked at). signature: the index's value, "" when it gives none.
    DownloadSignatureCheck(Platform& platform, const std::optional<P256PublicKey>& key,
                           const std::string& signature);

    void Written(const uint8_t* data, size_t size) override;

    // Once the whole file was written: true when it may be installed (the program has no key,
    // or the file carries the key's signature). Writes one log line with the verdict (and the
    // system's number when the cryptography failed), naming the file by url, where it came from.
    bool MayBeInstalled(const std::string& url);
    // After MayBeInstalled: the file's SHA-256 when the signature over it verified.
    const std::optional<Sha256Digest>& Digest() const { return digest_; }

private:
    // Feeds the verifier, on the relay's thread.
    class VerifierFeed final : public ReceivedBytes {
    public:
        explicit VerifierFeed(SignatureVerifier& verifier) : verifier_(verifier) {}
        void Written(const uint8_t* data, size_t size) override { verifier_.Feed(data, size); }

    private:
        SignatureVerifier& verifier_;
    };

    Platform& platform_;
    std::string signature_;
    SignatureVerifier verifier_;
    VerifierFeed feed_;
    std::optional<Sha256Digest> digest_;
    // Last, so that its thread has ended before the verifier goes.
    BytesRelay relay_;
};

}  // namespace mivetrak
