// Assembly of the airflow system: evaluates every path's element model at the current
// node pressures and sums, into the AF_MAT of the run, the symmetric Jacobian of the
// node mass balances with each node's flow residual and flow-magnitude sum. Nodes that
// no path connects are solved as known pressures until a path reconnects them.
#pragma once
#include <cstdint>
#include "model/network.h"

namespace vexlar {

struct AF_MAT;

// AirNode.flags: a variable-pressure node found isolated by the assembly, held at a
// known pressure until an assembly finds it connected again.
constexpr uint32_t NODE_ISOLATED = 0x100;

void FillAf(AF_MAT* m);

// The node test of the Newton solutions: a known pressure, or a residual within the
// relative tolerance of the flow magnitudes, or flow magnitudes within the node's own
// absolute tolerance.
bool afNodeConverged(const AirNode* n, float relcnvg);

}  // namespace vexlar
