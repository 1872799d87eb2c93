// Interruption of a transient run by the user. On this platform the terminal's interrupt
// signal stops the process with its default action, so the poll never sees a request.
#pragma once

namespace vexlar {

void simInterrupt_writeInstructions();
int simInterrupt_checkInterrupt();   // 2 when the user asked to stop, else 0

}  // namespace vexlar
