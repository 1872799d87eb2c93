// Readers of the project sections that later sections refer to by number: species (with
// the list of those simulated), building levels, day and week schedules, wind-pressure
// profiles with their fits, and kinetic reactions. Records come from the pool passed in
// and live for the run; the 1-based index arrays are freed once the network is built.
#include "common-src/prj-read-common.h"

#include <cstdio>
#include <cstring>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/prj-file-util.h"
#include "common-src/prj-read.h"
#include "common-src/tokens.h"

namespace vexlar {

// ---- Shared small readers ----------------------------------------------------------------

void prj_read_floats(float* dst, int n, int newline)
{
    for (int i = 0; i < n; ++i)
        dst[i] = readR4(i == 0 ? newline : 0);
}

void prj_skip_words(int n)
{
    for (int i = 0; i < n; ++i)
        nxtwrd(_string, NXT_WORD, sizeof _string);
}

int prj_read_subcount(int value, const char* section, int k)
{
    if (value < 0) {
        errorf(ERROR, __FILE__, __LINE__, "Negative count in %s record %d: %d", section, k,
               value);
        return 0;
    }
    return prj_subcount_fits(value, section, k) ? value : 0;
}

int prj_subcount_fits(int value, const char* section, int k)
{
    if (prj_count_fits(value))
        return 1;
    errorf(ERROR, __FILE__, __LINE__, "Count in %s record %d is larger than the rest of the file: %d",
           section, k, value);
    return 0;
}

int ctm_name_chk()
{
    for (int i = 0; i < _nctm; ++i)
        if (streql(_ctm[i].name, _string))
            return i;
    return _nctm;
}

namespace {

// Per-point arrays from the pool; none for a count of 0.
template <class T> T* pool_array(MemBlock** pool, int n, const char* tag)
{
    return n > 0 ? static_cast<T*>(alc_ec(pool, n * sizeof(T), tag)) : nullptr;
}

// A name word that is read and not kept (at most 15 characters, like every name).
void skip_name()
{
    char name[16];
    prj_read_name(name, sizeof name);
}

// ---- Species -------------------------------------------------------------------------------

struct SpeciesCtx {
    int* found;   // per simulated species: 1 once its record was read
};

void species_record(int k, void* vctx)
{
    SpeciesCtx* ctx = static_cast<SpeciesCtx*>(vctx);
    SpeciesRec r{};
    readI2(0);
    r.non_trace = (int16_t)readI2(0);
    float v[6];
    prj_read_floats(v, 6, 0);
    r.molar_mass = v[0];
    r.mean_diameter = v[1];
    r.effective_density = v[2];
    r.decay_constant = v[3];
    r.diffusivity = v[4];
    r.default_conc = v[5];
    r.cp = readR4(0);
    r.uv_coef = readR4(0);
    for (int i = 0; i < 5; ++i)
        readI2(0);
    prj_read_name(r.name, sizeof r.name);
    prj_skip_description();
    bool simulated = false;
    for (int i = 0; i < _nctm; ++i) {
        if (_ctm[i].number != k)
            continue;
        if (r.molar_mass <= 0.0f) {
            error(ERROR, __FILE__, __LINE__, "Invalid molar mass for species ", r.name, "");
            return;
        }
        r.gas_const = 8314.41f / r.molar_mass;
        r.cv = r.cp - r.gas_const;
        r.number = (int16_t)k;
        _ctm[i] = r;
        ctx->found[i] = 1;
        simulated = true;
        if (r.non_trace)
            ++_nntc;
    }
    // No transport method decays a species by its own constant; a user who enters one
    // would otherwise get no decay and no word.
    if (simulated && r.decay_constant != 0.0f)
        errorf(WARNING, __FILE__, __LINE__,
               "Decay constant %g 1/s of species %s is not applied; a kinetic reaction models decay",
               (double)r.decay_constant, r.name);
}

// The simulated-species list: n numbers on the count's line, each at most once.
void species_list(int n)
{
    for (int i = 0; i < n && prj_more(); ++i) {
        _ctm[i].number = (int16_t)readI2(0);
        for (int j = 0; j < i; ++j)
            if (_ctm[j].number == _ctm[i].number)
                error(ERROR, __FILE__, __LINE__, "Simulated species number given twice: ",
                      intstr(_ctm[i].number), "");
    }
}

void species_vectors(MemBlock** pool)
{
    _Rs = pool_array<double>(pool, _nctm, "Rs");
    _Cp = pool_array<double>(pool, _nctm, "Cp");
    _penf = pool_array<float>(pool, _nctm, "penf");
    for (int i = 0; i < _nctm; ++i) {
        _Rs[i] = _ctm[i].gas_const;
        _Cp[i] = _ctm[i].cp;
        _penf[i] = 1.0f;
    }
}

}  // namespace

int species_read(MemBlock** pool)
{
    _nntc = 0;
    _Rs = _Cp = nullptr;
    _penf = nullptr;
    int n = prj_section_count("Species");
    _ctm = pool_array<SpeciesRec>(pool, n, "ctm");
    _nctm = n;
    species_list(n);
    int m = prj_section_count("Species");
    int* found = n > 0 ? alc_vT<int>(0, n - 1, "ctm-found") : nullptr;
    SpeciesCtx ctx{found};
    prj_read_records(m, "Contaminant number mis-match: ", species_record, &ctx);
    prj_section_end2("Speices", "Species");
    for (int i = 0; i < n && !prj_errors(); ++i)
        if (!found[i])
            error(ERROR, __FILE__, __LINE__, "No record for simulated species: ",
                  intstr(_ctm[i].number), "");
    if (found)
        fre_vT(found, 0, n - 1, "ctm-found");
    if (n > 0)
        species_vectors(pool);
    return n;
}

// ---- Levels --------------------------------------------------------------------------------

namespace {

void level_record(int k, void* vpool)
{
    MemBlock** pool = static_cast<MemBlock**>(vpool);
    LevelRec* lv = alc_ecT<LevelRec>(pool, "level");
    lv->number = k;
    lv->ref_height = readR4(0);
    lv->height = readR4(0);
    int icons = prj_read_subcount(readIX(0), "Level", k);
    readI2(0);
    readI2(0);
    prj_read_name(lv->name, sizeof lv->name);
    for (int i = 0; i < icons && prj_more(); ++i) {
        readI2(1);
        readI2(0);
        readI2(0);
        readIX(0);
    }
    _LevList[k] = lv;
    lv->prev = _LevH;
    if (_LevH)
        _LevH->next = lv;
    else
        _Lev0 = lv;
    _LevH = lv;
}

}  // namespace

int level_read(MemBlock** pool)
{
    _Lev0 = _LevH = nullptr;
    return prj_read_section<LevelRec>("Level", "LevLst", "Level number mis-match: ",
                                      level_record, pool, _LevList, _nlev, nullptr);
}

// ---- Day and week schedules ---------------------------------------------------------------

namespace {

void dsch_record(int k, void* vpool)
{
    MemBlock** pool = static_cast<MemBlock**>(vpool);
    DaySchedRec* ds = alc_ecT<DaySchedRec>(pool, "dsch");
    ds->number = k;
    ds->npts = prj_read_subcount((int16_t)readI2(0), "Day Schedule", k);
    ds->shape = (int16_t)readI2(0);
    readI2(0);
    readI2(0);
    prj_skip_description();
    ds->times = pool_array<int>(pool, ds->npts, "time");
    ds->values = pool_array<float>(pool, ds->npts, "ctvl");
    for (int i = 0; i < ds->npts && prj_more(); ++i) {
        ds->times[i] = readHMS(1);
        ds->values[i] = readR4(0);
    }
    _DschList[k] = ds;
}

struct WeekCtx {
    MemBlock** pool;
    int ndsch;
};

void wsch_record(int k, void* vctx)
{
    WeekCtx* ctx = static_cast<WeekCtx*>(vctx);
    WeekSchedRec* ws = alc_ecT<WeekSchedRec>(ctx->pool, "wsch");
    ws->number = k;
    readI2(0);
    readI2(0);
    skip_name();
    prj_skip_description();
    for (int d = 0; d < 12; ++d) {
        int j = readIX(0);
        if (j < 1 || j > ctx->ndsch) {
            error(ERROR, __FILE__, __LINE__, "Bad day-schedule: ", intstr(j), "");
            continue;
        }
        ws->dsch[d] = _DschList[j];
        _DschList[j]->active_flag = 1;
    }
    _WschList[k] = ws;
}

}  // namespace

int dschd_read(DaySchedRec** head, MemBlock** pool)
{
    return prj_read_section("Day Schedule", "DshLst", "Day-schedule number mis-match: ",
                            dsch_record, pool, _DschList, _ndsch, head);
}

int wschd_read(WeekSchedRec** head, int ndsch, MemBlock** pool)
{
    WeekCtx ctx{pool, ndsch};
    return prj_read_section("Week Schedule", "WshLst", "Week-schedule number mis-match: ",
                            wsch_record, &ctx, _WschList, _nwsch, head);
}

// ---- Wind-pressure profiles ----------------------------------------------------------------

namespace {

// Repeated or decreasing azimuths leave no interval to interpolate in.
int wind_azimuths_ascending(const WindProfileRec* wp)
{
    for (int i = 1; i < wp->npts; ++i) {
        if (wp->wp_azimuth[i] <= wp->wp_azimuth[i - 1]) {
            error(ERROR, __FILE__, __LINE__, "Azimuths must increase, wind profile ",
                  intstr(wp->number), "");
            return 0;
        }
    }
    return 1;
}

// Fits a spline or trigonometric profile; a failed fit leaves the linear profile.
void wind_fit(WindProfileRec* wp, MemBlock** pool)
{
    if (wp->fit_type == WPF_SPLINE) {
        wp->spline = pool_array<WpSpline>(pool, wp->npts, "aa");
        if (wp_ccspl(wp->npts, wp->wp_azimuth, wp->wp_cp, wp->spline))
            return;
        wp->spline = nullptr;
    } else if (wp->fit_type == WPF_TRIG) {
        wp->trig = static_cast<float*>(alc_ec(pool, 4 * sizeof(float), "cp"));
        if (wp_htrig(wp->npts, wp->wp_azimuth, wp->wp_cp, wp->trig))
            return;
    } else {
        wp->fit_type = WPF_LINEAR;
        return;
    }
    errorf(WARNING, __FILE__, __LINE__, "Wind profile %d: %s fit failed, linear profile used",
           wp->number, wp->fit_type == WPF_SPLINE ? "spline" : "trigonometric");
    wp->fit_type = WPF_LINEAR;
}

void wind_record(int k, void* vpool)
{
    MemBlock** pool = static_cast<MemBlock**>(vpool);
    WindProfileRec* wp = alc_ecT<WindProfileRec>(pool, "wpf");
    wp->number = k;
    wp->npts = prj_read_subcount((int16_t)readI2(0), "WindP Profile", k);
    wp->fit_type = (int16_t)readI2(0);
    skip_name();
    prj_skip_description();
    wp->wp_azimuth = pool_array<float>(pool, wp->npts, "azm");
    wp->wp_cp = pool_array<float>(pool, wp->npts, "coef");
    for (int i = 0; i < wp->npts && prj_more(); ++i) {
        wp->wp_azimuth[i] = readR4(1);
        wp->wp_cp[i] = readR4(0);
    }
    _WpfList[k] = wp;
    if (!prj_errors() && wind_azimuths_ascending(wp))
        wind_fit(wp, pool);
}

}  // namespace

int wind_read(WindProfileRec** head, MemBlock** pool)
{
    return prj_read_section("WindP Profile", "WpfLst", "Wind number mis-match: ", wind_record,
                            pool, _WpfList, _nwpf, head);
}

// ---- Kinetic reactions ---------------------------------------------------------------------

namespace {

// A species name as the first word of a line or the next word: its index in _ctm, or
// _nctm with the WARNING when it is not simulated.
int reaction_species(int newline, const char* warning)
{
    nxtwrd(_string, newline ? NXT_FIRST_WORD : NXT_WORD, 16);
    int i = ctm_name_chk();
    if (i == _nctm)
        error(WARNING, __FILE__, __LINE__, warning, _string, "");
    return i;
}

void reaction_record(int k, void* vpool)
{
    MemBlock** pool = static_cast<MemBlock**>(vpool);
    ReactionRec* kr = alc_ecT<ReactionRec>(pool, "knr");
    kr->number = k;
    kr->nterms = prj_read_subcount(readIX(0), "Kinetic Reaction", k);
    skip_name();
    prj_skip_description();
    kr->coef = pool_array<float>(pool, kr->nterms, "coef");
    kr->prod = pool_array<int>(pool, kr->nterms, "prod");
    kr->src = pool_array<int>(pool, kr->nterms, "src");
    for (int t = 0; t < kr->nterms && prj_more(); ++t) {
        int p = reaction_species(1, "Reaction product contaminant not simulated: ");
        int s = reaction_species(0, "Reaction source contaminant not simulated: ");
        float coef = readR4(0);
        kr->prod[t] = p < _nctm ? p : 0;
        kr->src[t] = s < _nctm ? s : 0;
        kr->coef[t] = (p < _nctm && s < _nctm) ? coef : 0.0f;
    }
    _KinrList[k] = kr;
}

}  // namespace

int kinetic_read(ReactionRec** head, void*, MemBlock** pool)
{
    return prj_read_section("Kinetic Reaction", "KnrLst", "Reaction number mis-match: ",
                            reaction_record, pool, _KinrList, _nkinr, head);
}

}  // namespace vexlar
