// Control network evaluation and the control log. The signal functions and the log writer
// are not built yet: no node is evaluated, no values file is asked for, and the log
// closer only removes a stale control log of the project's name when asked to.
#include "simulation/ctrl-sim.h"

#include "output/sim-out.h"

namespace vexlar {

FILE* _ulogc = nullptr;

void ctrl_sim(int) {}
int ctrl_NeedCvfDvf(int) { return 0; }
void set_ulogc_open() {}
void set_ulogc_close(int remove) { closeResultFile(&_ulogc, remove, ".log"); }

}  // namespace vexlar
