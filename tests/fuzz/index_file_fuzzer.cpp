// The index reader on any bytes: a value fits the 260-byte buffer, is one piece of the text with
// no line end or NUL in it, and a section put in front of the text wins over anything in it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "net/index_file.h"

using namespace mivetrak;

namespace {

void CheckValue(const std::string& text, const std::string& value) {
    FUZZ_CHECK(value.size() <= 259);
    FUZZ_CHECK(value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    FUZZ_CHECK(text.find(value) != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"Primary", "Backup", "Signature"}) {
        CheckValue(text, ReadIndexValue(text, "ZAVFile", key));
    }
    // The first section and the first key of a name win.
    const std::string first = "[ZAVFile]\nPrimary=first\n" + text;
    FUZZ_CHECK(ReadIndexValue(first, "zavfile", "PRIMARY") == "first");
    return 0;
}
