#include "engine/download_signature.h"

#include <cstdio>
#include <memory>
#include <new>

#include "net/transfer_open.h"

namespace mivetrak {

namespace {

constexpr uint32_t kReadChunk = 64 * 1024;

std::string StatusText(uint32_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    return text;
}

// The sentence for a verdict, the file named by where it came from.
std::string VerdictSentence(Platform& platform, const SignatureCheck& check,
                            const std::string& signature, const std::string& url) {
    const std::string database = "the database from " + UrlForLog(platform.codePage, url);
    const std::string refused = "; it is not installed.";
    const CryptoOutcome& detail = check.detail;
    switch (check.verdict) {
        case SignatureVerdict::NotChecked:
            return "No public key is built in, so the signature of " + database +
                   " is not checked.";
        case SignatureVerdict::Good:
            return "The maker's signature of " + database + " verifies.";
        case SignatureVerdict::Missing:
            return "The update index gives no signature for " + database + refused;
        case SignatureVerdict::Malformed:
            return "The update index's signature " + QuotedForLog(signature) +
                   " is not 128 hex digits, so " + database + " cannot be checked" + refused;
        case SignatureVerdict::DoesNotVerify:
            return "The update index's signature is not the maker's over " + database + " (" +
                   detail.operation + ": status " + StatusText(detail.code) + ")" + refused;
        case SignatureVerdict::CouldNotCheck:
            break;
    }
    const std::string failure = detail.status == CryptoStatus::Unavailable
                                    ? DescribeSystemError(platform.system, detail.code)
                                    : "status " + StatusText(detail.code);
    return "Could not check the signature of " + database + ": " + detail.operation +
           " failed with " + failure + refused;
}

// Feeds the file at path to the verifier, as long as it wants bytes. False when the file cannot
// be read to its end.
bool FeedFile(FileSystem& files, const std::string& path, SignatureVerifier& verifier,
              SystemError& error) {
    if (!verifier.WantsBytes()) return true;
    const std::unique_ptr<File> file = files.OpenFile(path, FileOpenMode::ReadShareRead, error);
    if (!file) return false;
    // One buffer for the whole file: the check's memory does not grow with the database.
    const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kReadChunk]);
    if (!buffer) return false;
    while (verifier.WantsBytes()) {
        uint32_t got = 0;
        if (!file->Read(buffer.get(), kReadChunk, got, error)) return false;
        if (got == 0) break;
        verifier.Feed(buffer.get(), got);
    }
    return true;
}

}  // namespace

bool DownloadMayBeInstalled(Platform& platform, const std::optional<P256PublicKey>& key,
                            const std::string& signature, const std::string& path,
                            const std::string& url) {
    // Without a key the verifier wants no bytes: nothing is read, and the run installs as it
    // always has.
    SignatureVerifier verifier(platform.crypto, key, signature);
    SystemError error;
    if (!FeedFile(platform.files, path, verifier, error)) {
        platform.log.Write("Could not read " + path + " to check its signature: " +
                           DescribeSystemError(platform.system, error.code) +
                           "; it is not installed.");
        return false;
    }
    const SignatureCheck check = verifier.Finish();
    platform.log.Write(VerdictSentence(platform, check, signature, url));
    return check.verdict == SignatureVerdict::Good || check.verdict == SignatureVerdict::NotChecked;
}

}  // namespace mivetrak
