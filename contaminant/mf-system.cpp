// Transport equations of a mass-fraction system: the rate matrix K and generation e from
// sources, sinks, emissions, kinetic reactions and the path flows through their filters;
// the time-weighted system (M/dt - th K) x = M x0/dt + (1 - th)(K0 x0 + e0) + th e, written
// multiplied by dt, and the steady balance K x + e = 0; the solve of a step with the
// write-back to the nodes, and the stop on a negative mass fraction.
#include "contaminant/mf-system.h"

#include <cmath>

#include "airflow/afe-filter.h"
#include "cfd/cfd.h"
#include "common-src/messages.h"
#include "contaminant/cse-sim.h"
#include "contaminant/mf-mem.h"
#include "contaminant/node-help.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/source-lists.h"
#include "model/clock.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

namespace {

bool inRange(int s, int start, int end) { return s >= start && s < end; }

void addAt(MF_MAT* m, int i, int j, double v)
{
    if (i == j) {
        m->K[i] += v;
        return;
    }
    int k = sa_find(m->ija, i, j);
    if (k) m->K[k] += v;
}

// d(product)/dt += k x source in every node with a reaction and a volume; a source species
// of the other system enters as a generation at its current mass fraction.
void reactionRates(MF_MAT* m, int start, int end)
{
    for (AirNode* nd = _afnd0; nd; nd = nd->next) {
        const ReactionRec* r = nd->reaction;
        if (!r || !(nd->flags & NODE_VOLUME)) continue;
        for (int t = 0; t < r->nterms; t++) {
            int p = r->prod[t], s = r->src[t];
            if (!inRange(p, start, end)) continue;
            int row = nd->mf_eqn[p];
            double rate = r->coef[t] * nd->air_mass;
            if (inRange(s, start, end))
                addAt(m, row, nd->mf_eqn[s], rate);
            else
                m->e[row] += rate * nd->mf[s];
        }
    }
}

// One flow F [kg/s] of a path: what leaves the upstream node (when its mass fractions vary)
// arrives downstream reduced by the penetration P; a fixed upstream node feeds e.
void flowTerms(MF_MAT* m, const AirPath* pp, double F, const float* P, int start, int end)
{
    if (F == 0.0) return;
    bool fwd = F > 0.0;
    const AirNode* up = fwd ? pp->from_node : pp->to_node;
    const AirNode* dn = fwd ? pp->to_node : pp->from_node;
    const double* upMf = fwd ? pp->mf_from : pp->mf_to;
    double Fa = std::fabs(F);
    bool upVar = (up->flags & NODE_VAR_MF) != 0, dnVar = (dn->flags & NODE_VAR_MF) != 0;
    for (int j = start; j < end; j++) {
        if (upVar) {
            m->K[up->mf_eqn[j]] -= Fa;
            if (dnVar) addAt(m, dn->mf_eqn[j], up->mf_eqn[j], P[j] * Fa);
        } else if (dnVar) {
            m->e[dn->mf_eqn[j]] += P[j] * upMf[j] * Fa;
        }
    }
}

void pathRates(MF_MAT* m, int start, int end)
{
    for (AirPath* pp = _pafp0; pp; pp = pp->next) {
        const float* P = filter_sim(pp);
        flowTerms(m, pp, pp->mass_flow[0], P, start, end);
        flowTerms(m, pp, pp->mass_flow[1], P, start, end);
    }
}

bool isNonTrace(int start) { return start < _nntc; }

}  // namespace

void findPolMassRates(MF_MAT* m, CssRec* css, BlsRec* bls, DvrRec* dvr, ExposureSrcRec* pxs,
                      int start, int end)
{
    for (int k = 1; k <= m->nnz; k++) m->K[k] = 0.0;
    for (int i = 1; i <= m->neq; i++) m->e[i] = 0.0;
    if (css || bls || dvr || pxs) findPolMassRates_cse_implicit(m->K, m->ija, m->e, css, bls, dvr, pxs);
    if (_nkinr) reactionRates(m, start, end);
    pathRates(m, start, end);
    if (COUPLE && _ctlctmcpl) inctmctm(m->e, _ctlctmcpl, start, end);
}

namespace {

// K x + e of the state just solved (or set up), kept for the explicit part of the next
// step: by then the time loop has already added the new step's non-trace source terms
// into K and e, so they no longer describe the state the step starts from.
void keepRates(MF_MAT* m)
{
    if (!m->rate || m->nvar <= 0) return;
    sa_mlt_xaab(m->K, m->ija, m->x, m->rate, m->nvar);
    for (int i = 1; i <= m->nvar; i++) m->rate[i] += m->e[i];
}

// The explicit part from the state the step starts from.
void explicitPart(MF_MAT* m)
{
    if (!m->rate) {
        for (int i = 1; i <= m->nvar; i++) m->ic[i] = m->M[i] * m->x[i];
        return;
    }
    double w = (1.0 - m->theta) * (double)_dt;
    for (int i = 1; i <= m->nvar; i++) m->ic[i] = m->M[i] * m->x[i] + w * m->rate[i];
}

// Row i of A := row i of K (scaled by s), or the identity when `identity`.
void setRow(MF_MAT* m, int i, bool identity, double s)
{
    m->A[i] = identity ? 1.0 : s * m->K[i];
    for (int k = m->ija[i]; k < m->ija[i + 1]; k++) m->A[k] = identity ? 0.0 : s * m->K[k];
}

// Variable nodes without air mass balance in steady state; fixed nodes keep their value.
void specialRows(MF_MAT* m, int start, int end)
{
    for (const AirNode* nd = _afnd0; nd; nd = nd->next) {
        bool var = (nd->flags & NODE_VAR_MF) != 0;
        if (var && nd->air_mass > 0.0) continue;
        for (int s = start; s < end; s++) {
            int i = nd->mf_eqn[s];
            bool identity = !var || m->K[i] == 0.0;
            setRow(m, i, identity, 1.0);
            m->b[i] = identity ? m->x[i] : -m->e[i];
        }
    }
}

// The sinks whose equations were numbered: their loadings to and from x.
struct Lists {
    CssRec* css;
    BlsRec* bls;
    DvrRec* dvr;
    ExposureSrcRec* pxs;
};

Lists listsOf(bool nonTrace)
{
    if (nonTrace) return {_Cssnt0, _Blsnt0, _Dvrnt0, _Pxsnt0};
    return {_Csst0, _Blst0, _Dvrt0, _Pxst0};
}

}  // namespace

void formXportEqns_trapezoidal(MF_MAT* m, CssRec* css, BlsRec* bls, DvrRec* dvr,
                               ExposureSrcRec* pxs, int start, int end, bool first)
{
    if (first) {
        if (_doBridgeMf) {
            for (const AirNode* nd = _afnd0; nd; nd = nd->next)
                for (int s = start; s < end; s++) m->x[nd->mf_eqn[s]] = nd->mf_prev[s];
            _doBridgeMf = 0;
            keepRates(m);
        }
        explicitPart(m);
    }
    findPolMassRates(m, css, bls, dvr, pxs, start, end);
    getNodeConcBases(m->M, nullptr, nullptr, start, end);
    getNodeConcs(m->x, bls, dvr, start, end);
    if (m->nvar <= 0) return;
    double thdt = m->theta * (double)_dt;
    for (int k = 1; k <= m->nnz; k++) m->A[k] = -thdt * m->K[k];
    for (int i = 1; i <= m->neq; i++) {
        m->A[i] += m->M[i];
        m->b[i] = thdt * m->e[i] + m->ic[i];
    }
    specialRows(m, start, end);
}

// Fixed rows (beyond nvar) always keep their value: a source or reaction in a fixed zone
// gives its row a diagonal, which must not turn its known value into -e / K.
void formXportEqns_steadyState(MF_MAT* m)
{
    if (m->nvar < 1) return;
    for (int i = 1; i <= m->neq; i++) {
        bool identity = i > m->nvar || m->K[i] == 0.0;
        setRow(m, i, identity, 1.0);
        m->b[i] = identity ? m->x[i] : -m->e[i];
    }
}

namespace {

void initSystem(MF_MAT* m, int start, int end)
{
    Lists l = listsOf(isNonTrace(start));
    findPolMassRates(m, l.css, l.bls, l.dvr, l.pxs, start, end);
    getNodeConcBases(m->M, l.bls, l.dvr, start, end);
    getNodeConcs(m->x, l.bls, l.dvr, start, end);
    keepRates(m);
}

// Whether a solved variable equation fell below zero by more than the solver's cutoff
// (iterative solutions of zero mass fractions carry noise of that size).
bool anyNegative(const MF_MAT* m)
{
    double tol = m->sasn.cutoff > 0.0f ? m->sasn.cutoff : 0.0;
    for (int i = 1; i <= m->nvar; i++)
        if (m->x[i] < -tol) return true;
    return false;
}

void solveStep(MF_MAT* m, int start, int end, bool first)
{
    Lists l = listsOf(isNonTrace(start));
    formXportEqns_trapezoidal(m, l.css, l.bls, l.dvr, l.pxs, start, end, first);
    if (m->nvar <= 0) return;
    sasn_prepMat(&m->sasn, m->A);
    sasn_solve(&m->sasn, m->b, m->x);
    keepRates(m);
}

}  // namespace

void init_Mft(MF_MAT* m) { initSystem(m, _nntc, _nctm); }

void init_Mfn(MF_MAT* m)
{
    initSystem(m, 0, _nntc);
    makeAirNodeMfSumsUnity_nonTr();
}

void solve_Mfn(MF_MAT* m, bool first)
{
    _NrSolveMfn++;
    solveStep(m, 0, _nntc, first);
    setNodeConcs(m->x, _Blsnt0, _Dvrnt0, 1, _nntc, true);
    if (anyNegative(m)) checkNegativeMf(0, _nntc);
    findAirNodeRs_nonTr();
    findAirNodeConcBases();
}

void solve_Mft(MF_MAT* m, bool first)
{
    _NrSolveMft++;
    solveStep(m, _nntc, _nctm, first);
    setNodeConcs(m->x, _Blst0, _Dvrt0, _nntc, _nctm, false);
    if (anyNegative(m)) checkNegativeMf(_nntc, _nctm);
}

void solve_Mf_steady(MF_MAT* m, int start, int end, bool nonTrace)
{
    formXportEqns_steadyState(m);
    if (m->nvar >= 1) {
        sasn_prepMat(&m->sasn, m->A);
        sasn_solve(&m->sasn, m->b, m->x);
    }
    Lists l = listsOf(nonTrace);
    setNodeConcs(m->x, l.bls, l.dvr, nonTrace ? 1 : start, end, nonTrace);
    if (anyNegative(m)) checkNegativeMf(start, end);
    // A transient step from this solution starts from its rates, which balance: kept from
    // the state set up before the solve, they would add that state's imbalance to the step.
    keepRates(m);
}

void logNodeMfs(int start, int end)
{
    ulog_printf(" node\\k:");
    for (int s = start; s < end; s++) ulog_printf(" %12s", _ctm[s].name);
    for (const AirNode* nd = _afnd0; nd; nd = nd->next) {
        ulog_printf("\n %4d   ", nd->index);
        for (int s = start; s < end; s++) ulog_printf(" %12.4e", nd->mf[s]);
    }
    ulog_printf("\n");
}

void checkNegativeMf(int start, int end)
{
    logNodeMfs(start, end);
    error(FATAL, "mf-system", __LINE__, "Mass fraction(s) < 0", "");
}

}  // namespace vexlar
