// The verdict on a downloaded file's signature.
#include "engine/signature.h"

#include <array>

namespace mivetrak {

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexBytes(std::string_view text, std::array<uint8_t, 64>& bytes) {
    if (text.size() != bytes.size() * 2) return false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int high = HexDigitValue(text[2 * i]);
        const int low = HexDigitValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return true;
}

}  // namespace

std::optional<P256PublicKey> ParsePublicKey(std::string_view text) {
    P256PublicKey key;
    if (!ParseHexBytes(text, key.xy)) return std::nullopt;
    return key;
}

std::optional<P256Signature> ParseSignature(std::string_view text) {
    P256Signature signature;
    if (!ParseHexBytes(text, signature.rs)) return std::nullopt;
    return signature;
}

SignatureVerifier::SignatureVerifier(Crypto& crypto, const std::optional<P256PublicKey>& key,
                                     std::string_view signatureText)
    : crypto_(crypto) {
    if (!key) {
        Settle(SignatureVerdict::NotChecked);
        return;
    }
    key_ = *key;
    if (signatureText.empty()) {
        Settle(SignatureVerdict::Missing);
        return;
    }
    const std::optional<P256Signature> signature = ParseSignature(signatureText);
    if (!signature) {
        Settle(SignatureVerdict::Malformed);
        return;
    }
    signature_ = *signature;
    const CryptoOutcome started = crypto_.StartSha256(hash_);
    if (!started.Ok()) Settle(SignatureVerdict::CouldNotCheck, started);
}

void SignatureVerifier::Feed(const uint8_t* data, size_t size) {
    if (settled_) return;
    const CryptoOutcome fed = hash_->Update(data, size);
    if (!fed.Ok()) Settle(SignatureVerdict::CouldNotCheck, fed);
}

SignatureCheck SignatureVerifier::Finish() {
    if (settled_) return *settled_;
    Sha256Digest digest;
    const CryptoOutcome finished = hash_->Finish(digest);
    if (!finished.Ok()) {
        Settle(SignatureVerdict::CouldNotCheck, finished);
        return *settled_;
    }
    const CryptoOutcome verified = crypto_.VerifyP256(key_, digest, signature_);
    switch (verified.status) {
        case CryptoStatus::Ok:
            Settle(SignatureVerdict::Good);
            break;
        case CryptoStatus::SignatureMismatch:
            Settle(SignatureVerdict::DoesNotVerify, verified);
            break;
        case CryptoStatus::Unavailable:
        case CryptoStatus::CallFailed:
            Settle(SignatureVerdict::CouldNotCheck, verified);
            break;
    }
    settled_->digest = digest;
    return *settled_;
}

void SignatureVerifier::Settle(SignatureVerdict verdict, const CryptoOutcome& detail) {
    settled_ = SignatureCheck{verdict, detail, std::nullopt};
    // The computation is over; its memory and handles go now rather than with the verifier.
    hash_.reset();
}

}  // namespace mivetrak
