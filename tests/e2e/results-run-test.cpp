// End-to-end result files of the vexlar-x executable on the bundled office example: a
// steady run leaves a SIM file and a database that agree with each other, removes the
// stale files of the result kinds it does not select (and leaves the restart and
// short-time-step files alone), and a run ended by a FATAL removes its partial results.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include <sys/stat.h>

#include "e2e-util.h"

namespace {

class ResultsRun : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        if (!HasFatalFailure()) copyInto(dir, examplePath("office"));
    }

    int run() { return runEngine("office.prj").status; }
    std::string path(const char* ext) const { return dir + "office" + ext; }
    bool exists(const char* ext) const { return ::exists(path(ext)); }
    void touch(const char* ext) const { std::ofstream(path(ext)) << "stale"; }
    std::string text(const char* ext) const { return slurp(path(ext)); }
};

int32_t word(const std::string& b, size_t off)
{
    return (int32_t)((uint8_t)b[off] | (uint8_t)b[off + 1] << 8 | (uint8_t)b[off + 2] << 16 |
                     (uint32_t)(uint8_t)b[off + 3] << 24);
}

float real(const std::string& b, size_t off)
{
    int32_t w = word(b, off);
    float f;
    memcpy(&f, &w, 4);
    return f;
}

TEST_F(ResultsRun, UnselectedStaleFilesGoAtStartUpAndRestartFilesStay)
{
    for (const char* ext : {".ach", ".cbw", ".age", ".ebw", ".cex", ".srf", ".rst", ".rzf"}) touch(ext);
    ASSERT_EQ(run(), 0) << text(".xlog");
    for (const char* ext : {".ach", ".cbw", ".age", ".ebw", ".cex", ".srf"})
        EXPECT_FALSE(exists(ext)) << ext;
    EXPECT_TRUE(exists(".rst"));
    EXPECT_TRUE(exists(".rzf"));
    EXPECT_TRUE(exists(".sim"));
    EXPECT_TRUE(exists(".sqlite3"));
}

// The SIM header and its one step agree with SIMINFO, TIME and the path rows.
TEST_F(ResultsRun, SimFileAndDatabaseHoldTheSameSingleResultTime)
{
    ASSERT_EQ(run(), 0) << text(".xlog");
    std::string sim = text(".sim");
    ASSERT_GE(sim.size(), 68u);
    const int nafnd = word(sim, 56), nccnd = word(sim, 60), nafpt = word(sim, 64);
    EXPECT_EQ(word(sim, 0), 24);
    EXPECT_EQ(word(sim, 44), 1) << "office lists path flows";

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path(".sqlite3").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT nzones, npaths, nctms, njcts, ndcts, ListTimeStep, Date0, Time0, "
                       "nafnodes, afpaths FROM SIMINFO",
                       -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    for (int i = 0; i < 8; i++) EXPECT_EQ(sqlite3_column_int(st, i), word(sim, 4 + 4 * i)) << i;
    EXPECT_EQ(sqlite3_column_int(st, 8), nafnd);
    EXPECT_EQ(sqlite3_column_int(st, 9), nafpt);
    sqlite3_finalize(st);

    // The step block follows the tables; its time and its first path match the database.
    const int nctm = word(sim, 12);
    size_t step = 68 + 8 * (size_t)nafnd * (nccnd ? 2 : 1) + 8 * (size_t)nafpt;
    sqlite3_prepare_v2(db, "SELECT dayofyear, Time FROM TIME", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), (uint8_t)sim[step] | (uint8_t)sim[step + 1] << 8);
    EXPECT_EQ(sqlite3_column_int(st, 1), word(sim, step + 4));
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << "a steady run writes one result time";
    sqlite3_finalize(st);

    size_t firstPath = step + 24 + 4 * (size_t)nctm;
    EXPECT_EQ(word(sim, firstPath), 1);
    sqlite3_prepare_v2(db, "SELECT dP, Flow0 FROM LINKPATHDATA ORDER BY rowid LIMIT 1", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ((float)sqlite3_column_double(st, 0), real(sim, firstPath + 4));
    EXPECT_EQ((float)sqlite3_column_double(st, 1), real(sim, firstPath + 8));
    sqlite3_finalize(st);
    sqlite3_close(db);
}

// A database that cannot be created ends the run after the SIM file was opened: the SIM
// file of the failed run is removed; the short-time-step files of an earlier run, which
// this run never opened, stay.
TEST_F(ResultsRun, FatalEndLeavesNoPartialResults)
{
    mkdir(path(".sqlite3").c_str(), 0700);
    std::ofstream(path(".sqlite3") + "/keep") << "x";   // so that it cannot be removed
    touch(".rzf");
    EXPECT_EQ(run(), 2);
    EXPECT_NE(text(".xlog").find("Error opening SQLite3 database: "), std::string::npos);
    EXPECT_FALSE(exists(".sim"));
    EXPECT_TRUE(exists(".rzf"));
}

// A SIM file on a full device: every refused record is an ERROR naming the file, the run
// ends with a FATAL instead of success, and the file (here the link to the device) goes.
TEST_F(ResultsRun, SimFileTheDiskRefusesEndsTheRunWithTwo)
{
    ASSERT_EQ(symlink("/dev/full", path(".sim").c_str()), 0);
    Outcome r = runEngine("office.prj", "office.prj");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ERROR fwrite failed: office.sim: No space left on device\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("FATAL Results of this run could not be written in full\n"), std::string::npos);
    EXPECT_EQ(r.log.find("Simulation completed successfully."), std::string::npos);
    EXPECT_EQ(r.log.substr(r.log.size() - 18), "VexlarX finish(2)\n");
    struct stat st;
    EXPECT_NE(lstat(path(".sim").c_str(), &st), 0);
    EXPECT_FALSE(exists(".sqlite3"));
}

// A result file that cannot be created, here because a directory (not empty, so that no
// removal of a stale file takes it away) stands in its place, ends the run with its FATAL
// naming the file, followed by the system's reason.
struct Uncreatable {
    const char* ext;
    const char* fatal;
};

void PrintTo(const Uncreatable& u, std::ostream* os) { *os << u.ext; }

const Uncreatable kUncreatable[] = {
    {".sim", "FATAL Could not open SIM file; is it already open? fans.sim (Is a directory)\n"},
    {".log", "FATAL Could not open control LOG file; is it already open? fans.log (Is a directory)\n"},
    {".rst", "FATAL Could not open RST file; is it already open? fans.rst (Is a directory)\n"},
    {".sqlite3", "FATAL Error opening SQLite3 database: fans.sqlite3: unable to open database file (Is a "
                 "directory)\n"},
};

class UncreatableResultFile : public E2eTest, public ::testing::WithParamInterface<Uncreatable> {};

TEST_P(UncreatableResultFile, EndsTheRunWithItsFatalAndTheSystemsReason)
{
    const std::string prj = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/";
    for (const char* f : {"fans.prj", "fans.cvf", "fans.dvf"}) copyInto(dir, prj + f);
    std::string blocked = dir + "fans" + GetParam().ext;
    mkdir(blocked.c_str(), 0700);
    std::ofstream(blocked + "/keep") << "x";
    Outcome r = runEngine("fans.prj", "fans.prj");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(GetParam().fatal), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(ResultsRun, UncreatableResultFile, ::testing::ValuesIn(kUncreatable),
                         [](const ::testing::TestParamInfo<Uncreatable>& i) { return std::string(i.param.ext + 1); });

// The database library takes full paths of about 500 characters at most; a project in a
// folder nested deeper than that is told so, where the library's own failure would give
// the last system error ("No such file or directory"). The other result files, which the
// system takes at such lengths, are written before the database is opened.
TEST_F(ResultsRun, DatabasePathTooLongForTheDatabaseIsNamedAsSuch)
{
    std::string deep;
    for (char c : {'a', 'b', 'c'}) deep += std::string(200, c) + "/";
    ASSERT_EQ(mkdir((dir + deep.substr(0, 201)).c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir + deep.substr(0, 402)).c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir + deep).c_str(), 0700), 0);
    const std::string prj = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/";
    for (const char* f : {"fans.prj", "fans.cvf", "fans.dvf"}) copyInto(dir + deep, prj + f);
    Outcome r = runEngine(deep + "fans.prj", deep + "fans.prj");
    EXPECT_EQ(r.status, 2);
    std::string fatal = "FATAL Error opening SQLite3 database: " + deep +
                        "fans.sqlite3: the path is too long for the database (" +
                        std::to_string(dir.size() + deep.size() + 12) + " characters, at most ";
    EXPECT_NE(r.err.find(fatal), std::string::npos) << r.err;
}

}  // namespace
