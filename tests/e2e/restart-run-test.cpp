// End-to-end restart runs on two rooms with stack flow under three days of changing
// weather. A run of days 1 to 3 leaves one restart record per day; a second run that
// starts on day 3 from the record of day 2 lists day 3 exactly as the first run did, in
// the SIM file byte for byte and in the database row for row. A restart file that cannot
// serve the run ends it with a FATAL naming the fault, removes this run's partial results
// and leaves the earlier run's restart file as it was.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "e2e-util.h"

namespace {

// Outdoor temperature every six hours, days 1 to 3, colder than the rooms.
const char* const WEATHER =
    "WeatherFile VexlarW 2.0\nThree days of changing outdoor air\n1/1 1/3\n"
    "1/1 3 5 0 0\n1/2 4 6 0 0\n1/3 5 7 0 0\n"
    "1/1 00:00:00 263.15 101325 0 0 0 0 0 0 0 0\n1/1 06:00:00 273.15 101325 0 0 0 0 0 0 0 0\n"
    "1/1 12:00:00 283.15 101325 0 0 0 0 0 0 0 0\n1/1 18:00:00 273.15 101325 0 0 0 0 0 0 0 0\n"
    "1/2 00:00:00 258.15 101325 0 0 0 0 0 0 0 0\n1/2 06:00:00 253.15 101325 0 0 0 0 0 0 0 0\n"
    "1/2 12:00:00 268.15 101325 0 0 0 0 0 0 0 0\n1/2 18:00:00 263.15 101325 0 0 0 0 0 0 0 0\n"
    "1/3 00:00:00 248.15 101325 0 0 0 0 0 0 0 0\n1/3 06:00:00 243.15 101325 0 0 0 0 0 0 0 0\n"
    "1/3 12:00:00 278.15 101325 0 0 0 0 0 0 0 0\n1/3 18:00:00 268.15 101325 0 0 0 0 0 0 0 0\n"
    "1/3 24:00:00 258.15 101325 0 0 0 0 0 0 0 0\n";

// Header (17 words) and the kind and number tables of 3 nodes and 3 paths.
constexpr size_t SIM_HEAD = 4 * 17 + 4 * (2 * 3 + 2 * 3);
// Step record and day summary alike: time block of 24 bytes, 16 per path and per zone.
constexpr size_t SIM_RECORD = 24 + 16 * (3 + 2);
constexpr size_t RST_HEAD = 40;
// Record: day, time, 4 values per node, 3 per path (no species, filters, sources, controls).
constexpr size_t RST_RECORD = 8 + 8 * (4 * 3 + 3 * 3);

class RestartRun : public E2eTest {
protected:
    // Writes the project as two.prj: days start to end, restarting from rstDate when set.
    void project(const std::string& start, const std::string& rstDate = "")
    {
        std::ofstream(dir + "three.wth") << WEATHER;
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/stack.prj");
        std::ofstream(dir + "two.prj") << edited(
            prj, {{"stack.wth", "three.wth"},
                  {"Jan01 0:00:00 Jan01", "Jan01 0:00:00 " + start + " 0:00:00 Jan03 24:00:00 1:00:00 1:00:00 6:00:00"},
                  {"0 Jan01 0:00:00", (rstDate.empty() ? "0 Jan01" : "1 " + rstDate) + " 0:00:00"}});
    }
    Outcome run() { return runEngine("two.prj", "two.prj"); }
    std::string file(const char* ext) const { return slurp(dir + "two" + ext); }

    // The first run, days 1 to 3; its SIM file and database are kept as first.*.
    void firstRun()
    {
        project("Jan01");
        Outcome r = run();
        ASSERT_EQ(r.status, 0) << r.err;
        firstSim = file(".sim");
        std::rename((dir + "two.sqlite3").c_str(), (dir + "first.sqlite3").c_str());
        rst = file(".rst");
    }

    std::string firstSim, rst;
};

int32_t word(const std::string& b, size_t off)
{
    return (int32_t)((uint8_t)b[off] | (uint8_t)b[off + 1] << 8 | (uint8_t)b[off + 2] << 16 |
                     (uint32_t)(uint8_t)b[off + 3] << 24);
}

// Every listed row of day 3 as text: time, then path and node values in number order.
std::vector<std::string> dayThreeRows(const std::string& db)
{
    std::vector<std::string> rows;
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const char* sql =
            "SELECT t.Time, 'p', l.PathNumber, l.dP, l.Flow0, l.Flow1 FROM TIME t JOIN LINKPATHDATA l "
            "ON l.TimeID = t.TimeID WHERE t.dayofyear = 3 UNION ALL "
            "SELECT t.Time, 'z', z.ZoneNumber, z.Temperature, z.Pressure, z.Density FROM TIME t "
            "JOIN NODEZONEFLOWDATA z ON z.TimeID = t.TimeID WHERE t.dayofyear = 3 "
            "UNION ALL SELECT t.Time, 'a', a.Tambt, a.Pambt, a.Ws, a.Wd FROM TIME t JOIN "
            "AMBIENTCONDITIONS a ON a.TimeID = t.TimeID WHERE t.dayofyear = 3 ORDER BY 1, 2, 3";
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW) {
                std::string row;
                for (int c = 0; c < 6; c++)
                    row += std::string((const char*)sqlite3_column_text(st, c)) + " ";
                rows.push_back(row);
            }
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
    return rows;
}

TEST_F(RestartRun, RunFromTheRecordOfDayTwoListsDayThreeAsTheFullRunDid)
{
    ASSERT_NO_FATAL_FAILURE(firstRun());
    // Header: 2 zones, 3 paths, no species, junctions, ducts, sources or controls, days
    // 1 to 3, then one record per day ending at 24:00:00.
    ASSERT_EQ(rst.size(), RST_HEAD + 3 * RST_RECORD);
    const int32_t header[10] = {2, 3, 0, 0, 0, 0, 0, 1, 3, (int32_t)RST_RECORD};
    for (int i = 0; i < 10; i++) EXPECT_EQ(word(rst, 4 * i), header[i]) << i;
    for (int d = 0; d < 3; d++) {
        EXPECT_EQ(word(rst, RST_HEAD + d * RST_RECORD), d + 1);
        EXPECT_EQ(word(rst, RST_HEAD + d * RST_RECORD + 4), 86400);
    }

    project("Jan03", "Jan02");
    Outcome r = run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.log.find("sim_init_restart()\n"), std::string::npos);
    EXPECT_EQ(r.log.find("Running steady-state initialization"), std::string::npos);
    std::string sim = file(".sim");
    // Same header but for the start day and time, then the first run's last day.
    ASSERT_GT(sim.size(), SIM_HEAD);
    EXPECT_EQ(word(sim, 28), 3);
    EXPECT_EQ(sim.substr(0, 28), firstSim.substr(0, 28));
    EXPECT_EQ(sim.substr(36, SIM_HEAD - 36), firstSim.substr(36, SIM_HEAD - 36));
    // The first run lists 0:00 of day 1, then per day 24 steps and its summary, and 0:00 of
    // days 2 and 3 again after each rollover; the restarted run 0:00 and day 3. The work
    // counters that follow differ and are not compared.
    const size_t day3 = 26 * SIM_RECORD, first = (1 + 3 * 25 + 2) * SIM_RECORD;
    ASSERT_GE(sim.size(), SIM_HEAD + day3);
    ASSERT_GE(firstSim.size(), SIM_HEAD + first);
    EXPECT_TRUE(sim.substr(SIM_HEAD, day3) == firstSim.substr(SIM_HEAD + first - day3, day3))
        << "day 3 differs from the first run's";
    std::vector<std::string> again = dayThreeRows(dir + "two.sqlite3");
    EXPECT_EQ(again.size(), 25u * 6u);   // 0:00 to 24:00: 3 paths, 2 zones and the ambient
    EXPECT_EQ(again, dayThreeRows(dir + "first.sqlite3"));
}

// A restart file that cannot serve the run, made from the first run's file.
struct Fault {
    const char* name;
    const char* rstDate;
    const char* message;
    void (*spoil)(std::string& rst);
};

void setWord(std::string& b, size_t off, int32_t v)
{
    for (int i = 0; i < 4; i++) b[off + i] = (char)((uint32_t)v >> (8 * i));
}

const Fault FAULTS[] = {
    {"Missing", "Jan02", "FATAL Failed to open restart file: ", nullptr},
    {"ZoneCount", "Jan02", "FATAL Data mis-match in restart file\n", [](std::string& b) { setWord(b, 0, 5); }},
    {"RecordSize", "Jan02", "FATAL Data mis-match in restart file\n", [](std::string& b) { setWord(b, 36, 8); }},
    {"DateNotStored", "Jan05", "FATAL Restart failed to find date\n", nullptr},
    {"PastTheEnd", "Jan02", "FATAL RST read failed\n", [](std::string& b) { b.resize(RST_HEAD + RST_RECORD); }},
    {"ShortRecord", "Jan02", "FATAL RST read failed\n", [](std::string& b) { b.resize(RST_HEAD + RST_RECORD + 100); }},
    {"Garbage", "Jan02", "FATAL RST read failed\n", [](std::string& b) { setWord(b, RST_HEAD, -7); }},
};

class RestartFault : public RestartRun, public ::testing::WithParamInterface<Fault> {};

TEST_P(RestartFault, EndsTheRunAndKeepsTheEarlierRestartFile)
{
    ASSERT_NO_FATAL_FAILURE(firstRun());
    const Fault& f = GetParam();
    std::string spoilt = rst;
    if (f.spoil) f.spoil(spoilt);
    if (std::string(f.name) == "Missing") std::remove((dir + "two.rst").c_str());
    else std::ofstream(dir + "two.rst", std::ios::binary) << spoilt;
    project("Jan03", f.rstDate);
    Outcome r = run();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(f.message), std::string::npos) << r.err;
    EXPECT_EQ(r.log.substr(r.log.size() - 18), "VexlarX finish(2)\n");
    EXPECT_FALSE(exists(dir + "two.sim")) << "this run's partial results go";
    EXPECT_FALSE(exists(dir + "two.sqlite3"));
    if (std::string(f.name) == "Missing") return;
    EXPECT_TRUE(file(".rst") == spoilt) << "the earlier run's restart file stays as it was";
    if (std::string(f.name) == "ZoneCount") {
        EXPECT_NE(r.log.find("  _rhd[0] 5 != 2 nzone\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Restart, RestartFault, ::testing::ValuesIn(FAULTS),
                         [](const ::testing::TestParamInfo<Fault>& i) { return std::string(i.param.name); });

}  // namespace
