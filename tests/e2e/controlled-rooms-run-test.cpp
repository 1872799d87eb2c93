// Controls follow the time that passed, under every transport method (controlled-rooms.prj).
//
// Room 1 (50 m3 at 293.15 K, M = 60.2 kg) is washed by F1 = 0.05 kg/s of clean air from a
// tracer fraction c0 = 1e-4: c = c0 exp(-q t), q = F1 / M. A sensor with a lag of tau =
// 600 s follows s' = (c - s) / tau, so s = B exp(-q t) + (c0 - B) exp(-t / tau) with
// B = c0 / (1 - q tau).
//
// Room 2 starts clean with a source of G = 2e-6 kg/s; a PI controller (Kp 4000, Ki 6.6667,
// from output 0.4 at the error -5e-5 it starts from) scales its supply fan of F2 = 0.1 kg/s
// to hold the set point 5e-5: M c' = G - F2 u c, u' = Kp e' + Ki e, e = c - 5e-5; solved
// here by RK4. The control log lists the lagged sensor and the fan share u.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

const double V = 50.0, T = 293.15, Pbar = 101325.0, Ra = 8314.41 / 28.9645;
const double M = Pbar * V / (Ra * T);
const double c0 = 1e-4, F1 = 0.05, tau = 600.0;
const double G = 2e-6, F2 = 0.1, Kp = 4000.0, Ki = 6.6667, setPoint = 5e-5, u0 = 0.4;

double lagged(double t)
{
    const double q = F1 / M, B = c0 / (1.0 - q * tau);
    return B * std::exp(-q * t) + (c0 - B) * std::exp(-t / tau);
}

// Room 2 under the PI loop: c and the integral I of the error; the share is
// u = u0 + Kp (e - e0) + Ki I.
struct PiState {
    double c, I;
};
double share(const PiState& y) { return u0 + Kp * y.c + Ki * y.I; }   // e - e0 = c
PiState rates(const PiState& y) { return {(G - F2 * share(y) * y.c) / M, y.c - setPoint}; }

// c and u of room 2 every `list` s from 0 to `end` s, by RK4 of 1 s steps.
std::vector<PiState> piLoop(int list, int end)
{
    std::vector<PiState> out{{0.0, 0.0}};
    PiState y{0.0, 0.0};
    const double h = 1.0;
    for (int t = 0; t < end; t++) {
        auto at = [&](const PiState& k, double f) { return PiState{y.c + f * k.c, y.I + f * k.I}; };
        PiState k1 = rates(y), k2 = rates(at(k1, 0.5 * h)), k3 = rates(at(k2, 0.5 * h)), k4 = rates(at(k3, h));
        y.c += h / 6.0 * (k1.c + 2.0 * k2.c + 2.0 * k3.c + k4.c);
        y.I += h / 6.0 * (k1.I + 2.0 * k2.I + 2.0 * k3.I + k4.I);
        if ((t + 1) % list == 0) out.push_back(y);
    }
    return out;
}

enum Method { BACKWARD, TRAPEZOIDAL, SHORT_STEP, STIFF };
const char* const METHOD_NAMES[] = {"Backward", "Trapezoidal", "ShortStep", "Stiff"};
const int LIST = 300, END = 1800;

// One listing of a run: the lagged sensor and the share from the control log, room 2's
// tracer from the database.
struct Listing {
    int t;
    double sensor, share, c2;
};

struct Case {
    const char* name;
    Method method;
    const char* steps[2];    // time steps of the two runs
    const char* rtol[2];     // the stiff integrator's tolerances
    const char* maxstep[2];  // and its largest steps
    double bound[3];         // at the finer run: lag / c0, share, c2 / set point
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ControlledRooms : public E2eTest, public ::testing::WithParamInterface<Case> {
protected:
    std::vector<Listing> run(Method m, const std::string& step, const std::string& rtol, const std::string& maxstep,
                             const std::string& period = "Jan01 0:00:00 Jan01 0:30:00", const std::string& restart = "0 Jan01")
    {
        const std::string solver = m == SHORT_STEP ? "1" : m == STIFF ? "2" : "0";
        const std::string theta = m == TRAPEZOIDAL ? "0.5" : "1";
        std::vector<Edit> e = {
            {"0 0 0 0.1 0 0", solver + " 0 0 0.1 0 0"},
            {"0 1 100 1e-9 1e-15 1.1 1 0", "0 1 100 1e-9 1e-15 1.1 " + theta + " 0"},
            {"0 1 100 1e-10 1e-15 1.1 1 0", "0 1 100 1e-10 1e-15 1.1 " + theta + " 0"},
            {"0 1e-8 1e-15 0", "0 " + rtol + " 1e-15 " + maxstep},
            {"Jan01 0:00:00 Jan01", "Jan01 0:00:00 " + period + " " + step + " 0:05:00 6:00:00"},
            {"0 Jan01 0:00:00", restart + " 0:00:00"}};
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/controlled-rooms.prj");
        std::ofstream(dir + "rooms.prj") << edited(prj, e);
        Outcome o = runEngine("rooms.prj", "rooms.prj");
        EXPECT_EQ(o.status, 0) << o.err << o.log;
        std::vector<Listing> l;
        std::istringstream log(slurp(dir + "rooms.log"));
        for (std::string line; std::getline(log, line);) {
            if (line.empty() || line[0] == '!') continue;
            std::vector<std::string> f = fieldsOf(line, "");
            if ((int)num(f, 2) % LIST == 0) l.push_back({(int)num(f, 2) + (f[0] == "1/2" ? 86400 : 0), num(f, 3), num(f, 4), 0.0});
        }
        for (const std::vector<double>& row : sqlRows(dir + "rooms.sqlite3",
                 "SELECT (t.dayofyear - 1) * 86400 + t.Time, c.C0 FROM TIME t JOIN NODEZONECCDATA c ON c.TimeID = t.TimeID "
                 "WHERE c.ZoneNumber = 2 ORDER BY t.TimeID"))
            for (Listing& x : l)
                if (x.t == (int)row[0]) x.c2 = row[1];
        return l;
    }
};

// Largest errors of a run's listings from 0 to the end: of the lagged sensor relative to
// c0, of the share, of room 2's tracer relative to the set point.
std::vector<double> errors(const std::vector<Listing>& l, const std::vector<PiState>& pi)
{
    std::vector<double> worst(3, 0.0);
    int seen = 0;
    for (const Listing& x : l) {
        if (x.t > END || x.t % LIST != 0) continue;
        const PiState& y = pi[(size_t)(x.t / LIST)];
        worst[0] = std::max(worst[0], std::fabs(x.sensor - lagged(x.t)) / c0);
        worst[1] = std::max(worst[1], std::fabs(x.share - share(y)));
        worst[2] = std::max(worst[2], std::fabs(x.c2 - y.c) / setPoint);
        seen++;
    }
    EXPECT_EQ(seen, END / LIST + 1) << "listings";
    return worst;
}

TEST_P(ControlledRooms, ControlsFollowTheSolutionCloserAtTheFinerStep)
{
    const Case& c = GetParam();
    const std::vector<PiState> pi = piLoop(LIST, END);
    std::vector<double> err[2];
    for (int level = 0; level < 2; level++)
        err[level] = errors(run(c.method, c.steps[level], c.rtol[level], c.maxstep[level]), pi);
    std::printf("[ errors   ] %-12s lag %.3e %.3e  share %.3e %.3e  c2 %.3e %.3e\n", c.name, err[0][0],
                err[1][0], err[0][1], err[1][1], err[0][2], err[1][2]);
    for (int k = 0; k < 3; k++) {
        EXPECT_LE(err[1][k], c.bound[k]) << "quantity " << k;
        EXPECT_LT(err[1][k], 0.7 * err[0][k]) << "quantity " << k << ": " << err[0][k] << " then " << err[1][k];
    }
}

// Under the stiff integrator the nominal time step is no step of the solution: the PI loop
// run at 1 and 5 minutes lists the same shares and tracer to the tolerance.
TEST_F(ControlledRooms, StiffPiLoopDoesNotDependOnTheNominalTimeStep)
{
    std::vector<Listing> a = run(STIFF, "0:01:00", "1e-8", "0"), b = run(STIFF, "0:05:00", "1e-8", "0");
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GE(a.size(), (size_t)(END / LIST + 1));
    double share = 0.0, c2 = 0.0;
    for (size_t k = 0; k < a.size(); k++) {
        ASSERT_EQ(a[k].t, b[k].t);
        share = std::max(share, std::fabs(a[k].share - b[k].share));
        c2 = std::max(c2, std::fabs(a[k].c2 - b[k].c2) / setPoint);
    }
    std::printf("[ errors   ] nominal steps 60 s and 300 s: share %.3e  c2 %.3e\n", share, c2);
    EXPECT_LE(share, 1e-4);
    EXPECT_LE(c2, 1e-4);
}

// Started at 23:30, the rooms are under way at midnight: the stiff integrator's run resumed
// from the record of Jan01 lists on Jan02 the controls and tracer of the unbroken run.
TEST_F(ControlledRooms, StiffRunResumedAtMidnightContinuesTheUnbrokenRunsControls)
{
    std::vector<Listing> whole = run(STIFF, "0:01:00", "1e-8", "0", "Jan01 23:30:00 Jan02 0:30:00");
    std::vector<Listing> resumed = run(STIFF, "0:01:00", "1e-8", "0", "Jan02 0:00:00 Jan02 0:30:00", "1 Jan01");
    int compared = 0;
    for (const Listing& w : whole) {
        if (w.t < 86400) continue;
        for (const Listing& r : resumed) {
            if (r.t != w.t) continue;
            EXPECT_NEAR(r.sensor, w.sensor, 1e-6 * c0) << r.t;
            EXPECT_NEAR(r.share, w.share, 1e-6) << r.t;
            EXPECT_NEAR(r.c2, w.c2, 1e-6 * setPoint) << r.t;
            compared++;
        }
    }
    EXPECT_GE(compared, 6);
    // Under way: the lag still trails the room, the share still moves.
    ASSERT_GE(whole.size(), 8u);
    EXPECT_GT(whole[6].sensor, 1e-5);
    EXPECT_GT(std::fabs(whole.back().share - whole[6].share), 1e-3);
}

// gated-integral.prj integrates the hours since midnight, x = t / 3600, while a scheduled
// gate is open. A step schedule holds its value up to its point and the next from there,
// so the gate opens in the step after 1:00 and closes in the step after 2:00: the trapezoid
// rule integrates exactly from 1:00, the closing step adds half a step of x(2:00), and the
// gate's -1 in the step after 3:00 resets. Each control-log row, of a step's start, holds
// the network at that step's end.
class GatedIntegral : public E2eTest, public ::testing::WithParamInterface<const char*> {};

// Under the implicit, trapezoidal and short-time-step methods (the solver line given).
TEST_P(GatedIntegral, HoldsTheIntegralOfItsOpenHour)
{
    std::string p = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/gated-integral.prj");
    p = edited(p, {{"0 0 0 0.1 0 0", std::string(GetParam()) + " 0 0 0.1 0 0"}});
    std::ofstream(dir + "gated-integral.prj") << p;
    Outcome o = runEngine("gated-integral.prj", "gated-integral.prj");
    ASSERT_EQ(o.status, 0) << o.err;
    auto integral = [](double from, double to) { return (to * to - from * from) / 7200.0; };
    std::istringstream in(slurp(dir + "gated-integral.log"));
    int rows = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '!') continue;
        std::vector<std::string> f;
        std::istringstream l(line);
        for (std::string w; std::getline(l, w, '\t');) f.push_back(w);
        ASSERT_EQ(f.size(), 4u) << line;
        const double end = std::atof(f[2].c_str()) + 300.0, value = std::atof(f[3].c_str());
        double want = 0.0;
        if (end > 3600.0 && end <= 7200.0) want = integral(3600.0, end);
        else if (end > 7200.0 && end <= 10800.0) want = integral(3600.0, 7200.0) + 2.0 * 150.0;
        EXPECT_NEAR(value, want, 1e-6 * 5700.0) << "at the step ending " << end << " s";
        rows++;
    }
    EXPECT_EQ(rows, 49);
}

INSTANTIATE_TEST_SUITE_P(Methods, GatedIntegral, ::testing::Values("0", "1"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             return std::string(i.param[0] == '0' ? "Implicit" : "ShortStep");
                         });

INSTANTIATE_TEST_SUITE_P(
    EveryMethod, ControlledRooms,
    ::testing::Values(
        Case{"Backward", BACKWARD, {"0:01:00", "0:00:10"}, {"1e-8", "1e-8"}, {"0", "0"}, {4e-3, 5e-3, 3e-3}},
        Case{"Trapezoidal", TRAPEZOIDAL, {"0:01:00", "0:00:10"}, {"1e-8", "1e-8"}, {"0", "0"}, {3e-3, 5e-3, 4e-3}},
        Case{"ShortStep", SHORT_STEP, {"0:01:00", "0:00:10"}, {"1e-8", "1e-8"}, {"0", "0"}, {4e-3, 5e-3, 3e-3}},
        // The integrator holds the controls over each of its steps: a largest step of 10 s.
        Case{"Stiff", STIFF, {"0:01:00", "0:01:00"}, {"1e-5", "1e-8"}, {"0", "10"}, {5e-4, 5e-5, 2e-4}}),
    [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

}  // namespace
