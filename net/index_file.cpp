#include "net/index_file.h"

#include "platform/ascii_text.h"
#include "platform/types.h"

namespace mivetrak {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kMaxValueBytes = kMaxPath - 1;  // what a 260-byte buffer holds

// 0x1A is the end-of-file mark that DOS editors leave behind the last line.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A'; }

std::string_view TrimStart(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Hands out the text line by line, without the line ends.
class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}

    bool Next(std::string_view& line) {
        if (rest_.empty()) return false;
        const size_t end = rest_.find_first_of("\r\n");
        line = rest_.substr(0, end);
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
        return true;
    }

private:
    std::string_view rest_;
};

// A trimmed line "[name]" (anything after the last ']' ignored) names a section; blanks around
// the name do not count.
bool IsSectionHeader(std::string_view line, std::string_view& name) {
    if (line.empty() || line.front() != '[') return false;
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos || close == 0) return false;
    name = TrimEnd(TrimStart(line.substr(1, close - 1)));
    return true;
}

std::string CleanValue(std::string_view value) {
    // A C string ends at its first NUL; every later user of the value is one.
    value = value.substr(0, value.find('\0'));
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    if (quoted) value = value.substr(1, value.size() - 2);
    return std::string(value.substr(0, kMaxValueBytes));
}

}  // namespace

std::string ReadIndexValue(std::string_view text, const char* section, const char* key) {
    if (text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
        text.remove_prefix(kUtf8ByteOrderMark.size());
    }
    LineReader lines(text);
    std::string_view line;
    bool inSection = false;
    while (lines.Next(line)) {
        line = TrimEnd(TrimStart(line));
        std::string_view name;
        if (IsSectionHeader(line, name)) {
            // Only the first section of the name is searched.
            if (inSection) return "";
            inSection = EqualsNoCase(name, section);
            continue;
        }
        if (!inSection) continue;
        // A line without '=' is a key without a value.
        const size_t equals = line.find('=');
        if (EqualsNoCase(TrimEnd(line.substr(0, equals)), key)) {
            return equals == std::string_view::npos
                       ? ""
                       : CleanValue(TrimStart(line.substr(equals + 1)));
        }
    }
    return "";
}

}  // namespace mivetrak
