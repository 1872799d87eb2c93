// Work counters of the run: incremented by the solvers and element models, reported by
// main at the end of the run (and partly written to the SIM trailer).
#pragma once

namespace vexlar {

extern int _NrTimeSteps, _NrTStepIter, _NrSolveAf, _NrFillAf, _NrLufSkyS, _NrLusSkyS,
    _NrPCG, _NrPCGiter, _NrSolveHt, _NrSolveMfn, _NrSolveMft, _NrSolveSTS, _NrLufSkyN,
    _NrLusSkyN, _NrBCG, _NrBCGiter, _NrDCset, _NrSOR, _NrSORiter, _NrLufGE, _NrLusGE,
    _NrCubicA, _NrCubicN, _NrCDZsim, _NrDuctLagr, _NrDuctEulr;
extern float _aftime;      // seconds spent computing airflows
extern float _dtMaxStab;   // largest stable short time step [s]
extern int _rangeDWC[3];   // duct friction regimes met: laminar, transition, turbulent
extern int* _facBins;      // airflow solutions by Newton iteration count, 0..itmax+1

}  // namespace vexlar
