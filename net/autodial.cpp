// The user's autodial settings: read before dialling, written back when the session ends, so
// that a dial made by this program leaves the user's choice as it was.
#include "net/internet_session.h"

namespace mivetrak {

namespace {

constexpr char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr char kEnableAutodial[] = "EnableAutodial";
constexpr char kNoNetAutodial[] = "NoNetAutodial";
constexpr uint32_t kRegNone = 0;

// A 32-bit value as the key holds it; a value that is missing or longer than 4 bytes reads as 0.
// valueType receives the registry type of a value that could be read.
uint32_t ReadValue32(RegistryKey& key, const char* name, uint32_t& valueType) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    SystemError error;
    if (!key.QueryValue(name, 4, data, type, error) || data.size() > 4) return 0;
    valueType = type;
    uint32_t value = 0;
    for (size_t i = 0; i < data.size(); ++i) value |= static_cast<uint32_t>(data[i]) << (8 * i);
    return value;
}

}  // namespace

int InternetSession::ReadAutodialSettings(int32_t& mode, uint32_t& valueType) {
    valueType = 0;
    SystemError error;
    std::unique_ptr<RegistryKey> key = platform_.registry.OpenKey(
        RegistryRoot::CurrentUser, kInternetSettingsKey, kKeyRead, error);
    if (!key) return 1;
    if (ReadValue32(*key, kEnableAutodial, valueType) == 0) {
        mode = 1;
    } else {
        mode = ReadValue32(*key, kNoNetAutodial, valueType) != 0 ? 2 : 3;
    }
    return 1;
}

int InternetSession::RestoreAutodialSettings(int32_t mode, uint32_t valueType) {
    uint32_t enable = 0;
    uint32_t noNet = 0;
    switch (mode) {
        case 1:
            enable = 0;
            noNet = 0;
            break;
        case 2:
            enable = 1;
            noNet = 1;
            break;
        case 3:
            enable = 1;
            noNet = 0;
            break;
        default:
            return 0;
    }
    SystemError error;
    std::unique_ptr<RegistryKey> key = platform_.registry.OpenKey(
        RegistryRoot::CurrentUser, kInternetSettingsKey, kKeyReadWrite, error);
    if (!key) return 1;
    // When nothing could be read the type is REG_NONE; the values are 32-bit numbers, so they are
    // written back as REG_DWORD rather than as typeless data.
    const uint32_t type = valueType == kRegNone ? kRegDword : valueType;
    key->SetValue32(kEnableAutodial, enable, type);
    key->SetValue32(kNoNetAutodial, noNet, type);
    return 1;
}

}  // namespace mivetrak
