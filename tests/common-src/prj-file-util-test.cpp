// Duct geometry and leakage from duct flow elements, the laminar coefficient and regime
// limits of Darcy-Weisbach ducts, and the periodic-spline and trigonometric fits of
// wind-pressure profiles.
#include "common-src/prj-file-util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/prj-records.h"
#include "tests/common-src/section-test-util.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

using testutil::MessageCapture;

// ---- Duct geometry -----------------------------------------------------------------------

TEST(DuctGeometry, VolumeAndLeakageOfAPowerLawDuct)
{
    DctPlrData data{};
    data.duct = {0.35f, 1.2f, 0.1f, 1.5f, 25.0f};
    AfeRec elem{&data, nullptr, 1, AFE_DCT_PLR, "dplr"};
    DuctGeometry g{};
    float lam = -1.0f;
    ASSERT_EQ(1, duct_geometry(&elem, 10.0f, 0.0f, &g, &lam));
    EXPECT_FLOAT_EQ(10.0f, g.length);
    EXPECT_FLOAT_EQ(0.35f, g.diameter);
    EXPECT_FLOAT_EQ(1.0f, g.volume);
    EXPECT_FLOAT_EQ(0.1f, g.area);
    EXPECT_NEAR(1.2 * 10 * 0.0015 / std::pow(25.0, 0.65), g.leak_coef, 1e-9);
    EXPECT_EQ(-1.0f, lam);   // only Darcy-Weisbach ducts have a laminar coefficient
}

TEST(DuctGeometry, ZeroReferencePressureMeansNoLeakage)
{
    DctFanData data{};
    data.duct = {0.3f, 1.0f, 0.07f, 2.0f, 0.0f};
    AfeRec elem{&data, nullptr, 1, AFE_DCT_FAN, "fan"};
    DuctGeometry g{};
    ASSERT_EQ(1, duct_geometry(&elem, 4.0f, 0.0f, &g, nullptr));
    EXPECT_EQ(0.0f, g.leak_coef);
    EXPECT_FLOAT_EQ(0.28f, g.volume);
}

TEST(DuctGeometry, NoElementOrNonDuctElementGivesNoGeometry)
{
    MessageCapture msgs;
    DuctGeometry g{};
    EXPECT_EQ(0, duct_geometry(nullptr, 1.0f, 0.0f, &g, nullptr));
    EXPECT_EQ(0, msgs.errors());
    PlrData plr{};
    AfeRec elem{&plr, nullptr, 3, AFE_PLR_LEAK1, "leak"};
    EXPECT_EQ(0, duct_geometry(&elem, 1.0f, 0.0f, &g, nullptr));
    EXPECT_TRUE(msgs.has("ERROR", " Invalid element type 1\n"));
}

// The laminar coefficient makes the laminar law carry the Reynolds-30 flow at the
// Darcy-Weisbach pressure drop of that flow.
TEST(DuctGeometry, DarcyWeisbachLaminarCoefficientCarriesTheReynolds30Flow)
{
    const double rho = 1.2041, mu = 1.81625e-5, D = 0.2, A = 0.0314, L = 12.0, K = 0.8;
    DwcData dwc{};
    dwc.hyd_diameter = (float)D;
    dwc.flow_area = (float)A;
    dwc.rel_roughness = 0.001f;
    dwc.duct = {(float)D, 0.63f, (float)A, 0.0f, 0.0f};
    AfeRec elem{&dwc, nullptr, 1, AFE_DCT_DWC, "dwc"};
    DuctGeometry g{};
    float lam = 0.0f;
    ASSERT_EQ(1, duct_geometry(&elem, (float)L, (float)K, &g, &lam));
    double v = 30.0 * mu / (rho * D);
    double dp30 = (64.0 / 30.0 * L / D + K) * rho * v * v / 2.0;
    double m30 = rho * v * A;
    EXPECT_NEAR(m30, lam * rho / mu * dp30, 1e-5 * m30);
}

TEST(DuctGeometry, SegmentKeepsTheLaminarCoefficientOfItsDarcyWeisbachElement)
{
    DwcData dwc{};
    dwc.hyd_diameter = 0.2f;
    dwc.flow_area = 0.0314f;
    dwc.duct = {0.2f, 0.63f, 0.0314f, 1.0f, 10.0f};
    AfeRec elem{&dwc, nullptr, 1, AFE_DCT_DWC, "dwc"};
    DuctSegRec seg{};
    seg.element = &elem;
    seg.length = 5.0f;
    seg.loss_coef = 0.3f;
    DuctGeometry g{};
    ASSERT_EQ(1, duct_elmt_data(&seg, &g));
    float lam = 0.0f;
    DuctGeometry h{};
    duct_geometry(&elem, 5.0f, 0.3f, &h, &lam);
    EXPECT_GT(seg.lam_coef, 0.0f);
    EXPECT_EQ(lam, seg.lam_coef);
    EXPECT_FLOAT_EQ(5.0f * 0.0314f, g.volume);
    EXPECT_NEAR(0.63 * 5.0 * 0.001 / std::pow(10.0, 0.65), g.leak_coef, 1e-9);
    seg.element = nullptr;
    EXPECT_EQ(0, duct_elmt_data(&seg, &g));
}

TEST(DuctGeometry, TransitionCubicMeetsBothRegimeLimits)
{
    DwcData dwc{};
    dwc.hyd_diameter = 0.25f;
    dwc.rel_roughness = 0.0006f;
    DuctData dd{};
    dwc_regime_data(&dwc, 8.0f, 1.5f, &dd);
    double ld = 8.0 / 0.25;
    EXPECT_NEAR((ld * 64.0 / 2300.0 + 1.5) * 2300.0 * 2300.0, dd.lam_limit, 1.0);
    auto o = [&](double re) { return dd.trans_a3 * re * re * re + dd.trans_a2 * re * re; };
    EXPECT_NEAR(dd.lam_limit, o(2300.0), 1e-5 * dd.lam_limit);
    EXPECT_NEAR(dd.turb_limit, o(3500.0), 1e-5 * dd.turb_limit);
    EXPECT_EQ(5.0f, dd.inv_sqrt_f);
    EXPECT_EQ(2900.0f, dd.re_state);
}

// ---- Wind-profile fits ------------------------------------------------------------------

float spline_at(const std::vector<WpSpline>& b, float u, float* slope = nullptr,
                float* curv = nullptr)
{
    size_t k = 0;
    while (k + 2 < b.size() && u >= b[k + 1].x) ++k;
    float t = u - b[k].x;
    if (slope) *slope = b[k].b + 2 * b[k].c * t + 3 * b[k].d * t * t;
    if (curv) *curv = 2 * b[k].c + 6 * b[k].d * t;
    return b[k].a + b[k].b * t + b[k].c * t * t + b[k].d * t * t * t;
}

TEST(WindSpline, PeriodicSplinePassesThroughPointsWithContinuousSlopeAndCurvature)
{
    std::vector<float> azm = {0, 60, 90, 180, 225, 270, 360};
    std::vector<float> cp = {0.6f, 0.35f, -0.2f, -0.45f, -0.4f, -0.3f, 0.6f};
    std::vector<WpSpline> blocks(azm.size());
    ASSERT_EQ(1, wp_ccspl((int)azm.size(), azm.data(), cp.data(), blocks.data()));
    for (size_t i = 0; i < azm.size(); ++i) EXPECT_NEAR(cp[i], spline_at(blocks, azm[i]), 1e-5);
    for (size_t i = 1; i + 1 < azm.size(); ++i) {
        const WpSpline& l = blocks[i - 1];
        float h = azm[i] - azm[i - 1];
        float sl = l.b + 2 * l.c * h + 3 * l.d * h * h, cl = 2 * l.c + 6 * l.d * h;
        float sr, cr;
        spline_at(blocks, azm[i], &sr, &cr);
        EXPECT_NEAR(sl, sr, 1e-6) << "slope at " << azm[i];
        EXPECT_NEAR(cl, cr, 1e-7) << "curvature at " << azm[i];
    }
    // Periodic: slope and curvature at 360 continue those at 0.
    const WpSpline& last = blocks[azm.size() - 2];
    float h = 90.0f, s0, c0;
    spline_at(blocks, 0.0f, &s0, &c0);
    EXPECT_NEAR(s0, last.b + 2 * last.c * h + 3 * last.d * h * h, 1e-6);
    EXPECT_NEAR(c0, 2 * last.c + 6 * last.d * h, 1e-7);
    EXPECT_EQ(360.0f, blocks.back().x);
    EXPECT_EQ(0.6f, blocks.back().a);
}

TEST(WindSpline, ThreePointsFitWithTheWrappedEntriesAdded)
{
    // Cp = cos(u): with points 0, 180, 360 the periodic spline is symmetric about 180.
    std::vector<float> azm = {0, 180, 360}, cp = {1.0f, -1.0f, 1.0f};
    std::vector<WpSpline> blocks(3);
    ASSERT_EQ(1, wp_ccspl(3, azm.data(), cp.data(), blocks.data()));
    EXPECT_NEAR(1.0f, spline_at(blocks, 0.0f), 1e-6);
    EXPECT_NEAR(-1.0f, spline_at(blocks, 180.0f), 1e-6);
    EXPECT_NEAR(spline_at(blocks, 90.0f), spline_at(blocks, 270.0f), 1e-5);
    EXPECT_NEAR(0.0f, spline_at(blocks, 90.0f), 1e-5);
    float s0;
    spline_at(blocks, 0.0f, &s0);
    EXPECT_NEAR(0.0f, s0, 1e-7);   // flat at the crest, as a periodic curve must be
}

TEST(WindSpline, TooFewOrNonPeriodicPointsWarnAndFail)
{
    MessageCapture msgs;
    std::vector<float> azm = {0, 360}, cp = {0.5f, 0.5f};
    std::vector<WpSpline> blocks(4);
    EXPECT_EQ(0, wp_ccspl(2, azm.data(), cp.data(), blocks.data()));
    EXPECT_TRUE(msgs.has("WARNING", " too few data points for spline\n"));
    std::vector<float> azm3 = {0, 180, 360}, cp3 = {0.5f, -0.2f, 0.4f};
    EXPECT_EQ(0, wp_ccspl(3, azm3.data(), cp3.data(), blocks.data()));
    EXPECT_TRUE(msgs.has("WARNING", "  Wind pressure profile data is not periodic\n"));
    EXPECT_EQ(0, msgs.errors());
}

TEST(WindTrig, TakesTheFiveQuarterPointsAndIgnoresOthers)
{
    std::vector<float> azm = {0, 45, 90, 180, 270, 360};
    std::vector<float> cp = {0.6f, 0.1f, -0.3f, -0.5f, -0.2f, 0.6f};
    float r[4];
    ASSERT_EQ(1, wp_htrig(6, azm.data(), cp.data(), r));
    EXPECT_FLOAT_EQ(0.6f - 0.5f, r[0]);
    EXPECT_FLOAT_EQ(0.6f + 0.5f, r[1]);
    EXPECT_FLOAT_EQ(-0.3f - 0.2f, r[2]);
    EXPECT_FLOAT_EQ(-0.3f + 0.2f, r[3]);
}

struct TrigCase {
    std::vector<float> azm;
    int result;
};

class WindTrigPoints : public ::testing::TestWithParam<TrigCase> {};

TEST_P(WindTrigPoints, FitNeedsExactlyFiveQuarterPoints)
{
    const TrigCase& c = GetParam();
    std::vector<float> cp(c.azm.size(), 0.1f);
    float r[4];
    EXPECT_EQ(c.result, wp_htrig((int)c.azm.size(), c.azm.data(), cp.data(), r));
}

INSTANTIATE_TEST_SUITE_P(
    Azimuths, WindTrigPoints,
    ::testing::Values(TrigCase{{0, 90, 180, 270, 360}, 1},
                      TrigCase{{0.005f, 90.009f, 180, 270, 359.995f}, 1},
                      TrigCase{{0, 90.02f, 180, 270, 360}, 0},
                      TrigCase{{0, 90, 180, 270, 360, 450}, 0},
                      TrigCase{{0, 90, 180, 270}, 0},
                      TrigCase{{}, 0}),
    testnames::indexed([](const TrigCase& c) {
        std::string s;
        for (float a : c.azm) s += testnames::num(a) + " ";
        return s;
    }));

}  // namespace
}  // namespace vexlar
