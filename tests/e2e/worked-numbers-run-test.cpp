// End to end: numbers a user reads from a run's results, each worked out here by hand from
// small projects: a burst's release times its multiplier, deposition at the sink's own rate
// whatever its schedule, an occupant's emission times the occupant factor, a scheduled
// ramp under the stiff integrator, a wind pressure from an asymmetric profile, a PI
// controller at and off its limits, the outdoor humidity from a weather file, and the
// exposure file's period of a run stopped on request.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"
#include "tests/param-names.h"

namespace {

using Rows = std::vector<std::vector<double>>;

const double VOLUME = 50.0;                       // the rooms of both projects [m3]
const double R_AIR = 8314.41 / 28.9645;           // gas constant of dry air [J/kg K]
const double RHO_ROOM = 101325.0 / (R_AIR * 293.15);

// One day schedule (shape 0 steps, 1 linear) of the given points, used on every day type.
std::vector<Edit> schedule(int shape, const std::vector<std::string>& points)
{
    std::string day = "1 ! day schedules\n1 " + std::to_string(points.size()) + " " + std::to_string(shape) +
                      " 0 0 day\nDay";
    for (const std::string& p : points) day += "\n" + p;
    return {{"0 ! day schedules", day},
            {"0 ! week schedules", "1 ! week schedules\n1 0 0 week\nWeek\n1 1 1 1 1 1 1 1 1 1 1 1"}};
}

// decaying-source.prj, a closed room of 50 m3 at 293.15 K with one source of CO2, run from
// `start` to `end` by steps of `step`, listed every `list`, by the transport `solver`
// (0 implicit, 1 short time step, 2 stiff integrator), with the source's element, its data,
// its instance line and further pieces replaced.
std::string closedRoom(int solver, const std::string& start, const std::string& end, const std::string& step,
                       const std::string& list, std::vector<Edit> more)
{
    more.push_back({"Jan01 0:00:00 Jan01 0:00:00 Jan01 6:00:00 0:10:00 1:00:00 6:00:00",
                    "Jan01 0:00:00 Jan01 " + start + " Jan01 " + end + " " + step + " " + list + " 6:00:00"});
    more.push_back({"\n2 0 0 0.1 0 0\n", "\n" + std::to_string(solver) + " 0 0 0.1 0 0\n"});
    return replaced(slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/decaying-source.prj"), more);
}

// The room's source: element keyword and data, and the instance's schedule and multiplier.
std::vector<Edit> source(const std::string& element, const std::string& data, int schedule, const std::string& mult)
{
    return {{"1 CO2 eds decay", "1 CO2 " + element},
            {"1e-6 1e-4 0 0", data},
            {"1 1 1 0 0 1 0 0 0", "1 1 1 " + std::to_string(schedule) + " 0 " + mult + " 0 0 0"}};
}

class WorkedRun : public E2eTest {
protected:
    // Runs the project text as room.prj; expects a normal end.
    void run(const std::string& prj)
    {
        std::ofstream(dir + "room.prj") << prj;
        Outcome o = runEngine("room.prj", "room.prj");
        ASSERT_EQ(o.status, 0) << o.err << o.log;
    }
    // Time, mass fraction and density of zone 1 at every listing.
    Rows room()
    {
        return sqlRows(dir + "room.sqlite3", "SELECT t.Time, c.C0, z.Density FROM TIME t JOIN NODEZONECCDATA c ON "
                                             "c.TimeID = t.TimeID JOIN NODEZONEFLOWDATA z ON z.TimeID = t.TimeID "
                                             "AND z.ZoneNumber = c.ZoneNumber WHERE c.ZoneNumber = 1 ORDER BY t.TimeID");
    }
    // The contaminant summary's released and removed mass of source 1 [kg].
    std::pair<double, double> summarised()
    {
        std::string csm = slurp(dir + "room.csm");
        size_t at = csm.find("s/s#");
        EXPECT_NE(at, std::string::npos) << csm;
        std::vector<std::string> f = fieldsOf(csm.substr(std::min(at, csm.size())), "1\t");
        EXPECT_EQ(f.size(), 15u) << csm;
        return {num(f, 12), num(f, 13)};
    }
};

// ---- A burst inside one step ------------------------------------------------------------

struct Burst {
    const char* mult;
    int solver;
};

void PrintTo(const Burst& b, std::ostream* os) { *os << "multiplier " << b.mult << ", solver " << b.solver; }

class BurstRun : public WorkedRun, public ::testing::WithParamInterface<Burst> {};

// 1e-3 kg on a schedule that is 1 from 10:00:10 to 10:00:40 only, inside the first minute:
// the room holds the burst times the multiplier, and the summary says it was released.
TEST_P(BurstRun, ReleasesItsMassTimesItsMultiplier)
{
    const Burst b = GetParam();
    std::vector<Edit> p = schedule(0, {"0:00:00 0", "10:00:10 1", "10:00:40 0", "24:00:00 0"});
    for (const Edit& r : source("brs burst", "1e-3 0", 1, b.mult)) p.push_back(r);
    ASSERT_NO_FATAL_FAILURE(run(closedRoom(b.solver, "10:00:00", "10:10:00", "0:01:00", "0:10:00", p)));
    const double due = 1e-3 * std::atof(b.mult);
    Rows r = room();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0][1], 0.0);
    EXPECT_NEAR(r[1][1] * r[1][2] * VOLUME, due, 1e-6 * due);
    auto [released, removed] = summarised();
    EXPECT_NEAR(released, due, 1e-6 * due);
    EXPECT_EQ(removed, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Multipliers, BurstRun,
                         ::testing::Values(Burst{"2", 0}, Burst{"0.5", 0}, Burst{"2", 1}),
                         testnames::named([](const Burst& b) {
                             return std::string("times_") + b.mult + (b.solver ? "_ShortStep" : "_Implicit");
                         }));

// ---- Deposition on a schedule -----------------------------------------------------------

struct Deposition {
    const char* schedule;
    const char* mult;
};

void PrintTo(const Deposition& d, std::ostream* os) { *os << "schedule " << d.schedule << ", multiplier " << d.mult; }

class DepositionRun : public WorkedRun, public ::testing::WithParamInterface<Deposition> {};

// A deposition sink of velocity 1e-3 m/s onto 10 m2 without resuspension, in the closed room
// from 1e-3 kg/kg: the sink takes dep = 10 m x 1e-3 x rho x x, the room decays at
// k = 10 m x 1e-3 / 50 per second, each implicit minute by 1 / (1 + 60 k). The schedule
// scales resuspension alone; the multiplier scales deposition.
TEST_P(DepositionRun, RemovesAtTheSinksRateNotTheSchedules)
{
    const Deposition d = GetParam();
    std::vector<Edit> p = schedule(0, {std::string("0:00:00 ") + d.schedule, std::string("24:00:00 ") + d.schedule});
    for (const Edit& r : source("dvr deposition", "1e-3 0 10 0 0 0 0 0", 1, d.mult)) p.push_back(r);
    p.push_back({"1 ! zone concentrations\n1 0\n", "1 ! zone concentrations\n1 1e-3\n"});
    ASSERT_NO_FATAL_FAILURE(run(closedRoom(0, "0:00:00", "1:00:00", "0:01:00", "0:10:00", p)));
    const double k = 10.0 * std::atof(d.mult) * 1e-3 / VOLUME;
    Rows r = room();
    ASSERT_EQ(r.size(), 7u);
    for (const std::vector<double>& row : r) {
        double x = 1e-3 / std::pow(1.0 + 60.0 * k, row[0] / 60.0);
        EXPECT_NEAR(row[1], x, 1e-6 * x) << "at " << row[0] << " s";
    }
    // What left the air is on the surface.
    auto [released, removed] = summarised();
    const double lost = (r.front()[1] - r.back()[1]) * r.back()[2] * VOLUME;
    EXPECT_NEAR(removed, lost, 1e-5 * lost);
    EXPECT_EQ(released, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Schedules, DepositionRun,
                         ::testing::Values(Deposition{"0.5", "1"}, Deposition{"0.25", "2"}),
                         testnames::named([](const Deposition& d) {
                             return std::string("schedule_") + d.schedule + "_times_" + d.mult;
                         }));

// ---- An occupant's emission -------------------------------------------------------------

class OccupantRun : public WorkedRun, public ::testing::WithParamInterface<const char*> {};

// A worker in the closed room all day emits 1e-6 kg/s of CO2 times the occupant factor:
// the room holds factor x 1e-6 x t.
TEST_P(OccupantRun, EmitsItsRateTimesTheOccupantFactor)
{
    const std::string factor = GetParam();
    std::vector<Edit> p = {
        {"1 ! source/sink elements\n1 CO2 eds decay\nA release of 1e-6 kg/s at its start decaying at 1e-4 1/s\n"
         "1e-6 1e-4 0 0\n",
         "0 ! source/sink elements\n"},
        {"1 ! sources\n1 1 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n", "0 ! sources\n"},
        {"0 ! occupancy schedules", "1 ! occupancy schedules\n1 2 0 in\nIn the room all day\n"
                                    "0:00:00 1 0 0 1.5\n24:00:00 1 0 0 1.5"},
        {"0 ! occupants", "1 ! occupants\n1 1 1 " + factor + " 0\nWorker\n1 1 1 1 1 1 1 1 1 1 1 1\nCO2 0 1e-6 0 0"}};
    ASSERT_NO_FATAL_FAILURE(run(closedRoom(0, "0:00:00", "1:00:00", "0:10:00", "0:10:00", p)));
    Rows r = room();
    ASSERT_EQ(r.size(), 7u);
    for (const std::vector<double>& row : r) {
        double m = std::atof(factor.c_str()) * (double)1e-6f * row[0];
        EXPECT_NEAR(row[1] * row[2] * VOLUME, m, 1e-6 * m + 1e-15) << "at " << row[0] << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(Factors, OccupantRun, ::testing::Values("2.5", "0.5"),
                         testnames::named([](const char* f) { return std::string("factor_") + f; }));

// ---- A ramp under the stiff integrator --------------------------------------------------

struct Ramp {
    const char* name;
    const char* points[3];
    double (*share)(double t);   // the integral of the schedule from 0 to t [s]
};

double rising(double t) { return t * t / 7200.0; }
double falling(double t) { return t - t * t / 7200.0; }

void PrintTo(const Ramp& r, std::ostream* os) { *os << r.name; }

class RampRun : public WorkedRun, public ::testing::WithParamInterface<Ramp> {};

// A removal coefficient R = 0.06 rho V / 60.2 kg/s on a linear ramp s(t) over the first
// hour, from 1e-3 kg/kg in the closed room: x = 1e-3 exp(-R / (rho V) x integral of s). The
// integrator must take the ramp at its own times: at the step ends alone the listings would
// be off by a share of a step.
TEST_P(RampRun, RemovalFollowsTheRampsIntegral)
{
    const Ramp& ramp = GetParam();
    const double R = 1e-3 * RHO_ROOM * VOLUME;   // 1e-3 per second of the room's air
    char data[64];
    std::snprintf(data, sizeof data, "0 %.15g 0 0", R);
    std::vector<Edit> p = schedule(1, {ramp.points[0], ramp.points[1], ramp.points[2]});
    for (const Edit& r : source("ccf removal", data, 1, "1")) p.push_back(r);
    p.push_back({"1 ! zone concentrations\n1 0\n", "1 ! zone concentrations\n1 1e-3\n"});
    p.push_back({"0 1e-8 1e-15 0", "0 1e-7 1e-15 0"});
    ASSERT_NO_FATAL_FAILURE(run(closedRoom(2, "0:00:00", "1:00:00", "0:10:00", "0:10:00", p)));
    Rows r = room();
    ASSERT_EQ(r.size(), 7u);
    for (const std::vector<double>& row : r) {
        double x = 1e-3 * std::exp(-R / (row[2] * VOLUME) * ramp.share(row[0]));
        EXPECT_NEAR(row[1], x, 2e-5 * x) << "at " << row[0] << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(Ramps, RampRun,
                         ::testing::Values(Ramp{"Rising", {"0:00:00 0", "1:00:00 1", "24:00:00 1"}, rising},
                                           Ramp{"Falling", {"0:00:00 1", "1:00:00 0", "24:00:00 0"}, falling}),
                         [](const ::testing::TestParamInfo<Ramp>& i) { return std::string(i.param.name); });

// ---- A PI controller at its limits ------------------------------------------------------

struct Controller {
    const char* name;
    const char* data;          // Kp, Ki, start output, start input
    const char* input[2];      // the error before and after 0:25
    double logged[7];          // the control log's rows, worked out below
};

void PrintTo(const Controller& c, std::ostream* os) { *os << c.name; }

class ControllerRun : public WorkedRun, public ::testing::WithParamInterface<Controller> {};

// out = prev + Kp (in - prev_in) + 0.5 dt Ki (in + prev_in), kept in 0..1, evaluated at the
// step ends every 600 s (dt 0 at the start) and logged against each step's start. Kp 0.5,
// Ki 1e-3 from 0.9 with an error of 0.4: 1.1 at the start, held at 1 while the error stays;
// at 0:30 the error is -0.1: 1 - 0.25 + 0.3 x 0.3 = 0.84 from the limit, then -0.06 a step
// to 0.66 at 1:00. The run's end row repeats the 1:00 value: no time passes after it.
// The mirror image from 0.1 and -0.4 holds at 0 and leaves it for 0.16.
TEST_P(ControllerRun, LogsItsOutputHeldAtAndTakenBackFromItsLimit)
{
    const Controller& c = GetParam();
    std::vector<Edit> p = schedule(0, {std::string("0:00:00 ") + c.input[0], std::string("0:25:00 ") + c.input[1],
                                          std::string("24:00:00 ") + c.input[1]});
    p.push_back({"0 ! controls", std::string("3 ! controls\n1 sch 1 0 0 0 0 error\nControl error\n1\n"
                                             "2 pi1 2 0 0 1 0 pi\nPI controller\n") +
                                     c.data + "\n3 log 3 0 0 2 0 pilog\nLogged PI output\n0 1 0 pi_out -"});
    p.push_back({"\n0 0 0 1 0 0\n", "\n0 0 0 1 0 1\n"});
    ASSERT_NO_FATAL_FAILURE(run(closedRoom(0, "0:00:00", "1:00:00", "0:10:00", "0:10:00", p)));
    std::string log = slurp(dir + "room.log");
    for (int k = 0; k < 7; k++) {
        char head[32];
        std::snprintf(head, sizeof head, "1/1\t%02d:%02d:00\t%d\t", k / 6, 10 * k % 60, 600 * k);
        std::vector<std::string> f = fieldsOf(log, head);
        ASSERT_EQ(f.size(), 4u) << head << "\n" << log;
        EXPECT_NEAR(num(f, 3), c.logged[k], 1e-6) << head;
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, ControllerRun,
                         ::testing::Values(Controller{"Upper", "0.5 1e-3 0.9 0", {"0.4", "-0.1"},
                                                      {1, 1, 0.84, 0.78, 0.72, 0.66, 0.66}},
                                           Controller{"Lower", "0.5 1e-3 0.1 0", {"-0.4", "0.1"},
                                                      {0, 0, 0.16, 0.22, 0.28, 0.34, 0.34}}),
                         [](const ::testing::TestParamInfo<Controller>& i) { return std::string(i.param.name); });

// ---- Wind pressure from an asymmetric profile -------------------------------------------

struct Wind {
    int direction, azimuth;
    double cp;   // the profile at direction - azimuth, brought into 0..360
};

void PrintTo(const Wind& w, std::ostream* os) { *os << "wind from " << w.direction << " onto " << w.azimuth; }

class WindRun : public WorkedRun, public ::testing::WithParamInterface<Wind> {};

// occupant-days.prj's room A has one opening, facing `azimuth`, on a linear profile of
// Cp 0.6, 0.2, -0.4, -0.5, 0.6 at 0, 90, 180, 270, 360 degrees; wind 4 m/s from
// `direction`. With one opening no air flows: the room's pressure is the wind pressure,
// Cp x 0.5 rho_out 4^2. The reversed angle would give Cp(azimuth - direction) instead.
TEST_P(WindRun, RoomTakesThePressureOfTheProfileAtTheWindsAngle)
{
    const Wind w = GetParam();
    std::string prj = replaced(
        slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/occupant-days.prj"),
        {{"293.15 101325 0 0 0 1", "293.15 101325 4 " + std::to_string(w.direction) + " 0 1"},
         {"0 ! wind profiles", "1 ! wind profiles\n1 5 1 wall\nA wall\n0 0.6\n90 0.2\n180 -0.4\n270 -0.5\n360 0.6"},
         {"1 0 -1 1 1 0 0 0 0 0 1 0 0 1.5 1 0 1 180", "1 1 -1 1 1 0 1 0 0 0 1 0 0 1.5 1 0 1 " + std::to_string(w.azimuth)},
         {"Jan02 24:00:00", "Jan01 1:00:00"},
         {"\n0 0 0 0 0 0\n0 0 0 0 0\n", "\n0 0 0 0 0 0\n0 0 1 1 1\n"}});
    ASSERT_NO_FATAL_FAILURE(run(prj));
    Rows r = sqlRows(dir + "room.sqlite3", "SELECT ZoneNumber, Pressure FROM NODEZONEFLOWDATA ORDER BY TimeID, ZoneNumber");
    ASSERT_EQ(r.size(), 4u);
    const double pw = w.cp * 0.5 * RHO_ROOM * 16.0;
    for (const std::vector<double>& row : r) EXPECT_NEAR(row[1], row[0] == 1 ? pw : 0.0, 1e-5 * std::fabs(pw));
}

// Cp at 60 = 0.6 - 0.4 x 60/90, at 70 (from 10 - 300) = 0.6 - 0.4 x 70/90, at 150 =
// 0.2 - 0.6 x 60/90; reversed: Cp(300), Cp(290), Cp(210) are all below -0.1.
INSTANTIATE_TEST_SUITE_P(Angles, WindRun,
                         ::testing::Values(Wind{90, 30, 0.6 - 0.4 * 60.0 / 90.0}, Wind{10, 300, 0.6 - 0.4 * 70.0 / 90.0},
                                           Wind{250, 100, 0.2 - 0.6 * 60.0 / 90.0}),
                         testnames::named([](const Wind& w) {
                             return "from_" + std::to_string(w.direction) + "_onto_" + std::to_string(w.azimuth);
                         }));

// ---- Outdoor humidity from the weather file ---------------------------------------------

// stack.prj with water vapour simulated, under a weather file whose humidity ratio goes
// 5, 11 and 2 g/kg at 0:00, 6:00 and 12:00: the listed outdoor mass fraction is the ratio
// interpolated in time, HR / (1 + HR), with the contaminants steady as the project has
// them and under the stiff integrator, which lists the weather at the listed time (it
// listed that of its step's start, up to hours before).
class OutdoorHumidity : public WorkedRun, public ::testing::WithParamInterface<bool> {};

TEST_P(OutdoorHumidity, FollowsTheWeatherFilesHumidityRatio)
{
    std::vector<Edit> stiff = {{"\n0 0 1e-4 1e-15 0 0\n", "\n2 0 1e-4 1e-15 0 0\n"},
                               {"\n0 0 0 0.1 0 0\n", "\n2 0 0 0.1 0 0\n"}};
    std::ofstream(dir + "humid.wth") << "WeatherFile VexlarW 2.0\nHalf a day of changing humidity\n1/1 1/1\n"
                                        "1/1 3 5 0 0\n"
                                        "1/1 00:00:00 293.15 101325 0 0 5 0 0 0 0 0\n"
                                        "1/1 06:00:00 293.15 101325 0 0 11 0 0 0 0 0\n"
                                        "1/1 12:00:00 293.15 101325 0 0 2 0 0 0 0 0\n";
    std::string prj = replaced(slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/stack.prj"),
                               {{"stack.wth ", "humid.wth "},
                                {"0 ! simulated species\n0 ! species records",
                                 "1 1 ! simulated species\n1 ! species records\n"
                                 "1 0 0 18.0 0 0 0 2.4e-5 0 1860 0 0 0 0 0 0 H2O\nWater vapour"},
                                {"0 ! zone concentrations", "2 ! zone concentrations\n1 0\n2 0"},
                                {"Jan02 24:00:00", "Jan01 12:00:00"}});
    if (GetParam()) prj = replaced(prj, stiff);
    ASSERT_NO_FATAL_FAILURE(run(prj));
    Rows r = sqlRows(dir + "room.sqlite3", "SELECT t.Time, a.C0 FROM TIME t JOIN AMBIENTCONDITIONS a ON "
                                           "a.TimeID = t.TimeID ORDER BY t.TimeID");
    ASSERT_EQ(r.size(), 13u);
    for (const std::vector<double>& row : r) {
        double h = row[0] / 3600.0;
        double ratio = (h <= 6.0 ? 5.0 + h : 11.0 - 1.5 * (h - 6.0)) / 1000.0;
        EXPECT_NEAR(row[1], ratio / (1.0 + ratio), 1e-6 * ratio) << "at " << h << " h";
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, OutdoorHumidity, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& i) {
    return std::string(i.param ? "StiffIntegrator" : "SteadyContaminants");
});

// ---- The exposure file of a stopped run -------------------------------------------------

// occupant-days.prj planned for the year by 1 s steps with its exposure file on, stopped
// on request once its progress shows Jan03: the file's header names the stop's day as the
// period's last, as if the run had been planned to end there.
TEST_F(WorkedRun, StoppedRunsExposureHeaderEndsOnTheStopsDay)
{
    std::ofstream(dir + "room.prj") << replaced(
        slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/occupant-days.prj"),
        {{"Jan02 24:00:00 1:00:00 1:00:00 6:00:00", "Dec31 24:00:00 0:00:01 1:00:00 1:00:00"}});
    const std::string err = dir + "stderr.txt";
    ASSERT_EQ(signalWhenSaid(startEngine(dir, "room.prj", err), err, "Jan03", SIGTERM), 1) << slurp(err);
    const std::string log = slurp(dir + "room.xlog");
    const std::string said = "Simulation stopped on request after the step ending Jan";
    size_t at = log.find(said);
    ASSERT_NE(at, std::string::npos) << log;
    const int day = std::atoi(log.c_str() + at + said.size());
    EXPECT_GE(day, 3);
    std::vector<std::string> head = fieldsOf(slurp(dir + "room.ebw"), "1\t1\t");
    ASSERT_EQ(head.size(), 7u);
    EXPECT_EQ(head[2], "1/1");
    EXPECT_EQ(head[3], "1/" + std::to_string(day));
}

}  // namespace
