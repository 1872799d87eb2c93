// Occupant exposure: each occupant's exposure over a step from the zones its schedule
// places it in, zone occupancy for occupant-sensitive sources, and the exposure file
// (".ebw") with its step, day and run statistics.
#pragma once
#include <cstdio>

namespace vexlar {

struct ExposureRec;

extern FILE* _uexp;   // null while the file is not open

void exposure(ExposureRec* occupant);
void setZoneOcc(int t, int daytype);
void set_uexp_open();
void set_uexp_close(int flag);
// The period in the header of the open exposure file, from the run control's dates.
void setExp_periodEnd();
void writeExp_stepEnd(int t);
void writeExp_dayEnd();
void writeExp_simEnd();

}  // namespace vexlar
