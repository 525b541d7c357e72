#pragma once
// The new copy of the database beside an installed one, written from the open download itself:
// the bytes that reach a folder are the bytes that were checked, whatever happens to the
// download's name meanwhile.
#include <string>

#include "platform/file_system.h"
#include "platform/types.h"

namespace mivetrak {

// Makes a new file at target (it must not exist yet), copies source into it from source's
// start, stamps lastWrite on it and flushes it to disk. False with the system's error when any
// of it fails; what was made so far is left for the caller to remove.
bool WriteSideCopy(FileSystem& files, File& source, const std::string& target,
                   const SystemTime& lastWrite, SystemError& error);

}  // namespace mivetrak
