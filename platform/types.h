#pragma once
// Plain values that cross the platform interfaces. Nothing here depends on <windows.h>.
#include <cstdint>

namespace mivetrak {

// A Windows SYSTEMTIME: eight unsigned 16-bit members in the platform's order, UTC throughout.
struct SystemTime {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
};

// Opaque handles. The Win32 layer casts them to and from HWND, HMODULE and HICON.
struct WindowTag;
struct ModuleTag;
struct IconTag;
using WindowHandle = WindowTag*;
using ModuleHandle = ModuleTag*;
using IconHandle = IconTag*;

// Limits of the design's fixed buffers: a path or registry or index value holds at most 259 bytes.
constexpr unsigned kMaxPath = 260;

}  // namespace mivetrak
