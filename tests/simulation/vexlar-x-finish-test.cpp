// finish: logs its line, removes the partial result files of the run and exits with the
// status it was given.
#include "simulation/vexlar-x-finish.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "common-src/messages.h"
#include "common-src/paths.h"

using namespace vexlar;

namespace {

TEST(Finish, LogsItsLineRemovesResultFilesAndExitsWithItsStatus)
{
    std::string dir = testing::TempDir() + "vexlar-finish-" + std::to_string(getpid()) + "/";
    mkdir(dir.c_str(), 0700);
    snprintf(_pdir, sizeof _pdir, "%s", dir.c_str());
    snprintf(_prjname, sizeof _prjname, "office");
    for (const char* ext : {".sim", ".ach", ".sqlite3", ".log"})
        std::ofstream(dir + "office" + ext) << "partial";
    std::string logPath = dir + "office.xlog";
    EXPECT_EXIT(
        {
            _ulog = fopen(logPath.c_str(), "w");
            _errorLogFileP = &_ulog;
            _errorFinishFcnP = finish;
            error(FATAL, "x.cpp", 3, "boom", "");
        },
        testing::ExitedWithCode(2), "FATAL boom");
    std::ifstream in(logPath);
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(log, "FATAL  (file x, line 3)\n boom\nVexlarX finish(2)\n");
    for (const char* ext : {".sim", ".ach", ".sqlite3", ".log"})
        EXPECT_NE(access((dir + "office" + ext).c_str(), F_OK), 0) << ext;
    remove(logPath.c_str());
    rmdir(dir.c_str());
}

TEST(Finish, ExitsWithTheStatusItIsGiven)
{
    EXPECT_EXIT(finish(0), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(finish(1), testing::ExitedWithCode(1), "");
}

}  // namespace
