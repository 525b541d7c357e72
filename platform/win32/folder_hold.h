#pragma once
// A folder held open against renaming and deletion, and what it is: a directory, a link, whose.
#include <memory>
#include <string>

#include "platform/file_system.h"

namespace mivetrak {

std::unique_ptr<HeldFolder> HoldFolderWin32(const std::string& path, FolderFacts& facts,
                                            SystemError& error);

}  // namespace mivetrak
