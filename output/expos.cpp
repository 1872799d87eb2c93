// Occupant exposure: after every step, the concentration each occupant breathed and the
// seconds it spent in a zone (the ambient included), walking its day schedule over the
// step; the zone occupancy that occupant-sensitive sources read; and the exposure file
// (".ebw") with per-step lines and occupied-time-weighted day and run statistics.
#include "output/expos.h"

#include <cstdio>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/schedules.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "output/sim-out.h"
#include "output/summary-int.h"

namespace vexlar {

FILE* _uexp = nullptr;
static StatFamily exp_stats;   // quantity (occupant number - 1) x _nctm + species

static const OccSchedRec* daySchedule(const ExposureRec* x, int daytype)
{
    if (daytype < 0 || daytype > 11) return nullptr;
    const OccSchedRec* s = x->occ_scheds[daytype];
    return s && s->npts > 0 ? s : nullptr;
}

// ---- Exposure of one step ------------------------------------------------------------------

// Mass fractions at the start and the end of the step where the occupant stays: its cell
// of a one-dimensional zone, else the zone node.
static void stayConcentrations(const OccSchedRec* s, int pos, const double** m0, const double** m1)
{
    const ZoneCell* c = s->cells ? s->cells[pos] : nullptr;
    const AirNode* z = s->zones[pos].node;
    *m0 = c ? c->mf_prev : z->mf_prev;
    *m1 = c ? c->mf : z->mf;
}

// Each stay adds its midpoint concentration weighted by its length; the step's exposure is
// the occupied-time mean of them, so an occupant that changes zones within the step
// breathes each zone's air for the time it spent there.
void exposure(ExposureRec* x)
{
    x->occupied_time = 0.0;
    if (_nctm <= 0 || !x->exposure) return;
    for (int k = 0; k < _nctm; k++) x->exposure[k] = 0.0f;
    const OccSchedRec* s = daySchedule(x, _daytyp - 1);
    const int tEnd = _stepEndTime;
    const double stepStart = tEnd - _dt;
    double occupied = 0.0;
    for (int b = tEnd - _time_step; s && b < tEnd;) {
        int e = b;
        int len = schedWalk(&x->schedule_pos, &e, tEnd, s->times, s->npts - 1);
        if (s->zones[x->schedule_pos].node && len > 0) {
            const double *m0, *m1;
            stayConcentrations(s, x->schedule_pos, &m0, &m1);
            double g = (0.5 * (b + e) - stepStart) * _dti;
            for (int k = 0; k < _nctm; k++) x->exposure[k] += (float)(len * (float)(m0[k] + g * (m1[k] - m0[k])));
            occupied += len;
        }
        b = e;
    }
    if (occupied > 0.0)
        for (int k = 0; k < _nctm; k++) x->exposure[k] = (float)(x->exposure[k] / occupied);
    x->occupied_time = occupied;
    x->occupied_day += occupied;
}

// The step's share is taken from the time step itself, so that the evaluation before the
// steady initialisation (when the step's reciprocal is not yet set) sees the occupants too.
void setZoneOcc(int t, int daytype)
{
    for (AirNode* n = _afnd0; n; n = n->next)
        if (n->kind == 0) n->occupancy = 0.0f;
    if (_time_step <= 0) return;
    int b0 = t - _time_step, end = t;
    if (t <= 0) {
        b0 = 0;
        end = _time_step;
    }
    for (ExposureRec* x = _Pexp0; x; x = x->next) {
        const OccSchedRec* s = daySchedule(x, daytype);
        int pos = 0;
        for (int b = b0; s && b < end;) {
            int e = b;
            int len = schedWalk(&pos, &e, end, s->times, s->npts - 1);
            AirNode* z = s->zones[pos].node;
            if (z && z != _pambt) z->occupancy += (float)len / (float)_time_step * x->factor;
            b = e;
        }
    }
}

// ---- The exposure file ---------------------------------------------------------------------

// The first line: occupants, species, the run's first and last days, the listing step and
// the switches.
static const char* expHead()
{
    const RunControlData& r = _rcdat;
    static char line[112];
    snprintf(line, sizeof line, "%d\t%d\t%s\t%s\t%d\t%d\t%d\n", _npexp, _nctm,
             datxstr(r.start_date), datxstr(r.end_date), _time_list, r.ebw_step, r.ebw_stats);
    return line;
}

void setExp_periodEnd() { rewriteFirstLine(_uexp, ".ebw", expHead()); }

void set_uexp_open()
{
    const RunControlData& r = _rcdat;
    if (_npexp <= 0 || _nctm <= 0) return;
    statFamilyAlloc(exp_stats, _npexp * _nctm, "exp_day", "exp_run");
    for (ExposureRec* x = _Pexp0; x; x = x->next) x->occupied_day = x->occupied_run = 0.0;
    _uexp = createResultFile(".ebw", "w+", "EBW");
    fputs(expHead(), _uexp);
    if (r.ebw_step) {
        fprintf(_uexp, "day\ttime\tctm");
        for (int p = 1; p <= _npexp; p++) fprintf(_uexp, "\t%d", p);
        fprintf(_uexp, "\n");
    }
    if (r.ebw_stats) fprintf(_uexp, "day\tpexp\tctm\tavg\tdev\tmin\tmin\tmax\tmax\n");
}

void set_uexp_close(int flag)
{
    statFamilyFree(exp_stats);
    closeResultFile(&_uexp, flag, ".ebw");
}

static int expIndex(const ExposureRec* x, int k) { return (x->number - 1) * _nctm + k; }

// The minimum is taken only from steps the occupant spent wholly inside: a part of a step
// elsewhere says nothing about the lowest concentration breathed.
void writeExp_stepEnd(int t)
{
    const RunControlData& r = _rcdat;
    if (!_uexp) return;
    if (r.ebw_step && _time_list > 0 && t % _time_list == 0)
        for (int k = 0; k < _nctm; k++) {
            fprintf(_uexp, "%s\t%s\t%d", datxstr(_dayofy), steptimestr(t), k + 1);
            for (const ExposureRec* x = _Pexp0; x; x = x->next) resultPrintf(_uexp, "EBW file", "\t%.6e", x->exposure[k]);
            fprintf(_uexp, "\n");
        }
    if (!r.ebw_stats) return;
    for (const ExposureRec* x = _Pexp0; x; x = x->next) {
        bool whole = x->occupied_time > 0.0 && x->occupied_time == (double)_dt;
        for (int k = 0; k < _nctm; k++)
            statAdd(exp_stats, expIndex(x, k), x->exposure[k], x->occupied_time, t, whole);
    }
    exp_stats.dayCt++;
}

// An occupant never inside in the period has nothing to average: its statistics are zeros.
static void writeExpLines(const char* day, bool final)
{
    for (const ExposureRec* x = _Pexp0; x; x = x->next) {
        double occupied = final ? x->occupied_run : x->occupied_day;
        for (int k = 0; k < _nctm; k++) {
            const StatAccum& s = final ? exp_stats.run[expIndex(x, k)] : exp_stats.day[expIndex(x, k)];
            double mean = 0.0, dev = 0.0;
            if (occupied > 0.0) statMeanDev(s, 1.0 / occupied, &mean, &dev);
            fprintf(_uexp, "%s\t%d\t%d", day, x->number, k + 1);
            statWriteTail(_uexp, "EBW file", s, mean, dev, final);
        }
    }
}

void writeExp_dayEnd()
{
    if (!exp_stats.day) return;
    if (_rcdat.ebw_stats && exp_stats.dayCt != 0) {
        statFold(exp_stats, _dayofy);
        writeExpLines(datxstr(_dayofy), false);
    }
    exp_stats.runCt += exp_stats.dayCt;
    exp_stats.dayCt = 0;
    for (int i = 0; i < exp_stats.count; i++) exp_stats.dayN[i] = 0;
    for (ExposureRec* x = _Pexp0; x; x = x->next) {
        x->occupied_run += x->occupied_day;
        x->occupied_day = 0.0;
    }
}

void writeExp_simEnd()
{
    if (!_rcdat.ebw_stats || !exp_stats.day) return;
    if (exp_stats.runCt == 0) return;   // stopped before the run's first listing
    writeExpLines("final", true);
}

}  // namespace vexlar
