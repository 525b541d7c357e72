#pragma once
// One run's handle on the network: connectivity, autodial, the transfer state, and the two
// transfer operations (remote query and download).
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/deployment.h"
#include "net/root_handles.h"
#include "net/transfer.h"
#include "platform/platform.h"

namespace mivetrak {

// What DownloadFile fetches, where to, and how.
struct DownloadRequest {
    std::string agent;
    std::string url;  // http, https or ftp
    // The local file that receives the body; without one the transfer is only opened.
    std::optional<std::string> localPath;
    // When set, the file at localPath already open: the body is written into it from where it
    // stands, and it is flushed and left open for the caller, who thus reads back through the
    // same handle exactly the bytes that arrived.
    File* localFile = nullptr;
    std::string verb = "GET";  // GET or POST in any case (HTTP only); anything else is refused
    std::string user;
    std::string password;
    bool reload = true;  // fetch anew and store nothing in the cache
    // Called every 20 blocks of 128 bytes with userData; 0 from it stops the download.
    ProgressCallback callback = nullptr;
    void* userData = nullptr;
    // Shown the body as it is written to localPath, when set.
    ReceivedBytes* written = nullptr;
    // The length the body must have, when the caller knows it beforehand: a Content-Length that
    // differs fails before the body is read, and no more than one byte beyond it is read.
    std::optional<uint32_t> requiredLength;
    // The most bytes that the local file may take: a Content-Length beyond it fails before the
    // first byte is written, and a body without one is not read past it.
    std::optional<uint64_t> spaceLeft;
    // The most bytes read of a body whose size is not announced, so that the caller can tell
    // a body larger than it takes (reading stops one byte beyond what it takes).
    std::optional<uint64_t> readLimit;
};

// One of the user's autodial values as it was before dialling.
struct SavedRegistryValue {
    // Whether it could be read (or was found missing). A value that could not be read is left as
    // it is when the settings are written back.
    bool known = false;
    bool present = false;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// What the user's autodial values amount to.
enum class AutodialMode {
    NotRead,         // the settings key could not be opened: nothing is written back
    Off,             // EnableAutodial is 0 or missing
    WithoutNetwork,  // dial only when there is no network (NoNetAutodial set)
    Always,
};

// The user's autodial settings before dialling: the mode they amount to and both values exactly
// as they were stored.
struct AutodialSettings {
    AutodialMode mode = AutodialMode::NotRead;
    SavedRegistryValue enableAutodial;
    SavedRegistryValue noNetAutodial;
};

class InternetSession {
public:
    // The deployment names the sites that the connection test probes on old systems.
    InternetSession(Platform& platform, const Deployment& deployment);
    ~InternetSession();  // teardown
    InternetSession(const InternetSession&) = delete;
    InternetSession& operator=(const InternetSession&) = delete;

    // Whether the machine counts as on line. connectionFlags (optional) receives the platform's
    // connection-type flags; skipProbes skips the version query and the probes.
    bool CheckConnection(uint32_t* connectionFlags, bool skipProbes);
    // Saves the user's autodial settings (written back at teardown), then dials: the platform's
    // autodial without a connection name, the named connection otherwise; without a user there,
    // unattended. True when that brought the machine on line.
    bool Dial(WindowHandle owner, const char* connectionName, uintptr_t* connectionId);

    // Whether a user is there to answer the platform's own questions: its password dialog, when a
    // server asks for a login, and its dialling dialog. True until told otherwise; without a user
    // a login that is asked for is never given, and dialling fails where it needs the user.
    void SetUserPresent(bool present) { userPresent_ = present; }

    // The transfer state; both wait (polling once a second) while the state is Held, except for a
    // forced write.
    TransferState GetState();
    void SetState(TransferState value, bool force);

    // Reads both values and the mode they amount to (NotRead when the key cannot be opened).
    void ReadAutodialSettings(AutodialSettings& settings);
    // Puts each value back with its type and data, and deletes one that did not exist; nothing
    // when the settings were not read.
    void RestoreAutodialSettings(const AutodialSettings& settings);

    // Both follow an HTTP server's redirects, up to kMaxRedirects for one request (see
    // OpenHttpTransfer).
    //
    // The status, Content-Length and Last-Modified of url, without its body: asked with HEAD, and
    // with GET when the answer to HEAD is not 200 with both headers. True on 200 with both read,
    // the date one that ParseHttpDate accepts.
    bool QueryRemoteFile(const std::string& agent, const std::string& url, RemoteFileInfo& info);
    // Fetches the request's URL into its local file. status (optional) receives the final HTTP
    // status once it could be read (a redirect's own status when it was refused).
    bool DownloadFile(const DownloadRequest& request, std::optional<int>* status = nullptr);

private:
    // Marks the transfer failed, whatever holds it.
    void FailTransfer();

    Platform& platform_;
    const Deployment deployment_;
    // Every transfer of the run goes through these roots; teardown closes them.
    RootHandles roots_;
    AutodialSettings savedAutodial_;
    bool userPresent_ = true;
    TransferState state_ = TransferState::Idle;
    // Guards state_ only. Held in an optional so that teardown can destroy it first, before the
    // autodial settings are written back.
    std::optional<std::mutex> lock_;
};

}  // namespace mivetrak
