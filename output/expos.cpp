// Occupant exposure. The exposure accumulation and its file are not built yet: no file is
// opened; occ_loc treats the whole rest of the step as one stay so its callers' loops end.
#include "output/expos.h"

#include "output/sim-out.h"

namespace vexlar {

FILE* _uexp = nullptr;

void exposure(ExposureRec*) {}

int occ_loc(int* pos, int* t, int end, const int*)
{
    int stay = end > *t ? end - *t : 0;
    *pos = 0;
    *t = end;
    return stay;
}

void setZoneOcc(int, int) {}
void set_uexp_open() {}

void set_uexp_close(int flag) { closeResultFile(&_uexp, flag, ".ebw"); }

void writeExp_stepEnd(int) {}
void writeExp_dayEnd() {}
void writeExp_simEnd() {}

}  // namespace vexlar
