// The SQLite results database of the run (".sqlite3"): opened when a save switch
// (pfsave, zfsave, zcsave) is set, one set of rows per listing step.
#pragma once

namespace vexlar {

void set_usql_open();
void set_usql_close(int flag);
void writeSql_stepTime();

}  // namespace vexlar
