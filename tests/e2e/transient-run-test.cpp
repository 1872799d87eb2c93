// End-to-end transient runs of a room supplied by a fan that a step schedule runs from
// 8:00 to 18:00: the calendar of the listed times in the results database across midnight
// and the year end, the fan flow at every listing time, the progress lines, the control
// log of the schedule and of its integral over each listing step, and the FATAL ends of
// a start time off the listing grid and of a step that is not positive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "e2e-util.h"

namespace {

const char* const TIMES_LINE = "Jan01 0:00:00 Jan01 0:00:00 Jan02 24:00:00 0:10:00 1:00:00 6:00:00";

// One listed time of the results database with the flows of the fan (path 1) and of the
// relief opening (path 2).
struct Listed {
    int day, daytype, time;
    double fan, relief;
};

std::vector<Listed> listedTimes(const std::string& db)
{
    std::vector<Listed> rows;
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(h);
        return rows;
    }
    const char* sql = "SELECT t.dayofyear, t.daytype, t.Time, a.Flow0, b.Flow0 FROM TIME t "
                      "JOIN LINKPATHDATA a ON a.TimeID = t.TimeID AND a.PathNumber = 1 "
                      "JOIN LINKPATHDATA b ON b.TimeID = t.TimeID AND b.PathNumber = 2 "
                      "ORDER BY t.TimeID";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW)
            rows.push_back({sqlite3_column_int(st, 0), sqlite3_column_int(st, 1), sqlite3_column_int(st, 2),
                            sqlite3_column_double(st, 3), sqlite3_column_double(st, 4)});
    sqlite3_finalize(st);
    sqlite3_close(h);
    return rows;
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// The bytes allocated so far at a memory mark of the log ("Start", "End"); -1 without it.
long long allocatedAt(const std::string& log, const std::string& mark)
{
    size_t at = log.find("\n" + mark + ": ");
    return at == std::string::npos ? -1 : std::atoll(log.c_str() + at + mark.size() + 3);
}

class TransientRun : public E2eTest {
protected:
    // Writes the scheduled-fan project with its dates, times and steps line replaced.
    void writeProject(const std::string& timesLine, const std::string& controls = "", int logc = 0)
    {
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/scheduled-fan.prj");
        replace(prj, TIMES_LINE, timesLine);
        if (!controls.empty()) replace(prj, "0 ! controls\n", controls);
        if (logc) replace(prj, "\n0 0 0 0 0 0\n0 0 1 1 0\n", "\n0 0 0 0 0 1\n0 0 1 1 0\n");
        std::ofstream(dir + "fan.prj", std::ios::binary) << prj;
    }
    static void replace(std::string& text, const std::string& from, const std::string& to)
    {
        size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
    Outcome run() { return runEngine("fan.prj", "fan.prj"); }
};

// The schedule is evaluated for each step end t at t - 1 s: the step ending at 8:00 still
// has the fan off, the one ending at 18:00 still has it on. The listed fan flow is then
// 0.1 kg/s at 9:00 to 18:00 and 0 otherwise, and the opening carries the same flow out.
double fanFlowAt(int time) { return time > 28800 && time <= 64800 ? 0.1 : 0.0; }

TEST_F(TransientRun, ScheduledFanOverTwoDaysIsListedAtEveryListingTime)
{
    writeProject(TIMES_LINE);
    Outcome r = run();
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::vector<Listed> rows = listedTimes(dir + "fan.sqlite3");
    // Day 1 from 0:00 to 24:00, then 0:00 of day 2 written when the calendar rolls over,
    // and day 2 to 24:00: 25 listed times per day.
    ASSERT_EQ(rows.size(), 50u);
    for (size_t k = 0; k < rows.size(); k++) {
        const Listed& row = rows[k];
        int day = k < 25 ? 1 : 2;
        int time = (int)(k % 25) * 3600;
        EXPECT_EQ(row.day, day) << "row " << k;
        EXPECT_EQ(row.daytype, day) << "row " << k;   // day types cycle from the project's 1
        EXPECT_EQ(row.time, time) << "row " << k;
        EXPECT_NEAR(row.fan, fanFlowAt(time), 1e-7) << "row " << k;
        // Within the airflow convergence: relcnvg 1e-4 of the summed flow magnitudes.
        EXPECT_NEAR(row.relief, row.fan, 1e-4 * 2.0 * row.fan) << "row " << k;
    }
    const std::string screen = " DATE: Jan01   time: 18:00:00   day:   1   step: 108\n"
                               " DATE: Jan01   time: 24:00:00   day:   1   step: 144\n"
                               " DATE: Jan02   time: 06:00:00   day:   2   step: 180\n";
    EXPECT_NE(r.err.find(screen), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("step: 143"), std::string::npos);   // only at screen steps
    EXPECT_NE(r.log.find("\n     288 time steps\n"), std::string::npos);
    EXPECT_NE(r.log.find("Simulation completed successfully."), std::string::npos);
}

TEST_F(TransientRun, YearEndIsFollowedByTheFirstDayOfTheYear)
{
    writeProject("Jan01 0:00:00 Dec31 0:00:00 Jan01 24:00:00 1:00:00 6:00:00 6:00:00");
    Outcome r = run();
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::vector<Listed> rows = listedTimes(dir + "fan.sqlite3");
    ASSERT_EQ(rows.size(), 10u);
    const int days[10] = {365, 365, 365, 365, 365, 1, 1, 1, 1, 1};
    for (size_t k = 0; k < rows.size(); k++) {
        EXPECT_EQ(rows[k].day, days[k]) << "row " << k;
        EXPECT_EQ(rows[k].time, (int)(k % 5) * 21600) << "row " << k;
        EXPECT_EQ(rows[k].daytype, k < 5 ? 1 : 2) << "row " << k;
    }
    EXPECT_NE(r.err.find(" DATE: Jan01   time: 06:00:00   day:   2   step: 30\n"), std::string::npos) << r.err;
}

// A step of 7000 s does not divide the day: the 13th step ends at 91000 s, still on day 1,
// and the next day starts at 0 s.
TEST_F(TransientRun, StepThatDoesNotDivideTheDayEndsTheDayPastMidnight)
{
    writeProject("Jan01 0:00:00 Jan01 0:00:00 Jan02 24:00:00 1:56:40 1:56:40 1:56:40");
    Outcome r = run();
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::vector<Listed> rows = listedTimes(dir + "fan.sqlite3");
    ASSERT_EQ(rows.size(), 28u);
    for (size_t k = 0; k < rows.size(); k++) {
        EXPECT_EQ(rows[k].day, k < 14 ? 1 : 2) << "row " << k;
        EXPECT_EQ(rows[k].time, (int)(k % 14) * 7000) << "row " << k;
    }
    EXPECT_NE(r.log.find("\n      26 time steps\n"), std::string::npos);
    EXPECT_NE(r.err.find(" DATE: Jan01   time: 25:16:40   day:   1   step: 13\n"), std::string::npos) << r.err;
}

// The fan's schedule (node 1), its integral over the listing step (node 3), a log node of
// each (nodes 2 and 4) and an hourly running average of the schedule (node 5).
const char* const LOGGED_CONTROLS = "5 ! controls\n"
                                    "1 sch 1 0 0 0 0 fansched\nFan schedule\n1\n"
                                    "2 log 3 0 0 1 0 fanlog\nFan on\n0 1 0 FanOn -\n"
                                    "3 irs 2 0 0 1 0 onsecs\nSeconds on in the listing step\n0\n"
                                    "4 log 4 0 0 3 0 onlog\nFan-on seconds\n0 1 0 OnSeconds s\n"
                                    "5 rav 5 0 0 1 0 hourly\nHourly average\n1:00:00\n";

// A row is written when a step starts at a listing time, with the controls of that step:
// the schedule at its end (T + 600 s, sought at T + 599 s), so the fan shows on in the
// rows 8:00 to 17:00; and the integral over the six steps that started after the previous
// row, each 600 s of the schedule at its end, on for the steps starting 8:00 to 17:50: at
// 8:00 the step from 8:00 (600 s), at 18:00 those from 17:10 to 17:50 (3000 s). The normal end adds one evaluation and its
// row at 24:00:00 of the last day.
TEST_F(TransientRun, ControlLogHoldsTheLogNodesAtEveryListingTime)
{
    writeFile(dir + "fan.log", "left by an earlier run\n");
    writeProject(TIMES_LINE, LOGGED_CONTROLS, 1);
    Outcome r = run();
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::string log = slurp(dir + "fan.log");
    const std::string head = "!\t \t \tFanOn\tOnSeconds\n!Date\tTime\t[s]\t-\ts\n"
                             "1/1\t00:00:00\t0\t0.000000e+00\t0.000000e+00\n";
    EXPECT_EQ(log.substr(0, head.size()), head);
    const char* rows[] = {
        "\n1/1\t07:00:00\t25200\t0.000000e+00\t0.000000e+00\n",
        "\n1/1\t08:00:00\t28800\t1.000000e+00\t6.000000e+02\n",
        "\n1/1\t09:00:00\t32400\t1.000000e+00\t3.600000e+03\n",
        "\n1/1\t17:00:00\t61200\t1.000000e+00\t3.600000e+03\n",
        "\n1/1\t18:00:00\t64800\t0.000000e+00\t3.000000e+03\n",
        "\n1/2\t00:00:00\t0\t0.000000e+00\t0.000000e+00\n",
        "\n1/2\t08:00:00\t28800\t1.000000e+00\t6.000000e+02\n",
    };
    for (const char* row : rows) EXPECT_NE(log.find(row), std::string::npos) << row << log;
    const std::string close = "\n1/2\t24:00:00\t86400\t0.000000e+00\t0.000000e+00\n";
    EXPECT_EQ(log.substr(log.size() - close.size()), close);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2 + 24 + 24 + 1);
    // Nothing is allocated once the run has started: the running average's ring comes
    // with the first evaluation of the controls, before it, and the restart record's
    // buffer (SizeData bytes) with the restart file, before the first step.
    EXPECT_GT(allocatedAt(r.log, "Start"), 0);
    size_t size = r.log.find("  SizeData ");
    ASSERT_NE(size, std::string::npos) << r.log;
    EXPECT_EQ(allocatedAt(r.log, "End"), allocatedAt(r.log, "Start") + std::atoll(r.log.c_str() + size + 11))
        << r.log;
}

// Seven-minute steps do not divide the day: the last step ends at 24:02:00 (86520 s), and
// the closing row of the control log is written for that time instead of ending the run.
TEST_F(TransientRun, ControlLogClosesAStepThatEndsPastMidnight)
{
    writeProject("Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 0:07:00 0:07:00 6:00:00", LOGGED_CONTROLS, 1);
    Outcome r = run();
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = slurp(dir + "fan.log");
    const std::string close = "\n1/1\t24:02:00\t86520\t0.000000e+00\t0.000000e+00\n";
    ASSERT_GE(log.size(), close.size());
    EXPECT_EQ(log.substr(log.size() - close.size()), close) << log;
}

// Controls without a log node, or log nodes with the switch off: no control log, and the
// one an earlier run left is gone.
TEST_F(TransientRun, NoControlLogWithoutLogNodesOrWithoutTheSwitch)
{
    const std::string scheduleOnly = "1 ! controls\n1 sch 1 0 0 0 0 fansched\nFan schedule\n1\n";
    for (int logged = 0; logged < 2; logged++) {
        writeFile(dir + "fan.log", "left by an earlier run\n");
        writeProject(TIMES_LINE, logged ? LOGGED_CONTROLS : scheduleOnly, logged ? 0 : 1);
        Outcome r = run();
        ASSERT_EQ(r.status, 0) << r.err << r.log;
        EXPECT_FALSE(exists(dir + "fan.log")) << "log nodes " << logged;
    }
}

TEST_F(TransientRun, StartTimeOffTheListingGridEndsBeforeTheFirstStepAndLeavesNoResults)
{
    writeProject("Jan01 0:00:00 Jan01 0:25:00 Jan02 24:00:00 0:05:00 1:00:00 1:00:00");
    Outcome r = run();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Start time must be a multiple of the listing time step\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find(" DATE: Jan01   time: 00:30:00"), std::string::npos);
    EXPECT_FALSE(exists(dir + "fan.sim"));
    EXPECT_FALSE(exists(dir + "fan.sqlite3"));
}

struct BadStep {
    const char* name;
    const char* line;
    const char* message;
};
class NonPositiveStep : public TransientRun, public ::testing::WithParamInterface<BadStep> {};

TEST_P(NonPositiveStep, IsFatalBeforeTheRunStarts)
{
    writeProject(GetParam().line);
    Outcome r = run();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(std::string("FATAL ") + GetParam().message + "\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Running steady-state initialization"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(dir + "fan.sqlite3"));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, NonPositiveStep,
    ::testing::Values(BadStep{"TimeStep", "Jan01 0:00:00 Jan01 0:00:00 Jan02 24:00:00 0:00:00 1:00:00 1:00:00",
                              "Calculation time step must be greater than 0 s: 0 s: set time_step in Run Control above 0 "
                              "(e.g. 0:10:00)"},
                      BadStep{"ListingStep", "Jan01 0:00:00 Jan01 0:00:00 Jan02 24:00:00 0:10:00 0:00:00 1:00:00",
                              "Listing time step must be greater than 0 s: 0 s: set time_list in Run Control above 0 "
                              "(e.g. 1:00:00)"},
                      BadStep{"ScreenStep", "Jan01 0:00:00 Jan01 0:00:00 Jan02 24:00:00 0:10:00 1:00:00 0:00:00",
                              "Screen time step must be greater than 0 s: 0 s: set time_scrn in Run Control above 0 "
                              "(e.g. 1:00:00)"}),
    [](const ::testing::TestParamInfo<BadStep>& info) { return std::string(info.param.name); });

}  // namespace
