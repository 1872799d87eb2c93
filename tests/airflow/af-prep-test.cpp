// Wind pressures from the three kinds of profile fit, stack pressures in the linear and
// exponential forms, node densities and gauge pressures, on a small hand-built network:
// one zone, a junction inside it, a junction outside, and the ambient node.
#include "airflow/af-prep.h"

#include <gtest/gtest.h>

#include <cmath>

#include "common-src/prj-file-util.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/run-control.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

constexpr double PBAR = 101325.0;
constexpr double R = 287.055;

class AfPrep : public ::testing::Test {
protected:
    LevelRec lev0{}, lev1{};
    AirNode zone{}, jin{}, jout{}, amb{};
    AirPath path{}, duct{};
    float wp[3] = {0.0f, 0.0f, 0.0f};
    float wps[3] = {0.0f, 1.0f, -1.0f};
    float zero = 0.0f;
    float azm[5] = {0, 90, 180, 270, 360};
    float cp[5] = {0.6f, -0.3f, -0.5f, -0.3f, 0.6f};
    WindProfileRec prof{};
    WpSpline blocks[5];
    float trig[4];

    void SetUp() override
    {
        saved_ = {_afnd0, _pambt, _pafp0, _Lev0, _ENV_wP, _ENV_wPs};
        _rcdat.gravity = 9.8f;
        _rcdat.stackD = 0;
        _rcdat.densZP = 0;
        _useWPCwp = 0;
        _wPBridge = 0;
        _doBridge = 0;
        _wthdat.Pbar = PBAR;
        _wthdat.WS = 5.0f;
        _wthdat.WD = 0.0f;
        lev0.ref_height = 0.0f;
        lev1.ref_height = 3.0f;
        lev0.next = &lev1;
        node(&zone, 1, 293.15, 4.5f, 20.0);
        zone.location.level = &lev1;
        node(&jin, 2, 303.15, 6.0f, 25.0);
        jin.kind = 1;
        jin.in_zone = 1;
        jin.location.zone = &zone;
        node(&jout, 3, 283.15, 2.0f, 5.0);
        jout.kind = 1;
        jout.location.level = &lev0;
        node(&amb, 4, 273.15, 0.0f, 0.0);
        amb.location.level = &lev0;
        zone.next = &jin;
        jin.next = &jout;
        jout.next = &amb;
        _afnd0 = &zone;
        _pambt = &amb;
        _Lev0 = &lev0;
        // An exterior opening from the ambient into the zone, 1 m above the zone's height,
        // and a duct rising 4 m from the outside junction to the one in the zone.
        path.from_node = &amb;
        path.to_node = &zone;
        path.flags = PATH_WIND;
        path.env_index = 2;
        path.dz_from = 5.5f;
        path.dz_to = 1.0f;
        path.azimuth = 30.0f;
        path.wind_mod = 0.8f;
        path.wind_pressure = &wp[2];
        path.next = &duct;
        duct.kind = 1;
        duct.from_node = &jout;
        duct.to_node = &jin;
        duct.duct_rise = 4.0f;
        duct.wind_pressure = &zero;
        _pafp0 = &path;
        _ENV_wP = wp;
        _ENV_wPs = wps;
        prof.npts = 5;
        prof.fit_type = WPF_LINEAR;
        prof.wp_azimuth = azm;
        prof.wp_cp = cp;
        prof.spline = blocks;
        prof.trig = trig;
    }
    void TearDown() override
    {
        _afnd0 = saved_.n;
        _pambt = saved_.a;
        _pafp0 = saved_.p;
        _Lev0 = saved_.l;
        _ENV_wP = saved_.w;
        _ENV_wPs = saved_.s;
    }
    static void node(AirNode* nd, int index, double t, float height, double p)
    {
        nd->index = index;
        nd->temperature = t;
        nd->gas_const = R;
        nd->height = height;
        nd->pressure = p;
        nd->density = PBAR / (R * t);
    }
    double ambientQ() const { return 0.5 * PBAR / (R * 273.15) * 25.0; }
    // Wind pressure on the opening for the wind direction wd (the opening faces 30 deg).
    double windAt(float wd)
    {
        _wthdat.WD = wd;
        calc_wP();
        return wp[2];
    }

private:
    struct {
        AirNode* n;
        AirNode* a;
        AirPath* p;
        LevelRec* l;
        float* w;
        float* s;
    } saved_;
};

// ---- Wind pressures --------------------------------------------------------------------

class WindProfiles : public AfPrep, public ::testing::WithParamInterface<int> {};

TEST_P(WindProfiles, ProfileGivesItsDataAtTheFitPoints)
{
    prof.fit_type = GetParam();
    if (prof.fit_type == WPF_SPLINE) {
        ASSERT_EQ(wp_ccspl(5, azm, cp, blocks), 1);
    }
    if (prof.fit_type == WPF_TRIG) {
        ASSERT_EQ(wp_htrig(5, azm, cp, trig), 1);
    }
    path.wind_profile = &prof;
    for (int i = 0; i < 4; i++) {
        // The pressure is stored with the opening's sign (-1: the path ends at the ambient).
        double expect = -cp[i] * 0.8 * ambientQ();
        EXPECT_NEAR(windAt(30.0f + azm[i]), expect, 1e-4 * ambientQ()) << "azimuth " << azm[i];
    }
    EXPECT_NEAR(amb.density, PBAR / (R * 273.15), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(AfPrep, WindProfiles, ::testing::Values(WPF_LINEAR, WPF_SPLINE, WPF_TRIG),
                         testnames::named([](int fit) {
                             return fit == WPF_LINEAR   ? "Linear"
                                    : fit == WPF_SPLINE ? "Spline"
                                                        : "Trig";
                         }));

TEST_F(AfPrep, LinearProfileInterpolatesBetweenPoints)
{
    path.wind_profile = &prof;
    EXPECT_NEAR(windAt(30.0f + 45.0f), -0.15 * 0.8 * ambientQ(), 1e-5);
    EXPECT_NEAR(windAt(30.0f + 315.0f), -0.15 * 0.8 * ambientQ(), 1e-5);
}

TEST_F(AfPrep, WindAnglesOutsideOneTurnWrapAround)
{
    path.wind_profile = &prof;
    double in_range = windAt(30.0f + 45.0f);
    EXPECT_FLOAT_EQ(windAt(30.0f + 45.0f + 720.0f), in_range);
    EXPECT_FLOAT_EQ(windAt(30.0f + 45.0f - 360.0f), in_range);
    EXPECT_NEAR(windAt(30.0f - 1e-4f), windAt(30.0f), 1e-3);  // just below 360: last interval
}

TEST_F(AfPrep, CalmWindZeroesProfilePressuresButNotFixedOnes)
{
    path.wind_profile = &prof;
    _wthdat.WS = 0.0f;
    EXPECT_EQ(windAt(30.0f), 0.0f);
    path.wind_profile = nullptr;
    path.fixed_wind_pressure = 12.5f;
    EXPECT_FLOAT_EQ(windAt(30.0f), -12.5f);
}

TEST_F(AfPrep, WindFromFileLeavesPressuresAlone)
{
    path.fixed_wind_pressure = 12.5f;
    wp[2] = 3.0f;
    _useWPCwp = 1;
    EXPECT_EQ(windAt(0.0f), 3.0f);
    _useWPCwp = 0;
    _wPBridge = 1;
    _doBridge = 2;
    EXPECT_EQ(windAt(0.0f), 3.0f);
}

TEST_F(AfPrep, AngleOutsideAProfileTableIsFatal)
{
    prof.npts = 3;  // 0 .. 180 only
    path.wind_profile = &prof;
    EXPECT_EXIT(windAt(30.0f + 270.0f), ::testing::ExitedWithCode(2), "input value too large: 270");
}

// ---- Densities and stack pressures -----------------------------------------------------

TEST_F(AfPrep, NodeDensityFollowsTheGasLawWithOrWithoutNodePressure)
{
    calc_sP();
    EXPECT_NEAR(zone.density, PBAR / (R * 293.15), 1e-12);
    EXPECT_NEAR(zone.viscosity, 3.7143e-6 + 4.9286e-8 * 293.15, 1e-12);
    EXPECT_NEAR(zone.density_viscosity_ratio, zone.density / zone.viscosity, 1e-2);
    EXPECT_NEAR(zone.sqrt_density, sqrt(zone.density), 1e-7);
    _rcdat.densZP = 1;
    calc_sP();
    EXPECT_NEAR(zone.density, (PBAR + 20.0) / (R * 293.15), 1e-12);
}

TEST_F(AfPrep, DensityBelowLimitIsFatal)
{
    zone.temperature = 1e6;
    EXPECT_EXIT(calc_sP(), ::testing::ExitedWithCode(2), "Node 1 - invalid air density");
}

TEST_F(AfPrep, LinearStackIsTheDifferenceOfTheTwoColumns)
{
    wp[2] = -7.0f;
    calc_sP();
    double g = 9.8f;
    double stack = 1.0 * zone.density * g - 5.5 * amb.density * g;
    EXPECT_NEAR(path.stack_pressure, stack, 1e-9);
    EXPECT_NEAR(path.dp, 0.0 - 20.0 + stack - 7.0, 1e-9);
    EXPECT_NEAR(duct.stack_pressure, -g * 4.0 * PBAR / (R * 0.5 * (283.15 + 303.15)), 1e-4);
}

TEST_F(AfPrep, LinearAndExponentialStackAgree)
{
    for (int densZP = 0; densZP <= 1; densZP++) {
        _rcdat.densZP = densZP;
        _rcdat.stackD = 0;
        calc_sP();
        double lin_path = path.stack_pressure, lin_duct = duct.stack_pressure;
        _rcdat.stackD = 1;
        calc_sP();
        // The columns are a few metres high: the exponential differs by O(g h / R T) ~ 1e-3.
        EXPECT_NEAR(path.stack_pressure, lin_path, 2e-3 * fabs(lin_path));
        EXPECT_NEAR(duct.stack_pressure, lin_duct, 2e-3 * fabs(lin_duct));
        EXPECT_NE(lin_path, 0.0);
    }
}

TEST_F(AfPrep, HorizontalDuctHasNoStackPressure)
{
    duct.duct_rise = 0.0f;
    for (int mode = 0; mode < 4; mode++) {
        _rcdat.stackD = mode & 1;
        _rcdat.densZP = mode >> 1;
        calc_sP();
        EXPECT_EQ(duct.stack_pressure, 0.0);
        EXPECT_EQ(duct.dp, 5.0 - 25.0);
    }
}

// ---- Gauge pressures -------------------------------------------------------------------

TEST_F(AfPrep, GaugePressureIsRelativeToTheSurroundingsAtTheNodesHeight)
{
    calc_sP();
    findPgage();
    double g = 9.8f, ra = amb.density;
    EXPECT_NEAR(lev1.amb_gauge_p, -ra * g * 3.0, 1e-9);
    EXPECT_NEAR(lev1.amb_density, ra, 1e-12);
    // Zone at 4.5 m: the outside pressure there is -ra g 4.5.
    EXPECT_NEAR(zone.gauge_pressure, 20.0 + ra * g * 4.5, 1e-4);
    EXPECT_NEAR(jout.gauge_pressure, 5.0 + ra * g * 2.0, 1e-4);
    // Junction 1.5 m above the zone it lies in.
    EXPECT_NEAR(jin.gauge_pressure, 25.0 - 20.0 + 1.5 * zone.density * g, 1e-4);
    EXPECT_EQ(amb.gauge_pressure, 0.0f);
}

TEST_F(AfPrep, ExponentialGaugePressureUsesAnIsothermalAmbientColumn)
{
    _rcdat.stackD = 1;
    calc_sP();
    findPgage();
    double g = 9.8f, rt = R * 273.15, f = exp(-g * 3.0 / rt);
    EXPECT_NEAR(lev1.amb_density, PBAR * f / rt, 1e-12);
    EXPECT_NEAR(lev1.amb_gauge_p, PBAR * f - PBAR, 1e-9);
    double outside = PBAR * f - PBAR - 1.5 * lev1.amb_density * g;
    EXPECT_NEAR(zone.gauge_pressure, 20.0 - outside, 1e-4);
    EXPECT_NEAR(zone.gauge_pressure, 20.0 + amb.density * g * 4.5, 0.05);
}

}  // namespace
}  // namespace vexlar
