// Linear solvers of the airflow Jacobian held in AF_MAT: symmetric skyline, dense
// elimination, or conjugate gradients with an incomplete-Cholesky preconditioner, as
// AF_MAT.slae selects. Called once per Newton iteration and by the linear start.
#pragma once
#include "airflow/mat-set.h"

namespace vexlar {

// Solves the nvar variable equations of m (right-hand side b, solution x; under the
// skyline and dense methods the known equations return their right-hand side). Returns
// the PCG iterations for the PCG method, else 0.
int solve_slae(AF_MAT* m);

}  // namespace vexlar
