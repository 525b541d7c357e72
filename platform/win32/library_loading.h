#pragma once
// How the program loads libraries, so that only its own resources and the system's code are ever
// loaded: never a file of the same name planted in the current folder or on the PATH.
#include <windows.h>

#include <string>

namespace mivetrak {

// Limits the search for libraries loaded at run time to the system folder
// (SetDefaultDllDirectories, looked up at run time; where it is missing, at least the current
// folder is taken out of the search). Called before anything is loaded at run time: a library
// once loaded under a name is what every later load of that name gets.
void SetSafeLibrarySearchOrder();

// A system library from the system folder; null (with the system's error) when it cannot be
// loaded. The caller frees it.
HMODULE LoadSystemLibrary(const char* name);

// The resource-only library fileName from the program's own folder, by its full path, mapped as
// an image of resources (none of its code can run); null (with the system's error) when it
// cannot be loaded. The program's folder is read in UTF-16, so that a folder whose name the ANSI
// code page cannot spell still works.
HMODULE LoadResourceLibraryBesideProgram(const std::string& fileName);

}  // namespace mivetrak
