// The remote query: status, length and last-modified time of a file on an HTTP server, without
// its body.
//
// It asks with HEAD. A GET closed after its headers does not spare the body: the Internet library
// reads off the rest of it while it closes the request, so on a fast link every check would cost
// the whole database. HEAD asks for the same headers under the same agent, flags and URL and the
// server sends no body. A server that does not answer HEAD with 200, a length and a time (it
// refuses the method, leaves a header out, says the length is 0, gives no answer at all) is
// asked again with GET, as it always was, so that every server that answered before still does.
// Only a login that the user declined is not asked for again.
#include "net/http_date.h"
#include "net/http_status.h"
#include "net/internet_session.h"
#include "net/transfer_open.h"
#include "net/url.h"

namespace mivetrak {

namespace {

constexpr uint32_t kQueryTextLength = 255;  // a 256-byte buffer

enum class HeaderAnswer {
    Usable,         // 200 with both headers read
    LoginDeclined,  // 401 or 407 once the password dialog is done with
    Unusable,       // anything else
};

struct HeaderReply {
    HeaderAnswer answer = HeaderAnswer::Unusable;
    std::string problem;  // for the log: what made the answer unusable
};

// The length and the time of a response that answered 200. The length is stored before the time
// is read, whatever becomes of the time.
HeaderReply ReadFileHeaders(Internet& internet, InternetHandle request, RemoteFileInfo& info) {
    HeaderReply reply;
    // A length that is missing, not a plain decimal number, or beyond 32 bits is refused rather
    // than read as some other number: the caller checks the download against it.
    std::string lengthText;
    uint32_t length = 0;
    if (!internet.QueryInfoText(request, kHttpQueryContentLength, kQueryTextLength, lengthText) ||
        !ParseContentLength(lengthText, length)) {
        reply.problem = "no usable Content-Length";
        return reply;
    }
    info.contentLength = length;
    // The time is read as text and parsed here: a text that is no date a file can keep counts as
    // no header, and the log shows what the server sent.
    std::string timeText;
    if (!internet.QueryInfoText(request, kHttpQueryLastModified, kQueryTextLength, timeText)) {
        reply.problem = "no Last-Modified";
        return reply;
    }
    if (!ParseHttpDate(timeText, info.lastModified)) {
        reply.problem = "the Last-Modified " + QuotedForLog(timeText) +
                        ", which is not an HTTP date that a file can keep";
        return reply;
    }
    reply.answer = HeaderAnswer::Usable;
    return reply;
}

// One request for the file's headers with the given verb; its handles are closed on return.
HeaderReply AskHeaders(Platform& platform, RootHandles& roots, const std::string& agent,
                       const std::string& url, const char* verb, RemoteFileInfo& info) {
    TransferHandles handles(platform.internet, roots);
    const HttpOpen open{agent, "", "", verb, kHttpReloadFlags, kQueryTextLength};
    int status = 0;
    HeaderReply reply;
    SystemError sendError;
    if (!OpenHttpTransfer(platform, url, open, handles, status, sendError)) {
        reply.problem = "no answer";
        // A send that failed says why: a server that took too long shows here as a timeout.
        if (sendError.code != 0) {
            reply.problem += " (" + DescribeSystemError(platform.system, sendError.code) + ")";
        }
        return reply;
    }
    if (status == 401 || status == 407) {
        reply.answer = HeaderAnswer::LoginDeclined;
        reply.problem = "status " + std::to_string(status) + " without a login";
        return reply;
    }
    if (status != 200) {
        reply.problem = "status " + std::to_string(status);
        return reply;
    }
    return ReadFileHeaders(platform.internet, handles.data.Get(), info);
}

// The file as the log names it: rebuilt from the parts that were asked for, so that nothing
// else a URL may carry reaches the log.
std::string Describe(const TransferUrl& target) {
    return "http://" + target.host + ":" + std::to_string(target.port) + "/" + target.path;
}

}  // namespace

int InternetSession::QueryRemoteFile(const std::string& agent, const std::string& url,
                                     RemoteFileInfo& info) {
    TransferUrl target;
    if (!ParseTransferUrl(platform_.codePage, url, target)) return 0;
    if (target.service != InternetService::Http) return 0;

    Log& log = platform_.log;
    const std::string file = Describe(target);
    RemoteFileInfo headInfo;
    HeaderReply head = AskHeaders(platform_, roots_, agent, url, "HEAD", headInfo);
    // A length of 0 is what some servers say to HEAD whatever the file holds; a GET tells.
    if (head.answer == HeaderAnswer::Usable && headInfo.contentLength == 0) {
        head.answer = HeaderAnswer::Unusable;
        head.problem = "a Content-Length of 0";
    }
    switch (head.answer) {
        case HeaderAnswer::Usable:
            info = headInfo;
            return 1;
        case HeaderAnswer::LoginDeclined:
            log.Write("The query of " + file + " stopped: HEAD got " + head.problem + ".");
            return 0;
        case HeaderAnswer::Unusable:
            log.Write("HEAD of " + file + " gave " + head.problem + "; asking with GET instead.");
            break;
    }
    const HeaderReply get = AskHeaders(platform_, roots_, agent, url, "GET", info);
    if (get.answer == HeaderAnswer::Usable) return 1;
    log.Write("The query of " + file + " failed: GET gave " + get.problem + ".");
    return 0;
}

}  // namespace mivetrak
