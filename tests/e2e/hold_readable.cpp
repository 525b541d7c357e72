// Keeps a file open the way a program that only reads it would: other programs may read it
// too, but nobody may write, rename or delete it while it is held.
//
//   hold_readable.exe <path> <ready-marker> [max-seconds]
//
// Creates <ready-marker> once the file is held and holds it for as long as the marker exists;
// delete the marker to release the file. Never holds longer than max-seconds (default 60).
// Exit codes: 0 released by the caller, 3 released after the time limit, 2 the file or the
// marker could not be opened, 1 wrong arguments.
#include <windows.h>

#include <cstdlib>

namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (Valid()) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) return 1;
    const char* path = argv[1];
    const char* marker = argv[2];
    const long maxSeconds = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 60;
    if (maxSeconds <= 0 || maxSeconds > 3600) return 1;

    const Handle held(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held.Valid()) return 2;
    {
        const Handle ready(CreateFileA(marker, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!ready.Valid()) return 2;
    }
    const ULONGLONG limit = static_cast<ULONGLONG>(maxSeconds) * 1000u;
    const ULONGLONG start = GetTickCount64();
    while (GetFileAttributesA(marker) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount64() - start >= limit) return 3;
        Sleep(10);
    }
    return 0;
}
