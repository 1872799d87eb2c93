// Private to the stiff-integrator files: the linear-solver callbacks the integrator calls
// through the shell matrix and the custom solver object.
#pragma once
#include "contaminant/sim-cvode.h"

namespace vexlar {

// Solver initialisation: clears the Jacobian evaluation count.
int vxcv_callback_init(SUNLinearSolver ls);
// Set-up of the iteration matrix at the predicted state: the Jacobian, then I - gamma J.
int vxcv_callback_prepSys(double t, N_Vector ypred, N_Vector fpred, SUNMatrix A, int jok,
                          int* jcur, double gamma, void* userData, N_Vector w1, N_Vector w2,
                          N_Vector w3);
// Factorisation of the iteration matrix by the engine's solver.
int vxcv_callback_factor(SUNLinearSolver ls, SUNMatrix A);
// Solution of (I - gamma J) x = b.
int vxcv_callback_solveSys(SUNLinearSolver ls, SUNMatrix A, N_Vector x, N_Vector b, double tol);
int vxcv_callback_free(SUNLinearSolver ls);

}  // namespace vexlar
