// Envelope openings (paths and duct terminals that end at the ambient): their numbering
// and per-opening wind-pressure and ambient mass-fraction arrays, the list of unique
// opening locations the wind-pressure file is matched against, and the per-species
// envelope accumulators of the contaminant summary and exfiltration outputs.
#pragma once
#include <cstdint>

namespace vexlar {

struct AirPath;
struct MemBlock;

// A unique location of an opening that takes values from the wind-pressure file.
struct PathLocation {
    PathLocation* next;
    int32_t number;          // 1..n
    float x, y, z;           // [m]
    int32_t kind;            // 0 path, 1 terminal
    int32_t element_number;  // path or junction number that created it
};

extern int _nEnvPaths_Wpc;       // openings numbered for the wind-pressure file
extern float* _ENV_wP;           // 0.._nEnvPaths_Wpc: wind pressure of each opening [Pa]
extern float* _ENV_wPs;          // 0.._nEnvPaths_Wpc: +1 path starts at ambient, -1 ends there
extern double** _ENV_Mf;         // [0.._nEnvPaths_Wpc][0.._nctm-1]: ambient mass fractions
extern int _nEnvPaths_All;       // paths (any kind) with an end at the ambient node
extern AirPath** _EnvPaths_All;  // 0.._nEnvPaths_All-1, path-list order
extern double* _Env_MdotOut_step;
extern double* _Env_MdotIn_step;
extern double* _Env_MassOut_sum;
extern double* _Env_MassIn_sum;
extern double* _Env_MassOut_list;
extern double** _Env_MassPath_list;  // [0.._nctm][0.._nEnvPaths_All-1]
extern PathLocation* _PLDLoc0;
extern PathLocation** _PLDlist;  // 1..n by location number
extern MemBlock* _mp;            // pool of the locations

void EnvListsWpc_setup();
int PLDlist(int mode);
int EnvListsCsmCex_setup();
void EnvLists_free();

}  // namespace vexlar
