// The stopping tests of the iterative solvers are relative: the same system at the scale of
// trace mass fractions (2^-40, about 1e-12) or of large values (2^40) takes the same
// iterations as at scale 1 and gives the same solution scaled, to the last bit (a power of
// two scales every sum and product exactly). A test of absolute size would stop the small
// system before it had begun and never stop the large one.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/counters.h"
#include "solvers/blas-1-like.h"
#include "solvers/solv-se.h"
#include "solvers/sparse-mat-slv-nonsym.h"
#include "solvers/sparse-mat.h"
#include "tests/solvers/grid-systems.h"
#include "tests/solvers/solver-test-util.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

const double SCALES[3] = {std::ldexp(1.0, -40), 1.0, std::ldexp(1.0, 40)};

// What one solve at one scale gave: the solution divided by the scale, the iteration counts.
struct Solved {
    std::vector<double> x;
    int calls, iterations;
};

void expectSameAtEveryScale(const Solved (&at)[3])
{
    for (int k : {0, 2}) {
        EXPECT_EQ(at[k].calls, at[1].calls) << "scale " << SCALES[k];
        EXPECT_EQ(at[k].iterations, at[1].iterations) << "scale " << SCALES[k];
        EXPECT_EQ(at[k].x, at[1].x) << "scale " << SCALES[k];
    }
}

// A nonsymmetric system of 30 variable equations with a solution between 0.75 and 1.25,
// as the transport systems have: started from 0.9 times it, solved to 1e-6.
class NonsymStop : public SolverTest, public ::testing::WithParamInterface<int> {
protected:
    Solved solveAt(double scale)
    {
        SASN s;
        sasn_newInit(&s);
        Stored st = stored_form(a, false);
        sasn_configure(&s, N, N, (int)st.ija.size() - 1, st.ija.data(), GetParam(), 1e-6f, 1e-20f, 1.0f, 500);
        sasn_prepMat(&s, st.sa.data());
        std::vector<double> b = dense_times(a, xtrue), x = xtrue;
        for (int i = 1; i <= N; i++) {
            b[i] *= scale;
            x[i] *= 0.9 * scale;
        }
        int calls = _NrBCG + _NrSOR, iterations = _NrBCGiter + _NrSORiter;
        EXPECT_EQ(sasn_solve(&s, b.data(), x.data()), 0);
        sasn_free(&s);
        for (int i = 1; i <= N; i++) x[i] /= scale;
        return {x, _NrBCG + _NrSOR - calls, _NrBCGiter + _NrSORiter - iterations};
    }
    static constexpr int N = 30;
    Dense a = random_system(N, 0.3, false, 11);
    std::vector<double> xtrue = [] {
        std::vector<double> v = random_vector(N, 12);
        for (int i = 1; i <= N; i++) v[i] = 1.0 + 0.125 * v[i];
        return v;
    }();
};

TEST_P(NonsymStop, SameIterationsAndSolutionAtEveryScale)
{
    Solved at[3];
    for (int k = 0; k < 3; k++) at[k] = solveAt(SCALES[k]);
    EXPECT_LT(max_diff(at[1].x, xtrue, N), 1e-5);
    EXPECT_GT(at[1].iterations, 2);
    expectSameAtEveryScale(at);
    EXPECT_TRUE(messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Methods, NonsymStop, ::testing::Values((int)SASN_BCG, (int)SASN_SOR),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return std::string(i.param == SASN_BCG ? "Bcg" : "Sor");
                         });

// The airflow solver's conjugate gradients on a 10 x 10 grid Laplacian, from zero, to 1e-8.
class PcgStop : public SolverTest {
protected:
    void TearDown() override
    {
        ssm_fre(&ic);
        SolverTest::TearDown();
    }
    IC_SET ic{};
};

TEST_F(PcgStop, SameIterationsAndSolutionAtEveryScale)
{
    SymSystem s = laplacian(grid_adjacency(10, 10, 1), random_numbering(100, 4), 2);
    ssm_alc(&ic, s.ijf.data(), s.ija.data(), s.n);
    std::vector<double> b1 = random_vector(s.n, 5), p(s.n + 1), r(s.n + 1), z(s.n + 1), zz(s.n + 1);
    Solved at[3];
    for (int k = 0; k < 3; k++) {
        std::vector<double> b = b1, x(s.n + 1, 0.0);
        for (int i = 1; i <= s.n; i++) b[i] *= SCALES[k];
        int calls = _NrPCG, iterations = _NrPCGiter;
        sa_pcg(&ic, s.sa.data(), s.ija.data(), b.data(), x.data(), p.data(), r.data(), z.data(), zz.data(),
               s.n + 10, 1e-8f);
        for (int i = 1; i <= s.n; i++) x[i] /= SCALES[k];
        at[k] = {x, _NrPCG - calls, _NrPCGiter - iterations};
    }
    // The residual of the unscaled solution is within the tolerance of the right-hand side.
    std::vector<double> ax(s.n + 1);
    sa_mlt_xasb(s.sa.data(), s.ija.data(), at[1].x.data(), ax.data(), s.n);
    for (int i = 1; i <= s.n; i++) ax[i] -= b1[i];
    EXPECT_LE(std::sqrt(dsqr1(s.n, ax.data())), 1.001e-8 * std::sqrt(dsqr1(s.n, b1.data())));
    EXPECT_GT(at[1].iterations, 2);
    expectSameAtEveryScale(at);
    EXPECT_TRUE(messages().empty());
}

}  // namespace
