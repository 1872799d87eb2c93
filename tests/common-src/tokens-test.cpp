// The token stream and its typed readers, read from small temporary files: word and line
// rules, comments and the end mark, CRLF files, line numbers, echo to the log, and the
// typed readers' accepted words and ERROR texts.
#include "common-src/tokens.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "common-src/messages.h"
#include "tests/common-src/token-file.h"
#include "tests/param-names.h"

using namespace vexlar;

namespace {

using namespace vexlar_test;

class TokenStream : public TokenFile {
protected:
    std::string word(int mode = NXT_WORD, int len = 4096)
    {
        char buf[4096] = "";
        const char* w = nxtwrd(buf, mode, len);
        return w ? std::string(w) : std::string("<null>");
    }
};

TEST_F(TokenStream, BlanksCommasAndLineEndsSeparateWordsWithoutEmptyOnes)
{
    open("a,b  c\n,,d\t e,\n");
    EXPECT_EQ(word(), "a");
    EXPECT_EQ(word(), "b");
    EXPECT_EQ(word(), "c");
    EXPECT_EQ(word(), "d");
    EXPECT_EQ(word(), "e");
    EXPECT_EQ(word(), "<null>");
}

// What common editors put before the first line is no part of the first word, on the
// first read and after a rewind; a lone 0xEF byte is an ordinary character.
TEST_F(TokenStream, AByteOrderMarkBeforeTheFirstLineIsPassedOver)
{
    open("\xEF\xBB\xBFVexlarW 3.4.0.0\nx\n");
    EXPECT_EQ(word(), "VexlarW");
    EXPECT_EQ(nxtline(), 1);
    nxtrewind();
    EXPECT_EQ(word(), "VexlarW");
    nxtclose();
    open("\xEF\xBBx y\n");
    EXPECT_EQ(word(), "\xEF\xBBx");
    EXPECT_EQ(word(), "y");
}

TEST_F(TokenStream, ExclamationStartsACommentOnlyAtTheStartOfAWord)
{
    open("12!note more\n!whole line, skipped\n  next\n");
    EXPECT_EQ(word(), "12!note");
    EXPECT_EQ(word(), "more");
    EXPECT_EQ(word(), "next");
}

TEST_F(TokenStream, FirstWordOfNextLineSkipsTheRestOfTheCurrentLine)
{
    open("a b c\nd e\nf\ng\n");
    EXPECT_EQ(word(NXT_FIRST_WORD), "d");   // the first line is skipped whole at the start
    EXPECT_EQ(word(NXT_FIRST_WORD), "f");   // "e" is discarded
    EXPECT_EQ(word(NXT_FIRST_WORD), "g");   // directly after a word that ended its line
}

TEST_F(TokenStream, LineReadsPutTheLineEndBack)
{
    open("w1 w2  rest of it\n! heading\nline two\nline three\n");
    EXPECT_EQ(word(), "w1");
    EXPECT_EQ(word(NXT_REST_OF_LINE), "w2  rest of it");
    EXPECT_EQ(word(NXT_LINE), "line two");      // the "!" line is skipped
    EXPECT_EQ(word(), "line");                 // a word read skips the put-back line end
    EXPECT_EQ(word(NXT_RAW_LINE), "<null>");    // the rest of "line three" is skipped
}

TEST_F(TokenStream, RawLineReadKeepsCommentLines)
{
    open("x\n! heading\nbody\n");
    EXPECT_EQ(word(), "x");
    EXPECT_EQ(word(NXT_RAW_LINE), "! heading");
    EXPECT_EQ(word(NXT_LINE), "body");
}

TEST_F(TokenStream, RestOfLineAtTheLineEndLeavesTheBufferUnchanged)
{
    open("x\ny\n");
    EXPECT_EQ(word(), "x");
    char buf[16] = "keep";
    EXPECT_STREQ(nxtwrd(buf, NXT_REST_OF_LINE, 16), "keep");
    EXPECT_EQ(word(NXT_FIRST_WORD), "y");
}

TEST_F(TokenStream, StarAtTheStartOfAWordEndsTheData)
{
    open("a b*c *end more\nx\n");
    EXPECT_EQ(word(), "a");
    EXPECT_EQ(word(), "b*c");
    EXPECT_EQ(word(), "<null>");
    EXPECT_EQ(_unxt, nullptr);
    EXPECT_EQ(word(), "<null>");
    EXPECT_EQ(word(NXT_LINE), "<null>");
}

TEST_F(TokenStream, AWordEndedByTheEndOfTheFileIsStillRead)
{
    open("3\n-999");
    EXPECT_EQ(readIX(0), 3);
    EXPECT_EQ(readI2(1), -999);
    EXPECT_EQ(errorCount(), 0);
    EXPECT_EQ(word(), "<null>");
}

// The same reads over an LF file and its CRLF twin give the same words and lines.
TEST_F(TokenStream, CrlfFilesReadExactlyLikeLfFiles)
{
    const std::string lf =
        "VexlarW 3.4.0.0 0\ndescription line\n! comment\n5 ! count\n1 a,b\tc\n"
        "rest of line here\n  last 7\n-999\n";
    std::string crlf;
    for (char c : lf) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    std::vector<int> modes = {0, 0, 0, 3, 1, 1, 0, 0, 0, 2, 3, 1, 0, 1, 0};
    std::vector<std::string> got[2];
    for (int k = 0; k < 2; k++) {
        open(k == 0 ? lf : crlf);
        for (int m : modes) got[k].push_back(word(m));
        nxtclose();
    }
    EXPECT_EQ(got[0], got[1]);
    EXPECT_EQ(got[0][3], "description line");
    EXPECT_EQ(got[0][4], "5");
    EXPECT_EQ(got[0][13], "-999");
}

// Each word and line read knows the line it began on, comment and empty lines counted,
// however often a line end was put back, in LF and CRLF files alike.
TEST_F(TokenStream, EveryReadKnowsTheLineItBeganOn)
{
    const std::string lf = "a b\n! heading\n\n  c, d\n! skip\nwhole line\ne\n";
    std::string crlf;
    for (char c : lf) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    const struct {
        int mode;
        const char* text;
        int line;
    } reads[] = {{NXT_WORD, "a", 1}, {NXT_WORD, "b", 1}, {NXT_WORD, "c", 4}, {NXT_WORD, "d", 4},
                 {NXT_LINE, "whole line", 6}, {NXT_FIRST_WORD, "e", 7}};
    for (const std::string& text : {lf, crlf}) {
        open(text);
        EXPECT_EQ(nxtline(), 0);
        for (const auto& r : reads) {
            EXPECT_EQ(word(r.mode), r.text);
            EXPECT_EQ(nxtline(), r.line) << r.text;
        }
        nxtclose();
    }
}

TEST_F(TokenStream, AFifteenCharacterNameFitsASixteenByteField)
{
    open("abcdefghijklmno next\n");
    EXPECT_EQ(word(NXT_WORD, 16), "abcdefghijklmno");
}

TEST_F(TokenStream, ASixteenCharacterNameIsABufferOverflow)
{
    open("abcdefghijklmnop\n");
    EXPECT_EXIT(word(NXT_WORD, 16), ::testing::ExitedWithCode(2),
                "Buffer overflow: abcdefghijklmno\n");
}

TEST_F(TokenStream, AnOverlongLineIsABufferOverflow)
{
    open("x\n0123456789\n");
    EXPECT_EXIT(word(NXT_LINE, 8), ::testing::ExitedWithCode(2), "Buffer overflow: 012345\n");
}

TEST_F(TokenStream, SecondOpenIsFatal)
{
    open("x\n");
    EXPECT_EXIT(nxtopen(path.c_str(), __FILE__, __LINE__), ::testing::ExitedWithCode(2),
                "_UNXT already open");
}

TEST_F(TokenStream, AMissingFileIsACountedError)
{
    std::string err = stderrOf([&] {
        EXPECT_EQ(nxtopen("/nonexistent/dir/none.prj", __FILE__, __LINE__), 1);
    });
    EXPECT_NE(err.find("Could not open file /nonexistent/dir/none.prj"), std::string::npos);
    EXPECT_EQ(_unxt, nullptr);
    resetErrors();
}

TEST_F(TokenStream, EchoCopiesWordAndLineReadsCharacterForCharacter)
{
    const std::string text = "a, b\t!c\n! full comment\r\nline one\n  x y\nz\n";
    open(text);
    _echo = 1;
    EXPECT_EQ(word(), "a");
    EXPECT_EQ(word(), "b");
    EXPECT_EQ(word(NXT_LINE), "line one");
    EXPECT_EQ(word(NXT_FIRST_WORD), "x");
    EXPECT_EQ(word(), "y");
    EXPECT_EQ(word(NXT_FIRST_WORD), "z");
    EXPECT_EQ(word(), "<null>");
    EXPECT_EQ(logText(), text);
}

TEST_F(TokenStream, SameDataCopiesLinesUpToTheEndWordWithLfLineEnds)
{
    open("head\r\none\r\n  two 2\r\n-999\r\nafter\r\n");
    FILE* out = tmpfile();
    same_data(out);
    EXPECT_EQ(readAll(out), "one\n  two 2\n-999\n");
    fclose(out);
    EXPECT_EQ(word(), "after");
}

struct ReaderCase {
    const char* text;
    int (*reader)(int);
    int value;
    const char* message;   // expected ERROR text, "" for none
};

std::ostream& operator<<(std::ostream& os, const ReaderCase& c) { return os << c.text; }

class IntReaderCase : public TokenStream, public ::testing::WithParamInterface<ReaderCase> {};
TEST_P(IntReaderCase, ConvertsOrReportsTheWord)
{
    const ReaderCase& c = GetParam();
    open(std::string(c.text) + "\n");
    int v = 0;
    std::string err = stderrOf([&] { v = c.reader(0); });
    EXPECT_EQ(v, c.value) << c.text;
    if (c.message[0]) {
        EXPECT_NE(err.find(std::string("ERROR ") + c.message + "\n"), std::string::npos) << err;
        EXPECT_EQ(errorCount(), 1);
    } else {
        EXPECT_EQ(err, "");
        EXPECT_EQ(errorCount(), 0);
    }
}
INSTANTIATE_TEST_SUITE_P(
    Words, IntReaderCase,
    ::testing::Values(ReaderCase{"40000", readI2, 40000, "Bad short integer: 40000"},
                      ReaderCase{"0x10", readI2, 16, ""}, ReaderCase{"010", readI2, 8, ""},
                      ReaderCase{"-32768", readI2, -32768, ""},
                      ReaderCase{"12a", readI2, 0, "Bad short integer: 12a"},
                      ReaderCase{"65535", readU2, 65535, ""},
                      ReaderCase{"-1", readU2, -1, "Bad short unsigned integer: -1"},
                      ReaderCase{"256", readU1, 256, "Bad 8-bit unsigned integer: 256"},
                      ReaderCase{"4294967297", readI4, 0, "Bad long integer: 4294967297"},
                      ReaderCase{"2147483647", readIX, 2147483647, ""},
                      ReaderCase{"1.5", readIX, 0, "Bad integer: 1.5"},
                      ReaderCase{"1:30:00", readHMS, 5400, ""},
                      ReaderCase{"86400", readHMS, 86400, ""},
                      ReaderCase{"86401", readHMS, 86401, "86401 is not a valid time"},
                      ReaderCase{"1:3", readHMS, 0, "1:3 is not a valid time"},
                      ReaderCase{"5400", readHMS_strict, -1, "5400 is not a valid time"},
                      ReaderCase{"0:01:00", readHMS_strict, 60, ""},
                      ReaderCase{"366", readMD, 366, "366 is not a valid date"},
                      ReaderCase{"365", readMD, 365, ""}, ReaderCase{"Feb01", readMD, 32, ""},
                      ReaderCase{"Feb30", readMD, 1, "Feb30 is not a valid date"},
                      ReaderCase{"2/28", readMDx, 59, ""},
                      ReaderCase{"Feb28", readMDx, 0, "Feb28 is not a valid mm/dd date"}),
    testnames::indexed([](const auto& c) { return std::string(c.text); }));

TEST_F(TokenStream, FloatReadersRejectOutOfRangeAndNonFiniteWords)
{
    open("1e39 nan 2.5 inf 1e400 0.125\n");
    std::string err = stderrOf([&] {
        EXPECT_EQ(readR4(0), 0.0f);
        EXPECT_EQ(readR4(0), 0.0f);
        EXPECT_EQ(readR4(0), 2.5f);
        EXPECT_EQ(readR8(0), 0.0);
        EXPECT_EQ(readR8(0), 0.0);
        EXPECT_EQ(readR8(0), 0.125);
    });
    EXPECT_NE(err.find("Bad float value: 1e39\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Bad float value: nan\n"), std::string::npos) << err;
    EXPECT_NE(err.find("inf is not a (valid) number\n"), std::string::npos) << err;
    EXPECT_NE(err.find("1e400 is not a (valid) number\n"), std::string::npos) << err;
    EXPECT_EQ(errorCount(), 4);
}

TEST_F(TokenStream, TimeAndDateReadersLookOnlyInsideTheWord)
{
    open("12:00:00 5 Jan01 7\n");
    EXPECT_EQ(readHMS(0), 43200);
    EXPECT_EQ(readHMS(0), 5);
    EXPECT_EQ(readMD(0), 1);
    EXPECT_EQ(readMD(0), 7);
    EXPECT_EQ(errorCount(), 0);
}

TEST_F(TokenStream, ReadersAtTheEndOfTheFileGiveZeroWithoutMessage)
{
    open("1\n");
    EXPECT_EQ(readIX(0), 1);
    EXPECT_EQ(readR4(0), 0.0f);
    EXPECT_EQ(readMD(0), 0);
    EXPECT_EQ(readHMS(0), 0);
    EXPECT_EQ(readHMS_strict(0), -2);
    EXPECT_EQ(readMDx(0), -1);
    EXPECT_EQ(errorCount(), 0);
}

}  // namespace
