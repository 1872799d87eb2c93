// Mass-fraction equation systems: the non-trace, the trace or the combined species system
// of a run, numbered, patterned and configured with its solver after the network is built.
#pragma once
#include <cstdint>

namespace vexlar {

struct BlsRec;
struct DvrRec;

// One mass-fraction equation system; its storage comes with the transport solution.
struct MF_MAT {
    int32_t nvar;  // variable equations (numbered first)
    int32_t neq;   // equations of the system
    int32_t nnz;   // stored entries of the pattern
    int32_t* ija;  // row-indexed pattern
    double* K;     // rate-coefficient matrix values [kg/s], 1..nnz
    double* e;     // generation vector [kg/s], 1..neq
};

extern MF_MAT* _MFn_mem;   // non-trace (or combined) system, owned by main
extern MF_MAT* _MFt_mem;   // trace system, owned by main

void mf_mem_set(MF_MAT* m, BlsRec* bls, DvrRec* dvr, int start, int end, bool reorder,
                float theta, float relcnvg, float cutoff, float relax, int method, int itmax);
void mf_mem_fre(MF_MAT* m);

}  // namespace vexlar
