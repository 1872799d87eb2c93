// The stiff-integrator time loop: the combined species-mass system advanced by the
// integrator from the current clock to the end date and time.
#pragma once

namespace vexlar {

void sim_loop_cvode(int write);

}  // namespace vexlar
