// Stop requests of a transient run: once the loop has given its instruction line, the first
// Ctrl-C, termination signal or hang-up is a request the loop's poll sees, not the end of the
// process; so is every later one (the second hang-up of a closing terminal, a second
// Ctrl-C): the stop under way closes the files whole.
#include "simulation/sim-interrupt.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "tests/param-names.h"

using namespace vexlar;

namespace {

class StopRequest : public ::testing::TestWithParam<int> {};

TEST_P(StopRequest, FirstSignalIsSeenByThePollAndLaterOnesAreAbsorbed)
{
    const int first = GetParam();
    // The handlers are taken once per process, and only for signals not ignored at that
    // moment: the statement runs in a fresh copy of the binary (not a fork of this process,
    // where an earlier test may have taken them already) with both signals at their
    // default, whatever this binary inherited.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            signal(SIGINT, SIG_DFL);
            signal(SIGTERM, SIG_DFL);
            signal(SIGHUP, SIG_DFL);
            if (simInterrupt_checkInterrupt() != 0) _exit(3);
            simInterrupt_writeInstructions();
            raise(first);
            if (simInterrupt_checkInterrupt() != 2) _exit(4);
            fputs("survived the request\n", stderr);
            for (int again : {first, SIGINT, SIGTERM, SIGHUP}) raise(again);
            if (simInterrupt_checkInterrupt() != 2) _exit(6);
            fputs("survived the stop\n", stderr);
            _exit(5);
        },
        ::testing::ExitedWithCode(5), "kill the transient simulation.\n\nsurvived the request\nsurvived the stop\n");
    GTEST_FLAG_SET(death_test_style, style);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopRequest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         testnames::named([](int sig) { return std::string(sig == SIGINT ? "Interrupt" : sig == SIGTERM ? "Terminate" : "Hangup"); }));

}  // namespace
