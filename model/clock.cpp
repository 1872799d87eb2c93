// Clock and calendar globals of the run (see clock.h).
#include "model/clock.h"

namespace vexlar {

int _dayofy, _dayofw, _daytyp, _DSTind;
int _stepStartTime, _stepEndTime, _simEndDate, _simEndTime;
int _time_step, _time_list, _time_scrn;
float _dt, _dti;
float** _Mfmax;
float** _Mftst;

}  // namespace vexlar
