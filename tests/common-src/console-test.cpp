// Console prompts: whole-line answers, the repeated yes/no question, bounded text lines
// that leave the rest of a long line for the next prompt, and the FATAL end of input.
#include "common-src/console.h"
#include "tests/param-names.h"
#include "tests/scratch-dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

using namespace vexlar;

namespace {

class Console : public ::testing::Test {
protected:
    // Makes `text` the whole of standard input.
    void feed(const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
        ASSERT_NE(freopen(path.c_str(), "r", stdin), nullptr);
    }
    vexlar_test::ScratchDir scratch;
    std::string path = scratch.file("stdin.txt");
};

struct Answer {
    const char* input;
    int yes;
    int retries;
};

void PrintTo(const Answer& a, std::ostream* os) { *os << testing::PrintToString(a.input); }

class NoYes : public Console, public ::testing::WithParamInterface<Answer> {};

TEST_P(NoYes, FirstCharacterOfTheLineDecidesAndOthersAskAgain)
{
    feed(GetParam().input);
    testing::internal::CaptureStderr();
    EXPECT_EQ(noyes_console("Continue"), GetParam().yes);
    std::string out = testing::internal::GetCapturedStderr();
    std::string retry = " Valid responses are:  y or Y for yes, n or N for no.\n";
    std::string want = "Continue? (y/n)  ";
    for (int i = 0; i < GetParam().retries; i++) want += retry + "Continue? (y/n)  ";
    EXPECT_EQ(out, want);
}

INSTANTIATE_TEST_SUITE_P(Console, NoYes,
                         ::testing::Values(Answer{"yes please\n", 1, 0}, Answer{"Y\n", 1, 0},
                                           Answer{"nope\n", 0, 0}, Answer{"N\n", 0, 0},
                                           Answer{"\nmaybe\ny\n", 1, 2}),
                         testnames::indexed([](const auto& c) { return std::string(c.input); }));

TEST_F(Console, AnswerLineRestIsDiscardedBeforeTheNextPrompt)
{
    feed("y and more words\nno\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(noyes_gui("A"), 1);
    EXPECT_EQ(noyes_gui("B"), 0);
    testing::internal::GetCapturedStderr();
}

TEST_F(Console, EndOfInputDuringAnAnswerIsFatal)
{
    feed("y");
    EXPECT_EXIT(noyes_console("Go"), testing::ExitedWithCode(2), "FATAL Error or end of file");
}

TEST_F(Console, KeysAndPauseReadWholeLines)
{
    feed("q rest\n\nx\n");
    EXPECT_EQ(getkey_wait(), 'q');
    testing::internal::CaptureStderr();
    Pause();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Press the ENTER key to continue...");
    EXPECT_EQ(getkey_wait(), 'x');
    EXPECT_EQ(getkey_nowait(), 0);
}

TEST_F(Console, GetstrCutsLongLineAndLeavesTheRestForNextPrompt)
{
    feed("abcdefgh\n");
    char buf[5];
    testing::internal::CaptureStderr();
    Getstr("Name", buf, sizeof buf);
    EXPECT_STREQ(buf, "abcd");
    Getstr("", buf, sizeof buf);
    EXPECT_STREQ(buf, "efgh");
    Getstr("", buf, sizeof buf);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Name: ");
}

TEST_F(Console, GetstrAtEndOfInputIsFatal)
{
    feed("");
    char buf[16];
    EXPECT_EXIT(Getstr("Name", buf, sizeof buf), testing::ExitedWithCode(2),
                "FATAL Failed to process input");
}

}  // namespace
