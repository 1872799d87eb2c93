// Option parser: short, bundled and long forms, values attached or separate, "--", the
// negated forms, numeric conversions, the exact errors with exit status 1 and the usage
// screen laid out from the table.
#include "common-src/options.h"
#include "tests/param-names.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace vexlar;

namespace {

struct Parsed {
    int version = 0, wind = 0, test = 0, count = 0, bits = 0;
    float ratio = 0;
    const char* bridge = nullptr;
    std::vector<std::string> rest;
};

Parsed parsed;

std::vector<ArgParseOption> table()
{
    return {
        {ARGPARSE_OPT_BOOLEAN, 'h', "help", nullptr, "show this help message and exit",
         argparse_help_cb, 0, ARGPARSE_OPT_NONEG},
        {ARGPARSE_OPT_BOOLEAN, 'v', "Version", &parsed.version, "show the version", nullptr, 0, 0},
        {ARGPARSE_OPT_STRING, 'b', "Bridge", &parsed.bridge, "peer address", nullptr, 0, 0},
        {ARGPARSE_OPT_BOOLEAN, 'w', "Wind", &parsed.wind, "wind", nullptr, 0, 0},
        {ARGPARSE_OPT_BOOLEAN, 't', "TestInput", &parsed.test, "Test input only", nullptr, 0, 0},
        {ARGPARSE_OPT_GROUP, 0, nullptr, nullptr, "Numbers", nullptr, 0, 0},
        {ARGPARSE_OPT_INTEGER, 'n', "count", &parsed.count, "a count", nullptr, 0, 0},
        {ARGPARSE_OPT_FLOAT, 'r', "ratio", &parsed.ratio, "a ratio", nullptr, 0, 0},
        {ARGPARSE_OPT_BIT, 0, "bitA", &parsed.bits, "bit A", nullptr, 4, 0},
        {ARGPARSE_OPT_END, 0, nullptr, nullptr, nullptr, nullptr, 0, 0},
    };
}

// Parses args (program name prepended) with a fresh result record; returns the count.
int parse(std::vector<const char*> args, int flags = 0)
{
    parsed = Parsed();
    static std::vector<ArgParseOption> opts;
    opts = table();
    static const char* const usages[] = {"prog <file> [options]", nullptr};
    args.insert(args.begin(), "prog");
    args.push_back(nullptr);
    ArgParseState st;
    argparse_init(&st, opts.data(), usages, flags);
    int n = argparse_parse(&st, (int)args.size() - 1, args.data());
    for (int i = 0; i < n; i++) parsed.rest.push_back(args[i]);
    EXPECT_EQ(args[n], nullptr);
    return n;
}

TEST(Options, ProjectPathBeforeOrAfterAFlagIsReturnedFirst)
{
    EXPECT_EQ(parse({"office.prj", "-t"}), 1);
    EXPECT_EQ(parsed.rest[0], "office.prj");
    EXPECT_EQ(parsed.test, 1);
    EXPECT_EQ(parse({"-t", "office.prj"}), 1);
    EXPECT_EQ(parsed.rest[0], "office.prj");
    EXPECT_EQ(parsed.test, 1);
}

TEST(Options, BundledShortOptionsApplyInTurnAndLastMayTakeNextArgument)
{
    parse({"-wt"});
    EXPECT_EQ(parsed.wind, 1);
    EXPECT_EQ(parsed.test, 1);
    EXPECT_EQ(parse({"-tb", "10.0.0.1", "p.prj"}), 1);
    EXPECT_EQ(parsed.test, 1);
    EXPECT_STREQ(parsed.bridge, "10.0.0.1");
    EXPECT_EQ(parsed.rest[0], "p.prj");
}

// Each parameter is a command line with its arguments separated by blanks.
class ValueForms : public ::testing::TestWithParam<std::string> {};

TEST_P(ValueForms, EveryFormStoresTheSameValue)
{
    std::vector<std::string> words;
    std::istringstream in(GetParam());
    for (std::string w; in >> w;) words.push_back(w);
    std::vector<const char*> args;
    for (const std::string& w : words) args.push_back(w.c_str());
    EXPECT_EQ(parse(args), 0);
    EXPECT_STREQ(parsed.bridge, "1.2.3.4:8200");
}

INSTANTIATE_TEST_SUITE_P(Options, ValueForms,
                         ::testing::Values("--Bridge 1.2.3.4:8200", "--Bridge=1.2.3.4:8200",
                                           "-b1.2.3.4:8200", "-b 1.2.3.4:8200", "-b=1.2.3.4:8200",
                                           "-tb=1.2.3.4:8200"),
                         testnames::indexed([](const std::string& s) { return s; }));

TEST(Options, EverythingAfterDoubleDashIsReturned)
{
    EXPECT_EQ(parse({"a", "--", "-t", "--Wind", "b"}), 4);
    EXPECT_EQ(parsed.test, 0);
    EXPECT_EQ(parsed.rest, (std::vector<std::string>{"a", "-t", "--Wind", "b"}));
}

TEST(Options, SingleDashIsAnArgument)
{
    EXPECT_EQ(parse({"-"}), 1);
    EXPECT_EQ(parsed.rest[0], "-");
}

TEST(Options, StopAtNonOptionReturnsTheRestAsItStands)
{
    EXPECT_EQ(parse({"-w", "a", "-t"}, ARGPARSE_STOP_AT_NON_OPTION), 2);
    EXPECT_EQ(parsed.test, 0);
    EXPECT_EQ(parsed.rest, (std::vector<std::string>{"a", "-t"}));
}

TEST(Options, RepeatedBooleanCountsAndNegationTakesOneNeverBelowZero)
{
    parse({"-w", "--Wind", "--no-Wind"});
    EXPECT_EQ(parsed.wind, 1);
    parse({"--no-Wind"});
    EXPECT_EQ(parsed.wind, 0);
}

TEST(Options, BooleanLongOptionWithEqualsIsCountedAndItsTextDropped)
{
    EXPECT_EQ(parse({"--Wind=yes", "-b", "host"}), 0);
    EXPECT_EQ(parsed.wind, 1);
    EXPECT_STREQ(parsed.bridge, "host");
}

TEST(Options, BitOptionSetsAndClearsItsMask)
{
    parse({"--bitA"});
    EXPECT_EQ(parsed.bits, 4);
    parse({"--bitA", "--no-bitA"});
    EXPECT_EQ(parsed.bits, 0);
}

struct Number {
    const char* arg;
    int count;
    float ratio;
};

void PrintTo(const Number& n, std::ostream* os) { *os << n.arg; }

class Numbers : public ::testing::TestWithParam<Number> {};

TEST_P(Numbers, ConvertWithBaseDetection)
{
    parse({GetParam().arg});
    EXPECT_EQ(parsed.count, GetParam().count);
    EXPECT_EQ(parsed.ratio, GetParam().ratio);
}

INSTANTIATE_TEST_SUITE_P(Options, Numbers,
                         ::testing::Values(Number{"--count=42", 42, 0}, Number{"-n0x10", 16, 0},
                                           Number{"-n010", 8, 0}, Number{"--count=", 0, 0},
                                           Number{"--count=-7", -7, 0},
                                           Number{"--ratio=2.5", 0, 2.5f},
                                           Number{"-r1e-3", 0, 1e-3f}, Number{"-n=12", 12, 0}),
                         testnames::indexed([](const auto& c) { return std::string(c.arg); }));

struct BadArgs {
    std::vector<const char*> args;
    const char* message;
};

void PrintTo(const BadArgs& b, std::ostream* os) { *os << b.args[0]; }

class OptionErrors : public ::testing::TestWithParam<BadArgs> {};

TEST_P(OptionErrors, EndWithStatusOneAndTheExactLine)
{
    EXPECT_EXIT(parse(GetParam().args), testing::ExitedWithCode(1), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionErrors,
    ::testing::Values(
        BadArgs{{"p.prj", "-b"}, "^error: option `-b` requires a value\n$"},
        BadArgs{{"--Bridge"}, "^error: option `--Bridge` requires a value\n$"},
        BadArgs{{"--count=12abc"}, "^error: option `--count` expects an integer value\n$"},
        BadArgs{{"-nzz"}, "^error: option `-n` expects an integer value\n$"},
        BadArgs{{"--count=99999999999999999999"},
                "^error: option `--count` Numerical result out of range\n$"},
        BadArgs{{"--ratio=fast"}, "^error: option `--ratio` expects a numerical value\n$"},
        BadArgs{{"--Test"}, "^error: unknown option `--Test`\n$"},
        BadArgs{{"--TestInputs"}, "^error: unknown option `--TestInputs`\n$"},
        BadArgs{{"--no-help"}, "^error: unknown option `--no-help`\n$"},
        BadArgs{{"--no-Bridge"}, "^error: unknown option `--no-Bridge`\n$"},
        BadArgs{{"-wx"}, "^error: unknown option `-wx`\n$"}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST(Options, UnknownOptionAlsoPrintsTheUsageScreen)
{
    // Standard output joins standard error in the child, so both texts can be matched.
    EXPECT_EXIT(
        {
            dup2(2, 1);
            parse({"-x"});
        },
        testing::ExitedWithCode(1), "^error: unknown option `-x`\nUsage: prog <file> \\[options\\]\n");
}

TEST(Options, HelpPrintsTheUsageScreenLaidOutFromTheTableAndExitsZero)
{
    EXPECT_EXIT(parse({"-h"}), testing::ExitedWithCode(0), "");
    // Widest option text: "-b, --Bridge" and "=<str>" = 18, rounded to 20, so help texts
    // start in column 26.
    std::vector<ArgParseOption> opts = table();
    static const char* const usages[] = {"prog <file> [options]", "prog -h", ""};
    ArgParseState st;
    argparse_init(&st, opts.data(), usages, 0);
    argparse_describe(&st, "About.", "Epilogue.");
    testing::internal::CaptureStdout();
    argparse_usage(&st);
    std::string want =
        "Usage: prog <file> [options]\n"
        "   or: prog -h\n"
        "About.\n"
        "\n"
        "    -h, --help            show this help message and exit\n"
        "    -v, --Version         show the version\n"
        "    -b, --Bridge=<str>    peer address\n"
        "    -w, --Wind            wind\n"
        "    -t, --TestInput       Test input only\n"
        "\n"
        "Numbers\n"
        "    -n, --count=<int>     a count\n"
        "    -r, --ratio=<flt>     a ratio\n"
        "    --bitA                bit A\n"
        "Epilogue.\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), want);
}

TEST(Options, HelpColumnFollowsTheWidestOptionText)
{
    ArgParseOption opts[] = {
        {ARGPARSE_OPT_BOOLEAN, 'a', "a", nullptr, "short one", nullptr, 0, 0},
        {ARGPARSE_OPT_STRING, 0, "averyveryverylongname", nullptr, "long one", nullptr, 0, 0},
        {ARGPARSE_OPT_BOOLEAN, 'z', nullptr, nullptr, "z only", nullptr, 0, 0},
        {ARGPARSE_OPT_END, 0, nullptr, nullptr, nullptr, nullptr, 0, 0},
    };
    // Widths: 7 -> 8, 21 + 2 + 6 = 29 -> 32, 2 -> 4; help texts start in column 38.
    ArgParseState st;
    argparse_init(&st, opts, nullptr, 0);
    testing::internal::CaptureStdout();
    argparse_usage(&st);
    std::string want = "Usage:\n\n"
                       "    -a, --a" + std::string(38 - 11, ' ') + "short one\n"
                       "    --averyveryverylongname=<str>" + std::string(38 - 33, ' ') + "long one\n"
                       "    -z" + std::string(38 - 6, ' ') + "z only\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), want);
}

TEST(Options, EmptyArgumentVectorHasNothingToReturn)
{
    // A process may be started with no arguments at all, not even its own name.
    std::vector<ArgParseOption> opts = table();
    const char* argv[] = {nullptr};
    ArgParseState st;
    argparse_init(&st, opts.data(), nullptr, 0);
    EXPECT_EQ(argparse_parse(&st, 0, argv), 0);
    EXPECT_EQ(argv[0], nullptr);
}

TEST(Options, RowOfUnknownTypeIsOnlyReported)
{
    ArgParseOption opts[] = {
        {9, 'q', nullptr, nullptr, "odd", nullptr, 0, 0},
        {ARGPARSE_OPT_END, 0, nullptr, nullptr, nullptr, nullptr, 0, 0},
    };
    const char* argv[] = {"prog", "file", nullptr};
    ArgParseState st;
    argparse_init(&st, opts, nullptr, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(argparse_parse(&st, 2, argv), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "wrong option type: 9");
}

}  // namespace
