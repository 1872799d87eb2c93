// End-to-end runs of the square cavity heated from one side: the zone "cav" of
// tests/e2e/cfd/cavity.prj is 1 m x 1 m in x-z with one cell along y; its wall x = 0 is held
// 5 K above the zone's 293.15 K and its wall x = 1 m 5 K below, top and bottom are
// adiabatic, air of Prandtl number 0.71 conducts at nu / 0.71, and its one opening to
// outdoors carries no flow. The kinematic viscosity sets the Rayleigh number
// Ra = g beta dT H^3 Pr / nu^2 with beta = 1 / 293.15 K. The steady fields are read back
// from the zone's field file (".var") and compared with the accepted solutions of this
// problem: mean Nusselt numbers 1.118, 2.243 and 4.519 at Ra 1e3, 1e4 and 1e5, and the
// maxima of the horizontal velocity on the vertical centre line and of the vertical
// velocity on the horizontal centre line, 3.649 / 3.697, 16.178 / 19.617 and 34.73 / 68.59
// in units of alpha / H.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "e2e-util.h"
#include "tests/cfd/cfd-cavity.h"

namespace {

const double G = 9.8055, TMEAN = 293.15, DT = 10.0, PR = 0.71;
const double THOT = 25.15 + 273.0, TCOLD = 15.15 + 273.0;   // as the solver holds them [K]

double viscosity(double ra) { return std::sqrt(G * DT / TMEAN * PR / ra); }

std::string replaced(std::string text, const std::string& key, const std::string& value)
{
    for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    return text;
}

// The solver input of an n x n cavity at Rayleigh number ra, ny cells deep (1 m).
std::string cavityInput(int n, double ra, int nitmax, int ny)
{
    std::string t = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/cavity_cav.CFD");
    std::string widths;
    for (int i = 0; i < n; i++) widths += (i ? " " : "") + std::to_string(1.0 / n);
    std::string depths;
    for (int j = 0; j < ny; j++) depths += (j ? " " : "") + std::to_string(1.0 / ny);
    t = replaced(t, "{NY}", std::to_string(ny));
    t = replaced(t, "{DY}", depths);
    char nu[32];
    snprintf(nu, sizeof nu, "%.10g", viscosity(ra));
    t = replaced(t, "{WIDTHS}", widths);
    t = replaced(t, "{N}", std::to_string(n));
    t = replaced(t, "{NU}", nu);
    t = replaced(t, "{CRITE}", "1e-12");
    return replaced(t, "{NITMAX}", std::to_string(nitmax));
}

// The steady fields of the zone, six doubles per cell (i, j, k with k innermost):
// U, V, W, P, T, VIS; at() reads the middle row j.
struct Fields {
    int n, ny;
    std::vector<double> v;
    double at(int i, int j, int k, int f) const
    {
        return v[((size_t)((i - 1) * (ny + 2) + j - 1) * (n + 2) + (k - 1)) * 6 + f];
    }
    double at(int i, int k, int f) const { return at(i, ny / 2 + 2, k, f); }
};

struct Result {
    double nuHot, nuCold;        // mean Nusselt numbers of the two walls
    double uTop, uBottom;        // largest +u above and -u below z = 0.5, on x = 0.5 [alpha / H]
    double wHot, wCold;          // largest +w left and -w right of x = 0.5, on z = 0.5 [alpha / H]
};

Result measure(const Fields& f, double ra)
{
    int n = f.n;
    double h = 1.0 / n, alpha = viscosity(ra) / PR;
    Result r{0, 0, 0, 0, 0, 0};
    // The wall flux is the conduction across the half cell next to each wall.
    for (int k = 2; k <= n + 1; k++) {
        r.nuHot += (THOT - f.at(2, k, 4)) / (h / 2) * h / DT;
        r.nuCold += (f.at(n + 1, k, 4) - TCOLD) / (h / 2) * h / DT;
    }
    // The stream along the top runs from the hot wall to the cold one, the one along the
    // bottom back; the jet rises at the hot wall and falls at the cold one.
    std::vector<double> up, un, wp, wn;
    for (int q = 2; q <= n + 1; q++) {
        double u = f.at(n / 2 + 1, q, 0) / alpha, w = f.at(q, n / 2 + 1, 2) / alpha;
        bool high = q > n / 2 + 1;
        (high ? up : un).push_back(high ? u : -u);
        (high ? wn : wp).push_back(high ? -w : w);
    }
    using vexlar_test::cavity_peak;
    r.uTop = cavity_peak(up), r.uBottom = cavity_peak(un), r.wHot = cavity_peak(wp), r.wCold = cavity_peak(wn);
    return r;
}

struct Case {
    const char* name;
    int n;
    double ra;
    double nu, u, w;             // accepted values; u and w NaN when not compared
    double tolNu, tolU, tolW;    // relative tolerances this grid reaches
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CfdCavityRun : public E2eTest {
protected:
    // Runs the cavity (ny cells deep, with run control's multigrid switch mg) and reads its
    // fields; false when the run or the field file failed.
    bool solve(int n, double ra, int nitmax, Fields* f, int ny = 1, int mg = 0)
    {
        std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
        std::ofstream(dir + "cavity.prj")
            << edited(slurp(src + "cavity.prj"),
                      {{"2 1e-3 0 0 5 1 0 0 0 0", "2 1e-3 0 0 5 1 " + std::to_string(mg) + " 0 0 0"}});
        std::ofstream(dir + "cavity_cav.CFD") << cavityInput(n, ra, nitmax, ny);
        Outcome r = runEngine("cavity.prj", "cavity.prj");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("balance misses"), std::string::npos) << r.err;   // walls in, walls out
        std::string var = slurp(dir + "cavity_cav.var");
        f->n = n, f->ny = ny;
        f->v.resize(var.size() / sizeof(double));
        memcpy(f->v.data(), var.data(), f->v.size() * sizeof(double));
        size_t want = (size_t)(n + 2) * (ny + 2) * (n + 2) * 6;
        EXPECT_EQ(f->v.size(), want);
        return r.status == 0 && f->v.size() == want;
    }
};

class CfdCavity : public CfdCavityRun, public ::testing::WithParamInterface<Case> {};

// The Nusselt numbers and the velocity maxima of both jets come within the tolerance the
// grid reaches; the problem is centro-symmetric, so both walls pass the same heat and the
// rising and falling jets and the upper and lower streams agree closely.
TEST_P(CfdCavity, MatchesTheAcceptedSolution)
{
    const Case& c = GetParam();
    Fields f;
    ASSERT_TRUE(solve(c.n, c.ra, 3000, &f));
    Result r = measure(f, c.ra);
    EXPECT_NEAR(r.nuHot, c.nu, c.tolNu * c.nu);
    EXPECT_NEAR(r.nuCold, c.nu, c.tolNu * c.nu);
    if (!std::isnan(c.u)) {
        EXPECT_NEAR(r.uTop, c.u, c.tolU * c.u);
        EXPECT_NEAR(r.wHot, c.w, c.tolW * c.w);
    }
    EXPECT_NEAR(r.nuHot, r.nuCold, 1e-4 * c.nu);
    EXPECT_NEAR(r.uTop, r.uBottom, 1e-4 * std::fabs(r.uTop) + 1e-9);
    EXPECT_NEAR(r.wHot, r.wCold, 1e-4 * std::fabs(r.wHot) + 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, CfdCavity,
    ::testing::Values(
        // Nearly pure conduction: the temperature is linear across the cavity and Nu = 1.
        // Measured: Nu 1.0000.
        Case{"Conduction", 10, 10.0, 1.0, NAN, NAN, 2e-4, 0, 0},
        // Measured: Nu 1.1238 (+0.5 %), u 3.682 (+0.9 %), w 3.729 (+0.9 %).
        Case{"Ra1e3", 20, 1e3, 1.118, 3.649, 3.697, 0.01, 0.015, 0.015},
        // Measured: Nu 2.2592 (+0.7 %), u 16.167 (-0.1 %), w 19.647 (+0.2 %).
        Case{"Ra1e4", 40, 1e4, 2.243, 16.178, 19.617, 0.012, 0.01, 0.01},
        // Measured: Nu 4.6214 (+2.3 %), u 35.073 (+1.0 %), w 69.115 (+0.8 %).
        Case{"Ra1e5", 40, 1e5, 4.519, 34.73, 68.59, 0.03, 0.015, 0.015}),
    [](const auto& info) { return std::string(info.param.name); });

// Largest difference of the temperatures of two solutions [K].
double largestDifference(const Fields& a, const Fields& b)
{
    double d = 0;
    for (int i = 2; i <= a.n + 1; i++)
        for (int j = 2; j <= a.ny + 1; j++)
            for (int k = 2; k <= a.n + 1; k++) d = std::fmax(d, std::fabs(a.at(i, j, k, 4) - b.at(i, j, k, 4)));
    return d;
}

struct Solvers {
    const char* name;
    int n, ny;
    double ra;
};

void PrintTo(const Solvers& c, std::ostream* os) { *os << c.name; }

class CfdCavityMultigrid : public CfdCavityRun, public ::testing::WithParamInterface<Solvers> {};

// Run control's multigrid switch, 1 or any other nonzero value, solves the 2-D cavity and a
// 3-D one (its side walls no-slip and adiabatic) to the line solver's solution, both walls
// passing the same heat.
TEST_P(CfdCavityMultigrid, ReachesTheLineSolversSolution)
{
    const Solvers& c = GetParam();
    Fields line, mg1, mg2;
    ASSERT_TRUE(solve(c.n, c.ra, 3000, &line, c.ny, 0));
    ASSERT_TRUE(solve(c.n, c.ra, 3000, &mg1, c.ny, 1));
    EXPECT_NE(slurp(dir + "cavity_cav.bal").find("Start steady airflow calculation"), std::string::npos);
    ASSERT_TRUE(solve(c.n, c.ra, 3000, &mg2, c.ny, 2));
    EXPECT_LT(largestDifference(line, mg1), 1e-3);   // both converged to 1e-4 of the 10 K
    EXPECT_EQ(largestDifference(mg1, mg2), 0.0);
    Result r = measure(mg1, c.ra);
    EXPECT_NEAR(r.nuHot, r.nuCold, 1e-4 * r.nuHot);
    EXPECT_GT(r.nuHot, 1.2);
}

INSTANTIATE_TEST_SUITE_P(Grids, CfdCavityMultigrid,
                         ::testing::Values(Solvers{"Flat", 20, 1, 1e4}, Solvers{"Box", 10, 10, 1e4}),
                         [](const auto& info) { return std::string(info.param.name); });

// A grid with no axis of three cells has no coarse level: the solver log says so and the
// line solver runs, to the line solver's solution.
TEST_F(CfdCavityRun, MultigridWithoutACoarseLevelSaysSoAndSolvesByLines)
{
    Fields line, mg;
    ASSERT_TRUE(solve(2, 1e4, 300, &line, 1, 0));
    EXPECT_EQ(slurp(dir + "cavity_cav.bal").find("Multigrid"), std::string::npos);
    ASSERT_TRUE(solve(2, 1e4, 300, &mg, 1, 1));
    EXPECT_NE(slurp(dir + "cavity_cav.bal")
                  .find("Multigrid needs three cells along one axis to coarsen: the line solver is used\n"),
              std::string::npos);
    EXPECT_EQ(largestDifference(line, mg), 0.0);
}

}  // namespace
