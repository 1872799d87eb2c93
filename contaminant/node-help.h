// Operations on the airflow nodes' mass fractions shared by the network build and the
// transport solvers: keeping the non-trace mass fractions of every node summing to one,
// the mixture gas constant and specific heat that follow from them, and node air masses.
#pragma once

namespace vexlar {

// Rescales every node's non-trace mass fractions to sum to one; a sum off by more than
// 0.02 is logged, one below 0.9 is FATAL.
void normalizeAirNodeMfSums_nonTr_check();
// gas_const of every node from its non-trace mass fractions.
void findAirNodeRs_nonTr();
// cp of every node from its non-trace mass fractions.
void findAirNodeCps_nonTr();
// Divides every node's non-trace mass fractions by their sum (no check, no log).
void normalizeAirNodeMfSums_nonTr();
// air_mass of every node with a volume from the gas law at its pressure.
void findAirNodeConcBases();

}  // namespace vexlar
