// Airflow system assembly (FillAf): one pass over the nodes (storage and source terms,
// identity rows of known pressures) and one over the paths (element models, residuals
// and Jacobian), repeated once when a variable node turns out to have no connection.
// An isolated node is re-tested at every assembly and regains its variable pressure as
// soon as a path connects it again; it is reported once per isolation.
#include "airflow/af-assemble.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include "airflow/mat-set.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/elements.h"
#include "model/run-control.h"

namespace vexlar {

bool afNodeConverged(const AirNode* n, float relcnvg)
{
    if (!(n->flags & NODE_VAR_P)) return true;
    if (n->sum_abs_flow * relcnvg >= std::fabs(n->sum_flow)) return true;
    return n->sum_abs_flow <= n->abs_tol;
}

// Node terms: storage of variable nodes with volume and storage, sources, and the
// identity rows of known pressures. On the first pass every node isolated at an earlier
// assembly gets its variable pressure back, so that this assembly tests it again; the
// count of such nodes is returned.
static int fillNodes(AF_MAT* m, bool retest)
{
    int retested = 0;
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (retest && (n->flags & NODE_ISOLATED)) {
            n->flags |= NODE_VAR_P;
            retested++;
        }
        const uint32_t storage = NODE_VAR_P | NODE_VOLUME | NODE_STORAGE;
        if ((n->flags & storage) == storage) {
            float vdt = n->volume * _dti;
            m->sa[n->af_eqn] = vdt / (n->gas_const * n->temperature);
            n->storage_rate = (n->air_mass - n->air_mass_prev) * _dti;
            n->sum_flow = n->src_rate - n->storage_rate;
            n->sum_abs_flow = std::fabs(n->storage_rate) + std::fabs(n->src_rate);
        } else if (n->flags & NODE_VAR_P) {
            n->sum_flow = n->src_rate;
            n->sum_abs_flow = std::fabs(n->src_rate);
        } else {
            m->sa[n->af_eqn] = 1.0;
            n->sum_flow = 0.0;
            n->sum_abs_flow = 0.0;
        }
    }
    return retested;
}

// One flow F of a path with derivative d into the residuals and the Jacobian.
static void addFlow(AF_MAT* m, const AirPath* p, double F, double d)
{
    AirNode* from = p->from_node;
    AirNode* to = p->to_node;
    from->sum_abs_flow += std::fabs(F);
    to->sum_abs_flow += std::fabs(F);
    if (from->flags & NODE_VAR_P) {
        from->sum_flow -= F;
        m->sa[from->af_eqn] += d;
    }
    if (to->flags & NODE_VAR_P) {
        to->sum_flow += F;
        m->sa[to->af_eqn] += d;
        if ((from->flags & NODE_VAR_P) && p->sa_index > 0) m->sa[p->sa_index] -= d;
    }
}

// Evaluates one path; paths flagged for a numerical derivative are evaluated a second
// time at dp + d and differentiated by forward difference, each flow separately.
static void fillPath(AF_MAT* m, AirPath* p)
{
    p->dp = *p->wind_pressure + p->stack_pressure + (p->from_node->pressure - p->to_node->pressure);
    double fplus[2] = {0.0, 0.0}, inv = 0.0;
    const bool numeric = (p->flags & PATH_NUM_DERIV) != 0;
    if (numeric) {
        double base = p->dp, d = 1e-5 * base;
        if (std::fabs(d) < 1e-16) {
            d = 1e-16;
            inv = 1e16;
        } else {
            inv = 1.0 / d;
        }
        p->dp = base + d;
        p->element->model_fn(p);
        fplus[0] = p->mass_flow[0];
        fplus[1] = p->mass_flow[1];
        p->dp = base;
    }
    int nflows = p->element->model_fn(p);
    for (int k = 0; k < nflows && k < 2; k++) {
        double F = p->mass_flow[k];
        if (numeric) p->dflow_dp = (fplus[k] - F) * inv;
        addFlow(m, p, F, p->dflow_dp);
    }
    p->flow_sum = (float)(p->mass_flow[1] + p->mass_flow[0]);
}

// One pass over nodes and paths; returns the count of isolated nodes tested again.
static int fillPass(AF_MAT* m, bool retest)
{
    std::memset(&m->sa[1], 0, sizeof(double) * (size_t)m->nnz);
    std::memset(&m->b[1], 0, sizeof(double) * (size_t)m->neq);
    int retested = fillNodes(m, retest);
    for (AirPath* p = _pafp0; p; p = p->next) fillPath(m, p);
    return retested;
}

// Whether some equation was left without a diagonal (sa[1..neq] hold the diagonals;
// known rows have 1): only then can a node be isolated by this assembly.
static bool anyEmptyDiagonal(const AF_MAT* m)
{
    for (int k = 1; k <= m->neq; k++)
        if (std::fabs(m->sa[k]) < DBL_EPSILON) return true;
    return false;
}

// Isolation is reported as a warning of the element models, whose evaluation found the
// node without a working connection.
static void reportIsolation(const AirNode* n)
{
    const char* what = n->kind == 0 ? "Isolated zone: %d %s %s" : "Isolated junction: %d %s %s";
    errorf(WARNING, __FILE__, __LINE__, what, n->number, datestr(_dayofy), steptimestr(_stepEndTime));
}

// After the first pass: a variable node without any Jacobian diagonal has no working
// connection; it becomes a known pressure (from its air mass when it has a volume).
// Returns whether any node is isolated now.
static bool isolateNodes(const AF_MAT* m)
{
    bool any = false;
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (!(n->flags & NODE_VAR_P)) continue;
        if (std::fabs(m->sa[n->af_eqn]) >= DBL_EPSILON) {
            n->flags &= ~NODE_ISOLATED;
            continue;
        }
        if (!(n->flags & NODE_ISOLATED)) reportIsolation(n);
        n->flags = (n->flags | NODE_ISOLATED) & ~NODE_VAR_P;
        if (n->flags & NODE_VOLUME)
            n->pressure = n->air_mass * n->gas_const * n->temperature / n->volume - _wthdat.Pbar;
        any = true;
    }
    return any;
}

void FillAf(AF_MAT* m)
{
    _NrFillAf++;
    // The diagonals tell, without another walk over the node records, whether any node
    // can be isolated; nodes isolated earlier are walked to keep or clear their flag.
    int retested = fillPass(m, true);
    if ((retested > 0 || anyEmptyDiagonal(m)) && isolateNodes(m)) fillPass(m, false);
}

}  // namespace vexlar
