// The CFD zone solver as its callers see it: the reader of a zone's input file, the
// placement of its cell ranges on the grid, the field initialisation, and the state the
// coupling reads and writes directly (the zone's file names, the switches, the opening
// arrays and the primary fields). All arrays are 1-based; a 3-D field is [i][j][k] over
// 1..NI x 1..NJ x 1..NK with one ghost layer on each side.
#pragma once
#include <cstdio>

namespace vexlar {

struct MemBlock;

// ---- Files of the zone -------------------------------------------------------------------
extern char _cfdpdrive[4];       // drive, directory and name the zone's files are named from
extern char _cfdpdir[4096];
extern char _cfdpname[4096];
extern char _cfdprj[4096];       // buffer for a file name built from the parts above
extern FILE* IN;                 // the ".CFD" input, opened by the driver, kept open
extern FILE* UCD;                // the ".UCD" boundary time series, opened on first need
extern MemBlock* _cplms;         // pool of the coupling records and the .UCD series nodes

// ---- Run switches --------------------------------------------------------------------------
extern int INITYN;               // 1 on the first solve of the run: allocate and initialise
extern int VSTEADY;              // 1 steady airflow
extern int CSTEADY;              // 1 steady contaminants
extern int CONTAMINANT;          // 1 when the contaminant equations are solved
extern int ENERGY;               // 1 when the energy equation is solved
extern int NOC;                  // contaminants of the zone, at most 5
extern int CACTIVE[6];           // [1..5] species arrays allocated and solved
extern int CRESTART;             // a restart from the ".var" fields is pending
extern int ICOMPU;               // 1: start from the fields of the ".var" file
extern int EWCYN;                // 1: write surface pressures
extern int NITER;                // outer iteration counter of the current solve

// ---- Grid sizes ------------------------------------------------------------------------------
extern int IM2, JM2, KM2;        // interior cells per axis (from the file)
extern int IM1, JM1, KM1;        // last interior index
extern int IMAX, JMAX, KMAX;     // last index, the high ghost layer
extern int NI, NJ, NK;           // the same as IMAX, JMAX, KMAX
extern int I2DX, I2DY, I2DZ;     // 1 when the axis has one interior cell
extern double XX, YY, ZZ;        // domain lengths [m]

// ---- Physical constants and values exchanged with the coupling --------------------------------
extern double GRA;               // gravity [m/s2]
extern double NULLP;             // smallest boundary pressure handed over; reference pressure
extern double TM, TINIT;         // mean and initial temperature [K]
extern double BETA;              // thermal expansion coefficient 1/TM [1/K]
extern double REFDENS, OPERDENS; // reference and operating density [kg/m3]
extern double FLOWIN;
extern int PBYN;                 // 1 when a pressure boundary fixes the pressure level
extern double TIMESTEP, TIMEMAX, CFDTIME;   // [s]
extern int TPLSTEP;              // output interval in time steps
extern int IMON, JMON, KMON;     // monitoring cell (array indices)
extern double _cfdzoneMfi[5];    // initial mass fractions of the zone's species 1..5 (element n-1)
extern double ANU, ACP, PRL, PAMB;   // kinematic viscosity, specific heat, Prandtl number, ambient pressure

// ---- Openings: inlets 1..NBIN, outlets 1..NBOUT ---------------------------------------------
// Face codes: 1 x-low, 2 x-high, 3 y-low, 4 y-high, 5 z-low, 6 z-high. Kinds (PITYPE,
// POTYPE): 1 velocity or mass flow given, 2 pressure given, 3 coupled to the network.
extern int NBIN, NBOUT;
extern int** LBIN;               // [n][1..6] i1, i2, j1, j2, k1, k2
extern int *INTY, *PITYPE, *IMTYPE;
extern double *AIN, *UBIN, *VBIN, *WBIN, *TBIN, *AMASSIN, *PBIN, *COEIN, *EXPIN, *PIN1, *PIN2;
extern double** CBIN;            // [n][1..5]; once air leaves, the concentration it leaves with
extern double** CBINSIDE;        // [n][1..5] concentration of the side air enters from
extern char** NMIN;              // [n] name line of up to 4096 characters
extern int** LBOUT;
extern int *IOTY, *POTYPE, *OMTYPE;
extern double *AOU, *VBOUT, *TBOUT, *AMASSOUT, *PBOUT, *COEOUT, *EXPOUT, *POUT1, *POUT2;
extern double** CBOUT;
extern double** CBOUTSIDE;
extern char** NMOUT;

// ---- Primary fields ------------------------------------------------------------------------
extern double ***U, ***V, ***W, ***P, ***PP, ***T, ***VIS, ***VTT;
extern double ***UOLD, ***VOLD, ***WOLD, ***POLD, ***TOLD;
extern double ***C1, ***C2, ***C3, ***C4, ***C5;
extern double ***C1OLD, ***C2OLD, ***C3OLD, ***C4OLD, ***C5OLD;
extern double ***UP, ***VP, ***WP, ***psaved, ***VOL;
extern int*** ICELL;             // 1 solid (ghost layer and solid blocks), 0 fluid

// ---- Operations ------------------------------------------------------------------------------
// Reads the zone's input file IN from its start (and the .UCD series when entries ask for
// them). coupled = 1 hands the openings to the coupling input stage incfd; 0 reads them
// from the file as given (the counts of the file, inlets first). Returns 1.
int input(int coupled);
int inputdata();                 // places every location on the grid; rewinds IN
void init();                     // first-solve field reset and opening values
void heapgrid();                 // allocates every grid array that is still null
// Solves the zone once: reads the input again, solves the airflow (the steady iteration or
// one transient step) and the contaminants, and computes the opening flows and boundary
// pressures. The coupling passes mode 1 (its own openings); 0 takes the file's openings.
// Returns 0.
int flow(int mode);
// Frees every grid array at the end of the run; a later read may then set up a new grid.
void cfd_release();
// Returns the solver and its coupling to their state at program start: closes the zone's
// files, frees every array, record and pool of the zone and clears every setting, counter
// and switch. Called as the run ends.
void cfd_reset();
// Closes every file the zone writes, reporting each whose bytes did not all reach it, and
// returns the number of the zone's files of this run that could not be written in full.
int cfd_close_results();
// The early end of a failed run: closes every file the zone writes and removes the zone's
// result files, those of this run and those an earlier run left. The field restart (".var")
// and the coupling restart (".cpr") may be what this run starts from: they go only when
// this run wrote them.
void cfd_remove_results();
void TextProc(char* title);      // removes the line end and every quote character
// Room for n inlets and m outlets; the arrays grow when needed and are never shrunk, so
// the coupling can hand over a different split of the same openings on every call.
void cfd_openings_reserve(int n_in, int n_out);
// One opening entry of the input file: two skipped lines, the name line, three location
// pairs (x, y, z) each after a label line, and one more line. Returns 0 at end of file.
int cfd_read_opening(char* name, int* loc);

// ---- Coupling to the airflow and contaminant network -------------------------------------
// Coupling is requested by the run-control field cfd_cpl: 1 and 2 run the zone once per
// coupling call with the network's values (2 gives every opening a mass-flow boundary), 3
// iterates network and zone until their opening flows agree.
struct AirPath;

extern int COUPLE;       // nonzero while a CFD coupling mode is active
extern int _cpl;         // the airflow coupling is in force in the current step
extern int _ctmcpl;      // contaminant coupling type (the run's sim_mf at set-up), above 0 when active
extern int _ctlctmcpl;   // contaminant coupling active in the current step
extern int _cciter;      // contaminant-coupling iterations of the step
extern int _cpliter;     // airflow-coupling iterations of the step
extern int _doneflow;    // the CFD airflow of the coupling step is finished
extern int _donectm;     // the CFD contaminants of the coupling step are finished
extern int _ufstart;     // the next transient CFD airflow solve is the first
extern int _crestart;    // the coupling starts from its restart files
extern FILE* MON;        // monitoring-point results of the CFD zone (".mon")
extern FILE* CPLTE;      // Tecplot frames of the coupled run

// Sets up the coupling once the network is built and before any result file is opened:
// the coupling records of the CFD zone and its paths, the switches of the solver and the
// coupling files. Every fault of the set-up is FATAL here.
void getcpl();
void cfd_check_input();
// The project's contaminant mode (Run Control sim_mf): the coupling clears the run control's
// field at its set-up and sets it again when its iteration needs the network's species.
int cfd_project_sim_mf();   // the input test's read of the CFD zone's file
// One airflow-coupling exchange; 1 when the network's airflow must be solved again.
int cplloop();
// Hands the coupled openings to the CFD solver's inlet and outlet arrays while the zone's
// input file is read; 1 when done.
int incfd();
// Stores the CFD solution's opening values in the coupled paths.
void outcfd();
// One contaminant-coupling exchange; 1 when the trace species must be solved again.
int comctm();
void decpl(int state);
void setCmon(int mode);
// Adds the species leaving the CFD zone to the generation vector e of the mass-fraction
// system of species start..end-1, at the receiving nodes. Returns 1.
int inctmctm(double* e, int ctlctmcpl, int start, int end);
void invexlar_loc(AirPath* pp, double* to_term, double* from_term, double unused1,
                  double unused2);

}  // namespace vexlar
