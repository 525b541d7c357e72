#pragma once
// The command line: split into arguments by the C runtime's rules, and read argument by
// argument into the target folder list and the force flag. The line comes in UTF-8; an argument
// is taken only when the ANSI code page holds it exactly.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/target_folder.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/log.h"

namespace mivetrak {

// The first argument of a run that the program started again with administrator rights after
// the user had agreed to the update: that run does not ask again and never restarts itself.
constexpr char kAgreedMarker[] = "/agreed-elevated";

// What the command line asks of the run besides its folders and the force flag.
struct RunOptions {
    bool restarted = false;  // started again with administrator rights (kAgreedMarker first)
    bool silent = false;     // "/s" or "-s" in any case: no question, no window, no box
    bool showUsage = false;  // "/?" or "-?": how to use the program, and nothing else
};

// Splits a raw command line as the C runtime builds argv; element 0 is the program's name.
std::vector<std::string> SplitCommandLine(const CodePage& codePage, const std::string& line);
// The same for a line in UTF-8, where no byte of a character can be taken for a delimiter.
std::vector<std::string> SplitUtf8CommandLine(const std::string& line);

// Collects the installation folders named on the command line and the force flag "f".
class UpdateCommandLineInfo {
public:
    UpdateCommandLineInfo(FileSystem& files, const CodePage& codePage, Log& log,
                          std::vector<TargetFolder>& targetFolderList, bool& forceUpdate);
    virtual ~UpdateCommandLineInfo();
    UpdateCommandLineInfo(const UpdateCommandLineInfo&) = delete;
    UpdateCommandLineInfo& operator=(const UpdateCommandLineInfo&) = delete;

    // One argument, without its leading '/' or '-' (markRemoved then true). "f" in either case
    // sets the force flag, with or without the mark; the options of RunOptions (always written
    // with a mark) are read by ReadRunOptions and passed over here; an accessible path is added
    // as a folder; anything else sets BadParameter.
    virtual void ParseParam(const std::string& text, bool markRemoved, bool isLast);
    // An argument (in UTF-8) that the ANSI code page cannot hold exactly: a bad parameter, as a
    // look-alike of it would name another folder.
    void RejectInexact(const std::string& utf8);

    bool BadParameter = false;

private:
    FileSystem& files_;
    const CodePage& codePage_;
    Log& log_;
    std::vector<TargetFolder>& targetFolderList_;
    bool& forceUpdate_;
};

// The options of the UTF-8 line. Read before anything else, since they decide whether the
// program may show anything at all.
RunOptions ReadRunOptions(const std::string& line);

// Hands every argument of the UTF-8 line after the program's name to info.ParseParam in the
// ANSI code page, in order, or to info.RejectInexact when the code page cannot hold it; a first
// argument that is kAgreedMarker is not one of them.
void ParseCommandLine(const CodePage& codePage, const std::string& line,
                      UpdateCommandLineInfo& info);

}  // namespace mivetrak
