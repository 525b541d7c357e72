#include "fakes/fake_internet.h"

#include <algorithm>
#include <cstring>

#include "support/test_time.h"

namespace mivetrak {

namespace {
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorInternetExtendedError = 12003;
constexpr uint32_t kErrorInternetNameNotResolved = 12007;
constexpr uint32_t kErrorCannotConnect = 12029;
constexpr uint32_t kErrorConnectionAborted = 12030;
}  // namespace

FakeHttpResponse FakeHttpResponse::Ok(std::string body, const SystemTime& lastModified) {
    FakeHttpResponse r;
    r.contentLength = std::to_string(body.size());
    r.body = std::move(body);
    r.lastModified = HttpDateText(lastModified);
    return r;
}

FakeHttpResponse FakeHttpResponse::WithStatus(int status) {
    FakeHttpResponse r;
    r.statuses = {std::to_string(status)};
    return r;
}

const char* ToString(FakeInternet::Op op) {
    switch (op) {
        case FakeInternet::Op::HasConnectedStateEx:
            return "HasConnectedStateEx";
        case FakeInternet::Op::ConnectedStateEx:
            return "ConnectedStateEx";
        case FakeInternet::Op::ConnectedState:
            return "ConnectedState";
        case FakeInternet::Op::QueryOsVersion:
            return "QueryOsVersion";
        case FakeInternet::Op::CheckConnectionTo:
            return "CheckConnectionTo";
        case FakeInternet::Op::Autodial:
            return "Autodial";
        case FakeInternet::Op::DialConnection:
            return "DialConnection";
        case FakeInternet::Op::OpenRoot:
            return "OpenRoot";
        case FakeInternet::Op::Connect:
            return "Connect";
        case FakeInternet::Op::OpenHttpRequest:
            return "OpenHttpRequest";
        case FakeInternet::Op::SendHttpRequest:
            return "SendHttpRequest";
        case FakeInternet::Op::QueryInfoText:
            return "QueryInfoText";
        case FakeInternet::Op::QueryProxy:
            return "QueryProxy";
        case FakeInternet::Op::ErrorDialog:
            return "ErrorDialog";
        case FakeInternet::Op::OpenFtpFile:
            return "OpenFtpFile";
        case FakeInternet::Op::ReadData:
            return "ReadData";
        case FakeInternet::Op::CloseInternetHandle:
            return "CloseInternetHandle";
        case FakeInternet::Op::SetTimeouts:
            return "SetTimeouts";
    }
    return "?";
}

uint32_t FailureErrorOf(FakeInternet::Op op) {
    switch (op) {
        case FakeInternet::Op::OpenRoot:
            return kErrorNotEnoughMemory;
        case FakeInternet::Op::Connect:
            return kErrorInternetNameNotResolved;
        case FakeInternet::Op::SendHttpRequest:
            return kErrorCannotConnect;
        case FakeInternet::Op::ReadData:
            return kErrorConnectionAborted;
        case FakeInternet::Op::OpenFtpFile:
            return kErrorInternetExtendedError;
        case FakeInternet::Op::Autodial:
            return kErrorCancelled;
        default:
            return kErrorInvalidHandle;
    }
}

// --- scripting -------------------------------------------------------------------------------

std::string FakeInternet::KeyOf(const std::string& host, uint32_t port, const std::string& path) {
    return host + ":" + std::to_string(port) + "/" + path;
}

std::string FakeInternet::KeyOfUrl(const std::string& url, uint32_t defaultPort) {
    // scheme://host[:port][/path]: a plain split, good enough for the URLs tests write.
    if (url.rfind("https://", 0) == 0) defaultPort = 443;
    size_t start = url.find("://");
    start = (start == std::string::npos) ? 0 : start + 3;
    const size_t slash = url.find('/', start);
    std::string hostPort =
        url.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    const std::string path = slash == std::string::npos ? "" : url.substr(slash + 1);
    uint32_t port = defaultPort;
    const size_t colon = hostPort.find(':');
    if (colon != std::string::npos) {
        port = static_cast<uint32_t>(std::strtoul(hostPort.c_str() + colon + 1, nullptr, 10));
        hostPort.resize(colon);
    }
    return KeyOf(hostPort, port, path);
}

void FakeInternet::AddHttp(const std::string& url, const FakeHttpResponse& response) {
    std::lock_guard<std::mutex> guard(mutex_);
    http_[KeyOfUrl(url, 80)] = response;
}

void FakeInternet::AddHttpHead(const std::string& url, const FakeHttpResponse& response) {
    std::lock_guard<std::mutex> guard(mutex_);
    httpHead_[KeyOfUrl(url, 80)] = response;
}

void FakeInternet::AddFtp(const std::string& url, const FakeRemoteFile& file) {
    std::lock_guard<std::mutex> guard(mutex_);
    ftp_[KeyOfUrl(url, 21)] = file;
}

void FakeInternet::Fail(Op op, int nth) {
    std::lock_guard<std::mutex> guard(mutex_);
    failures_[op].insert(nth);
}

bool FakeInternet::ShouldFail(Op op) {
    const int n = ++callCounts_[op];
    auto it = failures_.find(op);
    if (it == failures_.end()) return false;
    return it->second.count(0) != 0 || it->second.count(n) != 0;
}

InternetHandle FakeInternet::NewHandle(const Live& live) {
    auto handle = reinterpret_cast<InternetHandle>(nextHandle_);
    nextHandle_ += 0x10;
    live_[handle] = live;
    return handle;
}

FakeInternet::Live* FakeInternet::Find(InternetHandle handle, Kind kind) {
    auto it = live_.find(handle);
    if (it == live_.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

const FakeHttpResponse* FakeInternet::ResponseOf(const Live& request) const {
    if (request.head) {
        auto head = httpHead_.find(request.key);
        if (head != httpHead_.end()) return &head->second;
    }
    auto it = http_.find(request.key);
    return it == http_.end() ? nullptr : &it->second;
}

template <typename Fill>
auto FakeInternet::Perform(Op op, Fill fill) {
    std::unique_lock<std::mutex> lock(mutex_);
    Call call;
    call.op = op;
    auto result = fill(call);
    calls_.push_back(call);
    const std::function<void(const Call&)> hook = onCall;
    lock.unlock();
    if (hook) hook(call);
    return result;
}

InternetHandle FakeInternet::Opened(Call& call, SystemError& error) {
    call.ok = call.result != nullptr;
    call.error = call.ok ? 0 : FailureErrorOf(call.op);
    error.code = call.error;
    return call.result;
}

// --- inspection ------------------------------------------------------------------------------

std::vector<FakeInternet::Call> FakeInternet::Calls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_;
}

std::vector<FakeInternet::Call> FakeInternet::CallsOf(Op op) const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<Call> out;
    for (const Call& c : calls_) {
        if (c.op == op) out.push_back(c);
    }
    return out;
}

size_t FakeInternet::CountOf(Op op) const { return CallsOf(op).size(); }

size_t FakeInternet::OpenHandleCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return live_.size();
}

size_t FakeInternet::BadCloseCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return badCloses_;
}

size_t FakeInternet::SendCount(const std::string& url) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = sendsByKey_.find(KeyOfUrl(url, 80));
    return it == sendsByKey_.end() ? 0 : it->second;
}

// --- connectivity ----------------------------------------------------------------------------

bool FakeInternet::HasConnectedStateEx() {
    return Perform(Op::HasConnectedStateEx, [&](Call& call) {
        call.ok = hasConnectedStateEx && !ShouldFail(call.op);
        return call.ok;
    });
}

bool FakeInternet::ConnectedStateEx(uint32_t& flags) {
    return Perform(Op::ConnectedStateEx, [&](Call& call) {
        call.ok = connected && !ShouldFail(call.op);
        flags = call.ok ? connectionFlags : 0;
        return call.ok;
    });
}

bool FakeInternet::ConnectedState(uint32_t& flags) {
    return Perform(Op::ConnectedState, [&](Call& call) {
        call.ok = connected && !ShouldFail(call.op);
        flags = call.ok ? connectionFlags : 0;
        return call.ok;
    });
}

bool FakeInternet::QueryOsVersion(uint32_t recordSize, OsVersion& out) {
    return Perform(Op::QueryOsVersion, [&](Call& call) {
        call.length = recordSize;
        call.ok = versionFailsForRecordSize.count(recordSize) == 0 && !ShouldFail(call.op);
        if (call.ok) out = osVersion;
        return call.ok;
    });
}

bool FakeInternet::CheckConnectionTo(const char* url) {
    return Perform(Op::CheckConnectionTo, [&](Call& call) {
        call.nullUrl = url == nullptr;
        call.text = url ? url : "";
        auto it = probeResults.find(call.text);
        call.ok = it != probeResults.end() && it->second && !ShouldFail(call.op);
        return call.ok;
    });
}

bool FakeInternet::Autodial(WindowHandle owner, bool unattended, SystemError& error) {
    return Perform(Op::Autodial, [&](Call& call) {
        call.owner = owner;
        call.unattended = unattended;
        call.ok = autodialResult && !ShouldFail(call.op);
        call.error = call.ok ? 0 : FailureErrorOf(call.op);
        error.code = call.error;
        return call.ok;
    });
}

bool FakeInternet::DialConnection(WindowHandle owner, const std::string& name, bool unattended,
                                  uintptr_t* connectionId, SystemError& error) {
    return Perform(Op::DialConnection, [&](Call& call) {
        call.owner = owner;
        call.unattended = unattended;
        call.text = name;
        const uint32_t result = ShouldFail(call.op) ? 668u : dialError;  // ERROR_NO_CONNECTION
        call.ok = result == 0;
        call.error = result;
        if (call.ok && connectionId) *connectionId = dialConnectionId;
        error.code = result;
        return call.ok;
    });
}

// --- transfers -------------------------------------------------------------------------------

InternetHandle FakeInternet::OpenRoot(const std::string& agent, SystemError& error) {
    return Perform(Op::OpenRoot, [&](Call& call) {
        call.text = agent;
        if (!ShouldFail(call.op)) {
            Live live;
            live.kind = Kind::Root;
            call.result = NewHandle(live);
        }
        return Opened(call, error);
    });
}

InternetHandle FakeInternet::Connect(InternetHandle root, const std::string& host, uint16_t port,
                                     const std::string& user, const std::string& password,
                                     InternetService service, SystemError& error) {
    return Perform(Op::Connect, [&](Call& call) {
        call.handle = root;
        call.text = host;
        call.port = port;
        call.user = user;
        call.password = password;
        call.service = service;
        if (!ShouldFail(call.op) && Find(root, Kind::Root) != nullptr) {
            Live live;
            live.kind = Kind::Connection;
            live.host = host;
            live.port = port;
            live.service = service;
            call.result = NewHandle(live);
        }
        return Opened(call, error);
    });
}

bool FakeInternet::SetTimeouts(InternetHandle connection, uint32_t connectMilliseconds,
                               uint32_t idleMilliseconds) {
    return Perform(Op::SetTimeouts, [&](Call& call) {
        call.handle = connection;
        call.connectTimeout = connectMilliseconds;
        call.idleTimeout = idleMilliseconds;
        call.ok = !ShouldFail(call.op) && Find(connection, Kind::Connection) != nullptr;
        return call.ok;
    });
}

InternetHandle FakeInternet::OpenHttpRequest(InternetHandle connection, const std::string& verb,
                                             const std::string& path, uint32_t flags,
                                             SystemError& error) {
    return Perform(Op::OpenHttpRequest, [&](Call& call) {
        call.handle = connection;
        call.verb = verb;
        call.text = path;
        call.flags = flags;
        Live* conn = Find(connection, Kind::Connection);
        if (!ShouldFail(call.op) && conn != nullptr && conn->service == InternetService::Http) {
            Live live;
            live.kind = Kind::Request;
            live.host = conn->host;
            live.port = conn->port;
            live.key = KeyOf(conn->host, conn->port, path);
            live.head = verb == "HEAD";
            call.result = NewHandle(live);
        }
        return Opened(call, error);
    });
}

bool FakeInternet::SendHttpRequest(InternetHandle request, SystemError& error) {
    return Perform(Op::SendHttpRequest, [&](Call& call) {
        call.handle = request;
        Live* live = Find(request, Kind::Request);
        const FakeHttpResponse* response = live != nullptr ? ResponseOf(*live) : nullptr;
        call.error = kErrorCannotConnect;
        if (!ShouldFail(call.op) && response != nullptr) {
            if (response->sendError) {
                call.error = *response->sendError;
            } else {
                ++live->sends;
                live->delivered = 0;
                ++sendsByKey_[live->key];
                call.ok = true;
                call.error = 0;
            }
        }
        error.code = call.error;
        return call.ok;
    });
}

bool FakeInternet::QueryInfoText(InternetHandle request, uint32_t query, uint32_t bufferLength,
                                 std::string& out) {
    return Perform(Op::QueryInfoText, [&](Call& call) {
        call.handle = request;
        call.query = query;
        call.length = bufferLength;
        Live* live = Find(request, Kind::Request);
        const FakeHttpResponse* response = live ? ResponseOf(*live) : nullptr;
        if (ShouldFail(call.op) || response == nullptr || live->sends == 0) return false;
        std::optional<std::string> text;
        if (query == kHttpQueryStatusCode && !response->statuses.empty()) {
            const size_t i = std::min(live->sends, response->statuses.size()) - 1;
            if (!response->statuses[i].empty()) text = response->statuses[i];
        } else if (query == kHttpQueryContentLength) {
            text = response->contentLength;
        } else if (query == kHttpQueryLastModified) {
            text = response->lastModified;
        } else if (query == kHttpQueryLocation) {
            text = response->location;
        } else if (query == kHttpQueryContentEncoding) {
            text = response->contentEncoding;
        }
        // Like HttpQueryInfoA, a text that does not fit the buffer with its terminator fails.
        if (text && text->size() + 1 <= bufferLength) {
            out = *text;
            call.ok = true;
        }
        return call.ok;
    });
}

bool FakeInternet::QueryProxy(InternetHandle root, ProxySettings& out) {
    return Perform(Op::QueryProxy, [&](Call& call) {
        call.handle = root;
        call.ok = !ShouldFail(call.op) && Find(root, Kind::Root) != nullptr;
        if (call.ok) out = proxy;
        return call.ok;
    });
}

uint32_t FakeInternet::ErrorDialog(InternetHandle request, uint32_t error, uint32_t flags) {
    return Perform(Op::ErrorDialog, [&](Call& call) {
        call.handle = request;
        call.error = error;
        call.flags = flags;
        uint32_t answer = kErrorCancelled;
        if (!ShouldFail(call.op) && dialogAnswersUsed_ < errorDialogAnswers.size()) {
            answer = errorDialogAnswers[dialogAnswersUsed_++];
        }
        call.ok = answer == kErrorInternetForceRetry;
        return answer;
    });
}

InternetHandle FakeInternet::OpenFtpFile(InternetHandle connection, const std::string& path,
                                         uint32_t access, uint32_t flags, SystemError& error) {
    return Perform(Op::OpenFtpFile, [&](Call& call) {
        call.handle = connection;
        call.text = path;
        call.access = access;
        call.flags = flags;
        Live* conn = Find(connection, Kind::Connection);
        if (!ShouldFail(call.op) && conn != nullptr && conn->service == InternetService::Ftp) {
            const std::string key = KeyOf(conn->host, conn->port, path);
            if (ftp_.count(key) != 0) {
                Live live;
                live.kind = Kind::FtpFile;
                live.key = key;
                call.result = NewHandle(live);
            }
        }
        return Opened(call, error);
    });
}

void FakeInternet::ReadFrom(const FakeRemoteFile& file, Live& live, void* buffer, uint32_t toRead,
                            uint32_t& bytesRead, bool& ok, uint32_t& error) {
    if (file.failReadAt && live.delivered >= *file.failReadAt) {
        error = file.readError;
        return;
    }
    size_t end = file.body.size();
    if (file.endAt) end = std::min(end, *file.endAt);
    if (file.failReadAt) end = std::min(end, *file.failReadAt);
    size_t n = std::min<size_t>(toRead, end > live.delivered ? end - live.delivered : 0);
    if (file.maxChunk != 0) n = std::min<size_t>(n, file.maxChunk);
    if (n != 0) std::memcpy(buffer, file.body.data() + live.delivered, n);
    live.delivered += n;
    bytesRead = static_cast<uint32_t>(n);
    ok = true;
    error = 0;
}

bool FakeInternet::ReadData(InternetHandle handle, void* buffer, uint32_t toRead,
                            uint32_t& bytesRead, SystemError& error) {
    return Perform(Op::ReadData, [&](Call& call) {
        call.handle = handle;
        call.length = toRead;
        bytesRead = 0;
        bool ok = false;
        uint32_t code = kErrorConnectionAborted;
        if (!ShouldFail(call.op)) {
            if (Live* request = Find(handle, Kind::Request)) {
                const FakeHttpResponse* response = ResponseOf(*request);
                if (response != nullptr && request->sends > 0) {
                    if (request->head) {
                        ok = true;  // the answer to HEAD ends with its headers
                    } else {
                        ReadFrom(*response, *request, buffer, toRead, bytesRead, ok, code);
                    }
                }
            } else if (Live* file = Find(handle, Kind::FtpFile)) {
                auto it = ftp_.find(file->key);
                if (it != ftp_.end()) {
                    ReadFrom(it->second, *file, buffer, toRead, bytesRead, ok, code);
                }
            }
        }
        if (ok) code = 0;
        error.code = code;
        call.error = code;
        call.ok = ok;
        call.bytes = bytesRead;
        return ok;
    });
}

void FakeInternet::CloseInternetHandle(InternetHandle handle) {
    Perform(Op::CloseInternetHandle, [&](Call& call) {
        call.handle = handle;
        ShouldFail(call.op);  // counted only; a close cannot be made to fail
        auto it = live_.find(handle);
        if (it == live_.end()) {
            ++badCloses_;
        } else {
            call.kind = it->second.kind;
            call.ok = true;
            live_.erase(it);
        }
        return call.ok;
    });
}

}  // namespace mivetrak
