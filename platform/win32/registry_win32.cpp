// Registry keys on advapi32.
#include <vector>

#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

class Win32RegistryKey final : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    ~Win32RegistryKey() override { RegCloseKey(key_); }
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

    bool QueryValue(const std::string& name, uint32_t maxBytes, std::vector<uint8_t>& data,
                    uint32_t& type, SystemError& error) override {
        std::vector<uint8_t> buffer(maxBytes == 0 ? 1 : maxBytes, 0);
        DWORD size = maxBytes;
        DWORD foundType = REG_NONE;
        const LSTATUS status =
            RegQueryValueExA(key_, name.c_str(), nullptr, &foundType, buffer.data(), &size);
        error.code = static_cast<uint32_t>(status);
        if (status != ERROR_SUCCESS) return false;
        // Text must leave room for its terminating zero within the limit: a value stored without
        // one would otherwise fill the whole buffer and be read on past its end.
        const bool textFillsBuffer =
            IsTextType(foundType) && (size == 0 || buffer[size - 1] != 0) && size >= maxBytes;
        if (size > maxBytes || textFillsBuffer) {
            error.code = ERROR_MORE_DATA;
            return false;
        }
        data.assign(buffer.begin(), buffer.begin() + size);
        type = foundType;
        return true;
    }

    bool SetValue(const std::string& name, uint32_t type, const std::vector<uint8_t>& data,
                  SystemError& error) override {
        const LSTATUS status = RegSetValueExA(key_, name.c_str(), 0, type, data.data(),
                                              static_cast<DWORD>(data.size()));
        error.code = static_cast<uint32_t>(status);
        return status == ERROR_SUCCESS;
    }

    bool DeleteValue(const std::string& name, SystemError& error) override {
        const LSTATUS status = RegDeleteValueA(key_, name.c_str());
        error.code = static_cast<uint32_t>(status);
        return status == ERROR_SUCCESS;
    }

private:
    HKEY key_;
};

class Win32Registry final : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, const std::string& subKey,
                                         uint32_t access, SystemError& error) override {
        const HKEY rootKey =
            root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        HKEY key = nullptr;
        const LSTATUS status = RegOpenKeyExA(rootKey, subKey.c_str(), 0, access, &key);
        error.code = static_cast<uint32_t>(status);
        if (status != ERROR_SUCCESS) return nullptr;
        return std::make_unique<Win32RegistryKey>(key);
    }
};

}  // namespace

std::unique_ptr<Registry> CreateWin32Registry() { return std::make_unique<Win32Registry>(); }

}  // namespace mivetrak
