// The CFD zone solver's entry point flow and its SIMPLE iteration. Each call re-reads the
// zone's input, initialises the fields on the first solve, solves the airflow (the steady
// false-transient loop, or one step of a transient run), solves the contaminants, and
// leaves the openings' flows, coefficients and boundary pressures for the coupling.
// Progress and residual lines go to standard output and to the solver log (".bal").
#include <climits>
#include <cmath>

#include "cfd/cfd.h"
#include "cfd/cfd-int.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/run-control.h"

namespace vexlar {

FILE *TE, *BA, *RE, *VA;
double resomnr, CN, _cfdzonemp, _cfdzonemp1;
bool cfd_flow_converged = true, cfd_ctm_converged = true;
int CCI, ENDSTEP;

// Residuals of the last iteration, each over its normaliser: continuity, U, V, W, energy,
// and the continuity residual itself [kg/s].
static void normalisedResiduals(double* v)
{
    const double r[6] = {RESOM / (cfd_mass_normaliser() + 1e-10), RESOU / (RU0 + 1e-10), RESOV / (RV0 + 1e-10),
                         RESOW / (RW0 + 1e-10), RESOT / (RT0 + 1e-10), RESOM};
    for (int e = 0; e < 6; e++) v[e] = r[e];
}

// The k-epsilon model adds the residuals of k and epsilon, each over its normaliser.
void prsour()
{
    const char* fmt = " I=%ld, Continuity=%-6.1le, U=%-2.1le, V=%-2.1le, W=%-2.1le, "
                      "Energy=%-2.1le, Continuity_A=%-6.1le%s\n";
    double v[6];
    normalisedResiduals(v);
    char turb[64] = "";
    if (cfd_k_epsilon()) {
        const auto& t = cfd_state.turb;
        snprintf(turb, sizeof turb, ", K=%-2.1le, Epsilon=%-2.1le", t.resk / (t.rk0 + 1e-30),
                 t.rese / (t.re0 + 1e-30));
    }
    cfd_say(fmt, (long)NITER, v[0], v[1], v[2], v[3], v[4], v[5], turb);
    if (BA) fflush(BA);
}

// ---- SIMPLE iteration ------------------------------------------------------------------------

// The steady loop switches to the second set of false time steps at ISTEP iterations and,
// with STEP 2, makes the velocity and temperature steps ten times longer at 2 ISTEP.
static void falseTimeSchedule()
{
    if (STEP != 0 && NITER == ISTEP)
        DTU = CDTU, DTV = CDTV, DTW = CDTW, DTT = CDTT, DTEK = CDTEK, DTED = CDTED, DTC = CDTC;
    if (STEP == 2 && NITER == 2 * ISTEP) DTU *= 10, DTV *= 10, DTW *= 10, DTT *= 10;
}

// ---- Divergence ----------------------------------------------------------------------------------

// A solve has diverged when a residual is not finite, when the normalised continuity
// residual has grown a thousandfold over the smallest it reached in this solve (and stands
// above 1e3), or when a velocity lies ten times beyond the larger of its axis's limits
// (item 19): the clamp bounds the momentum solution, so only a pressure correction run
// away puts one there (limits below 1 m/s count as 1 m/s). Such fields are no answer,
// so the run ends naming the zone.
static const double DIVERGED_GROWTH = 1e3, DIVERGED_FLOOR = 1e3, DIVERGED_SPEED = 10.0;

// Largest |velocity| of an axis over the interior, NaN when one is not a number; *limit
// the larger magnitude of the axis's limits.
static double largestSpeed(int axis, double* limit)
{
    double lo = axis == 0 ? UMIN : axis == 1 ? VMIN : WMIN, hi = axis == 0 ? UMAX : axis == 1 ? VMAX : WMAX;
    *limit = fmax(fmax(fabs(lo), fabs(hi)), 1.0);
    double m = 0.0;
    bool nan = false;
    const double* v = base(velocity(axis));
    cfd_for_rows([&](long q0, long n) {
        for (long q = q0; q < q0 + n; q++) {
            double a = fabs(v[q]);
            if (a > m) m = a;
            nan = nan || a != a;
        }
    });
    return nan ? NAN : m;
}

static void checkSolutionFinite();

// The run ends at the first diverged iteration, after its residual line: a field that is not
// finite is named with its cell, as at the end of a solve; otherwise the zone, the
// residuals and the largest speed are.
// The velocities are scanned every DIVERGED_SCAN iterations and at the end of a solve; the
// residuals every iteration.
static const int DIVERGED_SCAN = 8;

static void checkDivergence(bool scan)
{
    double& smallest = cfd_state.smallest_residual;   // of the solve under way
    if (NITER <= 1) smallest = HUGE_VAL;
    bool measured = cfd_mass_normaliser() != 0;
    if (measured && resomnr < smallest) smallest = resomnr;
    const double r[5] = {RESOM, RESOU, RESOV, RESOW, RESOT};
    bool broken = !std::isfinite(resomnr);
    for (double v : r) broken = broken || !std::isfinite(v);
    broken = broken || (measured && resomnr > DIVERGED_FLOOR && resomnr > DIVERGED_GROWTH * smallest);
    if (!scan && !broken) return;
    double speed = 0.0, limit = 0.0;
    for (int a = 0; a < 3; a++) {
        double lim, s = largestSpeed(a, &lim);
        if (!(s <= DIVERGED_SPEED * lim)) broken = true;
        if (!(s <= speed)) speed = s, limit = lim;
    }
    if (!broken) return;
    prsour();
    checkSolutionFinite();
    double v[6];
    normalisedResiduals(v);
    char text[600];
    snprintf(text, sizeof text,
             "CFD zone %.200s diverged at iteration %d: continuity residual %.2e (smallest %.2e), U %.1e, V %.1e, "
             "W %.1e, energy %.1e, absolute continuity %.2e kg/s, largest speed %.2e m/s (limits %.2e); lower the "
             "under-relaxation factors (item 20) or give false time steps (items 21 and 23) in ",
             _cfdpname, NITER, resomnr, smallest, v[1], v[2], v[3], v[4], RESOM, speed, limit);
    error(FATAL, __FILE__, __LINE__, text, cfd_input_name(), "");
}

void simple_iteration(int steady)
{
    NITER += 1;
    if (steady) falseTimeSchedule();
    // A residual line every PINTV iterations; none without a positive interval, and no
    // conversion of a quotient that an int cannot hold.
    CN = PINTV > 0 ? NITER / PINTV : 0.5;
    CCI = std::isfinite(CN) && CN < INT_MAX ? (int)CN : -1;
    if (!I2DX) ucompu();
    if (!I2DY) vcompu();
    if (!I2DZ) wcompu();
    ppcompu();
    correc();
    if (ENERGY == 1) {
        tcompu();
        if (steady || _stepEndTime == _rcdat.start_time)
            cfd_for_cells([](const int* p) { cell(TOLD, p) = cell(T, p); });
    }
    vistur();
    if (steady && CN == CCI) prsour();
    double norm = cfd_mass_normaliser();
    resomnr = norm == 0 ? CFD_UNMEASURED_RESIDUAL : RESOM / norm;
    checkDivergence(NITER % DIVERGED_SCAN == 0);
}

static void iterate(int steady)
{
    do simple_iteration(steady);
    while (NITER < NITMAX && resomnr > CRITE);
    checkDivergence(true);
    cfd_flow_converged = resomnr <= CRITE;
    if (!cfd_flow_converged) cfd_limit_warning(0, "continuity", NITMAX, resomnr, CRITE);
    auto& last = cfd_state.last_solve;   // for a report on it after later calls
    last.iterations = NITER, last.limit = NITMAX, last.criterion = CRITE;
    normalisedResiduals(last.residual);
    last.residual[0] = resomnr;
}

void cfd_residual_text(char* out, size_t size)
{
    const auto& last = cfd_state.last_solve;
    const double* r = last.residual;
    snprintf(out, size,
             "continuity residual %.2e (criterion %.2e) after %d iterations of %d, U %.1e, V %.1e, W %.1e, "
             "energy %.1e",
             r[0], last.criterion, last.iterations, last.limit, r[1], r[2], r[3], r[4]);
}

unsigned cfd_limit_warned;

// A coupled or transient run may stop at the limit in every step; standard error hears of
// each equation once, so that the warning is not buried under copies of itself.
void cfd_limit_warning(int key, const char* equation, int limit, double residual, double criterion)
{
    char text[256];
    snprintf(text, sizeof text,
             "CFD %s equation stopped at its iteration limit %d with residual %.2e above its criterion %.2e",
             equation, limit, residual, criterion);
    cfd_warn_once(key, text);
}

void cfd_warn_once(int key, const char* text)
{
    if (cfd_limit_warned & (1u << key))
        ulog_printf("WARNING %s\n", text);
    else
        error(WARNING, __FILE__, __LINE__, text, "");
    cfd_limit_warned |= 1u << key;
    if (!BA) return;
    fprintf(BA, "WARNING %s\n", text);
    fflush(BA);
}

// ---- Restart fields ----------------------------------------------------------------------------

static void readFields(FILE* f, double*** const* to)
{
    for (int i = 1; i <= IMAX; i++)
        for (int j = 1; j <= JMAX; j++)
            for (int k = 1; k <= KMAX; k++)
                for (int a = 0; a < 6; a++) {
                    double v;
                    if (fread(&v, sizeof v, 1, f) == 1) to[a][i][j][k] = v;
                }
}

static void monitorHeader(const char* title)
{
    if (!MON) return;
    fprintf(MON, "%s", title);
    fprintf(MON, "At Monitoring Point: I=%d,J=%d,K=%d,\n", IMON, JMON, KMON);
    fprintf(MON, "Time\tU(m/s)\tV(m/s)\tW(m/s)\tVel(m/s)\tP(Pa)\t");
    if (ENERGY) fprintf(MON, "T(C)\t");
    for (int s = 1; s <= 5; s++)
        if (cfd_species(s)) fprintf(MON, "C%d(PPM)\t", s);
}

int steadyflow()
{
    if (INITYN)
        monitorHeader("\t**********STEADY RESULTS AT MONITORING POINT**********\n");
    if (_doneflow && CRESTART == 0) return 1;
    cfd_say("Start steady airflow calculation...\n");
    if (CRESTART == 1) {
        FILE* f = cfd_open_input(cfd_zone_path(".var"), "rb");
        if (!f) cfd_open_failed("Unable to open restart file (var)", _cfdprj);
        double*** const to[6] = {U, V, W, P, T, VIS};
        readFields(f, to);
        fclose(f);
        CRESTART = 0;
        return 1;
    }
    if (CRESTART != 0) return 0;
    if (!VA) VA = cfd_create(cfd_zone_path(".var"), "wb", "Unable to open CFD field restart file ");
    iterate(1);
    CRESTART = 0;
    return 1;
}

// ---- The entry point -------------------------------------------------------------------------------

static void decideFirstSolve()
{
    if (VSTEADY == 1) {
        INITYN = _cpliter <= 1 && CFDTIME == _rcdat.start_time;
    } else {
        INITYN = _ufstart == 1;
        _ufstart = 0;
    }
    if (NOC > 0) {
        if (_cciter || _doneflow) INITYN = 0;
        else for (int s = 0; s < 6; s++) RPC0[s] = 0.0;
    }
    if (INITYN) RP0 = 0.0;
}

static void openFiles()
{
    if (!IN) {
        IN = cfd_open_input(cfd_zone_path(".CFD"), "r");
        if (!IN) cfd_open_failed("Unable to locate input file", _cfdprj);
    }
    if (!TE && _ctmcpl != 2) cfd_tecplot_open();
    if (!BA) BA = cfd_create(cfd_zone_path(".bal"), "w", "Unable to open CFD solver log ");
    if (!RE) RE = cfd_create(cfd_zone_path(".ret"), "w", "Unable to open CFD result file ");
}

// The saved fields are read on a first solve only: a later call keeps its converged fields.
static void restartFields()
{
    if (ICOMPU != 1 || !INITYN) return;
    bool pending = CRESTART != 0;
    if (pending && VSTEADY != 0) return;
    FILE* f = cfd_open_input(cfd_zone_path(".var"), "rb");
    if (!f) {
        if (pending) return;
        cfd_open_failed("No CFD restart (var) file found", _cfdprj);
    }
    double*** const old[6] = {UOLD, VOLD, WOLD, P, TOLD, VIS};
    double*** const cur[6] = {U, V, W, P, T, VIS};
    readFields(f, pending ? old : cur);
    fclose(f);
}

static void unsteadyAirflow()
{
    cfd_say("Start unsteady airflow calculation...\n");
    if (INITYN) monitorHeader("\t**********TRANSIENT RESULTS AT MONITORING POINT**********\n\n");
    bool contaminants = CONTAMINANT == 1;
    if (_doneflow && contaminants && _ctmcpl == 2 && !_donectm) return;
    if (_doneflow && contaminants && INITYN) CFDTIME = _rcdat.start_time;
    if (_stepEndTime > _rcdat.start_time)
        DTU = DTV = DTW = DTT = DTEK = DTED = DTC = TIMESTEP;
    NITER = 0;
    RESOM = RESOU = RESOV = RESOW = RESOT = RESOC = 0.0;
    cfd_say("CFD simulation time=%f\n", CFDTIME);
    iterate(0);
    prsour();
}

static void noContaminants()
{
    if (NOC == 0) error(FATAL, __FILE__, __LINE__, "No contaminants defined", "");
}

// A solution that is not finite can be neither handed to the network nor written: the run
// ends naming the first field and cell where it broke, as a network result would.
static void checkSolutionFinite()
{
    double*** const field[] = {U, V, W, P, T, VIS, C1, C2, C3, C4, C5};
    const char* const name[] = {"U", "V", "W", "P", "T", "VIS", "C1", "C2", "C3", "C4", "C5"};
    for (int e = 0; e < 11; e++) {
        double*** f = field[e];
        if (!f) continue;
        for (int i = 1; i <= NI; i++)
            for (int j = 1; j <= NJ; j++)
                for (int k = 1; k <= NK; k++) {
                    if (std::isfinite(f[i][j][k])) continue;
                    char text[256];
                    snprintf(text, sizeof text, "%s of cell %d,%d,%d of CFD zone %.100s", name[e], i, j, k,
                             _cfdpname);
                    error(FATAL, __FILE__, __LINE__, "Results are not finite and are not written: ", text, "");
                }
    }
}

static void solveContaminants()
{
    CINDEX = 0, RESOC = 0.0;
    computec();
    checkSolutionFinite();
}

// A frame of the zone in its Tecplot file after each transient contaminant step. A coupled
// zone's frames are written by the coupling's store steps, once per output time, however
// many solver calls a step takes.
static void transientOutput()
{
    if (TE && !CPLTE) plotvt(TE, PrintVel, PrintGeo, 1);
}

// Species s gained by the zone's air in this step [kg/s]: 0 for a steady solution.
static double stored(int s)
{
    if (CSTEADY == 1 || TIMESTEP <= 0) return 0.0;
    double*** c = cfd_species(s);
    double*** old = cfd_species_old(s);
    double sum = 0.0;
    cfd_for_cells([&](const int* p) {
        if (!cell(ICELL, p)) sum += cell(VOL, p) * (cell(c, p) - cell(old, p));
    });
    return OPERDENS * sum / TIMESTEP;
}

// True when in = out + stored to tol of the larger flow (or within floor); else a WARNING
// (once on standard error, in the logs every time) names the zone, what and the figures.
static bool balanced(int key, const char* what, const char* unit, double in, double out, double gain, double tol,
                     double floor)
{
    double miss = in - out - gain;
    if (fabs(miss) <= tol * fmax(in, out) + floor) return true;
    char text[400];
    snprintf(text, sizeof text,
             "CFD zone %.200s %s balance misses by %.3e %s: input %.6e, output %.6e, stored %.6e %s, "
             "relative tolerance %.1e of the larger flow",
             _cfdpname, what, miss, unit, in, out, gain, unit, tol);
    cfd_warn_once(key, text);
    return false;
}

// What enters the zone (openings, blocks, walls) must leave it or stay in it, to the
// species' residual criterion; a solution that misses is not passed on as converged.
static void checkBalance()
{
    double tol = fmax(CRESIDU, 1e-6);
    for (int s = 1; s <= 5; s++) {
        if (!CACTIVE[s] || !cfd_species(s)) continue;
        char what[16];
        snprintf(what, sizeof what, "species %d", s);
        if (!balanced(8 + s, what, "kg/s", cfd_state.balance_in[s], cfd_state.balance_out[s], stored(s), tol, 1e-18))
            cfd_ctm_converged = false;
    }
}

// The same for the heat of a steady airflow solution, to its continuity criterion or 1e-4
// of the heat it exchanges (and 1e-6 W): the energy equation has no criterion of its own.
static void checkEnergy()
{
    if (ENERGY != 1 || VSTEADY != 1) return;
    if (!balanced(14, "energy", "W", cfd_state.energy_in, cfd_state.energy_out, 0.0, fmax(CRITE, 1e-4), 1e-6))
        cfd_flow_converged = false;
}

static void contaminants()
{
    if (CONTAMINANT != 1) return;
    if (VSTEADY == 0 || CSTEADY == 1) {
        if (VSTEADY == 0) {
            if (NOC > 0) chkctm();
            cfd_say("Start unsteady contaminant simulation at time %f\n", CFDTIME);
        }
        noContaminants();
        if (VSTEADY == 1) cfd_say("Start steady contaminant simulation\n");
        solveContaminants();
        if (VSTEADY == 0) transientOutput();
        return;
    }
    // Steady airflow, transient contaminants: one contaminant step per call; the coupling
    // advances the solver time between calls.
    DTC = TIMESTEP;
    ENDSTEP = 0;
    if (CFDTIME == _rcdat.start_time)
        monitorHeader("\t**********TRANSIENT RESULTS AT MONITORING POINT**********\n\n");
    if (NOC > 0) chkctm();
    cfd_say("Start unsteady contaminant simulation...\n");
    cfd_say("CFD simulation time %f\n", CFDTIME);
    noContaminants();
    solveContaminants();
    if (CFDTIME >= TIMEMAX) ENDSTEP = 1;
    transientOutput();
}

// Stiffness and mean pressure of each opening for the network: Σ opencoe, and the pressure
// of the cells next to the opening weighted by it.
static void openingPressures(int n, const int* L, int code, double* p1, double* p2)
{
    *p1 = *p2 = 0.0;
    if (code < 1 || code > 6) return;
    int a = face_axis(code);
    double sc = 0.0, scp = 0.0;
    cfd_for_box(L, [&](const int* p) {
        int c[3] = {p[0], p[1], p[2]}, q[3] = {p[0], p[1], p[2]};
        if (face_inward(code) > 0) q[a] += 1;
        else c[a] -= 1, q[a] -= 1;
        sc += cell(opencoe, c);
        scp += cell(opencoe, c) * cell(P, q);
    });
    (void)n;
    *p1 = sc;
    *p2 = scp / (sc + 1e-10);
}

static void boundaryPressures()
{
    if (!(_doneflow == 0 || _crestart || _rcdat.cfd_cpl == 3)) return;
    for (int n = 1; n <= NBIN; n++) openingPressures(n, LBIN[n], INTY[n], &PIN1[n], &PIN2[n]);
    for (int n = 1; n <= NBOUT; n++) openingPressures(n, LBOUT[n], IOTY[n], &POUT1[n], &POUT2[n]);
    double sv = 0.0, svp = 0.0;
    cfd_for_cells([&](const int* p) {
        if (cell(ICELL, p)) return;
        sv += cell(VOL, p);
        svp += cell(VOL, p) * cell(P, p);
    });
    _cfdzonemp1 = _cfdzonemp;
    _cfdzonemp = sv > 0 ? svp / sv : 0.0;
}

int flow(int mode)
{
    RPP0 = 0.0;
    openFiles();
    decideFirstSolve();
    if (INITYN) cfd_state.last_solve = {};
    cfd_say("\nReading CFD INPUT file...\n");
    input(mode);
    inputdata();
    NITER = 0;
    init();
    restartFields();
    if (VSTEADY == 1) steadyflow();
    else unsteadyAirflow();
    checkSolutionFinite();
    contaminants();
    bool steadyDone = VSTEADY == 1 && !(CONTAMINANT == 1 && CSTEADY == 0);
    if (steadyDone || (VSTEADY == 0 && _doneflow == 0)) updateu(2);
    plotvt(nullptr, PrintVel, 0, 0);   // the cell-centre fields of the writers below
    if (CONTAMINANT == 1 && NOC > 0 && RE) checkBalance();
    checkEnergy();
    if (EWCYN) makeewc();
    boundaryPressures();
    prvari();
    cfd_say("ZFLO simulation completed\n");
    if (mode == 1) outcfd();
    return 0;
}

}  // namespace vexlar
