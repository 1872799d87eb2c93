// The run-control record of the project (solver choices, tolerances, dates and times, output
// switches), the ambient state the project sets before any weather input, the names of
// the timed input files and the tables of the values files. Read once by the project reader; read by every subsystem.
#pragma once
#include <cstdint>

namespace vexlar {

struct RunControlData {
    int sim_af;            // 0 steady, 1 transient, 2 duct balancing, 3 airflow test, 4 pressurization test
    int af_newton;         // 0 under-relaxation, 1 variable trust region
    int itmax;             // airflow iteration limit
    float relcnvg;         // relative convergence of the airflow solution
    float abscnvg;         // absolute convergence of the airflow solution [kg/s]
    float relax;           // under-relaxation factor
    int af_slae;           // 0 skyline, 1 preconditioned CG, 2 dense
    float cnvg;            // CG convergence
    int af_reorder;        // bandwidth reordering (skyline)
    int af_init;           // initial linearised airflow solution
    int af_corr;           // density and viscosity correction of the element models
    int sim_mf;            // 0 none, 1 steady, 2 transient, 3 cyclic
    uint8_t mfn_on, mft_on;  // set by main when it builds the transport systems
    float cyc_tol, cyc_cut;  // cyclic convergence: relative tolerance, concentration cutoff
    int mfn_method, mfn_reorder, mfn_itmax;
    float mfn_relcnvg, mfn_cutoff, mfn_relax, mfn_theta;
    int mft_method, mft_reorder, mft_itmax;
    float mft_relcnvg, mft_cutoff, mft_relax, mft_theta;
    int mfc_method, mfc_reorder, mfc_itmax;
    float mfc_relcnvg, mfc_cutoff, mfc_relax;
    int cv_lmm;            // 1 Adams, other BDF
    float cv_rtol, cv_atol, cv_maxstep;
    int mf_solver;         // 0 implicit, 1 short time step, 2+ stiff integrator
    int cd1_zones;         // one-dimensional zones allowed
    int sts_cells;
    float sts_dx;          // [m]
    int sts_temp;
    int tsdens;            // density iterations within each step
    int dens_itmax;        // at least 2
    int cnvgSS, densZP, stackD, dodMdt;
    int ss_date, ss_time;  // steady-state day of year, time of day [s]
    int start_date, start_time, end_date, end_time;
    int time_step, time_list, time_scrn;  // [s]
    int restart, rst_date;
    int list;              // log detail level
    int dbg[16];
    int pfres, zfres, zcres;
    int ach_step, ach_stats, cbw_stats, ebw_step, ebw_stats, age_step, age_stats;
    int rzf, rzm, rz1, srf, csm, logc;
    int cex_bldg, cex_ctm;
    int pfsave, zfsave, zcsave;
    float gravity;         // [m/s2]
    float ach_dens;        // reference density of air-change rates [kg/m3]
    float bldg_dp;         // pressurization test pressure difference [Pa]
    int bf_zones, bf_jcts, bf_class;
    int16_t cfd_cpl;
    float cfd_cnvg;
    int16_t cfd_restart, cfd_itmax, cfd_dump, cfd_mg, cfd_gs;
    int16_t wpc_hold;
};

struct WeatherData {
    float Tambt;           // ambient temperature [K]
    double Pbar;           // barometric pressure [Pa]
    float WS;              // wind speed [m/s]
    float WD;              // wind direction [deg]
    float rel_humidity;    // fraction
    float HR;              // humidity ratio [kg/kg]
    int day_type;
    int h2o_index;         // species index of water vapour, -1 when none
};

extern RunControlData _rcdat;
extern WeatherData _wthdat;
extern char _prjdesc[4096];      // project description line
extern int prjType;              // 0 VexlarW file, 1 Trelbo file
extern char _WTHfile[4096];      // weather file; "null" for none
extern char _CTMfile[4096];      // ambient contaminant file
extern char _CVFfile[4096];      // continuous values file
extern char _DVFfile[4096];      // discrete values file
extern char _WPCfile[4096];      // wind-pressure and ambient-concentration file
extern int _useWPCwp, _useWPCmf, _useWPC;

// WARNINGs about Run Control values that do not do what they seem to, once the species
// are known: an end before the start, a listing step the time loop cannot keep, a weather
// file that is not read. An end time not after the start time on one day becomes the end
// of the first step, where both transport methods stop.
void run_control_warnings(int nctm);

// The class of a run, fixed once the project is read: duct balancing and the two building
// tests (sim_af 2 to 4) are steady; otherwise a run is cyclic when sim_mf is 3, transient
// when sim_af is 1 or sim_mf is 2 or more, and steady otherwise.
enum RunClass { RUN_STEADY = 0, RUN_TRANSIENT = 1, RUN_CYCLIC = 2 };
int run_class(const RunControlData& r);

// The values files' tables, filled as the files are read and bound by the network build
// to the elements, sources and controls that take their values from a file column.
extern int _cvfNumNames;   // value names the controls read from each values file
extern int _dvfNumNames;
extern char (*_cvfNames)[16];  // value names of each file, 0.._NumNames-1, while bound
extern char (*_dvfNames)[16];
extern float* _cvfVals[3];     // earlier record, later record and current values
extern float* _dvfVals;        // current values

}  // namespace vexlar
