// Vector kernels of the linear solvers. The grouping of the sums (four products added
// left to right, the group added to the total, then the 1 to 3 leftovers one by one)
// is part of their definition: the factorisations and their pivots depend on it.
#include "solvers/blas-1-like.h"

namespace vexlar {

// Sum of x[k]*y[k] for k = 0..n-1 in groups of four.
static double grouped_dot(int n, const double* x, const double* y)
{
    double sum = 0.0;
    int k = 0;
    for (; k + 4 <= n; k += 4)
        sum += x[k] * y[k] + x[k + 1] * y[k + 1] + x[k + 2] * y[k + 2] + x[k + 3] * y[k + 3];
    for (; k < n; k++)
        sum += x[k] * y[k];
    return sum;
}

double ddot0(int n, const double* x, const double* y)
{
    return n > 0 ? grouped_dot(n, x, y) : 0.0;
}

double dsqr1(int n, const double* x)
{
    return n > 0 ? grouped_dot(n, x + 1, x + 1) : 0.0;
}

void dxy1(int n, const double* x, double* y)
{
    for (int k = 0; k < n; k++)
        y[k] = y[k] * x[k];
}

void daxpy0(int n, const double* x, double* y, double a)
{
    for (int k = 0; k < n; k++)
        y[k] = y[k] + a * x[k];
}

void daypx1(int n, const double* x, double* y, double a)
{
    for (int i = 1; i <= n; i++)
        y[i] = a * y[i] + x[i];
}

}  // namespace vexlar
