// The network sections of the project file: simple air-handling systems, zones and their
// initial mass fractions, airflow paths, duct junctions and terminals with theirs, and duct
// segments. Zones, paths, junctions and segments live in the temporary pool _mb; every
// reference to a zone, element, filter, profile, system, schedule, control node or level is
// checked against the count of the section that defines it.
#include <cstdint>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/prj-read.h"
#include "common-src/prj-read-common.h"
#include "common-src/tokens.h"
#include "model/elements.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/prj-common.h"

namespace vexlar {

// ---- Shared reference readers ---------------------------------------------------------------

// A zone reference: -1 the ambient record, 1.._nzone a zone, anything else the ERROR.
static ZoneRec* read_zone_ref(const char* message, int k)
{
    int n = readIX(0);
    if (n == -1) return &_ambt;
    return prj_pick(_ZoneList, n, 1, _nzone, message, k);
}

// A week-schedule reference (0 none); a valid one counts as a use of the schedule.
static WeekSchedRec* read_wsch_ref(const char* message, int k)
{
    WeekSchedRec* w = prj_pick(_WschList, readIX(0), 0, _nwsch, message, k);
    if (w) w->use_count++;
    return w;
}

static CtrlNode* read_ctrl_ref(const char* message, int k)
{
    return prj_pick(_CtrlList, readIX(0), 0, _nctrl, message, k);
}

static ReactionRec* read_reaction_ref(const char* message, int k)
{
    return prj_pick(_KinrList, readIX(0), 0, _nkinr, message, k);
}

static LevelRec* read_level_ref(const char* message, int k)
{
    return prj_pick(_LevList, readIX(0), 1, _nlev, message, k);
}

static FilterRec* read_filter_ref(const char* message, int k)
{
    return prj_pick(_FiltList, readIX(0), 0, _nfilt, message, k);
}

static WindProfileRec* read_wind_ref(const char* message, int k)
{
    return prj_pick(_WpfList, readIX(0), 0, _nwpf, message, k);
}

// A node temperature [K]: densities and flows divide by it, so 0 K or below is an ERROR.
static void check_temperature(float t, const char* message, int k)
{
    if (!(t > 0.0f)) error(ERROR, __FILE__, __LINE__, message, intstr(k), "");
}

// A zone's volume [m3] gives its air mass. A negative one is never meaningful; none at all
// is accepted only while the zone's mass fractions are fixed, since a zone whose mass
// fractions are solved keeps its species in that air mass.
static void check_zone_volume(const ZoneRec* z, int k)
{
    bool solved = (z->flags & 0x02) && _nctm > 0 && _rcdat.sim_mf != 0;
    if (z->volume > 0.0f || (z->volume == 0.0f && !solved)) return;
    error(ERROR, __FILE__, __LINE__, "Invalid volume, zone ", intstr(k), ": ",
          fltstr(0, z->volume), " m3", "");
}


// ---- Air-handling systems ----------------------------------------------------------------

static void read_ahs_record(int k, void*)
{
    AhsRec* a = alc_ecT<AhsRec>(&_ms, "ahs");
    _AhsList[k] = a;
    a->number = k;
    int* numbers[5] = {&a->zone_return, &a->zone_supply, &a->path_recirc, &a->path_outdoor,
                       &a->path_exhaust};
    for (int* n : numbers) *n = readIX(0);
    readI2(0);
    prj_read_name(a->name, sizeof a->name);
    prj_skip_description();
}

int ahs_read()
{
    return prj_read_section<AhsRec>("AHS", "AhsLst", "System number mis-match: ",
                                    read_ahs_record, nullptr, _AhsList, _nahs, nullptr);
}

// The zones and paths a system names must exist; checked once both sections are read.
static void check_ahs_refs()
{
    for (int k = 1; k <= _nahs; k++) {
        AhsRec* a = _AhsList[k];
        prj_ref(a->zone_return, 1, _nzone, "Invalid zone number, AHS ", k);
        prj_ref(a->zone_supply, 1, _nzone, "Invalid zone number, AHS ", k);
        prj_ref(a->path_recirc, 1, _npath, "Invalid path number, AHS ", k);
        prj_ref(a->path_outdoor, 1, _npath, "Invalid path number, AHS ", k);
        prj_ref(a->path_exhaust, 1, _npath, "Invalid path number, AHS ", k);
    }
}

// ---- Zones --------------------------------------------------------------------------------

static void read_zone_record(int k, void*)
{
    ZoneRec* z = alc_ecT<ZoneRec>(&_mb, "zone");
    _ZoneList[k] = z;
    z->number = k;
    z->flags = (uint16_t)(readU2(0) & 0x3f);
    z->wsch = read_wsch_ref("Invalid schedule number, zone ", k);
    z->ctrl = read_ctrl_ref("Invalid control node number, zone ", k);
    z->reaction = read_reaction_ref("Invalid reaction number, zone ", k);
    z->level = read_level_ref("Invalid level number, zone ", k);
    z->rel_height = readR4(0);
    z->volume = readR4(0);
    z->temperature = readR4(0);
    z->pressure = readR4(0);
    check_temperature(z->temperature, "Invalid temperature, zone ", k);
    check_zone_volume(z, k);
    prj_read_name(z->name, sizeof z->name);
    prj_skip_words(5);
    z->cd1 = (int16_t)readI2(0);
    prj_read_value_file(&z->vf_type, z->vf_name);
    if ((int16_t)readI2(0) == 1) prj_read_name(z->cfd_name, sizeof z->cfd_name);
    if (z->cd1) {
        readI2(0);
        prj_read_floats(z->cd1_geom, 8, 0);
        prj_skip_words(2);
        if (_rcdat.cd1_zones == 0) z->cd1 = 0;
    }
    prj_skip_trelbo_line();
}

int zone_read()
{
    return prj_read_section<ZoneRec>("Zone", "ZnLst", "Zone number mis-match: ",
                                     read_zone_record, nullptr, _ZoneList, _nzone, nullptr);
}

// Initial mass fractions of n nodes, each block of _nctm values on a line of its own after
// the node's number, into mf from block first on. One ERROR for any negative value.
static void read_node_mf(int n, double* mf, int first, const char* mismatch,
                         const char* negative)
{
    int any_negative = 0;
    for (int k = 1; k <= n; k++) {
        prj_at_record(k);
        if (prj_record_number(k, mismatch)) return;
        double* block = mf + (k - 1 + first) * _nctm;
        for (int s = 0; s < _nctm && prj_more(); s++) {
            block[s] = readR4(0);
            if (block[s] < 0) any_negative = 1;
        }
        if (prj_errors()) return;
    }
    prj_at_record(0);
    if (any_negative) error(ERROR, __FILE__, __LINE__, negative, "");
}

// A concentration section: the count of values must be nodes x species, worked in 64 bits
// so that no product of two counts can wrap round onto the count read. The values must
// fit the rest of the file, and the arrays sized from them (one block more, for the
// ambient) an int index.
static int read_cc_count(int nodes, const char* message)
{
    int count = readI4(1);
    long long values = (long long)nodes * _nctm;
    if (values == count && prj_count_fits(count) && values + _nctm <= INT32_MAX) return 0;
    char expected[160];
    if (values != count)
        snprintf(expected, sizeof expected,
                 " found, %lld expected (%d records times %d simulated species): give one value "
                 "per species for each record", values, nodes, _nctm);
    else
        snprintf(expected, sizeof expected, " values: more than the rest of the file holds");
    error(ERROR, __FILE__, __LINE__, message, intstr(count), expected, "");
    return 1;
}

int zone_cc_read()
{
    prj_enter_section("Zone CC");
    if (read_cc_count(_nzone, "Zones*contaminant count mis-match: ") == 0 && _nctm > 0) {
        _nZctm = _nctm * (_nzone + 1);
        _MfZ = alc_vT<double>(0, _nZctm - 1, "MfZ");
        _MfZi = alc_vT<double>(0, _nZctm - 1, "MfZi");
        read_node_mf(_nzone, _MfZ, 1, "Zone number mis-match: ",
                     "Zone initial mass fraction(s) < 0");
    }
    prj_section_end("Zone CC");
    return _nZctm;
}

// ---- Paths --------------------------------------------------------------------------------

static const int PATH_AHS_KINDS = 0x08 | 0x10 | 0x20 | 0x40;

static void read_path_record(int k, void*)
{
    PathRec* p = alc_ecT<PathRec>(&_mb, "path");
    _PathList[k] = p;
    p->number = k;
    p->flags = (uint16_t)(readU2(0) & 0x1ff);
    p->from_zone = read_zone_ref("Invalid zone number, path ", k);
    p->to_zone = read_zone_ref("Invalid zone number, path ", k);
    int elem = readIX(0);
    if ((p->flags & PATH_AHS_KINDS) == 0)
        p->element = prj_pick(_AfeList, elem, 1, _nafe, "Invalid flow element number, path ", k);
    p->filter = read_filter_ref("Invalid filter number, path ", k);
    p->wind_profile = read_wind_ref("Invalid wind profile number, path ", k);
    int ahs = readIX(0);
    if (p->flags & 0x08)
        p->ahs = prj_pick(_AhsList, ahs, 1, _nahs, "Invalid AHS number, path ", k);
    else
        prj_ref(ahs, 0, 0, "Invalid AHS number, path ", k);
    p->wsch = read_wsch_ref("Invalid week-schedule number, path ", k);
    p->ctrl = read_ctrl_ref("Invalid control node number, path ", k);
    p->level = read_level_ref("Invalid level number, path ", k);
    float* values[8] = {&p->x, &p->y, &p->rel_height, &p->multiplier, &p->fixed_wind_pressure,
                        &p->wind_mod, &p->azimuth, &p->design_flow};
    for (float* v : values) *v = readR4(0);
    prj_skip_words(2 + 7);   // two floats and seven words not used
    prj_read_value_file(&p->vf_type, p->vf_name);
    if ((int16_t)readI2(0) == 1) {
        prj_read_name(p->cfd_name, sizeof p->cfd_name);
        for (int16_t& c : p->cfd_codes) c = (int16_t)readI2(0);
    }
    prj_skip_trelbo_line();
}

int path_read()
{
    prj_read_section<PathRec>("Path", "PthLst", "Path number mis-match: ", read_path_record,
                              nullptr, _PathList, _npath, nullptr);
    if (prj_errors() == 0) check_ahs_refs();
    return _npath;
}

// ---- Junctions ----------------------------------------------------------------------------

static void read_terminal(JunctionRec* j, int k)
{
    readI2(0);
    j->filter = read_filter_ref("Invalid filter number, junction ", k);
    j->wind_profile = read_wind_ref("Invalid wind profile number, junction ", k);
    j->fixed_wind_pressure = readR4(0);
    j->wind_mod = readR4(0);
    j->azimuth = readR4(0);
    j->balance = (int16_t)readI2(0);
    float* values[6] = {&j->design_flow, &j->area,       &j->diameter,
                        &j->loss_coef1,  &j->loss_coef2, &j->term_value6};
    for (float* v : values) *v = readR4(0);
    prj_skip_words(4);
}

static void read_jct_record(int k, void*)
{
    JunctionRec* j = alc_ecT<JunctionRec>(&_mb, "jct");
    _JctList[k] = j;
    j->number = k;
    j->flags = (uint16_t)readU2(0);
    j->term_type = (int16_t)readI2(0);
    j->zone = read_zone_ref("Invalid zone number, junction ", k);
    j->duct_number = readIX(0);
    j->reaction = read_reaction_ref("Invalid reaction number, junction ", k);
    j->wsch = read_wsch_ref("Invalid schedule number, junction ", k);
    j->ctrl = read_ctrl_ref("Invalid control node number, junction ", k);
    j->level = read_level_ref("Invalid level number, junction ", k);
    float* values[5] = {&j->x, &j->y, &j->rel_height, &j->temperature, &j->jct_value5};
    for (float* v : values) *v = readR4(0);
    check_temperature(j->temperature, "Invalid temperature, junction ", k);
    prj_skip_words(6);
    prj_read_value_file(&j->vf_type, j->vf_name);
    if (j->term_type > 0) read_terminal(j, k);
    prj_skip_trelbo_line();
}

static int jct_cc_read()
{
    prj_enter_section("Duct Junction CC");
    if (read_cc_count(_njct, "Junctions*contaminant count mis-match: ") == 0 &&
        _njct * _nctm > 0) {
        _nJctm = _njct * _nctm;
        _MfJ = alc_vT<double>(0, _nJctm - 1, "MfJ");
        _MfJi = alc_vT<double>(0, _nJctm - 1, "MfJi");
        read_node_mf(_njct, _MfJ, 0, "Junction number mis-match: ",
                     "Junction initial mass fraction(s) < 0");
    }
    prj_section_end("Duct Junction CC");
    return _nJctm;
}

int jct_read()
{
    prj_read_section<JunctionRec>("Duct Junction", "JctLst", "Junction number mis-match: ",
                                  read_jct_record, nullptr, _JctList, _njct, nullptr);
    if (prj_errors() == 0) jct_cc_read();
    return _njct;
}

// ---- Duct segments ------------------------------------------------------------------------

static void read_duct_record(int k, void*)
{
    DuctSegRec* d = alc_ecT<DuctSegRec>(&_mb, "jct");
    _DctList[k] = d;
    d->number = k;
    d->flags = (uint16_t)readU2(0);
    d->jct_from = prj_pick(_JctList, readIX(0), 0, _njct, "Invalid junction number, duct ", k);
    d->jct_to = prj_pick(_JctList, readIX(0), 0, _njct, "Invalid junction number, duct ", k);
    d->element = prj_pick(_DfeList, readIX(0), 1, _ndfe, "Invalid duct element number, duct ", k);
    d->filter = read_filter_ref("Invalid filter number, duct ", k);
    d->wsch = read_wsch_ref("Invalid week-schedule number, duct ", k);
    d->ctrl = read_ctrl_ref("Invalid control node number, duct ", k);
    readI2(0);
    d->length = readR4(0);
    d->duct_value2 = readR4(0);
    d->duct_value3 = readR4(0);
    d->loss_coef = readR4(0);
    prj_skip_words(3);
    prj_read_value_file(&d->vf_type, d->vf_name);
    prj_skip_trelbo_line();
    if (d->element && d->element->type == AFE_DCT_DWC && d->length <= 0 && d->loss_coef <= 0)
        error(ERROR, __FILE__, __LINE__, "Duct ", intstr(k),
              " with DWC element has neither length nor loss coefficient", "");
}

// Every junction's duct number names a segment of the section (0 for none).
static void resolve_junction_ducts()
{
    for (int k = 1; k <= _njct; k++) {
        JunctionRec* j = _JctList[k];
        j->duct = prj_pick(_DctList, j->duct_number, 0, _ndct, "Invalid duct number, junction ",
                           k);
    }
}

// ---- Filters in use -----------------------------------------------------------------------

// A filter record is one filter in one place: its loading, breakthrough and challenge are
// those of the air through that path alone. Where a second path, duct or terminal names the
// same record, both would load one filter with the sum of their air.
static const char* const s_filterUserKinds[3] = {"path", "duct", "terminal"};

static void note_filter_user(int* user, const FilterRec* f, int kind, int number)
{
    if (!f) return;
    int& u = user[f->number];
    if (u == 0) {
        u = number * 4 + kind;
        return;
    }
    errorf(ERROR, __FILE__, __LINE__, "Filter %d is used by %s %d and by %s %d; each needs a filter of its own",
           f->number, s_filterUserKinds[u % 4], u / 4, s_filterUserKinds[kind], number);
}

static void check_filter_users()
{
    if (_nfilt <= 0) return;
    int* user = alc_vT<int>(1, _nfilt, "FltUse");
    for (int k = 1; k <= _npath; k++) note_filter_user(user, _PathList[k]->filter, 0, k);
    for (int k = 1; k <= _ndct; k++) note_filter_user(user, _DctList[k]->filter, 1, k);
    for (int k = 1; k <= _njct; k++)
        if (_JctList[k]->term_type > 0) note_filter_user(user, _JctList[k]->filter, 2, k);
    fre_vT(user, 1, _nfilt, "FltUse");
}

int duct_read()
{
    prj_read_section<DuctSegRec>("Duct Segment", "DctLst", "Duct number mis-match: ",
                                 read_duct_record, nullptr, _DctList, _ndct, nullptr);
    if (prj_errors() == 0) resolve_junction_ducts();
    if (prj_errors() == 0) check_filter_users();
    return _ndct;
}

}  // namespace vexlar
