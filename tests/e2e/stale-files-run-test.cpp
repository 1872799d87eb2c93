// End to end: what a simulation does with the result files an earlier run left next to
// the project. fans.prj runs transient with every result switch off; the stale files
// whose switch is off go, the restart file is written anew, and the short-time-step
// files and the reports of the other run modes stay as they were.
#include <gtest/gtest.h>

#include <string>

#include "e2e-util.h"

namespace {

class StaleFilesRun : public E2eTest {};

TEST_F(StaleFilesRun, SwitchedOffResultsAreRemovedAndOtherRunModesReportsKept)
{
    const std::string prj = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/";
    for (const char* f : {"fans.cvf", "fans.dvf"}) copyInto(dir, prj + f);
    std::string text = edited(slurp(prj + "fans.prj"), {{"0 0 1 1 1", "0 0 0 0 0"},
                                                         {"0 0 0 0 0 1", "0 0 0 0 0 0"},
                                                         {"0 0 1 1 0", "0 0 0 0 0"}});
    std::ofstream(dir + "fans.prj") << text;
    const char* removed[] = {".sim", ".sqlite3", ".ach", ".cbw", ".age", ".ebw", ".srf", ".cex", ".csm", ".log"};
    const char* kept[] = {".rzf", ".rzm", ".rz1", ".rxr", ".val", ".bal"};
    for (const char* e : removed) std::ofstream(dir + "fans" + e) << "stale";
    for (const char* e : kept) std::ofstream(dir + "fans" + e) << "stale";
    std::ofstream(dir + "fans.rst") << "stale";
    Outcome r = runEngine("fans.prj", "fans.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* e : removed) EXPECT_FALSE(exists(dir + "fans" + e)) << e;
    for (const char* e : kept) EXPECT_EQ(slurp(dir + "fans" + e), "stale") << e;
    EXPECT_NE(slurp(dir + "fans.rst"), "stale");
}

}  // namespace
