// The Internet interface on WinInet: synchronous handles, ANSI entry points.
#include "platform/win32/internet_win32.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <vector>

#include "platform/win32/bounded_send.h"
#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

// The conversion of the window handle, beside the Internet handle's.
using ::mivetrak::ToWin32;
HINTERNET ToWin32(InternetHandle handle) { return reinterpret_cast<HINTERNET>(handle); }
InternetHandle FromWin32(HINTERNET handle) { return reinterpret_cast<InternetHandle>(handle); }

using ConnectedStateExFunction = BOOL(WINAPI*)(LPDWORD flags, LPSTR name, DWORD nameLength,
                                               DWORD reserved);

// InternetGetConnectedStateExA, looked up in the Internet library this program already loaded
// (older versions of the library lack it); null when it is not there.
ConnectedStateExFunction FindConnectedStateEx() {
    HMODULE module = GetModuleHandleA("Wininet.dll");
    if (module == nullptr) return nullptr;
    FARPROC proc = GetProcAddress(module, "InternetGetConnectedStateExA");
    if (proc == nullptr) return nullptr;
    ConnectedStateExFunction function = nullptr;
    static_assert(sizeof(function) == sizeof(proc), "function pointers of one size");
    std::memcpy(&function, &proc, sizeof(function));
    return function;
}

constexpr DWORD kConnectionNameLength = 260;

// Dial with the system's dialog, or, with nobody there, fail where the dialog would be needed.
DWORD DialFlags(bool unattended) {
    return unattended ? INTERNET_AUTODIAL_FORCE_UNATTENDED : INTERNET_AUTODIAL_FORCE_ONLINE;
}

// The error number of the call just made when it failed (its result false), else 0.
bool Report(bool ok, SystemError& error) {
    error.code = ok ? 0 : GetLastError();
    return ok;
}

InternetHandle Report(HINTERNET handle, SystemError& error) {
    Report(handle != nullptr, error);
    return FromWin32(handle);
}

// A text that the library hands back, or "" for none.
std::string TextOf(const void* text) {
    return text == nullptr ? std::string() : std::string(static_cast<const char*>(text));
}

class WinInetInternet final : public Internet {
public:
    bool HasConnectedStateEx() override { return FindConnectedStateEx() != nullptr; }

    bool ConnectedStateEx(uint32_t& flags) override {
        ConnectedStateExFunction function = FindConnectedStateEx();
        if (function == nullptr) return false;
        char name[kConnectionNameLength] = {};
        DWORD value = flags;
        const BOOL ok = function(&value, name, kConnectionNameLength, 0);
        flags = value;
        return ok != FALSE;
    }

    bool ConnectedState(uint32_t& flags) override {
        DWORD value = flags;
        const BOOL ok = InternetGetConnectedState(&value, 0);
        flags = value;
        return ok != FALSE;
    }

    bool QueryOsVersion(uint32_t recordSize, OsVersion& out) override {
        // The extended record is the basic one with more members at its end; the size field
        // tells the system which of the two it was given.
        OSVERSIONINFOEXA record;
        if (recordSize > sizeof(record)) return false;
        std::memset(&record, 0, sizeof(record));
        record.dwOSVersionInfoSize = recordSize;
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record))) return false;
        out.platformId = record.dwPlatformId;
        out.majorVersion = record.dwMajorVersion;
        return true;
    }

    bool CheckConnectionTo(const char* url) override {
        return InternetCheckConnectionA(url, FLAG_ICC_FORCE_CONNECTION, 0) != FALSE;
    }

    bool Autodial(WindowHandle owner, bool unattended, SystemError& error) override {
        return Report(InternetAutodial(DialFlags(unattended), ToWin32(owner)) != FALSE, error);
    }

    bool DialConnection(WindowHandle owner, const std::string& name, bool unattended,
                        uintptr_t* connectionId, SystemError& error) override {
        std::vector<char> text(name.begin(), name.end());
        text.push_back('\0');
        DWORD_PTR id = 0;
        const DWORD result =
            InternetDialA(ToWin32(owner), text.data(), DialFlags(unattended), &id, 0);
        if (connectionId != nullptr) *connectionId = static_cast<uintptr_t>(id);
        error.code = result;
        return result == ERROR_SUCCESS;
    }

    InternetHandle OpenRoot(const std::string& agent, SystemError& error) override {
        return Report(
            InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0), error);
    }

    InternetHandle Connect(InternetHandle root, const std::string& host, uint16_t port,
                           const std::string& user, const std::string& password,
                           InternetService service, SystemError& error) override {
        return Report(InternetConnectA(ToWin32(root), host.c_str(), port, user.c_str(),
                                       password.c_str(), static_cast<DWORD>(service), 0, 0),
                      error);
    }

    bool SetTimeouts(InternetHandle connection, uint32_t connectMilliseconds,
                     uint32_t idleMilliseconds) override {
        DWORD connect = connectMilliseconds;
        DWORD idle = idleMilliseconds;
        const HINTERNET handle = ToWin32(connection);
        // Each is tried, whether or not the one before was taken.
        const bool connectSet = InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT,
                                                   &connect, sizeof connect) != FALSE;
        const bool sendSet =
            InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &idle, sizeof idle) != FALSE;
        const bool receiveSet = InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &idle,
                                                   sizeof idle) != FALSE;
        return connectSet && sendSet && receiveSet;
    }

    InternetHandle OpenHttpRequest(InternetHandle connection, const std::string& verb,
                                   const std::string& path, uint32_t flags,
                                   SystemError& error) override {
        // A context other than 0, so that the request reports its connecting to the send.
        const HINTERNET request =
            HttpOpenRequestA(ToWin32(connection), verb.c_str(), path.c_str(), nullptr, nullptr,
                             nullptr, flags, kReportingContext);
        if (request != nullptr) FollowConnecting(request);
        return Report(request, error);
    }

    bool SendHttpRequest(InternetHandle request, SystemError& error) override {
        DWORD code = 0;
        const bool sent = SendWithConnectLimit(ToWin32(request), code);
        error.code = sent ? 0 : code;
        return sent;
    }

    bool QueryInfoText(InternetHandle request, uint32_t query, uint32_t bufferLength,
                       std::string& out) override {
        // One byte more than offered, so the text always ends in a zero.
        std::vector<char> buffer(static_cast<size_t>(bufferLength) + 1, '\0');
        DWORD length = bufferLength;
        DWORD index = 0;
        if (!HttpQueryInfoA(ToWin32(request), query, buffer.data(), &length, &index)) {
            return false;
        }
        if (length > bufferLength) length = bufferLength;
        out.assign(buffer.data(), strnlen(buffer.data(), length));
        return true;
    }

    bool QueryProxy(InternetHandle root, ProxySettings& out) override {
        DWORD size = 0;
        InternetQueryOptionA(ToWin32(root), INTERNET_OPTION_PROXY, nullptr, &size);
        if (size < sizeof(INTERNET_PROXY_INFO)) return false;
        // The record, and the texts it points to behind it, in storage aligned for the record.
        std::vector<INTERNET_PROXY_INFO> buffer(size / sizeof(INTERNET_PROXY_INFO) + 1);
        size = static_cast<DWORD>(buffer.size() * sizeof(INTERNET_PROXY_INFO));
        if (!InternetQueryOptionA(ToWin32(root), INTERNET_OPTION_PROXY, buffer.data(), &size)) {
            return false;
        }
        const INTERNET_PROXY_INFO& info = buffer.front();
        out.enabled = info.dwAccessType == INTERNET_OPEN_TYPE_PROXY;
        out.servers = TextOf(info.lpszProxy);
        out.bypass = TextOf(info.lpszProxyBypass);
        return true;
    }

    uint32_t ErrorDialog(InternetHandle request, uint32_t error, uint32_t flags) override {
        return InternetErrorDlg(GetDesktopWindow(), ToWin32(request), error, flags, nullptr);
    }

    InternetHandle OpenFtpFile(InternetHandle connection, const std::string& path, uint32_t access,
                               uint32_t flags, SystemError& error) override {
        return Report(FtpOpenFileA(ToWin32(connection), path.c_str(), access, flags, 0), error);
    }

    bool ReadData(InternetHandle handle, void* buffer, uint32_t toRead, uint32_t& bytesRead,
                  SystemError& error) override {
        DWORD read = 0;
        const BOOL ok = InternetReadFile(ToWin32(handle), buffer, toRead, &read);
        Report(ok != FALSE, error);
        bytesRead = ok ? static_cast<uint32_t>(read) : 0;
        return ok != FALSE;
    }

    void CloseInternetHandle(InternetHandle handle) override {
        if (handle != nullptr) InternetCloseHandle(ToWin32(handle));
    }
};

}  // namespace

std::unique_ptr<Internet> CreateWin32Internet() { return std::make_unique<WinInetInternet>(); }

}  // namespace mivetrak
