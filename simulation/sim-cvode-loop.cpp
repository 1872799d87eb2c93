// The stiff-integrator time loop. All species of the combined system _MFn_mem are advanced
// together by the integrator with variable step and order between stop times: the day end,
// the end time, the next record of every open timed input or week schedule and, when some
// output needs exact values there, the next listing time. Between the integrator's steps
// the inputs, schedules, controls and airflows are brought up to the step start, and the
// non-trace species set the nodes' gas constants and air masses as in the implicit method
// (the integrator restarts when that moves its state). Listings between steps are
// interpolated into a vector of their own; each stop restarts from the solution there.
// The contaminant summary's books are the integrator's quadratures: integrated by its own
// formula beside the species masses, outside their Newton iterations and error test.
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
#include "model/options.h"
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
#include "simulation/simulate.h"
#include "simulation/vexlar-x-finish.h"
#include "simulation/weather.h"

namespace vexlar {

namespace {

// The integrator and its vectors for one run. The state holds the species masses of the
// combined system (neq equations); the quadratures the summary's books.
struct Integrator {
    SUNContext ctx = nullptr;
    void* cv = nullptr;
    int neq = 0;
    StiffBooks books;
    std::vector<AirPath*> filters;   // the paths whose filters load from the books
    std::vector<double> held;        // per filter and species: challenged less passed
    std::vector<double> ahead;       // per filter and species: captured past a rewound state
    std::vector<double> state, listed, rate;   // solution; interpolated listing values; dy/dt
    std::vector<double> booked, bookedBack;    // the books at the solution; set back
    N_Vector y = nullptr, ylist = nullptr, ydot = nullptr, yQ = nullptr, yQback = nullptr;
    JacIntfc ji{};
};

bool haveSinks() { return _nbls > 0 || _ndvr > 0; }

bool srfWanted() { return _rcdat.sim_mf > 1 && haveSinks() && _rcdat.srf; }

// Sources see their schedules and the ambient, the openings and the value files their
// timed inputs at the integrator's own time t, inside the intervals the step start found
// (the integrator stops at every schedule point and every record); everything else keeps
// the values of the step start, at which the airflows and controls were evaluated.
int derivAtTime(double t, N_Vector y, N_Vector ydot, void*)
{
    timedInputsAt(t);
    if (_Wsch0) setScheduleValuesAt(t);
    int r = vxcv_derivFcn(t, y, ydot, nullptr);
    if (_Wsch0) setScheduleValuesAt(_stepStartTime + 1);
    return r;
}

// The books' rates at the step's solution y: the nodes and sinks follow y and the sources
// their models at t, as for the species' rates, and the books take their rates from them.
int bookRates(double t, N_Vector y, N_Vector yQdot, void* data)
{
    Integrator* in = static_cast<Integrator*>(data);
    timedInputsAt(t);
    if (_Wsch0) setScheduleValuesAt(t);
    setNodeConcs_fromSpeciesMasses(N_VGetArrayPointer(y) - 1, _MFn_mem->x, _Bls0, _Dvr0, 0, _nntc, _nctm);
    cse_setRateTime(t);
    findCseRates(_Css0, _Bls0, _Dvr0);
    cse_setRateTime(-1.0);
    in->books.rates(N_VGetArrayPointer(yQdot));
    if (_Wsch0) setScheduleValuesAt(_stepStartTime + 1);
    return 0;
}

// Restarts the integrator at t from the state and the books as they stand.
void restartAt(Integrator& in, double t)
{
    CVodeReInit(in.cv, t, in.y);
    if (in.yQ) CVodeQuadReInit(in.cv, in.yQ);
}

// Each failure of the set-up has its one message.
void createIntegrator(Integrator& in)
{
    MF_MAT* m = _MFn_mem;
    if (SUNContext_Create(nullptr, &in.ctx) != 0 ||
        !(in.cv = CVodeCreate(_rcdat.cv_lmm == 1 ? CV_ADAMS : CV_BDF, in.ctx)))
        error(FATAL, __FILE__, __LINE__, "Failed to get a cvodeMem", "");
    in.neq = m->neq;
    for (AirPath* p = _pafp0; p; p = p->next)
        if (filterBooked(p)) in.filters.push_back(p);
    in.held.assign(in.filters.size() * (size_t)_nctm, 0.0);
    in.ahead.assign(in.held.size(), 0.0);
    const int n = in.neq, nb = in.books.build();
    in.state.assign((size_t)n, 0.0);
    in.listed.assign((size_t)n, 0.0);
    in.rate.assign((size_t)n, 0.0);
    in.y = N_VMake_Serial(n, in.state.data(), in.ctx);
    in.ylist = N_VMake_Serial(n, in.listed.data(), in.ctx);
    in.ydot = N_VMake_Serial(n, in.rate.data(), in.ctx);
    if (nb > 0) {
        in.booked.assign((size_t)nb, 0.0);
        in.bookedBack.assign((size_t)nb, 0.0);
        in.yQ = N_VMake_Serial(nb, in.booked.data(), in.ctx);
        in.yQback = N_VMake_Serial(nb, in.bookedBack.data(), in.ctx);
    }
    if (!in.y || !in.ylist || !in.ydot || (nb > 0 && (!in.yQ || !in.yQback)))
        error(FATAL, __FILE__, __LINE__, "Failed to wrap vector", "");
    getNodeSpeciesMasses(in.state.data() - 1, _Bls0, _Dvr0, 0, _nctm);
    // Fixed equations are not part of the state: their masses stay 0, derivatives 0.
    vxcv_jacIntfc_configure(&in.ji, m->neq, m->nvar, m->nnz, m->ija, m->K, m->A, &m->sasn, m->x);
    vxcv_jacIntfc_setJacFcn(&in.ji, vxcv_jacFcn);
    // The books neither limit a step nor take part in its Newton iterations.
    if (CVodeInit(in.cv, derivAtTime, _stepStartTime, in.y) != CV_SUCCESS ||
        CVodeSetUserData(in.cv, &in) != CV_SUCCESS ||
        (in.yQ && (CVodeQuadInit(in.cv, bookRates, in.yQ) != CV_SUCCESS ||
                   CVodeSetQuadErrCon(in.cv, SUNFALSE) != CV_SUCCESS)))
        error(FATAL, __FILE__, __LINE__, "Failed to set problem", "");
    if (CVodeSStolerances(in.cv, _rcdat.cv_rtol, _rcdat.cv_atol) != CV_SUCCESS)
        error(FATAL, __FILE__, __LINE__, "Failed to set tol", "");
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
    if (in.yQ) N_VDestroy_Serial(in.yQ);
    if (in.yQback) N_VDestroy_Serial(in.yQback);
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
    if (!startIsListed()) return;
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

// The controls at the instant a restart record or the run's end stands at, so that the
// record holds them as the next step starts from them: the step after a day's end or a
// resumed run's first step then evaluates them again at that instant, advancing nothing.
void controlsAtRecord()
{
    if (_Ctrl0) setSchedulesAndControls(_stepStartTime + 1, 0);
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

// The nodes at a solution the run goes on from or lists; one no mass fraction can have
// ends the run as the implicit method's does.
void nodesFromState(const std::vector<double>& y)
{
    setNodeConcs_fromSpeciesMasses(y.data() - 1, _MFn_mem->x, _Bls0, _Dvr0, 0, _nntc, _nctm);
    checkNodeMfBounds(_rcdat.cv_rtol, _rcdat.cv_atol);
}

void interpolationFailed() { error(FATAL, __FILE__, __LINE__, "Interpolation failed, call ZELT", ""); }

void tryAnotherSolver() { error(FATAL, __FILE__, __LINE__, "Please try another transport solver", ""); }

// Adds w times what each booked filter was challenged with less what it passed, by filter
// and species, to v.
void addFilterNet(const Integrator& in, std::vector<double>& v, double w)
{
    const size_t n = (size_t)_nctm;
    for (size_t f = 0; f < in.filters.size(); f++) {
        const FilterLoadRec* r = in.filters[f]->filter->load;
        for (size_t k = 0; k < n; k++) v[f * n + k] += w * (r->mass_in[k] - r->mass_out[k]);
    }
}

// After each integrator step the summary's books take what the integrator integrated,
// and each filter loads with what they say it took out of the air, the species it let
// through staying with the masses. The nodes are left at the step's end.
void integratorStepTotals(Integrator& in, double t)
{
    const size_t n = (size_t)_nctm;
    if (!in.yQ) {
        nodesFromState(in.state);
        return;
    }
    double tq;
    if (CVodeGetQuad(in.cv, &tq, in.yQ) != CV_SUCCESS || tq != t) interpolationFailed();
    std::fill(in.held.begin(), in.held.end(), 0.0);
    addFilterNet(in, in.held, 1.0);
    in.books.post(in.booked.data());
    // What a filter captured past a state taken back is not captured again: a step that
    // ends short of it leaves the rest for the next.
    for (size_t f = 0; f < in.filters.size(); f++) {
        const FilterLoadRec* r = in.filters[f]->filter->load;
        for (size_t k = 0; k < n; k++) {
            double& a = in.ahead[f * n + k];
            const double took = r->mass_in[k] - r->mass_out[k] - in.held[f * n + k], passed = std::fmin(a, took);
            a -= passed;
            filter_capture(in.filters[f], (int)k, took - passed);
        }
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
    if (t > t0) integratorStepTotals(in, t);
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

// Results at every listing time the step has reached, from the integrator's interpolation
// and the timed inputs there; afterwards the nodes follow the solution at the step end
// again and the inputs the step end.
void writeListings(Integrator& in, int& nextList)
{
    extremesCalc();
    if (_Mfmax) noteMaxAirNodeConcs();
    bool listed = false;
    for (; nextList <= _stepEndTime; nextList += _time_list) {
        timedInputsAt(nextList);
        if (_nctm > 0) {
            if (CVodeGetDky(in.cv, nextList, 0, in.ylist) != CV_SUCCESS) interpolationFailed();
            nodesFromState(in.listed);
            listed = true;
        }
        writeListing(nextList);
    }
    if (listed) nodesFromState(in.state);
    timedInputsAt(_stepEndTime);
}

void screenLine(int& nextScrn)
{
    if (_stepEndTime < nextScrn) return;
    nextScrn = _stepEndTime + _time_scrn;
    fprintf(stderr, " Date: %s  time: %s\n", datestr(_dayofy), steptimestr(_stepEndTime));
}

// The non-trace species the step reached set the nodes' gas constants, densities and air
// masses as the implicit method's solves do; when the air masses moved off the state's
// by more than the tolerance, the integrator restarts from the state that holds them. A
// state taken back to the whole second t restarts the integrator there in any case.
void followGasLaw(Integrator& in, double t, int stop, bool rewound = false)
{
    if (!in.cv) return;
    if (!nodesFollowGasLaw(in.state.data() - 1, _MFn_mem->x, _rcdat.cv_rtol) && !rewound) return;
    restartAt(in, t);
    CVodeSetStopTime(in.cv, stop);
}

bool runEnded() { return _dayofy == _simEndDate && _stepEndTime >= _simEndTime; }

// Whether the integrator can interpolate at g: its error handler makes a FATAL of a time
// outside the last step, so the time is checked first.
bool insideLastStep(const Integrator& in, double g)
{
    sunrealtype tcur = 0.0, hu = 0.0;
    if (CVodeGetCurrentTime(in.cv, &tcur) != CV_SUCCESS || CVodeGetLastStep(in.cv, &hu) != CV_SUCCESS) return false;
    return g <= tcur && g >= tcur - hu;
}

// The state and the books at the whole second g, inside the integrator's last step, from
// its interpolation; false, with nothing changed, when g cannot be interpolated.
bool rewindTo(Integrator& in, double g)
{
    if (!insideLastStep(in, g) || CVodeGetDky(in.cv, g, 0, in.ylist) != CV_SUCCESS ||
        (in.yQ && CVodeGetQuadDky(in.cv, g, 0, in.yQback) != CV_SUCCESS))
        return false;
    std::copy(in.listed.begin(), in.listed.end(), in.state.begin());
    if (in.yQ) {
        // The filters keep what they captured up to t; the next step captures from g on.
        addFilterNet(in, in.ahead, 1.0);
        std::copy(in.bookedBack.begin(), in.bookedBack.end(), in.booked.begin());
        in.books.post(in.booked.data());
        addFilterNet(in, in.ahead, -1.0);
    }
    nodesFromState(in.state);
    return true;
}

// A stop request leaves the interval after an integrator step that ended at its time t, up
// to a second past the step end the clock shows. The state goes back to that whole second,
// where the run's last record and summaries stand and a resumed run starts; the books go
// back with it. It is called before the gas law may restart the integrator, after which
// only t itself could be interpolated; the gas law then follows at the whole second.
void stateAtStepEnd(Integrator& in, double t, int stop)
{
    const double g = _stepEndTime;
    followGasLaw(in, g, stop, t != g && rewindTo(in, g));
    // The filters go back with them: what they captured past the books is given back, so
    // that the run's last record and summary hold what the books say, and a resumed run
    // captures from there on as the unbroken run goes on capturing.
    const size_t n = (size_t)_nctm;
    for (size_t f = 0; f < in.filters.size(); f++)
        for (size_t k = 0; k < n; k++) {
            double& a = in.ahead[f * n + k];
            if (a != 0.0) filter_capture(in.filters[f], (int)k, -a);
            a = 0.0;
        }
}

// The storage of the next step is worked out over whole seconds, from the gas-law air mass
// at the step end the clock shows; a restart at the integrator's own time a fraction past
// it would integrate that storage over another span, and the gas law would make up the
// difference with air alone, off the room's composition. The gas law restarts the
// integrator at the whole second instead, the state and the books taken back there.
void followGasLawAtStepEnd(Integrator& in, double t, int stop)
{
    const double g = _stepEndTime;
    if (in.cv && t != g && nodesOffGasLaw(in.state.data() - 1, _rcdat.cv_rtol) && rewindTo(in, g))
        followGasLaw(in, g, stop, true);
    else
        followGasLaw(in, t, stop);
}

}  // namespace

// The stiff integrator takes no peer. It says so before the peer hears of the building,
// which then sees its connection closed without a message.
void refusePeerOfStiffIntegrator(bool transient)
{
    if (!transient || _rcdat.mf_solver < 2 || _doBridge < 2) return;
    cvodeRefusePeer();
    tryAnotherSolver();
}

void sim_loop_cvode(int write)
{
    // An exfiltration row holds what left in its own listing interval: the integrator stops
    // at each listing time rather than book a step's outflow to the first listing it reaches.
    bool exfiltration = _rcdat.sim_mf > 1 && (_rcdat.cex_bldg || _rcdat.cex_ctm);
    bool stopAtListings = haveCtrlNode_usesListTime() || _uach || _uage || _uexp || exfiltration;
    if (cvodeIsExcluded()) tryAnotherSolver();
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
            controlsAtRecord();
            rolloverNewSimDate(write);
            nextList = _time_list;
            nextScrn = _time_scrn;
            t = 0.0;
            if (in.cv) restartAt(in, 0.0);
        }
        _stepStartTime = _stepEndTime;
        int stop = _stepStartTime + stopDistance(stopAtListings, nextList);
        if (in.cv) CVodeSetStopTime(in.cv, stop);
        // A stop request ends the interval after the integrator step under way, not at
        // the interval's end, which may lie a whole day ahead. The request is looked at
        // after each step, so the interval's first step is always taken: a day just begun
        // ends with a step of its own when a stop arrives right after midnight.
        bool stopping = false;
        while (_stepStartTime < stop && !stopping) {
            inputsToStepStart();
            airflows(in);
            do advance(in, t, stop, nextList);
            while (_stepEndTime == _stepStartTime && _stepEndTime < stop);
            timedInputsAt(_stepEndTime);
            screenLine(nextScrn);
            if (_stepEndTime == _stepStartTime) break;
            stepTotals();
            if (write) writeListings(in, nextList);
            else if (_Mfmax) noteMaxAirNodeConcs();
            stopping = simInterrupt_checkInterrupt() == 2 && _stepEndTime < stop;
            if (stopping && in.cv) stateAtStepEnd(in, t, stop);
            else followGasLawAtStepEnd(in, t, stop);
            _stepStartTime = _stepEndTime;
        }
        if (in.cv) restartAt(in, _stepStartTime);
        t = _stepStartTime;
    } while (!runEnded());
    _stepStartTime = _stepEndTime;
    controlsAtRecord();
    if (write) writeSummaries_simEnd();
    freeIntegrator(in);
    if (interrupted) stopOnRequest(write);
}

}  // namespace vexlar
