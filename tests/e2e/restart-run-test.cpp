// End-to-end restart runs on two rooms with stack flow under three days of changing
// weather. A run of days 1 to 3 leaves one restart record per day; a second run that
// starts on day 3 from the record of day 2 lists day 3 exactly as the first run did, in
// the SIM file byte for byte and in the database row for row. A restart file that cannot
// serve the run ends it with a FATAL naming the fault, removes this run's partial results
// and leaves the earlier run's restart file as it was. A run resumed from the end of day
// 1 of a two-day run with a loading gas-phase filter, an aging ultraviolet lamp, a
// power-law source, trapezoidal time
// weights, a stiff integrator or short-time-step duct and 1-D zone cells lists day 2 as
// the whole run did, as it does with integrating and delaying controls (a running average
// is refused a restart) and after a first day that ended past midnight; the record of a
// run that ended part-way through a day resumes the rest of it; and a record holding a
// value no state can hold is refused.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
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
// Record: day, time, 4 values per node, 3 per path (no species, filters, sources, controls),
// then each node's density and air-mass source and the day type, then what the record was
// written for (method, two time weights, storage term, network digest, marker and size).
constexpr size_t RST_RECORD = 8 + 8 * (4 * 3 + 3 * 3 + 2 * 3 + 1 + 7);

class RestartRun : public E2eTest {
protected:
    // Writes the project as two.prj: days start to end, restarting from rstDate when set,
    // each run starting at startTime of its first day.
    void project(const std::string& start, const std::string& rstDate = "",
                 const std::string& startTime = "0:00:00")
    {
        std::ofstream(dir + "three.wth") << WEATHER;
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/stack.prj");
        std::ofstream(dir + "two.prj") << edited(
            prj, {{"stack.wth", "three.wth"},
                  {"Jan01 0:00:00 Jan01", "Jan01 0:00:00 " + start + " " + startTime + " Jan03 24:00:00 1:00:00 1:00:00 6:00:00"},
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

void setWord(std::string& b, size_t off, int32_t v)
{
    for (int i = 0; i < 4; i++) b[off + i] = (char)((uint32_t)v >> (8 * i));
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

// A restart file of an earlier version, whose records end before what they were written
// for (7 values), resumes by position as before, with a warning that nothing was checked.
TEST_F(RestartRun, RecordOfAnEarlierVersionResumesWithAWarning)
{
    ASSERT_NO_FATAL_FAILURE(firstRun());
    const size_t older = RST_RECORD - 8 * 7;
    std::string b = rst.substr(0, RST_HEAD);
    setWord(b, 36, (int32_t)older);
    for (int d = 0; d < 3; d++) b += rst.substr(RST_HEAD + d * RST_RECORD, older);
    std::ofstream(dir + "two.rst", std::ios::binary) << b;
    project("Jan03", "Jan02");
    Outcome r = run();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("WARNING Restart file two.rst does not say what it was written for (an earlier "
                         "version's): its species, method and network are taken to be the project's\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(dayThreeRows(dir + "two.sqlite3"), dayThreeRows(dir + "first.sqlite3"));
}

// A run that starts 30 s past midnight ends its first day at 24:00:30 and keeps to the
// whole hours from then on; the record of that day carries its end time, and a run resumed
// from it lists day 3 as the whole run did.
TEST_F(RestartRun, RecordOfADayEndingPastMidnightResumesTheRun)
{
    project("Jan01", "", "0:00:30");
    Outcome r = run();
    ASSERT_EQ(r.status, 0) << r.err;
    rst = file(".rst");
    ASSERT_EQ(rst.size(), RST_HEAD + 3 * RST_RECORD);
    EXPECT_EQ(word(rst, RST_HEAD), 1);
    EXPECT_EQ(word(rst, RST_HEAD + 4), 86430);
    std::rename((dir + "two.sqlite3").c_str(), (dir + "first.sqlite3").c_str());

    project("Jan02", "Jan01");
    r = run();
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    EXPECT_NE(r.log.find("sim_init_restart()\n"), std::string::npos);
    std::vector<std::string> again = dayThreeRows(dir + "two.sqlite3");
    EXPECT_EQ(again.size(), 25u * 6u);
    EXPECT_EQ(again, dayThreeRows(dir + "first.sqlite3"));
}

// A restart file that cannot serve the run, made from the first run's file.
struct Fault {
    const char* name;
    const char* rstDate;
    const char* message;
    void (*spoil)(std::string& rst);
};

const Fault FAULTS[] = {
    {"Missing", "Jan02", "FATAL Failed to open restart file: two.rst (No such file or directory)\n", nullptr},
    {"ZoneCount", "Jan02", "FATAL Data mis-match in restart file: nzone was 5 in the record, is 2 in the project\n", [](std::string& b) { setWord(b, 0, 5); }},
    {"RecordSize", "Jan02", "FATAL Data mis-match in restart file: a record was 8 bytes, is 288 for the project\n", [](std::string& b) { setWord(b, 36, 8); }},
    // A size no record of the file can have is not read as one.
    {"RecordSizeBeyondTheFile", "Jan02", "FATAL Data mis-match in restart file: a record was 1073741824 bytes, is 288 for the project\n",
     [](std::string& b) { setWord(b, 36, 1 << 30); }},
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

// ---- Continuation: a two-day run resumed from the end of day 1 ----------------------------

// A project of tests/e2e/prj run over days 1 and 2, edited for the case.
struct Continuation {
    const char* name;
    const char* project;        // without ".prj"
    std::vector<Edit> edits;
    double tolerance;           // relative; 0 for equal to the last bit
    bool breakthrough;          // the filter breaks through on day 1
    size_t nodes = 1;           // zones and junctions listed
};

void PrintTo(const Continuation& c, std::ostream* os) { *os << c.name; }

class ContinuationRun : public E2eTest {
protected:
    // Writes the case's project as run.prj, from its first day or resumed from day 1.
    void write(const Continuation& c, bool resumed)
    {
        std::vector<Edit> e = c.edits;
        if (resumed) {
            e.push_back({"Jan01 0:00:00 Jan01 0:00:00 Jan02", "Jan01 0:00:00 Jan02 0:00:00 Jan02 24:00:00 " +
                                                                 std::string(stepsOf(c)) + " 1:00:00 6:00:00"});
            e.push_back({"0 Jan01 0:00:00", "1 Jan01 0:00:00"});
        }
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/" + c.project + ".prj");
        std::ofstream(dir + "run.prj") << edited(prj, e);
    }
    static const char* stepsOf(const Continuation& c)
    {
        return std::string(c.project) == "duct-loop" ? "0:01:00" : "0:10:00";
    }
    Outcome run() { return runEngine("run.prj", "run.prj"); }

    // The uninterrupted run; its database is kept as whole.sqlite3, its restart file as rst.
    Outcome wholeRun(const Continuation& c)
    {
        write(c, false);
        Outcome r = run();
        std::rename((dir + "run.sqlite3").c_str(), (dir + "whole.sqlite3").c_str());
        rst = slurp(dir + "run.rst");
        return r;
    }
    std::string rst;
};

int count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// Every listed concentration of day 2: zones and duct junctions, with time and number.
std::vector<std::vector<double>> dayTwo(const std::string& db)
{
    std::vector<std::vector<double>> rows = sqlRows(
        db, "SELECT t.Time, z.ZoneNumber, z.C0 FROM TIME t JOIN NODEZONECCDATA z ON z.TimeID = t.TimeID "
            "WHERE t.dayofyear = 2 ORDER BY 1, 2");
    for (const std::vector<double>& j : sqlRows(
             db, "SELECT t.Time, -j.DuctNodeNumber, j.C0 FROM TIME t JOIN NODEDUCTCCDATA j "
                 "ON j.TimeID = t.TimeID WHERE t.dayofyear = 2 ORDER BY 1, 2"))
        rows.push_back(j);
    return rows;
}

class Continues : public ContinuationRun, public ::testing::WithParamInterface<Continuation> {};

TEST_P(Continues, ResumedRunListsDayTwoAsTheWholeRunDid)
{
    const Continuation& c = GetParam();
    Outcome whole = wholeRun(c);
    ASSERT_EQ(whole.status, 0) << whole.err;
    if (c.breakthrough) {
        // The bed is well past breakthrough, at the end of day 1, when the run resumes.
        EXPECT_EQ(count(whole.log, " Breakthrough in bed of CO2 on Jan01 at "), 1) << whole.log;
        EXPECT_EQ(count(whole.log, " Breakthrough in "), 1);
    }
    write(c, true);
    Outcome resumed = run();
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(resumed.log.find("rstget(1):"), std::string::npos);
    EXPECT_EQ(count(resumed.log, " Breakthrough in "), 0) << "a filter breaks through once";

    std::vector<std::vector<double>> want = dayTwo(dir + "whole.sqlite3"), got = dayTwo(dir + "run.sqlite3");
    ASSERT_GE(want.size(), 25u);   // 0:00 to 24:00 hourly, each zone and junction
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) {
        ASSERT_EQ(got[i][0], want[i][0]);
        ASSERT_EQ(got[i][1], want[i][1]);
        EXPECT_NEAR(got[i][2], want[i][2], c.tolerance * std::fabs(want[i][2]))
            << "time " << want[i][0] << ", node " << want[i][1];
    }
}

// The bed (element 1) alone, or as the first member of a super filter (element 3) whose
// second member takes half of what the bed passes.
const Edit SUPER_FILTER[] = {{"1 1 1 ! filter 1", "1 3 2"}, {"0.0 0 ! bed", "0.0 0\n0.0 0"}};

// Ducts without cells, over two days, into a room a hundred times larger that fills with
// the outdoor CO2 over some three days: a junction holding air mixes it with what flows in.
const Edit NO_DUCT_CELLS[] = {{"1 0 1 0.5 0 0", "1 0 0 0.5 0 0"},
                              {"Jan01 0:00:00 Jan01 0:00:00 Jan01", "Jan01 0:00:00 Jan01 0:00:00 Jan02 24:00:00 0:10:00 1:00:00 6:00:00"},
                              {"1 3 0 0 0 1 0 50 293.15 0 Room", "1 3 0 0 0 1 0 5000 293.15 0 Room 0 0 0 0 0 0 0 0"}};

const Continuation CONTINUATIONS[] = {
    {"GasFilterAndPowerLawSource", "filtered-supply", {}, 0.0, true},
    {"SuperFilterMembers", "filtered-supply", {SUPER_FILTER[0], SUPER_FILTER[1]}, 0.0, true},
    // An ultraviolet lamp (element 4) goes on aging from the start of the whole run.
    {"AgingUvLamp", "filtered-supply", {{"1 1 1 ! filter 1", "1 4 1"}}, 0.0, false},
    // The explicit half of each step is formed from the rates of the step before.
    {"TrapezoidalTimeWeight", "filtered-supply", {{"0 1 100 1e-4 1e-15 1.1 1 0", "0 1 100 1e-4 1e-15 1.1 0.5 0"}},
     0.0, true},
    // The integrator starts afresh on resuming: equal within a tenth of its tolerance of 1e-4.
    {"StiffIntegrator", "filtered-supply", {{"0 0 0 0.1 0 0", "2 0 0 0.1 0 0"}}, 1e-5, true},
    {"ShortTimeStepDuctAndZoneCells", "duct-loop", {}, 0.0, false},
    // The junctions keep the air mass of their airflow through both days.
    {"ShortTimeStepJunctionStorage", "duct-supply", {NO_DUCT_CELLS[0], NO_DUCT_CELLS[1], NO_DUCT_CELLS[2]}, 0.0, false},
};

INSTANTIATE_TEST_SUITE_P(Restart, Continues, ::testing::ValuesIn(CONTINUATIONS),
                         [](const ::testing::TestParamInfo<Continuation>& i) { return std::string(i.param.name); });

// ---- A run that ends part-way through a day ------------------------------------------------

// A run of filtered-supply from Jan01 0:00 to Jan02 12:00 leaves one record per day, the
// second written at 12:00, and none of its start state. The run resumed from the record
// of Jan02 lists the rest of that day as the run through both days did; a day the file
// does not hold, asked for after the last day's record, is not found.
class PartDay : public ContinuationRun, public ::testing::WithParamInterface<Continuation> {
protected:
    void write(const Continuation& c, const std::string& runControl, const std::string& restart)
    {
        std::vector<Edit> e = c.edits;
        e.push_back({"Jan01 0:00:00 Jan01 0:00:00 Jan02", "Jan01 0:00:00 " + runControl + " 0:10:00 1:00:00 6:00:00"});
        e.push_back({"0 Jan01 0:00:00", restart});
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/" + c.project + ".prj");
        std::ofstream(dir + "run.prj") << edited(prj, e);
    }
};

TEST_P(PartDay, RecordOfTheRunEndResumesTheRestOfTheDay)
{
    const Continuation& c = GetParam();
    Outcome whole = wholeRun(c);
    ASSERT_EQ(whole.status, 0) << whole.err;
    write(c, "Jan01 0:00:00 Jan02 12:00:00", "0 Jan01 0:00:00");
    Outcome part = run();
    ASSERT_EQ(part.status, 0) << part.err;
    std::string rst = slurp(dir + "run.rst");
    ASSERT_GT(rst.size(), RST_HEAD);
    const size_t record = (size_t)word(rst, 36);
    ASSERT_EQ(rst.size(), RST_HEAD + 2 * record);
    EXPECT_EQ(word(rst, RST_HEAD), 1);
    EXPECT_EQ(word(rst, RST_HEAD + 4), 86400);
    EXPECT_EQ(word(rst, RST_HEAD + record), 2);
    EXPECT_EQ(word(rst, RST_HEAD + record + 4), 43200);

    write(c, "Jan02 12:00:00 Jan02 24:00:00", "1 Jan02 0:00:00");
    Outcome resumed = run();
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    std::vector<std::vector<double>> want, got = dayTwo(dir + "run.sqlite3");
    for (const std::vector<double>& row : dayTwo(dir + "whole.sqlite3"))
        if (row[0] >= 43200) want.push_back(row);
    ASSERT_EQ(want.size(), 13u * c.nodes);   // 12:00 to 24:00 hourly, each zone and junction
    EXPECT_GT(want[12][2] - want[0][2], 0.01 * want[12][2]) << "still filling";
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) {
        ASSERT_EQ(got[i][0], want[i][0]);
        EXPECT_NEAR(got[i][2], want[i][2], c.tolerance * std::fabs(want[i][2])) << "time " << want[i][0];
    }

    std::ofstream(dir + "run.rst", std::ios::binary) << rst;
    write(c, "Jan03 0:00:00 Jan03 24:00:00", "1 Jan03 0:00:00");
    Outcome missing = run();
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("FATAL Restart failed to find date\n"), std::string::npos) << missing.err;
}

// The room enlarged a hundredfold fills with CO2 over some 30 hours, so that the state
// of every hour of day 2 differs from that of the next. The stiff integrator's run through
// both days interpolates its hourly listings where the resumed run stops, and its filter
// loads with what the books of its own steps say it captured: equal within twice its
// relative tolerance of 1e-4.
const Edit LARGE_ROOM = {"1 3 0 0 0 1 0 50 293.15 0 Room", "1 3 0 0 0 1 0 5000 293.15 0 Room 0 0 0 0 0 0 0 0"};
// The record of the run's end, as a stop's, resumes with the junctions holding the air
// mass of their airflow.
const Continuation PART_DAYS[] = {
    {"Implicit", "filtered-supply", {LARGE_ROOM}, 0.0, false},
    {"StiffIntegrator", "filtered-supply", {LARGE_ROOM, {"0 0 0 0.1 0 0", "2 0 0 0.1 0 0"}}, 2e-4, false},
    {"ShortTimeStepJunctionStorage", "duct-supply", {NO_DUCT_CELLS[0], NO_DUCT_CELLS[1], NO_DUCT_CELLS[2]}, 0.0, false, 4},
};

INSTANTIATE_TEST_SUITE_P(Restart, PartDay, ::testing::ValuesIn(PART_DAYS),
                         [](const ::testing::TestParamInfo<Continuation>& i) { return std::string(i.param.name); });

// ---- A record holding a value no state can hold ---------------------------------------------

// One value of the record of day 1 replaced, by its position among the record's doubles.
// filtered-supply: nodes (room, ambient) 4 each from 0, paths (supply, relief) 3 each from
// 8, mass fractions 14 and 15, the bed's loading state from 16 (relative loading, load,
// breakthrough day and time), the power-law source from 20 (begin time, begin day, started,
// initial rate), the trace system from 24 (mass basis, unknown). duct-loop: 5 nodes, 5
// paths and 5 mass fractions, the 6 corridor cells from 40, then the 2 m duct from 46
// (mode, last active cell, ...).
struct Corrupt {
    const char* name;
    const char* project;
    int index;
    double value;
    const char* block;
    const char* shown;   // the value as the message prints it
};

const double INF = std::numeric_limits<double>::infinity();
const double NAN_ = std::numeric_limits<double>::quiet_NaN();

const Corrupt CORRUPTS[] = {
    {"NodePressure", "filtered-supply", 1, INF, "node", "inf"},
    {"TemperatureBelowZero", "filtered-supply", 0, -1.0, "node", "-1"},
    {"GasConstantZero", "filtered-supply", 2, 0.0, "node", "0"},
    {"AirMassZero", "filtered-supply", 3, 0.0, "node", "0"},
    // Finite as a double, infinite in the single precision of the result files.
    {"PressureBeyondFloat", "filtered-supply", 1, 2.7e77, "node", "2.7e+77"},
    {"NegativeMassFraction", "filtered-supply", 14, -1e-6, "mass fraction", "-1e-06"},
    {"PathPressureDifference", "filtered-supply", 10, NAN_, "path", "nan"},
    {"MassFraction", "filtered-supply", 14, -INF, "mass fraction", "-inf"},
    {"FilterLoading", "filtered-supply", 16, NAN_, "filter", "nan"},
    {"FilterLoad", "filtered-supply", 17, INF, "filter", "inf"},
    {"BreakthroughDay", "filtered-supply", 18, 400, "filter", "400"},
    {"SourceBeginTime", "filtered-supply", 20, INF, "source", "inf"},
    {"SourceBeginDay", "filtered-supply", 21, -1, "source", "-1"},
    {"SourceRateBeyondFloat", "filtered-supply", 23, 1e300, "source", "1e+300"},
    // A mass fraction beyond one (a room of pure gas twice over) and a flow no path carries.
    {"MassFractionAboveOne", "filtered-supply", 14, 2.0, "mass fraction", "2"},
    {"PathFlowNotFinite", "filtered-supply", 8, INF, "path", "inf"},
    // The implicit trace system's mass basis (the room's air) and unknown (its CO2) from 24.
    {"SystemMassBasisNegative", "filtered-supply", 24, -1.0, "transport system", "-1"},
    {"SystemUnknownAboveOne", "filtered-supply", 25, 2.0, "transport system", "2"},
    {"ZoneCell", "duct-loop", 40, NAN_, "1-D zone cell", "nan"},
    {"DuctMode", "duct-loop", 46, 2, "duct cell", "2"},
};

void PrintTo(const Corrupt& c, std::ostream* os) { *os << c.name; }

class CorruptRecord : public ContinuationRun, public ::testing::WithParamInterface<Corrupt> {};

TEST_P(CorruptRecord, EndsTheResumedRunAndKeepsTheRestartFile)
{
    const Corrupt& k = GetParam();
    Continuation c{k.name, k.project, {}, 0.0, false};
    Outcome whole = wholeRun(c);
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_GT(rst.size(), RST_HEAD + 8 + 8 * (size_t)(k.index + 1));
    std::string spoilt = rst;
    memcpy(&spoilt[RST_HEAD + 8 + 8 * k.index], &k.value, 8);   // little-endian, as the file
    std::ofstream(dir + "run.rst", std::ios::binary) << spoilt;
    write(c, true);
    Outcome r = run();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(std::string("FATAL RST read failed: invalid value ") + k.shown + " in the " + k.block +
                         " block of the record of day 1\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.log.find(std::string(" in the ") + k.block + " block, record byte " +
                         std::to_string(8 + 8 * k.index) + "\n"),
              std::string::npos)
        << r.log;
    EXPECT_TRUE(slurp(dir + "run.rst") == spoilt) << "the earlier run's restart file stays as it was";
    EXPECT_FALSE(exists(dir + "run.sqlite3"));
}

INSTANTIATE_TEST_SUITE_P(Restart, CorruptRecord, ::testing::ValuesIn(CORRUPTS),
                         [](const ::testing::TestParamInfo<Corrupt>& i) { return std::string(i.param.name); });

// ---- Controls that carry state from one step to the next -----------------------------------

class LabRestart : public E2eTest {
protected:
    // The example laboratory, its contaminants transient over June 1 (from `start`) and 2,
    // from the first day or resumed from the record of June 1, with the control log on and
    // the extra edits.
    void write(bool resumed, const std::vector<Edit>& extra, const std::string& start = "0:00:00")
    {
        std::vector<Edit> e = {
            {"! sim_mf - cyc_tol cyc_cut - -\n1 0", "! sim_mf - cyc_tol cyc_cut - -\n2 0"},
            {"Jun01 12:00:00 Jun01 0:00:00 Jun01 24:00:00",
             resumed ? "Jun01 12:00:00 Jun02 0:00:00 Jun02 24:00:00"
                     : "Jun01 12:00:00 Jun01 " + start + " Jun02 24:00:00"},
            {"\n0 Jun01 0:00:00\n", resumed ? "\n1 Jun01 0:00:00\n" : "\n0 Jun01 0:00:00\n"},
            {"0 0 0 0 0 0\n0 0 1 1 1\n", "0 0 0 0 0 1\n0 0 1 1 1\n"}};
        e.insert(e.end(), extra.begin(), extra.end());
        std::ofstream(dir + "lab.prj") << replaced(slurp(examplePath("lab")), e);
    }
    Outcome run() { return runEngine("lab.prj", "lab.prj"); }
};

// The control log's lines of June 2.
std::vector<std::string> juneTwo(const std::string& log)
{
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string l; std::getline(in, l);)
        if (l.rfind("6/2\t", 0) == 0) lines.push_back(l);
    return lines;
}

// The schedule delay, exponential delay, integrator and listing-step integral logged; the
// running average (which no record can hold) replaced by a second integrator.
const std::vector<Edit> STATEFUL_CONTROLS = {
    {"\n20\n1 sns 1 0 0 0 0 co2lab", "\n24\n1 sns 1 0 0 0 0 co2lab"},
    {"13 rav 13 0 0 1 0 hourly\nRunning average over an hour\n1:00:00\n",
     "13 int 13 0 0 1 5 dose2\nA second integral\n"},
    {"Pass-through\n-999", "Pass-through\n"
                           "21 log 21 0 0 10 0 dlslog\nLogged schedule delay\n0 1 0 delayed -\n"
                           "22 log 22 0 0 11 0 dlxlog\nLogged exponential delay\n0 1 0 smoothed -\n"
                           "23 log 23 0 0 12 0 intlog\nLogged dose\n0 1 0 dose -\n"
                           "24 log 24 0 0 16 0 irslog\nLogged listing-step integral\n0 1 0 listint -\n-999"}};

TEST_F(LabRestart, DelaysAndIntegralsResumeWhereTheyWere)
{
    write(false, STATEFUL_CONTROLS);
    Outcome whole = run();
    ASSERT_EQ(whole.status, 0) << whole.err;
    std::vector<std::string> want = juneTwo(slurp(dir + "lab.log"));
    ASSERT_EQ(want.size(), 25u);
    // The delay and the integral are under way at the end of June 1.
    std::istringstream first(want[0]);
    std::vector<double> v;
    for (std::string f; std::getline(first, f, '\t');) v.push_back(std::atof(f.c_str()));
    ASSERT_EQ(v.size(), 8u);
    EXPECT_GT(v[4], 0.0);
    EXPECT_GT(v[6], 0.0);
    write(true, STATEFUL_CONTROLS);
    Outcome resumed = run();
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(juneTwo(slurp(dir + "lab.log")), want);
}

// Started at 0:04 with 5-minute steps, June 1 ends at 24:04, and the schedule delay, fed
// by the sensor so that its input changes every step, took its last change half a step
// earlier, at 24:01:30. The record of that day resumes the run as it went on.
TEST_F(LabRestart, ScheduleDelayOfADayEndingPastMidnightResumes)
{
    std::vector<Edit> edits = STATEFUL_CONTROLS;
    edits.push_back({"10 dls 10 0 0 5 0 delayed", "10 dls 10 0 0 1 0 delayed"});
    write(false, edits, "0:04:00");
    Outcome whole = run();
    ASSERT_EQ(whole.status, 0) << whole.err;
    std::string rst = slurp(dir + "lab.rst");
    ASSERT_GT(rst.size(), 48u);
    EXPECT_EQ(word(rst, 40), 152);
    EXPECT_EQ(word(rst, 44), 24 * 3600 + 240);
    std::vector<std::string> want = juneTwo(slurp(dir + "lab.log"));
    ASSERT_EQ(want.size(), 25u);
    // The delayed CO2 follows the sensor from one listing to the next.
    std::vector<std::string> first = fieldsOf(want[0] + "\n", "6/2\t"), next = fieldsOf(want[1] + "\n", "6/2\t");
    ASSERT_EQ(first.size(), 8u);
    ASSERT_EQ(next.size(), 8u);
    EXPECT_NE(first[4], next[4]);
    write(true, edits);
    Outcome resumed = run();
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(juneTwo(slurp(dir + "lab.log")), want);
}

TEST_F(LabRestart, RunningAverageIsNotResumed)
{
    write(false, {});
    ASSERT_EQ(run().status, 0);
    std::string rst = slurp(dir + "lab.rst");
    write(true, {});
    Outcome r = run();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Restart cannot resume the running average of control node 13 (hourly)\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(slurp(dir + "lab.rst") == rst);
}

}  // namespace
