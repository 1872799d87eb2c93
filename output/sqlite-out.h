// The SQLite results database of the run (".sqlite3"): opened when a save switch
// (pfsave, zfsave, zcsave) is set, one TIME row and its ambient, node and path rows per
// listing step, each step in one transaction through prepared inserts.
#pragma once

struct sqlite3;

namespace vexlar {

extern ::sqlite3* _sqldb;   // the open results database, null while closed

void set_usql_open();
void set_usql_close(int flag);
// Date1 and Time1 of the run's SIMINFO row: the clock's end.
void setSql_periodEnd();
// Inserts the rows of one listing step; t is the time of day the rows are listed at [s].
void writeSql_stepTime(int t);

void sqliteOpenDatabase();
void sqliteAddTables();
void sqliteCreatePreparedStatements();
void sqliteCloseDatabase();

}  // namespace vexlar
