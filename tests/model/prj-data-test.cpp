// The network build end to end on small projects made in memory: node order, indices and
// flags, path order and bindings, the terminal coefficients, the ambient humidity, the
// one-dimensional zones and the binding of value-file columns.
#include <cmath>

#include "airflow/afe-sim.h"
#include "model/prj-data.h"
#include "tests/common-src/section-test-util.h"
#include "tests/model/network-fixture.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

using testnet::NetworkTest;
using testutil::MessageCapture;

class NetworkBuild : public NetworkTest {
protected:
    // Two zones (the second at fixed pressure on an upper level), a terminal in zone 1 and
    // a plain junction in the ambient joined by a leaky duct, a path from zone 1 to the
    // ambient and one from zone 2 to zone 1.
    void mixed_network()
    {
        LevelRec* upper = level(3.0f);
        z1 = zone(0x03, 50.0f, 1.0f);
        z1->pressure = 7.0f;
        z2 = zone(0x02, 0.004f, 0.0f, upper);
        z2->pressure = 5.0f;
        j1 = junction(z1, 1);
        j1->rel_height = 2.5f;
        j2 = junction(&_ambt, 0);
        duct(j1, j2, element(AFE_DCT_PLR, {0.1f, 0.4f, 0.004f, 1.5f, 25.0f}), 2.0f);
        path(z1, &_ambt, element(AFE_PLR_ORFC));
        path(z2, z1, element(AFE_PLR_ORFC));
        _rcdat.dodMdt = 1;
        publish();
    }
    ZoneRec *z1 = nullptr, *z2 = nullptr;
    JunctionRec *j1 = nullptr, *j2 = nullptr;
};

TEST_F(NetworkBuild, NodesRunZonesThenJunctionsThenAmbientWithGaplessIndices)
{
    mixed_network();
    MessageCapture msgs;
    sim_data();
    ASSERT_EQ(_nafnd, 5);
    const int kinds[] = {0, 0, 2, 1, 0}, numbers[] = {1, 2, 1, 2, 0};
    int i = 0;
    for (AirNode* n = _afnd0; n; n = n->next, i++) {
        EXPECT_EQ(n->index, i + 1);
        EXPECT_EQ(n->kind, kinds[i]);
        EXPECT_EQ(n->number, numbers[i]);
    }
    EXPECT_EQ(i, 5);
    EXPECT_EQ(_pambt, node(5));
    EXPECT_EQ(_ambt.node, _pambt);
    EXPECT_EQ(z1->node, node(1));
    EXPECT_EQ(j2->node, node(4));
}

TEST_F(NetworkBuild, NodeFlagsHeightsPressuresAndTolerancesFollowTheProject)
{
    mixed_network();
    MessageCapture msgs;
    sim_data();
    const uint32_t vol = NODE_VOLUME, st = NODE_STORAGE;
    EXPECT_EQ(node(1)->flags, 0x03u | vol | st);
    EXPECT_EQ(node(2)->flags, 0x02u | vol | st);
    EXPECT_EQ(node(3)->flags, 0x03u | vol | st);
    EXPECT_EQ(node(5)->flags, NODE_AMBIENT | st);
    EXPECT_FLOAT_EQ(node(1)->height, 1.0f);
    EXPECT_FLOAT_EQ(node(2)->height, 3.0f);
    EXPECT_FLOAT_EQ(node(3)->height, 2.5f);
    EXPECT_EQ(node(1)->pressure, 0.0);   // solved for: the project value is not used
    EXPECT_EQ(node(2)->pressure, 5.0);   // fixed: the project value stands
    // A zone's flow tolerance has a volume floor of 0.01 m3, a junction's of 0.001 m3.
    EXPECT_FLOAT_EQ(node(2)->abs_tol, 2.4f * 1e-5f * 0.01f);
    EXPECT_FLOAT_EQ(node(3)->volume, 0.004f);   // half of the 2 m x 0.004 m2 duct
    EXPECT_FLOAT_EQ(node(3)->abs_tol, 2.4f * 1e-5f * 0.004f);
    EXPECT_EQ(node(3)->in_zone, 1);
    EXPECT_EQ(node(3)->location.zone, node(1));
    EXPECT_EQ(node(4)->in_zone, 0);
    EXPECT_EQ(node(4)->location.level, levels[1]);
    EXPECT_EQ(node(5)->location.level, _Lev0);
    for (AirNode* n = _afnd0; n; n = n->next) {
        EXPECT_EQ(n->gas_const, 287.055);
        EXPECT_DOUBLE_EQ(n->density, (n->pressure + 101325.0) / (287.055 * n->temperature));
    }
}

TEST_F(NetworkBuild, PathsRunPathsDuctsThenTerminalsAndLeaksInJunctionOrder)
{
    mixed_network();
    MessageCapture msgs;
    sim_data();
    ASSERT_EQ(_nafpt, 5);
    const int kinds[] = {0, 0, 1, 2, 3}, numbers[] = {1, 2, 1, 1, 2};
    for (int i = 1; i <= 5; i++) {
        ASSERT_NE(airpath(i), nullptr);
        EXPECT_EQ(airpath(i)->kind, kinds[i - 1]);
        EXPECT_EQ(airpath(i)->number, numbers[i - 1]);
    }
    AirPath *p1 = airpath(1), *d = airpath(3), *t = airpath(4), *leak = airpath(5);
    EXPECT_EQ(p1->env_dir, -1);
    EXPECT_EQ(p1->value_ptr, &_one);
    EXPECT_EQ(p1->mf_to, _pambt->mf);
    EXPECT_FLOAT_EQ(d->duct_rise, 0.0f - 2.5f);
    EXPECT_EQ(d->multiplier, 1.0);
    EXPECT_FLOAT_EQ(d->duct_data->area, 0.004f);
    EXPECT_EQ(t->from_node, node(3));
    EXPECT_EQ(t->to_node, node(1));
    EXPECT_FLOAT_EQ(t->dz_to, 1.5f);
    EXPECT_EQ(t->element->type, AFE_D_TERM);
    EXPECT_EQ(t->element->model_fn, &afe_trm);
    EXPECT_EQ(leak->flags, PATH_LEAK);
    EXPECT_EQ(leak->env_dir, -1);
    EXPECT_EQ(leak->element->type, AFE_D_LEAK);
    EXPECT_EQ(leak->element->model_fn, &afe_jlk);
    // The leak takes the plain junction's half of the segment's leakage: g2 L g4/1000 / g5^0.65.
    EXPECT_NEAR(leak->duct_data->leak_coef, 0.5 * 0.4 * 2.0 * 0.0015 / std::pow(25.0, 0.65), 1e-9);
}

TEST_F(NetworkBuild, ShortTimeStepMethodGetsJunctionAndLinkRecords)
{
    mixed_network();
    _rcdat.mf_solver = 1;
    MessageCapture msgs;
    sim_data();
    ASSERT_NE(_jctn0, nullptr);
    EXPECT_EQ(_jctn0->node, node(3));
    EXPECT_EQ(_jctn0->terminal_state, 1);
    EXPECT_EQ(_jctn0->network, 1);
    ASSERT_NE(_jctn0->next, nullptr);
    EXPECT_EQ(_jctn0->next->terminal_state, 0);
    EXPECT_EQ(j1->jctn, _jctn0);
    ASSERT_NE(_duct0, nullptr);
    EXPECT_EQ(_duct0->from_junction, _jctn0);
    EXPECT_EQ(_duct0->to_junction, _jctn0->next);
    EXPECT_EQ(_duct0->path, airpath(3));
    EXPECT_FLOAT_EQ(_duct0->lag->length, 2.0f);
    EXPECT_FLOAT_EQ(_duct0->lag->area, 0.004f);
    ASSERT_NE(_term0, nullptr);
    EXPECT_EQ(_term0->path, airpath(4));
    EXPECT_EQ(_term0->zone_node, node(1));
    ASSERT_NE(_leak0, nullptr);
    EXPECT_EQ(_leak0->path, airpath(5));
    EXPECT_EQ(_leak0->junction, _jctn0->next);
    EXPECT_EQ(_leak0->zone_node, _pambt);
}

TEST_F(NetworkBuild, TerminalLaminarAndTurbulentLawsMeetAtReynoldsNumber30)
{
    mixed_network();
    j1->area = 0.04f;
    j1->loss_coef1 = 0.6f;
    j1->loss_coef2 = 0.4f;
    MessageCapture msgs;
    sim_data();
    const TerminalData* td = static_cast<const TerminalData*>(airpath(4)->element->model_data);
    const double rho = 1.2041, mu = 1.81625e-5;
    double flow30 = 30.0 * mu * std::sqrt(0.04);   // Re 30 with sqrt(area) as length
    EXPECT_NEAR(td->turb_coef, std::sqrt(2.0 / 1.0) * 0.04, 1e-7);
    double dp30 = flow30 * flow30 / (td->turb_coef * td->turb_coef * rho);
    EXPECT_NEAR(td->turb_coef * std::sqrt(rho * dp30), flow30, 1e-9);
    EXPECT_NEAR(td->lam_coef * rho / mu * dp30, flow30, 1e-9);
}

TEST_F(NetworkBuild, AirHandlingPathsTakeTheSharedBuiltInElements)
{
    ZoneRec* supply = zone(0x0b);
    ZoneRec* ret = zone(0x0b);
    AhsRec* ahs = rec<AhsRec>("ahs");
    ahs->number = 1;
    ahs->path_recirc = 3, ahs->path_outdoor = 4, ahs->path_exhaust = 5;
    systems.push_back(ahs);
    PathRec* sup = path(supply, zone(), nullptr, 0x08);
    sup->ahs = ahs;
    path(zones[3], ret, nullptr, 0x08)->ahs = ahs;
    path(ret, supply, nullptr, 0x10);
    path(&_ambt, supply, nullptr, 0x20);
    path(ret, &_ambt, nullptr, 0x40);
    publish();
    MessageCapture msgs;
    sim_data();
    const AFE_MODEL_FN fns[] = {afe_ahs, afe_ahs, afe_ahr, afe_aho, afe_ahx};
    for (int i = 1; i <= 5; i++) {
        EXPECT_EQ(airpath(i)->element->model_fn, fns[i - 1]) << "path " << i;
        EXPECT_EQ(airpath(i)->ahs_number, 1) << "path " << i;
    }
    EXPECT_EQ(airpath(1)->element, airpath(2)->element);   // one shared record
    EXPECT_EQ(airpath(3)->element->type, AFE_AHS_XOR);
    EXPECT_EQ(airpath(1)->env_dir, 0);
    EXPECT_EQ(airpath(4)->env_dir, 1);   // outdoor air starts at the ambient
}

TEST_F(NetworkBuild, ConstantFlowFanKeepsOnlyTheNoMatrixFlag)
{
    ZoneRec* z = zone();
    path(&_ambt, z, element(AFE_FAN_CMF), 0x201);
    path(z, &_ambt, element(AFE_PLR_ORFC), 0x01);
    publish();
    MessageCapture msgs;
    sim_data();
    EXPECT_EQ(airpath(1)->flags, PATH_CONST_FLOW);
    EXPECT_EQ(airpath(2)->flags, PATH_WIND);
}

TEST_F(NetworkBuild, PathWithoutElementOrSystemFlagIsFatal)
{
    ZoneRec* z = zone();
    path(z, &_ambt, nullptr, 0x01);
    publish();
    sd_ambient();
    sd_duct_networks();
    _nafnd = afnd_set();
    sd_paths();
    EXPECT_EXIT(sd_builtin_elements(), ::testing::ExitedWithCode(2),
                "FATAL Undefined element type, path 1");
}

TEST_F(NetworkBuild, FailedSplineFitAndBadTerminalEndTheRunAfterEveryErrorIsReported)
{
    ZoneRec* z = zone();
    AfeRec* curve = element(AFE_CSF_FSP);
    static_cast<CSF_DATA*>(curve->model_data)->status = 1;
    path(z, &_ambt, curve);
    JunctionRec* t = junction(z, 1);
    t->loss_coef1 = 0.0f;
    t->flags = 0x01;   // takes wind pressure, but inside the zone it has no opening
    JunctionRec* j = junction();
    duct(j, t, element(AFE_DCT_PLR));
    publish();
    EXPECT_EXIT(sim_data(), ::testing::ExitedWithCode(2),
                "Bad spline fit for element: elem24(.|\n)*"
                "Invalid wind flag or ENVindex: 0, terminal: 1(.|\n)*"
                "Invalid loss coefficient for terminal 1(.|\n)*"
                "FATAL Fix errors reported above in the project file\n");
}

TEST_F(NetworkBuild, ErrorsBeforeTheNodesAreBuiltDoNotStopTheRun)
{
    ZoneRec* z = zone();
    path(z, &_ambt, element(AFE_PLR_ORFC));
    publish();
    species(1);
    std::strcpy(_ctm[0].name, "H2O");
    _wthdat.Tambt = 400.0f;
    _wthdat.rel_humidity = 0.5f;
    MessageCapture msgs;
    sim_data();
    EXPECT_TRUE(msgs.has("ERROR", " T > 373:  400")) << msgs.dump();
    EXPECT_EQ(_nafpt, 1);
}

TEST_F(NetworkTest, ProjectWithoutZonesOrJunctionsHasTheAmbientNodeAlone)
{
    publish();
    EXPECT_EQ(afnd_set(), 1);
    ASSERT_NE(_afnd0, nullptr);
    EXPECT_EQ(_afnd0, _pambt);
    EXPECT_EQ(_pambt->index, 1);
    EXPECT_EQ(_pambt->next, nullptr);
}

TEST_F(NetworkTest, CfdZoneKeepsItsMarkWhileTheVolumeBitFollowsItsVolume)
{
    zone(0x23, 0.0f);   // the project's 0x20 marks a CFD zone
    zone(0x23, 5.0f);
    zone(0x03, 5.0f);
    publish();
    afnd_set();
    EXPECT_EQ(node(1)->is_cfd, 1);
    EXPECT_EQ(node(1)->flags & NODE_VOLUME, 0u);
    EXPECT_EQ(node(2)->is_cfd, 1);
    EXPECT_EQ(node(2)->flags & NODE_VOLUME, NODE_VOLUME);
    EXPECT_EQ(node(3)->is_cfd, 0);
    EXPECT_EQ(_nCFDzone, 2);
}

// ---- Ambient state ------------------------------------------------------------------------

TEST_F(NetworkBuild, AmbientHumidityFollowsTheSaturationPressureOfWater)
{
    species(2);
    std::strcpy(_ctm[1].name, "H2O");
    _ctm[0].default_conc = 0.25f;
    _wthdat.Tambt = 293.15f;
    _wthdat.rel_humidity = 0.5f;
    sd_ambient();
    // Saturation pressure of water at 20 C is 2339 Pa (steam tables).
    double hr = 0.62472 * 0.5 * 2339.0 / (101325.0 - 0.5 * 2339.0);
    EXPECT_EQ(_wthdat.h2o_index, 1);
    EXPECT_NEAR(_wthdat.HR, hr, 2e-6);
    EXPECT_NEAR(_ambt.ambient_mf[1], hr / (1.0 + hr), 2e-6);
    EXPECT_FLOAT_EQ(_ambt.ambient_mf[0], 0.25f);
}

TEST_F(NetworkBuild, HumidityIsTakenAtTheEndsOfTheFormulasRange)
{
    species(1);
    std::strcpy(_ctm[0].name, "H2O");
    _wthdat.Tambt = 400.0f;
    _wthdat.rel_humidity = 0.5f;
    MessageCapture msgs;
    sd_ambient();
    EXPECT_TRUE(msgs.has("ERROR", " T > 373:  400\n"));
    // At 373 K water boils at 100.97 kPa: HR = 0.62472 x 0.5 Ps / (Pbar - 0.5 Ps).
    double ps = 100970.0, hr = 0.62472 * 0.5 * ps / (101325.0 - 0.5 * ps);
    EXPECT_NEAR(_wthdat.HR, hr, 2e-3);
}

TEST_F(NetworkBuild, OnlyASpeciesNamedExactlyH2OIsWaterVapour)
{
    species(1);
    std::strcpy(_ctm[0].name, "h2o");
    _wthdat.rel_humidity = 0.5f;
    _wthdat.HR = 0.123f;
    sd_ambient();
    EXPECT_EQ(_wthdat.h2o_index, -1);
    EXPECT_FLOAT_EQ(_wthdat.HR, 0.123f);
}

TEST_F(NetworkBuild, WithoutSpeciesNodesHaveNoMassFractionStorage)
{
    path(zone(), &_ambt, element(AFE_PLR_ORFC));
    publish();
    MessageCapture msgs;
    sim_data();
    EXPECT_EQ(_ambt.ambient_mf, nullptr);
    for (AirNode* n = _afnd0; n; n = n->next) {
        EXPECT_EQ(n->mf, nullptr);
        EXPECT_EQ(n->mf_eqn, nullptr);
    }
}

TEST_F(NetworkBuild, AmbientBlockOfZoneMassFractionsTakesTheDefaultConcentrations)
{
    path(zone(), &_ambt, element(AFE_PLR_ORFC));
    publish();
    species(2, 0, 0.0);
    _ctm[0].default_conc = 1e-3f;
    _ctm[1].default_conc = 2e-3f;
    mfz[2] = 5e-3;   // zone 1's block
    MessageCapture msgs;
    sim_data();
    EXPECT_EQ(_pambt->mf, _MfZ);
    EXPECT_DOUBLE_EQ(_MfZ[1], (double)2e-3f);
    EXPECT_EQ(node(1)->mf, _MfZ + 2);
    EXPECT_EQ(node(1)->mf[0], 5e-3);
}

TEST_F(NetworkBuild, NonTraceMassFractionsSumToOneAndSetTheGasConstant)
{
    path(zone(), &_ambt, element(AFE_PLR_ORFC));
    publish();
    species(2, 2, 0.485);   // sums to 0.97: rescaled and logged
    _ctm[0].default_conc = 0.5f;
    _ctm[1].default_conc = 0.5f;
    rs[0] = 300.0;
    rs[1] = 200.0;
    MessageCapture msgs;
    sim_data();
    EXPECT_DOUBLE_EQ(node(1)->mf[0] + node(1)->mf[1], 1.0);
    EXPECT_DOUBLE_EQ(node(1)->gas_const, 250.0);
    EXPECT_NE(log_text().find("Adjusting node 1z mass fractions because sum(Mf) = 0.970000\n"),
              std::string::npos);
}

// ---- One-dimensional zones ----------------------------------------------------------------

struct Cd1Case {
    float length, dx_req;
    int cells;
    float dx;
    bool message;
};

class OneDimensionalZone : public NetworkTest, public ::testing::WithParamInterface<Cd1Case> {};

TEST_P(OneDimensionalZone, LengthIsDividedIntoTheNearestWholeNumberOfCells)
{
    const Cd1Case& c = GetParam();
    ZoneRec* z = zone(0x03, 20.0f);
    z->cd1 = 1;
    float g[8] = {0, 0, 1, 0, 0, 1 + c.length, c.dx_req, 0.2f};
    std::memcpy(z->cd1_geom, g, sizeof g);
    publish();
    species(1);
    _rcdat.mf_solver = 1;
    _rcdat.sim_mf = 2;
    MessageCapture msgs;
    sd_ambient();
    afnd_set();
    Cd1Zone* cd = node(1)->cd1_zone;
    ASSERT_NE(cd, nullptr);
    EXPECT_EQ(cd->cell_count, c.cells);
    EXPECT_NEAR(cd->cell_length, c.dx, 1e-3);
    EXPECT_FLOAT_EQ(cd->direction[2], 1.0f);
    EXPECT_FLOAT_EQ(cd->inv_area, c.length / 20.0f);
    EXPECT_NEAR(cd->diffusion_per_length, 0.2 / c.dx, 1e-4);
    EXPECT_EQ(_nCcctm, c.cells);
    EXPECT_EQ(_nCmctm, 1);   // the ambient's single cell
    EXPECT_EQ(msgs.count("ERROR"), c.message ? 1 : 0) << msgs.dump();
}

INSTANTIATE_TEST_SUITE_P(Cells, OneDimensionalZone,
                         ::testing::Values(Cd1Case{10, 3, 3, 3.3333f, false},
                                           Cd1Case{10, 8, 1, 10, false},
                                           Cd1Case{10, 6, 2, 5, false},
                                           Cd1Case{10, 0, 1, 10, true},
                                           Cd1Case{10, 20, 1, 10, false}),
                         testnames::named([](const Cd1Case& c) {
                             return "dx_asked_" + testnames::num(c.dx_req) + "_cells_" +
                                    std::to_string(c.cells);
                         }));

TEST_F(NetworkTest, OneDimensionalZoneWithoutLengthOrVolumeIsFatal)
{
    ZoneRec* z = zone(0x03, 20.0f);
    z->cd1 = 1;
    float g[8] = {1, 1, 1, 1, 1, 1, 0.5f, 0.2f};
    std::memcpy(z->cd1_geom, g, sizeof g);
    publish();
    _rcdat.mf_solver = 1;
    _rcdat.sim_mf = 2;
    EXPECT_EXIT(afnd_set(), ::testing::ExitedWithCode(2),
                "FATAL 1-D C-D zone 1: cell dx=0.500, L=0.000, ==> N=1, dx=0.000");
    z->cd1_geom[5] = 4.0f;
    z->volume = 0.0f;
    EXPECT_EXIT(afnd_set(), ::testing::ExitedWithCode(2), "FATAL 1-D C-D zone 1: volume = 0.000 m\\^3");
}

// ---- Value files --------------------------------------------------------------------------

class ValueFiles : public NetworkTest {
protected:
    void SetUp() override
    {
        NetworkTest::SetUp();
        std::strcpy(names[0], "Tout");
        std::strcpy(names[1], "Flow");
        _cvfNames = names;
        _cvfNumNames = 2;
        _cvfVals[2] = vals;
        _dvfNames = names;
        _dvfNumNames = 1;
        _dvfVals = dvals;
    }
    char names[2][16];
    float vals[2] = {280.0f, 0.5f};
    float dvals[1] = {1.0f};
};

TEST_F(ValueFiles, ElementValueComesFromTheNamedColumn)
{
    ZoneRec* z = zone();
    z->vf_type = 1;
    std::strcpy(z->vf_name, "Tout");
    PathRec* p = path(z, &_ambt, element(AFE_PLR_ORFC));
    p->vf_type = 2;
    std::strcpy(p->vf_name, "Tout");
    publish();
    MessageCapture msgs;
    sim_data();
    EXPECT_EQ(node(1)->temperature_ptr, &vals[0]);
    EXPECT_EQ(airpath(1)->value_ptr, &dvals[0]);
}

TEST_F(ValueFiles, UnknownColumnIsReportedThenEndsTheRun)
{
    ZoneRec* z = zone();
    PathRec* p = path(z, &_ambt, element(AFE_PLR_ORFC));
    p->vf_type = 1;
    std::strcpy(p->vf_name, "Flw");
    publish();
    EXPECT_EXIT(sim_data(), ::testing::ExitedWithCode(2),
                "ERROR Node name Flw not found in CVF file.\n(.|\n)*FATAL Fix errors reported above: each "
                "value-file node name of the project must be in its CVF or DVF file\n");
}

TEST_F(ValueFiles, UnknownColumnOfAnOccupantEmissionEndsTheRunToo)
{
    path(zone(), &_ambt, element(AFE_PLR_ORFC));
    publish();
    species(1);
    ExposureSrcRec* x = rec<ExposureSrcRec>("pxs");
    x->value_file_type = 2;
    std::strcpy(x->value_file_name, "Gen");
    _Pxs0 = x;
    EXPECT_EXIT(sim_data(), ::testing::ExitedWithCode(2),
                "Node name Gen not found in DVF file.(.|\n)*FATAL Fix errors");
}

TEST_F(ValueFiles, BindingReportsUnknownNamesAndTypes)
{
    MessageCapture msgs;
    float* target = &_one;
    EXPECT_EQ(ctrl_set_CvfDvf(&target, 1, "Flow"), 1);
    EXPECT_EQ(target, &vals[1]);
    EXPECT_EQ(ctrl_set_CvfDvf(&target, 2, "Flow"), 1);   // the DVF has only "Tout"
    EXPECT_EQ(target, &vals[1]);
    EXPECT_TRUE(msgs.has("ERROR", " Node name Flow not found in DVF file.\n"));
    EXPECT_EQ(ctrl_set_CvfDvf(&target, 5, "Flow"), 0);
    EXPECT_EQ(target, nullptr);
    EXPECT_TRUE(msgs.has("ERROR", " Invalid CVF/DVF vf_type, 5.\n"));
}

}  // namespace
}  // namespace vexlar
