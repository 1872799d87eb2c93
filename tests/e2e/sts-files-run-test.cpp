// End-to-end short-time-step result files of the ventilated room (one zone, CO2) run over
// one day of ten-minute steps listed every hour: the cross reference, one record per listed
// time agreeing with the results database, an empty RZ1 file without one-dimensional
// zones, no files from a steady run, and the fatal ends that remove them all.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "e2e-util.h"

namespace {

int32_t wordAt(const std::string& b, size_t off)
{
    uint32_t u = 0;
    for (int k = 3; k >= 0; k--) u = u << 8 | (uint8_t)b[off + k];
    return (int32_t)u;
}

float realAt(const std::string& b, size_t off)
{
    int32_t w = wordAt(b, off);
    float f;
    memcpy(&f, &w, 4);
    return f;
}

// Listed time, room CO2 and room density from the results database.
struct DbRow {
    int time;
    double co2, density;
};

std::vector<DbRow> dbRows(const std::string& path)
{
    std::vector<DbRow> rows;
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db,
                           "SELECT t.Time, c.C0, z.Density FROM TIME t "
                           "JOIN NODEZONECCDATA c ON c.TimeID = t.TimeID "
                           "JOIN NODEZONEFLOWDATA z ON z.TimeID = t.TimeID ORDER BY t.TimeID",
                           -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW)
            rows.push_back({sqlite3_column_int(st, 0), sqlite3_column_double(st, 1),
                            sqlite3_column_double(st, 2)});
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

class StsFilesRun : public E2eTest {
protected:
    // The room with sim_mf as given and the RZF, RZM and RZ1 files selected.
    Outcome run(int simMf, const std::string& switches = "1 1 1 0 0 0")
    {
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ventilated-co2.prj");
        const std::string from = "\n0 0 0 0 0 0\n0 0 1 1 1\n", to = "\n" + switches + "\n0 0 1 1 1\n";
        prj.replace(prj.find(from), from.size(), to);
        std::ofstream(dir + "room.prj")
            << edited(prj, {{"1 0 1e-4 1e-15 0 0", std::to_string(simMf) + " 0 1e-4 1e-15 0 0"}});
        return runEngine("room.prj", "room.prj");
    }
    std::string path(const char* ext) const { return dir + "room" + ext; }
    bool linked(const char* ext) const
    {
        struct stat st;
        return lstat(path(ext).c_str(), &st) == 0;
    }
};

TEST_F(StsFilesRun, EveryListedHourHasOneRecordMatchingTheDatabase)
{
    Outcome r = run(2);
    ASSERT_EQ(r.status, 0) << r.err;
    // Format 24, listing 3600 s, from day 1 0:00 to day 1 24:00; RZF and RZM but no RZ1
    // (no one-dimensional zone); one species, one zone.
    const int32_t head[13] = {24, 3600, 1, 0, 1, 86400, 1, 1, 0, 1, 1, 0, 0};
    const std::string rxr = slurp(path(".rxr"));
    ASSERT_EQ(rxr.size(), 52u);
    for (int i = 0; i < 13; i++) EXPECT_EQ(wordAt(rxr, 4 * i), head[i]) << "word " << i;
    EXPECT_TRUE(exists(path(".rz1")));
    EXPECT_EQ(slurp(path(".rz1")).size(), 0u);

    // 25 listed times, 0:00 to 24:00: day, time, then T, p, density / the CO2 fraction.
    const std::string rzf = slurp(path(".rzf")), rzm = slurp(path(".rzm"));
    const std::vector<DbRow> rows = dbRows(path(".sqlite3"));
    ASSERT_EQ(rows.size(), 25u);
    ASSERT_EQ(rzf.size(), 25u * 20);
    ASSERT_EQ(rzm.size(), 25u * 12);
    for (size_t i = 0; i < rows.size(); i++) {
        EXPECT_EQ(wordAt(rzf, 20 * i), 1);
        EXPECT_EQ(wordAt(rzf, 20 * i + 4), 3600 * (int)i);
        EXPECT_EQ(rows[i].time, 3600 * (int)i);
        EXPECT_EQ(realAt(rzf, 20 * i + 8), 293.15f);
        EXPECT_EQ(realAt(rzf, 20 * i + 16), (float)rows[i].density) << i;
        EXPECT_EQ(wordAt(rzm, 12 * i + 4), 3600 * (int)i);
        EXPECT_EQ(realAt(rzm, 12 * i + 8), (float)rows[i].co2) << i;
    }
}

TEST_F(StsFilesRun, SteadyRunWritesNone)
{
    ASSERT_EQ(run(1).status, 0);
    for (const char* ext : {".rzf", ".rzm", ".rz1", ".rxr"}) EXPECT_FALSE(exists(path(ext))) << ext;
}

// A SIM file on a full device fails the run after the loop closed the short-time-step files:
// the records of the failed run go, and their cross reference with them.
TEST_F(StsFilesRun, FatalEndRemovesTheRecordsAndTheirCrossReference)
{
    ASSERT_EQ(symlink("/dev/full", path(".sim").c_str()), 0);
    EXPECT_EQ(run(2).status, 2);
    for (const char* ext : {".rzf", ".rzm", ".rz1", ".rxr"}) EXPECT_FALSE(exists(path(ext))) << ext;
}

// A run that a FATAL ends inside its time loop leaves no short-time-step file behind: the
// short-time-step method with a step too long for the room (60 kg of air turned over at
// 0.1 kg/s of flows in and out needs less than 1204 s), and the stiff integrator asked to
// use the biconjugate-gradient matrix method.
struct LoopFatal {
    const char* name;
    Edit solver, extra;
    const char* message;
};

void PrintTo(const LoopFatal& c, std::ostream* os) { *os << c.name; }

class StsFilesLoopFatal : public StsFilesRun, public ::testing::WithParamInterface<LoopFatal> {};

TEST_P(StsFilesLoopFatal, LeavesNoShortTimeStepFile)
{
    const LoopFatal& c = GetParam();
    std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ventilated-co2.prj");
    const std::string from = "\n0 0 0 0 0 0\n0 0 1 1 1\n", to = "\n1 1 1 0 0 0\n0 0 1 1 1\n";
    prj.replace(prj.find(from), from.size(), to);
    std::ofstream(dir + "room.prj")
        << edited(prj, {{"1 0 1e-4 1e-15 0 0", "2 0 1e-4 1e-15 0 0"}, c.solver, c.extra});
    Outcome r = runEngine("room.prj", "room.prj");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.log.find("RXR (results files cross reference data)"), std::string::npos) << "the run wrote one";
    for (const char* ext : {".rzf", ".rzm", ".rz1", ".rxr"}) EXPECT_FALSE(exists(path(ext))) << ext;
}

INSTANTIATE_TEST_SUITE_P(
    Fatal, StsFilesLoopFatal,
    ::testing::Values(LoopFatal{"UnstableShortTimeStep", {"0 0 0 0.1 0 0", "1 0 0 0.1 0 0"},
                                {"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 0:10:00",
                                 "Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 1:00:00 1:00:00 6:00:00"},
                                "Revise time step (or volume) to permit stable solution"},
                      LoopFatal{"StiffIntegratorWithBcg", {"0 0 0 0.1 0 0", "2 0 0 0.1 0 0"},
                                {"0 1 100 1e-4 1e-15 1.1 0", "1 1 100 1e-4 1e-15 1.1 0"},
                                "Please try another transport solver"}),
    [](const ::testing::TestParamInfo<LoopFatal>& i) { return std::string(i.param.name); });

// The restart file and the contaminant summary are complete before the SIM file fails at
// the end of the run; they are results of the failed run and go with the others.
TEST_F(StsFilesRun, FatalEndRemovesTheRestartFileAndTheSummary)
{
    ASSERT_EQ(symlink("/dev/full", path(".sim").c_str()), 0);
    Outcome r = run(2, "1 1 1 1 0 0");   // the contaminant summary on
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Results of this run could not be written in full\n"), std::string::npos) << r.err;
    EXPECT_NE(r.log.find("set_urst_init()"), std::string::npos) << "the run wrote a restart file";
    EXPECT_FALSE(exists(path(".rst")));
    EXPECT_FALSE(exists(path(".csm")));
}

TEST_F(StsFilesRun, RecordsTheDiskRefusesEndTheRunWithTwo)
{
    ASSERT_EQ(symlink("/dev/full", path(".rzf").c_str()), 0);
    Outcome r = run(2);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ERROR Could not write result file room.rzf: No space left on device\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("FATAL Results of this run could not be written in full\n"), std::string::npos);
    EXPECT_FALSE(linked(".rzf"));
    EXPECT_FALSE(exists(path(".rzm")));
    EXPECT_FALSE(exists(path(".rxr")));
}

}  // namespace
