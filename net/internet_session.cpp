// Placeholder definitions so that the tree links while this file is being written.
#include "net/internet_session.h"

namespace mivetrak {

InternetSession::InternetSession(Platform& platform) : platform_(platform) {}
InternetSession::~InternetSession() = default;
int InternetSession::CheckConnection(uint32_t*, int) { return 0; }
int InternetSession::Dial(WindowHandle, const char*, uintptr_t*) { return 0; }
int32_t InternetSession::GetState() { return state_; }
void InternetSession::SetState(int32_t value, int) { state_ = value; }
int InternetSession::ReadAutodialSettings(int32_t&, uint32_t&) { return 1; }
int InternetSession::RestoreAutodialSettings(int32_t, uint32_t) { return 0; }
int InternetSession::QueryRemoteFile(const std::string&, const std::string&, RemoteFileInfo&) {
    return 0;
}
int InternetSession::DownloadFile(const std::string&, const std::string&, const char*, const char*,
                                  const std::string&, const std::string&, int, int*,
                                  ProgressCallback, void*) {
    return 0;
}

}  // namespace mivetrak
