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

void sum_filter_compute(int dt);
void sum_ambient_compute(int dt);
void writeCsm_simEnd();

}  // namespace vexlar
