// Newton solution of the airflow network: the variable-trust-region and the
// under-relaxed Newton methods, the flows-only evaluation, the linearised start, the
// convergence-failure report; every solution counts its iterations into the Newton
// histogram _facBins.
#pragma once
#include "airflow/af-slae.h"
#include "airflow/mat-set.h"

namespace vexlar {

int SolveAfstr(AF_MAT* m);   // variable trust region; Newton iterations taken
int SolveAfsur(AF_MAT* m);   // simple under-relaxation; linear solves taken
int SolveAfnvn(AF_MAT* m);   // flows at the current pressures only; 0
int SolveAf(AF_MAT* m);      // the method AF_MAT.newton selects
void init_Af(AF_MAT* m);     // start pressures from the linearised network
void ReptFCnvg(float relcnvg);

// Set by the first convergence-failure report: later failures are one log line each.
extern int _afFailIgnored;

}  // namespace vexlar
