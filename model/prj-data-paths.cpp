// The airflow paths of the network, in their fixed order: project paths, duct segments,
// then per junction its terminal or its leak; each bound to its element (the built-in
// elements of system paths, terminals and leaks created here), its value pointer and,
// at an envelope opening, its wind pressure and ambient mass fractions.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/prj-file-util.h"
#include "common-src/prj-read-elements.h"
#include "model/constants.h"
#include "model/elements.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/sts-links.h"

namespace vexlar {

namespace {

AirPath** pathTail = &_pafp0;
int pathCount = 0;
DuctLink** ductTail = &_duct0;
TerminalLink** termTail = &_term0;
LeakLink** leakTail = &_leak0;

bool sts_links_wanted() { return _rcdat.mf_solver == 1; }

AirPath* new_path(const char* tag, int kind, int number)
{
    AirPath* p = static_cast<AirPath*>(alc_ec(&_ms, sizeof(AirPath), tag));
    p->index = ++pathCount;
    p->kind = kind;
    p->number = number;
    p->wind_pressure = &_zero;
    *pathTail = p;
    pathTail = &p->next;
    return p;
}

// +1 when only the from end is the ambient node, -1 when only the to end is.
int envelope_direction(const AirPath* p)
{
    return (p->from_node == _pambt ? 1 : 0) - (p->to_node == _pambt ? 1 : 0);
}

float level_height(const LevelRec* lev) { return lev ? lev->ref_height : 0.0f; }

void check_spline(const AfeRec* e, int first, int last)
{
    if (e && e->type >= first && e->type <= last
        && static_cast<const CSF_DATA*>(e->model_data)->status != 0)
        error(ERROR, __FILE__, __LINE__, "Bad spline fit for element: ", e->name, "");
}

DuctData* new_duct_data() { return static_cast<DuctData*>(alc_ec(&_ms, sizeof(DuctData), "dd")); }

double* new_mf_vector(const char* tag)
{
    return _nctm > 0 ? static_cast<double*>(alc_ec(&_ms, _nctm * sizeof(double), tag)) : nullptr;
}

void build_path(PathRec* r, int k)
{
    if (r->number != k)
        error(ERROR, __FILE__, __LINE__, "Bad path ", intstr(k), "");
    AirPath* p = new_path("path", 0, r->number);
    p->flags = r->flags;
    r->path = p;
    p->from_node = r->from_zone->node;
    p->to_node = r->to_zone->node;
    if (!(p->flags & PATH_AHS))
        p->env_dir = envelope_direction(p);
    p->element = r->element;
    if (p->element && (p->element->type == AFE_FAN_CMF || p->element->type == AFE_FAN_CVF))
        p->flags &= PATH_CONST_FLOW;
    check_spline(p->element, AFE_CSF_FSP, AFE_CSF_PSQ);
    p->filter = r->filter;
    p->wind_profile = r->wind_profile;
    p->value_ptr = sd_value_source(r->ctrl, r->vf_type, r->vf_name, r->wsch, &_one);
    p->x = r->x;
    p->y = r->y;
    p->z = level_height(r->level) + r->rel_height;
    p->dz_from = p->z - p->from_node->height;
    p->dz_to = p->z - p->to_node->height;
    p->multiplier = r->multiplier;
    p->wind_mod = r->wind_mod;
    p->azimuth = r->azimuth;
    p->fixed_wind_pressure = r->fixed_wind_pressure;
    p->ahs_design_flow = r->design_flow;
    p->pld_index = r->pld_index;
    p->env_index = r->env_index;
    p->ahs_number = r->ahs ? r->ahs->number : 0;
    std::memcpy(p->cfd_codes, r->cfd_codes, sizeof p->cfd_codes);
    std::memcpy(p->cfd_name, r->cfd_name, sizeof p->cfd_name);
    p->cfd_name[sizeof p->cfd_name - 1] = '\0';
}

AirNode* duct_end(const JunctionRec* j, int k, const char* missing)
{
    if (j && j->node)
        return j->node;
    error(ERROR, __FILE__, __LINE__, " Duct ", intstr(k), missing, "");
    return nullptr;
}

void duct_link(AirPath* p, const DuctSegRec* s, const DuctGeometry& g)
{
    DuctLagData* lag = static_cast<DuctLagData*>(alc_ec(&_ms, sizeof(DuctLagData), "lagdata"));
    lag->outlet_mf = new_mf_vector("Mf");
    lag->mf_start = new_mf_vector("Mf0");
    lag->mf_end = new_mf_vector("MfL");
    lag->number = s->number;
    lag->length = g.length;
    lag->diameter = g.diameter;
    lag->area = g.area;
    DuctLink* d = static_cast<DuctLink*>(alc_ec(&_ms, sizeof(DuctLink), "duct"));
    d->lag = lag;
    d->from_junction = s->jct_from ? s->jct_from->jctn : nullptr;
    d->to_junction = s->jct_to ? s->jct_to->jctn : nullptr;
    d->path = p;
    d->number = s->number;
    d->network = s->jct_from ? s->jct_from->network : 0;
    *ductTail = d;
    ductTail = &d->next;
}

void build_duct(DuctSegRec* s, int k)
{
    if (s->number != k)
        error(ERROR, __FILE__, __LINE__, "Bad duct ", intstr(k), "");
    AirPath* p = new_path("duct", 1, s->number);
    p->duct_data = new_duct_data();
    s->path = p;
    p->from_node = duct_end(s->jct_from, k, " No pointer to node N");
    p->to_node = duct_end(s->jct_to, k, " No pointer to node M");
    p->element = s->element;
    check_spline(p->element, AFE_DCT_FSP, AFE_DCT_PSQ);
    p->filter = s->filter;
    p->value_ptr = sd_value_source(s->ctrl, s->vf_type, s->vf_name, s->wsch, &_one);
    if (p->from_node && p->to_node)
        p->duct_rise = p->to_node->height - p->from_node->height;
    DuctGeometry g = {};
    duct_elmt_data(s, &g);
    DuctData* dd = p->duct_data;
    dd->length = g.length;
    dd->area = dd->area2 = g.area;
    dd->leak_coef = g.leak_coef;
    dd->loss_coef = s->loss_coef;
    dd->lam_coef = s->lam_coef;
    if (sts_links_wanted())
        duct_link(p, s, g);
    if (p->element && p->element->type == AFE_DCT_DWC) {
        dwc_regime_data(static_cast<const DwcData*>(p->element->model_data), s->length,
                        s->loss_coef, dd);
        p->fan_state = 0.04f;
        p->multiplier = 0.02;
    } else {
        p->multiplier = 1.0;
    }
    p->env_dir = envelope_direction(p);
}

// The part common to a junction's terminal and its leak: from the junction into the zone
// it lies in (or the ambient), located at the junction.
AirPath* junction_path(JunctionRec* j, const char* tag, int kind)
{
    AirPath* p = new_path(tag, kind, j->number);
    p->from_node = j->node;
    p->to_node = j->zone->node;
    p->dz_to = p->from_node->height - p->to_node->height;
    p->env_dir = p->to_node == _pambt ? -1 : 0;
    p->x = j->x;
    p->y = j->y;
    p->z = level_height(j->level) + j->rel_height;
    p->duct_data = new_duct_data();
    return p;
}

TerminalLink* new_link(JunctionRec* j, AirPath* p, TerminalLink**& tail, const char* tag)
{
    TerminalLink* t = static_cast<TerminalLink*>(alc_ec(&_ms, sizeof(TerminalLink), tag));
    t->junction = j->jctn;
    t->zone_node = p->to_node;
    t->path = p;
    t->number = j->number;
    *tail = t;
    tail = &t->next;
    return t;
}

// The terminal's own element: its loss coefficients give the turbulent coefficient, and
// the flow at Reynolds number 30 (reference viscosity, sqrt(area) as length) the laminar one,
// all in float.
AfeRec* terminal_element(const JunctionRec* j)
{
    TerminalData* td = static_cast<TerminalData*>(alc_ec(&_ms, sizeof(TerminalData), "trm"));
    td->loss_coef1 = j->loss_coef1;
    td->loss_coef2 = j->loss_coef2;
    td->area = j->area;
    td->design_flow = j->design_flow;
    td->balance = j->balance;
    float K = td->loss_coef1 + td->loss_coef2;
    if (!(K > 0.0f))
        error(ERROR, __FILE__, __LINE__, "Invalid loss coefficient for terminal ", intstr(j->number), "");
    else if (!(td->area > 0.0f))
        error(ERROR, __FILE__, __LINE__, "Invalid area for terminal ", intstr(j->number), "");
    else {
        const float rho = (float)RHO_REF, mu = (float)MU_REF;
        float c_lam = (float)(30.0 * MU_REF) * std::sqrt(td->area);
        td->turb_coef = std::sqrt(2.0f / K) * td->area;
        float dp30 = c_lam * c_lam / (td->turb_coef * td->turb_coef * rho);
        td->lam_coef = c_lam * mu / (dp30 < 1e-10f ? (float)(1e-10 * RHO_REF) : dp30 * rho);
    }
    AfeRec* e = static_cast<AfeRec*>(alc_ec(&_ms, sizeof(AfeRec), "afe"));
    e->model_data = td;
    e->model_fn = _pfaf_builtin[AFE_BI_TRM];
    e->type = AFE_D_TERM;
    e->number = j->number;
    std::strcpy(e->name, _afe_dnames[AFE_D_TERM]);
    return e;
}

void build_terminal(JunctionRec* j)
{
    AirPath* p = junction_path(j, "terminal", 2);
    p->value_ptr = j->ctrl ? &j->ctrl->value : j->wsch ? &j->wsch->value : &_one;
    p->filter = j->filter;
    p->wind_profile = j->wind_profile;
    p->wind_mod = j->wind_mod;
    p->azimuth = j->azimuth;
    p->fixed_wind_pressure = j->fixed_wind_pressure;
    p->flags = j->flags;
    p->pld_index = j->pld_index;
    p->env_index = j->env_index;
    if ((p->flags & PATH_WIND) && (p->env_index < 1 || p->env_index > _nEnvPaths_Wpc))
        error(ERROR, __FILE__, __LINE__, "Invalid wind flag or ENVindex: ", intstr(p->env_index),
              ", terminal: ", intstr(j->number), "");
    p->element = terminal_element(j);
    if (sts_links_wanted())
        new_link(j, p, termTail, "term");
}

void build_leak(JunctionRec* j)
{
    AirPath* p = junction_path(j, "leak", 3);
    p->flags = PATH_LEAK;
    p->value_ptr = &_one;
    p->multiplier = 1.0;
    p->duct_data->leak_coef = j->leak_coef;
    if (sts_links_wanted())
        new_link(j, p, leakTail, "leak");
}

// The wind pressure and ambient mass fractions at one end of a path: those of its
// envelope opening when the end is the ambient node, else the node's own.
void envelope_end(AirPath* p, AirNode* n, double*& mf, float sign)
{
    if (!n)
        return;
    if (n != _pambt) {
        mf = n->mf;
        return;
    }
    int env = p->env_index;
    if (env && _ENV_wP) {
        p->wind_pressure = &_ENV_wP[env];
        _ENV_wPs[env] = sign;
    }
    mf = (env && _ENV_Mf) ? _ENV_Mf[env] : _pambt->mf;
}

AfeRec* builtin_element(const char* tag, int type, AFE_MODEL_FN fn)
{
    AfeRec* e = static_cast<AfeRec*>(alc_ec(&_ms, sizeof(AfeRec), tag));
    e->type = type;
    e->model_fn = fn;
    std::strcpy(e->name, _afe_dnames[type]);
    return e;
}

}  // namespace

void sd_ahs_paths()
{
    for (int k = 1; k <= _nahs; k++) {
        AhsRec* a = _AhsList[k];
        for (int n : {a->path_recirc, a->path_outdoor, a->path_exhaust})
            if (n >= 1 && n <= _npath)
                _PathList[n]->ahs = a;
    }
}

void sd_paths()
{
    _pafp0 = nullptr;
    pathTail = &_pafp0;
    pathCount = 0;
    for (int k = 1; k <= _npath; k++)
        build_path(_PathList[k], k);
}

void sd_ducts()
{
    _duct0 = nullptr;
    ductTail = &_duct0;
    for (int k = 1; k <= _ndct; k++)
        build_duct(_DctList[k], k);
}

void sd_terminals_leaks()
{
    _term0 = _leak0 = nullptr;
    termTail = &_term0;
    leakTail = &_leak0;
    for (int k = 1; k <= _njct; k++) {
        JunctionRec* j = _JctList[k];
        if (j->number != k)
            error(ERROR, __FILE__, __LINE__, "Bad junction ", intstr(k), "");
        if (j->term_type != 0)
            build_terminal(j);
        else if (j->leak_coef > 0.0f)
            build_leak(j);
    }
}

void sd_envelope_pointers()
{
    for (AirPath* p = _pafp0; p; p = p->next) {
        envelope_end(p, p->from_node, p->mf_from, 1.0f);
        envelope_end(p, p->to_node, p->mf_to, -1.0f);
    }
    _nafpt = pathCount;
}

void sd_source_value_files()
{
    for (CssRec* s = _Css0; s; s = s->next)
        if (s->value_file_type == VF_CONTINUOUS || s->value_file_type == VF_DISCRETE)
            s->value_ptr = sd_value_source(nullptr, s->value_file_type, s->value_file_name,
                                           nullptr, s->value_ptr);
}

void sd_builtin_elements()
{
    static const struct {
        int32_t flag;
        const char* tag;
        int type;
        AFE_MODEL_FN fn;
    } builtins[] = {
        {0x08, "ahs", AFE_AHS_SR, _pfaf_builtin[AFE_BI_AHS]},
        {0x10, "ahr", AFE_AHS_XOR, _pfaf_builtin[AFE_BI_AHR]},
        {0x20, "aho", AFE_AHS_XOR, _pfaf_builtin[AFE_BI_AHO]},
        {0x40, "ahx", AFE_AHS_XOR, _pfaf_builtin[AFE_BI_AHX]},
        {PATH_LEAK, "jlk", AFE_D_LEAK, _pfaf_builtin[AFE_BI_JLK]},
    };
    AfeRec* elem[5];
    for (int i = 0; i < 5; i++)
        elem[i] = builtin_element(builtins[i].tag, builtins[i].type, builtins[i].fn);
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (p->element)
            continue;
        for (int i = 0; i < 5 && !p->element; i++)
            if (p->flags & builtins[i].flag)
                p->element = elem[i];
        if (!p->element)
            error(FATAL, __FILE__, __LINE__, "Undefined element type, path ", intstr(p->index), "");
    }
}

}  // namespace vexlar
