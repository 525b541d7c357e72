#include "fakes/fake_registry.h"

#include "platform/ascii_text.h"

namespace mivetrak {

namespace {
constexpr uint32_t kKeySetValue = 0x0002;
}  // namespace

class FakeRegistry::FakeKey : public RegistryKey {
public:
    FakeKey(FakeRegistry& owner, KeyId id, std::string subKey, RegistryRoot root, uint32_t access)
        : owner_(owner),
          id_(std::move(id)),
          subKey_(std::move(subKey)),
          root_(root),
          access_(access) {}
    ~FakeKey() override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        --owner_.openKeys_;
    }
    bool QueryValue(const std::string& name, uint32_t maxBytes, std::vector<uint8_t>& data,
                    uint32_t& type, SystemError& error) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        error.code = kErrorFileNotFound;
        auto key = owner_.keys_.find(id_);
        if (key == owner_.keys_.end()) return false;
        auto value = key->second.find(ToLowerAscii(name));
        if (value == key->second.end()) return false;
        if (value->second.data.size() > maxBytes) {
            error.code = kErrorMoreData;
            return false;
        }
        data = value->second.data;
        type = value->second.type;
        error.code = 0;
        return true;
    }
    bool SetValue(const std::string& name, uint32_t type, const std::vector<uint8_t>& data,
                  SystemError& error) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        const bool allowed = MayWrite();
        owner_.writes_.push_back({root_, subKey_, name, false, type, data, allowed});
        error.code = allowed ? 0 : kErrorAccessDenied;
        if (!allowed) return false;
        Value& stored = owner_.keys_[id_][ToLowerAscii(name)];
        stored.type = type;
        stored.data = data;
        return true;
    }
    bool DeleteValue(const std::string& name, SystemError& error) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        const bool allowed = MayWrite();
        const auto key = owner_.keys_.find(id_);
        const bool found = key != owner_.keys_.end() && key->second.count(ToLowerAscii(name)) != 0;
        owner_.writes_.push_back({root_, subKey_, name, true, 0, {}, allowed && found});
        error.code = !allowed ? kErrorAccessDenied : !found ? kErrorFileNotFound : 0;
        if (error.code != 0) return false;
        key->second.erase(ToLowerAscii(name));
        return true;
    }

private:
    // Called with the owner's lock held.
    bool MayWrite() const {
        return !owner_.failWrites_ && (access_ & kKeySetValue) != 0 && owner_.keys_.count(id_) != 0;
    }

    FakeRegistry& owner_;
    KeyId id_;
    std::string subKey_;
    RegistryRoot root_;
    uint32_t access_;
};

FakeRegistry::KeyId FakeRegistry::Id(RegistryRoot root, const std::string& subKey, View view) {
    return {root, view, ToLowerAscii(subKey)};
}

FakeRegistry::KeyId FakeRegistry::Resolve(RegistryRoot root, const std::string& subKey,
                                          uint32_t access) const {
    const View view = (access & kKey64BitView) != 0 ? View::Only64 : View::Only32;
    const KeyId own = Id(root, subKey, view);
    return keys_.count(own) != 0 ? own : Id(root, subKey);
}

void FakeRegistry::AddKey(RegistryRoot root, const std::string& subKey, View view) {
    std::lock_guard<std::mutex> lock(mutex_);
    keys_[Id(root, subKey, view)];
}

void FakeRegistry::SetValue(RegistryRoot root, const std::string& subKey, const std::string& name,
                            uint32_t type, std::vector<uint8_t> data, View view) {
    std::lock_guard<std::mutex> lock(mutex_);
    Value& value = keys_[Id(root, subKey, view)][ToLowerAscii(name)];
    value.type = type;
    value.data = std::move(data);
}

void FakeRegistry::SetString(RegistryRoot root, const std::string& subKey, const std::string& name,
                             const std::string& text, View view) {
    std::vector<uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(root, subKey, name, kRegSz, std::move(data), view);
}

void FakeRegistry::SetDword(RegistryRoot root, const std::string& subKey, const std::string& name,
                            uint32_t value, View view) {
    SetValue(root, subKey, name, kRegDword,
             {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)},
             view);
}

void FakeRegistry::FailOpen(RegistryRoot root, const std::string& subKey, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    openFailures_[Id(root, subKey)] = error;
}

void FakeRegistry::FailWrites() {
    std::lock_guard<std::mutex> lock(mutex_);
    failWrites_ = true;
}

bool FakeRegistry::GetValue(RegistryRoot root, const std::string& subKey, const std::string& name,
                            Value& out) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto key = keys_.find(Id(root, subKey));
    if (key == keys_.end()) return false;
    auto value = key->second.find(ToLowerAscii(name));
    if (value == key->second.end()) return false;
    out = value->second;
    return true;
}

std::vector<FakeRegistry::WriteRecord> FakeRegistry::Writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

std::vector<FakeRegistry::OpenRecord> FakeRegistry::Opens() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return opens_;
}

int FakeRegistry::OpenKeyCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return openKeys_;
}

std::unique_ptr<RegistryKey> FakeRegistry::OpenKey(RegistryRoot root, const std::string& subKey,
                                                   uint32_t access, SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    const KeyId id = Resolve(root, subKey, access);
    const auto failure = openFailures_.find(Id(root, subKey));
    error.code = keys_.count(id) == 0             ? kErrorFileNotFound
                 : failure != openFailures_.end() ? failure->second
                                                  : 0;
    const bool ok = error.code == 0;
    opens_.push_back({root, subKey, access, ok});
    if (!ok) return nullptr;
    ++openKeys_;
    return std::make_unique<FakeKey>(*this, id, subKey, root, access);
}

}  // namespace mivetrak
