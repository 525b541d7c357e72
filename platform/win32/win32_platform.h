#pragma once
// Factories of the Win32 implementations behind each platform interface, and the conversions
// between the portable value types and their Win32 counterparts. Only platform/win32 and the
// Windows integration tests include this header.
#include <windows.h>
// FreeModule is also a method of System.
#undef FreeModule

#include <memory>

#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/internet.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/windows_ui.h"

namespace mivetrak {

std::unique_ptr<FileSystem> CreateWin32FileSystem();
std::unique_ptr<Registry> CreateWin32Registry();
std::unique_ptr<System> CreateWin32System();
std::unique_ptr<WindowsUi> CreateWin32WindowsUi();
std::unique_ptr<CodePage> CreateWin32CodePage();
// An Internet that is never on line and opens nothing: stands in when no WinInet implementation
// can be made, so that the program reports "no connection" instead of crashing.
std::unique_ptr<Internet> CreateOfflineInternet();

// SystemTime and SYSTEMTIME have the same eight members in the same order.
inline SYSTEMTIME ToWin32(const SystemTime& t) {
    SYSTEMTIME s;
    s.wYear = t.wYear;
    s.wMonth = t.wMonth;
    s.wDayOfWeek = t.wDayOfWeek;
    s.wDay = t.wDay;
    s.wHour = t.wHour;
    s.wMinute = t.wMinute;
    s.wSecond = t.wSecond;
    s.wMilliseconds = t.wMilliseconds;
    return s;
}

inline SystemTime FromWin32(const SYSTEMTIME& s) {
    SystemTime t;
    t.wYear = s.wYear;
    t.wMonth = s.wMonth;
    t.wDayOfWeek = s.wDayOfWeek;
    t.wDay = s.wDay;
    t.wHour = s.wHour;
    t.wMinute = s.wMinute;
    t.wSecond = s.wSecond;
    t.wMilliseconds = s.wMilliseconds;
    return t;
}

inline HWND ToWin32(WindowHandle window) { return reinterpret_cast<HWND>(window); }
inline WindowHandle FromWin32(HWND window) { return reinterpret_cast<WindowHandle>(window); }
inline HMODULE ToWin32(ModuleHandle module) { return reinterpret_cast<HMODULE>(module); }
inline ModuleHandle FromWin32(HMODULE module) { return reinterpret_cast<ModuleHandle>(module); }
inline HICON ToWin32(IconHandle icon) { return reinterpret_cast<HICON>(icon); }
inline IconHandle FromWin32(HICON icon) { return reinterpret_cast<IconHandle>(icon); }

}  // namespace mivetrak
