// Day and week schedules of the project: a day schedule is a curve of values over the 86400
// seconds of a day; a week schedule picks one day schedule per day type (1 to 12). The
// reader fills them; the schedule evaluation of each step writes their current value.
#pragma once

namespace vexlar {

enum DayShape { DSCH_STEP = 0, DSCH_LINEAR = 1 };

struct DaySchedRec {
    DaySchedRec* next;     // linked when the network is built
    float value;           // current value
    int* times;            // per point, seconds of the day
    float* values;         // per point
    int cur_point;         // current point index
    int npts;
    int shape;             // DayShape
    int number;
    int active_flag;       // 1 once a week schedule or a control uses it
};

struct WeekSchedRec {
    WeekSchedRec* next;
    float value;           // current value
    DaySchedRec* dsch[12]; // day types 1 to 12
    int number;
    int use_count;         // zones, paths, junctions, ducts, sources, emissions, controls
};

extern DaySchedRec** _DschList;   // 1.._ndsch
extern int _ndsch;
extern WeekSchedRec** _WschList;  // 1.._nwsch
extern int _nwsch;


// Walks an occupancy day schedule (points 0..last, the point at 86400 closing the day) from
// the time *t to the next point or `end`: *t moves there, *pos names the interval, and the
// stay's length [s] is returned. occ_loc walks a schedule whose point count it is not told.
int schedWalk(int* pos, int* t, int end, const int* times, int last);
int occ_loc(int* pos, int* t, int end, const int* times);

}  // namespace vexlar
