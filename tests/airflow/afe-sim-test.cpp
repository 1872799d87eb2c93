// Airflow element models against flows worked out by hand (power laws in both regimes,
// dampers, quadratic and exponential elements, doors with buoyancy, fans at free delivery
// and shut-off, ducts against Hagen-Poiseuille and Colebrook, terminals, leaks and the
// air-handling paths), and every model's derivative against a finite difference.
#include "airflow/afe-sim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "airflow/afe-csf.h"
#include "common-src/afe-friction.h"
#include "common-src/messages.h"
#include "common-src/prj-file-util.h"
#include "model/constants.h"
#include "model/counters.h"
#include "model/elements.h"
#include "model/run-control.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

int errorCount() { return error(-1, __FILE__, __LINE__, "test", ""); }

// Node state as the stack-pressure step leaves it, with round numbers.
void setNode(AirNode* nd, double rho, double rho_over_mu)
{
    nd->density = rho;
    nd->sqrt_density = (float)sqrt(rho);
    nd->density_viscosity_ratio = (float)rho_over_mu;
    nd->viscosity = (float)(rho / rho_over_mu);
    nd->temperature = 293.15;
}

// One path between two nodes with an element of the given type and data block.
struct PathFixture {
    AirNode from{}, to{};
    AfeRec elem{};
    AirPath path{};
    DuctData duct{};
    float value = 1.0f;

    PathFixture(int type, void* data)
    {
        setNode(&from, 1.21, 60000.0);
        setNode(&to, 1.21, 60000.0);
        elem.type = type;
        elem.model_data = data;
        path.from_node = &from;
        path.to_node = &to;
        path.element = &elem;
        path.value_ptr = &value;
        path.multiplier = 1.0;
        path.duct_data = &duct;
    }
    int at(double dp, AFE_MODEL_FN fn)
    {
        path.dp = dp;
        return fn(&path);
    }
    double flow(double dp, AFE_MODEL_FN fn)
    {
        at(dp, fn);
        return path.mass_flow[0];
    }
};

class AfeModels : public ::testing::Test {
protected:
    void SetUp() override
    {
        _rcdat.af_corr = 0;
        _rcdat.gravity = 9.8f;
    }
};

// ---- Power-law family ------------------------------------------------------------------

TEST_F(AfeModels, PowerLawIsTurbulentAtLargeDpAndLaminarAtSmallDp)
{
    PlrData d{1e-6f, 0.01f, 0.5f};
    PathFixture f(AFE_PLR_ORFC, &d);
    f.value = 0.5f;
    f.path.multiplier = 3.0;  // k = 1.5
    // Turbulent: 0.01 x sqrt(1.21) x sqrt(16) = 0.044; derivative 0.5 F / dp.
    EXPECT_EQ(f.at(16.0, afe_plr), 1);
    EXPECT_NEAR(f.path.mass_flow[0], 0.066, 1e-8);
    EXPECT_NEAR(f.path.dflow_dp, 1.5 * 0.5 * 0.044 / 16.0, 1e-9);
    EXPECT_EQ(f.path.mass_flow[1], 0.0);
    // Laminar: 1e-6 x 60000 x 1e-4 = 6e-6 (turbulent would be 1.1e-4).
    f.at(-1e-4, afe_plr);
    EXPECT_NEAR(f.path.mass_flow[0], -1.5 * 6e-6, 1e-12);
    EXPECT_NEAR(f.path.dflow_dp, 1.5 * 0.06, 1e-9);
}

TEST_F(AfeModels, PowerLawAtZeroDpHasZeroFlowAndLaminarDerivative)
{
    PlrData d{2e-6f, 0.01f, 0.65f};
    PathFixture f(AFE_PLR_LEAK1, &d);
    f.path.multiplier = 2.0;
    f.at(0.0, afe_plr);
    EXPECT_EQ(f.path.mass_flow[0], 0.0);
    EXPECT_NEAR(f.path.dflow_dp, 2.0 * 2e-6 * 60000.0, 1e-9);
}

TEST_F(AfeModels, TieBetweenLaminarAndTurbulentTakesLaminarBranch)
{
    // At dp = 4: laminar 0.5 x 0.25 x 4 = 0.5, turbulent 0.25 x 1 x sqrt(4) = 0.5.
    PlrData d{0.5f, 0.25f, 0.5f};
    PathFixture f(AFE_PLR_ORFC, &d);
    f.from.density_viscosity_ratio = 0.25f;
    f.from.sqrt_density = 1.0f;
    f.at(4.0, afe_plr);
    EXPECT_EQ(f.path.mass_flow[0], 0.5);
    EXPECT_EQ(f.path.dflow_dp, 0.125);  // laminar; the turbulent one would be 0.0625
}

TEST_F(AfeModels, VolumeAndMassCoefficientFormsScaleWithDensityAsTheirNamesSay)
{
    PlrData d{1e-3f, 0.01f, 0.5f};  // laminar flow far larger: the turbulent one is taken
    PathFixture f(AFE_PLR_QCN, &d);
    EXPECT_NEAR(f.flow(16.0, afe_qcn), 0.01 * 1.21 * 4.0, 1e-8);
    EXPECT_NEAR(f.flow(16.0, afe_fcn), 0.01 * 4.0, 1e-8);
    EXPECT_NEAR(f.flow(16.0, afe_plr), 0.01 * 1.1 * 4.0, 1e-8);
}

TEST_F(AfeModels, CorrectionIsOneAtReferenceStateAndSkippedAtExponentOneHalf)
{
    PlrData d{1e-3f, 0.01f, 0.65f};
    PathFixture f(AFE_PLR_ORFC, &d);
    setNode(&f.from, RHO_REF, 1.0 / NU_REF);
    double plain = f.flow(10.0, afe_plr);
    _rcdat.af_corr = 1;
    EXPECT_NEAR(f.flow(10.0, afe_plr), plain, 1e-6 * plain);
    // Away from the reference: Kc = (nu0 rho/mu)^(2n-1) (rho0/rho)^m.
    setNode(&f.from, 1.0, 0.5 / NU_REF);
    _rcdat.af_corr = 0;
    double raw = f.flow(10.0, afe_qcn);
    _rcdat.af_corr = 1;
    double kc = pow(0.5, 0.3) * pow(RHO_REF, 0.65);
    EXPECT_NEAR(f.flow(10.0, afe_qcn), raw * kc, 1e-6 * raw);
    d.flow_exponent = 0.5f;
    _rcdat.af_corr = 0;
    raw = f.flow(10.0, afe_fcn);
    _rcdat.af_corr = 1;
    EXPECT_DOUBLE_EQ(f.flow(10.0, afe_fcn), raw);
}

TEST_F(AfeModels, DampersUseOneLawPerDirectionAndTheirOwnDerivativeAtZero)
{
    BdData d{1e-6f, 0.02f, 0.5f, 0.01f, 0.5f};
    PathFixture f(AFE_PLR_BDQ, &d);
    setNode(&f.to, 1.0, 40000.0);
    // Forward: from node, turb_pos; reverse: to node, turb_neg, negative flow.
    EXPECT_NEAR(f.flow(16.0, afe_bdf), 0.02 * 4.0, 1e-8);
    EXPECT_NEAR(f.flow(-16.0, afe_bdf), -0.01 * 4.0, 1e-8);
    EXPECT_NEAR(f.flow(16.0, afe_bdq), 0.02 * 1.21 * 4.0, 1e-8);
    EXPECT_NEAR(f.flow(-16.0, afe_bdq), -0.01 * 1.0 * 4.0, 1e-8);
    f.at(0.0, afe_bdq);
    EXPECT_NEAR(f.path.dflow_dp, 1e-6 * 0.5 * (60000.0 + 40000.0), 1e-9);
    f.at(0.0, afe_bdf);
    EXPECT_NEAR(f.path.dflow_dp, 1e-6 * 60000.0, 1e-9);
    EXPECT_EQ(f.path.mass_flow[0], 0.0);
}

TEST_F(AfeModels, QuadraticElementSolvesDpEqualsAFPlusBFSquared)
{
    QfrData d{2.0f, 100.0f};  // dp = 2 F + 100 F^2: F = 0.1 at dp = 1.2
    PathFixture f(AFE_QFR_FAB, &d);
    f.at(1.2, afe_qfr);
    EXPECT_NEAR(f.path.mass_flow[0], 0.1, 1e-12);
    EXPECT_NEAR(f.path.dflow_dp, 1.0 / 22.0, 1e-12);
    f.at(-1.2, afe_qfr);
    EXPECT_NEAR(f.path.mass_flow[0], -0.1, 1e-12);
    EXPECT_NEAR(f.path.dflow_dp, 1.0 / 22.0, 1e-12);
    f.elem.type = AFE_QFR_QAB;  // volume flows: times the upstream density
    EXPECT_NEAR(f.flow(1.2, afe_qfr), 0.121, 1e-12);
}

TEST_F(AfeModels, QuadraticElementWithoutOneTermStaysFinite)
{
    QfrData lin{4.0f, 0.0f};
    PathFixture f(AFE_QFR_FAB, &lin);
    f.at(2.0, afe_qfr);
    EXPECT_DOUBLE_EQ(f.path.mass_flow[0], 0.5);
    EXPECT_DOUBLE_EQ(f.path.dflow_dp, 0.25);
    QfrData sq{0.0f, 4.0f};  // F = sqrt(dp / 4): secant to 0.001 Pa at dp = 0
    PathFixture g(AFE_QFR_FAB, &sq);
    g.at(0.0, afe_qfr);
    EXPECT_EQ(g.path.mass_flow[0], 0.0);
    EXPECT_TRUE(std::isfinite(g.path.dflow_dp));
    EXPECT_NEAR(g.path.dflow_dp, sqrt(0.001 / 4.0) / 0.001, 1e-9);
    g.at(1.0, afe_qfr);
    EXPECT_NEAR(g.path.mass_flow[0], 0.5, 1e-12);
}

TEST_F(AfeModels, QuadraticElementWithNegativeDiscriminantIsFatal)
{
    QfrData d{1.0f, -1.0f};
    PathFixture f(AFE_QFR_FAB, &d);
    EXPECT_EXIT(f.at(1.0, afe_qfr), ::testing::ExitedWithCode(2), "sqrt\\( -x \\)");
}

TEST_F(AfeModels, ExponentialElementApproachesItsLimitFlow)
{
    JwaData d{0.1f, 10.0f, 2.0f};
    PathFixture f(AFE_SRV_JWA, &d);
    setNode(&f.to, 1.0, 60000.0);
    f.at(10.0, afe_jwa);
    EXPECT_NEAR(f.path.mass_flow[0], 0.1 * 1.21 * (1.0 - exp(-1.0)), 1e-7);
    EXPECT_NEAR(f.path.dflow_dp, 0.1 * 1.21 / 10.0 * exp(-1.0), 1e-8);
    EXPECT_NEAR(f.flow(-20.0, afe_jwa), -0.1 * 1.0 * 2.0 * (1.0 - exp(-1.0)), 1e-7);
}

TEST_F(AfeModels, ConstantFlowsIgnorePressureAndVolumeFlowUsesFromDensity)
{
    ConstFlowData d{0.5f};
    PathFixture f(AFE_FAN_CMF, &d);
    f.value = 0.5f;
    setNode(&f.to, 1.0, 60000.0);
    EXPECT_DOUBLE_EQ(f.flow(-50.0, afe_cmf), 0.25);
    EXPECT_NEAR(f.flow(-50.0, afe_cvf), 0.5 * 1.21 * 0.5, 1e-12);
    EXPECT_EQ(f.path.dflow_dp, 0.0);
}

// ---- Doors and two-opening elements ---------------------------------------------------

// The door takes the run's gravity: 10 m/s2 here, so that drho g = 0.1 x 10 = 1 Pa/m.
constexpr float DOOR_G = 10.0f;

struct DoorFixture : PathFixture {
    DoorData d{{1e-6f, 0.02f, 0.5f}, 2.0f, 1.0f, 0.6f};
    DoorFixture() : PathFixture(AFE_DOR_DOOR, nullptr)
    {
        elem.model_data = &d;
        setNode(&from, 1.2, 60000.0);
        setNode(&to, 1.1, 60000.0);
        _rcdat.gravity = DOOR_G;
    }
    // 0.666667 W Cd sqrt(2 |drho| g) with drho g = 1
    double k() const { return 0.666667 * 1.0 * 0.6 * sqrt(2.0 * 0.1 * DOOR_G); }
};

TEST_F(AfeModels, DoorCarriesTwoWayFlowAroundNeutralPlaneAtMidHeight)
{
    DoorFixture f;
    EXPECT_EQ(f.at(0.0, afe_dor), 2);  // A = B = 1
    EXPECT_NEAR(f.path.mass_flow[0], -sqrt(1.1) * f.k(), 1e-6);  // top: light side to dense
    EXPECT_NEAR(f.path.mass_flow[1], sqrt(1.2) * f.k(), 1e-6);   // bottom: dense to light
}

TEST_F(AfeModels, DoorWithNeutralPlaneAtTopEdgeHasOneZeroFlow)
{
    DoorFixture f;
    EXPECT_EQ(f.at((1.2 - 1.1) * DOOR_G * 1.0, afe_dor), 2);
    EXPECT_NEAR(f.path.mass_flow[0], 0.0, 1e-6);
    EXPECT_NEAR(f.path.mass_flow[1], sqrt(1.2) * f.k() * pow(2.0, 1.5), 1e-5);
}

TEST_F(AfeModels, DoorWithNeutralPlaneAboveIsOneWay)
{
    DoorFixture f;
    f.path.mass_flow[1] = 7.0;
    const double ab = pow(3.0, 1.5) - 1.0;     // z = 2: |A - B| = |1^1.5 - 3^1.5|
    EXPECT_EQ(f.at(2.0 * 1.0, afe_dor), 1);   // dense side pushes everywhere
    EXPECT_NEAR(f.path.mass_flow[0], sqrt(1.2) * f.k() * ab, 1e-6);
    EXPECT_EQ(f.path.mass_flow[1], 0.0);
    EXPECT_EQ(f.at(-2.0 * 1.0, afe_dor), 1);
    EXPECT_NEAR(f.path.mass_flow[0], -sqrt(1.1) * f.k() * ab, 1e-6);
}

TEST_F(AfeModels, DoorBetweenEqualDensitiesIsAPowerLaw)
{
    DoorFixture f;
    setNode(&f.to, 1.2, 60000.0);
    f.path.mass_flow[1] = 7.0;  // left over from a two-way iteration
    EXPECT_EQ(f.at(4.0, afe_dor), 1);
    EXPECT_NEAR(f.path.mass_flow[0], 0.02 * sqrt(1.2) * 2.0, 1e-7);
    EXPECT_EQ(f.path.mass_flow[1], 0.0);
}

TEST_F(AfeModels, TwoOpeningsSeeTheBuoyancyOfTheirHeights)
{
    Pl2Data d{{1e-6f, 0.02f, 0.5f}, 1.0f, 0.0f};
    PathFixture f(AFE_DOR_PL2, &d);
    setNode(&f.from, 1.2, 60000.0);
    setNode(&f.to, 1.1, 60000.0);
    double buoy = (double)(1.0f * 9.8f) * (1.2 - 1.1);
    EXPECT_EQ(f.at(buoy, afe_pl2), 2);  // upper opening balanced
    EXPECT_EQ(f.path.mass_flow[0], 0.0);
    EXPECT_NEAR(f.path.mass_flow[1], 0.02 * sqrt(1.2) * sqrt(2.0 * buoy), 1e-7);
    f.at(0.0, afe_pl2);  // upper flows to the from side, lower to the to side
    EXPECT_NEAR(f.path.mass_flow[0], -0.02 * sqrt(1.1) * sqrt(buoy), 1e-7);
    EXPECT_NEAR(f.path.mass_flow[1], 0.02 * sqrt(1.2) * sqrt(buoy), 1e-7);
}

TEST_F(AfeModels, NumericalDerivativeFlagMarksDoorsAndTwoOpeningPathsOnly)
{
    AfeRec door{}, pl2{}, orf{};
    door.type = AFE_DOR_DOOR;
    pl2.type = AFE_DOR_PL2;
    orf.type = AFE_PLR_ORFC;
    AirPath p[4]{};
    p[0].element = &door;
    p[1].element = &orf;
    p[2].element = &pl2;
    for (int i = 0; i < 3; i++) p[i].next = &p[i + 1];
    AirPath* saved = _pafp0;
    _pafp0 = &p[0];
    setNmDrv();
    _pafp0 = saved;
    EXPECT_TRUE(p[0].flags & PATH_NUM_DERIV);
    EXPECT_FALSE(p[1].flags & PATH_NUM_DERIV);
    EXPECT_TRUE(p[2].flags & PATH_NUM_DERIV);
    EXPECT_FALSE(p[3].flags & PATH_NUM_DERIV);  // no element
}

// ---- Fans ------------------------------------------------------------------------------

// P(f) = 100 - 40 f - 40 f^2 - 20 f^3: free delivery f = 1, shut-off 100 Pa, slope < 0.
struct FanFixture : PathFixture {
    FanData d{{1e-6f, 0.005f, 0.5f}, 1.21f, 1.0f, 100.0f, 0.1f, {100.0f, -40.0f, -40.0f, -20.0f}};
    FanFixture() : PathFixture(AFE_FAN_FAN, nullptr)
    {
        elem.model_data = &d;
        path.fan_state = 0.5f;
        setNode(&from, 1.21f, 60000.0);  // at the reference density: r = 1
    }
};

TEST_F(AfeModels, FanDeliversItsFreeFlowAtZeroPressureAndNothingAtShutOff)
{
    FanFixture f;
    f.at(0.0, afe_fan);
    EXPECT_NEAR(f.path.mass_flow[0], 1.0, 1e-12);
    EXPECT_NEAR(f.path.dflow_dp, 1.0 / 180.0, 1e-12);  // -1 / P'(1)
    // At f = 0 the relative Newton test cannot pass: the closed form ends the solve.
    f.at(-100.0, afe_fan);
    EXPECT_NEAR(f.path.mass_flow[0], 0.0, 1e-9);
    EXPECT_NEAR(f.path.dflow_dp, 1.0 / 40.0, 1e-9);
}

TEST_F(AfeModels, FanFlowScalesWithSpeedAndDensityAsTheFanLawsSay)
{
    FanFixture f;
    f.value = 0.5f;
    EXPECT_NEAR(f.flow(0.0, afe_fan), 0.5, 1e-12);
    EXPECT_NEAR(f.flow(-25.0, afe_fan), 0.0, 1e-9);  // shut-off falls with s^2
    f.value = 1.0f;
    setNode(&f.from, 0.5 * 1.21f, 60000.0);  // r = 0.5
    EXPECT_NEAR(f.flow(0.0, afe_fan), 0.5, 1e-12);
    EXPECT_NEAR(f.flow(-50.0, afe_fan), 0.0, 1e-9);
}

TEST_F(AfeModels, FanAtCutOffSpeedLeaksThroughItsPowerLaw)
{
    FanFixture f;
    f.value = 0.1f;
    f.path.multiplier = 2.0;
    EXPECT_NEAR(f.flow(16.0, afe_fan), 2.0 * 0.005 * 1.1 * 4.0, 1e-8);
}

TEST_F(AfeModels, FanStartingAtItsRootNeedsNoClosedForm)
{
    FanFixture f;
    f.path.fan_state = 1.0f;
    int a = _NrCubicA, n = _NrCubicN;
    f.at(0.0, afe_fan);
    EXPECT_EQ(_NrCubicA, a);
    EXPECT_EQ(_NrCubicN, n + 1);
    EXPECT_FLOAT_EQ(f.path.fan_state, 1.0f);
}

TEST_F(AfeModels, FanFarFromItsRootFallsBackOnTheClosedForm)
{
    FanFixture f;
    f.path.fan_state = 1e8f;
    int a = _NrCubicA;
    EXPECT_NEAR(f.flow(0.0, afe_fan), 1.0, 1e-6);
    EXPECT_EQ(_NrCubicA, a + 1);
}

struct CubicCase {
    double a0, a1, a2, a3, near, root;
};
class CubicRoots : public ::testing::TestWithParam<CubicCase> {};

TEST_P(CubicRoots, ClosedFormGivesARealRootAndNeverNaN)
{
    const CubicCase& c = GetParam();
    double x = cubic(c.a0, c.a1, c.a2, c.a3, c.near);
    EXPECT_NEAR(x, c.root, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    AfeModels, CubicRoots,
    ::testing::Values(CubicCase{-2, 1, -2, 1, 0, 2},        // (x-2)(x^2+1): one real root
                      CubicCase{100, -40, -40, -20, 0, 1},  // the fan curve above
                      CubicCase{-6, 11, -6, 1, 2.9, 3},     // three real roots: nearest
                      CubicCase{-6, 11, -6, 1, 0.8, 1}, CubicCase{-6, 11, -6, 1, 2.1, 2},
                      CubicCase{6, -5, 1, 0, 2.8, 3},  // a3 = 0: the quadratic's root
                      CubicCase{-3, 1.5, 0, 0, 0, 2}),  // linear
    testnames::indexed([](const CubicCase& c) { return "root " + testnames::num(c.root); }));

// ---- Ducts -----------------------------------------------------------------------------

struct DuctFixture : PathFixture {
    DwcData d{};
    DuctFixture(float length, float loss, float rel_rough) : PathFixture(AFE_DCT_DWC, nullptr)
    {
        d.hyd_diameter = 0.2f;
        d.flow_area = (float)(M_PI * 0.01);
        d.rel_roughness = rel_rough;
        elem.model_data = &d;
        setNode(&from, 1.2, 1.2 / 1.8e-5);
        setNode(&to, 1.2, 1.2 / 1.8e-5);
        dwc_regime_data(&d, length, loss, &duct);
        duct.length = length;
        duct.loss_coef = loss;
        duct.inv_sqrt_f = 5.0f;
        duct.re_state = 2900.0f;
    }
    // Reynolds number and Darcy friction factor implied by the flow at dp.
    double re() const { return fabs(path.mass_flow[0]) * d.hyd_diameter / (d.flow_area * from.viscosity); }
    double friction(double dp) const
    {
        double v = fabs(path.mass_flow[0]) / (from.density * d.flow_area);
        return (fabs(dp) / (0.5 * from.density * v * v) - duct.loss_coef) * d.hyd_diameter /
               duct.length;
    }
};

TEST_F(AfeModels, LaminarDuctFollowsHagenPoiseuille)
{
    DuctFixture f(10.0f, 0.0f, 0.001f);
    double dp = 1e-4;
    f.at(dp, afe_dwc);
    double mu = f.from.viscosity, D = 0.2;
    double expect = 1.2 * f.d.flow_area * dp * D * D / (32.0 * mu * 10.0);
    EXPECT_NEAR(f.path.mass_flow[0], expect, 1e-6 * expect);  // D and A are floats
    EXPECT_NEAR(f.path.dflow_dp, expect / dp, 1e-6 * expect / dp);
    EXPECT_LT(f.re(), 2300.0);
}

TEST_F(AfeModels, TurbulentDuctConvergesToColebrookOverSuccessiveCalls)
{
    DuctFixture f(10.0f, 1.5f, 0.001f);
    int turb = _rangeDWC[2];
    for (int i = 0; i < 20; i++) f.at(50.0, afe_dwc);
    EXPECT_EQ(_rangeDWC[2], turb + 20);
    double re = f.re(), fr = f.friction(50.0);
    EXPECT_GT(re, 3500.0);
    // Colebrook: 1/sqrt(f) = -2 log10(e/D / 3.7 + 2.51 / (Re sqrt(f)))
    EXPECT_NEAR(1.0 / sqrt(fr), -2.0 * log10(0.001 / 3.7 + 2.51 / (re * sqrt(fr))), 1e-6);
    EXPECT_NEAR(fr, ffdwc(0.001, re, 0.04), 1e-7);
}

TEST_F(AfeModels, TransitionalDuctBlendsLaminarAndColebrookFrictionLinearly)
{
    DuctFixture f(10.0f, 0.5f, 0.001f);
    // A dp between the regime limits: o = 2 rho dp (D/mu)^2.
    double dm = 0.2 / f.from.viscosity;
    double dp = 0.5 * (f.duct.lam_limit + f.duct.turb_limit) / (2.0 * 1.2 * dm * dm);
    int trans = _rangeDWC[1];
    f.at(dp, afe_dwc);
    EXPECT_EQ(_rangeDWC[1], trans + 1);
    double re = f.re(), t = (re - 2300.0) / 1200.0;
    ASSERT_GT(t, 0.0);
    ASSERT_LT(t, 1.0);
    double blend = t * ffdwc(0.001, 3500.0, 0.04) + (1.0 - t) * 64.0 / 2300.0;
    EXPECT_NEAR(f.friction(dp), blend, 1e-5 * blend);
    EXPECT_NEAR(blend, ffdwc(0.001, re, 0.04), 1e-5 * blend);
}

TEST_F(AfeModels, DuctFlowReversalUsesToNodeProperties)
{
    DuctFixture f(10.0f, 0.0f, 0.001f);
    setNode(&f.to, 1.0, 1.0 / 2.0e-5);
    double fwd = f.flow(1e-4, afe_dwc);
    double rev = f.flow(-1e-4, afe_dwc);
    EXPECT_NEAR(-rev / fwd, (1.0 / 2.0e-5) / (1.2 / 1.8e-5), 1e-6);  // laminar: rho / mu
}

TEST_F(AfeModels, DuctOfZeroLengthAtZeroDpTakesTheSecantSlopeOfItsDynamicLosses)
{
    DuctFixture f(0.0f, 2.0f, 0.001f);
    f.at(0.0, afe_dwc);
    EXPECT_EQ(f.path.mass_flow[0], 0.0);
    // Dynamic losses alone: dp = SumC rho V^2 / 2, so F = A sqrt(2 rho dp / SumC); the slope
    // is the secant to 0.001 Pa.
    double secant = f.d.flow_area * sqrt(2.0 * 1.2 * 0.001 / 2.0) / 0.001;
    EXPECT_NEAR(f.path.dflow_dp, secant, 1e-6 * secant);
    EXPECT_NEAR(f.flow(0.001, afe_dwc), secant * 0.001, 1e-6 * secant * 0.001);
}

TEST_F(AfeModels, FailedTurbulentDuctStepRestoresStartStateAndCountsErrors)
{
    DuctFixture f(10.0f, 1.5f, 0.001f);
    f.duct.inv_sqrt_f = -50.0f;  // a corrupted state: log10 of a negative argument
    f.duct.re_state = 1e9f;
    int before = errorCount();
    f.at(50.0, afe_dwc);
    EXPECT_GT(errorCount(), before);
    EXPECT_EQ(f.duct.inv_sqrt_f, 5.0f);
    EXPECT_EQ(f.duct.re_state, 2900.0f);
    for (int i = 0; i < 20; i++) f.at(50.0, afe_dwc);
    EXPECT_TRUE(std::isfinite(f.path.mass_flow[0]));
    EXPECT_NEAR(f.friction(50.0), ffdwc(0.001, f.re(), 0.04), 1e-7);
}

// ---- Terminals, leaks and air-handling paths ------------------------------------------

TEST_F(AfeModels, TerminalOpenBeyondOneUsesItsCoefficientAndClosedAddsTheDamperLoss)
{
    TerminalData d{0.1f, 1e-3f, 1.0f, 1.0f, 0.1f, 0.0f, 0};  // A sqrt(2 / (C1 + C2)) = 0.1
    PathFixture f(AFE_D_TERM, &d);
    f.path.multiplier = 5.0;  // not applied to terminals
    f.value = 1.0f;
    f.at(100.0, afe_trm);
    EXPECT_NEAR(f.path.mass_flow[0], 1.1, 1e-7);
    EXPECT_NEAR(f.path.dflow_dp, 1.1 / 200.0, 1e-9);
    f.value = 0.5f;  // K = 2 + (1 - s) / s = 3
    EXPECT_NEAR(f.flow(100.0, afe_trm), 0.1 * sqrt(2.0 * 1.21 * 100.0 / 3.0), 1e-7);
    f.value = 0.0f;  // fully closed: extra loss 1e6
    EXPECT_NEAR(f.flow(-100.0, afe_trm), -0.1 * sqrt(2.0 * 1.21 * 100.0 / (2.0 + 1e6)), 1e-9);
}

TEST_F(AfeModels, LeakFollowsItsPowerLawAndIsLinearWithinOneMillipascal)
{
    PathFixture f(AFE_D_LEAK, nullptr);
    f.duct.leak_coef = 0.01f;
    setNode(&f.from, 1.2, 60000.0);
    EXPECT_NEAR(f.flow(10.0, afe_jlk), 0.01f * 1.2 * pow(10.0, 0.65), 1e-9);
    double edge = 0.01f * 1.2 * pow(0.001, 0.65);
    EXPECT_NEAR(f.flow(0.001, afe_jlk), edge, 1e-15);
    EXPECT_NEAR(f.flow(0.001 * (1 + 1e-9), afe_jlk), edge, 1e-12);
    EXPECT_NEAR(f.flow(0.0005, afe_jlk), edge / 2.0, 1e-15);
}

// Away from the reference state: Kc = (nu0 rho/mu)^(2n - 1) (rho0/rho)^m, with the leak's
// fixed n = m = 0.65, and for the dampers m = n (volume form) or n - 1 (mass form), applied
// even at n = 0.5 where the single-coefficient laws skip it.
TEST_F(AfeModels, LeakAndDamperCorrectionsFollowTheirOwnExponents)
{
    _rcdat.af_corr = 1;
    PathFixture f(AFE_D_LEAK, nullptr);
    f.duct.leak_coef = 0.01f;
    setNode(&f.from, 1.0, 0.5 / NU_REF);
    double kc = pow(0.5, 0.3) * pow(RHO_REF, 0.65);
    EXPECT_NEAR(f.flow(10.0, afe_jlk), kc * 0.01f * 1.0 * pow(10.0, 0.65), 1e-9);
    BdData d{1e-3f, 0.02f, 0.5f, 0.01f, 0.5f};   // laminar far larger: turbulent taken
    PathFixture g(AFE_PLR_BDQ, &d);
    setNode(&g.from, 1.0, 0.5 / NU_REF);
    EXPECT_NEAR(g.flow(16.0, afe_bdq), pow(RHO_REF, 0.5) * 0.02 * 1.0 * 4.0, 1e-7);
    EXPECT_NEAR(g.flow(16.0, afe_bdf), pow(RHO_REF, -0.5) * 0.02 * 4.0, 1e-7);
    _rcdat.af_corr = 0;
}

TEST_F(AfeModels, SupplyPathImposesDesignFlowTimesControlAndFlagsNegativeControl)
{
    PathFixture f(AFE_AHS_SR, nullptr);
    f.path.ahs_design_flow = 0.5f;
    f.value = 2.0f;
    EXPECT_DOUBLE_EQ(f.flow(30.0, afe_ahs), 1.0);
    EXPECT_EQ(f.path.dp, 0.0);
    int before = errorCount();
    f.value = -1.0f;
    EXPECT_DOUBLE_EQ(f.flow(0.0, afe_ahs), -0.5);
    EXPECT_EQ(errorCount(), before + 1);
}

struct AhsCase {
    double supply, ret, design_oa, control, recirc, exhaust, outdoor;
};
class Recirculation : public ::testing::TestWithParam<AhsCase> {};

TEST_P(Recirculation, SplitsSupplyAndReturnIntoRecirculationOutdoorAirAndExhaust)
{
    const AhsCase& c = GetParam();
    PathFixture f(AFE_AHS_XOR, nullptr);
    f.to.sum_abs_flow = c.supply;
    f.from.sum_abs_flow = c.ret;
    f.path.ahs_design_flow = (float)c.design_oa;
    f.value = (float)c.control;
    EXPECT_NEAR(f.flow(0.0, afe_ahr), c.recirc, 1e-7);
    AirPath oa = f.path, ex = f.path;  // same system nodes
    afe_aho(&oa);  // ambient to supply node
    afe_ahx(&ex);  // return node to ambient
    EXPECT_NEAR(oa.mass_flow[0], c.outdoor, 1e-7);
    EXPECT_NEAR(ex.mass_flow[0], c.exhaust, 1e-7);
}

INSTANTIATE_TEST_SUITE_P(
    AfeModels, Recirculation,
    ::testing::Values(AhsCase{1.0, 0.9, 0.2, 1.0, 0.0, 0.9, 1.0},  // all OA
                      AhsCase{1.0, 0.9, 2.0, 0.0, 0.0, 0.9, 1.0},  // OA > supply
                      AhsCase{1.0, 0.3, 0.2, 0.1, 0.3, 0.0, 0.7},  // short return
                      AhsCase{1.0, 0.9, 0.2, 0.1, 0.8, 0.1, 0.2}),  // design OA
    testnames::named([](const AhsCase& c) {
        return "return_" + testnames::num(c.ret) + "_oa_" + testnames::num(c.design_oa) +
               "_control_" + testnames::num(c.control);
    }));

// ---- Derivatives of every element type ---------------------------------------------------

// One element type, its model and data that give a smooth flow at the listed pressure
// differences. Every type a path can carry appears (sup_afe is expanded by the reader).
struct DerivCase {
    std::string name;
    int type;
    AFE_MODEL_FN fn;
    std::function<void(PathFixture&)> setup;
    std::vector<double> dps;
};

void PrintTo(const DerivCase& c, std::ostream* os) { *os << c.name; }

// An odd curve through (0, 0), (xb, yb), (xa, ya) and their mirror points, fitted as the
// reader fits it; `which` keeps two curves apart.
CSF_DATA* curve(int which, double xa, double ya, double xb, double yb)
{
    static CsfPoint pts[2][5];
    static CSF_DATA data[2];
    const double xs[5] = {-xa, -xb, 0.0, xb, xa}, ys[5] = {-ya, -yb, 0.0, yb, ya};
    for (int k = 0; k < 5; k++) pts[which][k] = CsfPoint{xs[k], ys[k], 0.0, 0.0, 0.0};
    CSFinit(5, pts[which]);
    data[which] = CSF_DATA{5, 0, pts[which]};
    return &data[which];
}

std::vector<DerivCase> derivCases()
{
    static PlrData plr{1e-6f, 0.01f, 0.65f};
    static BdData bd{1e-6f, 0.02f, 0.6f, 0.01f, 0.7f};
    static JwaData jwa{0.1f, 10.0f, 2.0f};
    static QfrData qfr{2.0f, 100.0f};
    static DoorData door{{1e-6f, 0.02f, 0.55f}, 2.0f, 1.0f, 0.6f};
    static ConstFlowData cf{0.5f};
    static FanData fan{{1e-6f, 0.005f, 0.5f}, 1.21f, 1.0f, 100.0f, 0.1f, {100.0f, -40.0f, -40.0f, -20.0f}};
    static TerminalData trm{0.1f, 1e-6f, 1.0f, 1.0f, 0.1f, 0.0f, 0};
    static DwcData dwc{0.2f, 0.0314159f, 0.001f, 0.0f, 0.0f, {}};
    static CSF_DATA* flowOfDp = curve(0, 50.0, 0.3, 10.0, 0.12);
    static CSF_DATA* dpOfFlow = curve(1, 0.3, 50.0, 0.1, 8.0);
    const std::vector<double> wide = {-40.0, -3.0, 0.5, 7.0, 60.0};
    auto with = [](void* data) { return [data](PathFixture& f) { f.elem.model_data = data; }; };
    auto name = [](int t) { return std::string("type") + std::to_string(t); };
    std::vector<DerivCase> v;
    for (int t = 0; t <= AFE_PLR_SHAFT; t++) {
        if (t == AFE_PLR_QCN) v.push_back({name(t), t, afe_qcn, with(&plr), wide});
        else if (t == AFE_PLR_FCN) v.push_back({name(t), t, afe_fcn, with(&plr), wide});
        else v.push_back({name(t), t, afe_plr, with(&plr), wide});
    }
    v.push_back({name(AFE_DCT_PLR), AFE_DCT_PLR, afe_plr, with(&plr), wide});
    v.push_back({name(AFE_DCT_FCN), AFE_DCT_FCN, afe_fcn, with(&plr), wide});
    v.push_back({name(AFE_DCT_QCN), AFE_DCT_QCN, afe_qcn, with(&plr), wide});
    for (int t : {AFE_PLR_BDQ, AFE_DCT_BDQ}) v.push_back({name(t), t, afe_bdq, with(&bd), wide});
    for (int t : {AFE_PLR_BDF, AFE_DCT_BDF}) v.push_back({name(t), t, afe_bdf, with(&bd), wide});
    v.push_back({name(AFE_SRV_JWA), AFE_SRV_JWA, afe_jwa, with(&jwa), wide});
    for (int t = AFE_QFR_QAB; t <= AFE_QFR_TEST2; t++)
        v.push_back({name(t), t, afe_qfr, with(&qfr), wide});
    // Doors and two-opening elements take the numerical derivative in their buoyancy
    // branches; the door's power-law branch is analytic.
    v.push_back({"door_equal_density", AFE_DOR_DOOR, afe_dor,
                 [](PathFixture& f) { f.elem.model_data = &door; setNode(&f.to, 1.21, 55000.0); },
                 wide});
    for (int t : {AFE_FAN_CMF, AFE_DCT_CMF}) v.push_back({name(t), t, afe_cmf, with(&cf), wide});
    for (int t : {AFE_FAN_CVF, AFE_DCT_CVF}) v.push_back({name(t), t, afe_cvf, with(&cf), wide});
    for (int t : {AFE_FAN_FAN, AFE_DCT_FAN})
        v.push_back({name(t), t, afe_fan,
                     [](PathFixture& f) { f.elem.model_data = &fan; f.value = 0.8f; },
                     {-60.0, -20.0, 0.0, 30.0}});
    v.push_back({"fan_off", AFE_FAN_FAN, afe_fan,
                 [](PathFixture& f) { f.elem.model_data = &fan; f.value = 0.05f; }, wide});
    for (int t : {AFE_CSF_FSP, AFE_DCT_FSP}) v.push_back({name(t), t, afe_fsp, with(flowOfDp), wide});
    for (int t : {AFE_CSF_QSP, AFE_DCT_QSP}) v.push_back({name(t), t, afe_qsp, with(flowOfDp), wide});
    for (int t : {AFE_CSF_PSF, AFE_DCT_PSF}) v.push_back({name(t), t, afe_psf, with(dpOfFlow), wide});
    for (int t : {AFE_CSF_PSQ, AFE_DCT_PSQ}) v.push_back({name(t), t, afe_psq, with(dpOfFlow), wide});
    v.push_back({name(AFE_DCT_DWC), AFE_DCT_DWC, afe_dwc,
                 [](PathFixture& f) {
                     f.elem.model_data = &dwc;
                     setNode(&f.from, 1.2, 1.2 / 1.8e-5);
                     setNode(&f.to, 1.1, 1.1 / 1.8e-5);
                     dwc_regime_data(&dwc, 10.0f, 1.5f, &f.duct);
                     f.duct.length = 10.0f;
                     f.duct.loss_coef = 1.5f;
                 },
                 {-50.0, -0.1, -1e-4, 1e-4, 0.1, 50.0}});  // all three regimes
    v.push_back({"ahs_sr", AFE_AHS_SR, afe_ahs, [](PathFixture& f) { f.path.ahs_design_flow = 0.3f; }, wide});
    for (AFE_MODEL_FN fn : {afe_ahr, afe_aho, afe_ahx})
        v.push_back({"ahs_xor" + std::to_string(v.size()), AFE_AHS_XOR, fn,
                     [](PathFixture& f) { f.to.sum_abs_flow = 1.0; f.from.sum_abs_flow = 0.9; }, wide});
    v.push_back({"d_leak", AFE_D_LEAK, afe_jlk, [](PathFixture& f) { f.duct.leak_coef = 0.01f; },
                 {-20.0, -0.0005, 0.0002, 0.3, 20.0}});
    v.push_back({"d_term", AFE_D_TERM, afe_trm, with(&trm), wide});
    v.push_back({"d_term_throttled", AFE_D_TERM, afe_trm,
                 [](PathFixture& f) { f.elem.model_data = &trm; f.value = 0.4f; }, wide});
    return v;
}

class EveryElementDerivative : public ::testing::TestWithParam<DerivCase> {};

TEST_P(EveryElementDerivative, AnalyticDerivativeMatchesCentralDifference)
{
    _rcdat.af_corr = 1;  // exercise the correction as well
    const DerivCase& c = GetParam();
    PathFixture f(c.type, nullptr);
    setNode(&f.to, 1.1, 55000.0);
    f.path.multiplier = 1.5;
    f.path.fan_state = 0.5f;
    c.setup(f);
    AFE_MODEL_FN fn = c.fn;
    for (double dp : c.dps) {
        for (int i = 0; i < 30; i++) f.at(dp, fn);  // settle carried states (duct, fan)
        double analytic = f.path.dflow_dp;
        double h = 1e-6 * std::max(fabs(dp), 1e-3);
        double fd = (f.flow(dp + h, fn) - f.flow(dp - h, fn)) / (2.0 * h);
        EXPECT_NEAR(analytic, fd, 1e-4 * std::max(fabs(fd), 1e-9)) << c.name << " at dp " << dp;
    }
    _rcdat.af_corr = 0;
}

INSTANTIATE_TEST_SUITE_P(AfeModels, EveryElementDerivative, ::testing::ValuesIn(derivCases()),
                         [](const ::testing::TestParamInfo<DerivCase>& i) { return i.param.name; });

}  // namespace
}  // namespace vexlar
