// The simulated clock and calendar of the run, read by every subsystem that stamps or
// scales by time, and the day maxima of the node mass fractions the results report.
// Times of day are integer seconds 0..86400; days are days of a 365-day year. The run
// sets them (simulation/); everything else only reads them.
#pragma once

namespace vexlar {

extern int _dayofy;          // day of year 1..365
extern int _dayofw;          // day of week 1..7
extern int _daytyp;          // day type 1..12
extern int _DSTind;          // daylight-saving indicator
extern int _stepStartTime;   // [s of the day]
extern int _stepEndTime;
extern int _simEndDate;      // day of year
extern int _simEndTime;      // [s of the day]
extern int _time_step;       // calculation time step [s]
extern int _time_list;       // listing time step [s]
extern int _time_scrn;       // screen time step [s]
extern float _dt;            // time step [s]; 0 during the steady initialisation
extern float _dti;           // 1 / _dt
extern float** _Mfmax;       // [node 1.._nafnd][species]: largest mass fraction of the day
extern float** _Mftst;       // the same of the previous cyclic day

// Seconds from (day, time) to the end of the current step; a day number above today's
// lies in the year before (the run has crossed the year end).
int timeElapsed(int day, int time);

}  // namespace vexlar
