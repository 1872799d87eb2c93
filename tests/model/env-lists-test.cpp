// Envelope openings: which paths and terminals are numbered for the wind-pressure file,
// the pointers of their ambient ends, the unique locations the file is matched against,
// and the list of every ambient path for the contaminant summary and exfiltration.
#include <string>

#include "model/env-lists.h"
#include "model/prj-data.h"
#include "tests/common-src/section-test-util.h"
#include "tests/model/network-fixture.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

using testnet::NetworkTest;
using testutil::MessageCapture;

class EnvelopeLists : public NetworkTest {
protected:
    // Zone 1 with an exterior path, a system whose outdoor-air path comes from the ambient
    // and whose exhaust goes to it, a terminal in the ambient and one in the zone.
    void building()
    {
        z = zone();
        ZoneRec* sys = zone(0x0b);
        path(z, &_ambt, element(AFE_PLR_ORFC));       // 1: numbered
        path(&_ambt, sys, nullptr, 0x20);             // 2: outdoor air, numbered
        path(sys, &_ambt, nullptr, 0x40);             // 3: exhaust, not numbered
        path(z, sys, nullptr, 0x10);                  // 4: recirculation, interior
        JunctionRec* out = junction(&_ambt, 1);       // numbered
        JunctionRec* in = junction(z, 1);
        duct(out, in, element(AFE_DCT_PLR));
        publish();
    }
    ZoneRec* z = nullptr;
};

TEST_F(EnvelopeLists, ExteriorPathsAndOutdoorTerminalsAreNumbered)
{
    building();
    MessageCapture msgs;
    EnvListsWpc_setup();
    EXPECT_EQ(_nEnvPaths_Wpc, 3);
    EXPECT_EQ(paths[1]->env_index, 1);
    EXPECT_EQ(paths[2]->env_index, 2);
    EXPECT_EQ(paths[3]->env_index, 0);
    EXPECT_EQ(jcts[1]->env_index, 3);
    EXPECT_EQ(jcts[2]->env_index, 0);
    EXPECT_NE(log_text().find("Creating Envelope path lists:\n  3 envelope paths|terminals for WPC\n"),
              std::string::npos);
    EXPECT_NE(_ENV_wP, nullptr);
    EXPECT_EQ(_ENV_Mf, nullptr);   // no co-simulation peer
}

TEST_F(EnvelopeLists, AmbientEndsPointAtTheirOpeningsWindPressure)
{
    building();
    MessageCapture msgs;
    sim_data();
    AirPath* exterior = paths[1]->path;
    AirPath* outdoor = paths[2]->path;
    EXPECT_EQ(exterior->wind_pressure, &_ENV_wP[1]);
    EXPECT_EQ(_ENV_wPs[1], -1.0f);   // ends at the ambient
    EXPECT_EQ(outdoor->wind_pressure, &_ENV_wP[2]);
    EXPECT_EQ(_ENV_wPs[2], 1.0f);    // starts there
    EXPECT_EQ(paths[3]->path->wind_pressure, &_zero);
    EXPECT_EQ(exterior->mf_to, _pambt->mf);
    EXPECT_EQ(_nEnvPaths_All, 4);    // paths 1 to 3 and the outdoor terminal
    EXPECT_EQ(_EnvPaths_All, nullptr);   // no output asks for the list
    EXPECT_NE(log_text().find("  4 envelope paths|terminals|leaks for CSM/CEX\n"), std::string::npos);
}

TEST_F(EnvelopeLists, ExfiltrationOutputListsEveryAmbientPathInOrder)
{
    building();
    _rcdat.cex_ctm = 1;
    _rcdat.sim_mf = 2;
    species(1);
    MessageCapture msgs;
    sim_data();
    ASSERT_NE(_EnvPaths_All, nullptr);
    EXPECT_EQ(_EnvPaths_All[0], paths[1]->path);
    EXPECT_EQ(_EnvPaths_All[3]->kind, 2);
    EXPECT_NE(_Env_MassPath_list, nullptr);
    EXPECT_NE(_Env_MassOut_list, nullptr);
}

struct LocationCase {
    float dx;
    int unique;
};
class OpeningLocations : public EnvelopeLists, public ::testing::WithParamInterface<LocationCase> {};

TEST_P(OpeningLocations, OpeningsCloserThanOneAndAHalfMillimetresShareALocation)
{
    z = zone();
    path(z, &_ambt, element(AFE_PLR_ORFC), 0x02)->x = 4.0f;
    path(z, &_ambt, element(AFE_PLR_ORFC), 0x02)->x = 4.0f + GetParam().dx;
    publish();
    _echo = 1;
    EXPECT_EQ(PLDlist(1), GetParam().unique);
    _echo = 0;
    EXPECT_EQ(paths[2]->pld_index, GetParam().unique);
    std::string log = log_text();
    EXPECT_NE(log.find("  " + std::to_string(GetParam().unique) + " unique locations\n  "
                       + std::to_string(2 - GetParam().unique) + " duplicate locations\n  end PLDlist\n\n"),
              std::string::npos)
        << log;
    if (GetParam().unique == 1) {
        EXPECT_NE(log.find("  path 2 at (4.001000 0.000000 0.000000) same as\n  path 1 at (4.000000"),
                  std::string::npos)
            << log;
    } else {
        EXPECT_NE(log.find("    2 : path 2 at (4.002000 0.000000 0.000000)\n"), std::string::npos) << log;
    }
}

INSTANTIATE_TEST_SUITE_P(Spacing, OpeningLocations,
                         ::testing::Values(LocationCase{0.001f, 1}, LocationCase{0.002f, 2}),
                         testnames::named([](const LocationCase& c) {
                             return "dx_" + testnames::num(c.dx);
                         }));

TEST_F(EnvelopeLists, DoorLocationIsAtHalfItsHeightAboveTheLevel)
{
    LevelRec* upper = level(3.0f);
    z = zone();
    AfeRec* door = element(AFE_DOR_DOOR);
    static_cast<DoorData*>(door->model_data)->door_height = 2.0f;
    PathRec* p = path(z, &_ambt, door, 0x04);
    p->x = 1.0f;
    p->rel_height = 0.5f;
    p->level = upper;
    publish();
    PLDlist(1);
    ASSERT_NE(_PLDlist, nullptr);
    EXPECT_FLOAT_EQ(_PLDlist[1]->z, 0.5f + 3.0f + 1.0f);
}

TEST_F(EnvelopeLists, UnplacedOpeningIsLoggedAndEndsTheRun)
{
    z = zone();
    path(z, &_ambt, element(AFE_PLR_ORFC), 0x02)->rel_height = 3.0f;
    publish();
    std::fflush(_ulog);
    EXPECT_EXIT(PLDlist(1), ::testing::ExitedWithCode(2), "FATAL Undefined path/duct locations: give each path or terminal flagged for "
                "the WPC file its X and Y, see XLog file\n");
    EXPECT_NE(log_text().find("PLDpath: undefined location for path 1 (2)\n"), std::string::npos);
}

TEST_F(EnvelopeLists, TerminalInsideTheBuildingCannotTakeFileValues)
{
    z = zone();
    junction(z, 1)->flags = 0x02;
    publish();
    MessageCapture msgs;
    PLDlist(1);
    EXPECT_TRUE(msgs.has("ERROR", " Bad WPC terminal: junction 1 is flagged for the WPC file but does not "
                                  "lie in the ambient"));
}

}  // namespace
}  // namespace vexlar
