// The transport equations of a mass-fraction system: filled from the step's flows,
// sources, sinks and reactions, solved by the implicit (theta 1) or trapezoidal (theta 0.5)
// method or in steady balance, and written back into the nodes' mass fractions. The time
// loop solves the non-trace system in every density iteration and the trace system once
// per step.
#pragma once

namespace vexlar {

struct MF_MAT;
struct BlsRec;
struct DvrRec;
struct CssRec;
struct ExposureSrcRec;

// K and e of species start..end-1 from sources, sinks, emissions, reactions and path flows.
void findPolMassRates(MF_MAT* m, CssRec* css, BlsRec* bls, DvrRec* dvr, ExposureSrcRec* pxs,
                      int start, int end);
// A x = b of one step at the system's theta; first on the first solve of a step, when the
// explicit part is formed from the state the step starts from.
void formXportEqns_trapezoidal(MF_MAT* m, CssRec* css, BlsRec* bls, DvrRec* dvr,
                               ExposureSrcRec* pxs, int start, int end, bool first);
// A x = b of the steady balance K x + e = 0.
void formXportEqns_steadyState(MF_MAT* m);
// K, e, M and x of the state a run starts from.
void init_Mft(MF_MAT* m);
void init_Mfn(MF_MAT* m);
// One solve of a time step of the trace and the non-trace system; first is set on the
// first solve of a time step.
void solve_Mft(MF_MAT* m, bool first);
void solve_Mfn(MF_MAT* m, bool first);
// Steady solution of a system filled by init_Mfn/init_Mft, written back to the nodes.
void solve_Mf_steady(MF_MAT* m, int start, int end, bool nonTrace);
// Logs every node's mass fractions of start..end-1; checkNegativeMf then ends the run.
void logNodeMfs(int start, int end);
void checkNegativeMf(int start, int end);

}  // namespace vexlar
