// Signal functions of the control network (see ctrl-signals.h). Until the control network
// is evaluated, a node keeps the output the network build gave it: these leave it alone.
#include "simulation/ctrl-signals.h"

namespace vexlar {

void sns_sig(CtrlNode*) {}
void sch_sig(CtrlNode*) {}
void set_sig(CtrlNode*) {}
void cvf_sig(CtrlNode*) {}
void dvf_sig(CtrlNode*) {}
void log_sig(CtrlNode*) {}
void pas_sig(CtrlNode*) {}
void mod_sig(CtrlNode*) {}
void hys_sig(CtrlNode*) {}
void abs_sig(CtrlNode*) {}
void bin_sig(CtrlNode*) {}
void dls_sig(CtrlNode*) {}
void dlx_sig(CtrlNode*) {}
void int_sig(CtrlNode*) {}
void rav_sig(CtrlNode*) {}
void inv_sig(CtrlNode*) {}
void and_sig(CtrlNode*) {}
void or_sig(CtrlNode*) {}
void xor_sig(CtrlNode*) {}
void add_sig(CtrlNode*) {}
void sub_sig(CtrlNode*) {}
void mul_sig(CtrlNode*) {}
void div_sig(CtrlNode*) {}
void sum_sig(CtrlNode*) {}
void avg_sig(CtrlNode*) {}
void max_sig(CtrlNode*) {}
void min_sig(CtrlNode*) {}
void lls_sig(CtrlNode*) {}
void uls_sig(CtrlNode*) {}
void lbs_sig(CtrlNode*) {}
void ubs_sig(CtrlNode*) {}
void llc_sig(CtrlNode*) {}
void ulc_sig(CtrlNode*) {}
void pc_sig(CtrlNode*) {}
void pic_sig(CtrlNode*) {}
void sup_sig(CtrlNode*) {}
void exp_sig(CtrlNode*) {}
void ln_sig(CtrlNode*) {}
void log10_sig(CtrlNode*) {}
void pow_sig(CtrlNode*) {}
void sqrt_sig(CtrlNode*) {}
void poly_sig(CtrlNode*) {}
void sin_sig(CtrlNode*) {}
void cos_sig(CtrlNode*) {}
void tan_sig(CtrlNode*) {}
void fmod_sig(CtrlNode*) {}
void ceil_sig(CtrlNode*) {}
void floor_sig(CtrlNode*) {}
void intrts_sig(CtrlNode*) {}
void avgrts_sig(CtrlNode*) {}

}  // namespace vexlar
