#include "fakes/fake_file_system.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "platform/ascii_text.h"

namespace mivetrak {

namespace {
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kErrorNotReady = 21;

std::string ParentKey(const std::string& key) {
    const size_t slash = key.rfind('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}
}  // namespace

// An open handle on an entry; it keeps the entry alive and counts itself on it.
class FakeFileSystem::FakeFile : public File {
public:
    FakeFile(FakeFileSystem& owner, std::shared_ptr<Entry> entry, std::string key,
             FileOpenMode mode)
        : owner_(owner),
          entry_(std::move(entry)),
          key_(std::move(key)),
          canRead_(mode == FileOpenMode::ReadShareRead ||
                   mode == FileOpenMode::ReadWriteShareRead ||
                   mode == FileOpenMode::CreateReadWriteShareReadDelete),
          canWrite_(mode != FileOpenMode::ReadShareRead),
          sharesDelete_(mode == FileOpenMode::CreateReadWriteShareReadDelete) {}
    ~FakeFile() override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        --entry_->openHandles;
        if (sharesDelete_) --entry_->deleteSharingHandles;
        owner_.calls_.push_back("CloseFile " + entry_->path);
    }
    TimesRead GetTimes(SystemTime* creation, SystemTime* lastWrite) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        owner_.calls_.push_back("GetFileTime " + entry_->path);
        if (owner_.Stopped() || owner_.timeQueryFailures_.count(key_) != 0) {
            return TimesRead::Failed;
        }
        if (owner_.unconvertibleTimes_.count(key_) != 0) return TimesRead::NotConvertible;
        if (creation != nullptr) *creation = entry_->creation;
        if (lastWrite != nullptr) *lastWrite = entry_->lastWrite;
        return TimesRead::Read;
    }
    bool SetTimes(const SystemTime* creation, const SystemTime& lastWrite) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        owner_.calls_.push_back(std::string("SetFileTime ") + entry_->path +
                                (creation != nullptr ? " with creation" : " without creation"));
        if (!owner_.MayChange() || !canWrite_) return false;
        if (creation != nullptr) entry_->creation = *creation;
        entry_->lastWrite = lastWrite;
        return true;
    }
    bool GetSize(uint64_t& size) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        owner_.calls_.push_back("GetFileSize " + entry_->path);
        if (owner_.Stopped() || owner_.sizeQueryFailures_.count(key_) != 0) return false;
        size = entry_->reportedSize ? *entry_->reportedSize : entry_->content.size();
        return true;
    }
    bool Read(void* buffer, uint32_t size, uint32_t& bytesRead, SystemError& error) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        bytesRead = 0;
        if (owner_.Stopped()) {
            error.code = kErrorNotReady;
            return false;
        }
        if (!canRead_) {
            error.code = kErrorAccessDenied;
            return false;
        }
        const std::string& content = entry_->content;
        if (readPosition_ < content.size()) {
            bytesRead =
                static_cast<uint32_t>(std::min<size_t>(size, content.size() - readPosition_));
            std::memcpy(buffer, content.data() + readPosition_, bytesRead);
            readPosition_ += bytesRead;
        }
        error.code = 0;
        return true;
    }
    bool Write(const void* data, size_t size, SystemError& error) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        error.code = kErrorNotReady;
        if (!owner_.MayChange()) return false;
        error.code = kErrorAccessDenied;
        if (!canWrite_ || owner_.writeFailures_.count(key_) != 0) return false;
        size_t fits = owner_.TakeSpace(size);
        error.code = fits == size ? 0 : kErrorDiskFull;
        // A copy scripted to fail stops where it was told to.
        const auto failure = owner_.copyFailures_.find(key_);
        if (failure != owner_.copyFailures_.end() && failure->second.partialBytes >= 0) {
            const size_t room = static_cast<size_t>(failure->second.partialBytes);
            const size_t left = entry_->content.size() < room ? room - entry_->content.size() : 0;
            if (fits > left) {
                fits = left;
                error.code = failure->second.error;
            }
        }
        entry_->content.append(static_cast<const char*>(data), fits);
        entry_->lastWrite = owner_.now_;
        return error.code == 0;
    }
    bool Flush() override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        owner_.calls_.push_back("FlushFile " + entry_->path);
        if (!owner_.MayChange() || !canWrite_ || owner_.writeFailures_.count(key_) != 0) {
            return false;
        }
        entry_->flushed = entry_->content;
        return true;
    }
    bool SeekToStart() override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        readPosition_ = 0;
        return !owner_.Stopped();
    }

private:
    FakeFileSystem& owner_;
    std::shared_ptr<Entry> entry_;
    std::string key_;
    bool canRead_;
    bool canWrite_;
    bool sharesDelete_;
    size_t readPosition_ = 0;
};

// A handle of OpenSharedAppend: it follows its entry through renames and removals.
class FakeFileSystem::FakeSharedAppendFile : public SharedAppendFile {
public:
    FakeSharedAppendFile(FakeFileSystem& owner, std::shared_ptr<Entry> entry)
        : owner_(owner), entry_(std::move(entry)) {}
    ~FakeSharedAppendFile() override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        if (locked_) entry_->appendLockHeld = false;
        --entry_->sharedHandles;
        owner_.calls_.push_back("CloseFile " + entry_->path);
    }
    bool Lock(SystemError& error) override {
        std::function<void()> action;
        {
            std::lock_guard<std::mutex> lock(owner_.mutex_);
            action.swap(owner_.beforeNextLock_);
        }
        if (action) action();
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        owner_.calls_.push_back("LockFile " + entry_->path);
        if (locked_) return Succeeded(error);
        if (entry_->appendLockHeld) return Failed(error, kErrorLockViolation);
        entry_->appendLockHeld = locked_ = true;
        return Succeeded(error);
    }
    bool Identity(FileIdentity& out, SystemError& error) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        out = owner_.IdentityOf(Key(entry_->path), *entry_);
        return Succeeded(error);
    }
    bool GetSize(uint64_t& size) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        size = entry_->reportedSize ? *entry_->reportedSize : entry_->content.size();
        return true;
    }
    bool Append(const std::string& bytes, SystemError& error) override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        owner_.calls_.push_back("AppendFile " + entry_->path);
        if (owner_.writeFailures_.count(Key(entry_->path)) != 0) {
            return Failed(error, kErrorAccessDenied);
        }
        const size_t fits = owner_.TakeSpace(bytes.size());
        entry_->content.append(bytes, 0, fits);
        entry_->lastWrite = owner_.now_;
        return fits == bytes.size() ? Succeeded(error) : Failed(error, kErrorDiskFull);
    }

private:
    FakeFileSystem& owner_;
    std::shared_ptr<Entry> entry_;
    bool locked_ = false;
};

FakeFileSystem::FakeFileSystem() = default;
FakeFileSystem::~FakeFileSystem() = default;

std::string FakeFileSystem::Key(const std::string& path) {
    std::string key = ToLowerAscii(path);
    std::replace(key.begin(), key.end(), '/', '\\');
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

void FakeFileSystem::Log(std::string call) { calls_.push_back(std::move(call)); }

void FakeFileSystem::AddParents(const std::string& key) {
    for (std::string parent = ParentKey(key); !parent.empty(); parent = ParentKey(parent)) {
        auto& slot = entries_[parent];
        if (!slot) {
            slot = std::make_shared<Entry>();
            slot->path = parent;
            slot->isDirectory = true;
            slot->attributes = kFileAttributeDirectory;
            slot->creation = slot->lastWrite = now_;
        }
    }
}

bool FakeFileSystem::ParentExists(const std::string& key) const {
    const std::string parent = ParentKey(key);
    if (parent.empty()) return true;
    auto it = entries_.find(parent);
    return it != entries_.end() && it->second->isDirectory;
}

bool FakeFileSystem::HasChildren(const std::string& key) const {
    const std::string prefix = key + "\\";
    auto it = entries_.lower_bound(prefix);
    return it != entries_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

bool FakeFileSystem::WriteDenied(const std::string& key) const {
    return deniedFolders_.count(ParentKey(key)) != 0;
}

std::shared_ptr<FakeFileSystem::Entry> FakeFileSystem::Find(const std::string& path) const {
    auto it = entries_.find(Key(path));
    return it == entries_.end() ? nullptr : it->second;
}

bool FakeFileSystem::Failed(SystemError& error, uint32_t code) {
    error.code = code;
    return false;
}

bool FakeFileSystem::Succeeded(SystemError& error) {
    error.code = 0;
    return true;
}

bool FakeFileSystem::MayChange() {
    if (Stopped()) return false;
    ++changes_;
    return true;
}

size_t FakeFileSystem::TakeSpace(size_t wanted) {
    if (!diskSpace_) return wanted;
    const size_t fits = static_cast<size_t>(std::min<uint64_t>(*diskSpace_, wanted));
    *diskSpace_ -= fits;
    return fits;
}

// --- set-up ---

void FakeFileSystem::AddFile(const std::string& path, const std::string& content,
                             const SystemTime& lastWrite, const SystemTime& creation) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = Key(path);
    AddParents(key);
    auto entry = std::make_shared<Entry>();
    entry->path = path;
    entry->content = content;
    entry->flushed = content;
    entry->lastWrite = lastWrite;
    entry->creation = creation;
    entry->attributes = kAttributeArchive;
    entries_[key] = entry;
}

void FakeFileSystem::AddDirectory(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = Key(path);
    AddParents(key);
    auto entry = std::make_shared<Entry>();
    entry->path = path;
    entry->isDirectory = true;
    entry->attributes = kFileAttributeDirectory;
    entries_[key] = entry;
}

void FakeFileSystem::SetReadOnly(const std::string& path, bool readOnly) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto entry = Find(path)) {
        if (readOnly) {
            entry->attributes |= kFileAttributeReadOnly;
        } else {
            entry->attributes &= ~kFileAttributeReadOnly;
        }
    }
}

void FakeFileSystem::SetLocked(const std::string& path, bool locked, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto entry = Find(path)) {
        entry->locked = locked;
        entry->lockError = error;
    }
}

void FakeFileSystem::SetReportedSize(const std::string& path, uint64_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto entry = Find(path)) entry->reportedSize = size;
}

void FakeFileSystem::SetNow(const SystemTime& now) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ = now;
}

void FakeFileSystem::SetVolumeFileSystem(const std::string& root, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    volumes_[ToLowerAscii(root)] = name;
}

void FakeFileSystem::SetTempFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    tempFolder_ = path;
    tempResult_.reset();
}

void FakeFileSystem::SetTempFolder(const std::string& path, uint32_t result) {
    std::lock_guard<std::mutex> lock(mutex_);
    tempFolder_ = path;
    tempResult_ = result;
}

// --- failures ---

void FakeFileSystem::FailRename(const std::string& from, int times, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    renameFailures_[Key(from)] = {times, error};
}
void FakeFileSystem::FailCopyTo(const std::string& to, int64_t partialBytes, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    copyFailures_[Key(to)] = {partialBytes, error};
}
void FakeFileSystem::SetDiskSpace(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    diskSpace_ = bytes;
}
void FakeFileSystem::ClearDiskSpace() {
    std::lock_guard<std::mutex> lock(mutex_);
    diskSpace_.reset();
}
void FakeFileSystem::FailDelete(const std::string& path, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    deleteFailures_[Key(path)] = error;
}
void FakeFileSystem::ClearDeleteFailure(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    deleteFailures_.erase(Key(path));
}
void FakeFileSystem::FailMakeDirectory(const std::string& path, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    makeDirFailures_[Key(path)] = error;
}
void FakeFileSystem::FailRemoveDirectory(const std::string& path, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    removeDirFailures_[Key(path)] = error;
}
void FakeFileSystem::FailWrite(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    writeFailures_.insert(Key(path));
}
void FakeFileSystem::DenyWriting(const std::string& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    deniedFolders_.insert(Key(folder));
}
void FakeFileSystem::KeepDespiteRemoval(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    falseRemovals_.insert(Key(path));
}
void FakeFileSystem::FailTimeQuery(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    timeQueryFailures_.insert(Key(path));
}
void FakeFileSystem::FailSizeQuery(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    sizeQueryFailures_.insert(Key(path));
}
void FakeFileSystem::SetIdentity(const std::string& path, const FileIdentity& identity) {
    std::lock_guard<std::mutex> lock(mutex_);
    identities_[Key(path)] = identity;
}
void FakeFileSystem::BeforeNextLock(std::function<void()> action) {
    std::lock_guard<std::mutex> lock(mutex_);
    beforeNextLock_ = std::move(action);
}
void FakeFileSystem::FailIdentity(const std::string& path, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    identityFailures_[Key(path)] = error;
}
void FakeFileSystem::StopAfter(int changes) {
    std::lock_guard<std::mutex> lock(mutex_);
    stopAt_ = changes_ + changes;
}
void FakeFileSystem::Restart() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopAt_ = -1;
}
void FakeFileSystem::PowerCut() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& item : entries_) {
        if (!item.second->isDirectory) item.second->content = item.second->flushed;
    }
}
void FakeFileSystem::SetTimesNotConvertible(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    unconvertibleTimes_.insert(Key(path));
}

// --- inspection ---

bool FakeFileSystem::Exists(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return Find(path) != nullptr;
}
bool FakeFileSystem::IsDirectory(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = Find(path);
    return entry && entry->isDirectory;
}
std::string FakeFileSystem::Content(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = Find(path);
    return entry ? entry->content : std::string();
}
std::optional<FakeFileSystem::Entry> FakeFileSystem::GetEntry(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = Find(path);
    if (!entry) return std::nullopt;
    return *entry;
}
int FakeFileSystem::OpenHandleCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int count = 0;
    for (const auto& item : entries_)
        count += item.second->openHandles + item.second->sharedHandles;
    return count;
}
std::vector<std::string> FakeFileSystem::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}
void FakeFileSystem::ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}
std::vector<std::string> FakeFileSystem::Files(const std::string& folder) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string prefix = Key(folder) + "\\";
    std::vector<std::string> out;
    for (const auto& item : entries_) {
        if (!item.second->isDirectory && item.first.compare(0, prefix.size(), prefix) == 0) {
            out.push_back(item.second->path);
        }
    }
    return out;
}
int FakeFileSystem::Changes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return changes_;
}

// --- FileSystem ---

uint32_t FakeFileSystem::MissingError(const std::string& key) const {
    return ParentExists(key) ? kErrorFileNotFound : kErrorPathNotFound;
}

std::shared_ptr<FakeFileSystem::Entry> FakeFileSystem::NewFile(const std::string& key,
                                                               const std::string& path) {
    auto entry = std::make_shared<Entry>();
    entry->path = path;
    entry->attributes = kAttributeArchive;
    entry->creation = entry->lastWrite = now_;
    entries_[key] = entry;
    return entry;
}

std::unique_ptr<File> FakeFileSystem::OpenFile(const std::string& path, FileOpenMode mode,
                                               SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    const char* modeName = mode == FileOpenMode::ReadShareRead                    ? "read"
                           : mode == FileOpenMode::ReadWriteShareRead             ? "read-write"
                           : mode == FileOpenMode::CreateReadWriteShareReadDelete ? "create"
                           : mode == FileOpenMode::CreateNewWriteShareRead        ? "create-new"
                                                                                  : "append";
    Log(std::string("OpenFile ") + path + " " + modeName);
    const std::string key = Key(path);
    auto entry = Find(path);
    auto fail = [&](uint32_t code) {
        error.code = code;
        return nullptr;
    };
    if (mode == FileOpenMode::ReadShareRead ? Stopped() : !MayChange()) return fail(kErrorNotReady);
    if (entry && entry->isDirectory) return fail(kErrorAccessDenied);
    if (entry && entry->locked) return fail(entry->lockError);
    const bool readOnly = entry && (entry->attributes & kFileAttributeReadOnly) != 0;
    if (mode != FileOpenMode::ReadShareRead && WriteDenied(key)) return fail(kErrorAccessDenied);
    switch (mode) {
        case FileOpenMode::ReadShareRead:
            if (!entry) return fail(MissingError(key));
            break;
        case FileOpenMode::ReadWriteShareRead:
            if (!entry) return fail(MissingError(key));
            if (readOnly) return fail(kErrorAccessDenied);
            break;
        case FileOpenMode::CreateNewWriteShareRead:
        case FileOpenMode::CreateReadWriteShareReadDelete: {
            // A copy scripted to fail: another file takes the name first, or the copy cannot
            // even begin.
            const auto failure = copyFailures_.find(key);
            if (!entry && failure != copyFailures_.end() &&
                failure->second.error == kErrorFileExists) {
                entry = NewFile(key, path);
                entry->content.assign(
                    static_cast<size_t>(std::max<int64_t>(0, failure->second.partialBytes)), 'x');
            }
            if (failure != copyFailures_.end() && failure->second.partialBytes < 0) {
                return fail(failure->second.error);
            }
            if (entry && mode == FileOpenMode::CreateNewWriteShareRead) {
                return fail(kErrorFileExists);
            }
            if (readOnly) return fail(kErrorAccessDenied);
            if (entry && entry->openHandles > 0) return fail(kErrorSharingViolation);
            if (!entry) {
                if (!ParentExists(key)) return fail(kErrorPathNotFound);
                entry = NewFile(key, path);
            }
            entry->content.clear();
            entry->flushed.clear();
            entry->reportedSize.reset();
            entry->lastWrite = now_;
            break;
        }
        case FileOpenMode::AppendShareRead:
            if (readOnly) return fail(kErrorAccessDenied);
            if (!entry) {
                if (!ParentExists(key)) return fail(kErrorPathNotFound);
                entry = NewFile(key, path);
            }
            break;
    }
    const bool sharesDelete = mode == FileOpenMode::CreateReadWriteShareReadDelete;
    ++entry->openHandles;
    if (sharesDelete) ++entry->deleteSharingHandles;
    error.code = 0;
    return std::make_unique<FakeFile>(*this, entry, key, mode);
}

// A hold on a folder counts as an open handle: the folder cannot be renamed or removed meanwhile.
class FakeFileSystem::FakeHeldFolder : public HeldFolder {
public:
    FakeHeldFolder(FakeFileSystem& owner, std::shared_ptr<Entry> entry)
        : owner_(owner), entry_(std::move(entry)) {}
    ~FakeHeldFolder() override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        --entry_->openHandles;
        owner_.calls_.push_back("ReleaseFolder " + entry_->path);
    }

private:
    FakeFileSystem& owner_;
    std::shared_ptr<Entry> entry_;
};

void FakeFileSystem::MakeLink(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    links_.insert(Key(path));
}

void FakeFileSystem::SetForeignOwner(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    foreignOwners_.insert(Key(path));
}

std::unique_ptr<HeldFolder> FakeFileSystem::HoldFolder(const std::string& path, FolderFacts& facts,
                                                       SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("HoldFolder " + path);
    const std::string key = Key(path);
    auto entry = Find(path);
    if (Stopped()) {
        error.code = kErrorNotReady;
        return nullptr;
    }
    if (!entry) {
        error.code = MissingError(key);
        return nullptr;
    }
    facts.directory = entry->isDirectory;
    facts.link = links_.count(key) != 0;
    facts.ownedByThisAccount = foreignOwners_.count(key) == 0;
    ++entry->openHandles;
    error.code = 0;
    return std::make_unique<FakeHeldFolder>(*this, entry);
}

std::unique_ptr<SharedAppendFile> FakeFileSystem::OpenSharedAppend(const std::string& path,
                                                                   SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("OpenSharedAppend " + path);
    const std::string key = Key(path);
    auto entry = Find(path);
    auto fail = [&](uint32_t code) {
        error.code = code;
        return nullptr;
    };
    if (entry && entry->isDirectory) return fail(kErrorAccessDenied);
    if (entry && entry->locked) return fail(entry->lockError);
    if (entry && (entry->attributes & kFileAttributeReadOnly) != 0) return fail(kErrorAccessDenied);
    if (WriteDenied(key)) return fail(kErrorAccessDenied);
    if (!entry) {
        if (!ParentExists(key)) return fail(kErrorPathNotFound);
        entry = NewFile(key, path);
    }
    ++entry->sharedHandles;
    error.code = 0;
    return std::make_unique<FakeSharedAppendFile>(*this, entry);
}

bool FakeFileSystem::FindFile(const std::string& path, FindData& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("FindFile " + path);
    auto entry = Find(path);
    if (!entry || Stopped()) return false;
    out.timesConverted = unconvertibleTimes_.count(Key(path)) == 0;
    out.creation = out.timesConverted ? entry->creation : SystemTime();
    out.lastWrite = out.timesConverted ? entry->lastWrite : SystemTime();
    out.size = entry->reportedSize ? *entry->reportedSize : entry->content.size();
    return true;
}

bool FakeFileSystem::VolumeFileSystemName(const std::string& root, std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("VolumeFileSystemName " + root);
    auto it = volumes_.find(ToLowerAscii(root));
    name = it == volumes_.end() ? std::string("NTFS") : it->second;
    // A volume scripted with no name is one whose query fails.
    return !name.empty();
}

bool FakeFileSystem::FileAttributes(const std::string& path, uint32_t& attributes,
                                    SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("FileAttributes " + path);
    if (Stopped()) return Failed(error, kErrorNotReady);
    auto entry = Find(path);
    if (!entry) return Failed(error, MissingError(Key(path)));
    attributes = entry->attributes;
    return Succeeded(error);
}

bool FakeFileSystem::Identity(const std::string& path, FileIdentity& out, SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("Identity " + path);
    const std::string key = Key(path);
    const auto entry = Find(path);
    if (!entry) return Failed(error, MissingError(key));
    const auto failure = identityFailures_.find(key);
    if (failure != identityFailures_.end()) return Failed(error, failure->second);
    out = IdentityOf(key, *entry);
    return Succeeded(error);
}

FileIdentity FakeFileSystem::IdentityOf(const std::string& key, Entry& entry) {
    const auto scripted = identities_.find(key);
    if (scripted != identities_.end()) return scripted->second;
    // The drive letter stands for the volume; the index is the entry's own.
    if (entry.fileIndex == 0) entry.fileIndex = nextFileIndex_++;
    FileIdentity identity;
    identity.volumeSerial = key.empty() ? 0u : static_cast<unsigned char>(key[0]);
    identity.fileIndex = entry.fileIndex;
    return identity;
}

bool FakeFileSystem::MakeDirectory(const std::string& path, SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("MakeDirectory " + path);
    if (!MayChange()) return Failed(error, kErrorNotReady);
    const std::string key = Key(path);
    auto failure = makeDirFailures_.find(key);
    if (failure != makeDirFailures_.end()) return Failed(error, failure->second);
    if (entries_.count(key) != 0) return Failed(error, kErrorAlreadyExists);
    if (!ParentExists(key)) return Failed(error, kErrorPathNotFound);
    if (WriteDenied(key)) return Failed(error, kErrorAccessDenied);
    auto entry = std::make_shared<Entry>();
    entry->path = path;
    entry->isDirectory = true;
    entry->attributes = kFileAttributeDirectory;
    entry->creation = entry->lastWrite = now_;
    entries_[key] = entry;
    return Succeeded(error);
}

bool FakeFileSystem::RemoveEmptyDirectory(const std::string& path, SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("RemoveEmptyDirectory " + path);
    if (!MayChange()) return Failed(error, kErrorNotReady);
    const std::string key = Key(path);
    auto entry = Find(path);
    if (!entry) return Failed(error, MissingError(key));
    if (!entry->isDirectory) return Failed(error, kErrorDirectory);
    if (entry->openHandles > 0) return Failed(error, kErrorSharingViolation);
    if (HasChildren(key)) return Failed(error, kErrorDirNotEmpty);
    auto failure = removeDirFailures_.find(key);
    if (failure != removeDirFailures_.end()) return Failed(error, failure->second);
    if (falseRemovals_.count(key) == 0) entries_.erase(key);
    return Succeeded(error);
}

bool FakeFileSystem::RemoveFile(const std::string& path, SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("RemoveFile " + path);
    if (!MayChange()) return Failed(error, kErrorNotReady);
    const std::string key = Key(path);
    auto entry = Find(path);
    if (!entry) return Failed(error, MissingError(key));
    if (entry->isDirectory) return Failed(error, kErrorAccessDenied);
    if (entry->locked) return Failed(error, entry->lockError);
    // A file open without delete sharing cannot be deleted; one whose handles all share
    // deleting loses its name at once, and its handles write on into the nameless file.
    if (entry->openHandles > entry->deleteSharingHandles) {
        return Failed(error, kErrorSharingViolation);
    }
    if ((entry->attributes & kFileAttributeReadOnly) != 0 || WriteDenied(key)) {
        return Failed(error, kErrorAccessDenied);
    }
    auto failure = deleteFailures_.find(key);
    if (failure != deleteFailures_.end()) return Failed(error, failure->second);
    if (falseRemovals_.count(key) == 0) entries_.erase(key);
    return Succeeded(error);
}

bool FakeFileSystem::SetAttributes(const std::string& path, uint32_t attributes,
                                   SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("SetAttributes " + path);
    if (!MayChange()) return Failed(error, kErrorNotReady);
    auto entry = Find(path);
    if (!entry) return Failed(error, MissingError(Key(path)));
    if (WriteDenied(Key(path))) return Failed(error, kErrorAccessDenied);
    // The directory bit is what the entry is, not an attribute that can be set.
    entry->attributes =
        (attributes & ~kFileAttributeDirectory) | (entry->attributes & kFileAttributeDirectory);
    return Succeeded(error);
}

bool FakeFileSystem::RenameFile(const std::string& from, const std::string& to,
                                SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("RenameFile " + from + " -> " + to);
    if (!MayChange()) return Failed(error, kErrorNotReady);
    const std::string fromKey = Key(from);
    const std::string toKey = Key(to);
    auto entry = Find(from);
    if (!entry) return Failed(error, MissingError(fromKey));
    if (entry->locked) return Failed(error, entry->lockError);
    if (entry->openHandles > 0) return Failed(error, kErrorSharingViolation);
    if (WriteDenied(fromKey) || WriteDenied(toKey)) return Failed(error, kErrorAccessDenied);
    auto failure = renameFailures_.find(fromKey);
    if (failure != renameFailures_.end() && failure->second.times != 0) {
        if (failure->second.times > 0) --failure->second.times;
        return Failed(error, failure->second.error);
    }
    if (entries_.count(toKey) != 0) return Failed(error, kErrorAlreadyExists);
    if (!ParentExists(toKey)) return Failed(error, kErrorPathNotFound);
    if (fromKey == toKey) return Succeeded(error);
    // A folder takes everything inside it along.
    std::vector<std::pair<std::string, std::shared_ptr<Entry>>> moved;
    const std::string prefix = fromKey + "\\";
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->first == fromKey || it->first.compare(0, prefix.size(), prefix) == 0) {
            moved.emplace_back(toKey + it->first.substr(fromKey.size()), it->second);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& item : moved) entries_[item.first] = item.second;
    entry->path = to;
    return Succeeded(error);
}

bool FakeFileSystem::FreeSpace(const std::string& folder, uint64_t& bytes, SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("FreeSpace " + folder);
    if (!Find(folder)) return Failed(error, MissingError(Key(folder)));
    bytes = diskSpace_ ? *diskSpace_ : uint64_t{1} << 40;
    return Succeeded(error);
}

bool FakeFileSystem::TempFolder(std::string& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    Log("TempFolder");
    const uint32_t result = tempResult_ ? *tempResult_ : static_cast<uint32_t>(tempFolder_.size());
    if (result == 0 || result >= kMaxPath) return false;
    out = tempFolder_;
    return true;
}

}  // namespace mivetrak
