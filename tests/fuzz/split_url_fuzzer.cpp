// URL splitting on any bytes: a split URL's parts fit their limits and are pieces of the URL.
// The first byte picks the code page, so that both the single-byte and the double-byte walks
// are fuzzed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fakes/fake_code_page.h"
#include "fuzz_check.h"
#include "net/url.h"

using namespace mivetrak;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool doubleByte = (data[0] & 1) != 0;
    const std::string url(reinterpret_cast<const char*>(data) + 1, size - 1);
    SingleByteCodePage singleByte;
    DoubleByteCodePage japanese;
    const CodePage& codePage = doubleByte ? static_cast<const CodePage&>(japanese) : singleByte;

    std::string scheme, host, path;
    int port = -1;
    if (SplitUrl(codePage, url, scheme, port, host, path) == 0) return 0;

    FUZZ_CHECK(scheme.size() <= kSchemeBuffer - 1);
    FUZZ_CHECK(host.size() <= kHostBuffer - 1);
    FUZZ_CHECK(path.size() <= kPathBuffer - 1);
    FUZZ_CHECK(port >= 0);
    FUZZ_CHECK(url.compare(0, scheme.size() + 1, scheme + ":") == 0);
    FUZZ_CHECK(url.find(host) != std::string::npos);
    if (!path.empty()) {
        const std::string tail = "/" + path;
        FUZZ_CHECK(url.size() >= tail.size() &&
                   url.compare(url.size() - tail.size(), tail.size(), tail) == 0);
    }
    uint16_t connectPort = 0;
    if (ConnectPort(port, 80, connectPort)) FUZZ_CHECK(connectPort != 0);
    return 0;
}
