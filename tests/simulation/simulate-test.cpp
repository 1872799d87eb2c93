// Steady initialisation on a hand-built stack-driven zone: the steady pressures, the log
// and screen lines, the single solution without cnvgSS and the tolerance ladder with
// it, the end line of each run mode and the day extremes of the single result time.

#include "simulation/simulate.h"

#include <gtest/gtest.h>

#include "airflow/solv-af.h"
#include "model/clock.h"
#include "model/prj-common.h"
#include "tests/airflow/af-test-net.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

constexpr double T_IN = 293.15, T_OUT = 268.15, H = 6.0, C = 0.03;

// A warm zone with openings at its floor and 6 m above it: its steady pressure is
// -rho_in H g (rho_out - rho_in) / (rho_out + rho_in).
class SteadyInit : public ::testing::Test {
protected:
    void build(SolverChoice c, int itmax = 50, float relcnvg = 1e-7f)
    {
        AfNet::runControl(c, itmax, relcnvg);
        _rcdat.af_init = 1;
        _rcdat.time_step = 300;
        _time_step = 300;
        _dayofy = 15;
        _stepEndTime = 43200;
        _Lev0 = &level;
        z = net.zone(T_IN);
        a = net.ambient(T_OUT);
        z->location.level = &level;
        a->location.level = &level;
        low = net.path(z, a, net.powerLaw((float)C, 0.5f));
        high = net.path(z, a, net.powerLaw((float)C, 0.5f));
        high->dz_from = high->dz_to = (float)H;
        m = net.setUp();
    }
    double expected() const
    {
        double ri = airDensity(T_IN), ro = airDensity(T_OUT), g = _rcdat.gravity;
        return -ri * H * g * (ro - ri) / (ro + ri);
    }
    void SetUp() override { testing::internal::CaptureStderr(); }
    void TearDown() override
    {
        takeScreen();
        _Lev0 = nullptr;
        _rcdat = RunControlData{};
    }
    // What the run showed on standard error (once; later calls give "").
    std::string takeScreen()
    {
        if (taken) return "";
        taken = true;
        return testing::internal::GetCapturedStderr();
    }
    bool taken = false;
    AfNet net;
    LogCapture log;
    LevelRec level{};
    AirNode *z = nullptr, *a = nullptr;
    AirPath *low = nullptr, *high = nullptr;
    AF_MAT* m = nullptr;
};

TEST_F(SteadyInit, SolvesTheStackFlowAndLogsItsStartAndEnd)
{
    build({1, 0});
    sim_init(0);
    std::string screen = takeScreen();
    EXPECT_NEAR(z->pressure, expected(), 1e-6 * std::fabs(expected()));
    EXPECT_LT(low->mass_flow[0], 0.0);
    EXPECT_NEAR(low->mass_flow[0], -high->mass_flow[0], 1e-9);
    const std::string start = "Running steady-state initialization:\n DATE: Jan15   time: 12:00:00\n";
    EXPECT_EQ(screen, start + "End Steady-state Initialization\n");
    std::string text = log.text();
    EXPECT_NE(text.find(start), std::string::npos);
    EXPECT_NE(text.find("End Steady-state Initialization\n"), std::string::npos);
    EXPECT_EQ(_dt, 300.0f);
    EXPECT_FLOAT_EQ(_dti, 1.0f / 300.0f);
    EXPECT_EQ(m->relcnvg, _rcdat.relcnvg);
    EXPECT_EQ(a->gauge_pressure, 0.0f);
}

TEST_F(SteadyInit, WithoutTheLadderExactlyOneSolutionIsMade)
{
    build({0, 1});
    int before = _NrSolveAf;
    sim_init(0);
    EXPECT_EQ(_NrSolveAf, before + 1);
    EXPECT_NEAR(z->pressure, expected(), 1e-5 * std::fabs(expected()));
}

TEST_F(SteadyInit, LadderWithoutIterationsReportsAtOnceAndSolvesNothing)
{
    build({1, 0}, 0);
    _rcdat.cnvgSS = 1;
    int before = _NrSolveAf;
    sim_init(0);
    EXPECT_EQ(_NrSolveAf, before);
    EXPECT_EQ(countOf(LogCapture::screen(), "ERROR Calculation of steady-state flows did not converge\n"), 1);
    EXPECT_NE(z->pressure, 0.0) << "the linear start stays";
}

// The tolerance falls tenfold per pass from 0.001 to relcnvg, and the ladder ends with
// the first solution at relcnvg that needs at most one iteration. With relcnvg 1e-6 the
// passes run at 1e-3, 1e-4, 1e-5 and, single precision leaving a tenth of 1e-5 a hair
// above 1e-6, at 1.0000001e-6, before the fifth reaches the run's own tolerance.
TEST_F(SteadyInit, LadderStepsTheToleranceDownToTheRunsOwn)
{
    build({1, 2}, 50, 1e-6f);
    _rcdat.cnvgSS = 1;
    int before = _NrSolveAf;
    sim_init(0);
    EXPECT_EQ(_NrSolveAf - before, 5);
    EXPECT_EQ(m->relcnvg, 1e-6f);
    EXPECT_EQ(countOf(LogCapture::screen(), "did not converge"), 0);
    EXPECT_NEAR(z->pressure, expected(), 1e-5 * std::fabs(expected()));
}

// With the flows-only method every pass counts as the whole budget; the densities agree
// with the (unchanged) pressures, so the ladder settles on its first pass at its floor.
TEST_F(SteadyInit, SettledLadderThatUsedTheWholeBudgetSaysSo)
{
    build({2, 0}, 7, 0.001f);
    _rcdat.cnvgSS = 1;
    _rcdat.af_init = 0;
    sim_init(0);
    EXPECT_EQ(countOf(LogCapture::screen(), "NOTE Calculation of steady-state flows did converge\n"), 1);
}

class EndLine : public SteadyInit, public ::testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(EndLine, NamesTheRunMode)
{
    build({1, 0});
    _rcdat.sim_af = GetParam().first;
    sim_init(0);
    std::string screen = takeScreen();
    EXPECT_NE(screen.find(GetParam().second), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(RunModes, EndLine,
                         ::testing::Values(std::make_pair(0, "End Steady-state Initialization\n"),
                                           std::make_pair(2, "End Duct Balance Initialization\n"),
                                           std::make_pair(3, "End Airflow Analysis Calculation\n"),
                                           std::make_pair(4, "End Pressurization Calculation\n")),
                         testnames::named([](const std::pair<int, const char*>& p) {
                             return "sim_af" + std::to_string(p.first);
                         }));

TEST_F(SteadyInit, SingleResultTimeStartsTheDayExtremes)
{
    build({1, 0});
    AirPath* ahs = net.path(z, a, net.powerLaw((float)C, 0.5f), 0x10);
    ahs->flow_max = -1.0f;
    sim_init(1);
    EXPECT_FLOAT_EQ(high->flow_max, (float)std::fabs(high->mass_flow[0]));
    EXPECT_FLOAT_EQ(low->dp_max, (float)std::fabs(low->dp));
    EXPECT_EQ(ahs->flow_max, -1.0f) << "air-handling paths keep theirs";
    EXPECT_EQ(z->gauge_pressure_max, z->gauge_pressure);
    EXPECT_EQ(z->gauge_pressure_min, z->gauge_pressure);
}

}  // namespace
