// Mass-fraction equation systems: the non-trace, the trace or the combined species system
// of a run, numbered, patterned and configured with its solver once after the network is
// built; its values are refilled and solved at every step (contaminant/mf-system.h).
#pragma once
#include <cstdint>

#include "solvers/sparse-mat-slv-nonsym.h"

namespace vexlar {

struct BlsRec;
struct DvrRec;

// One mass-fraction equation system. Each equation balances d(M x)/dt = K x + e; variable
// equations come first (1..nvar), the fixed-mass-fraction zones after them (..neq).
struct MF_MAT {
    int32_t nvar;   // variable equations
    int32_t neq;    // equations
    int32_t nnz;    // stored entries of the nonsymmetric pattern
    int32_t* ija;   // row-indexed pattern, 1..nnz
    double* K;      // rate coefficients [kg/s], 1..nnz
    double* e;      // generation [kg/s], 1..neq
    float theta;    // time weighting: 1 implicit, 0.5 trapezoidal
    double* A;      // system matrix, 1..nnz
    double* b;      // right-hand side, 1..neq
    double* M;      // mass basis of each equation [kg], 1..neq
    double* x;      // mass fractions and sink loadings, 1..neq
    double* ic;     // explicit part of the time-weighted equations, 1..neq
    double* rate;   // theta < 1: K x + e of the last solve, for the next step's explicit part
    SASN sasn;      // solver state
};

extern MF_MAT* _MFn_mem;   // non-trace (or combined) system, owned by main
extern MF_MAT* _MFt_mem;   // trace system, owned by main

void mf_mem_set(MF_MAT* m, BlsRec* bls, DvrRec* dvr, int start, int end, bool reorder,
                float theta, float relcnvg, float cutoff, float relax, int method, int itmax);
void mf_mem_fre(MF_MAT* m);

}  // namespace vexlar
