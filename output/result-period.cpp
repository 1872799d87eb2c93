// The result files whose headers name the run's period, each with how its header takes a
// new period end; a run stopped on request moves them all to the stop. A file that is not
// open takes nothing.
#include "output/result-period.h"

#include "model/clock.h"
#include "model/run-control.h"
#include "output/expos.h"
#include "output/restart.h"
#include "output/sim-out.h"
#include "output/sqlite-out.h"
#include "output/summary.h"

namespace vexlar {

namespace {

struct PeriodHeader {
    const char* ext;
    void (*take)(int day);   // rewrites the header for the period ending on `day` (the clock's end)
};

const PeriodHeader PERIOD_HEADERS[] = {
    {".sim", [](int) { setSim_periodEnd(); }},
    {".rst", setRst_periodEnd},
    {".sqlite3", [](int) { setSql_periodEnd(); }},
    {".ach", [](int) { setAch_periodEnd(); }},
    {".cbw", [](int) { setCbw_periodEnd(); }},
    {".age", [](int) { setAge_periodEnd(); }},
    {".ebw", [](int) { setExp_periodEnd(); }},
};

}  // namespace

void setResultPeriodEnd(int day, int time)
{
    RunControlData& r = _rcdat;
    if (r.sim_mf == 3) return;   // a cyclic run simulates its one design day whatever happens
    _simEndDate = r.end_date = day;
    _simEndTime = r.end_time = time;
    for (const PeriodHeader& h : PERIOD_HEADERS) h.take(day);
}

}  // namespace vexlar
