// Clock and calendar globals of the run (see clock.h).
#include "model/clock.h"

namespace vexlar {

int _dayofy, _dayofw, _daytyp, _DSTind;
int _stepStartTime, _stepEndTime, _simEndDate, _simEndTime;
int _time_step, _time_list, _time_scrn;
float _dt, _dti;
float** _Mfmax;
float** _Mftst;

int timeElapsed(int day, int time)
{
    int today = _dayofy < day ? _dayofy + 365 : _dayofy;
    return (_stepEndTime - time) + 86400 * (today - day);
}

}  // namespace vexlar
