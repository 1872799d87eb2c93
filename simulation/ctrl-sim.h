// The control network at run time: evaluation of every control node in sequence order,
// the questions main asks about it, and the control log file (".log") of logged nodes.
#pragma once
#include <cstdio>

namespace vexlar {

extern FILE* _ulogc;   // control log, null while not open

void ctrl_sim(int write);
int ctrl_NeedCvfDvf(int type);   // 3: continuous values used, 4: discrete values used
void set_ulogc_open();
void set_ulogc_close(int remove);

}  // namespace vexlar
