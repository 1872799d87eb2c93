// The Tecplot frame of a small zone: its head, labels, zone line and the cell-centre values
// worked out by hand from staggered velocities set directly, the outlines of an outlet and
// a block, a second frame without labels, and a staggered state left untouched.
#include <string>

#include "cfd/cfd.h"
#include "model/clock.h"
#include "model/prj-data.h"
#include "tests/cfd/cfd-test-grid.h"
#include "tests/cfd/cfd-test-out.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdTecplot : public CfdGrid {
protected:
    ScratchDir scratch;   // the zone's files, removed with the fixture
    std::string dir;
    void SetUp() override
    {
        // Interior 3 x 2 x 2 cells: x faces 0, 0.5, 1.5, 2; y faces 0, 1, 2; z 0, 1.5, 3.
        grid({0.5, 1.0, 0.5}, {1.0, 1.0}, {1.5, 1.5});
        dir = cfd_test_out_dir(scratch);
        strcpy(TITLE, "Room");
        NBL = 1;
        cfd_blocks_reserve(1);
        opening(IBL, 1, {4, 4, 2, 2, 2, 2});   // one solid cell, as placed
        FSBLOC[1] = 1;
        ICELL[4][2][2] = 1;
        strcpy(NMBL[1], "Box\"1\"\n");
        NBOUT = 1;
        cfd_openings_reserve(0, 1);
        opening(LBOUT, 1, {5, 5, 2, 3, 2, 3});   // the whole x-high wall
        IOTY[1] = 2, POTYPE[1] = 0;
        strcpy(NMOUT[1], "Exhaust");
        for (int i = 1; i <= NI; i++)
            for (int j = 1; j <= NJ; j++)
                for (int k = 1; k <= NK; k++) U[i][j][k] = US[i][j][k] = 0.1 + 0.2 * (i - 1);
        fill(V, 0), fill(VS, 0), fill(W, 0.4), fill(WS, 0.4);
        fill(T, 293.15), fill(VIS, 0.25), fill(VTT, -1), fill(P, 0);
        for (int i = 2; i <= IM1; i++)
            for (int j = 2; j <= JM1; j++)
                for (int k = 2; k <= KM1; k++) P[i][j][k] = i + 10 * j;
        PrintGeo = 1;
        _sim_af_dyn = 0, _rcdat.sim_mf = 0, _stepEndTime = 0;   // a steady frame at the clock's time
    }
    void TearDown() override
    {
        _sim_af_dyn = 0;
        CfdGrid::TearDown();
    }
};

const char* POINT_332 =   // cell (3, 3, 2): both x neighbours fluid, so the mean of U[2], U[3]
    "   1.000000e+00    1.500000e+00    7.500000e-01\n"
    "              0\n"
    "              0\n"
    "   2.015000e+01    3.300000e+01    2.500000e-01    4.000000e-01\n"
    "   0.000000e+00    4.000000e-01    5.656854e-01\n\n";

const char* POINT_322 =   // cell (3, 2, 2): solid high neighbour, so the low face U[2]
    "   1.000000e+00    5.000000e-01    7.500000e-01\n"
    "              0\n"
    "              0\n"
    "   2.015000e+01    2.300000e+01    2.500000e-01    3.000000e-01\n"
    "   0.000000e+00    4.000000e-01    5.000000e-01\n\n";

const char* GEOMETRY =
    "GEOMETRY X=0, Y=0, Z=0, C=YELLOW, LT=0.2, T=LINE3D, F=POINT\n4\n"
    "2\n2.000000 0.000000 0.000000\n2.000000 2.000000 0.000000\n"
    "2\n2.000000 0.000000 3.000000\n2.000000 2.000000 3.000000\n"
    "2\n2.000000 0.000000 0.000000\n2.000000 0.000000 3.000000\n"
    "2\n2.000000 2.000000 0.000000\n2.000000 2.000000 3.000000\n"
    "GEOMETRY X=0, Y=0, Z=0, C=CUST1, LT=0.1, T=LINE3D, F=POINT\n12\n"
    "2\n1.500000 0.000000 0.000000\n2.000000 0.000000 0.000000\n";

int count(const std::string& s, const std::string& what)
{
    int n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) n++;
    return n;
}

TEST_F(CfdTecplot, FrameHoldsHeadLabelsZoneCentreValuesAndOutlinesOnce)
{
    double*** before[6] = {U, US, V, VS, W, WS};
    double u342 = U[3][4][2], w422 = W[4][2][2], w421 = W[4][2][1];
    FILE* f = cfd_tecplot_open();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(CPLTE, f);   // the coupling writes through the same stream
    plotvt(f, 1, PrintGeo, 1);
    std::string first = cfd_test_slurp(dir + "/zone.dat");
    EXPECT_EQ(PrintGeo, 0);

    const std::string head = "TITLE=\"Room\"\n"
        "VARIABLES = \"X\",\"Y\",\"Z\",\"BLANK\",\"OBJECTS\",\"T\",\"P\",\"VIS\",\n"
        "\"U\",\"V\",\"W\",\"VTT\"\n"
        "CUSTOMLABELS \"Exhaust\",\"Box1\",\n"
        "ZONE T=\"Time 00:00:00\", I=  5, J=  4, K=  4, F=POINT\n";
    EXPECT_EQ(first.substr(0, head.size()), head);
    EXPECT_NE(first.find(POINT_332), std::string::npos) << first;
    EXPECT_NE(first.find(POINT_322), std::string::npos);
    // The block's centre cell carries label 2 and no velocity; its speed is left as it was.
    EXPECT_NE(first.find("   1.750000e+00    5.000000e-01    7.500000e-01\n"
                         "              1\n              2\n"), std::string::npos);
    EXPECT_EQ(VTT[4][2][2], -1.0);
    EXPECT_EQ(OBJECTNM[5][2][2], 1);
    // 80 points: 18 below the top layer and inside the side walls show their cell flag on a
    // line of its own (6 lines), the others "0 " ahead of the label (5 lines).
    size_t pts = first.find('\n', first.find("ZONE")) + 1, geo = first.find("GEOMETRY");
    EXPECT_EQ(count(first.substr(pts, geo - pts), "\n"), 18 * 6 + 62 * 5);
    EXPECT_EQ(first.substr(geo, strlen(GEOMETRY)), GEOMETRY);
    EXPECT_EQ(count(first, "\n2\n"), 16);
    // Ghost layers take the pressure of the cell inside.
    EXPECT_EQ(P[5][3][2], P[4][3][2]);
    EXPECT_EQ(P[3][1][3], P[3][2][3]);

    // A transient run past midnight names the time of day; no labels or outlines again.
    _sim_af_dyn = 1, CFDTIME = 90061, TIMEMAX = 90061;
    plotvt(f, 1, PrintGeo, 1);
    std::string second = cfd_test_slurp(dir + "/zone.dat").substr(first.size());
    EXPECT_EQ(second.find("CUSTOMLABELS"), std::string::npos);
    EXPECT_EQ(second.find("GEOMETRY"), std::string::npos);
    EXPECT_NE(second.find("ZONE T=\"Time 01:01:01\", I=  5"), std::string::npos);
    EXPECT_NE(second.find(POINT_332), std::string::npos);

    // The staggered state is as it was, although the block's faces were zeroed for the frame.
    double*** after[6] = {U, US, V, VS, W, WS};
    for (int e = 0; e < 6; e++) EXPECT_EQ(before[e], after[e]);
    EXPECT_EQ(U[3][4][2], u342);
    EXPECT_EQ(U[4][2][2], 0.1 + 0.2 * 3);
    EXPECT_EQ(W[4][2][2], w422);
    EXPECT_EQ(W[4][2][1], w421);
    fclose(f);
    TE = CPLTE = nullptr;
}

// Without a stream only the fields are prepared: nothing is written.
TEST_F(CfdTecplot, PreparationAloneWritesNothing)
{
    plotvt(nullptr, 1, PrintGeo, 1);
    EXPECT_DOUBLE_EQ(UP[3][3][2], 0.4);
    EXPECT_DOUBLE_EQ(VTT[2][2][2], 0.5);
    EXPECT_EQ(PrintGeo, 1);
    EXPECT_EQ(OUTPUT, nullptr);
    EXPECT_EQ(cfd_test_slurp(dir + "/zone.out"), "");
    EXPECT_EQ(cfd_test_slurp(dir + "/zone.dat"), "");
}

}  // namespace
