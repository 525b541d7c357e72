#pragma once
// The signature check between the download and the installation: a database that the program's
// key does not vouch for is never installed.
#include <optional>
#include <string>

#include "engine/signature.h"
#include "platform/platform.h"

namespace mivetrak {

// Checks the downloaded file at path, read in fixed 64 KiB chunks, against the key and the
// index's signature. True when it may be installed: the program has no key, or the file carries
// the key's signature. Writes one log line with the verdict (and the system's number when the
// cryptography failed), naming the file by url, where it came from.
bool DownloadMayBeInstalled(Platform& platform, const std::optional<P256PublicKey>& key,
                            const std::string& signature, const std::string& path,
                            const std::string& url);

}  // namespace mivetrak
