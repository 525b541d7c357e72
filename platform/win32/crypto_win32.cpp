// SHA-256 and ECDSA P-256 verification on Windows CNG, every handle owned.
#include "platform/win32/crypto_win32.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/win32/bcrypt_library.h"

namespace mivetrak {

namespace {

// What BCryptVerifySignature answers for a well-formed signature that does not verify.
constexpr NTSTATUS kStatusInvalidSignature = static_cast<NTSTATUS>(0xC000A000UL);
constexpr ULONG kP256CoordinateBytes = 32;

CryptoOutcome CallFailed(const char* operation, NTSTATUS status) {
    return {CryptoStatus::CallFailed, static_cast<uint32_t>(status), operation};
}

CryptoOutcome OpenProvider(const BcryptLibrary& library, const wchar_t* algorithm,
                           BcryptHandle& provider) {
    const NTSTATUS status =
        library.OpenAlgorithmProvider(provider.Receive(), algorithm, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) return CallFailed("BCryptOpenAlgorithmProvider", status);
    return {};
}

// CNG declares its input buffers without const; it only reads them.
PUCHAR InputBytes(const uint8_t* bytes) { return const_cast<PUCHAR>(bytes); }

class Win32Sha256Hash final : public Sha256Hash {
public:
    explicit Win32Sha256Hash(std::shared_ptr<const BcryptLibrary> library)
        : library_(std::move(library)),
          provider_(*library_, &ReleaseAlgorithmProvider),
          hash_(*library_, &ReleaseHash) {}

    // The hash object's memory is sized once here, as the provider asks.
    CryptoOutcome Start() {
        const CryptoOutcome opened = OpenProvider(*library_, BCRYPT_SHA256_ALGORITHM, provider_);
        if (!opened.Ok()) return opened;
        DWORD objectLength = 0;
        ULONG written = 0;
        NTSTATUS status = library_->GetProperty(provider_.Get(), BCRYPT_OBJECT_LENGTH,
                                                reinterpret_cast<PUCHAR>(&objectLength),
                                                sizeof objectLength, &written, 0);
        if (!BCRYPT_SUCCESS(status)) return CallFailed("BCryptGetProperty", status);
        object_.resize(objectLength);
        status = library_->CreateHash(provider_.Get(), hash_.Receive(), object_.data(),
                                      objectLength, nullptr, 0, 0);
        if (!BCRYPT_SUCCESS(status)) return CallFailed("BCryptCreateHash", status);
        return {};
    }

    CryptoOutcome Update(const uint8_t* data, size_t size) override {
        while (size > 0) {
            const ULONG piece =
                static_cast<ULONG>(std::min<size_t>(size, std::numeric_limits<ULONG>::max()));
            const NTSTATUS status = library_->HashData(hash_.Get(), InputBytes(data), piece, 0);
            if (!BCRYPT_SUCCESS(status)) return CallFailed("BCryptHashData", status);
            data += piece;
            size -= piece;
        }
        return {};
    }

    CryptoOutcome Finish(Sha256Digest& digest) override {
        const NTSTATUS status =
            library_->FinishHash(hash_.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
        if (!BCRYPT_SUCCESS(status)) return CallFailed("BCryptFinishHash", status);
        return {};
    }

private:
    // Declared so that the hash goes before its memory and the memory before the provider.
    std::shared_ptr<const BcryptLibrary> library_;
    BcryptHandle provider_;
    std::vector<UCHAR> object_;
    BcryptHandle hash_;
};

class Win32Crypto final : public Crypto {
public:
    CryptoOutcome StartSha256(std::unique_ptr<Sha256Hash>& hash) override {
        hash.reset();
        CryptoOutcome outcome;
        std::shared_ptr<const BcryptLibrary> library = Library(outcome);
        if (!library) return outcome;
        auto made = std::make_unique<Win32Sha256Hash>(std::move(library));
        outcome = made->Start();
        if (outcome.Ok()) hash = std::move(made);
        return outcome;
    }

    CryptoOutcome VerifyP256(const P256PublicKey& key, const Sha256Digest& digest,
                             const P256Signature& signature) override {
        CryptoOutcome outcome;
        const std::shared_ptr<const BcryptLibrary> library = Library(outcome);
        if (!library) return outcome;
        BcryptHandle provider(*library, &ReleaseAlgorithmProvider);
        outcome = OpenProvider(*library, BCRYPT_ECDSA_P256_ALGORITHM, provider);
        if (!outcome.Ok()) return outcome;

        const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kP256CoordinateBytes};
        UCHAR blob[sizeof header + sizeof key.xy];
        std::memcpy(blob, &header, sizeof header);
        std::memcpy(blob + sizeof header, key.xy.data(), sizeof key.xy);
        // Declared after the provider: the key is destroyed before its provider is closed.
        BcryptHandle importedKey(*library, &ReleaseKey);
        NTSTATUS status = library->ImportKeyPair(provider.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                                 importedKey.Receive(), blob, sizeof blob, 0);
        if (!BCRYPT_SUCCESS(status)) return CallFailed("BCryptImportKeyPair", status);

        status = library->VerifySignature(importedKey.Get(), nullptr, InputBytes(digest.data()),
                                          static_cast<ULONG>(digest.size()),
                                          InputBytes(signature.rs.data()),
                                          static_cast<ULONG>(signature.rs.size()), 0);
        if (status == kStatusInvalidSignature) {
            return {CryptoStatus::SignatureMismatch, static_cast<uint32_t>(status),
                    "BCryptVerifySignature"};
        }
        if (!BCRYPT_SUCCESS(status)) return CallFailed("BCryptVerifySignature", status);
        return {};
    }

private:
    // The library, loaded by the first call; on failure null and why.
    std::shared_ptr<const BcryptLibrary> Library(CryptoOutcome& failure) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!loadAttempted_) {
            loadAttempted_ = true;
            library_ = BcryptLibrary::Load(loadFailure_);
        }
        if (!library_) failure = loadFailure_;
        return library_;
    }

    std::mutex mutex_;
    bool loadAttempted_ = false;
    std::shared_ptr<const BcryptLibrary> library_;
    CryptoOutcome loadFailure_;
};

}  // namespace

std::unique_ptr<Crypto> CreateWin32Crypto() { return std::make_unique<Win32Crypto>(); }

}  // namespace mivetrak
