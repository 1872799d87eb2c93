// Day and week schedules at a time of day. Each day schedule keeps the index of its
// current interval between calls, so successive times of one day advance from where the
// last search ended; an earlier time restarts the search at the first interval.
#include "simulation/day-week-sched.h"

#include <cmath>

#include "model/schedules.h"
#include "model/source-lists.h"

namespace vexlar {

int daytypeLastSeek = 0;

namespace {

// Index c of the interval holding t: the last point whose time is <= t, at most the
// second-to-last point. The search starts at the current interval unless t lies before it.
int find_interval(const DaySchedRec* ds, int t)
{
    int i = ds->cur_point;
    int k = (t >= ds->times[i]) ? i + 1 : 1;
    while (k < ds->npts - 1 && t >= ds->times[k])
        k++;
    return k - 1;
}

// Linear value within interval c (single precision); an interval of zero width (two
// points at the same time) takes the value after the step.
float interval_value(const DaySchedRec* ds, int c, float t)
{
    float t0 = (float)ds->times[c], t1 = (float)ds->times[c + 1];
    if (t1 == t0)
        return ds->values[c + 1];
    return ((t1 - t) * ds->values[c] + ds->values[c + 1] * (t - t0)) / (t1 - t0);
}

// A day schedule with fewer than two points has no interval: its value is constant.
bool has_interval(const DaySchedRec* ds) { return ds->npts >= 2; }

float constant_value(const DaySchedRec* ds) { return ds->npts > 0 ? ds->values[0] : 0.0f; }

}  // namespace

int wkScheds_seek(int slot, int t)
{
    daytypeLastSeek = slot;
    for (DaySchedRec* ds = _Dsch0; ds; ds = ds->next)
        ds->active_flag = 0;
    int result = 86400 - t;
    for (WeekSchedRec* ws = _Wsch0; ws; ws = ws->next) {
        DaySchedRec* ds = ws->dsch[slot];
        if (!ds || ds->active_flag)
            continue;   // shared with an earlier week schedule: sought already
        ds->active_flag = 1;
        if (!has_interval(ds)) {
            ds->cur_point = 0;
            ds->value = constant_value(ds);
            continue;
        }
        int c = find_interval(ds, t);
        ds->cur_point = c;
        if (ds->shape == DSCH_STEP)
            ds->value = ds->values[c];
        // A day schedule whose last point lies at or before t has no next point today.
        int to_next = ds->times[c + 1] - t;
        if (to_next > 0 && to_next < result)
            result = to_next;
    }
    return result;
}

namespace {

// Every week schedule takes the value of its day schedule of the slot last sought.
void weekValues()
{
    for (WeekSchedRec* ws = _Wsch0; ws; ws = ws->next) {
        DaySchedRec* ds = ws->dsch[daytypeLastSeek];
        if (ds)
            ws->value = ds->value;
    }
}

}  // namespace

void wkScheds_eval(int t)
{
    for (DaySchedRec* ds = _Dsch0; ds; ds = ds->next) {
        if (ds->active_flag && ds->shape == DSCH_LINEAR && has_interval(ds))
            ds->value = interval_value(ds, ds->cur_point, (float)t);
    }
    weekValues();
}

void wkScheds_evalAt(double t)
{
    for (DaySchedRec* ds = _Dsch0; ds; ds = ds->next) {
        if (!ds->active_flag || ds->shape != DSCH_LINEAR || !has_interval(ds))
            continue;
        int c = ds->cur_point;
        double t0 = ds->times[c], t1 = ds->times[c + 1];
        ds->value = t1 == t0 ? ds->values[c + 1]
                             : (float)(((t1 - t) * ds->values[c] + ds->values[c + 1] * (t - t0)) / (t1 - t0));
    }
    weekValues();
}

float sch_val(DaySchedRec* ds, float t)
{
    if (!has_interval(ds))
        return constant_value(ds);
    int saved = ds->cur_point;
    int c = find_interval(ds, (int)std::floor(t));
    float v = interval_value(ds, c, t);
    ds->cur_point = ds->active_flag ? saved : c;
    return v;
}

}  // namespace vexlar
