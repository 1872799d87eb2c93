// The booking of the building airflow test on a hand-built building: a conditioned
// zone, an unconditioned zone, an air-handling-system zone, a duct junction and a
// terminal, with given flows and outdoor-air fractions. Every entry of the flow table is
// checked, the unbooked ones against 0; then what the report shows of the system zone
// and the junctions, and the time and day it names.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "common-src/paths.h"
#include "model/clock.h"
#include "model/elements.h"
#include "model/run-control.h"
#include "model/prj-records.h"
#include "simulation/sim-bldg-int.h"
#include "tests/airflow/af-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class BldgFlowBooking : public ::testing::Test {
protected:
    void SetUp() override
    {
        c = zoneNode(1, 0);
        u = zoneNode(2, NODE_AMBIENT);
        s = zoneNode(3, NODE_AHS);
        j = ductNode(1, 1, 0.5);     // junction air half outdoor air
        t = ductNode(2, 2, 0.3);     // the terminal's 30 %
        a = net.ambient(293.15);
        a->mf = &mf[0];
        s->mf[0] = 0.25;             // the system supplies a quarter outdoor air
        _nzone = 3;
        _njct = 2;
    }
    void TearDown() override { _nzone = _njct = 0; }

    AirNode* zoneNode(int number, uint32_t flags)
    {
        AirNode* n = net.zone(293.15, 50.0f);
        n->number = number;
        n->flags |= flags;
        n->mf = &mf[number];
        return n;
    }
    AirNode* ductNode(int number, int kind, double oa)
    {
        AirNode* n = net.zone(293.15, 0.1f, true, kind);
        n->number = number;
        n->mf = &mf[3 + number];
        *n->mf = oa;
        return n;
    }
    void flow(AirNode* from, AirNode* to, int kind, int type, double F, double F2 = 0.0)
    {
        AirPath* p = net.path(from, to, net.element(type, nullptr, nullptr));
        p->kind = kind;
        p->mass_flow[0] = F;
        p->mass_flow[1] = F2;
    }

    AfNet net;
    double mf[6] = {1.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    AirNode *c, *u, *s, *j, *t, *a;
};

TEST_F(BldgFlowBooking, BooksEveryFlowByWhereItComesFromAndGoes)
{
    flow(t, c, 2, AFE_D_TERM, 0.1);                   // supply terminal, 30 % outdoor air
    flow(t, u, 2, AFE_D_TERM, -0.02);                 // return terminal
    flow(j, c, 3, AFE_D_LEAK, 0.01);                  // duct leak, 50 % outdoor air
    flow(j, t, 1, AFE_DCT_PLR, 0.3);                  // a duct segment: not booked
    flow(c, u, 0, AFE_DOR_DOOR, 0.05, -0.03);         // two-way door
    flow(a, c, 0, AFE_FAN_CMF, 0.2);                  // outdoor air fan
    flow(c, u, 0, AFE_FAN_FAN, -0.04);                // curve fan running backwards
    flow(s, c, 0, AFE_AHS_SR, 0.4);                   // system supply
    flow(c, s, 0, AFE_AHS_SR, 0.4);                   // system return
    flow(a, s, 0, AFE_AHS_XOR, 0.1);                  // system outdoor air
    flow(s, a, 0, AFE_AHS_XOR, 0.1);                  // system exhaust
    flow(u, a, 0, AFE_PLR_ORFC, -0.07);               // infiltration into the attic
    BfTable tab{};
    bfAlloc(&tab);
    bfNodeData(&tab);
    bfPathFlows(&tab);

    EXPECT_EQ(std::string(tab.cu, 4), "ACUS");
    EXPECT_EQ(std::string(tab.jt + 1, 2), "JT");
    const std::map<std::pair<int, int>, double> booked = {
        {{1, BF_FM_TERM}, 0.1},  {{1, BF_OA_TERM}, 0.03},  {{2, BF_TO_TERM}, 0.02},
        {{1, BF_FM_LEAK}, 0.01}, {{1, BF_OA_LEAK}, 0.005},
        {{2, BF_TO_CZONE}, 0.03 + 0.04}, {{1, BF_FM_UZONE}, 0.03 + 0.04},   // door, backward fan
        {{2, BF_FM_CZONE}, 0.05}, {{1, BF_TO_UZONE}, 0.05},
        {{1, BF_FM_FAN}, 0.2 + 0.04}, {{1, BF_OA_FAN}, 0.2}, {{0, BF_TO_FAN}, 0.2}, {{0, BF_TO_CZONE}, 0.2},
        {{2, BF_TO_FAN}, 0.04},
        {{1, BF_FM_AHS}, 0.4},   {{1, BF_OA_AHS}, 0.1},    {{1, BF_TO_AHS}, 0.4},
        {{0, BF_TO_AHS}, 0.1},   {{0, BF_FM_AHS}, 0.1},
        {{2, BF_FM_AMBT}, 0.07}, {{0, BF_TO_UZONE}, 0.07},
    };
    for (int z = 0; z <= 3; z++)
        for (int col = BF_FM_TERM; col <= BF_OA_FAN; col++) {
            auto it = booked.find({z, col});
            EXPECT_NEAR(tab.flows[z][col], it == booked.end() ? 0.0 : it->second, 1e-15)
                << "zone " << z << " column " << col;
        }
    // Outdoor air of the conditioned zone (from the attic, the ambient and the fan) and
    // what the ambient gave the terminals, leaks and systems.
    EXPECT_NEAR(bfOutdoorAir(&tab), 0.07 + 0.2 + 0.1, 1e-15);
    EXPECT_NEAR(tab.flows[0][BF_VOLUME], 100.2, 1e-6);   // all but the attic
    bfFree(&tab);
}

// The system zone is in no table, but its volume is in the ducts' and the building's.
TEST_F(BldgFlowBooking, ReportShowsSystemZonesOnlyAsDuctVolume)
{
    BfTable tab{};
    bfAlloc(&tab);
    bfNodeData(&tab);
    _rcdat.bf_zones = _rcdat.bf_jcts = _rcdat.bf_class = 1;
    snprintf(_prjname, sizeof _prjname, "bldg");
    FILE* f = tmpfile();
    bfWriteReport(f, &tab, 43200, "Monday");
    std::string val = fileContents(f);
    fclose(f);
    bfFree(&tab);
    _rcdat = RunControlData{};
    EXPECT_NE(val.find("Zones:\t2\t\t flows [ACH]\n"), std::string::npos) << val;   // C and U
    EXPECT_NE(val.find("Zones:\t3\t\t flows [kg/s]\n"), std::string::npos);        // and the ambient
    EXPECT_EQ(val.find("\n3\tS"), std::string::npos);
    EXPECT_NE(val.find("\nJunctions:\t2\n"), std::string::npos);
    EXPECT_NE(val.find("\n1\tJ\t50.0\t 0\t0.0\t20.0\t0.10\n2\tT\t30.0\t 0\t"), std::string::npos);
    EXPECT_NE(val.find("Ducts & AHS (conditioned)\n50.20\tm^3\n1772.8\tcuft\n"), std::string::npos);
}

struct ClockCase {
    int end, dst, daytyp, dayofw;
    int time;
    const char* day;
};

// Day types 1..7 are named, 8..12 numbered; daylight saving past midnight gives the
// next day of the week.
TEST(BldgFlowReportTime, NamesTheDayOfTheResultTime)
{
    for (ClockCase c : {ClockCase{43200, 0, 2, 0, 43200, "Monday"}, ClockCase{43200, 1, 9, 0, 46800, "9"},
                        ClockCase{84600, 1, 7, 7, 1800, "Sunday"}}) {
        _stepEndTime = c.end;
        _DSTind = c.dst;
        _daytyp = c.daytyp;
        _dayofw = c.dayofw;
        int t = -1;
        EXPECT_STREQ(bfReportTime(&t), c.day);
        EXPECT_EQ(t, c.time);
    }
    _stepEndTime = _DSTind = _daytyp = _dayofw = 0;
}

}  // namespace
