// A small UI driver for the end-to-end tests: it finds the updater's message boxes and its
// progress dialog among the top-level windows of the desktop, reads what they show, presses
// their buttons as a user would, and reads texts from the resource library so that the tests
// compare what is on screen with what the library holds.
//
// Every answer is printed as one JSON object per line; non-ASCII characters are written as
// \uXXXX escapes. Every command has a time limit, and a watchdog ends the process should
// anything block beyond it.
//
//   ui_driver list
//   ui_driver wait  box|dialog|any [--caption TEXT] [--button ID] [--timeout MS]
//   ui_driver press box|dialog ID [--caption TEXT] [--timeout MS]
//   ui_driver close box|dialog [--timeout MS]   (the close command of the window menu)
//   ui_driver gone  box|dialog|any [--timeout MS]
//   ui_driver watch [--timeout MS] [--interval MS]
//   ui_driver strings LIBRARY ID...
//   ui_driver message CODE        (the system's text for an error code)
//   ui_driver paths               (the temporary folder and Program Files)
//
// Exit codes: 0 done, 1 timed out or not found, 2 usage error, 3 library not loadable,
// 4 stopped by the watchdog.
#include <windows.h>
// shellapi.h and shlobj.h need the types of <windows.h>, included first.
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "resources/resource_ids.h"

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x0440;  // the icon of a system message box
constexpr UINT kPbmGetPos = 0x0408;
constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr DWORD kPollMs = 25;

enum class Kind { Box, Dialog, Any };

struct Child {
    HWND hwnd;
    int id;
    std::wstring className;
};

struct Found {
    HWND hwnd = nullptr;
    Kind kind = Kind::Any;
    std::wstring caption;
    std::wstring text;  // a box's message
    RECT icon{};        // where a box shows its icon, in screen coordinates
    bool hasIcon = false;
    std::vector<int> buttons;
    int position = -1;     // the dialog's progress bar
    std::wstring status;   // the status text control
    std::wstring percent;  // the percentage text control
};

std::wstring Utf16FromAnsi(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string JsonString(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        const unsigned code = static_cast<unsigned>(c) & 0xFFFFu;
        if (c == L'"') {
            out += "\\\"";
        } else if (c == L'\\') {
            out += "\\\\";
        } else if (code < 0x20u || code >= 0x7Fu) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
            out += escaped;
        } else {
            out += static_cast<char>(code);
        }
    }
    return out + "\"";
}

void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::wstring WindowText(HWND hwnd) {
    // For a window of another process this reads the text kept by the system and sends no
    // message, so a busy target cannot block us.
    wchar_t buffer[4096];
    buffer[0] = L'\0';
    const int length =
        GetWindowTextW(hwnd, buffer, static_cast<int>(sizeof buffer / sizeof *buffer));
    return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

std::wstring ClassName(HWND hwnd) {
    wchar_t buffer[256];
    const int length = GetClassNameW(hwnd, buffer, 256);
    return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    auto* children = reinterpret_cast<std::vector<Child>*>(param);
    children->push_back({hwnd, GetDlgCtrlID(hwnd) & 0xFFFF, ClassName(hwnd)});
    return TRUE;
}

std::vector<Child> Children(HWND hwnd) {
    std::vector<Child> children;
    EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND FindChild(const std::vector<Child>& children, int id) {
    for (const Child& child : children)
        if (child.id == id) return child.hwnd;
    return nullptr;
}

Found Describe(HWND hwnd) {
    Found found;
    found.hwnd = hwnd;
    found.caption = WindowText(hwnd);
    const std::vector<Child> children = Children(hwnd);
    const HWND bar = FindChild(children, IDC_PROGRESS_BAR);
    const HWND message = FindChild(children, kMessageBoxTextId);
    if (bar) {
        found.kind = Kind::Dialog;
        DWORD_PTR position = 0;
        if (SendMessageTimeoutW(bar, kPbmGetPos, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000,
                                &position))
            found.position = static_cast<int>(position);
        if (HWND status = FindChild(children, IDC_STATUS_TEXT)) found.status = WindowText(status);
        if (HWND percent = FindChild(children, IDC_PERCENT_TEXT))
            found.percent = WindowText(percent);
    } else if (message) {
        found.kind = Kind::Box;
        found.text = WindowText(message);
        const HWND icon = FindChild(children, kMessageBoxIconId);
        found.hasIcon = icon && IsWindowVisible(icon) && GetWindowRect(icon, &found.icon);
    }
    for (const Child& child : children) {
        if (child.className.size() == 6 && _wcsicmp(child.className.c_str(), L"Button") == 0 &&
            IsWindowVisible(child.hwnd))
            found.buttons.push_back(child.id);
    }
    return found;
}

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Box:
            return "box";
        case Kind::Dialog:
            return "dialog";
        case Kind::Any:
            break;
    }
    return "other";
}

std::string Json(const Found& found) {
    std::string out = "{\"hwnd\":" + std::to_string(reinterpret_cast<uintptr_t>(found.hwnd));
    out += ",\"kind\":\"";
    out += KindName(found.kind);
    out += "\",\"caption\":" + JsonString(found.caption);
    if (found.kind == Kind::Box) {
        out += ",\"text\":" + JsonString(found.text);
        if (found.hasIcon) {
            out += ",\"icon\":[" + std::to_string(found.icon.left) + "," +
                   std::to_string(found.icon.top) + "," +
                   std::to_string(found.icon.right - found.icon.left) + "," +
                   std::to_string(found.icon.bottom - found.icon.top) + "]";
        }
    }
    if (found.kind == Kind::Dialog) {
        out += ",\"position\":" + std::to_string(found.position);
        out += ",\"status\":" + JsonString(found.status);
        out += ",\"percent\":" + JsonString(found.percent);
    }
    out += ",\"buttons\":[";
    for (size_t i = 0; i < found.buttons.size(); ++i) {
        if (i) out += ",";
        out += std::to_string(found.buttons[i]);
    }
    return out + "]}";
}

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param) {
    if (IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<Found> VisibleWindows() {
    std::vector<HWND> handles;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&handles));
    std::vector<Found> found;
    for (HWND hwnd : handles) found.push_back(Describe(hwnd));
    return found;
}

struct Filter {
    Kind kind = Kind::Any;
    const wchar_t* caption = nullptr;
    int button = -1;
};

bool Matches(const Found& found, const Filter& filter) {
    if (filter.kind != Kind::Any && found.kind != filter.kind) return false;
    if (filter.kind == Kind::Any && found.kind == Kind::Any) return false;
    if (filter.caption && found.caption != filter.caption) return false;
    if (filter.button >= 0) {
        bool has = false;
        for (int id : found.buttons) has = has || id == filter.button;
        if (!has) return false;
    }
    return true;
}

bool FindMatch(const Filter& filter, Found* out) {
    for (const Found& found : VisibleWindows()) {
        if (Matches(found, filter)) {
            *out = found;
            return true;
        }
    }
    return false;
}

bool WaitFor(const Filter& filter, DWORD timeoutMs, Found* out) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (FindMatch(filter, out)) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}

void PrintTimeout() {
    std::string line = "{\"timeout\":true,\"windows\":[";
    const std::vector<Found> windows = VisibleWindows();
    for (size_t i = 0; i < windows.size(); ++i) {
        if (i) line += ",";
        line += Json(windows[i]);
    }
    PrintLine(line + "]}");
}

struct Options {
    std::vector<std::wstring> positional;
    DWORD timeoutMs = kDefaultTimeoutMs;
    DWORD intervalMs = 50;
    std::wstring caption;
    bool hasCaption = false;
    int button = -1;
};

bool ParseNumber(const std::wstring& text, long* value) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    *value = std::wcstol(text.c_str(), &end, 0);
    return end && *end == L'\0';
}

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        long number = 0;
        if (arg == L"--timeout" || arg == L"--interval" || arg == L"--button") {
            if (i + 1 >= argc || !ParseNumber(argv[i + 1], &number) || number < 0) return false;
            if (arg == L"--timeout")
                options->timeoutMs = static_cast<DWORD>(number);
            else if (arg == L"--interval")
                options->intervalMs = static_cast<DWORD>(number);
            else
                options->button = static_cast<int>(number);
            ++i;
        } else if (arg == L"--caption") {
            if (i + 1 >= argc) return false;
            options->caption = argv[++i];
            options->hasCaption = true;
        } else {
            options->positional.push_back(arg);
        }
    }
    return true;
}

bool ParseKind(const std::wstring& text, Kind* kind) {
    if (text == L"box")
        *kind = Kind::Box;
    else if (text == L"dialog")
        *kind = Kind::Dialog;
    else if (text == L"any")
        *kind = Kind::Any;
    else
        return false;
    return true;
}

Filter MakeFilter(Kind kind, const Options& options) {
    Filter filter;
    filter.kind = kind;
    filter.caption = options.hasCaption ? options.caption.c_str() : nullptr;
    filter.button = options.button;
    return filter;
}

int CommandList() {
    for (const Found& found : VisibleWindows()) PrintLine(Json(found));
    return 0;
}

int CommandWait(Kind kind, const Options& options) {
    Found found;
    if (!WaitFor(MakeFilter(kind, options), options.timeoutMs, &found)) {
        PrintTimeout();
        return 1;
    }
    PrintLine(Json(found));
    return 0;
}

int CommandPress(Kind kind, int id, Options options) {
    // A dialog's Cancel is its IDCANCEL command whether or not it has a button of that id;
    // a box is pressed only through a button that it shows.
    if (kind == Kind::Box) options.button = id;
    Found found;
    if (!WaitFor(MakeFilter(kind, options), options.timeoutMs, &found)) {
        PrintTimeout();
        return 1;
    }
    HWND button = nullptr;
    for (const Child& child : Children(found.hwnd))
        if (child.id == id && child.className == L"Button") button = child.hwnd;
    const WPARAM command = MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED);
    if (!PostMessageW(found.hwnd, WM_COMMAND, command, reinterpret_cast<LPARAM>(button))) {
        PrintLine("{\"error\":\"PostMessage failed\"}");
        return 1;
    }
    PrintLine("{\"pressed\":" + std::to_string(id) + ",\"window\":" + Json(found) + "}");
    return 0;
}

int CommandClose(Kind kind, const Options& options) {
    Found found;
    if (!WaitFor(MakeFilter(kind, options), options.timeoutMs, &found)) {
        PrintTimeout();
        return 1;
    }
    if (!PostMessageW(found.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0)) {
        PrintLine("{\"error\":\"PostMessage failed\"}");
        return 1;
    }
    PrintLine("{\"closed\":" + Json(found) + "}");
    return 0;
}

int CommandGone(Kind kind, const Options& options) {
    const ULONGLONG start = GetTickCount64();
    const Filter filter = MakeFilter(kind, options);
    Found found;
    while (FindMatch(filter, &found)) {
        if (GetTickCount64() - start >= options.timeoutMs) {
            PrintTimeout();
            return 1;
        }
        Sleep(kPollMs);
    }
    PrintLine("{\"gone\":true,\"ms\":" + std::to_string(GetTickCount64() - start) + "}");
    return 0;
}

// Samples the progress dialog until it has gone (after it was seen) or the time is up; one line
// per reading that differs from the one before, then a closing line.
int CommandWatch(const Options& options) {
    const ULONGLONG start = GetTickCount64();
    const Filter filter = MakeFilter(Kind::Dialog, Options());
    bool seen = false;
    std::string last;
    int readings = 0;
    while (GetTickCount64() - start < options.timeoutMs) {
        Found found;
        if (FindMatch(filter, &found)) {
            seen = true;
            // A bar that does not answer belongs to a dialog that is going away.
            if (found.position < 0) {
                Sleep(options.intervalMs);
                continue;
            }
            const std::string line = Json(found);
            if (line != last) {
                PrintLine("{\"ms\":" + std::to_string(GetTickCount64() - start) +
                          ",\"reading\":" + line + "}");
                last = line;
                ++readings;
            }
        } else if (seen) {
            break;
        }
        Sleep(options.intervalMs);
    }
    PrintLine("{\"done\":true,\"seen\":" + std::string(seen ? "true" : "false") +
              ",\"readings\":" + std::to_string(readings) + "}");
    return seen ? 0 : 1;
}

int CommandStrings(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return 2;
    const HMODULE library = LoadLibraryW(args[1].c_str());
    if (!library) {
        PrintLine("{\"error\":\"cannot load library\",\"code\":" + std::to_string(GetLastError()) +
                  "}");
        return 3;
    }
    std::string line = "{";
    for (size_t i = 2; i < args.size(); ++i) {
        long id = 0;
        if (!ParseNumber(args[i], &id) || id < 0 || id > 0xFFFF) {
            FreeLibrary(library);
            return 2;
        }
        // The program reads its texts with LoadStringA; reading them the same way gives the
        // same characters as its boxes show.
        char buffer[4096];
        const int length = LoadStringA(library, static_cast<UINT>(id), buffer, sizeof buffer);
        if (i > 2) line += ",";
        line += "\"" + std::to_string(id) + "\":" +
                JsonString(Utf16FromAnsi(
                    std::string(buffer, static_cast<size_t>(length > 0 ? length : 0))));
    }
    FreeLibrary(library);
    PrintLine(line + "}");
    return 0;
}

int CommandMessage(const std::vector<std::wstring>& pos) {
    long code = 0;
    if (pos.empty() || !ParseNumber(pos[0], &code)) return 2;
    // The same call and flags as the program's own box for a library that cannot be loaded.
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, static_cast<DWORD>(code), 0x400, reinterpret_cast<char*>(&text), 0, nullptr);
    const std::string message = length && text ? std::string(text, length) : std::string();
    if (text) LocalFree(text);
    PrintLine("{\"code\":" + std::to_string(code) +
              ",\"text\":" + JsonString(Utf16FromAnsi(message)) + "}");
    return 0;
}

int CommandPaths() {
    wchar_t temp[MAX_PATH + 1] = {};
    wchar_t programFiles[MAX_PATH] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles);
    PrintLine("{\"temp\":" + JsonString(temp) + ",\"program_files\":" + JsonString(programFiles) +
              "}");
    return 0;
}

DWORD WINAPI Watchdog(LPVOID param) {
    Sleep(static_cast<DWORD>(reinterpret_cast<uintptr_t>(param)));
    PrintLine("{\"error\":\"watchdog\"}");
    ExitProcess(4);
}

int Usage() {
    std::fputs(
        "usage: ui_driver list | wait KIND | press KIND ID | close KIND | gone KIND | watch | "
        "strings LIBRARY ID...  [--timeout MS] [--interval MS] [--caption TEXT] "
        "[--button ID]\n",
        stderr);
    return 2;
}

int Run(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    Options options;
    if (!ParseOptions(argc, argv, &options)) return Usage();

    // Nothing may outlive its time limit by more than a few seconds.
    const DWORD limit = options.timeoutMs + 5000;
    HANDLE watchdog = CreateThread(
        nullptr, 0, Watchdog, reinterpret_cast<LPVOID>(static_cast<uintptr_t>(limit)), 0, nullptr);
    if (watchdog) CloseHandle(watchdog);

    const std::vector<std::wstring>& pos = options.positional;
    Kind kind = Kind::Any;
    if (command == L"list") return CommandList();
    if (command == L"watch") return CommandWatch(options);
    if (command == L"message") return CommandMessage(pos);
    if (command == L"paths") return CommandPaths();
    if (command == L"strings") {
        std::vector<std::wstring> args{command};
        args.insert(args.end(), pos.begin(), pos.end());
        return CommandStrings(args);
    }
    if (pos.empty() || !ParseKind(pos[0], &kind)) return Usage();
    if (command == L"wait") return CommandWait(kind, options);
    if (command == L"gone") return CommandGone(kind, options);
    if (command == L"close" && kind != Kind::Any) return CommandClose(kind, options);
    if (command == L"press") {
        long id = 0;
        if (pos.size() < 2 || !ParseNumber(pos[1], &id) || kind == Kind::Any) return Usage();
        return CommandPress(kind, static_cast<int>(id), options);
    }
    return Usage();
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    const int result = Run(argc, argv);
    LocalFree(argv);
    return result;
}
