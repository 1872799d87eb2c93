// Dense LU without pivoting and the incomplete-Cholesky preconditioned conjugate
// gradients of the symmetric airflow system, with the pivot test shared by every
// factorisation of the engine. Pivots are kept as reciprocals so solutions multiply.
#include "solvers/solv-se.h"

#include <cmath>
#include <cstring>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/counters.h"
#include "solvers/blas-1-like.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

// A pivot that failed the test: FATAL for an exact zero, else the counted ERROR.
int pivot_report(double d, int i, const char* what, int width, const char* file, int line)
{
    if (d == 0.0) {
        errorf(FATAL, file, line, "Zero on the diagonal, %s %d", what, i);
        return 1;
    }
    if (width > 0)
        errorf(ERROR, file, line, "Near zero on the diagonal, %s %d %*g", what, i, width,
               (double)(float)d);
    else
        errorf(ERROR, file, line, "Near zero on the diagonal, %s %d", what, i);
    return 1;
}

// Row i + 1 eliminated by the finished rows 1..i; zero multipliers are skipped.
static void ge_eliminate_row(double** a, int i, int n)
{
    double* row = a[i + 1];
    for (int j = 1; j <= i; j++) {
        if (row[j] == 0.0)
            continue;
        row[j] = row[j] * a[j][j];
        daxpy0(n - j, &a[j][j + 1], &row[j + 1], -row[j]);
    }
}

int luf_ge(double** a, int n)
{
    _NrLufGE++;
    int result = 0;
    for (int i = 1; i <= n; i++) {
        double p = a[i][i];
        result |= pivot_test(p, PIVOT_TINY, i, "row", 0, __FILE__, __LINE__);
        a[i][i] = 1.0 / p;
        if (i < n)
            ge_eliminate_row(a, i, n);
    }
    return result;
}

void lus_ge(double** a, double* b, int n)
{
    _NrLusGE++;
    if (n <= 0)
        return;
    for (int i = 2; i <= n; i++)
        b[i] -= ddot0(i - 1, &a[i][1], &b[1]);
    b[n] = b[n] * a[n][n];
    for (int i = n - 1; i >= 1; i--)
        b[i] = (b[i] - ddot0(n - i, &a[i][i + 1], &b[i + 1])) * a[i][i];
}

void ge_dump(double** a, int n, const char* name)
{
    if (!_ulog)
        return;
    fprintf(_ulog, "Full matrix '%s' (neqn=%d):\n", name, n);
    fprintf(_ulog, "row: A  1");
    for (int j = 2; j <= n; j++)
        fprintf(_ulog, "%14d", j);
    fputc('\n', _ulog);
    if (n <= 0) {
        fputc('\n', _ulog);
        fflush(_ulog);
        return;
    }
    for (int i = 1; i <= n; i++) {
        fprintf(_ulog, "%3d:", i);
        for (int j = 1; j <= n; j++)
            fprintf(_ulog, "%14.6e", a[i][j]);
        fputc('\n', _ulog);
    }
    fputc('\n', _ulog);
    fflush(_ulog);
}

// ---- incomplete Cholesky set ----

// Rows 1..n of the build pattern split into the strictly upper (c > i) or strictly
// lower (c < i) columns within 1..n; returns the entry count, filling starts/cols
// when they are given.
static int ssm_split(const int* ijf, int n, bool upper, int* starts, int* cols)
{
    int next = 1;
    for (int i = 1; i <= n; i++) {
        if (starts)
            starts[i] = next;
        for (int k = ijf[i]; k < ijf[i + 1]; k++) {
            int c = ijf[k];
            if (c > n || c == i || (c > i) != upper)
                continue;
            if (cols)
                cols[next] = c;
            next++;
        }
    }
    if (starts)
        starts[n + 1] = next;
    return next - 1;
}

// atou: the sa index of each upper entry (k, j), found as column k of stored row j;
// utol: its transposed place in the lower factor.
static void ssm_cross_reference(IC_SET* ic, const int* ija)
{
    for (int k = 1; k <= ic->ic_n; k++)
        for (int q = ic->iu[k]; q < ic->iu[k + 1]; q++) {
            int j = ic->ju[q];
            ic->atou[q] = sa_find(ija, j, k);
            if (ic->atou[q] == 0)
                error(ERROR, __FILE__, __LINE__, "A-U cross reference error", "");
            ic->utol[q] = col_find(ic->jl, ic->il[j], ic->il[j + 1], k);
            if (ic->utol[q] == 0)
                error(ERROR, __FILE__, __LINE__, "U-L cross reference error", "");
        }
}

void ssm_alc(IC_SET* ic, const int* ijf, const int* ija, int nvar)
{
    if (ic->iu)
        ssm_fre(ic);
    int nu = ssm_split(ijf, nvar, true, nullptr, nullptr);
    int nl = ssm_split(ijf, nvar, false, nullptr, nullptr);
    int n = nvar > 0 ? nvar : 1;
    ic->ic_n = nvar;
    ic->ic_nnz = nu > nl ? nu : nl;
    int m = ic->ic_nnz + 1;
    ic->iu = alc_vT<int>(1, n + 1, "iu");
    ic->ju = alc_vT<int>(1, m, "ju");
    ic->il = alc_vT<int>(1, n + 1, "il");
    ic->jl = alc_vT<int>(1, m, "jl");
    ic->ad = alc_vT<double>(1, n, "ad");
    ic->au = alc_vT<double>(1, m, "au");
    ic->al = alc_vT<double>(1, m, "al");
    ic->utol = alc_vT<int>(1, m, "utol");
    ic->atou = alc_vT<int>(1, m, "atou");
    ic->t1 = alc_vT<double>(1, n, "t1");
    ic->j1 = alc_vT<int>(1, n, "j1");
    ic->j2 = alc_vT<int>(1, n, "j2");
    ssm_split(ijf, nvar, true, ic->iu, ic->ju);
    ssm_split(ijf, nvar, false, ic->il, ic->jl);
    ssm_cross_reference(ic, ija);
}

void ssm_fre(IC_SET* ic)
{
    if (!ic->iu)
        return;
    int n = ic->ic_n > 0 ? ic->ic_n : 1;
    int m = ic->ic_nnz + 1;
    ic->j2 = fre_vT(ic->j2, 1, n, "j2");
    ic->j1 = fre_vT(ic->j1, 1, n, "j1");
    ic->t1 = fre_vT(ic->t1, 1, n, "t1");
    ic->atou = fre_vT(ic->atou, 1, m, "atou");
    ic->utol = fre_vT(ic->utol, 1, m, "utol");
    ic->al = fre_vT(ic->al, 1, m, "al");
    ic->au = fre_vT(ic->au, 1, m, "au");
    ic->ad = fre_vT(ic->ad, 1, n, "ad");
    ic->jl = fre_vT(ic->jl, 1, m, "jl");
    ic->il = fre_vT(ic->il, 1, n + 1, "il");
    ic->ju = fre_vT(ic->ju, 1, m, "ju");
    ic->iu = fre_vT(ic->iu, 1, n + 1, "iu");
}

// Column k of the factor (row k of the upper part) joins the list of the row of its
// entry at position q, the first it has not yet passed on. The lists share j2: a
// row's head lives at j2[row] until that row is reached, a column's link at j2[col]
// once the column is finished.
static void ssm_link(IC_SET* ic, int k, int q)
{
    ic->j1[k] = q;
    if (q < ic->iu[k + 1]) {
        int row = ic->ju[q];
        ic->j2[k] = ic->j2[row];
        ic->j2[row] = k;
    }
}

// Subtracts from the marked entries of column i the contribution of every finished
// column linked to row i, and moves each of those columns on to its next row.
static void ssm_update_column(IC_SET* ic, int i)
{
    int k = ic->j2[i];
    while (k != 0) {
        int next = ic->j2[k];
        int q = ic->j1[k];
        double lik = ic->au[q];
        for (int p = q + 1; p < ic->iu[k + 1]; p++)
            if (ic->j1[ic->ju[p]] == -1)
                ic->t1[ic->ju[p]] -= ic->au[p] * lik;
        ssm_link(ic, k, q + 1);
        k = next;
    }
}

void ssm_icf(IC_SET* ic, const double* sa)
{
    int n = ic->ic_n;
    for (int i = 1; i <= n; i++) {
        ic->ad[i] = sa[i];
        ic->j1[i] = ic->j2[i] = 0;
    }
    for (int q = 1; q < ic->iu[n + 1]; q++)
        ic->au[q] = sa[ic->atou[q]];
    for (int i = 1; i <= n; i++) {
        for (int q = ic->iu[i]; q < ic->iu[i + 1]; q++) {
            ic->t1[ic->ju[q]] = ic->au[q];
            ic->j1[ic->ju[q]] = -1;
        }
        ssm_update_column(ic, i);
        if (ic->ad[i] <= 0.0)
            error(FATAL, __FILE__, __LINE__, "Matrix factorization failed", "");
        ic->ad[i] = 1.0 / std::sqrt(ic->ad[i]);
        for (int q = ic->iu[i]; q < ic->iu[i + 1]; q++) {
            int j = ic->ju[q];
            ic->au[q] = ic->t1[j] * ic->ad[i];
            ic->ad[j] -= ic->au[q] * ic->au[q];
            ic->j1[j] = 0;
        }
        ssm_link(ic, i, ic->iu[i]);
    }
    for (int q = 1; q < ic->iu[n + 1]; q++)
        ic->al[ic->utol[q]] = ic->au[q];
}

// One triangular sweep z_j = (r_j - sum of factor(j,k) z_k) * ad[j] over rows in the
// given direction.
static void ssm_sweep(const IC_SET* ic, const int* starts, const int* cols, const double* f,
                      const double* r, double* z, bool forward)
{
    int n = ic->ic_n;
    for (int t = 1; t <= n; t++) {
        int j = forward ? t : n + 1 - t;
        double s = r[j];
        for (int q = starts[j]; q < starts[j + 1]; q++)
            s -= f[q] * z[cols[q]];
        z[j] = s * ic->ad[j];
    }
}

static void ssm_precondition(const IC_SET* ic, const double* r, double* z)
{
    ssm_sweep(ic, ic->il, ic->jl, ic->al, r, z, true);
    ssm_sweep(ic, ic->iu, ic->ju, ic->au, z, z, false);
}

int sa_pcg(IC_SET* ic, const double* sa, const int* ija, const double* b, double* x,
           double* p, double* r, double* z, double* zz, int itmax, float cnvg)
{
    int n = ic->ic_n;
    ssm_icf(ic, sa);
    _NrPCG++;
    sa_mlt_xasb(sa, ija, x, zz, n);
    for (int j = 1; j <= n; j++)
        r[j] = b[j] - zz[j];
    double bnorm = std::sqrt(dsqr1(n, b));
    if (bnorm == 0.0) {
        for (int j = 1; j <= n; j++)
            x[j] = 0.0;
        return 0;
    }
    double rho_prev = 1.0;
    int i = 0;
    while (i <= itmax) {
        ssm_precondition(ic, r, z);
        double rho = ddot0(n, &r[1], &z[1]);
        if (i == 0)
            memcpy(&p[1], &z[1], (size_t)n * sizeof(double));
        else
            daypx1(n, z, p, rho / rho_prev);
        sa_mlt_xasb(sa, ija, p, zz, n);
        double pap = ddot0(n, &p[1], &zz[1]);
        if (pap == 0.0)
            error(FATAL, __FILE__, __LINE__, "Denominator = 0", "");
        double alpha = rho / pap;
        daxpy0(n, &p[1], &x[1], alpha);
        daxpy0(n, &zz[1], &r[1], -alpha);
        i++;
        if ((float)(std::sqrt(dsqr1(n, r)) / bnorm) <= cnvg) {
            if (i <= itmax) {
                _NrPCGiter += i;
                return i;
            }
            break;
        }
        rho_prev = rho;
    }
    errorf(ERROR, __FILE__, __LINE__, "PCG did not converge in %d iterations", i - 1);
    _NrPCGiter += i;
    return i;
}

}  // namespace vexlar
