// Source/sink element models: each writes the generation rate G and removal coefficient R
// [kg/s] of one source/sink instance for the current step. Bound by element type through
// the reader's model table; "sup" elements have no model (they stand for their parts).
#pragma once
#include "model/elements.h"

namespace vexlar {

void cse_ccf(CssRec* css);   // constant coefficients
void cse_prs(CssRec* css);   // pressure driven
void cse_cut(CssRec* css);   // cut-off concentration
void cse_eds(CssRec* css);   // exponential decay
void cse_bls(CssRec* css);   // boundary-layer sink (solved as its own equation)
void cse_brs(CssRec* css);   // burst
void cse_dvs(CssRec* css);   // deposition velocity
void cse_drs(CssRec* css);   // deposition rate
void cse_dvr(CssRec* css);   // deposition and resuspension (solved as its own equation)
void cse_plm(CssRec* css);   // power-law decay
void cse_pkm(CssRec* css);   // peak model
void cse_sxd(CssRec* css);   // single exponential decay
void cse_dxd(CssRec* css);   // double exponential decay

}  // namespace vexlar
