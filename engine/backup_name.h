#pragma once
// The names that files beside an installed database bear while the new one is put in place:
// the new copy while it is written (its side name), and the old copy while the new one takes its
// name (its backup name).
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/file_system.h"

namespace mivetrak {

// The number search gives up here; the rename to a name that exists then fails and the user is
// asked as for a locked file (or the copy to it fails).
constexpr int kMaxBackupNumber = 0x7FFFFFFF;

// The first free backup name for target ("%stmp%d.tmp" on the path up to its last '.'): nothing
// exists at it and it is not among the reserved names (compared without regard to case).
std::string ChooseBackupPath(FileSystem& files, const CodePage& codePage, const std::string& target,
                             const std::vector<std::string>& reserved = {});
// The candidate backup name number n for target.
std::string BackupCandidate(const CodePage& codePage, const std::string& target, int n);

// Deletes a file that this program made beside a database (a backup or a side copy), first
// clearing the read-only attribute that a backup keeps from the user's database: such a backup
// would otherwise stay behind for good.
bool RemoveOwnFile(FileSystem& files, const std::string& path, SystemError& error);

// The first free side name for target ("%snew%d.tmp"), by the same rule.
std::string ChooseSidePath(FileSystem& files, const CodePage& codePage, const std::string& target,
                           const std::vector<std::string>& reserved = {});

// Whether path is exactly a name that ChooseSidePath (or ChooseBackupPath) can give for target.
bool IsSideName(const CodePage& codePage, const std::string& target, const std::string& path);
bool IsBackupName(const CodePage& codePage, const std::string& target, const std::string& path);

}  // namespace mivetrak
