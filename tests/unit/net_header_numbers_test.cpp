// The numbers read out of header texts: the status and the Content-Length.
#include <gtest/gtest.h>

#include "net/http_status.h"

namespace mivetrak {
namespace {

TEST(ParseStatusText, LeadingDigitsThatFitAnInt) {
    const struct {
        const char* text;
        bool read;
        int status;
    } cases[] = {{"200", true, 200},
                 {"404 Not Found", true, 404},
                 {"007", true, 7},
                 {"", false, 0},
                 {"x200", false, 0},
                 {"-5", false, 0},
                 {"+5", false, 0},
                 {" 200", false, 0},
                 {"2147483647", true, 2147483647},
                 {"2147483648", false, 0},
                 {"99999999999999999999", false, 0}};
    for (const auto& c : cases) {
        int status = -1;
        EXPECT_EQ(ParseStatusText(c.text, status), c.read) << c.text;
        if (c.read) {
            EXPECT_EQ(status, c.status) << c.text;
        }
    }
}

TEST(ParseContentLength, DigitsOnlyWithin32Bits) {
    const struct {
        const char* text;
        bool ok;
        uint32_t value;
    } cases[] = {
        {"0", true, 0},           {"12345", true, 12345}, {"4294967295", true, 4294967295u},
        {"4294967296", false, 0}, {"", false, 0},         {"12abc", false, 0},
        {"-1", false, 0},         {"+1", false, 0},       {" 1", false, 0},
        {"1 ", false, 0}};
    for (const auto& c : cases) {
        uint32_t value = 77;
        EXPECT_EQ(ParseContentLength(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : 77u) << c.text;
    }
}

}  // namespace
}  // namespace mivetrak
