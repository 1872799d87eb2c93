// End-to-end duct balancing (run mode 2) by the vexlar-x executable. One project, a
// supply fan feeding two terminals of an office, balances to its design flows; small
// edits of it make each other ending (no terminal to balance, a flow against its design
// direction, a walk that meets another terminal before a fan, a fan serving supply and
// return terminals, too few iterations, a terminal without design flow). Each test checks
// the ".bal" report, the log and the exit status, and works in a temporary directory.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "e2e-util.h"

namespace {

const std::string kProject = VEXLAR_SOURCE_DIR "/tests/e2e/balance/two-terminals.prj";

// Design flows [kg/s], terminal size and loss coefficients of the project.
constexpr double F3 = 0.06, F4 = 0.04, AREA = 0.02, C1 = 1.0, C2 = 1.0, DUCT = 0.05;

const char* const kReportHead =
    "!fan\tduct #\tflow \\[kg/s\\]\tPrise \\[Pa\\]\tRPMratio\n!trm\tjctn #\trel-flow \\[-\\]\tCb \\[-\\]\n";

// A balancing run with its ".bal" report.
struct BalanceOutcome : Outcome {
    std::string bal;
};

class BalanceRun : public E2eTest {
protected:
    // Writes the project with its edits into the test's directory and balances it.
    BalanceOutcome run(const std::vector<Edit>& edits, const std::string& source = kProject)
    {
        std::ofstream(dir + "bal.prj") << edited(slurp(source), edits);
        return {runEngine("bal.prj", "bal.prj"), slurp(dir + "bal.bal")};
    }
};

// The junction line of terminal 3 or 4 with its design flow and balancing switch.
std::string terminal(int number, const char* design, int balance)
{
    return std::to_string(number) + " 0 1 1 0 0 0 0 1 " + std::to_string(number - 1) +
           " 0 2.5 293.15 0 0 0 0 0 0 0 0 0 0 0 0 1 0 " + std::to_string(balance) + " " + design +
           " 0.02 0.16 1.0 1.0 0 0 0 0 0";
}
const Edit kConstantFlowFan{"1 0 1 2 2 ", "1 0 1 2 3 0 0 0 0 1.0 0 0 0 0 0 0 0"};

void expectLogEnd(const Outcome& o)
{
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.log.find("Duct balancing function called\n"), std::string::npos);
    EXPECT_NE(o.log.find("End Duct Balance Initialization\n"), std::string::npos);
    ASSERT_GE(o.log.size(), 35u);
    EXPECT_EQ(o.log.substr(o.log.size() - 35), "Simulation completed successfully.\n");
}

// Fan laws: the speed ratio r at which the curve P(f) = 300 - 300 f - 1000 f^3 delivers
// mass flow K against rise L at density ratio J, P(r) = J r^2 P(K / (J r)), by bisection.
double speedRatio(double J, double K, double L)
{
    auto rise = [&](double r) {
        double f = K / (J * r);
        return J * r * r * (300.0 - 300.0 * f - 1000.0 * f * f * f);
    };
    double lo = 0.01, hi = 10.0;
    for (int k = 0; k < 200; k++) {
        double m = 0.5 * (lo + hi);
        (rise(m) < L ? lo : hi) = m;
    }
    return 0.5 * (lo + hi);
}

// Both branches start alike, so terminal 4 (the smaller design flow) is throttled and
// terminal 3 keeps its coefficient C2. Equal pressure drops from the plenum to the office:
// F3^2 (1/D^2 + K3/(2A^2)) = F4^2 (1/D^2 + K4/(2A^2)), K3 = C1 + C2, Cb4 = K4 - C1 = 3.9.
TEST_F(BalanceRun, BalancesTwoSupplyTerminalsToTheirDesignFlows)
{
    BalanceOutcome o = run({});
    expectLogEnd(o);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(o.bal, m,
                                 std::regex(std::string("0 ! Flow balance iterations converged\n") + kReportHead +
                                            "fan\t1\t(\\S+)\t(\\S+)\t(\\S+)\n"
                                            "trm\t3\t(\\S+)\t(\\S+)\ntrm\t4\t(\\S+)\t(\\S+)\nend\n")))
        << o.bal;
    const double tol = 10 * 1e-5;
    double K = std::stod(m[1]), L = std::stod(m[2]);
    EXPECT_NEAR(K, F3 + F4, 1e-6);
    EXPECT_NEAR(std::stod(m[4]), 1.0, tol);
    EXPECT_NEAR(std::stod(m[5]), C2, 1e-5);
    EXPECT_NEAR(std::stod(m[6]), 1.0, tol);
    double duct = 1.0 / (DUCT * DUCT), a2 = 2 * AREA * AREA;
    double cb4 = a2 * ((F3 / F4) * (F3 / F4) * (duct + (C1 + C2) / a2) - duct) - C1;
    EXPECT_NEAR(std::stod(m[7]), cb4, 2e-3 * cb4);
    double J = 101325.0 / (287.055 * 293.15) / 1.2041;
    EXPECT_NEAR(std::stod(m[3]), speedRatio(J, K, L), 2e-5);

    EXPECT_NE(o.log.find("Iteration 1:\n Fan system 2 (2 terminals):\n  Relative Flows:\n   "), std::string::npos);
    EXPECT_NE(o.log.find("NOTE  (file balance"), std::string::npos);
    EXPECT_NE(o.err.find("Duct balancing complete"), std::string::npos);
}

// A run that ends before any balancing iteration: the edits that make it, its whole
// report and its message.
struct EndingCase {
    const char* name;
    std::vector<Edit> edits;
    const char* report;
    const char* message;
};

class EarlyEnding : public BalanceRun, public ::testing::WithParamInterface<EndingCase> {};

TEST_P(EarlyEnding, WritesItsStatusRowsAndMessage)
{
    BalanceOutcome o = run(GetParam().edits);
    expectLogEnd(o);
    EXPECT_EQ(o.bal, GetParam().report);
    EXPECT_NE(o.err.find(GetParam().message), std::string::npos) << o.err;
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, EarlyEnding,
    ::testing::Values(
        EndingCase{"NothingToBalance",
                   {{"3 0 1 1 ", terminal(3, "0.06", 0)}, {"4 0 1 1 ", terminal(4, "0.04", 0)}},
                   "2 ! There are no terminals to balance\n!\nend\n",
                   "WARNING There are no terminals to balance"},
        // A constant-flow fan splits 0.1 kg/s evenly between the like branches; terminal
        // 4, designed as a return terminal, receives 0.05 kg/s of supply.
        EndingCase{"FlowAgainstTheDesignDirection",
                   {kConstantFlowFan, {"4 0 1 1 ", terminal(4, "-0.04", 1)}},
                   "3 ! Invalid flow direction(s)\n!trm\tjct #\tFcalc\tFdes\ntrm\t4\t5.0000e-02\t-4.0000e-02\nend\n",
                   "ERROR Invalid flow direction(s)"},
        // Without a duct fan (the fan segment is a plain duct) an exhaust fan draws the air
        // through the ducts; both walks reach the intake terminal 1 instead of a fan.
        EndingCase{"WalkMeetsAnotherTerminal",
                   {{"1 0 1 2 2 ", "1 0 1 2 1 0 0 0 0 1.0 0 0 0 0 0 0 0"},
                    {"1 0 1 -1 1 ", "1 0 1 -1 2 0 0 0 0 0 1 5 0 1.5 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0"}},
                   "4 ! Failed to terminate link(s) at a fan\n!trm\tjct #\tdir +/-\tjct #\n"
                   "trm\t4\t1\t1\ntrm\t3\t1\t1\nend\n",
                   "ERROR Failed to terminate link(s) at a fan"},
        // The outdoor-air intake 1 is balanced too: with a negative design flow it is a
        // return terminal, and its walk leaves through the fan at once.
        EndingCase{"FanServesSupplyAndReturn",
                   {{"1 0 1 -1 0 ", "1 0 1 -1 0 0 0 0 1 0 0 2.5 293.15 0 0 0 0 0 0 0 0 0 0 0 0 1 0 1 -0.1 0.1 0.35 "
                                    "1.0 0 0 0 0 0 0"}},
                   "5 ! Fan system includes supply and return terminals\n!fan path #\ttrm jct #\n"
                   "fan\t1\ntrm\t4\ntrm\t3\ntrm\t1\nend\n",
                   "ERROR Fan system includes supply and return terminals"}),
    [](const ::testing::TestParamInfo<EndingCase>& i) { return std::string(i.param.name); });

// With itmax 1 (which also limits each airflow solution) two iterations are made.
TEST_F(BalanceRun, GivesUpAfterTwiceTheIterationLimit)
{
    BalanceOutcome o = run({{"2 1 30 1e-5 ", "2 1 1 1e-5 1e-9 0.75 0 50 0"}});
    expectLogEnd(o);
    EXPECT_TRUE(std::regex_match(o.bal, std::regex(std::string("1 ! Flow balance iterations did not converge\n") +
                                                   kReportHead + "fan\t1(\t\\S+){3}\n(trm(\t\\S+){3}\n){2}end\n")))
        << o.bal;
    EXPECT_NE(o.err.find("WARNING Duct balance failed to converge in 2 iterations"), std::string::npos) << o.err;
    EXPECT_NE(o.log.find("Iteration 2:\n"), std::string::npos);
    EXPECT_EQ(o.log.find("Iteration 3:\n"), std::string::npos);
}

// A balanced terminal without a design flow is reported and left out; the other one is
// balanced alone.
TEST_F(BalanceRun, TerminalWithoutDesignFlowIsLeftOut)
{
    BalanceOutcome o = run({{"4 0 1 1 ", terminal(4, "0", 1)}});
    expectLogEnd(o);
    EXPECT_NE(o.err.find("ERROR Zero design flow for terminal 4"), std::string::npos) << o.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(o.bal, m,
                                 std::regex(std::string("0 ! Flow balance iterations converged\n") + kReportHead +
                                            "fan\t1\t\\S+\t\\S+\t\\S+\ntrm\t3\t(\\S+)\t\\S+\nend\n")))
        << o.bal;
    EXPECT_NEAR(std::stod(m[1]), 1.0, 1e-4);
}

// The balanced state is the run's single result time: the SIM file is written, and the
// database holds the terminals' design flows (the intake passes their sum).
TEST_F(BalanceRun, ResultTimeHoldsTheBalancedFlows)
{
    BalanceOutcome o = run({{"0 0 0 0 0   ! cex", "0 0 1 0 0"}});
    expectLogEnd(o);
    EXPECT_GT(slurp(dir + "bal.sim").size(), 0u);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2((dir + "bal.sqlite3").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT i.DuctNumber, d.Flow0 FROM LINKDUCTDATA d JOIN LINKDUCTINFO i "
                       "ON d.DuctLinkNumber = i.DuctLinkNumber WHERE i.Type = 2 ORDER BY i.DuctNumber",
                       -1, &st, nullptr);
    const double design[] = {-(F3 + F4), 0.0, F3, F4};
    int rows = 0;
    for (; sqlite3_step(st) == SQLITE_ROW; rows++) {
        int number = sqlite3_column_int(st, 0);
        ASSERT_TRUE(number >= 1 && number <= 4 && number != 2) << number;
        EXPECT_NEAR(sqlite3_column_double(st, 1), design[number - 1], 1e-4 * (F3 + F4)) << number;
    }
    EXPECT_EQ(rows, 3);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

// A constant-flow duct fan has no curve, so its row has no speed ratio.
TEST_F(BalanceRun, ConstantFlowFanHasNoSpeedRatio)
{
    BalanceOutcome o = run({kConstantFlowFan});
    expectLogEnd(o);
    EXPECT_TRUE(std::regex_match(o.bal, std::regex(std::string("0 ! Flow balance iterations converged\n") + kReportHead +
                                                   "fan\t1\t\\S+\t\\S+\n(trm(\t\\S+){3}\n){2}end\n")))
        << o.bal;
}

TEST_F(BalanceRun, ExampleProjectBalances)
{
    BalanceOutcome o = run({}, VEXLAR_SOURCE_DIR "/examples/balance.prj");
    expectLogEnd(o);
    EXPECT_EQ(o.bal.rfind("0 ! Flow balance iterations converged\n", 0), 0u) << o.bal;
    EXPECT_NE(o.err.find("Duct balancing complete"), std::string::npos);
}

// A report the disk refuses is an ERROR naming it; the run ends with a FATAL and the
// report (here the link to the full device) is removed with the other result files.
TEST_F(BalanceRun, ReportTheDiskRefusesEndsTheRunWithTwo)
{
    ASSERT_EQ(symlink("/dev/full", (dir + "bal.bal").c_str()), 0);
    BalanceOutcome o = run({}, VEXLAR_SOURCE_DIR "/examples/balance.prj");
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("ERROR Could not write result file bal.bal: No space left on device\n"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("FATAL Results of this run could not be written in full\n"), std::string::npos);
    EXPECT_EQ(o.log.find("Simulation completed successfully."), std::string::npos);
    struct stat st;
    EXPECT_NE(lstat((dir + "bal.bal").c_str(), &st), 0);
}

}  // namespace
