// Airflow matrix set-up. Not built yet: the system is left empty and freed as a record.
#include "airflow/mat-set.h"

#include "common-src/memory.h"

namespace vexlar {

AF_MAT* _AF_mat = nullptr;

void af_mat_set(AF_MAT*) {}

AF_MAT* af_mat_fre(AF_MAT* m) { return (AF_MAT*)fre_e(m, sizeof(AF_MAT), "af_mat"); }

}  // namespace vexlar
