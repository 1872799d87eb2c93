// Strict number conversions, formatting rings, keyword search and the calendar conversions.
#include "common-src/convert.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "common-src/messages.h"
#include "tests/param-names.h"

using namespace vexlar;

namespace {

struct NumberCase {
    const char* text;
    int ok;          // 0 accepted, 1 rejected
    double value;    // result (0 when rejected)
};

std::ostream& operator<<(std::ostream& os, const NumberCase& c) { return os << c.text; }

class DblconCase : public ::testing::TestWithParam<NumberCase> {};
TEST_P(DblconCase, AcceptsOnlyWholeFiniteNumbers)
{
    const NumberCase& c = GetParam();
    double v = -7;
    EXPECT_EQ(dblcon(c.text, &v), c.ok) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
}
INSTANTIATE_TEST_SUITE_P(Texts, DblconCase,
    ::testing::Values(NumberCase{"1.5", 0, 1.5}, NumberCase{"1.5 ", 1, 0},
                      NumberCase{"-2e3", 0, -2000}, NumberCase{"1e400", 1, 0},
                      NumberCase{"nan", 1, 0}, NumberCase{"inf", 1, 0},
                      NumberCase{"-Infinity", 1, 0}, NumberCase{"abc", 1, 0},
                      NumberCase{"", 0, 0}, NumberCase{"3x", 1, 0}),
    testnames::indexed([](const auto& c) { return std::string(c.text); }));

class FltconCase : public ::testing::TestWithParam<NumberCase> {};
TEST_P(FltconCase, RejectsWhatAFloatCannotHold)
{
    const NumberCase& c = GetParam();
    float v = -7;
    EXPECT_EQ(fltcon(c.text, &v), c.ok) << c.text;
    EXPECT_EQ(v, (float)c.value) << c.text;
}
INSTANTIATE_TEST_SUITE_P(Texts, FltconCase,
    ::testing::Values(NumberCase{"0.25", 0, 0.25}, NumberCase{"1e39", 1, 0},
                      NumberCase{"-1e39", 1, 0}, NumberCase{"3.4e38", 0, 3.4e38},
                      NumberCase{"nan", 1, 0}, NumberCase{"1,5", 1, 0}),
    testnames::indexed([](const auto& c) { return std::string(c.text); }));

struct IntCase {
    const char* text;
    int long_ok, int_ok;
    int32_t value;   // when accepted
};

std::ostream& operator<<(std::ostream& os, const IntCase& c) { return os << c.text; }

class IntegerCase : public ::testing::TestWithParam<IntCase> {};
TEST_P(IntegerCase, DetectsBaseAndRange)
{
    const IntCase& c = GetParam();
    int32_t l = -7, i = -7;
    int16_t s = -7;
    EXPECT_EQ(longcon(c.text, &l), c.long_ok) << c.text;
    EXPECT_EQ(l, c.long_ok ? 0 : c.value) << c.text;
    EXPECT_EQ(intcon(c.text, &i), c.int_ok) << c.text;
    EXPECT_EQ(i, c.int_ok ? 0 : c.value) << c.text;
    EXPECT_EQ(shortcon(c.text, &s), c.int_ok) << c.text;
    EXPECT_EQ(s, c.int_ok ? 0 : (int16_t)c.value) << c.text;
}
INSTANTIATE_TEST_SUITE_P(Texts, IntegerCase,
    ::testing::Values(IntCase{"0x1A", 0, 0, 26}, IntCase{"010", 0, 0, 8},
                      IntCase{"40000", 0, 1, 40000}, IntCase{"-32768", 0, 0, -32768},
                      IntCase{"32767", 0, 0, 32767}, IntCase{"32768", 0, 1, 32768},
                      IntCase{"2147483647", 0, 1, 2147483647},
                      IntCase{"4294967297", 1, 1, 0}, IntCase{"-2147483649", 1, 1, 0},
                      IntCase{"99999999999999999999999", 1, 1, 0}, IntCase{"1.0", 1, 1, 0},
                      IntCase{"12 ", 1, 1, 0}, IntCase{"08", 1, 1, 0}),
    testnames::indexed([](const auto& c) { return std::string(c.text); }));

TEST(Convert, ThreeIntstrResultsOverwriteTheFirstBuffer)
{
    const char* a = intstr(1);
    const char* b = intstr(2);
    EXPECT_STREQ(a, "1");
    EXPECT_STREQ(b, "2");
    const char* c = intstr(3);
    EXPECT_EQ(a, c);
    EXPECT_STREQ(a, "3");
}

TEST(Convert, FltstrUsesTheGivenWidth)
{
    EXPECT_STREQ(fltstr(6, 1.5f), "   1.5");
    EXPECT_STREQ(fltstr(1, 400.0f), "400");
}

TEST(Convert, StreqlIsCaseSensitive)
{
    EXPECT_EQ(streql("abc", "abc"), 1);
    EXPECT_EQ(streql("abc", "ABC"), 0);
    EXPECT_EQ(streql("abc", "abcd"), 0);
}

TEST(Convert, LinSearchFindsFirstEntryAndReportsUnknownWords)
{
    static const char* const table[] = {"sns", "sch", "sns", ""};
    error(-4, __FILE__, __LINE__, "reset count", "");
    EXPECT_EQ(lin_search("sch", table), 1);
    EXPECT_EQ(lin_search("sns", table), 0);
    EXPECT_EQ(lin_search("", table), 3);
    EXPECT_EQ(error(-1, __FILE__, __LINE__, "test", ""), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(lin_search("SNS", table), 3);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Undefined Element Type: SNS"), std::string::npos) << err;
    EXPECT_EQ(error(-1, __FILE__, __LINE__, "test", ""), 1);
    error(-4, __FILE__, __LINE__, "reset count", "");
}

TEST(Convert, StrcpysConcatenatesUpToTheEmptyTextWithinTheSize)
{
    char buf[8];
    EXPECT_STREQ(strcpys(buf, 8, "ab", "cd", "", "ef"), "abcd");
    EXPECT_STREQ(strcpys(buf, 8, "abcd", "efgh", ""), "abcdefg");
    EXPECT_STREQ(strcpys(buf, 1, "abcd", ""), "");
}

struct TimeCase {
    const char* text;
    unsigned char flag;
    int seconds;   // -1: not written
};
std::ostream& operator<<(std::ostream& os, const TimeCase& c) { return os << c.text; }

class TimeconCase : public ::testing::TestWithParam<TimeCase> {};
TEST_P(TimeconCase, ReadsHoursMinutesSeconds)
{
    const TimeCase& c = GetParam();
    int s = -1;
    EXPECT_EQ(timecon(c.text, &s), c.flag) << c.text;
    EXPECT_EQ(s, c.seconds) << c.text;
}
INSTANTIATE_TEST_SUITE_P(Texts, TimeconCase,
    ::testing::Values(TimeCase{"1:30:00", 0, 5400}, TimeCase{"01:30:00", 0, 5400},
                      TimeCase{"24:00:00", 0, 86400}, TimeCase{"24:00:01", 1, 86401},
                      TimeCase{"25:00:00", 1, -1}, TimeCase{"1:60:00", 1, -1},
                      TimeCase{"1:00:60", 1, -1}, TimeCase{"0:00:00", 0, 0},
                      TimeCase{"12:34:56xyz", 0, 45296}, TimeCase{"1:3", 1, -1},
                      TimeCase{"123:00:00", 1, -1}, TimeCase{"", 1, -1}),
    testnames::indexed([](const auto& c) { return std::string(c.text); }));

struct DateCase {
    const char* text;
    int flag;
    int day;
};
std::ostream& operator<<(std::ostream& os, const DateCase& c) { return os << c.text; }

class DateconCase : public ::testing::TestWithParam<DateCase> {};
TEST_P(DateconCase, ReadsMonthNameAndDay)
{
    const DateCase& c = GetParam();
    int d = -1;
    EXPECT_EQ(datecon(c.text, &d), c.flag) << c.text;
    EXPECT_EQ(d, c.day) << c.text;
}
INSTANTIATE_TEST_SUITE_P(Texts, DateconCase,
    ::testing::Values(DateCase{"jan01", 0, 1}, DateCase{"JAN01", 0, 1},
                      DateCase{"Jan 1", 0, 1}, DateCase{"01Jan", 0, 1},
                      DateCase{"Feb28", 0, 59}, DateCase{"Feb29", 1, 1},
                      DateCase{"June1", 1, 1}, DateCase{"Dec31", 0, 365},
                      DateCase{"Dec001", 1, 1}, DateCase{"Jan", 1, 1},
                      DateCase{"Xyz01", 1, 1}, DateCase{"Mar-1", 1, 1}),
    testnames::indexed([](const auto& c) { return std::string(c.text); }));

class DatxconCase : public ::testing::TestWithParam<DateCase> {};
TEST_P(DatxconCase, ReadsMonthSlashDay)
{
    const DateCase& c = GetParam();
    int d = -1;
    EXPECT_EQ(datxcon(c.text, &d), c.flag) << c.text;
    EXPECT_EQ(d, c.day) << c.text;
}
INSTANTIATE_TEST_SUITE_P(Texts, DatxconCase,
    ::testing::Values(DateCase{"2/28", 0, 59}, DateCase{"13/1", 1, 0}, DateCase{"2/", 1, 0},
                      DateCase{"1/1", 0, 1}, DateCase{"12/31", 0, 365},
                      DateCase{"2/29", 1, 0}, DateCase{"1/2/3", 1, 0}, DateCase{"1-1", 1, 0},
                      DateCase{"99999999999/1", 1, 0}),
    testnames::indexed([](const auto& c) { return std::string(c.text); }));

TEST(Convert, DatestrAndDatxstrNameTheMonthOfTheDay)
{
    EXPECT_STREQ(datestr(59), "Feb28");
    EXPECT_STREQ(datestr(60), "Mar01");
    EXPECT_STREQ(datestr(365), "Dec31");
    EXPECT_STREQ(datxstr(335), "12/1");
    EXPECT_STREQ(datxstr(1), "1/1");
}

TEST(Convert, EveryDayOfTheYearRoundTripsThroughBothDateForms)
{
    for (int day = 1; day <= 365; day++) {
        int back = 0;
        ASSERT_EQ(datecon(datestr(day), &back), 0) << day;
        EXPECT_EQ(back, day);
        ASSERT_EQ(datxcon(datxstr(day), &back), 0) << day;
        EXPECT_EQ(back, day);
    }
}

TEST(Convert, EveryMinuteOfTheDayRoundTripsThroughTimeText)
{
    for (int s = 0; s <= 86400; s += 59) {
        int back = -1;
        ASSERT_EQ(timecon(timestr(s), &back), 0) << s;
        EXPECT_EQ(back, s);
    }
    EXPECT_STREQ(timestr(86400), "24:00:00");
    EXPECT_STREQ(timestr(3661), "01:01:01");
}

TEST(ConvertDeath, TimestrOutsideTheDayIsFatal)
{
    EXPECT_EXIT(timestr(86401), ::testing::ExitedWithCode(2), "invalid time: 86401");
    EXPECT_EXIT(timestr(-1), ::testing::ExitedWithCode(2), "invalid time: -1");
}

}  // namespace
