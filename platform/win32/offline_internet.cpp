// The stand-in Internet used when no WinInet implementation can be made: never on line, every
// probe and dial fails and no handle is ever opened, so the program ends with "no connection".
#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

class OfflineInternet final : public Internet {
public:
    bool HasConnectedStateEx() override { return false; }
    bool ConnectedStateEx(uint32_t& flags) override {
        flags = 0;
        return false;
    }
    bool ConnectedState(uint32_t& flags) override {
        flags = 0;
        return false;
    }
    bool QueryOsVersion(uint32_t, OsVersion&) override { return false; }
    bool CheckConnectionTo(const char*) override { return false; }
    bool Autodial(WindowHandle, bool, SystemError& error) override { return Refuse(error); }
    bool DialConnection(WindowHandle, const std::string&, bool, uintptr_t* connectionId,
                        SystemError& error) override {
        if (connectionId != nullptr) *connectionId = 0;
        error.code = ERROR_NOT_SUPPORTED;
        return false;
    }
    InternetHandle OpenRoot(const std::string&, SystemError& error) override {
        Refuse(error);
        return nullptr;
    }
    InternetHandle Connect(InternetHandle, const std::string&, uint16_t, const std::string&,
                           const std::string&, InternetService, SystemError& error) override {
        Refuse(error);
        return nullptr;
    }
    bool SetTimeouts(InternetHandle, uint32_t, uint32_t) override { return false; }
    InternetHandle OpenHttpRequest(InternetHandle, const std::string&, const std::string&, uint32_t,
                                   SystemError& error) override {
        Refuse(error);
        return nullptr;
    }
    bool SendHttpRequest(InternetHandle, SystemError& error) override { return Refuse(error); }
    bool QueryInfoText(InternetHandle, uint32_t, uint32_t, std::string&) override { return false; }
    bool QueryProxy(InternetHandle, ProxySettings&) override { return false; }
    uint32_t ErrorDialog(InternetHandle, uint32_t, uint32_t) override { return ERROR_CANCELLED; }
    InternetHandle OpenFtpFile(InternetHandle, const std::string&, uint32_t, uint32_t,
                               SystemError& error) override {
        Refuse(error);
        return nullptr;
    }
    bool ReadData(InternetHandle, void*, uint32_t, uint32_t& bytesRead,
                  SystemError& error) override {
        bytesRead = 0;
        return Refuse(error);
    }
    void CloseInternetHandle(InternetHandle) override {}

private:
    // Nothing here reaches the network.
    static bool Refuse(SystemError& error) {
        error.code = ERROR_NOT_SUPPORTED;
        return false;
    }
};

}  // namespace

std::unique_ptr<Internet> CreateOfflineInternet() { return std::make_unique<OfflineInternet>(); }

}  // namespace mivetrak
