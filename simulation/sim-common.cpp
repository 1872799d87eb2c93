// The clock of the run and the transient time-step loop. Each step rolls the calendar,
// brings the timed inputs up to the step, evaluates schedules and controls for the step
// end, solves airflow and transport (the density iteration) and writes the step's results.
// A step that ends at 86400 s belongs to its own day; the next starts at 0 s of the next
// day, after the day-end summaries. Nothing here allocates once the loop has started.
#include "simulation/sim-common.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "airflow/af-prep.h"
#include "airflow/afe-filter.h"
#include "airflow/mat-set.h"
#include "airflow/solv-af.h"
#include "bridge/bridge.h"
#include "cfd/cfd.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "contaminant/cse-sim.h"
#include "contaminant/mf-mem.h"
#include "contaminant/mf-system.h"
#include "contaminant/solv-sts.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/source-lists.h"
#include "output/expos.h"
#include "output/restart.h"
#include "output/result-period.h"
#include "output/sim-out.h"
#include "output/sqlite-out.h"
#include "output/summary.h"
#include "simulation/ctrl-sim.h"
#include "simulation/day-week-sched.h"
#include "simulation/sim-interrupt.h"
#include "simulation/simulate.h"
#include "simulation/vexlar-x-finish.h"
#include "simulation/weather.h"

namespace vexlar {

// ---- Calendar -----------------------------------------------------------------------------

// The time of day of a step end. A step that does not divide the day may end past 24:00:00
// (its day's last step); it is shown with its hours beyond 24 rather than ending the run.
static const char* stepEndText(int t) { return steptimestr(t); }

static void stepNotPositive(const char* what, int value, const char* field, const char* example)
{
    error(FATAL, __FILE__, __LINE__, what, " must be greater than 0 s: ", intstr(value), " s: set ", field,
          " in Run Control above 0 (e.g. ", example, ")", "");
}

void checkTransientSteps()
{
    if (_time_step <= 0) stepNotPositive("Calculation time step", _time_step, "time_step", "0:10:00");
    if (_time_list <= 0) stepNotPositive("Listing time step", _time_list, "time_list", "1:00:00");
    if (_time_scrn <= 0) stepNotPositive("Screen time step", _time_scrn, "time_scrn", "1:00:00");
}

// At the year end every open timed input starts over, for days 1 to the end date.
static void reinitTimedInputsAtYearEnd()
{
    if (_ucvf) {
        CVF_init_data(1, _simEndDate, 0);
        CVF_init_controls();
    }
    if (_udvf) {
        DVF_init_data(1, _simEndDate);
        DVF_init_controls();
    }
    if (_uwth) WTH_init(1, _simEndDate, 0);
    if (_uctm) CTM_init(1, _simEndDate, 0);
    if (_uwpc) WPC_init(1, _simEndDate, 0);
}

void rolloverNewSimDate(int write)
{
    if (write) writeSummaries_dayEnd();
    _stepStartTime = 0;
    _stepEndTime = 0;
    if (_dayofy > 364) {
        _dayofy = 1;
        reinitTimedInputsAtYearEnd();
    } else {
        _dayofy++;
    }
    // Without weather data the days cycle through the types of the week, 1 to 7.
    _daytyp = _uwth ? WTH_get_day_type(_dayofy) : (_daytyp % 7) + 1;
    if (write) {
        writeSim_stepTime(_stepEndTime);
        writeSql_stepTime(_stepEndTime);
        writeSTS_ResultFiles(_stepEndTime);
    }
    writeSim_daySummary_init();
}

// ---- Schedules, controls and node temperatures --------------------------------------------

static void temperatureTooLow(const AirNode* n, float value)
{
    char kelvin[32];
    snprintf(kelvin, sizeof kelvin, "%.2f", value);
    const char* what = n->kind == 1 ? "junction " : "zone ";
    error(ERROR, __FILE__, __LINE__, "Control attempting to set temperature of ", what,
          intstr(n->number), " to ", kelvin, " K.");
}

// Temperatures set by controls or schedules; below 200 K the node keeps its state.
static void setControlledTemperatures()
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (!n->temperature_ptr) continue;
        float value = *n->temperature_ptr;
        if (value >= 200.0f) {
            n->temperature = value;
            if (_rcdat.densZP) n->density = (n->pressure + _wthdat.Pbar) / (value * n->gas_const);
        } else if (n->kind != 2) {
            temperatureTooLow(n, value);
        }
    }
}

// The week-schedule day-type slot (day type - 1) and clock time t of a time of day, with
// daylight saving applied; past midnight the slot is tomorrow's day of the week.
static int scheduleSlot(int& t)
{
    if (_DSTind) t += 3600;
    int slot = _daytyp - 1;
    if (t > 86400) {
        slot = _dayofw % 7;
        t -= 86400;
    }
    return slot;
}

int wkScheds_nextChange(int t)
{
    int slot = scheduleSlot(t);
    return wkScheds_seek(slot, t);
}

void setSchedulesAndControls(int t, int ctrls)
{
    int slot = scheduleSlot(t);
    wkScheds_seek(slot, t - 1);
    wkScheds_eval(t);
    if (_Ctrl0) ctrl_sim(ctrls);
    if (_doOccSens) setZoneOcc(t, slot);
    setControlledTemperatures();
}

void setScheduleValuesAt(double t)
{
    if (_DSTind) t += 3600.0;
    if (t > 86400.0) t -= 86400.0;
    wkScheds_evalAt(t);
}

// Value to which the day schedule rises from 0 at a point strictly between the step ends
// t0 and t1 (clock times of the schedule); 0 when it does not.
static float riseWithin(const DaySchedRec* ds, int t0, int t1)
{
    float peak = 0.0f;
    for (int i = 1; ds && i < ds->npts; i++)
        if (ds->times[i] > t0 && ds->times[i] < t1 && ds->values[i - 1] == 0.0f && ds->values[i] > peak)
            peak = ds->values[i];
    return peak;
}

// Burst sources whose schedule rose and fell back to 0 between the step ends: read at the
// step end alone, the burst would be lost.
static void noteBurstsWithinStep()
{
    int t0 = _stepStartTime, t1 = _stepEndTime;
    scheduleSlot(t0);
    scheduleSlot(t1);
    for (CssRec* list : {_Css0, _Cssnt0, _Csst0})
        for (CssRec* c = list; c; c = c->next) {
            if (!c->cse || c->cse->type != CSE_BRS) continue;
            c->burst_within = 0.0f;
            if (*c->value_ptr != 0.0f || t1 <= t0) continue;
            for (const WeekSchedRec* ws = _Wsch0; ws; ws = ws->next)
                if (c->value_ptr == &ws->value) c->burst_within = riseWithin(ws->dsch[daytypeLastSeek], t0, t1);
        }
}

// ---- Node state ---------------------------------------------------------------------------

void noteMaxAirNodeConcs()
{
    for (AirNode* n = _afnd0; n; n = n->next)
        for (int s = 0; n->mf && s < _nctm; s++) {
            float mf = (float)n->mf[s];
            if (mf > _Mfmax[n->index][s]) _Mfmax[n->index][s] = mf;
        }
}

// Each density is held against the pressure it is computed from: the node's pressure plus
// the barometric pressure with densZP, the barometric pressure alone without it. Held
// against the node pressure without densZP, a node more than some 100 Pa from the
// barometric pressure (the upper floors of a building) would never converge.
bool airNodeDensitiesHaveConverged()
{
    const double tol = 10.0f * _rcdat.relcnvg;
    for (const AirNode* n = _afnd0; n; n = n->next) {
        double g = n->density * n->gas_const * n->temperature;
        double p = _rcdat.densZP ? n->pressure + _wthdat.Pbar : _wthdat.Pbar;
        if (std::fabs(g - p) > tol * g) return false;
    }
    return true;
}

// Start-of-step copies the transport and the storage terms work from.
static void keepStepStartState()
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        n->air_mass_prev = n->air_mass;
        n->pressure_prev = n->pressure;
    }
    if (_MfZ && _MfZi) std::memcpy(_MfZi, _MfZ, sizeof(double) * (size_t)_nZctm);
    if (_MfJ && _MfJi) std::memcpy(_MfJi, _MfJ, sizeof(double) * (size_t)_nJctm);
}

// ---- Summaries ----------------------------------------------------------------------------

void filterStepTotals(double dt, int first, int end)
{
    filter_load_step(dt, first, end);
    if (_rcdat.csm) sum_filter_compute(dt, first, end);
}

void writeSummaries_dayEnd()
{
    writeSim_daySummary();
    writeRst_stepTime(_dayofy, _stepEndTime);
    if (_uach) writeAch_dayEnd();
    if (_ucbw) writeCbw_dayEnd();
    if (_uage) writeAge_dayEnd();
    if (_uexp) writeExp_dayEnd();
}

void writeSummaries_simEnd()
{
    const RunControlData& r = _rcdat;
    writeSummaries_dayEnd();
    if (r.ach_stats) writeAch_simEnd();
    if (r.cbw_stats) writeCbw_simEnd();
    if (_uage) writeAge_simEnd();
    if (_uexp) writeExp_simEnd();
    if (r.cex_bldg || r.cex_ctm) writeCex_simEnd();
    if (r.csm) {
        if (r.sim_mf != 0) writeCsm_simEnd();
    } else {
        removeResultFile(".csm");
    }
}

// ---- Timed inputs -------------------------------------------------------------------------

typedef int (*TIMED_GET_FN)(int day, int time, int start);

// One open timed input brought up to the step: read at the step start, warned about when
// its next record falls inside the step, then read at the step end.
static void timedInputToStep(FILE* stream, TIMED_GET_FN get, const char* kind)
{
    if (!stream) return;
    int toNext = get(_dayofy, _stepStartTime, 1);
    if (toNext > 0 && toNext < _time_step)
        error(WARNING, __FILE__, __LINE__, "Timestep ending ", datxstr(_dayofy), ", ",
              stepEndText(_stepEndTime), " spans multiple entries in ", kind, " file");
    get(_dayofy, _stepEndTime, 0);
}

static void timedInputsToStep()
{
    timedInputToStep(_uctm, CTM_get, "CTM");
    timedInputToStep(_uwth, WTH_get, "WTH");
    timedInputToStep(_uwpc, WPC_get, "WPC");
    timedInputToStep(_ucvf, CVF_get, "CVF");
    timedInputToStep(_udvf, DVF_get, "DVF");
}

// ---- Transport of one step ----------------------------------------------------------------

static void exposeOccupants()
{
    for (ExposureRec* e = _Pexp0; e; e = e->next) exposure(e);
}

// The short-time-step method replaces the density iteration and the implicit transport.
static void shortTimeStep()
{
    solve_STS();
    findPgage();
    exposeOccupants();
    filterStepTotals(_time_step);
    sum_ambient_compute(_time_step);
}

// Whether the density iteration takes another pass after pass p (counted from 1).
static bool anotherDensityPass(int p)
{
    const RunControlData& r = _rcdat;
    if (!r.tsdens) return false;
    if (r.mfn_on && p == 1) return true;
    return _sim_af_dyn && !airNodeDensitiesHaveConverged();
}

// Airflows and non-trace species until the node densities agree with the gas law, within
// the run's pass limit.
static void densityIteration()
{
    const RunControlData& r = _rcdat;
    for (int p = 0;;) {
        _NrTStepIter++;
        if (_sim_af_dyn) {
            calc_sP();
            SolveAf(_AF_mat);
        }
        if (r.mfn_on) solve_Mfn(_MFn_mem, p == 0);
        p++;
        if (!anotherDensityPass(p)) return;
        if (p >= r.dens_itmax) {
            error(ERROR, __FILE__, __LINE__, "Too many density iterations", "");
            return;
        }
    }
}

static void traceSpecies()
{
    if (!_rcdat.mft_on) return;
    if (!COUPLE) {
        solve_Mft(_MFt_mem, true);
        return;
    }
    if (_ctlctmcpl && _ctmcpl > 0) decpl(9);
    do {
        if (_ctlctmcpl) setCmon(0);
        solve_Mft(_MFt_mem, _cciter == 0);
    } while (comctm());
}

// Weight of the step's start (start set) or end in what a system integrates over the
// step: (1 - theta) and theta of its time weighting; 0 for a system that is off.
static double stepWeight(const MF_MAT* m, bool on, bool start)
{
    if (!on || !m) return 0.0;
    return start ? 1.0 - (double)m->theta : (double)m->theta;
}

// The time-weighted step integrates every rate as (1 - theta) of its value at the step
// start and theta of its value at the end: the summary's releases, removals, filter
// challenges, the filters' loading and the envelope exchange are booked in the same two
// parts. The air, which the non-trace solution takes as what the gas law leaves of the
// mixture at the step end, is booked as the mixture at the step end less the other
// species. The start part is booked before anything of the new step is evaluated;
// occupant emissions, walked through the step, are booked whole with the end part.
static void bookStepPart(bool start)
{
    const RunControlData& r = _rcdat;
    double wn = stepWeight(_MFn_mem, r.mfn_on, start), wt = stepWeight(_MFt_mem, r.mft_on, start);
    if (wn > 0.0) sumCseGenRemoveMass(_Cssnt0, _Blsnt0, _Dvrnt0, start ? nullptr : _Pxsnt0, (float)(wn * _dt));
    if (wt > 0.0) sumCseGenRemoveMass(_Csst0, _Blst0, _Dvrt0, start ? nullptr : _Pxst0, (float)(wt * _dt));
    if (!start && _npexp > 0) exposeOccupants();
    if (r.sim_mf == 0) return;
    // A filter takes out of the air, in each part, what its challenge less its passage
    // books: at the efficiencies its penetrations had then. Each species is booked and
    // loaded with the weight of the system that moves it.
    if (wn > 0.0) filterStepTotals(wn * _time_step, 0, _nntc);
    if (wt > 0.0) filterStepTotals(wt * _time_step, _nntc, _nctm);
    if ((r.csm || r.cex_bldg || r.cex_ctm) && (wn > 0.0 || wt > 0.0 || !start))
        sum_ambient_split(start ? 0.0 : _time_step, wn * _time_step, wt * _time_step, start ? 0 : _time_step);
}

static void implicitStep()
{
    const RunControlData& r = _rcdat;
    if (r.mfn_on) {
        MF_MAT* m = _MFn_mem;
        findPolMassRates_cse_implicit(m->K, m->ija, m->e, _Cssnt0, _Blsnt0, _Dvrnt0, nullptr);
    }
    do {
        densityIteration();
        findPgage();
    } while (COUPLE && _sim_af_dyn && cplloop());
    traceSpecies();
    bookStepPart(false);
}

// ---- The loop -----------------------------------------------------------------------------

void checkStartTimeOnGrid(int grid, int level, const char* text)
{
    int t = _stepStartTime;
    if (t == 0 || grid == 0 || resumedAtRecordTime()) return;
    if (grid % t != 0 && t % grid != 0) error(level, __FILE__, __LINE__, text, "");
}

static void checkStartTime()
{
    checkStartTimeOnGrid(_time_list, FATAL, "Start time must be a multiple of the listing time step");
    checkStartTimeOnGrid(_time_scrn, WARNING, "Start time should be a multiple of the display time step");
}

static void writeStartTime()
{
    if (!startIsListed()) return;
    const RunControlData& r = _rcdat;
    // A coupled CFD zone lists its solver's value, as at every later step.
    if (COUPLE && _ctmcpl > 0) setCmon(1);
    writeSim_stepTime(_stepStartTime);
    writeSql_stepTime(_stepStartTime);
    writeSTS_ResultFiles(_stepStartTime);
    if (r.sim_mf > 1 && (_nbls > 0 || _ndvr > 0) && r.srf) writeSrf_stepTime(_stepEndTime);
}

// The unreported days of a cyclic run list no exfiltration either.
static void writeStepResults()
{
    const RunControlData& r = _rcdat;
    if (r.sim_mf != 0 && (r.cex_bldg || r.cex_ctm)) writeCex_stepEnd(_stepEndTime);
    writeResults_stepEnd(_stepEndTime);
}

static void progressLine(int day)
{
    char line[128];
    snprintf(line, sizeof line, " DATE: %s   time: %s   day: %3d   step: %d\n", datestr(_dayofy),
             stepEndText(_stepEndTime), day, _NrTimeSteps);
    if (_list > 1) ulog_printf("%s", line);
    if (_stepEndTime % _time_scrn == 0) fputs(line, stderr);
}

// A stop in an unlisted day of a cyclic run has no result to keep: its files, which would
// hold the start of the design day alone, go as at any early end.
void stopOnRequest(int write)
{
    const char* why = bridge_PeerEnded() ? "as the co-simulation peer ended the session" : "on request";
    if (!write) {
        error(NOTE, __FILE__, __LINE__, "Simulation stopped ", why,
              " before any result was listed; no result file is kept", "");
        finish(1);
    }
    setResultPeriodEnd(_dayofy, _stepEndTime);
    finishStopped(why);
}

// The peer's exchange of the step; a peer's code 1 makes today the run's last day, and
// the headers that name the run's period say so, as at a stop.
static void servePeer()
{
    bridge_CheckForMessages();
    if (_doBridge == 1 && !bridge_PeerEnded()) setResultPeriodEnd(_simEndDate, _simEndTime);
}

static void endRun(int write)
{
    _stepStartTime = _stepEndTime;
    if (write) writeSummaries_simEnd();
}

void sim_loop(int write)
{
    writeSim_daySummary_init();
    checkStartTime();
    if (write) writeStartTime();
    // Stop requests are taken before the first exchange: the wait for the peer's first
    // command is a wait like any other.
    simInterrupt_writeInstructions();
    if (_doBridge == 2) servePeer();
    int day = 1;
    for (;;) {
        if (simInterrupt_checkInterrupt() == 2 || bridge_PeerEnded()) {
            endRun(write);
            stopOnRequest(write);
        }
        _stepStartTime = _stepEndTime;
        if (_stepStartTime > 86399) {
            rolloverNewSimDate(write);
            day++;
        }
        _stepEndTime = _stepStartTime + _time_step;
        _NrTimeSteps++;
        progressLine(day);
        keepStepStartState();
        if (_rcdat.mf_solver != 1) bookStepPart(true);
        timedInputsToStep();
        if (_list != 0) ulog_flush();
        setSchedulesAndControls(_stepEndTime, write);
        noteBurstsWithinStep();
        calc_wP();
        if (_rcdat.mf_solver == 1) shortTimeStep();
        else implicitStep();
        if (_doBridge == 2) servePeer();
        if (write) writeStepResults();
        if (_Mfmax) noteMaxAirNodeConcs();
        if (_dayofy == _simEndDate && _stepEndTime >= _simEndTime) {
            endRun(write);
            return;
        }
    }
}

}  // namespace vexlar
