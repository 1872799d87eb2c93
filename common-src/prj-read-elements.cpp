// Readers of the element sections of the project file: filter elements, filters with their
// loading state, source/sink elements, and airflow and duct flow elements. Each element
// names its model by a keyword; the keyword's position in a name table is the element's
// type and the same position in the parallel model table gives the function the element
// keeps. Composite elements (super filters, "sup" sources, "sup_afe") are resolved to
// their parts after their section when it read without an ERROR.
#include "common-src/prj-read-elements.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "airflow/afe-csf.h"
#include "airflow/afe-filter.h"
#include "airflow/afe-sim.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/prj-read-common.h"
#include "common-src/prj-read.h"
#include "common-src/tokens.h"
#include "contaminant/cse-sim.h"
#include "model/constants.h"
#include "model/prj-common.h"
#include "model/run-control.h"

namespace vexlar {

// ---- Model tables -----------------------------------------------------------------------

// The built-in elements (ahs_sr .. d_term) get their models when the network is built.
const AFE_MODEL_FN _pfaf[AFE_NTYPES] = {
    afe_plr, afe_plr, afe_plr, afe_plr, afe_plr, afe_qcn, afe_fcn, afe_plr, afe_plr,
    afe_plr, afe_plr, afe_plr, afe_bdq, afe_bdf, afe_jwa, afe_qfr, afe_qfr, afe_qfr,
    afe_qfr, afe_dor, afe_pl2, afe_cmf, afe_cvf, afe_fan, afe_fsp, afe_qsp, afe_psf,
    afe_psq, afe_plr, afe_dwc, afe_plr, afe_fcn, afe_qcn, afe_fan, afe_cmf, afe_cvf,
    afe_bdq, afe_bdf, afe_fsp, afe_qsp, afe_psf, afe_psq, nullptr, nullptr, nullptr,
    nullptr};
const AFE_MODEL_FN _pfaf_builtin[AFE_BI_COUNT] = {afe_ahs, afe_ahr, afe_aho,
                                                  afe_ahx, afe_jlk, afe_trm};

const FILTER_MODEL_FN _pffl[FLT_NTYPES] = {flt_cef, flt_pf0, flt_gf0, flt_uv1, flt_spf};

const CSE_MODEL_FN _pfss[CSE_NTYPES] = {cse_ccf, cse_prs, cse_cut, cse_eds, cse_bls,
                                        cse_brs, cse_dvs, cse_drs, cse_dvr, nullptr,
                                        cse_plm, cse_pkm, cse_sxd, cse_dxd};

namespace {

// ---- Small helpers ----------------------------------------------------------------------

template <class T> T* pool_array(MemBlock** pool, int n, const char* tag)
{
    return n > 0 ? static_cast<T*>(alc_ec(pool, n * sizeof(T), tag)) : nullptr;
}

// Reads a keyword and returns its position in the table (the end position when unknown,
// after the table search's ERROR).
int read_keyword(const char* const* table)
{
    nxtwrd(_string, NXT_WORD, sizeof _string);
    return lin_search(_string, table);
}

// Reads a species name into _string; its index in _ctm, _nctm when it is not simulated.
int read_species(int newline)
{
    nxtwrd(_string, newline ? NXT_FIRST_WORD : NXT_WORD, 16);
    return ctm_name_chk();
}

// A record made only of floats, read in field order (the first by newline).
template <class T> void read_float_block(T* dst, int newline)
{
    static_assert(sizeof(T) % sizeof(float) == 0, "a block of floats");
    float v[sizeof(T) / sizeof(float)];
    prj_read_floats(v, (int)(sizeof v / sizeof v[0]), newline);
    memcpy(dst, v, sizeof v);
}

void skip_floats(int n)
{
    for (int i = 0; i < n; ++i)
        readR4(0);
}

void skip_shorts(int n, int newline)
{
    for (int i = 0; i < n; ++i)
        readI2(i == 0 ? newline : 0);
}

// A member of a composite element must be another element of its list that is not itself
// composite; an ERROR names both.
int member_ok(int number, int n, int self, int (*is_composite)(int), const char* kind)
{
    if (number >= 1 && number <= n && number != self && !is_composite(number))
        return 1;
    errorf(ERROR, __FILE__, __LINE__, "Invalid sub-element %d of %s %d", number, kind, self);
    return 0;
}

// ---- Filter elements ------------------------------------------------------------------------

// "cef": n lines of species name and efficiency; an efficiency outside 0..1 is an ERROR
// for that line and every later line of the element.
float* read_cef(int k, MemBlock** pool)
{
    float* eff = pool_array<float>(pool, _nctm, "cef");
    int n = prj_read_subcount(readIX(1), "Filter Element", k);
    int bad = 0;
    for (int j = 0; j < n && !nxteof(); ++j) {
        int i = read_species(1);
        float e = readR4(0);
        if (bad || e < 0.0f || e > 1.0f) {
            error(ERROR, __FILE__, __LINE__, "Invalid efficiency for filter element ",
                  intstr(k), "");
            bad = 1;
        } else if (i < _nctm) {
            eff[i] = e;
        }
    }
    return eff;
}

// Reads n curve points (x, y), each pair on its own line. Gas-filter curves are written
// as floats (kept as doubles), the other curves as doubles.
void read_points(CsfPoint* pts, int n, int as_floats)
{
    for (int i = 0; i < n && prj_more(); ++i) {
        pts[i].x = as_floats ? readR4(1) : readR8(1);
        pts[i].y = as_floats ? readR4(0) : readR8(0);
    }
}

// Efficiency of each simulated species at log10 of its mean diameter; the range test
// allows 1e-5 of the end abscissae's magnitude (they are negative for diameters in m).
void particle_efficiencies(const FilterElemRec* fe, int n, const CsfPoint* pts, float* eff)
{
    double lo = pts[0].x - 1e-5 * std::fabs(pts[0].x);
    double hi = pts[n - 1].x + 1e-5 * std::fabs(pts[n - 1].x);
    int seg = 0;
    for (int i = 0; i < _nctm; ++i) {
        if (_ctm[i].mean_diameter <= 0.0f)
            continue;
        double ld = std::log10((double)_ctm[i].mean_diameter);
        if (ld < lo || ld > hi)
            error(WARNING, __FILE__, __LINE__, "Particle diameter outside range of fit -\n",
                  "\tspecies: ", _ctm[i].name, "\n\tfilter: ", fe->name, "");
        eff[i] = (float)CSFintrp(n, pts, &seg, nullptr, nullptr, ld);
    }
}

// "pf0": efficiency against particle diameter, fitted in log10 of the diameter.
float* read_pf0(FilterElemRec* fe, int k, MemBlock** pool)
{
    float* eff = pool_array<float>(pool, _nctm, "pf0");
    int n = prj_read_subcount((int16_t)readI2(1), "Filter Element", k);
    CsfPoint* pts = n > 0 ? alc_vT<CsfPoint>(0, n - 1, "pf0-fit") : nullptr;
    read_points(pts, n, 0);
    int bad = 0;
    for (int i = 0; i < n; ++i) {
        if (pts[i].x <= 0.0 && !bad) {
            error(ERROR, __FILE__, __LINE__, "Invalid particle diameter for filter element ",
                  intstr(k), "");
            bad = 1;
        }
        pts[i].x = bad ? 0.0 : std::log10(pts[i].x);
    }
    if (!bad && !CSFinit(n, pts)) {
        char label[64];
        snprintf(label, sizeof label, "particle filter: %s", fe->name);
        if (CSFchk(label, n, pts, CSF_PARTICLE_FILTER, nullptr, nullptr))
            error(ERROR, __FILE__, __LINE__, "Spline fit is not suitable for VEXLAR", "");
        else
            particle_efficiencies(fe, n, pts, eff);
    }
    if (pts)
        fre_vT(pts, 0, n - 1, "pf0-fit");
    return eff;
}

// One species curve of a gas filter, kept for a simulated species.
void read_gf0_curve(FilterElemRec* fe, GasFilterData* gf, int k, MemBlock** pool)
{
    int i = read_species(1);
    char species[16];
    strcpy(species, _string);
    float bkt = readR4(0);
    int m = prj_read_subcount((int16_t)readI2(0), "Filter Element", k);
    if (i == _nctm) {
        for (int j = 0; j < m && prj_more(); ++j) {
            readR4(1);
            readR4(0);
        }
        return;
    }
    CSF_DATA* csf = alc_ecT<CSF_DATA>(pool, "csf");
    csf->npts = (int16_t)m;
    csf->pts = pool_array<CsfPoint>(pool, m, "ps");
    read_points(csf->pts, m, 1);
    gf->fit[i] = csf;
    gf->bkt_eff[i] = bkt;
    if (bkt > 0.0f)
        fe->breakthrough = 1;
    csf->status = CSFinit(m, csf->pts);
    if (csf->status)
        return;
    char label[64];
    snprintf(label, sizeof label, "gas filter %s, species %s", fe->name, species);
    if (CSFchk(label, m, csf->pts, CSF_GAS_FILTER, nullptr, nullptr)) {
        error(ERROR, __FILE__, __LINE__, "Spline fit is not suitable for VEXLAR", "");
        csf->status = 1;
    }
}

GasFilterData* read_gf0(FilterElemRec* fe, int k, MemBlock** pool)
{
    GasFilterData* gf = alc_ecT<GasFilterData>(pool, "gf0");
    gf->fit = pool_array<CSF_DATA*>(pool, _nctm, "gf0_fit");
    gf->fit_hint = pool_array<int>(pool, _nctm, "gf0_hint");
    gf->bkt_eff = pool_array<float>(pool, _nctm, "bkeff");
    int n = prj_read_subcount(readIX(1), "Filter Element", k);
    for (int j = 0; j < n && prj_more(); ++j)
        read_gf0_curve(fe, gf, k, pool);
    return gf;
}

// "uv1": rating, aging and output data; the derived area and reference dose divide by read
// values, which must allow it.
UvFilterData* read_uv1(int k, MemBlock** pool)
{
    UvFilterData* uv = alc_ecT<UvFilterData>(pool, "uv1");
    float p[4];
    prj_read_floats(p, 4, 1);
    uv->uv_penetration_ref = p[0];
    uv->uv_velocity_ref = p[1];
    uv->uv_flow_ref = p[2];
    uv->uv_k_ref = p[3];
    uv->uv_aging = (int16_t)readI2(0);
    prj_read_floats(uv->uv_poly, 5, 0);
    uv->uv_age_a = readR4(0);
    uv->uv_age_b = readR4(0);
    skip_shorts(2, 0);
    if (p[0] <= 0.0f || p[1] == 0.0f || p[3] == 0.0f) {
        error(ERROR, __FILE__, __LINE__, "Invalid UV filter parameters, filter element ",
              intstr(k), "");
        return uv;
    }
    uv->uv_area = (float)(p[2] / (p[1] * RHO_REF));
    uv->uv_dose_ref = (float)(-std::log(p[0]) / p[3]);
    return uv;
}

// "spf": the numbers of the sub-filter elements, resolved after the section.
SuperFilterData* read_spf(int k, MemBlock** pool)
{
    SuperFilterData* sf = alc_ecT<SuperFilterData>(pool, "spf");
    sf->count = prj_read_subcount(readIX(1), "Filter Element", k);
    sf->elems = pool_array<FilterElemRec*>(pool, sf->count, "pfe");
    sf->numbers = pool_array<int>(pool, sf->count, "sfn");
    for (int j = 0; j < sf->count && prj_more(); ++j)
        sf->numbers[j] = (int16_t)readI2(0);
    return sf;
}

void flte_record(int k, void* vpool)
{
    MemBlock** pool = static_cast<MemBlock**>(vpool);
    FilterElemRec* fe = alc_ecT<FilterElemRec>(pool, "flte");
    _FlteList[k] = fe;
    fe->number = k;
    fe->type = read_keyword(_flte_names);
    prj_read_floats(fe->dims, 3, 0);
    skip_shorts(2, 0);
    prj_read_name(fe->name, sizeof fe->name);
    prj_skip_description();
    fe->mass = fe->dims[0] * fe->dims[1] * fe->dims[2];
    if (fe->mass < 1e-6f)
        error(ERROR, __FILE__, __LINE__, "Mass required for filter: ", fe->name, "");
    else
        fe->inv_mass = 1.0f / fe->mass;
    switch (fe->type) {
    case FLT_CEF: fe->model_data = read_cef(k, pool); break;
    case FLT_PF0: fe->model_data = read_pf0(fe, k, pool); break;
    case FLT_GF0: fe->model_data = read_gf0(fe, k, pool); break;
    case FLT_UV1: fe->model_data = read_uv1(k, pool); break;
    case FLT_SPF: fe->model_data = read_spf(k, pool); break;
    default:
        errorf(ERROR, __FILE__, __LINE__, "Invalid filter element type %d", fe->type);
        return;
    }
    fe->model_fn = _pffl[fe->type];
}

int is_super_filter(int number)
{
    return _FlteList[number]->type == FLT_SPF;
}

void resolve_super_filters()
{
    for (int k = 1; k <= _nflte; ++k) {
        FilterElemRec* fe = _FlteList[k];
        if (fe->type != FLT_SPF)
            continue;
        SuperFilterData* sf = static_cast<SuperFilterData*>(fe->model_data);
        for (int j = 0; j < sf->count; ++j) {
            if (!member_ok(sf->numbers[j], _nflte, k, is_super_filter, "super filter element"))
                continue;
            sf->elems[j] = _FlteList[sf->numbers[j]];
            if (sf->elems[j]->breakthrough)
                fe->breakthrough = 1;
        }
    }
}

}  // namespace

int flte_read(FilterElemRec** head, void*, MemBlock** pool)
{
    int n = prj_read_section("Filter Element", "FlteLst", "Filter element number mis-match: ",
                             flte_record, pool, _FlteList, _nflte, head);
    if (!prj_errors())
        resolve_super_filters();
    return n;
}

// ---- Filters ----------------------------------------------------------------------------------

namespace {

// The per-species arrays of a loading state (none without species); penetration starts at 1.
void load_arrays(FilterLoadRec* fl, MemBlock** pool, int full)
{
    fl->loads = pool_array<double>(pool, _nctm, "loads");
    fl->mass_in = pool_array<double>(pool, _nctm, "Min");
    fl->mass_out = pool_array<double>(pool, _nctm, "Mout");
    fl->penetration = pool_array<float>(pool, _nctm, "penf");
    for (int i = 0; i < _nctm; ++i)
        fl->penetration[i] = 1.0f;
    if (!full)
        return;
    fl->loads_init = pool_array<float>(pool, _nctm, "loadi");
    fl->efficiency = pool_array<float>(pool, _nctm, "eff");
    fl->bkt_day = pool_array<int>(pool, _nctm, "bkday");
    fl->bkt_time = pool_array<int>(pool, _nctm, "bktime");
}

// The load level and initial loads of one (sub-)filter of element fe.
void read_loads(FilterLoadRec* fl, FilterElemRec* fe, MemBlock** pool, int k)
{
    load_arrays(fl, pool, 1);
    fl->flte = fe;
    fl->init_pending = 1;
    fl->rel_loading = readR4(1);
    int c = prj_read_subcount((int16_t)readI2(0), "Filter", k);
    for (int j = 0; j < c && prj_more(); ++j) {
        int i = read_species(1);
        float load = readR4(0);
        if (i < _nctm)
            fl->loads_init[i] = load * fe->mass;
    }
}

// Chains the sub-filter records of a super filter after its own record.
void read_sub_filters(FilterLoadRec* own, const SuperFilterData* sf, MemBlock** pool, int k)
{
    FilterLoadRec* last = nullptr;
    for (int j = 0; j < sf->count; ++j) {
        FilterLoadRec* sub = alc_ecT<FilterLoadRec>(pool, "pfd");
        read_loads(sub, sf->elems[j], pool, k);
        sub->prev = last;
        if (last)
            last->next = sub;
        else
            own->next = sub;
        if (j > 0)
            own->prev = sub;
        last = sub;
    }
}

void filter_record(int k, void* vpool)
{
    MemBlock** pool = static_cast<MemBlock**>(vpool);
    FilterRec* f = alc_ecT<FilterRec>(pool, "filter");
    _FiltList[k] = f;
    f->number = k;
    int e = readIX(0);
    int n = (int16_t)readI2(0);
    if (e < 1 || e > _nflte) {
        error(ERROR, __FILE__, __LINE__, "Invalid filter element number: ", intstr(e), "");
        return;
    }
    FilterElemRec* fe = _FlteList[e];
    const SuperFilterData* sf =
        fe->type == FLT_SPF ? static_cast<const SuperFilterData*>(fe->model_data) : nullptr;
    if (n != (sf ? sf->count : 1)) {
        error(ERROR, __FILE__, __LINE__,
              "Number of sub-filter loads does not mach filter element", "");
        return;
    }
    f->load = alc_ecT<FilterLoadRec>(pool, "flt_dat");
    if (!sf) {
        read_loads(f->load, fe, pool, k);
        return;
    }
    load_arrays(f->load, pool, 0);
    f->load->flte = fe;
    f->load->init_pending = 1;
    read_sub_filters(f->load, sf, pool, k);
}

}  // namespace

int filter_read(MemBlock** pool)
{
    return prj_read_section<FilterRec>("Filter", "FltLst", "Filter number mis-match: ",
                                       filter_record, pool, _FiltList, _nfilt, nullptr);
}

// ---- Source/sink elements -----------------------------------------------------------------

namespace {

// Floats and unused words of each source/sink type ("sup" is read apart).
struct CseLayout {
    int floats, skipped;
};
const CseLayout kCseLayout[CSE_NTYPES] = {
    {2, 2}, {2, 1}, {2, 2}, {2, 2}, {4, 3}, {1, 1}, {2, 2},
    {1, 1}, {4, 4}, {0, 0}, {3, 2}, {3, 2}, {2, 0}, {4, 0}};

SupCseData* read_sup_cse(int k, MemBlock** pool)
{
    SupCseData* sup = alc_ecT<SupCseData>(pool, "sup");
    sup->count = prj_read_subcount(readIX(1), "Source/Sink Element", k);
    sup->numbers = pool_array<int>(pool, sup->count, "supn");
    sup->elems = pool_array<CseRec*>(pool, sup->count, "supe");
    for (int j = 0; j < sup->count && prj_more(); ++j)
        sup->numbers[j] = readIX(0);
    return sup;
}

// The peak model keeps the inverses of its second and third parameters.
void invert_pkm(float* p, int k)
{
    if (p[1] == 0.0f || p[2] == 0.0f) {
        error(ERROR, __FILE__, __LINE__, "Invalid zero parameter, S/S element ", intstr(k), "");
        return;
    }
    p[1] = 1.0f / p[1];
    p[2] = 1.0f / p[2];
}

// The cut-off model removes at p0 / p1 per unit mass fraction: a cut-off mass fraction of 0
// or less would divide by zero or turn the removal into a second source.
void check_cut(const float* p, int k)
{
    if (!(p[1] > 0.0f))
        error(ERROR, __FILE__, __LINE__, "Invalid zero parameter, S/S element ", intstr(k), "");
}

void cse_record(int k, void* vpool)
{
    MemBlock** pool = static_cast<MemBlock**>(vpool);
    CseRec* ce = alc_ecT<CseRec>(pool, "cse");
    _CseList[k] = ce;
    ce->number = k;
    ce->species = read_species(0);
    char species[16];
    snprintf(species, sizeof species, "%.15s", _string);
    ce->type = read_keyword(_csse_names);
    char name[16];
    prj_read_name(name, sizeof name);
    prj_skip_description();
    if (ce->type == CSE_NTYPES) {
        errorf(ERROR, __FILE__, __LINE__, "Invalid S/S element type %d", ce->type);
        return;
    }
    // A misspelt species leaves the element without effect: say so while species are
    // simulated (a super element's own species word is not used).
    if (ce->species >= _nctm && _nctm > 0 && ce->type != CSE_SUP)
        errorf(WARNING, __FILE__, __LINE__,
               "Source/sink element %s names species %s, which is not simulated: it releases "
               "and removes nothing", name, species);
    if (ce->type == CSE_SUP) {
        ce->model_data = read_sup_cse(k, pool);
        return;
    }
    float* p = static_cast<float*>(alc_ec(pool, 4 * sizeof(float), "csed"));
    prj_read_floats(p, kCseLayout[ce->type].floats, 1);
    prj_skip_words(kCseLayout[ce->type].skipped);
    if (ce->type == CSE_PKM)
        invert_pkm(p, k);
    if (ce->type == CSE_CUT)
        check_cut(p, k);
    ce->model_data = p;
    ce->model_fn = _pfss[ce->type];
}

int is_sup_cse(int number)
{
    return _CseList[number]->type == CSE_SUP;
}

void resolve_sup_cse()
{
    for (int k = 1; k <= _ncse; ++k) {
        if (_CseList[k]->type != CSE_SUP)
            continue;
        SupCseData* sup = static_cast<SupCseData*>(_CseList[k]->model_data);
        for (int j = 0; j < sup->count; ++j)
            if (member_ok(sup->numbers[j], _ncse, k, is_sup_cse, "S/S element"))
                sup->elems[j] = _CseList[sup->numbers[j]];
    }
}

}  // namespace

int cselmt_read(CseRec** head, void*, MemBlock** pool)
{
    int n = prj_read_section("Source/Sink Element", "CseLst", "S/S element number mis-match: ",
                             cse_record, pool, _CseList, _ncse, head);
    if (!prj_errors())
        resolve_sup_cse();
    return n;
}

// ---- Airflow and duct flow elements --------------------------------------------------------

namespace {

template <class T> T* afe_block(MemBlock** pool)
{
    return alc_ecT<T>(pool, "afe-data");
}

// A duct line: three geometry values, three unused, two more, then a line of eight
// unused words.
void read_duct_line(DuctLine* g)
{
    float v[3];
    prj_read_floats(v, 3, 1);
    skip_floats(3);
    g->hyd_diameter = v[0];
    g->perimeter = v[1];
    g->area = v[2];
    g->leak_rate = readR4(0);
    g->leak_dp = readR4(0);
    skip_shorts(8, 1);
}

// A fan: the off-fan law and rating on one line, the curve on the next, then a count of
// curve-point lines that are not used. A curve whose slope changes sign is an ERROR.
void read_fan(FanData* fan, const char* name)
{
    float v[7];
    prj_read_floats(v, 7, 1);
    fan->plr = {v[0], v[1], v[2]};
    fan->ref_density = v[3];
    fan->max_flow = v[4];
    fan->shutoff_dp = v[5];
    fan->cutoff_ratio = v[6];
    prj_read_floats(fan->curve_coef, 4, 1);
    int lines = (int16_t)readI2(0);
    for (int i = 0; i < lines && prj_more(); ++i)
        nxtwrd(_string, NXT_LINE, sizeof _string);
    double a1 = fan->curve_coef[1], a2 = fan->curve_coef[2], a3 = fan->curve_coef[3];
    if (a2 * a2 - 3.0 * a1 * a3 >= 0.0)
        error(ERROR, __FILE__, __LINE__, "fan ", name, " has contraflecture", "");
    // The fan laws scale the curve by density / ref_density.
    if (fan->ref_density <= 0.0f)
        error(ERROR, __FILE__, __LINE__, "fan ", name, " needs a reference density above 0", "");
}

// Element data the models divide by: a rated pressure difference of 0, or a quadratic
// law with neither coefficient, would turn every flow through the element into inf or NaN.
void check_divisors(const AfeRec* e)
{
    if (e->type == AFE_SRV_JWA && static_cast<const JwaData*>(e->model_data)->jwa_dp == 0.0f)
        error(ERROR, __FILE__, __LINE__, "Element ", e->name, " needs a rated pressure difference", "");
    if (e->type >= AFE_QFR_QAB && e->type <= AFE_QFR_TEST2) {
        const QfrData* q = static_cast<const QfrData*>(e->model_data);
        if (q->quad_a == 0.0f && q->quad_b == 0.0f)
            error(ERROR, __FILE__, __LINE__, "Element ", e->name, " needs a quadratic coefficient", "");
    }
}

// A fitted curve of an element: status 1 when the fit failed or is unsuitable.
void read_csf(CSF_DATA* csf, const char* name, int k, MemBlock** pool)
{
    int n = prj_read_subcount((int16_t)readI2(0), "Airflow Element", k);
    skip_shorts(2, 0);
    csf->npts = (int16_t)n;
    csf->pts = pool_array<CsfPoint>(pool, n, "csfd");
    read_points(csf->pts, n, 0);
    csf->status = CSFinit(n, csf->pts) ? 1 : CSFchk(name, n, csf->pts, CSF_AIRFLOW, nullptr, nullptr);
}

// dct_dwc: roughness and one further value, then the duct line; diameter, area and
// relative roughness come from them, so diameter and area must be above 0 and the
// roughness not below 0.
DwcData* read_dwc(const char* name, MemBlock** pool)
{
    DwcData* d = afe_block<DwcData>(pool);
    d->roughness = readR4(1);
    d->extra = readR4(0);
    skip_floats(1);
    read_duct_line(&d->duct);
    d->hyd_diameter = d->duct.hyd_diameter;
    d->flow_area = d->duct.area;
    if (d->hyd_diameter <= 0.0f || d->flow_area <= 0.0f) {
        error(ERROR, __FILE__, __LINE__, "Duct element ", name,
              " needs a hydraulic diameter and an area above 0", "");
        return d;
    }
    if (d->roughness < 0.0f) {
        error(ERROR, __FILE__, __LINE__, "Duct element ", name, " has a negative roughness", "");
        return d;
    }
    d->rel_roughness = d->roughness / d->hyd_diameter;
    return d;
}

SupAfeData* read_sup_afe(int k, MemBlock** pool)
{
    SupAfeData* sup = alc_ecT<SupAfeData>(pool, "safe");
    sup->count = prj_read_subcount(readIX(0), "Airflow Element", k);
    sup->selected_number = readIX(0);
    sup->value16 = (int16_t)readI2(0);
    SupAfeEntry** tail = &sup->first;
    for (int j = 0; j < sup->count && prj_more(); ++j) {
        SupAfeEntry* e = alc_ecT<SupAfeEntry>(pool, "afe_sll");
        e->number = readIX(0);
        e->value = readR4(0);
        e->value16 = (int16_t)readI2(0);
        e->selected = e->number == sup->selected_number;
        *tail = e;
        tail = &e->next;
    }
    return sup;
}

template <class T> T* plain_block(MemBlock** pool)
{
    T* d = afe_block<T>(pool);
    read_float_block(d, 1);
    return d;
}

// Duct elements whose model data is a plain block of floats followed by the duct line.
template <class T, class M> T* duct_block(MemBlock** pool, M T::*model)
{
    T* d = afe_block<T>(pool);
    read_float_block(&(d->*model), 1);
    read_duct_line(&d->duct);
    return d;
}

void* read_afe_data(AfeRec* e, int k, MemBlock** pool)
{
    switch (e->type) {
    case AFE_PLR_ORFC: case AFE_PLR_LEAK1: case AFE_PLR_LEAK2: case AFE_PLR_LEAK3:
    case AFE_PLR_CONN: case AFE_PLR_QCN: case AFE_PLR_FCN: case AFE_PLR_TEST1:
    case AFE_PLR_TEST2: case AFE_PLR_CRACK: case AFE_PLR_STAIR: case AFE_PLR_SHAFT:
        return plain_block<PlrData>(pool);
    case AFE_PLR_BDQ: case AFE_PLR_BDF: return plain_block<BdData>(pool);
    case AFE_SRV_JWA: return plain_block<JwaData>(pool);
    case AFE_QFR_QAB: case AFE_QFR_FAB: case AFE_QFR_CRACK: case AFE_QFR_TEST2:
        return plain_block<QfrData>(pool);
    case AFE_DOR_DOOR: {
        DoorData* d = afe_block<DoorData>(pool);
        read_float_block(&d->plr, 1);
        skip_floats(1);
        d->door_height = readR4(0);
        d->door_width = readR4(0);
        d->discharge_coef = readR4(0);
        return d;
    }
    case AFE_DOR_PL2: return plain_block<Pl2Data>(pool);
    case AFE_FAN_CMF: case AFE_FAN_CVF: return plain_block<ConstFlowData>(pool);
    case AFE_FAN_FAN: {
        FanData* d = afe_block<FanData>(pool);
        read_fan(d, e->name);
        return d;
    }
    case AFE_CSF_FSP: case AFE_CSF_QSP: case AFE_CSF_PSF: case AFE_CSF_PSQ: {
        CSF_DATA* d = alc_ecT<CSF_DATA>(pool, "csf");
        read_csf(d, e->name, k, pool);
        return d;
    }
    case AFE_SUP_AFE: return read_sup_afe(k, pool);
    case AFE_DCT_DWC: return read_dwc(e->name, pool);
    case AFE_DCT_PLR: {
        DctPlrData* d = afe_block<DctPlrData>(pool);
        float v[6];
        prj_read_floats(v, 6, 1);
        d->plr = {v[0], v[1], v[2]};
        memcpy(d->extra, v + 3, sizeof d->extra);
        read_duct_line(&d->duct);
        return d;
    }
    case AFE_DCT_FCN: case AFE_DCT_QCN: return duct_block(pool, &DctPlr3Data::plr);
    case AFE_DCT_FAN: {
        DctFanData* d = afe_block<DctFanData>(pool);
        read_fan(&d->fan, e->name);
        read_duct_line(&d->duct);
        return d;
    }
    case AFE_DCT_CMF: case AFE_DCT_CVF: return duct_block(pool, &DctConstFlowData::flow);
    case AFE_DCT_BDQ: case AFE_DCT_BDF: return duct_block(pool, &DctBdData::bd);
    case AFE_DCT_FSP: case AFE_DCT_QSP: case AFE_DCT_PSF: case AFE_DCT_PSQ: {
        DctCsfData* d = afe_block<DctCsfData>(pool);
        read_csf(&d->csf, e->name, k, pool);
        read_duct_line(&d->duct);
        return d;
    }
    default: return nullptr;
    }
}

struct AfeCtx {
    MemBlock** pool;
    AfeRec*** list;   // the section's index list, allocated by the section frame
};

// Types followed by one more line in files of the other editor.
int has_trailing_line(int type)
{
    return type == AFE_PLR_ORFC || type == AFE_PLR_QCN || type == AFE_SRV_JWA ||
           type == AFE_DCT_DWC;
}

void afe_record(int k, void* vctx)
{
    AfeCtx* ctx = static_cast<AfeCtx*>(vctx);
    AfeRec* e = alc_ecT<AfeRec>(ctx->pool, "afe");
    (*ctx->list)[k] = e;
    e->number = k;
    readI2(0);
    e->type = read_keyword(_afe_dnames);
    prj_read_name(e->name, sizeof e->name);
    prj_skip_description();
    if (e->type > AFE_LAST_FILE) {
        errorf(ERROR, __FILE__, __LINE__, "Invalid element type %d", e->type);
        return;
    }
    e->model_data = read_afe_data(e, k, ctx->pool);
    check_divisors(e);
    e->model_fn = _pfaf[e->type];
    if (prjType == 1 && has_trailing_line(e->type))
        nxtwrd(_string, NXT_LINE, sizeof _string);
}

int is_sup_afe(int number)
{
    return _AfeList[number]->type == AFE_SUP_AFE;
}

// Entries of "sup_afe" elements refer to airflow elements of the airflow section.
void resolve_sup_afe(AfeRec** list, int n, int self_list)
{
    for (int k = 1; k <= n; ++k) {
        if (list[k]->type != AFE_SUP_AFE)
            continue;
        SupAfeData* sup = static_cast<SupAfeData*>(list[k]->model_data);
        for (SupAfeEntry* e = sup->first; e; e = e->next)
            if (member_ok(e->number, _nafe, self_list ? k : 0, is_sup_afe, "sup_afe element"))
                e->elem = _AfeList[e->number];
    }
}

}  // namespace

int afelmt_read(AfeRec** head, MemBlock** pool, int duct)
{
    AfeRec**& list = duct ? _DfeList : _AfeList;
    AfeCtx ctx{pool, &list};
    int n = prj_read_section("Airflow Element", duct ? "DfeLst" : "AfeLst",
                             "Element number mis-match: ", afe_record, &ctx, list,
                             duct ? _ndfe : _nafe, head);
    if (!prj_errors())
        resolve_sup_afe(list, n, !duct);
    return n;
}

}  // namespace vexlar
