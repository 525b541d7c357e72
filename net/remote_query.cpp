// The remote query: status, length and last-modified time of a file on an HTTP server, without
// reading its body.
#include "net/http_status.h"
#include "net/internet_session.h"
#include "net/transfer_open.h"
#include "net/url.h"

namespace mivetrak {

namespace {
constexpr uint32_t kQueryTextLength = 255;  // a 256-byte buffer
}  // namespace

int InternetSession::QueryRemoteFile(const std::string& agent, const std::string& url,
                                     RemoteFileInfo& info) {
    TransferUrl target;
    if (!ParseTransferUrl(platform_.codePage, url, target)) return 0;
    if (target.service != InternetService::Http) return 0;

    Internet& internet = platform_.internet;
    TransferHandles handles(internet, roots_);
    const HttpOpen open{agent, "", "", "GET", kHttpReloadFlags, kQueryTextLength};
    int status = 0;
    if (!OpenHttpTransfer(internet, target, open, handles, status)) return 0;
    if (status != 200) return 0;

    // A length that is missing, not a plain decimal number, or beyond 32 bits is refused rather
    // than read as some other number: the caller checks the download against it.
    const InternetHandle request = handles.data.Get();
    std::string lengthText;
    if (!internet.QueryInfoText(request, kHttpQueryContentLength, kQueryTextLength, lengthText)) {
        return 0;
    }
    uint32_t length = 0;
    if (!ParseContentLength(lengthText, length)) return 0;
    info.contentLength = length;

    if (!internet.QueryLastModified(request, info.lastModified)) return 0;
    return 1;
}

}  // namespace mivetrak
