// finish: the single abnormal or early end of a run. It writes its line to the log,
// closes every result file with removal (the partial results of the failed run go),
// closes the input files, tells a connected co-simulation peer and exits.
#include "simulation/vexlar-x-finish.h"

#include <cstdio>
#include <cstdlib>

#include "bridge/bridge.h"
#include "common-src/messages.h"
#include "model/options.h"
#include "output/expos.h"
#include "output/restart.h"
#include "output/sim-out.h"
#include "output/sqlite-out.h"
#include "output/summary.h"
#include "simulation/balance.h"
#include "simulation/sim-bldg-pres.h"
#include "simulation/ctrl-sim.h"
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

static void removeResultFiles()
{
    set_usim_close(1);
    set_uSTS_ResultFiles(3);
    set_uach_close(1);
    set_ucbw_close(1);
    set_uage_close(1);
    set_uexp_close(1);
    set_urst_close(1);
    set_ucsm_close(1);
    set_ulogc_close(1);
    set_ubcex_close(1);
    set_udcex_close(1);
    set_usrf(3);
    set_usql_close(1);
    set_ubal_close(1);
    set_uval_close(1);
}

void finish(int status)
{
    // A FATAL raised while finishing must not start the clean-up over again.
    static int finishing = 0;
    if (finishing) exit(status);
    finishing = 1;
    if (_ulog) {
        fprintf(_ulog, "VexlarX finish(%1d)\n", status);
        fflush(_ulog);
    }
    removeResultFiles();
    closeTimedInputs();
    if (_uwpc) WPC_close();
    if (_doBridge > 1) bridge_SendVxError(0);
    if (_ulog) fclose(_ulog);
    _ulog = nullptr;
    exit(status);
}

}  // namespace vexlar
