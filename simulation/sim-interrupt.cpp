// Interruption of a transient run: the instruction line and the loops' poll.
#include "simulation/sim-interrupt.h"

#include <cstdio>

namespace vexlar {

void simInterrupt_writeInstructions()
{
    fputs("\nPress <ctrl>-c to kill the transient simulation.\n\n", stderr);
}

int simInterrupt_checkInterrupt() { return 0; }

}  // namespace vexlar
