// Node mass-fraction helpers: sums of the non-trace species (those that make up the air
// mixture, indices 0.._nntc-1) and the mixture properties derived from them.
#include "contaminant/node-help.h"

#include <cmath>

#include "common-src/messages.h"
#include "model/network.h"
#include "model/prj-data.h"
#include "model/run-control.h"
#include "model/prj-common.h"

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
