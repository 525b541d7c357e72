#include "engine/work_files.h"

#include "engine/target_folder.h"

namespace mivetrak {

std::vector<std::string> DisposableWorkFiles() {
    // The download bears the database's own name in the work folder.
    return {kIndexFileName, kDatabaseFileName};
}

}  // namespace mivetrak
