// The remote query: status, length and last-modified time of a file on an HTTP server, without
// its body.
//
// It asks with HEAD. A GET closed after its headers does not spare the body: the Internet library
// reads off the rest of it while it closes the request, so on a fast link every check would cost
// the whole database. HEAD asks for the same headers under the same agent, flags and URL and the
// server sends no body. A server that does not answer HEAD with 200, a length and a time (it
// refuses the method, leaves a header out, says the length is 0, gives no answer at all) is
// asked again with GET, as it always was, so that every server that answered before still does.
// Only a login that was not given (the user declined, or nobody is there) is not asked for again.
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
    LoginDeclined,  // 401 or 407 once the password dialog is done with, or without a user
    Unusable,       // anything else
};

struct HeaderReply {
    HeaderAnswer answer = HeaderAnswer::Unusable;
    std::string problem;           // for the log: what made the answer unusable
    std::string lastModifiedText;  // for the log: the header as the server sent it
};

// The length and the time of a response that answered 200. The length is stored before the time
// is read, whatever becomes of the time.
HeaderReply ReadFileHeaders(Internet& internet, InternetHandle request, RemoteFileInfo& info) {
    HeaderReply reply;
    // Encoded bytes are not the file, whatever length they are announced with.
    if (const auto encoding = ForeignEncoding(internet, request, kQueryTextLength)) {
        reply.problem = "a Content-Encoding of " + QuotedForLog(*encoding);
        return reply;
    }
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
    reply.lastModifiedText = timeText;
    if (!ParseHttpDate(timeText, info.lastModified)) {
        reply.problem = "the Last-Modified " + QuotedForLog(timeText) +
                        ", which is not an HTTP date that a file can keep";
        return reply;
    }
    reply.answer = HeaderAnswer::Usable;
    return reply;
}

// One request for the file's headers with the given verb; its handles are closed on return.
HeaderReply AskHeaders(Platform& platform, RootHandles& roots, const HttpOpen& open,
                       const std::string& url, RemoteFileInfo& info) {
    TransferHandles handles(platform.internet, roots);
    std::optional<int> status;
    HeaderReply reply;
    TransferFailure failure;
    if (!OpenHttpTransfer(platform, url, open, handles, status, failure)) {
        reply.problem = "no answer (" + DescribeTransferFailure(platform.system, failure) + ")";
        return reply;
    }
    if (status != 200) {
        if (AsksForLogin(status)) reply.answer = HeaderAnswer::LoginDeclined;
        reply.problem = DescribeHttpStatus(status, open.userPresent);
        return reply;
    }
    return ReadFileHeaders(platform.internet, handles.data.Get(), info);
}

HttpOpen HeaderRequest(const std::string& agent, const char* verb, bool userPresent) {
    HttpOpen open{agent, "", "", verb, kHttpReloadFlags, kQueryTextLength};
    open.userPresent = userPresent;
    return open;
}

void LogAnswer(Log& log, const std::string& file, const char* verb, const RemoteFileInfo& info,
               const HeaderReply& reply) {
    log.Write("The query of " + file + " (" + verb + ") answered HTTP status 200, " +
              std::to_string(info.contentLength) + " bytes, Last-Modified " +
              QuotedForLog(reply.lastModifiedText) + ".");
}

}  // namespace

bool InternetSession::QueryRemoteFile(const std::string& agent, const std::string& url,
                                      RemoteFileInfo& info) {
    Log& log = platform_.log;
    const std::string file = UrlForLog(url);
    TransferUrl target;
    if (!ParseTransferUrl(platform_.codePage, url, target) ||
        target.service != InternetService::Http) {
        log.Write("The URL " + file +
                  " cannot be queried: it is not an http or https URL that fits.");
        return false;
    }
    RemoteFileInfo headInfo;
    HeaderReply head =
        AskHeaders(platform_, roots_, HeaderRequest(agent, "HEAD", userPresent_), url, headInfo);
    // A length of 0 is what some servers say to HEAD whatever the file holds; a GET tells.
    if (head.answer == HeaderAnswer::Usable && headInfo.contentLength == 0) {
        head.answer = HeaderAnswer::Unusable;
        head.problem = "a Content-Length of 0";
    }
    switch (head.answer) {
        case HeaderAnswer::Usable:
            info = headInfo;
            LogAnswer(log, file, "HEAD", info, head);
            return true;
        case HeaderAnswer::LoginDeclined:
            log.Write("The query of " + file + " stopped: HEAD got " + head.problem + ".");
            return false;
        case HeaderAnswer::Unusable:
            log.Write("HEAD of " + file + " gave " + head.problem + "; asking with GET instead.");
            break;
    }
    const HeaderReply get =
        AskHeaders(platform_, roots_, HeaderRequest(agent, "GET", userPresent_), url, info);
    if (get.answer == HeaderAnswer::Usable) {
        LogAnswer(log, file, "GET", info, get);
        return true;
    }
    log.Write("The query of " + file + " failed: GET gave " + get.problem + ".");
    return false;
}

}  // namespace mivetrak
