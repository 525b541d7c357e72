#pragma once
// Whether a downloaded database carries the maker's signature: the public key built into the
// program and the index's signature value parsed, and the file's bytes checked as they are read.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/crypto.h"

namespace mivetrak {

// Exactly 128 hex digits in any case and nothing else (no blanks, no prefix): X then Y of the
// key, r then s of the signature, 32 big-endian bytes each. None for anything else.
std::optional<P256PublicKey> ParsePublicKey(std::string_view text);
std::optional<P256Signature> ParseSignature(std::string_view text);

enum class SignatureVerdict {
    NotChecked,     // the program has no key built in: any signature is ignored
    Good,           // the key's signature over the file's SHA-256
    Missing,        // the index gives no signature
    Malformed,      // the index's signature is not 128 hex digits
    DoesNotVerify,  // a signature, but not the key's over these bytes
    CouldNotCheck,  // the system's cryptography failed; nothing is known about the file
};

struct SignatureCheck {
    SignatureVerdict verdict = SignatureVerdict::NotChecked;
    // The system's answer behind DoesNotVerify and CouldNotCheck, for the log.
    CryptoOutcome detail;
    // The file's SHA-256, once it was computed.
    std::optional<Sha256Digest> digest;
};

// Checks one file. Feed it the file's bytes in order, in chunks of any size, then ask Finish.
class SignatureVerifier {
public:
    // key: the built-in public key, none when the program has none. signatureText: the index's
    // value, "" when it gives none.
    SignatureVerifier(Crypto& crypto, const std::optional<P256PublicKey>& key,
                      std::string_view signatureText);

    // False once the verdict no longer depends on the bytes (no key, no usable signature, a
    // failed hash): the caller may stop reading.
    bool WantsBytes() const { return !settled_.has_value(); }
    void Feed(const uint8_t* data, size_t size);
    // The verdict; asking again gives the same answer.
    SignatureCheck Finish();

private:
    void Settle(SignatureVerdict verdict, const CryptoOutcome& detail = {});

    Crypto& crypto_;
    P256PublicKey key_;
    P256Signature signature_;
    std::unique_ptr<Sha256Hash> hash_;
    std::optional<SignatureCheck> settled_;
};

}  // namespace mivetrak
