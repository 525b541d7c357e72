// The user's autodial settings: read before dialling, written back when the session ends, so
// that a dial made by this program leaves the user's choice exactly as it was: each value with
// its own type and data, and a value that did not exist deleted again rather than created.
#include "net/internet_session.h"

namespace mivetrak {

namespace {

constexpr char kInternetSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr char kEnableAutodial[] = "EnableAutodial";
constexpr char kNoNetAutodial[] = "NoNetAutodial";
// More than any autodial value holds; a longer one is not ours to rewrite and is left alone.
constexpr uint32_t kMaxSavedBytes = 1024;

SavedRegistryValue SaveValue(RegistryKey& key, const char* name) {
    SavedRegistryValue saved;
    SystemError error;
    if (key.QueryValue(name, kMaxSavedBytes, saved.data, saved.type, error)) {
        saved.known = true;
        saved.present = true;
    } else {
        saved.known = error.code == kErrorFileNotFound;
        saved.data.clear();
    }
    return saved;
}

// The value as a 32-bit number; one that is missing, unreadable or longer than 4 bytes is 0.
uint32_t AsNumber(const SavedRegistryValue& value) {
    if (!value.present || value.data.size() > 4) return 0;
    uint32_t number = 0;
    for (size_t i = 0; i < value.data.size(); ++i) {
        number |= static_cast<uint32_t>(value.data[i]) << (8 * i);
    }
    return number;
}

void RestoreValue(Platform& platform, RegistryKey& key, const char* name,
                  const SavedRegistryValue& saved) {
    if (!saved.known) return;
    SystemError error;
    if (saved.present) {
        if (!key.SetValue(name, saved.type, saved.data, error)) {
            platform.log.Write(std::string("Could not write back ") + name + ": " +
                               DescribeSystemError(platform.system, error.code) + ".");
        }
        return;
    }
    // It did not exist before the dial; it is taken away again if the dial left one behind.
    if (!key.DeleteValue(name, error) && error.code != kErrorFileNotFound) {
        platform.log.Write(std::string("Could not delete ") + name +
                           ", which did not exist before the dial: " +
                           DescribeSystemError(platform.system, error.code) + ".");
    }
}

}  // namespace

void InternetSession::ReadAutodialSettings(AutodialSettings& settings) {
    SystemError error;
    std::unique_ptr<RegistryKey> key = platform_.registry.OpenKey(
        RegistryRoot::CurrentUser, kInternetSettingsKey, kKeyRead, error);
    if (!key) return;
    settings.enableAutodial = SaveValue(*key, kEnableAutodial);
    settings.noNetAutodial = SaveValue(*key, kNoNetAutodial);
    if (AsNumber(settings.enableAutodial) == 0) {
        settings.mode = AutodialMode::Off;
    } else {
        settings.mode = AsNumber(settings.noNetAutodial) != 0 ? AutodialMode::WithoutNetwork
                                                              : AutodialMode::Always;
    }
}

void InternetSession::RestoreAutodialSettings(const AutodialSettings& settings) {
    if (settings.mode == AutodialMode::NotRead) return;
    SystemError error;
    std::unique_ptr<RegistryKey> key = platform_.registry.OpenKey(
        RegistryRoot::CurrentUser, kInternetSettingsKey, kKeyReadWrite, error);
    if (!key) {
        platform_.log.Write(
            "Could not open the Internet settings to write back the autodial "
            "settings: " +
            DescribeSystemError(platform_.system, error.code) + ".");
        return;
    }
    RestoreValue(platform_, *key, kEnableAutodial, settings.enableAutodial);
    RestoreValue(platform_, *key, kNoNetAutodial, settings.noNetAutodial);
}

}  // namespace mivetrak
