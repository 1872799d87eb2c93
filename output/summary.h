// Text summaries of the run: air changes (".ach"), zone concentration statistics
// (".cbw"), age of air (".age") and the contaminant summary (".csm") with the per-step
// filter and envelope accumulators it is built from.
#pragma once
#include <cstdio>

namespace vexlar {

extern FILE* _uach;   // null while the file is not open
extern FILE* _ucbw;
extern FILE* _uage;

void set_uach_open();
void set_uach_close(int flag);
void writeAch_stepEnd(int t);
void writeAch_dayEnd();
void writeAch_simEnd();
// The periods in the headers of the open ACH, CBW, AGE files: from the run control's start
// and end dates.
void setAch_periodEnd();
void setCbw_periodEnd();
void setAge_periodEnd();

void set_ucbw_open();
void set_ucbw_close(int flag);
void writeCbw_stepEnd_compute(int t);
void writeCbw_dayEnd();
void writeCbw_simEnd();

void set_uage_open();
void set_uage_close(int flag);
void writeAge_stepEnd(int t);
void writeAge_dayEnd();
void writeAge_simEnd();

struct CssRec;
struct DvrRec;

// Per-step accumulators of the contaminant summary. sum_filter_compute adds each filter's
// challenge and downstream mass (its loading is the filter's own, filter_load_step);
// sum_ambient_compute adds the species mass carried
// into and out of the building through every envelope path (filter penetration applied):
// per step in _Env_MdotIn_step and _Env_MdotOut_step [kg/s], over the run in
// _Env_MassIn_sum and _Env_MassOut_sum, and with an exfiltration switch set in
// _Env_MassOut_list and, per path, _Env_MassPath_list [kg] (model/env-lists.h), which the
// exfiltration files read. sum_ambient_seconds is the simulated time it has summed [s].
// Species first to end - 1 (end -1: to the last), as filter_load_step.
void sum_filter_compute(double dt, int first = 0, int end = -1);
void sum_ambient_compute(int dt);
// The same over w seconds at the nodes' present mass fractions, counting `counted` seconds of
// simulated time: a step's exchange summed over the points of a quadrature rule.
void sum_ambient_add(double w, int counted);
// The same with the non-trace and the trace species weighted apart, and the air (the first
// of two or more non-trace species) at its own weight.
void sum_ambient_split(double wAir, double wNonTrace, double wTrace, int counted);
int sum_ambient_seconds();
// Starts every total of the summary and the exfiltration files over (sources and sinks,
// filter challenge and loads, envelope exchange): a cyclic run reports only the day it lists.
void sum_totals_restart();
void writeCsm_simEnd();
// With flag 1 removes the summary when this run wrote it (a run ended by a FATAL after it).
void set_ucsm_close(int flag);
void writeCsm_CssSummaries(FILE* f, const CssRec* head);
void writeCsm_DvrSummaries(FILE* f, const DvrRec* head);

}  // namespace vexlar
