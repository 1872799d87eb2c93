// finish: the single abnormal or early end of a run. It closes every result file with
// removal (the partial results of the failed run go, and so do those an earlier run of the
// project left), closes the input files, tells a connected co-simulation peer, writes its
// line to the log as the log's last line and exits. A transient run stopped on request
// ends through finishStopped instead, which keeps its results: it ends at a whole step.
#include "simulation/vexlar-x-finish.h"

#include <cstdio>
#include <cstdlib>

#include "bridge/bridge.h"
#include "cfd/cfd.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
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

// Every result file closed; with `remove` set, removed as well.
static void closeResultFiles(int remove)
{
    set_usim_close(remove);
    set_uSTS_ResultFiles(remove ? 3 : 2);
    set_uach_close(remove);
    set_ucbw_close(remove);
    set_uage_close(remove);
    set_uexp_close(remove);
    set_urst_close(remove);
    set_ucsm_close(remove);
    set_ulogc_close(remove);
    set_ubcex_close(remove);
    set_udcex_close(remove);
    set_usrf(remove ? 3 : 2);
    set_usql_close(remove);
    set_ubal_close(remove);
    set_uval_close(remove);
    if (remove) cfd_remove_results();
}

// The loop stopped after a whole step and wrote its end-of-run summaries, so every file
// holds whole steps up to the stop and is kept. A file that could not be written in full
// makes this a failed run after all: its FATAL comes back to finish with status 2, which
// removes them.
static void keepStoppedRunResults(const char* why)
{
    error(NOTE, __FILE__, __LINE__, "Simulation stopped ", why, " after the step ending ",
          datestr(_dayofy), " ", steptimestr(_stepEndTime), "");
    closeResultFiles(0);
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
    if (!keep) closeResultFiles(1);
    closeTimedInputs();
    if (_uwpc) WPC_close();
    if (_doBridge > 1) bridge_SendVxError(0);
    if (_ulog) {
        fprintf(_ulog, "VexlarX finish(%1d)\n", status);
        fclose(_ulog);
    }
    _ulog = nullptr;
    exit(status);
}

void finish(int status) { endRun(status, nullptr); }

void finishStopped(const char* why) { endRun(1, why); }

}  // namespace vexlar
