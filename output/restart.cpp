// Restart file (".rst"): a header of ten 32-bit integers, then one fixed-size record of
// the dynamic state per completed day: day and time (int32), then the double blocks of
// the nodes, paths, mass fractions, filter loading states, source states, sink states,
// control states, and for the short-time-step method the cells of the 1-D zones and the
// duct cell rings, then the nodes' densities and air-mass sources and the day type of the
// week, then under a time weight below 1 what the next step's books start from (the
// filters' efficiencies, the sources' and sinks' rates), under the short time step with
// the storage term each zone's change of air mass over the last step, under the stiff
// integrator the length of its last step, and last what the record was written for (the
// species, method, time weights, storage term and a digest of the network); little-endian
// with no padding. Every block's size, writer and reader sit in one table (BLOCKS). The
// layout is computed from the current network, and a record is only ever restored into
// the project it was written for. Every value is checked on the way in and on the way
// out: a record holding a non-finite number is never written, and one holding a value no
// state can hold (a non-finite number, a temperature, gas constant or air mass not above
// zero, a mass fraction outside [0, 1] beyond the run's noise, a value beyond the float
// range of the result files it reaches, an impossible time) is never restored.
#include "output/restart.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "common-src/convert.h"
#include "contaminant/mf-mem.h"
#include "contaminant/solv-sts.h"
#include "contaminant/sts-init.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "model/sts-links.h"
#include "airflow/afe-filter.h"
#include "output/sim-out.h"

namespace vexlar {

namespace {

constexpr int NHEADER = 10;
// Every time of day a record holds [s] lies within a day of the day it belongs to: a step
// ends a little past midnight at the end of a first day started off the step grid (24:04
// for a start at 0:04 with 5-minute steps), never a day past it; a schedule delay's change
// time, half a step before a step end, is moved back a day when a new day begins while its
// schedule runs.
constexpr int TIME_MIN = -86400 + 1, TIME_MAX = 2 * 86400 - 1;
// Limits of the values a state can hold: above zero, and within the float range for the
// values the result files store in single precision.
constexpr double ABOVE_ZERO = std::numeric_limits<double>::denorm_min();
constexpr double SINGLE = FLT_MAX;
// A mass fraction of the air found as one less the others' rounds a few units of the last
// place above one.
constexpr double MF_MAX = 1.0 + 64 * DBL_EPSILON;

// Blocks of a record, in record order. Blocks added later follow the earlier ones, so that
// those keep their offsets; the record size in the header tells a file of an older layout.
enum RstBlock { B_NODE, B_PATH, B_CTM, B_FILTER, B_CSS, B_BLS, B_DVR, B_CTRL, B_CELL, B_DUCT,
                B_MF, B_LAMP, B_AIR, B_WEEK, B_START, B_STORAGE, B_STEP, B_IDENT, B_COUNT };

// The restart subsystem's own state, returned to its start by rst_reset as a run begins.
struct RstState {
    int32_t rhd[NHEADER];       // header of the current project
    int count[B_COUNT];         // doubles per block
    int sizeData;               // bytes per record
    unsigned char* record;      // one record, staged for a single write or read
    FILE* file;                 // the file this run writes, null while not open
    int created;                // set once this run has created its own restart file
    RstMoment moment;           // day, time and day type of the record last restored
};
RstState _rst;

// ---- Little-endian packing ----------------------------------------------------------------

void putI32(unsigned char* at, int32_t v)
{
    for (int i = 0; i < 4; i++) at[i] = (unsigned char)((uint32_t)v >> (8 * i));
}

int32_t getI32(const unsigned char* at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= (uint32_t)at[i] << (8 * i);
    return (int32_t)v;
}

void putF64(unsigned char* at, double d)
{
    uint64_t v;
    memcpy(&v, &d, 8);
    for (int i = 0; i < 8; i++) at[i] = (unsigned char)(v >> (8 * i));
}

double getF64(const unsigned char* at)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; i++) v |= (uint64_t)at[i] << (8 * i);
    double d;
    memcpy(&d, &v, 8);
    return d;
}

// ---- What each record kind carries --------------------------------------------------------

// Source states by element type: eds keeps its start rate and plm the initial rate it
// derived when it started, besides their clocks; the other clocked models their clock
// alone; the rest nothing.
int cssValueCount(const CssRec* c)
{
    switch (c->cse->type) {
    case CSE_EDS: case CSE_PLM: return 4;
    case CSE_BRS: case CSE_PKM: case CSE_SXD: case CSE_DXD: return 3;
    case CSE_BLS:
        error(FATAL, __FILE__, __LINE__, "BLS element should not be in this list; call ZELT", "");
        return 0;
    case CSE_DVR:
        error(FATAL, __FILE__, __LINE__, "DVR element should not be in this list; call ZELT", "");
        return 0;
    default: return 0;
    }
}

// Control states: the output, and for the signals that carry state from one step to the
// next (sensors, hysteresis, PI controllers, integrators, listing-step integrals and
// averages, schedule and exponential delays) that state.
int ctrlValueCount(const CtrlNode* c)
{
    switch (c->type) {
    case CT_SNS: case CT_HYS: return 2;
    case CT_PI1: return 3;
    case CT_IRS: case CT_ARS: case CT_DLX: return 4;
    case CT_INT: return 5;
    case CT_DLS: return 6;
    default: return 1;
    }
}

CssRec* const* cssLists()
{
    static CssRec* lists[3];
    lists[0] = _Css0;
    lists[1] = _Csst0;
    lists[2] = _Cssnt0;
    return lists;
}

// A loading state: its relative loading, and per species its load and the day and time of
// its breakthrough (0 for none, and always 0 for a super filter's own state).
int loadValueCount() { return 1 + 3 * _nctm; }

// Every loading state of the filtered paths: a super filter's own, then its members'.
int filterValueCount()
{
    int n = 0;
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (p->filter)
            for (const FilterLoadRec* fl = p->filter->load; fl; fl = fl->next) n += loadValueCount();
    return n;
}

// Whether a path's filter (or one of a super filter's members) is an ultraviolet lamp that
// ages: then the record keeps the day and time its lamps started.
bool agingLamps()
{
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (p->filter)
            for (const FilterLoadRec* fl = p->filter->load; fl; fl = fl->next)
                if (fl->flte->type == FLT_UV1 &&
                    static_cast<const UvFilterData*>(fl->flte->model_data)->uv_aging > 0)
                    return true;
    return false;
}

// The cells of the 1-D zones exist only under the short-time-step method.
int cellValueCount() { return _MfC ? _nCcctm : 0; }

// The contents of a duct segment with cells, found from its path: the duct list is in
// the order of the last step's flows, the path list in the network's own.
DuctLagData* ductLag(const AirPath* p)
{
    if (p->kind != 1) return nullptr;
    for (DuctLink* d = _duct0; d; d = d->next)
        if (d->path == p) return d->lag->cell_count > 0 ? d->lag : nullptr;
    return nullptr;
}

// A duct with cells: its mode, where its last active cell sits in the ring counted from
// its first, its start, end and outlet mass fractions, then every cell of its ring from
// the first active one: position, length, spacing and mass fractions.
int ductValueCount(const DuctLagData* lag)
{
    return 2 + 3 * _nctm + (lag->cell_count + 3) * (3 + _nctm);
}

int ductsValueCount()
{
    int n = 0;
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (const DuctLagData* lag = ductLag(p)) n += ductValueCount(lag);
    return n;
}

// The implicit transport systems (non-trace, then trace) carry from one step into the
// next the mass bases and unknowns of their last solve, and with a time weight below 1
// its rates: the explicit part of the next step is formed from them.
MF_MAT* implicitSystem(int k)
{
    const RunControlData& r = _rcdat;
    if (r.mf_solver != 0) return nullptr;
    if (k == 0) return r.mfn_on ? _MFn_mem : nullptr;
    return r.mft_on ? _MFt_mem : nullptr;
}

int systemValueCount(const MF_MAT* m)
{
    return m && m->nvar > 0 ? m->nvar * (m->rate ? 3 : 2) : 0;
}

int systemsValueCount() { return systemValueCount(implicitSystem(0)) + systemValueCount(implicitSystem(1)); }

// Under a time weight below 1 the books of a step start with what the previous step left:
// each filter's efficiencies (and so its penetrations), each source's generation rate and
// removal coefficient and each sink's release and uptake coefficients.
bool startPartBooked()
{
    for (int k = 0; k < 2; k++)
        if (const MF_MAT* m = implicitSystem(k))
            if (m->rate) return true;
    return false;
}

template <class Rec> int recordsIn(std::initializer_list<Rec*> lists)
{
    int n = 0;
    for (Rec* l : lists)
        for (Rec* k = l; k; k = k->next) n++;
    return n;
}

int startPartValueCount()
{
    if (!startPartBooked()) return 0;
    int n = 0;
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (p->filter)
            for (const FilterLoadRec* fl = p->filter->load; fl; fl = fl->next) n += 2 * _nctm;
    n += 2 * recordsIn<CssRec>({_Css0, _Csst0, _Cssnt0});
    n += 2 * recordsIn<BlsRec>({_Bls0, _Blst0, _Blsnt0, _BlsInactive0});
    return n + 2 * recordsIn<DvrRec>({_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0});
}

// Under the short time step with the storage term, the change of air mass over the step
// before of each zone the airflows' storage term lags (stsLagsStorage).
int storageValueCount()
{
    int n = 0;
    for (const AirNode* a = _afnd0; a; a = a->next) n += stsLagsStorage(a) ? 1 : 0;
    return n;
}

// ---- Writing and restoring the blocks ------------------------------------------------------

// How far outside [0, 1] a mass fraction may lie: the noise the run's transport accepts as
// zero, the concentration cutoffs of its systems, and for the stiff integrator, whose
// unknowns are species masses, its absolute tolerance per kilogram of the node's air.
double mfNoise(double air_mass)
{
    const RunControlData& r = _rcdat;
    double noise = std::fmax(std::fmax(r.mfn_cutoff, r.mft_cutoff), r.mfc_cutoff);
    if (r.mf_solver > 1 && air_mass > 0.0) noise = std::fmax(noise, r.cv_atol / air_mass);
    return noise;
}

// Cursor over the doubles of a staged record. It notes the first value that no state can
// hold: a number outside the limits its state allows (never a non-finite one), or a whole
// number (a day, a time, a flag, a mode) outside its range, which is never converted.
struct Cursor {
    unsigned char* at;
    unsigned char* bad;   // first such value, null while there is none
    void mark() { if (!bad) bad = at - 8; }
    void put(double d)
    {
        putF64(at, d), at += 8;
        if (!std::isfinite(d)) mark();
    }
    double real(double lo = -DBL_MAX, double hi = DBL_MAX)
    {
        double d = getF64(at);
        at += 8;
        if (d >= lo && d <= hi) return d;
        mark();
        return lo;
    }
    double positive() { return real(ABOVE_ZERO); }
    double single() { return real(-SINGLE, SINGLE); }
    double massFraction(double noise) { return real(-noise, MF_MAX + noise); }
    float real32() { return (float)single(); }
    int whole(int lo, int hi) { return (int)real(lo, hi); }
    int time() { return whole(TIME_MIN, TIME_MAX); }
};

void packCss(Cursor& c, const CssRec* s)
{
    int n = cssValueCount(s);
    if (n == 0) return;
    c.put(s->trigger_time);
    c.put(s->trigger_day);
    c.put(s->triggered);
    if (n < 4) return;
    if (s->cse->type == CSE_EDS) c.put(s->decay_start);
    else c.put(static_cast<const float*>(s->cse->model_data)[3]);
}

void unpackCss(Cursor& c, CssRec* s)
{
    int n = cssValueCount(s);
    if (n == 0) return;
    s->trigger_time = c.time();
    s->trigger_day = c.whole(0, 365);
    s->triggered = c.whole(0, 1);
    if (n < 4) return;
    if (s->cse->type == CSE_EDS) s->decay_start = c.real32();
    else static_cast<float*>(s->cse->model_data)[3] = c.real32();
}

// A sensor's lag state is its factor once evaluated, -1 before its first evaluation; a
// schedule delay's running schedule is 0 (none), 1 (rising) or 2 (falling).
void packCtrl(Cursor& c, CtrlNode* n)
{
    c.put(n->value);
    switch (n->type) {
    case CT_SNS: {
        const SensorData* s = static_cast<const SensorData*>(n->data);
        c.put(s->first_done ? (double)s->lag_factor : -1.0);
        break;
    }
    case CT_HYS: c.put(static_cast<const HysData*>(n->data)->state); break;
    case CT_PI1: {
        const PicData* p = static_cast<const PicData*>(n->data);
        c.put(p->prev_out);
        c.put(p->prev_in);
        break;
    }
    case CT_INT: {
        const IntData* d = static_cast<const IntData*>(n->data);
        c.put(d->integral);
        c.put(d->prev_in1);
        c.put(d->prev_in2);
        c.put(d->first_done);
        break;
    }
    case CT_IRS: case CT_ARS: {
        const ListStepData* l = static_cast<const ListStepData*>(n->data);
        c.put(l->integral);
        c.put(l->elapsed);
        c.put(l->prev_in);
        break;
    }
    case CT_DLX: {
        const DlxData* d = static_cast<const DlxData*>(n->data);
        c.put(d->last_input);
        c.put(d->factor);
        c.put(d->first_done);
        break;
    }
    case CT_DLS: {
        const DlsData* d = static_cast<const DlsData*>(n->data);
        c.put(d->step_change);
        c.put(d->last_input);
        c.put(d->change_time);
        c.put(!d->active ? 0 : d->active == d->rise ? 1 : 2);
        c.put(d->first_done);
        break;
    }
    default: break;
    }
}

void unpackCtrl(Cursor& c, CtrlNode* n)
{
    n->value = c.real32();
    switch (n->type) {
    case CT_SNS: {
        SensorData* s = static_cast<SensorData*>(n->data);
        float lag = c.real32();
        s->first_done = lag >= 0.0f;
        s->lag_factor = s->first_done ? lag : 0.0f;
        break;
    }
    case CT_HYS: static_cast<HysData*>(n->data)->state = c.real32(); break;
    case CT_PI1: {
        PicData* p = static_cast<PicData*>(n->data);
        p->prev_out = c.real32();
        p->prev_in = c.real32();
        break;
    }
    case CT_INT: {
        IntData* d = static_cast<IntData*>(n->data);
        d->integral = c.real();
        d->prev_in1 = c.real32();
        d->prev_in2 = c.real32();
        d->first_done = c.whole(0, 1);
        break;
    }
    case CT_IRS: case CT_ARS: {
        ListStepData* l = static_cast<ListStepData*>(n->data);
        l->integral = c.real();
        l->elapsed = c.real32();
        l->prev_in = c.real32();
        break;
    }
    case CT_DLX: {
        DlxData* d = static_cast<DlxData*>(n->data);
        d->last_input = c.real32();
        d->factor = c.real32();
        d->first_done = c.whole(0, 1);
        break;
    }
    case CT_DLS: {
        DlsData* d = static_cast<DlsData*>(n->data);
        d->step_change = c.real32();
        d->last_input = c.real32();
        d->change_time = c.time();
        int active = c.whole(0, 2);
        d->active = active == 0 ? nullptr : active == 1 ? d->rise : d->fall;
        d->first_done = c.whole(0, 1);
        break;
    }
    default: break;
    }
}

void packLoad(Cursor& c, const FilterLoadRec* fl)
{
    c.put(fl->rel_loading);
    for (int s = 0; s < _nctm; s++) c.put(fl->loads[s]);
    for (int s = 0; s < _nctm; s++) c.put(fl->bkt_day ? fl->bkt_day[s] : 0);
    for (int s = 0; s < _nctm; s++) c.put(fl->bkt_time ? fl->bkt_time[s] : 0);
}

void unpackLoad(Cursor& c, FilterLoadRec* fl)
{
    fl->rel_loading = c.single();
    for (int s = 0; s < _nctm; s++) fl->loads[s] = c.single();
    for (int s = 0; s < _nctm; s++) {
        int day = c.whole(0, 365);
        if (fl->bkt_day) fl->bkt_day[s] = day;
    }
    for (int s = 0; s < _nctm; s++) {
        int time = c.time();
        if (fl->bkt_time) fl->bkt_time[s] = time;
    }
}

template <class Sink> void packSinks(Cursor& c, std::initializer_list<Sink*> lists)
{
    for (Sink* l : lists)
        for (Sink* k = l; k; k = k->next) c.put(k->surface_mass);
}

template <class Sink> void unpackSinks(Cursor& c, std::initializer_list<Sink*> lists)
{
    for (Sink* l : lists)
        for (Sink* k = l; k; k = k->next) k->surface_mass = c.single();
}

void packVector(Cursor& c, const double* v, int n)
{
    for (int i = 0; i < n; i++) c.put(v[i]);
}

// Mass fractions away from the nodes (cells of 1-D zones and ducts) go to the result
// files in single precision as the nodes' do.
void unpackMassFractions(Cursor& c, double* v, int n)
{
    for (int i = 0; i < n; i++) v[i] = c.massFraction(mfNoise(0.0));
}

void packDuct(Cursor& c, const DuctLagData* lag)
{
    const int ring = lag->cell_count + 3;
    int tail = 0;
    for (const DuctCell* k = lag->head_cell; k != lag->tail_cell && tail < ring; k = k->next) tail++;
    c.put(lag->mode);
    c.put(tail);
    packVector(c, lag->mf_start, _nctm);
    packVector(c, lag->mf_end, _nctm);
    packVector(c, lag->outlet_mf, _nctm);
    const DuctCell* k = lag->head_cell;
    for (int i = 0; i < ring; i++, k = k->next) {
        c.put(k->position);
        c.put(k->length);
        c.put(k->inv_spacing);
        packVector(c, k->mf, _nctm);
    }
}

// The ring's links never change, only which of its cells are active: the cells are
// restored in ring order from the first active one of this run's ring.
void unpackDuct(Cursor& c, DuctLagData* lag)
{
    const int ring = lag->cell_count + 3;
    lag->mode = c.whole(-1, 1);
    int tail = c.whole(1, ring - 1);
    unpackMassFractions(c, lag->mf_start, _nctm);
    unpackMassFractions(c, lag->mf_end, _nctm);
    unpackMassFractions(c, lag->outlet_mf, _nctm);
    DuctCell* k = lag->head_cell;
    for (int i = 0; i < ring; i++, k = k->next) {
        if (i == tail) lag->tail_cell = k;
        k->position = c.real();
        k->length = c.real();
        k->inv_spacing = c.real();
        unpackMassFractions(c, k->mf, _nctm);
    }
}

void packEfficiencies(Cursor& c, const FilterLoadRec* fl)
{
    for (int s = 0; s < _nctm; s++) c.put(fl->efficiency ? fl->efficiency[s] : 0.0f);
    for (int s = 0; s < _nctm; s++) c.put(fl->penetration ? fl->penetration[s] : 1.0f);
}

void unpackEfficiencies(Cursor& c, FilterLoadRec* fl)
{
    for (int s = 0; s < _nctm; s++) {
        float e = (float)c.real(0.0, 1.0);
        if (fl->efficiency) fl->efficiency[s] = e;
    }
    for (int s = 0; s < _nctm; s++) {
        float p = (float)c.real(0.0, 1.0);
        if (fl->penetration) fl->penetration[s] = p;
    }
}

// Two rates of every record of the lists, in list order.
template <class Rec> void packRates(Cursor& c, std::initializer_list<Rec*> lists, double Rec::*a, double Rec::*b)
{
    for (Rec* l : lists)
        for (const Rec* k = l; k; k = k->next) {
            c.put(k->*a);
            c.put(k->*b);
        }
}

template <class Rec> void unpackRates(Cursor& c, std::initializer_list<Rec*> lists, double Rec::*a, double Rec::*b)
{
    for (Rec* l : lists)
        for (Rec* k = l; k; k = k->next) {
            k->*a = c.single();
            k->*b = c.single();
        }
}

void packStartPart(Cursor& c)
{
    if (!_rst.count[B_START]) return;
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (p->filter)
            for (const FilterLoadRec* fl = p->filter->load; fl; fl = fl->next) packEfficiencies(c, fl);
    packRates<CssRec>(c, {_Css0, _Csst0, _Cssnt0}, &CssRec::gen_rate, &CssRec::removal_coef);
    packRates<BlsRec>(c, {_Bls0, _Blst0, _Blsnt0, _BlsInactive0}, &BlsRec::release_coef, &BlsRec::uptake_coef);
    packRates<DvrRec>(c, {_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0}, &DvrRec::release_coef, &DvrRec::uptake_coef);
}

void unpackStartPart(Cursor& c)
{
    if (!_rst.count[B_START]) return;
    for (AirPath* p = _pafp0; p; p = p->next)
        if (p->filter)
            for (FilterLoadRec* fl = p->filter->load; fl; fl = fl->next) unpackEfficiencies(c, fl);
    unpackRates<CssRec>(c, {_Css0, _Csst0, _Cssnt0}, &CssRec::gen_rate, &CssRec::removal_coef);
    unpackRates<BlsRec>(c, {_Bls0, _Blst0, _Blsnt0, _BlsInactive0}, &BlsRec::release_coef, &BlsRec::uptake_coef);
    unpackRates<DvrRec>(c, {_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0}, &DvrRec::release_coef, &DvrRec::uptake_coef);
}

void packSystem(Cursor& c, const MF_MAT* m)
{
    if (systemValueCount(m) == 0) return;
    packVector(c, m->M + 1, m->nvar);
    packVector(c, m->x + 1, m->nvar);
    if (m->rate) packVector(c, m->rate + 1, m->nvar);
}

// The mass bases are air masses; the unknowns of the nodes' species equations are mass
// fractions (those of the sinks loadings); all reach the results in single precision.
void unpackSystem(Cursor& c, MF_MAT* m, int k)
{
    if (systemValueCount(m) == 0) return;
    for (int i = 1; i <= m->nvar; i++) m->M[i] = c.real(0.0, SINGLE);
    unsigned char* x = c.at;
    for (int i = 1; i <= m->nvar; i++) m->x[i] = c.single();
    for (const AirNode* n = _afnd0; n && !c.bad; n = n->next)
        for (int s = k ? _nntc : 0; n->mf_eqn && s < (k ? _nctm : _nntc); s++) {
            int e = n->mf_eqn[s];
            if (e < 1 || e > m->nvar) continue;
            double noise = mfNoise(m->M[e]);
            if (!(m->x[e] >= -noise && m->x[e] <= MF_MAX + noise)) c.bad = x + 8 * (size_t)(e - 1);
        }
    if (m->rate)
        for (int i = 1; i <= m->nvar; i++) m->rate[i] = c.single();
}

// What the next step starts from that follows from no other value of the record: the
// densities the last airflow solution took (the gas constants may have moved since) and
// the air mass the non-trace sources add, which the first airflow solution of the next
// step balances before any source is evaluated again.
void packNodeAir(Cursor& c)
{
    for (const AirNode* n = _afnd0; n; n = n->next) {
        c.put(n->density);
        c.put(n->src_rate);
    }
}

void unpackNodeAir(Cursor& c)
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        n->density = c.real(ABOVE_ZERO, SINGLE);
        n->src_rate = c.single();
    }
}

// ---- The record's identity ----------------------------------------------------------------

// What a record was written for, so that a resume into a different project is refused
// naming the difference: the transport method, both systems' time weights, the storage
// term, a digest of the network, and each species in order (trace or not, its name six
// characters to a value). The block ends with a marker and its own size, so a reader finds
// it from a record's end whatever the layout of the rest.
constexpr int NAME_VALUES = 3;   // 16 characters, six to a value
constexpr double IDENT_MARK = -7.0e37;
enum IdentItem { I_METHOD, I_NTHETA, I_TTHETA, I_STORAGE, I_NETWORK, I_SPECIES };

int identValueCount() { return I_SPECIES + (1 + NAME_VALUES) * _nctm + 2; }

// FNV-1a over bytes, kept to 48 bits: a double holds it exactly.
uint64_t digest(uint64_t h, const void* data, size_t n)
{
    const unsigned char* b = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; i++) h = (h ^ b[i]) * 1099511628211ull;
    return h;
}

template <class T> uint64_t digestOf(uint64_t h, T v) { return digest(h, &v, sizeof v); }

// Every node's kind, number and volume, and what each path joins.
double networkDigest()
{
    uint64_t h = 14695981039346656037ull;
    for (const AirNode* n = _afnd0; n; n = n->next)
        h = digestOf(digestOf(digestOf(h, n->kind), n->number), n->volume);
    for (const AirPath* p = _pafp0; p; p = p->next)
        h = digestOf(digestOf(digestOf(h, p->kind), p->from_node->index), p->to_node->index);
    return (double)(h & ((1ull << 48) - 1));
}

double nameValue(const char* name, int part)
{
    uint64_t v = 0;
    for (int i = 0; i < 6; i++) {
        int at = 6 * part + i;
        unsigned char ch = at < 16 ? (unsigned char)name[at] : 0;
        v |= (uint64_t)ch << (8 * i);
        if (!ch) break;
    }
    return (double)v;
}

void nameOf(const unsigned char* values, char* out)
{
    for (int part = 0; part < NAME_VALUES; part++) {
        double d = getF64(values + 8 * part);
        uint64_t v = d >= 0.0 && d < 281474976710656.0 ? (uint64_t)d : 0;
        for (int i = 0; i < 6; i++) out[6 * part + i] = (char)(v >> (8 * i));
    }
    out[6 * NAME_VALUES] = '\0';
    for (int i = 0; i < 6 * NAME_VALUES; i++)
        if (out[i] && !isprint((unsigned char)out[i])) out[i] = '?';
}

void packIdent(Cursor& c)
{
    const RunControlData& r = _rcdat;
    c.put(r.mf_solver);
    c.put(r.mfn_theta);
    c.put(r.mft_theta);
    c.put(r.dodMdt);
    c.put(networkDigest());
    for (int s = 0; s < _nctm; s++) {
        c.put(_ctm[s].non_trace ? 1 : 0);
        for (int part = 0; part < NAME_VALUES; part++) c.put(nameValue(_ctm[s].name, part));
    }
    c.put(IDENT_MARK);
    c.put(identValueCount());
}

// Checked before the record is searched for (identDifference); here the block is passed.
void unpackIdent(Cursor& c) { c.at += 8 * (size_t)_rst.count[B_IDENT]; }

// The identity block at the end of a record of `size` bytes, null when the record has
// none (a file written before records carried it).
const unsigned char* identIn(const unsigned char* record, size_t size)
{
    if (size < 8 + 16) return nullptr;
    const unsigned char* end = record + size;
    double n = getF64(end - 8);
    if (getF64(end - 16) != IDENT_MARK || !(n >= I_SPECIES + 2) || 8 * n > (double)(size - 8)) return nullptr;
    const int count = (int)n;
    if (count != n || (count - I_SPECIES - 2) % (1 + NAME_VALUES) != 0) return nullptr;
    return end - 8 * (size_t)count;
}

// The first way in which the project differs from what the record was written for, in
// `what`; false when they agree.
bool identDifference(const unsigned char* id, int values, char* what, size_t size)
{
    const RunControlData& r = _rcdat;
    auto item = [id](int i) { return getF64(id + 8 * (size_t)i); };
    const int n = (values - I_SPECIES - 2) / (1 + NAME_VALUES);
    char was[6 * NAME_VALUES + 1];
    for (int s = 0; s < n && s < _nctm; s++) {
        const unsigned char* at = id + 8 * (size_t)(I_SPECIES + (1 + NAME_VALUES) * s);
        nameOf(at + 8, was);
        const bool trace = getF64(at) == 0.0;
        if (strncmp(was, _ctm[s].name, sizeof _ctm[s].name) != 0) {
            snprintf(what, size, "species %d was %s in the record, is %.16s in the project", s + 1, was,
                     _ctm[s].name);
            return true;
        }
        if (trace != !_ctm[s].non_trace) {
            snprintf(what, size, "species %d (%s) was %s in the record, is %s in the project", s + 1, was,
                     trace ? "trace" : "non-trace", trace ? "non-trace" : "trace");
            return true;
        }
    }
    if (n != _nctm) {
        snprintf(what, size, "the record has %d species, the project %d", n, _nctm);
        return true;
    }
    if (item(I_METHOD) != r.mf_solver) {
        snprintf(what, size, "the transport method (mf_solver) was %g in the record, is %d in the project",
                 item(I_METHOD), r.mf_solver);
        return true;
    }
    // A system's time weight matters only to the implicit method, and only when the
    // system has species to move.
    if (r.mf_solver == 0 && _nntc > 0 && item(I_NTHETA) != (double)r.mfn_theta) {
        snprintf(what, size, "the non-trace time weight (mfn_theta) was %g in the record, is %g in the project",
                 item(I_NTHETA), r.mfn_theta);
        return true;
    }
    if (r.mf_solver == 0 && _nctm > _nntc && item(I_TTHETA) != (double)r.mft_theta) {
        snprintf(what, size, "the trace time weight (mft_theta) was %g in the record, is %g in the project",
                 item(I_TTHETA), r.mft_theta);
        return true;
    }
    if (item(I_STORAGE) != r.dodMdt) {
        snprintf(what, size, "the storage term (dodMdt) was %g in the record, is %d in the project",
                 item(I_STORAGE), r.dodMdt);
        return true;
    }
    if (item(I_NETWORK) != networkDigest()) {
        snprintf(what, size, "the zones, junctions or paths (their numbers, volumes or links) differ from the record's");
        return true;
    }
    return false;
}

// ---- The blocks of a record ------------------------------------------------------------------

// Nodes: temperatures, pressures, flows and mass fractions reach the result files in
// single precision; a node without a volume holds no air.
void packNodes(Cursor& c)
{
    for (const AirNode* n = _afnd0; n; n = n->next) {
        c.put(n->temperature);
        c.put(n->pressure);
        c.put(n->gas_const);
        c.put(n->air_mass);
    }
}

void unpackNodes(Cursor& c)
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        n->temperature = c.real(ABOVE_ZERO, SINGLE);
        n->pressure = c.single();
        n->gas_const = c.positive();
        n->air_mass = n->flags & NODE_VOLUME ? c.positive() : c.real(0.0);
    }
}

void packPaths(Cursor& c)
{
    for (const AirPath* p = _pafp0; p; p = p->next) {
        c.put(p->mass_flow[0]);
        c.put(p->mass_flow[1]);
        c.put(p->dp);
    }
}

void unpackPaths(Cursor& c)
{
    for (AirPath* p = _pafp0; p; p = p->next) {
        p->mass_flow[0] = c.single();
        p->mass_flow[1] = c.single();
        p->dp = c.single();
    }
}

void packNodeMf(Cursor& c)
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        for (int s = 0; s < _nctm; s++) c.put(n->mf ? n->mf[s] : 0.0);
}

// The node's air mass is restored before its mass fractions (the nodes' block comes first).
void unpackNodeMf(Cursor& c)
{
    for (AirNode* n = _afnd0; n; n = n->next)
        for (int s = 0; s < _nctm; s++) {
            double mf = c.massFraction(mfNoise(n->air_mass));
            if (n->mf) n->mf[s] = mf;
        }
}

void packFilters(Cursor& c)
{
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (p->filter)
            for (const FilterLoadRec* fl = p->filter->load; fl; fl = fl->next) packLoad(c, fl);
}

void unpackFilters(Cursor& c)
{
    for (AirPath* p = _pafp0; p; p = p->next)
        if (p->filter)
            for (FilterLoadRec* fl = p->filter->load; fl; fl = fl->next) unpackLoad(c, fl);
}

void packSources(Cursor& c)
{
    CssRec* const* css = cssLists();
    for (int l = 0; l < 3; l++)
        for (const CssRec* s = css[l]; s; s = s->next) packCss(c, s);
}

void unpackSources(Cursor& c)
{
    CssRec* const* css = cssLists();
    for (int l = 0; l < 3; l++)
        for (CssRec* s = css[l]; s; s = s->next) unpackCss(c, s);
}

int sourcesValueCount()
{
    int n = 0;
    CssRec* const* css = cssLists();
    for (int l = 0; l < 3; l++)
        for (const CssRec* s = css[l]; s; s = s->next) n += cssValueCount(s);
    return n;
}

void packBls(Cursor& c) { packSinks<BlsRec>(c, {_Bls0, _Blst0, _Blsnt0, _BlsInactive0}); }
void unpackBls(Cursor& c) { unpackSinks<BlsRec>(c, {_Bls0, _Blst0, _Blsnt0, _BlsInactive0}); }
void packDvr(Cursor& c) { packSinks<DvrRec>(c, {_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0}); }
void unpackDvr(Cursor& c) { unpackSinks<DvrRec>(c, {_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0}); }

void packCtrls(Cursor& c)
{
    for (CtrlNode* n = _Ctrl0; n; n = n->next) packCtrl(c, n);
}

void unpackCtrls(Cursor& c)
{
    for (CtrlNode* n = _Ctrl0; n; n = n->next) unpackCtrl(c, n);
}

int ctrlsValueCount()
{
    int n = 0;
    for (const CtrlNode* k = _Ctrl0; k; k = k->next) n += ctrlValueCount(k);
    return n;
}

void packCells(Cursor& c) { packVector(c, _MfC, cellValueCount()); }
void unpackCells(Cursor& c) { unpackMassFractions(c, _MfC, cellValueCount()); }

void packDucts(Cursor& c)
{
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (const DuctLagData* lag = ductLag(p)) packDuct(c, lag);
}

void unpackDucts(Cursor& c)
{
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (DuctLagData* lag = ductLag(p)) unpackDuct(c, lag);
}

void packSystems(Cursor& c)
{
    for (int k = 0; k < 2; k++) packSystem(c, implicitSystem(k));
}

void unpackSystems(Cursor& c)
{
    for (int k = 0; k < 2; k++) unpackSystem(c, implicitSystem(k), k);
}

int lampValueCount() { return agingLamps() ? 2 : 0; }

void packLamp(Cursor& c)
{
    if (!_rst.count[B_LAMP]) return;
    int day, time;
    filter_lamp_start(&day, &time);
    c.put(day);
    c.put(time);
}

void unpackLamp(Cursor& c)
{
    if (!_rst.count[B_LAMP]) return;
    int day = c.whole(1, 365);
    filter_set_lamp_start(day, c.time());
}

int nodeAirValueCount() { return 2 * _nafnd; }
int one() { return 1; }
void packWeek(Cursor& c) { c.put(_daytyp); }
void unpackWeek(Cursor& c) { _rst.moment.day_type = c.whole(1, 12); }

void packStorage(Cursor& c)
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (stsLagsStorage(n)) c.put(n->zone_cell->mass_rate);
}

void unpackStorage(Cursor& c)
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (stsLagsStorage(n)) n->zone_cell->mass_rate = c.single();
}

// Under the stiff integrator the storage term of the airflows and the Jacobian of their
// storage take the length of the integrator's last step [s], which a midnight or a stop
// leaves at whatever the step before it was.
int stepValueCount() { return _rcdat.mf_solver >= 2 ? 1 : 0; }
void packStep(Cursor& c) { c.put(_dt); }

void unpackStep(Cursor& c)
{
    _dt = (float)c.real(1.0, TIME_MAX);
    _dti = 1.0f / _dt;
}

int nodeValueCount() { return 4 * _nafnd; }
int pathValueCount() { return 3 * _nafpt; }
int nodeMfValueCount() { return _nafnd * _nctm; }
int blsValueCount() { return _nbls; }
int dvrValueCount() { return _ndvr; }

// Every block of a record, in record order: its name in messages, how many doubles it
// holds in the current project, its writer, and its reader, which checks each value
// against what its state can hold (Cursor). Blocks added later follow the earlier ones,
// so that those keep their offsets.
struct BlockDef {
    const char* name;
    int (*count)();
    void (*pack)(Cursor&);
    void (*unpack)(Cursor&);
};

const BlockDef BLOCKS[B_COUNT] = {
    {"node", nodeValueCount, packNodes, unpackNodes},
    {"path", pathValueCount, packPaths, unpackPaths},
    {"mass fraction", nodeMfValueCount, packNodeMf, unpackNodeMf},
    {"filter", filterValueCount, packFilters, unpackFilters},
    {"source", sourcesValueCount, packSources, unpackSources},
    {"boundary-layer sink", blsValueCount, packBls, unpackBls},
    {"deposition sink", dvrValueCount, packDvr, unpackDvr},
    {"control", ctrlsValueCount, packCtrls, unpackCtrls},
    {"1-D zone cell", cellValueCount, packCells, unpackCells},
    {"duct cell", ductsValueCount, packDucts, unpackDucts},
    {"transport system", systemsValueCount, packSystems, unpackSystems},
    {"lamp", lampValueCount, packLamp, unpackLamp},
    {"node air", nodeAirValueCount, packNodeAir, unpackNodeAir},
    {"calendar", one, packWeek, unpackWeek},
    {"step start", startPartValueCount, packStartPart, unpackStartPart},
    {"zone air storage", storageValueCount, packStorage, unpackStorage},
    {"step length", stepValueCount, packStep, unpackStep},
    {"identity", identValueCount, packIdent, unpackIdent},
};

// Returns the first value no state can hold, null when there is none.
unsigned char* packRecord(int day, int time)
{
    putI32(_rst.record, day);
    putI32(_rst.record + 4, time);
    Cursor c{_rst.record + 8, nullptr};
    for (int b = 0; b < B_COUNT; b++)
        if (_rst.count[b]) BLOCKS[b].pack(c);
    return c.bad;
}

// The blocks present in the record as read: all of them, or those before the step length
// in a record written before records carried their identity.
unsigned char* unpackRecord(int blocks)
{
    Cursor c{_rst.record + 8, nullptr};
    for (int b = 0; b < blocks; b++)
        if (_rst.count[b]) BLOCKS[b].unpack(c);
    return c.bad;
}

void freeRecord()
{
    if (_rst.record) _rst.record = fre_vT(_rst.record, 0, _rst.sizeData - 1, "rBuf");
}

// With the system's reason: a full disk, a quota, an input/output error.
void writeFailed(const char* what)
{
    const int err = errno;
    char reason[160];
    snprintf(reason, sizeof reason, "%s (%s)", what, err ? strerror(err) : "short write");
    error(FATAL, __FILE__, __LINE__, "RST write failed", reason, "");
}

// The block of a record that holds byte `at` (a record read that stopped short there, or a
// value no state can hold).
int blockAt(size_t at)
{
    size_t end = 8;
    for (int b = 0; b < B_COUNT; b++) {
        end += 8 * (size_t)_rst.count[b];
        if (at < end) return b;
    }
    return B_COUNT;
}

const char* shortBlock(size_t got)
{
    int b = blockAt(got);
    return b == B_BLS ? ", BLS" : b == B_DVR ? ", DVR" : "";
}

const char* blockName(int b) { return b < B_COUNT ? BLOCKS[b].name : "?"; }

// Logs where in the record the first value that no state can hold sits; returns its block.
const char* logBadValue(const unsigned char* bad, int day)
{
    size_t at = (size_t)(bad - _rst.record);
    const char* block = blockName(blockAt(at));
    ulog_printf("  day %d: invalid value %g in the %s block, record byte %zu\n", day, getF64(bad),
                block, at);
    return block;
}

// The header items that differ from the project, each logged with the file's value first;
// the first of them described in `what`.
bool headerMatches(const int32_t* file, char* what, size_t size)
{
    static const char* const names[7] = {"nzone", "npath", "nctm", "njct", "ndct",
                                         "ncss + nbls + _ndvr", "nctrl"};
    bool same = true;
    for (int i = 0; i < 7; i++)
        if (file[i] != _rst.rhd[i]) {
            ulog_printf("  _rhd[%d] %d != %d %s\n", i, file[i], _rst.rhd[i], names[i]);
            if (same) snprintf(what, size, "%s was %d in the record, is %d in the project", names[i], file[i], _rst.rhd[i]);
            same = false;
        }
    if (same && file[9] != _rst.rhd[9])
        snprintf(what, size, "a record was %d bytes, is %d for the project", file[9], _rst.rhd[9]);
    return same && file[9] == _rst.rhd[9];
}

// A record written before records carried their identity: every block up to the step
// length.
bool olderLayout(const int32_t* file)
{
    for (int i = 0; i < 7; i++)
        if (file[i] != _rst.rhd[i]) return false;
    return file[9] == _rst.rhd[9] - 8 * (_rst.count[B_STEP] + _rst.count[B_IDENT]);
}

int mismatch(FILE* f, const char* what)
{
    fclose(f);
    error(FATAL, __FILE__, __LINE__, "Data mis-match in restart file", ": ", what, "");
    return 1;
}

int readFailed(FILE* f, const char* what)
{
    fclose(f);
    error(FATAL, __FILE__, __LINE__, "RST read failed", what, "");
    return 1;
}

}  // namespace

int set_urst_init()
{
    const RunControlData& r = _rcdat;
    freeRecord();
    for (int b = 0; b < B_COUNT; b++) _rst.count[b] = BLOCKS[b].count();
    int doubles = 0;
    for (int b = 0; b < B_COUNT; b++) doubles += _rst.count[b];
    _rst.sizeData = 8 + 8 * doubles;
    const bool cyclic = r.sim_mf == 3;
    const int32_t header[NHEADER] = {_nzone, _npath, _nctm, _njct, _ndct, _nbls + _ncss + _ndvr,
                                     _nctrl, cyclic ? r.ss_date : r.start_date,
                                     cyclic ? r.ss_date : r.end_date, _rst.sizeData};
    memcpy(_rst.rhd, header, sizeof _rst.rhd);
    _rst.record = alc_vT<unsigned char>(0, _rst.sizeData - 1, "rBuf");
    ulog_printf("set_urst_init():\n");
    ulog_printf("  nzone %d, npath %d, nctm %d, njct %d, ndct %d\n", _rst.rhd[0], _rst.rhd[1], _rst.rhd[2],
                _rst.rhd[3], _rst.rhd[4]);
    ulog_printf("  ncss+nbls+ndvr %d, nctrl %d, date0 %d, date1 %d\n", _rst.rhd[5], _rst.rhd[6], _rst.rhd[7],
                _rst.rhd[8]);
    ulog_printf("  SizeData %d\n", _rst.sizeData);
    return _rst.sizeData;
}

void set_urst_open()
{
    if (!_sim_af_dyn && _rcdat.sim_mf <= 1) return;
    _rst.file = createResultFile(".rst", "wb", "RST");
    _rst.created = 1;
    unsigned char bytes[4 * NHEADER];
    for (int i = 0; i < NHEADER; i++) putI32(bytes + 4 * i, _rst.rhd[i]);
    if (fwrite(bytes, 1, sizeof bytes, _rst.file) != sizeof bytes) writeFailed("");
}

// Only the file this run created is removed: a run that fails before writing its own
// (a faulty restart record, an input test) leaves an earlier run's file as it was.
void set_urst_close(int flag)
{
    freeRecord();
    // A kept file is closed like every other result file: records still buffered that
    // cannot reach the disk make the run one whose results are not whole.
    if (flag && _rst.file) fclose(_rst.file);
    if (flag) _rst.file = nullptr;
    else closeResultFile(&_rst.file, 0, ".rst");
    // The file stays this run's after the loop closed it: a FATAL later in the end of
    // the run removes it with the other results.
    if (flag && _rst.created) removeResultFile(".rst");
    if (flag) _rst.created = 0;
}

void setRst_periodEnd(int day)
{
    if (!_rst.file || _rcdat.sim_mf == 3) return;
    _rst.rhd[8] = day;
    unsigned char bytes[4];
    putI32(bytes, day);
    if (fseek(_rst.file, 4 * 8, SEEK_SET) != 0 || fwrite(bytes, 1, 4, _rst.file) != 4 ||
        fseek(_rst.file, 0, SEEK_END) != 0)
        writeFailed("");
}

void writeRst_stepTime(int day, int time)
{
    if (!_rst.file) return;
    // A state that has left the numbers behind cannot be resumed from.
    if (const unsigned char* bad = packRecord(day, time)) {
        char what[64];
        snprintf(what, sizeof what, "restart record, %s block", logBadValue(bad, day));
        error(FATAL, __FILE__, __LINE__, "Results are not finite and are not written: ", what, "");
    }
    size_t got = fwrite(_rst.record, 1, (size_t)_rst.sizeData, _rst.file);
    if (got != (size_t)_rst.sizeData) writeFailed(shortBlock(got));
}

int rstget(int day)
{
    // A running average holds a window of past inputs that no record keeps: resuming it
    // would average from scratch and silently differ from the run that wrote the record.
    for (const CtrlNode* n = _Ctrl0; n; n = n->next)
        if (n->type == CT_RAV) {
            errorf(FATAL, __FILE__, __LINE__,
                   "Restart cannot resume the running average of control node %d (%s)", n->number,
                   n->name);
            return 1;
        }
    char path[sizeof _file_name];
    snprintf(path, sizeof path, "%s", resultFileName(".rst"));
    FILE* f = openFile(path, "rb");
    if (!f) {
        error(FATAL, __FILE__, __LINE__, "Failed to open restart file: ", path, " (",
              strerror(errno), ")", "");
        return 1;
    }
    set_urst_init();
    ulog_printf("rstget(%d):  date %s\n", day, datestr(day));
    unsigned char bytes[4 * NHEADER];
    int32_t file[NHEADER];
    if (fread(bytes, 1, sizeof bytes, f) != sizeof bytes) return readFailed(f, "");
    for (int i = 0; i < NHEADER; i++) file[i] = getI32(bytes + 4 * i);
    // What the first record was written for is compared first: a project that differs in
    // its species, method, weights, storage term or network is named so, whatever the
    // sizes. A record without that block (an earlier version's) is restored by position
    // when everything else of its layout matches, with a warning that it was not checked.
    char what[160] = "";
    int blocks = B_COUNT;
    // Only a record the file holds in full is read: a header's size is not trusted.
    long fileSize = -1;
    if (fseek(f, 0, SEEK_END) == 0) fileSize = ftell(f);
    if (fseek(f, sizeof bytes, SEEK_SET) != 0) return readFailed(f, "");
    const size_t recordSize =
        file[9] >= 8 && fileSize >= (long)sizeof bytes + file[9] ? (size_t)file[9] : 0;
    if (recordSize) {
        unsigned char* first = alc_vT<unsigned char>(0, recordSize - 1, "rBuf");
        const unsigned char* id = nullptr;
        if (fread(first, 1, recordSize, f) == recordSize) id = identIn(first, recordSize);
        bool differs = id && identDifference(id, (int)getF64(first + recordSize - 8), what, sizeof what);
        fre_vT(first, 0, recordSize - 1, "rBuf");
        if (differs) return mismatch(f, what);
        if (!id && olderLayout(file)) {
            blocks = B_STEP;
            error(WARNING, __FILE__, __LINE__, "Restart file ", path,
                  " does not say what it was written for (an earlier version's): its species, method "
                  "and network are taken to be the project's", "");
        }
    }
    if (blocks == B_COUNT && !headerMatches(file, what, sizeof what)) return mismatch(f, what);
    const long recordBytes = (long)file[9];
    // Records follow the header back to back, one for each day the writing run covered:
    // the state at the end of the part of the day it simulated (24:00, a little past it at
    // the end of a first day started off the step grid, the end time on the last day of a
    // run that ended part-way through it). Only the day is compared. A day or time no
    // record can hold means the file is not what its header says.
    for (long offset = sizeof bytes;; offset += recordBytes) {
        if (fseek(f, offset, SEEK_SET) != 0 || fread(_rst.record, 1, 8, f) != 8) return readFailed(f, "");
        int rday = getI32(_rst.record), rtime = getI32(_rst.record + 4);
        if (rday < 1 || rday > 365 || rtime < TIME_MIN || rtime > TIME_MAX) return readFailed(f, "");
        ulog_printf("search:  date/time %s/%s, offset %ld\n", datestr(rday), steptimestr(rtime), offset);
        if (rday == day) {
            _rst.moment.day = rday;
            _rst.moment.time = rtime;
            break;
        }
        if (rday == file[8]) {
            fclose(f);
            error(FATAL, __FILE__, __LINE__, "Restart failed to find date", "");
            return 1;
        }
    }
    size_t rest = (size_t)recordBytes - 8;
    size_t got = fread(_rst.record + 8, 1, rest, f);
    if (got != rest) return readFailed(f, shortBlock(8 + got));
    fclose(f);
    if (const unsigned char* bad = unpackRecord(blocks)) {
        char where[96];
        snprintf(where, sizeof where, ": invalid value %g in the %s block of the record of day %d", getF64(bad),
                 logBadValue(bad, day), day);
        error(FATAL, __FILE__, __LINE__, "RST read failed", where, "");
        return 1;
    }
    set_urst_close(0);
    return 0;
}

RstMoment rst_restoredMoment() { return _rst.moment; }

void rst_reset()
{
    freeRecord();
    if (_rst.file) fclose(_rst.file);
    _rst = RstState{};
}

}  // namespace vexlar
