// Duct balancing on small duct systems built by hand: a fan feeding two supply terminals
// throttled to their design flows, the walk from terminals to fans and its failures
// (a loop without a fan, another terminal reached first), mixed fan systems, the report
// rows of each stage, and the fan-law speed ratio of a curve fan.

#include <gtest/gtest.h>

#include <regex>

#include "airflow/solv-af.h"
#include "common-src/memory.h"
#include "model/prj-records.h"
#include "simulation/balance.h"
#include "tests/airflow/af-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

constexpr double T_BAL = 293.15;

// A duct system under construction on top of the airflow test network: junctions and
// terminals are nodes, ducts and fans segments, terminals paths of kind 2.
class DuctNet : public ::testing::Test {
protected:
    void SetUp() override
    {
        AfNet::runControl({AF_NEWTON_TRUST, AF_SLAE_SKYLINE}, 50, 1e-6f);
        saved_ms = _ms;
        _ms = alc_eci(32000, "ms-block");
        _mb = alc_eci(2000, "mb-block");
        _BalDat0 = nullptr;
        _ubal = tmpfile();
    }
    void TearDown() override
    {
        balFreeSystems();
        _BalDat0 = nullptr;
        if (_mb) _mb = fre_ec(_mb, "mb-block");
        _ms = fre_ec(_ms, "ms-block");
        _ms = saved_ms;
        fclose(_ubal);
        _ubal = nullptr;
    }

    AirNode* junction(int number, int kind = 1)
    {
        AirNode* n = net.zone(T_BAL, 0.0f, true, kind);
        n->number = number;
        return n;
    }
    AirNode* terminalNode(int number) { return junction(number, 2); }

    AirPath* segment(AirNode* from, AirNode* to, int type, AFE_MODEL_FN fn, void* data, int number)
    {
        AirPath* p = net.path(from, to, net.element(type, fn, data));
        p->kind = 1;
        p->number = number;
        return p;
    }

    // A duct of turbulent power-law coefficient C (F = C sqrt(rho dp)).
    AirPath* duct(AirNode* from, AirNode* to, float C, int number)
    {
        ducts.push_back(std::make_unique<DctPlrData>());
        ducts.back()->plr = PlrData{1e-2f, C, 0.5f};
        return segment(from, to, AFE_DCT_PLR, afe_plr, ducts.back().get(), number);
    }

    // A curve fan whose rise falls linearly from `shutoff` at no flow to 0 at `max_flow`.
    AirPath* fan(AirNode* from, AirNode* to, float shutoff, float max_flow, int number)
    {
        fans.push_back(std::make_unique<DctFanData>());
        fans.back()->fan = straightFan(shutoff, max_flow, 0.0f);
        AirPath* p = segment(from, to, AFE_DCT_FAN, afe_fan, fans.back().get(), number);
        p->fan_state = 0.5f * max_flow;
        return p;
    }

    // A terminal of face area A and loss coefficients C1, C2 from junction j into zone z.
    AirPath* terminal(AirNode* j, AirNode* z, float A, float C1, float C2, float design, int balance)
    {
        terms.push_back(std::make_unique<TerminalData>());
        TerminalData* td = terms.back().get();
        *td = TerminalData{A * std::sqrt(2.0f / (C1 + C2)), 1e-2f, C1, C2, A, design, balance};
        AirPath* p = net.path(j, z, net.element(AFE_D_TERM, afe_trm, td));
        p->kind = 2;
        p->number = j->number;
        return p;
    }

    // A zone served by one terminal and nothing else.
    AirPath* loneTerminal(int number, float design, int balance)
    {
        AirNode* z = net.zone(T_BAL);
        AirNode* j = terminalNode(number);
        net.ambient(T_BAL);
        return terminal(j, z, 0.02f, 1, 1, design, balance);
    }

    // The walk of every balanced terminal, whose flows are all in their design direction.
    int walk(BalWalk* w)
    {
        EXPECT_EQ(balTerminals(w), BAL_CONVERGED);
        return balWalkToFans(w);
    }

    // Flows set by hand, for walks that need no airflow solution.
    static void flowOf(AirPath* p, double f) { p->mass_flow[0] = f; }

    std::string report() { return fileContents(_ubal); }

    AfNet net;
    LogCapture log;
    MemBlock* saved_ms = nullptr;
    std::vector<std::unique_ptr<DctPlrData>> ducts;
    std::vector<std::unique_ptr<DctFanData>> fans;
    std::vector<std::unique_ptr<TerminalData>> terms;
};

// ---- One fan, two supply terminals ------------------------------------------------------

// Outdoor air enters the intake terminal J1, the curve fan S1 lifts it into the plenum J2,
// and ducts S2, S3 of equal coefficient carry it to terminals J3 and J4 of the same size,
// which supply zone 1; the zone leaks to outdoors. Design: 0.06 and 0.04 kg/s. On the
// return side (side -1) every path but the terminals runs the other way: J3 and J4 draw
// 0.06 and 0.04 kg/s from the zone and S1 blows them out through J1.
class TwoTerminalSystem : public DuctNet {
protected:
    static constexpr double A = 0.02, C1 = 1.0, C2 = 1.0, CD = 0.05, F3 = 0.06, F4 = 0.04;

    void build(int side)
    {
        zone = net.zone(T_BAL);
        AirNode* j1 = terminalNode(1);
        AirNode* j2 = junction(2);
        AirNode* j3 = terminalNode(3);
        AirNode* j4 = terminalNode(4);
        AirNode* amb = net.ambient(T_BAL);
        auto ends = [side](AirNode* a, AirNode* b) { return side > 0 ? std::make_pair(a, b) : std::make_pair(b, a); };
        auto leak = ends(zone, amb);
        net.path(leak.first, leak.second, net.powerLaw(0.1f, 0.5f, 1e-2f));
        auto f = ends(j1, j2), d3 = ends(j2, j3), d4 = ends(j2, j4);
        s1 = fan(f.first, f.second, 200.0f, 0.3f, 1);
        duct(d3.first, d3.second, (float)CD, 2);
        duct(d4.first, d4.second, (float)CD, 3);
        terminal(j1, amb, 0.1f, 1.0f, 0.0f, -0.1f * side, 0);
        t3 = terminal(j3, zone, (float)A, (float)C1, (float)C2, (float)(F3 * side), 1);
        t4 = terminal(j4, zone, (float)A, (float)C1, (float)C2, (float)(F4 * side), 1);
        SolveAfstr(net.setUp());   // the steady state the balancing starts from
    }

    // Runs the steps of Balance after the steady solution; returns the ending.
    int balance(int itmax, float tol, int* iterations)
    {
        BalWalk w{};
        int ending = balTerminals(&w);
        if (ending == BAL_CONVERGED) ending = balWalkToFans(&w);
        if (ending == BAL_CONVERGED) ending = balFanSystems(&w);
        if (ending != BAL_CONVERGED) return ending;
        ending = balIterate(itmax, tol, iterations);
        balWriteBody((float)_pambt->density);
        return ending;
    }

    AirNode* zone = nullptr;
    AirPath *s1 = nullptr, *t3 = nullptr, *t4 = nullptr;
};

class OneFanTwoTerminals : public TwoTerminalSystem {
protected:
    void SetUp() override
    {
        DuctNet::SetUp();
        build(+1);
    }
};

class ReturnFanTwoTerminals : public TwoTerminalSystem {
protected:
    void SetUp() override
    {
        DuctNet::SetUp();
        build(-1);
    }
};

TEST_F(OneFanTwoTerminals, BalancesToTheDesignFlowsWithStatusZero)
{
    const float tol = 1e-4f;
    int its = 0;
    ASSERT_EQ(balance(50, tol, &its), BAL_CONVERGED);
    EXPECT_GT(its, 1);
    EXPECT_NEAR(t3->mass_flow[0], F3, tol * F3);
    EXPECT_NEAR(t4->mass_flow[0], F4, tol * F4);
    EXPECT_NEAR(s1->mass_flow[0], F3 + F4, 1e-6);   // the fan now delivers the design total
    EXPECT_EQ(report().rfind("0 ! Flow balance iterations converged\n", 0), 0u);
}

// Both branches start alike, so J4 (the smaller design flow) gets too much and is throttled
// while J3 keeps its coefficient C2. Equal pressure drops from the plenum to the zone give
// F3^2 (1/CD^2 + K3/(2A^2)) = F4^2 (1/CD^2 + K4/(2A^2)) with K3 = C1 + C2, and the balance
// coefficient of J4 is K4 - C1.
TEST_F(OneFanTwoTerminals, ThrottlesOnlyTheTerminalAboveItsDesignFlow)
{
    int its = 0;
    ASSERT_EQ(balance(50, 1e-5f, &its), BAL_CONVERGED);
    // 2 A^2 = 0.0008, 1/CD^2 = 400, (C1 + C2)/(2 A^2) = 2500: K4 = 0.0008 (2.25 x 2900 - 400).
    const double K4 = 4.9;
    std::smatch m;
    std::string text = report();
    ASSERT_TRUE(std::regex_search(text, m, std::regex("trm\t3\t(\\S+)\t(\\S+)\ntrm\t4\t(\\S+)\t(\\S+)\n$")));
    EXPECT_NEAR(std::stod(m[1]), 1.0, 1e-4);
    EXPECT_NEAR(std::stod(m[2]), C2, 1e-5);
    EXPECT_NEAR(std::stod(m[3]), 1.0, 1e-4);
    EXPECT_NEAR(std::stod(m[4]), K4 - C1, 1e-3 * (K4 - C1));
}

// The report rows: the fan with its flow, rise and speed ratio, then the terminals in the
// order they reached the fan. The speed ratio solves J a0 r^2 + a1 K r = L for the
// straight curve a0 = 200, a1 = -200/0.3 at J = rho / 1.2041.
TEST_F(OneFanTwoTerminals, ReportsTheFanRiseAndItsSpeedRatio)
{
    int its = 0;
    ASSERT_EQ(balance(50, 1e-4f, &its), BAL_CONVERGED);
    std::string text = report();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        text, m,
        std::regex("^0 ! Flow balance iterations converged\n"
                   "!fan\tduct #\tflow \\[kg/s\\]\tPrise \\[Pa\\]\tRPMratio\n"
                   "!trm\tjctn #\trel-flow \\[-\\]\tCb \\[-\\]\n"
                   "fan\t1\t(\\S+)\t(\\S+)\t(\\S+)\ntrm\t3\t\\S+\t\\S+\ntrm\t4\t\\S+\t\\S+\n$")))
        << text;
    double K = std::stod(m[1]), L = std::stod(m[2]), r = std::stod(m[3]);
    EXPECT_NEAR(K, F3 + F4, 1e-5);
    EXPECT_NEAR(L, -s1->dp, 1e-5 * L);
    double J = _pambt->density / 1.2041, a0 = 200.0, a1 = -200.0 / 0.3;
    double hand = (-a1 * K + std::sqrt(a1 * a1 * K * K + 4 * J * a0 * L)) / (2 * J * a0);
    EXPECT_NEAR(r, hand, 2e-5);
}

TEST_F(OneFanTwoTerminals, GivesUpAfterTwiceTheIterationLimit)
{
    int its = 0;
    EXPECT_EQ(balance(1, 1e-6f, &its), BAL_NOT_CONVERGED);
    EXPECT_EQ(its, 2);
    EXPECT_EQ(countOf(log.text(), "Iteration "), 2);
    EXPECT_EQ(report().rfind("1 ! Flow balance iterations did not converge\n", 0), 0u);
}

TEST_F(OneFanTwoTerminals, LogsTheRelativeFlowsOfEachIteration)
{
    int its = 0;
    balance(50, 1e-4f, &its);
    std::string text = log.text();
    EXPECT_NE(text.find("Iteration 1:\n Fan system 2 (2 terminals):\n  Relative Flows:\n   "), std::string::npos)
        << text;
    EXPECT_EQ(countOf(text, "  Relative Flows:\n"), its);
}

TEST_F(OneFanTwoTerminals, AirflowWithoutNewtonMethodIsFatal)
{
    int its = 0;
    _AF_mat->newton = -1;   // flows only: nothing to balance with
    EXPECT_EXIT(
        {
            _errorAuxFcnP = nullptr;   // the message to standard error
            balance(50, 1e-4f, &its);
        },
        ::testing::ExitedWithCode(2), "FATAL.*Invalid method, Call Dravik");
}

// The walks go with the flow to the fan; flows, design flows and their total are negative,
// and the same equal-drop balance gives the smaller branch the balance coefficient 3.9.
TEST_F(ReturnFanTwoTerminals, BalancesToTheNegativeDesignFlows)
{
    int its = 0;
    ASSERT_EQ(balance(50, 1e-5f, &its), BAL_CONVERGED);
    ASSERT_EQ(_BalDat0->fan, s1);
    EXPECT_NEAR(t3->mass_flow[0], -F3, 1e-5 * F3);
    EXPECT_NEAR(t4->mass_flow[0], -F4, 1e-5 * F4);
    EXPECT_NEAR(s1->mass_flow[0], F3 + F4, 1e-4 * (F3 + F4));
    EXPECT_NEAR(_BalDat0->Fd[0], -(F3 + F4), 1e-8);
    std::smatch m;
    std::string text = report();
    ASSERT_TRUE(std::regex_search(text, m, std::regex("trm\t3\t(\\S+)\t(\\S+)\ntrm\t4\t(\\S+)\t(\\S+)\n$"))) << text;
    EXPECT_NEAR(std::stod(m[2]), C2, 1e-5);
    EXPECT_NEAR(std::stod(m[4]), 3.9, 3.9e-3);
}

// ---- Walks ------------------------------------------------------------------------------

// Two fans, each walk through its own. The walk of J3 needs a second pass (its duct J8-J2
// comes before the one it leaves its junction by), so J5 and J4 reach fan S3 first: the
// finished list is J3, J5, J4. Grouping from its head puts S1's system in the list first
// and S3's at the head above it; S3's terminals are numbered in finished order (J5, J4)
// and reported from the last, and systems are reported from the head.
TEST_F(DuctNet, FanSystemsAndTheirTerminalsAreReportedInTheOrderTheWalksFinished)
{
    AirNode* z = net.zone(T_BAL);
    AirNode* j[9] = {};
    for (int k : {1, 2, 6, 7, 8}) j[k] = junction(k);
    for (int k : {3, 4, 5}) j[k] = terminalNode(k);
    net.ambient(T_BAL);
    AirPath* s1 = fan(j[1], j[2], 100.0f, 1.0f, 1);
    flowOf(s1, 0.03);
    flowOf(duct(j[2], j[8], 0.05f, 2), 0.03);
    AirPath* s3 = fan(j[6], j[7], 100.0f, 1.0f, 3);
    flowOf(s3, 0.05);
    flowOf(duct(j[7], j[4], 0.05f, 4), 0.02);
    flowOf(duct(j[7], j[5], 0.05f, 5), 0.03);
    flowOf(duct(j[8], j[3], 0.05f, 6), 0.03);
    const double design[6] = {0, 0, 0, 0.03, 0.02, 0.03};
    for (int k : {3, 4, 5}) flowOf(terminal(j[k], z, 0.02f, 1, 1, (float)design[k], 1), design[k]);
    BalWalk w{};
    ASSERT_EQ(walk(&w), BAL_CONVERGED);
    ASSERT_EQ(balFanSystems(&w), BAL_CONVERGED);
    ASSERT_NE(_BalDat0, nullptr);
    EXPECT_EQ(_BalDat0->fan, s3);
    ASSERT_NE(_BalDat0->next, nullptr);
    EXPECT_EQ(_BalDat0->next->fan, s1);
    EXPECT_EQ(_BalDat0->next->next, nullptr);
    EXPECT_NEAR(_BalDat0->Fd[0], 0.05, 1e-8);
    EXPECT_NEAR(_BalDat0->next->Fd[0], 0.03, 1e-8);
    balWriteBody((float)_pambt->density);
    std::string text = report();
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(!fan[^\n]*\n!trm[^\n]*\n)"
                                                  R"(fan\t3\t0\.05\t[^\n]*\n)"
                                                  R"(trm\t4\t1\.000000e\+00\t1\n)"
                                                  R"(trm\t5\t1\.000000e\+00\t1\n)"
                                                  R"(fan\t1\t0\.03\t[^\n]*\n)"
                                                  R"(trm\t3\t1\.000000e\+00\t1\n)")))
        << text;
}

// The terminal J3 walks up the duct J2-J3 into a three-segment loop J2-J5-J6 with no flow
// and no fan; the walk must stop with status 4 rather than go round for ever.
TEST_F(DuctNet, ALoopWithoutAFanEndsTheWalkWithStatusFour)
{
    AirNode* z = net.zone(T_BAL);
    AirNode* j2 = junction(2);
    AirNode* j3 = terminalNode(3);
    AirNode* j5 = junction(5);
    AirNode* j6 = junction(6);
    net.ambient(T_BAL);
    flowOf(duct(j2, j3, 0.05f, 1), 0.01);
    duct(j2, j5, 0.05f, 2);
    duct(j5, j6, 0.05f, 3);
    duct(j6, j2, 0.05f, 4);
    flowOf(terminal(j3, z, 0.02f, 1, 1, 0.01f, 1), 0.01);
    BalWalk w{};
    ASSERT_EQ(walk(&w), BAL_WALK_STUCK);
    EXPECT_LE(w.walking->moves, w.nduct);
    std::smatch m;
    std::string text = report();
    ASSERT_TRUE(std::regex_match(text, m,
                                 std::regex("4 ! Failed to terminate link\\(s\\) at a fan\n"
                                            "!trm\tjct #\tdir \\+/-\tjct #\ntrm\t3\t1\t[256]\n")))
        << text;
}

// A return terminal walks with the flow; it meets the supply terminal J1 before any fan.
TEST_F(DuctNet, AWalkThatReachesAnotherTerminalFindsNoFan)
{
    AirNode* z = net.zone(T_BAL);
    AirNode* j1 = terminalNode(1);
    AirNode* j2 = junction(2);
    AirNode* j3 = terminalNode(3);
    AirNode* amb = net.ambient(T_BAL);
    flowOf(duct(j3, j2, 0.05f, 1), 0.02);
    flowOf(duct(j2, j1, 0.05f, 2), 0.02);
    flowOf(terminal(j3, z, 0.02f, 1, 1, -0.02f, 1), -0.02);
    flowOf(terminal(j1, amb, 0.02f, 1, 1, 0.02f, 0), 0.02);
    BalWalk w{};
    ASSERT_EQ(walk(&w), BAL_NO_FAN);
    EXPECT_EQ(report(), "4 ! Failed to terminate link(s) at a fan\n!trm\tjct #\tdir +/-\tjct #\ntrm\t3\t-1\t1\n");
}

// Supply walks go against the flow and return walks with it, whichever way a segment is
// drawn; the fan segment ends both.
TEST_F(DuctNet, SupplyWalksAgainstTheFlowAndReturnWalksWithIt)
{
    AirNode* z = net.zone(T_BAL);
    AirNode* j1 = junction(1);
    AirNode* j2 = junction(2);
    AirNode* j3 = terminalNode(3);
    AirNode* j4 = terminalNode(4);
    AirNode* j5 = junction(5);
    net.ambient(T_BAL);
    AirPath* f = fan(j1, j2, 100.0f, 1.0f, 1);
    flowOf(f, 0.05);
    flowOf(duct(j3, j2, 0.05f, 2), -0.03);   // drawn against its flow
    flowOf(duct(j5, j1, 0.05f, 3), 0.02);    // return side: J5 into the fan inlet
    flowOf(duct(j4, j5, 0.05f, 4), 0.02);
    flowOf(duct(j1, j3, 0.05f, 5), 0.0);     // a dead branch: no flow, not the way to go
    AirPath* sup = terminal(j3, z, 0.02f, 1, 1, 0.03f, 1);
    AirPath* ret = terminal(j4, z, 0.02f, 1, 1, -0.02f, 1);
    flowOf(sup, 0.03);
    flowOf(ret, -0.02);
    BalWalk w{};
    ASSERT_EQ(walk(&w), BAL_CONVERGED);
    ASSERT_EQ(w.walking, nullptr);
    for (const BalTerm* t = w.finished; t; t = t->next) EXPECT_EQ(t->fan, f) << t->terminal->number;
    // One fan serving a supply and a return terminal is a mixed system.
    EXPECT_EQ(balFanSystems(&w), BAL_MIXED);
    EXPECT_EQ(report(),
              "5 ! Fan system includes supply and return terminals\n!fan path #\ttrm jct #\n"
              "fan\t1\ntrm\t4\ntrm\t3\n");
}

// ---- Terminals --------------------------------------------------------------------------

TEST_F(DuctNet, NoBalancedTerminalReportsStatusTwo)
{
    loneTerminal(1, 0.02f, 0);
    BalWalk w{};
    EXPECT_EQ(balTerminals(&w), BAL_NO_TERMINALS);
    EXPECT_EQ(report(), "2 ! There are no terminals to balance\n!\n");
}

TEST_F(DuctNet, FlowAgainstTheDesignDirectionIsReportedPerTerminal)
{
    const float design[2] = {0.02f, -0.02f};
    const double flow[2] = {-0.015, 0.0};
    AirNode* z = net.zone(T_BAL);
    AirNode* j[2] = {terminalNode(1), terminalNode(2)};
    net.ambient(T_BAL);
    for (int k = 0; k < 2; k++) flowOf(terminal(j[k], z, 0.02f, 1, 1, design[k], 1), flow[k]);
    BalWalk w{};
    EXPECT_EQ(balTerminals(&w), BAL_BAD_DIRECTION);
    EXPECT_EQ(report(),
              "3 ! Invalid flow direction(s)\n!trm\tjct #\tFcalc\tFdes\n"
              "trm\t1\t-1.5000e-02\t2.0000e-02\ntrm\t2\t0.0000e+00\t-2.0000e-02\n");
}

// A balanced terminal without a design flow cannot be balanced to it: it is reported and
// left out, and with no other terminal the run has nothing to balance.
TEST_F(DuctNet, ZeroDesignFlowIsAnErrorAndLeftOut)
{
    flowOf(loneTerminal(7, 0.0f, 1), 0.01);
    BalWalk w{};
    EXPECT_EQ(balTerminals(&w), BAL_NO_TERMINALS);
    EXPECT_NE(LogCapture::screen().find("Zero design flow for terminal 7"), std::string::npos);
    EXPECT_EQ(error(-1, __FILE__, __LINE__, ""), 1);
}

// ---- Speed ratio ------------------------------------------------------------------------

struct RatioCase {
    const char* name;
    float J, K, L;
    float expected;
};

void PrintTo(const RatioCase& c, std::ostream* os) { *os << c.name; }

class SpeedRatio : public ::testing::TestWithParam<RatioCase> {};

// Straight curve a0 = 500, a1 = -500 (free delivery 1 kg/s): P(r) = 500 J r^2 - 500 K r.
TEST_P(SpeedRatio, SolvesTheFanLawsForTheRiseToDeliver)
{
    const float a[4] = {500.0f, -500.0f, 0.0f, 0.0f};
    const RatioCase& c = GetParam();
    EXPECT_NEAR(fanSpeedRatio(a, c.J, c.K, c.L), c.expected, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    HandWorked, SpeedRatio,
    ::testing::Values(RatioCase{"Slower", 1.0f, 0.5f, 120.0f, 0.8f},          // 320 - 200
                      RatioCase{"FasterInThinAir", 0.9f, 0.45f, 675.0f, 1.5f},  // 1012.5 - 337.5
                      RatioCase{"FullSpeed", 1.0f, 0.5f, 250.0f, 1.0f},
                      RatioCase{"BeyondTheFastest", 1.0f, 0.5f, 1e7f, 0.0f},    // P(128) = 8.16e6
                      RatioCase{"BelowTheSlowest", 1.0f, 0.0f, -1.0f, 0.0f},    // P(r) > 0 always
                      // Without flow P(r) = 500 r^2: the ends of the search, 1/128 and 128.
                      RatioCase{"InTheSlowestBracket", 1.0f, 0.0f, 0.05f, 0.01f},
                      RatioCase{"SlowerThanTheSlowest", 1.0f, 0.0f, 0.0125f, 0.0f},  // r = 0.005
                      RatioCase{"InTheFastestBracket", 1.0f, 0.0f, 5e6f, 100.0f}),
    [](const ::testing::TestParamInfo<RatioCase>& i) { return std::string(i.param.name); });

}  // namespace
