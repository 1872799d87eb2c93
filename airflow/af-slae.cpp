// Linear solvers of the airflow Jacobian (solve_slae): symmetric skyline LDLt, dense
// elimination, or conjugate gradients preconditioned by an incomplete Cholesky factor
// with the pattern of the matrix. Only the nvar variable equations form the matrix;
// every factor is recomputed at each call into storage set up once by af_mat_set.
#include <cstring>
#include "airflow/af-slae.h"
#include "solvers/solv-se.h"

namespace vexlar {

static void copyRhs(AF_MAT* m)
{
    std::memcpy(&m->x[1], &m->b[1], sizeof(double) * (size_t)m->neq);
}

static int solveSkyline(AF_MAT* m)
{
    copyRhs(m);
    fill_sky_s(m->sa, m->ija, &m->sky);
    luf_sky_s(&m->sky);
    lus_sky_s(&m->sky, m->x);
    return 0;
}

static int solveDense(AF_MAT* m)
{
    copyRhs(m);
    int n = m->nvar;
    if (n < 1) return 0;
    std::memset(&m->aa[1][1], 0, sizeof(double) * (size_t)n * (size_t)n);
    for (int i = 1; i <= n; i++) {
        m->aa[i][i] = m->sa[i];
        for (int32_t k = m->ija[i]; k < m->ija[i + 1]; k++) {
            int j = m->ija[k];
            m->aa[i][j] = m->sa[k];
            m->aa[j][i] = m->sa[k];
        }
    }
    luf_ge(m->aa, n);
    lus_ge(m->aa, m->x, n);
    return 0;
}

// Conjugate gradients over the nvar variable equations, started from the current x.
static int solvePcg(AF_MAT* m)
{
    return sa_pcg(&m->ic, m->sa, m->ija, m->b, m->x, m->p, m->r, m->z, m->zz, m->pcg_itmax,
                  m->pcg_cnvg);
}

int solve_slae(AF_MAT* m)
{
    switch (m->slae) {
    case AF_SLAE_PCG: return solvePcg(m);
    case AF_SLAE_DENSE: return solveDense(m);
    default: return solveSkyline(m);
    }
}

}  // namespace vexlar
