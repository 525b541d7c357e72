#pragma once
// One run's handle on the network: connectivity, autodial, the transfer state, and the two
// transfer operations (remote query and download).
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "net/deployment.h"
#include "net/transfer.h"
#include "platform/platform.h"

namespace mivetrak {

class InternetSession {
public:
    // The deployment names the sites that the connection test probes on old systems.
    InternetSession(Platform& platform, const Deployment& deployment);
    ~InternetSession();  // teardown
    InternetSession(const InternetSession&) = delete;
    InternetSession& operator=(const InternetSession&) = delete;

    // 1 when the machine counts as on line. connectionFlags (optional) receives the platform's
    // connection-type flags; skipProbes skips the version query and the probes.
    int CheckConnection(uint32_t* connectionFlags, bool skipProbes);
    // Saves the user's autodial settings (written back at teardown), then dials: the platform's
    // autodial without a connection name, the named connection otherwise. 1 = on line.
    int Dial(WindowHandle owner, const char* connectionName, uintptr_t* connectionId);

    // The transfer state; both wait (polling once a second) while the state is Held, except for a
    // forced write.
    int32_t GetState();
    void SetState(int32_t value, int force);

    int ReadAutodialSettings(int32_t& mode, uint32_t& valueType);
    int RestoreAutodialSettings(int32_t mode, uint32_t valueType);

    // HTTP GET of url reading only the status, Content-Length and Last-Modified. 1 on 200 with
    // both headers read.
    int QueryRemoteFile(const std::string& agent, const std::string& url, RemoteFileInfo& info);
    // Fetches an http or ftp URL into localPath (or only opens it when localPath is null). verb:
    // GET or POST in any case. status (optional) receives the final HTTP status. callback
    // (optional) is called every 20 blocks of 128 bytes; 0 from it stops the download.
    int DownloadFile(const std::string& agent, const std::string& url, const char* localPath,
                     const char* verb, const std::string& user, const std::string& password,
                     int reload, int* status, ProgressCallback callback, void* userData);

private:
    Platform& platform_;
    const Deployment deployment_;
    InternetHandle root_ = nullptr;
    InternetHandle connection_ = nullptr;
    int32_t savedAutodialMode_ = 0;
    uint32_t savedValueType_ = 0;
    int32_t state_ = StateIdle;
    // Guards state_ only. Held in an optional so that teardown can destroy it first, before the
    // handle slots are closed and the autodial settings written back.
    std::optional<std::mutex> lock_;
};

}  // namespace mivetrak
