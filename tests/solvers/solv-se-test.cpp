// Dense LU and incomplete-Cholesky conjugate gradients: solutions against a dense
// reference, the stored factors, pivot messages by row, the dump, the counters; PCG on
// grid Laplacians, its exact preconditioner on a tridiagonal system, its zero
// right-hand side, iteration limit and failures.
#include "solvers/solv-se.h"

#include <gtest/gtest.h>

#include "model/counters.h"
#include "solvers/sparse-mat.h"
#include "tests/solvers/grid-systems.h"
#include "tests/solvers/solver-test-util.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class SolvSe : public SolverTest {
protected:
    void TearDown() override
    {
        if (aa) aa = fre_mcT(aa, 1, na, 1, na);
        ssm_fre(&ic);
        SolverTest::TearDown();
    }
    double** dense(const Dense& a)
    {
        na = (int)a.size();
        aa = alc_mcT<double>(1, na, 1, na, "test-aa");
        for (int i = 1; i <= na; i++)
            for (int j = 1; j <= na; j++) aa[i][j] = a[i - 1][j - 1];
        return aa;
    }
    double** aa = nullptr;
    int na = 0;
    IC_SET ic{};
};

class DenseRandom : public SolvSe, public ::testing::WithParamInterface<int> {};

TEST_P(DenseRandom, LUSolvesLikeTheReference)
{
    int n = GetParam();
    Dense a = random_system(n, 0.6, false, 20 + n);
    std::vector<double> b = random_vector(n, 30 + n), x = b;
    dense(a);
    EXPECT_EQ(luf_ge(aa, n), 0);
    lus_ge(aa, x.data(), n);
    EXPECT_LT(max_diff(x, reference_solve(a, b), n), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DenseRandom, ::testing::Values(1, 2, 3, 8, 33),
                         testnames::named([](int n) { return "n" + std::to_string(n); }));

TEST_F(SolvSe, SingleEquationIsSolvedByItsReciprocal)
{
    dense({{4}});
    luf_ge(aa, 1);
    EXPECT_EQ(aa[1][1], 0.25);
    std::vector<double> b = {0, 2};
    lus_ge(aa, b.data(), 1);
    EXPECT_EQ(b[1], 0.5);
}

TEST_F(SolvSe, RowWithZeroLeftEntriesIsNotTouched)
{
    dense({{2, 1, 0}, {0, 3, 1}, {1, 0, 4}});
    luf_ge(aa, 3);
    EXPECT_EQ(aa[2][1], 0.0);
    EXPECT_EQ(aa[2][2], 1.0 / 3.0);
    EXPECT_EQ(aa[2][3], 1.0);
    EXPECT_EQ(aa[3][1], 0.5);                 // L(3,1) = 1 / 2
    EXPECT_EQ(aa[3][2], -0.5 * (1.0 / 3.0));  // (0 - 0.5 x 1) / 3
}

TEST_F(SolvSe, NearZeroPivotIsReportedByRowEvenTheFirst)
{
    dense({{1e-17, 0}, {0, 1}});
    EXPECT_EQ(luf_ge(aa, 2), 1);
    EXPECT_EQ(messages(), std::vector<std::string>{"ERROR Near zero on the diagonal, row 1"});
    EXPECT_EQ(errorCount(), 1);
}

TEST_F(SolvSe, ZeroPivotEndsTheRun)
{
    dense({{1, 2}, {2, 4}});
    _errorAuxFcnP = nullptr;
    EXPECT_EXIT(luf_ge(aa, 2), testing::ExitedWithCode(2), "FATAL Zero on the diagonal, row 2");
}

TEST_F(SolvSe, FactorisationsAreCountedEvenWithoutEquations)
{
    int f = _NrLufGE, s = _NrLusGE;
    EXPECT_EQ(luf_ge(nullptr, 0), 0);
    lus_ge(nullptr, nullptr, 0);
    EXPECT_EQ(_NrLufGE - f, 1);
    EXPECT_EQ(_NrLusGE - s, 1);
}

TEST_F(SolvSe, DumpWritesHeaderRowsAndClosingLine)
{
    dense({{1, 2}, {-3, 0.5}});
    ge_dump(aa, 2, "A");
    EXPECT_EQ(logText(), "Full matrix 'A' (neqn=2):\nrow: A  1             2\n"
                         "  1:  1.000000e+00  2.000000e+00\n"
                         "  2: -3.000000e+00  5.000000e-01\n\n");
    clearLog();
    ge_dump(aa, 1, "B");
    EXPECT_EQ(logText(), "Full matrix 'B' (neqn=1):\nrow: A  1\n  1:  1.000000e+00\n\n");
    clearLog();
    ge_dump(aa, 0, "C");
    EXPECT_EQ(logText(), "Full matrix 'C' (neqn=0):\nrow: A  1\n\n");
}

// ---- incomplete Cholesky conjugate gradients ----

struct Work {
    std::vector<double> p, r, z, zz;
    explicit Work(int n) : p(n + 1), r(n + 1), z(n + 1), zz(n + 1) {}
};

int pcg(IC_SET& ic, SymSystem& s, const std::vector<double>& b, std::vector<double>& x, int itmax,
        float cnvg)
{
    Work w(s.n);
    return sa_pcg(&ic, s.sa.data(), s.ija.data(), b.data(), x.data(), w.p.data(), w.r.data(),
                  w.z.data(), w.zz.data(), itmax, cnvg);
}

Dense dense_of(const SymSystem& s)
{
    Dense a(s.n, std::vector<double>(s.n, 0.0));
    for (int i = 1; i <= s.n; i++) {
        a[i - 1][i - 1] = s.sa[i];
        for (int k = s.ija[i]; k < s.ija[i + 1]; k++)
            a[i - 1][s.ija[k] - 1] = a[s.ija[k] - 1][i - 1] = s.sa[k];
    }
    return a;
}

TEST_F(SolvSe, PcgSolvesGridLaplaciansLikeTheReference)
{
    for (auto dims : {std::vector<int>{12, 10, 1}, std::vector<int>{5, 4, 6}}) {
        Adjacency adj = grid_adjacency(dims[0], dims[1], dims[2]);
        int n = (int)adj.size() - 1;
        SymSystem s = laplacian(adj, random_numbering(n, 2), dims[2] > 1 ? 3 : 2);
        std::vector<double> b = random_vector(n, 3), x(n + 1, 0.0);
        ssm_alc(&ic, s.ijf.data(), s.ija.data(), n);
        int calls = _NrPCG, iters = _NrPCGiter;
        int it = pcg(ic, s, b, x, n + 10, 1e-10f);
        EXPECT_GT(it, 1);
        EXPECT_LT(max_diff(x, reference_solve(dense_of(s), b), n), 1e-8);
        EXPECT_EQ(_NrPCG - calls, 1);
        EXPECT_EQ(_NrPCGiter - iters, it);
    }
    EXPECT_TRUE(messages().empty());
}

TEST_F(SolvSe, IncompleteFactorOfATridiagonalSystemIsExact)
{
    // No fill is possible in a path, so the preconditioner is the inverse itself.
    Adjacency adj = grid_adjacency(40, 1, 1);
    SymSystem s = laplacian(adj, identity_numbering(40), 1);
    std::vector<double> b = random_vector(40, 8), x(41, 0.0);
    ssm_alc(&ic, s.ijf.data(), s.ija.data(), 40);
    EXPECT_EQ(pcg(ic, s, b, x, 50, 1e-12f), 1);
    EXPECT_LT(max_diff(x, reference_solve(dense_of(s), b), 40), 1e-12);
}

TEST_F(SolvSe, ZeroRightHandSideZeroesTheSolutionWithoutIterating)
{
    SymSystem s = laplacian(grid_adjacency(4, 4, 1), identity_numbering(16), 2);
    std::vector<double> b(17, 0.0), x(17, 3.0);
    ssm_alc(&ic, s.ijf.data(), s.ija.data(), 16);
    int iters = _NrPCGiter;
    EXPECT_EQ(pcg(ic, s, b, x, 26, 1e-6f), 0);
    EXPECT_EQ(max_diff(x, std::vector<double>(17, 0.0), 16), 0.0);
    EXPECT_EQ(_NrPCGiter, iters);
}

TEST_F(SolvSe, IterationLimitIsACountedError)
{
    SymSystem s = laplacian(grid_adjacency(10, 10, 1), random_numbering(100, 1), 2);
    std::vector<double> b = random_vector(100, 2), x(101, 0.0);
    ssm_alc(&ic, s.ijf.data(), s.ija.data(), 100);
    int iters = _NrPCGiter;
    EXPECT_EQ(pcg(ic, s, b, x, 2, 1e-12f), 3);
    EXPECT_EQ(messages(), std::vector<std::string>{"ERROR PCG did not converge in 2 iterations"});
    EXPECT_EQ(_NrPCGiter - iters, 3);
}

TEST_F(SolvSe, IndefiniteMatrixFailsTheIncompleteFactor)
{
    Dense a = {{1, 2}, {2, 1}};
    SymSystem s;
    s.n = 2;
    s.ijf = full_pattern(a);
    Stored st = stored_form(a, true);
    s.ija = st.ija;
    s.sa = st.sa;
    std::vector<double> b = {0, 1, 1}, x(3, 0.0);
    ssm_alc(&ic, s.ijf.data(), s.ija.data(), 2);
    _errorAuxFcnP = nullptr;
    EXPECT_EXIT(pcg(ic, s, b, x, 12, 1e-6f), testing::ExitedWithCode(2), "FATAL Matrix factorization failed");
}

TEST_F(SolvSe, PatternEntriesMissingFromTheStoredMatrixAreCrossReferenceErrors)
{
    // The build pattern couples 1 and 3; the stored matrix does not.
    Dense a = {{2, -1, 0}, {-1, 2, -1}, {0, -1, 2}};
    Stored st = stored_form(a, true);
    std::vector<int> ijf = {0, 5, 8, 11, 14, 1, 2, 3, 1, 2, 3, 1, 2, 3};
    ssm_alc(&ic, ijf.data(), st.ija.data(), 3);
    EXPECT_EQ(messages(), std::vector<std::string>{"ERROR A-U cross reference error"});
    ssm_fre(&ic);
    collected().clear();
    std::vector<int> oneway = {0, 5, 8, 10, 11, 1, 2, 3, 1, 2, 2, 3};   // row 3 lacks column 1
    ssm_alc(&ic, oneway.data(), st.ija.data(), 3);
    EXPECT_EQ(messages(), (std::vector<std::string>{"ERROR A-U cross reference error",
                                                     "ERROR U-L cross reference error"}));
}

}  // namespace
