// Time step of the mass-fraction systems. The time loop calls these in their final shape;
// their bodies come with the implicit contaminant transport, whose owner fills them. Until
// then a step leaves the mass fractions as they are.
#include "contaminant/mf-system.h"

namespace vexlar {

void solve_Mfn(MF_MAT*, bool) {}
void solve_Mft(MF_MAT*, bool) {}

}  // namespace vexlar
