#pragma once
// The files that the worker keeps in the work folder: the update index and the database while
// they are downloaded, and the installation journal (engine/install_journal.h). A run that ends
// early (no connection, a cancel, a failed or declined installation) may leave some of them
// behind, and the program removes them when it ends, except what a later start still needs. A
// file of the work folder that is not named here is not the worker's to give up and stays.
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace mivetrak {

// The downloaded update index.
constexpr char kIndexFileName[] = "zav.tmp";

// The names of the worker's files that may be removed from the work folder once it has ended,
// unless WorkFilesStillNeeded names them.
std::vector<std::string> DisposableWorkFiles();

// The files of the work folder (names without the folder; workFolder ends in a backslash) that a
// later start still needs: the journal while it holds a record that is not done, or cannot be
// read. Whatever cleans the work folder up must leave them.
std::vector<std::string> WorkFilesStillNeeded(FileSystem& files, const std::string& workFolder);

}  // namespace mivetrak
