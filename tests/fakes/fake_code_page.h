#pragma once
// Code pages for unit tests: a single-byte one (no lead bytes at all) and a double-byte one
// shaped like the Japanese code page, where 0x81-0x9F and 0xE0-0xFC start a two-byte character
// whose trail byte may be 0x5C ('\\') or 0x2F ('/').
//
// Their conversion from UTF-8 holds the characters U+0000 to U+00FF, each as the byte of its
// number (Latin-1, standing in for a Western code page): a fullwidth or Greek letter has no
// place in it, an accented Latin one has.
#include <string>
#include <utility>

#include "platform/code_page.h"

namespace mivetrak {

inline bool Utf8ToLatin1Exactly(const std::string& utf8, std::string& out) {
    out.clear();
    std::string converted;
    for (size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            converted += static_cast<char>(byte);
            ++i;
            continue;
        }
        // Only two-byte sequences can spell U+0080 to U+00FF; anything longer is beyond them.
        if (byte < 0xC2 || byte > 0xC3 || i + 1 >= utf8.size()) return false;
        const auto next = static_cast<unsigned char>(utf8[i + 1]);
        if ((next & 0xC0) != 0x80) return false;
        converted += static_cast<char>(((byte & 0x1F) << 6) | (next & 0x3F));
        i += 2;
    }
    out = std::move(converted);
    return true;
}

class SingleByteCodePage : public CodePage {
public:
    bool IsLeadByte(unsigned char) const override { return false; }
    bool FromUtf8Exactly(const std::string& utf8, std::string& ansi) const override {
        return Utf8ToLatin1Exactly(utf8, ansi);
    }
};

class DoubleByteCodePage : public CodePage {
public:
    bool IsLeadByte(unsigned char b) const override {
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    }
    bool FromUtf8Exactly(const std::string& utf8, std::string& ansi) const override {
        return Utf8ToLatin1Exactly(utf8, ansi);
    }
};

// The code page of FakePlatform: single-byte until a test sets doubleByte.
class FakeCodePage : public CodePage {
public:
    bool doubleByte = false;
    bool IsLeadByte(unsigned char b) const override {
        return doubleByte && DoubleByteCodePage().IsLeadByte(b);
    }
    bool FromUtf8Exactly(const std::string& utf8, std::string& ansi) const override {
        return Utf8ToLatin1Exactly(utf8, ansi);
    }
};

}  // namespace mivetrak
