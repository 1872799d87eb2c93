// Node mass-fraction helpers: sums of the non-trace species (those that make up the air
// mixture, indices 0.._nntc-1) and the mixture properties derived from them.
#include "contaminant/node-help.h"

#include <cmath>

#include "common-src/messages.h"
#include "model/network.h"
#include "model/prj-data.h"
#include "model/run-control.h"
#include "model/prj-common.h"
#include "model/source-lists.h"
#include "model/elements.h"

namespace vexlar {

namespace {

double nonTrace_sum(const AirNode* n, const double* weights)
{
    double s = 0.0;
    for (int k = 0; k < _nntc; k++)
        s += (weights ? weights[k] : 1.0) * n->mf[k];
    return s;
}

}  // namespace

void normalizeAirNodeMfSums_nonTr_check()
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        double s = nonTrace_sum(n, nullptr);
        if (std::fabs(1.0 - s) <= 1e-6)
            continue;
        if (std::fabs(1.0 - s) > 0.02)
            ulog_printf("Adjusting node %d%c mass fractions because sum(Mf) = %.6f\n", n->number,
                        typeLetter(_ntype, n->kind), s);
        if (s < 0.9)
            error(FATAL, "node-help", __LINE__, "Unreasonable initial mass fractions", "");
        for (int k = 0; k < _nntc; k++)
            n->mf[k] /= s;
    }
}

void normalizeAirNodeMfSums_nonTr()
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        double s = nonTrace_sum(n, nullptr);
        for (int k = 0; k < _nntc; k++)
            n->mf[k] /= s;
    }
}

void findAirNodeConcBases()
{
    for (AirNode* n = _afnd0; n; n = n->next)
        if (n->flags & NODE_VOLUME)
            n->air_mass = (n->pressure + _wthdat.Pbar) * n->volume / (n->gas_const * n->temperature);
}

void makeAirNodeMfSumsUnity_nonTr()
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (_nntc < 2) {
            if (_nntc == 1) n->mf[0] = 1.0;
            continue;
        }
        double s = 0.0;
        for (int k = 1; k < _nntc; k++) s += n->mf[k];
        n->mf[0] = 1.0 - s;
    }
}

// Deposition sinks weigh their surface loading [kg/m2] by their area [m2].
static double depositionMass(const DvrRec* d)
{
    return (float)(static_cast<const float*>(d->cse->model_data)[2] * d->multiplier);
}

void getNodeConcBases(double* M, const BlsRec* bls, const DvrRec* dvr, int start, int end)
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (n->flags & NODE_VAR_MF)
            for (int s = start; s < end; s++) M[n->mf_eqn[s]] = n->air_mass;
    for (const BlsRec* b = bls; b; b = b->next)
        if (b->sink_eqn) M[b->sink_eqn] = b->coef_mult;
    for (const DvrRec* d = dvr; d; d = d->next)
        if (d->sink_eqn) M[d->sink_eqn] = depositionMass(d);
}

void getNodeConcs(double* x, const BlsRec* bls, const DvrRec* dvr, int start, int end)
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        for (int s = start; s < end; s++) x[n->mf_eqn[s]] = n->mf[s];
    for (const BlsRec* b = bls; b; b = b->next)
        if (b->sink_eqn) x[b->sink_eqn] = b->surface_mass;
    for (const DvrRec* d = dvr; d; d = d->next)
        if (d->sink_eqn) x[d->sink_eqn] = d->surface_mass;
}

void setNodeConcs(const double* x, BlsRec* bls, DvrRec* dvr, int start, int end, bool sumRule)
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        double sum = 0.0;
        for (int s = start; s < end; s++) {
            n->mf[s] = x[n->mf_eqn[s]];
            sum += n->mf[s];
        }
        if (sumRule) n->mf[0] = 1.0 - sum;
    }
    for (BlsRec* b = bls; b; b = b->next)
        if (b->sink_eqn) b->surface_mass = x[b->sink_eqn];
    for (DvrRec* d = dvr; d; d = d->next)
        if (d->sink_eqn) d->surface_mass = x[d->sink_eqn];
}

void findAirNodeRs_nonTr()
{
    for (AirNode* n = _afnd0; n; n = n->next)
        n->gas_const = nonTrace_sum(n, _Rs);
}

void findAirNodeCps_nonTr()
{
    for (AirNode* n = _afnd0; n; n = n->next)
        n->cp = (float)nonTrace_sum(n, _Cp);
}

}  // namespace vexlar
