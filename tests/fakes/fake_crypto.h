#pragma once
// An honest stand-in for the system's cryptography in unit tests. It is no real cryptography,
// but its answers depend on the bytes and the key as the real ones do, so that a changed byte or
// another key really fails.
//   Digest(bytes)   64-bit FNV-1a of the bytes, repeated over the 32 bytes: a changed byte always
//                   changes it, the chunking never does.
//   Sign(key, d)    the one signature that verifies for that key and digest: byte i is
//                   d[i % 32] ^ key.xy[i].
//   SignatureText(key, bytes)  that signature over Digest(bytes) as the index gives it.
//   Fail(step, o)   that step answers o from then on.
//   BytesHashed()   the bytes fed to all hashes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/crypto.h"

namespace mivetrak {

// Two public keys for the tests (any 64 bytes are a key to the fake): the maker's and another.
constexpr char kTestMakerKey[] =
    "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296"
    "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5";
constexpr char kTestOtherKey[] =
    "7cf27b188d034f7e8a52380304b51ac3c08969e277f21b35a60b48fc47669978"
    "07775510db8ed040293d9ac69f7430dbba7dade63ce982299e04b79d227873d1";

enum class FakeCryptoStep { StartHash, HashData, FinishHash, Verify };

class FakeCrypto : public Crypto {
public:
    static Sha256Digest Digest(const std::string& bytes) {
        return DigestOf(Mix(kStart, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }

    static P256Signature Sign(const P256PublicKey& key, const Sha256Digest& digest) {
        P256Signature signature;
        for (size_t i = 0; i < signature.rs.size(); ++i) {
            signature.rs[i] = static_cast<uint8_t>(digest[i % digest.size()] ^ key.xy[i]);
        }
        return signature;
    }

    static std::string SignatureText(const P256PublicKey& key, const std::string& bytes) {
        std::string text;
        for (const uint8_t byte : Sign(key, Digest(bytes)).rs) {
            text += "0123456789abcdef"[byte >> 4];
            text += "0123456789abcdef"[byte & 15];
        }
        return text;
    }

    void Fail(FakeCryptoStep step, const CryptoOutcome& outcome) {
        failingStep_ = step;
        failure_ = outcome;
    }
    uint64_t BytesHashed() const { return bytesHashed_; }

    CryptoOutcome StartSha256(std::unique_ptr<Sha256Hash>& hash) override {
        hash.reset();
        if (failingStep_ == FakeCryptoStep::StartHash) return failure_;
        hash = std::make_unique<Hash>(*this);
        return {};
    }

    CryptoOutcome VerifyP256(const P256PublicKey& key, const Sha256Digest& digest,
                             const P256Signature& signature) override {
        if (failingStep_ == FakeCryptoStep::Verify) return failure_;
        if (signature.rs == Sign(key, digest).rs) return {};
        return {CryptoStatus::SignatureMismatch, 0xC000A000u, "BCryptVerifySignature"};
    }

private:
    static constexpr uint64_t kStart = 0xcbf29ce484222325ULL;

    static uint64_t Mix(uint64_t state, const uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) state = (state ^ data[i]) * 0x100000001b3ULL;
        return state;
    }

    static Sha256Digest DigestOf(uint64_t state) {
        Sha256Digest digest;
        for (size_t i = 0; i < digest.size(); ++i) {
            digest[i] = static_cast<uint8_t>(state >> (8 * (i % 8)));
        }
        return digest;
    }

    class Hash : public Sha256Hash {
    public:
        explicit Hash(FakeCrypto& owner) : owner_(owner) {}
        CryptoOutcome Update(const uint8_t* data, size_t size) override {
            if (owner_.failingStep_ == FakeCryptoStep::HashData) return owner_.failure_;
            state_ = Mix(state_, data, size);
            owner_.bytesHashed_ += size;
            return {};
        }
        CryptoOutcome Finish(Sha256Digest& digest) override {
            if (owner_.failingStep_ == FakeCryptoStep::FinishHash) return owner_.failure_;
            digest = DigestOf(state_);
            return {};
        }

    private:
        FakeCrypto& owner_;
        uint64_t state_ = kStart;
    };

    std::optional<FakeCryptoStep> failingStep_;
    CryptoOutcome failure_;
    uint64_t bytesHashed_ = 0;
};

}  // namespace mivetrak
