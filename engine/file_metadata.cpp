// Placeholder definitions so that the tree links while this file is being written.
#include "engine/file_metadata.h"

namespace mivetrak {
int GetLocalFileSize(FileSystem&, const std::string&, uint32_t&) { return 0; }
int GetLocalFileTimes(FileSystem&, const CodePage&, const std::string&, SystemTime&, SystemTime&,
                      uint32_t&) {
    return 0;
}
int SetLocalFileTimes(FileSystem&, const std::string&, const SystemTime*, const SystemTime&) {
    return 0;
}
int CompareSystemTimes(const SystemTime&, const SystemTime&) { return 0; }
}  // namespace mivetrak
