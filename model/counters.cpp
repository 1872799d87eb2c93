// Definitions of the run's work counters (see counters.h).
#include "model/counters.h"

namespace vexlar {

int _NrTimeSteps, _NrTStepIter, _NrSolveAf, _NrFillAf, _NrLufSkyS, _NrLusSkyS, _NrPCG,
    _NrPCGiter, _NrSolveHt, _NrSolveMfn, _NrSolveMft, _NrSolveSTS, _NrLufSkyN, _NrLusSkyN,
    _NrBCG, _NrBCGiter, _NrDCset, _NrSOR, _NrSORiter, _NrLufGE, _NrLusGE, _NrCubicA,
    _NrCubicN, _NrCDZsim, _NrDuctLagr, _NrDuctEulr;
float _aftime;
float _dtMaxStab = 100000.0f;
int _rangeDWC[3];
int* _facBins;

}  // namespace vexlar
