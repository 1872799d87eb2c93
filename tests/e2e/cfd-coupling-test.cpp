// End-to-end runs of a CFD zone coupled to the airflow and contaminant network. The zone
// "chan" of tests/e2e/cfd/channel.prj is a laminar channel 6 m long, H = 1 m high and 1 m
// wide (24 x 12 cells, kinematic viscosity 0.01 m2/s); a constant-flow fan blows
// m = 0.12 kg/s into it from outdoors, an orifice (F = 0.1 sqrt(rho) dp^0.5) lets it into a
// room, and a second orifice lets the room out. Its solver input is channel_chan.CFD.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <sqlite3.h>
#include <sys/stat.h>

#include "e2e-util.h"

namespace {

const double M = (double)0.12f;               // fan flow [kg/s]
const double RHO = 101325.0 / (287.055 * (double)293.15f);   // air at the run's state
const double C = 0.1 * std::sqrt(RHO);        // orifice coefficient [kg/(s Pa^0.5)]
const double UM = M / RHO;                    // mean speed in the 1 m2 channel [m/s]
const double MU = 0.01 * RHO;                 // dynamic viscosity [kg/(m s)]

const std::string CFD_LINE = "2 1e-3 0 0 5 1 0 0 0 0";   // coupling mode 2, dump interval 1
const std::string SIM_MF = "0 0 1e-4 1e-15 0 0";
const std::string SIM_AF = "0 1 30 1e-4 1e-5 0.75 0 50 0";
const std::string PATH1 = "1 0 -1 1 2 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 1 in 1 0 1";
const std::string PATH2 = "2 0 1 2 1 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 1 out 1 1 1";

// A double from one column of an SQLite query's first row; NaN without a row.
double query(const std::string& db, const std::string& sql)
{
    sqlite3* h = nullptr;
    double v = std::nan("");
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_double(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return v;
}

std::vector<double> numbers(const std::string& line)
{
    std::istringstream in(line);
    std::vector<double> v;
    for (double x; in >> x;) v.push_back(x);
    return v;
}

// The last row of the path's history table in the ".cmo" file: path, run, CFD iterations,
// coefficient, exponent, boundary pressure computed and used, network flow, CFD flow,
// local pressure, opening conductance.
std::vector<double> lastHistory(const std::string& cmo, int path)
{
    std::istringstream in(cmo);
    std::vector<double> last;
    bool history = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Path  VEXLAR_Run", 0) == 0) history = true;
        else if (line.rfind("CPL ", 0) == 0 || line.empty()) history = false;
        std::vector<double> v = numbers(line);
        if (history && v.size() == 11 && (int)v[0] == path) last = v;
    }
    return last;
}

// The cell-centre x velocity of row j (1 at the low wall) at column i of the result file.
double resultU(const std::string& ret, int i, int j)
{
    std::string J = std::to_string(j);
    size_t at = ret.find("\t\t\t\tJ=" + J + (J.size() < 2 ? " " : "") + "\n");
    if (at == std::string::npos) return std::nan("");
    std::smatch m;
    std::string rest = ret.substr(at);
    std::regex row(" I=" + std::to_string(i) + " *\n U= *(\\S+)");
    return std::regex_search(rest, m, row) ? std::atof(m[1].str().c_str()) : std::nan("");
}

// The orifice law solved for its pressure difference at flow f.
double orificeDp(double f) { return (f / C) * (f / C); }

class CfdCoupling : public E2eTest {
protected:
    // Runs the channel project with its lines edited and the solver input changed by `cfd`.
    Outcome run(std::vector<Edit> edits, bool withCfd = true,
                const std::function<void(std::string&)>& cfd = [](std::string&) {})
    {
        std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
        std::ofstream(dir + "channel.prj") << edited(slurp(src + "channel.prj"), edits);
        std::string text = slurp(src + "channel_chan.CFD");
        cfd(text);
        if (withCfd) std::ofstream(dir + "channel_chan.CFD") << text;
        return runEngine("channel.prj", "channel.prj");
    }
    // Mode 3 with a fourth path: a fan at rest blowing into the channel from outdoors, coupled
    // with boundary kind `kind` as the opening "aux" listed after the opening `after`.
    Outcome runWithFanAtRest(int kind, const std::string& after)
    {
        std::string aux = "4 0 -1 1 4 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 1 aux 1 " +
                          std::to_string(kind) + " 1";
        return run({{CFD_LINE, "3 1e-3 0 0 10 1 0 0 0 0"},
                    {"3 ! paths", "4 ! paths"},
                    {"3 0 2 -1 1", "3 0 2 -1 1 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0\n" + aux}},
                   true, [&](std::string& t) {
                       t.replace(t.find("! 36\n1,1\n"), 9, "! 36\n2,1\n");
                       size_t at = t.find("! end of opening\n", t.find("\n" + after + "\n")) + 17;
                       t.insert(at, "! aux\n! aux\naux\n! x\n3,4\n! y\n1,1\n! z\n1,1\n! end\n");
                   });
    }
    std::string db() const { return dir + "channel.sqlite3"; }
    double zonePressure(int zone) const
    {
        return query(db(), "SELECT Pressure FROM NODEZONEFLOWDATA WHERE ZoneNumber = " + std::to_string(zone));
    }
    double pathFlow(int path) const
    {
        return query(db(), "SELECT Flow0 FROM LINKPATHDATA WHERE PathNumber = " + std::to_string(path));
    }
    double zoneConc(int zone) const
    {
        return query(db(), "SELECT C0 FROM NODEZONECCDATA WHERE ZoneNumber = " + std::to_string(zone) +
                               " ORDER BY TimeID DESC");
    }
    // The developed section (x = 4.6 m) carries 6 Um eta (1 - eta) [the discrete wall term
    // of 12 cells is worth about 1 % of Um].
    void expectDevelopedProfile()
    {
        std::string ret = slurp(dir + "channel_chan.ret");
        for (int j = 1; j <= 12; j++) {
            double eta = (j - 0.5) / 12;
            EXPECT_NEAR(resultU(ret, 19, j), 6 * UM * eta * (1 - eta), 0.012 * UM) << "row " << j;
        }
    }
};

// Mode 2 solves the network with its own laws and then the channel once with the
// network's flows: every path carries the fan flow, the orifices set the pressures.
TEST_F(CfdCoupling, OneWayCouplingCarriesTheNetworkFlowThroughTheChannel)
{
    Outcome r = run({});
    ASSERT_EQ(r.status, 0) << r.err;
    for (int p = 1; p <= 3; p++) EXPECT_NEAR(pathFlow(p), M, 1e-4 * M) << "path " << p;
    EXPECT_NEAR(zonePressure(2), orificeDp(M), 2e-4 * orificeDp(M));
    EXPECT_NEAR(zonePressure(1), 2 * orificeDp(M), 2e-4 * orificeDp(M));
    std::vector<double> out = lastHistory(slurp(dir + "channel_chan.cmo"), 2);
    ASSERT_EQ(out.size(), 11u);
    EXPECT_NEAR(out[8], -M, 1e-4 * M);   // the channel lets out what the network carries
    expectDevelopedProfile();
}

// Both channel walls listed as temperature walls (the energy equation is off, so only their
// shear acts): each wall still drags once, and the developed section keeps the laminar
// profile.
TEST_F(CfdCoupling, ListedWallsOnTheChannelFacesKeepTheLaminarProfile)
{
    Outcome r = run({}, true, [](std::string& t) {
        std::string walls;
        for (const char* j : {"1,1", "12,12"})
            walls += std::string("! wall\n!\n! x cells\n1,24\n! y cells\n") + j +
                     "\n! z cells\n1,1\n! temperature\n20\n";
        t.replace(t.find("! 46\n0\n"), 7, "! 46\n2\n" + walls);
    });
    ASSERT_EQ(r.status, 0) << r.err;
    expectDevelopedProfile();
}

// Mode 3 iterates: the channel's outlet is a pressure opening whose law (1 kg/(s m2 Pa))
// and the channel's own pressure drop replace the orifice between channel and room.
TEST_F(CfdCoupling, IteratedCouplingTakesTheChannelsPressures)
{
    Outcome r = run({{CFD_LINE, "3 1e-3 0 0 10 1 0 0 0 0"}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\nAirflow coupling converge at iteration 2\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");   // the solver's progress goes with the engine's, to standard error
    std::vector<double> out = lastHistory(slurp(dir + "channel_chan.cmo"), 2);
    ASSERT_EQ(out.size(), 11u);
    double room = zonePressure(2);
    EXPECT_NEAR(room, orificeDp(M), 2e-4 * orificeDp(M));
    EXPECT_NEAR(out[5], room, 1e-5);                 // boundary pressure from the network
    EXPECT_NEAR(out[10], 1.0, 1e-6);                 // conductance: the outlet's 1 m2
    EXPECT_NEAR(out[9], room + M / 1.0, 1e-4);       // local pressure drives m through it
    EXPECT_NEAR(out[7], out[8], 1e-4 * M);           // network and channel flows agree
    EXPECT_NEAR(pathFlow(2), M, 1e-4 * M);
    // The zone's pressure is the channel's mean: the outlet's plus 12 mu Um / H^2 over the
    // 2.875 m from the middle to the last cells (the entrance adds a little).
    double drop = 12 * MU * UM * 2.875;
    EXPECT_NEAR(zonePressure(1) - out[9], drop, 0.15 * drop);
    expectDevelopedProfile();
}

// Mode 1 runs the channel once on the network's solution and hands nothing back: the
// network keeps its orifice pressures and solves the CO2 itself, while the channel's
// pressure outlet (1 kg/(s m2 Pa) over 1 m2) lets the fan flow out at the room's pressure
// plus m / 1 m2.
TEST_F(CfdCoupling, OneWayModeKeepsTheNetworksOwnSolution)
{
    Outcome r = run({{CFD_LINE, "1 1e-3 0 0 5 1 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"},
                     {"1 0.000", "1 6.08e-4"}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(zonePressure(1), 2 * orificeDp(M), 2e-4 * orificeDp(M));
    double room = zonePressure(2);
    EXPECT_NEAR(room, orificeDp(M), 2e-4 * orificeDp(M));
    std::vector<double> out = lastHistory(slurp(dir + "channel_chan.cmo"), 2);
    ASSERT_EQ(out.size(), 11u);
    EXPECT_EQ(out[1], 2.0);                          // one CFD solution
    EXPECT_NEAR(out[5], room, 1e-5);
    EXPECT_NEAR(out[8], -M, 1e-4 * M);
    EXPECT_NEAR(out[9], room + M / 1.0, 1e-4);
    double G = (double)1e-5f, cin = (double)6.08e-4f;
    EXPECT_NEAR(zoneConc(2), (M * cin + G) / M, 2e-4 * (M * cin + G) / M);
    expectDevelopedProfile();
}

// A CO2 release G = 1e-5 kg/s in the channel (a block named after the project source) on
// outdoor air at 6.08e-4: the channel lets out (m 6.08e-4 + G) / m, and the room, fed only
// by the channel, holds the same.
TEST_F(CfdCoupling, PassiveScalarLeavesAtTheMassBalanceConcentration)
{
    Outcome r = run({{CFD_LINE, "3 1e-3 0 0 10 1 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"},
                     {"1 0.000", "1 6.08e-4"}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\nContaminant coupling converge at iteration 1\n"), std::string::npos);
    double G = (double)1e-5f, cin = (double)6.08e-4f;
    double cout = (M * cin + G) / M;
    std::string cmo = slurp(dir + "channel_chan.cmo");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(cmo, m, std::regex("\n0   (\\S+) \\[kg/s\\]  (\\S+) \\[kg/s\\]  (\\S+) \\[kg/kg\\]")))
        << cmo;
    EXPECT_NEAR(-std::atof(m[3].str().c_str()), cout, 1e-5 * cout);   // what left the channel
    EXPECT_NEAR(zoneConc(2), cout, 2e-4 * cout);   // the room's balance, at network tolerance
    // The coupling's files are named after the project and the zone's CFD name.
    for (const char* ext : {".cmo", ".mon", ".bal", ".ret", ".dat", ".var"})
        EXPECT_TRUE(exists(dir + "channel_chan" + ext)) << ext;
    EXPECT_TRUE(exists(dir + "channel.cpr"));
    // A restart from the coupling restart and the fields reaches the same without iterating.
    std::string cpr = slurp(dir + "channel.cpr");
    EXPECT_EQ(cpr.rfind("in\n 0 ", 0), 0u) << cpr;
    EXPECT_NE(cpr.find("\nout\n 1 "), std::string::npos) << cpr;
    double room = zoneConc(2);
    Outcome again = run({{CFD_LINE, "3 1e-3 1 0 10 1 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"},
                         {"1 0.000", "1 6.08e-4"}});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err.find("Airflow coupling converge"), std::string::npos);
    EXPECT_NEAR(zoneConc(2), room, 1e-6 * room);
}

// The fan moved to the room's exhaust: outdoor air enters the channel through an orifice
// coupled as a pressure inlet. A restart takes the inlet's boundary pressure, coefficient
// and exponent from the coupling restart file and, with the saved fields, passes the fan's
// flow and the mass-balance concentration (m c_in + G) / m without iterating.
TEST_F(CfdCoupling, RestartReadsThePressureInletsEntry)
{
    const std::string inlet = "1 0 -1 1 1" + PATH1.substr(10, PATH1.size() - 15) + "1 1 1";
    const std::string exhaust = "3 0 2 -1 2 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0";
    std::vector<Edit> edits = {{CFD_LINE, "3 1e-3 0 0 40 1 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"},
                               {"1 0.000", "1 6.08e-4"}, {PATH1, inlet},
                               {"3 0 2 -1 1 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0", exhaust}};
    Outcome r = run(edits);
    ASSERT_EQ(r.status, 0) << r.err;
    double G = (double)1e-5f, cin = (double)6.08e-4f, cout = (M * cin + G) / M;
    std::vector<double> in = lastHistory(slurp(dir + "channel_chan.cmo"), 1);
    ASSERT_EQ(in.size(), 11u);
    EXPECT_NEAR(in[8], M, 1e-3 * M);   // the fan's flow, to the coupling's criterion
    EXPECT_NEAR(zoneConc(2), cout, 2e-4 * cout);
    std::string cpr = slurp(dir + "channel.cpr");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(cpr, m, std::regex(R"(^in\n 0 (\S+) )"))) << cpr;
    EXPECT_NEAR(std::atof(m[1].str().c_str()), in[5], 1e-9 + 1e-6 * fabs(in[5]));   // boundary pressure
    edits[0].second = "3 1e-3 1 0 40 1 0 0 0 0";
    Outcome again = run(edits);
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err.find("Airflow coupling converge"), std::string::npos);
    std::vector<double> in2 = lastHistory(slurp(dir + "channel_chan.cmo"), 1);
    ASSERT_EQ(in2.size(), 11u);
    EXPECT_NEAR(in2[6], in[5], 1e-9 + 1e-6 * fabs(in[5]));   // the boundary pressure used
    EXPECT_NEAR(in2[8], in[8], 1e-9);
    EXPECT_NEAR(zoneConc(2), cout, 2e-4 * cout);
}

// A simple air-handling system instead of the fan: it supplies m = 0.12 kg/s of outdoor air
// (no recirculation) into the channel and returns as much from it; the orifice to the room
// carries nothing. The channel passes m from the supply to the return, and the return
// receives the channel's outflow (m c_in + G) / m of CO2 while the supply holds c_in.
TEST_F(CfdCoupling, AirHandlingSupplyAndReturnPassThroughTheChannel)
{
    const std::string system = "0 0 0 1 0 1 293.15 0 ";
    const std::string none = " 1 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0";
    const std::string room = "2 3 0 0 0 1 0 50 293.15 0 Room 0 0 0 0 0 0 0 0";
    const std::string path3 = "3 0 2 -1 1 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0";
    Outcome r = run({{CFD_LINE, "3 1e-3 0 0 10 1 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"},
                     {"1 0.000", "1 6.08e-4"}, {"2 0.000", "2 0.000\n3 0.000\n4 0.000"},
                     {"0 ! systems", "1 ! systems\n1 3 4 5 6 7 0 ahs\nA simple air-handling system"},
                     {"2 ! zones", "4 ! zones"}, {"2 ! zone concentrations", "4 ! zone concentrations"},
                     {room, room + "\n3 10 " + system + "AhsR 0 0 0 0 0 0 0 0\n4 10 " + system + "AhsS 0 0 0 0 0 0 0 0"},
                     {"3 ! paths", "7 ! paths"},
                     {PATH1, "1 8 4 1 1 0 0 1 0 0 1 0 0 0 1 0 1 180 0.12 0 0 0 0 0 0 0 0 0 0 1 in 1 0 1"},
                     {path3, path3 + "\n4 8 1 3 1 0 0 1 0 0 1 0 0 0 1 0 1 180 0.12 0 0 0 0 0 0 0 0 0 0 1 ret 1 0 1\n"
                      "5 16 3 4" + none + "\n6 32 -1 4" + none + "\n7 64 3 -1" + none}},
                    true, [](std::string& t) {
                        t.replace(t.find("! 36\n1,1\n"), 9, "! 36\n1,2\n");
                        t.replace(t.find("\nout\n"), 5, "\nret\n");
                        size_t at = t.find("! end of opening\n", t.find("\nret\n")) + 17;
                        t.insert(at, "! out\n! out\nout\n! x\n20,24\n! y\n12,12\n! z\n1,1\n! end\n");
                    });
    ASSERT_EQ(r.status, 0) << r.err;
    std::string cmo = slurp(dir + "channel_chan.cmo");
    std::vector<double> in = lastHistory(cmo, 1), ret = lastHistory(cmo, 4), out = lastHistory(cmo, 2);
    ASSERT_EQ(in.size(), 11u);
    ASSERT_EQ(ret.size(), 11u);
    ASSERT_EQ(out.size(), 11u);
    EXPECT_NEAR(in[8], M, 1e-6);
    EXPECT_NEAR(ret[7], -M, 1e-6);   // the network's return flow, leaving the channel
    EXPECT_NEAR(ret[8], -M, 1e-6);   // and the channel's
    EXPECT_EQ(out[8], 0.0);
    double G = (double)1e-5f, cin = (double)6.08e-4f, cout = (M * cin + G) / M;
    EXPECT_NEAR(zoneConc(3), cout, 2e-4 * cout);
    EXPECT_NEAR(zoneConc(4), cin, 1e-6 * cin);
    expectDevelopedProfile();
}

// With steady airflow the transient contaminant steps still move the solver's clock: one
// step of the channel per 10-minute step, the room rising toward the channel's outflow.
TEST_F(CfdCoupling, TransientContaminantsOverSteadyAirflowAdvanceTheSolverTime)
{
    Outcome r = run({{SIM_MF, "2 0 1e-4 1e-15 0 0"},
                     {"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00", "Jan01 0:00:00 Jan01 0:00:00 Jan01 1:00:00 0:10:00 0:10:00 0:10:00"}});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bal = slurp(dir + "channel_chan.bal");
    for (int t = 600; t <= 3600; t += 600)
        EXPECT_NE(bal.find("CFD simulation time " + std::to_string(t) + ".000000\n"), std::string::npos) << t;
    std::string mon = slurp(dir + "channel_chan.mon");
    EXPECT_NE(mon.find("\n01:00:00\t"), std::string::npos) << mon;
    // One Tecplot frame per output time: the start and every 10 minutes.
    std::string dat = slurp(dir + "channel_chan.dat");
    std::vector<std::string> frames;
    std::regex zone("ZONE T=\"Time ([0-9:]+)\"");
    for (auto it = std::sregex_iterator(dat.begin(), dat.end(), zone); it != std::sregex_iterator(); ++it)
        frames.push_back((*it)[1]);
    EXPECT_EQ(frames, (std::vector<std::string>{"00:00:00", "00:10:00", "00:20:00", "00:30:00", "00:40:00",
                                                "00:50:00", "01:00:00"}));
}

// A transient run iterates every step; the paths keep the channel's law and pressures from
// one step to the next, so each step converges at once and the channel passes the fan's
// flow on to the room.
TEST_F(CfdCoupling, TransientIteratedCouplingConvergesEveryStep)
{
    Outcome r = run({{CFD_LINE, "3 1e-3 0 0 10 1 0 0 0 0"}, {SIM_AF, "1 1 30 1e-4 1e-5 0.75 0 50 0"},
                     {"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00", "Jan01 0:00:00 Jan01 0:00:00 Jan01 1:00:00 0:10:00 0:10:00 0:10:00"}});
    ASSERT_EQ(r.status, 0) << r.err;
    size_t count = 0;
    for (size_t at = 0; (at = r.err.find("\nAirflow coupling converge at iteration 2\n", at)) != std::string::npos; at++)
        count++;
    EXPECT_EQ(count, 7u) << r.err;   // the initial state and six steps
    EXPECT_NEAR(query(db(), "SELECT MAX(Flow0) FROM LINKPATHDATA WHERE PathNumber = 2"), M, 1e-4 * M);
    EXPECT_NEAR(query(db(), "SELECT MIN(Flow0) FROM LINKPATHDATA WHERE PathNumber = 2"), M, 1e-4 * M);
    EXPECT_NEAR(query(db(), "SELECT MAX(Pressure) FROM NODEZONEFLOWDATA WHERE ZoneNumber = 2"), orificeDp(M),
                2e-4 * orificeDp(M));
}

// With an iteration limit of 1 the second exchange declares convergence at once; a dump
// interval of 0 writes every iteration (it is a divisor, taken as 1).
TEST_F(CfdCoupling, IterationLimitOfOneConvergesAtTheFirstIteration)
{
    Outcome r = run({{CFD_LINE, "3 1e-3 0 0 1 0 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\nAirflow coupling converge at iteration 1\n"), std::string::npos) << r.err;
    std::vector<double> out = lastHistory(slurp(dir + "channel_chan.cmo"), 2);
    ASSERT_EQ(out.size(), 11u);
    EXPECT_EQ(out[1], 2.0);   // the final row follows iteration 1
}

// A fan at rest blowing into the channel is an inlet without flow: it stays in the inlet
// arrays, so the channel reports no flow for it, not another opening's.
TEST_F(CfdCoupling, InletWithoutFlowReadsItsOwnOpening)
{
    Outcome r = runWithFanAtRest(0, "in");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string cmo = slurp(dir + "channel_chan.cmo");
    std::vector<double> aux = lastHistory(cmo, 4), out = lastHistory(cmo, 2);
    ASSERT_EQ(aux.size(), 11u);
    ASSERT_EQ(out.size(), 11u);
    EXPECT_EQ(aux[8], 0.0);
    EXPECT_NEAR(out[8], -M, 1e-4 * M);
}

// A fan at rest coupled as a boundary-kind-4 opening and listed after the pressure outlet:
// the outlet still sets the channel's pressure level, so the channel lets the fan flow out
// at the room's pressure plus m / 1 m2, as without it.
TEST_F(CfdCoupling, CoupledOpeningAfterThePressureOutletKeepsItsLevel)
{
    Outcome r = runWithFanAtRest(4, "out");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\nAirflow coupling converge at iteration 2\n"), std::string::npos) << r.err;
    std::vector<double> out = lastHistory(slurp(dir + "channel_chan.cmo"), 2);
    ASSERT_EQ(out.size(), 11u);
    EXPECT_NEAR(out[8], -M, 1e-4 * M);
    EXPECT_NEAR(out[9], zonePressure(2) + M / 1.0, 1e-4);
}

// ---- Solves stopped by their iteration limits ---------------------------------------------------

// An airflow solve of the channel stopped at its limit before its criterion says so with a
// WARNING, on standard error and in the solver log, and the coupling then does not claim
// convergence; nor does a coupling that runs out of exchanges before the flows agree.
struct Unconverged {
    const char* name;
    std::vector<Edit> edits;
    std::string cfdFrom, cfdTo;   // a line of the solver input and its replacement
    const char* warning;          // the WARNING's opening words; "" for none
    const char* claim;            // the convergence line that must not appear
    const char* said;             // the line that must appear instead; "" for none
};

// Iterated coupling of the CO2 of the outdoor air (6.08e-4) and of the channel's source.
const std::vector<Edit> STEADY_CO2 = {
    {CFD_LINE, "3 1e-3 0 0 10 1 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"}, {"1 0.000", "1 6.08e-4"}};

class CfdUnconverged : public CfdCoupling, public ::testing::WithParamInterface<Unconverged> {};

TEST_P(CfdUnconverged, IsSaidAndNotReportedAsConverged)
{
    const Unconverged& u = GetParam();
    Outcome r = run(u.edits, true, [&](std::string& t) {
        if (u.cfdFrom.empty()) return;
        size_t at = t.find("\n" + u.cfdFrom + "\n");
        ASSERT_NE(at, std::string::npos) << u.cfdFrom;
        t.replace(at + 1, u.cfdFrom.size(), u.cfdTo);
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find(u.claim), std::string::npos) << r.err;
    if (*u.said) {
        EXPECT_NE(r.err.find(u.said), std::string::npos) << r.err;
    }
    std::string bal = slurp(dir + "channel_chan.bal");
    if (!*u.warning) {
        EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;
        return;
    }
    EXPECT_NE(r.err.find(std::string("WARNING ") + u.warning), std::string::npos) << r.err;
    EXPECT_NE(bal.find(std::string("WARNING ") + u.warning), std::string::npos) << bal;
}

// Species solved to 1e-9 with 2 iterations allowed: the openings' concentrations agree at
// once, but the zone's are not converged. The residual in the WARNING is the one the last
// residual line shows, after the limit and one more iteration (the solve stops once its
// count exceeds the limit).
TEST_F(CfdCoupling, ContaminantSolveAtItsLimitWarnsWithItsResidualAndIsNotReportedAsConverged)
{
    Outcome r = run(STEADY_CO2, true, [](std::string& t) { t.replace(t.find("1e-9,500,"), 9, "1e-9,2,"); });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Contaminant coupling converge"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("WARNING CFD contaminant 1 equation stopped at its iteration limit 2 with residual "),
              std::string::npos) << r.err;
    // The species it solved so far miss their balance; the WARNING says its tolerance is relative.
    EXPECT_TRUE(std::regex_search(r.err, std::regex("WARNING CFD zone channel_chan species 1 balance misses by \\S+ "
                                                    "kg/s: input \\S+, output \\S+, stored \\S+ kg/s, relative "
                                                    "tolerance 1.0e-06 of the larger flow\n")))
        << r.err;
    std::string bal = slurp(dir + "channel_chan.bal");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(bal, m, std::regex(" I=(\\d+), R=(\\S+), C=\\S+\nWARNING CFD contaminant 1 equation "
                                                     "stopped at its iteration limit 2 with residual (\\S+) above its "
                                                     "criterion 1.00e-09\n")))
        << bal;
    EXPECT_EQ(m[1].str(), "3");
    double line = std::atof(m[2].str().c_str()), warned = std::atof(m[3].str().c_str());
    EXPECT_GT(line, 1e-9);
    EXPECT_NEAR(warned, line, 0.01 * line);
}

// Handed the network's flows, which balance only to the network's tolerance, the channel's
// continuity stalls above 1e-6 in every solve of a transient run: standard error hears of it
// once, the run's log and the solver log at every solve (the start and six steps).
TEST_F(CfdCoupling, SolveStoppedAtItsLimitEveryStepIsWarnedOnceAndLoggedEveryTime)
{
    Outcome r = run({{SIM_AF, "1 1 30 1e-4 1e-5 0.75 0 50 0"},
                     {"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00",
                      "Jan01 0:00:00 Jan01 0:00:00 Jan01 1:00:00 0:10:00 0:10:00 0:10:00"}},
                    true, [](std::string& t) { t.replace(t.find("\n1e-6,3000\n"), 11, "\n1e-6,300\n"); });
    ASSERT_EQ(r.status, 0) << r.err;
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at++) n++;
        return n;
    };
    const std::string warning = "WARNING CFD continuity equation stopped at its iteration limit 300 with residual ";
    EXPECT_EQ(count(r.err, warning), 1u) << r.err;
    EXPECT_EQ(count(slurp(dir + "channel_chan.bal"), warning), 7u);
    EXPECT_EQ(count(r.log, "CFD continuity equation stopped at its iteration limit 300"), 7u) << r.log;
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CfdUnconverged,
    ::testing::Values(
        // Flows to agree within 10 %, the airflow allowed 300 iterations a solve: the flows
        // agree at the second exchange, but the zone's continuity is still far from 1e-6.
        Unconverged{"AirflowSolve", {{CFD_LINE, "3 1e-1 0 0 10 1 0 0 0 0"}}, "1e-6,3000", "1e-6,300",
                    "CFD continuity equation stopped at its iteration limit 300 with residual ",
                    "Airflow coupling", ""},
        // Converged solves, but flows asked to agree to 1e-12 within 3 exchanges.
        Unconverged{"AirflowCoupling", {{CFD_LINE, "3 1e-12 0 0 3 1 0 0 0 0"}}, "", "", "",
                    "Airflow coupling converge", "\nAirflow coupling reach the maximum iteration 3\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- A room that is its own mirror image ----------------------------------------------------

// The zone "room" of tests/e2e/cfd/room.prj: 4 x 3 x 2.5 m in cells of 0.5 m, laminar
// (0.01 m2/s), energy off; a fan supplies 0.12 kg/s through an opening of 1 x 1 m centred in
// the width of the x = 0 wall near the ceiling, an orifice exhausts it through one centred
// in the x = 4 m wall at the floor, and a source block stands centred between them. With
// nothing to tell one side from the other, the steady field must be a mirror image of
// itself, to the iteration's criterion (1e-8).
struct MirrorRoom {
    const char* name;
    std::vector<int> axes;       // normals of the room's mirror planes: 0 x, 1 y, 2 z
    std::vector<std::string> locations;   // x, y and z cells of supply, exhaust and block
};

class CfdMirrorRoom : public E2eTest, public ::testing::WithParamInterface<MirrorRoom> {
protected:
    static constexpr int NI = 10, NJ = 8, NK = 7;   // 8 x 6 x 5 cells and the ghost layers

    // Largest departure from the mirror image across the mid-plane normal to axis t, as a
    // fraction of the largest speed, of the velocities u(f, p) (f 0 U, 1 V, 2 W at array
    // indices p): each against that of the mirror position, the component along t with its
    // sign turned. A staggered component lies on its cells' high faces, which mirror to
    // n - index; a value at a cell centre mirrors to n + 1 - index.
    template <class Velocity> static double asymmetry(int t, bool staggered, Velocity u)
    {
        const int n[3] = {NI, NJ, NK};
        double top = 0.0, worst = 0.0;
        int p[3];
        for (p[0] = 1; p[0] <= NI; p[0]++)
            for (p[1] = 1; p[1] <= NJ; p[1]++)
                for (p[2] = 1; p[2] <= NK; p[2]++)
                    for (int f = 0; f < 3; f++) {
                        int m[3] = {p[0], p[1], p[2]};
                        m[t] = staggered && f == t ? n[t] - p[t] : n[t] + 1 - p[t];
                        top = std::max(top, std::fabs(u(f, p)));
                        if (m[t] < 1) continue;
                        double sign = f == t ? -1.0 : 1.0;
                        worst = std::max(worst, std::fabs(u(f, p) - sign * u(f, m)));
                    }
        return worst / top;
    }
};

// The cell-centre velocities U, V, W of the first frame of a Tecplot file of an NI x NJ x NK
// zone without species, three per point in the file's order (i fastest, then j, then k).
std::vector<double> datVelocities(const std::string& dat, int ni, int nj, int nk)
{
    std::vector<double> uvw;
    size_t zone = dat.find("\nZONE T=");
    if (zone == std::string::npos) return uvw;
    std::istringstream in(dat.substr(dat.find('\n', zone + 1) + 1));
    // X, Y, Z, BLANK, OBJECTS, T, P, VIS, U, V, W, VTT
    double v[12];
    for (int point = 0; point < ni * nj * nk; point++) {
        for (double& x : v) in >> x;
        if (!in) return {};
        uvw.insert(uvw.end(), {v[8], v[9], v[10]});
    }
    return uvw;
}

// The cell ranges of the opening or block named on a line of the solver input replaced.
void relocate(std::string& t, const std::string& name, const std::string& x, const std::string& y,
              const std::string& z)
{
    size_t at = t.find("\n" + name + "\n");
    ASSERT_NE(at, std::string::npos) << name;
    std::istringstream in(t.substr(at + name.size() + 2));
    std::string lines[6];
    for (std::string& l : lines) std::getline(in, l);
    std::string old = "\n" + name + "\n";
    for (std::string& l : lines) old += l + "\n";
    t.replace(at, old.size(), "\n" + name + "\n! x cells\n" + x + "\n! y cells\n" + y + "\n! z cells\n" + z + "\n");
}

TEST_P(CfdMirrorRoom, SteadyFieldIsItsOwnMirrorImage)
{
    const MirrorRoom& c = GetParam();
    std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
    copyInto(dir, src + "room.prj");
    std::string cfd = slurp(src + "room_room.CFD");
    const char* names[3] = {"supply", "exhaust", "src block"};
    for (size_t e = 0; e < c.locations.size(); e += 3)
        relocate(cfd, names[e / 3], c.locations[e], c.locations[e + 1], c.locations[e + 2]);
    std::ofstream(dir + "room_room.CFD") << cfd;
    Outcome r = runEngine("room.prj", "room.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\nAirflow coupling converge at iteration 2\n"), std::string::npos) << r.err;
    // The solved faces, as the field restart file holds them (six doubles per cell, k fastest).
    std::string var = slurp(dir + "room_room.var");
    ASSERT_EQ(var.size(), sizeof(double) * 6 * NI * NJ * NK);
    std::vector<double> fields(6 * NI * NJ * NK);
    std::memcpy(fields.data(), var.data(), var.size());
    auto face = [&](int f, const int* p) { return fields[(((p[0] - 1) * NJ + p[1] - 1) * NK + p[2] - 1) * 6 + f]; };
    // The cell centres a user plots from the Tecplot file, read at its 7 significant digits.
    std::vector<double> centres = datVelocities(slurp(dir + "room_room.dat"), NI, NJ, NK);
    ASSERT_EQ(centres.size(), 3u * NI * NJ * NK);
    auto centre = [&](int f, const int* p) { return centres[(((p[2] - 1) * NJ + p[1] - 1) * NI + p[0] - 1) * 3 + f]; };
    for (int t : c.axes) {
        EXPECT_LT(asymmetry(t, true, face), 1e-6) << "mirror plane normal to axis " << t;
        EXPECT_LT(asymmetry(t, false, centre), 1e-5) << "Tecplot file, mirror plane normal to axis " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, CfdMirrorRoom,
    ::testing::Values(
        // As the file has it: symmetric across the room's width.
        MirrorRoom{"SupplyCentredInTheWidth", {1}, {}},
        // Supply and exhaust centred on the two y walls, the block in the middle: symmetric
        // across x and z, so that u and w are the velocities along the openings.
        MirrorRoom{"OpeningsCentredOnTheSideWalls", {0, 2},
                   {"4,5", "1,1", "2,4", "4,5", "6,6", "2,4", "4,5", "3,4", "2,4"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A transient run starts the zone's species from the project's initial concentration. The
// room of room.prj (30 m3) at 0.002 kg/kg, outdoor air free of the species, the fan at
// m = 0.012 kg/s and mode 2: it lists 0.002 at the start, and at 10 min its monitoring cell
// follows the well-mixed decay c0 exp(-m t / (rho V)) = 1.639e-3; the room's jet leaves it
// 2.5 % below, so 5 % separates it from a zone that started at 0.
TEST_F(CfdCoupling, TransientStartFromTheInitialConcentrationFollowsTheWellMixedDecay)
{
    std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
    std::ofstream(dir + "room.prj") << edited(
        slurp(src + "room.prj"),
        {{"0 1 30 1e-4 1e-5 0.75 0 50 0", "1 1 30 1e-4 1e-5 0.75 0 50 0"}, {SIM_MF, "2 0 1e-4 1e-15 0 0"},
         {"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 0:10:00 1:00:00 6:00:00",
          "Jan01 0:00:00 Jan01 0:00:00 Jan01 0:10:00 0:01:00 0:10:00 0:10:00"},
         {"1 0.000", "1 0.002"}, {"1e-5 0 0 0", "0 0 0 0"}, {"0.12", "0.012"},
         {"1 0 0 44.0 0 0 0 1.6e-5 6.08e-4", "1 0 0 44.0 0 0 0 1.6e-5 0 840 0 0 0 0 0 0 CO2"},
         {"3 1e-3 0 0 10 1 0 0 0 0", "2 1e-3 0 0 10 1 0 0 0 0"}});
    std::ofstream(dir + "room_room.CFD") << edited(slurp(src + "room_room.CFD"), {{"1e-8,5000", "1e-5,5000"}});
    Outcome r = runEngine("room.prj", "room.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string db = dir + "room.sqlite3";
    auto at = [&](int t) {
        return query(db, "SELECT C0 FROM NODEZONECCDATA JOIN TIME USING (TimeID) WHERE ZoneNumber = 1 "
                         "AND Time = " + std::to_string(t));
    };
    double c0 = (double)0.002f, m = (double)0.012f;
    EXPECT_NEAR(at(0), c0, 1e-9);
    double mixed = c0 * std::exp(-m * 600 / (RHO * 30));
    EXPECT_NEAR(at(600), mixed, 0.05 * mixed);
}

// Modes 2 and 3 of a transient run write the exfiltration files and the contaminant summary
// asked for, and book what the uncoupled network books: over one hour the fan brings in
// m c_out t = 0.12 x 6.08e-4 x 3600 = 0.26266 kg of CO2, and the building lets out what the
// network's own channel (mode 0) lets out.
class CfdCouplingBooks : public CfdCoupling, public ::testing::WithParamInterface<int> {
protected:
    // The .cex file's "Sum" and the .csm's mass from and to the ambient [kg].
    std::vector<double> books(int mode)
    {
        std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
        std::string prj = edited(slurp(src + "channel.prj"),
                                 {{SIM_AF, "1 1 30 1e-4 1e-5 0.75 0 50 0"}, {SIM_MF, "2 0 1e-4 1e-15 0 0"},
                                  {"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00",
                                   "Jan01 0:00:00 Jan01 0:00:00 Jan01 1:00:00 0:10:00 0:10:00 0:10:00"},
                                  {CFD_LINE, std::to_string(mode) + " 1e-3 0 0 5 1 0 0 0 0"}});
        // csm on; cex_bldg and cex_ctm on
        std::ofstream(dir + "channel.prj") << replaced(prj, {{"0 0 0 0 0 0\n0 0 1 1 1\n1.2041",
                                                              "0 0 0 1 0 0\n1 1 1 1 1\n1.2041"}});
        copyInto(dir, src + "channel_chan.CFD");
        Outcome r = runEngine("channel.prj", "channel.prj");
        EXPECT_EQ(r.status, 0) << r.err;
        std::smatch m;
        std::string cex = slurp(dir + "channel.cex"), csm = slurp(dir + "channel.csm");
        EXPECT_TRUE(exists(dir + "channel_CO2.cex"));
        if (!std::regex_search(cex, m, std::regex("\nSum\t\t(\\S+)\n"))) return {};
        double sum = std::atof(m[1].str().c_str());
        if (!std::regex_search(csm, m, std::regex("\nCO2\t(\\S+)\t(\\S+)\n"))) return {};
        return {sum, std::atof(m[1].str().c_str()), std::atof(m[2].str().c_str())};
    }
};

TEST_P(CfdCouplingBooks, TransientRunWritesTheExfiltrationTheNetworkBooks)
{
    std::vector<double> network = books(0);
    std::vector<double> coupled = books(GetParam());
    ASSERT_EQ(network.size(), 3u);
    ASSERT_EQ(coupled.size(), 3u) << "no exfiltration or summary file";
    double in = M * (double)6.08e-4f * 3600;
    EXPECT_NEAR(coupled[1], in, 1e-4 * in);
    EXPECT_NEAR(coupled[2], coupled[0], 1e-5 * coupled[0]);   // the summary books what the .cex lists
    EXPECT_NEAR(coupled[0], network[0], 1e-3 * network[0]);
}

INSTANTIATE_TEST_SUITE_P(Modes, CfdCouplingBooks, ::testing::Values(2, 3));

// A transient contaminant run of the channel resumes from its own record of Jan01: the record
// has the layout the writing run gave it (the coupling no longer switches the species off
// before it is read). The zone's fields start anew at the resume, so the room ends Jan02
// within the zone's departure from its monitoring cell (2.5e-6 here), not to the last bit.
TEST_F(CfdCoupling, TransientContaminantRunResumesFromItsOwnRecord)
{
    const std::string period = "Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00";
    Outcome whole = run({{SIM_MF, "2 0 1e-4 1e-15 0 0"},
                         {period, "Jan01 0:00:00 Jan01 0:00:00 Jan02 24:00:00 0:10:00 1:00:00 6:00:00"}});
    ASSERT_EQ(whole.status, 0) << whole.err;
    std::string sql = "SELECT C0 FROM NODEZONECCDATA JOIN TIME USING (TimeID) WHERE ZoneNumber = 2 AND "
                      "dayofyear = 2 AND Time = 86400";
    double unbroken = query(db(), sql);
    Outcome resumed = run({{SIM_MF, "2 0 1e-4 1e-15 0 0"},
                           {period, "Jan01 0:00:00 Jan02 0:00:00 Jan02 24:00:00 0:10:00 1:00:00 6:00:00"},
                           {"0 Jan01 0:00:00", "1 Jan01 0:00:00"}});
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NEAR(query(db(), sql), unbroken, 1e-5 * unbroken);
}

// Each coupling fault ends the run with its FATAL; those of the set-up come before any
// result or coupling file exists.
struct Fault {
    const char* name;
    std::vector<Edit> edits;
    bool withCfd;
    const char* text;
    bool atSetUp;
    void (*cfd)(std::string&);
    const char* also = nullptr;        // a further line standard error must hold
    std::vector<Edit> files = {};      // files put beside the project (a name ending in '/': a directory)
};

class CfdCouplingFault : public CfdCoupling, public ::testing::WithParamInterface<Fault> {};

TEST_P(CfdCouplingFault, EndsWithItsFatal)
{
    const Fault& f = GetParam();
    for (const Edit& e : f.files) {
        if (e.first.back() == '/') ASSERT_EQ(mkdir((dir + e.first).c_str(), 0700), 0);
        else std::ofstream(dir + e.first) << e.second;
    }
    Outcome r = run(f.edits, f.withCfd, f.cfd ? f.cfd : [](std::string&) {});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(std::string("FATAL ") + f.text), std::string::npos) << r.err;
    if (f.also) {
        EXPECT_NE(r.err.find(f.also), std::string::npos) << r.err;
    }
    EXPECT_EQ(r.log.find("Simulation completed successfully."), std::string::npos);
    EXPECT_FALSE(exists(db()));
    EXPECT_FALSE(exists(dir + "channel.sim"));
    if (f.atSetUp) {
        EXPECT_FALSE(exists(dir + "channel_chan.cmo"));
    }
}

const std::string PATH2_DAMPER = "2 0 1 2 3 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 1 out 1 1 1";

INSTANTIATE_TEST_SUITE_P(
    Faults, CfdCouplingFault,
    ::testing::Values(
        // An input that does not open is named with the system's reason.
        Fault{"MissingInputFile", {}, false,
              "Unable to locate input file channel_chan.CFD: No such file or directory\n", true, nullptr},
        Fault{"InputFileIsADirectory", {}, false, "Unable to locate input file channel_chan.CFD: Is a directory\n",
              true, nullptr, nullptr, {{"channel_chan.CFD/", ""}}},
        Fault{"MissingSeriesFile", {}, true,
              "Unable to locate input file channel_chan.UCD: No such file or directory\n", false,
              [](std::string& t) { t.replace(t.find("! 44\n2,0\n"), 9, "! 44\n-2\n"); }},
        Fault{"MissingCouplingRestart", {{CFD_LINE, "3 1e-3 1 0 10 1 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"}}, true,
              "Unable to open restart file (cpr) channel.cpr: No such file or directory\n", true, nullptr},
        Fault{"MissingFieldsOfCouplingRestart", {{CFD_LINE, "3 1e-3 1 0 10 1 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"}},
              true, "Unable to open restart file (var) channel_chan.var: No such file or directory\n", false, nullptr,
              nullptr, {{"channel.cpr", "in\n 0 0.5 1 1\nout\n 1 0.3 1 1\n"}}},
        Fault{"MissingStartFields", {}, true,
              "No CFD restart (var) file found channel_chan.var: No such file or directory\n", false,
              [](std::string& t) { t.replace(t.find("! 83\n0,0,0"), 10, "! 83\n1,0,0"); }},
        // Surface pressures asked for in a case without a block: the file is not made, and
        // the run says so at its end instead of ending in success.
        Fault{"SurfacePressuresWithoutBlock", {}, true, "Results of this run could not be written in full\n", false,
              [](std::string& t) {
                  size_t from = t.find("! 42\n1\n"), to = t.find("! 45\n");
                  t.replace(from, to - from, "! 42\n0\n");
                  t.replace(t.find("! 83\n0,0,0"), 10, "! 83\n0,1,0");
              },
              "ERROR CFD surface pressure file asked for and not written (the case has no building block): "
              "channel_chan.ewc\n"},
        // A block, but none named as the reference: the file is written with its ERROR, and
        // the run does not end in success either.
        Fault{"SurfacePressuresWithoutReferenceBlock", {}, true, "Results of this run could not be written in full\n",
              false, [](std::string& t) { t.replace(t.find("! 83\n0,0,0"), 10, "! 83\n0,1,0"); },
              "ERROR CFD surface pressure file written without a reference block (a block named REFBLOCK...): "
              "channel_chan.ewc\n"},
        // A solid block in front of the whole outlet: the zone could pass no air.
        Fault{"OutletCoveredByABlock", {}, true,
              "CFD input file error outlet 1 \"out\" is covered wholly by solid block \"wall\": "
              "no air can pass it: item 12 (openings) of channel_chan.CFD\n",
              false,
              [](std::string& t) {
                  t.replace(t.find("! 42\n1\n"), 7, "! 42\n2\n");
                  t.insert(t.find("! 45\n"), "! 43\nwall\n! x cells\n24,24\n! y cells\n1,12\n! z cells\n1,1\n! 44\n1,0\n");
              }},
        // Iterated coupling with the channel's solves stopped after 20 iterations: its
        // outlet lets out a fifth less than the fan blows in.
        Fault{"ZoneThatDoesNotBalance", {{CFD_LINE, "3 1e-3 0 0 10 1 0 0 0 0"}}, true,
              "CFD zone 1 (chan) does not balance its air: 0.12 kg/s in and ", false,
              [](std::string& t) { t.replace(t.find("\n1e-6,3000\n"), 11, "\n1e-6,20\n"); },
              "(criterion 1.00e-06) after 20 iterations of 20, U "},
        // The network stops at its first guess (tolerances of 0.1 kg/s), leaving no flow
        // through the channel's outlet: the channel, handed that, cannot balance it either.
        Fault{"NetworkFlowsThatDoNotBalance", {{SIM_AF, "0 1 30 1e-1 1e-1 0.75 0 50 0"}}, true,
              "CFD zone 1 (chan) does not balance its air: 0.12 kg/s in and 0 kg/s out in the zone's solution, "
              "0.12 kg/s in and 0 kg/s out in the network, apart by 0.12 kg/s (100 % of the air through it); ",
              false, nullptr,
              "or tighten the airflow convergence of Run Control: the network's flows at the zone do not balance\n"},
        Fault{"UnknownMode", {{CFD_LINE, "4 1e-3 0 0 5 1 0 0 0 0"}}, true, "CFD coupling mode 4 is not 1, 2 or 3",
              true, nullptr},
        Fault{"UnsupportedElement", {{PATH2, PATH2_DAMPER}}, true,
              "outvexlar(): this flow element is not supported currently (path 2)", true, nullptr},
        Fault{"CyclicContaminants", {{SIM_MF, "3 0 1e-4 1e-15 0 0"}}, true,
              "Contaminant coupling does not apply to cyclic", true, nullptr},
        Fault{"ShortTimeStepSolver", {{SIM_MF, "2 0 1e-4 1e-15 0 0"}, {"0 0 0 0.1 0 0", "1 0 0 0.1 0 0"}}, true,
              "CFD coupling of a transient run needs the implicit transport method (mf_solver 0), not the short time "
              "step method (mf_solver 1): set the Run Control field mf_solver to 0", true, nullptr},
        Fault{"StiffIntegrator", {{SIM_AF, "1 1 30 1e-4 1e-5 0.75 0 50 0"}, {SIM_MF, "2 0 1e-4 1e-15 0 0"},
                                    {"0 0 0 0.1 0 0", "2 0 0 0.1 0 0"}},
              true, "CFD coupling of a transient run needs the implicit transport "
              "method (mf_solver 0), not the stiff integrator (mf_solver 2): set the Run Control field mf_solver to 0", true, nullptr},
        Fault{"SecondCfdZone", {{"2 3 0 0 0 1 0 50 293.15 0 Room", "2 35 0 0 0 1 0 50 293.15 0 Room 0 0 0 0 0 0 0 1 room"}},
              true, "Only one CFD zone can be coupled: zone 2 (room) is a second one", true, nullptr},
        Fault{"UnnamedPathMatchesNoOpening", {{PATH1, "1 0 -1 1 2 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0"}},
              true, "CFD opening \"in\" matches no coupled path of zone 1 (chan)", false, nullptr},
        Fault{"CoupledKindInlet",
              {{CFD_LINE, "3 1e-3 0 0 10 1 0 0 0 0"}, {PATH1, PATH1.substr(0, PATH1.size() - 5) + "1 4 1"}}, true,
              "CFD path 1 (in) lets air into the zone through a coupled opening (boundary kind 4), which "
              "carries no inflow: give it boundary kind 0 (mass flow) or 1 (pressure)",
              false, nullptr},
        Fault{"ZeroFalseTimeStep", {}, true, "CFD input file error false time step for velocity needed", false,
              [](std::string& t) { t.replace(t.find("1e30,1e30,1e30,1e30,1,1,1e30"), 4, "0"); }},
        // Widths, lengths and properties the solver cannot compute with stop the run at the
        // input, naming the item and the file, where they used to fill the results with nan.
        Fault{"ZeroCellWidth", {}, true, "CFD input file error x cell width 1 = 0 out of range: item 9 (x cell widths) of channel_chan.CFD\n",
              false, [](std::string& t) { t.replace(t.find("! 32\n0.25"), 9, "! 32\n0"); }},
        Fault{"NegativeCellWidth", {}, true,
              "CFD input file error y cell width 1 = -0.0833333 out of range: item 10 (y cell widths) of channel_chan.CFD\n", false,
              [](std::string& t) { t.insert(t.find("! 33\n") + 5, "-"); }},
        Fault{"UnreadableCellWidth", {}, true, "CFD input file error x cell width 24 unreadable: item 9 (x cell widths) of channel_chan.CFD\n",
              false, [](std::string& t) { t.replace(t.find(" 0.25\n! 33"), 5, " wide"); }},
        Fault{"NanDomainLength", {}, true, "CFD input file error domain length x = nan out of range: item 7 (domain size) of channel_chan.CFD\n",
              false, [](std::string& t) { t.replace(t.find("6.0,1.0,1.0"), 3, "nan"); }},
        Fault{"HugeViscosity", {}, true,
              "CFD input file error kinematic viscosity = 1e+308 out of range: item 34 (kinematic viscosity) of channel_chan.CFD\n", false,
              [](std::string& t) { t.replace(t.find("! 94\n0.01"), 9, "! 94\n1e308"); }},
        // A solution that turns non-finite (here through a relaxation factor of nan) is not
        // handed to the network or written.
        Fault{"NanRelaxation", {}, true, "Results are not finite and are not written: U of cell 2,2,2 of CFD zone channel_chan\n",
              false, [](std::string& t) { t.replace(t.find("0.7,0.7,0.7,0.3"), 3, "nan"); }}),
    [](const auto& info) { return std::string(info.param.name); });

// A CFD file the disk refuses (here a link to a full device) is an ERROR naming it, and the
// run ends with a FATAL instead of success. The coupling runs mode 3 with CO2 and writes the
// surface pressures, so that every file of the zone and the coupling restart is written.
class CfdFullDisk : public CfdCoupling, public ::testing::WithParamInterface<const char*> {};

TEST_P(CfdFullDisk, EndsTheRunWithTwo)
{
    std::string name = GetParam();
    ASSERT_EQ(symlink("/dev/full", (dir + name).c_str()), 0);
    Outcome r = run({{CFD_LINE, "3 1e-3 0 0 10 1 0 0 0 0"}, {SIM_MF, "1 0 1e-4 1e-15 0 0"}, {"1 0.000", "1 6.08e-4"}},
                    true, [](std::string& t) { t.replace(t.find("! 83\n0,0,0"), 10, "! 83\n0,1,0"); });
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("ERROR Could not write result file " + name + "\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("FATAL Results of this run could not be written in full\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.log.find("Simulation completed successfully."), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Files, CfdFullDisk,
                         ::testing::Values("channel_chan.dat", "channel_chan.var", "channel_chan.out",
                                           "channel_chan.cmo", "channel_chan.ret", "channel_chan.mon",
                                           "channel_chan.bal", "channel_chan.ewc", "channel.cpr"),
                         [](const auto& info) {
                             std::string n = info.param;
                             return n.substr(n.find('.') + 1);
                         });

}  // namespace
