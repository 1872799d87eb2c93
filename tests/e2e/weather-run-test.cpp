// End to end: two days of a weather file drive the stack flow through two rooms, one above
// the other, open to the outside low in the lower room and high in the upper one. The
// flows listed every hour are checked against the flow worked out by hand from the
// outdoor temperature interpolated between the file's records; the day types come from
// the file's day table, a step spanning two records is warned about, and once the file
// ends the last outdoor temperature is held after the NOTE.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "e2e-util.h"

namespace {

struct Row {
    int day, daytype, time;
    double flow[3];   // paths 1 (in, low), 2 (between the rooms) and 3 (out, high) [kg/s]
};

std::vector<Row> listed(const std::string& db)
{
    std::vector<Row> rows;
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const char* sql = "SELECT t.dayofyear, t.daytype, t.Time, a.Flow0, b.Flow0, c.Flow0 FROM TIME t "
                          "JOIN LINKPATHDATA a ON a.TimeID = t.TimeID AND a.PathNumber = 1 "
                          "JOIN LINKPATHDATA b ON b.TimeID = t.TimeID AND b.PathNumber = 2 "
                          "JOIN LINKPATHDATA c ON c.TimeID = t.TimeID AND c.PathNumber = 3 ORDER BY t.TimeID";
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW)
                rows.push_back({sqlite3_column_int(st, 0), sqlite3_column_int(st, 1), sqlite3_column_int(st, 2),
                                {sqlite3_column_double(st, 3), sqlite3_column_double(st, 4),
                                 sqlite3_column_double(st, 5)}});
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return rows;
}

// The weather file's records as (hours from 1/1 0:00, outdoor temperature [K]); held after
// the last.
const double RECORDS[][2] = {{0, 263.15},  {6, 273.15},    {12, 283.15}, {18, 273.15}, {24, 263.15},
                             {30, 253.15}, {30.5, 243.15}, {31, 253.15}, {36, 258.15}, {42, 268.15}};

double outdoorTemperature(double hours)
{
    const int n = sizeof RECORDS / sizeof RECORDS[0];
    for (int k = 1; k < n; k++)
        if (hours <= RECORDS[k][0])
            return RECORDS[k - 1][1] + (RECORDS[k][1] - RECORDS[k - 1][1]) * (hours - RECORDS[k - 1][0]) /
                                           (RECORDS[k][0] - RECORDS[k - 1][0]);
    return RECORDS[n - 1][1];
}

// Rooms at 293.15 K; openings at 0.5 m (in) and 5.5 m (out), so the stack pressure around
// the loop is g x 5 m x (rho_out - rho_in). The three openings are equal power laws
// m = C sqrt(rho_upstream dp) with C = 0.03, in series: the pressure drops sum to the stack
// pressure, m^2/C^2 x (1/rho_out + 2/rho_in) = g x 5 x (rho_out - rho_in).
double stackFlow(double outdoor)
{
    const double pbar = 101325.0, r = 287.055, g = 9.8055, c = 0.03;
    double rhoOut = pbar / (r * outdoor), rhoIn = pbar / (r * 293.15);
    return c * std::sqrt(g * 5.0 * (rhoOut - rhoIn) / (1.0 / rhoOut + 2.0 / rhoIn));
}

const std::string PRJ_DIR = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/";

// Run from the project's own folder and from the one above it: the weather file the
// project names is looked for beside the project, where its results go too.
class WeatherRun : public E2eTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(WeatherRun, StackFlowFollowsTheInterpolatedOutdoorTemperatureOverTwoDays)
{
    const std::string sub = GetParam();
    std::filesystem::create_directories(dir + sub);
    for (const char* f : {"stack.prj", "stack.wth"}) copyInto(dir + sub, PRJ_DIR + f);
    Outcome r = runEngine(sub + "stack", sub + "stack.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::vector<Row> rows = listed(dir + sub + "stack.sqlite3");
    ASSERT_EQ(rows.size(), 50u);   // 0:00 to 24:00 of each day
    for (size_t k = 0; k < rows.size(); k++) {
        const Row& row = rows[k];
        int day = k < 25 ? 1 : 2;
        EXPECT_EQ(row.day, day) << "row " << k;
        EXPECT_EQ(row.daytype, day == 1 ? 5 : 6) << "row " << k;   // from the file's day table
        double hours = (day - 1) * 24 + row.time / 3600.0;
        double expected = stackFlow(outdoorTemperature(hours));
        // The airflow solution converges to 1e-4 of the flows.
        for (double flow : row.flow) EXPECT_NEAR(flow, expected, 1e-4 * expected) << "row " << k;
    }
    EXPECT_NE(r.log.find("\n Timestep ending 1/2, 07:00:00 spans multiple entries in WTH file\n"), std::string::npos)
        << r.log;
    EXPECT_EQ(r.log.find("spans multiple entries", r.log.find("spans multiple entries") + 1), std::string::npos);
    EXPECT_NE(r.log.find("NOTE  (file timed-records"), std::string::npos);
    EXPECT_NE(r.log.find("\n End of WTH file before end of simulation\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(WeatherRun, WeatherRun, ::testing::Values("", "A/"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             return std::string(i.param[0] ? "FromAnotherFolder" : "FromItsOwnFolder");
                         });

// A weather file in the folder the engine runs in is not the one beside the project: the
// message names the kind of file and the path tried, and the run ends with status 1.
class WeatherLookup : public E2eTest {};

TEST_F(WeatherLookup, WeatherFileMissingBesideTheProjectIsNamedWithThePathTried)
{
    std::filesystem::create_directory(dir + "A");
    copyInto(dir + "A/", PRJ_DIR + "stack.prj");
    copyInto(dir, PRJ_DIR + "stack.wth");
    Outcome r = runEngine("A/stack", "A/stack.prj");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR Could not open weather file A/stack.wth: No such file or directory\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.log.find("Simulation completed successfully."), std::string::npos);
    // A failed run, not a stop: the log ends with the finish line alone.
    EXPECT_EQ(r.err.find("stopped"), std::string::npos) << r.err;
    const std::string end = "A/stack.wth: No such file or directory\nVexlarX finish(1)\n";
    EXPECT_EQ(r.log.substr(r.log.size() - end.size()), end);
}

}  // namespace
