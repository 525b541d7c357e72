// The worker on real Win32 under Wine: its own thread, WinInet against a loopback update
// server (worker_http_server.py), real folders on drive C: of the prefix, and a hidden window of
// the test's own standing in for the progress dialog: it records every message and answers the
// locked-file question as each test scripts it.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/compiled_deployment.h"
#include "engine/worker.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "protocol/cancel_flag.h"
#include "protocol/worker_messages.h"
#include "ui/dialog_listener.h"
#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

using test::EnvironmentValue;
using test::HeldFile;
using test::RawFileTimes;
using test::ReadWholeFile;
using test::WriteWholeFile;
using Strings = std::vector<std::string>;

constexpr UINT kWorkerEnded = WM_APP + 1;
constexpr UINT_PTR kDeadlineTimer = 1;
constexpr UINT kDeadlineMilliseconds = 120000;
constexpr size_t kDatabaseSize = 40000;

// What worker_http_server.py serves as the database, and its Last-Modified time.
std::string ServerDatabase() {
    std::string body(kDatabaseSize, '\0');
    for (size_t i = 0; i < kDatabaseSize; ++i) {
        body[i] = static_cast<char>(static_cast<unsigned char>((i * 7 + i / 251) % 256));
    }
    return body;
}
const SystemTime kServerTime = MakeTime(2022, 3, 9, 14, 25, 36);
const SystemTime kOldTime = MakeTime(2020, 1, 1, 8, 30, 0);

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The loopback server's request log: one "path<TAB>user agent" line per request.
Strings ServerLog(const std::string& port) {
    Strings lines;
    HINTERNET root = InternetOpenA("worker test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (root == nullptr) return lines;
    const std::string url = "http://127.0.0.1:" + port + "/log";
    HINTERNET request = InternetOpenUrlA(root, url.c_str(), nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    std::string text;
    if (request != nullptr) {
        char buffer[4096];
        DWORD got = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &got) && got > 0) {
            text.append(buffer, got);
        }
        InternetCloseHandle(request);
    }
    InternetCloseHandle(root);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// A hidden message-only window that takes the dialog's place.
class DialogStandIn {
public:
    DialogStandIn() {
        static const char kClass[] = "MivetrakWorkerTestDialog";
        static const bool registered = [] {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = &DialogStandIn::Procedure;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.lpszClassName = kClass;
            return RegisterClassA(&windowClass) != 0;
        }();
        if (!registered) return;
        window_ = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        if (window_ != nullptr) {
            SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        }
    }
    ~DialogStandIn() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    DialogStandIn(const DialogStandIn&) = delete;
    DialogStandIn& operator=(const DialogStandIn&) = delete;

    HWND Handle() const { return window_; }

    // "P<phase>:<percent>" posted progress, "A<code>" posted alert, "Q<code>" the question.
    Strings messages;
    // Called for the question; its result is the answer (1 = retry).
    std::function<LRESULT()> answer = [] { return LRESULT{0}; };
    // Called after each posted progress message has been recorded.
    std::function<void(WPARAM, LPARAM)> onProgress;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<DialogStandIn*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr && message == kProgressMessage) {
            self->messages.push_back("P" + std::to_string(wParam) + ":" + std::to_string(lParam));
            if (self->onProgress) self->onProgress(wParam, lParam);
            return 0;
        }
        if (self != nullptr && message == kAlertMessage) {
            // A sent message arrives while its sender waits; a posted one does not.
            const bool sent = (InSendMessageEx(nullptr) & ISMEX_SEND) != 0;
            self->messages.push_back((sent ? "Q" : "A") + std::to_string(wParam));
            return sent ? self->answer() : 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
};

// Records the file-name changes in one folder (ReadDirectoryChangesW) from construction until
// Stop, as "<action> <name>" with action added, removed, old (renamed from) or new (renamed to).
class FolderWatch {
public:
    explicit FolderWatch(const std::string& folder) : folder_(folder) {
        directory_ = CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (directory_ == INVALID_HANDLE_VALUE) return;
        thread_ = std::thread([this] { Watch(); });
        // Armed once the watch has seen a file of its own come and go: changes made before its
        // first request are not reported.
        for (int i = 0; i < 100 && !Armed(); ++i) {
            WriteWholeFile(folder_ + kBegin, "");
            DeleteFileA((folder_ + kBegin).c_str());
            Sleep(50);
        }
    }
    ~FolderWatch() { Stop(); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    bool Armed() { return Saw("removed " + std::string(kBegin)); }

    // Ends the watch; returns what it saw between the two markers.
    Strings Stop() {
        if (thread_.joinable()) {
            WriteWholeFile(folder_ + kEnd, "");
            thread_.join();
            DeleteFileA((folder_ + kEnd).c_str());
        }
        if (directory_ != INVALID_HANDLE_VALUE) {
            CloseHandle(directory_);
            directory_ = INVALID_HANDLE_VALUE;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        Strings seen;
        for (const auto& change : changes_) {
            if (change.find(kBegin) == std::string::npos &&
                change.find(kEnd) == std::string::npos) {
                seen.push_back(change);
            }
        }
        return seen;
    }

private:
    static constexpr const char* kBegin = "watch.begin";
    static constexpr const char* kEnd = "watch.end";

    bool Saw(const std::string& change) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& c : changes_) {
            if (c == change) return true;
        }
        return false;
    }

    void Watch() {
        alignas(DWORD) char buffer[16384];
        for (;;) {
            DWORD got = 0;
            if (!ReadDirectoryChangesW(directory_, buffer, sizeof buffer, FALSE,
                                       FILE_NOTIFY_CHANGE_FILE_NAME, &got, nullptr, nullptr)) {
                return;
            }
            size_t offset = 0;
            bool ended = false;
            while (got > 0 && offset < got) {
                const auto* info =
                    reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
                char name[MAX_PATH] = {};
                WideCharToMultiByte(CP_ACP, 0, info->FileName,
                                    static_cast<int>(info->FileNameLength / sizeof(WCHAR)), name,
                                    sizeof name - 1, nullptr, nullptr);
                const char* action = info->Action == FILE_ACTION_ADDED              ? "added "
                                     : info->Action == FILE_ACTION_REMOVED          ? "removed "
                                     : info->Action == FILE_ACTION_RENAMED_OLD_NAME ? "old "
                                     : info->Action == FILE_ACTION_RENAMED_NEW_NAME ? "new "
                                                                                    : "changed ";
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    changes_.push_back(action + std::string(name));
                }
                if (std::string(name) == kEnd) ended = true;
                if (info->NextEntryOffset == 0) break;
                offset += info->NextEntryOffset;
            }
            if (ended) return;
        }
    }

    std::string folder_;
    HANDLE directory_ = INVALID_HANDLE_VALUE;
    std::thread thread_;
    std::mutex mutex_;
    Strings changes_;
};

struct ThreadArgument {
    WorkerContext* context;
    HWND window;
};

// The worker's thread: the program's own entry, then a note to the test's message loop.
uint32_t WorkerThenNotify(void* argument) {
    auto* run = static_cast<ThreadArgument*>(argument);
    const uint32_t result = WorkerThreadProc(run->context);
    PostMessageA(run->window, kWorkerEnded, 0, 0);
    return result;
}

class WorkerOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = EnvironmentValue("MIVETRAK_WORKER_HTTP_PORT");
        ASSERT_FALSE(port_.empty()) << "run through worker_http_server.py";
        holder_ = CreateWin32Platform();
        ASSERT_NE(holder_, nullptr);
        ASSERT_NE(dialog_.Handle(), nullptr);
        // Real folders on drive C: of the prefix, where the program keeps its own work folder.
        root_ = test::NewScratchFolder("worker", test::ScratchRoot::TemporaryFolder);
        ASSERT_FALSE(root_.empty());
        work_ = root_ + "orzavtmp\\";
        ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr));
        logStart_ = ServerLog(port_).size();
    }

    std::string IndexUrl(const char* path = "/Software_Update/Tessfetch/ZAVFile.asp") const {
        return "http://127.0.0.1:" + port_ + path;
    }

    // A new installation folder, with an old database in it or without one.
    std::string Folder(const std::string& name, bool withDatabase) {
        const std::string folder = root_ + name + "\\";
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        if (withDatabase) {
            EXPECT_TRUE(WriteWholeFile(folder + "Tolvar32.bdb", "old database in " + name));
            EXPECT_TRUE(test::SetRawFileTimes(folder + "Tolvar32.bdb", kOldTime));
        }
        return folder;
    }

    // Runs the worker on its own thread while this thread pumps the window's messages.
    ExitCode RunWorker(std::vector<TargetFolder>& folders, const std::string& indexUrl) {
        dialog_.messages.clear();
        uint32_t downloadLength = 0;
        ExitCode exitCode = static_cast<ExitCode>(-1);
        std::atomic<WindowHandle> mainWindow{reinterpret_cast<WindowHandle>(dialog_.Handle())};
        // This build's deployment, with the loopback server's index.
        Deployment deployment = CompiledDeployment();
        deployment.indexUrl = indexUrl;
        DialogListener listener(holder_->Get(), mainWindow);
        CancelFlag cancel;
        WorkerContext context{holder_->Get(), folders,   work_,      downloadLength,
                              exitCode,       &listener, deployment, cancel};
        ThreadArgument argument{&context, dialog_.Handle()};
        std::unique_ptr<Thread> thread =
            holder_->Get().system.CreateSuspendedThread(WorkerThenNotify, &argument);
        if (!thread) {
            ADD_FAILURE() << "no worker thread";
            return static_cast<ExitCode>(-1);
        }
        SetTimer(dialog_.Handle(), kDeadlineTimer, kDeadlineMilliseconds, nullptr);
        thread->Resume();
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (message.hwnd == dialog_.Handle() && message.message == kWorkerEnded) break;
            if (message.hwnd == dialog_.Handle() && message.message == WM_TIMER &&
                message.wParam == kDeadlineTimer) {
                // The worker hangs: nothing sound is left to do in this process.
                std::fprintf(stderr, "the worker did not end within %u ms\n",
                             kDeadlineMilliseconds);
                std::fflush(stderr);
                ExitProcess(3);
            }
            DispatchMessageA(&message);
        }
        KillTimer(dialog_.Handle(), kDeadlineTimer);
        thread->WaitUntilEnded();
        lastDownloadLength_ = downloadLength;
        return exitCode;
    }

    // Requests for the given path in this test, and whether all of them named the program.
    size_t Requests(const std::string& path) const {
        const Strings log = ServerLog(port_);
        size_t count = 0;
        for (size_t i = logStart_; i < log.size(); ++i) {
            const std::string& line = log[i];
            if (line.compare(0, path.size() + 1, path + "\t") != 0) continue;
            EXPECT_EQ(line.substr(path.size() + 1), "Orvanta File Update") << line;
            ++count;
        }
        return count;
    }

    void ExpectNewDatabase(const std::string& folder) {
        SCOPED_TRACE(folder);
        std::string content;
        ASSERT_TRUE(ReadWholeFile(folder + "Tolvar32.bdb", content));
        EXPECT_TRUE(content == database_) << "content of " << content.size() << " bytes";
        SystemTime creation;
        SystemTime lastWrite;
        ASSERT_TRUE(RawFileTimes(folder + "Tolvar32.bdb", creation, lastWrite));
        EXPECT_TRUE(SameSecond(lastWrite, kServerTime)) << TimeText(lastWrite);
    }
    void ExpectOldDatabase(const std::string& folder, const std::string& name) {
        std::string content;
        ASSERT_TRUE(ReadWholeFile(folder + "Tolvar32.bdb", content)) << folder;
        EXPECT_EQ(content, "old database in " + name);
    }
    void ExpectNoBackups(const std::string& folder) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "Tolvar32tmp*.tmp").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            ADD_FAILURE() << "left behind: " << folder << found.cFileName;
            FindClose(search);
        }
    }

    // The messages up to the download, the download's start, and the download's percentages.
    void ExpectDownloadMessages(const Strings& messages, size_t& next) {
        const Strings check{"P0:0", "P0:20", "P0:50", "P0:80", "P1:0"};
        ASSERT_GE(messages.size(), check.size());
        EXPECT_EQ(Strings(messages.begin(), messages.begin() + 5), check);
        next = check.size();
        int last = 0;
        while (next < messages.size() && messages[next].compare(0, 3, "P1:") == 0) {
            const int percent = std::stoi(messages[next].substr(3));
            EXPECT_GT(percent, last) << messages[next];
            EXPECT_LE(percent, 100);
            last = percent;
            ++next;
        }
        EXPECT_GT(last, 50);  // 40,000 bytes: a callback every 2,560
    }

    std::string port_;
    std::unique_ptr<PlatformHolder> holder_;
    DialogStandIn dialog_;
    std::string root_;
    std::string work_;
    size_t logStart_ = 0;
    uint32_t lastDownloadLength_ = 0;
    const std::string database_ = ServerDatabase();
};

TEST_F(WorkerOnWindows, InstallsIntoThreeFoldersThenFindsThemUpToDate) {
    const std::string a = Folder("A", true);
    const std::string b = Folder("B", false);  // kept by force
    const std::string c = Folder("C", true);
    std::vector<TargetFolder> folders{{a}, {b}, {c}};

    EXPECT_EQ(RunWorker(folders, IndexUrl()), ExitCode::Done);
    size_t next = 0;
    ExpectDownloadMessages(dialog_.messages, next);
    EXPECT_EQ(Strings(dialog_.messages.begin() + static_cast<std::ptrdiff_t>(next),
                      dialog_.messages.end()),
              (Strings{"P2:0", "P2:33", "P2:66", "P3:0"}));
    EXPECT_EQ(lastDownloadLength_, kDatabaseSize);
    for (const auto& folder : {a, b, c}) {
        ExpectNewDatabase(folder);
        ExpectNoBackups(folder);
    }
    EXPECT_FALSE(Exists(work_ + "zav.tmp"));
    EXPECT_FALSE(Exists(work_ + "Tolvar32.bdb"));
    EXPECT_EQ(Requests("/Software_Update/Tessfetch/ZAVFile.asp"), 1u);
    EXPECT_EQ(Requests("/files/primary/Tolvar32.bdb"), 2u);  // the query, then the download
    EXPECT_EQ(Requests("/files/backup/Tolvar32.bdb"), 0u);

    // At once again: every copy bears the server's time, so nothing is left to do.
    std::vector<TargetFolder> again{{a}, {b}, {c}};
    EXPECT_EQ(RunWorker(again, IndexUrl()), ExitCode::Done);
    EXPECT_EQ(dialog_.messages, (Strings{"P0:0", "P0:20", "P0:50", "P0:80", "A4"}));
    EXPECT_TRUE(again.empty());
    EXPECT_EQ(Requests("/files/primary/Tolvar32.bdb"), 3u);  // one more query, no download
}

TEST_F(WorkerOnWindows, BackupServesWhenThePrimaryDoesNotAnswer) {
    const std::string a = Folder("A", true);
    std::vector<TargetFolder> folders{{a}};
    EXPECT_EQ(RunWorker(folders, IndexUrl("/backup-only/ZAVFile.asp")), ExitCode::Done);
    ExpectNewDatabase(a);
    EXPECT_EQ(Requests("/files/missing/Tolvar32.bdb"), 2u);  // HEAD, then GET: both 404
    EXPECT_EQ(Requests("/files/backup/Tolvar32.bdb"), 2u);
    EXPECT_EQ(dialog_.messages.back(), "P3:0");
}

TEST_F(WorkerOnWindows, DatabaseInUseIsAskedAboutAndRetriedOnceReleased) {
    const std::string a = Folder("A", true);
    const std::string b = Folder("B", true);
    HeldFile held(b + "Tolvar32.bdb");
    ASSERT_TRUE(held.IsHeld());
    int questions = 0;
    dialog_.answer = [&] {
        ++questions;
        // Its times could not be read: still there under its own name.
        EXPECT_TRUE(Exists(b + "Tolvar32.bdb"));
        EXPECT_EQ(held.Release(), 0);
        return LRESULT{1};
    };
    std::vector<TargetFolder> folders{{a}, {b}};
    EXPECT_EQ(RunWorker(folders, IndexUrl()), ExitCode::Done);
    EXPECT_EQ(questions, 1);
    ASSERT_GE(dialog_.messages.size(), 5u);
    EXPECT_EQ(Strings(dialog_.messages.begin(), dialog_.messages.begin() + 3),
              (Strings{"P0:0", "P0:20", "P0:50"}));
    // The sent question may be handled before the posted "server answered" still queued.
    Strings next(dialog_.messages.begin() + 3, dialog_.messages.begin() + 5);
    std::sort(next.begin(), next.end());
    EXPECT_EQ(next, (Strings{"P0:80", "Q6"}));
    EXPECT_EQ(dialog_.messages.back(), "P3:0");
    ExpectNewDatabase(a);
    ExpectNewDatabase(b);
    ExpectNoBackups(b);
}

TEST_F(WorkerOnWindows, DatabaseInUseAndQuestionDeclinedStopsTheRun) {
    const std::string a = Folder("A", true);
    HeldFile held(a + "Tolvar32.bdb");
    ASSERT_TRUE(held.IsHeld());
    dialog_.answer = [] { return LRESULT{2}; };
    std::vector<TargetFolder> folders{{a}};
    EXPECT_EQ(RunWorker(folders, IndexUrl()), ExitCode::Stopped);
    EXPECT_EQ(dialog_.messages, (Strings{"P0:0", "P0:20", "P0:50", "P0:80", "Q6"}));
    EXPECT_EQ(held.Release(), 0);
    ExpectOldDatabase(a, "A");
    ExpectNoBackups(a);
    EXPECT_EQ(Requests("/files/primary/Tolvar32.bdb"), 1u);  // the query only
    EXPECT_FALSE(Exists(work_ + "Tolvar32.bdb"));
}

TEST_F(WorkerOnWindows, RenameRefusedWhileOpenWithoutDeleteSharingThenRetried) {
    const std::string a = Folder("A", true);
    // Open for reading, sharing reading only: the times can be read, the rename is refused.
    HANDLE reader = CreateFileA((a + "Tolvar32.bdb").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    int questions = 0;
    dialog_.answer = [&] {
        ++questions;
        if (reader != INVALID_HANDLE_VALUE) {
            // Nothing in the folder has changed yet.
            EXPECT_TRUE(Exists(a + "Tolvar32.bdb"));
            EXPECT_FALSE(Exists(a + "Tolvar32tmp0.tmp"));
            CloseHandle(reader);
            reader = INVALID_HANDLE_VALUE;
        }
        return LRESULT{1};
    };
    std::vector<TargetFolder> folders{{a}};
    EXPECT_EQ(RunWorker(folders, IndexUrl()), ExitCode::Done);
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    EXPECT_EQ(questions, 1);
    // A sent message is handled before the posted ones still queued, so the question may be
    // recorded ahead of the last download and first installation messages: only what follows
    // it is certain.
    const auto question = std::find(dialog_.messages.begin(), dialog_.messages.end(), "Q6");
    ASSERT_NE(question, dialog_.messages.end());
    EXPECT_EQ(std::count(dialog_.messages.begin(), dialog_.messages.end(), "P2:0"), 1);
    EXPECT_EQ(dialog_.messages.back(), "P3:0");
    ExpectNewDatabase(a);
    ExpectNoBackups(a);
}

TEST_F(WorkerOnWindows, EarlierBackupNameIsPassedOverAndLeftAlone) {
    const std::string a = Folder("A", true);
    const std::string earlier = a + "Tolvar32tmp0.tmp";
    ASSERT_TRUE(WriteWholeFile(earlier, "an earlier run's backup"));
    ASSERT_TRUE(test::SetRawFileTimes(earlier, kOldTime));
    std::vector<TargetFolder> folders{{a}};
    FolderWatch watch(a);
    ASSERT_TRUE(watch.Armed());
    EXPECT_EQ(RunWorker(folders, IndexUrl()), ExitCode::Done);
    // The new copy was written beside the database, the old database went aside under the
    // next free name, the new copy took the database's name, and the old one was removed; the
    // earlier file was never touched.
    const Strings changes = watch.Stop();
    EXPECT_EQ(changes,
              (Strings{"added Tolvar32new0.tmp", "old Tolvar32.bdb", "new Tolvar32tmp1.tmp",
                       "old Tolvar32new0.tmp", "new Tolvar32.bdb", "removed Tolvar32tmp1.tmp"}));
    ExpectNewDatabase(a);
    std::string content;
    ASSERT_TRUE(ReadWholeFile(earlier, content));
    EXPECT_EQ(content, "an earlier run's backup");
    SystemTime creation;
    SystemTime lastWrite;
    ASSERT_TRUE(RawFileTimes(earlier, creation, lastWrite));
    EXPECT_TRUE(SameSecond(lastWrite, kOldTime)) << TimeText(lastWrite);
    EXPECT_FALSE(Exists(a + "Tolvar32tmp1.tmp"));
}

}  // namespace
}  // namespace mivetrak
