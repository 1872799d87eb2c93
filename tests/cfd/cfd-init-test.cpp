// Field initialisation: the first solve resets every field, imprints the given opening
// pressures and temperatures on the row inside the opening and starts the active species
// at the zone's mass fractions; every solve makes the openings' mass flows and velocities
// agree (worked by hand with a density of 1.2 kg/m3 and areas of 0.5 m2).
#include <gtest/gtest.h>

#include "cfd/cfd-int.h"

using namespace vexlar;

namespace {

class CfdInit : public ::testing::Test {
protected:
    void SetUp() override
    {
        cfd_reset();
        for (int n = 1; n <= 5; n++) CACTIVE[n] = n <= 2;
        cfd_grid_size(3, 3, 3);
        heapgrid();
        for (int i = 2; i <= 4; i++) DELX[i] = DELY[i] = DELZ[i] = 0.5;
        XX = YY = ZZ = 1.5;
        cfd_grid_geometry();
        CACTIVE[2] = 0;   // allocated earlier, not simulated now
        OPERDENS = 1.2, TINIT = 293.0, ANU = 1.5e-5, ITUR = 0, INITYN = 1;
        _cfdzoneMfi[0] = 4e-4;
        NBIN = NBOUT = 0;
        cfd_openings_reserve(2, 2);
    }
    void TearDown() override { cfd_reset(); }

    static void opening(int* L, std::vector<int> r)
    {
        for (int e = 1; e <= 6; e++) L[e] = r[e - 1];
    }
    void inlet(int l, int kind, int code, std::vector<int> r, double mass, double u, double v,
               double w)
    {
        NBIN = l > NBIN ? l : NBIN;
        PITYPE[l] = kind, INTY[l] = code, IMTYPE[l] = 0, AIN[l] = 0.5;
        opening(LBIN[l], r);
        AMASSIN[l] = mass, UBIN[l] = u, VBIN[l] = v, WBIN[l] = w;
    }
    void outlet(int l, int kind, int code, std::vector<int> r, double mass, double v)
    {
        NBOUT = l > NBOUT ? l : NBOUT;
        POTYPE[l] = kind, IOTY[l] = code, OMTYPE[l] = 0, AOU[l] = 0.5;
        opening(LBOUT[l], r);
        AMASSOUT[l] = mass, VBOUT[l] = v;
    }
};

TEST_F(CfdInit, FirstSolveResetsEveryFieldAndStartsActiveSpecies)
{
    U[3][3][3] = 4, P[2][2][2] = 9, T[1][1][1] = 0, C2[3][3][3] = 7;
    init();
    EXPECT_EQ(U[3][3][3], 0.0);
    EXPECT_EQ(P[2][2][2], 0.0);
    EXPECT_EQ(T[1][1][1], 293.0);
    EXPECT_EQ(TOLD[5][5][5], 293.0);
    EXPECT_DOUBLE_EQ(VIS[4][4][4], 1.5e-3);        // 100 times the kinematic viscosity
    EXPECT_EQ(C1[3][3][3], 4e-4);
    EXPECT_EQ(C1OLD[1][5][1], 4e-4);
    EXPECT_EQ(C2[3][3][3], 7.0);                   // an inactive species is left alone
    ITUR = 1;
    init();
    EXPECT_DOUBLE_EQ(VIS[4][4][4], 1.5e-5 * 1.2);  // dynamic viscosity with a turbulence model
    U[3][3][3] = 4;
    INITYN = 0;
    init();
    EXPECT_EQ(U[3][3][3], 4.0);
}

TEST_F(CfdInit, OutletsDeriveTheMissingOfMassFlowAndVelocity)
{
    outlet(1, 1, 2, {5, 5, 2, 4, 2, 4}, 0.0, 2.0);
    outlet(2, 1, 2, {5, 5, 2, 4, 2, 4}, 0.6, 0.0);
    init();
    EXPECT_DOUBLE_EQ(AMASSOUT[1], -1.2);
    EXPECT_DOUBLE_EQ(VBOUT[2], 1.0);
    EXPECT_EQ(AMASSOUT[2], 0.6);
    init();                                        // both given: both stay
    EXPECT_DOUBLE_EQ(AMASSOUT[1], -1.2);
    EXPECT_EQ(VBOUT[1], 2.0);
}

TEST_F(CfdInit, InletsTakeTheInwardNormalVelocityFromTheirMassFlow)
{
    inlet(1, 1, 2, {5, 5, 2, 4, 2, 4}, -0.6, 0.0, 0.0, 0.0);
    inlet(2, 1, 2, {5, 5, 2, 4, 2, 4}, -0.6, 0.3, 0.0, 0.0);
    init();
    EXPECT_EQ(AMASSIN[1], 0.6);
    EXPECT_DOUBLE_EQ(UBIN[1], -1.0);
    EXPECT_EQ(UBIN[2], 0.3);
    inlet(1, 1, 3, {2, 4, 1, 1, 2, 4}, 0.0, 0.0, 0.25, 0.0);
    init();
    EXPECT_DOUBLE_EQ(AMASSIN[1], 0.25 * 1.2 * 0.5);
    inlet(1, 1, 1, {1, 1, 2, 4, 2, 4}, 0.0, -0.5, 0.0, 0.0);
    EXPECT_EXIT(init(), testing::ExitedWithCode(2), "FATAL.*Error of inlet airflow direction setup");
}

TEST_F(CfdInit, FirstSolveImprintsOpeningPressuresOnTheRowInside)
{
    inlet(1, 2, 1, {1, 1, 2, 3, 2, 2}, 0.0, 0.4, 0.7, 0.2);
    PBIN[1] = 5.0, TBIN[1] = 300.0;
    outlet(1, 2, 4, {2, 4, 5, 5, 4, 4}, 0.0, 0.0);
    PBOUT[1] = -3.0;
    init();
    EXPECT_EQ(VBIN[1], 0.0);                       // tangential components cleared
    EXPECT_EQ(WBIN[1], 0.0);
    EXPECT_EQ(UBIN[1], 0.4);
    for (int j = 2; j <= 3; j++) {
        EXPECT_EQ(P[2][j][2], 5.0 - 1e-10);
        EXPECT_EQ(T[2][j][2], 300.0);
    }
    EXPECT_EQ(P[1][2][2], 0.0);
    EXPECT_EQ(P[2][4][2], 0.0);
    for (int i = 2; i <= 4; i++) EXPECT_EQ(P[i][4][4], -3.0 + 1e-10);
    PBIN[1] = 8.0;
    INITYN = 0;
    init();
    EXPECT_EQ(P[2][2][2], 5.0 - 1e-10);
    IOTY[1] = 0;
    INITYN = 1;
    EXPECT_EXIT(init(), testing::ExitedWithCode(2), "FATAL.*Error of outlet opening location");
}

TEST_F(CfdInit, ZeroFlowVelocityInletHoldsItsTangentialVelocitiesOnTheOpeningPlane)
{
    inlet(1, 1, 3, {2, 3, 1, 1, 2, 4}, 0.0, 0.3, 0.0, -0.2);
    inlet(2, 3, 1, {1, 1, 2, 4, 2, 4}, 0.9, 0.0, 0.0, 0.0);
    init();
    EXPECT_EQ(AMASSIN[2], 0.0);                    // coupled inlets carry no given flow
    for (int i = 2; i <= 3; i++)
        for (int k = 2; k <= 4; k++) {
            EXPECT_EQ(U[i][1][k], 0.3);
            EXPECT_EQ(US[i][1][k], 0.3);
            EXPECT_EQ(W[i][1][k], -0.2);
            EXPECT_EQ(WS[i][1][k], -0.2);
            EXPECT_EQ(V[i][1][k], 0.0);
        }
    EXPECT_EQ(U[4][1][2], 0.0);
    EXPECT_EQ(U[2][2][2], 0.0);
}

}  // namespace
