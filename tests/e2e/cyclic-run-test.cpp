// The cyclic driver's convergence test on a room that takes days to settle, and a stop
// before its listed day.
//
// ventilated-co2.prj with clean outdoor air, a fan of F = 1e-3 kg/s and a release of
// G = 1e-7 kg/s: the room (M = 60.2 kg) tends to c_s = G / F = 1e-4 with a time constant of
// 17 hours. Hour steps of the implicit method give c_(n+1) = (M c_n + dt G) / (M + F dt),
// so c_n - c_s shrinks by q = M / (M + F dt) = 0.9436 a step and Q = q^24 = 0.2475 a day.
// The design day is repeated until its peak is within cyc_tol = 1e-3 of the day before's,
// relative to the peak:
// - rising from c_0 = 0: the peak is the day's last value; day d differs from the day
//   before by c_s Q^(d-1) (1 - Q), relative 2.8e-3 on day 5 and 7.0e-4 on day 6;
// - falling from c_0 = 2e-4: the peak is the day's first value; day d differs by
//   1e-4 q Q^(d-2) (1 - Q), relative 2.6e-3 on day 6 and 6.5e-4 on day 7.
// Then one more day is reported. The mass fractions are some 1e-4, far below the tolerance,
// so a difference taken as absolute would end the cycle after the first day; a difference
// taken with its sign would end the falling one after the second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <string>
#include <vector>

#include "e2e-util.h"

namespace {

struct Cycle {
    const char* name;
    const char* initial;   // the room's CO2 at the start
    int days;              // unreported days, the last the first to repeat its peak
};

void PrintTo(const Cycle& c, std::ostream* os) { *os << c.name; }

// Unreported days by the hand recurrence: the peak of each day is compared with that of the
// day before (0 before the first day).
int handDays(double c0)
{
    const double F = (double)1e-3f, G = (double)1e-7f, dt = 3600.0;
    const double M = 101325.0 / (287.055 * (double)293.15f) * 50.0;
    double c = c0, before = 0.0;
    for (int d = 1; d < 100; d++) {
        double peak = 0.0;
        for (int n = 0; n < 24; n++) {
            c = (M * c + dt * G) / (M + F * dt);
            peak = std::fmax(peak, c);
        }
        if (std::fabs(peak - before) <= 1e-3 * peak) return d;
        before = peak;
    }
    return 0;
}

class CyclicRun : public E2eTest, public ::testing::WithParamInterface<Cycle> {};

TEST_P(CyclicRun, RepeatsTheDesignDayUntilItsPeakRepeatsWithinTheRelativeTolerance)
{
    const Cycle& c = GetParam();
    ASSERT_EQ(handDays(std::atof(c.initial)), c.days);
    std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ventilated-co2.prj");
    std::ofstream(dir + "cycle.prj") << edited(
        prj, {{"1 0 1e-4 1e-15 0 0", "3 0 1e-3 1e-15 0 0"},
              {"0 1 30 1e-4 1e-5 0.75 0 50 0", "0 1 30 1e-8 1e-9 0.75 0 50 0"},   // tolerances below F
              {"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 ",
               "Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 1:00:00 1:00:00 6:00:00"},
              {"1 0 0 44.0 0 0 0 1.6e-5 6.08e-4 ", "1 0 0 44.0 0 0 0 1.6e-5 0 840 0 0 0 0 0 0 CO2"},
              {"0.05", "0.001"},
              {"1e-5 0 0 0", "1e-7 0 0 0"},
              {"1 6.08e-4", std::string("1 ") + c.initial}});
    Outcome r = runEngine("cycle.prj", "cycle.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::string steps = std::to_string(24 * (c.days + 1));
    EXPECT_NE(r.log.find("\n" + std::string(8 - steps.size(), ' ') + steps + " time steps\n"), std::string::npos)
        << r.log;
}

INSTANTIATE_TEST_SUITE_P(Peaks, CyclicRun,
                         ::testing::Values(Cycle{"Rising", "0", 6}, Cycle{"Falling", "2e-4", 7}),
                         [](const ::testing::TestParamInfo<Cycle>& i) { return std::string(i.param.name); });

}  // namespace

// A stop while the design day is still being repeated unlisted comes before any result:
// the run says so, ends with status 1 and keeps no result file (a database without a
// listed time, a restart file without a record) that would pass for one. The room's fan
// of 1e-6 kg/s gives it a time constant of 700 days: its peaks never repeat within 1e-7,
// so the unlisted days go on for a year of two-second steps (some ten seconds), long
// after the stop.
class CyclicStop : public E2eTest {};

TEST_F(CyclicStop, BeforeTheListedDayKeepsNoResult)
{
    std::string prj = edited(slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ventilated-co2.prj"),
                             {{"1 0 1e-4 1e-15 0 0", "3 0 1e-7 1e-15 0 0"},
                              {"0.05", "1e-6"},
                              {"1e-5 0 0 0", "1e-10 0 0 0"},
                              {"1 6.08e-4", "1 0"},
                              {"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 0:10:00", "Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 0:00:02 1:00:00 6:00:00"}});
    // Every result file on: the SIM file, the database, the text statistics.
    const std::string off = "\n0 Jan01 0:00:00\n0 0 1 1 1\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0\n0 0 1 1 1\n";
    ASSERT_NE(prj.find(off), std::string::npos);
    prj.replace(prj.find(off), off.size(), "\n0 Jan01 0:00:00\n1 0 1 1 1\n0 1 1 1 1 1 1 1\n1 1 0 1 1 1\n1 1 1 1 1\n");
    std::ofstream(dir + "cycle.prj") << prj;
    const std::string err = dir + "run-stderr.txt";
    pid_t pid = startEngine(dir, "cycle", err);
    EXPECT_EQ(signalWhenSaid(pid, err, "Press <ctrl>-c", SIGTERM), 1) << slurp(err);
    const std::string said = slurp(err), log = slurp(dir + "cycle.xlog");
    ASSERT_NE(said.rfind("NOTE"), std::string::npos) << said;
    EXPECT_EQ(said.substr(said.rfind("NOTE")),
              "NOTE Simulation stopped on request before any result was listed; no result file is kept\n");
    EXPECT_EQ(said.find("after the step ending"), std::string::npos) << said;
    EXPECT_EQ(log.substr(log.size() - 18), "VexlarX finish(1)\n");
    std::remove(err.c_str());
    std::vector<std::string> left;
    for (const auto& f : std::filesystem::directory_iterator(dir)) left.push_back(f.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"cycle.prj", "cycle.xlog"}));
}
