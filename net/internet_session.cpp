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
    if (savedAutodial_.mode != 0) RestoreAutodialSettings(savedAutodial_);
}

int32_t InternetSession::GetState() {
    for (;;) {
        int32_t value;
        {
            std::lock_guard<std::mutex> guard(*lock_);
            value = state_;
        }
        if (value != StateHeld) return value;
        platform_.system.SleepMilliseconds(kPollMilliseconds);
    }
}

void InternetSession::SetState(int32_t value, bool force) {
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(*lock_);
            if (force || state_ != StateHeld) {
                state_ = value;
                return;
            }
        }
        platform_.system.SleepMilliseconds(kPollMilliseconds);
    }
}

int InternetSession::CheckConnection(uint32_t* connectionFlags, bool skipProbes) {
    Internet& internet = platform_.internet;
    uint32_t flags = kInitialConnectionFlags;
    const bool online = internet.HasConnectedStateEx() ? internet.ConnectedStateEx(flags)
                                                       : internet.ConnectedState(flags);
    if (!online) return 0;

    // Old NT systems (major version 4 and below) can report a connection that does not work, so
    // there the answer is confirmed by actually connecting somewhere.
    bool probe = false;
    if (!skipProbes) {
        OsVersion version;
        if (!internet.QueryOsVersion(kVersionRecordExtended, version) &&
            !internet.QueryOsVersion(kVersionRecordBasic, version)) {
            return 0;
        }
        probe = version.platformId == kPlatformWin32Nt && version.majorVersion <= 4;
    }
    if (connectionFlags != nullptr) *connectionFlags = flags;
    if (!probe) return 1;

    const char* const probes[] = {deployment_.makerSiteUrl.c_str(),
                                  deployment_.portalSiteUrl.c_str(), nullptr};
    for (const char* url : probes) {
        if (internet.CheckConnectionTo(url)) return 1;
    }
    return 0;
}

int InternetSession::Dial(WindowHandle owner, const char* connectionName, uintptr_t* connectionId) {
    ReadAutodialSettings(savedAutodial_);
    SystemError error;
    if (connectionName == nullptr) {
        if (platform_.internet.Autodial(owner, !userPresent_, error)) return 1;
        platform_.log.Write("The system's autodial did not bring the machine on line: " +
                            DescribeSystemError(platform_.system, error.code) + ".");
        return 0;
    }
    if (platform_.internet.DialConnection(owner, connectionName, !userPresent_, connectionId,
                                          error)) {
        return 1;
    }
    platform_.log.Write("Dialling " + QuotedForLog(connectionName) +
                        " failed: " + DescribeSystemError(platform_.system, error.code) + ".");
    return 0;
}

}  // namespace mivetrak
