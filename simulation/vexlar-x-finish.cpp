// finish: the single abnormal or early end of a run. Once the run has begun to replace
// its result files it closes every one with removal (the partial results of the failed run
// go, and so do those an earlier run of the project left); a failure before that leaves
// them. It closes the input files, tells a connected co-simulation peer, writes its line
// to the log as the log's last line and exits. A transient run stopped on request ends
// through finishStopped instead, which keeps its results: it ends at a whole step. The
// one list of the files an end closes is here, for the normal end as well.
#include "simulation/vexlar-x-finish.h"

#include <cstdio>
#include <cstdlib>

#include "bridge/bridge.h"
#include "cfd/cfd.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/env-lists.h"
#include "model/options.h"
#include "output/expos.h"
#include "output/restart.h"
#include "output/sim-out.h"
#include "output/sqlite-out.h"
#include "output/summary.h"
#include "simulation/balance.h"
#include "simulation/sim-bldg-pres.h"
#include "simulation/ctrl-sim.h"
#include "simulation/vexlar-x-run.h"
#include "simulation/weather.h"

namespace vexlar {

static void closeStream(FILE** f)
{
    if (*f) fclose(*f);
    *f = nullptr;
}

void closeTimedInputs()
{
    if (_uwth) WTH_close();
    closeStream(&_uwth);
    closeStream(&_uctm);
    closeStream(&_ucvf);
    closeStream(&_udvf);
}

static void closeInputFiles()
{
    closeTimedInputs();
    if (_uwpc) {
        PLDlist(0);
        WPC_close();
    }
}

static void closeSts(int remove) { set_uSTS_ResultFiles(remove ? 3 : 2); }
static void closeSrf(int remove) { set_usrf(remove ? 3 : 2); }
// The summary is written and closed whole at the run's end; it stays this run's, so that a
// FATAL later in the end (a log that cannot be written) removes it with the rest.
static void closeCsm(int remove)
{
    if (remove) set_ucsm_close(1);
}

// Every result file a run may write, each by its closer: the one list that the normal
// end, a stop and a failed end go through.
static void (*const RESULT_CLOSERS[])(int remove) = {
    set_usim_close, closeSts,        set_uach_close,  set_ucbw_close,  set_uage_close,
    set_uexp_close, set_urst_close,  closeCsm,  set_ulogc_close, set_ubcex_close,
    set_udcex_close, closeSrf,       set_usql_close,  set_ubal_close,  set_uval_close,
};

// This run has begun to replace the result files. main clears it at its start; code that
// drives the writers itself (the tests) has always begun.
static int _resultsBegun = 1;
static int _inputTestDone = 0;  // the input test ended the run: earlier results go

void keepEarlierResults() { _resultsBegun = 0; }

void beginResultFiles() { _resultsBegun = 1; }

void closeRunFiles(int remove)
{
    if (!remove) _resultWriteFailures += cfd_close_results();
    for (auto close : RESULT_CLOSERS) close(remove);
    if (remove) cfd_remove_results();
    closeInputFiles();
}

// The loop stopped after a whole step and wrote its end-of-run summaries, so every file
// holds whole steps up to the stop and is kept. A file that could not be written in full
// makes this a failed run after all: its FATAL comes back to finish with status 2, which
// removes them.
static void keepStoppedRunResults(const char* why)
{
    error(NOTE, __FILE__, __LINE__, "Simulation stopped ", why, " after the step ending ",
          datestr(_dayofy), " ", steptimestr(_stepEndTime), "");
    closeRunFiles(0);
    checkResultsWritten();
}

// Whatever the clean-up has to say comes before the finish line, which ends the log.
[[noreturn]] static void endRun(int status, const char* keepWhy)
{
    // A FATAL raised while finishing must not start the clean-up over again.
    static int finishing = 0;
    if (finishing) exit(status);
    bool keep = keepWhy != nullptr;
    if (keep) keepStoppedRunResults(keepWhy);
    finishing = 1;
    // A failure before this run began to replace the results leaves an earlier run's
    // (a refused connection, an unreadable input file); the input test removes them.
    if (!keep) closeRunFiles(_resultsBegun || _inputTestDone);
    if (_doBridge > 1) bridge_SendVxError(0);
    if (_ulog) {
        fprintf(_ulog, "VexlarX finish(%1d)\n", status);
        fclose(_ulog);
    }
    _ulog = nullptr;
    exit(status);
}

void finish(int status) { endRun(status, nullptr); }

void finishInputTest()
{
    _inputTestDone = 1;
    endRun(0, nullptr);
}

void finishStopped(const char* why) { endRun(1, why); }

}  // namespace vexlar
