#pragma once
// The Windows Internet client library as the portable logic sees it: connected state, probes,
// dialling and synchronous HTTP and FTP transfers on opaque handles. Every call that can fail on
// the network or for lack of a resource leaves the library's or the system's error number in its
// SystemError, so that the log can say why a step failed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/system_error.h"
#include "platform/types.h"

namespace mivetrak {

struct InternetTag;
using InternetHandle = InternetTag*;  // HINTERNET; null = none

enum class InternetService : uint32_t { Ftp = 1, Http = 3 };

// HttpQueryInfoA queries used by the program.
constexpr uint32_t kHttpQueryContentLength = 5;
constexpr uint32_t kHttpQueryLastModified = 11;
constexpr uint32_t kHttpQueryStatusCode = 19;
constexpr uint32_t kHttpQueryContentEncoding = 29;
constexpr uint32_t kHttpQueryLocation = 33;

constexpr uint32_t kInternetFlagReload = 0x80000000u;
constexpr uint32_t kInternetFlagNoCacheWrite = 0x04000000u;
constexpr uint32_t kInternetFlagKeepConnection = 0x00400000u;
constexpr uint32_t kInternetFlagNoAutoRedirect = 0x00200000u;
constexpr uint32_t kInternetFlagSecure = 0x00800000u;
constexpr uint32_t kInternetFlagResynchronize = 0x00000800u;
constexpr uint32_t kInternetFlagNeedFile = 0x00000010u;

constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kErrorInternetTimeout = 12002;
constexpr uint32_t kErrorInternetIncorrectPassword = 12014;
constexpr uint32_t kErrorInternetForceRetry = 12032;
// The errors with which the library refuses a server's certificate or a secure connection.
constexpr uint32_t kErrorInternetSecCertDateInvalid = 12037;
constexpr uint32_t kErrorInternetSecCertCnInvalid = 12038;
constexpr uint32_t kErrorInternetClientAuthCertNeeded = 12044;
constexpr uint32_t kErrorInternetInvalidCa = 12045;
constexpr uint32_t kErrorInternetSecCertErrors = 12055;
constexpr uint32_t kErrorInternetSecCertNoRev = 12056;
constexpr uint32_t kErrorInternetSecCertRevFailed = 12057;
constexpr uint32_t kErrorInternetSecurityChannelError = 12157;
constexpr uint32_t kErrorInternetSecInvalidCert = 12169;
constexpr uint32_t kErrorInternetSecCertRevoked = 12170;
constexpr uint32_t kErrorInternetFailedDueToSecurityCheck = 12171;
constexpr uint32_t kErrorDialogFlags = 7;
constexpr uint32_t kAutodialForceOnline = 1;
constexpr uint32_t kFlagIccForceConnection = 1;

// What GetVersionExA reports that the connection test reads.
struct OsVersion {
    uint32_t platformId = 0;
    uint32_t majorVersion = 0;
};

// The proxy that a root sends its transfers through, as the library read the system's settings.
struct ProxySettings {
    bool enabled = false;  // INTERNET_OPEN_TYPE_PROXY: transfers go through the servers below
    // "host:port" for every scheme, or entries "scheme=host:port", apart by ';' or blanks.
    std::string servers;
    // The hosts reached without the proxy, apart by ';' or blanks: "<local>" stands for every
    // name without a dot, and '*' for any run of characters.
    std::string bypass;
};

class Internet {
public:
    virtual ~Internet() = default;

    // Connected state. HasConnectedStateEx looks InternetGetConnectedStateExA up by name in the
    // already loaded Internet library.
    virtual bool HasConnectedStateEx() = 0;
    virtual bool ConnectedStateEx(uint32_t& flags) = 0;  // 260-byte name buffer, reserved 0
    virtual bool ConnectedState(uint32_t& flags) = 0;
    // GetVersionExA with a record of recordSize bytes (156 extended, 148 basic).
    virtual bool QueryOsVersion(uint32_t recordSize, OsVersion& out) = 0;
    // InternetCheckConnectionA(url or null, FLAG_ICC_FORCE_CONNECTION, 0).
    virtual bool CheckConnectionTo(const char* url) = 0;
    // InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, owner), or, when nobody is there to answer
    // the dialling dialog (unattended), INTERNET_AUTODIAL_FORCE_UNATTENDED: that fails where it
    // would need the user rather than wait for one.
    virtual bool Autodial(WindowHandle owner, bool unattended, SystemError& error) = 0;
    // InternetDial(owner, name, the same flag as Autodial, connectionId, 0): false when it did
    // not bring the machine on line, with its error code.
    virtual bool DialConnection(WindowHandle owner, const std::string& name, bool unattended,
                                uintptr_t* connectionId, SystemError& error) = 0;

    // Transfers. Every handle returned must be given back to CloseInternetHandle.
    // Preconfigured proxy, synchronous.
    virtual InternetHandle OpenRoot(const std::string& agent, SystemError& error) = 0;
    virtual InternetHandle Connect(InternetHandle root, const std::string& host, uint16_t port,
                                   const std::string& user, const std::string& password,
                                   InternetService service, SystemError& error) = 0;
    // The connect, send and receive timeouts (INTERNET_OPTION_CONNECT_TIMEOUT, _SEND_TIMEOUT,
    // _RECEIVE_TIMEOUT) of a connection, set before its requests are opened: they inherit them.
    // The send and receive limit is an idle limit, the longest wait for the next bytes to go or
    // come. False when the library refused one of them.
    virtual bool SetTimeouts(InternetHandle connection, uint32_t connectMilliseconds,
                             uint32_t idleMilliseconds) = 0;
    virtual InternetHandle OpenHttpRequest(InternetHandle connection, const std::string& verb,
                                           const std::string& path, uint32_t flags,
                                           SystemError& error) = 0;
    // HttpSendRequestA with no headers and no body. Connecting to the server (the name lookup
    // and the connection itself) is given up once it has taken longer than the request's
    // connect timeout, also where the library does not keep that limit itself; the send then
    // fails with kErrorInternetTimeout.
    virtual bool SendHttpRequest(InternetHandle request, SystemError& error) = 0;
    // HttpQueryInfoA as text into a buffer of bufferLength bytes (the length offered). Headers
    // are only ever asked for as text: the library's own conversion of a date crashes on some
    // texts a server may send.
    virtual bool QueryInfoText(InternetHandle request, uint32_t query, uint32_t bufferLength,
                               std::string& out) = 0;
    // InternetQueryOptionA(root, INTERNET_OPTION_PROXY): the proxy settings that the root was
    // opened with. False when the library cannot say.
    virtual bool QueryProxy(InternetHandle root, ProxySettings& out) = 0;
    // InternetErrorDlg(desktop window, request, error, flags, no data).
    virtual uint32_t ErrorDialog(InternetHandle request, uint32_t error, uint32_t flags) = 0;
    virtual InternetHandle OpenFtpFile(InternetHandle connection, const std::string& path,
                                       uint32_t access, uint32_t flags, SystemError& error) = 0;
    // InternetReadFile: false on failure; bytesRead 0 means the end of the data.
    virtual bool ReadData(InternetHandle handle, void* buffer, uint32_t toRead, uint32_t& bytesRead,
                          SystemError& error) = 0;
    virtual void CloseInternetHandle(InternetHandle handle) = 0;
};

}  // namespace mivetrak
