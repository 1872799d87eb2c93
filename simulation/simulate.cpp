// Steady initialisation (sim_init): the state every simulation starts from. Node air
// masses and pressures are initialised, the airflow network is solved with no storage
// terms (with cnvgSS, down a ladder of tolerances until densities agree with the gas
// law), gauge pressures follow, and a steady run writes its single result time.
#include "simulation/simulate.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>
#include "airflow/af-prep.h"
#include "airflow/solv-af.h"
#include "cfd/cfd.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "contaminant/mf-mem.h"
#include "contaminant/mf-system.h"
#include "contaminant/node-help.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "output/restart.h"
#include "output/sim-out.h"
#include "output/sqlite-out.h"
#include "output/summary.h"
#include "simulation/sim-common.h"
#include "simulation/weather.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

// To the log and to standard error, where the run shows its progress.
static void progress(const char* text)
{
    ulog_printf("%s", text);
    fputs(text, stderr);
}

static void nodeChecks()
{
    for (const AirNode* n = _afnd0; n; n = n->next) {
        if (n->temperature == 0.0) error(ERROR, __FILE__, __LINE__, "T = 0 K, node ", intstr(n->index), "");
        if (n->gas_const == 0.0) error(ERROR, __FILE__, __LINE__, "R = 0, node ", intstr(n->index), "");
    }
}

// Node state before the first airflow solution: mixture gas constants, air masses,
// wind and stack pressures, and the linearised start pressures.
static void startState()
{
    nodeChecks();
    if (_rcdat.mfn_on) {
        normalizeAirNodeMfSums_nonTr();
        findAirNodeRs_nonTr();
    }
    findAirNodeConcBases();
    if (_MfZ && _nctm > 0)
        std::memcpy(_MfZi, _MfZ, sizeof(double) * (size_t)(_nzone + 1) * (size_t)_nctm);
    if (_useWPC) WPC_get(_dayofy, _stepEndTime, 0);
    calc_wP();
    calc_sP();
    init_Af(_AF_mat);
}

// Whether every node's density agrees with the gas law at its pressure.
static bool densitiesAgreeWithPressures()
{
    for (const AirNode* n = _afnd0; n; n = n->next) {
        double prt = n->density * n->gas_const * n->temperature;
        if (std::fabs(prt - (n->pressure + _wthdat.Pbar)) > 2.220446049250313e-14 * prt) return false;
    }
    return true;
}

// One airflow solution by the run's Newton method; the flows-only evaluation counts as
// one iteration, or as the whole budget on the ladder.
static int steadySolution(AF_MAT* m)
{
    int count = SolveAf(m);
    if (m->newton == AF_NEWTON_TRUST || m->newton == AF_NEWTON_RELAX) return count;
    return _rcdat.cnvgSS ? _rcdat.itmax : 1;
}

// Steady non-trace species of a steady contaminant run, solved between airflow passes
// because they change the densities the next pass works with.
static void steadyNonTrace()
{
    if (_rcdat.sim_mf != 1 || !_rcdat.mfn_on) return;
    init_Mfn(_MFn_mem);
    solve_Mf_steady(_MFn_mem, 0, _nntc, true);
    findAirNodeRs_nonTr();
}

// The species systems prepared for the first step, and the steady trace species of a
// steady contaminant run (repeated while the CFD contaminant coupling asks for it).
static void speciesStart()
{
    if (_rcdat.sim_mf > 1 && _rcdat.mfn_on) init_Mfn(_MFn_mem);
    do {
        if (COUPLE && _ctmcpl > 0) decpl(9);
        // As in the time loop: what leaves a coupled CFD zone reaches the network through
        // the coupling alone, never also from the zone's network concentration.
        if (COUPLE && _ctlctmcpl) setCmon(0);
        if (_rcdat.mft_on) init_Mft(_MFt_mem);
        if (_rcdat.sim_mf == 1 && _rcdat.mft_on) solve_Mf_steady(_MFt_mem, _nntc, _nctm, false);
    } while (COUPLE && _rcdat.sim_mf == 1 && _rcdat.mft_on && comctm());
}

static void notConverged()
{
    error(ERROR, __FILE__, __LINE__, "Calculation of steady-state flows did not converge", "");
}

// Steady airflows. Without cnvgSS one solution at the run's tolerance. With it, up to
// itmax solutions, the tolerance falling tenfold per pass from 0.001 to relcnvg; once
// there, the ladder ends when a solution needs at most one iteration or the densities
// agree with the pressures.
static void toleranceLadder(AF_MAT* m)
{
    _dt = 0.0f;
    _dti = 0.0f;
    const bool ladder = _rcdat.cnvgSS != 0;
    int passes = 1;
    if (ladder) {
        m->relcnvg = 0.001f;
        passes = _rcdat.itmax;
        if (passes == 0) {
            notConverged();
            return;
        }
    }
    int largest = 0;
    for (;;) {
        int count = steadySolution(m);
        if (count > largest) largest = count;
        if (_rcdat.relcnvg >= m->relcnvg) {
            if (count <= 1 || densitiesAgreeWithPressures()) {
                if (ladder && largest >= _rcdat.itmax)
                    error(NOTE, __FILE__, __LINE__, "Calculation of steady-state flows did converge", "");
                return;
            }
        } else {
            m->relcnvg = (float)std::fmax(_rcdat.relcnvg, 0.1 * m->relcnvg);
        }
        steadyNonTrace();
        if (passes > 1 && ladder) calc_sP();
        if (--passes == 0) {
            if (ladder) notConverged();
            return;
        }
    }
}

static const char* endLine()
{
    switch (_rcdat.sim_af) {
    case 2: return "End Duct Balance Initialization\n";
    case 3: return "End Airflow Analysis Calculation\n";
    case 4: return "End Pressurization Calculation\n";
    default: return "End Steady-state Initialization\n";
    }
}

// The day's extremes start at the single result time: every path but those of the
// air-handling systems, and every node.
static void writeResults()
{
    int t = _stepEndTime;
    if (COUPLE && _ctmcpl > 0) setCmon(1);
    writeSim_stepTime(t);
    writeSql_stepTime(t);
    if (_rcdat.sim_mf > 0 && (_nbls > 0 || _ndvr > 0) && _rcdat.srf) writeSrf_stepTime(t);
    setDayExtremesToCurrent();
    // The single result time is the whole day: its concentrations are the day's largest.
    if (_Mfmax) noteMaxAirNodeConcs();
    writeSim_daySummary();
    if (_rcdat.ach_step) writeAch_stepEnd(t);
    if (_rcdat.ach_stats) writeAch_simEnd();
    if (_rcdat.age_step) {
        writeAge_stepEnd(t);
        writeAge_simEnd();
    }
}

void sim_init(int write)
{
    char line[96];
    progress("Running steady-state initialization:\n");
    snprintf(line, sizeof line, " DATE: %s   time: %s\n", datestr(_dayofy), timestr(_stepEndTime));
    progress(line);
    ulog_flush();
    AF_MAT* m = _AF_mat;
    do {
        startState();
        toleranceLadder(m);
        m->relcnvg = _rcdat.relcnvg;
    } while (COUPLE && cplloop());
    speciesStart();
    findPgage();
    _dt = (float)_time_step;
    _dti = _dt > 0.0f ? 1.0f / _dt : 0.0f;
    if (_sim_af_dyn && _rcdat.densZP) findAirNodeConcBases();
    progress(endLine());
    if (write) writeResults();
}

// What a restart record does not hold follows from what it does: wind pressures and stack
// pressures, then gauge pressures. The record's pressure differences and densities are
// those of the last airflow solution and stay as restored: the gas constants may have
// moved since, and the writing run listed and went on from these.
static void restoredDerivedState()
{
    std::vector<double> density;
    for (AirPath* p = _pafp0; p; p = p->next) p->work = p->dp;
    for (const AirNode* n = _afnd0; n; n = n->next) density.push_back(n->density);
    calc_wP();
    calc_sP();
    for (AirPath* p = _pafp0; p; p = p->next) p->dp = p->work;
    size_t i = 0;
    for (AirNode* n = _afnd0; n; n = n->next) {
        n->density = density[i++];
        n->sqrt_density = (float)std::sqrt(n->density);
        n->density_viscosity_ratio = (float)(n->density / n->viscosity);
    }
    findPgage();
}

namespace {

// How the run started, for the time loops' start-time checks; decided by the restart.
struct RunStart {
    int resumedAtRecordTime = 0;   // resumed from a record written at its own start time
};
RunStart runStart;

}  // namespace

int resumedAtRecordTime() { return runStart.resumedAtRecordTime; }

void sim_start_reset() { runStart = RunStart{}; }

bool startIsListed() { return !runStart.resumedAtRecordTime || _time_list <= 0 || _stepStartTime % _time_list == 0; }

// The moment a record stands for: a record of a day end (24:00, or a little past it after
// a first day started off the step grid) is the state the next day starts from at 0:00.
static void recordMoment(const RstMoment& m, int* day, int* time)
{
    *day = m.day;
    *time = m.time;
    if (m.time < 86400) return;
    *day = m.day % 365 + 1;
    *time = 0;
}

// A run resumed at the moment of its record continues the writing run: its week goes on
// from the record's day type (a weather file gives every day's type itself), and its start
// passed the writing run's checks. A record taken as the state of another moment starts
// the run with the project's own day type, and the run says so.
static void continueFromRecord(const RstMoment& m)
{
    int day, time;
    recordMoment(m, &day, &time);
    runStart.resumedAtRecordTime = 0;
    if (_rcdat.sim_mf == 3) return;   // a cyclic run repeats its design day from 0:00
    if (day != _dayofy || time != _stepStartTime) {
        char at[64];
        snprintf(at, sizeof at, "%s %s", datestr(_dayofy), steptimestr(_stepStartTime));
        error(WARNING, __FILE__, __LINE__, "Restart record of ", datestr(m.day), " ",
              steptimestr(m.time), " is taken as the state at the start, ", at, "");
        return;
    }
    runStart.resumedAtRecordTime = 1;
    if (!_uwth) _daytyp = day == m.day ? m.day_type : m.day_type % 7 + 1;
}

// The implicit systems resume with what the record holds of their last solve (mass bases,
// unknowns, rates), which is all the next step's explicit part reads; the stiff integrator
// sets its system up from the restored state.
int sim_init_restart()
{
    ulog_printf("sim_init_restart()\n");
    ulog_flush();
    if (rstget(_rcdat.rst_date) != 0) return 1;
    restoredDerivedState();
    continueFromRecord(rst_restoredMoment());
    if (_rcdat.mf_solver < 2) return 0;
    if (_rcdat.mfn_on) init_Mfn(_MFn_mem);
    if (_rcdat.mft_on) init_Mft(_MFt_mem);
    return 0;
}

}  // namespace vexlar
