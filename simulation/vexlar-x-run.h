// The steps main takes between reading the project and the end of the run: the clock and
// run class, the network report, the equation systems, the input and result files, the
// run-mode dispatch and the end-of-run statistics and release. main (vexlar-x-main.cpp)
// calls them in order; each is a function of its own so it can be tested by itself.
#pragma once
#include <cstdio>

#include "model/run-control.h"   // RunClass

namespace vexlar {

int setRunClock();             // run class from sim_af and sim_mf; sets the clock globals
void testModeOverrides();      // run modes 2 to 4
void logNetworkCounts(FILE* log);
void matInit();                // airflow system, transport systems and day maxima
void readInitialValues();      // the first readings of the values files the controls use
void openAmbientInputs();
void openResultFiles();
void runSimulation(int runClass);
void endOfRun(int runClass);
// Ends the run with a FATAL when a result file, or the log, could not be written in full:
// finish then removes the result files and the run never reports success.
void checkResultsWritten();

void logAirflowNumbering(FILE* log);
void logRunStatistics(FILE* log);
void logNewtonHistogram(FILE* log, const int* bins, int itmax);

struct BlsRec;
struct DvrRec;
// Log report of the equation numbers of one transport system (species first..last-1),
// with the equation of each of its sinks.
void mf_dat_rpt(const char* title, const BlsRec* bls, const DvrRec* dvr, int first, int last);
void bls_rept(FILE* log, const BlsRec* list);   // final boundary-layer sink states
void dvr_rept(FILE* log, const DvrRec* list);   // final deposition surface states

}  // namespace vexlar
