// Day- and week-schedule index lists (see schedules.h).
#include "model/schedules.h"

namespace vexlar {

DaySchedRec** _DschList;
int _ndsch;
WeekSchedRec** _WschList;
int _nwsch;

}  // namespace vexlar
