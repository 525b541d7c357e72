#include "net/transfer_open.h"

#include <utility>

#include "net/http_status.h"
#include "net/redirect_target.h"
#include "platform/ascii_text.h"
#include "platform/log.h"

namespace mivetrak {

namespace {

// Room for the longest URL that a transfer takes (an 11-byte scheme, a 99-byte host, a
// 1023-byte path) with user information and blanks around it; a longer Location cannot be read.
constexpr uint32_t kLocationTextLength = 2048;

int ReadStatus(Internet& internet, InternetHandle request, uint32_t bufferLength) {
    std::string text;
    return internet.QueryInfoText(request, kHttpQueryStatusCode, bufferLength, text)
               ? ParseStatusText(text)
               : 0;
}

bool Fail(TransferFailure& failure, const char* step) {
    failure.step = step;
    return false;
}

// One request of the sequence, up to its final status once the password dialog is done with (or
// at once when nobody is there to answer it). The library is told to hand redirects back rather
// than follow them.
bool SendRequest(Internet& internet, const TransferUrl& url, const HttpOpen& open,
                 TransferHandles& handles, int& status, TransferFailure& failure) {
    if (!OpenConnection(internet, open.agent, url, open.user, open.password, handles, failure)) {
        return false;
    }
    handles.data.Reset(internet.OpenHttpRequest(handles.connection.Get(), open.verb, url.path,
                                                open.flags | kInternetFlagNoAutoRedirect,
                                                failure.error));
    if (!handles.data) return Fail(failure, "open the request");
    const InternetHandle request = handles.data.Get();
    if (!internet.SendHttpRequest(request, failure.error)) {
        return Fail(failure, "send the request");
    }
    for (;;) {
        status = ReadStatus(internet, request, open.statusBufferLength);
        if (!AsksForLogin(status) || !open.userPresent) return true;
        // The platform's dialog asks for a user name and password and stores them on the
        // request; only its "send again" answer makes another round.
        if (internet.ErrorDialog(request, kErrorInternetIncorrectPassword, kErrorDialogFlags) !=
            kErrorInternetForceRetry) {
            return true;
        }
        if (!internet.SendHttpRequest(request, failure.error)) {
            return Fail(failure, "send the request again");
        }
    }
}

// Reads where the redirect that request answered with leads, resolved against the URL that was
// asked, into next and its parts. Empty when it can be followed; otherwise the rest of a log
// sentence that says why not.
std::string ReadRedirect(Platform& platform, InternetHandle request, const std::string& asked,
                         std::string& next, TransferUrl& nextParts) {
    const CodePage& codePage = platform.codePage;
    std::string location;
    if (!platform.internet.QueryInfoText(request, kHttpQueryLocation, kLocationTextLength,
                                         location)) {
        return " without a Location that can be read";
    }
    if (!ResolveLocation(codePage, asked, location, next)) {
        return " with a Location that names no URL";
    }
    // A resolved URL always starts with its scheme and a ':'.
    if (!EqualsNoCase(next.substr(0, next.find(':')), "http")) {
        return " to " + UrlForLog(next) + ", which is not an http URL";
    }
    if (!ParseTransferUrl(codePage, next, nextParts)) {
        return " to " + UrlForLog(next) + ", which cannot be fetched";
    }
    return std::string();
}

}  // namespace

std::string DescribeTransferFailure(System& system, const TransferFailure& failure) {
    std::string text = std::string("could not ") + failure.step;
    if (failure.error.code != 0) text += ": " + DescribeSystemError(system, failure.error.code);
    return text;
}

bool IsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool AsksForLogin(int status) { return status == 401 || status == 407; }

std::string DescribeHttpStatus(int status, bool userPresent) {
    if (status == 0) return "a status that could not be read";
    std::string text = "HTTP status " + std::to_string(status);
    if (AsksForLogin(status)) {
        text += userPresent ? " (the login it asks for was not given)"
                            : " (it asks for a login, and nobody is there to give one)";
    }
    return text;
}

bool OpenConnection(Internet& internet, const std::string& agent, const TransferUrl& url,
                    const std::string& user, const std::string& password, TransferHandles& handles,
                    TransferFailure& failure) {
    handles.root = handles.roots.For(agent, failure.error);
    if (handles.root == nullptr) return Fail(failure, "open the Internet library");
    handles.connection.Reset(internet.Connect(handles.root, url.host, url.port, user, password,
                                              url.service, failure.error));
    if (!handles.connection) return Fail(failure, "connect to the server");
    // A library that refuses the limits still transfers; only its own defaults then apply.
    internet.SetTimeouts(handles.connection.Get(), kConnectTimeoutMilliseconds,
                         kIdleTimeoutMilliseconds);
    return true;
}

bool OpenHttpTransfer(Platform& platform, const std::string& url, const HttpOpen& open,
                      TransferHandles& handles, int& status, TransferFailure& failure) {
    TransferUrl target;
    if (!ParseTransferUrl(platform.codePage, url, target) ||
        target.service != InternetService::Http) {
        failure.error.code = 0;
        return Fail(failure, "read it as an http URL that fits");
    }
    std::string asked = url;
    for (int followed = 0;; ++followed) {
        if (!SendRequest(platform.internet, target, open, handles, status, failure)) return false;
        if (!IsRedirectStatus(status)) return true;
        const std::string answer = UrlForLog(asked) + " answered " + std::to_string(status);
        if (followed == kMaxRedirects) {
            platform.log.Write("Refused a redirect: " + answer + " after " +
                               std::to_string(kMaxRedirects) +
                               " redirects, the most that one request follows.");
            return true;
        }
        std::string next;
        const std::string refusal = ReadRedirect(platform, handles.data.Get(), asked, next, target);
        if (!refusal.empty()) {
            platform.log.Write("Refused a redirect: " + answer + refusal + ".");
            return true;
        }
        platform.log.Write("Redirect " + std::to_string(followed + 1) + " of at most " +
                           std::to_string(kMaxRedirects) + ": " + answer + ", following it to " +
                           UrlForLog(next) + ".");
        // The request, then its connection, as the library expects; the root stays.
        handles.data.Close();
        handles.connection.Close();
        asked = std::move(next);
    }
}

}  // namespace mivetrak
