// Simultaneous linear equations: the pivot test every factorisation shares, dense LU
// without pivoting (airflow dense method, species dense method, age-of-air systems),
// and conjugate gradients preconditioned by an incomplete Cholesky factor for the
// symmetric airflow Jacobian.
#pragma once

#include <cmath>

namespace vexlar {

constexpr double PIVOT_TINY = 2.220446049250313e-16;    // 2^-52
constexpr double SOR_TINY = 1.1920928955078125e-7;      // 2^-23

// |d| < tiny: FATAL "Zero on the diagonal, <what> <i>" when d is exactly 0, otherwise
// a counted ERROR "Near zero on the diagonal, <what> <i>" followed, for width > 0, by
// d's single-precision value in %<width>g. Returns 1 after the ERROR, else 0.
// The test is inline, since every row of every factorisation makes it; the reports are
// not.
int pivot_report(double d, int i, const char* what, int width, const char* file, int line);
inline int pivot_test(double d, double tiny, int i, const char* what, int width, const char* file,
                      int line)
{
    return std::fabs(d) < tiny ? pivot_report(d, i, what, width, file, line) : 0;
}

int luf_ge(double** a, int n);                 // a = L U in place, 1 / U(i,i) on the diagonal
void lus_ge(double** a, double* b, int n);     // b = solution
void ge_dump(double** a, int n, const char* name);

// Incomplete Cholesky factor of the first ic_n rows of a symmetric stored pattern, no
// fill-in: upper factor by rows (iu, ju, au), its transpose (il, jl, al), ad the
// inverse square roots of the pivots; t1, j1, j2 work storage of the factorisation.
struct IC_SET {
    int ic_n, ic_nnz;
    int *iu, *ju, *il, *jl;
    double *ad, *au, *al;
    int *utol, *atou;   // upper entry -> its lower place; upper entry -> its sa index
    double* t1;
    int *j1, *j2;
};

// Builds the set from the full build pattern ijf and the stored symmetric pattern ija.
void ssm_alc(IC_SET* ic, const int* ijf, const int* ija, int nvar);
void ssm_fre(IC_SET* ic);
void ssm_icf(IC_SET* ic, const double* sa);
// Solves the first ic_n equations with x as the first guess; p, r, z, zz are work
// vectors [1..ic_n]. Returns the iterations (0 for a zero right-hand side).
int sa_pcg(IC_SET* ic, const double* sa, const int* ija, const double* b, double* x,
           double* p, double* r, double* z, double* zz, int itmax, float cnvg);

}  // namespace vexlar
