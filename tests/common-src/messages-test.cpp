// Messages and log: level words, the ERROR count and its query/reset, the bounded text,
// the source position in the log, the finish hook of FATAL and errorMinimal's own exit.
#include "common-src/messages.h"

#include <gtest/gtest.h>

#include <string>

#include "common-src/paths.h"

using namespace vexlar;

namespace {

std::string contents(FILE* f)
{
    std::string s;
    rewind(f);
    int c;
    while ((c = getc(f)) != EOF) s += (char)c;
    return s;
}

void exitWithStatusPlus10(int status) { exit(10 + status); }

class Messages : public ::testing::Test {
protected:
    void SetUp() override
    {
        log = tmpfile();
        _ulog = log;
        _errorLogFileP = &_ulog;
        _errorFinishFcnP = nullptr;
        error(-4, __FILE__, __LINE__, "reset count", "");
    }
    void TearDown() override
    {
        _errorLogFileP = nullptr;
        _ulog = nullptr;
        _errorAuxFcnP = nullptr;
        _errorFinishFcnP = nullptr;
        fclose(log);
        error(-4, __FILE__, __LINE__, "reset count", "");
        setDirChar('/');
    }
    FILE* log = nullptr;
};

TEST_F(Messages, ScreenShowsLevelWordThenTextAndLogAddsSourcePosition)
{
    testing::internal::CaptureStderr();
    error(WARNING, "/some/dir/reader.cpp", 42, "Bad float value: ", "1.2.3", "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING Bad float value: 1.2.3\n");
    EXPECT_EQ(contents(log), "WARNING  (file reader, line 42)\n Bad float value: 1.2.3\n");
}

TEST_F(Messages, SourcePositionLeavesTheProjectPathSeparatorAlone)
{
    // A project named with backslashes joins its result names with them; a message
    // raised from a source file named with slashes must not change that.
    setDirChar('\\');
    testing::internal::CaptureStderr();
    error(NOTE, "/src/common-src/prj-read.cpp", 5, "read", "");
    lognote("begin mat_init()", "/src/simulation/vexlar-x-run.cpp", 9);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(_dirchr, '\\');
    EXPECT_EQ(contents(log), "NOTE  (file prj-read, line 5)\n read\n"
                             " begin mat_init() (file vexlar-x-run, line 9)\n");
}

TEST_F(Messages, ErrorsAreCountedQueriedAndResetWithoutWriting)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(error(ERROR, "a.cpp", 1, "one", ""), 1);
    EXPECT_EQ(error(NOTE, "a.cpp", 2, "note", ""), 1);
    EXPECT_EQ(error(ERROR, "a.cpp", 3, "two", ""), 2);
    std::string before = testing::internal::GetCapturedStderr();
    long logged = ftell(log);
    testing::internal::CaptureStderr();
    EXPECT_EQ(error(-1, "a.cpp", 4, "test", ""), 2);
    EXPECT_EQ(error(-4, "a.cpp", 5, "reset count", ""), 0);
    EXPECT_EQ(error(-1, "a.cpp", 6, "test", ""), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ftell(log), logged);
    EXPECT_NE(before.find("ERROR one\n"), std::string::npos);
}

TEST_F(Messages, ErrorWithEmptyFirstPieceStillCounts)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(error(ERROR, "x.cpp", 9, "", "never read", ""), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR \n");
}

TEST_F(Messages, LongPiecesAreCutTo4092Characters)
{
    std::string a(3000, 'a'), b(2000, 'b');
    testing::internal::CaptureStderr();
    error(NOTE, "x.cpp", 1, a.c_str(), b.c_str(), "");
    std::string out = testing::internal::GetCapturedStderr();
    std::string want = "NOTE " + a + std::string(4092 - 3000, 'b') + "\n";
    EXPECT_EQ(out, want);
}

TEST_F(Messages, ErrorfFormatsItsText)
{
    testing::internal::CaptureStderr();
    errorf(ERROR, "x.cpp", 1, "Max index(%d) < min index(%d): %s", 0, 1, "tag");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR Max index(0) < min index(1): tag\n");
    EXPECT_EQ(error(-1, "x.cpp", 1, "test", ""), 1);
}

TEST_F(Messages, LongSourceNameIsCutTo31CharactersWithOverrunLine)
{
    testing::internal::CaptureStderr();
    error(NOTE, "dir/abcdefghijklmnopqrstuvwxyz0123456789.cpp", 7, "hi", "");
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("ERRORpathsplit: file name overrun\n"), std::string::npos);
    EXPECT_NE(contents(log).find("NOTE  (file abcdefghijklmnopqrstuvwxyz01234, line 7)\n hi\n"),
              std::string::npos);
}

TEST_F(Messages, AuxSinkReplacesScreenAndSeesTheCount)
{
    static std::string seen;
    static int count;
    seen.clear();
    _errorAuxFcnP = [](const char* head, const char* text, int* ct) {
        seen = std::string(head) + "|" + text;
        count = *ct;
    };
    testing::internal::CaptureStderr();
    error(ERROR, "x.cpp", 1, "bad", "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(seen, "ERROR| bad\n");
    EXPECT_EQ(count, 1);
}

TEST_F(Messages, FatalAboveThreeCallsFinishHookWithTwo)
{
    _errorFinishFcnP = exitWithStatusPlus10;
    EXPECT_EXIT(error(7, "x.cpp", 1, "boom", ""), testing::ExitedWithCode(12), "FATAL boom");
}

TEST_F(Messages, FatalWithoutHookExitsWithTwo)
{
    EXPECT_EXIT(error(FATAL, "x.cpp", 1, "boom", ""), testing::ExitedWithCode(2), "FATAL boom");
}

TEST_F(Messages, ErrorMinimalFatalExitsWithOneWithoutFinish)
{
    _errorFinishFcnP = exitWithStatusPlus10;
    EXPECT_EXIT(errorMinimal(FATAL, "gone"), testing::ExitedWithCode(1), "FATALgone");
}

TEST_F(Messages, ErrorMinimalErrorReturnsAndLeavesCountAlone)
{
    testing::internal::CaptureStderr();
    errorMinimal(ERROR, "PathMerge: fullpath overrun");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERRORPathMerge: fullpath overrun\n");
    EXPECT_EQ(contents(log), "ERROR: PathMerge: fullpath overrun\n");
    EXPECT_EQ(error(-1, "x.cpp", 1, "test", ""), 0);
}

TEST_F(Messages, LognoteWritesOnlyOnceTheLogIsOpen)
{
    _ulog = nullptr;
    lognote("begin mat_init()", "sim/vexlar-x-main.cpp", 12);
    _ulog = log;
    EXPECT_EQ(contents(log), "");
    lognote("begin mat_init()", "sim/vexlar-x-main.cpp", 12);
    EXPECT_EQ(contents(log), " begin mat_init() (file vexlar-x-main, line 12)\n");
}

TEST_F(Messages, LogPrintfFormatsIntoTheOpenLogOnly)
{
    _ulog = nullptr;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    ulog_printf("lost %d\n", 1);
    ulog_flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    _ulog = log;
    ulog_printf("%4d variable pressure nodes\n", 13);
    ulog_printf("%s\n", "done");
    ulog_flush();
    EXPECT_EQ(contents(log), "  13 variable pressure nodes\ndone\n");
}

TEST_F(Messages, WithoutLogOnlyTheScreenCopyIsWritten)
{
    _ulog = nullptr;
    testing::internal::CaptureStderr();
    error(NOTE, "x.cpp", 1, "screen only", "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "NOTE screen only\n");
    EXPECT_EQ(contents(log), "");
}

TEST(LogFileName, IsProjectNameWithXlogExtension)
{
    char out[4096];
    getXLogFileName("", "runs/a", "office", out, sizeof out);
    EXPECT_STREQ(out, "runs/a/office.xlog");
    getXLogFileName("", "", "office", out, sizeof out);
    EXPECT_STREQ(out, "office.xlog");
}

}  // namespace
