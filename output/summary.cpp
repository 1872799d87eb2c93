// Text summaries. The statistics and their files are not built yet: no file is opened,
// and the closers only remove a stale file of the project's name when asked to.
#include "output/summary.h"

#include "output/sim-out.h"

namespace vexlar {

FILE* _uach = nullptr;
FILE* _ucbw = nullptr;
FILE* _uage = nullptr;

void set_uach_open() {}
void set_uach_close(int flag) { closeResultFile(&_uach, flag, ".ach"); }
void writeAch_stepEnd(int) {}
void writeAch_dayEnd() {}
void writeAch_simEnd() {}

void set_ucbw_open() {}
void set_ucbw_close(int flag) { closeResultFile(&_ucbw, flag, ".cbw"); }
void writeCbw_stepEnd_compute(int) {}
void writeCbw_dayEnd() {}
void writeCbw_simEnd() {}

void set_uage_open() {}
void set_uage_close(int flag) { closeResultFile(&_uage, flag, ".age"); }
void writeAge_stepEnd(int) {}
void writeAge_dayEnd() {}
void writeAge_simEnd() {}

void sum_filter_compute(int) {}
void sum_ambient_compute(int) {}
void writeCsm_simEnd() {}

}  // namespace vexlar
