// Contaminant summary (".csm"), written at the end of a run with species: the species, every
// source and sink with the mass it released, removed and stored, what every filter was
// challenged with, passed and loaded and when it broke through, and the species mass
// exchanged with the ambient through the envelope. Two per-step accumulators feed it: the
// filter challenge, and the envelope exchange (also read by the exfiltration files); what
// each filter holds is its own loading state, which the filters advance every step.
#include <cstdio>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/elements.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "airflow/afe-filter.h"
#include "output/sim-out.h"
#include "output/summary-int.h"
#include "output/summary.h"

namespace vexlar {

static int ttime;   // seconds accumulated by sum_ambient_compute
static int csmCreated;   // this run has created the summary file

int sum_ambient_seconds() { return ttime; }

// ---- Filter challenge -------------------------------------------------------------------------

// What each filter was challenged with and what passed it; what it holds is its loading
// state, which the filters advance themselves every step (filter_load_step).
void sum_filter_compute(double dt, int first, int end)
{
    if (end < 0) end = _nctm;
    for (AirPath* p = _pafp0; p; p = p->next) {
        const double* up = nullptr;
        double q = filter_air_through(p, dt, &up);
        if (q == 0.0) continue;
        FilterLoadRec* fl = p->filter->load;
        for (int k = first; k < end; k++) {
            double m = up[k] * q;
            fl->mass_in[k] += m;
            fl->mass_out[k] += fl->penetration[k] * m;
        }
    }
}

// ---- Envelope exchange ------------------------------------------------------------------------

// One flow e of envelope path p (position i of the envelope list) with penetration pen.
static void envelopeFlow(const AirPath* p, int i, double e, const float* pen, double wNonTrace, double wTrace)
{
    bool fromAmbient = p->from_node == _pambt;
    const double* mf = e > 0.0 ? p->mf_from : p->mf_to;
    bool in = e > 0.0 ? fromAmbient : !fromAmbient;
    double a = e > 0.0 ? e : -e;
    for (int k = 0; k < _nctm; k++) {
        double v = pen[k] * a * mf[k];
        if (in) {
            _Env_MdotIn_step[k] += v;
        } else {
            _Env_MdotOut_step[k] += v;
            double w = k < _nntc ? wNonTrace : wTrace;
            if (_rcdat.cex_ctm && _Env_MassPath_list) _Env_MassPath_list[k][i] += v * w;
        }
    }
}

// Weight of species k; the non-trace species weigh wNonTrace, the trace species wTrace.
struct SpeciesWeights {
    double air, nonTrace, trace;
    double of(int k) const { return k < _nntc ? nonTrace : trace; }
};

// Adds rate v [kg/s] of every species to the totals m with their weights. Where the air (the
// first of two or more non-trace species) weighs apart from the rest of the mixture, it is
// booked as the mixture at its weight less the other species at theirs: the transport
// takes the air as what the gas law leaves of the mixture.
static void addWeighted(double* m, const double* v, const SpeciesWeights& w)
{
    const bool airApart = _nntc >= 2 && w.air != w.nonTrace;
    for (int k = airApart ? 1 : 0; k < _nctm; k++) m[k] += v[k] * w.of(k);
    if (!airApart) return;
    double others = 0.0;
    for (int k = 1; k < _nntc; k++) others += v[k];
    m[0] += (v[0] + others) * w.air - others * w.nonTrace;
}

void sum_ambient_split(double wAir, double wNonTrace, double wTrace, int counted)
{
    if (_nEnvPaths_All <= 0 || !_Env_MdotIn_step) return;
    const RunControlData& r = _rcdat;
    const SpeciesWeights w{wAir, wNonTrace, wTrace};
    for (int k = 0; k < _nctm; k++) _Env_MdotIn_step[k] = _Env_MdotOut_step[k] = 0.0;
    for (int i = 0; i < _nEnvPaths_All; i++) {
        const AirPath* p = _EnvPaths_All[i];
        const float* pen = filter_get_eff(p);
        for (int j = 0; j < 2; j++)
            if (p->mass_flow[j] != 0.0) envelopeFlow(p, i, p->mass_flow[j], pen, w.nonTrace, w.trace);
    }
    addWeighted(_Env_MassIn_sum, _Env_MdotIn_step, w);
    addWeighted(_Env_MassOut_sum, _Env_MdotOut_step, w);
    if ((r.cex_bldg || r.cex_ctm) && _Env_MassOut_list) addWeighted(_Env_MassOut_list, _Env_MdotOut_step, w);
    ttime += counted;
}

void sum_ambient_add(double w, int counted) { sum_ambient_split(w, w, w, counted); }

void sum_ambient_compute(int dt) { sum_ambient_add(dt, dt); }

static void restartAmbient()
{
    if (!_Env_MdotIn_step) return;
    for (int k = 0; k < _nctm; k++) {
        _Env_MassIn_sum[k] = _Env_MassOut_sum[k] = 0.0;
        if (_Env_MassOut_list) _Env_MassOut_list[k] = 0.0;
        for (int i = 0; i < _nEnvPaths_All && _Env_MassPath_list; i++) _Env_MassPath_list[k][i] = 0.0;
    }
    ttime = 0;
}

template <class T> static void restartSourceTotals(T* p)
{
    for (; p; p = p->next) p->mass_released = p->mass_removed = 0.0;
}

// What the filters were challenged with and captured; the relative loading, which the gas
// filter's efficiency follows, carries on.
static void restartFilterTotals()
{
    for (const AirPath* p = _pafp0; p; p = p->next) {
        if (!p->filter || !p->filter->load) continue;
        for (FilterLoadRec* fl = p->filter->load; fl; fl = fl->next)
            for (int k = 0; k < _nctm; k++) {
                if (fl->loads) fl->loads[k] = 0.0;
                if (fl->mass_in) fl->mass_in[k] = 0.0;
                if (fl->mass_out) fl->mass_out[k] = 0.0;
            }
    }
}

void sum_totals_restart()
{
    CssRec* css[3] = {_Css0, _Csst0, _Cssnt0};
    BlsRec* bls[4] = {_Bls0, _Blst0, _Blsnt0, _BlsInactive0};
    DvrRec* dvr[4] = {_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0};
    for (CssRec* c : css) restartSourceTotals(c);
    for (BlsRec* b : bls) restartSourceTotals(b);
    for (DvrRec* d : dvr) restartSourceTotals(d);
    restartFilterTotals();
    restartAmbient();
}

// ---- The file ---------------------------------------------------------------------------------

static void writeBox(FILE* f, const float* b)
{
    resultPrintf(f, "CSM file", "\t%4g\t%4g\t%4g\t%4g\t%4g\t%4g", b[0], b[3], b[1], b[4], b[2], b[5]);
}

static const float* cseData(const CseRec* c) { return static_cast<const float*>(c->model_data); }

static void writeCssRows(FILE* f, const CssRec* c)
{
    for (; c; c = c->next) {
        const CseRec* e = c->cse;
        float as = e->type == CSE_DVS ? cseData(e)[1] : 0.0f;
        resultPrintf(f, "CSM file", "%d\t%s\t%s\t%d\t%4g\t%4g", c->number, _csse_names[e->type],
                     _ctm[e->species].name, c->zone_number, as, c->multiplier);
        writeBox(f, c->box);
        resultPrintf(f, "CSM file", "\t%.6e\t%.6e\t0\n", c->mass_released, c->mass_removed);
    }
}

static void writeBlsRows(FILE* f, const BlsRec* b)
{
    for (; b; b = b->next) {
        resultPrintf(f, "CSM file", "%d\tbls\t%s\t%d\t%4g\t%4g", b->number, _ctm[b->species].name,
                     b->zone_node->index, b->multiplier, 1.0);
        writeBox(f, b->box);
        resultPrintf(f, "CSM file", "\t%.6e\t%.6e\t%.6e\n", b->mass_released, b->mass_removed,
                     b->coef_mult * b->surface_mass);
    }
}

static void writeDvrRows(FILE* f, const DvrRec* d)
{
    for (; d; d = d->next) {
        float as = cseData(d->cse)[2];
        resultPrintf(f, "CSM file", "%d\tdvr\t%s\t%d\t%4g\t%4g", d->number, _ctm[d->species].name,
                     d->zone_node->index, as, d->multiplier);
        writeBox(f, d->box);
        resultPrintf(f, "CSM file", "\t%.6e\t%.6e\t%.6e\n", d->mass_released, d->mass_removed,
                     d->surface_mass * as * d->multiplier);
    }
}

template <class T> static int listLength(const T* p)
{
    int n = 0;
    for (; p; p = p->next) n++;
    return n;
}

void writeCsm_CssSummaries(FILE* f, const CssRec* head) { writeCssRows(f, head); }
void writeCsm_DvrSummaries(FILE* f, const DvrRec* head) { writeDvrRows(f, head); }

static void writeSourceSection(FILE* f)
{
    const CssRec* css[3] = {_Css0, _Csst0, _Cssnt0};
    const BlsRec* bls[4] = {_Bls0, _Blst0, _Blsnt0, _BlsInactive0};
    const DvrRec* dvr[4] = {_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0};
    int n = 0;
    for (const CssRec* c : css) n += listLength(c);
    for (const BlsRec* b : bls) n += listLength(b);
    for (const DvrRec* d : dvr) n += listLength(d);
    if (n == 0) return;
    fprintf(f, "\nContaminant source/sink summary.\n%d\tsource/sinks\n", n);
    fprintf(f, "s/s#\ttype\tspecies\tzn#\tAs\tmult\tXmin\tXmax\t");
    fprintf(f, "Ymin\tYmax\tZmin\tZmax\treleased\tremoved\tstored [kg]\n");
    for (const CssRec* c : css) writeCsm_CssSummaries(f, c);
    for (const BlsRec* b : bls) writeBlsRows(f, b);
    for (const DvrRec* d : dvr) writeCsm_DvrSummaries(f, d);
}

static int filteredPaths()
{
    int n = 0;
    for (const AirPath* p = _pafp0; p; p = p->next) n += p->filter && p->filter->load;
    return n;
}

static void writeSpeciesHead(FILE* f, const char* title, int n, const char* tail)
{
    fprintf(f, "\n%s\n%d\tfilters\npath", title, n);
    for (int k = 0; k < _nctm; k++) fprintf(f, "\t%s", _ctm[k].name);
    fprintf(f, "%s", tail);
}

static void writeValues(FILE* f, const double* v)
{
    for (int k = 0; k < _nctm; k++) resultPrintf(f, "CSM file", "\t%.6e", v[k]);
}

static void writeChallenge(FILE* f, int n)
{
    writeSpeciesHead(f, "Filter challenge summary.", n, "\telement\n");
    for (const AirPath* p = _pafp0; p; p = p->next) {
        if (!p->filter || !p->filter->load) continue;
        const FilterLoadRec* fl = p->filter->load;
        fprintf(f, "%d%c", p->number, _ftype[p->kind]);
        writeValues(f, fl->mass_in);
        fprintf(f, "\t%s\n--", fl->flte->name);
        writeValues(f, fl->mass_out);
        fprintf(f, "\tdownstream\n");
    }
}

// A super filter's line holds the sum of its members' loads, then one line per member.
static void writeLoading(FILE* f, int n)
{
    writeSpeciesHead(f, "Filter loading summary.", n, "\telement\tns\n");
    for (const AirPath* p = _pafp0; p; p = p->next) {
        if (!p->filter || !p->filter->load) continue;
        FilterLoadRec* fl = p->filter->load;
        fprintf(f, "%d%c", p->number, _ftype[p->kind]);
        if (!filter_is_super(fl)) {
            writeValues(f, fl->loads);
            fprintf(f, "\t%s\t0\n", fl->flte->name);
            continue;
        }
        // The row sums the members without storing the sum: a filter on several paths
        // (a path and a duct, say) would otherwise add its members again on each row.
        for (int k = 0; k < _nctm; k++) {
            double sum = fl->loads[k];
            for (const FilterLoadRec* s = fl->next; s; s = s->next) sum += s->loads[k];
            resultPrintf(f, "CSM file", "\t%.6e", sum);
        }
        fprintf(f, "\t%s\t%d\n", fl->flte->name, static_cast<const SuperFilterData*>(fl->flte->model_data)->count);
        for (const FilterLoadRec* s = fl->next; s; s = s->next) {
            fprintf(f, "--");
            writeValues(f, s->loads);
            fprintf(f, "\t%s\t0\n", s->flte->name);
        }
    }
}

// Breakthrough values exist for the gas filters, one per species.
static float breakthroughValue(const FilterLoadRec* fl, int k)
{
    if (!fl->flte->breakthrough || fl->flte->type != FLT_GF0) return 0.0f;
    const GasFilterData* g = static_cast<const GasFilterData*>(fl->flte->model_data);
    return g->bkt_eff ? g->bkt_eff[k] : 0.0f;
}

// The loading states that can break through: a super filter's members, else the filter.
static const FilterLoadRec* firstState(const FilterLoadRec* fl) { return filter_is_super(fl) ? fl->next : fl; }
static const FilterLoadRec* nextState(const FilterLoadRec* fl, const FilterLoadRec* s)
{
    return filter_is_super(fl) ? s->next : nullptr;
}

static int breakthroughSpecies(const FilterLoadRec* fl)
{
    int n = 0;
    for (const FilterLoadRec* s = firstState(fl); s; s = nextState(fl, s))
        for (int k = 0; k < _nctm; k++) n += breakthroughValue(s, k) > 0.0f;
    return n;
}

static void writeBreakthroughStates(FILE* f, const FilterLoadRec* fl)
{
    for (int k = 0; k < _nctm; k++) {
        float b = breakthroughValue(fl, k);
        if (!(b > 0.0f)) continue;
        fprintf(f, "--\t%s", _ctm[k].name);
        if (fl->bkt_day && fl->bkt_day[k] > 0)
            resultPrintf(f, "CSM file", "\t%s\t%s\t%g\n", datestr(fl->bkt_day[k]), steptimestr(fl->bkt_time[k]), b);
        else
            resultPrintf(f, "CSM file", "\t--\t--\t%g\n", fl->efficiency ? fl->efficiency[k] : 0.0f);
    }
}

static void writeBreakthrough(FILE* f)
{
    int n = 0;
    for (const AirPath* p = _pafp0; p; p = p->next)
        n += p->filter && p->filter->load && p->filter->load->flte->breakthrough;
    fprintf(f, "\nFilter breakthrough summary.\n%d\tfilters\npath\telement\tnc\n", n);
    fprintf(f, "\tcontaminant\tdate\ttime\tefficiency\n");
    for (const AirPath* p = _pafp0; p; p = p->next) {
        if (!p->filter || !p->filter->load || !p->filter->load->flte->breakthrough) continue;
        const FilterLoadRec* fl = p->filter->load;
        fprintf(f, "%d%c\t%s\t%d\n", p->number, _ftype[p->kind], fl->flte->name, breakthroughSpecies(fl));
        for (const FilterLoadRec* s = firstState(fl); s; s = nextState(fl, s)) writeBreakthroughStates(f, s);
    }
}

static void writeAmbientSection(FILE* f)
{
    if (_nEnvPaths_All <= 0 || !_Env_MassIn_sum) return;
    fprintf(f, "\nInteractions with ambient.\ncontaminant\tmass from\tmass to [kg]\n");
    for (int k = 0; k < _nctm; k++)
        resultPrintf(f, "CSM file", "%s\t%.5e\t%.5e\n", _ctm[k].name, _Env_MassIn_sum[k], _Env_MassOut_sum[k]);
    fprintf(f, "\nSimulation time:\n%d\tseconds\n%g\thours\n%g\tdays\n\n", ttime, ttime / 3600.0,
            ttime / 3600.0 / 24.0);
}

void writeCsm_simEnd()
{
    char project[4096];
    pathmerge(project, sizeof project, _pdrive, _pdir, _prjname, _pext);
    FILE* f = createResultFile(".csm", "w", "CSM");
    csmCreated = 1;
    fprintf(f, "Project:  %s\n", project);
    fprintf(f, "\n%d\tcontaminants\nName\tEffDens\tMeanDiameter\n", _nctm);
    for (int k = 0; k < _nctm; k++)
        fprintf(f, "%s\t%6g\t%6g\n", _ctm[k].name, _ctm[k].effective_density, _ctm[k].mean_diameter);
    writeSourceSection(f);
    int n = filteredPaths();
    if (n > 0) {
        writeChallenge(f, n);
        writeLoading(f, n);
        writeBreakthrough(f);
    }
    writeAmbientSection(f);
    closeResultFile(&f, 0, ".csm");   // a write that did not reach the file is reported
}

void set_ucsm_close(int flag)
{
    if (flag && csmCreated) removeResultFile(".csm");
    csmCreated = 0;
}

}  // namespace vexlar
