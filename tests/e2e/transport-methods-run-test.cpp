// Every transport method on one table of rooms whose solutions are worked out here: the
// fully implicit and the trapezoidal method, the short time step and the stiff integrator,
// each at two time steps (or tolerances). For every row the listed transient must follow
// the solution, closer at the finer step, and the contaminant summary must balance: what
// the sources released less what they removed is what the room holds plus what it gave
// the outdoors (the summary prints the exchange to six digits).
//
// heavy-gas.prj: a 50 m3 room with two openings (C = 0.03, flow C sqrt(rho dp), rho
// upstream) at 0.5 m and 2.5 m, air and CO2 both non-trace, G = 0.002 kg/s of CO2 released.
// With the CO2 mass fraction x the room's gas constant is R = Ra + x (Rc - Ra) and its air
// mass M = Pbar V / (R T): d(M x)/dt = G - Fout x, Fout what leaves. Without the storage
// term the openings carry G more out than in; with it (dodMdt) G - dM/dt, and the air the
// outdoors exchanged is the room's own change of air mass.
//
// decaying-source.prj: a closed 50 m3 room; the room holds the integral of what its source
// released: a constant source on a linear ramp, an exponentially decaying one, and a burst
// whose schedule is on for 30 s inside one step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

const double VOLUME = 50.0;
double f32(double v) { return (double)(float)v; }

// ---- The heavy-gas rooms --------------------------------------------------------------------

namespace heavy {

const double Ra = 8314.41 / 28.9645, Rc = 8314.41 / 44.0, Pbar = 101325.0, g = 9.8055, T0 = 293.15;
const double C = 0.03, G = 0.002;

// An opening at height z from room `from` to room `to` (-1 the outdoors).
struct Opening {
    int from, to;
    double z;
};

// One room, or two whose openings take the air in low in the warm first room, through the
// second and out of it; as the first room fills with CO2 it turns heavier than the
// outdoor air and the stack flow through all three openings reverses.
struct Building {
    int rooms;
    double T[2];
    std::vector<Opening> openings;
};

const Building ONE_ROOM = {1, {T0, T0}, {{0, -1, 0.5}, {0, -1, 2.5}}};
const Building TWO_ROOMS = {2, {296.15, T0}, {{0, -1, 0.5}, {0, 1, 2.5}, {1, -1, 1.5}}};

double gasConst(double x) { return Ra + x * (Rc - Ra); }
double mass(const Building& b, int i, double x) { return Pbar * VOLUME / (gasConst(x) * b.T[i]); }

// The flows of the openings [kg/s] at room floor pressures P and CO2 fractions x.
std::vector<double> flows(const Building& b, const double* P, const double* x)
{
    auto rho = [&](int i) { return i < 0 ? Pbar / (Ra * T0) : mass(b, i, x[i]) / VOLUME; };
    auto press = [&](int i) { return i < 0 ? 0.0 : P[i]; };
    std::vector<double> f;
    for (const Opening& o : b.openings) {
        double dp = press(o.from) - press(o.to) - (rho(o.from) - rho(o.to)) * g * o.z;
        f.push_back(std::copysign(C * std::sqrt(rho(dp > 0.0 ? o.from : o.to) * std::fabs(dp)), dp));
    }
    return f;
}

// Net inflow of room i [kg/s], its source and storage s included.
double net(const Building& b, const std::vector<double>& f, int i, double s)
{
    double n = (i == 0 ? G : 0.0) - s;
    for (size_t k = 0; k < f.size(); k++) {
        if (b.openings[k].from == i) n -= f[k];
        if (b.openings[k].to == i) n += f[k];
    }
    return n;
}

// Bisection for the root of a decreasing function on [-5, 5] Pa.
template <class F> double root(F fn)
{
    double lo = -5.0, hi = 5.0;
    for (int i = 0; i < 40; i++) {
        double mid = 0.5 * (lo + hi);
        (fn(mid) < 0.0 ? hi : lo) = mid;
    }
    return 0.5 * (lo + hi);
}

// The flows that balance every room, each storing s[i].
std::vector<double> balancedFlows(const Building& b, const double* x, const double* s)
{
    double P[2] = {0.0, 0.0};
    auto second = [&](double P0) {
        P[0] = P0;
        if (b.rooms > 1) P[1] = root([&](double P1) {
            P[1] = P1;
            return net(b, flows(b, P, x), 1, s[1]);
        });
        return net(b, flows(b, P, x), 0, s[0]);
    };
    second(root(second));
    return flows(b, P, x);
}

// dx/dt of every room by the mass balance of its CO2: d(M x)/dt = (M + x M') x'. With
// storage the rooms' air masses change at M' x', found by a few passes from 0.
void rates(const Building& b, const double* x, bool storage, double* xdot)
{
    double s[2] = {0.0, 0.0}, dM[2];
    for (int i = 0; i < b.rooms; i++) dM[i] = -mass(b, i, x[i]) * (Rc - Ra) / gasConst(x[i]);
    for (int pass = 0; pass < (storage ? 6 : 1); pass++) {
        std::vector<double> f = balancedFlows(b, x, s);
        for (int i = 0; i < b.rooms; i++) {
            double co2 = i == 0 ? G : 0.0;
            for (size_t k = 0; k < f.size(); k++) {
                const Opening& o = b.openings[k];
                int up = f[k] > 0.0 ? o.from : o.to, down = f[k] > 0.0 ? o.to : o.from;
                double carried = std::fabs(f[k]) * (up < 0 ? 0.0 : x[up]);
                if (up == i) co2 -= carried;
                if (down == i) co2 += carried;
            }
            xdot[i] = co2 / (mass(b, i, x[i]) + x[i] * dM[i]);
        }
        for (int i = 0; i < b.rooms && storage; i++) s[i] = dM[i] * xdot[i];
    }
}

// x of every room at every listing time (every `list` s from 0), by RK4 of 10 s steps.
std::vector<std::vector<double>> solution(const Building& b, int listings, int list, bool storage)
{
    std::vector<std::vector<double>> out{{0.0, 0.0}};
    double x[2] = {0.0, 0.0};
    const double h = 10.0;
    for (int k = 1; k < listings; k++) {
        for (int n = 0; n < list / 10; n++) {
            double k1[2], k2[2], k3[2], k4[2], y[2];
            rates(b, x, storage, k1);
            for (int i = 0; i < 2; i++) y[i] = x[i] + 0.5 * h * k1[i];
            rates(b, y, storage, k2);
            for (int i = 0; i < 2; i++) y[i] = x[i] + 0.5 * h * k2[i];
            rates(b, y, storage, k3);
            for (int i = 0; i < 2; i++) y[i] = x[i] + h * k3[i];
            rates(b, y, storage, k4);
            for (int i = 0; i < 2; i++) x[i] += h / 6.0 * (k1[i] + 2.0 * k2[i] + 2.0 * k3[i] + k4[i]);
        }
        out.push_back({x[0], x[1]});
    }
    return out;
}

}  // namespace heavy

// ---- Closed-room releases -------------------------------------------------------------------

// A constant 1e-6 kg/s on a linear schedule 0 at 0:00, 1 at 1:00, 0.25 from 2:00.
double rampReleased(double t)
{
    const double G = f32(1e-6);
    if (t <= 3600.0) return G * t * t / 7200.0;
    double u = std::min(t, 7200.0) - 3600.0;
    return G * (1800.0 + u - 0.75 * u * u / 7200.0) + G * 0.25 * std::max(t - 7200.0, 0.0);
}

// 1e-6 kg/s at its start, decaying at 1e-4 1/s.
double decayReleased(double t) { return f32(1e-6) / f32(1e-4) * (1.0 - std::exp(-f32(1e-4) * t)); }

// 1e-3 kg at once, on from 10:00:10 to 10:00:40; the run starts at 10:00.
double burstReleased(double t) { return t > 36010.0 ? f32(1e-3) : 0.0; }

// ---- The table ------------------------------------------------------------------------------

enum Method { BACKWARD, TRAPEZOIDAL, SHORT_STEP, STIFF };
const char* const METHOD_NAMES[] = {"Backward", "Trapezoidal", "ShortStep", "Stiff"};

struct Row {
    const char* name;
    const char* project;
    const heavy::Building* building;   // the heavy-gas rooms; none for a closed room
    bool storage;                      // dodMdt
    std::vector<Edit> edits;           // what makes the row of its project
    const char* end;                   // end time of the run
    double (*released)(double t);      // closed room: what it holds at t [kg]
    const char* steps[2];              // coarse and fine step of the implicit methods
    const char* stsSteps[2];           // and of the short time step
    double bound[4];                   // largest error at the finer step or tolerance, by method
                                       // (20 times that at the coarser)
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const char* const TIMES = "Jan01 0:00:00 Jan01 0:00:00 Jan01 ";

// Two day schedules and a week schedule of the closed room's source.
std::vector<Edit> scheduled(const char* element, const char* data, const char* points, int shape)
{
    return {{"0 ! day schedules", std::string("1 ! day schedules\n1 4 ") + std::to_string(shape) +
                                      " 0 0 day\nDay\n" + points},
            {"0 ! week schedules", "1 ! week schedules\n1 0 0 week\nWeek\n1 1 1 1 1 1 1 1 1 1 1 1"},
            {"1 CO2 eds decay", std::string("1 CO2 ") + element},
            {"1e-6 1e-4 0 0", data},
            {"1 1 1 0 0 1 0", "1 1 1 1 0 1 0 0 0 0 0 0 0 0 0 0 0"}};
}

std::vector<Edit> ramp()
{
    return scheduled("ccf constant", "1e-6 0 0 0", "0:00:00 0\n1:00:00 1\n2:00:00 0.25\n24:00:00 0.25", 1);
}

std::vector<Edit> burst()
{
    std::vector<Edit> e = scheduled("brs burst", "1e-3 0 0 0", "0:00:00 0\n10:00:10 1\n10:00:40 0\n24:00:00 0", 0);
    e.push_back({TIMES, "Jan01 0:00:00 Jan01 10:00:00 Jan01 10:10:00 0:01:00 0:10:00 6:00:00"});
    return e;
}

// heavy-gas.prj made the two rooms of heavy::TWO_ROOMS.
std::vector<Edit> twoRooms()
{
    return {{"1 ! zones", "2 ! zones"},
            {"1 3 0 0 0 1 0 50 293.15 0 Room", "1 3 0 0 0 1 0 50 296.15 0 Warm 0 0 0 0 0 0 0 0\n"
                                               "2 3 0 0 0 1 0 50 293.15 0 Back 0 0 0 0 0 0 0 0"},
            {"2 ! zone concentrations", "4 ! zone concentrations"},
            {"1 1 0", "1 1 0\n2 1 0"},
            {"2 ! paths", "3 ! paths"},
            {"2 0 1 -1 1 0", "2 0 1 2 1 0 0 0 0 0 1 0 0 2.5 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0\n"
                             "3 0 2 -1 1 0 0 0 0 0 1 0 0 1.5 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0"}};
}

struct Result {
    std::vector<int> times;
    std::vector<double> x[2], density[2], pressure[2], temperature[2];   // of each room
    std::string csm, log;
};

class TransportMethods : public E2eTest, public ::testing::WithParamInterface<Row> {
protected:
    // The row run by `method` at its coarse (level 0) or fine step or tolerance.
    Result run(const Row& row, Method method, int level)
    {
        std::vector<Edit> e = row.edits;
        const bool heavyGas = row.building != nullptr;
        int solver = method == SHORT_STEP ? 1 : method == STIFF ? 2 : 0;
        e.push_back({"2 0 0 0.1 0 0", std::to_string(solver) + " 0 0 0.1 0 0"});
        const std::string theta = method == TRAPEZOIDAL ? "0.5" : "1";
        const std::string tol = level ? "1e-7" : "1e-5";
        if (heavyGas) {
            e.push_back({"0 1 100 1e-6 1e-15 1.1 1 0", "0 1 100 1e-9 1e-15 1.1 " + theta + " 0"});
            e.push_back({"0 1 100 1e-4 1e-15 1.1 1 0", "0 1 100 1e-9 1e-15 1.1 " + theta + " 0"});
            e.push_back({"0 1e-6 1e-12 0", "0 " + tol + " 1e-12 0"});
            e.push_back({"1 0 10 0 0 0 0", std::string("1 0 10 0 0 0 ") + (row.storage ? "1" : "0")});
            e.push_back({"1 1 30 1e-6 1e-7", "1 1 30 1e-9 1e-7 0.75 0 50 0"});
        } else {
            e.push_back({"0 1 100 1e-4 1e-15 1.1 1 0", "0 1 100 1e-9 1e-15 1.1 " + theta + " 0"});
            e.push_back({"0 1e-8 1e-15 0", "0 " + tol + " 1e-15 0"});
        }
        const char* step = (method == SHORT_STEP ? row.stsSteps : row.steps)[level];
        bool timed = false;
        for (Edit& x : e)
            if (x.first == TIMES) {
                x.second.replace(x.second.find("0:01:00"), 7, step);
                timed = true;
            }
        if (!timed) e.push_back({TIMES, std::string(TIMES) + row.end + " " + step + " 0:10:00 6:00:00"});
        std::string prj = edited(slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/" + row.project), e);
        const std::string noSummary = "\n0 0 0 0 0 0\n0 0 1 1 1\n";
        size_t at = prj.find(noSummary);
        if (at != std::string::npos) prj.replace(at, noSummary.size(), "\n0 0 0 1 0 0\n0 0 1 1 1\n");
        std::ofstream(dir + "room.prj") << prj;
        Outcome o = runEngine("room.prj", "room.prj");
        EXPECT_EQ(o.status, 0) << o.err << o.log;
        Result r;
        r.csm = slurp(dir + "room.csm");
        r.log = o.log;
        std::string sql = std::string("SELECT t.Time, c.ZoneNumber, c.C") + (heavyGas ? "1" : "0") +
                          ", z.Density, z.Pressure, z.Temperature FROM TIME t JOIN NODEZONECCDATA c ON c.TimeID = t.TimeID "
                          "JOIN NODEZONEFLOWDATA z ON z.TimeID = t.TimeID AND z.ZoneNumber = c.ZoneNumber "
                          "ORDER BY t.TimeID, c.ZoneNumber";
        for (const std::vector<double>& v : sqlRows(dir + "room.sqlite3", sql.c_str())) {
            int room = (int)v[1] - 1;
            if (room == 0) r.times.push_back((int)v[0]);
            r.x[room].push_back(v[2]);
            r.density[room].push_back(v[3]);
            r.pressure[room].push_back(v[4]);
            r.temperature[room].push_back(v[5]);
        }
        return r;
    }

    // Largest error of the listed transient against the row's solution: of the rooms' mass
    // fractions relative to the first room's at the end, of the closed room's mass relative
    // to the whole release.
    double error(const Row& row, const Result& r, const std::vector<std::vector<double>>& exact)
    {
        double worst = 0.0;
        for (size_t k = 1; k < r.times.size(); k++) {
            if (!row.building) {
                double m = r.x[0][k] * r.density[0][k] * VOLUME;
                worst = std::max(worst, std::fabs(m - row.released(r.times[k])) / row.released(r.times.back()));
                continue;
            }
            for (int i = 0; i < row.building->rooms; i++)
                worst = std::max(worst, std::fabs(r.x[i].at(k) - exact.at(k)[i]) / exact.back()[0]);
        }
        return worst;
    }

    // What the rooms hold of the CO2 (or of the air) at listing k [kg]: the gas law at each
    // room's pressure and composition (a closed room keeps its density).
    double stored(const Row& row, const Result& r, size_t k, bool air)
    {
        double m = 0.0;
        for (int i = 0; i < (row.building ? row.building->rooms : 1); i++) {
            double M = r.density[i][k] * VOLUME * (heavy::Pbar + r.pressure[i][k]) / heavy::Pbar;
            if (row.building) M = (heavy::Pbar + r.pressure[i][k]) * VOLUME / (heavy::gasConst(r.x[i][k]) * r.temperature[i][k]);
            m += (air ? 1.0 - r.x[i][k] : r.x[i][k]) * M;
        }
        return m;
    }

    // Released less removed against stored plus exchanged for the CO2 (or the air); returns
    // the miss relative to the release (or to the stored change of the air).
    double balanceMiss(const Row& row, const Result& r, bool air, double tol)
    {
        double released = 0.0, removed = 0.0, in = 0.0, out = 0.0;
        if (!air) {
            size_t at = r.csm.find("s/s#");
            EXPECT_NE(at, std::string::npos) << r.csm;
            std::vector<std::string> s = fieldsOf(r.csm.substr(std::min(at, r.csm.size())), "1\t");
            EXPECT_EQ(s.size(), 15u) << r.csm;
            released = num(s, 12);
            removed = num(s, 13);
            EXPECT_GT(released, 0.0) << r.csm;
        }
        if (row.building) {
            size_t at = r.csm.find("Interactions with ambient.");
            EXPECT_NE(at, std::string::npos) << r.csm;
            std::vector<std::string> a = fieldsOf(r.csm.substr(std::min(at, r.csm.size())), air ? "Air\t" : "CO2\t");
            EXPECT_EQ(a.size(), 3u) << r.csm;
            in = num(a, 1);
            out = num(a, 2);
        }
        double change = stored(row, r, r.times.size() - 1, air) - stored(row, r, 0, air);
        double scale = air ? std::fabs(change) : released;
        double gap = released - removed - change - (out - in);
        // The exchange is printed to six digits.
        EXPECT_LE(std::fabs(gap), tol * scale + 6e-6 * (in + out))
            << (air ? "Air" : "CO2") << ": released " << released << " stored " << change << " out " << out
            << " in " << in;
        return std::fabs(gap) / scale;
    }
};

// How closely the summary must balance. The implicit methods integrate the books they
// keep. The short time step carries a zone's start value into the next zone while the
// zone loses its end value: what left a room in one step reaches the next room in the
// next, and when the flow between them reverses, what was on its way is lost. The
// integrator integrates its books along with the masses, to its Newton tolerance; the
// stored mass is read back from listed fractions, at the gas law's air mass, which its
// state meets to its tolerance.
double balanceTolerance(const Row& row, Method m, int level)
{
    if (m == SHORT_STEP && row.building && row.building->rooms > 1)
        return 4e-5 * std::atof(row.stsSteps[level] + 5);
    if (m == STIFF) return std::max(2e-6, 3.0 * (level ? 1e-7 : 1e-5));
    return 1e-6;
}

TEST_P(TransportMethods, TransientFollowsTheSolutionAndTheSummaryBalances)
{
    const Row& row = GetParam();
    std::vector<std::vector<double>> exact;
    if (row.building) exact = heavy::solution(*row.building, 7, 600, row.storage);
    for (Method m : {BACKWARD, TRAPEZOIDAL, SHORT_STEP, STIFF}) {
        if (m == STIFF && row.released == burstReleased) continue;   // the integrator takes no bursts
        SCOPED_TRACE(METHOD_NAMES[m]);
        double err[2], miss[2] = {0.0, 0.0}, airMiss[2] = {0.0, 0.0};
        int steps = 0;
        for (int level = 0; level < 2; level++) {
            Result r = run(row, m, level);
            ASSERT_GE(r.times.size(), 2u) << r.log;
            err[level] = error(row, r, exact);
            miss[level] = balanceMiss(row, r, false, balanceTolerance(row, m, level));
            // The air the outdoors exchanged is the rooms' change of air mass.
            if (row.storage) airMiss[level] = balanceMiss(row, r, true, 5e-3);
            size_t at = r.log.find(" time steps\n");
            if (at != std::string::npos) steps = std::stoi(r.log.substr(r.log.rfind('\n', at) + 1));
        }
        std::printf("[ errors   ] %-16s %-12s %.3e %.3e  csm %.1e %.1e  air %.1e %.1e  steps %d\n", row.name,
                    METHOD_NAMES[m], err[0], err[1], miss[0], miss[1], airMiss[0], airMiss[1], steps);
        EXPECT_LE(err[0], 20.0 * row.bound[m]);
        EXPECT_LE(err[1], row.bound[m]);
        EXPECT_TRUE(err[1] < 0.7 * err[0] || err[1] <= 1e-6) << err[0] << " then " << err[1];
        // A ramp stops the integrator at its points alone: some tens of steps.
        if (m == STIFF && row.released == rampReleased) {
            EXPECT_LT(steps, 200);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, TransportMethods,
    ::testing::Values(
        Row{"HeavyGas", "heavy-gas.prj", &heavy::ONE_ROOM, false, {}, "1:00:00", nullptr,
            {"0:01:00", "0:00:20"}, {"0:00:20", "0:00:05"}, {3e-3, 1e-5, 3e-4, 1e-4}},
        Row{"HeavyGasStorage", "heavy-gas.prj", &heavy::ONE_ROOM, true, {}, "1:00:00", nullptr,
            {"0:01:00", "0:00:20"}, {"0:00:20", "0:00:05"}, {3e-3, 3e-5, 3e-4, 6e-4}},
        Row{"TwoRooms", "heavy-gas.prj", &heavy::TWO_ROOMS, false, twoRooms(), "1:00:00", nullptr,
            {"0:01:00", "0:00:20"}, {"0:00:20", "0:00:05"}, {3e-3, 1e-5, 3e-4, 1e-4}},
        Row{"TwoRoomsStorage", "heavy-gas.prj", &heavy::TWO_ROOMS, true, twoRooms(), "1:00:00", nullptr,
            {"0:01:00", "0:00:20"}, {"0:00:20", "0:00:05"}, {3e-3, 5e-5, 3e-4, 1e-3}},
        Row{"Ramp", "decaying-source.prj", nullptr, false, ramp(), "2:00:00", rampReleased,
            {"0:01:00", "0:00:20"}, {"0:01:00", "0:00:20"}, {3e-3, 1e-6, 3e-3, 1e-6}},
        Row{"Decay", "decaying-source.prj", nullptr, false, {}, "2:00:00", decayReleased,
            {"0:01:00", "0:00:20"}, {"0:01:00", "0:00:20"}, {1.5e-3, 1e-6, 1.5e-3, 1e-6}},
        Row{"Burst", "decaying-source.prj", nullptr, false, burst(), "", burstReleased,
            {"0:01:00", "0:00:20"}, {"0:01:00", "0:00:20"}, {1e-6, 1e-6, 1e-6, 1e-6}}),
    [](const ::testing::TestParamInfo<Row>& i) { return std::string(i.param.name); });

}  // namespace
