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

// A pressure inlet whose cell lies 0.5 Pa above its boundary pressure lets air out by the
// stiff law, as an outlet does (a warm room at the top of a door); in front of a solid
// cell it passes nothing.
TEST_F(CfdOpenings, PressureInletLetsAirOutAndNotThroughASolid)
{
    PITYPE[1] = 2, IMTYPE[1] = 2, PBIN[1] = 0;
    P[2][3][3] = 0.5;
    updateu(1);
    EXPECT_DOUBLE_EQ(AMASSIN[1], -1000 * 0.5);
    EXPECT_DOUBLE_EQ(U[1][3][3], -1000 * 0.5 / 1.2);   // leaving along -x
    ICELL[2][3][3] = 1;
    updateu(1);
    EXPECT_EQ(AMASSIN[1], 0);
    EXPECT_EQ(opencoe[1][3][3], 0);
    EXPECT_EQ(U[1][3][3], 0);
    ICELL[2][3][3] = 0;
}

// An opening on the face between cells 2 and 3 of x (array cells 3 and 4): the x momentum
// loses its link across the face, while the energy and the species keep theirs both ways,
// so that the two cells exchange equal amounts.
TEST_F(CfdOpenings, InteriorOpeningKeepsTheScalarLinksBothWays)
{
    opening(LBIN, 1, {2, 2, 2, 2, 2, 2});
    opening(LBOUT, 1, {3, 3, 2, 2, 2, 2});   // placed again: placing converts in place
    inputdata();
    ASSERT_EQ(INTY[1], 1);
    PITYPE[1] = 2, IMTYPE[1] = 2, PBIN[1] = 2, TBIN[1] = 300;
    fill(AW, 9), fill(AE, 9), fill(SP, 0), fill(BS, 0);
    inletbc(1, 4);
    EXPECT_EQ(AW[4][3][3], 9);
    EXPECT_EQ(AE[3][3][3], 9);
    EXPECT_DOUBLE_EQ(SP[4][3][3], -sqrt(2.4) * sqrt(2.0));   // the inflow still enters cell 4
    EXPECT_DOUBLE_EQ(BS[4][3][3], 300 * sqrt(2.4) * sqrt(2.0));
    inletbc(1, 1);
    EXPECT_EQ(AW[4][3][3], 0);
}

}  // namespace

// ---- Openings that are mirror images of themselves -----------------------------------------

namespace {

class CfdOpeningEdges : public CfdGrid {};

// An opening of three cells centred on one face of a grid of 5 x 5 x 5 cells whose widths
// (0.5, 1, 2, 1, 0.5 m) are the same read from either end: the terms it adds to any equation
// must then be the same read from either end of each axis along the opening.
enum Kind { VELOCITY_INLET, PRESSURE_INLET, COUPLED_INLET, PRESSURE_OUTLET };
struct MirrorCase { int code; Kind kind; int eqn; };

class CfdMirrorOpening : public CfdGrid, public ::testing::WithParamInterface<MirrorCase> {
protected:
    void SetUp() override
    {
        std::vector<double> w = {0.5, 1, 2, 1, 0.5};
        grid(w, w, w);
        OPERDENS = 1.2;
        NBIN = NBOUT = 1;
        cfd_openings_reserve(1, 1);
        const MirrorCase& c = GetParam();
        int a = face_axis(c.code);
        std::vector<int> box = {2, 4, 2, 4, 2, 4};
        box[2 * a] = box[2 * a + 1] = c.code % 2 ? 1 : 5;
        bool inlet = c.kind != PRESSURE_OUTLET;
        opening(inlet ? LBIN : LBOUT, 1, box);
        opening(inlet ? LBOUT : LBIN, 1, {3, 3, 3, 3, 3, 3});   // placed, never imposed
        PITYPE[1] = c.kind == VELOCITY_INLET ? 1 : c.kind == PRESSURE_INLET ? 2 : 3;
        POTYPE[1] = 2, IMTYPE[1] = OMTYPE[1] = 2;
        inputdata();
        for (double*** f : {AE, AW, AN, AS, AT, AB}) fill(f, 8);
        fill(BS, 0), fill(SP, 0), fill(P, -2), fill(US, 0.5), fill(VS, 0.5), fill(WS, 0.5);
        UBIN[1] = VBIN[1] = WBIN[1] = 0;
        (a == 0 ? UBIN : a == 1 ? VBIN : WBIN)[1] = 2;
        AMASSIN[1] = 1, TBIN[1] = 300, CINDEX = 1, CBINSIDE[1][1] = 0.01;
        // The coupled inlet's boundary layer carries no tangential velocity.
        for (int t = 0; t < 3; t++)
            if (t != a) fill(velocity_star(t), 0);
    }
    // Conductance per unit area of the air entering [kg/(s m2)].
    double conductance() const
    {
        switch (GetParam().kind) {
        case VELOCITY_INLET: return 1.2 * 2;
        case COUPLED_INLET: return 1.2 * 0.5;
        default: return sqrt(2 * 1.2 * 2);   // the orifice law 2 Pa below the boundary
        }
    }
};

// Index of the mirror image of node n along axis t: velocity nodes of that axis lie on the
// faces 1..NMAX-1, every other value at the centres 1..NMAX.
int mirrored(int n, int t, int eqn)
{
    int nmax = t == 0 ? IMAX : t == 1 ? JMAX : KMAX;
    return eqn == t + 1 ? nmax - n : nmax + 1 - n;
}

TEST_P(CfdMirrorOpening, AddsTheSameTermsOnBothSidesOfEachMidPlane)
{
    const MirrorCase& c = GetParam();
    if (c.kind == PRESSURE_OUTLET) outletbc(1, c.eqn);
    else inletbc(1, c.eqn);
    int a = face_axis(c.code);
    for (int t = 0; t < 3; t++) {
        if (t == a) continue;
        for (double*** f : {SP, BS, coef_low(a), coef_high(a)})
            for (int i = 1; i <= IMAX; i++)
                for (int j = 1; j <= JMAX; j++)
                    for (int k = 1; k <= KMAX; k++) {
                        int p[3] = {i, j, k}, m[3] = {i, j, k};
                        m[t] = mirrored(p[t], t, c.eqn);
                        if (m[t] < 1) continue;
                        ASSERT_DOUBLE_EQ(cell(f, p), cell(f, m)) << "axis " << t << " at " << i << ", " << j << ", " << k;
                    }
    }
    // The conductances of the nodes add up to the whole opening's: a node at the opening's
    // edge counts with the part of it that lies in the opening.
    double sum = 0.0;
    cfd_for_cells([&](const int* p) { sum -= cell(SP, p); });
    EXPECT_NEAR(sum, conductance() * 4 * 4, 1e-12);
}

std::vector<MirrorCase> mirrorCases()
{
    std::vector<MirrorCase> v;
    for (int code = 1; code <= 6; code++)
        for (Kind k : {VELOCITY_INLET, PRESSURE_INLET, COUPLED_INLET, PRESSURE_OUTLET})
            for (int eqn = 1; eqn <= (k == PRESSURE_OUTLET ? 4 : 5); eqn++) v.push_back({code, k, eqn});
    return v;
}

std::string mirrorName(const ::testing::TestParamInfo<MirrorCase>& info)
{
    const char* kinds[] = {"VelocityInlet", "PressureInlet", "CoupledInlet", "PressureOutlet"};
    return "Face" + std::to_string(info.param.code) + kinds[info.param.kind] + "Eqn" + std::to_string(info.param.eqn);
}

INSTANTIATE_TEST_SUITE_P(AllFacesKindsAndEquations, CfdMirrorOpening, ::testing::ValuesIn(mirrorCases()), mirrorName);

// A velocity inlet (2 m/s, 1.2 kg/m3) on the interior plane after the second x cell, over y
// cells 2..4 (1, 2 and 1 m wide, between cells of 0.5 m) and the 2 m z cell 3 (between cells
// of 1 m). A v node on the opening's edge has half its control volume (0.5 of 1 m) in the
// opening: it takes the inflow over that part and keeps half its link to the wall beside
// it. Along z the one cell of 2 m gives each of its two w nodes 1 m of 1.5 m.
TEST_F(CfdOpeningEdges, VelocityNodesAtTheEdgesTakeTheirShareOfTheOpening)
{
    std::vector<double> w = {0.5, 1, 2, 1, 0.5};
    grid(w, w, {0.5, 1, 2, 1, 0.5});
    OPERDENS = 1.2;
    NBIN = 1, NBOUT = 0;
    cfd_openings_reserve(1, 1);
    opening(LBIN, 1, {2, 2, 2, 4, 3, 3});
    PITYPE[1] = 1, IMTYPE[1] = 1, UBIN[1] = 2, AMASSIN[1] = 1;
    inputdata();
    fill(AW, 8), fill(SP, 0), fill(BS, 0);
    inletbc(1, 2);
    const double share[] = {0.5, 1, 1, 0.5}, length[] = {0.5, 1.5, 1.5, 0.5};
    for (int j = 2; j <= 5; j++) {
        EXPECT_DOUBLE_EQ(AW[4][j][4], 8 * (1 - share[j - 2])) << j;
        EXPECT_DOUBLE_EQ(SP[4][j][4], -2.4 * length[j - 2] * 2) << j;
    }
    EXPECT_EQ(AW[4][1][4], 8);   // the boundary face is no node of the equation
    EXPECT_EQ(AW[4][6][4], 8);
    fill(AW, 8), fill(SP, 0);
    inletbc(1, 3);
    for (int k = 3; k <= 4; k++) {
        EXPECT_DOUBLE_EQ(AW[4][4][k], 8 * (1 - 1.0 / 1.5)) << k;
        EXPECT_DOUBLE_EQ(SP[4][4][k], -2.4 * 1.0 * 2) << k;
    }
    EXPECT_EQ(AW[4][4][2], 8);
    EXPECT_EQ(AW[4][4][5], 8);
}

}  // namespace
