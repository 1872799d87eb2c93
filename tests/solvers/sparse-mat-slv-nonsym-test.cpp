// Nonsymmetric sparse solver: every method against the dense reference on systems with
// known equations, one preparation serving several right-hand sides, the biconjugate
// gradient's zero right-hand side, clipping and attempt limit, SOR's sweep count and
// warning, pivot reports, an unconfigured solver, and storage released on reconfiguring.
#include "solvers/sparse-mat-slv-nonsym.h"

#include <gtest/gtest.h>

#include "model/counters.h"
#include "solvers/sparse-mat.h"
#include "tests/solvers/solver-test-util.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

// Variable equations 1..nvar coupled among themselves and to the known ones, whose
// rows are identity rows; a positive solution xtrue and b = A xtrue.
struct System {
    int neq = 0, nvar = 0;
    Dense a;
    Stored s;
    std::vector<double> xtrue, b;
};

System make_system(int nvar, int nknown, unsigned seed, double density = 0.3)
{
    System y;
    y.nvar = nvar;
    y.neq = nvar + nknown;
    y.a = random_system(y.neq, density, false, seed);
    for (int k = nvar; k < y.neq; k++)
        for (int j = 0; j < y.neq; j++) y.a[k][j] = j == k ? 1.0 : 0.0;
    y.s = stored_form(y.a, false);
    y.xtrue = random_vector(y.neq, seed + 1);
    for (int i = 1; i <= y.neq; i++) y.xtrue[i] = 1.0 + 0.25 * y.xtrue[i];
    y.b = dense_times(y.a, y.xtrue);
    return y;
}

class Sasn : public SolverTest {
protected:
    void TearDown() override
    {
        sasn_free(&sasn);
        SolverTest::TearDown();
    }
    void configure(System& y, int method, float relcnvg = 1e-12f, int itmax = 2000, float relax = 1.0f)
    {
        sasn_configure(&sasn, y.neq, y.nvar, (int)y.s.ija.size() - 1, y.s.ija.data(), method, relcnvg,
                       0.0f, relax, itmax);
        sa = y.s.sa;
    }
    // x starts at zero with the known values in place.
    std::vector<double> start(const System& y)
    {
        std::vector<double> x(y.neq + 1, 0.0);
        for (int k = y.nvar + 1; k <= y.neq; k++) x[k] = y.xtrue[k];
        return x;
    }
    SASN sasn = [] {
        SASN s;
        sasn_newInit(&s);
        return s;
    }();
    std::vector<double> sa;
};

class SasnMethod : public Sasn, public ::testing::WithParamInterface<int> {};

TEST_P(SasnMethod, SolvesSystemsWithKnownEquations)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        System y = make_system(25, 4, seed);
        configure(y, GetParam());
        ASSERT_EQ(sasn_prepMat(&sasn, sa.data()), 0);
        std::vector<double> b = y.b, x = start(y);
        ASSERT_EQ(sasn_solve(&sasn, b.data(), x.data()), 0);
        EXPECT_LT(max_diff(x, y.xtrue, y.neq), 1e-9) << "seed " << seed;
        for (int k = y.nvar + 1; k <= y.neq; k++) EXPECT_DOUBLE_EQ(x[k], y.b[k]);
    }
    EXPECT_TRUE(messages().empty());
}

TEST_P(SasnMethod, OnePreparationServesSeveralRightHandSides)
{
    System y = make_system(18, 3, 7);
    configure(y, GetParam());
    ASSERT_EQ(sasn_prepMat(&sasn, sa.data()), 0);
    for (int rhs = 0; rhs < 3; rhs++) {
        std::vector<double> xt = y.xtrue;
        for (int i = 1; i <= y.nvar; i++) xt[i] *= 1.0 + 0.5 * rhs;
        std::vector<double> b = dense_times(y.a, xt), x = start(y);
        ASSERT_EQ(sasn_solve(&sasn, b.data(), x.data()), 0);
        EXPECT_LT(max_diff(x, xt, y.neq), 1e-9) << "right-hand side " << rhs;
    }
}

std::string method_name(const ::testing::TestParamInfo<int>& i)
{
    static const char* const names[] = {"Skyline", "Bcg", "Sor", "Dense"};
    return names[i.param];
}

INSTANTIATE_TEST_SUITE_P(Methods, SasnMethod,
                         ::testing::Values((int)SASN_SKYLINE, (int)SASN_BCG, (int)SASN_SOR, (int)SASN_DENSE),
                         method_name);

TEST_F(Sasn, SkylineConfigurationLogsTheSkylineOfTheVariableRows)
{
    System y = make_system(2, 1, 1, 1.0);
    configure(y, SASN_SKYLINE);
    EXPECT_EQ(logText(), " Skyline Matrix:\n     Number of rows: 2\n     Lower Triangle: 1 elements\n"
                         "     Upper Triangle: 1 elements\n     Fill fraction: 1.000\n");
}

TEST_F(Sasn, UnconfiguredSolverRefusesToSolve)
{
    std::vector<double> b = {0, 1}, x = {0, 0};
    EXPECT_EQ(sasn_solve(&sasn, b.data(), x.data()), -1);
}

TEST_F(Sasn, NoVariableEquationsMeansNothingToDo)
{
    System y = make_system(0, 2, 1);
    configure(y, SASN_DENSE);
    EXPECT_EQ(sasn_prepMat(&sasn, sa.data()), 0);
    EXPECT_EQ(sasn.sa, nullptr);
    std::vector<double> b = y.b, x = start(y);
    EXPECT_EQ(sasn_solve(&sasn, b.data(), x.data()), 0);
}

TEST_F(Sasn, ReconfiguringReleasesThePreviousMethodsStorage)
{
    System y = make_system(10, 2, 4);
    int64_t before = net();
    for (int method : {SASN_SKYLINE, SASN_BCG, SASN_SOR, SASN_DENSE, SASN_NONE, SASN_SKYLINE}) configure(y, method);
    sasn_free(&sasn);
    EXPECT_EQ(net(), before);
    EXPECT_EQ(sasn.method, SASN_NONE);
}

TEST_F(Sasn, BcgZeroRightHandSideGivesZeroWithoutScaling)
{
    System y = make_system(6, 0, 2);
    configure(y, SASN_BCG);
    sasn_prepMat(&sasn, sa.data());
    std::vector<double> b(7, 0.0), x(7, 5.0);
    EXPECT_EQ(sasn_solve(&sasn, b.data(), x.data()), 0);
    EXPECT_EQ(max_diff(x, b, 6), 0.0);
    EXPECT_EQ(sa, y.s.sa);
}

TEST_F(Sasn, BcgConfigurationLimitsIterationsByTheEquationCount)
{
    System y = make_system(6, 2, 2);
    configure(y, SASN_BCG, 1e-6f, 3);
    EXPECT_EQ(sasn.itmax, 18);
}

TEST_F(Sasn, BcgClipsNegativeValuesAndGivesUpAfterTwelveAttempts)
{
    // x = (1, -1) solves [[2, 1], [1, 2]] x = (1, -1); the negative value is clipped
    // on every attempt.
    System y;
    y.neq = y.nvar = 2;
    y.a = {{2, 1}, {1, 2}};
    y.s = stored_form(y.a, false);
    configure(y, SASN_BCG);
    sasn_prepMat(&sasn, sa.data());
    std::vector<double> b = {0, 1, -1}, x = {0, 0, 0};
    int attempts = _NrBCG;
    EXPECT_EQ(sasn_solve(&sasn, b.data(), x.data()), 1);
    EXPECT_EQ(_NrBCG - attempts, 12);
    EXPECT_EQ(x[2], 0.0);
}

TEST_F(Sasn, BcgAcceptsOnlyResidualsSmallInMagnitude)
{
    // A loose tolerance stops the first attempt early. One solution value is tiny, so
    // its row's residual decides acceptance; an accepted solution must have every
    // residual, of either sign, within relcnvg of its value (rows scaled by their
    // diagonals).
    int accepted = 0;
    for (unsigned seed = 1; seed <= 40; seed++) {
        System y = make_system(40, 0, seed, 0.3);
        y.xtrue[1 + seed % 40] = 1e-4;
        y.b = dense_times(y.a, y.xtrue);
        configure(y, SASN_BCG, 1e-2f);
        sasn_prepMat(&sasn, sa.data());
        std::vector<double> b = y.b, x = start(y);
        if (sasn_solve(&sasn, b.data(), x.data()) != 0) continue;
        accepted++;
        std::vector<double> ax = dense_times(y.a, x);
        for (int i = 1; i <= y.neq; i++)
            EXPECT_LE(std::fabs(y.b[i] - ax[i]) / y.a[i - 1][i - 1], x[i] * 1e-2 * (1 + 1e-9))
                << "seed " << seed << " row " << i;
    }
    EXPECT_GT(accepted, 30);
}

TEST_F(Sasn, SorConvergedInItsFirstSweepCountsTwo)
{
    System y = make_system(8, 2, 5);
    configure(y, SASN_SOR, 1e-6f, 50);
    sasn_prepMat(&sasn, sa.data());
    std::vector<double> b = y.b, x = y.xtrue;
    int solves = _NrSOR, sweeps = _NrSORiter;
    EXPECT_EQ(sasn_solve(&sasn, b.data(), x.data()), 0);
    EXPECT_EQ(_NrSOR - solves, 1);
    EXPECT_EQ(_NrSORiter - sweeps, 2);
}

TEST_F(Sasn, SorOutOfSweepsWarnsAndStillReturnsZero)
{
    System y = make_system(8, 2, 5);
    configure(y, SASN_SOR, 1e-12f, 3);
    sasn_prepMat(&sasn, sa.data());
    std::vector<double> b = y.b, x = start(y);
    int sweeps = _NrSORiter;
    EXPECT_EQ(sasn_solve(&sasn, b.data(), x.data()), 0);
    EXPECT_EQ(_NrSORiter - sweeps, 4);
    EXPECT_EQ(messages(), std::vector<std::string>{"WARNING SOR did not converge in 3 iterations"});
    EXPECT_EQ(errorCount(), 0);
}

struct PivotCase {
    int method;
    double d;
    const char* message;
};

class SasnPivot : public Sasn, public ::testing::WithParamInterface<PivotCase> {};

TEST_P(SasnPivot, NearZeroDiagonalIsReportedAndReturnsOne)
{
    PivotCase c = GetParam();
    System y;
    y.neq = y.nvar = 2;
    y.a = {{1, 0}, {0, c.d}};
    y.s = stored_form(y.a, false);
    configure(y, c.method);
    EXPECT_EQ(sasn_prepMat(&sasn, sa.data()), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{c.message});
}

INSTANTIATE_TEST_SUITE_P(
    Methods, SasnPivot,
    ::testing::Values(PivotCase{SASN_SKYLINE, 1e-17, "ERROR Near zero on the diagonal, eqn 2  1e-17"},
                      PivotCase{SASN_SOR, 1e-8, "ERROR Near zero on the diagonal, eqn 2"},
                      PivotCase{SASN_DENSE, 1e-17, "ERROR Near zero on the diagonal, row 2"}),
    testnames::named([](const auto& c) { return std::string(c.message); }));

TEST_F(Sasn, ZeroDiagonalUnderSorOrBcgEndsTheRun)
{
    System y;
    y.neq = y.nvar = 2;
    y.a = {{1, 0.5}, {0.5, 0}};
    y.s = stored_form(y.a, false);
    _errorAuxFcnP = nullptr;
    configure(y, SASN_SOR);
    EXPECT_EXIT(sasn_prepMat(&sasn, sa.data()), testing::ExitedWithCode(2), "FATAL Zero on the diagonal, eqn 2");
    configure(y, SASN_BCG);
    sasn_prepMat(&sasn, sa.data());
    std::vector<double> b = {0, 1, 1}, x = {0, 1, 1};
    EXPECT_EXIT(sasn_solve(&sasn, b.data(), x.data()), testing::ExitedWithCode(2),
                "FATAL Zero on the diagonal, eqn 2");
}

}  // namespace
