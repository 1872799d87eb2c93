// Source/sink element models and the rates they give the transport equations: each model
// writes the generation rate G and removal coefficient R [kg/s] of one source/sink instance
// for the current step; the implicit assembly turns them, with the boundary-layer and
// deposition sinks and the occupant emissions, into terms of K and e, and the run totals
// of released and removed mass are summed after each implicit step.
#pragma once
#include <cstdint>

#include "model/elements.h"

namespace vexlar {

struct BlsRec;
struct DvrRec;
struct ExposureSrcRec;

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

// The time of day [s] at which the time-dependent models take their age, for an
// integrator that evaluates rates at its own times inside a step; a negative time (the
// start-up value) restores the end of the current step.
void cse_setRateTime(double t);
// Every source model of css and the coefficients of every sink with an equation: the
// rates the assembly below works from, at the nodes' present state, assembled nowhere.
void findCseRates(CssRec* css, BlsRec* bls, DvrRec* dvr);
// Adds the terms of the lists to the rate matrix K (pattern ija) and generation vector e;
// every node's src_rate becomes the air mass the non-trace sources add.
void findPolMassRates_cse_implicit(double* K, const int32_t* ija, double* e, CssRec* css,
                                   BlsRec* bls, DvrRec* dvr, ExposureSrcRec* pxs);
// The same terms, explicit, added to the flow sums of the short-time-step cells each source
// or sink covers; sink loadings and run totals are advanced over the step here.
void findPolMassRates_cse_sts(CssRec* css, BlsRec* bls, DvrRec* dvr, ExposureSrcRec* pxs);
// Masses released and removed over the step of dt seconds just solved.
void sumCseGenRemoveMass(CssRec* css, BlsRec* bls, DvrRec* dvr, ExposureSrcRec* pxs, float dt);

}  // namespace vexlar
