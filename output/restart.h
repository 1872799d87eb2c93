// The restart file (".rst"): one record of the simulation state per day end, from which a
// later run can resume (rstget).
#pragma once

namespace vexlar {

int set_urst_init();
void set_urst_open();
void set_urst_close(int flag);
void writeRst_stepTime(int day, int time);
int rstget(int day);

}  // namespace vexlar
