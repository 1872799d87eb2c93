// The test binary links against the engine library.
#include <gtest/gtest.h>
TEST(Build, TestBinaryRuns) { EXPECT_EQ(1 + 1, 2); }
