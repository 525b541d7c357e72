// The update index reader gives what the system's own profile reader gives for the same text,
// read as the program once read it: GetPrivateProfileStringA with the default "" and a 260-byte
// buffer.
//
// Two texts are left out on purpose. Wine's reader decodes a UTF-16 file (with its byte-order
// mark); ours reads the index as bytes, as the server sends it. And for a quoted value of 259
// bytes or more Wine drops the quote before cutting, then a further byte; ours cuts the unquoted
// value at 259.
#include "net/index_file.h"

#include <gtest/gtest.h>

#include <string>

#include "windows/windows_test_support.h"

namespace mivetrak {
namespace {

struct IndexText {
    const char* name;
    std::string text;
};

std::string SystemProfileValue(const std::string& path, const char* key) {
    char buffer[260] = {};
    const DWORD copied =
        GetPrivateProfileStringA("ZAVFile", key, "", buffer, sizeof buffer, path.c_str());
    return std::string(buffer, copied);
}

TEST(IndexFileOnWindows, ReadsWhatTheSystemsProfileReaderReads) {
    const std::string folder = test::NewScratchFolder("index");
    ASSERT_FALSE(folder.empty());
    const std::string path = folder + "zav.tmp";
    const std::string long259(259, 'v');
    const IndexText texts[] = {
        {"Index", "; index\r\n[Other]\r\nPrimary=x\r\n[ZAVFile]\r\nPrimary=p\r\nBackup=b\r\n"},
        {"LineFeeds", "[ZAVFile]\nPrimary=p\nBackup=b"},
        {"CarriageReturns", "[ZAVFile]\rPrimary=p\rBackup=b\r"},
        {"ByteOrderMark", "\xEF\xBB\xBF[ZAVFile]\nPrimary=p"},
        {"MarkNotAtStart", "[ZAVFile]\n\xEF\xBB\xBFPrimary=p"},
        {"NamesWithoutCase", "[zavFILE]\nPRIMARY=p\nbackup=b"},
        {"Blanks", " \t[ \tZAVFile ] \n\t Primary \t= \tp q \t\x1A\nBackup\t=\tb"},
        {"FirstKeyWins", "[ZAVFile]\nPrimary=1\nPrimary=2"},
        {"FirstSectionWins", "[ZAVFile]\nBackup=b\n[ZAVFile]\nPrimary=p"},
        {"KeyBeforeSections", "Primary=p\n[ZAVFile]\nBackup=b"},
        {"NoSection", "[Other]\nPrimary=p"},
        {"Empty", ""},
        {"LinesWithoutEquals", "[ZAVFile]\nPrimary\nPrimary=p\nBackup\n"},
        {"Comments", "[ZAVFile]\n;Primary=c\nPrimary=p"},
        {"UnclosedHeader", "[ZAVFile\nPrimary=p"},
        {"TextAfterHeader", "[ZAVFile] ; main\nPrimary=p"},
        {"TwoClosingBrackets", "[ZAVFile]]\nPrimary=p"},
        {"EqualsInValue", "[ZAVFile]\nPrimary=http://h/a?b=c"},
        {"Quotes", "[ZAVFile]\nPrimary=\" p \"\nBackup='b'"},
        {"EmptyQuotes", "[ZAVFile]\nPrimary=\"\"\nBackup=''"},
        {"LoneQuote", "[ZAVFile]\nPrimary=\"\nBackup='"},
        {"MixedQuotes", "[ZAVFile]\nPrimary=\"p'"},
        {"NulInValue", std::string("[ZAVFile]\nPrimary=\"p\0q\"", 23)},
        {"HighBytes", "[ZAVFile]\nPrimary=http://h/\xE9\xFF"},
        {"Value259", "[ZAVFile]\nPrimary=" + long259},
        {"ValueCut", "[ZAVFile]\nPrimary=" + long259 + "cut"},
    };
    for (const IndexText& t : texts) {
        ASSERT_TRUE(test::WriteWholeFile(path, t.text)) << t.name;
        for (const char* key : {"Primary", "Backup"}) {
            EXPECT_EQ(ReadIndexValue(t.text, "ZAVFile", key), SystemProfileValue(path, key))
                << t.name << ", " << key;
        }
    }
}

}  // namespace
}  // namespace mivetrak
