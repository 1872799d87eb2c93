// Run-control, project ambient state, input-file name and values-file table globals (see
// run-control.h).
#include "model/run-control.h"

namespace vexlar {

RunControlData _rcdat;
WeatherData _wthdat;
char _prjdesc[4096];
int prjType;
char _WTHfile[4096];
char _CTMfile[4096];
char _CVFfile[4096];
char _DVFfile[4096];
char _WPCfile[4096];
int _useWPCwp, _useWPCmf, _useWPC;
int _cvfNumNames = 0;
int _dvfNumNames = 0;
char (*_cvfNames)[16] = nullptr;
char (*_dvfNames)[16] = nullptr;
float* _cvfVals[3] = {nullptr, nullptr, nullptr};
float* _dvfVals = nullptr;

}  // namespace vexlar
