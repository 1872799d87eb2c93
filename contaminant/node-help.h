// Operations on the airflow nodes' mass fractions shared by the network build and the
// transport solvers: keeping the non-trace mass fractions of every node summing to one,
// and the mixture gas constant and specific heat that follow from them.
#pragma once

namespace vexlar {

// Rescales every node's non-trace mass fractions to sum to one; a sum off by more than
// 0.02 is logged, one below 0.9 is FATAL.
void normalizeAirNodeMfSums_nonTr_check();
// gas_const of every node from its non-trace mass fractions.
void findAirNodeRs_nonTr();
// cp of every node from its non-trace mass fractions.
void findAirNodeCps_nonTr();

}  // namespace vexlar
