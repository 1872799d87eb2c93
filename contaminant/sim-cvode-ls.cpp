// The engine's linear solver plugged into the stiff integrator. The integrator sees a
// shell matrix and a direct solver whose content is the JacIntfc: its linear-system
// function evaluates the Jacobian and forms M = I - gamma J in the combined system's
// A, the solver's set-up factorises M with the system's SASN and its solution solves
// M x = b. Entries of the integrator's state past the system's equations (the summary's
// books, whose rates no equation depends on) take their residual as their Newton step:
// their own rows of M are those of I, and what their rates owe the equations' correction
// is left out, so that each iteration leaves them at the formula's value for the iterate
// before it, a correction within the Newton tolerance. The BDF correction of the system's
// equations is scaled by 2 / (1 + gamrat) when gamma has changed since the last set-up,
// here rather than by the integrator, which would scale the books' steps too.
#include <cstring>
#include <string>

#include <cvodes/cvodes_ls.h>
#include <nvector/nvector_serial.h>

#include "common-src/messages.h"
#include "contaminant/sim-cvode-int.h"
#include "solvers/sparse-mat-slv-nonsym.h"

namespace vexlar {

int vxcv_jacIntfc_configure(JacIntfc* ji, int neq, int nvar, int nnz, int32_t* ija,
                            double* jac, double* sysmat, SASN* sasn, double* x)
{
    ji->neq = neq;
    ji->nvar = nvar;
    ji->nnz = nnz;
    ji->ija = ija;
    ji->jac = jac;
    ji->sysmat = sysmat;
    ji->sasn = sasn;
    ji->x = x;
    ji->jac_fcn = nullptr;
    ji->jac_eval_ct = 0;
    return 0;
}

void vxcv_jacIntfc_setJacFcn(JacIntfc* ji, VXCV_JAC_FN fn) { ji->jac_fcn = fn; }

int64_t vxcv_jacIntfc_getJacEvalCt(const JacIntfc* ji) { return ji->jac_eval_ct; }

// Releases the integrator's views of the solver; the arrays belong to the system.
static void releaseViews(JacIntfc* ji)
{
    if (ji->ls) {
        SUNLinSolFreeEmpty(ji->ls);
        ji->ls = nullptr;
    }
    if (ji->mat) {
        SUNMatFreeEmpty(ji->mat);
        ji->mat = nullptr;
    }
}

void vxcv_jacIntfc_free(JacIntfc* ji)
{
    if (!ji) return;
    releaseViews(ji);
    ji->ija = nullptr;
    ji->jac = nullptr;
    ji->sysmat = nullptr;
    ji->sasn = nullptr;
    ji->x = nullptr;
}

static JacIntfc* intfcOf(SUNLinearSolver ls) { return static_cast<JacIntfc*>(ls->content); }

int vxcv_callback_init(SUNLinearSolver ls)
{
    intfcOf(ls)->jac_eval_ct = 0;
    return SUNLS_SUCCESS;
}

int vxcv_callback_prepSys(double t, N_Vector ypred, N_Vector fpred, SUNMatrix A, int, int* jcur,
                          double gamma, void*, N_Vector, N_Vector, N_Vector)
{
    JacIntfc* ji = static_cast<JacIntfc*>(A->content);
    ji->jac_eval_ct++;
    ji->gamma_setup = gamma;
    *jcur = SUNTRUE;   // the Jacobian is evaluated at every set-up
    int r = ji->jac_fcn(N_VGetArrayPointer(ypred) - 1, N_VGetArrayPointer(fpred) - 1, ji->neq,
                        ji->nvar, ji->nnz, ji->ija, ji->jac, t);
    if (r < 0)
        error(FATAL, __FILE__, __LINE__, "The Jacobian routine failed in an unrecoverable manner.", "");
    if (r > 0) return 1;
    for (int k = 1; k <= ji->nnz; k++) ji->sysmat[k] = -gamma * ji->jac[k];
    for (int i = 1; i <= ji->neq; i++) ji->sysmat[i] += 1.0;
    return 0;
}

int vxcv_callback_factor(SUNLinearSolver ls, SUNMatrix)
{
    JacIntfc* ji = intfcOf(ls);
    return sasn_prepMat(ji->sasn, ji->sysmat) ? SUNLS_LUFACT_FAIL : SUNLS_SUCCESS;
}

// The solve starts from b (fixed entries 0: the correction of a fixed equation is 0), not
// from whatever the solution vector last held, so that the direct method's known values
// and the iterative methods' first guess are those of this system.
int vxcv_callback_solveSys(SUNLinearSolver ls, SUNMatrix, N_Vector x, N_Vector b, double)
{
    JacIntfc* ji = intfcOf(ls);
    double* bb = N_VGetArrayPointer(b) - 1;
    std::memcpy(&ji->x[1], &bb[1], sizeof(double) * (size_t)ji->nvar);
    for (int i = ji->nvar + 1; i <= ji->neq; i++) ji->x[i] = 0.0;
    int r = sasn_solve(ji->sasn, bb, ji->x);
    if (r > 0) return SUNLS_PACKAGE_FAIL_REC;
    if (r < 0) return SUNLS_PACKAGE_FAIL_UNREC;
    double* xx = N_VGetArrayPointer(x) - 1;
    for (int i = ji->nvar + 1; i <= ji->neq; i++) xx[i] = bb[i];
    std::memcpy(&xx[1], &ji->x[1], sizeof(double) * (size_t)ji->nvar);
    double gamma = ji->gamma_setup;
    if (ji->scale_bdf && CVodeGetCurrentGamma(ji->cvode_mem, &gamma) != CV_SUCCESS) return SUNLS_PACKAGE_FAIL_UNREC;
    double gamrat = gamma / ji->gamma_setup;
    if (gamrat != 1.0)
        for (int i = 1; i <= ji->neq; i++) xx[i] *= 2.0 / (1.0 + gamrat);
    for (sunindextype i = ji->neq + 1, n = N_VGetLength(x); i <= n; i++) xx[i] = bb[i];
    return SUNLS_SUCCESS;
}

int vxcv_callback_free(SUNLinearSolver ls)
{
    // The views are owned by the JacIntfc and released with it.
    (void)ls;
    return SUNLS_SUCCESS;
}

static SUNLinearSolver_Type directType(SUNLinearSolver) { return SUNLINEARSOLVER_DIRECT; }
static SUNLinearSolver_ID customId(SUNLinearSolver) { return SUNLINEARSOLVER_CUSTOM; }
static SUNMatrix_ID customMatId(SUNMatrix) { return SUNMATRIX_CUSTOM; }

// The integrator may keep a copy of the matrix; a copy of the shell is another view of
// the same system, freed empty.
static SUNMatrix cloneShell(SUNMatrix A)
{
    SUNMatrix c = SUNMatNewEmpty(A->sunctx);
    if (!c) return nullptr;
    SUNMatCopyOps(A, c);
    c->content = A->content;
    return c;
}

static void destroyShell(SUNMatrix A)
{
    if (A) SUNMatFreeEmpty(A);
}

void vxcv_callback_reportError(int code, const char*, const char* function, char* msg, void*)
{
    std::string text = std::string("CVODE fcn ") + (function ? function : "") + ": " + (msg ? msg : "");
    error(code == CV_WARNING ? WARNING : FATAL, __FILE__, __LINE__, text.c_str(), "");
}

int vxcv_jacIntfc_pushToCvode(void* cvodeMem, N_Vector y, JacIntfc* ji, SUNContext ctx, bool bdf)
{
    if (CVodeSetErrHandlerFn(cvodeMem, vxcv_callback_reportError, nullptr) != CV_SUCCESS)
        error(ERROR, __FILE__, __LINE__, "Unable to set CVODE error handler", "");
    if (!y->ops->nvgetarraypointer || !y->ops->nvsetarraypointer)
        error(FATAL, __FILE__, __LINE__, "A required vector operation is not implemented.", "");
    releaseViews(ji);
    ji->mat = SUNMatNewEmpty(ctx);
    ji->ls = SUNLinSolNewEmpty(ctx);
    if (!ji->mat || !ji->ls) {
        releaseViews(ji);
        return -1;
    }
    ji->mat->content = ji;
    ji->mat->ops->getid = customMatId;
    ji->mat->ops->clone = cloneShell;
    ji->mat->ops->destroy = destroyShell;
    ji->ls->content = ji;
    ji->ls->ops->gettype = directType;
    ji->ls->ops->getid = customId;
    ji->ls->ops->initialize = vxcv_callback_init;
    ji->ls->ops->setup = vxcv_callback_factor;
    ji->ls->ops->solve = vxcv_callback_solveSys;
    ji->ls->ops->free = vxcv_callback_free;
    if (CVodeSetLinearSolver(cvodeMem, ji->ls, ji->mat) != CVLS_SUCCESS) return -1;
    if (CVodeSetLinSysFn(cvodeMem, vxcv_callback_prepSys) != CVLS_SUCCESS)
        return -1;
    ji->cvode_mem = cvodeMem;
    ji->gamma_setup = 1.0;
    ji->scale_bdf = bdf;
    if (bdf && CVodeSetLinearSolutionScaling(cvodeMem, SUNFALSE) != CVLS_SUCCESS) return -1;
    return 0;
}

}  // namespace vexlar
