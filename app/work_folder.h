#pragma once
// The work folder as this run may use it: a folder of this account's own, no link, held open so
// that nobody can put anything else in its place while the run writes in it.
#include <memory>
#include <string>

#include "platform/platform.h"

namespace mivetrak {

// Holds the folder at path (without its final backslash); null, with a log line that says why,
// when it cannot be held, is no folder, is a link (a junction, a symbolic link or another
// reparse point) or belongs to another account: nothing may then be written through it.
std::unique_ptr<HeldFolder> HoldWorkFolder(Platform& platform, const std::string& path);

}  // namespace mivetrak
