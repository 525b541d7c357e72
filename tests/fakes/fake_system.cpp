#include "fakes/fake_system.h"

#include <chrono>
#include <condition_variable>

#include "platform/ascii_text.h"

namespace mivetrak {

// A suspended thread that starts a real std::thread when resumed.
class FakeSystem::FakeThread : public Thread {
public:
    FakeThread(FakeSystem& owner, ThreadEntry entry, void* argument)
        : owner_(owner), entry_(entry), argument_(argument) {}
    ~FakeThread() override {
        // A real handle may be closed while its thread runs on; a test must not leave a thread
        // behind, so the fake waits for it.
        if (thread_.joinable()) thread_.join();
    }
    bool Resume() override {
        if (started_) return true;
        started_ = true;
        {
            std::lock_guard<std::mutex> lock(owner_.mutex_);
            ++owner_.threadsResumed_;
        }
        thread_ = std::thread([this] {
            const uint32_t result = entry_(argument_);
            {
                std::lock_guard<std::mutex> lock(owner_.mutex_);
                owner_.lastThreadResult_ = result;
            }
            std::lock_guard<std::mutex> lock(endLock_);
            ended_ = true;
            endChanged_.notify_all();
        });
        return true;
    }
    void WaitUntilEnded() override {
        if (thread_.joinable()) thread_.join();
    }
    bool WaitForEnd(uint32_t milliseconds) override {
        {
            std::unique_lock<std::mutex> lock(endLock_);
            if (!endChanged_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                      [this] { return ended_; })) {
                return false;
            }
        }
        WaitUntilEnded();
        return true;
    }

private:
    FakeSystem& owner_;
    ThreadEntry entry_;
    void* argument_;
    bool started_ = false;
    std::mutex endLock_;
    std::condition_variable endChanged_;
    bool ended_ = false;
    std::thread thread_;
};

// A lock taken through TryLockNamed; it gives itself back when destroyed.
class FakeSystem::FakeLock : public ProcessLock {
public:
    FakeLock(FakeSystem& owner, std::string name) : owner_(owner), name_(std::move(name)) {}
    ~FakeLock() override {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        owner_.locksHeld_.erase(name_);
        owner_.lockCalls_.push_back("Unlock " + name_);
    }

private:
    FakeSystem& owner_;
    std::string name_;
};

FakeSystem::FakeSystem() = default;
FakeSystem::~FakeSystem() = default;

// --- clock ---

void FakeSystem::SetTickCount(uint32_t ticks) {
    std::lock_guard<std::mutex> lock(mutex_);
    ticks_ = ticks;
}

void FakeSystem::ScriptTickCounts(std::vector<uint32_t> ticks) {
    std::lock_guard<std::mutex> lock(mutex_);
    scriptedTicks_.assign(ticks.begin(), ticks.end());
}

std::vector<uint32_t> FakeSystem::Sleeps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
}

uint32_t FakeSystem::TickCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!scriptedTicks_.empty()) {
        ticks_ = scriptedTicks_.front();
        scriptedTicks_.pop_front();
    }
    return ticks_;
}

void FakeSystem::SleepMilliseconds(uint32_t milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    sleeps_.push_back(milliseconds);
    ticks_ += milliseconds;  // wraps like the real count
}

void FakeSystem::SetLocalTime(const SystemTime& time) {
    std::lock_guard<std::mutex> lock(mutex_);
    localTime_ = time;
}

void FakeSystem::SetProcessId(uint32_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    processId_ = id;
}

void FakeSystem::SetUtcTime(const SystemTime& time) {
    std::lock_guard<std::mutex> lock(mutex_);
    utcTime_ = time;
}

SystemTime FakeSystem::UtcTime() {
    std::lock_guard<std::mutex> lock(mutex_);
    return utcTime_;
}

SystemTime FakeSystem::LocalTime() {
    std::lock_guard<std::mutex> lock(mutex_);
    return localTime_;
}

uint32_t FakeSystem::ProcessId() {
    std::lock_guard<std::mutex> lock(mutex_);
    return processId_;
}

// --- modules and resources ---

FakeSystem::Module* FakeSystem::FindModule(const std::string& name) {
    for (Module& module : modules_) {
        if (ToLowerAscii(module.name) == ToLowerAscii(name)) return &module;
    }
    return nullptr;
}

const FakeSystem::Module* FakeSystem::FindModule(const std::string& name) const {
    for (const Module& module : modules_) {
        if (ToLowerAscii(module.name) == ToLowerAscii(name)) return &module;
    }
    return nullptr;
}

std::string FakeSystem::NameOf(ModuleHandle handle) const {
    if (handle == nullptr) return std::string();
    for (const Module& module : modules_) {
        if (module.handle == handle) return ToLowerAscii(module.name);
    }
    return "<unknown module>";
}

ModuleHandle FakeSystem::AddModule(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    Module* module = FindModule(name);
    if (module == nullptr) {
        modules_.push_back(Module{name, nullptr, std::nullopt, 0, 0});
        module = &modules_.back();
    }
    module->failure.reset();
    if (module->handle == nullptr) {
        module->handle = reinterpret_cast<ModuleHandle>(nextHandle_);
        nextHandle_ += 0x10;
    }
    return module->handle;
}

void FakeSystem::FailModule(const std::string& name, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    Module* module = FindModule(name);
    if (module == nullptr) {
        modules_.push_back(Module{name, nullptr, std::nullopt, 0, 0});
        module = &modules_.back();
    }
    module->failure = error;
}

void FakeSystem::SetText(const std::string& module, uint32_t id, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_[{ToLowerAscii(module), id}] = text;
}

IconHandle FakeSystem::AddIcon(const std::string& module, uint32_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto icon = reinterpret_cast<IconHandle>(nextHandle_);
    nextHandle_ += 0x10;
    icons_[{ToLowerAscii(module), id}] = icon;
    return icon;
}

void FakeSystem::SetErrorText(uint32_t error, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    errorTexts_[error] = text;
}

ModuleHandle FakeSystem::HandleOf(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Module* module = FindModule(name);
    return module == nullptr ? nullptr : module->handle;
}

int FakeSystem::LoadCount(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Module* module = FindModule(name);
    return module == nullptr ? 0 : module->loads;
}

int FakeSystem::FreeCount(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Module* module = FindModule(name);
    return module == nullptr ? 0 : module->frees;
}

int FakeSystem::LoadedCount(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Module* module = FindModule(name);
    return module == nullptr ? 0 : module->loads - module->frees;
}

std::vector<std::string> FakeSystem::ModuleCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return moduleCalls_;
}

ModuleHandle FakeSystem::LoadResourceModule(const std::string& name, SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    moduleCalls_.push_back("Load " + name);
    Module* module = FindModule(name);
    if (module == nullptr || module->handle == nullptr || module->failure) {
        error.code = module != nullptr && module->failure ? *module->failure : kErrorModNotFound;
        return nullptr;
    }
    ++module->loads;
    error.code = 0;
    return module->handle;
}

void FakeSystem::FreeModule(ModuleHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Module& module : modules_) {
        if (handle != nullptr && module.handle == handle) {
            ++module.frees;
            moduleCalls_.push_back("Free " + module.name);
            return;
        }
    }
    moduleCalls_.push_back("Free <unknown module>");
}

bool FakeSystem::SystemErrorText(uint32_t error, std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = errorTexts_.find(error);
    if (it == errorTexts_.end()) return false;
    text = it->second;
    return true;
}

bool FakeSystem::LoadText(ModuleHandle module, uint32_t id, std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = texts_.find({NameOf(module), id});
    if (it == texts_.end()) return false;
    text = it->second;
    return true;
}

IconHandle FakeSystem::LoadIconResource(ModuleHandle module, uint32_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = icons_.find({NameOf(module), id});
    return it == icons_.end() ? nullptr : it->second;
}

// --- command line and folders ---

void FakeSystem::SetRawCommandLine(const std::string& commandLine) {
    std::lock_guard<std::mutex> lock(mutex_);
    commandLine_ = commandLine;
}

void FakeSystem::SetProgramFilesFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    programFiles_ = path;
}

void FakeSystem::FailProgramFilesFolder() {
    std::lock_guard<std::mutex> lock(mutex_);
    programFiles_.reset();
}

std::string FakeSystem::RawCommandLine() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commandLine_;
}

void FakeSystem::SetExecutablePath(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    executablePath_ = path;
}

bool FakeSystem::ExecutablePath(std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (executablePath_.empty()) return false;
    path = executablePath_;
    return true;
}

bool FakeSystem::ProgramFilesFolder(std::string& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!programFiles_) return false;
    out = *programFiles_;
    return true;
}

void FakeSystem::SetWow64(bool wow64) {
    std::lock_guard<std::mutex> lock(mutex_);
    wow64_ = wow64;
}

bool FakeSystem::RunsUnderWow64() {
    std::lock_guard<std::mutex> lock(mutex_);
    return wow64_;
}

// --- named locks and the elevated restart ---

void FakeSystem::HoldLockElsewhere(const std::string& name, bool held) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (held) {
        locksElsewhere_.insert(name);
    } else {
        locksElsewhere_.erase(name);
    }
}

void FakeSystem::FailLock(const std::string& name, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    lockFailures_[name] = error;
}

void FakeSystem::SetParentProcessId(std::optional<uint32_t> id) {
    std::lock_guard<std::mutex> lock(mutex_);
    parentProcessId_ = id;
}

bool FakeSystem::ParentProcessId(uint32_t& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!parentProcessId_) return false;
    id = *parentProcessId_;
    return true;
}

bool FakeSystem::NamedLockExists(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    return locksHeld_.count(name) != 0 || locksElsewhere_.count(name) != 0;
}

bool FakeSystem::LockHeld(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return locksHeld_.count(name) != 0;
}

std::vector<std::string> FakeSystem::LockCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lockCalls_;
}

std::unique_ptr<ProcessLock> FakeSystem::TryLockNamed(const std::string& name, SystemError& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    lockCalls_.push_back("Lock " + name);
    const auto failure = lockFailures_.find(name);
    if (failure != lockFailures_.end()) {
        error.code = failure->second;
        return nullptr;
    }
    if (locksElsewhere_.count(name) != 0 || locksHeld_.count(name) != 0) {
        error.code = kErrorAlreadyExists;
        return nullptr;
    }
    locksHeld_.insert(name);
    error.code = 0;
    return std::make_unique<FakeLock>(*this, name);
}

void FakeSystem::ScriptRestart(bool started, uint32_t exitCode, uint32_t error) {
    std::lock_guard<std::mutex> lock(mutex_);
    restartStarts_ = started;
    restartExitCode_ = exitCode;
    restartError_ = error;
}

std::vector<std::string> FakeSystem::Restarts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return restarts_;
}

bool FakeSystem::RestartElevated(const std::string& marker, uint32_t& exitCode,
                                 SystemError& error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        restarts_.push_back(marker);
    }
    if (onRestart) onRestart();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!restartStarts_) {
        error.code = restartError_;
        return false;
    }
    exitCode = restartExitCode_;
    error.code = 0;
    return true;
}

// --- threads ---

void FakeSystem::RefuseThreads(bool refuse) {
    std::lock_guard<std::mutex> lock(mutex_);
    refuseThreads_ = refuse;
}

int FakeSystem::ThreadsCreated() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return threadsCreated_;
}

int FakeSystem::ThreadsResumed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return threadsResumed_;
}

std::optional<uint32_t> FakeSystem::LastThreadResult() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastThreadResult_;
}

void FakeSystem::EndProcess(uint32_t) {}

std::unique_ptr<Thread> FakeSystem::CreateSuspendedThread(ThreadEntry entry, void* argument) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refuseThreads_) return nullptr;
    ++threadsCreated_;
    return std::make_unique<FakeThread>(*this, entry, argument);
}

}  // namespace mivetrak
