// The line-by-line solver: a line of one cell worked by hand in both sweep directions, the
// pivot floor, the zero ghost layer the y and z sweeps see in STORE, and repeated outer
// iterations reaching the exact discrete solution of 3-D Poisson problems on even,
// stretched and blocked grids.
#include <gtest/gtest.h>

#include "tests/cfd/cfd-poisson.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdLine : public ::testing::Test {
protected:
    void TearDown() override { cfd_reset(); }
};

// One interior cell (2,2,2) with every coefficient zero but the ones given.
void oneCell(double ap, double ae, double aw, double as, double bs)
{
    poissonGrid(1, 1, 1, 1, 1, 1, false);
    AP[2][2][2] = ap, AE[2][2][2] = ae, AW[2][2][2] = aw, AS[2][2][2] = as, BS[2][2][2] = bs;
}

TEST_F(CfdLine, OneCellLineTakesItsNeighboursInEitherDirection)
{
    for (int niter : {1, 2}) {
        oneCell(4, 2, 1, 0, 3);
        U[1][2][2] = 5, U[3][2][2] = 7;
        NITER = niter;
        tdmax(2, 2, 2, U);
        EXPECT_EQ(U[2][2][2], (1 * 5 + 2 * 7 + 3) / 4.0) << "NITER " << niter;
        EXPECT_EQ(STORE[2][2][2], U[2][2][2]);
        EXPECT_EQ(N1, niter);
    }
}

TEST_F(CfdLine, VanishingPivotIsFlooredNotDividedBy)
{
    oneCell(0, 0, 0, 0, 3e-10);
    NITER = 1;
    tdmaz(2, 2, 2, V);
    EXPECT_DOUBLE_EQ(V[2][2][2], 3.0);
}

TEST_F(CfdLine, YAndZSweepsSeeTheZeroGhostLayerOfStore)
{
    oneCell(2, 0, 0, 1, 0);
    W[2][1][2] = 10;                  // the field's ghost value south of the cell
    NITER = 1;
    tdmax(2, 2, 2, W);                // reads the ghost through its off-line term
    EXPECT_EQ(W[2][2][2], 5.0);
    cfd_line_pass(2, 2, 2, W);        // the y sweep takes its ghost from STORE instead
    EXPECT_EQ(W[2][2][2], 5.0);
    EXPECT_EQ(STORE[2][2][2], 0.0);
}

struct Case {
    const char* name;
    int n[3];
    double g[3];
    bool block;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CfdLinePoisson : public CfdLine, public ::testing::WithParamInterface<Case> {};

TEST_P(CfdLinePoisson, ReachesTheExactDiscreteSolution)
{
    const Case& c = GetParam();
    poissonGrid(c.n[0], c.n[1], c.n[2], c.g[0], c.g[1], c.g[2], false);
    const int box[6] = {4, 6, 3, 5, 3, 4};
    poissonSystem(c.block ? box : nullptr);
    NITER = 0;
    double r0 = poissonResidual(U);
    int it = 0;
    while (poissonError(U) > 1e-10 && it < 3000) lineIteration(U), it++;
    EXPECT_LT(poissonError(U), 1e-10) << it << " iterations";
    EXPECT_LT(poissonResidual(U), 1e-9 * r0);
}

INSTANTIATE_TEST_SUITE_P(Grids, CfdLinePoisson,
    ::testing::Values(Case{"Even", {10, 9, 8}, {1, 1, 1}, false},
                      Case{"StretchedAndFlat", {12, 10, 6}, {1.25, 0.8, 1.5}, false},
                      Case{"Blocked", {10, 9, 8}, {1.1, 1, 1}, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
