// The transient time-step loop and the calendar it keeps: the day roll-over, schedules and
// controls for a time of day, and the day and run summaries; the clock it advances is
// declared in model/clock.h.
#pragma once

namespace vexlar {

// Steps the run from the clock as set by its caller to the end date and time; with write 0
// (the unreported days of a cyclic run) no result file is touched.
void sim_loop(int write);
// The stiff-integrator loop: all species advanced together by the integrator from the
// clock as set by main to the end date and time.
void sim_loop_cvode(int write);
// Before the start-up exchange: ends the run when a transient run with mf_solver 2 has a peer.
void refusePeerOfStiffIntegrator(bool transient);
// Time, listing and screen steps of 0 or less are FATAL: a transient loop advances the
// clock by them and divides by them.
void checkTransientSteps();
// A start time off a step grid (listing or screen step) never meets that grid's times: the
// miss is reported with the caller's level and text. A run resumed at its record's time
// keeps the grid of the run that wrote the record; a start at 0 or a grid of 0 (rejected
// before any loop) is not checked.
void checkStartTimeOnGrid(int grid, int level, const char* text);
void rolloverNewSimDate(int write);   // the clock to 0 s of the next day
// Week schedules, control network, zone occupancy and control-set temperatures for the
// time of day t [s]; ctrls is the controls' output flag.
void setSchedulesAndControls(int t, int ctrls);
// The week schedules' values at time of day t inside the intervals the last
// setSchedulesAndControls found (no seek, no controls).
void setScheduleValuesAt(double t);
// Seconds from the time of day t [s] to the next point of any week schedule in use, the
// schedules positioned for t as setSchedulesAndControls positions them.
int wkScheds_nextChange(int t);
void noteMaxAirNodeConcs();   // raise each node's _Mfmax entries to its current mass fractions
bool airNodeDensitiesHaveConverged();   // every node's density agrees with the gas law
// After a step of dt seconds: every filter's loading advances (the gas filter depends on
// it, whatever files are selected); the contaminant summary adds its challenge. Species
// first to end - 1 (end -1: to the last).
void filterStepTotals(double dt, int first = 0, int end = -1);
void writeSummaries_dayEnd();
void writeSummaries_simEnd();
// Ends a run stopped on request after its end-of-run summaries: the result files name the
// period simulated (with write set), and the run finishes with status 1. Never returns.
[[noreturn]] void stopOnRequest(int write);

}  // namespace vexlar
