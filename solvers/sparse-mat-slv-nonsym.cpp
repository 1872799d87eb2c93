// The nonsymmetric sparse solver state SASN: configuration of one of four methods,
// per-step preparation of new matrix values (factorisation, diagonal inverses) and
// the solution of one or more right-hand sides. The biconjugate gradient scales the
// caller's rows by their diagonals once per preparation and keeps the factors, so
// that every right-hand side solved after it is scaled alike.
#include "solvers/sparse-mat-slv-nonsym.h"

#include <cmath>
#include <cstring>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/counters.h"
#include "solvers/blas-1-like.h"
#include "solvers/solv-se.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

constexpr int BCG_ATTEMPTS = 12;
constexpr float BCG_TOL_FACTOR = 0.03125f;   // each new attempt asks 1/32 of the last tolerance

void sasn_newInit(SASN* s)
{
    *s = SASN{};
    s->method = SASN_NONE;
}

static void sasn_release(SASN* s)
{
    switch (s->method) {
    case SASN_SKYLINE:
        sky_fre(&s->sky);
        break;
    case SASN_BCG:
        if (s->work) {
            s->work = fre_vT(s->work, 1, 6 * s->neq, "sasn-bcg");
            s->rscale = fre_vT(s->rscale, 1, s->neq, "sasn-bcg");
        }
        break;
    case SASN_SOR:
        if (s->work)
            s->work = fre_vT(s->work, 1, s->nvar, "sasn-sor");
        break;
    case SASN_DENSE:
        if (s->aa)
            s->aa = fre_mcT(s->aa, 1, s->nvar, 1, s->nvar);
        break;
    default:
        break;
    }
}

void sasn_configure(SASN* s, int neq, int nvar, int nnz, int* ija, int method, float relcnvg,
                    float cutoff, float relax, int itmax)
{
    sasn_release(s);
    s->neq = neq;
    s->nvar = nvar;
    s->nnz = nnz;
    s->ija = ija;
    s->method = method;
    s->relcnvg = relcnvg;
    s->cutoff = cutoff;
    s->relax = relax;
    s->itmax = itmax;
    s->sa = nullptr;
    s->scaled = 0;
    switch (method) {
    case SASN_SKYLINE:
        s->sky.sym = 0;
        sky_alc(nvar, ija, &s->sky, _ulog);
        break;
    case SASN_BCG:
        if (neq > 0) {
            s->work = alc_vT<double>(1, 6 * neq, "sasn-bcg");
            s->rscale = alc_vT<double>(1, neq, "sasn-bcg");
        }
        s->itmax = neq + 10;
        break;
    case SASN_SOR:
        if (nvar > 0)
            s->work = alc_vT<double>(1, nvar, "sasn-sor");
        break;
    case SASN_DENSE:
        if (nvar > 0)
            s->aa = alc_mcT<double>(1, nvar, 1, nvar, "sasn-aa");
        break;
    default:
        break;
    }
}

void sasn_free(SASN* s)
{
    sasn_release(s);
    s->method = SASN_NONE;
}

// Dense copy of the variable block: diagonal and every entry of a column <= nvar.
static int sasn_prep_dense(SASN* s)
{
    int n = s->nvar;
    memset(&s->aa[1][1], 0, (size_t)n * n * sizeof(double));
    for (int i = 1; i <= n; i++) {
        s->aa[i][i] = s->sa[i];
        for (int k = s->ija[i]; k < s->ija[i + 1]; k++)
            if (s->ija[k] <= n)
                s->aa[i][s->ija[k]] = s->sa[k];
    }
    return luf_ge(s->aa, n);
}

static int sasn_prep_sor(SASN* s)
{
    int result = 0;
    for (int i = 1; i <= s->nvar; i++) {
        double d = s->sa[i];
        result |= pivot_test(d, SOR_TINY, i, "eqn", 0, __FILE__, __LINE__);
        s->work[i] = s->relax / d;
    }
    return result;
}

int sasn_prepMat(SASN* s, double* sa)
{
    if (s->nvar <= 0)
        return 0;
    s->sa = sa;
    s->scaled = 0;
    switch (s->method) {
    case SASN_SKYLINE:
        fill_sky_n(&s->sky, s->nvar, s->ija, sa);
        return luf_sky_n(&s->sky);
    case SASN_SOR:
        return sasn_prep_sor(s);
    case SASN_DENSE:
        return sasn_prep_dense(s);
    default:
        return 0;
    }
}

// Known values to the right-hand side, then the variable block solved in x.
static int sasn_solve_direct(SASN* s, double* b, double* x)
{
    for (int i = 1; i <= s->nvar; i++)
        for (int k = s->ija[i]; k < s->ija[i + 1]; k++)
            if (s->ija[k] > s->nvar)
                b[i] = b[i] - x[s->ija[k]] * s->sa[k];
    memcpy(&x[1], &b[1], (size_t)s->neq * sizeof(double));
    if (s->method == SASN_SKYLINE)
        lus_sky_n(&s->sky, x);
    else
        lus_ge(s->aa, x, s->nvar);
    return 0;
}

// One Gauss-Seidel sweep with over-relaxation; true when every update stayed within
// relcnvg of its new value.
static bool sor_sweep(const SASN* s, const double* b, double* x)
{
    bool converged = true;
    for (int j = 1; j <= s->nvar; j++) {
        double r = b[j] - s->sa[j] * x[j];
        for (int k = s->ija[j]; k < s->ija[j + 1]; k++)
            r -= s->sa[k] * x[s->ija[k]];
        double dx = r * s->work[j];
        x[j] = x[j] + dx;
        if (converged)
            converged = std::fabs(dx) <= x[j] * s->relcnvg;
    }
    return converged;
}

static int sasn_solve_sor(SASN* s, const double* b, double* x)
{
    _NrSOR++;
    int sweeps = 0;
    bool converged = false;
    while (!converged && sweeps < s->itmax) {
        converged = sor_sweep(s, b, x);
        sweeps++;
    }
    _NrSORiter += sweeps + 1;
    if (!converged)
        errorf(WARNING, __FILE__, __LINE__, "SOR did not converge in %d iterations", s->itmax);
    return 0;
}

static bool all_zero(int n, const double* v)
{
    for (int i = 1; i <= n; i++)
        if (v[i] != 0.0)
            return false;
    return true;
}

// A zero start vector becomes the diagonal estimate plus 1e-12.
static void bcg_start_estimate(const SASN* s, const double* b, double* x)
{
    if (all_zero(s->neq, x))
        for (int i = 1; i <= s->neq; i++)
            x[i] = b[i] / s->sa[i] + 1e-12;
}

// First use after a preparation scales every row of the matrix by 1 / its diagonal
// and keeps the factors; every right-hand side is scaled by the kept factors.
static void bcg_scale(SASN* s, double* b, double* x)
{
    if (s->scaled) {
        for (int i = 1; i <= s->neq; i++)
            b[i] = b[i] * s->rscale[i];
        bcg_start_estimate(s, b, x);
        return;
    }
    bcg_start_estimate(s, b, x);
    for (int i = 1; i <= s->neq; i++) {
        double d = s->sa[i];
        pivot_test(d, PIVOT_TINY, i, "eqn", 0, __FILE__, __LINE__);
        double inv = 1.0 / d;
        s->rscale[i] = inv;
        s->sa[i] = 1.0;
        b[i] = b[i] * inv;
        for (int k = s->ija[i]; k < s->ija[i + 1]; k++)
            s->sa[k] = s->sa[k] * inv;
    }
    s->scaled = 1;
}

// r = b - A x over all equations.
static void residual(const SASN* s, const double* b, const double* x, double* r)
{
    sa_mlt_xaab(s->sa, s->ija, x, r, s->neq);
    for (int i = 1; i <= s->neq; i++)
        r[i] = b[i] - r[i];
}

// One attempt of at most itmax - 1 biconjugate-gradient iterations from x.
static void bcg_iterate(SASN* s, const double* b, double* x, float tol)
{
    int n = s->neq;
    double *p = s->work, *pp = p + n, *r = pp + n, *rr = r + n, *z = rr + n, *zz = z + n;
    size_t bytes = (size_t)n * sizeof(double);
    double w = 1.0 / std::sqrt(dsqr1(n, b));
    residual(s, b, x, r);
    memcpy(&rr[1], &r[1], bytes);
    memcpy(&z[1], &r[1], bytes);
    double bkden = 1.0;
    int j = 1;
    // A start that already solves the system (a steady state carried into the next step)
    // leaves nothing to iterate on: its zero residual would divide by zero below.
    if (tol >= (float)(std::sqrt(dsqr1(n, r)) * w)) {
        _NrBCGiter += 1;
        return;
    }
    for (; j < s->itmax; j++) {
        memcpy(&zz[1], &rr[1], bytes);
        double bknum = ddot0(n, &z[1], &rr[1]);
        if (j == 1) {
            memcpy(&p[1], &z[1], bytes);
            memcpy(&pp[1], &zz[1], bytes);
        } else {
            if (bkden == 0.0)
                error(FATAL, __FILE__, __LINE__, "bkden = 0", "");
            double bk = bknum / bkden;
            daypx1(n, r, p, bk);
            daypx1(n, rr, pp, bk);
        }
        sa_mlt_xaab(s->sa, s->ija, p, z, n);
        double akden = ddot0(n, &z[1], &pp[1]);
        if (akden == 0.0)
            error(FATAL, __FILE__, __LINE__, "akden = 0", "");
        double ak = bknum / akden;
        sa_mlt_xatb(s->sa, s->ija, pp, zz, n);
        daxpy0(n, &p[1], &x[1], ak);
        daxpy0(n, &z[1], &r[1], -ak);
        daxpy0(n, &zz[1], &rr[1], -ak);
        memcpy(&z[1], &r[1], bytes);
        if (tol >= (float)(std::sqrt(dsqr1(n, r)) * w))
            break;
        bkden = bknum;
    }
    _NrBCGiter += j;
}

// Negative values are clipped to 0; the solution stands when none was and every
// value above the cutoff has a residual within relcnvg of itself.
static bool bcg_accept(SASN* s, const double* b, double* x)
{
    double* r = s->work + 2 * s->neq;
    residual(s, b, x, r);
    bool clipped = false;
    for (int i = 1; i <= s->neq; i++)
        if (x[i] < 0.0) {
            x[i] = 0.0;
            clipped = true;
        }
    if (clipped)
        return false;
    for (int i = 1; i <= s->neq; i++)
        if (x[i] > s->cutoff && !(std::fabs(r[i]) <= x[i] * s->relcnvg))
            return false;
    return true;
}

static int sasn_solve_bcg(SASN* s, double* b, double* x)
{
    float tol = s->relcnvg;
    for (int attempt = 1;; attempt++) {
        _NrBCG++;
        if (attempt == 1) {
            if (all_zero(s->neq, b)) {
                memset(&x[1], 0, (size_t)s->neq * sizeof(double));
                return 0;
            }
            bcg_scale(s, b, x);
        }
        bcg_iterate(s, b, x, tol);
        if (bcg_accept(s, b, x))
            return 0;
        if (attempt == BCG_ATTEMPTS)
            return 1;
        tol = tol * BCG_TOL_FACTOR;
    }
}

int sasn_solve(SASN* s, double* b, double* x)
{
    if (s->method < SASN_SKYLINE || s->method > SASN_DENSE)
        return -1;
    if (s->nvar <= 0)
        return 0;
    switch (s->method) {
    case SASN_BCG:
        return sasn_solve_bcg(s, b, x);
    case SASN_SOR:
        return sasn_solve_sor(s, b, x);
    default:
        return sasn_solve_direct(s, b, x);
    }
}

}  // namespace vexlar
