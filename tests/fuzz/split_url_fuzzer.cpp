// URL splitting on any bytes: a split URL's parts fit their limits and are pieces of the URL.
// The same bytes as a redirect's Location: resolved, they give an absolute URL without fragment
// that resolves to itself. As the log shows them, they are one quoted line without user
// information. The first byte picks the code page, so that both the single-byte and the
// double-byte walks are fuzzed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fakes/fake_code_page.h"
#include "fuzz_check.h"
#include "net/redirect_target.h"
#include "net/url.h"

using namespace mivetrak;

namespace {

void CheckResolved(const CodePage& codePage, bool doubleByte, const std::string& location) {
    const std::string base = "http://db.example.test:8080/files/v2/Tolvar32.bdb?x=1";
    std::string target;
    if (!ResolveLocation(codePage, base, location, target)) return;
    FUZZ_CHECK(target.find(':') != std::string::npos && target[0] != ':');
    FUZZ_CHECK(FindCharMb(codePage, target, '#') == std::string::npos);
    // At most a slash before a relative path and "/." before a path that looks like a host.
    FUZZ_CHECK(target.size() <= base.size() + location.size() + 3);
    // Read again, a part that ends in a lone lead byte would join the delimiter put after it:
    // only the single-byte walk is sure to part the result the same way twice. Blanks that came
    // before a fragment end the result, and would go as the blanks around a Location.
    if (doubleByte) return;
    if (target.back() == ' ' || target.back() == '\t') return;
    std::string again;
    FUZZ_CHECK(ResolveLocation(codePage, "http://other.test/", target, again) && again == target);
}

// One line of printable bytes in quotes, with no '@' left in the part where the host stands.
void CheckLogged(const std::string& url) {
    const std::string shown = UrlForLog(url);
    FUZZ_CHECK(shown.size() >= 2 && shown.front() == '"' && shown.back() == '"');
    for (const char c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(byte >= 0x20 && byte < 0x7F);
    }
    const std::string inner = shown.substr(1, shown.size() - 2);
    const size_t separator = inner.find("://");
    const size_t hostStart = separator == std::string::npos ? 0 : separator + 3;
    const size_t hostEnd = inner.find_first_of("/\\?#", hostStart);
    FUZZ_CHECK(inner
                   .substr(hostStart,
                           hostEnd == std::string::npos ? std::string::npos : hostEnd - hostStart)
                   .find('@') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool doubleByte = (data[0] & 1) != 0;
    const std::string url(reinterpret_cast<const char*>(data) + 1, size - 1);
    SingleByteCodePage singleByte;
    DoubleByteCodePage japanese;
    const CodePage& codePage = doubleByte ? static_cast<const CodePage&>(japanese) : singleByte;

    CheckResolved(codePage, doubleByte, url);
    CheckLogged(url);

    std::string scheme, host, path;
    int port = -1;
    if (!SplitUrl(codePage, url, scheme, port, host, path)) return 0;

    FUZZ_CHECK(scheme.size() <= kSchemeBuffer - 1);
    FUZZ_CHECK(host.size() <= kHostBuffer - 1);
    FUZZ_CHECK(path.size() <= kPathBuffer - 1);
    FUZZ_CHECK(port >= 0);
    FUZZ_CHECK(url.compare(0, scheme.size() + 1, scheme + ":") == 0);
    FUZZ_CHECK(url.find(host) != std::string::npos);
    FUZZ_CHECK(url.find(path) != std::string::npos);
    uint16_t connectPort = 0;
    if (ConnectPort(port, 80, connectPort)) FUZZ_CHECK(connectPort != 0);
    return 0;
}
