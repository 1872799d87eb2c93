// End to end: odd but legal run settings on the real vexlar-x with fans.prj, whose
// supply share is 0.2 at 0:00 in its continuous values file. A steady run needs neither
// a listing step nor a time step: the listing-step integral and average work without
// them. A transient run whose start lies 30 s past the hour ends its last step past
// 24:00:00 and still writes every end-of-run line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

const std::string PRJ_DIR = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/";
const char* const CLOCK_LINE = "Jan01 0:00:00 Jan01 0:00:00 Jan01 6:00:00 0:30:00 0:30:00 6:00:00";

class ListingStepRun : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        for (const char* f : {"fans.prj", "fans.cvf", "fans.dvf"}) copyInto(dir, PRJ_DIR + f);
    }
    void project(const std::vector<Edit>& edits)
    {
        std::string text = edited(slurp(dir + "fans.prj"), edits);
        std::ofstream(dir + "fans.prj") << text;
    }
};

// The last field of the closing row of the supply column of the control log.
double closingSupply(const std::string& log)
{
    std::istringstream in(log);
    std::string last;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '!') last = line;
    std::vector<std::string> f;
    std::istringstream l(last);
    for (std::string w; std::getline(l, w, '\t');) f.push_back(w);
    return num(f, 3);
}

struct SteadyCase {
    const char* label;
    const char* type;   // irs or ars
    const char* steps;  // time step and listing step
    int fan_control;    // the control node that scales the supply fan
    double logged;      // the node's output in the control log
    double supply;      // the supply fan's flow [kg/s]
};

void PrintTo(const SteadyCase& c, std::ostream* os) { *os << c.label; }

class SteadyListingNode : public ListingStepRun, public ::testing::WithParamInterface<SteadyCase> {};

TEST_P(SteadyListingNode, WorksWithoutAListingStepOrATimeStep)
{
    const SteadyCase& c = GetParam();
    std::string node = std::string("5 ") + c.type + " 5 0 0 1 0 listnode\nOver the listing step\n0";
    project({{"1 1 30 1e-4 1e-5 0.75 0 50 0", "0 1 30 1e-4 1e-5 0.75 0 50 0"},   // steady airflow
             {CLOCK_LINE, std::string("Jan01 0:00:00 Jan01 0:00:00 Jan01 6:00:00 ") + c.steps + " 6:00:00"},
             {"4 ! controls", "5 ! controls"},
             {"3 log 3 0 0 1 0 supplylog", "3 log 3 0 0 5 0 supplylog"},
             {"0 1 0 boost_share -", "0 1 0 boost_share -\n" + node},
             {"1 0 -1 1 2 0 0 0 0 1 ", "1 0 -1 1 2 0 0 0 0 " + std::to_string(c.fan_control) +
                                           " 1 0 0 1.5 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0"}});
    Outcome r = runEngine("fans.prj", "fans.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    EXPECT_NE(r.log.find("Simulation completed successfully."), std::string::npos);
    EXPECT_NEAR(closingSupply(slurp(dir + "fans.log")), c.logged, 1e-6 * c.logged) << slurp(dir + "fans.log");
    auto flows = sqlRows(dir + "fans.sqlite3", "SELECT PathNumber, Flow0 FROM LINKPATHDATA ORDER BY PathNumber");
    ASSERT_EQ(flows.size(), 3u);
    EXPECT_NEAR(flows[0][1], c.supply, 1e-7);
    EXPECT_NEAR(flows[2][1], c.supply, 1e-4 * c.supply);   // the boost fan is off at 0:00
}

INSTANTIATE_TEST_SUITE_P(
    ListingStepRun, SteadyListingNode,
    ::testing::Values(
        // A steady run passes no time, whatever its time step: the integral of 0.2 is 0;
        // a listing step of 0 lists every evaluation, so each starts a new integral.
        SteadyCase{"IntegralWithoutListingStep", "irs", "0:30:00 0:00:00", 1, 0.0, 0.02},
        // Over no time the average is its input, and the fan it drives runs at 0.2.
        SteadyCase{"AverageOverZeroTimeStep", "ars", "0:00:00 0:30:00", 5, 0.2, 0.02},
        SteadyCase{"AverageWithNeitherStep", "ars", "0:00:00 0:00:00", 5, 0.2, 0.02}),
    [](const ::testing::TestParamInfo<SteadyCase>& i) { return std::string(i.param.label); });

TEST_F(ListingStepRun, StartThirtySecondsPastTheHourWritesEveryEndOfRunLine)
{
    // The supply share rises all day, so the highest air change rate is that of the last
    // step, which ends at 24:00:30: 0.1 kg/s from each fan (the boost at 0.5), in and out.
    std::ofstream(dir + "fans.cvf") << "ContinuousValuesFile VexlarW 2.1\nd\n1/1 1/1\n1\nsupply\n"
                                       "1/1 00:00:00 0.2\n1/1 24:00:00 1.0\n";
    project({{CLOCK_LINE, "Jan01 0:00:00 Jan01 0:00:30 Jan01 24:00:00 0:10:00 1:00:00 6:00:00"}});
    Outcome r = runEngine("fans.prj", "fans.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    EXPECT_EQ(r.err.find("invalid time"), std::string::npos) << r.err;
    EXPECT_NE(r.log.find("Simulation completed successfully."), std::string::npos);
    EXPECT_NE(r.log.find(" ACH in zone 1 at 24:00:30 on Jan01\n"), std::string::npos) << r.log;
    EXPECT_TRUE(exists(dir + "fans.sqlite3"));
    EXPECT_TRUE(exists(dir + "fans.sim"));
}

}  // namespace
