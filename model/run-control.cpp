// Run-control, project ambient state, input-file name and values-file table globals (see
// run-control.h).
#include "model/run-control.h"

#include <cstring>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/options.h"

namespace vexlar {

RunControlData _rcdat;
WeatherData _wthdat;
char _prjdesc[4096];
int prjType;
char _WTHfile[4096];
char _CTMfile[4096];
char _CVFfile[4096];
char _DVFfile[4096];
char _WPCfile[4096];
int _useWPCwp, _useWPCmf, _useWPC;
int _cvfNumNames = 0;
int _dvfNumNames = 0;
char (*_cvfNames)[16] = nullptr;
char (*_dvfNames)[16] = nullptr;
float* _cvfVals[3] = {nullptr, nullptr, nullptr};
float* _dvfVals = nullptr;

int run_class(const RunControlData& r)
{
    if (r.sim_af >= 2) return RUN_STEADY;
    if (r.sim_mf == 3) return RUN_CYCLIC;
    if (r.sim_mf == 2 || r.sim_mf > 3 || r.sim_af == 1) return RUN_TRANSIENT;
    return RUN_STEADY;
}

// ---- Checks of the values read ------------------------------------------------------------

namespace {

bool transient(const RunControlData& r) { return run_class(r) == RUN_TRANSIENT; }
bool cyclic(const RunControlData& r) { return run_class(r) == RUN_CYCLIC; }

// The period runs from the start to the next time the clock shows the end: past the year's
// end when the end date comes first. One day whose end is not after its start is one step.
void check_period(RunControlData& r)
{
    if (r.end_date < r.start_date) {
        errorf(WARNING, __FILE__, __LINE__,
               "End date %s is before the start date %s: the run wraps the year and runs "
               "%d days", datestr(r.end_date), datestr(r.start_date),
               365 - r.start_date + r.end_date + 1);
        return;
    }
    if (r.end_date != r.start_date || r.end_time > r.start_time || r.time_step <= 0) return;
    int end = r.start_time + r.time_step < 86400 ? r.start_time + r.time_step : 86400;
    errorf(WARNING, __FILE__, __LINE__,
           "End time %s is not after the start time %s on %s: the run ends after its first "
           "step, at %s", timestr(r.end_time), timestr(r.start_time), datestr(r.end_date),
           timestr(end));
    r.end_time = end;
}

// The implicit and short-time-step loops list at step ends only; the stiff integrator
// interpolates to every listing time.
void check_listing(const RunControlData& r, int nctm)
{
    bool stiff = r.mf_solver >= 2 && r.sim_mf != 0 && nctm > 0;
    if (stiff || r.time_list <= 0 || r.time_list >= r.time_step) return;
    errorf(WARNING, __FILE__, __LINE__,
           "Listing time step %s is shorter than the time step %s: results are listed only "
           "at the ends of time steps", timestr(r.time_list), timestr(r.time_step));
}

// Why the weather file named is not read, or null when it is.
const char* weather_unread(const RunControlData& r)
{
    if (r.sim_af >= 2)
        return "duct balancing and the building tests use the ambient state of Run Control";
    if (r.sim_af != 1)
        return "airflow is steady (sim_af 0): the ambient state of Run Control is used";
    if (_useWPCwp)
        return "the wind-pressure file supplies the wind pressures: the ambient state of Run "
               "Control is used";
    if (_doBridge) return "the co-simulation peer supplies the ambient state";
    return nullptr;
}

}  // namespace

void run_control_warnings(int nctm)
{
    RunControlData& r = _rcdat;
    if (transient(r)) check_period(r);
    if (transient(r) || cyclic(r)) check_listing(r, nctm);
    const char* why = std::strcmp(_WTHfile, "null") != 0 ? weather_unread(r) : nullptr;
    if (why) errorf(WARNING, __FILE__, __LINE__, "Weather file %s is not read: %s", _WTHfile, why);
}

}  // namespace vexlar
