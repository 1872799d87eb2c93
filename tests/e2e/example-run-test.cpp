// End-to-end runs that the README walks a new user through. The transient example
// examples/meeting-room.prj: a well-mixed room of V = 75 m3 at 293.15 K and 101325 Pa,
// a fan bringing F = 0.05 kg/s of outdoor air (CO2 6.08e-4 kg/kg) that leaves through a
// relief opening, and six people releasing G = 6e-5 kg/s of CO2 from 9:00 to 12:00 and
// from 13:00 to 17:00. Its database must follow the closed form of the room,
// x(t) = xs + (x0 - xs) exp(-F (t - t0) / M), xs = c + s G / F, with s 1 while the room
// is occupied and 0 otherwise, at every listed time. And a generated building run with
// --transient --species --results must write concentrations to its database that account,
// over the year, for all the CO2 its rooms released. The weather example
// examples/spring-day.prj must list the ambient state of its weather file every hour.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

class DocumentedRun : public E2eTest {};

// The room's CO2 mass fraction t seconds after midnight, from the closed form taken
// piece by piece between the times the occupancy switches.
double meetingRoomCo2(double t)
{
    const double outdoor = (double)6.08e-4f, G = (double)6e-5f, F = (double)0.05f;
    const double density = 101325.0 / (287.055 * (double)293.15f);   // gas law, air [kg/m3]
    const double tau = 75.0 * density / F;                            // M / F [s]
    const double switches[] = {0, 9 * 3600, 12 * 3600, 13 * 3600, 17 * 3600, 86400};
    double x = outdoor;
    for (int k = 0; k + 1 < 6 && switches[k] < t; k++) {
        bool occupied = k == 1 || k == 3;
        double xs = outdoor + (occupied ? G / F : 0.0);
        double end = std::fmin(t, switches[k + 1]);
        x = xs + (x - xs) * std::exp(-(end - switches[k]) / tau);
    }
    return x;
}

TEST_F(DocumentedRun, MeetingRoomFollowsTheWellMixedRoomEveryTenMinutes)
{
    copyInto(dir, examplePath("meeting-room"));
    Outcome r = runEngine("meeting-room.prj", "meeting-room.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::vector<std::vector<double>> rows =
        sqlRows(dir + "meeting-room.sqlite3",
                "SELECT t.dayofyear, t.Time, c.C0, a.C0 FROM TIME t "
                "JOIN NODEZONECCDATA c ON c.TimeID = t.TimeID AND c.ZoneNumber = 1 "
                "JOIN AMBIENTCONDITIONS a ON a.TimeID = t.TimeID ORDER BY t.TimeID");
    ASSERT_EQ(rows.size(), 145u) << "midnight and every ten minutes to 24:00";
    const double rise = (double)6e-5f / (double)0.05f;   // G / F
    for (size_t k = 0; k < rows.size(); k++) {
        const double t = 600.0 * k;
        EXPECT_EQ(rows[k][0], 1.0);
        ASSERT_EQ(rows[k][1], t);
        EXPECT_EQ(rows[k][3], (double)6.08e-4f) << "outdoor CO2 at " << t;
        EXPECT_NEAR(rows[k][2], meetingRoomCo2(t), 1e-4 * rise) << "t = " << t;
    }
    // Near steady by noon and back near the outdoor air by midnight, as the README says.
    EXPECT_NEAR(rows[72][2], (double)6.08e-4f + rise, 0.01 * rise);
    EXPECT_NEAR(rows[144][2], (double)6.08e-4f, 1e-4 * rise);
}

// The coupled example examples/heated-office.prj with its solver input beside it: a fan
// blows m = 0.12 kg/s of outdoor air (CO2 6.08e-4 kg/kg) into the CFD zone, people in it
// release G = 1e-5 kg/s of CO2, and its floor exhaust passes the air to a corridor that
// leaks it outdoors through an orifice (F = 0.1 sqrt(rho) dp^0.5). The zone passes what it
// receives: every path carries m, the corridor stands (m / F)^2 above the outdoors, and
// it holds the mass-balance concentration 6.08e-4 + G / m.
TEST_F(DocumentedRun, CoupledOfficePassesItsAirAndCo2ToTheCorridor)
{
    copyInto(dir, examplePath("heated-office"));
    copyInto(dir, std::string(VEXLAR_SOURCE_DIR) + "/examples/heated-office_office.CFD");
    Outcome r = runEngine("heated-office.prj", "heated-office.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    EXPECT_NE(r.err.find("\nAirflow coupling converge at iteration "), std::string::npos) << r.err;
    const std::string db = dir + "heated-office.sqlite3";
    const double m = (double)0.12f, G = (double)1e-5f, outdoor = (double)6.08e-4f;
    const double rho = 101325.0 / (287.055 * (double)293.15f), C = 0.1 * std::sqrt(rho);
    for (int path = 1; path <= 3; path++) {
        std::vector<std::vector<double>> flow =
            sqlRows(db, ("SELECT Flow0 FROM LINKPATHDATA WHERE PathNumber = " + std::to_string(path)).c_str());
        ASSERT_EQ(flow.size(), 1u) << "path " << path;
        EXPECT_NEAR(flow[0][0], m, 1e-4 * m) << "path " << path;
    }
    std::vector<std::vector<double>> corridor =
        sqlRows(db, "SELECT z.Pressure, c.C0 FROM NODEZONEFLOWDATA z JOIN NODEZONECCDATA c "
                    "ON c.TimeID = z.TimeID AND c.ZoneNumber = z.ZoneNumber WHERE z.ZoneNumber = 2");
    ASSERT_EQ(corridor.size(), 1u);
    EXPECT_NEAR(corridor[0][0], (m / C) * (m / C), 2e-4 * (m / C) * (m / C));
    EXPECT_NEAR(corridor[0][1], outdoor + G / m, 2e-4 * (outdoor + G / m));
}

// The zones' volumes, the number of rooms (the zones other than the stairwells, each with
// its CO2 source) and the two ends of every path (-1 the ambient) of a generated project.
struct Building {
    std::map<int, double> volume;
    int rooms = 0;
    std::map<int, std::pair<int, int>> ends;
};

Building readBuilding(const std::string& prj)
{
    const std::string zonesFollow = "! simple air-handling systems\n-999\n";
    std::istringstream in(prj.substr(prj.find(zonesFollow) + zonesFollow.size()));
    Building b;
    std::string line;
    int n = 0, number = 0, flags = 0, from = 0, to = 0;
    std::getline(in, line);
    n = std::stoi(line);
    for (int k = 0; k < n && std::getline(in, line); k++) {
        std::istringstream rec(line);
        std::string w[11];
        for (std::string& s : w) rec >> s;
        b.volume[std::stoi(w[0])] = std::stod(w[7]);
        b.rooms += w[10].rfind("Stair", 0) != 0;
    }
    for (int skip = 0; skip < n + 3; skip++) std::getline(in, line);   // end word, concentrations
    std::getline(in, line);
    int paths = std::stoi(line);
    for (int k = 0; k < paths && std::getline(in, line); k++) {
        std::istringstream rec(line);
        rec >> number >> flags >> from >> to;
        b.ends[number] = {from, to};
    }
    return b;
}

// Over a year of hourly steps, what the rooms released (5e-6 kg/s each) left through the
// envelope or stayed in the zones' air: the outflow carries the zone's concentration, the
// inflow the outdoor air's, each step at its end values as the implicit steps take them.
TEST_F(DocumentedRun, GeneratedTransientSpeciesResultsAccountForEveryReleasedKilogram)
{
    if (std::system("python3 -c 'pass' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    std::string gen = "python3 '" VEXLAR_SOURCE_DIR "/tools/gen-building.py' 5 --per-floor 3 "
                      "--transient --species --results -o '" + dir + "b.prj'";
    ASSERT_EQ(std::system(gen.c_str()), 0);
    Outcome r = runEngine("b.prj", "b.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    Building b = readBuilding(slurp(dir + "b.prj"));
    ASSERT_EQ(b.volume.size(), 5u);
    ASSERT_EQ(b.rooms, 3);
    const std::string db = dir + "b.sqlite3";
    std::vector<std::vector<double>> times = sqlRows(db, "SELECT TimeID, Time FROM TIME ORDER BY TimeID");
    ASSERT_EQ(times.size(), 1u + 8760u + 364u) << "the start, every hour, and each midnight again";
    std::map<std::pair<int, int>, double> conc, mass;   // by (TimeID, zone)
    for (const auto& v : sqlRows(db, "SELECT c.TimeID, c.ZoneNumber, c.C0, f.Density FROM NODEZONECCDATA c "
                                     "JOIN NODEZONEFLOWDATA f ON f.TimeID = c.TimeID AND f.ZoneNumber = c.ZoneNumber")) {
        conc[{(int)v[0], (int)v[1]}] = v[2];
        mass[{(int)v[0], (int)v[1]}] = v[3] * b.volume.at((int)v[1]) * v[2];
    }
    ASSERT_EQ(conc.size(), 5 * times.size());
    std::map<int, double> outdoor;
    for (const auto& v : sqlRows(db, "SELECT TimeID, C0 FROM AMBIENTCONDITIONS")) outdoor[(int)v[0]] = v[1];
    std::map<int, double> exhausted;   // CO2 leaving less CO2 entering in the step ending at TimeID [kg/s]
    for (const auto& v : sqlRows(db, "SELECT TimeID, PathNumber, Flow0 + Flow1 FROM LINKPATHDATA")) {
        auto [from, to] = b.ends.at((int)v[1]);
        if (from != -1) continue;   // every envelope path of the generator runs from outdoors
        double f = v[2];
        exhausted[(int)v[0]] += f < 0 ? -f * conc.at({(int)v[0], to}) : -f * outdoor.at((int)v[0]);
    }
    double released = 0.0, left = 0.0;
    for (size_t k = 1; k < times.size(); k++) {
        if (times[k][1] == 0.0) continue;   // the midnight state again, as time 0 of the next day
        released += b.rooms * (double)5e-6f * 3600.0;
        left += exhausted.at((int)times[k][0]) * 3600.0;
    }
    double stored = 0.0;
    const int first = (int)times.front()[0], last = (int)times.back()[0];
    for (auto [zone, v] : b.volume) stored += mass.at({last, zone}) - mass.at({first, zone});
    EXPECT_GT(stored, 0.0);
    EXPECT_NEAR(left + stored, released, 1e-9 * released);
}

// examples/spring-day.prj reads examples/spring-day.wth: records every three hours, one
// day of day type 2. Every hour listed holds the file's values at its hours and, between
// records, the straight line between them (1:00 is a third of the way from 281.15 K to
// 280.15 K: 280.8167 K); the day type is the file's, not Run Control's 1.
TEST_F(DocumentedRun, SpringDayListsTheWeatherFilesValuesEveryHour)
{
    copyInto(dir, std::string(VEXLAR_SOURCE_DIR) + "/examples/spring-day.wth");
    copyInto(dir, examplePath("spring-day"));
    Outcome r = runEngine("spring-day.prj", "spring-day.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    // The file's records, at 0:00, 3:00, ... 24:00: temperature, pressure, speed, direction.
    const double file[9][4] = {{281.15, 101300, 2.0, 200}, {280.15, 101280, 1.5, 210}, {280.65, 101290, 2.5, 220},
                               {284.15, 101320, 3.5, 230}, {288.15, 101340, 5.0, 240}, {290.15, 101330, 5.5, 250},
                               {287.15, 101310, 4.0, 240}, {284.15, 101300, 3.0, 220}, {282.15, 101290, 2.0, 210}};
    auto rows = sqlRows(dir + "spring-day.sqlite3",
                        "SELECT t.dayofyear, t.daytype, t.Time, a.Tambt, a.Pambt, a.Ws, a.Wd FROM TIME t "
                        "JOIN AMBIENTCONDITIONS a ON a.TimeID = t.TimeID ORDER BY t.TimeID");
    ASSERT_EQ(rows.size(), 25u);
    for (size_t h = 0; h < rows.size(); h++) {
        EXPECT_EQ(rows[h][0], 100) << "Apr10";
        EXPECT_EQ(rows[h][1], 2) << "the file's day type";
        EXPECT_EQ(rows[h][2], 3600.0 * h);
        size_t k = h / 3, m = h % 3;
        for (int v = 0; v < 4; v++) {
            double expect = m == 0 ? file[k][v] : file[k][v] + (file[k + 1][v] - file[k][v]) * m / 3.0;
            EXPECT_NEAR(rows[h][3 + v], expect, 1e-4 * std::fabs(expect)) << h << ":00, value " << v;
        }
    }
    EXPECT_NEAR(rows[1][3], 280.816667, 1e-4);
    EXPECT_NEAR(rows[13][3], 288.816667, 1e-4);
    EXPECT_NEAR(rows[16][6], 246.666667, 1e-4);   // 250 to 240 degrees, a third of the way
}

}  // namespace
