// A stand-in for a restarted program: writes the arguments it was given (as the C runtime splits
// its UTF-16 command line, in UTF-8, one per line, its own name left out) into the file named by
// its first argument, and exits with the number given as its second.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], length, nullptr, nullptr);
    out.resize(static_cast<size_t>(length - 1));
    return out;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr || count < 3) return 99;
    std::string lines;
    for (int i = 1; i < count; ++i) lines += Utf8(args[i]) + "\n";
    const HANDLE file = CreateFileW(args[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 98;
    DWORD written = 0;
    WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    CloseHandle(file);
    const int code = _wtoi(args[2]);
    LocalFree(args);
    return code;
}
