// Short-time-step structures. Not built yet: nothing is laid out or freed.
#include "contaminant/sts-init.h"

namespace vexlar {

void STSinit() {}
void fre_1DCD() {}

}  // namespace vexlar
