// Row-indexed sparse matrices, the one storage format of every sparse system of the
// engine (airflow Jacobian, species transport systems): products with a vector, entry
// lookup, profile statistics, reduction of a build pattern to the stored pattern, and
// dumps to the log. Layout (1-based): sa[1..n] diagonal, ija[1..n+1] row starts
// (ija[1] = n + 2), entries k >= n + 2 hold a value in sa[k] and its column in ija[k].
#pragma once
#include <cstdio>

namespace vexlar {

void sa_mlt_xaab(const double* sa, const int* ija, const double* x, double* b, int n);  // b = A x
void sa_mlt_xatb(const double* sa, const int* ija, const double* x, double* b, int n);  // b = A'x
void sa_mlt_xasb(const double* sa, const int* ija, const double* x, double* b, int n);  // symmetric

// Index of the entry of row i in column j; 0 when row i holds no such column.
int sa_find(const int* ija, int i, int j);
// Index k in from..to-1 with cols[k] = c, cols ascending there; 0 when absent.
int col_find(const int* cols, int from, int to, int c);

// Bandwidth of the pattern's rows 1..n; the average profile goes to avg_out.
int ija_prfl(int n, const int* ijf, float* avg_out);

// Stored pattern from a build pattern: sym 1 keeps columns left of the diagonal,
// otherwise every column 1..n but the diagonal.
int ija_minset_count(const int* ijf, int n, int sym);
void ija_minset(const int* ijf, int* ija, int n, int sym);

void sa_show(int n, const int* ijf);
void sa_dump(const double* sa, const int* ija, int n, const char* name);

}  // namespace vexlar
