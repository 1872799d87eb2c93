// Building airflow test. Not built yet: the mode ends without a report.
#include "simulation/sim-bldg-flow.h"

namespace vexlar {

void BldgFlow() {}

}  // namespace vexlar
