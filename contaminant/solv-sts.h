// The short-time-step transport step: every species mass fraction of the building advanced
// by one simulation time step, zones first, then the duct networks upstream to downstream.
#pragma once

namespace vexlar {

void solve_STS();

}  // namespace vexlar
