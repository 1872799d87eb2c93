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

// Row i of L and column i of U, then the pivot of row i. Row i of L is li[c] and column
// c of U is uc[r] in the offsets below (li[c - i] = L(i,c), uc[r] = U(r,c)); every inner
// product runs over the overlap of a stored row and a stored column. The entries of the
// row of L depend on each other in order, and so do those of the column of U, but the
// two sequences are independent (each reads only finished rows and columns): they are
// advanced side by side, so that the processor overlaps their chains of dependent
// operations. Every entry is formed exactly as when the row and the column are done one
// after the other.
static double luf_sky_n_row(SKY_MAT* s, int i)
{
    const int* lal = s->lal;
    const int* lau = s->lau;
    const int f = i - lal[i], g = i - lau[i];
    double* li = s->al[i] + (lal[i] + 1);   // li[c - i] = L(i,c)
    double* ui = s->au[i] + (lau[i] + 1);   // ui[r - i] = U(r,i)
    int c = f, r = g + 1;
    while (c < i || r < i) {
        if (c < i) {
            const int k0 = std::max(f, c - lau[c]);
            const double* uc = s->au[c] + (lau[c] + 1 - c);   // uc[k] = U(k,c)
            double dot = c > k0 ? ddot0(c - k0, &li[k0 - i], &uc[k0]) : 0.0;
            li[c - i] = (li[c - i] - dot) * s->ad[c];
            c++;
        }
        if (r < i) {
            if (lal[r] != 0) {
                const int k0 = std::max(g, r - lal[r]);
                const double* lr = s->al[r] + (lal[r] + 1 - r);   // lr[k] = L(r,k)
                double dot = r > k0 ? ddot0(r - k0, &lr[k0], &ui[k0 - i]) : 0.0;
                ui[r - i] = ui[r - i] - dot;
            }
            r++;
        }
    }
    const int k0 = std::max(f, g);
    return s->ad[i] - (i > k0 ? ddot0(i - k0, &li[k0 - i], &ui[k0 - i]) : 0.0);
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

// Row i of L D L' under way: gi[c - i] = G(i,c) over its envelope from column f.
struct LdlRow {
    int i, f;
    double* gi;
};

static LdlRow ldl_row(const SKY_MAT* s, int i) { return {i, i - s->lal[i], s->al[i] + (s->lal[i] + 1)}; }

// G(i,r) reduced by the finished row r (lr[k] = L(r,k)).
static void ldl_reduce(const SKY_MAT* s, const LdlRow& w, int r)
{
    const int lr_len = s->lal[r];
    if (lr_len == 0)
        return;
    const int k0 = std::max(w.f, r - lr_len);
    if (r > k0) {
        const double* lr = s->al[r] + (lr_len + 1 - r);
        w.gi[r - w.i] -= ddot0(r - k0, &w.gi[k0 - w.i], &lr[k0]);
    }
}

// The reduced row scaled by 1/D into L; the pivot is stored as its reciprocal.
static void ldl_finish(SKY_MAT* s, const LdlRow& w)
{
    const double* ad = s->ad;
    double sum = 0.0;
    for (int k = w.f; k < w.i; k++) {
        double g = w.gi[k - w.i];
        double l = g * ad[k];
        sum += l * g;
        w.gi[k - w.i] = l;
    }
    double d = s->ad[w.i] - sum;
    pivot_test(d, PIVOT_TINY, w.i, "eqn", 8, __FILE__, __LINE__);
    s->ad[w.i] = 1.0 / d;
}

// Row by row: reduce G(i,.) by the finished rows r = f+1 .. i-1 in order, then scale it
// by 1/D. Rows are taken in pairs i, j = i + 1: up to column i - 1 both rows read only
// rows finished before the pair, so their reductions are advanced side by side (the
// processor overlaps the two chains of dependent operations); row j then takes its
// reduction by row i once that row is finished. Every entry is formed exactly as when
// the rows are done one after the other.
void luf_sky_s(SKY_MAT* s)
{
    _NrLufSkyS++;
    const int n = s->nn;
    if (n < 1)
        return;
    pivot_test(s->ad[1], PIVOT_TINY, 1, "eqn", 8, __FILE__, __LINE__);
    s->ad[1] = 1.0 / s->ad[1];
    for (int i = 2; i <= n; i += 2) {
        const LdlRow a = ldl_row(s, i);
        if (i == n) {
            for (int r = a.f + 1; r < i; r++)
                ldl_reduce(s, a, r);
            ldl_finish(s, a);
            break;
        }
        const LdlRow b = ldl_row(s, i + 1);
        int ra = a.f + 1, rb = b.f + 1;
        while (ra < i || rb < i) {
            if (ra < i)
                ldl_reduce(s, a, ra++);
            if (rb < i)
                ldl_reduce(s, b, rb++);
        }
        ldl_finish(s, a);
        if (rb <= i)
            ldl_reduce(s, b, i);
        ldl_finish(s, b);
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
