// Duct balancing. Not built yet: the mode ends without a report.
#include "airflow/balance.h"

namespace vexlar {

void Balance() {}

}  // namespace vexlar
