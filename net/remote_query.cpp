// The remote query: status, length and last-modified time of a file on an HTTP server, without
// reading its body.
#include "net/http_status.h"
#include "net/internet_handle.h"
#include "net/internet_session.h"
#include "net/url.h"
#include "platform/ascii_text.h"

namespace mivetrak {

namespace {
constexpr uint32_t kQueryTextLength = 255;  // a 256-byte buffer
constexpr uint16_t kDefaultHttpPort = 80;
constexpr uint32_t kQueryRequestFlags =
    kInternetFlagReload | kInternetFlagNoCacheWrite | kInternetFlagKeepConnection;
}  // namespace

int InternetSession::QueryRemoteFile(const std::string& agent, const std::string& url,
                                     RemoteFileInfo& info) {
    std::string scheme;
    std::string host;
    std::string path;
    int urlPort = 0;
    if (SplitUrl(platform_.codePage, url, scheme, urlPort, host, path) == 0) return 0;
    if (!EqualsNoCase(scheme, "http")) return 0;
    uint16_t port = 0;
    if (!ConnectPort(urlPort, kDefaultHttpPort, port)) return 0;

    Internet& internet = platform_.internet;
    // Declared root first so that they close request, connection, root.
    InternetHandleOwner root(internet);
    InternetHandleOwner connection(internet);
    InternetHandleOwner request(internet);

    root.Reset(internet.OpenRoot(agent));
    if (!root) return 0;
    connection.Reset(internet.Connect(root.Get(), host, port, "", "", InternetService::Http));
    if (!connection) return 0;
    request.Reset(internet.OpenHttpRequest(connection.Get(), "GET", path, kQueryRequestFlags));
    if (!request) return 0;
    if (!internet.SendHttpRequest(request.Get())) return 0;

    int status = 0;
    if (!RunStatusLoop(internet, request.Get(), kQueryTextLength, status)) return 0;
    if (status != 200) return 0;

    // A length that is missing, not a plain decimal number, or beyond 32 bits is refused rather
    // than read as some other number: the caller checks the download against it.
    std::string lengthText;
    if (!internet.QueryInfoText(request.Get(), kHttpQueryContentLength, kQueryTextLength,
                                lengthText)) {
        return 0;
    }
    uint32_t length = 0;
    if (!ParseContentLength(lengthText, length)) return 0;
    info.contentLength = length;

    if (!internet.QueryLastModified(request.Get(), info.lastModified)) return 0;
    return 1;
}

}  // namespace mivetrak
