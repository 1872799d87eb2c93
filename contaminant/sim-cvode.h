// The stiff integrator's side of the combined species-mass system: the state mapping
// between the integrator's vector of species masses and the nodes and sinks, the
// right-hand side and Jacobian of that system, the features it cannot run, and the
// linear solver handed to the integrator: the engine's own nonsymmetric sparse solver
// (SASN) prepares and solves M = I - gamma J in the integrator's Newton iterations.
#pragma once
#include <cstdint>

#include <cvodes/cvodes.h>
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
    void* cvode_mem;       // the integrator the solver serves
    double gamma_setup;    // gamma of the last set-up
    bool scale_bdf;        // BDF: the solver scales the correction when gamma has moved
};

int vxcv_jacIntfc_configure(JacIntfc* ji, int neq, int nvar, int nnz, int32_t* ija,
                            double* jac, double* sysmat, SASN* sasn, double* x);
void vxcv_jacIntfc_setJacFcn(JacIntfc* ji, VXCV_JAC_FN fn);
int64_t vxcv_jacIntfc_getJacEvalCt(const JacIntfc* ji);
void vxcv_jacIntfc_free(JacIntfc* ji);
// Installs the error handler and the engine's linear solver in the integrator; y is the
// integrator's state vector, whose operations the solver relies on, and whose entries past
// the system's equations the solver leaves to themselves; bdf: the integrator's method is
// BDF. 0 on success.
int vxcv_jacIntfc_pushToCvode(void* cvodeMem, N_Vector y, JacIntfc* ji, SUNContext ctx, bool bdf);

// True, after an ERROR and a NOTE naming the setting to change for each, when the project
// uses a feature the integrator cannot run.
bool cvodeIsExcluded();
// The ERROR and NOTE of a co-simulation peer, which the integrator does not take.
void cvodeRefusePeer();
// Species masses of species start..end-1 of the variable nodes and of the sinks into y.
void getNodeSpeciesMasses(double* y, const BlsRec* bls, const DvrRec* dvr, int start, int end);
// Node mass fractions, air masses (from the non-trace species start..ntr-1) and sink
// loadings from the species masses y, written into x as well.
void setNodeConcs_fromSpeciesMasses(const double* y, double* x, BlsRec* bls, DvrRec* dvr,
                                    int start, int ntr, int end);
// The nodes at the state y: their mixture gas constants and gas-law air masses from their
// non-trace mass fractions, as after an implicit non-trace solve (nothing without
// non-trace species). When a variable node's air mass is then off the sum of its non-trace
// masses in y by more than rtol, the first non-trace species of every variable node takes
// up the difference in y, the nodes and x follow y, and true is returned: the integrator
// must restart from y.
bool nodesFollowGasLaw(double* y, double* x, double rtol);
// Whether nodesFollowGasLaw would change y: the nodes take their gas constants and gas-law
// air masses, y is left as it is.
bool nodesOffGasLaw(const double* y, double rtol);
// Ends the run (FATAL, with every node's mass fractions in the log) when a variable node's
// mass fraction is not finite or lies outside [-noise, 1 + noise]. The noise is the larger
// of the system's cutoff and rtol times the scale (below 0, the species' largest mass
// fraction at any node; above 1, the mixture's 1), plus atol as a share of the node's air
// mass.
void checkNodeMfBounds(double rtol, double atol);
// Zeroes the derivatives of fixed equations; a variable node without volume is FATAL.
void adjustNodeSpeciesMassDerivs(double* ydot, int start, int end);
// Right-hand side ydot = f(t, y) of the combined system _MFn_mem.
int vxcv_derivFcn(double t, N_Vector y, N_Vector ydot, void* userData);
// Jacobian of vxcv_derivFcn: K of its last evaluation scaled column by column, in place.
int vxcv_jacFcn(const double* y, const double* f, int neq, int nvar, int nnz,
                const int32_t* ija, double* jac, double t);

// The integrator's error handler: warnings as WARNING, everything else FATAL.
void vxcv_callback_reportError(int code, const char* module, const char* function, char* msg,
                               void* userData);

}  // namespace vexlar
