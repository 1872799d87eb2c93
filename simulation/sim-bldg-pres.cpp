// Building pressurization test. Not built yet: the mode ends without a report.
#include "simulation/sim-bldg-pres.h"

namespace vexlar {

void BldgPres() {}

}  // namespace vexlar
