// Row-indexed sparse matrices: products, lookup, profile and bandwidth statistics, the
// minimal stored pattern, and the character map and value dump written to the log.
// Every function works on caller-owned 1-based arrays; only sa_show keeps two static
// row buffers.
#include "solvers/sparse-mat.h"

#include <cstdint>
#include <cstring>

#include "common-src/messages.h"

namespace vexlar {

void sa_mlt_xaab(const double* sa, const int* ija, const double* x, double* b, int n)
{
    for (int i = 1; i <= n; i++) {
        double bi = sa[i] * x[i];
        for (int k = ija[i]; k < ija[i + 1]; k++)
            bi += sa[k] * x[ija[k]];
        b[i] = bi;
    }
}

void sa_mlt_xatb(const double* sa, const int* ija, const double* x, double* b, int n)
{
    for (int i = 1; i <= n; i++)
        b[i] = sa[i] * x[i];
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++)
            b[ija[k]] += sa[k] * x[i];
}

void sa_mlt_xasb(const double* sa, const int* ija, const double* x, double* b, int n)
{
    for (int i = 1; i <= n; i++)
        b[i] = sa[i] * x[i];
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int j = ija[k];
            b[i] += sa[k] * x[j];
            b[j] += sa[k] * x[i];
        }
}

int col_find(const int* cols, int from, int to, int c)
{
    int low = from, high = to - 1;
    while (low <= high) {
        int cur = low + (high - low) / 2;
        if (cols[cur] == c)
            return cur;
        if (c > cols[cur])
            low = cur + 1;
        else
            high = cur - 1;
    }
    return 0;
}

int sa_find(const int* ija, int i, int j)
{
    return col_find(ija, ija[i], ija[i + 1], j);
}

// The profile sum grows like n^2 for a badly numbered system: it is kept in 64 bits.
int ija_prfl(int n, const int* ijf, float* avg_out)
{
    int band = 0;
    int64_t sum = 0;
    for (int i = 1; i <= n; i++) {
        int e = 0;
        for (int k = ijf[i]; k < ijf[i + 1]; k++)
            if (i - ijf[k] > e)
                e = i - ijf[k];
        sum += e;
        if (e > band)
            band = e;
    }
    *avg_out = n > 0 ? (float)sum / (float)n : 0.0f;
    ulog_printf("      Average Profile: %.2f\n", *avg_out);
    ulog_printf("            Bandwidth: %d\n", band);
    return band;
}

static bool minset_keeps(int c, int i, int n, int sym)
{
    return c < i || (c > i && c <= n && sym != 1);
}

int ija_minset_count(const int* ijf, int n, int sym)
{
    int kept = 0;
    for (int i = 1; i <= n; i++)
        for (int k = ijf[i]; k < ijf[i + 1]; k++)
            if (minset_keeps(ijf[k], i, n, sym))
                kept++;
    return n + 1 + kept;
}

void ija_minset(const int* ijf, int* ija, int n, int sym)
{
    int next = n + 2;
    for (int i = 1; i <= n; i++) {
        ija[i] = next;
        for (int k = ijf[i]; k < ijf[i + 1]; k++)
            if (minset_keeps(ijf[k], i, n, sym))
                ija[next++] = ijf[k];
    }
    ija[n + 1] = next;
}

static void show_ruler(int n)
{
    for (int p = 0; p <= n + 1; p++)
        fputc(p % 10 == 0 ? '+' : '-', _ulog);
}

// One line of the map: borders, diagonal and pattern as '*', then '+' for the fill
// left of the diagonal (after the first '*') and below every column's top entry.
static void show_row(int i, int n, const int* ijf, char* line, const char* prev)
{
    memset(line, ' ', (size_t)n + 2);
    line[0] = line[n + 1] = (i % 10 == 0) ? '+' : '|';
    line[i] = '*';
    for (int k = ijf[i]; k < ijf[i + 1]; k++)
        if (ijf[k] >= 1 && ijf[k] <= n)
            line[ijf[k]] = '*';
    int first = 1;
    while (line[first] != '*')
        first++;
    for (int p = first + 1; p < i; p++)
        if (line[p] == ' ')
            line[p] = '+';
    for (int p = i + 1; p <= n; p++)
        if (line[p] != '*' && prev[p] != ' ')
            line[p] = '+';
}

void sa_show(int n, const int* ijf)
{
    static char rowbuf[2][4096];
    if (n < 0 || n > 4094 || !_ulog)
        return;
    fputc('\n', _ulog);
    show_ruler(n);
    fputc('\n', _ulog);
    char* prev = rowbuf[0];
    char* line = rowbuf[1];
    memset(prev, ' ', (size_t)n + 2);
    int nonzero = 0, fill = 0;
    for (int i = 1; i <= n; i++) {
        show_row(i, n, ijf, line, prev);
        fwrite(line, 1, (size_t)n + 2, _ulog);
        fputc('\n', _ulog);
        for (int p = 1; p <= n; p++) {
            nonzero += line[p] == '*';
            fill += line[p] == '+';
        }
        char* t = prev;
        prev = line;
        line = t;
    }
    show_ruler(n);
    fputs("\n\n", _ulog);
    fprintf(_ulog, "%d by %d matrix, %d non-zeroes, %d fill\n\n", n, n, nonzero, fill);
}

void sa_dump(const double* sa, const int* ija, int n, const char* name)
{
    if (!_ulog)
        return;
    fprintf(_ulog, "Sparse array '%s' (rowCt=%d):\n", name, n);
    fprintf(_ulog, "row: (col el)+ [diag el] (col el)+\n");
    for (int i = 1; i <= n; i++) {
        fprintf(_ulog, "%d:", i);
        int k = ija[i];
        for (; k < ija[i + 1] && ija[k] < i; k++)
            fprintf(_ulog, " (%d %12.5e)", ija[k], sa[k]);
        fprintf(_ulog, " [%14.7e]", sa[i]);
        for (; k < ija[i + 1]; k++)
            fprintf(_ulog, " (%d %12.5e)", ija[k], sa[k]);
        fputc('\n', _ulog);
    }
    fflush(_ulog);
}

}  // namespace vexlar
