// The airflow equation system of the run (AF_MAT): equation numbering of the airflow
// nodes, the sparse pattern of the symmetric Jacobian, value and vector storage, the
// work storage of the chosen linear method and the Newton settings. Set up once after
// the network is built (af_mat_set) and freed at the end of the run (af_mat_fre).
#pragma once
#include <cstdint>
#include "common-src/memory.h"
#include "solvers/sky-mat.h"
#include "solvers/solv-se.h"

namespace vexlar {

// Linear methods of the airflow Jacobian (AF_MAT.slae, run-control af_slae).
constexpr int AF_SLAE_SKYLINE = 0;
constexpr int AF_SLAE_PCG = 1;
constexpr int AF_SLAE_DENSE = 2;

// Newton methods (AF_MAT.newton, run-control af_newton); any other value: flows only.
constexpr int AF_NEWTON_RELAX = 0;
constexpr int AF_NEWTON_TRUST = 1;

struct AF_MAT {
    int32_t neq;          // equations = airflow nodes, the ambient node included
    int32_t nnz;          // stored entries of the symmetric pattern (size of ija and sa)
    int32_t nvar;         // variable-pressure equations, numbered 1..nvar
    int32_t newton;       // Newton method; -1 when there is no variable node
    int32_t itmax;        // Newton iteration limit
    float abscnvg;        // twice the run-control absolute convergence (logged only)
    float relcnvg;        // relative convergence of the node test
    float relax;          // under-relaxation factor
    int32_t symmetric;    // always 1
    int32_t slae;         // linear method
    int32_t pcg_itmax;    // PCG iteration limit: airflow nodes + 10
    float pcg_cnvg;       // PCG convergence
    int32_t* ija;         // stored pattern (diagonal and entries left of it), 1..nnz
    double* sa;           // values of the stored entries, 1..nnz
    double* b;            // right-hand side, 1..neq
    double* x;            // solution, 1..neq
    double *p, *pp, *r, *rr, *z, *zz;  // PCG work vectors, 1..nvar
    double** aa;          // dense matrix 1..nvar x 1..nvar
    SKY_MAT sky;          // skyline matrix of the nvar variable equations
    IC_SET ic;            // incomplete-Cholesky factor of the PCG method
};

extern AF_MAT* _AF_mat;   // the airflow system of the run (owned by the program entry)

// One cell of a per-row, ascending column list used while a sparse pattern is built.
struct AColCell {
    AColCell* next;
    int32_t col;
};

void af_mat_set(AF_MAT* m);
AF_MAT* af_mat_fre(AF_MAT* m);

// Inserts column col into the ascending list of row `row` (cells from `pool`, tag
// "spcol"); returns 1 when the column was added, 0 when it was already there.
int acolset(AColCell** heads, MemBlock** pool, int row, int col);
// The full build pattern (tag "ijf", row starts 1..n+1, each row's columns ascending)
// of the n row lists holding `entries` cells in all; its length is n + 1 + entries.
int32_t* acol_ijf(AColCell* const* heads, int n, int entries);

}  // namespace vexlar
