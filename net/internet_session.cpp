// Construction and teardown of the session, the transfer state, the connection test and dialling.
#include "net/internet_session.h"

#include "platform/log.h"

namespace mivetrak {

namespace {
constexpr uint32_t kPollMilliseconds = 1000;
// Modem, LAN and proxy: what the connection-type word holds until the platform fills it.
constexpr uint32_t kInitialConnectionFlags = 7;
constexpr uint32_t kVersionRecordExtended = 156;
constexpr uint32_t kVersionRecordBasic = 148;
constexpr uint32_t kPlatformWin32Nt = 2;
}  // namespace

InternetSession::InternetSession(Platform& platform, const Deployment& deployment)
    : platform_(platform), deployment_(deployment), roots_(platform.internet) {
    lock_.emplace();
}

InternetSession::~InternetSession() {
    lock_.reset();
    roots_.CloseAll();
    RestoreAutodialSettings(savedAutodial_);
}

TransferState InternetSession::GetState() {
    for (;;) {
        TransferState value;
        {
            std::lock_guard<std::mutex> guard(*lock_);
            value = state_;
        }
        if (value != TransferState::Held) return value;
        platform_.system.SleepMilliseconds(kPollMilliseconds);
    }
}

void InternetSession::SetState(TransferState value, bool force) {
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(*lock_);
            if (force || state_ != TransferState::Held) {
                state_ = value;
                return;
            }
        }
        platform_.system.SleepMilliseconds(kPollMilliseconds);
    }
}

bool InternetSession::CheckConnection(uint32_t* connectionFlags, bool skipProbes) {
    Internet& internet = platform_.internet;
    uint32_t flags = kInitialConnectionFlags;
    const bool online = internet.HasConnectedStateEx() ? internet.ConnectedStateEx(flags)
                                                       : internet.ConnectedState(flags);
    if (!online) return false;

    // Old NT systems (major version 4 and below) can report a connection that does not work, so
    // there the answer is confirmed by actually connecting somewhere.
    bool probe = false;
    if (!skipProbes) {
        OsVersion version;
        if (!internet.QueryOsVersion(kVersionRecordExtended, version) &&
            !internet.QueryOsVersion(kVersionRecordBasic, version)) {
            return false;
        }
        probe = version.platformId == kPlatformWin32Nt && version.majorVersion <= 4;
    }
    if (connectionFlags != nullptr) *connectionFlags = flags;
    if (!probe) return true;

    const char* const probes[] = {deployment_.makerSiteUrl.c_str(),
                                  deployment_.portalSiteUrl.c_str(), nullptr};
    for (const char* url : probes) {
        if (internet.CheckConnectionTo(url)) return true;
    }
    return false;
}

bool InternetSession::Dial(WindowHandle owner, const char* connectionName,
                           uintptr_t* connectionId) {
    ReadAutodialSettings(savedAutodial_);
    SystemError error;
    if (connectionName == nullptr) {
        if (platform_.internet.Autodial(owner, !userPresent_, error)) return true;
        platform_.log.Write("The system's autodial did not bring the machine on line: " +
                            DescribeSystemError(platform_.system, error.code) + ".");
        return false;
    }
    if (platform_.internet.DialConnection(owner, connectionName, !userPresent_, connectionId,
                                          error)) {
        return true;
    }
    platform_.log.Write("Dialling " + QuotedForLog(connectionName) +
                        " failed: " + DescribeSystemError(platform_.system, error.code) + ".");
    return false;
}

}  // namespace mivetrak
