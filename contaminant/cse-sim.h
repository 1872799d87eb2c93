// Source/sink element models: each writes the generation rate G and removal coefficient R
// [kg/s] of one source/sink instance for the current step. Bound by element type through
// the reader's model table; "sup" elements have no model (they stand for their parts).
#pragma once
#include <cstdint>

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

struct BlsRec;
struct DvrRec;
struct ExposureSrcRec;
// Source, sink and occupant-emission terms of one step added into the rate matrix K
// (pattern ija) and generation vector e of a transport system.
void findPolMassRates_cse_implicit(double* K, const int32_t* ija, double* e, CssRec* css,
                                   BlsRec* bls, DvrRec* dvr, ExposureSrcRec* emissions);
// Released and removed masses of the step just solved added to the run totals.
void sumCseGenRemoveMass(CssRec* css, BlsRec* bls, DvrRec* dvr, ExposureSrcRec* emissions,
                         float dt);

}  // namespace vexlar
