// SQLite results database: the listing-step results of the SIM file in relational form.
// Opening removes an older database of the project, creates the tables and the fixed rows
// in one transaction and prepares one insert per row kind; each listing step is then one
// transaction of bound inserts, so that a run that ends at any moment leaves whole steps.
// Species columns are named C0, C1, ... in species order.
#include "output/sqlite-out.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include <unistd.h>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/version.h"
#include "output/sim-out.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

sqlite3* _sqldb = nullptr;

static sqlite3_stmt *fg_TimeInsert, *fg_AmbientInsert, *fg_ZoneCCInsert, *fg_DuctCCInsert,
    *fg_ZoneFlowInsert, *fg_DuctFlowInsert, *fg_PathLinkInsert, *fg_DuctLinkInsert;
static sqlite3_stmt** const _statements[] = {
    &fg_TimeInsert,     &fg_AmbientInsert,  &fg_ZoneCCInsert,   &fg_DuctCCInsert,
    &fg_ZoneFlowInsert, &fg_DuctFlowInsert, &fg_PathLinkInsert, &fg_DuctLinkInsert};

static int _sqlStepWarned;   // a failed step insert has been reported

static int saveSwitchSet() { return _rcdat.pfsave || _rcdat.zfsave || _rcdat.zcsave; }

// Duct segments, terminals and leaks are listed in LINKDUCTINFO; terminals and leaks may
// exist without any duct segment, so the paths themselves are asked.
static int ductLinksExist()
{
    for (AirPath* p = _pafp0; p; p = p->next)
        if (p->kind != 0) return 1;
    return 0;
}

// ---- Statement texts --------------------------------------------------------------------

// A statement text under construction, sized for the widest species column list.
struct SqlText {
    char* text;
    size_t size;
    size_t len;
};

static SqlText sqlTextAlloc()
{
    size_t size = 1024 + 32 * (size_t)(_nctm > 0 ? _nctm : 0);
    return {static_cast<char*>(alc_e(size, "sqltext")), size, 0};
}

static void sqlTextFree(SqlText* t) { t->text = static_cast<char*>(fre_e(t->text, t->size, "sqltext")); }

static SqlText& sqlAppend(SqlText& t, const char* piece)
{
    t.len += snprintf(t.text + t.len, t.size - t.len, "%s", piece);
    return t;
}

// Appends the piece once per species, with the species index in place of its %d.
static SqlText& sqlAppendSpecies(SqlText& t, const char* piece)
{
    for (int s = 0; s < _nctm; s++) t.len += snprintf(t.text + t.len, t.size - t.len, piece, s);
    return t;
}

static SqlText& sqlStart(SqlText& t, const char* piece)
{
    t.len = 0;
    t.text[0] = '\0';
    return sqlAppend(t, piece);
}

// ---- Opening ----------------------------------------------------------------------------

// The database and the side files SQLite keeps beside it while it is open (the write-ahead
// log and its index, or a rollback journal): a database removed without them would leave
// megabytes of a failed run behind, and a new database must not meet an old one's log.
static void removeDatabaseFiles()
{
    for (const char* side : {"", "-wal", "-shm", "-journal"}) {
        char ext[32];
        snprintf(ext, sizeof ext, ".sqlite3%s", side);
        removeResultFile(ext);
    }
}

// A failed statement of the set-up ends the run with SQLite's own message.
static void sqlExec(const char* sql)
{
    char* msg = nullptr;
    if (sqlite3_exec(_sqldb, sql, nullptr, nullptr, &msg) == SQLITE_OK) return;
    char text[1024];
    snprintf(text, sizeof text, "%s", msg ? msg : sqlite3_errmsg(_sqldb));
    sqlite3_free(msg);
    error(FATAL, __FILE__, __LINE__, "Error executing SQLite3 statement: ", text, "");
}

static int copyFirstColumn(void* out, int, char** values, char**)
{
    snprintf(static_cast<char*>(out), 16, "%s", values[0] ? values[0] : "");
    return 0;
}

// Asks for a journal mode; returns the mode SQLite is in afterwards ("" when it failed).
static const char* setJournalMode(const char* sql)
{
    static char mode[16];
    mode[0] = '\0';
    sqlite3_exec(_sqldb, sql, copyFirstColumn, mode, nullptr);
    return mode;
}

// Length of the database's full path: the library makes a relative name absolute from the
// working folder before it opens it.
static size_t fullPathLength(const char* name)
{
    size_t n = strlen(name);
    char cwd[4096];
    if (name[0] != '/' && getcwd(cwd, sizeof cwd)) n += strlen(cwd) + 1;
    return n;
}

// Why the database at name could not be opened, after the path. SQLite's own message does
// not say why the system refused the file. The library also needs room for the names it
// derives from the database's, the longest ending in "-journal"; a path with no such room
// fails with whatever system error came last, so that limit is named instead.
static void openFailure(const char* name, char* text, size_t size)
{
    const sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    const int longest = vfs ? vfs->mxPathname - (int)strlen("-journal") : 0;
    size_t length = fullPathLength(name);
    int why = sqlite3_system_errno(_sqldb);
    if (vfs && length > (size_t)longest)
        snprintf(text, size, "%s: the path is too long for the database (%zu characters, at most %d)",
                 name, length, longest);
    else if (why)
        snprintf(text, size, "%s: %s (%s)", name, sqlite3_errmsg(_sqldb), strerror(why));
    else
        snprintf(text, size, "%s: %s", name, sqlite3_errmsg(_sqldb));
}

// Each step's transaction is appended to a write-ahead log beside the database: a run
// killed in the middle of a step leaves every step committed before it whole, and the
// step under way is simply absent. Commits do not wait for the disk: that guards against
// a lost process, not against the machine losing power, at no measurable cost, where
// waiting for the disk at each checkpoint of the log made a large run a quarter slower.
void sqliteOpenDatabase()
{
    if (!saveSwitchSet()) return;
    removeDatabaseFiles();
    const char* name = resultFileName(".sqlite3");
    ulog_printf("sqlite: Opening %s ...\n", name);
    if (sqlite3_open(name, &_sqldb) != SQLITE_OK) {
        char text[sizeof _file_name + 1024];
        openFailure(name, text, sizeof text);
        sqlite3_close(_sqldb);
        _sqldb = nullptr;
        error(FATAL, __FILE__, __LINE__, "Error opening SQLite3 database: ", text, "");
    }
    ulog_printf("sqlite: Opened %s.\n", name);
    sqlExec(" PRAGMA foreign_keys = ON ");
    ulog_printf("sqlite: Foreign keys enabled.\n");
    sqlExec("PRAGMA synchronous = OFF");
    ulog_printf("sqlite: Synchronous disk writes are off.\n");
    ulog_printf("sqlite: Journaling set to %s.\n", setJournalMode("PRAGMA journal_mode = WAL"));
}

// ---- Tables and fixed rows --------------------------------------------------------------

static const char FK_TIME[] = "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID));";

// One table: created when `when` holds, from head, the species columns (when `species`)
// and tail.
struct SqlTable {
    int when;
    const char* head;
    int species;
    const char* tail;
    const char* note;
};

static void createTables(SqlText& t)
{
    const RunControlData& rc = _rcdat;
    const int jct = _njct > 0, links = rc.pfsave && ductLinksExist();
    const SqlTable tables[] = {
        {1,
         "CREATE TABLE SIMINFO (id INTEGER PRIMARY KEY, VEXLARVersion STRING, nzones INTEGER, "
         "npaths INTEGER, nctms INTEGER, njcts INTEGER, ndcts INTEGER, ListTimeStep INTEGER, "
         "Date0 INTEGER, Time0 INTEGER, Date1 INTEGER, Time1 INTEGER, pfsave INTEGER, "
         "zfsave INTEGER, zcsave INTEGER, nafnodes INTEGER, nccnodes INTEGER, afpaths INTEGER);",
         0, "", "Created SIMINFO Table.\n"},
        {1,
         "CREATE TABLE TIME (TimeID INTEGER PRIMARY KEY, dayofyear INTEGER, daytype INTEGER, "
         "Time INTEGER);",
         0, "", "Created TIME Table.\n"},
        {1, "CREATE TABLE AMBIENTCONDITIONS (TimeID INTEGER, Tambt REAL, Pambt REAL, Ws REAL, Wd REAL, ",
         1, FK_TIME, "Created AMBIENTCONDITIONS Table.\n"},
        {rc.zcsave, "CREATE TABLE NODEZONECCDATA (TimeID INTEGER, ZoneNumber INTEGER, ", 1, FK_TIME,
         "Created NodeZoneCCData Table.\n"},
        {rc.zcsave && jct, "CREATE TABLE NODEDUCTCCDATA (TimeID INTEGER, DuctNodeNumber INTEGER, ", 1,
         FK_TIME, "Created NodeDuctCCData Table.\n"},
        {rc.zfsave,
         "CREATE TABLE NODEZONEFLOWDATA (TimeID INTEGER, ZoneNumber INTEGER, Temperature REAL, "
         "Pressure REAL, Density REAL, ",
         0, FK_TIME, "Created NodeZoneFlowData Table.\n"},
        {rc.zfsave && jct,
         "CREATE TABLE NODEDUCTFLOWDATA (TimeID INTEGER, DuctNodeNumber INTEGER, Temperature REAL, "
         "Pressure REAL, Density REAL, ",
         0, FK_TIME, "Created NodeDuctFlowData Table.\n"},
        {rc.pfsave,
         "CREATE TABLE LINKPATHDATA (TimeID INTEGER, PathNumber INTEGER, dP REAL, Flow0 REAL, "
         "Flow1 REAL, ",
         0, FK_TIME, "Created LinkPathData Table.\n"},
        {links,
         "CREATE TABLE LINKDUCTINFO (DuctLinkNumber INTEGER PRIMARY KEY, Type INTEGER , "
         "DuctNumber INTEGER);",
         0, "", "Created LinkDuctInfoData Table.\n"},
        {links,
         "CREATE TABLE LINKDUCTDATA (TimeID INTEGER, DuctLinkNumber INTEGER, dP REAL, Flow0 REAL, "
         "Flow1 REAL, FOREIGN KEY(TimeID) REFERENCES TIME(TimeID),FOREIGN KEY(DuctLinkNumber) "
         "REFERENCES LINKDUCTINFO(DuctLinkNumber));",
         0, "", "Created LinkDuctData Table.\n"},
    };
    for (const SqlTable& tb : tables) {
        if (!tb.when) continue;
        sqlStart(t, tb.head);
        if (tb.species) sqlAppendSpecies(t, "C%d REAL, ");
        sqlExec(sqlAppend(t, tb.tail).text);
        if (_list > 2) ulog_printf("%s", tb.note);
    }
}

static void insertSimInfo(SqlText& t)
{
    const RunControlData& rc = _rcdat;
    const int values[16] = {_nzone,     _npath,     _nctm,         _njct,      _ndct,
                            _time_list, _dayofy,    _stepEndTime,  _simEndDate, _simEndTime,
                            rc.pfsave,  rc.zfsave,  rc.zcsave,     _nafnd,     _nafnd,
                            _nafpt};
    static const char* const names[16] = {"nzones", "npaths", "nctms", "njcts", "ndcts",
                                          "ListTimeStep", "Date0", "Time0", "Date1", "Time1",
                                          "pfsave", "zfsave", "zcsave", "nafnodes", "nccnodes",
                                          "afpaths"};
    t.len = snprintf(t.text, t.size,
                     "%s VALUES('%s', %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d);",
                     "INSERT INTO SIMINFO(VEXLARVersion, nzones, npaths, nctms, njcts, ndcts, "
                     "ListTimeStep, Date0, Time0, Date1, Time1, pfsave, zfsave, zcsave, nafnodes, "
                     "nccnodes, afpaths) ",
                     VEXLAR_VERSION, values[0], values[1], values[2], values[3], values[4],
                     values[5], values[6], values[7], values[8], values[9], values[10], values[11],
                     values[12], values[13], values[14], values[15]);
    sqlExec(t.text);
    if (_list <= 2) return;
    ulog_printf("Inserted record into SIMINFO Table.\n");
    ulog_printf("VEXLARVersion: %s.\n", VEXLAR_VERSION);
    for (int i = 0; i < 16; i++) ulog_printf("%s: %d.\n", names[i], values[i]);
}

// One row per duct segment, terminal and leak in path-list order; their row ids 1, 2, ...
// are the DuctLinkNumber of every LINKDUCTDATA row.
static void insertDuctLinks(SqlText& t)
{
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (p->kind == 0) continue;
        t.len = snprintf(t.text, t.size, "INSERT INTO LINKDUCTINFO(Type, DuctNumber) VALUES(%d, %d);",
                         p->kind, p->number);
        sqlExec(t.text);
        if (_list <= 2) continue;
        ulog_printf("Inserted record into LINKDUCTINFO Table.\n");
        ulog_printf("DuctLinkNumber: %lld.\n", (long long)sqlite3_last_insert_rowid(_sqldb));
        ulog_printf("Type: %d.\n", p->kind);
        ulog_printf("DuctNumber: %d.\n", p->number);
    }
}

void sqliteAddTables()
{
    if (!saveSwitchSet()) return;
    SqlText t = sqlTextAlloc();
    sqlite3_exec(_sqldb, "BEGIN TRANSACTION", nullptr, nullptr, nullptr);
    createTables(t);
    insertSimInfo(t);
    if (_rcdat.pfsave && ductLinksExist()) insertDuctLinks(t);
    sqlExec("END TRANSACTION");
    sqlTextFree(&t);
}

// ---- Prepared inserts -------------------------------------------------------------------

// One insert: head, then (when `values` is given) the species columns, values and the
// species parameters, then ");".
struct SqlInsert {
    sqlite3_stmt** stmt;
    int when;
    const char* head;
    const char* values;
    const char* failure;
};

void sqliteCreatePreparedStatements()
{
    if (!saveSwitchSet()) return;
    const RunControlData& rc = _rcdat;
    const int jct = _njct > 0, links = rc.pfsave && ductLinksExist();
    const SqlInsert inserts[] = {
        {&fg_TimeInsert, 1, "INSERT INTO TIME(dayofyear, daytype, Time) VALUES(?, ?, ?);", nullptr,
         "Insert into time prepared statement creation failed."},
        {&fg_AmbientInsert, 1, "INSERT INTO AMBIENTCONDITIONS(TimeID, Tambt, Pambt, Ws, Wd",
         ") VALUES(?, ?, ?, ?, ?", "Insert into ambient conditions prepared statement creation failed."},
        {&fg_ZoneCCInsert, rc.zcsave, "INSERT INTO NODEZONECCDATA(TimeID, ZoneNumber", ") VALUES(?, ?",
         "Insert into zone CCs prepared statement creation failed."},
        {&fg_DuctCCInsert, rc.zcsave && jct, "INSERT INTO NODEDUCTCCDATA(TimeID, DuctNodeNumber",
         ") VALUES(?, ?", "Insert into duct CCs prepared statement creation failed."},
        {&fg_ZoneFlowInsert, rc.zfsave,
         "INSERT INTO NODEZONEFLOWDATA(TimeID, ZoneNumber, Temperature, Pressure, Density) "
         "VALUES(?, ?, ?, ?, ?);",
         nullptr, "Insert into node zone flow prepared statement creation failed."},
        {&fg_DuctFlowInsert, rc.zfsave && jct,
         "INSERT INTO NODEDUCTFLOWDATA(TimeID, DuctNodeNumber, Temperature, Pressure, Density) "
         "VALUES(?, ?, ?, ?, ?);",
         nullptr, "Insert into node duct flow prepared statement creation failed."},
        {&fg_PathLinkInsert, rc.pfsave,
         "INSERT INTO LINKPATHDATA(TimeID, PathNumber, dP, Flow0, Flow1) VALUES(?, ?, ?, ?, ?);",
         nullptr, "Insert into link path data prepared statement creation failed."},
        {&fg_DuctLinkInsert, links,
         "INSERT INTO LINKDUCTDATA(TimeID, DuctLinkNumber, dP, Flow0, Flow1) VALUES(?, ?, ?, ?, ?);",
         nullptr, "Insert into link duct data prepared statement creation failed."},
    };
    SqlText t = sqlTextAlloc();
    for (const SqlInsert& in : inserts) {
        if (!in.when) continue;
        sqlStart(t, in.head);
        if (in.values) {
            sqlAppendSpecies(t, ", C%d");
            sqlAppend(t, in.values);
            sqlAppendSpecies(t, ", ?");
            sqlAppend(t, ");");
        }
        if (sqlite3_prepare_v2(_sqldb, t.text, -1, in.stmt, nullptr) != SQLITE_OK) {
            sqlTextFree(&t);
            error(FATAL, __FILE__, __LINE__, in.failure, "");
        }
    }
    sqlTextFree(&t);
}

void set_usql_open()
{
    _sqlStepWarned = 0;
    sqliteOpenDatabase();
    sqliteAddTables();
    sqliteCreatePreparedStatements();
}

// ---- One listing step -------------------------------------------------------------------

// A step insert that fails is reported once per run; the run goes on without it, and it
// can no longer end as a success.
static void sqlStepFailed()
{
    if (_sqlStepWarned) return;
    _sqlStepWarned = 1;
    char detail[1024];
    snprintf(detail, sizeof detail, "%s; later insert failures are not reported",
             sqlite3_errmsg(_sqldb));
    resultWriteFailed("Insert into SQLite3 results database failed: ", ".sqlite3", detail);
}

static void sqlStepExec(const char* sql)
{
    if (sqlite3_exec(_sqldb, sql, nullptr, nullptr, nullptr) != SQLITE_OK) sqlStepFailed();
}

// Steps, clears and resets one bound insert; 0 when the row went in.
static int sqlRun(sqlite3_stmt* st)
{
    int failed = sqlite3_step(st) != SQLITE_DONE;
    if (failed) sqlStepFailed();
    sqlite3_clear_bindings(st);
    sqlite3_reset(st);
    return failed;
}

// Every real of the database passes here: stored in double precision, never a non-finite one.
static void bindReal(sqlite3_stmt* st, int column, double v)
{
    requireResult(v, false, "SQLite database");
    sqlite3_bind_double(st, column, v);
}

static void bindConcs(sqlite3_stmt* st, int first, const double* mf)
{
    for (int s = 0; s < _nctm; s++) bindReal(st, first + s, mf ? mf[s] : 0.0);
}

// The zone or duct-node statement of a node: junctions and terminals are duct nodes.
static sqlite3_stmt* nodeStatement(const AirNode* nd, sqlite3_stmt* zone, sqlite3_stmt* duct)
{
    return nd->kind != 0 ? duct : zone;
}

static void insertNodeConcs(sqlite3_int64 id)
{
    int pos = 0;
    for (AirNode* nd = _afnd0; nd && ++pos < _nafnd; nd = nd->next) {
        sqlite3_stmt* st = nodeStatement(nd, fg_ZoneCCInsert, fg_DuctCCInsert);
        if (!st) continue;
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_int(st, 2, nd->number);
        bindConcs(st, 3, nd->mf);
        sqlRun(st);
    }
}

static void insertNodeStates(sqlite3_int64 id)
{
    int pos = 0;
    for (AirNode* nd = _afnd0; nd && ++pos < _nafnd; nd = nd->next) {
        sqlite3_stmt* st = nodeStatement(nd, fg_ZoneFlowInsert, fg_DuctFlowInsert);
        if (!st) continue;
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_int(st, 2, nd->number);
        bindReal(st, 3, nd->temperature);
        bindReal(st, 4, nd->gauge_pressure);
        bindReal(st, 5, nd->density);
        sqlRun(st);
    }
}

// Ordinary paths by their number; duct links by their running count from 1, which is
// their LINKDUCTINFO row id.
static void insertPathFlows(sqlite3_int64 id)
{
    int link = 0;
    for (AirPath* p = _pafp0; p; p = p->next) {
        sqlite3_stmt* st = p->kind != 0 ? fg_DuctLinkInsert : fg_PathLinkInsert;
        int number = p->kind != 0 ? ++link : p->number;
        if (!st) continue;
        sqlite3_bind_int64(st, 1, id);
        sqlite3_bind_int(st, 2, number);
        bindReal(st, 3, p->dp);
        bindReal(st, 4, p->mass_flow[0]);
        bindReal(st, 5, p->mass_flow[1]);
        sqlRun(st);
    }
}

void writeSql_stepTime(int t)
{
    if (!_sqldb || !fg_TimeInsert) return;
    checkResultsFinite(false);
    sqlStepExec("BEGIN TRANSACTION");
    sqlite3_bind_int(fg_TimeInsert, 1, _dayofy);
    sqlite3_bind_int(fg_TimeInsert, 2, _daytyp);
    sqlite3_bind_int(fg_TimeInsert, 3, t);
    // Without its TIME row the step's rows would be filed under the previous TimeID.
    if (sqlRun(fg_TimeInsert)) {
        sqlStepExec("END TRANSACTION");
        return;
    }
    const sqlite3_int64 id = sqlite3_last_insert_rowid(_sqldb);

    const WeatherData& w = _wthdat;
    sqlite3_bind_int64(fg_AmbientInsert, 1, id);
    bindReal(fg_AmbientInsert, 2, w.Tambt);
    bindReal(fg_AmbientInsert, 3, w.Pbar);
    bindReal(fg_AmbientInsert, 4, w.WS);
    bindReal(fg_AmbientInsert, 5, w.WD);
    bindConcs(fg_AmbientInsert, 6, _pambt ? _pambt->mf : nullptr);
    sqlRun(fg_AmbientInsert);

    if (_rcdat.zcsave) insertNodeConcs(id);
    if (_rcdat.zfsave) insertNodeStates(id);
    if (_rcdat.pfsave) insertPathFlows(id);
    sqlStepExec("END TRANSACTION");
}

// ---- Closing ----------------------------------------------------------------------------

// Finalizes the statements and closes the database. A database that is kept is first
// brought back to one file: the log is folded into it and removed, so that it is whole by
// itself and opens like any other, read-only included. While another program has it open
// the log cannot be folded in yet; it stays beside the database, which is whole with it,
// until the last program to close the database folds it in.
static void closeDatabase(int keep)
{
    for (sqlite3_stmt** st : _statements) {
        sqlite3_finalize(*st);
        *st = nullptr;
    }
    if (!_sqldb) return;
    if (keep) setJournalMode("PRAGMA journal_mode = DELETE");
    sqlite3_close(_sqldb);
    _sqldb = nullptr;
    if (_list > 2) ulog_printf("sqlite: Closed %s\n", resultFileName(".sqlite3"));
}

void sqliteCloseDatabase() { closeDatabase(1); }

void setSql_periodEnd()
{
    if (!_sqldb) return;
    char sql[128];
    snprintf(sql, sizeof sql, "UPDATE SIMINFO SET Date1 = %d, Time1 = %d;", _simEndDate, _simEndTime);
    sqlStepExec(sql);
}

void set_usql_close(int flag)
{
    closeDatabase(!flag);
    if (flag) removeDatabaseFiles();
}

}  // namespace vexlar
