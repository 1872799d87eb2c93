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
