// Set-up of the airflow equation system (AF_MAT): numbers the airflow nodes (variable
// pressures first), builds the symmetric Jacobian pattern from the paths between
// variable nodes, optionally reorders it for the skyline method, allocates the storage
// of the chosen linear method and gives each path its off-diagonal slot.
#include "airflow/mat-set.h"

#include <cstring>
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/network.h"
#include "model/prj-data.h"
#include "model/run-control.h"
#include "solvers/gpskc.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

AF_MAT* _AF_mat;

int acolset(AColCell** heads, MemBlock** pool, int row, int col)
{
    AColCell** link = &heads[row];
    while (*link && (*link)->col < col) link = &(*link)->next;
    if (*link && (*link)->col == col) return 0;
    AColCell* cell = static_cast<AColCell*>(alc_ec(pool, sizeof(AColCell), "spcol"));
    cell->col = col;
    cell->next = *link;
    *link = cell;
    return 1;
}

int32_t* acol_ijf(AColCell* const* heads, int n, int entries)
{
    int32_t* ijf = alc_vT<int32_t>(0, n + entries + 1, "ijf");
    int32_t pos = n + 2;
    for (int i = 1; i <= n; i++) {
        ijf[i] = pos;
        for (const AColCell* c = heads[i]; c; c = c->next) ijf[pos++] = c->col;
    }
    ijf[n + 1] = pos;
    return ijf;
}

static int32_t ijfLength(const int32_t* ijf, int n) { return ijf[n + 1] - 1; }

// Settings copied from run control.
static void copySettings(AF_MAT* m)
{
    m->symmetric = 1;
    m->newton = _rcdat.af_newton;
    m->itmax = _rcdat.itmax;
    m->relcnvg = _rcdat.relcnvg;
    m->relax = _rcdat.relax;
    m->slae = _rcdat.af_slae;
    m->pcg_cnvg = _rcdat.cnvg;
    m->abscnvg = 2.0f * _rcdat.abscnvg;
    m->pcg_itmax = _nafnd + 10;
}

// Variable-pressure nodes get 1..nvar in list order, the others nvar+1.. after them.
static void numberEquations(AF_MAT* m)
{
    AirNode** known = alc_vT<AirNode*>(1, _nafnd > 0 ? _nafnd : 1, "pcn");
    int count = 0, nvar = 0, nknown = 0;
    for (AirNode* n = _afnd0; n; n = n->next) {
        count++;
        if (n->flags & NODE_VAR_P)
            n->af_eqn = ++nvar;
        else if (nknown < _nafnd)
            known[++nknown] = n;
    }
    int last = nvar;
    for (int k = 1; k <= nknown; k++) known[k]->af_eqn = ++last;
    fre_vT(known, 1, _nafnd > 0 ? _nafnd : 1, "pcn");
    m->nvar = nvar;
    m->neq = last;
    ulog_printf("%4d variable pressure nodes\n", nvar);
    ulog_printf("%4d constant pressure nodes\n", count - nvar);
    ulog_flush();
    if (count != _nafnd) error(FATAL, __FILE__, __LINE__, "Incorrect AF node count", "");
    if (last != count) error(FATAL, __FILE__, __LINE__, "Incorrect total node count", "");
}

// Whether a path joins two variable-pressure nodes (and so couples two equations).
static bool joinsVariableNodes(const AirPath* p)
{
    return (p->from_node->flags & NODE_VAR_P) && (p->to_node->flags & NODE_VAR_P);
}

// Full pattern: every diagonal plus both entries of every pair of variable nodes that a
// path other than a constant-flow fan joins.
static int32_t* buildPattern(const AF_MAT* m)
{
    AColCell** heads = alc_vT<AColCell*>(1, m->neq, "spc");
    MemBlock* pool = alc_eci(2000, "spcol");
    int entries = 0;
    for (int i = 1; i <= m->neq; i++) entries += acolset(heads, &pool, i, i);
    for (AirPath* p = _pafp0; p; p = p->next) {
        if ((p->flags & PATH_CONST_FLOW) || !joinsVariableNodes(p)) continue;
        int i = p->from_node->af_eqn, j = p->to_node->af_eqn;
        entries += acolset(heads, &pool, i, j);
        if (i != j) entries += acolset(heads, &pool, j, i);
    }
    ulog_printf("  Number of equations: %d\n", m->neq);
    ulog_printf("    Non-zero elements: %d\n", entries);
    ulog_printf("Initial fill fraction: %.3f\n", (float)entries / ((float)m->neq * (float)m->neq));
    int32_t* ijf = acol_ijf(heads, m->neq, entries);
    fre_ec(pool, "spcol");
    fre_vT(heads, 1, m->neq, "spc");
    return ijf;
}

// Skyline method: profile analysis and, when asked for and worth it, a renumbering of
// the variable equations that shrinks the profile.
static void reorderForSkyline(AF_MAT* m, int32_t* ijf)
{
    float avg = 0.0f;
    ulog_printf(" Matrix Profile Analysis:\n");
    ija_prfl(m->nvar, ijf, &avg);
    if (!_rcdat.af_reorder || !(_sim_af_dyn || avg > 30.0f)) return;
    int32_t* perm = alc_vT<int32_t>(1, m->neq, "nja");
    int32_t len = ijfLength(ijf, m->neq);
    if (ija_optord(ijf, perm, len, m->neq, m->nvar)) {
        ija_reorder(ijf, perm, len, m->neq);
        for (AirNode* n = _afnd0; n; n = n->next) n->af_eqn = perm[n->af_eqn];
        ija_prfl(m->nvar, ijf, &avg);
    }
    fre_vT(perm, 1, m->neq, "nja");
}

// Position of entry (i, j) of the stored pattern, 0 when the pattern has none.
static int32_t storedSlot(const int32_t* ija, int i, int j)
{
    return sa_find(ija, i > j ? i : j, i > j ? j : i);
}

static const char* const PCG_TAGS[6] = {"af-p", "af-pp", "af-r", "af-rr", "af-z", "af-zz"};

static void pcgVectorsAlloc(AF_MAT* m, bool alloc)
{
    double* AF_MAT::*const fields[6] = {&AF_MAT::p, &AF_MAT::pp, &AF_MAT::r,
                                         &AF_MAT::rr, &AF_MAT::z, &AF_MAT::zz};
    int hi = m->nvar > 0 ? m->nvar : 1;
    for (int k = 0; k < 6; k++) {
        double*& v = m->*fields[k];
        v = alloc ? alc_vT<double>(1, hi, PCG_TAGS[k]) : fre_vT(v, 1, hi, PCG_TAGS[k]);
    }
}

// Storage of the linear method chosen by slae.
static void methodStorage(AF_MAT* m, const int32_t* ijf)
{
    int nv = m->nvar > 0 ? m->nvar : 1;
    switch (m->slae) {
    case AF_SLAE_PCG:
        ssm_alc(&m->ic, ijf, m->ija, m->nvar);
        pcgVectorsAlloc(m, true);
        break;
    case AF_SLAE_DENSE:
        m->aa = alc_mcT<double>(1, nv, 1, nv, "af-aa");
        break;
    case AF_SLAE_SKYLINE:
        m->sky.sym = m->symmetric;
        sky_alc(m->nvar, m->ija, &m->sky, _ulog);
        break;
    default:
        error(FATAL, __FILE__, __LINE__, "Invalid method: ", intstr(m->slae), "");
    }
}

// Each path between two variable nodes gets the slot of its node pair; a constant-flow
// fan whose pair no other path joins has no slot (0) and no off-diagonal term.
static void pathSlots(const AF_MAT* m)
{
    for (AirPath* p = _pafp0; p; p = p->next) {
        p->sa_index = 0;
        if (joinsVariableNodes(p) && p->from_node != p->to_node)
            p->sa_index = storedSlot(m->ija, p->from_node->af_eqn, p->to_node->af_eqn);
    }
}

static void logMethods(const AF_MAT* m)
{
    ulog_printf("Solve nonlinear equations by Newton-Raphson with ");
    if (m->newton == AF_NEWTON_RELAX) {
        ulog_printf("simple under relaxation.\n");
        ulog_printf("  relax = %g, relcnvg = %g, abscnvg = %g, itmax = %d\n", m->relax, m->relcnvg,
               m->abscnvg, m->itmax);
    } else if (m->newton == AF_NEWTON_TRUST) {
        ulog_printf("variable trust region.\n");
        ulog_printf("  relcnvg = %g, abscnvg = %g, itmax = %d\n", m->relcnvg, m->abscnvg, m->itmax);
    } else {
        ulog_printf("no method.\n");
    }
    ulog_printf("Solve Jacobian SLAE by ");
    if (m->slae == AF_SLAE_SKYLINE) ulog_printf("symmetric SKYline method.\n");
    if (m->slae == AF_SLAE_PCG) {
        ulog_printf("Preconditioned Conjugate Gradient method.\n");
        ulog_printf("  cnvg = %g, itmax = %d\n", m->pcg_cnvg, m->pcg_itmax);
    }
    if (m->slae == AF_SLAE_DENSE) ulog_printf("Cholesky method.\n");
    ulog_flush();
}

void af_mat_set(AF_MAT* m)
{
    copySettings(m);
    numberEquations(m);
    int32_t* ijf = buildPattern(m);
    if (m->slae == AF_SLAE_SKYLINE) reorderForSkyline(m, ijf);
    if (_list > 0) sa_show(m->neq, ijf);
    if (m->nvar == 0) m->newton = -1;
    m->nnz = ija_minset_count(ijf, m->neq, 1);
    m->ija = alc_vT<int32_t>(1, m->nnz, "af-ija");
    ija_minset(ijf, m->ija, m->neq, 1);
    m->sa = alc_vT<double>(1, m->nnz, "af-sa");
    m->b = alc_vT<double>(1, m->neq, "af-b");
    m->x = alc_vT<double>(1, m->neq, "af-x");
    methodStorage(m, ijf);
    pathSlots(m);
    logMethods(m);
    fre_vT(ijf, 0, ijfLength(ijf, m->neq), "ijf");
}

AF_MAT* af_mat_fre(AF_MAT* m)
{
    if (!m) return nullptr;
    int nv = m->nvar > 0 ? m->nvar : 1;
    m->ija = fre_vT(m->ija, 1, m->nnz, "af-ija");
    m->sa = fre_vT(m->sa, 1, m->nnz, "af-sa");
    m->b = fre_vT(m->b, 1, m->neq, "af-b");
    m->x = fre_vT(m->x, 1, m->neq, "af-x");
    if (m->slae == AF_SLAE_PCG) {
        pcgVectorsAlloc(m, false);
        ssm_fre(&m->ic);
    } else if (m->slae == AF_SLAE_DENSE) {
        m->aa = fre_mcT(m->aa, 1, nv, 1, nv);
    } else if (m->slae == AF_SLAE_SKYLINE) {
        sky_fre(&m->sky);
    }
    return static_cast<AF_MAT*>(fre_e(m, sizeof(AF_MAT), "af_mat"));
}

}  // namespace vexlar
