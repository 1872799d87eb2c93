// Set-up of a mass-fraction equation system (MF_MAT): numbers the equations of the variable
// zones (with their sinks), the duct junctions and the fixed zones, builds the nonsymmetric
// pattern that paths, sinks and reactions give, optionally reorders it for the skyline
// method, and allocates the storage and solver state used by every step of the run.
#include "contaminant/mf-mem.h"

#include "airflow/mat-set.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "solvers/gpskc.h"
#include "solvers/sparse-mat.h"
#include "model/prj-data.h"

namespace vexlar {

MF_MAT* _MFn_mem = nullptr;
MF_MAT* _MFt_mem = nullptr;

namespace {

// The air nodes sorted by their role in the system, list order kept in each group.
struct NodeGroups {
    AirNode** jctn;   // junctions and terminals
    AirNode** varz;   // zones with variable mass fractions
    AirNode** fixz;   // the other zones, the ambient among them
    int njctn, nvarz, nfixz;
};

NodeGroups sortNodes()
{
    int n = _nafnd > 0 ? _nafnd : 1;
    NodeGroups g{alc_vT<AirNode*>(1, n, "pvjn"), alc_vT<AirNode*>(1, n, "pvzn"),
                 alc_vT<AirNode*>(1, n, "pczn"), 0, 0, 0};
    for (AirNode* nd = _afnd0; nd; nd = nd->next) {
        if (nd->kind != 0)
            g.jctn[++g.njctn] = nd;
        else if (nd->flags & NODE_VAR_MF)
            g.varz[++g.nvarz] = nd;
        else
            g.fixz[++g.nfixz] = nd;
    }
    return g;
}

void freeGroups(NodeGroups& g)
{
    int n = _nafnd > 0 ? _nafnd : 1;
    fre_vT(g.jctn, 1, n, "pvjn");
    fre_vT(g.varz, 1, n, "pvzn");
    fre_vT(g.fixz, 1, n, "pczn");
}

int numberSpecies(AirNode* nd, int start, int end, int eqn)
{
    for (int s = start; s < end; s++) nd->mf_eqn[s] = ++eqn;
    return eqn;
}

// Sinks of zone `zone` (every sink when zone is null) that have no equation yet.
template <class Sink> int numberSinks(Sink* list, const AirNode* zone, int eqn, int* count)
{
    for (Sink* k = list; k; k = k->next)
        if (k->sink_eqn == 0 && (!zone || k->zone_node == zone)) {
            k->sink_eqn = ++eqn;
            ++*count;
        }
    return eqn;
}

template <class Sink> void clearSinks(Sink* list)
{
    for (Sink* k = list; k; k = k->next) k->sink_eqn = k->zone_eqn = 0;
}

struct Numbering {
    int nbls, ndvr;
};

// Variable zones (with their sinks, or all sinks first when reordering), junctions, then
// fixed zones.
Numbering numberEquations(MF_MAT* m, const NodeGroups& g, BlsRec* bls, DvrRec* dvr, int start,
                          int end, bool reorder)
{
    clearSinks(bls);
    clearSinks(dvr);
    Numbering c{0, 0};
    int eqn = 0;
    if (reorder) {
        eqn = numberSinks(bls, nullptr, eqn, &c.nbls);
        eqn = numberSinks(dvr, nullptr, eqn, &c.ndvr);
    }
    for (int i = 1; i <= g.nvarz; i++) {
        eqn = numberSpecies(g.varz[i], start, end, eqn);
        if (!reorder) {
            eqn = numberSinks(bls, g.varz[i], eqn, &c.nbls);
            eqn = numberSinks(dvr, g.varz[i], eqn, &c.ndvr);
        }
    }
    for (int i = 1; i <= g.njctn; i++) eqn = numberSpecies(g.jctn[i], start, end, eqn);
    m->nvar = eqn;
    for (int i = 1; i <= g.nfixz; i++) eqn = numberSpecies(g.fixz[i], start, end, eqn);
    m->neq = eqn;
    return c;
}

bool inRange(int s, int start, int end) { return s >= start && s < end; }

// Sinks with an equation couple it with their zone's equation of their species.
template <class Sink>
int sinkEntries(Sink* list, AColCell** heads, MemBlock** pool, int start, int end)
{
    int entries = 0;
    for (Sink* k = list; k; k = k->next) {
        if (k->sink_eqn == 0 || !inRange(k->species, start, end)) continue;
        k->zone_eqn = k->zone_node->mf_eqn[k->species];
        entries += acolset(heads, pool, k->zone_eqn, k->sink_eqn);
        entries += acolset(heads, pool, k->sink_eqn, k->zone_eqn);
    }
    return entries;
}

int reactionEntries(AColCell** heads, MemBlock** pool, int start, int end)
{
    int entries = 0;
    for (AirNode* nd = _afnd0; nd; nd = nd->next) {
        const ReactionRec* r = nd->reaction;
        if (!r || !(nd->flags & NODE_VOLUME)) continue;
        for (int t = 0; t < r->nterms; t++) {
            if (!inRange(r->prod[t], start, end) || !inRange(r->src[t], start, end)) continue;
            int i = nd->mf_eqn[r->prod[t]], j = nd->mf_eqn[r->src[t]];
            if (i != j) entries += acolset(heads, pool, i, j);
        }
    }
    return entries;
}

int32_t* buildPattern(const MF_MAT* m, BlsRec* bls, DvrRec* dvr, int start, int end)
{
    AColCell** heads = alc_vT<AColCell*>(1, m->neq > 0 ? m->neq : 1, "spc");
    MemBlock* pool = alc_eci(2000, "spcol");
    int entries = 0;
    for (int i = 1; i <= m->neq; i++) entries += acolset(heads, &pool, i, i);
    for (AirPath* p = _pafp0; p; p = p->next)
        for (int s = start; s < end; s++) {
            int i = p->from_node->mf_eqn[s], j = p->to_node->mf_eqn[s];
            entries += acolset(heads, &pool, i, j);
            entries += acolset(heads, &pool, j, i);
        }
    entries += sinkEntries(bls, heads, &pool, start, end);
    entries += sinkEntries(dvr, heads, &pool, start, end);
    if (_nkinr) entries += reactionEntries(heads, &pool, start, end);
    ulog_printf("  Number of equations: %d\n", m->neq);
    ulog_printf("    Non-zero elements: %d\n", entries);
    ulog_printf("Initial fill fraction: %.3f\n", (float)entries / ((float)m->neq * (float)m->neq));
    int32_t* ijf = acol_ijf(heads, m->neq, entries);
    fre_ec(pool, "spcol");
    fre_vT(heads, 1, m->neq > 0 ? m->neq : 1, "spc");
    return ijf;
}

int ijfLength(const int32_t* ijf, int n) { return ijf[n + 1] - 1; }

template <class Sink> void renumberSinks(Sink* list, const int32_t* perm)
{
    for (Sink* k = list; k; k = k->next) {
        if (k->sink_eqn) k->sink_eqn = perm[k->sink_eqn];
        if (k->zone_eqn) k->zone_eqn = perm[k->zone_eqn];
    }
}

void reorderForSkyline(MF_MAT* m, int32_t* ijf, BlsRec* bls, DvrRec* dvr, int start, int end,
                       float avg)
{
    int32_t* perm = alc_vT<int32_t>(1, m->neq, "nja");
    int len = ijfLength(ijf, m->neq);
    if (ija_optord(ijf, perm, len, m->neq, m->nvar)) {
        ija_reorder(ijf, perm, len, m->neq);
        for (AirNode* nd = _afnd0; nd; nd = nd->next)
            for (int s = start; s < end; s++) nd->mf_eqn[s] = perm[nd->mf_eqn[s]];
        renumberSinks(bls, perm);
        renumberSinks(dvr, perm);
        ulog_printf(" Optimized Matrix:\n");
        ija_prfl(m->nvar, ijf, &avg);
    }
    fre_vT(perm, 1, m->neq, "nja");
}

int solverCode(int method)
{
    static const char* const names[] = {"non-symmetric SKYline method.\n",
                                        "Biconjugate Gradient method.\n",
                                        "Successive Over-Relaxation method.\n",
                                        "LU decomposition method.\n"};
    int code = (method >= 0 && method <= 2) ? method : SASN_DENSE;
    ulog_printf("Solve simultaneous linear equations by %s", names[code]);
    return code;
}

}  // namespace

void mf_mem_set(MF_MAT* m, BlsRec* bls, DvrRec* dvr, int start, int end, bool reorder,
                float theta, float relcnvg, float cutoff, float relax, int method, int itmax)
{
    NodeGroups g = sortNodes();
    Numbering c = numberEquations(m, g, bls, dvr, start, end, reorder);
    ulog_printf("\nSet up Mf matrix:\n");
    ulog_printf("%4d boundary layer sink nodes\n", c.nbls);
    ulog_printf("%4d deposition/resuspension nodes\n", c.ndvr);
    ulog_printf("%4d variable Mf zone nodes\n", g.nvarz);
    ulog_printf("%4d variable Mf jctn nodes\n", g.njctn);
    ulog_printf("%4d constant Mf zone nodes\n", g.nfixz);
    ulog_printf("%4d contaminants\n", end - start);
    freeGroups(g);
    m->theta = theta;

    int32_t* ijf = buildPattern(m, bls, dvr, start, end);
    float avg = 0.0f;
    ulog_printf(" Matrix Profile Analysis:\n");
    ija_prfl(m->nvar, ijf, &avg);
    int code = solverCode(method);
    if (code == SASN_SKYLINE && reorder && (_rcdat.sim_mf > 1 || avg > 30.0f))
        reorderForSkyline(m, ijf, bls, dvr, start, end, avg);
    if (_list > 0) sa_show(m->neq, ijf);

    int n = m->neq > 0 ? m->neq : 1;
    m->nnz = ija_minset_count(ijf, m->neq, 0);
    m->ija = alc_vT<int32_t>(1, m->nnz, "mfmem-ija");
    ija_minset(ijf, m->ija, m->neq, 0);
    m->K = alc_vT<double>(1, m->nnz, "mfmem-K");
    m->A = alc_vT<double>(1, m->nnz, "mfmem-A");
    m->e = alc_vT<double>(1, n, "mfmem-e");
    m->b = alc_vT<double>(1, n, "mfmem-b");
    m->M = alc_vT<double>(1, n, "mfmem-M");
    m->x = alc_vT<double>(1, n, "mfmem-x");
    m->ic = alc_vT<double>(1, n, "mfmem-ic");
    if (theta < 1.0f) m->rate = alc_vT<double>(1, n, "mfmem-r");
    sasn_newInit(&m->sasn);
    sasn_configure(&m->sasn, m->neq, m->nvar, m->nnz, m->ija, code, relcnvg, cutoff, relax, itmax);
    fre_vT(ijf, 0, ijfLength(ijf, m->neq), "ijf");
    ulog_flush();
}

void mf_mem_fre(MF_MAT* m)
{
    if (!m->ija) return;
    int n = m->neq > 0 ? m->neq : 1;
    sasn_free(&m->sasn);
    m->ic = fre_vT(m->ic, 1, n, "mfmem-ic");
    if (m->rate) m->rate = fre_vT(m->rate, 1, n, "mfmem-r");
    m->x = fre_vT(m->x, 1, n, "mfmem-x");
    m->M = fre_vT(m->M, 1, n, "mfmem-M");
    m->b = fre_vT(m->b, 1, n, "mfmem-b");
    m->e = fre_vT(m->e, 1, n, "mfmem-e");
    m->A = fre_vT(m->A, 1, m->nnz, "mfmem-A");
    m->K = fre_vT(m->K, 1, m->nnz, "mfmem-K");
    m->ija = fre_vT(m->ija, 1, m->nnz, "mfmem-ija");
}

}  // namespace vexlar
