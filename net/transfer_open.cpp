#include "net/transfer_open.h"

#include <utility>

#include "net/http_status.h"
#include "net/proxy_choice.h"
#include "net/redirect_target.h"
#include "platform/ascii_text.h"
#include "platform/log.h"

namespace mivetrak {

namespace {

// Room for the longest URL that a transfer takes (an 11-byte scheme, a 99-byte host, a
// 1023-byte path) with user information and blanks around it; a longer Location cannot be read.
constexpr uint32_t kLocationTextLength = 2048;

std::optional<int> ReadStatus(Internet& internet, InternetHandle request, uint32_t bufferLength) {
    std::string text;
    int status = 0;
    if (!internet.QueryInfoText(request, kHttpQueryStatusCode, bufferLength, text) ||
        !ParseStatusText(text, status)) {
        return std::nullopt;
    }
    return status;
}

// What the library's errors that end a secure connection before any answer mean: the server's
// certificate refused by the system's checks, or no secure connection to be had at all. Every one
// fails the request, as a server that cannot be reached does; nothing offers to go on regardless.
// The library has no text of its own for some of them.
const char* SecureConnectionProblem(uint32_t error) {
    switch (error) {
        case kErrorInternetSecCertDateInvalid:
            return "the server's certificate has expired or is not valid yet";
        case kErrorInternetSecCertCnInvalid:
            return "the server's certificate names another host";
        case kErrorInternetClientAuthCertNeeded:
            return "the server asks for a certificate of the client";
        case kErrorInternetInvalidCa:
            return "the server's certificate comes from an authority that the system does not "
                   "trust";
        case kErrorInternetSecCertErrors:
        case kErrorInternetSecInvalidCert:
            return "the server's certificate is not valid";
        case kErrorInternetSecCertNoRev:
        case kErrorInternetSecCertRevFailed:
            return "whether the server's certificate was revoked could not be checked";
        case kErrorInternetSecCertRevoked:
            return "the server's certificate was revoked";
        case kErrorInternetSecurityChannelError:
        case kErrorInternetFailedDueToSecurityCheck:
            return "no secure connection could be agreed with the server";
        default:
            return nullptr;
    }
}

bool FailSend(TransferFailure& failure) {
    const char* problem = SecureConnectionProblem(failure.error.code);
    if (problem == nullptr) return Fail(failure, "could not send the request");
    return Fail(failure, std::string("could not send the request securely: ") + problem);
}

// The connection and the request of one round of the sequence, sent; over TLS for https.
bool OpenAndSend(Internet& internet, const TransferUrl& url, const HttpOpen& open,
                 TransferHandles& handles, TransferFailure& failure) {
    if (!OpenConnection(internet, open.agent, url, open.user, open.password, handles, failure)) {
        return false;
    }
    // The library is told to hand redirects back rather than follow them.
    const uint32_t flags =
        open.flags | kInternetFlagNoAutoRedirect | (url.secure ? kInternetFlagSecure : 0u);
    handles.data.Reset(internet.OpenHttpRequest(handles.connection.Get(), open.verb, url.path,
                                                flags, failure.error));
    if (!handles.data) return Fail(failure, "could not open the request");
    if (!internet.SendHttpRequest(handles.data.Get(), failure.error)) return FailSend(failure);
    return true;
}

// A 407 is a proxy's request for a login only where the system sends the URL through a proxy;
// from anywhere else it is a server's answer that no login can settle (and the password dialog,
// taken down that road, brings the process down under some systems).
bool ProxyMayAsk(Internet& internet, InternetHandle root, const TransferUrl& url) {
    ProxySettings settings;
    return internet.QueryProxy(root, settings) && GoesThroughProxy(settings, url);
}

// One request of the sequence, up to its final status once the password dialog is done with (or
// at once when nobody is there to answer it).
bool SendRequest(Internet& internet, const TransferUrl& url, const HttpOpen& open,
                 TransferHandles& handles, std::optional<int>& status, TransferFailure& failure) {
    if (!OpenAndSend(internet, url, open, handles, failure)) return false;
    const InternetHandle request = handles.data.Get();
    for (;;) {
        status = ReadStatus(internet, request, open.statusBufferLength);
        if (status == 407 && !ProxyMayAsk(internet, handles.root, url)) {
            failure.error.code = 0;
            return Fail(failure,
                        "the server answered HTTP status 407, a proxy's request for a login, but "
                        "the system sends this URL through no proxy");
        }
        if (!AsksForLogin(status) || !open.userPresent) return true;
        // The platform's dialog asks for a user name and password and stores them on the
        // request; only its "send again" answer makes another round.
        if (internet.ErrorDialog(request, kErrorInternetIncorrectPassword, kErrorDialogFlags) !=
            kErrorInternetForceRetry) {
            return true;
        }
        if (!internet.SendHttpRequest(request, failure.error)) {
            return Fail(failure, "could not send the request again");
        }
    }
}

// Reads where the redirect that request answered with leads, resolved against the URL that was
// asked, into next and its parts. Empty when it can be followed; otherwise the rest of a log
// sentence that says why not. From https it never leads down to clear text.
std::string ReadRedirect(Platform& platform, InternetHandle request, const std::string& asked,
                         bool askedSecurely, std::string& next, TransferUrl& nextParts) {
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
    const std::string scheme = next.substr(0, next.find(':'));
    const bool secure = EqualsNoCase(scheme, "https");
    if (!secure && !EqualsNoCase(scheme, "http")) {
        return " to " + UrlForLog(next) + ", which is not an http or https URL";
    }
    if (askedSecurely && !secure) {
        return " to " + UrlForLog(next) + ", a downgrade from https to http";
    }
    if (!ParseTransferUrl(codePage, next, nextParts)) {
        return " to " + UrlForLog(next) + ", which cannot be fetched";
    }
    return std::string();
}

// Whether the redirect that the request in handles answered is to be followed, the hop
// numbered followed + 1; asked, target and handles then move on to where it leads. A redirect
// refused is logged and leaves everything as it is.
bool FollowRedirect(Platform& platform, int followed, const std::optional<int>& status,
                    std::string& asked, TransferUrl& target, TransferHandles& handles) {
    const std::string answer = UrlForLog(asked) + " answered " + std::to_string(*status);
    if (followed == kMaxRedirects) {
        platform.log.Write("Refused a redirect: " + answer + " after " +
                           std::to_string(kMaxRedirects) +
                           " redirects, the most that one request follows.");
        return false;
    }
    std::string next;
    TransferUrl nextParts;
    const std::string refusal =
        ReadRedirect(platform, handles.data.Get(), asked, target.secure, next, nextParts);
    if (!refusal.empty()) {
        platform.log.Write("Refused a redirect: " + answer + refusal + ".");
        return false;
    }
    platform.log.Write("Redirect " + std::to_string(followed + 1) + " of at most " +
                       std::to_string(kMaxRedirects) + ": " + answer + ", following it to " +
                       UrlForLog(next) + ".");
    // The request, then its connection, as the library expects; the root stays.
    handles.data.Close();
    handles.connection.Close();
    asked = std::move(next);
    target = std::move(nextParts);
    return true;
}

}  // namespace

bool Fail(TransferFailure& failure, std::string what) {
    failure.what = std::move(what);
    return false;
}

std::string DescribeTransferFailure(System& system, const TransferFailure& failure) {
    std::string text = failure.what;
    if (failure.error.code != 0) text += ": " + DescribeSystemError(system, failure.error.code);
    return text;
}

std::optional<std::string> ForeignEncoding(Internet& internet, InternetHandle request,
                                           uint32_t bufferLength) {
    std::string encoding;
    if (!internet.QueryInfoText(request, kHttpQueryContentEncoding, bufferLength, encoding)) {
        return std::nullopt;
    }
    size_t first = encoding.find_first_not_of(" \t");
    size_t last = encoding.find_last_not_of(" \t");
    const std::string trimmed =
        first == std::string::npos ? std::string() : encoding.substr(first, last - first + 1);
    if (trimmed.empty() || EqualsNoCase(trimmed, "identity")) return std::nullopt;
    return encoding;
}

bool IsRedirectStatus(const std::optional<int>& status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool AsksForLogin(const std::optional<int>& status) { return status == 401 || status == 407; }

std::string DescribeHttpStatus(const std::optional<int>& status, bool userPresent) {
    if (!status) return "a status that could not be read";
    std::string text = "HTTP status " + std::to_string(*status);
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
    if (handles.root == nullptr) return Fail(failure, "could not open the Internet library");
    handles.connection.Reset(internet.Connect(handles.root, url.host, url.port, user, password,
                                              url.service, failure.error));
    if (!handles.connection) return Fail(failure, "could not connect to the server");
    // A library that refuses the limits still transfers; only its own defaults then apply.
    internet.SetTimeouts(handles.connection.Get(), kConnectTimeoutMilliseconds,
                         kIdleTimeoutMilliseconds);
    return true;
}

bool OpenHttpTransfer(Platform& platform, const std::string& url, const HttpOpen& open,
                      TransferHandles& handles, std::optional<int>& status,
                      TransferFailure& failure) {
    TransferUrl target;
    if (!ParseTransferUrl(platform.codePage, url, target) ||
        target.service != InternetService::Http) {
        failure.error.code = 0;
        return Fail(failure, "could not read it as an http or https URL that fits");
    }
    std::string asked = url;
    for (int followed = 0;; ++followed) {
        if (!SendRequest(platform.internet, target, open, handles, status, failure)) return false;
        if (!IsRedirectStatus(status)) return true;
        if (!FollowRedirect(platform, followed, status, asked, target, handles)) return true;
    }
}

}  // namespace mivetrak
