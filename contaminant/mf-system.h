// One time step of a mass-fraction equation system: the transport equations of the step
// formed, solved and written back into the nodes' mass fractions. The time loop solves the
// non-trace system in every density iteration and the trace system once per step.
#pragma once

namespace vexlar {

struct MF_MAT;

// first is set on the first solve of a time step.
void solve_Mfn(MF_MAT* m, bool first);   // non-trace species
void solve_Mft(MF_MAT* m, bool first);   // trace species

}  // namespace vexlar
