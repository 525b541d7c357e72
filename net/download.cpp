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
#include <optional>
#include <string>

#include "net/http_status.h"
#include "net/internet_session.h"
#include "net/transfer_open.h"
#include "net/transfer_pace.h"
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

// The local file: the request's own open file, or one made at its path; flushed, and closed
// when made here, before the Internet handles are.
class LocalFile {
public:
    ~LocalFile() { Close(); }
    bool Open(FileSystem& files, const DownloadRequest& request, SystemError& error) {
        if (request.localFile != nullptr) {
            lent_ = request.localFile;
            return true;
        }
        made_ =
            files.OpenFile(*request.localPath, FileOpenMode::CreateReadWriteShareReadDelete, error);
        return made_ != nullptr;
    }
    bool Write(const char* data, size_t size, SystemError& error) {
        return size == 0 || File()->Write(data, size, error);
    }
    // Flushes, and closes a file made here; false when the flush failed.
    bool Close() {
        if (File() == nullptr) return true;
        const bool flushed = File()->Flush();
        made_.reset();
        lent_ = nullptr;
        return flushed;
    }

private:
    mivetrak::File* File() { return lent_ != nullptr ? lent_ : made_.get(); }

    std::unique_ptr<mivetrak::File> made_;
    mivetrak::File* lent_ = nullptr;
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
        if (session_.GetState() == TransferState::Failed) return BlockVerdict::StateFailed;
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

// The URL and the verb as a transfer can take them.
bool CheckRequest(const CodePage& codePage, const DownloadRequest& request, TransferUrl& target,
                  TransferFailure& failure) {
    if (!ParseTransferUrl(codePage, request.url, target)) {
        return Fail(failure, "it is not an http, https or ftp URL that fits");
    }
    if (!EqualsNoCase(request.verb, "GET") && !EqualsNoCase(request.verb, "POST")) {
        return Fail(failure, "the method " + QuotedForLog(request.verb) + " is not used");
    }
    return true;
}

bool OpenFtpTransfer(Internet& internet, const DownloadRequest& request, const TransferUrl& target,
                     TransferHandles& handles, TransferFailure& failure) {
    if (!OpenConnection(internet, request.agent, target, request.user, request.password, handles,
                        failure)) {
        return false;
    }
    handles.data.Reset(internet.OpenFtpFile(handles.connection.Get(), target.path, kGenericRead,
                                            request.reload ? kFtpReloadFlags : kFtpCachedFlags,
                                            failure.error));
    return handles.data || Fail(failure, "could not open the file on the server");
}

// What a 200 answer announces of its body, checked against what the request may take: an
// encoded body, a length other than the one required, or more than the local file may take ends
// the transfer before the body is read.
bool CheckAnnouncement(Platform& platform, const DownloadRequest& request, InternetHandle data,
                       AnnouncedLength& length, TransferFailure& failure) {
    Internet& internet = platform.internet;
    if (const auto encoding = ForeignEncoding(internet, data, kStatusTextLength)) {
        return Fail(failure, "the server sends the file encoded (Content-Encoding " +
                                 QuotedForLog(*encoding) + ")");
    }
    std::string lengthText;
    length.known =
        internet.QueryInfoText(data, kHttpQueryContentLength, kStatusTextLength, lengthText) &&
        ParseContentLength(lengthText, length.bytes);
    if (!length.known) return true;
    if (request.requiredLength && length.bytes != *request.requiredLength) {
        return Fail(failure, "the server announces " + std::to_string(length.bytes) +
                                 " bytes, not the " + std::to_string(*request.requiredLength) +
                                 " that the release statement gives");
    }
    if (request.spaceLeft && length.bytes > *request.spaceLeft) {
        return Fail(failure, "the server announces " + std::to_string(length.bytes) +
                                 " bytes, more than the " + std::to_string(*request.spaceLeft) +
                                 " that the work folder's drive can take with 1 MiB kept free");
    }
    return true;
}

// The HTTP road up to a 200 status and the announced length.
bool OpenHttpDownload(Platform& platform, const DownloadRequest& request, bool userPresent,
                      TransferHandles& handles, std::optional<int>* status, AnnouncedLength& length,
                      TransferFailure& failure) {
    HttpOpen open{request.agent,
                  request.user,
                  request.password,
                  request.verb,
                  request.reload ? kHttpReloadFlags : kHttpCachedFlags,
                  kStatusTextLength};
    open.userPresent = userPresent;
    std::optional<int> finalStatus;
    if (!OpenHttpTransfer(platform, request.url, open, handles, finalStatus, failure)) {
        return false;
    }
    if (status != nullptr) *status = finalStatus;
    if (finalStatus != 200) {
        return Fail(failure, "the server answered " + DescribeHttpStatus(finalStatus, userPresent));
    }
    return !request.localPath ||
           CheckAnnouncement(platform, request, handles.data.Get(), length, failure);
}

// Opens the transfer: the URL and the verb checked, then the HTTP road up to a 200 status and
// the announced length, or the FTP road up to the open file.
bool OpenTransfer(Platform& platform, const DownloadRequest& request, bool userPresent,
                  TransferHandles& handles, std::optional<int>* status, AnnouncedLength& length,
                  TransferFailure& failure) {
    TransferUrl target;
    if (!CheckRequest(platform.codePage, request, target, failure)) return false;
    if (target.service == InternetService::Ftp) {
        return OpenFtpTransfer(platform.internet, request, target, handles, failure);
    }
    return OpenHttpDownload(platform, request, userPresent, handles, status, length, failure);
}

enum class BodyOutcome {
    Received,
    Failed,
    StoppedByState,  // another party set the transfer state to failed
};

BodyOutcome OutcomeOf(BlockVerdict verdict) {
    switch (verdict) {
        case BlockVerdict::Go:
            return BodyOutcome::Received;
        case BlockVerdict::CallbackStopped:
            return BodyOutcome::Failed;
        case BlockVerdict::StateFailed:
            return BodyOutcome::StoppedByState;
    }
    return BodyOutcome::Failed;
}

// Receives the body into the local file, counting it in blocks (see the top of this file). A
// failure says why in the TransferFailure; a stop that the callback asked for leaves it empty,
// as the caller knows why it stopped.
class BodyReceiver {
public:
    BodyReceiver(InternetSession& session, Platform& platform, InternetHandle data,
                 const DownloadRequest& request, const AnnouncedLength& length)
        : platform_(platform),
          data_(data),
          request_(request),
          length_(length),
          limit_(ReadLimit(request, length)),
          counter_(session, platform.system, request.callback, request.userData),
          pace_(platform.system) {}

    BodyOutcome Run(InternetSession& session, TransferFailure& failure) {
        if (!local_.Open(platform_.files, request_, failure.error)) {
            Fail(failure, "could not make " + *request_.localPath);
            return BodyOutcome::Failed;
        }
        if (session.GetState() == TransferState::Failed) return BodyOutcome::Failed;
        buffer_.reset(new (std::nothrow) char[kReadChunk]);
        if (!buffer_) {
            Fail(failure, "no memory for the read buffer");
            return BodyOutcome::Failed;
        }
        // Never a byte beyond the announced end, nor more than one beyond what the request takes.
        while (received_ < limit_) {
            uint32_t got = 0;
            if (!ReadChunk(got, failure)) return BodyOutcome::Failed;
            if (got == 0) break;
            const BlockVerdict verdict = Deliver(got, failure);
            if (!failure.what.empty()) return BodyOutcome::Failed;
            if (verdict != BlockVerdict::Go) return OutcomeOf(verdict);
        }
        return Finish(failure);
    }

private:
    static uint64_t ReadLimit(const DownloadRequest& request, const AnnouncedLength& length) {
        uint64_t limit = length.known ? length.bytes : UINT64_MAX;
        for (const std::optional<uint64_t> most :
             {request.requiredLength ? std::optional<uint64_t>(*request.requiredLength)
                                     : std::nullopt,
              request.spaceLeft, request.readLimit}) {
            if (most) limit = std::min(limit, *most + 1);
        }
        return limit;
    }

    bool ReadChunk(uint32_t& got, TransferFailure& failure) {
        counter_.BeginBlock();
        const uint32_t wanted =
            static_cast<uint32_t>(std::min<uint64_t>(kReadChunk, limit_ - received_));
        if (!platform_.internet.ReadData(data_, buffer_.get(), wanted, got, failure.error)) {
            return Fail(failure,
                        "the transfer broke off after " + std::to_string(received_) + " bytes");
        }
        failure.error.code = 0;
        if (got > wanted) {
            return Fail(failure, "the Internet library gave more bytes than were asked for");
        }
        received_ += got;
        if (got != 0 && !pace_.Keep(got)) {
            return Fail(failure, "the transfer fell behind after " + std::to_string(received_) +
                                     " bytes: " + pace_.Describe());
        }
        return true;
    }

    // Counts the chunk's blocks up to the one at which the download stops, and writes and shows
    // those bytes once.
    BlockVerdict Deliver(uint32_t got, TransferFailure& failure) {
        uint32_t used = 0;
        BlockVerdict verdict = BlockVerdict::Go;
        while (used < got && verdict == BlockVerdict::Go) {
            counter_.BeginBlock();
            used += counter_.Feed(got - used);
            if (counter_.BlockFull()) verdict = counter_.CompleteBlock();
        }
        if (!local_.Write(buffer_.get(), used, failure.error)) {
            Fail(failure, "could not write " + *request_.localPath);
            return verdict;
        }
        if (request_.written != nullptr && used != 0) {
            request_.written->Written(reinterpret_cast<const uint8_t*>(buffer_.get()), used);
        }
        return verdict;
    }

    // The body as a whole, against what was announced and what the request takes.
    bool WholeBody(TransferFailure& failure) {
        if (length_.known && received_ != length_.bytes) {
            return Fail(failure, "the body ended after " + std::to_string(received_) + " of the " +
                                     std::to_string(length_.bytes) + " bytes announced");
        }
        if (request_.requiredLength && received_ != *request_.requiredLength) {
            const std::string required = std::to_string(*request_.requiredLength);
            return Fail(failure, received_ > *request_.requiredLength
                                     ? "the body is longer than the " + required +
                                           " bytes that the release statement gives"
                                     : "the body has " + std::to_string(received_) +
                                           " bytes, not the " + required +
                                           " that the release statement gives");
        }
        if (request_.spaceLeft && received_ > *request_.spaceLeft) {
            return Fail(failure, "the body is larger than the " +
                                     std::to_string(*request_.spaceLeft) +
                                     " bytes that the work folder's drive can take with 1 MiB "
                                     "kept free");
        }
        return true;
    }

    BodyOutcome Finish(TransferFailure& failure) {
        if (!WholeBody(failure)) return BodyOutcome::Failed;
        // The body's last block, shorter than 128 bytes; its bytes are already written.
        if (counter_.BlockOpen()) {
            const BlockVerdict verdict = counter_.CompleteBlock();
            if (verdict != BlockVerdict::Go) return OutcomeOf(verdict);
        }
        if (!local_.Close()) {
            Fail(failure, "could not write " + *request_.localPath + " to the disk");
            return BodyOutcome::Failed;
        }
        return BodyOutcome::Received;
    }

    Platform& platform_;
    InternetHandle data_;
    const DownloadRequest& request_;
    const AnnouncedLength length_;
    const uint64_t limit_;
    BlockCounter counter_;
    TransferPace pace_;
    LocalFile local_;
    std::unique_ptr<char[]> buffer_;
    uint64_t received_ = 0;
};

}  // namespace

void InternetSession::FailTransfer() { SetState(TransferState::Failed, true); }

bool InternetSession::DownloadFile(const DownloadRequest& request, std::optional<int>* status) {
    SetState(TransferState::Running, false);
    // The local file, opened and closed by the receiver, is gone before these close.
    TransferHandles handles(platform_.internet, roots_);
    AnnouncedLength length;
    TransferFailure failure;
    BodyOutcome outcome = BodyOutcome::Received;
    if (!OpenTransfer(platform_, request, userPresent_, handles, status, length, failure)) {
        outcome = BodyOutcome::Failed;
    } else if (request.localPath) {
        outcome =
            BodyReceiver(*this, platform_, handles.data.Get(), request, length).Run(*this, failure);
    }
    if (outcome == BodyOutcome::StoppedByState) return false;
    if (outcome == BodyOutcome::Failed) {
        // Every failure is logged where it is known, with the URL it concerns.
        if (!failure.what.empty()) {
            platform_.log.Write("The download of " + UrlForLog(request.url) + " failed: " +
                                DescribeTransferFailure(platform_.system, failure) + ".");
        }
        FailTransfer();
        return false;
    }
    if (GetState() == TransferState::Failed) return false;
    SetState(TransferState::Done, false);
    return true;
}

}  // namespace mivetrak
