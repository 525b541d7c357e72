// Keeps a file in use, as another program would, for tests that need a busy file.
//
//   hold_file.exe [--readable] <path> <ready-marker> [max-seconds]
//
// Opens <path> (which must exist) for reading and writing with no sharing at all, or with
// --readable for reading only and letting others read it too, as a program that only reads the
// file would (nobody may then write, rename or delete it). Creates the file <ready-marker> once
// the file is held, and keeps holding it for as long as the marker
// exists: delete the marker to release the file. Never holds longer than max-seconds (default 60)
// so that a forgotten holder cannot hang a test run.
// Exit codes: 0 released by the caller, 3 released after the time limit, 2 the file or the marker
// could not be opened, 1 wrong arguments.
#include <windows.h>

#include <cstdlib>
#include <cstring>

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

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int main(int argc, char** argv) {
    const bool readable = argc > 1 && std::strcmp(argv[1], "--readable") == 0;
    if (readable) {
        --argc;
        ++argv;
    }
    if (argc < 3 || argc > 4) return 1;
    const char* path = argv[1];
    const char* marker = argv[2];
    const long maxSeconds = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 60;
    if (maxSeconds <= 0 || maxSeconds > 3600) return 1;

    const DWORD access = readable ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = readable ? FILE_SHARE_READ : 0;
    const Handle held(
        CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held.Valid()) return 2;
    {
        const Handle ready(CreateFileA(marker, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!ready.Valid()) return 2;
    }

    const DWORD start = GetTickCount();
    const DWORD limit = static_cast<DWORD>(maxSeconds) * 1000u;
    while (Exists(marker)) {
        if (GetTickCount() - start >= limit) return 3;
        Sleep(10);
    }
    return 0;
}
