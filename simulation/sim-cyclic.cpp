// Cyclic-day driver. The design day is run unreported, again and again from midnight to
// midnight, each day starting from the state the last one left, until every node's daily
// peak mass fractions repeat those of the day before; then one more day is run and written.
// A cycle whose peaks never settle is cut off after a year of unreported days.
#include "simulation/sim-cyclic.h"

#include <cmath>
#include <cstring>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/run-control.h"
#include "output/sim-out.h"
#include "output/summary.h"
#include "simulation/sim-common.h"
#include "simulation/weather.h"

namespace vexlar {

// Unreported days after which the driver gives up waiting for the peaks to repeat.
constexpr int CYCLIC_DAYS_MAX = 365;

// Whether every variable node's daily peak of every species above the cutoff is within the
// tolerance of the previous day's peak.
static bool dayPeaksRepeat()
{
    if (!_Mfmax || !_Mftst) return true;
    const float tol = _rcdat.cyc_tol, cut = _rcdat.cyc_cut;
    for (const AirNode* n = _afnd0; n; n = n->next) {
        if (!(n->flags & NODE_VAR_MF)) continue;
        for (int s = 0; s < _nctm; s++) {
            float m = _Mfmax[n->index][s];
            if (m > cut && std::fabs(m - _Mftst[n->index][s]) > tol * m) return false;
        }
    }
    return true;
}

static void keepDayPeaks()
{
    if (!_Mfmax || !_Mftst) return;
    for (int i = 1; i <= _nafnd; i++) std::memcpy(_Mftst[i], _Mfmax[i], sizeof(float) * (size_t)_nctm);
}

// The clock and every open timed input back to the start of the design day.
static void restartDesignDay()
{
    _stepStartTime = 0;
    _stepEndTime = 0;
    _dayofy = _rcdat.ss_date;
    if (_uwth) WTH_init(_dayofy, _simEndDate, 0);
    if (_uctm) CTM_init(_dayofy, _simEndDate, 0);
    if (_ucvf) {
        CVF_init_data(_dayofy, _simEndDate, 0);
        CVF_init_controls();
    }
    if (_udvf) {
        DVF_init_data(_dayofy, _simEndDate);
        DVF_init_controls();
    }
    if (_uwpc) WPC_init(_dayofy, _simEndDate, 0);
    writeSim_daySummary_init();
    sum_totals_restart();
}

void drive_sim_loop_cyclic()
{
    for (int unreported = 1;; unreported++) {
        sim_loop(0);
        bool repeat = dayPeaksRepeat();
        keepDayPeaks();
        restartDesignDay();
        if (!repeat && unreported >= CYCLIC_DAYS_MAX) {
            error(WARNING, __FILE__, __LINE__, "Cyclic simulation did not converge in ",
                  intstr(CYCLIC_DAYS_MAX), " days; the next day is reported");
            repeat = true;
        }
        if (repeat) {
            sim_loop(1);
            return;
        }
    }
}

}  // namespace vexlar
