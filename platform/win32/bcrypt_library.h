#pragma once
// The system's CNG library (bcrypt.dll), loaded at run time from the system folder only, with the
// functions the program calls looked up by name, and an owner for the handles it gives out.
#include <windows.h>
// bcrypt.h needs the types of <windows.h>. Only its declarations are used: nothing links bcrypt.
#include <bcrypt.h>

#include <memory>

#include "platform/crypto.h"
#include "platform/win32/win32_handles.h"

namespace mivetrak {

class BcryptLibrary {
public:
    // The library with every function below, or null and failure saying which step went wrong.
    static std::shared_ptr<const BcryptLibrary> Load(CryptoOutcome& failure);

    decltype(&BCryptOpenAlgorithmProvider) OpenAlgorithmProvider = nullptr;
    decltype(&BCryptCloseAlgorithmProvider) CloseAlgorithmProvider = nullptr;
    decltype(&BCryptGetProperty) GetProperty = nullptr;
    decltype(&BCryptCreateHash) CreateHash = nullptr;
    decltype(&BCryptHashData) HashData = nullptr;
    decltype(&BCryptFinishHash) FinishHash = nullptr;
    decltype(&BCryptDestroyHash) DestroyHash = nullptr;
    decltype(&BCryptImportKeyPair) ImportKeyPair = nullptr;
    decltype(&BCryptVerifySignature) VerifySignature = nullptr;
    decltype(&BCryptDestroyKey) DestroyKey = nullptr;

private:
    explicit BcryptLibrary(HMODULE module) : module_(module) {}
    LoadedLibrary module_;
};

// A CNG handle (algorithm provider, hash or key: all are plain pointers) together with the call
// that releases it. The library must outlive it.
class BcryptHandle {
public:
    using Release = void (*)(const BcryptLibrary& library, void* handle);
    BcryptHandle(const BcryptLibrary& library, Release release)
        : library_(library), release_(release) {}
    ~BcryptHandle() {
        if (handle_ != nullptr) release_(library_, handle_);
    }
    BcryptHandle(const BcryptHandle&) = delete;
    BcryptHandle& operator=(const BcryptHandle&) = delete;

    void* Get() const { return handle_; }
    // Where a call that makes the handle stores it; only while the owner is still empty.
    void** Receive() { return &handle_; }

private:
    const BcryptLibrary& library_;
    Release release_;
    void* handle_ = nullptr;
};

void ReleaseAlgorithmProvider(const BcryptLibrary& library, void* handle);
void ReleaseHash(const BcryptLibrary& library, void* handle);
void ReleaseKey(const BcryptLibrary& library, void* handle);

}  // namespace mivetrak
