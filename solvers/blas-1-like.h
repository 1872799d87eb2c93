// Double-precision vector kernels shared by every solver of the engine. Sums are taken
// in groups of four in a fixed order, so that results do not depend on the compiler.
// Kernels with suffix 0 (and dxy1) take the address of the first element; suffix 1
// kernels take 1-based vectors. Nothing happens for n <= 0.
#pragma once

namespace vexlar {

double ddot0(int n, const double* x, const double* y);   // sum x[k]*y[k], k = 0..n-1
double dsqr1(int n, const double* x);                    // sum x[i]^2, i = 1..n
void dxy1(int n, const double* x, double* y);            // y[k] *= x[k], k = 0..n-1
void daxpy0(int n, const double* x, double* y, double a);  // y[k] += a*x[k], k = 0..n-1
void daypx1(int n, const double* x, double* y, double a);  // y[i] = a*y[i] + x[i], i = 1..n

}  // namespace vexlar
