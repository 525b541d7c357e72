#pragma once
// Reading URLs. One splitter reads every URL that the program meets (the index URL built in, the
// URLs that the index names, a redirect's Location) and every URL that it logs, so that the host a
// transfer connects to is the host that the log names.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/code_page.h"
#include "platform/internet.h"

namespace mivetrak {

constexpr size_t kSchemeBuffer = 12;  // at most 11 bytes
constexpr size_t kHostBuffer = 100;   // host with port: at most 99 bytes
constexpr size_t kPathBuffer = 1024;  // at most 1023 bytes

// A URL or a relative reference in its parts, as RFC 3986 reads it: the scheme up to the first
// ':' (a letter, then letters, digits, '+', '-' or '.'), the authority after "//" up to the first
// '/', '?' or '#', the path up to '?' or '#', the query up to '#'. The fragment is dropped: it is
// never sent. The user information ends at the authority's last '@'; it is kept apart so that
// nothing can take it for the host, and it is never used to log in nor written anywhere.
struct UrlReference {
    std::string scheme;  // empty: a relative reference
    bool hasAuthority = false;
    std::string userInfo;
    std::string hostAndPort;  // the authority after its user information
    std::string path;         // from its first '/', or empty
    bool hasQuery = false;
    std::string query;
};

// Splits text into its parts. The delimiters are looked for across double-byte characters, but
// for '@', which is looked for byte by byte: it is the one delimiter that can be the second byte
// of a double-byte character in the system's code pages (theirs begin at 0x40), and read so, the
// log, which reads without the code page, cuts the user information exactly where a transfer
// does.
UrlReference SplitReference(const CodePage& codePage, const std::string& text);

// The reference written out again from its parts, without the user information.
std::string ComposeReference(const UrlReference& parts);

// Splits a URL into scheme, port, host and path: the host is the authority after its user
// information, cut at its first ':', and the port the leading digits after that ':' (none, or no
// ':', gives 0); the path is what follows the slash that ends the authority, with the query. False
// when the URL has no scheme or no authority, when a part does not fit its limit (the host with its
// port text), or when the port text does not fit an int.
bool SplitUrl(const CodePage& codePage, const std::string& url, std::string& scheme, int& port,
              std::string& host, std::string& path);

// The port to connect to: the URL's port, or defaultPort when the URL gives 0. False when the
// number cannot be a TCP port.
bool ConnectPort(int urlPort, uint16_t defaultPort, uint16_t& out);

// An http, https or ftp URL as a transfer connects to it.
struct TransferUrl {
    InternetService service = InternetService::Http;
    bool secure = false;  // https: TLS, with the system's checks of the server's certificate
    std::string host;
    uint16_t port = 0;  // the URL's, or the scheme's own (80, 443, 21)
    std::string path;
};

// Splits an http, https or ftp URL (the scheme in any case) and settles its port. False when the
// URL cannot be split, names another scheme or no host, gives a number that cannot be a TCP
// port, or has an authority that the log, reading byte by byte, would read otherwise.
bool ParseTransferUrl(const CodePage& codePage, const std::string& url, TransferUrl& out);

// The leading decimal digits of text as an int; none gives 0. False when they do not fit an int.
bool LeadingDigits(std::string_view text, int& value);

// A URL as the log shows it: as the transfer reads it, without its user information and its
// fragment, quoted as QuotedForLog quotes text from outside. A text without a host is shown
// without whatever could be a user name and password before an '@' where a host would stand.
// Every URL that reaches the log goes through here.
std::string UrlForLog(std::string_view url);

}  // namespace mivetrak
