// How the test binary meets a FATAL message. In the engine a FATAL ends the run through the
// finish hook; a test that expects one raises it inside a death test (EXPECT_EXIT), whose
// child process ends as the engine would. Raised anywhere else, it would end the whole test
// process and leave every later test unrun. So before each test the hook is set to one that
// exits with the status in a death test's child, as before, and in the test process turns
// the FATAL into a failure of that test alone (an exception GoogleTest reports). A test may
// still install its own hook; the next test starts with this one again.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "common-src/messages.h"

namespace vexlar_test {
namespace {

const pid_t testProcess = getpid();

struct FatalInTestProcess : std::runtime_error {
    explicit FatalInTestProcess(int status)
        : std::runtime_error("a FATAL message (shown above) would have ended the test process with status " +
                             std::to_string(status)),
          status(status)
    {
    }
    int status;
};

bool inDeathTestChild()
{
    return getpid() != testProcess || !GTEST_FLAG_GET(internal_run_death_test).empty();
}

void fatalEndsTheTest(int status)
{
    if (inDeathTestChild()) exit(status);
    throw FatalInTestProcess(status);
}

class FatalGuard : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { vexlar::_errorFinishFcnP = fatalEndsTheTest; }
};

const bool guardInstalled = (::testing::UnitTest::GetInstance()->listeners().Append(new FatalGuard), true);

class InProcessFatal : public ::testing::Test {
protected:
    void SetUp() override
    {
        vexlar::_errorAuxFcnP = nullptr;
        vexlar::_errorLogFileP = nullptr;
    }
};

TEST_F(InProcessFatal, EndsOnlyTheTestThatRaisedIt)
{
    ASSERT_TRUE(guardInstalled);
    int status = -1;
    testing::internal::CaptureStderr();
    try {
        vexlar::error(vexlar::FATAL, "x.cpp", 1, "boom", "");
    } catch (const FatalInTestProcess& e) {
        status = e.status;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "FATAL boom\n");
    EXPECT_EQ(status, 2);
}

TEST_F(InProcessFatal, InADeathTestEndsTheChildWithItsStatus)
{
    EXPECT_EXIT(vexlar::error(vexlar::FATAL, "x.cpp", 1, "boom", ""), testing::ExitedWithCode(2), "FATAL boom");
    EXPECT_EXIT(vexlar::_errorFinishFcnP(1), testing::ExitedWithCode(1), "");
}

}  // namespace
}  // namespace vexlar_test
