// Steady initialisation. Not built yet: nothing is solved, and a restart is never usable.
#include "simulation/simulate.h"

namespace vexlar {

void sim_init(int) {}
int sim_init_restart() { return 1; }

}  // namespace vexlar
