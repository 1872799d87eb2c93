// The transient time-step loop and what it does each step beside the airflow and
// transport solutions; the clock it advances is declared in model/clock.h.
#pragma once

namespace vexlar {

void sim_loop(int write);
void noteMaxAirNodeConcs();   // raise each node's _Mfmax entries to its current mass fractions
void setSchedulesAndControls(int time, int ctrls);

}  // namespace vexlar
