// Short-time-step set-up: duct cell rings sized from the requested cell length, points and
// boxes placed in one-dimensional zones, and the stability limit of the zone step.
#include "contaminant/sts-init.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/source-lists.h"
#include "model/run-control.h"
#include "model/sts-links.h"
#include "tests/contaminant/sts-test-util.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

// Four 1 m cells along x from (0, 0, 0) to (4, 0, 0).
Cd1Zone corridor(AirNode* n, ZoneCell* cells)
{
    Cd1Zone z{};
    z.node = n;
    z.cell_count = 4;
    z.cell_length = 1.0f;
    z.inv_cell_length = 1.0f;
    z.end_points[3] = 4.0f;
    z.direction[0] = 1.0f;
    z.cells = cells;
    return z;
}

class StsInit : public ::testing::Test {
protected:
    void SetUp() override
    {
        _nctm = 2;
        scratch.open();
    }
    void TearDown() override
    {
        scratch.close(false);   // the sums are sized by the junction list: before it is dropped
        _jctn0 = nullptr;
        _duct0 = nullptr;
        _afnd0 = nullptr;
        _rcdat.sts_cells = 0;
    }
    StsScratch scratch;   // the cells come from the test's own pool
};

TEST_F(StsInit, DuctsAreDividedIntoRingsOfCellsHoldingTheUpstreamAir)
{
    // Junctions 1 and 2; ducts of 2 m (4 cells of 0.5 m), of 0.05 m (exactly a tenth of a
    // cell: 1 cell) and of 0.04 m (none). The first duct flows backwards: its cells hold
    // junction 2's air.
    AirNode a{}, b{};
    double mfa[2] = {0.1, 0.2}, mfb[2] = {0.3, 0.4};
    a.mf = mfa;
    b.mf = mfb;
    JunctionNode ja{}, jb{};
    ja.node = &a;
    jb.node = &b;
    ja.next = &jb;
    _jctn0 = &ja;
    AirPath p[3]{};
    DuctLagData lag[3]{};
    DuctLink d[3]{};
    float lengths[3] = {2.0f, 0.05f, 0.04f};
    double ends[3][3][2]{};
    for (int i = 0; i < 3; i++) {
        lag[i].mf_start = ends[i][0];
        lag[i].mf_end = ends[i][1];
        lag[i].outlet_mf = ends[i][2];
        p[i].from_node = &a;
        p[i].to_node = &b;
        lag[i].length = lengths[i];
        d[i].lag = &lag[i];
        d[i].path = &p[i];
        if (i) d[i - 1].next = &d[i];
    }
    p[0].mass_flow[0] = -0.01;
    _duct0 = &d[0];
    _term0 = nullptr;
    _leak0 = nullptr;
    _rcdat.sts_cells = 1;
    _rcdat.sts_dx = 0.5f;
    _Ntdmxr = 0;
    stsInitDucts();

    EXPECT_EQ(ja.mf, mfa);
    EXPECT_EQ(jb.flow_mf_sums, ja.flow_mf_sums + 2);
    EXPECT_EQ(lag[0].cell_count, 4);
    EXPECT_EQ(lag[1].cell_count, 1);
    EXPECT_EQ(lag[2].cell_count, 0);
    EXPECT_EQ(lag[2].head_cell, nullptr);
    EXPECT_EQ(_Ntdmxr, 7);
    // Ring of 4 + 3: a boundary cell at -0.25 m, interior cells, one at 2.25 m, a spare.
    DuctCell* c = lag[0].head_cell;
    const double pos[6] = {-0.25, 0.25, 0.75, 1.25, 1.75, 2.25};
    for (int i = 0; i < 6; i++, c = c->next) {
        EXPECT_DOUBLE_EQ(c->position, pos[i]);
        EXPECT_DOUBLE_EQ(c->length, 0.5);
        EXPECT_DOUBLE_EQ(c->inv_spacing, 2.0);
        EXPECT_EQ(c->mf[0], 0.3);
        EXPECT_EQ(c->mf[1], 0.4);
        EXPECT_EQ(c->next->prev, c);
    }
    EXPECT_EQ(lag[0].tail_cell, c->prev);
    EXPECT_EQ(lag[0].mf_start[1], 0.4);  // both ends start with the air the duct holds
    EXPECT_EQ(lag[0].mf_end[0], 0.3);
    EXPECT_EQ(c->next, lag[0].head_cell);  // the spare closes the ring
    EXPECT_EQ(lag[1].head_cell->mf[0], 0.1);
    EXPECT_EQ(readLog(),
              "Junctions:          2\nDuct segments:      3\nDuct cells:         5\n"
              "Duct terminals:     0\nDuct leaks:         0\n");

    // A cell length of 0 cannot divide a duct.
    _rcdat.sts_dx = 0.0f;
    EXPECT_EXIT(stsInitDucts(), ::testing::ExitedWithCode(2),
                "FATAL Duct cell length sts_dx = 0 m must be > 0: set sts_dx in Run Control above 0 "
                "\\(e.g. 0.1\\), or sts_cells to 0 for one cell a duct");
}

TEST_F(StsInit, BoxesAndPointsFindTheirCellsAlongTheZoneAxis)
{
    AirNode n{};
    n.index = 2;
    ZoneCell cells[4]{};
    for (int i = 0; i < 4; i++) cells[i].index = i;
    Cd1Zone z = corridor(&n, cells);

    // A box given far end first covers the same three cells.
    const float c1[3] = {3.5f, 9.0f, 0.0f}, c2[3] = {1.2f, 0.0f, 0.0f};
    ZoneCell *first, *last;
    float share;
    stsBoxCells(&z, c1, c2, "Source", 7, &first, &last, &share);
    EXPECT_EQ(first, &cells[1]);
    EXPECT_EQ(last, &cells[3]);
    EXPECT_FLOAT_EQ(share, 1.0f / 3.0f);
    stsBoxCells(&z, c2, c1, "Source", 7, &first, &last, &share);
    EXPECT_EQ(first, &cells[1]);
    EXPECT_FLOAT_EQ(share, 1.0f / 3.0f);

    // The far end goes into the last cell; up to a cell before the start into the first.
    EXPECT_EQ(stsLocateCell(&z, 4.0f, 0, 0, "Path", 1), &cells[3]);
    EXPECT_EQ(stsLocateCell(&z, -0.9f, 0, 0, "Path", 1), &cells[0]);
    EXPECT_EXIT(stsLocateCell(&z, 5.5f, 0, 0, "Sensor", 9), ::testing::ExitedWithCode(2),
                "Invalid zone cell index: Sensor 9 in zone 2, indx=5 max=4");
    EXPECT_EXIT(stsLocateCell(&z, -1.5f, 0, 0, "OccSched", 3), ::testing::ExitedWithCode(2),
                "Invalid zone cell index: OccSched 3 in zone 2, indx=-1 max=4");
}

TEST_F(StsInit, ZoneStepLimitIsTwiceTheAirMassOverTheFlowThroughIt)
{
    // Zone 3: 2 m3 holding 2.4 kg with 0.1 kg/s through it: stable below 48 s. An
    // air-handling zone 5 of 1 m3, 1.2 kg, 0.2 kg/s: 12 s. A zone of fixed mass fractions
    // and a still zone are never limits.
    AirNode z3{}, ahs{}, fixed{}, still{};
    z3.flags = NODE_VAR_MF;
    z3.number = 3;
    z3.volume = 2.0f;
    z3.air_mass = 2.4;
    z3.sum_abs_flow = 0.1;
    ahs.flags = NODE_VAR_MF | NODE_AHS;
    ahs.number = 5;
    ahs.volume = 1.0f;
    ahs.air_mass = 1.2;
    ahs.sum_abs_flow = 0.2;
    fixed.sum_abs_flow = 5.0;
    fixed.air_mass = 0.001;
    still.flags = NODE_VAR_MF;
    still.air_mass = 0.001;
    z3.next = &fixed;
    fixed.next = &still;
    _afnd0 = &z3;

    _dtMaxStab = 100000.0f;
    _dt = 47.9f;
    stsCheckStability();
    EXPECT_FLOAT_EQ(_dtMaxStab, 48.0f);

    _dt = 48.0f;
    EXPECT_EXIT(stsCheckStability(), ::testing::ExitedWithCode(2),
                "Zone 3 \\(2.000 m\\^3\\) requires a time step < 48.00 s for stability.*"
                "FATAL Revise time step \\(or volume\\) to permit stable solution");

    still.next = &ahs;
    _dt = 20.0f;
    EXPECT_EXIT(stsCheckStability(), ::testing::ExitedWithCode(2),
                "AHS zone 5 \\(1.000 m\\^3\\) requires a time step < 12.00 s for stability.*"
                "FATAL Revise time step");
    _dtMaxStab = 100000.0f;
}

// A corridor, zone 1, of four 1 m cells along x from (0, 0, 0) at a zone height of 0.5 m,
// holding 0.1 and 0.2, next to the ambient: a path into it at x = 2.5 m, a sensor of
// species 1 at x = 3.2 m, a source over x = 0..1.5 m and an occupant at x = 0.4 m. The set-up
// links each to its cell and lists them with the cell centre.
TEST_F(StsInit, CorridorCellsTakePathsSensorsSourcesAndOccupantsByPosition)
{
    AirNode amb{}, zone{};
    double zoneMf[2] = {0.1, 0.2}, zoneMfi[2], ambMf[2] = {0, 0};
    zone.flags = NODE_VAR_MF;
    zone.number = 1;
    zone.index = 1;
    zone.volume = 8.0f;
    zone.height = 0.5f;
    zone.mf = zoneMf;
    zone.mf_prev = zoneMfi;
    amb.flags = NODE_AMBIENT;
    amb.mf = ambMf;
    ZoneCell ambCell{}, cells[4]{};
    amb.zone_cell = &ambCell;
    Cd1Zone z = corridor(&zone, cells);
    zone.cd1_zone = &z;
    zone.next = &amb;
    _afnd0 = &zone;
    _pambt = &amb;
    _nCmctm = 2;
    _nCcctm = 8;
    _rcdat.sim_mf = 2;
    _list = 1;

    AirPath p{};
    p.from_node = &amb;
    p.to_node = &zone;
    p.mf_from = ambMf;
    p.mf_to = zoneMf;
    p.number = 7;
    p.x = 2.5f;
    _pafp0 = &p;

    SensorData sd{};
    sd.sensed_node = &zone;
    sd.species = 1;
    sd.location[0] = 3.2f;
    CtrlNode sensor{};
    sensor.type = CT_SNS;
    sensor.flags = 0x04;
    sensor.number = 9;
    sensor.data = &sd;
    _Ctrl0 = &sensor;

    CssRec src{};
    src.zone_node = &zone;
    src.number = 3;
    src.box[3] = 1.5f;
    _Css0 = &src;

    int times[2] = {0, 86400};
    OccZone where[2];
    where[0].node = &zone;
    where[1].node = nullptr;
    ZoneCell* at[2] = {nullptr, nullptr};
    float ox[2] = {0.4f, 0}, oy[2] = {0, 0}, oh[2] = {0, 0};
    OccSchedRec occ{nullptr, times, where, at, ox, oy, oh, 2, 2};
    _Osch0 = &occ;

    STSinit();

    EXPECT_EQ(p.cell_to, &cells[2]);
    EXPECT_EQ(p.mf_to, cells[2].mf);
    EXPECT_EQ(p.cell_from, &ambCell);
    EXPECT_EQ(p.mf_from, ambMf);
    EXPECT_EQ(sd.sensed_ptr, &cells[3].mf[1]);
    EXPECT_EQ(src.cell_first, &cells[0]);
    EXPECT_EQ(src.cell_last, &cells[1]);
    EXPECT_FLOAT_EQ(src.cell_share, 0.5f);
    EXPECT_EQ(at[0], &cells[0]);
    for (int k = 0; k < 4; k++) {
        EXPECT_FLOAT_EQ(cells[k].position, 0.5f + k);
        EXPECT_EQ(cells[k].mf[1], 0.2);  // the cells start with the zone's air
        EXPECT_EQ(cells[k].next, k < 3 ? &cells[k + 1] : nullptr);
    }
    EXPECT_EQ(_Ntdmxr, 4);
    EXPECT_EQ(readLog(),
              "\nSet up structures for STS simulation.\nTotal Zones:        2\n"
              " 1-D C-D zones:\n zone  cells  dx [m]\n    1     4   1.000\n"
              "1D CD Zones:        1\nZone cells:         4\n"
              "\nLinks to 1-D zone cells\nAirflow paths:\n  Path 7\n    zone M 1, cell 2 at 2.50\n"
              "Sensors:\n  Sensor 9: zone 1, cell 3 at 3.50\n"
              "\nPaths:              1\nSTS initialization complete.\n\n");
    zone.cd1_zone = nullptr;  // the corridor lives on the stack, not in the allocator
    fre_1DCD();
    fre_STSsums();
    fre_Znode();
    _list = 0;
    _rcdat.sim_mf = 0;
    _pafp0 = nullptr;
    _Ctrl0 = nullptr;
    _Css0 = nullptr;
    _Osch0 = nullptr;
}

}  // namespace
