#pragma once
// Code pages for unit tests: a single-byte one (no lead bytes at all) and a double-byte one
// shaped like the Japanese code page, where 0x81-0x9F and 0xE0-0xFC start a two-byte character
// whose trail byte may be 0x5C ('\\') or 0x2F ('/').
#include "platform/code_page.h"

namespace mivetrak {

class SingleByteCodePage : public CodePage {
public:
    bool IsLeadByte(unsigned char) const override { return false; }
};

class DoubleByteCodePage : public CodePage {
public:
    bool IsLeadByte(unsigned char b) const override {
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    }
};

// The code page of FakePlatform: single-byte until a test sets doubleByte.
class FakeCodePage : public CodePage {
public:
    bool doubleByte = false;
    bool IsLeadByte(unsigned char b) const override {
        return doubleByte && DoubleByteCodePage().IsLeadByte(b);
    }
};

}  // namespace mivetrak
