// The airflow equation system of the run (AF_MAT): equation numbering of the airflow
// nodes and the storage of the Jacobian and its solver. Set up once after the network is
// built (af_mat_set) and freed at the end of the run (af_mat_fre).
#pragma once
#include <cstdint>

namespace vexlar {

struct AF_MAT {
    int32_t neq;   // equations = airflow nodes
};

extern AF_MAT* _AF_mat;   // the airflow system of the run (owned by the program entry)

void af_mat_set(AF_MAT* m);
AF_MAT* af_mat_fre(AF_MAT* m);

}  // namespace vexlar
