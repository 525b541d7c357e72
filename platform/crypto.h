#pragma once
// The system's cryptography as the portable logic sees it: SHA-256 fed in chunks, and the check
// of an ECDSA P-256 signature over a digest against a public key.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace mivetrak {

using Sha256Digest = std::array<uint8_t, 32>;

// An uncompressed P-256 public point: X then Y, 32 big-endian bytes each.
struct P256PublicKey {
    std::array<uint8_t, 64> xy{};
};

// An ECDSA P-256 signature: r then s, 32 big-endian bytes each.
struct P256Signature {
    std::array<uint8_t, 64> rs{};
};

enum class CryptoStatus {
    Ok,
    // The system's provider, or one of its functions, could not be loaded: nothing was checked.
    Unavailable,
    // A call of the provider failed: nothing was checked.
    CallFailed,
    // Everything worked and the signature does not belong to this key and digest.
    SignatureMismatch,
};

// What one operation came to. For Unavailable, code is the system error of the failed load; for
// CallFailed, the status number (NTSTATUS) that the call returned. operation names the function
// that failed (a static text, "" on success), so that a log line can say which.
struct CryptoOutcome {
    CryptoStatus status = CryptoStatus::Ok;
    uint32_t code = 0;
    const char* operation = "";

    bool Ok() const { return status == CryptoStatus::Ok; }
};

// One SHA-256 computation. Its memory is fixed when it is made: feeding allocates nothing.
class Sha256Hash {
public:
    virtual ~Sha256Hash() = default;
    virtual CryptoOutcome Update(const uint8_t* data, size_t size) = 0;
    // Ends the computation; the hash takes no more data afterwards.
    virtual CryptoOutcome Finish(Sha256Digest& digest) = 0;
};

class Crypto {
public:
    virtual ~Crypto() = default;
    // A new computation in hash, or a failure and hash left empty.
    virtual CryptoOutcome StartSha256(std::unique_ptr<Sha256Hash>& hash) = 0;
    // Ok when the signature is the key's over the digest, SignatureMismatch when it is not.
    virtual CryptoOutcome VerifyP256(const P256PublicKey& key, const Sha256Digest& digest,
                                     const P256Signature& signature) = 0;
};

}  // namespace mivetrak
