// Signal functions of the control network, one per control type: each reads its node's
// inputs and data and writes the node's output `value`. They are bound by type through the
// table of the control reader and called in sequence order once per time step.
#pragma once
#include "model/prj-records.h"

namespace vexlar {

// The control clock: the instant of the network's last evaluation and the seconds that
// passed since the one before it, which every time-dependent signal advances by. The first
// evaluation of a run, and one at the instant of the previous, advance nothing.
struct CtrlClock {
    int started;     // the network has been evaluated in this run
    int day, time;   // day of year and seconds of the day of the last evaluation
    float elapsed;   // [s] since the evaluation before it
};
extern CtrlClock _ctrlClock;
// Moves the clock to the instant (day, time), 24:00 being the next day's 0:00: the step
// _dt has passed unless the network was last evaluated at that very instant or never.
void ctrlClock_advance(int day, int time);
void ctrlClock_reset();

// Whether a step that starts at t (seconds of the day) starts at a listing time. A run
// without a listing step (a steady run needs none) lists every evaluation.
bool atListingTime(int t);

void sns_sig(CtrlNode* node);
void sch_sig(CtrlNode* node);
void set_sig(CtrlNode* node);
void cvf_sig(CtrlNode* node);
void dvf_sig(CtrlNode* node);
void log_sig(CtrlNode* node);
void pas_sig(CtrlNode* node);
void mod_sig(CtrlNode* node);
void hys_sig(CtrlNode* node);
void abs_sig(CtrlNode* node);
void bin_sig(CtrlNode* node);
void dls_sig(CtrlNode* node);
void dlx_sig(CtrlNode* node);
void int_sig(CtrlNode* node);
void rav_sig(CtrlNode* node);
void inv_sig(CtrlNode* node);
void and_sig(CtrlNode* node);
void or_sig(CtrlNode* node);
void xor_sig(CtrlNode* node);
void add_sig(CtrlNode* node);
void sub_sig(CtrlNode* node);
void mul_sig(CtrlNode* node);
void div_sig(CtrlNode* node);
void sum_sig(CtrlNode* node);
void avg_sig(CtrlNode* node);
void max_sig(CtrlNode* node);
void min_sig(CtrlNode* node);
void lls_sig(CtrlNode* node);
void uls_sig(CtrlNode* node);
void lbs_sig(CtrlNode* node);
void ubs_sig(CtrlNode* node);
void llc_sig(CtrlNode* node);
void ulc_sig(CtrlNode* node);
void pc_sig(CtrlNode* node);
void pic_sig(CtrlNode* node);
void sup_sig(CtrlNode* node);
void exp_sig(CtrlNode* node);
void ln_sig(CtrlNode* node);
void log10_sig(CtrlNode* node);
void pow_sig(CtrlNode* node);
void sqrt_sig(CtrlNode* node);
void poly_sig(CtrlNode* node);
void sin_sig(CtrlNode* node);
void cos_sig(CtrlNode* node);
void tan_sig(CtrlNode* node);
void fmod_sig(CtrlNode* node);
void ceil_sig(CtrlNode* node);
void floor_sig(CtrlNode* node);
void intrts_sig(CtrlNode* node);
void avgrts_sig(CtrlNode* node);

// Releases a running average's ring of samples (end of run).
void rav_free(CtrlNode* node);
// FATAL text followed by the node's number; the control network's messages come from
// ctrl-sim, where it is defined.
[[noreturn]] void ctrl_sim_fatal(const char* text, const CtrlNode* node);

}  // namespace vexlar
