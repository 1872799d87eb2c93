// Duct balancing (run mode 2): adjusts duct terminals and fan speeds to their design flows
// and writes the ".bal" report.
#pragma once

namespace vexlar {

void Balance();

}  // namespace vexlar
