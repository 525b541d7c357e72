#pragma once
// The name an installed database bears while the new one is copied in beside it.
#include <string>

#include "platform/code_page.h"
#include "platform/file_system.h"

namespace mivetrak {

// The backup number search gives up here; the rename to a name that exists then fails and the
// user is asked as for a locked file.
constexpr int kMaxBackupNumber = 0x7FFFFFFF;

// The first free backup name for target ("%stmp%d.tmp" on the path up to its last '.').
std::string ChooseBackupPath(FileSystem& files, const CodePage& codePage,
                             const std::string& target);
// The candidate backup name number n for target.
std::string BackupCandidate(const CodePage& codePage, const std::string& target, int n);

}  // namespace mivetrak
