#include "engine/download_check.h"

#include "engine/release_statement.h"
#include "net/url.h"
#include "platform/log.h"

namespace mivetrak {

void DownloadDigestCheck::HashFeed::Written(const uint8_t* data, size_t size) {
    if (hash && outcome.Ok()) outcome = hash->Update(data, size);
}

DownloadDigestCheck::DownloadDigestCheck(Platform& platform,
                                         const std::optional<Sha256Digest>& expected)
    : platform_(platform), expected_(expected), relay_(feed_) {
    if (!expected_) return;
    feed_.outcome = platform.crypto.StartSha256(feed_.hash);
    if (feed_.outcome.Ok()) relay_.Start(platform.system);
}

void DownloadDigestCheck::Written(const uint8_t* data, size_t size) {
    if (expected_) relay_.Written(data, size);
}

bool DownloadDigestCheck::MayBeInstalled(const std::string& url) {
    const std::string database = "the database from " + UrlForLog(url);
    if (!expected_) {
        platform_.log.Write("No public key is built in, so the signature of " + database +
                            " is not checked.");
        return true;
    }
    relay_.Finish();
    std::string sentence;
    const bool released = Released(database, sentence);
    platform_.log.Write(sentence);
    return released;
}

bool DownloadDigestCheck::Released(const std::string& database, std::string& sentence) {
    Sha256Digest digest{};
    if (feed_.outcome.Ok()) feed_.outcome = feed_.hash->Finish(digest);
    const CryptoOutcome& failed = feed_.outcome;
    if (!failed.Ok()) {
        sentence = "Could not compute the SHA-256 of " + database + ": " + failed.operation +
                   " failed with " + DescribeCryptoFailure(platform_.system, failed) +
                   "; it is not installed.";
        return false;
    }
    if (digest != *expected_) {
        sentence = "The SHA-256 " + DigestText(digest) + " of " + database +
                   " is not the release statement's " + DigestText(*expected_) +
                   "; it is not installed.";
        return false;
    }
    sentence = "The SHA-256 of " + database + " is the release statement's.";
    return true;
}

}  // namespace mivetrak
