#pragma once
// The journal of the installations under way, kept in the work folder: for each folder, before
// anything in it changes, the names involved; then the moment from which its renames may have
// begun; then that it is done. A start that finds a record not done puts that folder back in
// order (engine/install_recovery.h), so that a run cut off at any point (a crash, a kill, a
// power cut) never leaves a folder without a complete database.
//
// The journal is a text file of lines, each written in one piece and flushed before the step it
// announces. A line carries a checksum: a line that was cut short or garbled by a power cut is
// not read, which only ever makes a record look less far along than it was.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace mivetrak {

constexpr char kInstallJournalFileName[] = "zavjrnl.tmp";

// One folder's installation.
struct JournalRecord {
    int number = 0;
    std::string target;  // the database's path in the folder
    std::string side;    // where the new copy is written beside it
    std::string backup;  // where the old copy goes while the new one takes its name; "" for none
    // What the new copy was checked to be before it was written: its length, and with a key its
    // SHA-256 in lowercase hex ("" without one). A side copy is put in place only when it still
    // is that.
    uint64_t length = 0;
    std::string sha256;
    // The old copy that moves to the backup name, by its identity: only that file is ever put
    // back.
    std::optional<FileIdentity> oldCopy;
    // The new copy was complete and on disk beside the target; the renames may have begun.
    bool switching = false;
};

class InstallJournal {
public:
    // workFolder ends in a backslash.
    InstallJournal(FileSystem& files, const std::string& workFolder);

    // The records begun and not done, in the order they were begun (none without a journal).
    // False when the journal is there but cannot be read.
    bool ReadOpenRecords(std::vector<JournalRecord>& open);
    // Each writes its line and flushes it; false when that failed.
    bool Begin(JournalRecord& record);  // gives the record its number
    bool MarkSwitching(JournalRecord& record);
    // Also removes the journal once no record is open any more.
    bool MarkDone(const JournalRecord& record);

    const std::string& Path() const { return path_; }

private:
    bool ReadText(std::string& text);
    bool Append(const std::string& line);

    FileSystem& files_;
    std::string path_;
};

}  // namespace mivetrak
