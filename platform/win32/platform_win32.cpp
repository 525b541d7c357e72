// The Win32 platform: owns one implementation of every interface for the life of the program.
#include "platform/file_log.h"
#include "platform/platform.h"
#include "platform/win32/crypto_win32.h"
#include "platform/win32/internet_win32.h"
#include "platform/win32/library_loading.h"
#include "platform/win32/win32_platform.h"

namespace mivetrak {

namespace {

class Win32PlatformHolder final : public PlatformHolder {
public:
    Win32PlatformHolder()
        : files_(CreateWin32FileSystem()),
          registry_(CreateWin32Registry()),
          internet_(MakeInternet()),
          system_(CreateWin32System()),
          ui_(CreateWin32WindowsUi()),
          codePage_(CreateWin32CodePage()),
          log_(*files_, *system_),
          crypto_(CreateWin32Crypto()),
          platform_{*files_, *registry_, *internet_, *system_, *ui_, *codePage_, log_, *crypto_} {}

    Platform& Get() override { return platform_; }

private:
    static std::unique_ptr<Internet> MakeInternet() {
        std::unique_ptr<Internet> internet = CreateWin32Internet();
        return internet ? std::move(internet) : CreateOfflineInternet();
    }

    // Declared in the order of construction; the Platform refers to all of them.
    std::unique_ptr<FileSystem> files_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<Internet> internet_;
    std::unique_ptr<System> system_;
    std::unique_ptr<WindowsUi> ui_;
    std::unique_ptr<CodePage> codePage_;
    // Writes to its file once the program has named the folder; until then it holds the lines.
    FileLog log_;
    std::unique_ptr<Crypto> crypto_;
    Platform platform_;
};

}  // namespace

std::unique_ptr<PlatformHolder> CreateWin32Platform() {
    // Before anything is loaded at run time: every later load then searches the system folder
    // only.
    SetSafeLibrarySearchOrder();
    // A folder on a drive without its disk fails like any other rather than show the system's
    // "insert a disk" box, which in a run that nobody watches would wait for good.
    const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    SetErrorMode(errorMode | SEM_FAILCRITICALERRORS);
    return std::make_unique<Win32PlatformHolder>();
}

}  // namespace mivetrak
