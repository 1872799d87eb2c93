// Newton solution of small airflow networks whose answers are known in closed form:
// orifices in series under wind, stack flow through two openings, a constant-flow fan
// and a fan curve against a leak, a door with two-way flow. Every combination of
// Newton method and linear solver must reach the same pressures and close the mass
// balance of every node. Then iteration counts, the failure report and the linear start.
#include "airflow/solv-af.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <regex>
#include <sstream>

#include "airflow/af-assemble.h"
#include "model/clock.h"
#include "tests/airflow/af-test-net.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

constexpr double T_IN = 293.15;
constexpr double T_OUT = 273.15;

class ClosedForm : public ::testing::TestWithParam<SolverChoice> {
protected:
    void SetUp() override { AfNet::runControl(GetParam()); }

    // Solves and checks the mass balance of every variable node against the flows.
    int solve()
    {
        AF_MAT* m = net.setUp();
        int its = SolveAf(m);
        EXPECT_LE(its, m->itmax) << "no convergence";
        for (const AirNode* n = _afnd0; n; n = n->next) {
            if (!(n->flags & NODE_VAR_P)) continue;
            EXPECT_LE(std::fabs(AfNet::netInflow(n)), 1e-6 * AfNet::flowMagnitudes(n) + 1e-15)
                << "mass balance of node " << n->index;
        }
        return its;
    }

    AfNet net;
    LogCapture log;
};

// Two orifices in series between a windward and a leeward opening: equal flows, and the
// wind pressure divides between them as (C2/C1)^(1/n) : 1.
TEST_P(ClosedForm, OrificesInSeriesDivideTheWindPressure)
{
    const double C1 = 0.02, C2 = 0.01, n = 0.65, Pw = 12.0;
    AirNode* z = net.zone(T_OUT);
    AirNode* a = net.ambient(T_OUT);
    AirPath* in = net.path(a, z, net.powerLaw((float)C1, (float)n));
    AirPath* out = net.path(z, a, net.powerLaw((float)C2, (float)n));
    net.windOf(in) = (float)Pw;
    solve();
    double ratio = std::pow(C2 / C1, 1.0 / n);   // dp1 / dp2
    double dp2 = (double)(float)Pw / (1.0 + ratio);
    EXPECT_NEAR(z->pressure, dp2, 1e-5 * dp2);
    double F = C2 * std::sqrt(z->density) * std::pow(dp2, n);
    EXPECT_NEAR(in->mass_flow[0], F, 1e-5 * F);
    EXPECT_NEAR(out->mass_flow[0], F, 1e-5 * F);
}

// A warm zone with a low and a high opening: air enters below the neutral plane and
// leaves above it; p = -rho_in H g (rho_out - rho_in) / (rho_out + rho_in).
TEST_P(ClosedForm, TwoOpeningsAtDifferentHeightsCarryTheStackFlow)
{
    const double C = 0.03, H = 6.0;
    AirNode* z = net.zone(T_IN);
    AirNode* a = net.ambient(T_OUT);
    AirPath* low = net.path(z, a, net.powerLaw((float)C, 0.5f));
    AirPath* high = net.path(z, a, net.powerLaw((float)C, 0.5f));
    double ri = z->density, ro = a->density;
    high->stack_pressure = H * ro * GRAVITY - H * ri * GRAVITY;   // linear stack, openings at H
    solve();
    double p = -ri * H * GRAVITY * (ro - ri) / (ro + ri);
    EXPECT_NEAR(z->pressure, p, 1e-6 * std::fabs(p));
    EXPECT_LT(low->mass_flow[0], 0.0);
    EXPECT_GT(high->mass_flow[0], 0.0);
    double F = C * std::sqrt(ri) * std::sqrt(p + H * GRAVITY * (ro - ri));
    EXPECT_NEAR(high->mass_flow[0], F, 1e-6 * F);
}

// A constant-mass-flow fan pressurises a zone until its leak carries the same flow.
TEST_P(ClosedForm, ConstantMassFlowFanPressurisesZoneThroughItsLeak)
{
    const double Ff = 0.05, C = 0.02, n = 0.6;
    AirNode* z = net.zone(T_IN);
    AirNode* a = net.ambient(T_OUT);
    ConstFlowData fan{(float)Ff};
    AirPath* fp = net.path(a, z, net.element(AFE_FAN_CMF, afe_cmf, &fan), PATH_CONST_FLOW);
    AirPath* leak = net.path(z, a, net.powerLaw((float)C, (float)n));
    solve();
    double Fexp = (double)(float)Ff;
    double p = std::pow(Fexp / (C * std::sqrt(z->density)), 1.0 / n);
    EXPECT_NEAR(z->pressure, p, 1e-5 * p);
    EXPECT_DOUBLE_EQ(fp->mass_flow[0], Fexp);
    EXPECT_NEAR(leak->mass_flow[0], Fexp, 1e-6 * Fexp);
}

// A fan with a straight curve P(f) = a0 + a1 f against a square-root leak. The fan
// delivers M = (r a0 - p) / (-a1) (r = rho_amb / ref_density), the leak Cs sqrt(p); with
// q = sqrt(p) the balance is q^2 / (-a1) + Cs q - r a0 / (-a1) = 0.
TEST_P(ClosedForm, FanCurveMeetsTheLeakCurve)
{
    const double Pmax = 200.0, fmax = 0.3, C = 0.01;
    AirNode* z = net.zone(T_IN);
    AirNode* a = net.ambient(T_OUT);
    FanData fan = straightFan((float)Pmax, (float)fmax, 0.0f);
    AirPath* fp = net.path(a, z, net.element(AFE_FAN_FAN, afe_fan, &fan));
    fp->fan_state = 0.5f * fan.max_flow;
    AirPath* leak = net.path(z, a, net.powerLaw((float)C, 0.5f));
    solve();
    double a0 = fan.curve_coef[0], na1 = -(double)fan.curve_coef[1];
    double r = a->density / (double)fan.ref_density;
    double Cs = C * std::sqrt(z->density);
    double q = (-Cs + std::sqrt(Cs * Cs + 4.0 / na1 * r * a0 / na1)) / (2.0 / na1);
    EXPECT_NEAR(z->pressure, q * q, 1e-5 * q * q);
    EXPECT_NEAR(fp->mass_flow[0], leak->mass_flow[0], 1e-6 * leak->mass_flow[0]);
}

// A door between a warm zone and cold outside air, the zone otherwise sealed: the door
// carries equal and opposite flows, its neutral plane z (from mid-height) where
// (H/2 - z)/(H/2 + z) is the cube root of the density ratio.
TEST_P(ClosedForm, DoorCarriesEqualAndOppositeFlowsAtNeutralPlane)
{
    AirNode* z = net.zone(T_IN);
    AirNode* a = net.ambient(T_OUT);
    DoorData door = doorOf(2.0f, 0.9f);
    AirPath* dp = net.path(z, a, net.element(AFE_DOR_DOOR, afe_dor, &door), PATH_NUM_DERIV);
    solve();
    ASSERT_NE(dp->mass_flow[1], 0.0) << "door should carry two flows";
    EXPECT_NEAR(dp->mass_flow[0], -dp->mass_flow[1], 1e-6 * std::fabs(dp->mass_flow[1]));
    // dRhoG < 0 here: the zone side's flow is above the plane, so A/B = sqrt(rho_a/rho_z).
    double H = door.door_height, r = std::cbrt(a->density / z->density);
    double zn = 0.5 * H * (1.0 - r) / (1.0 + r);
    double dRhoG = (z->density - a->density) * _rcdat.gravity;
    EXPECT_NEAR(z->pressure / dRhoG, zn, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(EverySolver, ClosedForm, ::testing::ValuesIn(kEveryChoice), ChoiceName());

// ---- iteration counts, failure report, debug lines -------------------------------------

class Newton : public ::testing::Test {
protected:
    void build(SolverChoice c, int itmax)
    {
        AfNet::runControl(c, itmax, 1e-9f);
        z = net.zone(T_IN);
        AirNode* a = net.ambient(T_OUT);
        AirPath* in = net.path(a, z, net.powerLaw(0.02f, 0.65f));
        net.path(z, a, net.powerLaw(0.01f, 0.65f));
        net.windOf(in) = 25.0f;
        m = net.setUp();
    }
    void TearDown() override
    {
        _afFailIgnored = 0;
        _facBins = nullptr;
    }
    AfNet net;
    LogCapture log;
    AirNode* z = nullptr;
    AF_MAT* m = nullptr;
};

TEST_F(Newton, ConvergedStartTakesNoIterationAndCountsBinZero)
{
    build({1, 0}, 20);
    int bins[22] = {};
    _facBins = bins;
    ASSERT_LE(SolveAfstr(m), 20);
    int before = _NrSolveAf;
    EXPECT_EQ(SolveAfstr(m), 0);
    EXPECT_EQ(SolveAfsur(m), 0);
    EXPECT_EQ(_NrSolveAf, before + 2);
    EXPECT_EQ(bins[0], 2);
}

// A solution that is not finite cannot be carried on: the run ends naming where it broke.
TEST_F(Newton, ANonFiniteSolutionEndsTheRunNamingItsNode)
{
    build({1, 0}, 20);
    z->pressure = std::nan("");
    m->newton = -1;   // flows at the current pressures only
    EXPECT_EXIT(
        {
            _errorAuxFcnP = nullptr;   // the message to standard error, where the test reads it
            SolveAf(m);
        },
        ::testing::ExitedWithCode(2),
                "FATAL Airflow solution is not finite: pressure of node 1z\n");
}

TEST_F(Newton, UnderRelaxedFailureWithZeroLimitMakesOneStepAndOneAssembly)
{
    build({0, 0}, 0);
    int fills = _NrFillAf;
    EXPECT_EQ(SolveAfsur(m), 1);
    EXPECT_EQ(_NrFillAf, fills + 1);
    EXPECT_NE(z->pressure, 0.0);   // the step was applied
    EXPECT_EQ(countOf(log.text(), "Airflow iterations failed to converge at "), 1);
}

TEST_F(Newton, FailureIsReportedInFullOnceThenAsOneLogLine)
{
    build({1, 2}, 0);
    _stepEndTime = 3600;
    _dayofy = 32;
    SolveAfstr(m);
    z->pressure = 0.0;
    SolveAfstr(m);
    std::string text = log.text();
    const std::string msg = "Airflow iterations failed to converge at 01:00:00 / Feb01";
    EXPECT_EQ(countOf(LogCapture::screen(), "WARNING " + msg), 1);
    EXPECT_EQ(countOf(text, " node    sum(F)      sum|F|      rel err\n"), 1);
    EXPECT_EQ(countOf(text, "\nWARNING: " + msg + "\n"), 1);
    EXPECT_EQ(countOf(text, msg), 2);
    EXPECT_EQ(countOf(text, "\n   1z  "), 1) << "only the first failure lists the nodes";
}

// The node table of the first failure lists, with their residual, flow magnitude and
// relative error, exactly the variable nodes that fail the test by more than their own
// absolute tolerance; a node without flow magnitudes shows a relative error of 0.
TEST(FailureReport, NodeTableListsTheNodesThatFailTheTest)
{
    AfNet net;
    LogCapture log;
    struct Row {
        bool variable;
        int kind;
        double sum_flow, sum_abs_flow;
        float abs_tol;
    };
    const Row rows[] = {
        {true, 0, -3.5e-3, 7e-3, 1e-9f},    // listed: E = 0.5
        {true, 0, 1e-12, 7e-3, 1e-9f},      // within the relative tolerance
        {true, 0, 4e-10, 5e-10, 1e-9f},     // within its absolute tolerance
        {false, 0, 2e-3, 2e-3, 0.0f},       // known pressure
        {true, 1, 2.5e-4, 2.5e-4, 1e-9f},   // junction, listed: E = 1
        {true, 0, 1e-3, 0.0, 0.0f},         // listed: no magnitudes, E shown as 0
    };
    for (const Row& r : rows) {
        AirNode* n = net.zone(T_IN, 10.0f, r.variable, r.kind);
        n->sum_flow = r.sum_flow;
        n->sum_abs_flow = r.sum_abs_flow;
        n->abs_tol = r.abs_tol;
    }
    _afFailIgnored = 0;
    _stepEndTime = 45296;
    _dayofy = 365;
    ReptFCnvg(1e-4f);
    _afFailIgnored = 0;
    const std::string msg = "Airflow iterations failed to converge at 12:34:56 / Dec31";
    EXPECT_EQ(countOf(LogCapture::screen(), "WARNING " + msg + "\n"), 1);
    std::string text = log.text();
    size_t at = text.find(" node ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.substr(at),
              " node    sum(F)      sum|F|      rel err\n"
              "   1z   -3.500e-03   7.000e-03   5.000e-01\n"
              "   5j    2.500e-04   2.500e-04   1.000e+00\n"
              "   6z    1.000e-03   0.000e+00   0.000e+00\n");
}

// With variable density the air masses follow the pressures through the iterations.
TEST_F(Newton, VariableDensityKeepsAirMassesWithThePressures)
{
    build({1, 0}, 40);
    _rcdat.tsdens = 1;
    for (int newton : {AF_NEWTON_TRUST, AF_NEWTON_RELAX}) {
        m->newton = newton;
        z->pressure = 0.0;
        ASSERT_LE(SolveAf(m), 40);
        double mass = (z->pressure + PBAR) * z->volume / (z->gas_const * z->temperature);
        EXPECT_DOUBLE_EQ(z->air_mass, mass) << "newton " << newton;
    }
}

// With dbg[1] and dbg[0] every trial (trust region) or every solve (under-relaxation)
// writes its iteration line, and the solution ends with its summary line, whose CG count
// is the sum of the lines' PCG counts (later trials of an iteration show 0).
struct DebugLines {
    int newton;
    const char* line;      // one iteration line, the iteration number and PCG count captured
    const char* summary;   // the summary line, NR and CG counts captured
};

class NewtonDebug : public Newton, public ::testing::WithParamInterface<DebugLines> {};

TEST_P(NewtonDebug, IterationLinesAndSummaryLine)
{
    build({GetParam().newton, AF_SLAE_PCG}, 20);
    _rcdat.dbg[1] = 1;
    _rcdat.dbg[0] = 1;
    _stepEndTime = 0;
    int its = SolveAf(m);
    ASSERT_GT(its, 0);
    std::istringstream lines(log.text());
    const std::regex line(GetParam().line), summary(GetParam().summary);
    std::string text;
    std::smatch got;
    int cg = 0, last = 0, summaries = 0;
    while (std::getline(lines, text)) {
        if (text.rfind("    iter", 0) == 0) {
            ASSERT_TRUE(std::regex_match(text, got, line)) << text;
            int iter = std::stoi(got[1]);
            EXPECT_TRUE(iter == last || iter == last + 1) << text;
            last = iter;
            cg += std::stoi(got[2]);
        } else if (std::regex_match(text, got, summary)) {
            summaries++;
            EXPECT_EQ(std::stoi(got[1]), its);
            EXPECT_EQ(std::stoi(got[2]), cg);
        }
    }
    EXPECT_EQ(last, its);
    EXPECT_EQ(summaries, 1);
    EXPECT_GT(cg, 0);
}

INSTANTIATE_TEST_SUITE_P(
    BothMethods, NewtonDebug,
    ::testing::Values(
        DebugLines{AF_NEWTON_TRUST,
                   R"(    iter +(\d+), damp [01]\.\d{3}, Emax \d\.\d{7}, Nmax 1 \(1z\), )"
                   R"(Erms \d\.\d{3}e[-+]\d{2} \(E=1 [01]\), PCG iter (\d+))",
                   R"(00:00:00 SolveAfSTR: (\d+) NR iter, (\d+) CG iter, \d+\.\d\d s)"},
        DebugLines{AF_NEWTON_RELAX,
                   R"(    iter +(\d+), Emax \d\.\d{7}, Nmax 1 \(1z\), Erms \d\.\d{3}e[-+]\d{2}, )"
                   R"(PCG iter (\d+))",
                   R"(00:00:00 SolveAfSUR: (\d+) NR iter, (\d+) CG iter, \d+\.\d\d s)"}),
    testnames::named([](const DebugLines& d) { return d.newton ? "TrustRegion" : "Relaxed"; }));

// ---- linear start --------------------------------------------------------------------

// One cold zone and the ambient node, with the linear start switched on or off.
class LinearStart : public ::testing::Test {
protected:
    void build(SolverChoice c, int af_init = 1)
    {
        AfNet::runControl(c);
        _rcdat.af_init = af_init;
        z = net.zone(T_OUT);
        a = net.ambient(T_OUT);
    }
    AfNet net;
    LogCapture log;
    AirNode* z = nullptr;
    AirNode* a = nullptr;
};

// A zone with an air source and a laminar leak: the linearised network is exact, so the
// start pressure is source / conductance, positive (the source pushes air out).
TEST_F(LinearStart, SourceAgainstLaminarLeakGivesExactPressure)
{
    build({1, 0});
    z->src_rate = 1e-4;
    const float lam = 1e-7f;
    net.path(z, a, net.powerLaw(1.0f, 0.5f, lam));
    init_Af(net.setUp());
    double k = lam * (double)z->density_viscosity_ratio;   // 0.5 lam (dvr_z + dvr_a)
    EXPECT_NEAR(z->pressure, 1e-4 / k, 1e-9 * (1e-4 / k));
    EXPECT_EQ(a->pressure, 0.0);
}

// Two zones at the ambient temperature joined to each other and to the ambient by
// laminar leaks, with an air source in the first, a wind head and a constant-flow fan
// on the second: the linearised network is the network itself, so the linear start is
// the solution of the hand-worked 2 x 2 balance, and Newton finds nothing to correct.
class LaminarStart : public ::testing::TestWithParam<int> {
protected:
    AfNet net;
    LogCapture log;
};

TEST_P(LaminarStart, LinearStartSolvesTheLaminarBalanceWithTheSourceFlowingIn)
{
    AfNet::runControl({AF_NEWTON_TRUST, GetParam()});
    _rcdat.af_init = 1;
    AirNode* z1 = net.zone(T_OUT);
    AirNode* z2 = net.zone(T_OUT);
    AirNode* a = net.ambient(T_OUT);
    const double S = 2e-4, W = 3.0;
    const float lam1 = 1e-7f, lam2 = 2e-7f, lam3 = 5e-7f;
    ConstFlowData fan{1e-4f};
    z1->src_rate = S;
    net.path(z1, a, net.powerLaw(1.0f, 0.5f, lam1));
    AirPath* wind = net.path(a, z2, net.powerLaw(1.0f, 0.5f, lam2));
    net.windOf(wind) = (float)W;
    net.path(z2, z1, net.powerLaw(1.0f, 0.5f, lam3));
    net.path(a, z2, net.element(AFE_FAN_CMF, afe_cmf, &fan), PATH_CONST_FLOW);
    AF_MAT* m = net.setUp();
    init_Af(m);
    // Laminar flow = lam x (density / viscosity) x dp; balances of z1 and z2:
    //   S - k1 p1 + k3 (p2 - p1) = 0,   k2 (W - p2) + c - k3 (p2 - p1) = 0.
    const double rv = z1->density_viscosity_ratio;
    const double k1 = lam1 * rv, k2 = lam2 * rv, k3 = lam3 * rv, c = (double)fan.design_flow;
    const double det = (k1 + k3) * (k2 + k3) - k3 * k3;
    const double p1 = (S * (k2 + k3) + k3 * (k2 * W + c)) / det;
    const double p2 = ((k1 + k3) * (k2 * W + c) + k3 * S) / det;
    EXPECT_GT(p1, 0.0) << "a source into a zone raises its pressure";
    EXPECT_NEAR(z1->pressure, p1, 1e-9 * p1);
    EXPECT_NEAR(z2->pressure, p2, 1e-9 * p2);
    EXPECT_EQ(SolveAfstr(m), 0) << "the linear start already balances every node";
}

INSTANTIATE_TEST_SUITE_P(
    EveryLinearMethod, LaminarStart, ::testing::Values(AF_SLAE_SKYLINE, AF_SLAE_PCG, AF_SLAE_DENSE),
    testnames::named([](int slae) {
        return ChoiceName()(::testing::TestParamInfo<SolverChoice>({1, slae}, 0)).substr(11);
    }));

TEST_F(LinearStart, FanAboveCutOffStartsAsFlowAtHalfShutOffPressure)
{
    build({1, 2});
    FanData fan = straightFan(300.0f, 0.4f, 0.1f);
    AirPath* fp = net.path(a, z, net.element(AFE_FAN_FAN, afe_fan, &fan));
    const float lam = 1e-7f;
    net.path(z, a, net.powerLaw(1.0f, 0.5f, lam));
    init_Af(net.setUp());
    // The start flow is the curve's at dp = +150 Pa: a0 + dp / r + a1 f = 0.
    double r = a->density / (double)fan.ref_density;
    double f = (300.0 + 150.0 / r) / 750.0;
    EXPECT_NEAR(fp->mass_flow[0], f * r, 1e-9);
    double k = lam * (double)z->density_viscosity_ratio;
    EXPECT_NEAR(z->pressure, f * r / k, 1e-6 * f * r / k);
}

TEST_F(LinearStart, FanBelowCutOffStartsAsLeakWithoutItsControl)
{
    build({1, 0});
    z->src_rate = 1e-5;
    FanData fan = straightFan(300.0f, 0.4f, 0.5f, 2e-7f);
    AirPath* fp = net.path(a, z, net.element(AFE_FAN_FAN, afe_fan, &fan));
    net.controlOf(fp) = 0.25f;   // below cut-off; must not scale the leak
    init_Af(net.setUp());
    double k = 2e-7 * 0.5 * ((double)z->density_viscosity_ratio + a->density_viscosity_ratio);
    EXPECT_NEAR(z->pressure, 1e-5 / k, 1e-6 * 1e-5 / k);
    EXPECT_FLOAT_EQ(fp->fan_state, 0.2f);
}

TEST_F(LinearStart, WithoutTheSwitchThePressuresStay)
{
    build({1, 0}, 0);
    z->src_rate = 1e-4;
    net.path(z, a, net.powerLaw(1.0f, 0.5f, 1e-7f));
    int fills = _NrFillAf;
    init_Af(net.setUp());
    EXPECT_EQ(z->pressure, 0.0);
    EXPECT_EQ(_NrFillAf, fills + 1);
}

TEST_F(LinearStart, SuperElementIsRejected)
{
    build({1, 0});
    SupAfeData sup{};
    net.path(z, a, net.powerLaw(1.0f, 0.5f));
    AfeRec* e = net.element(AFE_SUP_AFE, afe_plr, &sup);
    std::strcpy(e->name, "Choice");
    net.path(z, a, e);
    AF_MAT* m = net.setUp();
    EXPECT_EXIT((_errorAuxFcnP = nullptr, init_Af(m)), ::testing::ExitedWithCode(2),
                "FATAL Invalid AFE type: 28; path 2 uses element Choice \\(sup_afe\\), which no airflow model "
                "solves: give it an element of another kind\n");
}

}  // namespace
