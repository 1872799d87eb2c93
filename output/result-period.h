// The period a run's result files name in their headers, moved to where a run stopped on
// request ends: one list of the result files whose headers name it.
#pragma once

namespace vexlar {

// A run stopped on request ends at the stop: every result file whose header names the
// run's period names the period simulated, as if the run had been planned to end at the
// step ending (day, time). The clock's and the run control's end follow.
void setResultPeriodEnd(int day, int time);

}  // namespace vexlar
