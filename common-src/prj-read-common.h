// Readers of the project-file sections that every later section refers to by number:
// species, levels, day and week schedules, wind-pressure profiles and kinetic reactions.
// Each reads its whole section, end word included, fills its 1-based index array and
// returns its record count; prj_read calls them in file order.
#pragma once
#include "common-src/memory.h"
#include "common-src/prj-read.h"
#include "model/schedules.h"
#include "model/prj-common.h"

namespace vexlar {

int species_read(MemBlock** pool);   // "Species": fills _ctm, _nctm, _nntc, _Rs, _Cp, _penf
int level_read(MemBlock** pool);     // "Level": fills _LevList, _Lev0, _LevH; returns _nlev
int dschd_read(DaySchedRec** head, MemBlock** pool);
int wschd_read(WeekSchedRec** head, int ndsch, MemBlock** pool);
int wind_read(WindProfileRec** head, MemBlock** pool);
int kinetic_read(ReactionRec** head, void* ignored, MemBlock** pool);

// Index of the simulated species whose name equals _string; _nctm when there is none.
int ctm_name_chk();

// Small readers shared by the section readers of species and elements.
void prj_read_floats(float* dst, int n, int newline);   // n floats, the first by newline
void prj_skip_words(int n);                              // n words read and not used
// A count inside a record (points, terms, curves): negative, or larger than the rest of
// the file can hold, is an ERROR and gives 0.
int prj_read_subcount(int value, const char* section, int k);
// The second test alone: 1 when value fits, else the ERROR naming record k and 0.
int prj_subcount_fits(int value, const char* section, int k);

// Reads a whole framed section into a new 1-based index list: its count, the records (each
// by read_record), the end word. Sets list and count, and head to record 1 when given.
template <class T>
int prj_read_section(const char* section, const char* list_tag, const char* mismatch,
                     PRJ_RECORD_FN read_record, void* ctx, T**& list, int& count, T** head)
{
    int n = prj_section_count(section);
    list = prj_list<T>(n, list_tag);
    count = n;
    prj_read_records(n, mismatch, read_record, ctx);
    prj_section_end(section);
    if (head)
        *head = n > 0 ? list[1] : nullptr;
    return n;
}

}  // namespace vexlar
