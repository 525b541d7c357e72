// Writes lines into the run's log as the program does, for the test of two processes that write
// one log at once.
//
//   log_writer.exe <folder> <count> <tag>
//
// <folder> ends in a backslash. Line n (0 to count-1) reads "<tag> <n> " and a run of dots, so
// that a few thousand lines pass the size at which the log is set aside. Exit codes: 0 done,
// 1 wrong arguments, 2 no platform.
#include <cstdlib>
#include <string>

#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc != 4) return 1;
    const long count = std::strtol(argv[2], nullptr, 10);
    if (count <= 0 || count > 1000000) return 1;
    const std::unique_ptr<mivetrak::PlatformHolder> holder = mivetrak::CreateWin32Platform();
    if (!holder) return 2;
    mivetrak::Log& log = holder->Get().log;
    log.StartFileIn(argv[1]);
    const std::string padding(160, '.');
    for (long n = 0; n < count; ++n) {
        log.Write(std::string(argv[3]) + " " + std::to_string(n) + " " + padding);
    }
    return 0;
}
