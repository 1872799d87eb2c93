// Reading a run's results database in the end-to-end tests: every row of a query as
// numbers. Header-only, in the including file's anonymous namespace.
#pragma once

#include <string>
#include <vector>

#include <sqlite3.h>

namespace {

// The rows of `sql` on the database `db`, each column as a double; none when the database
// cannot be opened or the query fails.
inline std::vector<std::vector<double>> sqlRows(const std::string& db, const char* sql)
{
    std::vector<std::vector<double>> rows;
    sqlite3* h = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<double> row;
            for (int c = 0; c < sqlite3_column_count(st); c++) row.push_back(sqlite3_column_double(st, c));
            rows.push_back(row);
        }
    sqlite3_finalize(st);
    sqlite3_close(h);
    return rows;
}

}  // namespace
