// Day and week schedules at a time of day: the week schedules in use are positioned for
// the day type and time before each evaluation of the controls, then their values are
// set; the schedule-delay control reads a day schedule directly.
#pragma once

namespace vexlar {

struct DaySchedRec;

extern int daytypeLastSeek;   // day-type slot 0..11 of the last seek

// Position every day schedule in use for day-type slot (day type - 1) at t seconds;
// returns the seconds to the next point of any of them, at most 86400 - t.
int wkScheds_seek(int slot, int t);
// Set the day and week schedule values for t seconds (after wkScheds_seek).
void wkScheds_eval(int t);
// The same at a time between whole seconds inside the intervals the last seek found, in
// double precision: what an integrator taking its own times sees of a ramp.
void wkScheds_evalAt(double t);
// Linear value of a day schedule at t seconds, whatever its shape.
float sch_val(DaySchedRec* ds, float t);

}  // namespace vexlar
