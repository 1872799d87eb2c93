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

}  // namespace vexlar
