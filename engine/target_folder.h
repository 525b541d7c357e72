#pragma once
// The installation folders that a run updates and the database file that each of them holds.
#include <string>

#include "platform/code_page.h"
#include "platform/file_system.h"

namespace mivetrak {

// The file that the update replaces in every installation folder; the download bears the same
// name in the work folder.
constexpr char kDatabaseFileName[] = "Tolvar32.bdb";

// One installation folder: its path, ending in a backslash, and whether it held the database
// when the worker judged it (a folder kept by force may hold none).
struct TargetFolder {
    std::string path;
    bool hadDatabase = false;
    // An earlier run's installation here was cut off, and this run's rights could not put it
    // right: the folder needs administrator rights before anything else.
    bool repairPending = false;
};

// Whether the folder (its path ending in a backslash) holds the database: a file of that name.
// A directory of that name is no database, and treating it as one would keep a run retrying a
// copy that can never succeed.
bool HoldsDatabase(FileSystem& files, const std::string& folder);

// Whether two folder paths name the same folder, compared as Windows compares file names:
// single-byte letters without regard to case, double-byte characters exactly.
bool SameFolder(const CodePage& codePage, const std::string& a, const std::string& b);

}  // namespace mivetrak
