#pragma once
// Reads text values under HKEY_LOCAL_MACHINE, in one registry view. No key stays open between
// calls.
#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace mivetrak {

class RegistryReader {
public:
    // view: 0 for the process's own view, or kKey32BitView or kKey64BitView.
    explicit RegistryReader(Registry& registry, uint32_t view = 0);

    // Reads the value into text; false when the key cannot be opened or the value is missing or
    // does not fit 260 bytes together with its terminating zero (text untouched). The text ends
    // at the value's first zero byte; the value's type is not looked at.
    bool ReadString(const std::string& subKey, const std::string& valueName, std::string& text);

private:
    Registry& registry_;
    RegistryRoot root_ = RegistryRoot::LocalMachine;
    uint32_t view_;
};

}  // namespace mivetrak
