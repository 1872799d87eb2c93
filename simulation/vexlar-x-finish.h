// The end of a run that does not reach the normal end: every FATAL message (through the
// finish hook main installs), the input test and a stopped transient run (status 1).
// Partial result files are removed, except those of a stopped run, which are whole up to
// its stop and kept; input files are closed and a connected peer told before the exit.
#pragma once

namespace vexlar {

[[noreturn]] void finish(int status);

// Closes the timed input files that are open (weather, ambient contaminant, values).
void closeTimedInputs();

}  // namespace vexlar
