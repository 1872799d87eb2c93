// Timed input files of the run: the continuous and discrete value files that feed
// control nodes, the weather file, the ambient contaminant file and the wind-pressure and
// ambient-concentration file. Each is read forward only and brought up to the clock at
// the start and end of every step. The values-file tables they fill are declared in
// model/run-control.h.
#pragma once
#include <cstdio>

namespace vexlar {

extern FILE* _uwth;   // weather file, null while not open
extern FILE* _uctm;   // ambient contaminant file
extern FILE* _ucvf;   // continuous values file
extern FILE* _udvf;   // discrete values file
extern FILE* _uwpc;   // wind-pressure and ambient-concentration file

extern int _WPCversion;        // 0 wind-pressure file format "2.1", 1 format "2.4"
extern float* _WPC_wP;         // 1..openings: current wind pressure of each file opening [Pa]
extern double** _WPC_Mf;       // [1..openings][0.._nctm-1]: current ambient mass fractions

void CVF_init_data(int day0, int day1, int allocate);
int CVF_init_controls();
int CVF_get(int day, int time, int start);
void DVF_init_data(int day0, int day1);
int DVF_init_controls();
int DVF_get(int day, int time, int start);

void WTH_init(int day0, int day1, int allocate);
int WTH_get(int day, int time, int start);
int WTH_get_day_type(int day);
void WTH_close();

void CTM_init(int day0, int day1, int allocate);
int CTM_get(int day, int time, int start);

// Under the stiff integrator: every open timed input at the time of day t, as the
// integrator asks for it between two stops. The integrator stops at every record, so
// nothing is read: the values are interpolated inside the records the step start found.
// The discrete values file, which changes only at its records, stays as it is.
void timedInputsAt(double t);

void WPC_init(int day0, int day1, int allocate);
int WPC_get(int day, int time, int start);
void WPC_close();

}  // namespace vexlar
