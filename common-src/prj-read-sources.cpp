// The source/sink, occupancy-schedule, occupant and note sections of the project file, and
// the release of the reader's index arrays once the simulation network is built. Sources
// of simulated species are copied into the persistent list _Css0 (reverse file order);
// occupant emissions of simulated species into _Pxs0 (file order).
#include <cstring>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/prj-read.h"
#include "common-src/prj-read-common.h"
#include "common-src/tokens.h"
#include "model/elements.h"
#include "model/prj-records.h"
#include "model/schedules.h"
#include "model/prj-common.h"

namespace vexlar {

CssRec* copyCssToLinkedList(const CssRec* tmpl)
{
    CssRec* css = alc_ecT<CssRec>(&_ms, "css");
    *css = *tmpl;
    css->next = _Css0;
    _Css0 = css;
    return css;
}

static int simulated(const CseRec* cse) { return cse && cse->species < _nctm; }

// A source counts as simulated when its element's species is; a "sup" element when any of
// its sub-elements' species is.
static int source_simulated(const CseRec* cse)
{
    if (!cse) return 0;
    if (cse->type != CSE_SUP) return simulated(cse);
    const SupCseData* sup = static_cast<const SupCseData*>(cse->model_data);
    for (int i = 0; sup && i < sup->count; i++)
        if (simulated(sup->elems[i])) return 1;
    return 0;
}

// Copies the instance into _Css0: once, or for a "sup" element once per simulated
// sub-element, with that sub-element as its element.
static void keep_source(CssRec* tmpl)
{
    CseRec* cse = tmpl->cse;
    if (cse->type != CSE_SUP) {
        copyCssToLinkedList(tmpl);
        return;
    }
    const SupCseData* sup = static_cast<const SupCseData*>(cse->model_data);
    for (int i = 0; i < sup->count; i++) {
        if (!simulated(sup->elems[i])) continue;
        tmpl->cse = sup->elems[i];
        copyCssToLinkedList(tmpl);
    }
    tmpl->cse = cse;
}

static void read_css_record(int k, void*)
{
    CssRec t;
    memset(&t, 0, sizeof t);
    t.number = k;
    t.zone_number = readIX(0);
    prj_ref(t.zone_number, 1, _nzone, "Invalid zone number, source ", k);
    t.cse = prj_pick(_CseList, readIX(0), 1, _ncse, "Invalid element number, source ", k);
    int sim = source_simulated(t.cse);
    t.value_ptr = &_one;
    WeekSchedRec* w = prj_pick(_WschList, readIX(0), 0, _nwsch,
                               "Invalid week-schedule number, source ", k);
    if (w) {
        t.value_ptr = &w->value;
        if (sim) w->use_count++;
    }
    CtrlNode* c = prj_pick(_CtrlList, readIX(0), 0, _nctrl,
                           "Invalid control node number, source ", k);
    if (c) t.value_ptr = &c->value;
    t.multiplier = readR4(0);
    t.init_value = readR4(0);
    for (float& b : t.box) b = readR4(0);
    readI2(0);
    readI2(0);
    prj_read_value_file(&t.value_file_type, t.value_file_name);
    if ((int16_t)readI2(0) != 0) prj_read_name(t.cfd_name, sizeof t.cfd_name);
    if (c && t.value_file_type != VF_NONE) t.value_file_type = VF_CTRL_AND_FILE;
    if (sim && prj_errors() == 0) keep_source(&t);
}

static void read_css_records(int n)
{
    for (int k = 1; k <= n; k++) {
        prj_at_record(k);
        if (prj_record_number(k, "S/S number mis-match: ")) break;
        read_css_record(k, nullptr);
        if (prj_errors()) break;
    }
}

int css_read()
{
    _Css0 = nullptr;
    _ncss = prj_section_count("Source/Sink");
    read_css_records(_ncss);
    prj_section_end("Source/Sink");
    return _ncss;
}

// ---- Occupancy schedules ------------------------------------------------------------------

// Per-point storage of a schedule of n points, in the persistent pool.
template <class T> static T* point_array(int n, const char* tag)
{
    return n > 0 ? static_cast<T*>(alc_ec(&_ms, n * sizeof(T), tag)) : nullptr;
}

static void read_osch_point(OccSchedRec* o, int i, int k)
{
    o->times[i] = readHMS(1);
    int z = readIX(0);
    o->x[i] = readR4(0);
    o->y[i] = readR4(0);
    o->rel_height[i] = readR4(0);
    if (z == 0) {
        // At the end of the day the occupant stays where the point before put it.
        o->zones[i].zone = (o->times[i] == 86400 && i > 0) ? o->zones[i - 1].zone : nullptr;
    } else if (z == -1) {
        o->zones[i].zone = &_ambt;
    } else {
        o->zones[i].zone = prj_pick(_ZoneList, z, 1, _nzone, "Invalid zone number, Occ ", k);
    }
}

static void read_osch_record(int k, void*)
{
    OccSchedRec* o = alc_ecT<OccSchedRec>(&_ms, "osch");
    _OschList[k] = o;
    o->number = k;
    int n = (int16_t)readI2(0);
    readI2(0);
    prj_read_name(_string, 16);
    prj_skip_description();
    if (prj_ref(n, 0, 32767, "Invalid point count, Occ ", k) ||
        !prj_subcount_fits(n, "Occupant Day Schedule", k))
        return;
    o->npts = (int16_t)n;
    o->times = point_array<int>(n, "time");
    o->zones = point_array<OccZone>(n, "zone");
    o->cells = point_array<ZoneCell*>(n, "cell");
    o->x = point_array<float>(n, "X");
    o->y = point_array<float>(n, "Y");
    o->rel_height = point_array<float>(n, "relHt");
    for (int i = 0; i < n && prj_more(); i++) read_osch_point(o, i, k);
}

int osch_read()
{
    return prj_read_section<OccSchedRec>("Occupant Day Schedule", "OshLst",
                                         "Occpancy-schedule number mis-match: ",
                                         read_osch_record, nullptr, _OschList, _nosch, nullptr);
}

// ---- Occupants ------------------------------------------------------------------------------

static ExposureSrcRec* s_pxs_tail;   // last emission of _Pxs0, so the list keeps file order

static void read_emission(ExposureRec* e, int k)
{
    nxtwrd(_string, NXT_FIRST_WORD, 16);
    if (!e->emission_flag) return;
    int species = ctm_name_chk();
    if (species >= _nctm) {
        prj_skip_words(3);
        return;
    }
    ExposureSrcRec* x = alc_ecT<ExposureSrcRec>(&_ms, "pxs");
    x->owner = e;
    x->species = species;
    x->wsch = prj_pick(_WschList, readIX(0), 0, _nwsch,
                       "Invalid week-schedule number, exposure ", k);
    if (x->wsch) x->wsch->use_count++;
    x->rate = readR4(0);
    nxtwrd(_string, NXT_WORD, sizeof _string);
    prj_read_value_file(&x->value_file_type, x->value_file_name);
    if (s_pxs_tail)
        s_pxs_tail->next = x;
    else
        _Pxs0 = x;
    s_pxs_tail = x;
}

static void read_pexp_record(int k, void*)
{
    ExposureRec* e = alc_ecT<ExposureRec>(&_ms, "pexp");
    _PexpList[k] = e;
    e->number = k;
    e->emission_flag = (int16_t)readI2(0);
    int nemit = readIX(0);
    e->factor = readR4(0);
    readI2(0);
    prj_skip_description();
    for (int d = 0; d < 12; d++)
        e->occ_scheds[d] = prj_pick(_OschList, readIX(d == 0 ? 1 : 0), 0, _nosch,
                                    "Invalid occupancy-schedule number, exposure ", k);
    if (_nctm > 0) e->exposure = point_array<float>(_nctm, "expos");
    if (prj_ref(nemit, 0, 0x7fffffff, "Invalid emission count, exposure ", k) ||
        !prj_subcount_fits(nemit, "Occupant Exposure", k))
        return;
    for (int i = 0; i < nemit && prj_more(); i++) read_emission(e, k);
}

int pexp_read()
{
    _Pxs0 = nullptr;
    s_pxs_tail = nullptr;
    return prj_read_section<ExposureRec>("Occupant Exposure", "PxLst",
                                         "Exposure number mis-match: ", read_pexp_record,
                                         nullptr, _PexpList, _npexp, nullptr);
}

// ---- Notes ----------------------------------------------------------------------------------

static void read_note_record(int, void*)
{
    readI2(0);
    nxtwrd(_string, NXT_REST_OF_LINE, sizeof _string);
}

int note_read()
{
    _nnote = prj_section_count("Note");
    prj_read_records(_nnote, "Note number mis-match: ", read_note_record, nullptr);
    prj_section_end("Note");
    return _nnote;
}

// ---- Index arrays ---------------------------------------------------------------------------

void prj_read_free_comp_lists()
{
    _PexpList = prj_list_free(_PexpList, _npexp, "PxLst");
    _DctList = prj_list_free(_DctList, _ndct, "DctLst");
    _JctList = prj_list_free(_JctList, _njct, "JctLst");
    _ZoneList = prj_list_free(_ZoneList, _nzone, "ZnLst");
    _PathList = prj_list_free(_PathList, _npath, "PthLst");
    _FiltList = prj_list_free(_FiltList, _nfilt, "FltLst");
    _AhsList = prj_list_free(_AhsList, _nahs, "AhsLst");
    _CtrlList = prj_list_free(_CtrlList, _nctrl, "CtLst");
}

void prj_read_free_element_lists()
{
    _LevList = prj_list_free(_LevList, _nlev, "LevLst");
    _DschList = prj_list_free(_DschList, _ndsch, "DshLst");
    _WschList = prj_list_free(_WschList, _nwsch, "WshLst");
    _WpfList = prj_list_free(_WpfList, _nwpf, "WpfLst");
    _KinrList = prj_list_free(_KinrList, _nkinr, "KnrLst");
    _FlteList = prj_list_free(_FlteList, _nflte, "FlteLst");
    _CseList = prj_list_free(_CseList, _ncse, "CseLst");
    _AfeList = prj_list_free(_AfeList, _nafe, "AfeLst");
    _DfeList = prj_list_free(_DfeList, _ndfe, "DfeLst");
    _OschList = prj_list_free(_OschList, _nosch, "OshLst");
}

}  // namespace vexlar
