#include "engine/download_signature.h"

#include <cstdio>

#include "net/url.h"
#include "platform/log.h"

namespace mivetrak {

namespace {

std::string StatusText(uint32_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    return text;
}

// The sentence for a verdict, the file named by where it came from.
std::string VerdictSentence(Platform& platform, const SignatureCheck& check,
                            const std::string& signature, const std::string& url) {
    const std::string database = "the database from " + UrlForLog(url);
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

}  // namespace

DownloadSignatureCheck::DownloadSignatureCheck(Platform& platform,
                                               const std::optional<P256PublicKey>& key,
                                               const std::string& signature)
    : platform_(platform),
      signature_(signature),
      verifier_(platform.crypto, key, signature),
      feed_(verifier_),
      relay_(feed_) {
    if (verifier_.WantsBytes()) relay_.Start(platform.system);
}

void DownloadSignatureCheck::Written(const uint8_t* data, size_t size) {
    relay_.Written(data, size);
}

bool DownloadSignatureCheck::MayBeInstalled(const std::string& url) {
    relay_.Finish();
    const SignatureCheck check = verifier_.Finish();
    platform_.log.Write(VerdictSentence(platform_, check, signature_, url));
    if (check.verdict == SignatureVerdict::Good) digest_ = check.digest;
    return check.verdict == SignatureVerdict::Good || check.verdict == SignatureVerdict::NotChecked;
}

}  // namespace mivetrak
