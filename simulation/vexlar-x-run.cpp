// main's steps from the run class to the end of the run, in the order main calls them:
// the clock, the test-mode overrides, the network report, the equation systems, the
// timed inputs, the result files, the run-mode dispatch, and the end-of-run statistics
// and release. Everything is reported to the log of the run.
#include "simulation/vexlar-x-run.h"

#include <cstring>
#include <sys/stat.h>
#include <initializer_list>

#include "airflow/afe-sim.h"
#include "airflow/mat-set.h"
#include "bridge/bridge.h"
#include "cfd/cfd.h"
#include "common-src/memory.h"
#include "common-src/paths.h"
#include "common-src/messages.h"
#include "contaminant/mf-mem.h"
#include "contaminant/sts-init.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/elements.h"
#include "model/env-lists.h"
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
#include "output/sim-out.h"
#include "output/sqlite-out.h"
#include "output/summary.h"
#include "simulation/balance.h"
#include "simulation/ctrl-sim.h"
#include "simulation/sim-bldg-flow.h"
#include "simulation/sim-bldg-pres.h"
#include "simulation/sim-common.h"
#include "simulation/sim-cyclic.h"
#include "simulation/simulate.h"
#include "simulation/vexlar-x-finish.h"
#include "simulation/weather.h"

namespace vexlar {

// ---- Clock and run class ------------------------------------------------------------------

static int runClass(RunControlData& r)
{
    if (r.sim_af >= 2) {
        r.sim_mf = 0;   // the special modes run without contaminants
        return RUN_STEADY;
    }
    if (r.sim_mf == 3) return RUN_CYCLIC;
    if (r.sim_mf == 2 || r.sim_mf > 3 || r.sim_af == 1) return RUN_TRANSIENT;
    return RUN_STEADY;
}

int setRunClock()
{
    RunControlData& r = _rcdat;
    int cls = runClass(r);
    if (cls == RUN_CYCLIC) {
        _dayofy = _simEndDate = r.ss_date;
        _stepStartTime = 0;
        _simEndTime = 86400;
    } else if (cls == RUN_TRANSIENT) {
        _dayofy = r.start_date;
        _stepStartTime = _stepEndTime = r.start_time;
        _simEndDate = r.end_date;
        _simEndTime = r.end_time;
    } else {
        _dayofy = _simEndDate = r.ss_date;
        _stepStartTime = _stepEndTime = _simEndTime = r.ss_time;
    }
    _time_step = r.time_step;
    _time_list = r.time_list;
    _time_scrn = r.time_scrn;
    _dt = (float)r.time_step;
    _dti = _dt != 0.0f ? 1.0f / _dt : 0.0f;
    return cls;
}

// ---- Test modes ---------------------------------------------------------------------------

// The overrides of modes 2 to 4 are those the network build applies at its end.
void testModeOverrides() { sd_test_mode_overrides(); }

// ---- Reports ------------------------------------------------------------------------------

void logNetworkCounts(FILE* log)
{
    const struct {
        const char* label;
        int count;
    } counts[] = {
        {"      contaminants: ", _nctm}, {"     day schedules: ", _ndsch},
        {"    week schedules: ", _nwsch}, {"           filters: ", _nfilt},
        {"         reactions: ", _nkinr}, {"     wind profiles: ", _nwpf},
        {"   source elements: ", _ncse},  {"     flow elements: ", _nafe},
        {"     airflow nodes: ", _nafnd}, {"     airflow paths: ", _nafpt},
        {"      source/sinks: ", _ncss},
    };
    fprintf(log, "Number of --\n");
    for (const auto& c : counts) fprintf(log, "%s%4d\n", c.label, c.count);
    const RunControlData& r = _rcdat;
    fprintf(log, "Airflow control --\n");
    fprintf(log, "   cnvgSS: %d\n   tsdens: %d\n   densZP: %d\n   stackD: %d\n   dodMdt: %d\n",
            r.cnvgSS, r.tsdens, r.densZP, r.stackD, r.dodMdt);
    fflush(log);
}

void logAirflowNumbering(FILE* log)
{
    fprintf(log, "\nAirflow calculation data:\n Node | source | eqn\n");
    for (AirNode* n = _afnd0; n; n = n->next)
        fprintf(log, "%5d : %4d%c : %4d\n", n->index, n->number, typeLetter(_ntype, n->kind),
                n->af_eqn);
    fprintf(log, "  [z = zone, j = junction, t = terminal]\n");
    fprintf(log, " Link numbers vs. path & duct numbers:");
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (p->index % 10 == 1) fprintf(log, "\n%5d - %4d:", p->index, p->index + 9);
        fprintf(log, " %4d%c", p->number, typeLetter(_ftype, p->kind));
    }
    fprintf(log, "\n  [p = path, d = duct, t = terminal, l = leak]\n");
}

// The sink tables of mf_dat_rpt: sink number, its own equation and its species.
template <class Sink>
static void sinkEqnTable(const char* heading, const Sink* sink)
{
    if (!sink) return;
    fprintf(_ulog, "%s  S/S |  eqn |  ctm\n", heading);
    for (; sink; sink = sink->next)
        fprintf(_ulog, "%5d : %4d :  %s\n", sink->number, sink->sink_eqn, _ctm[sink->species].name);
}

void mf_dat_rpt(const char* title, const BlsRec* bls, const DvrRec* dvr, int first, int last)
{
    fprintf(_ulog, "\n%s\n Node | source |", title);
    for (int s = first; s < last; s++) fprintf(_ulog, " %4.4s", _ctm[s].name);
    fprintf(_ulog, "\n");
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (!n->mf_eqn || n->mf_eqn[0] == 0) continue;
        fprintf(_ulog, "%5d : %4d%c :", n->index, n->number, typeLetter(_ntype, n->kind));
        for (int s = first; s < last; s++) fprintf(_ulog, " %4d", n->mf_eqn[s]);
        fprintf(_ulog, "\n");
    }
    fprintf(_ulog, "  [z = zone, j = junction, t = terminal]\n");
    sinkEqnTable("Boundary layer sink node numbers:\n", bls);
    sinkEqnTable("Deposition/resuspension sink node numbers:\n", dvr);
}

// One line per sink of a list: its number, its surface concentration and its species.
template <class Sink>
static void sinkReport(FILE* log, const Sink* sink)
{
    for (; sink; sink = sink->next)
        fprintf(log, "%6d  %13.5e  %s\n", sink->number, sink->surface_mass, _ctm[sink->species].name);
}

void bls_rept(FILE* log, const BlsRec* list) { sinkReport(log, list); }
void dvr_rept(FILE* log, const DvrRec* list) { sinkReport(log, list); }

// The final sink states at the end of the run, over every sink list.
static void logFinalSinks(FILE* log)
{
    if (_nbls > 0) {
        fprintf(log, "Final boundary layer concentrations:\nSink #  Mass Fraction  Contaminant\n");
        for (const BlsRec* l : {_Bls0, _Blst0, _Blsnt0, _BlsInactive0}) bls_rept(log, l);
    }
    if (_ndvr > 0) {
        fprintf(log, "Final deposition/resuspension surface concentrations:\n"
                     "Sink #  Mass/Area  Contaminant\n");
        for (const DvrRec* l : {_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0}) dvr_rept(log, l);
    }
}

// ---- Equation systems ---------------------------------------------------------------------

struct SystemSettings {
    int reorder, method, itmax;
    float theta, relcnvg, cutoff, relax;
};

static MF_MAT* buildSystem(const char* heading, const char* tag, const char* title, int first,
                           int last, BlsRec* bls, DvrRec* dvr, const SystemSettings& s)
{
    fprintf(_ulog, "%s", heading);
    MF_MAT* m = (MF_MAT*)alc_e(sizeof(MF_MAT), tag);
    mf_mem_set(m, bls, dvr, first, last, s.reorder != 0, s.theta, s.relcnvg, s.cutoff, s.relax,
               s.method, s.itmax);
    if (_list > 0) mf_dat_rpt(title, bls, dvr, first, last);
    return m;
}

static void transportSystems()
{
    RunControlData& r = _rcdat;
    // The short-time-step method and the stiff integrator only step in time: a run of
    // steady airflow with steady contaminants would report the initial concentrations.
    if (r.sim_mf == 1 && r.sim_af != 1 && r.mf_solver != 0) {
        error(ERROR, __FILE__, __LINE__,
              r.mf_solver == 1 ? "STS requires transient calculations"
                               : "CVODE requires transient calculations",
              "");
        error(NOTE, __FILE__, __LINE__,
              "Set mf_solver to 0 on Run Control for steady contaminants, or sim_mf to 2", "");
        error(FATAL, __FILE__, __LINE__, "Please try another transport solver", "");
    }
    if (r.mf_solver == 1) return;   // the short-time-step method builds no system
    if (_nntc == 1)
        error(FATAL, __FILE__, __LINE__, "Cannot process only one non-trace contaminant", "");
    if (r.mf_solver >= 2) {
        SystemSettings c{r.mfc_reorder, r.mfc_method, r.mfc_itmax, r.mfn_theta,
                         r.mfc_relcnvg, r.mfc_cutoff, r.mfc_relax};
        _MFn_mem = buildSystem("\nCombined Mass Transfer Equations:\n", "MFn_mat", "Contaminants",
                               0, _nctm, _Bls0, _Dvr0, c);
        return;
    }
    if (_nntc > 1) {
        r.mfn_on = 1;
        SystemSettings n{r.mfn_reorder, r.mfn_method, r.mfn_itmax, r.mfn_theta,
                         r.mfn_relcnvg, r.mfn_cutoff, r.mfn_relax};
        _MFn_mem = buildSystem("\nNon-trace Mass Transfer Equations:\n", "MFn_mat",
                               "Non-trace contaminants", 0, _nntc, _Blsnt0, _Dvrnt0, n);
    }
    if (_nntc < _nctm) {
        r.mft_on = 1;
        SystemSettings t{r.mft_reorder, r.mft_method, r.mft_itmax, r.mft_theta,
                         r.mft_relcnvg, r.mft_cutoff, r.mft_relax};
        _MFt_mem = buildSystem("\nTrace Species Mass Transfer Equations:\n", "MFt_mat",
                               "Trace contaminants", _nntc, _nctm, _Blst0, _Dvrt0, t);
    }
}

void matInit()
{
    if (_list > 2) lognote("begin mat_init()", __FILE__, __LINE__);
    _facBins = alc_vT<int>(0, _rcdat.itmax + 1, "facBins");
    fprintf(_ulog, "\nAirflow Equations:\n");
    _AF_mat = (AF_MAT*)alc_e(sizeof(AF_MAT), "af_mat");
    af_mat_set(_AF_mat);
    if (_list > 0) logAirflowNumbering(_ulog);
    setNmDrv();
    _rcdat.mfn_on = _rcdat.mft_on = 0;
    if (_rcdat.sim_mf > 0) {
        transportSystems();
        // The day maxima exist only when there are species to take them of.
        if (_nctm > 0 && _nafnd > 0) {
            if (_rcdat.sim_mf == 3) _Mftst = alc_mcT<float>(1, _nafnd, 0, _nctm - 1, "_Mftst");
            _Mfmax = alc_mcT<float>(1, _nafnd, 0, _nctm - 1, "_Mfmax");
        }
    }
    if (_list > 2) lognote("mat_init() complete", __FILE__, __LINE__);
    MemNet("Arrays");
}

// ---- Input and result files ---------------------------------------------------------------

void readInitialValues()
{
    if (_cvfNumNames > 0) {
        CVF_init_controls();
        CVF_get(_dayofy, _stepStartTime, 1);
    }
    if (_dvfNumNames > 0) {
        DVF_init_controls();
        DVF_get(_dayofy, _stepStartTime, 1);
    }
}

void openAmbientInputs()
{
    const RunControlData& r = _rcdat;
    if (_sim_af_dyn && !_useWPCwp && _doBridge == 0 && strcmp(_WTHfile, "null") != 0) {
        WTH_init(_dayofy, _simEndDate, 1);
        WTH_get(_dayofy, _stepStartTime, 1);
    }
    if (r.sim_mf >= 2 && !_useWPCmf && strcmp(_CTMfile, "null") != 0) {
        CTM_init(_dayofy, _simEndDate, 1);
        CTM_get(_dayofy, _stepStartTime, 1);
    }
    if (_doBridge == 0 && _useWPC) {
        WPC_init(_dayofy, _simEndDate, 1);
        WPC_get(_dayofy, _stepStartTime, 1);
    } else {
        _rcdat.wpc_hold = 0;
    }
}

// Opens a result file when its switch is set, else removes a stale one of an earlier run.
static void openOrRemove(int on, void (*open)(), void (*close)(int))
{
    if (on) open();
    else close(1);
}

static void openLogc() { set_ulogc_open(); }

// A per-species exfiltration file <project>_<species>.cex is the building exfiltration file
// of project <project>_<species>: with that project (or its log) in the folder, the run is
// refused before it replaces anything, rather than overwrite or remove the other's file.
static void refuseSharedCexNames()
{
    for (int s = 0; s < _nctm; s++) {
        char other[sizeof _prjname + sizeof _ctm[s].name + 1], path[sizeof _file_name];
        snprintf(other, sizeof other, "%s_%s", _prjname, _ctm[s].name);
        for (const char* ext : {".prj", ".xlog"}) {
            pathmerge(path, sizeof path, _pdrive, _pdir, other, ext);
            struct stat st;
            if (stat(path, &st) != 0) continue;
            pathmerge(path, sizeof path, _pdrive, _pdir, other, ".cex");
            error(FATAL, __FILE__, __LINE__, "Species exfiltration file ", path,
                  " is also the exfiltration file of project ", other,
                  " in the same folder; rename one of the two projects, or set cex_ctm to 0 on Run Control", "");
        }
    }
}

void openResultFiles()
{
    const RunControlData& r = _rcdat;
    if (r.sim_mf > 1 && r.cex_ctm) refuseSharedCexNames();
    beginResultFiles();
    openOrRemove(r.pfres || r.zfres || r.zcres, set_usim_open, set_usim_close);
    openOrRemove(r.ach_step || r.ach_stats, set_uach_open, set_uach_close);
    openOrRemove(r.cbw_stats, set_ucbw_open, set_ucbw_close);
    openOrRemove(r.age_step || r.age_stats, set_uage_open, set_uage_close);
    openOrRemove(r.ebw_step || r.ebw_stats, set_uexp_open, set_uexp_close);
    openOrRemove(_nlogc > 0 && r.logc, openLogc, set_ulogc_close);
    if (r.sim_mf > 0 && (_nbls > 0 || _ndvr > 0) && r.srf)
        set_usrf(1);
    else
        set_usrf(3);
    openOrRemove(r.sim_mf > 1 && r.cex_bldg, set_ubcex_open, set_ubcex_close);
    openOrRemove(r.sim_mf > 1 && r.cex_ctm, set_udcex_open, set_udcex_close);
    openOrRemove(r.pfsave || r.zfsave || r.zcsave, set_usql_open, set_usql_close);
}

// ---- Run modes ----------------------------------------------------------------------------

static void logIfNonzero(FILE* log, const char* fmt, int count)
{
    if (count) fprintf(log, fmt, count);
}

static const char* transportSolverName(const RunControlData& r)
{
    if (r.mf_solver == 0) return "trapezoidal";
    if (r.mf_solver == 1) return "STS";
    return r.cv_lmm == 1 ? "vode/Adams-Moulton" : "vode/BDF";
}

// The short-time-step structures, built once a run (their zone list marks them built, and
// the run's end frees it): before a restart record is restored into its duct and 1-D zone
// cells, else before the transient loop.
static void buildSts()
{
    if (_rcdat.mf_solver == 1 && !_Znode) STSinit();
}

static void transientRun()
{
    const RunControlData& r = _rcdat;
    fprintf(_ulog, "\nSolving mass transport system with %s solver \n\n", transportSolverName(r));
    buildSts();
    set_urst_init();
    set_urst_open();
    set_uSTS_ResultFiles(1);
    if (r.mf_solver > 1) sim_loop_cvode(1);
    else if (r.sim_mf == 3) drive_sim_loop_cyclic();
    else sim_loop(1);
}

void runSimulation(int cls)
{
    const RunControlData& r = _rcdat;
    rst_reset();
    switch (r.sim_af) {
    case 2: Balance(); return;
    case 3: BldgFlow(); return;
    case 4: BldgPres(); return;
    default: break;
    }
    if (cls != RUN_STEADY) checkTransientSteps();
    if (r.restart && cls != RUN_STEADY) buildSts();
    if (!r.restart || sim_init_restart() != 0) sim_init(cls == RUN_STEADY);
    logIfNonzero(_ulog, "%8d calls to FillAf()\n", _NrFillAf);
    logIfNonzero(_ulog, "%8d calls to luf_sky_s()\n", _NrLufSkyS);
    logIfNonzero(_ulog, "%8d calls to sa_pcg()\n", _NrPCG);
    logIfNonzero(_ulog, "%8d sa_pcg() iterations\n", _NrPCGiter);
    if (cls != RUN_STEADY) transientRun();
}

// ---- End of run ---------------------------------------------------------------------------

void logRunStatistics(FILE* log)
{
    if (_aftime > 0) fprintf(log, "\nTime to compute airflows: %.2f s\n", _aftime);
    fprintf(log, "\n%8d time steps\n", _NrTimeSteps);
    const struct {
        const char* fmt;
        int count;
    } counters[] = {
        {"%8d time step iterations\n", _NrTStepIter}, {"%8d calls to SolveAf()\n", _NrSolveAf},
        {"%8d calls to FillAf()\n", _NrFillAf},       {"%8d calls to luf_sky_s()\n", _NrLufSkyS},
        {"%8d calls to lus_sky_s()\n", _NrLusSkyS},   {"%8d calls to sa_pcg()\n", _NrPCG},
        {"%8d sa_pcg() iterations\n", _NrPCGiter},    {"%8d calls to solve_Ht()\n", _NrSolveHt},
        {"%8d calls to solve_Mfn()\n", _NrSolveMfn},  {"%8d calls to solve_Mft()\n", _NrSolveMft},
        {"%8d calls to solve_STS()\n", _NrSolveSTS},  {"%8d calls to luf_sky_n()\n", _NrLufSkyN},
        {"%8d calls to lus_sky_n()\n", _NrLusSkyN},   {"%8d calls to sa_bcg()\n", _NrBCG},
        {"%8d sa_bcg() iterations\n", _NrBCGiter},    {"%8d calls to dc_set()\n", _NrDCset},
        {"%8d calls to sa_sor()\n", _NrSOR},          {"%8d sa_sor() iterations\n", _NrSORiter},
        {"%8d calls to luf_ge()\n", _NrLufGE},        {"%8d calls to lus_ge()\n", _NrLusGE},
        {"%8d calls to cubic(A)\n", _NrCubicA},       {"%8d calls to cubic(N)\n", _NrCubicN},
        {"%8d calls to CDZsim()\n", _NrCDZsim},       {"%8d ducts by Lagrangian\n", _NrDuctLagr},
        {"%8d ducts by Eulerian\n", _NrDuctEulr},
    };
    const auto* sts = &counters[10];   // followed by its largest stable time step
    for (const auto& c : counters) {
        logIfNonzero(log, c.fmt, c.count);
        if (&c == sts && c.count) fprintf(log, "%8.1f s - maximum stable time step\n", _dtMaxStab);
    }
}

void logNewtonHistogram(FILE* log, const int* bins, int itmax)
{
    int n = 0;
    for (int k = itmax + 1; k >= 1 && bins; k--)
        if (bins[k]) {
            n = k;
            break;
        }
    fprintf(log, "\nNR its. :");
    for (int k = 0; k <= n; k++) fprintf(log, " %4d", k);
    fprintf(log, "\nJfacBins:");
    for (int k = 0; k <= n; k++) fprintf(log, " %4d", bins ? bins[k] : 0);
    fprintf(log, "\n\nrangeDWC: %d lam, %d trns, %d turbulent\n\n", _rangeDWC[0], _rangeDWC[1],
            _rangeDWC[2]);
}

static MF_MAT* freeSystem(MF_MAT* m, const char* tag)
{
    if (!m) return nullptr;
    mf_mem_fre(m);
    return (MF_MAT*)fre_e(m, sizeof(MF_MAT), tag);
}

static void freeRunStorage()
{
    const RunControlData& r = _rcdat;
    if (r.sim_mf != 0) {
        if (_Mfmax) _Mfmax = fre_mcT(_Mfmax, 1, _nafnd, 0, _nctm - 1);
        if (_Mftst) _Mftst = fre_mcT(_Mftst, 1, _nafnd, 0, _nctm - 1);
        _MFt_mem = freeSystem(_MFt_mem, "MFt_mat");
        _MFn_mem = freeSystem(_MFn_mem, "MFn_mat");
        fre_1DCD();
    }
    if (_AF_mat) _AF_mat = af_mat_fre(_AF_mat);
    fre_STSsums();
    if (_MfZ) {
        _MfZi = fre_vT(_MfZi, 0, _nZctm - 1, "MfZi");
        _MfZ = fre_vT(_MfZ, 0, _nZctm - 1, "MfZ");
    }
    if (_MfJ) {
        _MfJi = fre_vT(_MfJi, 0, _nJctm - 1, "MfJi");
        _MfJ = fre_vT(_MfJ, 0, _nJctm - 1, "MfJ");
    }
    fre_Znode();
    ctrl_free();
    if (_nlogc > 0 && _CtrlLogs) _CtrlLogs = fre_vT(_CtrlLogs, 0, _nlogc - 1, "CtrlLogs");
    if (_facBins) _facBins = fre_vT(_facBins, 0, r.itmax + 1, "facBins");
    if (_doBridge > 0) {
        if (_doBridge > 1) bridge_SendVxError(0);
        bridge_FreeBuffers();
    }
    EnvLists_free();
    // The opening locations are built whenever the project uses a wind-pressure file; a
    // run that never opened it (a peer connected, a test mode) releases them here.
    if (_mp) PLDlist(0);
    cfd_reset();   // the CFD zone's files, arrays, records and coupling
    sim_start_reset();
    if (_ms) _ms = fre_ec(_ms, "ms-block");
}

void checkResultsWritten()
{
    if (_ulog && (fflush(_ulog) != 0 || ferror(_ulog))) resultWriteFailed("Could not write log file ", ".xlog", "");
    if (_resultWriteFailures > 0)
        error(FATAL, __FILE__, __LINE__, "Results of this run could not be written in full", "");
}

void endOfRun(int)
{
    closeRunFiles(0);
    logRunStatistics(_ulog);
    logNewtonHistogram(_ulog, _facBins, _rcdat.itmax);
    logFinalSinks(_ulog);
    if (_sim_af_dyn) writeLog_extremes(_ulog);
    checkResultsWritten();
    MemNet("End");
    freeRunStorage();
    if (MemNet("Final") != 0) MemList();
    fprintf(_ulog, "Simulation completed successfully.\n");
    checkResultsWritten();   // the line itself may be the one the log cannot take
    fclose(_ulog);
    _ulog = nullptr;
}

}  // namespace vexlar
