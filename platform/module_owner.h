#pragma once
// Owner of a module that System::LoadResourceModule loaded: frees it once, when it is reset or when
// the owner ends.
#include "platform/system.h"

namespace mivetrak {

class ModuleOwner {
public:
    explicit ModuleOwner(System& system) : system_(system) {}
    ~ModuleOwner() { Reset(); }
    ModuleOwner(const ModuleOwner&) = delete;
    ModuleOwner& operator=(const ModuleOwner&) = delete;

    // Frees the module held so far, then holds module (null: none).
    void Reset(ModuleHandle module = nullptr) {
        if (module_ != nullptr) system_.FreeModule(module_);
        module_ = module;
    }
    ModuleHandle Get() const { return module_; }
    explicit operator bool() const { return module_ != nullptr; }

private:
    System& system_;
    ModuleHandle module_ = nullptr;
};

}  // namespace mivetrak
