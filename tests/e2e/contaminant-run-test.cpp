// End-to-end contaminant runs of a room that a fan supplies with 0.05 kg/s of outdoor air
// (CO2 at 6.08e-4) and an opening relieves, with a constant CO2 release G = 1e-5 kg/s in
// the room. The steady run balances the room's CO2 against the flows in the results
// database; the transient run of ten-minute implicit steps rises along
// x1 = (M x0 + dt (F c + G)) / (M + F dt) and ends at the steady run's value; the cyclic
// run repeats the design day until its peak repeats and then reports that steady day. The
// short-time-step method takes the same steps, explicit in the inflow and implicit in the
// outflow, as long as the step is below twice the room's air mass over its flows. A release
// that takes the room past the float range ends a run that writes the SIM file.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

const double G = (double)1e-5f;   // the release as the engine reads it [kg/s]
const double DT = 600.0;          // time step [s]
const double VOLUME = 50.0;       // of the room [m3]

// One listed time: time of day, room and outdoor CO2, fan and relief flows, room density.
struct Row {
    int time;
    double room, outdoor, fan, relief, density;
};

std::vector<Row> listed(const std::string& db)
{
    const char* sql = "SELECT t.Time, c.C0, a.C0, f.Flow0, r.Flow0, z.Density FROM TIME t "
                      "JOIN NODEZONECCDATA c ON c.TimeID = t.TimeID "
                      "JOIN AMBIENTCONDITIONS a ON a.TimeID = t.TimeID "
                      "JOIN LINKPATHDATA f ON f.TimeID = t.TimeID AND f.PathNumber = 1 "
                      "JOIN LINKPATHDATA r ON r.TimeID = t.TimeID AND r.PathNumber = 2 "
                      "JOIN NODEZONEFLOWDATA z ON z.TimeID = t.TimeID ORDER BY t.TimeID";
    std::vector<Row> rows;
    for (const std::vector<double>& v : sqlRows(db, sql)) rows.push_back({(int)v[0], v[1], v[2], v[3], v[4], v[5]});
    return rows;
}

// The room's CO2 that balances the outdoor air brought in, the release and the air let out.
double balance(const Row& r) { return (r.fan * r.outdoor + G) / r.relief; }

class ContaminantRun : public E2eTest {
protected:
    // Runs the project with sim_mf set to simMf and the further edits, with or without its
    // SIM file; the listed rows of its database.
    std::vector<Row> run(int simMf, std::vector<Edit> more = {}, int status = 0, bool sim = true)
    {
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ventilated-co2.prj");
        more.push_back({"1 0 1e-4 1e-15 0 0", std::to_string(simMf) + " 0 1e-4 1e-15 0 0"});
        prj = edited(prj, more);
        const std::string switches = "0 Jan01 0:00:00\n0 0 1 1 1\n";
        size_t at = prj.find(switches);
        EXPECT_NE(at, std::string::npos);
        if (!sim && at != std::string::npos) prj.replace(at, switches.size(), "0 Jan01 0:00:00\n0 0 0 0 0\n");
        std::ofstream(dir + "room.prj") << prj;
        r = runEngine("room.prj", "room.prj");
        EXPECT_EQ(r.status, status) << r.err;
        return listed(dir + "room.sqlite3");
    }
    Outcome r;
};

TEST_F(ContaminantRun, SteadyRunBalancesTheRoomsCo2AgainstItsFlows)
{
    std::vector<Row> rows = run(1);
    ASSERT_EQ(rows.size(), 1u);
    const Row& s = rows[0];
    EXPECT_NEAR(s.outdoor, 6.08e-4, 1e-10);
    EXPECT_NEAR(s.room, balance(s), 1e-12 * s.room);
    EXPECT_NEAR(s.room, 8.08e-4, 1e-6);
    EXPECT_NE(r.log.find("\nTrace Species Mass Transfer Equations:\n\nSet up Mf matrix:\n"
                         "   0 boundary layer sink nodes\n   0 deposition/resuspension nodes\n"
                         "   1 variable Mf zone nodes\n   0 variable Mf jctn nodes\n"
                         "   1 constant Mf zone nodes\n   1 contaminants\n"
                         "  Number of equations: 2\n    Non-zero elements: 4\n"),
              std::string::npos)
        << r.log;
    EXPECT_NE(r.log.find("Solve simultaneous linear equations by non-symmetric SKYline method.\n"),
              std::string::npos);
    EXPECT_TRUE(exists(dir + "room.sim"));
}

TEST_F(ContaminantRun, TransientRunRisesImplicitlyToTheSteadyRunsValue)
{
    double steady = run(1).at(0).room;
    std::vector<Row> rows = run(2);
    ASSERT_EQ(rows.size(), 25u);   // 0:00 and every hour to 24:00
    EXPECT_NEAR(rows[0].room, 6.08e-4, 1e-10);   // the initial value, not solved at the start
    double x = rows[0].room;
    const Row& h1 = rows[1];
    double M = h1.density * VOLUME;
    for (int k = 0; k < 6; k++) x = (M * x + DT * (h1.fan * h1.outdoor + G)) / (M + h1.relief * DT);
    EXPECT_EQ(h1.time, 3600);
    EXPECT_NEAR(h1.room, x, 1e-6 * x);
    EXPECT_NEAR(rows.back().room, steady, 1e-12 * steady);
    EXPECT_NE(r.log.find("     144 calls to solve_Mft()\n"), std::string::npos) << r.log;
}

// Day 1 rises from the initial value, day 2 repeats its peak (the first comparison is with
// zero), and the reported third day stays at the steady value throughout.
TEST_F(ContaminantRun, CyclicRunReportsTheDayAfterItsPeakRepeats)
{
    double steady = run(1).at(0).room;
    std::vector<Row> rows = run(3);
    ASSERT_EQ(rows.size(), 25u);
    for (const Row& row : rows) EXPECT_NEAR(row.room, steady, 1e-12 * steady) << row.time;
    EXPECT_NE(r.log.find("     432 time steps\n"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("     432 calls to solve_Mft()\n"), std::string::npos);
}

const Edit STS = {"0 0 0 0.1 0 0", "1 0 0 0.1 0 0"};   // mf_solver 1

// A release of 1e38 kg/s (about the largest its single-precision field holds) takes the
// room's CO2 past the float range at the first step, to x1 = (M x0 + dt (F c + G)) /
// (M + F dt) = 6.7e38. In the SIM file it would be infinite: the run ends at its first
// listing with the FATAL for non-finite results and leaves no result file. The database
// holds doubles: without the SIM file the run lists the values as they are.
TEST_F(ContaminantRun, ReleaseBeyondTheFloatRangeNeverReachesTheSimFile)
{
    const Edit huge = {"1e-5 0 0 0", "1e38 0 0 0"};
    run(2, {huge}, 2);
    EXPECT_NE(r.err.find("FATAL Results are not finite and are not written: mass fraction of node 1z\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(exists(dir + "room.sim"));
    EXPECT_FALSE(exists(dir + "room.sqlite3"));

    std::vector<Row> rows = run(2, {huge}, 0, false);
    EXPECT_FALSE(exists(dir + "room.sim"));
    ASSERT_EQ(rows.size(), 25u);
    const Row& h1 = rows[1];
    const double g = (double)1e38f, M = h1.density * VOLUME;
    double x = rows[0].room;
    for (int k = 0; k < 6; k++) x = (M * x + DT * (h1.fan * h1.outdoor + g)) / (M + h1.relief * DT);
    EXPECT_GT(x, 1e39);
    EXPECT_NEAR(h1.room, x, 1e-6 * x);
}

TEST_F(ContaminantRun, ShortTimeStepRunTakesTheExplicitInImplicitOutSteps)
{
    std::vector<Row> rows = run(2, {STS});
    ASSERT_EQ(rows.size(), 25u);
    const Row& h1 = rows[1];
    double M = h1.density * VOLUME;
    double x = rows[0].room;
    for (int k = 0; k < 6; k++) x = (M * x + DT * (h1.fan * h1.outdoor + G)) / (M + h1.relief * DT);
    EXPECT_NEAR(h1.room, x, 1e-6 * x);
    EXPECT_NEAR(rows.back().room, balance(rows.back()), 1e-6 * rows.back().room);
    EXPECT_NE(r.log.find("\nSet up structures for STS simulation.\nTotal Zones:        2\n"
                         "Paths:              2\nSTS initialization complete.\n"),
              std::string::npos)
        << r.log;
    EXPECT_NE(r.log.find("     144 calls to solve_STS()\n"), std::string::npos);
    // The stable limit 2M / (flow in + flow out) = 2 x 60.2 kg / 0.1 kg/s.
    size_t at = r.log.find(" s - maximum stable time step");
    ASSERT_NE(at, std::string::npos);
    double limit = std::atof(r.log.substr(at - 8, 8).c_str());
    EXPECT_NEAR(limit, 2 * M / (h1.fan + h1.relief), 0.05 + 1e-4 * limit);
}

// Steady airflow with steady contaminants has no time steps for the short-time-step method
// or the stiff integrator: the run stops before any result file instead of reporting the
// initial CO2 as the steady state.
TEST_F(ContaminantRun, SteadyRunWithATimeSteppingSolverStops)
{
    for (const char* solver : {"STS", "CVODE"}) {
        const char* mfSolver = solver[0] == 'S' ? "1" : "2";
        run(1, {{"0 0 0 0.1 0 0", std::string(mfSolver) + " 0 0 0.1 0 0"}}, 2);
        EXPECT_NE(r.err.find(std::string("ERROR ") + solver + " requires transient calculations\n"
                             "NOTE Set mf_solver to 0 on Run Control for steady contaminants, or sim_mf to 2\n"
                             "FATAL Please try another transport solver\n"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(exists(dir + "room.sim"));
        EXPECT_FALSE(exists(dir + "room.sqlite3"));
    }
}

// A 1 m3 room holds 1.2 kg of air: 2M/S = 24.08 s, far below the ten-minute step.
TEST_F(ContaminantRun, ShortTimeStepAboveTheStableLimitStopsTheRun)
{
    run(2, {STS, {"1 3 0 0 0 1 0 50 293.15", "1 3 0 0 0 1 0 1 293.15 0 Room 0 0 0 0 0 0 0 0"}}, 2);
    EXPECT_NE(r.log.find("\n Zone 1 (1.000 m^3) requires a time step < 24.08 s for stability\nFATAL"),
              std::string::npos)
        << r.log;
    EXPECT_NE(r.err.find("WARNING Zone 1 (1.000 m^3) requires a time step < 24.08 s for stability\n"
                         "FATAL Revise time step (or volume) to permit stable solution"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(exists(dir + "room.sim"));
}

// The room as a one-dimensional zone, 10 m long: in one cell it is the well-mixed room; in
// ten 1 m cells (fan and opening at its first end) the run works through the same set-up
// and step, and ends balanced.
TEST_F(ContaminantRun, OneDimensionalRoomOfOneCellRunsAsTheWellMixedRoom)
{
    std::vector<Row> mixed = run(2, {STS});
    const Edit cd1 = {"0 0 0 0.1 0 0", "1 1 0 0.1 0 0"};   // mf_solver 1, 1-D zones on
    auto room = [](const char* dx) {
        return Edit{"1 3 0 0 0 1 0 50 293.15", std::string("1 3 0 0 0 1 0 50 293.15 0 Room 0 0 0 0 0 1 0 0 0 0 0 0 10 0 0 ") + dx + " 0.1 0 0"};
    };
    std::vector<Row> one = run(2, {cd1, room("10")});
    ASSERT_EQ(one.size(), mixed.size());
    for (size_t i = 0; i < one.size(); i++) EXPECT_NEAR(one[i].room, mixed[i].room, 1e-6 * mixed[i].room) << i;
    // One cell adds none to the zone count: the set-up lists no 1-D zones, the step is theirs.
    EXPECT_EQ(r.log.find("1D CD Zones:"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("     144 calls to CDZsim()\n"), std::string::npos);

    std::vector<Row> ten = run(2, {cd1, room("1")});
    ASSERT_EQ(ten.size(), 25u);
    EXPECT_NE(r.log.find("1D CD Zones:        1\nZone cells:        10\n"), std::string::npos);
    EXPECT_NE(r.log.find("     144 calls to CDZsim()\n"), std::string::npos);
    EXPECT_NEAR(ten.back().room, balance(ten.back()), 1e-3 * ten.back().room);
}

}  // namespace
