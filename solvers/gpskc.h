// Profile-reducing renumbering of the variable equations of a sparse system before a
// skyline factorisation: the Gibbs-Poole-Stockmeyer level structure with the
// Gibbs-King profile numbering (or the bandwidth numbering), applied to a build
// pattern through a permutation perm[old] = new. Reordering never stops a run: any
// failure leaves the order as built.
#pragma once

namespace vexlar {

// New numbering of equations 1..nvar of the build pattern ijf (nnz its length) into
// perm[1..neq]; known equations keep their numbers. True when perm is not the identity.
bool ija_optord(const int* ijf, int* perm, int nnz, int neq, int nvar);
// Rewrites ijf in place under perm, each row's columns kept ascending.
void ija_reorder(int* ijf, const int* perm, int nnz, int neq);

// Renumbers the graph given by connection lists rstart[1..n+1], connec (each row lists
// its own diagonal and is the mirror of its neighbours' rows). permut holds the current
// numbering on entry, the chosen one on return. option != 0: profile reduction, 0:
// bandwidth reduction. Returns 0 when it completed, 1 when it gave up.
int gpskca(int n, const int* rstart, const int* connec, int* permut, int option);

// Stable insertion sorts of list[1..n] by key[list[i]]: ascending (q), descending (p).
int gpskcq(int n, int* list, const int* key);
int gpskcp(int n, int* list, const int* key);

inline int max0(int a, int b) { return a > b ? a : b; }
inline int min0(int a, int b) { return a < b ? a : b; }

}  // namespace vexlar
