// The cyclic-day driver: repeats one day of a cyclic contaminant run until the daily
// maxima of the node concentrations converge, then writes that day.
#pragma once

namespace vexlar {

void drive_sim_loop_cyclic();

}  // namespace vexlar
