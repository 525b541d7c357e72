#include "app/target_folder_collector.h"

namespace mivetrak {

TargetFolderCollector::TargetFolderCollector(Platform& platform, std::vector<TargetFolder>& list)
    : platform_(platform), list_(list) {
    list_.clear();
}

bool TargetFolderCollector::Add(const std::string& folder, const std::string& source) {
    const std::optional<FileIdentity> identity = ReadIdentity(folder);
    for (size_t i = 0; i < list_.size(); ++i) {
        if (SameAs(folder, identity, i)) {
            platform_.log.Write("Found " + folder + " again (from " + source +
                                "): it is the same folder as " + list_[i].path +
                                ", which is updated once.");
            return false;
        }
    }
    list_.push_back({folder});
    identities_.push_back(identity);
    platform_.log.Write("Found the installation folder " + folder + " (from " + source + ").");
    return true;
}

std::optional<FileIdentity> TargetFolderCollector::ReadIdentity(const std::string& folder) {
    FileIdentity identity;
    SystemError error;
    if (platform_.files.Identity(folder, identity, error)) return identity;
    platform_.log.Write("Could not tell which folder " + folder + " is (" +
                        DescribeSystemError(platform_.system, error.code) +
                        "); it is compared with the others by its spelling.");
    return std::nullopt;
}

bool TargetFolderCollector::SameAs(const std::string& folder,
                                   const std::optional<FileIdentity>& identity,
                                   size_t index) const {
    const std::optional<FileIdentity>& known = identities_[index];
    if (identity && known) return *identity == *known;
    return SameFolder(platform_.codePage, folder, list_[index].path);
}

}  // namespace mivetrak
