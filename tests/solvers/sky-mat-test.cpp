// Skyline matrices: layout and its log lines, loading, the L U and L D L' factors
// against a dense reference on random systems and bit for bit against the row-by-row
// order, the stored factors of a hand-worked case, the pivot messages (first pivot
// included), the dump and the work counters.
#include "solvers/sky-mat.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "model/counters.h"
#include "solvers/blas-1-like.h"
#include "tests/solvers/solver-test-util.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class SkyMat : public SolverTest {
protected:
    void TearDown() override
    {
        sky_fre(&sky);
        SolverTest::TearDown();
    }
    void layout(const Stored& s, int n, int sym, FILE* out = nullptr)
    {
        sky.sym = sym;
        sky_alc(n, s.ija.data(), &sky, out);
    }
    SKY_MAT sky{};
};

// The factorisations of an n-row system from the stored form, solved for b.
std::vector<double> sky_solve(SKY_MAT& sky, Stored& s, int n, bool sym, std::vector<double> b)
{
    sky.sym = sym ? 1 : 0;
    sky_alc(n, s.ija.data(), &sky, nullptr);
    if (sym) {
        fill_sky_s(s.sa.data(), s.ija.data(), &sky);
        luf_sky_s(&sky);
        lus_sky_s(&sky, b.data());
    } else {
        fill_sky_n(&sky, n, s.ija.data(), s.sa.data());
        EXPECT_EQ(luf_sky_n(&sky), 0);
        lus_sky_n(&sky, b.data());
    }
    return b;
}

struct RandomCase {
    int n;
    double density;
    unsigned seed;
};

class SkyRandom : public SkyMat, public ::testing::WithParamInterface<std::tuple<RandomCase, bool>> {};

TEST_P(SkyRandom, FactorsSolveLikeTheDenseReference)
{
    RandomCase c = std::get<0>(GetParam());
    bool sym = std::get<1>(GetParam());
    Dense a = random_system(c.n, c.density, sym, c.seed);
    Stored s = stored_form(a, sym);
    std::vector<double> b = random_vector(c.n, c.seed + 1);
    EXPECT_LT(max_diff(sky_solve(sky, s, c.n, sym, b), reference_solve(a, b), c.n), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Systems, SkyRandom,
                         ::testing::Combine(::testing::Values(RandomCase{1, 0.0, 1}, RandomCase{2, 1.0, 2},
                                                              RandomCase{7, 0.3, 3}, RandomCase{20, 0.1, 4},
                                                              RandomCase{40, 0.05, 5}, RandomCase{60, 0.5, 6},
                                                              RandomCase{41, 0.08, 7}),
                                            ::testing::Bool()),
                         testnames::named([](const std::tuple<RandomCase, bool>& p) {
                             const RandomCase& c = std::get<0>(p);
                             return "n" + std::to_string(c.n) + "_density_" +
                                    testnames::num(c.density) +
                                    (std::get<1>(p) ? "_true" : "_false");
                         }));

// The factors in the order that defines them: row by row, each row of L (and column of U)
// entry by entry, every inner product over dense copies in the kernels' grouped order.
// The factorisations interleave independent rows and columns; they must give these
// numbers bit for bit, since the results of a run depend on every rounding.
struct DenseFactors {
    Dense l, ut;                  // L(i,c) at l[i][c]; U(r,c) at ut[c][r]; 1-based
    std::vector<double> dinv;
};

DenseFactors row_by_row(const Dense& a, const SKY_MAT& sky, bool sym)
{
    int n = (int)a.size();
    DenseFactors d{Dense(n + 1, std::vector<double>(n + 1, 0.0)), Dense(n + 1, std::vector<double>(n + 1, 0.0)),
                   std::vector<double>(n + 1, 0.0)};
    for (int i = 1; i <= n; i++)
        for (int j = 1; j < i; j++) {
            d.l[i][j] = a[i - 1][j - 1];
            d.ut[i][j] = a[j - 1][i - 1];
        }
    auto dot = [](int from, int to, const std::vector<double>& x, const std::vector<double>& y) {
        return to > from ? ddot0(to - from, &x[from], &y[from]) : 0.0;
    };
    for (int i = 1; i <= n; i++) {
        int f = i - sky.lal[i], g = sym ? i : i - sky.lau[i];
        double pivot = a[i - 1][i - 1];
        if (sym) {
            for (int r = f + 1; r < i; r++)
                if (sky.lal[r] > 0) d.l[i][r] -= dot(std::max(f, r - sky.lal[r]), r, d.l[i], d.l[r]);
            double sum = 0.0;
            for (int k = f; k < i; k++) {
                double lk = d.l[i][k] * d.dinv[k];
                sum += lk * d.l[i][k];
                d.l[i][k] = lk;
            }
            pivot -= sum;
        } else {
            for (int c = f; c < i; c++)
                d.l[i][c] = (d.l[i][c] - dot(std::max(f, c - sky.lau[c]), c, d.l[i], d.ut[c])) * d.dinv[c];
            for (int r = g + 1; r < i; r++)
                if (sky.lal[r] > 0) d.ut[i][r] = d.ut[i][r] - dot(std::max(g, r - sky.lal[r]), r, d.l[r], d.ut[i]);
            pivot -= dot(std::max(f, g), i, d.l[i], d.ut[i]);
        }
        d.dinv[i] = 1.0 / pivot;
    }
    return d;
}

TEST_P(SkyRandom, FactorsAreBitForBitThoseOfTheRowByRowOrder)
{
    RandomCase c = std::get<0>(GetParam());
    bool sym = std::get<1>(GetParam());
    Dense a = random_system(c.n, c.density, sym, c.seed);
    Stored s = stored_form(a, sym);
    sky_solve(sky, s, c.n, sym, std::vector<double>(c.n + 1, 1.0));
    DenseFactors d = row_by_row(a, sky, sym);
    for (int i = 1; i <= c.n; i++) {
        ASSERT_EQ(sky.ad[i], d.dinv[i]) << "pivot " << i;
        for (int k = 1; k <= sky.lal[i]; k++) ASSERT_EQ(sky.al[i][k], d.l[i][i - sky.lal[i] - 1 + k]) << i;
        for (int k = 1; !sym && k <= sky.lau[i]; k++)
            ASSERT_EQ(sky.au[i][k], d.ut[i][i - sky.lau[i] - 1 + k]) << i;
    }
}

TEST_F(SkyMat, NonsymmetricFactorsHoldUnitLowerUpperAndReciprocalPivots)
{
    Stored s = stored_form({{2, 1}, {4, 5}}, false);
    layout(s, 2, 0);
    fill_sky_n(&sky, 2, s.ija.data(), s.sa.data());
    luf_sky_n(&sky);
    EXPECT_EQ(sky.al[2][1], 2.0);   // L(2,1) = 4 / 2
    EXPECT_EQ(sky.au[2][1], 1.0);   // U(1,2)
    EXPECT_EQ(sky.ad[1], 0.5);
    EXPECT_EQ(sky.ad[2], 1.0 / 3.0);   // U(2,2) = 5 - 2 x 1
}

TEST_F(SkyMat, OneRowMatrixIsFactorisedByInvertingItsDiagonal)
{
    Stored s = stored_form({{4}}, false);
    std::vector<double> b = {0, 2};
    EXPECT_EQ(sky_solve(sky, s, 1, false, b)[1], 0.5);
    EXPECT_EQ(sky_solve(sky, s, 1, true, b)[1], 0.5);
}

TEST_F(SkyMat, LayoutLogsItsSizeAndFillFraction)
{
    // Rows 1 {1 3}, 2 {2 4}, 3 {1 3}, 4 {2 4}: lower rows 3 and 4 hold 2 each, upper
    // columns 3 and 4 hold 2 each; (4 + 4 + 4) / 16 = 0.75.
    Dense a = {{1, 0, 1, 0}, {0, 1, 0, 1}, {1, 0, 1, 0}, {0, 1, 0, 1}};
    Stored s = stored_form(a, false);
    layout(s, 4, 0, log);
    EXPECT_EQ(logText(), " Skyline Matrix:\n     Number of rows: 4\n     Lower Triangle: 4 elements\n"
                         "     Upper Triangle: 4 elements\n     Fill fraction: 0.750\n");
    clearLog();
    Stored lower = stored_form(a, true);
    layout(lower, 4, 1, log);
    EXPECT_EQ(logText(), " Skyline Matrix:\n     Number of rows: 4\n     Lower Triangle: 4 elements\n"
                         "     Upper Triangle: 0 elements\n     Fill fraction: 0.500\n");
}

TEST_F(SkyMat, FillFractionOfALargeSystemDoesNotOverflow)
{
    // 50000 rows each coupled to its predecessor: (2 x 49999 + 50000) / 50000^2.
    int n = 50000;
    Stored s;
    s.ija.assign(n + 2, 0);
    for (int i = 1; i <= n; i++) {
        s.ija[i] = (int)s.ija.size();
        if (i > 1) s.ija.push_back(i - 1);
        if (i < n) s.ija.push_back(i + 1);
    }
    s.ija[n + 1] = (int)s.ija.size();
    layout(s, n, 0, log);
    EXPECT_NE(logText().find("     Fill fraction: 0.000\n"), std::string::npos);
    EXPECT_EQ(sky.nal, n - 1);
}

TEST_F(SkyMat, KnownColumnsAndUpperEntriesAfterTheDiagonalStayOutOfTheSkyline)
{
    // Rows 1..3 of a 5-equation system; row 2 couples only to known equations 4 and 5.
    Stored s;
    s.ija = {0, 5, 7, 9, 10, 3, 4, 4, 5, 1};
    layout(s, 3, 0);
    EXPECT_EQ(sky.lal[2], 0);
    EXPECT_EQ(sky.lau[2], 0);
    EXPECT_EQ(sky.lau[3], 2);   // from entry (1,3)
    EXPECT_EQ(sky.lal[3], 2);   // from entry (3,1)
    EXPECT_EQ(sky.nal + sky.nau, 4);
    // The symmetric form stops a row at its diagonal: a build pattern lists it before
    // the upper columns, which then add nothing.
    std::vector<int> ijf = {0, 5, 7, 10, 12, 1, 3, 1, 2, 3, 1, 3};
    sky_fre(&sky);
    sky.sym = 1;
    sky_alc(3, ijf.data(), &sky, nullptr);
    EXPECT_EQ(sky.lal[2], 1);
    EXPECT_EQ(sky.lal[3], 2);
    EXPECT_EQ(sky.nal, 3);
}

TEST_F(SkyMat, LoadingClearsTheEnvelopeOutsideThePattern)
{
    Dense a = {{4, 1, 1, 0}, {1, 4, 0, 0}, {1, 0, 4, 0}, {0, 0, 0, 4}};
    Stored s = stored_form(a, false);
    layout(s, 4, 0);
    fill_sky_n(&sky, 4, s.ija.data(), s.sa.data());
    luf_sky_n(&sky);
    ASSERT_NE(sky.au[3][2], 0.0);   // (2,3) and (3,2) filled by the elimination
    ASSERT_NE(sky.al[3][2], 0.0);
    fill_sky_n(&sky, 4, s.ija.data(), s.sa.data());
    EXPECT_EQ(sky.au[3][2], 0.0);
    EXPECT_EQ(sky.al[3][2], 0.0);   // (3,2)
    EXPECT_EQ(sky.al[3][1], 1.0);   // (3,1) from the pattern
}

struct PivotCase {
    int sym;
    double d1, d2;
    const char* message;
};

class SkyPivot : public SkyMat, public ::testing::WithParamInterface<PivotCase> {};

TEST_P(SkyPivot, NearZeroPivotIsACountedErrorWithItsValue)
{
    PivotCase c = GetParam();
    Stored s = stored_form({{c.d1, 0}, {0, c.d2}}, c.sym == 1);
    layout(s, 2, c.sym);
    if (c.sym) {
        fill_sky_s(s.sa.data(), s.ija.data(), &sky);
        luf_sky_s(&sky);
    } else {
        fill_sky_n(&sky, 2, s.ija.data(), s.sa.data());
        EXPECT_EQ(luf_sky_n(&sky), 1);
    }
    EXPECT_EQ(messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(errorCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, SkyPivot,
    ::testing::Values(PivotCase{0, 1, 1e-17, "ERROR Near zero on the diagonal, eqn 2  1e-17"},
                      PivotCase{1, 1, 1e-17, "ERROR Near zero on the diagonal, eqn 2    1e-17"},
                      PivotCase{0, -3e-17, 1, "ERROR Near zero on the diagonal, eqn 1 -3e-17"},
                      PivotCase{1, 1e-17, 1, "ERROR Near zero on the diagonal, eqn 1    1e-17"}),
    testnames::indexed([](const PivotCase& c) {
        return std::string(c.sym ? "sym " : "nonsym ") + c.message;
    }));

TEST_F(SkyMat, ZeroPivotEndsTheRun)
{
    Stored s = stored_form({{1, 1}, {1, 1}}, false);
    layout(s, 2, 0);
    fill_sky_n(&sky, 2, s.ija.data(), s.sa.data());
    _errorAuxFcnP = nullptr;
    EXPECT_EXIT(luf_sky_n(&sky), testing::ExitedWithCode(2), "FATAL Zero on the diagonal, eqn 2");
    Stored z = stored_form({{0, 0}, {0, 1}}, true);
    sky_fre(&sky);
    layout(z, 2, 1);
    fill_sky_s(z.sa.data(), z.ija.data(), &sky);
    EXPECT_EXIT(luf_sky_s(&sky), testing::ExitedWithCode(2), "FATAL Zero on the diagonal, eqn 1");
}

TEST_F(SkyMat, DumpShowsNonzeroStoredElementsByRow)
{
    Stored s = stored_form({{2, 0, -1}, {0.5, 3, 0}, {0, 1, 4}}, false);
    layout(s, 3, 0);
    fill_sky_n(&sky, 3, s.ija.data(), s.sa.data());
    sky_dump(&sky, log);
    EXPECT_EQ(logText(), "Skyline matrix (nn=3):\nrow:  A\n"
                         "  1:  [ 2.0000000e+00] (3 -1.0000000e+00)\n"
                         "  2:  (1  5.0000000e-01) [ 3.0000000e+00]\n"
                         "  3:  (2  1.0000000e+00) [ 4.0000000e+00]\n");
}

TEST_F(SkyMat, EachCallIsCounted)
{
    int before[4] = {_NrLufSkyN, _NrLusSkyN, _NrLufSkyS, _NrLusSkyS};
    Stored s = stored_form({{2, 1}, {1, 2}}, true);
    std::vector<double> b = {0, 3, 3};
    std::vector<double> x = sky_solve(sky, s, 2, true, b);
    EXPECT_DOUBLE_EQ(x[1], 1.0);
    EXPECT_DOUBLE_EQ(x[2], 1.0);
    sky_fre(&sky);
    Stored n = stored_form({{2, 1}, {1, 2}}, false);
    sky_solve(sky, n, 2, false, b);
    lus_sky_n(&sky, b.data());
    EXPECT_EQ(_NrLufSkyN - before[0], 1);
    EXPECT_EQ(_NrLusSkyN - before[1], 2);
    EXPECT_EQ(_NrLufSkyS - before[2], 1);
    EXPECT_EQ(_NrLusSkyS - before[3], 1);
}

}  // namespace
