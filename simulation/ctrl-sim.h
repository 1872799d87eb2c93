// The control network at run time: evaluation of every control node in sequence order,
// the questions main asks about it, and the control log file (".log") of logged nodes.
#pragma once
#include <cstdio>

namespace vexlar {

extern FILE* _ulogc;   // control log, null while not open

// Evaluates every node in sequence order at the instant _stepEndTime of day _dayofy; with
// write set and the log open, logs a row when the step starts at a listing time.
void ctrl_sim(int write);
bool haveCtrlNode_byType(int type);   // a node of that type is in the sequence
// Whether the network needs the listing times: a listing-step integral or average, or an
// open control log.
bool haveCtrlNode_usesListTime();
int ctrl_NeedCvfDvf(int type);   // 3: continuous values used, 4: discrete values used
void ctrl_free();                // releases the running averages' rings, resets the clock
void set_ulogc_open();
void set_ulogc_close(int remove);

}  // namespace vexlar
