// finish: logs its line, removes the partial result files of the run and exits with the
// status it was given; a run stopped on request keeps its results unless one of them could
// not be written in full.
#include "simulation/vexlar-x-finish.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "output/sim-out.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "tests/scratch-dir.h"

using namespace vexlar;

namespace {

// A project "office" in a scratch folder of the test's own, without species or a peer, so
// that finish removes only the files the test made.
class Finish : public ::testing::Test {
protected:
    void SetUp() override
    {
        snprintf(_pdir, sizeof _pdir, "%s", dir.c_str());
        snprintf(_prjname, sizeof _prjname, "office");
        _pdrive[0] = '\0';
        _nctm = 0;
        _ctm = nullptr;
        _doBridge = 0;
        _ulog = nullptr;
        _errorLogFileP = nullptr;
    }
    void TearDown() override { _pdir[0] = _prjname[0] = '\0'; }
    vexlar_test::ScratchDir scratch;
    const std::string& dir = scratch.path();
};

// The SIM file open on a full disk: what it still buffers is dropped with the file, and
// nothing is said after the FATAL, on the screen or in the log.
TEST_F(Finish, LogsItsLineRemovesResultFilesAndExitsWithItsStatus)
{
    for (const char* ext : {".sim", ".ach", ".sqlite3", ".sqlite3-wal", ".sqlite3-shm", ".log"})
        std::ofstream(dir + "office" + ext) << "partial";
    std::string logPath = dir + "office.xlog";
    EXPECT_EXIT(
        {
            _ulog = fopen(logPath.c_str(), "w");
            _errorLogFileP = &_ulog;
            _errorFinishFcnP = finish;
            _usim = fopen("/dev/full", "wb");
            fputs("steps", _usim);
            error(FATAL, "x.cpp", 3, "boom", "");
        },
        testing::ExitedWithCode(2), "^FATAL boom\n$");
    std::ifstream in(logPath);
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(log, "FATAL  (file x, line 3)\n boom\nVexlarX finish(2)\n");
    for (const char* ext : {".sim", ".ach", ".sqlite3", ".sqlite3-wal", ".sqlite3-shm", ".log"})
        EXPECT_NE(access((dir + "office" + ext).c_str(), F_OK), 0) << ext;
}

TEST_F(Finish, ExitsWithTheStatusItIsGiven)
{
    EXPECT_EXIT(finish(0), testing::ExitedWithCode(0), "");
}

struct Stop {
    int writeFailures;   // result files that could not be written in full
    int status;
    bool kept;
};

class StoppedRun : public Finish, public ::testing::WithParamInterface<Stop> {};

// Stopped after the step ending at 1:00 on Feb02 (day 33): the log and the screen say so.
TEST_P(StoppedRun, KeepsItsResultsUnlessOneWasNotWrittenInFull)
{
    const Stop stop = GetParam();
    for (const char* ext : {".sim", ".ach", ".sqlite3"}) std::ofstream(dir + "office" + ext) << "steps";
    std::string logPath = dir + "office.xlog";
    EXPECT_EXIT(
        {
            _ulog = fopen(logPath.c_str(), "w");
            _errorLogFileP = &_ulog;
            _errorFinishFcnP = finish;
            _dayofy = 33;
            _stepEndTime = 3600;
            _resultWriteFailures = stop.writeFailures;
            finishStopped();
        },
        testing::ExitedWithCode(stop.status), "NOTE Simulation stopped on request after the step ending Feb02 01:00:00");
    std::ifstream in(logPath);
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("\n Simulation stopped on request after the step ending Feb02 01:00:00\n"), std::string::npos) << log;
    std::string last = "VexlarX finish(" + std::to_string(stop.status) + ")\n";
    EXPECT_EQ(log.substr(log.size() - last.size()), last);
    for (const char* ext : {".sim", ".ach", ".sqlite3"})
        EXPECT_EQ(access((dir + "office" + ext).c_str(), F_OK) == 0, stop.kept) << ext;
}

INSTANTIATE_TEST_SUITE_P(Finish, StoppedRun, ::testing::Values(Stop{0, 1, true}, Stop{1, 2, false}),
                         [](const testing::TestParamInfo<Stop>& i) {
                             return std::string(i.param.kept ? "AllWritten" : "OneNotWrittenInFull");
                         });

}  // namespace
