#include "app/registry_reader.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/types.h"

namespace mivetrak {

RegistryReader::RegistryReader(Registry& registry, uint32_t view)
    : registry_(registry), view_(view) {}

bool RegistryReader::ReadString(const std::string& subKey, const std::string& valueName,
                                std::string& text) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    bool read = false;
    {
        SystemError error;
        std::unique_ptr<RegistryKey> key =
            registry_.OpenKey(root_, subKey, kKeyQueryValue | view_, error);
        if (!key) return false;
        read = key->QueryValue(valueName, kMaxPath, data, type, error);
    }  // the key is closed here, before the value is looked at
    if (!read) return false;
    const auto end = std::find(data.begin(), data.end(), uint8_t{0});
    // A value stored without a terminating zero must leave room for one in the buffer.
    if (end == data.end() && data.size() >= kMaxPath) return false;
    text.assign(data.begin(), end);
    return true;
}

}  // namespace mivetrak
