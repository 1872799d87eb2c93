// The line-by-line solver: a line of one cell worked by hand in both sweep directions, the
// pivot floor, the zero ghost layer the y and z sweeps see in STORE, and repeated outer
// iterations reaching the exact discrete solution of 3-D Poisson problems on even,
// stretched and blocked grids, and sweeps equal to the lines solved one after another in
// the plain order.
#include <gtest/gtest.h>

#include <vector>

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

// Each line of a sweep takes the newest values of the lines solved before it, in the order
// outer by outer: k then j for x lines, k then i for y lines, i then j for z lines. The
// reference below solves the lines of V in that order, one at a time, by the textbook
// Thomas algorithm (two divisions per row); the sweep of U must give the same values.
struct Order {
    const char* name;
    int n[3], axis, niter;
};

void PrintTo(const Order& c, std::ostream* os) { *os << c.name; }

class CfdLineOrder : public CfdLine, public ::testing::WithParamInterface<Order> {};

void referenceSweep(int axis, bool forward)
{
    int last[3] = {IM1, JM1, KM1};
    int a1 = axis == 0 ? 1 : 0, a2 = axis == 2 ? 1 : 2;      // the axes off the line
    int outerAxis = axis == 2 ? 0 : 2, innerAxis = axis == 1 ? 0 : 1;
    double*** hi[3] = {AE, AN, AT};
    double*** lo[3] = {AW, AS, AB};
    int n = last[axis];
    std::vector<double> Pf(n + 2), Qf(n + 2);
    int c[3];
    auto at = [&](double*** f, int m, int da, int dd) {
        int q[3] = {c[0], c[1], c[2]};
        q[axis] = m;
        q[da] += dd;
        return f[q[0]][q[1]][q[2]];
    };
    for (c[outerAxis] = 2; c[outerAxis] <= last[outerAxis]; c[outerAxis]++)
        for (c[innerAxis] = 2; c[innerAxis] <= last[innerAxis]; c[innerAxis]++) {
            auto d = [&](int m) {
                return at(BS, m, 0, 0) + at(hi[a1], m, 0, 0) * at(V, m, a1, 1) +
                       at(lo[a1], m, 0, 0) * at(V, m, a1, -1) +
                       at(hi[a2], m, 0, 0) * at(V, m, a2, 1) +
                       at(lo[a2], m, 0, 0) * at(V, m, a2, -1);
            };
            double*** toward = forward ? hi[axis] : lo[axis];
            double*** behind = forward ? lo[axis] : hi[axis];
            int first = forward ? 2 : n, step = forward ? 1 : -1;
            Pf[first - step] = 0.0, Qf[first - step] = at(V, first - step, 0, 0);
            for (int m = first; m >= 2 && m <= n; m += step) {
                double den = at(AP, m, 0, 0) - at(behind, m, 0, 0) * Pf[m - step];
                if (fabs(den) < 1e-10) den = 1e-10;
                Pf[m] = at(toward, m, 0, 0) / den;
                Qf[m] = (d(m) + at(behind, m, 0, 0) * Qf[m - step]) / den;
            }
            double v = at(V, forward ? n + 1 : 1, 0, 0);
            for (int m = forward ? n : 2; m >= 2 && m <= n; m -= step) {
                v = Pf[m] * v + Qf[m];
                int q[3] = {c[0], c[1], c[2]};
                q[axis] = m;
                V[q[0]][q[1]][q[2]] = v;
            }
        }
}

TEST_P(CfdLineOrder, SweepEqualsTheLinesSolvedOneAfterAnother)
{
    const Order& c = GetParam();
    poissonGrid(c.n[0], c.n[1], c.n[2], 1, 1, 1, false);
    randomSystem(17 + c.axis);
    NITER = c.niter;
    referenceSweep(c.axis, c.niter % 2 != 0);
    line_sweep(c.axis, {AP, AE, AW, AN, AS, AT, AB, BS}, IM1, JM1, KM1, U, nullptr);
    int differ = 0;
    for (int i = 1; i <= NI; i++)
        for (int j = 1; j <= NJ; j++)
            for (int k = 1; k <= NK; k++)
                if (fabs(U[i][j][k] - V[i][j][k]) > 1e-12 * (1 + fabs(V[i][j][k]))) differ++;
    EXPECT_EQ(differ, 0);
}

// 7 x 6 x 9 cells leave blocks of fewer than four rows of lines; a flat grid has one line
// per row.
INSTANTIATE_TEST_SUITE_P(Sweeps, CfdLineOrder,
    ::testing::Values(Order{"XForward", {7, 6, 9}, 0, 1}, Order{"XReverse", {7, 6, 9}, 0, 2},
                      Order{"YForward", {7, 6, 9}, 1, 1}, Order{"YReverse", {7, 6, 9}, 1, 2},
                      Order{"ZForward", {7, 6, 9}, 2, 1}, Order{"ZReverse", {7, 6, 9}, 2, 2},
                      Order{"FlatX", {10, 1, 7}, 0, 1}, Order{"FlatZ", {5, 8, 1}, 2, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
