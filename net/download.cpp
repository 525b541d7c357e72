// The download of an http or ftp URL into a local file, with progress reports every 20 blocks
// and the transfer state kept in the session.
//
// The body is read in large chunks into one fixed buffer, because a call into the Internet
// library costs far more than copying its bytes (128-byte reads are hundreds of times slower on
// a large body). Progress is still counted in blocks of 128 bytes of the stream, exactly as if
// each read had asked for 128 bytes: block k is bytes [128*(k-1), 128*k) of the body, and only
// the last block may be shorter. A read that returns fewer bytes than asked leaves the current
// block open; it is completed by the bytes of the next read. After every block the counters,
// the rate window, the callback and the transfer state are handled as for a single small read.
// Each chunk is written to the local file once, up to the block at which the download stops,
// so that a stopped download leaves exactly the blocks it counted.
#include <algorithm>
#include <memory>
#include <new>

#include "net/http_status.h"
#include "net/internet_handle.h"
#include "net/internet_session.h"
#include "net/url.h"
#include "platform/ascii_text.h"

namespace mivetrak {

namespace {

constexpr uint32_t kBlockSize = 128;
constexpr uint32_t kReadChunk = 64 * 1024;
static_assert(kReadChunk % kBlockSize == 0, "chunks hold whole blocks");
constexpr uint32_t kBlocksPerCallback = 20;
constexpr uint32_t kBlocksPerRateWindow = 100;
constexpr uint32_t kStatusTextLength = 260;
constexpr uint16_t kDefaultHttpPort = 80;
constexpr uint16_t kDefaultFtpPort = 21;
constexpr uint32_t kHttpReloadFlags =
    kInternetFlagReload | kInternetFlagNoCacheWrite | kInternetFlagKeepConnection;
constexpr uint32_t kHttpCachedFlags =
    kInternetFlagKeepConnection | kInternetFlagResynchronize | kInternetFlagNeedFile;
constexpr uint32_t kFtpReloadFlags = kInternetFlagReload;
constexpr uint32_t kFtpCachedFlags = kInternetFlagResynchronize | kInternetFlagNeedFile;

// The local file: flushed and closed before the Internet handles are.
class LocalFile {
public:
    ~LocalFile() { Close(); }
    bool Open(FileSystem& files, const std::string& path) {
        file_ = files.OpenFile(path, FileOpenMode::CreateWriteShareRead);
        return file_ != nullptr;
    }
    bool Write(const char* data, size_t size) { return size == 0 || file_->Write(data, size); }
    // Flushes and closes; false when the flush failed.
    bool Close() {
        if (!file_) return true;
        const bool flushed = file_->Flush();
        file_.reset();
        return flushed;
    }

private:
    std::unique_ptr<File> file_;
};

enum class BlockVerdict { Go, CallbackStopped, StateFailed };

// Counts the body in 128-byte blocks: totals, the rate over windows of 100 blocks, the callback
// every 20 blocks and the state check after each block.
class BlockCounter {
public:
    BlockCounter(InternetSession& session, System& system, ProgressCallback callback,
                 void* userData)
        : session_(session), system_(system), callback_(callback), userData_(userData) {}

    // A window's start time is taken as its first block begins.
    void BeginBlock() {
        if (blockFill_ == 0 && !windowOpen_) {
            windowOpen_ = true;
            windowBytes_ = 0;
            windowStart_ = system_.TickCount();
        }
    }
    // Adds up to available bytes to the open block; returns how many it took.
    uint32_t Feed(uint32_t available) {
        const uint32_t take = std::min(kBlockSize - blockFill_, available);
        blockFill_ += take;
        return take;
    }
    bool BlockFull() const { return blockFill_ == kBlockSize; }
    bool BlockOpen() const { return blockFill_ != 0; }

    BlockVerdict CompleteBlock() {
        const uint32_t bytes = blockFill_;
        blockFill_ = 0;
        total_ += bytes;
        windowBytes_ += bytes;
        ++callbackBlocks_;
        ++windowBlocks_;
        if (windowBlocks_ == kBlocksPerRateWindow) {
            uint32_t elapsed = system_.TickCount() - windowStart_;  // wraps like the tick count
            if (elapsed == 0) elapsed = 1;
            rate_ = windowBytes_ * 1000u / elapsed;
            windowBlocks_ = 0;
            windowOpen_ = false;
        }
        if (callbackBlocks_ == kBlocksPerCallback) {
            if (callback_ != nullptr) {
                TransferProgress progress;
                progress.totalBytes = total_;
                progress.rate = rate_;
                if (callback_(userData_, &progress) == 0) return BlockVerdict::CallbackStopped;
            }
            callbackBlocks_ = 0;
        }
        if (session_.GetState() == StateFailed) return BlockVerdict::StateFailed;
        return BlockVerdict::Go;
    }

private:
    InternetSession& session_;
    System& system_;
    ProgressCallback callback_;
    void* userData_;
    uint32_t blockFill_ = 0;  // bytes of the open block
    bool windowOpen_ = false;
    uint32_t windowStart_ = 0;
    uint32_t total_ = 0;
    uint32_t windowBlocks_ = 0;
    uint32_t windowBytes_ = 0;
    uint32_t callbackBlocks_ = 0;
    uint32_t rate_ = 0;
};

}  // namespace

int InternetSession::DownloadFile(const std::string& agent, const std::string& url,
                                  const char* localPath, const char* verb, const std::string& user,
                                  const std::string& password, int reload, int* status,
                                  ProgressCallback callback, void* userData) {
    SetState(StateRunning, 0);

    Internet& internet = platform_.internet;
    // Destroyed in reverse: local file, data handle, connection, root.
    InternetHandleOwner root(internet);
    InternetHandleOwner connection(internet);
    InternetHandleOwner data(internet);
    LocalFile local;

    auto fail = [&]() {
        SetState(StateFailed, 1);
        local.Close();
        data.Close();
        connection.Close();
        root.Close();
        return 0;
    };

    std::string scheme;
    std::string host;
    std::string path;
    int urlPort = 0;
    if (SplitUrl(platform_.codePage, url, scheme, urlPort, host, path) == 0) return fail();
    const bool http = EqualsNoCase(scheme, "http");
    if (!http && !EqualsNoCase(scheme, "ftp")) return fail();
    if (verb == nullptr || !(EqualsNoCase(verb, "GET") || EqualsNoCase(verb, "POST"))) {
        return fail();
    }
    uint16_t port = 0;
    if (!ConnectPort(urlPort, http ? kDefaultHttpPort : kDefaultFtpPort, port)) return fail();

    root.Reset(internet.OpenRoot(agent));
    if (!root) return fail();

    // Set on the HTTP road when the response states its length: a body that ends early (the
    // server closed the connection) is then a failure rather than a short file.
    bool lengthKnown = false;
    uint32_t expectedLength = 0;

    if (http) {
        connection.Reset(
            internet.Connect(root.Get(), host, port, user, password, InternetService::Http));
        if (!connection) return fail();
        data.Reset(internet.OpenHttpRequest(connection.Get(), verb, path,
                                            reload != 0 ? kHttpReloadFlags : kHttpCachedFlags));
        if (!data) return fail();
        if (!internet.SendHttpRequest(data.Get())) return fail();
        int finalStatus = 0;
        if (!RunStatusLoop(internet, data.Get(), kStatusTextLength, finalStatus)) return fail();
        if (status != nullptr) *status = finalStatus;
        if (finalStatus != 200) return fail();
        if (localPath != nullptr) {
            std::string lengthText;
            lengthKnown = internet.QueryInfoText(data.Get(), kHttpQueryContentLength,
                                                 kStatusTextLength, lengthText) &&
                          ParseContentLength(lengthText, expectedLength);
        }
    } else {
        connection.Reset(
            internet.Connect(root.Get(), host, port, user, password, InternetService::Ftp));
        if (!connection) return fail();
        data.Reset(internet.OpenFtpFile(connection.Get(), path, kGenericRead,
                                        reload != 0 ? kFtpReloadFlags : kFtpCachedFlags));
        if (!data) return fail();
    }

    if (localPath != nullptr) {
        if (!local.Open(platform_.files, localPath)) return fail();
        if (GetState() == StateFailed) return fail();

        std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadChunk]);
        if (!buffer) return fail();
        BlockCounter counter(*this, platform_.system, callback, userData);
        uint64_t received = 0;
        for (;;) {
            counter.BeginBlock();
            uint32_t got = 0;
            if (!internet.ReadData(data.Get(), buffer.get(), kReadChunk, got)) return fail();
            if (got == 0) break;
            if (got > kReadChunk) return fail();  // never more than asked
            received += got;

            uint32_t used = 0;
            BlockVerdict verdict = BlockVerdict::Go;
            while (used < got && verdict == BlockVerdict::Go) {
                counter.BeginBlock();
                used += counter.Feed(got - used);
                if (counter.BlockFull()) verdict = counter.CompleteBlock();
            }
            if (!local.Write(buffer.get(), used)) return fail();
            if (verdict == BlockVerdict::CallbackStopped) return fail();
            if (verdict == BlockVerdict::StateFailed) return 0;  // owners close file and handles
        }
        if (lengthKnown && received != expectedLength) return fail();
        if (counter.BlockOpen()) {
            // The body's last block, shorter than 128 bytes; its bytes are already written.
            const BlockVerdict verdict = counter.CompleteBlock();
            if (verdict == BlockVerdict::CallbackStopped) return fail();
            if (verdict == BlockVerdict::StateFailed) return 0;
        }
        if (!local.Close()) return fail();
    }

    data.Close();
    connection.Close();
    root.Close();
    if (GetState() == StateFailed) return 0;
    SetState(StateDone, 0);
    return 1;
}

}  // namespace mivetrak
