#pragma once
// Splitting a URL into scheme, port, host and path, and reading it as the target of a transfer.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/code_page.h"
#include "platform/internet.h"

namespace mivetrak {

constexpr size_t kSchemeBuffer = 12;  // at most 11 bytes
constexpr size_t kHostBuffer = 100;   // host with port: at most 99 bytes
constexpr size_t kPathBuffer = 1024;  // at most 1023 bytes

// False when the URL cannot be split, or when a part does not fit its limit, or when the port
// text does not fit an int.
bool SplitUrl(const CodePage& codePage, const std::string& url, std::string& scheme, int& port,
              std::string& host, std::string& path);

// The port to connect to: the URL's port, or defaultPort when the URL gives 0. False when the
// number cannot be a TCP port.
bool ConnectPort(int urlPort, uint16_t defaultPort, uint16_t& out);

// An http or ftp URL as a transfer connects to it.
struct TransferUrl {
    InternetService service = InternetService::Http;
    std::string host;
    uint16_t port = 0;  // the URL's, or the service's own
    std::string path;
};

// Splits an http or ftp URL (the scheme in any case) and settles its port. False when the URL
// cannot be split, names another scheme, or gives a number that cannot be a TCP port.
bool ParseTransferUrl(const CodePage& codePage, const std::string& url, TransferUrl& out);

// The leading decimal digits of text as an int; none gives 0. False when they do not fit an int.
bool LeadingDigits(std::string_view text, int& value);

// A URL as the log shows it: without the user information that may precede its host (a user
// name and a password before an '@'), quoted as QuotedForLog quotes text from outside. Every
// URL that reaches the log goes through here.
std::string UrlForLog(std::string_view url);

}  // namespace mivetrak
