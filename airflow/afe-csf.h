// Cubic-spline fits of tabulated curves (flow against pressure, pressure against flow,
// filter efficiency against particle diameter or loading): the fit made when the project
// is read, its check against the rules of the curve kind, and evaluation and inversion
// during the run. The curve element models themselves are declared in afe-sim.h.
#pragma once
#include "model/elements.h"

namespace vexlar {

// Curve kinds of CSFchk.
enum CsfEqType { CSF_AIRFLOW = 1, CSF_PARTICLE_FILTER = 2, CSF_GAS_FILTER = 3 };

// Fits b, c, d of every segment from x and y: 0, or 1 after an ERROR.
int CSFinit(int n, CsfPoint* pts);
// Logs the fit and checks it: 1 when a rule failed. flags and texts (one per segment) are
// optional outputs.
int CSFchk(const char* name, int n, const CsfPoint* pts, int eq_type, int* flags,
           const char** texts);
// y(x); y'(x) when dy is given, y''(x) when d2y is given too; seg caches the segment.
double CSFintrp(int n, const CsfPoint* pts, int* seg, double* dy, double* d2y, double x);
// x with y(x) = y_target on an increasing curve, from the x passed in: 0, or 1 on failure.
int CSFxofyB(int n, const CsfPoint* pts, int* seg, double* x, double* dy, double y_target);

}  // namespace vexlar
