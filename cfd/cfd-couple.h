// Coupling of CFD zones to the airflow and contaminant network: set-up, the airflow and
// contaminant exchange iterations, and the hooks the stack-pressure and transport code
// call for coupled paths. Coupling is requested by the run-control field cfd_cpl.
#pragma once
#include <cstdio>

namespace vexlar {

struct AirPath;

extern int COUPLE;       // nonzero while a CFD coupling mode is active
extern int _cpl;         // the airflow coupling is in force in the current step
extern int _ctmcpl;      // contaminant coupling type, above 0 when active
extern int _ctlctmcpl;   // contaminant coupling active in the current step
extern int _cciter;      // contaminant-coupling iterations of the step
extern int _cpliter;     // airflow-coupling iterations of the step
extern int _doneflow;    // the CFD airflow of the coupling step is finished
extern int _donectm;     // the CFD contaminants of the coupling step are finished
extern int _ufstart;     // the next transient CFD airflow solve is the first
extern int _crestart;    // the coupling starts from its restart files
extern FILE* MON;        // monitoring-point results of the last CFD zone (".mon")
extern FILE* CPLTE;      // Tecplot frames of the coupled run

void getcpl();
int cplloop();
// Hands the coupled openings to the CFD solver's inlet and outlet arrays while the zone's
// input file is read; 0 when it could not.
int incfd();
int comctm();
void decpl(int state);
void setCmon(int mode);
int inctmctm(double* e, int ctlctmcpl);
void invexlar_loc(AirPath* pp, double* to_term, double* from_term, double unused1,
                  double unused2);

}  // namespace vexlar
