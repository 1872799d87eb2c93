// Building airflow test (run mode 3). A tracer of mass fraction 1 outdoors and 0
// indoors is carried by one steady solution, so that each node's tracer is the share of
// outdoor air in it. Every path's flows are then booked by where they come from and
// where they go (terminals, leaks, air-handling systems, fans, conditioned zones,
// unconditioned zones, the ambient), and ".val" reports air change rates per zone, the
// junctions and the classified flow table.
#include "simulation/sim-bldg-flow.h"

#include <cmath>
#include <initializer_list>

#include "airflow/afe-sim.h"
#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/constants.h"
#include "model/elements.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "output/sim-out.h"
#include "simulation/sim-bldg-int.h"
#include "simulation/simulate.h"

namespace vexlar {

namespace {

// Class of the other end of a path, as an offset from BF_FM_CZONE or BF_TO_CZONE.
enum EndClass { END_CZONE = 0, END_UZONE = 1, END_AMBT = 2 };

EndClass endClass(const AirNode* n)
{
    if (n->number == 0 && n->kind == 0) return END_AMBT;
    return (n->flags & NODE_AMBIENT) ? END_UZONE : END_CZONE;
}

double tracer(const AirNode* n) { return n->mf ? n->mf[0] : 0.0; }

// The row of a path's end zone; a number outside the table is FATAL, naming the path.
double* zoneRow(const BfTable* t, const AirNode* n, const char* what, const AirPath* p)
{
    if (n->number < 0 || n->number > _nzone)
        error(FATAL, __FILE__, __LINE__, "Invalid zone number: ", intstr(n->number), what,
              intstr(p->number), "");
    return t->flows[n->number];
}

// A terminal or duct leak, from its junction to the zone it serves.
void bookDuctEnd(const BfTable* t, const AirPath* p, int fm, int to, int oa)
{
    double* row = zoneRow(t, p->to_node, " terminal: ", p);
    double F = p->mass_flow[0];
    if (F > 0.0) {
        row[fm] += F;
        row[oa] += F * tracer(p->from_node);
    } else {
        row[to] += std::fabs(F);
    }
}

// A flow F >= 0 from node `a` (row ra) to node `b` (row rb), booked by their classes.
void bookBetween(double* ra, const AirNode* a, double* rb, const AirNode* b, double F)
{
    rb[BF_FM_CZONE + endClass(a)] += F;
    ra[BF_TO_CZONE + endClass(b)] += F;
}

// A fan's flow F >= 0 from `a` to `b`: in the fan columns, and by class, outdoor air
// brought in by the fan counting as such rather than as flow from the ambient.
void bookFan(double* ra, const AirNode* a, double* rb, const AirNode* b, double F)
{
    rb[BF_FM_FAN] += F;
    ra[BF_TO_FAN] += F;
    if (endClass(a) == END_AMBT) rb[BF_OA_FAN] += F;
    else rb[BF_FM_CZONE + endClass(a)] += F;
    ra[BF_TO_CZONE + endClass(b)] += F;
}

bool isPathFan(int type) { return type == AFE_FAN_CMF || type == AFE_FAN_CVF || type == AFE_FAN_FAN; }

void bookPath(const BfTable* t, const AirPath* p)
{
    const AirNode* from = p->from_node;
    const AirNode* to = p->to_node;
    double* rf = zoneRow(t, from, " path: ", p);
    double* rt = zoneRow(t, to, " path: ", p);
    double F = p->mass_flow[0], F2 = p->mass_flow[1];
    if (F2 > 0.0) bookBetween(rf, from, rt, to, F2);
    else if (F2 < 0.0) bookBetween(rt, to, rf, from, -F2);
    int type = p->element ? p->element->type : -1;
    if (type == AFE_AHS_SR) {
        if (from->flags & NODE_AHS) {
            rt[BF_FM_AHS] += F;
            rt[BF_OA_AHS] += F * tracer(from);
        } else {
            rf[BF_TO_AHS] += F;
        }
    } else if (type == AFE_AHS_XOR) {
        if (endClass(from) == END_AMBT) t->flows[0][BF_TO_AHS] += F;
        else if (endClass(to) == END_AMBT) t->flows[0][BF_FM_AHS] += F;
    } else if (isPathFan(type)) {
        if (F > 0.0) bookFan(rf, from, rt, to, F);
        else bookFan(rt, to, rf, from, -F);
    } else if (F > 0.0) {
        bookBetween(rf, from, rt, to, F);
    } else {
        bookBetween(rt, to, rf, from, -F);
    }
}

double columnSum(const double* row, int first, int last)
{
    double s = 0.0;
    for (int c = first; c <= last; c++) s += row[c];
    return s;
}

int reportedRows(const BfTable* t)
{
    int n = 0;
    for (int z = 0; z <= _nzone; z++) n += t->cu[z] != 'S';
    return n;
}

const char* dayName(int index)
{
    static const char* const names[12] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday",
                                          "Saturday", "8", "9", "10", "11", "12"};
    return index >= 0 && index < 12 ? names[index] : "?";
}

// Air change rates [1/h] of each zone: supply, return and exhaust, outdoor air by
// systems, all outdoor air, all air leaving.
void writeZones(FILE* f, const BfTable* t)
{
    if (_nzone == 0) {
        fprintf(f, "\nZones:\t0\n");
        return;
    }
    fprintf(f, "Zones:\t%d\t\t flows [ACH]\n", reportedRows(t) - 1);
    fprintf(f, "zone\tC/U\tSupply\tRet/Exh\tOA sys\tOA tot\tCirc tot\tP [Pa]\tT [C]\tVol [m^3]\n");
    for (int z = 1; z <= _nzone; z++) {
        if (t->cu[z] == 'S') continue;
        const double* r = t->flows[z];
        double a = 3600.0 / (r[BF_VOLUME] * r[BF_DENSITY]);
        double oa = columnSum(r, BF_OA_TERM, BF_OA_FAN);
        double out = columnSum(r, BF_TO_TERM, BF_TO_AHS) + columnSum(r, BF_TO_CZONE, BF_TO_AMBT);
        fprintf(f, "%d\t%c\t%.5g\t%.5g\t%.5g\t%.5g\t%.2f\t%.1f\t%.1f\t%.1f\n", z, t->cu[z],
                columnSum(r, BF_FM_TERM, BF_FM_FAN) * a, columnSum(r, BF_TO_TERM, BF_TO_FAN) * a, oa * a,
                (oa + r[BF_FM_AMBT]) * a, out * a, r[BF_PGAGE], r[BF_TEMPERATURE], r[BF_VOLUME]);
    }
}

void writeJunctions(FILE* f, const BfTable* t)
{
    if (_njct == 0) {
        fprintf(f, "\nJunctions:\t0\n");
        return;
    }
    fprintf(f, "\nJunctions:\t%d\n", _njct);
    fprintf(f, "junction\tJ/T\tOA [%%]\tFlow [kg/s]\tP [Pa]\tT [C]\tVol [m^3]\n");
    for (const AirNode* n = _afnd0; n; n = n->next) {
        if (n->kind == 0) continue;
        fprintf(f, "%d\t%c\t%.1f", n->number, t->jt[n->number], 100.0 * tracer(n));
        if (n->sum_abs_flow > 1e-12) fprintf(f, "\t %.5g", 0.5 * n->sum_abs_flow);
        else fprintf(f, "\t 0");
        fprintf(f, "\t%.1f\t%.1f\t%.2f\n", (double)n->gauge_pressure, n->temperature - 273.15,
                (double)n->volume);
    }
}

void writeClassified(FILE* f, const BfTable* t)
{
    fprintf(f, "\nClassified Zone Airflows for %s%s\n\n", _prjname, _pext);
    fprintf(f, "Zones:\t%d\t\t flows [kg/s]\n", reportedRows(t));
    fprintf(f, "zone\tC/U\tVol [m^3]\tDens [kg/m^3]"
               "\tfmTerm\tfmLeak\tfmAHS\tfmFan\tfmCzone\tfmUzone\tfmAmbt"
               "\ttoTerm\ttoLeak\ttoAHS\ttoFan\ttoCzone\ttoUzone\ttoAmbt"
               "\toaTerm\toaLeak\toaAHS\toaFan\n");
    for (int z = 0; z <= _nzone; z++) {
        if (t->cu[z] == 'S') continue;
        const double* r = t->flows[z];
        fprintf(f, "%d\t%c\t%.5g\t%.5g", z, t->cu[z], r[BF_VOLUME], r[BF_DENSITY]);
        for (int c = BF_FM_TERM; c <= BF_OA_FAN; c++) fprintf(f, "\t%.5g", r[c]);
        fprintf(f, "\n");
    }
}

// The tracer starts at 1 outdoors, in every envelope opening too, and at 0 indoors.
void startTracer()
{
    for (double* mf : {_MfZ, _MfZi})
        for (int k = 0; mf && k < _nZctm; k++) mf[k] = 0.0;
    for (double* mf : {_MfJ, _MfJi})
        for (int k = 0; mf && k < _nJctm; k++) mf[k] = 0.0;
    if (_pambt->mf) _pambt->mf[0] = 1.0;
    if (_pambt->mf_prev) _pambt->mf_prev[0] = 1.0;
    for (int k = 1; _ENV_Mf && k <= _nEnvPaths_Wpc; k++) _ENV_Mf[k][0] = 1.0;
}

}  // namespace

// The time and day the report names: the result time on the clock of the day, one hour
// later under daylight saving, past midnight on the next day of the week.
const char* bfReportTime(int* time)
{
    int t = _stepEndTime + (_DSTind ? 3600 : 0);
    int index = _daytyp - 1;
    if (t > 86400) {
        t -= 86400;
        index = _dayofw % 7;
    }
    *time = t;
    return dayName(index);
}

void bfAlloc(BfTable* t)
{
    t->flows = alc_mcT<double>(0, _nzone, 0, BF_NCOL - 1, "Flows");
    t->cu = alc_vT<char>(0, _nzone, "cu");
    t->jt = _njct > 0 ? alc_vT<char>(1, _njct, "jt") : nullptr;
    t->vol = BldgVolumes{0.0, 0.0, 0.0};
}

void bfFree(BfTable* t)
{
    t->flows = fre_mcT(t->flows, 0, _nzone, 0, BF_NCOL - 1);
    t->cu = fre_vT(t->cu, 0, _nzone, "cu");
    if (t->jt) t->jt = fre_vT(t->jt, 1, _njct, "jt");
}

void bfNodeData(BfTable* t)
{
    // Zone letters by volume class: the ambient, conditioned, system and unconditioned.
    static const char letters[] = {'A', 'C', 'S', 'U'};
    bool missing_volume = false;
    for (const AirNode* n = _afnd0; n; n = n->next) {
        VolumeClass vc = volumeClass(n);   // FATAL for a zone number outside the table
        if (n->kind != 0) {
            if (n->number < 1 || n->number > _njct)
                error(FATAL, __FILE__, __LINE__, "Invalid junction number: ", intstr(n->number), "");
            t->jt[n->number] = n->kind == 1 ? 'J' : 'T';
            continue;
        }
        double* r = t->flows[n->number];
        r[BF_VOLUME] = n->volume;
        r[BF_DENSITY] = n->density;
        r[BF_TEMPERATURE] = n->temperature - 273.15;
        r[BF_PGAGE] = n->gauge_pressure;
        t->cu[n->number] = letters[vc];
        if (n->number > 0 && n->volume <= 0.0f) {
            r[BF_VOLUME] = -1.0;
            missing_volume = true;
        }
    }
    if (missing_volume)
        error(ERROR, __FILE__, __LINE__, "All zones must have volumes to compute air exchange rates", "");
    t->vol = bldgVolumes();
    t->flows[0][BF_VOLUME] = t->vol.conditioned + t->vol.ducts;
}

void bfPathFlows(BfTable* t)
{
    for (const AirPath* p = _pafp0; p; p = p->next) {
        switch (p->kind) {
        case 0: bookPath(t, p); break;
        case 2: bookDuctEnd(t, p, BF_FM_TERM, BF_TO_TERM, BF_OA_TERM); break;
        case 3: bookDuctEnd(t, p, BF_FM_LEAK, BF_TO_LEAK, BF_OA_LEAK); break;
        default: break;   // duct segments stay inside the duct system
        }
    }
}

double bfOutdoorAir(const BfTable* t)
{
    double f = 0.0;
    for (int z = 1; z <= _nzone; z++)
        if (t->cu[z] == 'C') f += t->flows[z][BF_FM_UZONE] + t->flows[z][BF_FM_AMBT] + t->flows[z][BF_OA_FAN];
    const double* a = t->flows[0];
    return f + a[BF_TO_TERM] + a[BF_TO_LEAK] + a[BF_TO_AHS];
}

void bfWriteReport(FILE* f, const BfTable* t, int time, const char* day)
{
    const RunControlData& r = _rcdat;
    fprintf(f, "Airflow Summary for %s%s\n\n", _prjname, _pext);
    fprintf(f, "Ambient T:\t%.2f\tC\n", _wthdat.Tambt - 273.15);
    fprintf(f, "Pressure: \t%.2f\tPa\n", _wthdat.Pbar);
    fprintf(f, "Wind spd: \t%.2f\tm/s\n", (double)_wthdat.WS);
    fprintf(f, "Wind dir: \t%.2f\tdeg\n", (double)_wthdat.WD);
    fprintf(f, "Time:     \t%s\t%s\n\n", timestr(time), day);
    fprintf(f, "Bldg ACH:\t%.3f\n\n", 3600.0 * bfOutdoorAir(t) / (RHO_REF * t->flows[0][BF_VOLUME]));
    if (r.bf_zones) writeZones(f, t);
    if (r.bf_jcts) writeJunctions(f, t);
    if (r.bf_class) writeClassified(f, t);
    fprintf(f, "\nVolumes: %s\n", _prjname);
    writeVolumes(f, t->vol);
}

void BldgFlow()
{
    int time;
    const char* day = bfReportTime(&time);
    ulog_printf("Building airflow test called\n");
    removeResultFile(".val");
    _rcdat.cnvgSS = 0;
    // The building's air change rate divides by the volume of all but its unconditioned
    // zones: without it there is no rate to report.
    const BldgVolumes v = bldgVolumes();
    if (!haveConditionedZone() || !(v.conditioned + v.ducts > 0.0)) {
        declineTest("No conditioned zone with a volume: no building airflow test report");
        return;
    }
    if (!haveEnvelopePath(false)) {
        declineTest("No envelope path to bring outdoor air in: no building airflow test report");
        return;
    }
    startTracer();
    sim_init(1);
    BfTable t{};
    bfAlloc(&t);
    bfNodeData(&t);
    bfPathFlows(&t);
    FILE* f = openValReport();
    bfWriteReport(f, &t, time, day);
    closeValReport();
    bfFree(&t);
}

}  // namespace vexlar
