// The Internet session on real WinInet under Wine, against the loopback HTTP and FTP servers of
// net_servers.py: remote queries, downloads on both roads, a body cut short, the status out,
// callbacks and stop points, and the autodial settings in the real registry.
//
// Every test runs on an Internet whose connection probes are refused without reaching the
// library, so that no traffic can leave the machine whatever the connection test decides.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/compiled_deployment.h"
#include "fakes/fake_log.h"
#include "net/internet_handle.h"
#include "net/internet_session.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

constexpr size_t kDbSize = 300000;
constexpr size_t kCutSize = 30000;
constexpr char kSettingsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string Database(size_t size = kDbSize) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return bytes;
}

// Forwards to the real Internet, except that connection probes never reach it.
class NoProbeInternet : public Internet {
public:
    explicit NoProbeInternet(Internet& real) : real_(real) {}
    int probes = 0;

    bool HasConnectedStateEx() override { return real_.HasConnectedStateEx(); }
    bool ConnectedStateEx(uint32_t& flags) override { return real_.ConnectedStateEx(flags); }
    bool ConnectedState(uint32_t& flags) override { return real_.ConnectedState(flags); }
    bool QueryOsVersion(uint32_t size, OsVersion& out) override {
        return real_.QueryOsVersion(size, out);
    }
    bool CheckConnectionTo(const char*) override {
        ++probes;
        return false;
    }
    bool Autodial(WindowHandle owner, bool unattended, SystemError& error) override {
        return real_.Autodial(owner, unattended, error);
    }
    bool DialConnection(WindowHandle owner, const std::string& name, bool unattended, uintptr_t* id,
                        SystemError& error) override {
        return real_.DialConnection(owner, name, unattended, id, error);
    }
    InternetHandle OpenRoot(const std::string& agent, SystemError& error) override {
        return real_.OpenRoot(agent, error);
    }
    InternetHandle Connect(InternetHandle root, const std::string& host, uint16_t port,
                           const std::string& user, const std::string& password,
                           InternetService service, SystemError& error) override {
        return real_.Connect(root, host, port, user, password, service, error);
    }
    bool SetTimeouts(InternetHandle connection, uint32_t connect, uint32_t idle) override {
        return real_.SetTimeouts(connection, connect, idle);
    }
    InternetHandle OpenHttpRequest(InternetHandle connection, const std::string& verb,
                                   const std::string& path, uint32_t flags,
                                   SystemError& error) override {
        return real_.OpenHttpRequest(connection, verb, path, flags, error);
    }
    bool SendHttpRequest(InternetHandle request, SystemError& error) override {
        return real_.SendHttpRequest(request, error);
    }
    bool QueryInfoText(InternetHandle request, uint32_t query, uint32_t length,
                       std::string& out) override {
        return real_.QueryInfoText(request, query, length, out);
    }
    bool QueryProxy(InternetHandle root, ProxySettings& out) override {
        return real_.QueryProxy(root, out);
    }
    uint32_t ErrorDialog(InternetHandle, uint32_t, uint32_t) override {
        ADD_FAILURE() << "no password dialog is expected in these tests";
        return ERROR_CANCELLED;
    }
    InternetHandle OpenFtpFile(InternetHandle connection, const std::string& path, uint32_t access,
                               uint32_t flags, SystemError& error) override {
        return real_.OpenFtpFile(connection, path, access, flags, error);
    }
    bool ReadData(InternetHandle handle, void* buffer, uint32_t toRead, uint32_t& bytesRead,
                  SystemError& error) override {
        return real_.ReadData(handle, buffer, toRead, bytesRead, error);
    }
    void CloseInternetHandle(InternetHandle handle) override { real_.CloseInternetHandle(handle); }

private:
    Internet& real_;
};

struct CallbackLog {
    std::vector<uint32_t> totals;
    size_t stopAt = 0;  // the call (1-based) that answers 0; 0: never
    static int Callback(void* userData, const TransferProgress* progress) {
        auto* self = static_cast<CallbackLog*>(userData);
        self->totals.push_back(progress->totalBytes);
        return self->totals.size() == self->stopAt ? 0 : 1;
    }
};

class NetIntegration : public ::testing::Test {
protected:
    void SetUp() override {
        httpPort_ = test::EnvironmentValue("MIVETRAK_NET_HTTP_PORT");
        ftpPort_ = test::EnvironmentValue("MIVETRAK_NET_FTP_PORT");
        ASSERT_FALSE(httpPort_.empty()) << "run through net_servers.py";
        ASSERT_FALSE(ftpPort_.empty()) << "run through net_servers.py";
        holder_ = CreateWin32Platform();
        ASSERT_TRUE(holder_);
        Platform& real = holder_->Get();
        internet_ = std::make_unique<NoProbeInternet>(real.internet);
        platform_ =
            std::make_unique<Platform>(Platform{real.files, real.registry, *internet_, real.system,
                                                real.ui, real.codePage, log_, real.crypto});
        folder_ = test::NewScratchFolder("net");
    }
    void TearDown() override {
        if (internet_) {
            EXPECT_EQ(internet_->probes, 0);
        }
    }

    std::string Http(const std::string& path) const {
        return "http://127.0.0.1:" + httpPort_ + path;
    }
    std::string Ftp(const std::string& path) const { return "ftp://127.0.0.1:" + ftpPort_ + path; }
    // A GET of url with reload into local, with the program's agent.
    DownloadRequest Request(const std::string& url, const std::string& local) const {
        DownloadRequest request;
        request.agent = deployment_.userAgent;
        request.url = url;
        request.localPath = local;
        return request;
    }
    // A GET of path on the HTTP server, sent, its handles closed when it goes out of scope.
    struct RawGet {
        explicit RawGet(Internet& net) : root(net), connection(net), request(net) {}
        InternetHandleOwner root;
        InternetHandleOwner connection;
        InternetHandleOwner request;
    };
    // Opens a GET of path on 127.0.0.1:port; a connection given limits gets them first.
    void OpenRawGet(const std::string& port, const std::string& path, RawGet& get,
                    uint32_t connectMs = 0, uint32_t idleMs = 0) {
        Internet& net = platform_->internet;
        SystemError error;
        get.root.Reset(net.OpenRoot(deployment_.userAgent, error));
        ASSERT_TRUE(get.root);
        get.connection.Reset(net.Connect(get.root.Get(), "127.0.0.1",
                                         static_cast<uint16_t>(std::stoi(port)), "", "",
                                         InternetService::Http, error));
        ASSERT_TRUE(get.connection);
        if (connectMs != 0) {
            ASSERT_TRUE(net.SetTimeouts(get.connection.Get(), connectMs, idleMs));
        }
        get.request.Reset(
            net.OpenHttpRequest(get.connection.Get(), "GET", path, 0x84400000u, error));
        ASSERT_TRUE(get.request);
    }
    void SendRawGet(const std::string& path, RawGet& get) {
        ASSERT_NO_FATAL_FAILURE(OpenRawGet(httpPort_, path, get));
        SystemError error;
        ASSERT_TRUE(platform_->internet.SendHttpRequest(get.request.Get(), error)) << error.code;
    }
    // What the server saw for path, one "METHOD body-bytes" entry per request, in order.
    std::vector<std::string> ServerSaw(const std::string& path) {
        const std::string local = folder_ + "requests.txt";
        InternetSession session(*platform_, deployment_);
        EXPECT_TRUE(session.DownloadFile(Request(Http("/requests"), local)));
        std::string text;
        EXPECT_TRUE(test::ReadWholeFile(local, text));
        std::vector<std::string> seen;
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find('\n', start);
            const std::string line = text.substr(start, end - start);
            start = end == std::string::npos ? text.size() : end + 1;
            const size_t pathStart = line.find(' ');
            const size_t pathEnd = line.rfind(' ');
            if (pathStart == std::string::npos || pathEnd <= pathStart) continue;
            if (line.substr(pathStart + 1, pathEnd - pathStart - 1) != path) continue;
            seen.push_back(line.substr(0, pathStart) + line.substr(pathEnd));
        }
        return seen;
    }
    static bool Exists(const std::string& path) {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    // A GET of "/" sent to the waiting server whose port the variable names, on a connection
    // with the given limits: whether it was sent, its error number, and how long it took.
    struct TimedSend {
        bool sent = false;
        uint32_t error = 0;
        DWORD elapsed = 0;
    };
    void SendWithLimits(const char* portVariable, uint32_t connectMs, uint32_t idleMs, RawGet& get,
                        TimedSend& out) {
        const std::string port = test::EnvironmentValue(portVariable);
        ASSERT_FALSE(port.empty()) << portVariable;
        ASSERT_NO_FATAL_FAILURE(OpenRawGet(port, "", get, connectMs, idleMs));
        const DWORD start = GetTickCount();
        SystemError error;
        out.sent = platform_->internet.SendHttpRequest(get.request.Get(), error);
        out.elapsed = GetTickCount() - start;
        out.error = error.code;
    }

    // This build's own deployment: the agent that the servers see is the program's.
    const Deployment deployment_ = CompiledDeployment();
    std::string httpPort_;
    std::string ftpPort_;
    std::unique_ptr<PlatformHolder> holder_;
    std::unique_ptr<NoProbeInternet> internet_;
    std::unique_ptr<Platform> platform_;
    RecordingLog log_;
    std::string folder_;
};

TEST_F(NetIntegration, MachineIsOnLineWithoutAnyProbe) {
    InternetSession session(*platform_, deployment_);
    uint32_t flags = 0xDEADBEEF;
    EXPECT_TRUE(session.CheckConnection(&flags, false));
    EXPECT_NE(flags, 0xDEADBEEFu);
    OsVersion version;
    ASSERT_TRUE(platform_->internet.QueryOsVersion(156, version));
    EXPECT_TRUE(version.platformId != 2 || version.majorVersion >= 5);
    ASSERT_TRUE(platform_->internet.QueryOsVersion(148, version));
}

// Also run with the machine in another time zone (net_internet_eastern_test): the header's time
// is the one the program reads, wherever the machine is.
TEST_F(NetIntegration, QueryReadsLengthAndLastModifiedAsUtcFromHeadAlone) {
    InternetSession session(*platform_, deployment_);
    RemoteFileInfo info;
    ASSERT_TRUE(session.QueryRemoteFile(deployment_.userAgent, Http("/files/asked"), info));
    EXPECT_EQ(info.contentLength, kDbSize);
    // "Wed, 09 Mar 2022 14:25:36 GMT"
    EXPECT_EQ(info.lastModified.wYear, 2022);
    EXPECT_EQ(info.lastModified.wMonth, 3);
    EXPECT_EQ(info.lastModified.wDay, 9);
    EXPECT_EQ(info.lastModified.wDayOfWeek, 3);
    EXPECT_EQ(info.lastModified.wHour, 14);
    EXPECT_EQ(info.lastModified.wMinute, 25);
    EXPECT_EQ(info.lastModified.wSecond, 36);
    // The server was asked once, with HEAD, and sent none of the body.
    EXPECT_EQ(ServerSaw("/files/asked"), std::vector<std::string>{"HEAD 0"});
}

TEST_F(NetIntegration, QueryAsksWithGetWhenHeadGivesNoUsableAnswer) {
    // One server refuses HEAD; the other answers it without the length.
    for (const char* path : {"/files/nohead", "/files/headnolen"}) {
        InternetSession session(*platform_, deployment_);
        RemoteFileInfo info;
        ASSERT_TRUE(session.QueryRemoteFile(deployment_.userAgent, Http(path), info)) << path;
        EXPECT_EQ(info.contentLength, kDbSize) << path;
        EXPECT_EQ(info.lastModified.wYear, 2022) << path;
        EXPECT_EQ(info.lastModified.wSecond, 36) << path;
        const std::vector<std::string> saw = ServerSaw(path);
        ASSERT_EQ(saw.size(), 2u) << path;
        EXPECT_EQ(saw[0], "HEAD 0") << path;
        EXPECT_EQ(saw[1].substr(0, 4), "GET ") << path;
    }
}

TEST_F(NetIntegration, QueryFailsCleanly) {
    // (/auth would open the password dialog; RawStatus401IsReadAsText covers it.)
    for (const char* path : {"/missing", "/files/nolm", "/files/badlen"}) {
        InternetSession session(*platform_, deployment_);
        RemoteFileInfo info;
        EXPECT_FALSE(session.QueryRemoteFile(deployment_.userAgent, Http(path), info)) << path;
    }
    InternetSession session(*platform_, deployment_);
    RemoteFileInfo info;
    EXPECT_FALSE(session.QueryRemoteFile(deployment_.userAgent, Ftp("/pub/db.bin"), info));
}

// https on the library's TLS, from a server whose authority net_servers.py made this prefix trust.
TEST_F(NetIntegration, HttpsQueryAndDownloadFromAServerTheSystemTrusts) {
    const std::string url =
        "https://127.0.0.1:" + test::EnvironmentValue("MIVETRAK_NET_TLS_PORT") + "/files/db.bin";
    InternetSession session(*platform_, deployment_);
    RemoteFileInfo info;
    ASSERT_TRUE(session.QueryRemoteFile(deployment_.userAgent, url, info)) << url;
    EXPECT_EQ(info.contentLength, kDbSize);
    const std::string local = folder_ + "secure.bin";
    ASSERT_TRUE(session.DownloadFile(Request(url, local)));
    std::string content;
    EXPECT_TRUE(test::ReadWholeFile(local, content) && content == Database()) << content.size();
}

TEST_F(NetIntegration, RawStatus401IsReadAsText) {
    Internet& net = platform_->internet;
    RawGet get(net);
    ASSERT_NO_FATAL_FAILURE(SendRawGet("auth", get));
    const InternetHandle request = get.request.Get();
    std::string status;
    ASSERT_TRUE(net.QueryInfoText(request, kHttpQueryStatusCode, 255, status));
    EXPECT_EQ(status, "401");
    std::string length;
    ASSERT_TRUE(net.QueryInfoText(request, kHttpQueryContentLength, 255, length));
    EXPECT_EQ(length, "11");
    std::string lastModified;
    EXPECT_FALSE(net.QueryInfoText(request, kHttpQueryLastModified, 255, lastModified));
    // A buffer too small for the text fails rather than cutting it.
    EXPECT_FALSE(net.QueryInfoText(request, kHttpQueryStatusCode, 2, status));
}

// The library's own error numbers reach the log with the library's text for them.
TEST_F(NetIntegration, AConnectionRefusedIsLoggedWithTheLibrarysNumberAndText) {
    InternetSession session(*platform_, deployment_);
    // Nothing listens on port 1 of the loopback interface.
    const std::string url = "http://127.0.0.1:1/x";
    EXPECT_FALSE(session.DownloadFile(Request(url, folder_ + "refused.bin")));
    const std::string logged =
        "The download of \"" + url + "\" failed: could not send the request: error 12029: ";
    ASSERT_TRUE(log_.Contains(logged)) << ::testing::PrintToString(log_.Lines());
    for (const std::string& line : log_.Lines()) {
        if (line.rfind(logged, 0) == 0) {
            EXPECT_GT(line.size(), logged.size() + 1) << line;
        }
    }
}

TEST_F(NetIntegration, HttpDownloadWritesTheBodyAndReportsProgress) {
    const std::string local = folder_ + "db.bin";
    InternetSession session(*platform_, deployment_);
    CallbackLog log;
    std::optional<int> status = 0;
    DownloadRequest request = Request(Http("/files/db.bin"), local);
    request.callback = &CallbackLog::Callback;
    request.userData = &log;
    ASSERT_TRUE(session.DownloadFile(request, &status));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(session.GetState(), TransferState::Done);
    std::string content;
    ASSERT_TRUE(test::ReadWholeFile(local, content));
    EXPECT_TRUE(content == Database()) << content.size();
    ASSERT_EQ(log.totals.size(), kDbSize / 2560);
    for (size_t i = 0; i < log.totals.size(); ++i) EXPECT_EQ(log.totals[i], (i + 1) * 2560);
}

TEST_F(NetIntegration, DownloadVariantsSucceed) {
    struct Case {
        const char* path;
        const char* verb;
        bool reload;
        std::string expected;
    } cases[] = {{"/files/db.bin", "post", true, Database()},
                 {"/files/db.bin", "GET", false, Database()},
                 {"/files/empty", "GET", true, ""},
                 {"/agent", "GET", true, deployment_.userAgent},
                 {"", "GET", true, "root"}};  // a URL without a path asks for the root
    for (const Case& c : cases) {
        const std::string local = folder_ + "variant.bin";
        InternetSession session(*platform_, deployment_);
        std::optional<int> status = 0;
        DownloadRequest request = Request(Http(c.path), local);
        request.verb = c.verb;
        request.reload = c.reload;
        EXPECT_TRUE(session.DownloadFile(request, &status)) << c.path << " " << c.verb;
        EXPECT_EQ(status, 200);
        std::string content;
        ASSERT_TRUE(test::ReadWholeFile(local, content));
        EXPECT_TRUE(content == c.expected) << c.path << " got " << content.size() << " bytes";
    }
}

TEST_F(NetIntegration, NotFoundStoresTheStatusAndCreatesNoFile) {
    const std::string local = folder_ + "missing.bin";
    InternetSession session(*platform_, deployment_);
    std::optional<int> status = 0;
    EXPECT_FALSE(session.DownloadFile(Request(Http("/missing"), local), &status));
    EXPECT_EQ(status, 404);
    EXPECT_FALSE(Exists(local));
    EXPECT_EQ(session.GetState(), TransferState::Failed);
}

TEST_F(NetIntegration, BodyCutShortFailsInsteadOfHanging) {
    const std::string local = folder_ + "cut.bin";
    InternetSession session(*platform_, deployment_);
    const DWORD start = GetTickCount();
    std::optional<int> status = 0;
    EXPECT_FALSE(session.DownloadFile(Request(Http("/files/cut"), local), &status));
    EXPECT_LT(GetTickCount() - start, 20000u);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(session.GetState(), TransferState::Failed);
    std::string content;
    ASSERT_TRUE(test::ReadWholeFile(local, content));  // left on disk as far as it came
    EXPECT_LE(content.size(), kCutSize);
    EXPECT_TRUE(content == Database(content.size()));
}

// Why the download compares the body with its Content-Length: when the server closes the
// connection early, WinInet simply reports the end of the data.
TEST_F(NetIntegration, CutBodyLooksLikeAnEarlyEndToWinInet) {
    Internet& net = platform_->internet;
    RawGet get(net);
    ASSERT_NO_FATAL_FAILURE(SendRawGet("files/cut", get));
    const InternetHandle request = get.request.Get();
    std::vector<char> buffer(65536);
    size_t total = 0;
    bool ok = true;
    for (;;) {
        uint32_t got = 0;
        SystemError error;
        ok = net.ReadData(request, buffer.data(), 65536, got, error);
        if (!ok || got == 0) break;
        total += got;
    }
    EXPECT_TRUE(ok);
    EXPECT_EQ(total, kCutSize);
}

// The connect limit counts only connecting: a server that took the connection and stays
// silent is waited for until the idle limit, which ends the send with "connection aborted".
TEST_F(NetIntegration, SilentServerEndsTheSendAtTheIdleLimit) {
    RawGet get(platform_->internet);
    TimedSend send;
    ASSERT_NO_FATAL_FAILURE(SendWithLimits("MIVETRAK_NET_SILENT_PORT", 500, 2500, get, send));
    EXPECT_FALSE(send.sent);
    EXPECT_EQ(send.error, 12030u);  // ERROR_INTERNET_CONNECTION_ABORTED
    EXPECT_GE(send.elapsed, 2300u);
    EXPECT_LT(send.elapsed, 15000u);
}

// The library under Wine never gives up a connect before the system does (minutes); the
// send gives it up at the connect limit and leaves the blocked call behind.
TEST_F(NetIntegration, ConnectThatCannotCompleteEndsAtTheConnectLimit) {
    RawGet get(platform_->internet);
    TimedSend send;
    ASSERT_NO_FATAL_FAILURE(SendWithLimits("MIVETRAK_NET_BACKLOG_PORT", 1500, 60000, get, send));
    EXPECT_FALSE(send.sent);
    EXPECT_EQ(send.error, kErrorInternetTimeout);
    EXPECT_GE(send.elapsed, 1400u);
    EXPECT_LT(send.elapsed, 6000u);
}

TEST_F(NetIntegration, StalledBodyEndsTheReadAtTheIdleLimit) {
    Internet& net = platform_->internet;
    RawGet get(net);
    TimedSend send;
    ASSERT_NO_FATAL_FAILURE(SendWithLimits("MIVETRAK_NET_STALL_PORT", 30000, 2000, get, send));
    ASSERT_TRUE(send.sent) << send.error;
    std::vector<char> buffer(65536);
    uint32_t got = 0;
    SystemError error;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(net.ReadData(get.request.Get(), buffer.data(), 65536, got, error));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(error.code, 10060u);  // WSAETIMEDOUT
    EXPECT_GE(elapsed, 1800u);
    EXPECT_LT(elapsed, 15000u);
}

TEST_F(NetIntegration, StopAtTheFirstCallbackLeavesTwentyBlocks) {
    const std::string local = folder_ + "stopped.bin";
    InternetSession session(*platform_, deployment_);
    CallbackLog log;
    log.stopAt = 1;
    DownloadRequest request = Request(Http("/files/db.bin"), local);
    request.callback = &CallbackLog::Callback;
    request.userData = &log;
    EXPECT_FALSE(session.DownloadFile(request));
    EXPECT_EQ(log.totals, (std::vector<uint32_t>{2560}));
    std::string content;
    ASSERT_TRUE(test::ReadWholeFile(local, content));
    EXPECT_TRUE(content == Database(2560)) << content.size();
    EXPECT_EQ(session.GetState(), TransferState::Failed);
}

TEST_F(NetIntegration, SeveralDownloadsInOneSession) {
    InternetSession session(*platform_, deployment_);
    for (int i = 0; i < 3; ++i) {
        const std::string local = folder_ + "again" + std::to_string(i) + ".bin";
        EXPECT_TRUE(session.DownloadFile(Request(Http("/files/db.bin"), local)));
        EXPECT_FALSE(session.DownloadFile(Request(Http("/missing"), local)));
    }
}

TEST_F(NetIntegration, FtpDownloads) {
    struct Case {
        std::string url;
        const char* user;
        const char* password;
        bool reload;
        int expected;
    } cases[] = {{Ftp("/pub/db.bin"), "", "", true, 1},
                 {Ftp("/pub/db.bin"), "anonymous", "net@example.test", false, 1},
                 {Ftp("/private/db.bin"), "tess", "fetch", true, 1},
                 {Ftp("/pub/none.bin"), "", "", true, 0},
                 {Ftp("/private/db.bin"), "tess", "wrong", true, 0}};
    for (const Case& c : cases) {
        const std::string local = folder_ + "ftp.bin";
        DeleteFileA(local.c_str());
        InternetSession session(*platform_, deployment_);
        std::optional<int> status = -5;
        CallbackLog log;
        DownloadRequest request = Request(c.url, local);
        request.user = c.user;
        request.password = c.password;
        request.reload = c.reload;
        request.callback = &CallbackLog::Callback;
        request.userData = &log;
        EXPECT_EQ(session.DownloadFile(request, &status), c.expected) << c.url << " as " << c.user;
        EXPECT_EQ(status, -5);
        if (c.expected == 1) {
            std::string content;
            ASSERT_TRUE(test::ReadWholeFile(local, content));
            EXPECT_TRUE(content == Database()) << content.size();
            EXPECT_EQ(log.totals.size(), kDbSize / 2560);
        } else {
            EXPECT_FALSE(Exists(local));
        }
    }
}

// --- autodial settings in the real registry --------------------------------------------------

// One registry value as it was, put back by the destructor.
class SavedValue {
public:
    explicit SavedValue(const char* name) : name_(name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return;
        }
        DWORD size = sizeof(data_);
        existed_ = RegQueryValueExA(key, name, nullptr, &type_, data_, &size) == ERROR_SUCCESS;
        size_ = size;
        RegCloseKey(key);
    }
    ~SavedValue() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) !=
            ERROR_SUCCESS) {
            return;
        }
        if (existed_) {
            RegSetValueExA(key, name_, 0, type_, data_, size_);
        } else {
            RegDeleteValueA(key, name_);
        }
        RegCloseKey(key);
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

private:
    const char* name_;
    bool existed_ = false;
    DWORD type_ = 0;
    BYTE data_[256] = {};
    DWORD size_ = 0;
};

bool SetDword(const char* name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                   sizeof(value)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool GetDword(const char* name, DWORD& value, DWORD& type) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD size = sizeof(value);
    const bool ok = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                     &size) == ERROR_SUCCESS &&
                    size == sizeof(value);
    RegCloseKey(key);
    return ok;
}

bool DeleteValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

TEST_F(NetIntegration, AutodialSettingsComeBackExactlyAsTheyWereAfterADial) {
    SavedValue enable("EnableAutodial");
    SavedValue noNet("NoNetAutodial");
    struct Case {
        std::optional<DWORD> enable;  // nullopt: the value does not exist
        std::optional<DWORD> noNet;
        AutodialMode mode;
    } cases[] = {{5, 7, AutodialMode::WithoutNetwork},
                 {0, 1, AutodialMode::Off},
                 {3, std::nullopt, AutodialMode::Always},
                 {std::nullopt, std::nullopt, AutodialMode::Off}};
    for (const Case& c : cases) {
        const std::pair<const char*, std::optional<DWORD>> values[] = {{"EnableAutodial", c.enable},
                                                                       {"NoNetAutodial", c.noNet}};
        for (const auto& [name, value] : values) {
            ASSERT_TRUE(value ? SetDword(name, *value) : DeleteValue(name)) << name;
        }
        {
            InternetSession session(*platform_, deployment_);
            AutodialSettings settings;
            session.ReadAutodialSettings(settings);
            EXPECT_EQ(settings.mode, c.mode);
            session.Dial(nullptr, nullptr, nullptr);
            // Something else changes the settings while the session is on line.
            ASSERT_TRUE(SetDword("EnableAutodial", 77));
            ASSERT_TRUE(SetDword("NoNetAutodial", 77));
        }
        for (const auto& [name, value] : values) {
            DWORD read = 0;
            DWORD type = 0;
            ASSERT_EQ(GetDword(name, read, type), value.has_value()) << name;
            if (!value) continue;
            EXPECT_EQ(read, *value) << name;
            EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
        }
    }
}

TEST_F(NetIntegration, ASessionThatNeverDialledWritesNothing) {
    SavedValue enable("EnableAutodial");
    ASSERT_TRUE(SetDword("EnableAutodial", 9));
    {
        InternetSession session(*platform_, deployment_);
        EXPECT_TRUE(session.CheckConnection(nullptr, false));
    }
    DWORD value = 0;
    DWORD type = 0;
    ASSERT_TRUE(GetDword("EnableAutodial", value, type));
    EXPECT_EQ(value, 9u);
}

}  // namespace
}  // namespace mivetrak
