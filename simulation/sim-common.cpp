// Clock globals and the time-step loop. The loop and the schedule and control evaluation
// are not built yet: a transient run ends right after its steady start.
#include "simulation/sim-common.h"

namespace vexlar {

int _dayofy, _dayofw, _daytyp, _DSTind;
int _stepStartTime, _stepEndTime, _simEndDate, _simEndTime;
int _time_step, _time_list, _time_scrn;
float _dt, _dti;
float** _Mfmax;
float** _Mftst;

void sim_loop(int) {}
void setSchedulesAndControls(int, int) {}

}  // namespace vexlar
