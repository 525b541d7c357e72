#include "platform/win32/folder_hold.h"

#include <aclapi.h>

#include <vector>

#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

class Win32HeldFolder final : public HeldFolder {
public:
    explicit Win32HeldFolder(HANDLE handle) : handle_(handle) {}

private:
    KernelHandle handle_;
};

// A piece of this process's token (TokenUser, TokenOwner), or empty.
std::vector<BYTE> TokenPart(TOKEN_INFORMATION_CLASS part) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const KernelHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, part, nullptr, 0, &size);
    std::vector<BYTE> data(size);
    if (size == 0 || !GetTokenInformation(token, part, data.data(), size, &size)) return {};
    return data;
}

// Whether the folder's owner is this account: its user, or the owner its token gives what it
// makes (the Administrators group, for a process with administrator rights).
bool OwnedByThisAccount(HANDLE folder) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::vector<BYTE> user = TokenPart(TokenUser);
    const std::vector<BYTE> tokenOwner = TokenPart(TokenOwner);
    const bool owned =
        owner != nullptr &&
        ((!user.empty() &&
          EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid)) ||
         (!tokenOwner.empty() &&
          EqualSid(owner, reinterpret_cast<const TOKEN_OWNER*>(tokenOwner.data())->Owner)));
    LocalFree(descriptor);
    return owned;
}

}  // namespace

std::unique_ptr<HeldFolder> HoldFolderWin32(const std::string& path, FolderFacts& facts,
                                            SystemError& error) {
    // Listing rights make the hold count against a rename or a delete, which need the sharing
    // of deletion that this handle does not give.
    const HANDLE handle = CreateFileA(
        path.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error.code = GetLastError();
        return nullptr;
    }
    auto held = std::make_unique<Win32HeldFolder>(handle);
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        error.code = GetLastError();
        return nullptr;
    }
    // Wine tells a link by the attributes of its path rather than those of the open handle.
    const DWORD pathAttributes = GetFileAttributesA(path.c_str());
    const DWORD attributes =
        information.dwFileAttributes |
        (pathAttributes == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_REPARSE_POINT : pathAttributes);
    facts.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.ownedByThisAccount = OwnedByThisAccount(handle);
    error.code = 0;
    return held;
}

}  // namespace mivetrak
