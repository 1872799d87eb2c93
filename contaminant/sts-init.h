// Short-time-step structures: duct cells, junction and link records and the cells of
// one-dimensional zones, laid out after the steady initialisation of a run that uses the
// short-time-step method.
#pragma once

namespace vexlar {

void STSinit();
void fre_1DCD();

}  // namespace vexlar
