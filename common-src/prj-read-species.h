// Readers of the project-file sections that every later section refers to by number:
// species, levels, day and week schedules, wind-pressure profiles and kinetic reactions.
// Each reads its whole section, end word included, fills its 1-based index array and
// returns its record count; prj_read calls them in file order.
#pragma once
#include "common-src/memory.h"
#include "model/schedules.h"
#include "model/species.h"

namespace vexlar {

int species_read(MemBlock** pool);   // "Species": fills _ctm, _nctm, _nntc, _Rs, _Cp, _penf
int level_read(MemBlock** pool);     // "Level": fills _LevList, _Lev0, _LevH; returns _nlev
int dschd_read(DaySchedRec** head, MemBlock** pool);
int wschd_read(WeekSchedRec** head, int ndsch, MemBlock** pool);
int wind_read(WindProfileRec** head, MemBlock** pool);
int kinetic_read(ReactionRec** head, void* ignored, MemBlock** pool);

// Index of the simulated species whose name equals _string; _nctm when there is none.
int ctm_name_chk();

}  // namespace vexlar
