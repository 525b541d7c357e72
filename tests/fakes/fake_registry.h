#pragma once
// An in-memory Registry for unit tests. Keys are found by root and path, values by name (the
// default value has the name ""), both without regard to ASCII case.
//
// Views: the process is a 32-bit one. A key is either the same in both registry views (Shared,
// the default of every knob, as on a Windows with one view) or kept in one view only (Only32,
// Only64, as WoW64 keeps most of HKLM\Software). An open with kKey64BitView sees the 64-bit
// view, any other open the 32-bit one; a key of one view only is found in that view alone.
//
// Knobs (thread-safe):
//   AddKey(root, path[, view])               an empty key
//   SetValue(root, path, name, type, bytes[, view])  any value; SetString stores REG_SZ text
//                                            with its terminating zero, SetDword a REG_DWORD
//   FailOpen(root, path[, error])            RegOpenKeyExA of that key fails although it exists,
//                                            with error (access denied unless given); a key
//                                            that does not exist fails with 2, a missing value
//                                            with 2, one that does not fit with 234
//   FailWrites()                             RegSetValueExA and RegDeleteValueA fail everywhere
//                                            (access denied)
// A key opened without KEY_SET_VALUE refuses writes and deletes (access denied), as the real
// registry does; deleting a value that does not exist fails with 2.
// Inspection: GetValue, Writes (every successful or refused write or delete in order), Opens
// (every open asked for), OpenKeyCount (keys not yet closed).
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "platform/registry.h"

namespace mivetrak {

constexpr uint32_t kRegSz = 1;

class FakeRegistry : public Registry {
public:
    enum class View { Shared, Only32, Only64 };
    struct Value {
        uint32_t type = 0;
        std::vector<uint8_t> data;
    };
    struct WriteRecord {
        RegistryRoot root;
        std::string subKey;
        std::string name;
        bool deleted;  // RegDeleteValueA; type and data are then 0 and empty
        uint32_t type;
        std::vector<uint8_t> data;
        bool succeeded;
    };
    struct OpenRecord {
        RegistryRoot root;
        std::string subKey;
        uint32_t access;
        bool succeeded;
    };

    void AddKey(RegistryRoot root, const std::string& subKey, View view = View::Shared);
    void SetValue(RegistryRoot root, const std::string& subKey, const std::string& name,
                  uint32_t type, std::vector<uint8_t> data, View view = View::Shared);
    void SetString(RegistryRoot root, const std::string& subKey, const std::string& name,
                   const std::string& text, View view = View::Shared);
    void SetDword(RegistryRoot root, const std::string& subKey, const std::string& name,
                  uint32_t value, View view = View::Shared);
    void FailOpen(RegistryRoot root, const std::string& subKey,
                  uint32_t error = kErrorAccessDenied);
    void FailWrites();

    bool GetValue(RegistryRoot root, const std::string& subKey, const std::string& name,
                  Value& out) const;
    std::vector<WriteRecord> Writes() const;
    std::vector<OpenRecord> Opens() const;
    int OpenKeyCount() const;

    std::unique_ptr<RegistryKey> OpenKey(RegistryRoot root, const std::string& subKey,
                                         uint32_t access, SystemError& error) override;

private:
    class FakeKey;
    using KeyId = std::tuple<RegistryRoot, View, std::string>;
    static KeyId Id(RegistryRoot root, const std::string& subKey, View view = View::Shared);
    // The key that an open with this access finds: the one of its view, else the shared one.
    KeyId Resolve(RegistryRoot root, const std::string& subKey, uint32_t access) const;

    mutable std::mutex mutex_;
    std::map<KeyId, std::map<std::string, Value>> keys_;
    std::map<KeyId, uint32_t> openFailures_;
    bool failWrites_ = false;
    std::vector<WriteRecord> writes_;
    std::vector<OpenRecord> opens_;
    int openKeys_ = 0;
};

}  // namespace mivetrak
