// One case per opening kind on a 3 x 3 x 3 grid of unit cells: what each inlet and outlet
// adds to an equation, and the flows and coefficients the opening update hands back.
#include <cmath>

#include "cfd/cfd.h"
#include "tests/cfd/cfd-test-grid.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdOpenings : public CfdGrid {
protected:
    void SetUp() override
    {
        grid({1, 1, 1}, {1, 1, 1}, {1, 1, 1});
        OPERDENS = 1.2;
        NBIN = NBOUT = 1;
        cfd_openings_reserve(1, 1);
        opening(LBIN, 1, {1, 1, 2, 2, 2, 2});     // x-low, cell (2, 3, 3)
        opening(LBOUT, 1, {3, 3, 2, 2, 2, 2});    // x-high
        PITYPE[1] = POTYPE[1] = 1, IMTYPE[1] = OMTYPE[1] = 1;
        inputdata();
        fill(AW, 9), fill(AE, 9), fill(BS, 0), fill(SP, 0);
    }
};

TEST_F(CfdOpenings, VelocityInletAddsItsMomentumFluxOnlyWithAMassFlow)
{
    UBIN[1] = 2, AMASSIN[1] = 1e-7;
    inletbc(1, 1);
    EXPECT_EQ(AW[2][3][3], 9);   // too little flow: the ghost value stays linked
    AMASSIN[1] = 2.4;
    inletbc(1, 1);
    EXPECT_DOUBLE_EQ(BS[2][3][3], 2.4 * 2 * 1);
    EXPECT_DOUBLE_EQ(SP[2][3][3], -2.4);
    EXPECT_EQ(AW[2][3][3], 0);
}

// Air entering a pressure outlet 2 Pa above the cell follows the orifice law.
TEST_F(CfdOpenings, PressureOutletLetsAirInByTheOrificeLaw)
{
    POTYPE[1] = 2, OMTYPE[1] = 2, PBOUT[1] = 0;
    P[4][3][3] = -2;
    outletbc(1, 4);
    double a = sqrt(2.4) * sqrt(2.0);
    EXPECT_DOUBLE_EQ(SP[4][3][3], -a);
    EXPECT_EQ(AE[4][3][3], 0);
    P[4][3][3] = 2;   // air leaving adds nothing
    fill(SP, 0);
    outletbc(1, 4);
    EXPECT_EQ(SP[4][3][3], 0);
}

TEST_F(CfdOpenings, PressureInletOfZeroCoefficientTakesItsArea)
{
    PITYPE[1] = 2, IMTYPE[1] = 1, COEIN[1] = 0, EXPIN[1] = 0.5, PBIN[1] = 4, TBIN[1] = 300;
    inletbc(1, 4);
    EXPECT_EQ(COEIN[1], AIN[1]);
    EXPECT_DOUBLE_EQ(SP[2][3][3], -2.0);          // |4 - 0|^0.5 per unit area
    EXPECT_DOUBLE_EQ(BS[2][3][3], 300 * 2.0);
}

TEST_F(CfdOpenings, CoupledInletTakesItsVelocityFromTheGhostLayer)
{
    PITYPE[1] = 3;
    US[1][3][3] = 0.5;
    inletbc(1, 1);
    EXPECT_DOUBLE_EQ(SP[2][3][3], -0.6);
    EXPECT_DOUBLE_EQ(BS[2][3][3], 0.6 * 0.5);
}

TEST_F(CfdOpenings, FlowOutletOnlyLosesItsLinksAndAnUnplacedOneNothing)
{
    outletbc(1, 4);
    EXPECT_EQ(AE[4][3][3], 0);
    EXPECT_EQ(BS[4][3][3], 0);
    IOTY[1] = 7;
    fill(AE, 9);
    outletbc(1, 4);
    EXPECT_EQ(AE[4][3][3], 9);
}

// A pressure inlet 2 Pa above its cell: flow sqrt(2 rho dp) per area in, coefficient
// g A / dp, boundary velocity g / rho; a pressure outlet above its cell lets air out.
TEST_F(CfdOpenings, OpeningUpdateGivesFlowsAndCoefficients)
{
    PITYPE[1] = 2, IMTYPE[1] = 2, PBIN[1] = 0;
    POTYPE[1] = 2, OMTYPE[1] = 2, PBOUT[1] = 0;
    P[2][3][3] = -2, P[4][3][3] = 0.5;
    _cpliter = 1;
    updateu(1);
    double g = sqrt(2.4) * sqrt(2.0);
    EXPECT_DOUBLE_EQ(AMASSIN[1], g);
    EXPECT_NEAR(opencoe[1][3][3], g / 2, 1e-9);
    EXPECT_EQ(opencoesv[1][3][3], opencoe[1][3][3]);
    EXPECT_DOUBLE_EQ(U[1][3][3], g / 1.2);
    EXPECT_DOUBLE_EQ(AMASSOUT[1], -1000 * 0.5);
    EXPECT_DOUBLE_EQ(U[4][3][3], 1000 * 0.5 / 1.2);   // leaving along +x
    _cpliter = 3;
    P[2][3][3] = -8;
    double before = opencoe[1][3][3];
    updateu(2);
    EXPECT_EQ(opencoesv[1][3][3], before);
    _cpliter = 0;
}

}  // namespace
