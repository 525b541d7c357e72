// The user of the update benchmark: starts the updater, answers its question with Yes the moment
// it appears, presses OK on every box that follows at once, and times the update from the Yes to
// the process's exit. It watches only the windows of the main thread of the process it started
// (the question, the progress dialog and the boxes that end the run all belong to it): a look at
// every window of the desktop every few milliseconds would cost the Wine server, which the
// updater needs for its own work, far more.
//
//   update_bench_driver PROGRAM [ARGUMENT...]
//
// Prints "program_seconds=S exit=N boxes=B dialog_seen=D last_box=TEXT" (the box count after the
// question; D is 1 when the progress dialog was seen), or "driver_error=..." and exits with 1.
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "resources/resource_ids.h"

namespace {

constexpr int kBoxTextId = 0xFFFF;
constexpr DWORD kTimeoutMs = 300000;
constexpr DWORD kPollMs = 2;

struct Watch {
    DWORD processId = 0;
    bool answeredQuestion = false;
    bool dialogSeen = false;
    int boxes = 0;
    std::string lastBox;
    std::set<HWND> pressed;
    LARGE_INTEGER yesAt{};
};

void Press(HWND window, int id) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

BOOL CALLBACK Visit(HWND window, LPARAM context) {
    auto& watch = *reinterpret_cast<Watch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != watch.processId || !IsWindowVisible(window)) return TRUE;
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770") return TRUE;

    if (GetDlgItem(window, IDC_PROGRESS_BAR) != nullptr) {
        watch.dialogSeen = true;
        return TRUE;
    }
    if (watch.pressed.count(window) != 0 || GetDlgItem(window, kBoxTextId) == nullptr) return TRUE;

    if (!watch.answeredQuestion && GetDlgItem(window, IDYES) != nullptr) {
        QueryPerformanceCounter(&watch.yesAt);
        Press(window, IDYES);
        watch.answeredQuestion = true;
        watch.pressed.insert(window);
        return TRUE;
    }
    if (watch.answeredQuestion && GetDlgItem(window, IDOK) != nullptr) {
        char text[512] = {};
        GetDlgItemTextA(window, kBoxTextId, text, sizeof text);
        watch.lastBox = text;
        ++watch.boxes;
        Press(window, IDOK);
        watch.pressed.insert(window);
    }
    return TRUE;
}

std::string Quoted(const char* argument) { return std::string("\"") + argument + "\""; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: update_bench_driver PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    std::string commandLine = Quoted(argv[1]);
    for (int i = 2; i < argc; ++i) commandLine += " " + Quoted(argv[i]);
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("driver_error=CreateProcess (%lu)\n",
                    static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    CloseHandle(process.hThread);

    Watch watch;
    watch.processId = process.dwProcessId;
    const DWORD startTick = GetTickCount();
    DWORD waited = WAIT_TIMEOUT;
    while (waited == WAIT_TIMEOUT && GetTickCount() - startTick < kTimeoutMs) {
        EnumThreadWindows(process.dwThreadId, Visit, reinterpret_cast<LPARAM>(&watch));
        waited = WaitForSingleObject(process.hProcess, kPollMs);
    }
    LARGE_INTEGER endedAt;
    QueryPerformanceCounter(&endedAt);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hProcess);
        std::printf("driver_error=timeout\n");
        return 1;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    if (!watch.answeredQuestion) {
        std::printf("driver_error=no question (exit %lu)\n", static_cast<unsigned long>(exitCode));
        return 1;
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double seconds = static_cast<double>(endedAt.QuadPart - watch.yesAt.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    for (char& c : watch.lastBox) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    std::printf("program_seconds=%.4f exit=%lu boxes=%d dialog_seen=%d last_box=%s\n", seconds,
                static_cast<unsigned long>(exitCode), watch.boxes, watch.dialogSeen ? 1 : 0,
                watch.lastBox.c_str());
    return 0;
}
