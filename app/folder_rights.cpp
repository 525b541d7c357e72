#include "app/folder_rights.h"

namespace mivetrak {

namespace {

// A name no other program uses; a copy left by an interrupted probe is removed and made anew.
constexpr char kProbeFileName[] = "Mivetrak write test.tmp";

}  // namespace

FolderRights ProbeFolderRights(Platform& platform, const std::string& folder) {
    FileSystem& files = platform.files;
    const std::string path = folder + kProbeFileName;
    SystemError error;
    std::unique_ptr<File> file = files.OpenFile(path, FileOpenMode::CreateNewWriteShareRead, error);
    if (!file && error.code == kErrorFileExists) {
        SystemError ignored;
        files.RemoveFile(path, ignored);
        file = files.OpenFile(path, FileOpenMode::CreateNewWriteShareRead, error);
    }
    if (!file) {
        const FolderRights rights =
            error.code == kErrorAccessDenied ? FolderRights::Denied : FolderRights::Unknown;
        platform.log.Write("Could not make a file in " + folder + ": " +
                           DescribeSystemError(platform.system, error.code) + ".");
        return rights;
    }
    file.reset();
    if (!files.RemoveFile(path, error) || PathExists(files, path)) {
        platform.log.Write("Could not remove " + path +
                           " again: " + DescribeSystemError(platform.system, error.code) + ".");
    }
    return FolderRights::Writable;
}

const TargetFolder* FirstFolderDenied(Platform& platform, const std::vector<TargetFolder>& list) {
    for (const TargetFolder& folder : list) {
        if (ProbeFolderRights(platform, folder.path) == FolderRights::Denied) return &folder;
    }
    return nullptr;
}

}  // namespace mivetrak
