// The end of a run that does not reach the normal end: every FATAL message (status 2,
// through the finish hook main installs), a timed input file that cannot be opened
// (status 1), the input test (status 0) and a stopped transient run. Once the run has
// opened its result files they are removed, this run's and an earlier run's alike, except
// those of a stopped run, which are whole up to its stop and kept; a failure before that
// removes none. Input files are closed and a connected peer told before the exit.
#pragma once

namespace vexlar {

[[noreturn]] void finish(int status);

// A transient run stopped on request, or by its co-simulation peer's end: its results are
// kept, the log says why and after which step it stopped, and the process exits with
// status 1.
[[noreturn]] void finishStopped(const char* why = "on request");

// The input test's end: the result files of an earlier run are removed, status 0.
[[noreturn]] void finishInputTest();

// Closes the timed input files that are open (weather, ambient contaminant, values).
void closeTimedInputs();

// Until beginResultFiles, a failed end leaves the result files an earlier run left (main
// calls this first); from then on it removes them.
void keepEarlierResults();
void beginResultFiles();
// Closes every result file, removing it with `remove` set (otherwise a file not written
// in full is counted as a failed write), and every input file.
void closeRunFiles(int remove);

}  // namespace vexlar
