// The building airflow test (run mode 3): classifies zone airflows with one tracer and
// writes the ".val" report.
#pragma once

namespace vexlar {

void BldgFlow();

}  // namespace vexlar
