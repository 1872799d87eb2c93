// Coefficients of every CFD equation on a 3 x 3 x 3 grid of unit cells, worked by hand:
// air of viscosity mu = 0.1 kg/(m s) at rest, density 1, false time steps of 10 s.
#include "tests/cfd/cfd-test-grid.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdAssembly : public CfdGrid {
protected:
    void SetUp() override
    {
        grid({1, 1, 1}, {1, 1, 1}, {1, 1, 1});
        ANU = 0.1;
        vistur();
        DTU = DTV = DTW = DTT = DTC = 10;
        URFU = 0.5;
    }
};

// U node 2 lies on the first interior face: its control volume reaches the domain face, so
// its cross-stream links and volume are stretched by (0.5 + 1) / 1; the side walls add
// mu A / (dy / 2) times the same stretch.
TEST_F(CfdAssembly, MomentumNodesNextToWallsAndInTheMiddle)
{
    for (int i = 1; i <= NI; i++)
        for (int j = 1; j <= NJ; j++)
            for (int k = 1; k <= NK; k++) P[i][j][k] = -i;   // 1 Pa per metre along x
    ucompu();
    // middle of the cross-section: AE = mu A / dx, four stretched side links of 0.15
    EXPECT_DOUBLE_EQ(AE[2][3][3], 0.1);
    EXPECT_DOUBLE_EQ(AW[2][3][3], 0.0);
    EXPECT_DOUBLE_EQ(AN[2][3][3], 0.15);
    EXPECT_DOUBLE_EQ(AB[2][3][3], 0.15);
    EXPECT_DOUBLE_EQ(SP[2][3][3], 0.0);
    EXPECT_DOUBLE_EQ(DX[2][3][3], 0.5 * 1 / 0.8);      // urf A / (rho V/dt + sum a)
    EXPECT_DOUBLE_EQ(AP[2][3][3], 0.8 / 0.5);
    EXPECT_DOUBLE_EQ(BS[2][3][3], 1.0 * 1.5);          // dp/dx times the stretched volume
    // next to the y-low wall: no south link, wall shear 0.1 x 1 / 0.5 x 1.5
    EXPECT_DOUBLE_EQ(AS[2][2][3], 0.0);
    EXPECT_DOUBLE_EQ(SP[2][2][3], -0.3);
    EXPECT_DOUBLE_EQ(DX[2][2][3], 0.5 / (0.1 + 0.1 + 0.15 * 3 + 0.3));
    // in a corner both walls act
    EXPECT_DOUBLE_EQ(SP[3][2][2], -0.6);
    EXPECT_DOUBLE_EQ(AE[3][2][2], 0.0);               // the last U node has no east link
}

// In laminar flow the wall shear uses the dynamic viscosity: 10x the density, 10x the drag.
TEST_F(CfdAssembly, LaminarWallShearScalesWithDensity)
{
    OPERDENS = 10;
    vistur();
    vcompu();
    EXPECT_DOUBLE_EQ(SP[2][2][3], -10 * 0.1 * 1 / 0.5 * 1.5);
}

TEST_F(CfdAssembly, PressureCorrectionIsTheMassImbalance)
{
    fill(DX, 0.5), fill(DY, 0), fill(DZ, 0);
    for (int j = 1; j <= NJ; j++)
        for (int k = 1; k <= NK; k++) DX[1][j][k] = DX[IM1][j][k] = 0;   // as momentum leaves them
    U[2][3][3] = 0.2;   // air leaves cell 2 and enters cell 3
    ppcompu();
    EXPECT_DOUBLE_EQ(BS[2][3][3], -0.2);
    EXPECT_DOUBLE_EQ(BS[3][3][3], 0.2);
    EXPECT_DOUBLE_EQ(RESOM, 0.4);
    EXPECT_DOUBLE_EQ(AE[2][3][3], 0.5);
    EXPECT_DOUBLE_EQ(AW[2][3][3], 0.0);   // the face on the domain boundary has no DX
    EXPECT_DOUBLE_EQ(AP[3][3][3], 1.0);
    correc();
    EXPECT_DOUBLE_EQ(PP[2][3][3], 0.0);   // used and cleared
}

// Energy and contaminant links: the mean viscosity over 0.9 and over 1 per metre, none
// toward the ghost layer; the false-time term rho V / dt on the centre.
TEST_F(CfdAssembly, EnergyAndContaminantLinks)
{
    ENERGY = 1;
    fill(TOLD, 300);
    tcompu();
    EXPECT_DOUBLE_EQ(AE[2][2][2], 0.1 / 0.9);
    EXPECT_DOUBLE_EQ(AW[2][2][2], 0.0);
    EXPECT_DOUBLE_EQ(AP[2][2][2], 0.1 + 3 * 0.1 / 0.9);
    EXPECT_DOUBLE_EQ(AP[3][3][3], 0.1 + 6 * 0.1 / 0.9);
    CONTAMINANT = 1, NOC = 1, CACTIVE[1] = 1;
    heapgrid();
    fill(C1OLD, 1e-3);
    CINDEX = 1;
    coeffc(C1, C1OLD);
    EXPECT_DOUBLE_EQ(AN[3][3][3], 0.1);
    EXPECT_DOUBLE_EQ(AP[3][3][3], 0.1 + 0.6);
    EXPECT_DOUBLE_EQ(BS[3][3][3], 0.1 * 1e-3);
}

// The zero-equation viscosity (0.03874 s l + nu) rho takes the speed s at the cell centre,
// the mean of the faces on either side: U 2 m/s on the high face of cell (2, 3, 3) and 0 on
// its low face give 1 m/s; the cell is 0.5 m from x-low. Within a solve the viscosity
// moves half way to the new value each iteration, and settles on it.
TEST_F(CfdAssembly, ZeroEquationViscosityTakesTheCentreSpeed)
{
    ITUR = 2, LAMIN = 0, NITER = 1;
    U[2][3][3] = 2.0;
    vistur();
    const double mu = 0.03874 * 1.0 * 0.5 + 0.1;
    EXPECT_DOUBLE_EQ(VIS[2][3][3], mu);
    EXPECT_DOUBLE_EQ(VIS[1][3][3], VIS[2][3][3]);   // copied to the ghost layer
    NITER = 2;
    U[2][3][3] = 4.0;
    vistur();
    EXPECT_DOUBLE_EQ(VIS[2][3][3], 0.5 * mu + 0.5 * (0.03874 * 2.0 * 0.5 + 0.1));
    for (NITER = 3; NITER < 80; NITER++) vistur();
    EXPECT_NEAR(VIS[2][3][3], 0.03874 * 2.0 * 0.5 + 0.1, 1e-15);
    ITUR = 0, LAMIN = 1;
}

// The wall functions of the k-epsilon model. In the log layer (y* = rho Cmu^1/4 k^1/2 y / mu
// above 11.225) a centre at y with the log law's speed U = u_tau / kappa ln(E y*),
// u_tau = Cmu^1/4 k^1/2, shears its wall by tau_w = mu_w U / y = rho u_tau^2; in the
// viscous sublayer mu_w is the laminar viscosity. Entering air brings k = 1.5 (0.04 U)^2
// and epsilon = k^1.5 / (0.1 h), h the opening's smaller side.
TEST_F(CfdAssembly, KEpsilonWallFunctionAndInflowTurbulence)
{
    OPERDENS = 1.2, ANU = 1.5e-5;
    const double k = 0.01, y = 0.05, ut = pow(0.09, 0.25) * sqrt(k);
    double ys = OPERDENS * ut * y / (ANU * OPERDENS);
    ASSERT_GT(ys, 11.225);
    double Ulog = ut / 0.41 * log(9.793 * ys);
    EXPECT_NEAR(cfd_wall_viscosity(k, y) * Ulog / y, OPERDENS * ut * ut, 1e-12);
    EXPECT_DOUBLE_EQ(cfd_wall_viscosity(1e-8, 1e-3), ANU * OPERDENS);
    double kin = 1.5 * (0.04 * 0.455) * (0.04 * 0.455);
    EXPECT_DOUBLE_EQ(cfd_inflow_turbulence(0, 0.455, 0.168), kin);
    EXPECT_NEAR(cfd_inflow_turbulence(1, 0.455, 0.168), pow(kin, 1.5) / 0.0168, 1e-15);
}

// The face links of a conductance D = 2 with a flow F: the power law keeps
// D (1 - 0.1 |F/D|)^5, here (1 - 0.25)^5 = 243/1024, and nothing of the diffusion once the
// flow is ten times the conductance; upwind keeps D. Air coming in through the face adds
// its flow |F|, air going out adds nothing.
struct LinkCase { int scheme; double F; int sign; double expected; };

class CfdFaceLink : public testing::TestWithParam<LinkCase> {};

TEST_P(CfdFaceLink, PowerLawAndUpwindLinksOfAFace)
{
    LinkCase c = GetParam();
    EXPECT_DOUBLE_EQ(cfd_link(2.0, c.F, c.sign, c.scheme), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Faces, CfdFaceLink,
    testing::Values(LinkCase{2, 5.0, 1, 2.0 * 243 / 1024}, LinkCase{2, 5.0, -1, 2.0 * 243 / 1024 + 5},
                    LinkCase{2, -5.0, 1, 2.0 * 243 / 1024 + 5}, LinkCase{2, 0.0, 1, 2.0},
                    LinkCase{2, 20.0, 1, 0.0}, LinkCase{2, -40.0, 1, 40.0},
                    LinkCase{1, 5.0, 1, 2.0}, LinkCase{1, 5.0, -1, 7.0}));

}  // namespace
