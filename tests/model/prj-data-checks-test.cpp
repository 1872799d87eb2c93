// The closing checks of the network build: reachability of a known pressure, the run-
// control overrides of each run mode and of a run without species, and the single-link
// and constant-pressure warnings with their log tables.
#include <cstdlib>
#include <string>

#include "model/prj-data.h"
#include "tests/common-src/section-test-util.h"
#include "tests/model/network-fixture.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

using testnet::NetworkTest;
using testutil::MessageCapture;

class NetworkChecks : public NetworkTest {
protected:
    // Nodes and paths without the closing steps.
    void build()
    {
        publish();
        sd_ambient();
        sd_duct_networks();
        sd_junction_volumes();
        _nafnd = afnd_set();
        sd_paths();
        sd_ducts();
        sd_terminals_leaks();
        sd_envelope_pointers();
        sd_builtin_elements();
    }
};

TEST_F(NetworkChecks, ZoneReachingTheAmbientOnlyThroughAFanIsUnlinked)
{
    ZoneRec* z = zone();
    path(&_ambt, z, element(AFE_FAN_FAN));
    build();
    std::fflush(_ulog);
    EXPECT_EXIT(sd_connectivity(), ::testing::ExitedWithCode(2),
                "FATAL Zones/junctions not linked to ambient by variable flow path");
    EXPECT_NE(log_text().find("Unlinked nodes:\n     zone:    1\n"), std::string::npos);
}

TEST_F(NetworkChecks, DuctFanCarriesPressureToTheZoneItServes)
{
    ZoneRec* z = zone();
    JunctionRec* in = junction(&_ambt, 1);
    JunctionRec* out = junction(z, 1);
    duct(in, out, element(AFE_DCT_FAN));
    path(z, z, element(AFE_PLR_ORFC));
    build();
    // Every node is linked: the check returns (an unlinked node ends the run with status 2).
    EXPECT_EXIT(
        {
            sd_connectivity();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(NetworkChecks, UnlinkedJunctionIsListedAsAJunction)
{
    JunctionRec* a = junction();
    JunctionRec* b = junction();
    duct(a, b, element(AFE_DCT_BDF));   // a one-way duct does not count as a link
    build();
    std::fflush(_ulog);
    EXPECT_EXIT(sd_connectivity(), ::testing::ExitedWithCode(2), "not linked to ambient");
    EXPECT_NE(log_text().find("Unlinked nodes:\n junction:    1\n junction:    2\n"), std::string::npos);
}

TEST_F(NetworkChecks, TwoZonesJoinedOnlyToEachOtherAreSingleLinked)
{
    ZoneRec* z1 = zone(0x02);   // fixed pressure: the check of step 15 is not reached here
    ZoneRec* z2 = zone();
    ZoneRec* z3 = zone();
    path(z1, z2, element(AFE_PLR_ORFC));
    path(z2, z1, element(AFE_PLR_ORFC));
    path(z3, z1, element(AFE_PLR_ORFC));
    path(z3, &_ambt, element(AFE_PLR_ORFC));
    z2->temperature = 303.15f;
    build();
    MessageCapture msgs;
    sd_run_mode_overrides();
    EXPECT_TRUE(msgs.has("WARNING", " 2 zones linked to only one other zone. See XLog file for details."))
        << msgs.dump();
    // Zone 1 has two neighbours (2 and 3), zone 3 too (1 and the ambient); the ambient only
    // zone 3.
    EXPECT_NE(log_text().find("  Check that inter-zone flow can occur.\n"
                              "  zone1 zone2   T1 [C] T2 [C]\n"
                              "      2     1   30.00  20.00\n"
                              "   ambt     3   10.00  20.00\n"
                              "\n"),
              std::string::npos)
        << log_text();
}

TEST_F(NetworkChecks, FixedPressureZonesAreWarnedAboutExceptSystemZones)
{
    ZoneRec* z1 = zone(0x02);
    ZoneRec* z2 = zone(0x0a);   // a system zone
    ZoneRec* z3 = zone(0x02);
    path(z1, &_ambt, element(AFE_PLR_ORFC));
    path(z2, &_ambt, element(AFE_PLR_ORFC));
    path(z3, &_ambt, element(AFE_PLR_ORFC));
    build();
    MessageCapture msgs;
    sd_run_mode_overrides();
    EXPECT_TRUE(msgs.has("WARNING", " 2 constant pressure zone(s) - not normally used. See XLog file for details."));
    EXPECT_NE(log_text().find(" *** Constant pressure zones: 1 3\n\n"), std::string::npos);
}

TEST_F(NetworkChecks, PressurizationTestSolvesTheAmbientAndUnconditionedZonesOnly)
{
    ZoneRec* cond = zone(0x03);
    ZoneRec* uncond = zone(0x13);
    path(cond, &_ambt, element(AFE_PLR_ORFC));
    path(uncond, &_ambt, element(AFE_PLR_ORFC));
    build();
    _rcdat.sim_af = 4;
    MessageCapture msgs;
    sd_run_mode_overrides();
    EXPECT_EQ(node(1)->flags & NODE_VAR_P, 0u);
    EXPECT_EQ(node(2)->flags & NODE_VAR_P, NODE_VAR_P);
    EXPECT_EQ(_pambt->flags & NODE_VAR_P, NODE_VAR_P);
    EXPECT_FALSE(msgs.has("WARNING", "constant pressure")) << msgs.dump();   // not checked
}

TEST_F(NetworkChecks, FlowTestKeepsSystemZonesVariableAndDropsSourcesAndReactions)
{
    ZoneRec* z = zone(0x03);
    ZoneRec* sys = zone(0x0b);
    path(z, &_ambt, element(AFE_PLR_ORFC));
    path(sys, &_ambt, element(AFE_PLR_ORFC));
    publish();
    species(1);
    z->reaction = rec<ReactionRec>("knr");
    build();
    source(CSE_CCF, z, 1.0f);
    _rcdat.sim_af = 3;
    _rcdat.mf_solver = 1;
    srcl_sources();
    ASSERT_NE(_Css0, nullptr);
    sd_run_mode_overrides();
    EXPECT_EQ(node(1)->flags & NODE_VAR_MF, 0u);
    EXPECT_EQ(node(2)->flags & NODE_VAR_MF, NODE_VAR_MF);
    EXPECT_EQ(node(1)->reaction, nullptr);
    EXPECT_EQ(_Css0, nullptr);
    EXPECT_EQ(_rcdat.sim_mf, 1);
    EXPECT_EQ(_rcdat.mf_solver, 0);
    EXPECT_STREQ(_WTHfile, "null");
    EXPECT_STREQ(_CTMfile, "null");
}

struct SpeciesCount {
    int nctm, nntc;
};
class FlowTestSpecies : public NetworkChecks, public ::testing::WithParamInterface<SpeciesCount> {};

TEST_P(FlowTestSpecies, FlowTestWithoutExactlyOneTraceSpeciesIsFatal)
{
    path(zone(), &_ambt, element(AFE_PLR_ORFC));
    publish();
    const SpeciesCount& c = GetParam();
    species(c.nctm, c.nntc, c.nntc ? 1.0 / c.nntc : 0.0);
    build();
    _rcdat.sim_af = 3;
    EXPECT_EXIT(sd_run_mode_overrides(), ::testing::ExitedWithCode(2),
                "FATAL Flow validation mode requires one trace contaminant");
}

INSTANTIATE_TEST_SUITE_P(Species, FlowTestSpecies,
                         ::testing::Values(SpeciesCount{0, 0}, SpeciesCount{2, 0},
                                           SpeciesCount{1, 1}),
                         testnames::named([](const SpeciesCount& c) {
                             return "nctm" + std::to_string(c.nctm) + "_nntc" +
                                    std::to_string(c.nntc);
                         }));

// The result switches each run keeps (1) or loses (0), in the order of `switches`.
struct OverrideCase {
    int sim_af, sim_mf, nctm;
    const char* kept;   // pfres zcres ach_stats age_step srf csm cex_ctm rzf tsdens sim_mf
};

class RunModeOverrides : public NetworkChecks, public ::testing::WithParamInterface<OverrideCase> {};

TEST_P(RunModeOverrides, ResultSwitchesFollowTheRunModeAndSpecies)
{
    const OverrideCase& c = GetParam();
    path(zone(), &_ambt, element(AFE_PLR_ORFC));
    publish();
    species(c.nctm);
    build();
    RunControlData& r = _rcdat;
    int* switches[] = {&r.pfres, &r.zcres, &r.ach_stats, &r.age_step, &r.srf,
                       &r.csm, &r.cex_ctm, &r.rzf, &r.tsdens, &r.sim_mf};
    for (int* s : switches) *s = 1;
    r.pfres = 0;
    r.sim_af = c.sim_af;
    r.sim_mf = c.sim_mf;
    MessageCapture msgs;
    sd_run_mode_overrides();
    std::string kept;
    for (int* s : switches) kept += (*s ? '1' : '0');
    EXPECT_EQ(kept, c.kept);
    EXPECT_EQ(_sim_af_dyn, c.sim_af == 1 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RunModeOverrides,
    ::testing::Values(OverrideCase{1, 2, 1, "0111111111"},     // transient: everything kept
                      OverrideCase{0, 2, 1, "0100111111"},    // steady airflow: no ACH stats, no age
                      OverrideCase{1, 0, 1, "0011000010"},    // no contaminants: their outputs go
                      OverrideCase{1, 2, 0, "0011000010"},    // no species: the same
                      OverrideCase{2, 2, 1, "1000000000"},    // balancing: airflow results only
                      OverrideCase{4, 2, 1, "1000000000"}),
    testnames::named([](const OverrideCase& c) {
        return "sim_af" + std::to_string(c.sim_af) + "_sim_mf" + std::to_string(c.sim_mf) + "_nctm" +
               std::to_string(c.nctm);
    }));

}  // namespace
}  // namespace vexlar
