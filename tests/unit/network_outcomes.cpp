#include "network_outcomes.h"

#include <map>

namespace mivetrak {

namespace {

using Call = FakeInternet::Call;
using Op = FakeInternet::Op;

// An open handle as the record shows it: the handle it was opened under, and what a request
// through it carries (the agent of a root; the login and the limits of a connection, too).
struct Handle {
    InternetHandle parent = nullptr;
    SeenRequest request;
    std::string origin;        // of a connection: "http://host[:port]/", "ftp://host[:port]/"
    std::string secureOrigin;  // of a connection: "https://host[:port]/"
};

std::string Origin(const Call& connect, bool secure = false) {
    const bool ftp = connect.service == InternetService::Ftp;
    std::string origin = ftp ? "ftp://" : secure ? "https://" : "http://";
    origin += connect.text;
    if (connect.port != (ftp ? 21u : secure ? 443u : 80u)) {
        origin += ":" + std::to_string(connect.port);
    }
    return origin + "/";
}

// Walks the record in order, keeping the handles that are open.
class RecordReader {
public:
    void Read(const Call& call) {
        switch (call.op) {
            case Op::OpenRoot:
                if (call.ok) open_[call.result].request.agent = call.text;
                break;
            case Op::Connect:
                if (call.ok) OpenConnection(call);
                break;
            case Op::SetTimeouts:
                if (call.ok) SetLimits(call);
                break;
            case Op::OpenHttpRequest:
                if (call.ok) OpenRequest(call);
                break;
            case Op::SendHttpRequest:
                if (call.ok && open_.count(call.handle) != 0) {
                    seen.push_back(open_[call.handle].request);
                }
                break;
            case Op::OpenFtpFile:
                AskFtp(call);
                break;
            case Op::ReadData:
                bodyBytes += call.bytes;
                break;
            case Op::CloseInternetHandle:
                Close(call.handle);
                break;
            default:
                break;
        }
    }

    std::vector<SeenRequest> seen;
    size_t bodyBytes = 0;
    size_t earlyCloses = 0;

private:
    void OpenConnection(const Call& call) {
        Handle connection{call.handle, open_[call.handle].request, Origin(call),
                          Origin(call, true)};
        connection.request.user = call.user;
        connection.request.password = call.password;
        open_[call.result] = connection;
    }
    void SetLimits(const Call& call) {
        SeenRequest& connection = open_[call.handle].request;
        connection.connectTimeout = call.connectTimeout;
        connection.idleTimeout = call.idleTimeout;
    }
    // A request or an FTP file opened on a connection, with what the connection carries.
    Handle OnConnection(const Call& call, const std::string& verb) {
        const Handle& connection = open_[call.handle];
        Handle request{call.handle, connection.request, "", ""};
        const bool secure = (call.flags & kInternetFlagSecure) != 0;
        request.request.line =
            verb + " " + (secure ? connection.secureOrigin : connection.origin) + call.text;
        request.request.flags = call.flags;
        return request;
    }
    void OpenRequest(const Call& call) { open_[call.result] = OnConnection(call, call.verb); }
    // An FTP file asked for on an open FTP connection reached its server, found or not.
    void AskFtp(const Call& call) {
        auto connection = open_.find(call.handle);
        if (connection == open_.end() || connection->second.origin.rfind("ftp:", 0) != 0) return;
        const Handle file = OnConnection(call, call.access == kGenericRead ? "RETR" : "STOR");
        seen.push_back(file.request);
        if (call.ok) open_[call.result] = file;
    }
    void Close(InternetHandle handle) {
        if (open_.erase(handle) == 0) return;
        for (const auto& entry : open_) {
            if (entry.second.parent == handle) ++earlyCloses;
        }
    }

    std::map<InternetHandle, Handle> open_;
};

RecordReader ReadRecord(const FakeInternet& internet) {
    RecordReader reader;
    for (const Call& call : internet.Calls()) reader.Read(call);
    return reader;
}

}  // namespace

std::vector<SeenRequest> SeenRequests(const FakeInternet& internet) {
    return ReadRecord(internet).seen;
}

std::vector<std::string> SeenLines(const FakeInternet& internet) {
    std::vector<std::string> lines;
    for (const SeenRequest& request : SeenRequests(internet)) lines.push_back(request.line);
    return lines;
}

size_t BodyBytesRead(const FakeInternet& internet) { return ReadRecord(internet).bodyBytes; }

::testing::AssertionResult HandlesClosed(const FakeInternet& internet, size_t stillOpen) {
    const size_t open = internet.OpenHandleCount();
    const size_t bad = internet.BadCloseCount();
    const size_t early = ReadRecord(internet).earlyCloses;
    if (open == stillOpen && bad == 0 && early == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << open << " handles open (" << stillOpen << " expected), " << bad
           << " closes of no open handle, " << early << " closes before a handle opened under it";
}

}  // namespace mivetrak
