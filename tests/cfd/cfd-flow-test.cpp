// The CFD zone's flow solution against analytic results on small grids: developed laminar
// channel flow (on uniform and graded grids), conduction between two walls, the mass balance
// of a transported scalar with a source, a closed box of still air that stays still; and the
// ventilated room of the ventilation benchmark against its measurements under both
// turbulence models, and a diverged solve that ends the run.
#include <cmath>

#include "cfd/cfd.h"
#include "model/clock.h"
#include "tests/cfd/cfd-test-file.h"
#include "tests/cfd/cfd-test-grid.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdFlow : public CfdGrid {
protected:
    // A channel along x with a uniform inflow at x-low and the same mass leaving at x-high.
    // before_placing sets up what else the zone holds (in interior cell numbers).
    void channel(int nx, double dx, int ny, double dy, int nz, double dz, double um,
                 void (*before_placing)() = [] {}, int multigrid = 0)
    {
        channel(std::vector<double>(nx, dx), std::vector<double>(ny, dy), std::vector<double>(nz, dz), um,
                before_placing, multigrid);
    }
    void channel(const std::vector<double>& dx, const std::vector<double>& dy, const std::vector<double>& dz,
                 double um, void (*before_placing)() = [] {}, int multigrid = 0)
    {
        int nx = (int)dx.size(), ny = (int)dy.size(), nz = (int)dz.size();
        cfd_test_zone(dx, dy, dz, multigrid);
        NBIN = NBOUT = 1;
        cfd_openings_reserve(1, 1);
        opening(LBIN, 1, {1, 1, 1, ny, 1, nz});
        opening(LBOUT, 1, {nx, nx, 1, ny, 1, nz});
        PITYPE[1] = POTYPE[1] = 1;
        IMTYPE[1] = OMTYPE[1] = 1;
        before_placing();
        inputdata();
        UBIN[1] = um, VBIN[1] = WBIN[1] = 0;
        AMASSIN[1] = OPERDENS * um * AIN[1];
        AMASSOUT[1] = -AMASSIN[1];
    }
};

// Between plates H apart a developed laminar flow of mean speed Um is the parabola
// u = 6 Um eta (1 - eta) and needs the pressure gradient 12 mu Um / H^2. The cells across
// the channel are uniform, or grow by a factor from the low plate to the high one, so that
// the two plates' first cells differ in size (each wall shears over its own distance). On
// the graded grid the high plate's first cell is 0.19 H wide, and the linear profile over its
// half width takes about 10 % less shear there than the parabola: the pressure gradient
// comes out about 3 % low, the profile within 0.036 Um (taking the low plate's distance at
// both plates made it 30 % high and 0.08 Um off).
struct ChannelCase { int multigrid; double growth, uTolerance, dpTolerance; const char* name; };

class CfdChannel : public CfdFlow, public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(CfdChannel, DevelopsPoiseuilleProfileAndPressureGradient)
{
    const ChannelCase c = GetParam();
    const double H = 1.0, L = 8.0, um = 0.1;
    std::vector<double> dy(12, 1.0);
    for (size_t j = 1; j < dy.size(); j++) dy[j] = dy[j - 1] * c.growth;
    double sum = 0;
    for (double w : dy) sum += w;
    for (double& w : dy) w *= H / sum;
    channel(std::vector<double>(40, L / 40), dy, std::vector<double>(1, 1.0), um, [] {}, c.multigrid);
    solveSteady();
    ASSERT_LT(resomnr, CRITE) << "not converged in " << NITER << " iterations";
    double mu = ANU * OPERDENS;
    int i = 32;   // developed: the entrance length at Re 10 is about 0.6 H
    double dpdx = (P[i][5][2] - P[i + 1][5][2]) / DELXC[i];
    EXPECT_NEAR(dpdx, 12 * mu * um / (H * H), c.dpTolerance * 12 * mu * um / (H * H));
    for (int j = 2; j <= JM1; j++) {
        double eta = Y[j] / H;
        EXPECT_NEAR(U[i][j][2], 6 * um * eta * (1 - eta), c.uTolerance * um) << "j " << j;
    }
    double q = 0;
    for (int j = 2; j <= JM1; j++) q += OPERDENS * U[i][j][2] * AREX[j][2];
    EXPECT_NEAR(q, AMASSIN[1], 1e-6 * AMASSIN[1]);   // every section carries the inflow
}

INSTANTIATE_TEST_SUITE_P(Grids, CfdChannel,
                         ::testing::Values(ChannelCase{0, 1.0, 0.012, 0.02, "Line"},
                                           ChannelCase{1, 1.0, 0.012, 0.02, "Multigrid"},
                                           ChannelCase{0, 1.2, 0.04, 0.04, "LineGraded"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A ventilated room 4 x 4 x 3 m (12 x 10 x 8 cells, zero-equation turbulence): 0.1 kg/s
// blown in high on the x-low wall, an exhaust low on the x-high wall held at 20 Pa. The
// field starts at rest and at 0 Pa beside the exhaust's 20 Pa, so the first iterations
// carry a mass residual thousands of times the inflow; the solution declared converged
// still closes continuity to the criterion times the inflow, in every section and at the
// exhaust.
TEST_F(CfdFlow, ConvergedRoomCarriesItsInflowToTheCriterion)
{
    const double m = 0.1;
    cfd_test_zone(std::vector<double>(12, 4.0 / 12), std::vector<double>(10, 0.4),
                  std::vector<double>(8, 0.375), 1);
    OPERDENS = 1.2, ANU = 1.5e-5, LAMIN = 0;
    URFU = URFV = URFW = 0.5;
    UMIN = VMIN = WMIN = -10, UMAX = VMAX = WMAX = 10;
    NBIN = NBOUT = 1;
    cfd_openings_reserve(1, 1);
    opening(LBIN, 1, {1, 1, 5, 6, 7, 7});
    opening(LBOUT, 1, {12, 12, 5, 6, 1, 2});
    PITYPE[1] = IMTYPE[1] = 1;
    POTYPE[1] = OMTYPE[1] = 2, PBOUT[1] = 20, PBYN = 1;
    inputdata();
    AMASSIN[1] = m;
    init();   // the inlet's velocity from its flow, the exhaust's pressure on its row
    CRITE = 1e-3;
    solveSteady();
    ASSERT_LT(resomnr, CRITE) << "not converged in " << NITER << " iterations";
    EXPECT_GT(RP0, 1000 * m);            // the start-up transient
    EXPECT_LE(RESOM, CRITE * m);         // every cell's imbalance together
    for (int i = 2; i <= IM2; i++) {
        double q = 0;
        for (int j = 2; j <= JM1; j++)
            for (int k = 2; k <= KM1; k++) q += OPERDENS * U[i][j][k] * AREX[j][k];
        EXPECT_NEAR(q, m, CRITE * m) << "section " << i;
    }
    updateu(2);
    EXPECT_NEAR(-AMASSOUT[1], m, 1.5 * CRITE * m);
}

// Still air between a cool and a warm wall conducts a linear profile, on an uneven grid.
TEST_F(CfdFlow, ConductionBetweenTwoWallsIsLinear)
{
    grid({0.5, 0.5, 0.5}, {0.1, 0.3, 0.2, 0.4}, {0.5, 0.5});
    ENERGY = 1;
    NAWT = 2;
    cfd_twalls_reserve(2);
    opening(LNAW, 1, {1, 3, 1, 1, 1, 2});
    opening(LNAW, 2, {1, 3, 4, 4, 1, 2});
    inputdata();
    TNAW[1] = 283.0, TNAW[2] = 303.0;
    for (int it = 0; it < 200; it++) {
        NITER = it + 1;
        tcompu();
    }
    for (int i = 2; i <= IM1; i++)
        for (int j = 2; j <= JM1; j++)
            for (int k = 2; k <= KM1; k++)
                EXPECT_NEAR(T[i][j][k], 283.0 + 20.0 * Y[j] / YY, 1e-9) << i << j << k;
    EXPECT_LT(RESOT / RT0, 1e-12);
}

// A scalar carried by a plug flow leaves at the rate it enters plus its source.
TEST_F(CfdFlow, ScalarLeavesAtInflowPlusSource)
{
    channel(8, 0.5, 3, 0.4, 3, 0.3, 0.5, [] {
        CONTAMINANT = 1, NOC = 1, CACTIVE[1] = 1;
        heapgrid();
        NBL = 1;
        cfd_blocks_reserve(1);
        opening(IBL, 1, {4, 5, 2, 2, 1, 3});
        FSBLOC[1] = 2;
        CSOU[1][1] = 2e-6;   // kg/s
        CBIN[1][1] = CBINSIDE[1][1] = 1e-3;
    });
    fill(U, 0.5), fill(V, 0), fill(W, 0);   // continuity holds in every cell
    fill(C1, 0), fill(C1OLD, 0);
    computec();
    double m = AMASSIN[1];
    char buf[8192] = {0};
    RE = fmemopen(buf, sizeof buf, "w");
    chkctm();
    fclose(RE);
    RE = nullptr;
    EXPECT_NEAR(INCTM, 1e-3 * m + 2e-6, 1e-15);
    EXPECT_NEAR(-CBOUT[1][1] * AMASSOUT[1], 1e-3 * m + 2e-6, 1e-9 * (1e-3 * m + 2e-6))
        << buf;
    EXPECT_NEAR(SUMM, m, 1e-12);   // the outlet patch carries the inflow
    EXPECT_NE(std::string(buf).find("  *Contaminant#1 \n"), std::string::npos) << buf;
}

// A closed box of air at the mean temperature has nothing to move it.
TEST_F(CfdFlow, QuiescentBoxStaysAtRest)
{
    grid({0.5, 0.5, 0.5}, {0.5, 0.5, 0.5}, {0.4, 0.4, 0.4});
    ENERGY = 1;
    NITMAX = 30;
    solveSteady();
    EXPECT_EQ(NITER, 30);          // RP0 stays 0, so the criterion never stops the loop
    EXPECT_EQ(resomnr, 1e10);
    EXPECT_EQ(RESOM, 0.0);
    for (int i = 1; i <= NI; i++)
        for (int j = 1; j <= NJ; j++)
            for (int k = 1; k <= NK; k++) {
                EXPECT_EQ(U[i][j][k], 0.0);
                EXPECT_EQ(V[i][j][k], 0.0);
                EXPECT_EQ(W[i][j][k], 0.0);
                EXPECT_EQ(P[i][j][k], 0.0);
            }
    EXPECT_NEAR(T[3][3][3], TINIT, 1e-9);
}


// The steady loop takes the second false time steps at ISTEP and, with STEP 2, makes the
// velocity and temperature steps ten times longer at 2 ISTEP; the residual line shows
// each residual over its normaliser.
TEST_F(CfdFlow, FalseTimeStepScheduleAndResidualLine)
{
    grid({0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5});
    STEP = 2, ISTEP = 2, CDTU = CDTV = CDTW = 3, CDTT = 4, CDTC = 5;
    simple_iteration(1);
    EXPECT_EQ(DTU, 1e30);
    simple_iteration(1);
    EXPECT_EQ(DTU, 3);
    EXPECT_EQ(DTC, 5);
    simple_iteration(1);
    simple_iteration(1);
    EXPECT_EQ(DTU, 30);
    EXPECT_EQ(DTT, 40);
    EXPECT_EQ(DTC, 5);
    RESOM = 0.5, RP0 = 2, RESOU = 1, RU0 = 4, RESOV = RESOW = RESOT = 0;
    testing::internal::CaptureStderr();
    prsour();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              " I=4, Continuity=2.5e-01, U=2.5e-01, V=0.0e+00, W=0.0e+00, Energy=0.0e+00, "
              "Continuity_A=5.0e-01\n");
}

// ---- The driver ----------------------------------------------------------------------------------

class CfdDriver : public ::testing::Test {
protected:
    CfdZoneDir zone;
    CfdFile file;

    void SetUp() override
    {
        VSTEADY = 1, CSTEADY = 1, CONTAMINANT = 0, NOC = 0, CACTIVE[1] = 0;
        _time_step = 60, _time_list = 600, _simEndTime = 7200;
        _rcdat.start_time = 0, _rcdat.cfd_mg = 0, CFDTIME = 0, _cpliter = 0, _doneflow = 0;
        OPERDENS = 1.2;   // the coupling's density: the file's own is not read
        file.switches = "1,0,0";   // start from the saved fields
        file.crite = "0.001,3";
        file.energy = "0";
        file.qwalls[0].value = "50,0";
        zone.write(".CFD", file.text());
    }
    void TearDown() override { cfd_reset(); }
    // A restart file of six values per cell, all fields at the value v.
    void writeVar(double v)
    {
        std::string bytes;
        for (int c = 0; c < 6 * IMAX * JMAX * KMAX; c++) bytes.append((const char*)&v, sizeof v);
        zone.write(".var", bytes);
    }
};

// The saved fields start the first solve only; a later call keeps its own fields.
TEST_F(CfdDriver, SavedFieldsAreReadOnTheFirstSolveOnly)
{
    IMAX = 6, JMAX = 5, KMAX = 4;   // the grid of the file: 4 x 3 x 2 cells
    writeVar(0.0);
    testing::internal::CaptureStderr();
    flow(0);
    EXPECT_EQ(NITER, 3);
    if (VA) fclose(VA), VA = nullptr;
    writeVar(7.0);
    U[3][2][2] = 0.125;
    _doneflow = 1;   // the coupling marks the steady airflow done
    CFDTIME = 60;
    flow(0);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(INITYN, 0);
    EXPECT_EQ(U[3][2][2], 0.125);
    EXPECT_NE(out.find("ZFLO simulation completed"), std::string::npos) << out;
    EXPECT_EQ(out.find("Start steady airflow calculation...", out.find("ZFLO")), std::string::npos);
}

}  // namespace

// ---- The ventilated room ---------------------------------------------------------------------------

namespace {

// The two-dimensional ventilated room of the ventilation benchmark: L = 9 m along x, H = 3 m
// along y (the vertical), one cell of 1 m deep; a slot h = 0.168 m under the ceiling in the
// wall x = 0 blows U0 = 0.455 m/s along x, an opening t = 0.48 m on the floor of the wall x = L
// lets the same air out; air of 15.3e-6 m2/s (Re = U0 h / nu = 5000).
const double ROOM_L = 9.0, ROOM_H = 3.0, ROOM_U0 = 0.455, ROOM_SLOT = 0.168;

// Measured u / U0 at x = 2H against the depth under the ceiling over H.
const double ROOM_PROFILE[][2] = {{0.06, 0.64}, {0.09, 0.61}, {0.11, 0.56}, {0.14, 0.50}, {0.18, 0.41},
                                  {0.22, 0.34}, {0.29, 0.20}, {0.36, 0.10}, {0.43, 0.06}, {0.51, 0.00},
                                  {0.59, -0.06}, {0.66, -0.13}, {0.73, -0.19}, {0.80, -0.23}, {0.84, -0.25},
                                  {0.88, -0.26}, {0.92, -0.28}, {0.955, -0.29}, {0.99, -0.29}};

class CfdRoom : public CfdFlow {
protected:
    // The room on a coarse grid: 30 columns of 0.3 m; rows of 0.24 m at the outlet on the
    // floor, the slot's own row of 0.168 m under the ceiling and rows growing from it to the
    // floor between. Turbulence model `model`, false time step dt [s] (1e30: none).
    void room(int model, double dt)
    {
        std::vector<double> dy = {0.24, 0.24, 0.332, 0.36, 0.36, 0.34, 0.30, 0.26, 0.22, 0.18, ROOM_SLOT};
        cfd_test_zone(std::vector<double>(30, ROOM_L / 30), dy, std::vector<double>(1, 1.0));
        OPERDENS = 1.2, ANU = 15.3e-6, LAMIN = 0, ITUR = model;   // upwind
        URFU = URFV = URFW = 0.5, URFP = 0.3;
        DTU = DTV = DTW = DTT = dt;
        UMIN = VMIN = WMIN = -1, UMAX = VMAX = WMAX = 1;
        CRITE = 1e-4, NITMAX = 4000;
        int ny = (int)dy.size();
        NBIN = NBOUT = 1;
        cfd_openings_reserve(1, 1);
        opening(LBIN, 1, {1, 1, ny, ny, 1, 1});
        opening(LBOUT, 1, {30, 30, 1, 2, 1, 1});
        PITYPE[1] = POTYPE[1] = 1;
        IMTYPE[1] = OMTYPE[1] = 1;
        inputdata();
        UBIN[1] = ROOM_U0, VBIN[1] = WBIN[1] = 0;
        AMASSIN[1] = OPERDENS * ROOM_U0 * AIN[1];
        AMASSOUT[1] = -AMASSIN[1];
        init();
        vistur();
    }
    // Net flow through the vertical section nearest x [kg/s].
    static double sectionFlow(double x)
    {
        int i = 2;
        while (i < IM2 && fabs(XF[i + 1] - x) < fabs(XF[i] - x)) i++;
        double q = 0;
        for (int j = 2; j <= JM1; j++) q += OPERDENS * U[i][j][2] * AREX[j][2];
        return q;
    }
    // u / U0 at x = X on the row whose centre is y under the ceiling, linearly between
    // the faces and rows around it.
    static double profile(double x, double depth)
    {
        double y = ROOM_H - depth;
        int i = 2;
        while (i < IM2 && XF[i + 1] <= x) i++;
        double fx = (x - XF[i]) / (XF[i + 1] - XF[i]);
        int j = 2;
        while (j < JM1 && Y[j + 1] <= y) j++;
        double fy = y <= Y[2] ? 0 : y >= Y[JM1] ? 1 : (y - Y[j]) / (Y[j + 1] - Y[j]);
        int j1 = y >= Y[JM1] ? JM1 : j + 1;
        double u0 = U[i][j][2] * (1 - fx) + U[i + 1][j][2] * fx, u1 = U[i][j1][2] * (1 - fx) + U[i + 1][j1][2] * fx;
        return (u0 * (1 - fy) + u1 * fy) / ROOM_U0;
    }
};

// Both turbulence models converge on the coarse grid and carry the inlet's U0 h per metre
// through the vertical sections x = H and x = 2H.
class CfdRoomModel : public CfdRoom, public ::testing::WithParamInterface<int> {};

TEST_P(CfdRoomModel, ConvergesAndEverySectionCarriesTheInflow)
{
    room(GetParam(), 1.0);
    solveSteady();
    ASSERT_LT(resomnr, CRITE) << "not converged in " << NITER << " iterations";
    double m = OPERDENS * ROOM_U0 * ROOM_SLOT;
    EXPECT_NEAR(sectionFlow(ROOM_H), m, 1e-3 * m);
    EXPECT_NEAR(sectionFlow(2 * ROOM_H), m, 1e-3 * m);
}

INSTANTIATE_TEST_SUITE_P(Models, CfdRoomModel, ::testing::Values(2, 1),
                         [](const auto& info) { return info.param == 1 ? "KEpsilon" : "ZeroEquation"; });

// The k-epsilon model against the measurements: the profile at x = 2H within 0.1 U0 at every
// measured depth (the grid has 11 rows, the jet two of them, so its peak under the ceiling
// comes out 0.08 U0 low; the digitised data hold to 0.03 U0 and the model room is slightly
// three-dimensional); the jet along the ceiling to the far wall; and the floor's return flow
// between x = H and x = L - H peaking in 0.1 to 0.35 U0 (reported 0.1 to 0.2 U0, measured
// 0.29 U0 at x = 2H; the floor row's centre lies 0.12 m above it). The residual line
// carries the residuals of k and epsilon.
TEST_F(CfdRoom, KEpsilonMatchesTheMeasuredProfileAndJet)
{
    room(1, 1.0);
    solveSteady();
    ASSERT_LT(resomnr, CRITE) << "not converged in " << NITER << " iterations";
    for (auto& r : ROOM_PROFILE) EXPECT_NEAR(profile(2 * ROOM_H, r[0] * ROOM_H), r[1], 0.1) << "depth " << r[0];
    double back = 0;
    for (int i = 2; i <= IM2; i++) {
        EXPECT_GT(U[i][JM1][2], 0.1 * ROOM_U0) << "the jet leaves the ceiling at x " << XF[i];
        if (XF[i] >= ROOM_H && XF[i] <= ROOM_L - ROOM_H) back = fmax(back, -U[i][2][2] / ROOM_U0);
    }
    EXPECT_GE(back, 0.1);
    EXPECT_LE(back, 0.35);
    testing::internal::CaptureStderr();
    prsour();
    std::string line = testing::internal::GetCapturedStderr();
    EXPECT_NE(line.find(", K="), std::string::npos) << line;
    EXPECT_NE(line.find(", Epsilon="), std::string::npos) << line;
}

// Without false time steps, with the power law and relaxation factors of 0.7 the room's
// solution runs away within tens of iterations: the run ends with a FATAL naming the zone
// and the residuals.
TEST_F(CfdRoom, DivergedSolveEndsTheRun)
{
    room(2, 1e30);
    DIFFSMU = DIFFSMV = DIFFSMW = 2;
    URFU = URFV = URFW = 0.7;
    snprintf(_cfdpname, sizeof _cfdpname, "room");
    EXPECT_EXIT(solveSteady(), testing::ExitedWithCode(2),
                "FATAL CFD zone room diverged at iteration [0-9]+: continuity residual .*U .*, V .*largest speed");
}

}  // namespace
