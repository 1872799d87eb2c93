// The combined species-mass system as an ordinary differential equation system for the
// stiff integrator. Its state holds species masses: at a variable node's equation of
// species k mf[k] x air_mass, at a sink's equation its loading times its mass basis.
// The right-hand side is K x + e of the same rates the implicit method uses, with
// x = y / basis; the Jacobian is therefore K scaled column by column by 1 / basis.
// Fixed equations keep their value: their derivatives are 0. Sinks that got no equation
// (sinks in fixed zones) take no part.
#include <cmath>
#include <cstring>

#include "common-src/messages.h"
#include "contaminant/cse-sim.h"
#include "contaminant/mf-mem.h"
#include "contaminant/mf-system.h"
#include "contaminant/node-help.h"
#include "contaminant/sim-cvode-int.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

// Mass basis of a deposition sink: its element's area times its multiplier.
static double depositionBasis(const DvrRec* d)
{
    return (float)(static_cast<const float*>(d->cse->model_data)[2] * d->multiplier);
}

// Each feature the integrator cannot run is named, then the Run Control setting that
// runs the project: the transport method mf_solver (0 implicit, 1 short time step).
static void refuseFeature(const char* text, const char* change)
{
    error(ERROR, __FILE__, __LINE__, text, "");
    error(NOTE, __FILE__, __LINE__, change, "");
}

void cvodeRefusePeer()
{
    refuseFeature("CVODE does not support bridge functionality",
                  "Set mf_solver to 0 or 1 on Run Control to run with a co-simulation peer");
}

bool cvodeIsExcluded()
{
    bool excluded = false;
    auto exclude = [&excluded](const char* text, const char* change) {
        refuseFeature(text, change);
        excluded = true;
    };
    if (_rcdat.sim_mf != 2)
        exclude("CVODE requires transient calculations",
                "Set mf_solver to 0 on Run Control for a steady or cyclic run, or sim_mf to 2");
    if (_doBridge > 0) {
        cvodeRefusePeer();
        excluded = true;
    }
    if (_npexp > 0)
        exclude("CVODE does not support exposures",
                "Set mf_solver to 0 or 1 on Run Control to compute occupant exposures");
    for (const CssRec* c = _Css0; c; c = c->next)
        if (c->cse && c->cse->type == CSE_BRS) {
            exclude("CVODE does not support burst sources",
                    "Set mf_solver to 0 or 1 on Run Control to release burst sources");
            break;
        }
    if (_MFn_mem && _MFn_mem->sasn.method == SASN_BCG)
        exclude("CVODE cannot use BCG matrix method",
                "Set mf_solver to 0 or 1 on Run Control, or mfc_method to 0");
    return excluded;
}

void getNodeSpeciesMasses(double* y, const BlsRec* bls, const DvrRec* dvr, int start, int end)
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (n->flags & NODE_VAR_MF)
            for (int k = start; k < end; k++) y[n->mf_eqn[k]] = n->mf[k] * n->air_mass;
    for (const BlsRec* b = bls; b; b = b->next)
        if (b->sink_eqn) y[b->sink_eqn] = b->coef_mult * b->surface_mass;
    for (const DvrRec* d = dvr; d; d = d->next)
        if (d->sink_eqn) y[d->sink_eqn] = depositionBasis(d) * d->surface_mass;
}

// Mass of species start..end-1 of a variable node in the state y.
static double speciesMass(const AirNode* n, const double* y, int start, int end)
{
    double m = 0.0;
    for (int k = start; k < end; k++) m += y[n->mf_eqn[k]];
    return m;
}

void setNodeConcs_fromSpeciesMasses(const double* y, double* x, BlsRec* bls, DvrRec* dvr,
                                    int start, int ntr, int end)
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (!(n->flags & NODE_VAR_MF)) {
            for (int k = start; k < end; k++) x[n->mf_eqn[k]] = n->mf[k];
            continue;
        }
        if (start < ntr) n->air_mass = speciesMass(n, y, start, ntr);   // the air
        for (int k = start; k < end; k++) {
            int q = n->mf_eqn[k];
            n->mf[k] = x[q] = (1.0 / n->air_mass) * y[q];
        }
    }
    for (BlsRec* b = bls; b; b = b->next)
        if (b->sink_eqn) b->surface_mass = x[b->sink_eqn] = y[b->sink_eqn] / b->coef_mult;
    for (DvrRec* d = dvr; d; d = d->next)
        if (d->sink_eqn) d->surface_mass = x[d->sink_eqn] = y[d->sink_eqn] / depositionBasis(d);
}

bool nodesOffGasLaw(const double* y, double rtol)
{
    if (_nntc < 2) return false;
    findAirNodeRs_nonTr();
    findAirNodeConcBases();
    for (const AirNode* n = _afnd0; n; n = n->next)
        if ((n->flags & NODE_VAR_MF) && std::fabs(speciesMass(n, y, 0, _nntc) - n->air_mass) > rtol * n->air_mass)
            return true;
    return false;
}

// The gas law sets a node's air mass from its composition; the species masses the
// integration reached are kept, and the first non-trace species (the air itself) takes
// up the difference, as it takes up the sum rule of the implicit method.
bool nodesFollowGasLaw(double* y, double* x, double rtol)
{
    if (!nodesOffGasLaw(y, rtol)) return false;
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (n->flags & NODE_VAR_MF) y[n->mf_eqn[0]] = n->air_mass - speciesMass(n, y, 1, _nntc);
    setNodeConcs_fromSpeciesMasses(y, x, _Bls0, _Dvr0, 0, _nntc, _nctm);
    findAirNodeRs_nonTr();
    return true;
}

// The largest magnitude species k has at any node, the ambient's included: the scale on
// which the integrator's relative error in that species is measured.
static double speciesScale(int k)
{
    double scale = 0.0;
    for (const AirNode* n = _afnd0; n; n = n->next) scale = std::fmax(scale, std::fabs(n->mf[k]));
    return scale;
}

// What is wrong with species k at the variable nodes: 0 nothing, 1 a mass fraction below
// 0, 2 one above 1, 3 one not finite (the worst found). A dip below 0 is noise on the
// species' own scale, an excess over 1 on the scale of the whole mixture.
static int speciesOutOfBounds(int k, double cutoff, double rtol, double atol)
{
    const double low = std::fmax(cutoff, rtol * speciesScale(k)), high = std::fmax(cutoff, rtol);
    int worst = 0;
    for (const AirNode* n = _afnd0; n; n = n->next) {
        if (!(n->flags & NODE_VAR_MF)) continue;
        const double v = n->mf[k], share = atol / n->air_mass;
        int bad = !std::isfinite(v) ? 3 : v > 1.0 + high + share ? 2 : v < -(low + share) ? 1 : 0;
        if (bad > worst) worst = bad;
    }
    return worst;
}

void checkNodeMfBounds(double rtol, double atol)
{
    const double cutoff = _MFn_mem ? _MFn_mem->sasn.cutoff : 0.0;
    int worst = 0;
    for (int k = 0; k < _nctm; k++) {
        int bad = speciesOutOfBounds(k, cutoff, rtol, atol);
        if (bad > worst) worst = bad;
    }
    if (worst == 0) return;
    if (worst == 1) checkNegativeMf(0, _nctm);
    logNodeMfs(0, _nctm);
    error(FATAL, __FILE__, __LINE__, worst == 2 ? "Mass fraction(s) > 1" : "Mass fraction(s) not finite", "");
}

void adjustNodeSpeciesMassDerivs(double* ydot, int start, int end)
{
    for (const AirNode* n = _afnd0; n; n = n->next) {
        if ((n->flags & NODE_VAR_MF) && !(n->flags & NODE_VOLUME))
            error(FATAL, __FILE__, __LINE__, "Massless node unsupported", "");
        if (!(n->flags & NODE_VAR_MF))
            for (int k = start; k < end; k++) ydot[n->mf_eqn[k]] = 0.0;
    }
}

// The sources' rates are those at the integrator's own time t: a rate taken at the step's
// start would hold over the whole of the integrator's long steps.
int vxcv_derivFcn(double t, N_Vector y, N_Vector ydot, void*)
{
    MF_MAT* m = _MFn_mem;
    const double* yy = N_VGetArrayPointer(y) - 1;
    double* yd = N_VGetArrayPointer(ydot) - 1;
    setNodeConcs_fromSpeciesMasses(yy, m->x, _Bls0, _Dvr0, 0, _nntc, _nctm);
    cse_setRateTime(t);
    findPolMassRates(m, _Css0, _Bls0, _Dvr0, _Pxs0, 0, _nctm);
    cse_setRateTime(-1.0);
    sa_mlt_xaab(m->K, m->ija, m->x, yd, m->neq);
    for (int i = 1; i <= m->neq; i++) yd[i] += m->e[i];
    adjustNodeSpeciesMassDerivs(yd, 0, _nctm);
    return 0;
}

// Every entry of the stored pattern times the scale of its column: 1 / basis for the
// columns of variable states, 1 elsewhere. The scales are gathered in the system's b, which
// the integrator's path leaves unused.
int vxcv_jacFcn(const double*, const double*, int neq, int, int nnz, const int32_t* ija,
                double* jac, double)
{
    double* scale = _MFn_mem->b;
    for (int i = 1; i <= neq; i++) scale[i] = 1.0;
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (n->flags & NODE_VAR_MF)
            for (int k = 0; k < _nctm; k++) scale[n->mf_eqn[k]] = 1.0 / n->air_mass;
    for (const BlsRec* b = _Bls0; b; b = b->next)
        if (b->sink_eqn) scale[b->sink_eqn] = 1.0 / b->coef_mult;
    for (const DvrRec* d = _Dvr0; d; d = d->next)
        if (d->sink_eqn) scale[d->sink_eqn] = 1.0 / depositionBasis(d);
    for (int i = 1; i <= neq; i++) jac[i] *= scale[i];
    for (int k = neq + 2; k <= nnz; k++) jac[k] *= scale[ija[k]];
    return 0;
}

}  // namespace vexlar
