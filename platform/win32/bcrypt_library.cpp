// Loading CNG from the system folder and looking up the functions the program calls.
#include "platform/win32/bcrypt_library.h"

#include "platform/win32/library_loading.h"

namespace mivetrak {

namespace {

template <typename Function>
bool FindFunction(HMODULE module, const char* name, Function& function) {
    const FARPROC found = GetProcAddress(module, name);
    if (found == nullptr) return false;
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    return true;
}

}  // namespace

std::shared_ptr<const BcryptLibrary> BcryptLibrary::Load(CryptoOutcome& failure) {
    const HMODULE module = LoadSystemLibrary("bcrypt.dll");
    if (module == nullptr) {
        failure = {CryptoStatus::Unavailable, GetLastError(), "LoadLibraryExA"};
        return nullptr;
    }
    std::shared_ptr<BcryptLibrary> library(new BcryptLibrary(module));
    const char* missing = nullptr;
    DWORD error = 0;
    const auto find = [&](const char* name, auto& function) {
        if (missing != nullptr || FindFunction(module, name, function)) return;
        missing = name;
        error = GetLastError();
    };
    find("BCryptOpenAlgorithmProvider", library->OpenAlgorithmProvider);
    find("BCryptCloseAlgorithmProvider", library->CloseAlgorithmProvider);
    find("BCryptGetProperty", library->GetProperty);
    find("BCryptCreateHash", library->CreateHash);
    find("BCryptHashData", library->HashData);
    find("BCryptFinishHash", library->FinishHash);
    find("BCryptDestroyHash", library->DestroyHash);
    find("BCryptImportKeyPair", library->ImportKeyPair);
    find("BCryptVerifySignature", library->VerifySignature);
    find("BCryptDestroyKey", library->DestroyKey);
    if (missing != nullptr) {
        failure = {CryptoStatus::Unavailable, error, missing};
        return nullptr;
    }
    return library;
}

void ReleaseAlgorithmProvider(const BcryptLibrary& library, void* handle) {
    library.CloseAlgorithmProvider(handle, 0);
}

void ReleaseHash(const BcryptLibrary& library, void* handle) { library.DestroyHash(handle); }

void ReleaseKey(const BcryptLibrary& library, void* handle) { library.DestroyKey(handle); }

}  // namespace mivetrak
