// Vector kernels of the linear solvers that are not called from innermost loops; the
// dot product and the update the factorisations use are inline in the header.
#include "solvers/blas-1-like.h"

namespace vexlar {

double dsqr1(int n, const double* x)
{
    return ddot0(n, x + 1, x + 1);
}

void dxy1(int n, const double* x, double* y)
{
    for (int k = 0; k < n; k++)
        y[k] = y[k] * x[k];
}

void daypx1(int n, const double* x, double* y, double a)
{
    for (int i = 1; i <= n; i++)
        y[i] = a * y[i] + x[i];
}

}  // namespace vexlar
