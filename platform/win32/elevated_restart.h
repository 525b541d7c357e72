#pragma once
// Starting a program with administrator rights through the system's consent prompt, and the part
// of a command line that follows the program's name.
#include <windows.h>

#include <cstdint>
#include <string>

namespace mivetrak {

// What follows the program's name on a command line, from the first argument on, exactly as it
// stands: handed on unchanged, it gives a started program the same arguments, whatever quotes
// and backslashes they hold. The name ends as the C runtime ends it: at a blank outside quotes,
// a quote only switching the quoted state.
std::wstring ArgumentsAfterProgramName(const std::wstring& commandLine);

// ShellExecuteExW with the verb "runas" on program, with parameters as its command line after
// the program's name, in the current folder; waits for it to end. True with its exit code, or
// false with the system's error (ERROR_CANCELLED when the user refused the consent prompt).
bool RunElevatedAndWait(const std::wstring& program, const std::wstring& parameters,
                        uint32_t& exitCode, DWORD& error);

}  // namespace mivetrak
