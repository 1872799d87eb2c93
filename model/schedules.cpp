// Day- and week-schedule index lists (see schedules.h).
#include "model/schedules.h"

#include <climits>

namespace vexlar {

DaySchedRec** _DschList;
int _ndsch;
WeekSchedRec** _WschList;
int _nwsch;

// The interval of a day schedule that contains the time *t (points 0..last, interval c from
// times[c] to times[c + 1]; the point at 86400 closes the day), searched down and then up
// from *pos. The stay ends at the next point or at `end`, whichever comes first; *t moves
// there, *pos names the interval, and the stay's length [s] is returned.
int schedWalk(int* pos, int* t, int end, const int* times, int last)
{
    int b = *t, i = *pos;
    if (b <= 0 || i < 0) i = 0;
    if (i > last) i = last;
    if (b > 0) {
        while (i > 0 && b < times[i]) i--;
        while (i < last && times[i] < 86400 && times[i + 1] <= b) i++;
    }
    int e = end;
    if (i < last && times[i] < 86400 && times[i + 1] < end) e = times[i + 1];
    *pos = i;
    *t = e;
    return e - b;
}

int occ_loc(int* pos, int* t, int end, const int* times)
{
    return schedWalk(pos, t, end, times, INT_MAX);
}

}  // namespace vexlar
