// The stiff integrator's side of the combined species-mass system: the state mapping
// between the integrator's vector of species masses and the nodes and sinks, the
// right-hand side and Jacobian of that system, the features it cannot run, and the
// linear solver handed to the integrator: the engine's own nonsymmetric sparse solver
// (SASN) prepares and solves M = I - gamma J in the integrator's Newton iterations.
#pragma once
#include <cstdint>

#include <cvode/cvode.h>
#include <sundials/sundials_linearsolver.h>
#include <sundials/sundials_matrix.h>

namespace vexlar {

struct SASN;
struct BlsRec;
struct DvrRec;

// Jacobian of the right-hand side into jac (1-based arrays of the row-indexed pattern ija);
// y and f are the state and its derivative, 1-based. 0 success, > 0 recoverable failure,
// < 0 unrecoverable.
typedef int (*VXCV_JAC_FN)(const double* y, const double* f, int neq, int nvar, int nnz,
                           const int32_t* ija, double* jac, double t);

// The linear-solver data handed to the integrator.
struct JacIntfc {
    int32_t neq;
    int32_t nvar;
    int32_t nnz;
    int32_t* ija;          // pattern of the combined system
    double* jac;           // Jacobian store (the system's K)
    double* sysmat;        // iteration matrix I - gamma J (the system's A)
    SASN* sasn;            // solver of the combined system
    double* x;             // solution vector of the linear solver (the system's x)
    VXCV_JAC_FN jac_fcn;   // none until set
    int64_t jac_eval_ct;   // Jacobian evaluations since the solver's initialisation
    SUNMatrix mat;         // the integrator's view of the iteration matrix (a shell)
    SUNLinearSolver ls;    // the integrator's view of the solver
};

int vxcv_jacIntfc_configure(JacIntfc* ji, int neq, int nvar, int nnz, int32_t* ija,
                            double* jac, double* sysmat, SASN* sasn, double* x);
void vxcv_jacIntfc_setJacFcn(JacIntfc* ji, VXCV_JAC_FN fn);
int64_t vxcv_jacIntfc_getJacEvalCt(const JacIntfc* ji);
void vxcv_jacIntfc_free(JacIntfc* ji);
// Installs the error handler and the engine's linear solver in the integrator; y is the
// integrator's state vector, whose operations the solver relies on. 0 on success.
int vxcv_jacIntfc_pushToCvode(void* cvodeMem, N_Vector y, JacIntfc* ji, SUNContext ctx);

// The integrator's error handler: warnings as WARNING, everything else FATAL.
void vxcv_callback_reportError(int code, const char* module, const char* function, char* msg,
                               void* userData);

}  // namespace vexlar
