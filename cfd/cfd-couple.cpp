// CFD coupling entry points. The coupling is not built yet: COUPLE stays 0, so no zone is
// coupled, the coupling loops converge at once, the hooks for coupled paths and species
// leave the network's values as they are, and there are no coupled openings to hand to
// the CFD solver's input stage.
#include "cfd/cfd-couple.h"

namespace vexlar {

int COUPLE = 0;
int _cpl = 0;
int _ctmcpl = 0;
int _ctlctmcpl = 0;
int _cciter = 0;
int _cpliter = 0;
int _doneflow = 0;
int _donectm = 0;
int _ufstart = 0;
int _crestart = 0;
FILE* MON = nullptr;
FILE* CPLTE = nullptr;

void getcpl() {}
int cplloop() { return 0; }
int incfd() { return 0; }
int comctm() { return 0; }
void decpl(int) {}
void setCmon(int) {}
int inctmctm(double*, int) { return 1; }
void invexlar_loc(AirPath*, double*, double*, double, double) {}

}  // namespace vexlar
