// Species conservation of a CFD zone whose relief carries flow both ways. The zone "office"
// of tests/e2e/cfd/relief.prj is 5 x 5 x 3 m in cells of 0.5 m; a fan blows 0.05 kg/s of
// outdoor air (6.08e-4 kg/kg of CO2) in through the ceiling, people release 6e-5 kg/s of CO2
// (and in the heated rows 420 W), and a relief on the x = 5 m wall lets the air out to a
// corridor that leaks it outdoors. A warm room draws corridor air back in through the
// lower part of a tall relief; what enters and what leaves must still agree.
#include <gtest/gtest.h>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "e2e-util.h"

namespace {

const double SUPPLY = (double)0.05f, OUTDOOR = 6.08e-4, SOURCE = 6e-5;
const double IN = SUPPLY * OUTDOOR + SOURCE;   // species into the zone [kg/s]
const double LEAVING = IN / SUPPLY;            // concentration of what leaves [kg/kg]

struct Room {
    const char* name;
    const char* relief;   // z cells of the relief
    const char* heat;     // kind and heat of the people's block
    bool heated;
};

void PrintTo(const Room& r, std::ostream* os) { *os << r.name; }

double retValue(const std::string& ret, const std::string& key)
{
    std::smatch m;
    std::regex re(key + "=([-+0-9.eE]+)");
    return std::regex_search(ret, m, re) ? std::atof(m[1].str().c_str()) : std::nan("");
}

// The line of the file at path that begins with head.
std::string slurpLine(const std::string& path, const std::string& head)
{
    std::istringstream in(slurp(path));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(head, 0) == 0) return line;
    return "";
}

double corridorConcentration(const std::string& db)
{
    sqlite3* h = nullptr;
    double v = std::nan("");
    const char* sql = "SELECT C0 FROM NODEZONECCDATA WHERE ZoneNumber = 2 ORDER BY TimeID DESC";
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_double(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return v;
}

class CfdRelief : public E2eTest, public ::testing::WithParamInterface<Room> {};

TEST_P(CfdRelief, SpeciesLeavingEqualsWhatEntersInTheResultAndTheNetwork)
{
    std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
    copyInto(dir, src + "relief.prj");
    std::string cfd = edited(slurp(src + "relief_office.CFD"),
                             {{"4,5", GetParam().relief}, {"2,420", GetParam().heat}});
    std::ofstream(dir + "relief_office.CFD") << cfd;
    Outcome r = runEngine("relief.prj", "relief.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("balance misses"), std::string::npos) << r.err;
    std::string ret = slurp(dir + "relief_office.ret");
    double in = retValue(ret, "TotalInput"), out = retValue(ret, "TotalOutput");
    EXPECT_NEAR(in, IN, 1e-6 * IN) << ret.substr(ret.find("Contaminant computation"));
    EXPECT_NEAR(out, in, 1e-6 * in);
    // The relief's line gives the net flow and the concentration the network takes.
    size_t relief = ret.find("*Outlet #1 :exhaust");
    ASSERT_NE(relief, std::string::npos);
    EXPECT_NEAR(retValue(ret.substr(relief), "MassFraction"), LEAVING, 1e-6 * LEAVING);
    // The corridor receives all the office lets out, to the coupling's tolerance (cfd_cnvg).
    EXPECT_NEAR(corridorConcentration(dir + "relief.sqlite3"), LEAVING, 1e-3 * LEAVING);
    // The monitoring line's T(C): without heat the room keeps the supply's 20.15 C (293.15 K
    // as a float); with it the air in the heated block is warmer.
    std::string mon = slurp(dir + "relief_office.mon");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(mon, m, std::regex(R"(\n00:00:00\t(?:\S+\t){5}(\S+)\t)"))) << mon;
    double t = std::atof(m[1].str().c_str());
    if (GetParam().heated) EXPECT_GT(t, 21.0) << mon;
    else EXPECT_NEAR(t, (double)293.15f - 273.0, 1e-5) << mon;
}

// Heated rooms whose door is a pressure opening, at the wall or at an interior position,
// with and without blocks before or behind it. The zone "room" of tests/e2e/cfd/room.prj
// (4 x 3 x 2.5 m in cells of 0.5 m) has a fan on its x = 0 wall, here blowing in or out,
// and its "exhaust" orifice becomes a door to outdoors (6.08e-4 kg/kg of CO2); a volume
// source in the middle releases G = 1e-5 kg/s of CO2 and 500 W. Every opening leads
// outdoors, so by hand: the openings pass no net air, the species they carry out less what
// they bring in is G, and the 500 W leave with the air (the engine's energy book, whose
// WARNING says otherwise).
struct DoorRoom {
    const char* name;
    bool exhaustFan;                  // the fan blows out of the room (the door then lets air in)
    const char* fanFlow;              // kg/s
    const char* doorX;                // x position of the door: 8 the wall, -7 the face of cells 6 and 7
    const char* doorZ;                // z cells of the door
    bool window;                      // an orifice to outdoors high on the y = 3 m wall
    std::vector<std::string> blocks;  // solid blocks "x1,x2/y1,y2/z1,z2"
    bool twoWay;                      // room air leaves through part of the door that lets air in
};

void PrintTo(const DoorRoom& r, std::ostream* os) { *os << r.name; }

// Air and species flows of an opening in the last balance of the .ret file.
struct OpeningBook { double air = std::nan(""), species = std::nan(""), fraction = std::nan(""); };

OpeningBook openingBook(const std::string& ret, const std::string& name)
{
    OpeningBook b;
    size_t at = ret.rfind(":" + name + " ");
    if (at == std::string::npos) return b;
    std::string line = ret.substr(at, ret.find('\n', at) - at);
    b.air = retValue(line, "AirMass"), b.species = retValue(line, "ContaminantMass");
    b.fraction = retValue(line, "MassFraction");
    return b;
}

class CfdHeatedDoor : public E2eTest, public ::testing::WithParamInterface<DoorRoom> {};

TEST_P(CfdHeatedDoor, PassesItsAirSpeciesAndHeat)
{
    const DoorRoom& d = GetParam();
    const double G = (double)1e-5f, CO = (double)6.08e-4f, FAN = std::atof(d.fanFlow);
    std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
    const std::string supply = "1 0 -1 1 2 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 1 supply 1 0 1";
    const std::string window = "3 0 1 -1 1 0 0 0 0 0 1 0 0 0 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 1 window 1 1 1";
    std::vector<Edit> prj = {{"0 0 1e-4 1e-15 0 0", "1 0 1e-4 1e-15 0 0"}, {"1 0.000", "1 6.08e-4"},
                             {"0.12", d.fanFlow}};
    if (d.exhaustFan) prj.push_back({supply, "1 0 1 -1 2" + supply.substr(10)});
    if (d.window)
        prj.insert(prj.end(), {{"2 ! paths", "3 ! paths"},
                               {"2 0 1 -1 1", slurpLine(src + "room.prj", "2 0 1 -1 1") + "\n" + window}});
    std::ofstream(dir + "room.prj") << edited(slurp(src + "room.prj"), prj);
    std::string blocks;
    for (const std::string& b : d.blocks) {
        size_t s1 = b.find('/'), s2 = b.rfind('/');
        blocks += "! b\nwall\n! x\n" + b.substr(0, s1) + "\n! y\n" + b.substr(s1 + 1, s2 - s1 - 1) + "\n! z\n" +
                  b.substr(s2 + 1) + "\n! k\n1,0\n";
    }
    std::string door = std::string("exhaust\n! x cells\n") + d.doorX + "\n! y cells\n3,4\n! z cells\n" + d.doorZ +
                       "\n! end of opening\n";
    std::vector<Edit> cfd = {{"! 11\n! 12\n0\n", "! 11\n! 12\n1\n"},
                             {"! 42\n1\n", "! 42\n" + std::to_string(1 + d.blocks.size()) + "\n"},
                             {"! 44\n2,0\n", "! 44\n2,500\n" + blocks},
                             {"exhaust\n! x cells\n8,8\n! y cells\n3,4\n! z cells\n1,2\n! end of opening\n",
                              door + (d.window ? std::string("! w\n! w\nwindow\n! x\n3,4\n! y\n6,6\n! z\n4,5\n! end\n")
                                               : std::string())}};
    if (d.window) cfd.push_back({"! 36\n1,1\n", "! 36\n1,2\n"});
    std::ofstream(dir + "room_room.CFD") << replaced(slurp(src + "room_room.CFD"), cfd);
    Outcome r = runEngine("room.prj", "room.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.log.find("Simulation completed successfully."), std::string::npos);
    EXPECT_EQ(r.err.find("balance misses"), std::string::npos) << r.err;   // species and heat
    std::string ret = slurp(dir + "room_room.ret");
    OpeningBook fan = openingBook(ret, "supply"), dr = openingBook(ret, "exhaust");
    OpeningBook win = d.window ? openingBook(ret, "window") : OpeningBook{0, 0, 0};
    EXPECT_NEAR(fan.air, d.exhaustFan ? -FAN : FAN, 1e-6 * FAN) << ret;
    EXPECT_NEAR(fan.air + dr.air + win.air, 0.0, 1e-6 * FAN);
    EXPECT_NEAR(fan.species + dr.species + win.species, -G, 1e-4 * G);
    EXPECT_NEAR(retValue(ret.substr(ret.rfind("*TotalInput")), "TotalOutput"),
                retValue(ret.substr(ret.rfind("*TotalInput")), "TotalInput"), 1e-6 * (FAN * CO + G));
    if (d.twoWay) {
        // Air enters the door at the outdoor concentration; the room's own air leaves through
        // its upper part, so the door's net species is less than its net air carries in.
        EXPECT_GT(dr.air, 0.0);
        EXPECT_LT(dr.species, dr.air * CO - 1e-3 * G);
    } else if (!d.exhaustFan && !d.window) {
        EXPECT_NEAR(dr.fraction, CO + G / FAN, 1e-5 * CO);   // all the room lets out
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, CfdHeatedDoor,
    ::testing::Values(DoorRoom{"ExhaustFanWithMakeUpThroughDoor", true, "0.12", "8,8", "1,5", false, {}, true},
                      DoorRoom{"SupplyFanDoorAndWindow", false, "0.02", "8,8", "1,5", true, {}, true},
                      // A block before the upper 2 of the door's 8 cells.
                      DoorRoom{"BlockBeforeDoor", true, "0.12", "8,8", "1,4", false, {"8,8/4,4/3,4"}, false},
                      DoorRoom{"InteriorDoorBehindWallBlock", false, "0.12", "-7,-7", "1,4", false,
                               {"7,8/1,6/1,5"}, false},
                      DoorRoom{"InteriorDoorFluidBothSides", false, "0.12", "-7,-7", "1,4", false, {}, false},
                      DoorRoom{"InteriorDoorLowFace", false, "0.12", "6,6", "1,4", false, {}, false},
                      DoorRoom{"InteriorDoorLettingAirIn", true, "0.12", "-7,-7", "1,4", false, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A small source is solved as a large one, scaled. The room of tests/e2e/cfd/room.prj is
// fed clean air (0.12 kg/s) and its volume source releases 1 mg/h (2.78e-10 kg/s) of CO2
// over a region of the row's volume, or 10 000 times as much: by hand the exhaust carries
// the whole source out at G / 0.12 kg/kg, and the two runs differ by the factor alone.
struct SmallSource {
    const char* name;
    const char* x, *y, *z;   // cells of the source region
};

void PrintTo(const SmallSource& s, std::ostream* os) { *os << s.name; }

class CfdSmallSource : public E2eTest, public ::testing::WithParamInterface<SmallSource> {};

TEST_P(CfdSmallSource, ScalesWithTheSource)
{
    const SmallSource& s = GetParam();
    const double M = (double)0.12f, SMALL = 1e-6 / 3600;
    std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
    OpeningBook book[2];
    for (int run = 0; run < 2; run++) {
        double G = run ? 1e4 * SMALL : SMALL;
        char rate[32];
        snprintf(rate, sizeof rate, "%.17g 0 0 0", G);
        std::ofstream(dir + "room.prj") << edited(slurp(src + "room.prj"),
                                                  {{"0 0 1e-4 1e-15 0 0", "1 0 1e-4 1e-15 0 0"},
                                                   {"1 0 0 44.0 0 0 0 1.6e-5 6.08e-4 840",
                                                    "1 0 0 44.0 0 0 0 1.6e-5 0 840 0 0 0 0 0 0 CO2"},
                                                   {"1e-5 0 0 0", rate}});
        std::ofstream(dir + "room_room.CFD")
            << replaced(slurp(src + "room_room.CFD"),
                        {{"src block\n! x cells\n4,5\n! y cells\n3,4\n! z cells\n2,3\n",
                          std::string("src block\n! x cells\n") + s.x + "\n! y cells\n" + s.y + "\n! z cells\n" +
                              s.z + "\n"}});
        Outcome r = runEngine("room.prj", "room.prj");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("balance misses"), std::string::npos) << r.err;
        book[run] = openingBook(slurp(dir + "room_room.ret"), "exhaust");
        EXPECT_NEAR(book[run].species, -G, 1e-6 * G);
        EXPECT_NEAR(book[run].fraction, G / M, 1e-6 * G / M);
    }
    EXPECT_NEAR(book[1].fraction, 1e4 * book[0].fraction, 1e-9 * book[1].fraction);
}

INSTANTIATE_TEST_SUITE_P(Regions, CfdSmallSource,
                         ::testing::Values(SmallSource{"EightCubicMetres", "3,6", "2,5", "1,4"},
                                           SmallSource{"QuarterCubicMetre", "4,5", "3,3", "2,3"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A steady run at 10:00 shows its solution as the state at 10:00.
TEST_F(E2eTest, SteadyCfdFrameIsTitledWithTheRunsTime)
{
    std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
    std::ofstream(dir + "relief.prj") << edited(slurp(src + "relief.prj"),
                                                {{"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00",
                                                  "Jan01 10:00:00 Jan01 10:00:00 Jan01 24:00:00 0:10:00 1:00:00 6:00:00"}});
    copyInto(dir, src + "relief_office.CFD");
    Outcome r = runEngine("relief.prj", "relief.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string dat = slurp(dir + "relief_office.dat");
    EXPECT_NE(dat.find("\nZONE T=\"Time 10:00:00\", I= 12, J= 12, K=  8, F=POINT\n"), std::string::npos)
        << dat.substr(0, 400);
    EXPECT_EQ(dat.find("Time 00:00:00"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Rooms, CfdRelief,
    ::testing::Values(Room{"UnheatedOneCellRelief", "4,4", "2,0", false},
                      Room{"UnheatedTallRelief", "4,5", "2,0", false},
                      Room{"HeatedOneCellRelief", "4,4", "2,420", true},
                      // Two-way: corridor air enters through the relief's lower cells.
                      Room{"HeatedTallRelief", "4,5", "2,420", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
