// SQLite results database. The database writer is not built yet: nothing is opened, and
// the closer only removes a database of the project's name when asked to.
#include "output/sqlite-out.h"

#include "output/sim-out.h"

namespace vexlar {

void set_usql_open() {}

void set_usql_close(int flag)
{
    if (flag) removeResultFile(".sqlite3");
}

void writeSql_stepTime() {}

}  // namespace vexlar
