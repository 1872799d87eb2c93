// Mass-fraction equation systems. Not built yet: a system is left empty (no equations).
#include "contaminant/mf-mem.h"

namespace vexlar {

MF_MAT* _MFn_mem = nullptr;
MF_MAT* _MFt_mem = nullptr;

void mf_mem_set(MF_MAT*, BlsRec*, DvrRec*, int, int, bool, float, float, float, float, int, int)
{
}

void mf_mem_fre(MF_MAT*) {}

}  // namespace vexlar
