// Vector kernels: the grouped summation order of the dot products (four products
// added left to right, the group then added to the total, leftovers one at a time),
// 0-based versus 1-based addressing, and nothing done for n <= 0.
#include "solvers/blas-1-like.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vexlar;

namespace {

const double BIG = 1e16;   // one unit in the last place of 1e16 is 2

TEST(Blas1Like, FiveProductsAddTheFirstFourAsOneGroupThenTheFifth)
{
    // ((1e16 + 1) + 1) + 1 stays 1e16 added left to right, and the fifth product takes
    // it to 0; pairs (1e16 + 1) + (1 + 1) would keep 2.
    std::vector<double> p = {BIG, 1, 1, 1, -BIG};
    std::vector<double> ones(5, 1.0);
    EXPECT_EQ(ddot0(5, p.data(), ones.data()), 0.0);
    std::vector<double> p1 = {0, BIG, 1, 1, 1, -BIG};   // element 0 unused
    std::vector<double> ones1(6, 1.0);
    EXPECT_EQ(ddot0(5, &p1[1], &ones1[1]), 0.0);
}

TEST(Blas1Like, SecondGroupIsSummedBeforeItJoinsTheTotal)
{
    // Total 1e16 after the first group; the second group 1+1+0+0 = 2 joins it whole
    // (1e16 + 2 is exact), whereas adding 1 and 1 singly would round back to 1e16.
    std::vector<double> p = {BIG, 0, 0, 0, 1, 1, 0, 0};
    std::vector<double> ones(8, 1.0);
    EXPECT_EQ(ddot0(8, p.data(), ones.data()), BIG + 2);
    std::vector<double> x1 = {0, 1e8, 0, 0, 0, 1, 1, 0, 0};   // squares 1e16, 0, 0, 0, 1, 1
    EXPECT_EQ(dsqr1(8, x1.data()), BIG + 2);
}

TEST(Blas1Like, LeftoversAfterTheLastGroupAreAddedOneAtATime)
{
    // Products 5..7 (1, 1, 0) are added singly to 1e16 and are lost.
    std::vector<double> p = {BIG, 0, 0, 0, 1, 1, 0};
    std::vector<double> ones(7, 1.0);
    EXPECT_EQ(ddot0(7, p.data(), ones.data()), BIG);
}

TEST(Blas1Like, KernelsDoNothingForNonPositiveCounts)
{
    std::vector<double> x = {5, 6}, y = {7, 8};
    EXPECT_EQ(ddot0(0, x.data(), y.data()), 0.0);
    EXPECT_EQ(dsqr1(-3, x.data()), 0.0);
    daxpy0(0, x.data(), y.data(), 2.0);
    dxy1(-1, x.data(), y.data());
    daypx1(0, x.data(), y.data(), 3.0);
    EXPECT_EQ(y, (std::vector<double>{7, 8}));
}

TEST(Blas1Like, UpdatesAddressTheirElementsAsDocumented)
{
    std::vector<double> x = {1, 2, 3}, y = {10, 20, 30};
    daxpy0(3, x.data(), y.data(), 0.5);   // y[k] += 0.5 x[k], k = 0..2
    EXPECT_EQ(y, (std::vector<double>{10.5, 21, 31.5}));
    dxy1(2, x.data(), y.data());          // y[k] *= x[k], k = 0..1
    EXPECT_EQ(y, (std::vector<double>{10.5, 42, 31.5}));
    std::vector<double> x1 = {99, 1, 2}, y1 = {99, 3, 4};
    daypx1(2, x1.data(), y1.data(), 2.0);  // y[i] = 2 y[i] + x[i], i = 1..2
    EXPECT_EQ(y1, (std::vector<double>{99, 7, 10}));
    EXPECT_EQ(dsqr1(2, x1.data()), 5.0);  // element 0 is never read
}

}  // namespace
