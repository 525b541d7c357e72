#include "app/command_line.h"

#include "app/path_checks.h"
#include "platform/ascii_text.h"

namespace mivetrak {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// UTF-8 as the splitter sees it: every byte of a character other than ASCII is 0x80 or above,
// so none is a blank, a quote or a backslash.
class Utf8Bytes final : public CodePage {
public:
    bool IsLeadByte(unsigned char) const override { return false; }
    bool FromUtf8Exactly(const std::string& utf8, std::string& same) const override {
        same = utf8;
        return true;
    }
};

// An option is written with its mark: without one, the same letter may be a folder's name.
bool IsSilentOption(const std::string& text, bool markRemoved) {
    return markRemoved && EqualsNoCase(text, "s");
}
bool IsUsageOption(const std::string& text, bool markRemoved) { return markRemoved && text == "?"; }

// The index of the first argument after the program's name and the restart marker.
size_t FirstOwnArgument(const std::vector<std::string>& args) {
    return args.size() > 1 && args[1] == kAgreedMarker ? 2 : 1;
}

// Whether arg is written with an option's mark ('/' or '-'); text is arg without it.
bool WithoutMark(const std::string& arg, std::string& text) {
    const bool marked = !arg.empty() && (arg[0] == '/' || arg[0] == '-');
    text = marked ? arg.substr(1) : arg;
    return marked;
}

bool IsLead(const CodePage& codePage, const std::string& line, size_t i) {
    return codePage.IsLeadByte(static_cast<unsigned char>(line[i])) && i + 1 < line.size();
}

// The program's name: quotes only switch the quoted state, and a blank outside quotes ends it.
size_t ScanProgramName(const CodePage& codePage, const std::string& line, std::string& name) {
    bool inQuote = false;
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == '"') {
            inQuote = !inQuote;
            ++i;
            continue;
        }
        if (!inQuote && IsBlank(c)) break;
        if (IsLead(codePage, line, i)) {
            name += line[i++];
        }
        name += line[i++];
    }
    return i;
}
// One argument from i on, by the C runtime's rules for quotes and the backslashes before them;
// i ends on the blank that ends it, or at the end of the line. A quoted run may go on into the
// next argument, as it does in the runtime.
std::string ScanArgument(const CodePage& codePage, const std::string& line, size_t& i,
                         bool& inQuote) {
    std::string arg;
    for (;;) {
        bool copyChar = true;
        size_t slashes = 0;
        while (i < line.size() && line[i] == '\\') {
            ++i;
            ++slashes;
        }
        if (i < line.size() && line[i] == '"') {
            if (slashes % 2 == 0) {
                if (inQuote && i + 1 < line.size() && line[i + 1] == '"') {
                    // Two quotes inside a quoted run: the second is kept as a literal quote, and
                    // the run ends.
                    ++i;
                } else {
                    copyChar = false;
                }
                inQuote = !inQuote;
            }
            slashes /= 2;
        }
        arg.append(slashes, '\\');
        if (i >= line.size() || (!inQuote && IsBlank(line[i]))) return arg;
        if (copyChar) {
            // A double-byte character is copied whole: its trail byte is neither a quote nor a
            // backslash.
            if (IsLead(codePage, line, i)) arg += line[i++];
            arg += line[i];
        }
        ++i;
    }
}
}  // namespace

std::vector<std::string> SplitCommandLine(const CodePage& codePage, const std::string& line) {
    std::vector<std::string> args(1);
    size_t i = ScanProgramName(codePage, line, args[0]);
    bool inQuote = false;
    for (;;) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size()) break;
        args.push_back(ScanArgument(codePage, line, i, inQuote));
    }
    return args;
}

std::vector<std::string> SplitUtf8CommandLine(const std::string& line) {
    return SplitCommandLine(Utf8Bytes(), line);
}

UpdateCommandLineInfo::UpdateCommandLineInfo(FileSystem& files, const CodePage& codePage, Log& log,
                                             std::vector<TargetFolder>& targetFolderList,
                                             bool& forceUpdate)
    : files_(files),
      codePage_(codePage),
      log_(log),
      targetFolderList_(targetFolderList),
      forceUpdate_(forceUpdate) {}

UpdateCommandLineInfo::~UpdateCommandLineInfo() = default;

void UpdateCommandLineInfo::ParseParam(const std::string& text, bool markRemoved, bool /*isLast*/) {
    if (text == "f" || text == "F") {
        forceUpdate_ = true;
    } else if (IsSilentOption(text, markRemoved) || IsUsageOption(text, markRemoved)) {
        // Read by ReadRunOptions.
    } else if (!IsAccessiblePath(files_, text)) {
        BadParameter = true;
        log_.Write("The argument " + QuotedForLog(text) +
                   " is neither an option nor a folder that can be written: it is left out.");
    } else {
        targetFolderList_.push_back({WithFinalBackslash(codePage_, text)});
    }
}

void UpdateCommandLineInfo::RejectInexact(const std::string& utf8) {
    BadParameter = true;
    log_.Write("The argument " + QuotedForLog(utf8) +
               " holds characters that the ANSI code page cannot spell exactly; it is left out.");
}

RunOptions ReadRunOptions(const std::string& line) {
    const std::vector<std::string> args = SplitUtf8CommandLine(line);
    RunOptions options;
    const size_t first = FirstOwnArgument(args);
    options.restarted = first == 2;
    for (size_t n = first; n < args.size(); ++n) {
        std::string text;
        const bool marked = WithoutMark(args[n], text);
        options.silent = options.silent || IsSilentOption(text, marked);
        options.showUsage = options.showUsage || IsUsageOption(text, marked);
    }
    return options;
}

void ParseCommandLine(const CodePage& codePage, const std::string& line,
                      UpdateCommandLineInfo& info) {
    const std::vector<std::string> args = SplitUtf8CommandLine(line);
    for (size_t n = FirstOwnArgument(args); n < args.size(); ++n) {
        std::string arg;
        if (!codePage.FromUtf8Exactly(args[n], arg)) {
            info.RejectInexact(args[n]);
            continue;
        }
        std::string text;
        const bool markRemoved = WithoutMark(arg, text);
        info.ParseParam(text, markRemoved, n + 1 == args.size());
    }
}

}  // namespace mivetrak
