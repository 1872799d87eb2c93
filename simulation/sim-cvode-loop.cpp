// The stiff-integrator time loop. Not built yet: the run ends right after its steady start.
#include "simulation/sim-common.h"

namespace vexlar {

void sim_loop_cvode(int) {}

}  // namespace vexlar
