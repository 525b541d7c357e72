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
#include <string>

#include "net/http_status.h"
#include "net/internet_session.h"
#include "net/transfer_open.h"
#include "net/url.h"
#include "platform/ascii_text.h"
#include "platform/log.h"

namespace mivetrak {

namespace {

constexpr uint32_t kBlockSize = 128;
constexpr uint32_t kReadChunk = 64 * 1024;
static_assert(kReadChunk % kBlockSize == 0, "chunks hold whole blocks");
constexpr uint32_t kBlocksPerCallback = 20;
constexpr uint32_t kBlocksPerRateWindow = 100;
constexpr uint32_t kStatusTextLength = 260;
constexpr uint32_t kHttpCachedFlags =
    kInternetFlagKeepConnection | kInternetFlagResynchronize | kInternetFlagNeedFile;
constexpr uint32_t kFtpReloadFlags = kInternetFlagReload;
constexpr uint32_t kFtpCachedFlags = kInternetFlagResynchronize | kInternetFlagNeedFile;

// The local file: flushed and closed before the Internet handles are.
class LocalFile {
public:
    ~LocalFile() { Close(); }
    bool Open(FileSystem& files, const std::string& path, SystemError& error) {
        file_ = files.OpenFile(path, FileOpenMode::CreateWriteShareReadDelete, error);
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

// The length that the HTTP response announced, when it did: a body that ends early (the server
// closed the connection) is then a failure rather than a short file.
struct AnnouncedLength {
    bool known = false;
    uint32_t bytes = 0;
};

// Opens the transfer: the URL and the verb checked, then the HTTP road up to a 200 status and
// the announced length, or the FTP road up to the open file. False when any step fails; problem
// then says which and why, for the log.
bool OpenTransfer(Platform& platform, const DownloadRequest& request, bool userPresent,
                  TransferHandles& handles, int* status, AnnouncedLength& length,
                  std::string& problem) {
    TransferUrl target;
    if (!ParseTransferUrl(platform.codePage, request.url, target)) {
        problem = "it is not an http or ftp URL that fits";
        return false;
    }
    if (!EqualsNoCase(request.verb, "GET") && !EqualsNoCase(request.verb, "POST")) {
        problem = "the method " + QuotedForLog(request.verb) + " is not used";
        return false;
    }

    Internet& internet = platform.internet;
    TransferFailure failure;
    if (target.service == InternetService::Ftp) {
        if (!OpenConnection(internet, request.agent, target, request.user, request.password,
                            handles, failure)) {
            problem = DescribeTransferFailure(platform.system, failure);
            return false;
        }
        handles.data.Reset(internet.OpenFtpFile(handles.connection.Get(), target.path, kGenericRead,
                                                request.reload ? kFtpReloadFlags : kFtpCachedFlags,
                                                failure.error));
        if (handles.data) return true;
        failure.step = "open the file on the server";
        problem = DescribeTransferFailure(platform.system, failure);
        return false;
    }

    HttpOpen open{request.agent,
                  request.user,
                  request.password,
                  request.verb,
                  request.reload ? kHttpReloadFlags : kHttpCachedFlags,
                  kStatusTextLength};
    open.userPresent = userPresent;
    int finalStatus = 0;
    if (!OpenHttpTransfer(platform, request.url, open, handles, finalStatus, failure)) {
        problem = DescribeTransferFailure(platform.system, failure);
        return false;
    }
    if (status != nullptr) *status = finalStatus;
    if (finalStatus != 200) {
        problem = "the server answered " + DescribeHttpStatus(finalStatus, userPresent);
        return false;
    }
    if (request.localPath) {
        std::string lengthText;
        length.known = internet.QueryInfoText(handles.data.Get(), kHttpQueryContentLength,
                                              kStatusTextLength, lengthText) &&
                       ParseContentLength(lengthText, length.bytes);
    }
    return true;
}

enum class BodyOutcome {
    Received,
    Failed,
    StoppedByState,  // another party set the transfer state to failed
};

// Receives the body into the local file, counting it in blocks (see the top of this file). A
// failure sets problem for the log; a stop that the callback asked for leaves it empty, as the
// caller knows why it stopped.
BodyOutcome ReceiveBody(InternetSession& session, Platform& platform, InternetHandle data,
                        const DownloadRequest& request, const AnnouncedLength& length,
                        std::string& problem) {
    LocalFile local;
    SystemError error;
    if (!local.Open(platform.files, *request.localPath, error)) {
        problem = "could not make " + *request.localPath + ": " +
                  DescribeSystemError(platform.system, error.code);
        return BodyOutcome::Failed;
    }
    if (session.GetState() == StateFailed) return BodyOutcome::Failed;

    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadChunk]);
    if (!buffer) {
        problem = "no memory for the read buffer";
        return BodyOutcome::Failed;
    }
    BlockCounter counter(session, platform.system, request.callback, request.userData);
    uint64_t received = 0;
    for (;;) {
        counter.BeginBlock();
        uint32_t got = 0;
        if (!platform.internet.ReadData(data, buffer.get(), kReadChunk, got, error)) {
            problem = "the transfer broke off after " + std::to_string(received) +
                      " bytes: " + DescribeSystemError(platform.system, error.code);
            return BodyOutcome::Failed;
        }
        if (got == 0) break;
        if (got > kReadChunk) {  // never more than asked
            problem = "the Internet library gave more bytes than were asked for";
            return BodyOutcome::Failed;
        }
        received += got;

        uint32_t used = 0;
        BlockVerdict verdict = BlockVerdict::Go;
        while (used < got && verdict == BlockVerdict::Go) {
            counter.BeginBlock();
            used += counter.Feed(got - used);
            if (counter.BlockFull()) verdict = counter.CompleteBlock();
        }
        if (!local.Write(buffer.get(), used)) {
            problem = "could not write " + *request.localPath;
            return BodyOutcome::Failed;
        }
        if (request.written != nullptr && used != 0) {
            request.written->Written(reinterpret_cast<const uint8_t*>(buffer.get()), used);
        }
        if (verdict == BlockVerdict::CallbackStopped) return BodyOutcome::Failed;
        if (verdict == BlockVerdict::StateFailed) return BodyOutcome::StoppedByState;
    }
    if (length.known && received != length.bytes) {
        problem = "the body ended after " + std::to_string(received) + " of the " +
                  std::to_string(length.bytes) + " bytes announced";
        return BodyOutcome::Failed;
    }
    if (counter.BlockOpen()) {
        // The body's last block, shorter than 128 bytes; its bytes are already written.
        const BlockVerdict verdict = counter.CompleteBlock();
        if (verdict == BlockVerdict::CallbackStopped) return BodyOutcome::Failed;
        if (verdict == BlockVerdict::StateFailed) return BodyOutcome::StoppedByState;
    }
    if (!local.Close()) {
        problem = "could not write " + *request.localPath + " to the disk";
        return BodyOutcome::Failed;
    }
    return BodyOutcome::Received;
}

}  // namespace

int InternetSession::FailTransfer() {
    SetState(StateFailed, true);
    return 0;
}

int InternetSession::DownloadFile(const DownloadRequest& request, int* status) {
    SetState(StateRunning, false);
    // The local file, opened and closed inside ReceiveBody, is gone before these close.
    TransferHandles handles(platform_.internet, roots_);
    AnnouncedLength length;
    std::string problem;
    // Every failure is logged where it is known, with the URL it concerns.
    auto fail = [&] {
        if (!problem.empty()) {
            platform_.log.Write("The download of " + UrlForLog(request.url) +
                                " failed: " + problem + ".");
        }
        return FailTransfer();
    };
    if (!OpenTransfer(platform_, request, userPresent_, handles, status, length, problem)) {
        return fail();
    }
    if (request.localPath) {
        switch (ReceiveBody(*this, platform_, handles.data.Get(), request, length, problem)) {
            case BodyOutcome::Received:
                break;
            case BodyOutcome::Failed:
                return fail();
            case BodyOutcome::StoppedByState:
                return 0;
        }
    }
    if (GetState() == StateFailed) return 0;
    SetState(StateDone, false);
    return 1;
}

}  // namespace mivetrak
