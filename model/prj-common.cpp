// Species, level, wind-profile and reaction globals (see prj-common.h).
#include "model/prj-common.h"

namespace vexlar {

SpeciesRec* _ctm;
int _nctm;
int _nntc;
double* _Rs;
double* _Cp;
float* _penf;

LevelRec** _LevList;
int _nlev;
LevelRec* _Lev0;
LevelRec* _LevH;

WindProfileRec** _WpfList;
int _nwpf;
ReactionRec** _KinrList;
int _nkinr;

}  // namespace vexlar
