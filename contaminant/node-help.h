// Operations on the airflow nodes' mass fractions shared by the network build and the
// transport solvers: keeping the non-trace mass fractions of every node summing to one,
// the mixture gas constant and specific heat that follow from them, node air masses, and
// the moves of mass fractions and sink loadings between the nodes and a system's vectors.
#pragma once

namespace vexlar {

struct BlsRec;
struct DvrRec;

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
// Every node's first non-trace mass fraction := 1 - the sum of the other non-trace ones.
void makeAirNodeMfSumsUnity_nonTr();
// Mass basis of each equation of species start..end-1: air masses of the variable nodes,
// sink masses of the sinks of the lists.
void getNodeConcBases(double* M, const BlsRec* bls, const DvrRec* dvr, int start, int end);
// Mass fractions of every node and the loadings of the lists' sinks into x.
void getNodeConcs(double* x, const BlsRec* bls, const DvrRec* dvr, int start, int end);
// x back into every node and sink; with sumRule each node's first non-trace mass fraction
// becomes 1 - the sum of those just set.
void setNodeConcs(const double* x, BlsRec* bls, DvrRec* dvr, int start, int end, bool sumRule);

}  // namespace vexlar
