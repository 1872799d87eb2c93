// Cubic-spline curve fits: the fit passes through its points with continuous slope (and
// curvature inside), runs along the end chords beyond the data, treats short tables as
// piecewise-linear, rejects unordered points; the checks of each curve kind; inversion;
// and the four curve element models on a path.
#include "airflow/afe-csf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "airflow/afe-sim.h"
#include "model/network.h"
#include "tests/common-src/section-test-util.h"

namespace vexlar {
namespace {

using testutil::MessageCapture;

std::vector<CsfPoint> points(std::vector<std::pair<double, double>> xy)
{
    std::vector<CsfPoint> p;
    for (auto [x, y] : xy) p.push_back({x, y, 0, 0, 0});
    return p;
}

double eval(const std::vector<CsfPoint>& p, double x, double* dy = nullptr,
            double* d2y = nullptr)
{
    int seg = 0;
    return CSFintrp((int)p.size(), p.data(), &seg, dy, d2y, x);
}

// A fan-like curve of flow against pressure, uneven spacing.
const std::vector<std::pair<double, double>> kCurve = {
    {0, 0}, {5, 0.1}, {12, 0.18}, {20, 0.24}, {35, 0.31}, {50, 0.36}, {80, 0.43}};

TEST(CsfFit, PassesThroughEveryPoint)
{
    auto p = points(kCurve);
    ASSERT_EQ(0, CSFinit((int)p.size(), p.data()));
    for (auto [x, y] : kCurve) EXPECT_NEAR(y, eval(p, x), 1e-12) << "x = " << x;
}

TEST(CsfFit, SlopeIsContinuousAtEveryPointAndCurvatureInside)
{
    auto p = points(kCurve);
    ASSERT_EQ(0, CSFinit((int)p.size(), p.data()));
    int n = (int)p.size();
    for (int i = 1; i < n - 1; ++i) {
        double dl, dr, cl, cr;
        const CsfPoint& left = p[i - 1];
        double t = p[i].x - left.x;
        dl = (3 * left.d * t + 2 * left.c) * t + left.b;
        cl = 6 * left.d * t + 2 * left.c;
        eval(p, p[i].x, &dr, &cr);
        EXPECT_NEAR(dl, dr, 1e-12) << "slope at point " << i;
        if (i >= 2 && i <= n - 3) {
            EXPECT_NEAR(cl, cr, 1e-12) << "curvature at point " << i;
        }
    }
}

TEST(CsfFit, ExtrapolatesAlongTheEndChords)
{
    auto p = points(kCurve);
    ASSERT_EQ(0, CSFinit((int)p.size(), p.data()));
    double first = (0.1 - 0.0) / 5.0, last = (0.43 - 0.36) / 30.0;
    EXPECT_NEAR(0.43 + last * 40.0, eval(p, 120.0), 1e-12);
    EXPECT_NEAR(0.0 - first * 10.0, eval(p, -10.0), 1e-12);
    EXPECT_NEAR(0.36 + last * 10.0, eval(p, 60.0), 1e-12);   // inside the linear last interval
    double dy;
    eval(p, 2.5, &dy);
    EXPECT_NEAR(first, dy, 1e-12);
}

TEST(CsfFit, TwoPointsGiveOneStraightLine)
{
    auto p = points({{0, 1}, {10, 3}});
    ASSERT_EQ(0, CSFinit(2, p.data()));
    EXPECT_NEAR(2.0, eval(p, 5.0), 1e-12);
    EXPECT_NEAR(5.0, eval(p, 20.0), 1e-12);
    EXPECT_NEAR(-1.0, eval(p, -10.0), 1e-12);
}

TEST(CsfFit, ThreePointsGiveTwoChords)
{
    auto p = points({{0, 1}, {10, 3}, {20, 2}});
    ASSERT_EQ(0, CSFinit(3, p.data()));
    EXPECT_NEAR(2.0, eval(p, 5.0), 1e-12);
    EXPECT_NEAR(2.5, eval(p, 15.0), 1e-12);
    EXPECT_NEAR(1.0, eval(p, 30.0), 1e-12);
    for (const CsfPoint& q : p) EXPECT_EQ(0.0, q.c + q.d);
}

TEST(CsfFit, FewerThanTwoPointsIsAnError)
{
    MessageCapture msgs;
    auto p = points({{1, 1}});
    EXPECT_EQ(1, CSFinit(1, p.data()));
    EXPECT_EQ(1, msgs.errors());
    EXPECT_TRUE(msgs.has("ERROR", "too few data points for spline"));
}

TEST(CsfFit, RepeatedAndDecreasingAbscissaeAreErrors)
{
    MessageCapture msgs;
    auto same = points({{0, 0}, {2.5, 1}, {2.5, 2}, {4, 3}});
    EXPECT_EQ(1, CSFinit(4, same.data()));
    EXPECT_TRUE(msgs.has("ERROR", " Multiple data points  at x = 2.5\n"));
    auto back = points({{0, 0}, {3, 1}, {1.23456, 2}, {4, 3}});
    EXPECT_EQ(1, CSFinit(4, back.data()));
    EXPECT_TRUE(msgs.has("ERROR", " Data points out of order at x = 1.235\n"));
    EXPECT_EQ(2, msgs.errors());
}

TEST(CsfFit, CachedSegmentFollowsTheAbscissa)
{
    auto p = points(kCurve);
    ASSERT_EQ(0, CSFinit((int)p.size(), p.data()));
    int seg = 3;
    CSFintrp((int)p.size(), p.data(), &seg, nullptr, nullptr, 79.0);
    EXPECT_EQ(5, seg);
    CSFintrp((int)p.size(), p.data(), &seg, nullptr, nullptr, 1.0);
    EXPECT_EQ(0, seg);
    seg = -4;
    CSFintrp((int)p.size(), p.data(), &seg, nullptr, nullptr, 13.0);
    EXPECT_EQ(2, seg);
}

// ---- Checks by curve kind ----------------------------------------------------------------

class CsfCheckLog : public ::testing::Test {
protected:
    void SetUp() override { log_ = tmpfile(); _ulog = log_; }
    void TearDown() override { _ulog = nullptr; fclose(log_); }
    std::string text()
    {
        std::string s;
        rewind(log_);
        for (int c; (c = fgetc(log_)) != EOF;) s += (char)c;
        return s;
    }
    FILE* log_ = nullptr;
};

TEST_F(CsfCheckLog, RisingAirflowCurvePassesAndIsTabulated)
{
    auto p = points(kCurve);
    ASSERT_EQ(0, CSFinit((int)p.size(), p.data()));
    EXPECT_EQ(0, CSFchk("fan1", (int)p.size(), p.data(), CSF_AIRFLOW, nullptr, nullptr));
    std::string s = text();
    EXPECT_EQ(0u, s.find("CSFchk: fan1\nseg #    x            y            y'           y\"\n"));
    EXPECT_NE(std::string::npos, s.find("   0    0.0000e+00   0.0000e+00   2.0000e-02   0.0000e+00\n"));
    EXPECT_NE(std::string::npos, s.find("\n        5.0000e+00   1.0000e-01   2.0000e-02"));
}

TEST_F(CsfCheckLog, FallingAirflowCurveFailsAtThatSegment)
{
    auto p = points({{0, 0}, {10, 1}, {20, 0.5}, {30, 2}});
    ASSERT_EQ(0, CSFinit(4, p.data()));
    int flags[3] = {7, 7, 7};
    const char* texts[3] = {"x", "x", "x"};
    EXPECT_EQ(1, CSFchk("bad", 4, p.data(), CSF_AIRFLOW, flags, texts));
    EXPECT_EQ(0, flags[0]);
    EXPECT_EQ(nullptr, texts[0]);
    EXPECT_EQ(1, flags[1]);
    EXPECT_STREQ("y' = 0", texts[1]);
    EXPECT_EQ(0, flags[2]);
    EXPECT_NE(std::string::npos, text().find("     y' = 0 at x = 1"));
    EXPECT_NE(std::string::npos, text().find(", segment 1\n"));

    auto down = points({{0, 3}, {10, 2}, {20, 1}});
    ASSERT_EQ(0, CSFinit(3, down.data()));
    EXPECT_EQ(1, CSFchk("down", 3, down.data(), CSF_AIRFLOW, flags, texts));
    EXPECT_NE(std::string::npos, text().find("     y' <= 0 at x = 10, segment 1\n"));
}

TEST_F(CsfCheckLog, ParticleFilterCurveWithFlatEndsInsideZeroToOnePasses)
{
    auto p = points({{-7, 0.1}, {-6.5, 0.1}, {-6, 0.5}, {-5.5, 0.95}, {-5, 0.95}});
    ASSERT_EQ(0, CSFinit(5, p.data()));
    EXPECT_EQ(0, CSFchk("pf", 5, p.data(), CSF_PARTICLE_FILTER, nullptr, nullptr));
}

TEST_F(CsfCheckLog, FilterCurveRules)
{
    auto over = points({{0, 0.5}, {1, 0.5}, {2, 1.2}, {3, 1.2}});
    ASSERT_EQ(0, CSFinit(4, over.data()));
    EXPECT_EQ(1, CSFchk("over", 4, over.data(), CSF_PARTICLE_FILTER, nullptr, nullptr));
    EXPECT_NE(std::string::npos, text().find("y > 1 at x = 2, segment 2"));

    auto sloped = points({{0, 0.2}, {1, 0.4}, {2, 0.6}});
    ASSERT_EQ(0, CSFinit(3, sloped.data()));
    EXPECT_EQ(1, CSFchk("sloped", 3, sloped.data(), CSF_PARTICLE_FILTER, nullptr, nullptr));
    EXPECT_NE(std::string::npos, text().find("y' != 0 at x = 0, segment 0"));
    EXPECT_NE(std::string::npos, text().find("y' != 0 at x = 2, segment 1"));

    // A gas filter's efficiency must not rise with loading.
    auto rising = points({{0, 0.9}, {1, 0.9}, {2, 0.92}, {3, 0.95}, {4, 0.95}});
    ASSERT_EQ(0, CSFinit(5, rising.data()));
    EXPECT_EQ(0, CSFchk("p", 5, rising.data(), CSF_PARTICLE_FILTER, nullptr, nullptr));
    EXPECT_EQ(1, CSFchk("g", 5, rising.data(), CSF_GAS_FILTER, nullptr, nullptr));
    EXPECT_NE(std::string::npos, text().find("y' > 0 at x = 2, segment 2"));
}

TEST_F(CsfCheckLog, OvershootBetweenPointsIsFoundAtTheExtremum)
{
    // Efficiencies close to 1 whose fit bulges above 1 between the points.
    auto p = points({{0, 0.5}, {1, 0.5}, {2, 0.99}, {3, 0.999}, {4, 0.2}, {5, 0.2}});
    ASSERT_EQ(0, CSFinit(6, p.data()));
    EXPECT_EQ(1, CSFchk("bulge", 6, p.data(), CSF_PARTICLE_FILTER, nullptr, nullptr));
    EXPECT_NE(std::string::npos, text().find("    y' = 0 at x = "));
    EXPECT_NE(std::string::npos, text().find("y > 1 at x = "));
}

TEST(CsfCheckDeathTest, UnknownCurveKindIsFatal)
{
    auto p = points({{0, 0}, {1, 1}});
    EXPECT_EXIT(CSFchk("c", 2, p.data(), 4, nullptr, nullptr), ::testing::ExitedWithCode(2),
                "Invalid value for equation type: 4");
}

// ---- Inversion and models ---------------------------------------------------------------

TEST(CsfInverse, BisectionFindsTheAbscissaOfATarget)
{
    auto p = points(kCurve);
    ASSERT_EQ(0, CSFinit((int)p.size(), p.data()));
    int seg = 0;
    double x = 0.0, dy = 0.0;
    for (double target : {0.05, 0.2, 0.4, 0.6, -0.1}) {
        ASSERT_EQ(0, CSFxofyB((int)p.size(), p.data(), &seg, &x, &dy, target));
        EXPECT_NEAR(target, eval(p, x), 1e-10);
        double slope;
        eval(p, x, &slope);
        EXPECT_DOUBLE_EQ(slope, dy);
    }
}

TEST(CsfInverse, CurveThatNeverReachesTheTargetFails)
{
    auto p = points({{0, 0}, {1, 1}, {2, 1}});   // flat beyond x = 1
    int seg = 0;
    double x = 0.5, dy;
    ASSERT_EQ(0, CSFinit(3, p.data()));
    EXPECT_EQ(1, CSFxofyB(3, p.data(), &seg, &x, &dy, 2.0));
}

// A path between two nodes carrying one curve element.
struct CurvePath {
    AirNode from{}, to{};
    AfeRec elem{};
    CSF_DATA csf{};
    AirPath path{};
    float control = 1.0f;
    std::vector<CsfPoint> pts;

    CurvePath(std::vector<std::pair<double, double>> xy, AFE_MODEL_FN fn)
    {
        pts = points(xy);
        EXPECT_EQ(0, CSFinit((int)pts.size(), pts.data()));
        csf.npts = (int16_t)pts.size();
        csf.pts = pts.data();
        elem.model_data = &csf;
        elem.model_fn = fn;
        from.density = 1.2;
        to.density = 1.1;
        path.from_node = &from;
        path.to_node = &to;
        path.element = &elem;
        path.value_ptr = &control;
        path.multiplier = 2.0;
    }
    int run(double dp)
    {
        path.dp = dp;
        return elem.model_fn(&path);
    }
};

TEST(CurveModels, FlowCurveScaledByControlAndMultiplier)
{
    CurvePath c(kCurve, afe_fsp);
    c.control = 0.5f;
    EXPECT_EQ(1, c.run(60.0));
    EXPECT_NEAR((0.36 + 0.07 / 3.0) * 0.5 * 2.0, c.path.mass_flow[0], 1e-12);
    EXPECT_NEAR(0.07 / 30.0 * 0.5 * 2.0, c.path.dflow_dp, 1e-12);
    EXPECT_EQ(0.0, c.path.mass_flow[1]);
}

TEST(CurveModels, VolumeFlowCurveTakesTheUpstreamDensity)
{
    CurvePath c({{-10, -0.5}, {0, 0}, {10, 0.5}}, afe_qsp);
    c.run(4.0);
    EXPECT_NEAR(0.2 * 2.0 * 1.2, c.path.mass_flow[0], 1e-12);
    c.run(-4.0);
    EXPECT_NEAR(-0.2 * 2.0 * 1.1, c.path.mass_flow[0], 1e-12);
    EXPECT_NEAR(0.05 * 2.0 * 1.1, c.path.dflow_dp, 1e-12);
}

TEST(CurveModels, InverseCurveGivesTheFlowWhosePressureIsDp)
{
    // dp = y(F): a curve of pressure against flow.
    CurvePath c({{0, 0}, {0.1, 5}, {0.2, 12}, {0.3, 22}, {0.5, 50}}, afe_psf);
    c.path.fan_state = 0.05f;
    ASSERT_EQ(1, c.run(17.0));
    double f = c.path.mass_flow[0] / 2.0;
    EXPECT_NEAR(17.0, eval(c.pts, f), 1e-9);
    EXPECT_FLOAT_EQ((float)f, c.path.fan_state);
    double slope;
    eval(c.pts, f, &slope);
    EXPECT_NEAR(2.0 / slope, c.path.dflow_dp, 1e-9);
}

TEST(CurveModels, InverseCurveWithFlatSegmentFallsBackToBisection)
{
    CurvePath c({{0, 0}, {0.1, 10}, {0.2, 10}, {0.3, 20}}, afe_psq);
    c.path.fan_state = 0.15f;    // on the flat piece: the Newton step is undefined
    c.path.multiplier = 1.0;
    ASSERT_EQ(1, c.run(15.0));
    double q = c.path.mass_flow[0] / 1.2;
    EXPECT_NEAR(15.0, eval(c.pts, q), 1e-9);
    EXPECT_NEAR(0.25, q, 1e-9);
}

// Flows of thousands: the bisection behind the Newton steps closes its bracket relative to
// the flow, so the flow whose pressure is dp is found, not a FATAL.
TEST(CurveModels, InverseCurveOfLargeFlowsFindsItsFlow)
{
    CurvePath c({{0, 0}, {1e4, 100}, {2e4, 300}, {3e4, 600}, {4e4, 1000}}, afe_psf);
    c.path.fan_state = 0.0f;
    c.path.multiplier = 1.0;
    ASSERT_EQ(1, c.run(250.3));
    EXPECT_NEAR(250.3, eval(c.pts, c.path.mass_flow[0]), 1e-9);
    EXPECT_GT(c.path.mass_flow[0], 1e4);
    EXPECT_LT(c.path.mass_flow[0], 2e4);
}

// A curve flat beyond 0.1 never gives 20 Pa: the FATAL names the path, its element, the
// pressure difference and what the curve must do.
TEST(CurveModelsDeathTest, CurveThatNeverReachesThePressureNamesThePath)
{
    CurvePath c({{0, 0}, {0.1, 10}, {0.2, 10}}, afe_psf);
    c.path.number = 7;
    std::snprintf(c.elem.name, sizeof c.elem.name, "Fan");
    c.path.fan_state = 0.05f;
    EXPECT_EXIT(c.run(20.0), ::testing::ExitedWithCode(2),
                "FATAL Too many iterations; path 7, element Fan: no flow found at which its curve gives 20 Pa; "
                "the curve's pressures must rise steadily with flow through that pressure difference\n");
}

}  // namespace
}  // namespace vexlar
