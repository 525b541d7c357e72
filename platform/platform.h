#pragma once
// The set of platform services handed to the portable logic. The Win32 build makes one with
// CreateWin32Platform(); tests build their own from fakes.
#include <memory>

#include "platform/code_page.h"
#include "platform/crypto.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/log.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/windows_ui.h"

namespace mivetrak {

struct Platform {
    FileSystem& files;
    Registry& registry;
    Internet& internet;
    System& system;
    WindowsUi& ui;
    CodePage& codePage;
    Log& log;
    Crypto& crypto;
};

// Owns the Win32 implementations behind a Platform (defined in platform/win32/).
class PlatformHolder {
public:
    virtual ~PlatformHolder() = default;
    virtual Platform& Get() = 0;
};
std::unique_ptr<PlatformHolder> CreateWin32Platform();

}  // namespace mivetrak
