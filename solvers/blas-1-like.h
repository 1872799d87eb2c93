// Double-precision vector kernels shared by every solver of the engine. Sums are taken
// in groups of four in a fixed order, so that results do not depend on the compiler.
// Kernels with suffix 0 (and dxy1) take the address of the first element; suffix 1
// kernels take 1-based vectors. Nothing happens for n <= 0.
// The grouping of the sums (four products added left to right, the group added to the
// total, then the 1 to 3 leftovers one by one) is part of their definition: the
// factorisations and their pivots depend on it. The kernels the factorisations call in
// their innermost loops are defined here, so that those short calls are inlined.
#pragma once

namespace vexlar {

// Sum x[k]*y[k], k = 0..n-1, in groups of four; 0 for n <= 0.
inline double ddot0(int n, const double* x, const double* y)
{
    double sum = 0.0;
    int k = 0;
    for (; k + 4 <= n; k += 4)
        sum += x[k] * y[k] + x[k + 1] * y[k + 1] + x[k + 2] * y[k + 2] + x[k + 3] * y[k + 3];
    for (; k < n; k++)
        sum += x[k] * y[k];
    return sum;
}

// y[k] += a*x[k], k = 0..n-1.
inline void daxpy0(int n, const double* x, double* y, double a)
{
    for (int k = 0; k < n; k++)
        y[k] = y[k] + a * x[k];
}

double dsqr1(int n, const double* x);                    // sum x[i]^2, i = 1..n
void dxy1(int n, const double* x, double* y);            // y[k] *= x[k], k = 0..n-1
void daypx1(int n, const double* x, double* y, double a);  // y[i] = a*y[i] + x[i], i = 1..n

}  // namespace vexlar
