// SQLite results database: the tables each save switch creates with their exact texts, the
// fixed SIMINFO and LINKDUCTINFO rows, the rows of a listing step, the once-only ERROR
// of a failed insert, a kill in the middle of a step, and removal of the database by its
// closer and at every new opening.
#include "output/sqlite-out.h"
#include "output/sim-out.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "../common-src/section-test-util.h"
#include "result-net.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar::testnet;

namespace {

using Row = std::vector<std::string>;

class SqlDb : public ResultTest {
protected:
    void TearDown() override
    {
        set_usql_close(0);
        if (db) sqlite3_close(db);
        ResultTest::TearDown();
    }
    void setSwitches(int pf, int zf, int zc)
    {
        _rcdat.pfsave = pf;
        _rcdat.zfsave = zf;
        _rcdat.zcsave = zc;
    }
    // Opens the database the engine wrote (read-only, after the engine closed it).
    void reopen()
    {
        set_usql_close(0);
        ASSERT_EQ(sqlite3_open_v2(file(".sqlite3").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
    }
    // Every row of a query, each column as text.
    std::vector<Row> rows(const std::string& sql)
    {
        std::vector<Row> out;
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            Row r;
            for (int c = 0; c < sqlite3_column_count(st); c++) {
                const unsigned char* t = sqlite3_column_text(st, c);
                r.push_back(t ? (const char*)t : "NULL");
            }
            out.push_back(r);
        }
        sqlite3_finalize(st);
        return out;
    }
    // Makes every insert into the table fail with the message "refused".
    void refuseInserts(const char* table)
    {
        std::string sql = std::string("CREATE TRIGGER refuse BEFORE INSERT ON ") + table +
                          " BEGIN SELECT RAISE(ABORT, 'refused'); END;";
        ASSERT_EQ(sqlite3_exec(_sqldb, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    }
    std::set<std::string> tables()
    {
        std::set<std::string> names;
        for (const Row& r : rows("SELECT name FROM sqlite_master WHERE type = 'table'"))
            names.insert(r[0]);
        return names;
    }
    std::vector<std::string> columns(const std::string& table)
    {
        std::vector<std::string> names;
        for (const Row& r : rows("PRAGMA table_info(" + table + ")")) names.push_back(r[1]);
        return names;
    }
    sqlite3* db = nullptr;
};

// ---- Tables -----------------------------------------------------------------------------

struct Switches {
    int pf, zf, zc;
    std::set<std::string> tables;
};

void PrintTo(const Switches& s, std::ostream* os)
{
    *os << "pf" << s.pf << " zf" << s.zf << " zc" << s.zc;
}

class SqlTables : public SqlDb, public ::testing::WithParamInterface<Switches> {};

TEST_P(SqlTables, EachSaveSwitchCreatesItsTables)
{
    setSwitches(GetParam().pf, GetParam().zf, GetParam().zc);
    set_usql_open();
    reopen();
    std::set<std::string> want = {"SIMINFO", "TIME", "AMBIENTCONDITIONS"};
    want.insert(GetParam().tables.begin(), GetParam().tables.end());
    EXPECT_EQ(tables(), want);
}

INSTANTIATE_TEST_SUITE_P(
    Output, SqlTables,
    ::testing::Values(Switches{0, 0, 1, {"NODEZONECCDATA", "NODEDUCTCCDATA"}},
                      Switches{0, 1, 0, {"NODEZONEFLOWDATA", "NODEDUCTFLOWDATA"}},
                      Switches{1, 0, 0, {"LINKPATHDATA", "LINKDUCTINFO", "LINKDUCTDATA"}},
                      Switches{1, 1, 1,
                               {"NODEZONECCDATA", "NODEDUCTCCDATA", "NODEZONEFLOWDATA",
                                "NODEDUCTFLOWDATA", "LINKPATHDATA", "LINKDUCTINFO",
                                "LINKDUCTDATA"}}),
    testnames::named([](const Switches& w) {
        return "pf" + std::to_string(w.pf) + "_zf" + std::to_string(w.zf) + "_zc" + std::to_string(w.zc);
    }));

TEST_F(SqlDb, NoSaveSwitchCreatesNoDatabase)
{
    set_usql_open();
    EXPECT_EQ(_sqldb, nullptr);
    EXPECT_FALSE(fileExists(file(".sqlite3")));
    writeSql_stepTime(3600);   // a step with no database is no error
}

TEST_F(SqlDb, WithoutJunctionsNoDuctNodeTablesExist)
{
    _njct = 0;
    net.node[1].next = &net.node[4];
    net.node[4].index = 3;
    _nafnd = 3;
    setSwitches(0, 1, 1);
    set_usql_open();
    writeSql_stepTime(3600);
    reopen();
    EXPECT_EQ(tables().count("NODEDUCTCCDATA"), 0u);
    EXPECT_EQ(tables().count("NODEDUCTFLOWDATA"), 0u);
    EXPECT_EQ(rows("SELECT ZoneNumber FROM NODEZONEFLOWDATA"), (std::vector<Row>{{"1"}, {"3"}}));
}

// Every statement the set-up runs, as SQLite received it.
int traceStatement(unsigned, void* ran, void* stmt, void*)
{
    static_cast<std::vector<std::string>*>(ran)->push_back(sqlite3_sql((sqlite3_stmt*)stmt));
    return 0;
}

TEST_F(SqlDb, SetUpRunsExactlyTheseStatementTexts)
{
    setSwitches(1, 1, 1);
    sqliteOpenDatabase();
    std::vector<std::string> ran;
    sqlite3_trace_v2(_sqldb, SQLITE_TRACE_STMT, traceStatement, &ran);
    sqliteAddTables();
    sqlite3_trace_v2(_sqldb, 0, nullptr, nullptr);
    const std::string fk = "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID));";
    const std::vector<std::string> want = {
        "BEGIN TRANSACTION",
        "CREATE TABLE SIMINFO (id INTEGER PRIMARY KEY, VEXLARVersion STRING, nzones INTEGER, "
        "npaths INTEGER, nctms INTEGER, njcts INTEGER, ndcts INTEGER, ListTimeStep INTEGER, "
        "Date0 INTEGER, Time0 INTEGER, Date1 INTEGER, Time1 INTEGER, pfsave INTEGER, zfsave "
        "INTEGER, zcsave INTEGER, nafnodes INTEGER, nccnodes INTEGER, afpaths INTEGER);",
        "CREATE TABLE TIME (TimeID INTEGER PRIMARY KEY, dayofyear INTEGER, daytype INTEGER, "
        "Time INTEGER);",
        "CREATE TABLE AMBIENTCONDITIONS (TimeID INTEGER, Tambt REAL, Pambt REAL, Ws REAL, Wd "
        "REAL, C0 REAL, C1 REAL, " + fk,
        "CREATE TABLE NODEZONECCDATA (TimeID INTEGER, ZoneNumber INTEGER, C0 REAL, C1 REAL, " + fk,
        "CREATE TABLE NODEDUCTCCDATA (TimeID INTEGER, DuctNodeNumber INTEGER, C0 REAL, C1 REAL, " +
            fk,
        "CREATE TABLE NODEZONEFLOWDATA (TimeID INTEGER, ZoneNumber INTEGER, Temperature REAL, "
        "Pressure REAL, Density REAL, " + fk,
        "CREATE TABLE NODEDUCTFLOWDATA (TimeID INTEGER, DuctNodeNumber INTEGER, Temperature "
        "REAL, Pressure REAL, Density REAL, " + fk,
        "CREATE TABLE LINKPATHDATA (TimeID INTEGER, PathNumber INTEGER, dP REAL, Flow0 REAL, "
        "Flow1 REAL, " + fk,
        "CREATE TABLE LINKDUCTINFO (DuctLinkNumber INTEGER PRIMARY KEY, Type INTEGER , "
        "DuctNumber INTEGER);",
        "CREATE TABLE LINKDUCTDATA (TimeID INTEGER, DuctLinkNumber INTEGER, dP REAL, Flow0 "
        "REAL, Flow1 REAL, FOREIGN KEY(TimeID) REFERENCES TIME(TimeID),FOREIGN "
        "KEY(DuctLinkNumber) REFERENCES LINKDUCTINFO(DuctLinkNumber));",
        "INSERT INTO SIMINFO(VEXLARVersion, nzones, npaths, nctms, njcts, ndcts, ListTimeStep, "
        "Date0, Time0, Date1, Time1, pfsave, zfsave, zcsave, nafnodes, nccnodes, afpaths)  "
        "VALUES('3.4.0.0', 2, 2, 2, 2, 1, 3600, 32, 3600, 33, 0, 1, 1, 1, 5, 5, 5);",
        "INSERT INTO LINKDUCTINFO(Type, DuctNumber) VALUES(1, 2);",
        "INSERT INTO LINKDUCTINFO(Type, DuctNumber) VALUES(2, 8);",
        "INSERT INTO LINKDUCTINFO(Type, DuctNumber) VALUES(3, 1);",
        "END TRANSACTION",
    };
    EXPECT_EQ(ran, want);
}

TEST_F(SqlDb, PreparedInsertTextsAreExact)
{
    setSwitches(1, 1, 1);
    set_usql_open();
    std::set<std::string> prepared;
    for (sqlite3_stmt* st = sqlite3_next_stmt(_sqldb, nullptr); st; st = sqlite3_next_stmt(_sqldb, st))
        prepared.insert(sqlite3_sql(st));
    EXPECT_EQ(prepared,
              (std::set<std::string>{
                  "INSERT INTO TIME(dayofyear, daytype, Time) VALUES(?, ?, ?);",
                  "INSERT INTO AMBIENTCONDITIONS(TimeID, Tambt, Pambt, Ws, Wd, C0, C1) "
                  "VALUES(?, ?, ?, ?, ?, ?, ?);",
                  "INSERT INTO NODEZONECCDATA(TimeID, ZoneNumber, C0, C1) VALUES(?, ?, ?, ?);",
                  "INSERT INTO NODEDUCTCCDATA(TimeID, DuctNodeNumber, C0, C1) VALUES(?, ?, ?, ?);",
                  "INSERT INTO NODEZONEFLOWDATA(TimeID, ZoneNumber, Temperature, Pressure, "
                  "Density) VALUES(?, ?, ?, ?, ?);",
                  "INSERT INTO NODEDUCTFLOWDATA(TimeID, DuctNodeNumber, Temperature, Pressure, "
                  "Density) VALUES(?, ?, ?, ?, ?);",
                  "INSERT INTO LINKPATHDATA(TimeID, PathNumber, dP, Flow0, Flow1) VALUES(?, ?, "
                  "?, ?, ?);",
                  "INSERT INTO LINKDUCTDATA(TimeID, DuctLinkNumber, dP, Flow0, Flow1) VALUES(?, "
                  "?, ?, ?, ?);"}));
}

// Foreign keys are enforced and commits do not wait for the disk; while open, the steps
// go to a write-ahead log, which closing folds back: the kept database is one file.
TEST_F(SqlDb, OpeningSetsForeignKeysSynchronousAndJournal)
{
    setSwitches(0, 0, 1);
    sqliteOpenDatabase();
    std::swap(db, _sqldb);
    EXPECT_EQ(rows("PRAGMA foreign_keys"), (std::vector<Row>{{"1"}}));
    EXPECT_EQ(rows("PRAGMA synchronous"), (std::vector<Row>{{"0"}}));
    EXPECT_EQ(rows("PRAGMA journal_mode"), (std::vector<Row>{{"wal"}}));
    std::swap(db, _sqldb);
    sqliteAddTables();
    sqliteCreatePreparedStatements();
    writeSql_stepTime(3600);
    EXPECT_TRUE(fileExists(file(".sqlite3-wal")));
    reopen();
    EXPECT_EQ(rows("PRAGMA journal_mode"), (std::vector<Row>{{"delete"}}));
    for (const char* side : {".sqlite3-wal", ".sqlite3-shm", ".sqlite3-journal"})
        EXPECT_FALSE(fileExists(file(side))) << side;
}

TEST_F(SqlDb, WithoutSpeciesTheAmbientTableHasOnlyTheWeatherColumns)
{
    _nctm = 0;
    setSwitches(0, 0, 1);
    set_usql_open();
    writeSql_stepTime(3600);
    reopen();
    EXPECT_EQ(columns("AMBIENTCONDITIONS"),
              (std::vector<std::string>{"TimeID", "Tambt", "Pambt", "Ws", "Wd"}));
    EXPECT_EQ(columns("NODEZONECCDATA"), (std::vector<std::string>{"TimeID", "ZoneNumber"}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM AMBIENTCONDITIONS"), (std::vector<Row>{{"1"}}));
}

// ---- Fixed rows -------------------------------------------------------------------------

TEST_F(SqlDb, SimInfoRowHoldsCountsClockAndSwitchesWithNodeCountAsNccnodes)
{
    setSwitches(1, 1, 0);
    set_usql_open();
    reopen();
    std::vector<Row> r = rows(
        "SELECT id, VEXLARVersion, nzones, npaths, nctms, njcts, ndcts, ListTimeStep, Date0, "
        "Time0, Date1, Time1, pfsave, zfsave, zcsave, nafnodes, nccnodes, afpaths FROM SIMINFO");
    EXPECT_EQ(r, (std::vector<Row>{{"1", "3.4.0.0", "2", "2", "2", "2", "1", "3600", "32",
                                    "3600", "33", "0", "1", "1", "0", "5", "5", "5"}}));
}

TEST_F(SqlDb, DuctLinkInfoListsEverySegmentTerminalAndLeakInPathOrder)
{
    setSwitches(1, 0, 0);
    set_usql_open();
    reopen();
    EXPECT_EQ(rows("SELECT DuctLinkNumber, Type, DuctNumber FROM LINKDUCTINFO"),
              (std::vector<Row>{{"1", "1", "2"}, {"2", "2", "8"}, {"3", "3", "1"}}));
}

// Terminals and leaks can exist without any duct segment; their rows still need the table.
TEST_F(SqlDb, DuctLinksWithoutDuctSegmentsStillGetTheirTables)
{
    _ndct = 0;
    net.path[1].next = &net.path[3];   // paths 4 and 9, the terminal and the leak
    _nafpt = 4;
    setSwitches(1, 0, 0);
    set_usql_open();
    writeSql_stepTime(3600);
    reopen();
    EXPECT_EQ(rows("SELECT DuctLinkNumber, Type, DuctNumber FROM LINKDUCTINFO"),
              (std::vector<Row>{{"1", "2", "8"}, {"2", "3", "1"}}));
    EXPECT_EQ(rows("SELECT TimeID, DuctLinkNumber, dP FROM LINKDUCTDATA"),
              (std::vector<Row>{{"1", "1", "4.0"}, {"1", "2", "0.5"}}));
}

// ---- Step rows --------------------------------------------------------------------------

TEST_F(SqlDb, ListingStepRowsCarryTheGivenTimeAmbientNodesAndPaths)
{
    setSwitches(1, 1, 1);
    set_usql_open();
    writeSql_stepTime(0);      // the midnight record of a new day, listed at time 0
    _daytyp = 4;
    writeSql_stepTime(7200);   // the clock still says 3600: the row takes the time it is given
    reopen();
    EXPECT_EQ(rows("SELECT TimeID, dayofyear, daytype, Time FROM TIME"),
              (std::vector<Row>{{"1", "32", "3", "0"}, {"2", "32", "4", "7200"}}));
    EXPECT_EQ(rows("SELECT TimeID, Tambt, Pambt, Ws, Wd, C0, C1 FROM AMBIENTCONDITIONS "
                   "WHERE TimeID = 2"),
              (std::vector<Row>{{"2", "283.5", "101325.0", "4.5", "270.0", "0.0004", "0.0"}}));
    EXPECT_EQ(rows("SELECT ZoneNumber, C0, C1 FROM NODEZONECCDATA WHERE TimeID = 2"),
              (std::vector<Row>{{"1", "0.001", "2.0e-06"}, {"3", "0.0005", "0.0"}}));
    EXPECT_EQ(rows("SELECT DuctNodeNumber, C0 FROM NODEDUCTCCDATA WHERE TimeID = 2"),
              (std::vector<Row>{{"7", "0.00025"}, {"8", "0.000125"}}));
    EXPECT_EQ(rows("SELECT ZoneNumber, Temperature, Pressure, Density FROM NODEZONEFLOWDATA "
                   "WHERE TimeID = 2"),
              (std::vector<Row>{{"1", "293.25", "2.5", "1.25"}, {"3", "295.5", "-1.5", "1.5"}}));
    EXPECT_EQ(rows("SELECT DuctNodeNumber, Pressure FROM NODEDUCTFLOWDATA WHERE TimeID = 2"),
              (std::vector<Row>{{"7", "10.0"}, {"8", "4.0"}}));
    EXPECT_EQ(rows("SELECT PathNumber, dP, Flow0, Flow1 FROM LINKPATHDATA WHERE TimeID = 2"),
              (std::vector<Row>{{"4", "3.0", "0.05", "0.0"}, {"9", "-1.0", "-0.02", "0.01"}}));
    EXPECT_EQ(rows("SELECT DuctLinkNumber, dP, Flow0 FROM LINKDUCTDATA WHERE TimeID = 2"),
              (std::vector<Row>{{"1", "6.0", "0.125"}, {"2", "4.0", "0.0625"}, {"3", "0.5", "0.001"}}));
}

TEST_F(SqlDb, FailedStepInsertIsReportedOnceAndTheOtherRowsStillGoIn)
{
    setSwitches(1, 0, 0);
    set_usql_open();
    refuseInserts("LINKPATHDATA");
    testutil::MessageCapture capture;
    writeSql_stepTime(3600);
    writeSql_stepTime(7200);
    EXPECT_EQ(capture.count("ERROR"), 1) << capture.dump();
    EXPECT_TRUE(capture.has("ERROR", "Insert into SQLite3 results database failed: " + dir +
                                         "bldg.sqlite3: refused; later insert failures are not reported"))
        << capture.dump();
    EXPECT_EQ(_resultWriteFailures, 1);
    _resultWriteFailures = 0;
    reopen();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM TIME"), (std::vector<Row>{{"2"}}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM LINKPATHDATA"), (std::vector<Row>{{"0"}}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM LINKDUCTDATA"), (std::vector<Row>{{"6"}}));
}

TEST_F(SqlDb, StepWhoseTimeRowFailsFilesNoRowsUnderAnotherTime)
{
    setSwitches(1, 0, 0);
    set_usql_open();
    writeSql_stepTime(3600);
    refuseInserts("TIME");
    testutil::MessageCapture capture;
    writeSql_stepTime(7200);
    reopen();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM LINKPATHDATA"), (std::vector<Row>{{"2"}}));
    EXPECT_EQ(capture.count("ERROR"), 1);
    _resultWriteFailures = 0;
}

// ---- A killed run ------------------------------------------------------------------------

// A file system that ends the process, as a kill would, at a chosen write to the database or
// its log: it wraps SQLite's own and only counts those writes. The database and its log
// have method tables of their own, each wrapped once.
sqlite3_vfs* realVfs;
sqlite3_vfs killingVfs;
struct Wrapped {
    const sqlite3_io_methods* real;
    sqlite3_io_methods killing;
} wrapped[4];
int writesLeft = -1;   // writes still allowed; -1 any number

int killingWrite(sqlite3_file* f, const void* data, int n, sqlite3_int64 at)
{
    if (writesLeft == 0) raise(SIGKILL);
    if (writesLeft > 0) writesLeft--;
    const Wrapped* w = wrapped;
    while (&w->killing != f->pMethods) w++;
    return w->real->xWrite(f, data, n, at);
}

int killingOpen(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags)
{
    int rc = realVfs->xOpen(realVfs, name, f, flags, outFlags);
    if (rc != SQLITE_OK || !f->pMethods || !(flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL))) return rc;
    Wrapped* w = wrapped;
    while (w->real && w->real != f->pMethods) w++;
    w->real = f->pMethods;
    w->killing = *f->pMethods;
    w->killing.xWrite = killingWrite;
    f->pMethods = &w->killing;
    return rc;
}

// A run killed in the middle of writing its second step (at 7200 s), after two of the
// writes that put the step on disk. The next user of the database finds it sound, with the
// step committed before the kill whole (two paths, three duct links) and nothing of the
// one under way.
TEST_F(SqlDb, KillInTheMiddleOfAStepLeavesTheCommittedStepsWhole)
{
    setSwitches(1, 0, 0);
    EXPECT_EXIT(
        {
            realVfs = sqlite3_vfs_find(nullptr);
            killingVfs = *realVfs;
            killingVfs.zName = "killing";
            killingVfs.xOpen = killingOpen;
            sqlite3_vfs_register(&killingVfs, 1);
            set_usql_open();
            writeSql_stepTime(3600);
            writesLeft = 2;
            writeSql_stepTime(7200);
            _exit(3);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    ASSERT_EQ(sqlite3_open(file(".sqlite3").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(rows("PRAGMA integrity_check"), (std::vector<Row>{{"ok"}}));
    EXPECT_EQ(rows("SELECT TimeID, Time FROM TIME"), (std::vector<Row>{{"1", "3600"}}));
    EXPECT_EQ(rows("SELECT TimeID, COUNT(*) FROM LINKPATHDATA GROUP BY TimeID"), (std::vector<Row>{{"1", "2"}}));
    EXPECT_EQ(rows("SELECT TimeID, COUNT(*) FROM LINKDUCTDATA GROUP BY TimeID"), (std::vector<Row>{{"1", "3"}}));
}

// ---- Removal ----------------------------------------------------------------------------

TEST_F(SqlDb, NewOpeningStartsFromAnEmptyDatabase)
{
    setSwitches(0, 1, 0);
    set_usql_open();
    writeSql_stepTime(3600);
    set_usql_close(0);
    set_usql_open();
    reopen();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM TIME"), (std::vector<Row>{{"0"}}));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM SIMINFO"), (std::vector<Row>{{"1"}}));
}

TEST_F(SqlDb, CloserRemovesAPartialDatabaseWithItsFlag)
{
    setSwitches(1, 1, 1);
    set_usql_open();
    writeSql_stepTime(3600);
    set_usql_close(1);
    EXPECT_EQ(_sqldb, nullptr);
    EXPECT_FALSE(fileExists(file(".sqlite3")));
}

TEST_F(SqlDb, DatabaseThatCannotBeOpenedIsFatal)
{
    setSwitches(1, 0, 0);
    snprintf(_pdir, sizeof _pdir, "%s", (dir + "missing/").c_str());
    EXPECT_EXIT(set_usql_open(), ::testing::ExitedWithCode(2), "Error opening SQLite3 database: ");
}

TEST_F(SqlDb, OpeningIsLoggedAndDetailLevelThreeListsTheTables)
{
    setSwitches(1, 0, 0);
    std::string text = logDuring(3, [] {
        set_usql_open();
        set_usql_close(0);
    });
    for (const char* line :
         {"sqlite: Opening ", "sqlite: Foreign keys enabled.\n", "sqlite: Journaling set to wal.\n",
          "Created LinkDuctData Table.\n", "nccnodes: 5.\n", "DuctLinkNumber: 3.\n", "sqlite: Closed "})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

}  // namespace
