// The restart file (".rst"): one record of the simulation state per day end, from which a
// later run can resume (rstget).
#pragma once

namespace vexlar {

int set_urst_init();
void set_urst_open();
void set_urst_close(int flag);
void writeRst_stepTime(int day, int time);
// The last day of the run in the header (date1): the day of a run stopped on request.
void setRst_periodEnd(int day);
int rstget(int day);

// The day, time of day [s] and day type of the record rstget restored last.
struct RstMoment {
    int day, time, day_type;
};
RstMoment rst_restoredMoment();

// Returns the restart subsystem to its state at program start: no layout, no record, no
// file of this run, no record restored. Called as a run begins.
void rst_reset();

}  // namespace vexlar
