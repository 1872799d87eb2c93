// Interruption of a transient run by the user. Once the time loop has started, the
// terminal's interrupt (Ctrl-C), a termination signal or a closed terminal is a request to
// stop that the loop sees at its next poll; it then ends the run at the end of a whole
// step, with its results kept (finishStopped, status 1). Further signals are absorbed
// until the run has closed its files.
#pragma once

namespace vexlar {

// Writes the instruction line and, from then on, takes the three signals as stop requests.
void simInterrupt_writeInstructions();
int simInterrupt_checkInterrupt();   // 2 when a stop was requested, else 0
// From the start of the run: a closed pipe or socket is a failed write, not the end.
void simInterrupt_ignoreClosedStreams();

}  // namespace vexlar
