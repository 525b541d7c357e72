#pragma once
// Opening a transfer, as the remote query and the download both do it: the three Internet
// handles of one transfer, and the HTTP open sequence, redirects included, up to the final
// status.
#include <cstdint>
#include <optional>
#include <string>

#include "net/internet_handle.h"
#include "net/root_handles.h"
#include "net/url.h"
#include "platform/internet.h"
#include "platform/platform.h"

namespace mivetrak {

// How long a transfer waits for the network: connecting to the server gives up after
// kConnectTimeoutMilliseconds, and a transfer from which nothing has arrived for
// kIdleTimeoutMilliseconds gives up too. The step that made the transfer then fails as it fails
// for a server that cannot be reached.
constexpr uint32_t kConnectTimeoutMilliseconds = 30000;
constexpr uint32_t kIdleTimeoutMilliseconds = 60000;

// Request flags of a transfer that bypasses the cache: fetched anew, never stored, on a
// connection that is kept open.
constexpr uint32_t kHttpReloadFlags =
    kInternetFlagReload | kInternetFlagNoCacheWrite | kInternetFlagKeepConnection;

// The handles of one transfer: the root, which the session's roots lend for the whole run, and
// the connection and the data handle (an HTTP request or an FTP file), which the transfer owns.
// Declared in this order, those two close as the Internet library expects: the data handle, then
// the connection; the root closes when the session ends.
struct TransferHandles {
    TransferHandles(Internet& internet, RootHandles& sessionRoots)
        : roots(sessionRoots), connection(internet), data(internet) {}
    RootHandles& roots;
    InternetHandle root = nullptr;
    InternetHandleOwner connection;
    InternetHandleOwner data;
};

// Why a transfer failed, for the log: what went wrong ("could not connect to the server", "the
// server answered HTTP status 404", ...) and, where the system or the Internet library said why,
// its error number (0 when none applies).
struct TransferFailure {
    std::string what;
    SystemError error;
};

// Records what went wrong, with the error already in failure.error; always false.
bool Fail(TransferFailure& failure, std::string what);

// "<what>: error N: <the system's text>" (or what alone without an error number), for the log.
std::string DescribeTransferFailure(System& system, const TransferFailure& failure);

// Takes the root for the agent from the session's roots and opens the connection to the URL's
// host for its service, logging in with user and password, and gives the connection the
// transfer's timeouts. False when either handle cannot be opened; failure then says which and
// why.
bool OpenConnection(Internet& internet, const std::string& agent, const TransferUrl& url,
                    const std::string& user, const std::string& password, TransferHandles& handles,
                    TransferFailure& failure);

// How an HTTP transfer opens its request.
struct HttpOpen {
    std::string agent;
    std::string user;
    std::string password;
    std::string verb;
    uint32_t flags = 0;
    // The buffer that the status text is read into, as offered to the library.
    uint32_t statusBufferLength = 0;
    // Whether a user is there to answer the platform's password dialog. Without one, a server
    // that asks for a login (401, 407) has given its final answer: the dialog would wait for
    // good.
    bool userPresent = true;
};

// At most this many redirects are followed for one request; the next one fails it, so that a
// server that redirects in a circle cannot keep a transfer going for good.
constexpr int kMaxRedirects = 10;

// 301, 302, 303, 307 and 308: the answers that send the client to their Location.
bool IsRedirectStatus(const std::optional<int>& status);

// Whether the status is a server's or a proxy's request for a login.
bool AsksForLogin(const std::optional<int>& status);

// The HTTP open sequence of the http or https URL: the connection, then the request, sent (over
// TLS for https, with the system's checks of the server's certificate and no way around them);
// then its status, and while the server asks for a login (401, 407) and the user answers the
// platform's password dialog with "send again", another send. A 407 is taken for a proxy's
// request only when the system sends the URL through a proxy; otherwise the send counts as
// failed. A redirect is followed by this code rather than by the library (which follows them
// without end): the request and its connection are closed and the same verb is sent to the
// Location, through the same root, up to kMaxRedirects times. A redirect beyond that, one to
// another scheme than http or https, one from https down to http, or one without a usable
// Location ends the sequence with the redirect's status as the final one; each redirect followed
// or refused is logged. False when the URL is no http or https URL, a handle cannot be opened or
// a send fails (failure then says which and why); otherwise true with the final status, none when
// it could not be read.
bool OpenHttpTransfer(Platform& platform, const std::string& url, const HttpOpen& open,
                      TransferHandles& handles, std::optional<int>& status,
                      TransferFailure& failure);

// The Content-Encoding of an answer, when it names one other than "identity". The program never
// asks for an encoding: bytes that come encoded are not the file, whatever their length.
std::optional<std::string> ForeignEncoding(Internet& internet, InternetHandle request,
                                           uint32_t bufferLength);

// The log's words for a final status that is not 200: the number, and for a login that was
// asked for, that none was given.
std::string DescribeHttpStatus(const std::optional<int>& status, bool userPresent);

}  // namespace mivetrak
