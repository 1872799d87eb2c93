// Skyline matrices: layout from a row-indexed pattern, loading of the values, the
// L U and L D L' factorisations without pivoting, the solutions and a log dump. All
// inner products run over contiguous stretches of a stored row and a stored column.
#include "solvers/sky-mat.h"

#include <algorithm>
#include <cstring>

#include "common-src/memory.h"
#include "model/counters.h"
#include "solvers/blas-1-like.h"
#include "solvers/solv-se.h"

namespace vexlar {

// Element (i, c), c < i, of the stored lower part, and element (r, c), r < c, of the
// stored upper part; both must lie inside the envelope.
static double* lower(const SKY_MAT* s, int i, int c) { return &s->al[i][c - i + s->lal[i] + 1]; }
static double* upper(const SKY_MAT* s, int r, int c) { return &s->au[c][r - c + s->lau[c] + 1]; }

void sky_fre(SKY_MAT* s)
{
    if (s->al) {
        s->al = (double**)fre_mvc(s->al, 1, s->nn, s->lal, sizeof(double));
        s->lal = fre_vT(s->lal, 1, s->nn, "lal");
        s->ad = fre_vT(s->ad, 1, s->nn, "ad");
    }
    if (s->au) {
        s->au = (double**)fre_mvc(s->au, 1, s->nn, s->lau, sizeof(double));
        s->lau = fre_vT(s->lau, 1, s->nn, "lau");
    }
    s->nal = s->nau = 0;
    s->nn = 0;
}

// Envelope of rows 1..n: lal from the entries left of the diagonal, lau from those
// right of it; columns above n belong to known equations and end the row's scan.
static void sky_profile(SKY_MAT* s, int n, const int* ija)
{
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int c = ija[k];
            if (c < i)
                s->lal[i] = std::max(s->lal[i], i - c);
            else if (c > i) {
                if (c > n)
                    break;
                s->lau[c] = std::max(s->lau[c], c - i);
            } else if (s->sym)
                break;
        }
}

void sky_alc(int n, const int* ija, SKY_MAT* s, FILE* log)
{
    sky_fre(s);
    s->nn = n;
    if (n <= 0)
        return;
    s->lal = alc_vT<int>(1, n, "lal");
    if (!s->sym)
        s->lau = alc_vT<int>(1, n, "lau");
    sky_profile(s, n, ija);
    s->ad = alc_vT<double>(1, n, "ad");
    if (!s->sym)
        s->au = (double**)alc_mvc(1, n, s->lau, sizeof(double), "au", &s->nau);
    s->al = (double**)alc_mvc(1, n, s->lal, sizeof(double), "al", &s->nal);
    if (!log)
        return;
    // In double: n * n overflows an int past 46340 rows.
    float fill = (float)(((double)s->nal + n + s->nau) / ((double)n * (double)n));
    fprintf(log, " Skyline Matrix:\n");
    fprintf(log, "     Number of rows: %d\n", n);
    fprintf(log, "     Lower Triangle: %d elements\n", s->nal);
    fprintf(log, "     Upper Triangle: %d elements\n", s->nau);
    fprintf(log, "     Fill fraction: %.3f\n", fill);
}

static void sky_clear(SKY_MAT* s, const double* sa, int n)
{
    memcpy(&s->ad[1], &sa[1], (size_t)n * sizeof(double));
    if (s->nal > 0)
        memset(&s->al[1][1], 0, (size_t)s->nal * sizeof(double));
    if (s->nau > 0)
        memset(&s->au[1][1], 0, (size_t)s->nau * sizeof(double));
}

void fill_sky_n(SKY_MAT* s, int n, const int* ija, const double* sa)
{
    if (n <= 0)
        return;
    sky_clear(s, sa, n);
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int c = ija[k];
            if (c < i)
                *lower(s, i, c) = sa[k];
            else if (c > i && c <= n)
                *upper(s, i, c) = sa[k];
        }
}

void fill_sky_s(const double* sa, const int* ija, SKY_MAT* s)
{
    if (s->nn <= 0)
        return;
    sky_clear(s, sa, s->nn);
    for (int i = 1; i <= s->nn; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++)
            if (ija[k] < i)
                *lower(s, i, ija[k]) = sa[k];
}

// Sum over k = from..to-1 of L(i,k) U(k,c): row i of the lower part against column c
// of the upper part, 0 when the stretch is empty.
static double row_col_dot(const SKY_MAT* s, int i, int c, int from, int to)
{
    return to > from ? ddot0(to - from, lower(s, i, from), upper(s, from, c)) : 0.0;
}

// Row i of L, then column i of U, then the pivot of row i.
static double luf_sky_n_row(SKY_MAT* s, int i)
{
    int f = i - s->lal[i], g = i - s->lau[i];
    for (int c = f; c < i; c++) {
        int h = c - s->lau[c];
        double* l = lower(s, i, c);
        *l = (*l - row_col_dot(s, i, c, std::max(f, h), c)) * s->ad[c];
    }
    for (int r = g + 1; r < i; r++) {
        if (s->lal[r] == 0)
            continue;
        int h = r - s->lal[r];
        double* u = upper(s, r, i);
        *u = *u - row_col_dot(s, r, i, std::max(g, h), r);
    }
    return s->ad[i] - row_col_dot(s, i, i, std::max(f, g), i);
}

int luf_sky_n(SKY_MAT* s)
{
    _NrLufSkyN++;
    int result = 0;
    for (int i = 1; i <= s->nn; i++) {
        double d = i == 1 ? s->ad[1] : luf_sky_n_row(s, i);
        result |= pivot_test(d, PIVOT_TINY, i, "eqn", 6, __FILE__, __LINE__);
        s->ad[i] = 1.0 / d;
    }
    return result;
}

// Row i of L D L': reduce G(i,.) by the finished rows, then scale it by 1/D and
// return the pivot.
static double luf_sky_s_row(SKY_MAT* s, int i)
{
    int f = i - s->lal[i];
    for (int r = f + 1; r < i; r++) {
        if (s->lal[r] == 0)
            continue;
        int k0 = std::max(f, r - s->lal[r]);
        if (r > k0)
            *lower(s, i, r) -= ddot0(r - k0, lower(s, i, k0), lower(s, r, k0));
    }
    double sum = 0.0;
    for (int k = f; k < i; k++) {
        double* g = lower(s, i, k);
        double l = *g * s->ad[k];
        sum += l * *g;
        *g = l;
    }
    return s->ad[i] - sum;
}

void luf_sky_s(SKY_MAT* s)
{
    _NrLufSkyS++;
    for (int i = 1; i <= s->nn; i++) {
        double d = i == 1 ? s->ad[1] : luf_sky_s_row(s, i);
        pivot_test(d, PIVOT_TINY, i, "eqn", 8, __FILE__, __LINE__);
        s->ad[i] = 1.0 / d;
    }
}

// b[i] -= L(i,.) b over the stored rows 2..nn.
static void sky_forward(const SKY_MAT* s, double* b)
{
    for (int i = 2; i <= s->nn; i++)
        if (s->lal[i] > 0)
            b[i] -= ddot0(s->lal[i], &s->al[i][1], &b[i - s->lal[i]]);
}

void lus_sky_n(const SKY_MAT* s, double* b)
{
    _NrLusSkyN++;
    sky_forward(s, b);
    for (int i = s->nn; i >= 1; i--) {
        b[i] = b[i] * s->ad[i];
        if (s->lau[i] > 0)
            daxpy0(s->lau[i], &s->au[i][1], &b[i - s->lau[i]], -b[i]);
    }
}

void lus_sky_s(const SKY_MAT* s, double* b)
{
    _NrLusSkyS++;
    if (s->nn <= 0)
        return;
    sky_forward(s, b);
    dxy1(s->nn, &s->ad[1], &b[1]);
    for (int i = s->nn; i >= 1; i--)
        if (s->lal[i] > 0)
            daxpy0(s->lal[i], &s->al[i][1], &b[i - s->lal[i]], -b[i]);
}

static void dump_entry(FILE* out, int col, double v)
{
    if (v != 0.0)
        fprintf(out, " (%d %14.7e)", col, v);
}

void sky_dump(const SKY_MAT* s, FILE* out)
{
    if (!out)
        return;
    fprintf(out, "Skyline matrix (nn=%d):\n", s->nn);
    fprintf(out, "row:  A\n");
    for (int i = 1; i <= s->nn; i++) {
        fprintf(out, "%3d: ", i);
        for (int k = 1; k <= s->lal[i]; k++)
            dump_entry(out, i - s->lal[i] - 1 + k, s->al[i][k]);
        fprintf(out, " [%14.7e]", s->ad[i]);
        if (!s->sym)
            for (int j = i + 1; j <= s->nn; j++)
                if (j - s->lau[j] <= i)
                    dump_entry(out, j, *upper(s, i, j));
        fputc('\n', out);
    }
    fflush(out);
}

}  // namespace vexlar
