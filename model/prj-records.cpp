// Lists, counts and initial mass fractions of the project's network records (see
// prj-records.h), and the shared constants that unbound value pointers read.
#include "model/prj-records.h"

namespace vexlar {

AhsRec** _AhsList;
int _nahs;
ZoneRec** _ZoneList;
int _nzone;
ZoneRec _ambt;
PathRec** _PathList;
int _npath;
JunctionRec** _JctList;
int _njct;
DuctSegRec** _DctList;
int _ndct;
CtrlNode** _CtrlList;
int _nctrl;
CtrlNode* _Ctrl0;
int _nlogc;
CssRec* _Css0;
int _ncss;
OccSchedRec** _OschList;
int _nosch;
ExposureRec** _PexpList;
int _npexp;
ExposureSrcRec* _Pxs0;
int _nnote;

double* _MfZ;
double* _MfZi;
int _nZctm;
double* _MfJ;
double* _MfJi;
int _nJctm;

float _one = 1.0f;
float _zero = 0.0f;

}  // namespace vexlar
