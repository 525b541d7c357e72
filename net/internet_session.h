#pragma once
// One run's handle on the network: connectivity, autodial, the transfer state, and the two
// transfer operations (remote query and download).
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "net/transfer.h"
#include "platform/platform.h"

namespace mivetrak {

class InternetSession {
public:
    explicit InternetSession(Platform& platform);
    ~InternetSession();  // teardown
    InternetSession(const InternetSession&) = delete;
    InternetSession& operator=(const InternetSession&) = delete;

    int CheckConnection(uint32_t* connectionFlags, int skipProbes);
    int Dial(WindowHandle owner, const char* connectionName, uintptr_t* connectionId);

    int32_t GetState();
    void SetState(int32_t value, int force);

    int ReadAutodialSettings(int32_t& mode, uint32_t& valueType);
    int RestoreAutodialSettings(int32_t mode, uint32_t valueType);

    int QueryRemoteFile(const std::string& agent, const std::string& url, RemoteFileInfo& info);
    int DownloadFile(const std::string& agent, const std::string& url, const char* localPath,
                     const char* verb, const std::string& user, const std::string& password,
                     int reload, int* status, ProgressCallback callback, void* userData);

private:
    Platform& platform_;
    InternetHandle root_ = nullptr;
    InternetHandle connection_ = nullptr;
    int32_t savedAutodialMode_ = 0;
    uint32_t savedValueType_ = 0;
    int32_t state_ = StateIdle;
    std::mutex lock_;
};

}  // namespace mivetrak
