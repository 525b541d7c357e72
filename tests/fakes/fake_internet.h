#pragma once
// A scripted, recording fake of the Internet interface.
//
// Scripting, in short:
//   FakeInternet net;
//   net.AddHttp("http://host/dir/file", FakeHttpResponse::Ok("body bytes", someTime));
//   net.AddHttp("http://host:8080/x", FakeHttpResponse::WithStatus(404));
//   FakeHttpResponse r = FakeHttpResponse::Ok(std::string(5000, 'x'), someTime);
//   r.statuses = {"401", "200"};   // one status per send; the last one repeats
//   r.failReadAt = 300;            // ReadData fails once 300 bytes have been delivered
//   r.sendError = 12002;           // the send fails with this error (a timeout, a cut)
//   net.AddHttp("http://host/auth", r);
//   net.errorDialogAnswers = {kErrorInternetForceRetry};
//   net.AddHttpHead("http://host/dir/file", FakeHttpResponse::WithStatus(405));
//   net.AddFtp("ftp://host/pub/file", FakeRemoteFile{"content"});
//   net.Fail(FakeInternet::Op::Connect);        // every Connect returns null
//   net.Fail(FakeInternet::Op::ReadData, 3);    // only the third ReadData fails
//
// Responses are found by the host and port given to Connect (the URL's port, or 80 / 443 / 21 when
// it names none) and the path given to OpenHttpRequest / OpenFtpFile (the URL's text after the
// slash that ends the host). A HEAD request is answered by the response that AddHttpHead gave
// for its URL, or else by the one for GET, and never delivers body bytes. An HTTP request for
// which nothing is scripted fails at SendHttpRequest, as a request to a host where nothing
// listens does (error 12029); an unscripted FTP path makes OpenFtpFile return null (error 12003,
// the server's refusal). A call failed by Fail() reports the number FailureErrorOf gives. A
// redirect is never followed by the fake: its status and Location reach the caller, as they do
// from the Internet library when a request is opened with INTERNET_FLAG_NO_AUTO_REDIRECT.
//
// Every call is recorded (Calls()) with its arguments, each handle close with the kind of handle
// it closed. The member functions are safe to call from several threads; the public scripting
// fields are plain data, so set them before the code under test runs (or from the onCall hook,
// which runs on the calling thread outside the fake's lock and may call back into the fake).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/internet.h"

namespace mivetrak {

// Body bytes served by a request or an FTP file handle.
struct FakeRemoteFile {
    std::string body;
    // ReadData fails (returns false) once this many bytes have been delivered, with readError
    // (by default WSAETIMEDOUT, as a read that waited too long fails).
    std::optional<size_t> failReadAt;
    // The connection ends early: after this many bytes every read returns 0 bytes (end of data).
    std::optional<size_t> endAt;
    // At most this many bytes per read (0: as many as asked), to imitate short reads.
    uint32_t maxChunk = 0;
    uint32_t readError = 10060;
};

struct FakeHttpResponse : FakeRemoteFile {
    // Status text reported after the first, second, ... send; the last one repeats. A status
    // query fails when the text is empty.
    std::vector<std::string> statuses{"200"};
    // Content-Length text; nullopt: header missing (the query fails).
    std::optional<std::string> contentLength;
    // Last-Modified text; nullopt: header missing (the query fails).
    std::optional<std::string> lastModified;
    // Location text, as sent; nullopt: header missing (the query fails).
    std::optional<std::string> location;
    // Content-Encoding text; nullopt: header missing (the query fails).
    std::optional<std::string> contentEncoding;
    // Every send fails with this error number (nothing reaches the server's answer).
    std::optional<uint32_t> sendError;

    // 200 with the body, its length as Content-Length and the given time as Last-Modified.
    static FakeHttpResponse Ok(std::string body, const SystemTime& lastModified);
    // The given status, no headers, empty body.
    static FakeHttpResponse WithStatus(int status);
};

class FakeInternet : public Internet {
public:
    enum class Op {
        HasConnectedStateEx,
        ConnectedStateEx,
        ConnectedState,
        QueryOsVersion,
        CheckConnectionTo,
        Autodial,
        DialConnection,
        OpenRoot,
        Connect,
        OpenHttpRequest,
        SendHttpRequest,
        QueryInfoText,
        QueryProxy,
        ErrorDialog,
        OpenFtpFile,
        ReadData,
        CloseInternetHandle,
        SetTimeouts,
    };

    // What kind of handle a value stands for.
    enum class Kind { None, Root, Connection, Request, FtpFile };

    // One recorded call. Fields that do not apply to the operation keep their defaults.
    struct Call {
        Op op = Op::OpenRoot;
        InternetHandle handle = nullptr;  // the handle the call works on (root for Connect, ...)
        InternetHandle result = nullptr;  // the handle an open returned
        Kind kind = Kind::None;           // CloseInternetHandle: kind of the handle closed
        std::string text;      // agent, host, request or FTP path, probe URL ("" for null), name
        std::string verb;      // OpenHttpRequest
        std::string user;      // Connect
        std::string password;  // Connect
        bool nullUrl = false;  // CheckConnectionTo(nullptr)
        uint32_t port = 0;     // Connect
        InternetService service = InternetService::Http;  // Connect
        uint32_t flags = 0;            // OpenHttpRequest, OpenFtpFile, ErrorDialog
        uint32_t access = 0;           // OpenFtpFile
        uint32_t query = 0;            // QueryInfoText
        uint32_t length = 0;           // QueryInfoText buffer length, ReadData size, version record
        uint32_t error = 0;            // ErrorDialog; the error number of a failed call
        WindowHandle owner = nullptr;  // Autodial, DialConnection
        bool unattended = false;       // Autodial, DialConnection
        bool ok = false;               // the boolean result, or a non-null handle
        uint32_t bytes = 0;            // ReadData: bytes delivered
        uint32_t connectTimeout = 0;   // SetTimeouts
        uint32_t idleTimeout = 0;      // SetTimeouts
    };

    FakeInternet() = default;

    // --- scripting -------------------------------------------------------------------------
    // Registers a response for an "http[s]://host[:port]/path" URL (replacing an earlier one).
    void AddHttp(const std::string& url, const FakeHttpResponse& response);
    // Registers how HEAD on an "http://host[:port]/path" URL is answered, when not as GET is.
    void AddHttpHead(const std::string& url, const FakeHttpResponse& response);
    // Registers a file for an "ftp://host[:port]/path" URL.
    void AddFtp(const std::string& url, const FakeRemoteFile& file);
    // Makes an operation fail: every call (nth 0), or only its nth call (1-based, counting every
    // call of that operation since construction).
    void Fail(Op op, int nth = 0);

    // Connected state and connectivity probes. All public so tests can set them directly.
    bool hasConnectedStateEx = true;
    bool connected = true;
    uint32_t connectionFlags = 0x12;               // LAN | proxy style flags reported on success
    std::set<uint32_t> versionFailsForRecordSize;  // GetVersionExA fails for these sizes
    OsVersion osVersion{2, 5};                     // Windows NT 5: no probes
    std::map<std::string, bool> probeResults;      // url ("" for null) -> result; default false
    bool autodialResult = true;
    uint32_t dialError = 0;             // InternetDial's result (0 = on line)
    uintptr_t dialConnectionId = 0x77;  // stored through the id pointer on a dial
    // The proxy settings that every root reports: by default a proxy for every URL.
    ProxySettings proxy{true, "proxy.test:3128", ""};
    // Answers of InternetErrorDlg, used in turn; when they run out, ERROR_CANCELLED (1223).
    std::vector<uint32_t> errorDialogAnswers;
    // Called after each call is recorded, outside the fake's lock.
    std::function<void(const Call&)> onCall;

    // --- inspection --------------------------------------------------------------------------
    std::vector<Call> Calls() const;
    std::vector<Call> CallsOf(Op op) const;
    size_t CountOf(Op op) const;
    // Handles opened and not closed yet.
    size_t OpenHandleCount() const;
    // A close of an unknown or already closed handle, or of null (each one counts).
    size_t BadCloseCount() const;
    // Number of SendHttpRequest calls made on requests for this URL's path.
    size_t SendCount(const std::string& url) const;

    // --- Internet ----------------------------------------------------------------------------
    bool HasConnectedStateEx() override;
    bool ConnectedStateEx(uint32_t& flags) override;
    bool ConnectedState(uint32_t& flags) override;
    bool QueryOsVersion(uint32_t recordSize, OsVersion& out) override;
    bool CheckConnectionTo(const char* url) override;
    bool Autodial(WindowHandle owner, bool unattended, SystemError& error) override;
    bool DialConnection(WindowHandle owner, const std::string& name, bool unattended,
                        uintptr_t* connectionId, SystemError& error) override;
    InternetHandle OpenRoot(const std::string& agent, SystemError& error) override;
    InternetHandle Connect(InternetHandle root, const std::string& host, uint16_t port,
                           const std::string& user, const std::string& password,
                           InternetService service, SystemError& error) override;
    bool SetTimeouts(InternetHandle connection, uint32_t connectMilliseconds,
                     uint32_t idleMilliseconds) override;
    InternetHandle OpenHttpRequest(InternetHandle connection, const std::string& verb,
                                   const std::string& path, uint32_t flags,
                                   SystemError& error) override;
    bool SendHttpRequest(InternetHandle request, SystemError& error) override;
    bool QueryInfoText(InternetHandle request, uint32_t query, uint32_t bufferLength,
                       std::string& out) override;
    bool QueryProxy(InternetHandle root, ProxySettings& out) override;
    uint32_t ErrorDialog(InternetHandle request, uint32_t error, uint32_t flags) override;
    InternetHandle OpenFtpFile(InternetHandle connection, const std::string& path, uint32_t access,
                               uint32_t flags, SystemError& error) override;
    bool ReadData(InternetHandle handle, void* buffer, uint32_t toRead, uint32_t& bytesRead,
                  SystemError& error) override;
    void CloseInternetHandle(InternetHandle handle) override;

private:
    struct Live {
        Kind kind = Kind::None;
        std::string host;  // connection and below
        uint32_t port = 0;
        InternetService service = InternetService::Http;
        std::string key;       // request / FTP file: the lookup key
        bool head = false;     // request: a HEAD, which has no body
        size_t sends = 0;      // request: sends made
        size_t delivered = 0;  // bytes read so far
    };

    static std::string KeyOf(const std::string& host, uint32_t port, const std::string& path);
    static std::string KeyOfUrl(const std::string& url, uint32_t defaultPort);
    // True when the current call of op is scripted to fail (counts the call). Lock held.
    bool ShouldFail(Op op);
    InternetHandle NewHandle(const Live& live);                     // lock held
    Live* Find(InternetHandle handle, Kind kind);                   // lock held
    const FakeHttpResponse* ResponseOf(const Live& request) const;  // lock held
    // One call of op: fill sets the call's arguments and outcome under the lock and returns what
    // the call returns; the call is then recorded, and the onCall hook runs on the calling thread
    // once the lock is released, so that it may call back into the fake.
    template <typename Fill>
    auto Perform(Op op, Fill fill);
    // The end of a call that opens a handle: ok and the error number follow from the handle got.
    static InternetHandle Opened(Call& call, SystemError& error);
    void ReadFrom(const FakeRemoteFile& file, Live& live, void* buffer, uint32_t toRead,
                  uint32_t& bytesRead, bool& ok, uint32_t& error);

    mutable std::mutex mutex_;
    std::map<std::string, FakeHttpResponse> http_;
    std::map<std::string, FakeHttpResponse> httpHead_;
    std::map<std::string, FakeRemoteFile> ftp_;
    std::map<Op, std::set<int>> failures_;  // 0 = always
    std::map<Op, int> callCounts_;
    std::map<InternetHandle, Live> live_;
    std::map<std::string, size_t> sendsByKey_;
    uintptr_t nextHandle_ = 0x1000;
    size_t dialogAnswersUsed_ = 0;
    size_t badCloses_ = 0;
    std::vector<Call> calls_;
};

const char* ToString(FakeInternet::Op op);

// The error number that a call made to fail by Fail() reports.
uint32_t FailureErrorOf(FakeInternet::Op op);

}  // namespace mivetrak
