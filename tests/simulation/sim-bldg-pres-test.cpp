// The building pressurization test on hand-built buildings: which paths are shut and
// how, the pressures that hold the test pressure across the envelope at every height
// without wind, and which flows make up the test flow.
#include <gtest/gtest.h>

#include <cstdio>

#include "common-src/paths.h"
#include "model/elements.h"
#include "model/prj-records.h"
#include "simulation/sim-bldg-int.h"
#include "tests/airflow/af-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

TEST(BldgPresConditions, ShutsWhatBlowsOutdoorsAndHoldsTheTestPressureAtEveryHeight)
{
    AfNet net;
    AfNet::runControl({1, 0});
    _rcdat.bldg_dp = 50.0f;
    AirNode* c = net.zone(303.15, 100.0f, false);   // conditioned: fixed pressure
    AirNode* u = net.zone(263.15, 50.0f, true);     // unconditioned: floats
    AirNode* t = net.zone(303.15, 0.1f, false, 2);  // a terminal node
    AirNode* a = net.ambient(263.15);
    a->flags |= NODE_VAR_P;
    u->flags |= NODE_AMBIENT;
    c->height = 3.0f;

    TerminalData inward{}, outward{}, outdoors{};
    inward.area = outward.area = outdoors.area = 0.02f;
    auto terminal = [&](AirNode* to, TerminalData* d) {
        AirPath* p = net.path(t, to, net.element(AFE_D_TERM, nullptr, d));
        p->kind = 2;
        return p;
    };
    AirPath* in = terminal(c, &inward);
    AirPath* out = terminal(u, &outward);
    AirPath* od = terminal(a, &outdoors);
    DuctData dd{};
    dd.leak_coef = 0.5f;
    AirPath* leak = net.path(t, c, net.element(AFE_D_LEAK, nullptr, nullptr));
    leak->kind = 3;
    leak->duct_data = &dd;
    FanData fan{};
    fan.plr = PlrData{1e-3f, 0.5f, 0.5f};
    AfeRec* curve = net.element(AFE_FAN_FAN, nullptr, &fan);
    AirPath* fans[] = {net.path(c, a, curve), net.path(u, a, curve),   // one curve on two paths
                       net.path(c, a, net.element(AFE_FAN_CMF, nullptr, nullptr)),
                       net.path(c, a, net.element(AFE_DCT_FAN, nullptr, nullptr)),
                       net.path(c, u, net.element(AFE_AHS_SR, nullptr, nullptr))};
    AirPath* wall = net.path(c, a, net.powerLaw(0.01f, 0.65f));
    net.windOf(wall) = 20.0f;   // a fixed wind pressure [Pa]

    bpShutMechanical();
    EXPECT_EQ(inward.area, 0.02f);
    EXPECT_EQ(*in->value_ptr, 1.0f);
    for (const AirPath* p : {out, od}) EXPECT_EQ(p->value_ptr, &_zero);
    EXPECT_FLOAT_EQ(outward.area, 2e-5f);
    EXPECT_FLOAT_EQ(outdoors.area, 2e-5f);
    EXPECT_FLOAT_EQ(dd.leak_coef, 5e-5f);
    for (const AirPath* p : fans) EXPECT_EQ(p->value_ptr, &_zero);
    EXPECT_FLOAT_EQ(fan.plr.lam_coef, 1e-6f) << "cut once, not once per path";
    EXPECT_FLOAT_EQ(fan.plr.turb_coef, 5e-4f);
    EXPECT_EQ(*wall->value_ptr, 1.0f);

    const double rho = 1.2;
    bpTestConditions(rho);
    for (const AirNode* n : {c, u, t, a}) EXPECT_EQ(n->temperature, 293.15);
    EXPECT_DOUBLE_EQ(c->pressure, 50.0 - (double)_rcdat.gravity * rho * 3.0);
    EXPECT_DOUBLE_EQ(t->pressure, 50.0);
    EXPECT_EQ(u->pressure, 0.0) << "floats from where the solution puts it";
    EXPECT_EQ(a->flags & NODE_VAR_P, 0u);
    EXPECT_EQ(a->pressure, 0.0);
    EXPECT_EQ(*wall->wind_pressure, 0.0f);
    _rcdat = RunControlData{};
}

// A two-opening door adds both its flows; a second flow of any other element is
// unexpected, reported once and left out; paths inside the building do not count.
TEST(BldgPresFlow, CountsTheEnvelopeFlowsOnly)
{
    AfNet net;
    LogCapture log;
    AirNode* c = net.zone(293.15);
    AirNode* a = net.ambient(293.15);
    const struct {
        AirNode *from, *to;
        int type, env_dir;
        double F, F2;
    } paths[] = {{a, c, AFE_DOR_PL2, 1, 0.1, 0.05}, {c, a, AFE_DOR_DOOR, -1, 0.2, -0.07}, {c, c, AFE_PLR_ORFC, 0, 0.3, 0}};
    for (const auto& d : paths) {
        AirPath* p = net.path(d.from, d.to, net.element(d.type, nullptr, nullptr));
        const char* name = d.type == AFE_DOR_DOOR ? "Door" : "Other";
        std::snprintf(p->element->name, sizeof p->element->name, "%s", name);
        p->env_dir = d.env_dir;
        p->mass_flow[0] = d.F;
        p->mass_flow[1] = d.F2;
    }
    EXPECT_DOUBLE_EQ(bpTestFlow(), 0.1 + 0.05 + 0.2);
    FILE* f = tmpfile();
    bpWriteReport(f, 1.0, bpTestFlow(), BldgVolumes{0, 0, 0});
    std::string val = fileContents(f);
    fclose(f);
    EXPECT_EQ(countOf(LogCapture::screen(),
                      "ERROR Unexpected 2nd flow, path 2: element Door carries air both ways at the test "
                      "pressure and only its first flow is counted; give the path a two-opening door "
                      "element or raise the test pressure\n"),
              1);
    EXPECT_NE(val.find("[cfm]\n1\t1\t0\t0.00\t0.0000\t0.15\t"), std::string::npos) << val;
    EXPECT_NE(val.find("\n2\t1\t0\t0.00\t0.0000\t0.2\t"), std::string::npos);
    EXPECT_EQ(val.find("\n3\t"), std::string::npos);
}

}  // namespace
