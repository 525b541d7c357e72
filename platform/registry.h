#pragma once
// Registry keys, opened (never created) and closed by their owner.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/system_error.h"

namespace mivetrak {

enum class RegistryRoot { LocalMachine, CurrentUser };

constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyReadWrite = 0x2001F;
constexpr uint32_t kRegDword = 4;

// Added to an access mask: the registry view to open under WoW64 (KEY_WOW64_64KEY,
// KEY_WOW64_32KEY). Without either, a 32-bit process sees the 32-bit view; on 32-bit Windows
// there is one view and both flags are ignored.
constexpr uint32_t kKey64BitView = 0x0100;
constexpr uint32_t kKey32BitView = 0x0200;

// An open key. Destroying it closes it (RegCloseKey).
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // RegQueryValueExA into a buffer of maxBytes: false when the value is missing or its data
    // does not fit; otherwise data holds exactly the bytes stored and type their type. error
    // receives the status of the call (ERROR_MORE_DATA for data that does not fit).
    virtual bool QueryValue(const std::string& name, uint32_t maxBytes, std::vector<uint8_t>& data,
                            uint32_t& type, SystemError& error) = 0;
    // RegSetValueExA: the bytes as they are, under the given registry type.
    virtual bool SetValue(const std::string& name, uint32_t type, const std::vector<uint8_t>& data,
                          SystemError& error) = 0;
    // RegDeleteValueA: fails with 2 (file not found) when there is no such value.
    virtual bool DeleteValue(const std::string& name, SystemError& error) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // RegOpenKeyExA; null when the key cannot be opened, with the call's status in error.
    virtual std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, const std::string& subKey,
                                                 uint32_t access, SystemError& error) = 0;
};

}  // namespace mivetrak
