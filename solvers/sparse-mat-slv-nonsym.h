// Nonsymmetric sparse solver behind every species transport system and the combined
// system of the stiff integrator: skyline LU, biconjugate gradient, SOR or dense LU,
// chosen once at configuration. Direct methods and SOR solve the nvar variable
// equations with the known values moved to the right-hand side; the biconjugate
// gradient works on all neq equations (fixed ones are identity rows).
#pragma once
#include "solvers/sky-mat.h"

namespace vexlar {

enum { SASN_SKYLINE = 0, SASN_BCG = 1, SASN_SOR = 2, SASN_DENSE = 3, SASN_NONE = 4 };

struct SASN {
    int neq;          // equations, variable first, fixed last
    int nvar;         // variable equations
    int nnz;          // length of ija and of the value arrays
    int* ija;         // row-indexed pattern of all neq rows, owned by the system
    double* sa;       // values last handed to sasn_prepMat, owned by the caller
    int method;       // SASN_SKYLINE .. SASN_NONE
    int itmax;        // SOR sweeps; neq + 10 for the biconjugate gradient
    float relcnvg;    // relative convergence of the iterative methods
    float cutoff;     // BCG: solution values at or below this are not checked
    float relax;      // SOR relaxation factor
    SKY_MAT sky;      // method 0
    double* work;     // method 1: p, pp, r, rr, z, zz (6 neq); method 2: relax / diagonal
    double** aa;      // method 3: dense [1..nvar][1..nvar]
    double* rscale;   // method 1: 1 / diagonal of each row, kept for further right-hand sides
    int scaled;       // method 1: sa holds the row-scaled values of the last preparation
};

void sasn_newInit(SASN* s);
void sasn_configure(SASN* s, int neq, int nvar, int nnz, int* ija, int method, float relcnvg,
                    float cutoff, float relax, int itmax);
int sasn_prepMat(SASN* s, double* sa);
int sasn_solve(SASN* s, double* b, double* x);
void sasn_free(SASN* s);

}  // namespace vexlar
