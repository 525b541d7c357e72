#include "app/command_line.h"

#include <gtest/gtest.h>

#include "fakes/fake_code_page.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_log.h"
#include "unit/target_folder_paths.h"

namespace mivetrak {
namespace {

using Args = std::vector<std::string>;

struct SplitCase {
    const char* line;
    Args expected;
    bool doubleByte = false;
};

TEST(SplitCommandLine, FollowsTheRuntimesRules) {
    const SplitCase cases[] = {
        {"prog", {"prog"}},
        {"", {""}},
        {"prog a b", {"prog", "a", "b"}},
        {"prog  \t a\t\tb  ", {"prog", "a", "b"}},
        {"\"C:\\Program Files\\prog.exe\" x", {"C:\\Program Files\\prog.exe", "x"}},
        {"pro\"g n\"ame x", {"prog name", "x"}},
        // The program's name takes backslashes literally, even before a quote.
        {"\"C:\\dir\\\\\" x", {"C:\\dir\\\\", "x"}},
        {"prog \"a b\" c", {"prog", "a b", "c"}},
        {"prog a\"b c\"d e", {"prog", "ab cd", "e"}},
        {"prog a\\\\b", {"prog", "a\\\\b"}},
        {"prog a\\", {"prog", "a\\"}},
        {"prog a\\\"b", {"prog", "a\"b"}},
        {"prog a\\\\\"b c\"", {"prog", "a\\b c"}},
        {"prog a\\\\\\\"b", {"prog", "a\\\"b"}},
        {"prog a\\\\\\\\\"b c\"", {"prog", "a\\\\b c"}},
        // Two quotes inside a quoted run: one literal quote, and the run ends there.
        {"prog \"a\"\"b c", {"prog", "a\"b", "c"}},
        {"prog \"a\"\"b\" c", {"prog", "a\"b c"}},
        // Outside a run, two quotes open and close an empty run.
        {"prog a\"\"b", {"prog", "ab"}},
        {"prog \"\"", {"prog", ""}},
        {"prog \"\" x", {"prog", "", "x"}},
        // A quoted folder ending in a backslash: the quote is literal and the run goes on.
        {"prog \"C:\\Data\\\" f", {"prog", "C:\\Data\" f"}},
        {"prog \"C:\\Data\\\\\" f", {"prog", "C:\\Data\\", "f"}},
        {"prog /f -F", {"prog", "/f", "-F"}},
        {"prog \"unterminated run", {"prog", "unterminated run"}},
        // A double-byte character whose trail byte is 0x5C is no backslash before a quote.
        {"prog \"\x81\x5C\" x", {"prog", "\x81\x5C", "x"}, true},
        {"prog \"\x81\x5C\" x",
         {"prog",
          "\x81\""
          " x"},
         false},
        {"\"\x81\x22\" x", {"\x81\x22", "x"}, true},
        {"\"\x81\x22\" x", {"\x81 x"}, false},
    };
    SingleByteCodePage singleByte;
    DoubleByteCodePage doubleByte;
    for (const SplitCase& c : cases) {
        const CodePage& codePage =
            c.doubleByte ? static_cast<const CodePage&>(doubleByte) : singleByte;
        EXPECT_EQ(SplitCommandLine(codePage, c.line), c.expected) << "line: " << c.line;
    }
}

// Records every call, so that the marks and the last flag can be checked.
class RecordingInfo : public UpdateCommandLineInfo {
public:
    using UpdateCommandLineInfo::UpdateCommandLineInfo;
    struct Call {
        std::string text;
        bool markRemoved;
        bool isLast;
    };
    void ParseParam(const std::string& text, bool markRemoved, bool isLast) override {
        calls.push_back({text, markRemoved, isLast});
        UpdateCommandLineInfo::ParseParam(text, markRemoved, isLast);
    }
    std::vector<Call> calls;
};

TEST(ParseCommandLine, RemovesOneMarkAndFlagsTheLastArgument) {
    SingleByteCodePage codePage;
    FakeFileSystem fs;
    std::vector<TargetFolder> folders;
    bool force = false;
    RecordingLog log;
    RecordingInfo info(fs, codePage, log, folders, force);
    ParseCommandLine(codePage, "prog /a --b c -", info);
    ASSERT_EQ(info.calls.size(), 4u);
    const struct {
        const char* text;
        bool markRemoved;
        bool isLast;
    } expected[] = {{"a", true, false}, {"-b", true, false}, {"c", false, false}, {"", true, true}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(info.calls[i].text, expected[i].text) << i;
        EXPECT_EQ(info.calls[i].markRemoved, expected[i].markRemoved) << i;
        EXPECT_EQ(info.calls[i].isLast, expected[i].isLast) << i;
    }
}

TEST(ParseCommandLine, NoArgumentsNoCalls) {
    SingleByteCodePage codePage;
    FakeFileSystem fs;
    std::vector<TargetFolder> folders;
    bool force = false;
    RecordingLog log;
    RecordingInfo info(fs, codePage, log, folders, force);
    ParseCommandLine(codePage, "\"C:\\Program Files\\Mivetrak.exe\"  ", info);
    EXPECT_TRUE(info.calls.empty());
}

struct ParamCase {
    const char* line;
    Args folders;
    bool force;
    bool bad;
    bool inexact = false;  // an argument the code page cannot spell, named in the log
};

TEST(ParseCommandLine, FoldersForceAndBadParameters) {
    const ParamCase cases[] = {
        {"prog f", {}, true, false},
        {"prog F", {}, true, false},
        {"prog /f", {}, true, false},
        {"prog -F", {}, true, false},
        {"prog ff", {}, false, true},
        {"prog /ff", {}, false, true},
        {"prog //f", {}, false, true},
        {"prog C:\\Db", {"C:\\Db\\"}, false, false},
        {"prog C:\\Db\\", {"C:\\Db\\"}, false, false},
        {"prog C:\\Db C:\\Db\\ f", {"C:\\Db\\", "C:\\Db\\"}, true, false},
        {"prog -C:\\Db", {"C:\\Db\\"}, false, false},
        {"prog /C:\\Db", {"C:\\Db\\"}, false, false},
        // "-Data" is a folder: one mark is removed, so "--Data" names it and "-Data" does not.
        {"prog --Data", {"-Data\\"}, false, false},
        {"prog -Data", {}, false, true},
        {"prog C:\\ReadOnly", {}, false, true},
        {"prog C:\\ReadOnly C:\\Db", {"C:\\Db\\"}, false, true},
        {"prog C:\\Nowhere", {}, false, true},
        {"prog \"C:\\Db\\\"", {}, false, true},
        {"prog \"C:\\Db\\\\\"", {"C:\\Db\\"}, false, false},
        {"prog \"C:\\Program Files\\Tool\"", {"C:\\Program Files\\Tool\\"}, false, false},
        // An accessible file passes: nothing checks that it is a folder.
        {"prog C:\\Db\\Tolvar32.bdb", {"C:\\Db\\Tolvar32.bdb\\"}, false, false},
        {"prog \"\"", {}, false, true},
        // The restart marker counts only as the first argument; anywhere else it is no path.
        {"prog /agreed-elevated C:\\Db", {"C:\\Db\\"}, false, false},
        {"prog \"/agreed-elevated\" f", {}, true, false},
        {"prog C:\\Db /agreed-elevated", {"C:\\Db\\"}, false, true},
        // The line is UTF-8. A fullwidth or Greek letter has no exact counterpart in the code
        // page, and its look-alike folder is never taken for it; an accented Latin letter has.
        {"prog C:\\\xEF\xBC\xA9nstall", {}, false, true, true},
        {"prog C:\\\xCE\xA9mega C:\\Db", {"C:\\Db\\"}, false, true, true},
        {"prog /\xEF\xBD\x86", {}, false, true, true},
        {"prog C:\\Caf\xC3\xA9", {"C:\\Caf\xE9\\"}, false, false},
        {"prog C:\\\xFF", {}, false, true, true},
        // The options are no paths, and no bad arguments either; without a mark they are paths.
        {"prog /s -S C:\\Db", {"C:\\Db\\"}, false, false},
        {"prog /? -?", {}, false, false},
        {"prog s", {}, false, true},
        {"prog ?", {}, false, true},
    };
    SingleByteCodePage codePage;
    FakeFileSystem fs;
    fs.AddFile("C:\\Db\\Tolvar32.bdb", "x");
    fs.AddDirectory("C:\\ReadOnly");
    fs.SetReadOnly("C:\\ReadOnly");
    fs.AddDirectory("-Data");
    fs.AddDirectory("C:\\Program Files\\Tool");
    fs.AddDirectory("C:\\Install");
    fs.AddDirectory("C:\\Omega");
    fs.AddDirectory("C:\\Caf\xE9");
    for (const ParamCase& c : cases) {
        std::vector<TargetFolder> folders;
        bool force = false;
        RecordingLog log;
        UpdateCommandLineInfo info(fs, codePage, log, folders, force);
        ParseCommandLine(codePage, c.line, info);
        EXPECT_EQ(PathsOf(folders), c.folders) << c.line;
        EXPECT_EQ(force, c.force) << c.line;
        EXPECT_EQ(info.BadParameter, c.bad) << c.line;
        EXPECT_EQ(log.Contains("cannot spell exactly"), c.inexact) << c.line;
    }
}

struct OptionsCase {
    const char* line;
    bool restarted;
    bool silent;
    bool showUsage;
};

TEST(ReadRunOptions, TheMarkerFirstAndTheOptionsWithTheirMarkAnywhere) {
    const OptionsCase cases[] = {
        {"prog", false, false, false},
        {"prog /agreed-elevated C:\\Db", true, false, false},
        {"\"C:\\A B\\prog.exe\" /agreed-elevated", true, false, false},
        // The restart marker counts only as the first argument, and only with its slash.
        {"prog C:\\Db /agreed-elevated", false, false, false},
        {"prog -agreed-elevated", false, false, false},
        {"prog /s", false, true, false},
        {"prog C:\\Db -S f", false, true, false},
        {"prog /agreed-elevated /s", true, true, false},
        // Without its mark the letter may name a folder; longer words are no option either.
        {"prog s", false, false, false},
        {"prog /ss", false, false, false},
        {"prog //s", false, false, false},
        {"prog /?", false, false, true},
        {"prog -? /s", false, true, true},
        {"prog ?", false, false, false},
    };
    for (const OptionsCase& c : cases) {
        const RunOptions options = ReadRunOptions(c.line);
        EXPECT_EQ(options.restarted, c.restarted) << c.line;
        EXPECT_EQ(options.silent, c.silent) << c.line;
        EXPECT_EQ(options.showUsage, c.showUsage) << c.line;
    }
}

TEST(UpdateCommandLineInfo, FinalBackslashStepsOverDoubleByteCharacters) {
    // The folder's last character is a double-byte one whose trail byte is 0x5C.
    const std::string folder = "C:\\\x81\x5C";
    FakeFileSystem fs;
    fs.AddDirectory(folder);
    for (bool doubleByte : {true, false}) {
        FakeCodePage codePage;
        codePage.doubleByte = doubleByte;
        std::vector<TargetFolder> folders;
        bool force = false;
        RecordingLog log;
        UpdateCommandLineInfo info(fs, codePage, log, folders, force);
        info.ParseParam(folder, false, true);
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_EQ(folders[0].path, doubleByte ? folder + "\\" : folder);
    }
}

TEST(UpdateCommandLineInfo, AppendsToTheListItIsGiven) {
    SingleByteCodePage codePage;
    FakeFileSystem fs;
    fs.AddDirectory("D:\\New");
    std::vector<TargetFolder> folders{{"C:\\Old\\"}};
    bool force = false;
    RecordingLog log;
    UpdateCommandLineInfo info(fs, codePage, log, folders, force);
    info.ParseParam("D:\\New", false, true);
    EXPECT_EQ(PathsOf(folders), (Args{"C:\\Old\\", "D:\\New\\"}));
    EXPECT_FALSE(info.BadParameter);
}

}  // namespace
}  // namespace mivetrak
