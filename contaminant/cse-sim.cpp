// Source/sink element models. They come with contaminant transport; until it is built each
// model releases and removes nothing, so a run with sources is well defined but inert.
#include "contaminant/cse-sim.h"

#include "model/prj-records.h"

namespace vexlar {

namespace {

void no_source(CssRec* css)
{
    css->gen_rate = 0.0;
    css->removal_coef = 0.0;
}

}  // namespace

void cse_ccf(CssRec* css) { no_source(css); }
void cse_prs(CssRec* css) { no_source(css); }
void cse_cut(CssRec* css) { no_source(css); }
void cse_eds(CssRec* css) { no_source(css); }
void cse_bls(CssRec* css) { no_source(css); }
void cse_brs(CssRec* css) { no_source(css); }
void cse_dvs(CssRec* css) { no_source(css); }
void cse_drs(CssRec* css) { no_source(css); }
void cse_dvr(CssRec* css) { no_source(css); }
void cse_plm(CssRec* css) { no_source(css); }
void cse_pkm(CssRec* css) { no_source(css); }
void cse_sxd(CssRec* css) { no_source(css); }
void cse_dxd(CssRec* css) { no_source(css); }

// Called by the time loop in their final shape; their bodies come with the implicit
// contaminant transport, whose owner fills them. Until then a step adds no source terms
// and no masses.
void findPolMassRates_cse_implicit(double*, const int32_t*, double*, CssRec*, BlsRec*, DvrRec*,
                                   ExposureSrcRec*)
{
}

void sumCseGenRemoveMass(CssRec*, BlsRec*, DvrRec*, ExposureSrcRec*, float) {}

}  // namespace vexlar
