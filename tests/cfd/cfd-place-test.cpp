// Placement of the input file's cell ranges on a 4 x 3 x 2 grid of uneven widths: face
// codes, array indices and patch areas of openings and walls, solid cells and exposed areas
// of blocks and their source densities, the two-dimensional case, and the location faults.
#include <gtest/gtest.h>

#include "cfd/cfd-int.h"
#include "tests/cfd/cfd-test-file.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdPlace : public ::testing::Test {
protected:
    CfdZoneDir zone;
    CfdFile file;

    void SetUp() override
    {
        VSTEADY = 1, CONTAMINANT = 0, NOC = 1;
        for (int n = 1; n <= 5; n++) CACTIVE[n] = 0;
    }
    void TearDown() override { cfd_reset(); }
    void place()
    {
        zone.open(file.text());
        INITYN = 1;
        input(0);
        inputdata();
    }
};

void expectRange(int* L, std::vector<int> want, const char* what)
{
    for (int e = 1; e <= 6; e++) EXPECT_EQ(L[e], want[e - 1]) << what << " entry " << e;
}

// Widths: x 0.25 0.5 0.75 0.5, y 0.5 0.5 0.5, z 0.4 0.6 (array indices 2.. of each axis).
TEST_F(CfdPlace, OpeningsAndWallsGetFaceCodesIndicesAndAreas)
{
    file.inlets.push_back({"side", {"1,4", "-2,-2", "1,2"}});
    file.outlets.push_back({"inner", {"2,2", "1,3", "2,2"}});
    file.counts = "2,2";
    file.qwalls.push_back({{"1,4", "1,3", "0,0"}, "10,0"});
    place();
    // Low x boundary: stays on the ghost face; along the patch every cell keeps its index.
    expectRange(LBIN[1], {1, 1, 3, 4, 2, 3}, "inlet 1");
    EXPECT_EQ(INTY[1], 1);
    EXPECT_DOUBLE_EQ(AIN[1], (0.5 + 0.5) * (0.4 + 0.6));
    // A negative index is the high face of that cell.
    expectRange(LBIN[2], {2, 5, 3, 3, 2, 3}, "inlet 2");
    EXPECT_EQ(INTY[2], 4);
    EXPECT_DOUBLE_EQ(AIN[2], 2.0 * 1.0);
    // The last cell moves to the high ghost face; a one-cell-wide patch in the first row and
    // layer keeps that cell's area.
    expectRange(LBOUT[1], {6, 6, 2, 2, 2, 2}, "outlet 1");
    EXPECT_EQ(IOTY[1], 2);
    EXPECT_DOUBLE_EQ(AOU[1], 0.5 * 0.4);
    expectRange(LBOUT[2], {3, 3, 2, 4, 3, 3}, "outlet 2");
    EXPECT_EQ(IOTY[2], 1);
    EXPECT_DOUBLE_EQ(AOU[2], 1.5 * 0.6);
    expectRange(LNAW[1], {2, 5, 1, 1, 2, 3}, "temperature wall");
    EXPECT_EQ(ITTY[1], 3);
    expectRange(LNAWQ[1], {2, 5, 2, 4, 4, 4}, "flux wall 1");
    EXPECT_EQ(IQTY[1], 6);
    EXPECT_DOUBLE_EQ(AWQ[1], 2.0 * 1.5);
    // Index 0 leaves a wall without a face code and area.
    expectRange(LNAWQ[2], {2, 5, 2, 4, 1, 1}, "flux wall 2");
    EXPECT_EQ(IQTY[2], 0);
    EXPECT_EQ(AWQ[2], 0.0);
}

TEST_F(CfdPlace, BlocksBecomeSolidCellsOrSourceRegionsWithSourceDensities)
{
    file.blocks.push_back({"shelf", {"4,4", "2,2", "1,1"}, "1,65"});
    file.blocks.push_back({"lamp", {"1,1", "1,3", "2,2"}, "2,300"});
    place();
    expectRange(IBL[1], {3, 4, 3, 3, 2, 2}, "desk");
    for (int i = 2; i <= 5; i++)
        for (int j = 2; j <= 4; j++)
            for (int k = 2; k <= 3; k++)
                EXPECT_EQ(ICELL[i][j][k], (i >= 3 && j == 3 && k == 2)) << i << j << k;
    // Desk: top 0.5x0.5 + 0.75x0.5, both y sides (0.5 + 0.75) x 0.4, x ends 0.5 x 0.4 each;
    // its bottom is the domain boundary.
    double desk = 0.625 + 2 * 0.5 + 2 * 0.2;
    EXPECT_DOUBLE_EQ(TAREA[1], desk);
    EXPECT_DOUBLE_EQ(TSOUU[1], 120 / desk / 1005);
    // Shelf: the face against the desk and the domain boundary do not count.
    double shelf = 0.5 * 0.5 + 2 * 0.5 * 0.4;
    EXPECT_DOUBLE_EQ(TAREA[2], shelf);
    EXPECT_DOUBLE_EQ(TSOUU[2], 65 / shelf / 1005);
    // Lamp: a source region of 0.25 x 1.5 x 0.6 whose cells stay fluid.
    EXPECT_DOUBLE_EQ(TSOUU[3], 300 / (0.25 * 1.5 * 0.6) / 1005);
    EXPECT_EQ(ICELL[2][3][3], 0);
}

TEST_F(CfdPlace, OneCellAcrossXMakesTheGridTwoDimensional)
{
    file.cells = "1,3,2";
    file.dx = "0.3";
    file.window = "1,1,1 1,3,2";
    file.mon = "2,2,2";
    file.ref = "2,2,2";
    file.inlets = {{"floor", {"1,1", "1,1", "1,2"}}};
    place();
    EXPECT_EQ(I2DX, 1);
    EXPECT_EQ(XX, 1.0);
    EXPECT_EQ(DELX[2], 1.0);
    expectRange(LBIN[1], {2, 2, 1, 1, 2, 3}, "inlet");
    EXPECT_EQ(INTY[1], 3);
    EXPECT_DOUBLE_EQ(AIN[1], 0.4 + 0.6);
    expectRange(IBL[1], {2, 2, 3, 3, 2, 2}, "block");
}

struct PlaceFault {
    const char* name;
    void (*change)(CfdFile&);
    const char* message;
};

void PrintTo(const PlaceFault& f, std::ostream* os) { *os << f.name; }

const PlaceFault placeFaults[] = {
    {"InletNotAPlane", [](CfdFile& f) { f.inlets[0].pairs[0] = "1,2"; f.inlets[0].pairs[1] = "1,2"; },
     "CFD input file error inlet location setup"},
    {"OutletAtIndexZero", [](CfdFile& f) { f.outlets[0].pairs[0] = "0,0"; },
     "CFD input file error outlet 1 location outside the grid: \"exhaust\" x cells 0,0, valid one cell of 1 to 4 "
     "or -2 to -4: item 12 \\(openings\\) of .*\\.CFD"},
    {"TemperatureWallNotAPlane", [](CfdFile& f) { f.twalls[0].pairs[1] = "1,2"; },
     "CFD input file error constant temperature wall location setup"},
    {"FluxWallNotAPlane", [](CfdFile& f) { f.qwalls[0].pairs[2] = "1,2"; },
     "CFD input file error constant heat flux wall location setup"},
    {"InletBeyondTheGrid", [](CfdFile& f) { f.inlets[0].pairs[1] = "2,4"; },
     "CFD input file error inlet 1 location outside the grid"},
    {"NegativeAlongAWall", [](CfdFile& f) { f.twalls[0].pairs[0] = "-1,4"; },
     "CFD input file error temperature wall 1 location outside the grid"},
    {"BlockBeyondTheGrid", [](CfdFile& f) { f.blocks[0].pairs[0] = "4,5"; },
     "CFD input file error block 1 location outside the grid"},
    {"XPlaneOnATwoDimensionalGrid",
     [](CfdFile& f) {
         f.cells = "1,3,2", f.dx = "1", f.window = "1,1,1 1,3,1", f.mon = f.ref = "2,2,2";
         f.inlets[0].pairs[1] = "1,3";
     },
     "CFD input file error inlet location setup"},
};

class CfdPlaceFault : public CfdPlace, public ::testing::WithParamInterface<PlaceFault> {};

TEST_P(CfdPlaceFault, EndsTheRunWithItsMessage)
{
    GetParam().change(file);
    EXPECT_EXIT(place(), testing::ExitedWithCode(2), std::string("FATAL.*") + GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(All, CfdPlaceFault, ::testing::ValuesIn(placeFaults),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
