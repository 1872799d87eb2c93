// The short-time-step transport step: every species mass fraction of the building advanced
// by one simulation time step, zones first, then the duct networks upstream to downstream.
#pragma once

namespace vexlar {

void solve_STS();

struct AirNode;
// The zone's reactions over the step, implicit: (I/dt - C) mf' = mf/dt, solved by Gaussian
// elimination without pivoting in the shared matrix _Akr. ERROR for a pivot below the
// smallest normal float, FATAL for a zero one.
void stsKinetics(AirNode* zone);

// Whether the storage term of the airflows takes this zone's change of air mass over the
// step before (kept in its cell's mass_rate): under the short time step with the storage
// term, a well-mixed zone whose air mass follows the gas law of a mixture of non-trace
// species. The restart record keeps that change for exactly these zones.
bool stsLagsStorage(const AirNode* n);

}  // namespace vexlar
