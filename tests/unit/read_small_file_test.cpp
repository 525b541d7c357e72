// Reading a small file whole: up to its bound, in as many reads as it takes, and refused past it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fakes/fake_file_system.h"

namespace mivetrak {
namespace {

constexpr char kPath[] = "C:\\Temp\\zav.tmp";

struct SmallFileCase {
    const char* name;
    std::optional<std::string> content;  // none: no file
    size_t maxBytes;
    uint32_t error;  // 0: read
};

class ReadSmallFileTest : public ::testing::TestWithParam<SmallFileCase> {};

TEST_P(ReadSmallFileTest, ReadsWithinTheBound) {
    const SmallFileCase& c = GetParam();
    FakeFileSystem files;
    files.AddDirectory("C:\\Temp");
    if (c.content) files.AddFile(kPath, *c.content);
    std::string out = "untouched";
    SystemError error;
    error.code = 77;
    EXPECT_EQ(ReadSmallFile(files, kPath, c.maxBytes, out, error), c.error == 0);
    EXPECT_EQ(error.code, c.error);
    EXPECT_EQ(out, c.error == 0 ? *c.content : "untouched");
    EXPECT_EQ(files.OpenHandleCount(), 0);
}

const std::string kLarge(200 * 1024 + 3, 'x');  // several reads

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSmallFileTest,
    ::testing::Values(SmallFileCase{"Empty", "", 10, 0}, SmallFileCase{"Short", "abc", 10, 0},
                      SmallFileCase{"AtTheBound", "0123456789", 10, 0},
                      SmallFileCase{"PastTheBound", "0123456789+", 10, kErrorFileTooLarge},
                      SmallFileCase{"ManyReads", kLarge, 1024 * 1024, 0},
                      SmallFileCase{"ManyReadsAtTheBound", kLarge, kLarge.size(), 0},
                      SmallFileCase{"ManyReadsPastTheBound", kLarge, kLarge.size() - 1,
                                    kErrorFileTooLarge},
                      SmallFileCase{"Missing", std::nullopt, 10, kErrorFileNotFound}),
    [](const ::testing::TestParamInfo<SmallFileCase>& param) {
        return std::string(param.param.name);
    });

}  // namespace
}  // namespace mivetrak
