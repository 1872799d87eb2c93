// Cyclic-day driver. Not built yet: a cyclic run ends right after its steady start.
#include "simulation/sim-cyclic.h"

namespace vexlar {

void drive_sim_loop_cyclic() {}

}  // namespace vexlar
