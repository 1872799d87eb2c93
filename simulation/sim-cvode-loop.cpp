// The stiff-integrator time loop. All species of the combined system _MFn_mem are advanced
// together by the integrator with variable step and order between stop times: the day end,
// the end time, the next record of every open timed input or week schedule and, when some
// output needs exact values there, the next listing time. Between the integrator's steps
// the inputs, schedules, controls and airflows are brought up to the step start, and the
// non-trace species set the nodes' gas constants and air masses as in the implicit method
// (the integrator restarts when that moves its state). Listings between steps are
// interpolated into a vector of their own; each stop restarts from the solution there.
// The contaminant summary's books ride in the integrator's state behind the species masses.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <nvector/nvector_serial.h>

#include "airflow/af-prep.h"
#include "airflow/afe-filter.h"
#include "airflow/mat-set.h"
#include "airflow/solv-af.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "contaminant/cse-sim.h"
#include "contaminant/mf-mem.h"
#include "contaminant/sim-cvode.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "output/expos.h"
#include "output/sim-out.h"
#include "output/sqlite-out.h"
#include "output/summary.h"
#include "simulation/ctrl-sim.h"
#include "simulation/day-week-sched.h"
#include "simulation/sim-common.h"
#include "simulation/sim-cvode-loop-int.h"
#include "simulation/sim-interrupt.h"
#include "simulation/vexlar-x-finish.h"
#include "simulation/weather.h"

namespace vexlar {

namespace {

// The integrator and its vectors for one run. The state holds the species masses of the
// combined system (neq equations), then the summary's books.
struct Integrator {
    SUNContext ctx = nullptr;
    void* cv = nullptr;
    int neq = 0;
    StiffBooks books;
    std::vector<AirPath*> filters;   // the paths whose filters load from the books
    std::vector<double> held;        // per filter and species: challenged less passed
    std::vector<double> state, listed, rate;   // solution; interpolated listing values; dy/dt
    N_Vector y = nullptr, ylist = nullptr, ydot = nullptr;
    JacIntfc ji{};
};

bool haveSinks() { return _nbls > 0 || _ndvr > 0; }

bool srfWanted() { return _rcdat.sim_mf > 1 && haveSinks() && _rcdat.srf; }

// Sources see their schedules at the integrator's own time t, inside the intervals the
// step start found (the integrator stops at every schedule point); everything else keeps
// the values of the step start, at which the airflows and controls were evaluated.
// The books' rates follow the species' at the same time and state.
int derivAtTime(double t, N_Vector y, N_Vector ydot, void* data)
{
    Integrator* in = static_cast<Integrator*>(data);
    if (_Wsch0) setScheduleValuesAt(t);
    int r = vxcv_derivFcn(t, y, ydot, nullptr);
    if (r == 0 && in->books.size() > 0) in->books.rates(N_VGetArrayPointer(ydot) + in->neq);
    if (_Wsch0) setScheduleValuesAt(_stepStartTime + 1);
    return r;
}

// Error weights of the species masses as the integrator's own from the run's tolerances;
// the books weigh nothing, and so never limit a step or its Newton iterations.
int errorWeights(N_Vector y, N_Vector ewt, void* data)
{
    const Integrator* in = static_cast<const Integrator*>(data);
    const double* yy = N_VGetArrayPointer(y);
    double* w = N_VGetArrayPointer(ewt);
    for (int i = 0; i < in->neq; i++) {
        double d = _rcdat.cv_rtol * std::fabs(yy[i]) + _rcdat.cv_atol;
        if (!(d > 0.0)) return -1;
        w[i] = 1.0 / d;
    }
    std::fill(w + in->neq, w + in->state.size(), 0.0);
    return 0;
}

// The integrator's weighted root-mean-square norm over the entries that carry weight (the
// species masses): the books neither count nor dilute it, and the masses are integrated
// exactly as without them.
sunrealtype weightedNorm(N_Vector x, N_Vector w)
{
    const sunindextype n = N_VGetLength(x);
    const double* xd = N_VGetArrayPointer(x);
    const double* wd = N_VGetArrayPointer(w);
    double sum = 0.0;
    sunindextype counted = 0;
    for (sunindextype i = 0; i < n; i++) {
        if (wd[i] == 0.0) continue;
        double p = xd[i] * wd[i];
        sum += p * p;
        counted++;
    }
    return counted ? std::sqrt(sum / counted) : 0.0;
}

void createIntegrator(Integrator& in)
{
    MF_MAT* m = _MFn_mem;
    if (SUNContext_Create(nullptr, &in.ctx) != 0)
        error(FATAL, __FILE__, __LINE__, "Failed to get a cvodeMem", "");
    in.neq = m->neq;
    for (AirPath* p = _pafp0; p; p = p->next)
        if (filterBooked(p)) in.filters.push_back(p);
    in.held.assign(in.filters.size() * (size_t)_nctm, 0.0);
    const int n = in.neq + in.books.build();
    in.state.assign((size_t)n, 0.0);
    in.listed.assign((size_t)n, 0.0);
    in.rate.assign((size_t)n, 0.0);
    in.y = N_VMake_Serial(n, in.state.data(), in.ctx);
    in.ylist = N_VMake_Serial(n, in.listed.data(), in.ctx);
    in.ydot = N_VMake_Serial(n, in.rate.data(), in.ctx);
    if (!in.y || !in.ylist || !in.ydot) error(FATAL, __FILE__, __LINE__, "Failed to wrap vector", "");
    // The integrator's own vectors are copies of the state's, and take its norm.
    if (in.books.size() > 0) in.y->ops->nvwrmsnorm = weightedNorm;
    getNodeSpeciesMasses(in.state.data() - 1, _Bls0, _Dvr0, 0, _nctm);
    // Fixed equations are not part of the state: their masses stay 0, derivatives 0.
    vxcv_jacIntfc_configure(&in.ji, m->neq, m->nvar, m->nnz, m->ija, m->K, m->A, &m->sasn, m->x);
    vxcv_jacIntfc_setJacFcn(&in.ji, vxcv_jacFcn);
    in.cv = CVodeCreate(_rcdat.cv_lmm == 1 ? CV_ADAMS : CV_BDF, in.ctx);
    if (!in.cv) error(FATAL, __FILE__, __LINE__, "Failed to get a cvodeMem", "");
    if (CVodeInit(in.cv, derivAtTime, _stepStartTime, in.y) != CV_SUCCESS)
        error(FATAL, __FILE__, __LINE__, "Failed to set problem", "");
    if (CVodeSetUserData(in.cv, &in) != CV_SUCCESS) error(FATAL, __FILE__, __LINE__, "Failed to set problem", "");
    int tol = in.books.size() > 0 ? CVodeWFtolerances(in.cv, errorWeights)
                                  : CVodeSStolerances(in.cv, _rcdat.cv_rtol, _rcdat.cv_atol);
    if (tol != CV_SUCCESS) error(FATAL, __FILE__, __LINE__, "Failed to set tol", "");
    if (vxcv_jacIntfc_pushToCvode(in.cv, in.y, &in.ji, in.ctx, _rcdat.cv_lmm != 1) != 0)
        error(FATAL, __FILE__, __LINE__, "Failed to attach solver", "");
}

void freeIntegrator(Integrator& in)
{
    if (in.cv) CVodeFree(&in.cv);
    vxcv_jacIntfc_free(&in.ji);
    if (in.y) N_VDestroy_Serial(in.y);
    if (in.ylist) N_VDestroy_Serial(in.ylist);
    if (in.ydot) N_VDestroy_Serial(in.ydot);
    if (in.ctx) SUNContext_Free(&in.ctx);
}

void setMaxStep(Integrator& in)
{
    float h = _rcdat.cv_maxstep;
    if (!(h > 0.0f)) return;
    int r = in.cv ? CVodeSetMaxStep(in.cv, h) : CV_SUCCESS;
    error(NOTE, __FILE__, __LINE__, "CVODE max step [s] =", fltstr(6, h), "");
    if (r != CV_SUCCESS) error(FATAL, __FILE__, __LINE__, "Can't set max step", "");
}

// No restart record: the restart file holds one record per day, the state at the end of
// the part of the day the run covered, and a resumed run restores the first record of its
// day whatever its time; a record of the start state would be taken for that day's.
void writeStartTime()
{
    writeSim_stepTime(_stepStartTime);
    writeSql_stepTime(_stepStartTime);
    if (srfWanted()) writeSrf_stepTime(_stepStartTime);
}

// r shortens the stop distance u when it lies strictly between 0 and u.
void shorten(int& u, int r)
{
    if (r > 0 && r < u) u = r;
}

// Seconds from the step start to this interval's stop.
int stopDistance(bool stopAtListings, int nextList)
{
    int u = 86400 - _stepStartTime;
    if (_dayofy == _simEndDate && _simEndTime - _stepStartTime > 0) shorten(u, _simEndTime - _stepStartTime);
    int d = _dayofy, t = _stepStartTime;
    if (_uctm) shorten(u, CTM_get(d, t, 1));
    if (_uwth) shorten(u, WTH_get(d, t, 1));
    if (_uwpc) shorten(u, WPC_get(d, t, 1));
    if (_ucvf) shorten(u, CVF_get(d, t, 1));
    if (_udvf) shorten(u, DVF_get(d, t, 1));
    if (_Wsch0) shorten(u, wkScheds_nextChange(t));
    if (stopAtListings) shorten(u, nextList - _stepStartTime);
    return u;
}

void inputsToStepStart()
{
    int d = _dayofy, t = _stepStartTime;
    if (_uctm) CTM_get(d, t, 0);
    if (_uwth) WTH_get(d, t, 0);
    if (_uwpc) WPC_get(d, t, 0);
    if (_ucvf) CVF_get(d, t, 0);
    setSchedulesAndControls(_stepStartTime + 1, 1);
}

// Storage term of the airflows (dodMdt): the rate at which each zone's air mass changes
// under the gas law. With m_k the masses of the non-trace species, the gas law holds
// sum Rs_k m_k = (P + Pbar) V / T, so the air mass moves at dM/dt = sum m_k' less what
// would change that sum, (sum Rs_k m_k') / R. The rates m_k' are the right-hand side at
// the step start with the present flows; the storage is handed to the airflow assembly as
// the start mass it takes the difference from. Returns the largest change of a zone's
// storage against its flows.
double gasLawStorage(Integrator& in)
{
    derivAtTime(_stepStartTime, in.y, in.ydot, &in);
    const double* yd = in.rate.data() - 1;
    double moved = 0.0;
    for (AirNode* n = _afnd0; n; n = n->next) {
        const uint32_t storage = NODE_VAR_MF | NODE_VOLUME | NODE_STORAGE;
        if ((n->flags & storage) != storage) continue;
        double S = 0.0, Q = 0.0;
        for (int k = 0; k < _nntc; k++) {
            S += yd[n->mf_eqn[k]];
            Q += _Rs[k] * yd[n->mf_eqn[k]];
        }
        double s = S - Q / n->gas_const, before = (n->air_mass - n->air_mass_prev) * _dti;
        if (n->sum_abs_flow > 0.0) moved = std::fmax(moved, std::fabs(s - before) / n->sum_abs_flow);
        n->air_mass_prev = n->air_mass - s / _dti;
    }
    return moved;
}

// Transient airflows at the step start, repeated until the densities agree with the gas law
// and, with storage, until the storage agrees with the flows.
void airflows(Integrator& in)
{
    const RunControlData& r = _rcdat;
    if (_sim_af_dyn) {
        calc_wP();
        bool storage = r.dodMdt && in.cv && _nntc >= 2 && _dti > 0.0f;
        if (r.dodMdt)
            for (AirNode* n = _afnd0; n; n = n->next) {
                n->air_mass_prev = n->air_mass;
                n->pressure_prev = n->pressure;
            }
        if (storage) gasLawStorage(in);
        for (int p = 1;; p++) {
            _NrTStepIter++;
            calc_sP();
            SolveAf(_AF_mat);
            bool more = r.tsdens && !airNodeDensitiesHaveConverged();
            if (storage && gasLawStorage(in) > r.relcnvg) more = true;
            if (!more) break;
            if (p >= r.dens_itmax) {
                error(ERROR, __FILE__, __LINE__, "Too many density iterations", "");
                break;
            }
        }
    }
    findPgage();
}

void nodesFromState(const std::vector<double>& y)
{
    setNodeConcs_fromSpeciesMasses(y.data() - 1, _MFn_mem->x, _Bls0, _Dvr0, 0, _nntc, _nctm);
}

// After each integrator step the summary's books take what the integrator integrated,
// and each filter loads with what they say it took out of the air, the species it let
// through staying with the masses. The nodes are left at the step's end.
void integratorStepTotals(Integrator& in)
{
    const size_t n = (size_t)_nctm;
    for (size_t f = 0; f < in.filters.size(); f++) {
        const FilterLoadRec* r = in.filters[f]->filter->load;
        for (size_t k = 0; k < n; k++) in.held[f * n + k] = r->mass_in[k] - r->mass_out[k];
    }
    in.books.post(in.state.data() + in.neq);
    for (size_t f = 0; f < in.filters.size(); f++) {
        const FilterLoadRec* r = in.filters[f]->filter->load;
        for (size_t k = 0; k < n; k++)
            filter_capture(in.filters[f], (int)k, r->mass_in[k] - r->mass_out[k] - in.held[f * n + k]);
    }
    nodesFromState(in.state);
}

// One integrator step; the step end is the whole second at or before the integrator's time.
void advance(Integrator& in, double& t, int stop, int nextList)
{
    _NrTimeSteps++;
    if (_nctm <= 0) {
        _stepEndTime = nextList < stop ? nextList : stop;
        return;
    }
    double t0 = t;
    int r = CVode(in.cv, t + 300.0, in.y, &t, CV_ONE_STEP);
    if (r == CV_SUCCESS)
        _stepEndTime = (int)std::floor(t);
    else if (r == CV_TSTOP_RETURN)
        _stepEndTime = stop;
    else
        error(FATAL, __FILE__, __LINE__, "Unexpected CVODE return: ", intstr(r), "");
    if (t > t0) integratorStepTotals(in);
}

// The clock of the step just ended; without species the filters and the envelope over the
// step at its state, with them the simulated time and the occupants' emissions walked
// through the step (the integrator's steps have booked the rest).
void stepTotals()
{
    _time_step = _stepEndTime - _stepStartTime;
    _dt = (float)_time_step;
    _dti = 1.0f / _dt;
    if (_nctm <= 0) {
        if (_rcdat.sim_mf != 0) {
            filterStepTotals(_time_step);
            sum_ambient_add(_time_step, _time_step);
        }
        return;
    }
    if (_Pxs0) sumCseGenRemoveMass(nullptr, nullptr, nullptr, _Pxs0, 0.0f);
    if (_rcdat.sim_mf != 0) sum_ambient_add(0.0, _time_step);
}

void writeListing(int g)
{
    const RunControlData& r = _rcdat;
    writeSim_stepTime(g);
    writeSql_stepTime(g);
    if (r.cex_bldg || r.cex_ctm) writeCex_stepEnd(g);
    if (srfWanted()) writeSrf_stepTime(g);
    if (_uach) writeAch_stepEnd(g);
    if (_ucbw) writeCbw_stepEnd_compute(g);
    if (_uage) writeAge_stepEnd(g);
    if (_uexp) writeExp_stepEnd(g);
}

// Results at every listing time the step has reached, from the integrator's interpolation;
// afterwards the nodes follow the solution at the step end again.
void writeListings(Integrator& in, int& nextList)
{
    extremesCalc();
    if (_Mfmax) noteMaxAirNodeConcs();
    bool listed = false;
    for (; nextList <= _stepEndTime; nextList += _time_list) {
        if (_nctm > 0) {
            if (CVodeGetDky(in.cv, nextList, 0, in.ylist) != CV_SUCCESS)
                error(FATAL, __FILE__, __LINE__, "Interpolation failed, call ZELT", "");
            nodesFromState(in.listed);
            listed = true;
        }
        writeListing(nextList);
    }
    if (listed) nodesFromState(in.state);
}

void screenLine(int& nextScrn)
{
    if (_stepEndTime < nextScrn) return;
    nextScrn = _stepEndTime + _time_scrn;
    fprintf(stderr, " Date: %s  time: %s\n", datestr(_dayofy), steptimestr(_stepEndTime));
}

// The non-trace species the step reached set the nodes' gas constants, densities and air
// masses as the implicit method's solves do; when the air masses moved off the state's
// by more than the tolerance, the integrator restarts from the state that holds them.
void followGasLaw(Integrator& in, double t, int stop)
{
    if (!in.cv || !nodesFollowGasLaw(in.state.data() - 1, _MFn_mem->x, _rcdat.cv_rtol)) return;
    CVodeReInit(in.cv, t, in.y);
    CVodeSetStopTime(in.cv, stop);
}

bool runEnded() { return _dayofy == _simEndDate && _stepEndTime >= _simEndTime; }

// A stop request leaves the interval after an integrator step that ended at its time t, up
// to a second past the step end the clock shows. The state goes back to that whole second,
// where the run's last record and summaries stand and a resumed run starts; the books go
// back with it.
void stateAtStepEnd(Integrator& in, double t)
{
    if (t == _stepStartTime || CVodeGetDky(in.cv, _stepStartTime, 0, in.ylist) != CV_SUCCESS) return;
    std::copy(in.listed.begin(), in.listed.end(), in.state.begin());
    in.books.post(in.state.data() + in.neq);
    nodesFromState(in.state);
}

}  // namespace

void sim_loop_cvode(int write)
{
    // An exfiltration row holds what left in its own listing interval: the integrator stops
    // at each listing time rather than book a step's outflow to the first listing it reaches.
    bool exfiltration = _rcdat.sim_mf > 1 && (_rcdat.cex_bldg || _rcdat.cex_ctm);
    bool stopAtListings = haveCtrlNode_usesListTime() || _uach || _uage || _uexp || exfiltration;
    if (cvodeIsExcluded()) error(FATAL, __FILE__, __LINE__, "Please try another transport solver", "");
    checkStartTimeOnGrid(_time_list, ERROR, "Start time should be a multiple of the listing time step");
    Integrator in;
    if (_nctm > 0) createIntegrator(in);
    double t = _stepStartTime;
    writeSim_daySummary_init();
    if (write) writeStartTime();
    // Listing times are whole multiples of the listing step from midnight, whatever the start:
    // a run resumed part-way through a day lists when the run it continues did.
    int nextList = (_stepStartTime / _time_list + 1) * _time_list;
    int nextScrn = _stepStartTime + _time_scrn;
    setMaxStep(in);
    simInterrupt_writeInstructions();
    bool interrupted = false;
    do {
        if (simInterrupt_checkInterrupt() == 2) {
            interrupted = true;
            break;
        }
        if (_stepEndTime > 86399) {
            rolloverNewSimDate(write);
            nextList = _time_list;
            nextScrn = _time_scrn;
            t = 0.0;
            if (in.cv) CVodeReInit(in.cv, 0.0, in.y);
        }
        _stepStartTime = _stepEndTime;
        int stop = _stepStartTime + stopDistance(stopAtListings, nextList);
        if (in.cv) CVodeSetStopTime(in.cv, stop);
        // A stop request ends the interval after the integrator step under way, not at
        // the interval's end, which may lie a whole day ahead. The request was looked at
        // just above, so the interval's first step is always taken: a day just begun ends
        // with a step of its own when a stop arrives right after midnight.
        bool firstStep = true;
        while (_stepStartTime < stop && (firstStep || simInterrupt_checkInterrupt() != 2)) {
            firstStep = false;
            inputsToStepStart();
            airflows(in);
            do advance(in, t, stop, nextList);
            while (_stepEndTime == _stepStartTime && _stepEndTime < stop);
            screenLine(nextScrn);
            if (_stepEndTime == _stepStartTime) break;
            stepTotals();
            if (write) writeListings(in, nextList);
            else if (_Mfmax) noteMaxAirNodeConcs();
            followGasLaw(in, t, stop);
            _stepStartTime = _stepEndTime;
        }
        if (in.cv && _stepStartTime < stop) stateAtStepEnd(in, t);
        if (in.cv) CVodeReInit(in.cv, _stepStartTime, in.y);
        t = _stepStartTime;
    } while (!runEnded());
    _stepStartTime = _stepEndTime;
    if (write) writeSummaries_simEnd();
    freeIntegrator(in);
    if (interrupted) stopOnRequest(write);
}

}  // namespace vexlar
