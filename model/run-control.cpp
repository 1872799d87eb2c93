// Run-control, project ambient state and input-file name globals (see run-control.h).
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

}  // namespace vexlar
