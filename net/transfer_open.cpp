#include "net/transfer_open.h"

#include "net/http_status.h"

namespace mivetrak {

namespace {

int ReadStatus(Internet& internet, InternetHandle request, uint32_t bufferLength) {
    std::string text;
    return internet.QueryInfoText(request, kHttpQueryStatusCode, bufferLength, text)
               ? ParseStatusText(text)
               : 0;
}

}  // namespace

bool OpenConnection(Internet& internet, const std::string& agent, const TransferUrl& url,
                    const std::string& user, const std::string& password,
                    TransferHandles& handles) {
    handles.root = handles.roots.For(agent);
    if (handles.root == nullptr) return false;
    handles.connection.Reset(
        internet.Connect(handles.root, url.host, url.port, user, password, url.service));
    if (!handles.connection) return false;
    // A library that refuses the limits still transfers; only its own defaults then apply.
    internet.SetTimeouts(handles.connection.Get(), kConnectTimeoutMilliseconds,
                         kIdleTimeoutMilliseconds);
    return true;
}

bool OpenHttpTransfer(Internet& internet, const TransferUrl& url, const HttpOpen& open,
                      TransferHandles& handles, int& status, SystemError& sendError) {
    if (!OpenConnection(internet, open.agent, url, open.user, open.password, handles)) {
        return false;
    }
    handles.data.Reset(
        internet.OpenHttpRequest(handles.connection.Get(), open.verb, url.path, open.flags));
    if (!handles.data) return false;
    const InternetHandle request = handles.data.Get();
    if (!internet.SendHttpRequest(request, sendError)) return false;
    for (;;) {
        status = ReadStatus(internet, request, open.statusBufferLength);
        if (status != 401 && status != 407) return true;
        // The platform's dialog asks for a user name and password and stores them on the
        // request; only its "send again" answer makes another round.
        if (internet.ErrorDialog(request, kErrorInternetIncorrectPassword, kErrorDialogFlags) !=
            kErrorInternetForceRetry) {
            return true;
        }
        if (!internet.SendHttpRequest(request, sendError)) return false;
    }
}

}  // namespace mivetrak
