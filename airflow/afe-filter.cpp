// Filter models. The constant-efficiency models copy their element's per-species
// efficiencies into the loading state on first use; the gas filter follows its loading
// along a fitted curve and notes breakthrough once per species; the ultraviolet filter
// turns the air's speed, temperature and the lamp's age into a dose; a super filter
// multiplies the penetrations of its sub-filters.
#include "airflow/afe-filter.h"

#include <cmath>

#include "airflow/afe-csf.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/run-control.h"
#include "model/clock.h"

namespace vexlar {

namespace {

void setEfficiency(FilterLoadRec* fl, int i, float eff)
{
    fl->efficiency[i] = eff;
    fl->penetration[i] = 1.0f - eff;
}

void constant_efficiency(FilterLoadRec* fl)
{
    if (!fl->init_pending)
        return;
    const float* eff = static_cast<const float*>(fl->flte->model_data);
    for (int i = 0; i < _nctm; ++i)
        setEfficiency(fl, i, eff[i]);
    fl->init_pending = 0;
}

constexpr double UV_RATED_DENSITY = 1.2041;   // [kg/m3] of the rated flow

// Relative output of the lamp at air temperature T [C] and speed v [m/s].
double uvOutput(const UvFilterData* d, double T, double v)
{
    const float* c = d->uv_poly;
    double out = (c[1] * T + c[0] + c[2] * v + c[3] * T * T + c[4] * v * v) / 100.0;
    return out < 0.0 ? 0.0 : (out > 1.0 ? 1.0 : out);
}

int lampDay, lampTime;   // lamps' start; day 0 while it is the run control's

// Output left after te seconds of the lamp's life; never below 0.1.
double uvAging(const UvFilterData* d)
{
    if (d->uv_aging <= 0) return 1.0;
    int day, time;
    filter_lamp_start(&day, &time);
    double te = timeElapsed(day, time);
    if (te <= 0.0) return 1.0;
    double f = (d->uv_age_b * std::log(te / 3600.0) + d->uv_age_a) / 100.0;
    return f < 0.0 ? 0.1 : (f > 1.0 ? 1.0 : f);
}

double uvDose(const UvFilterData* d, const AirPath* pp)
{
    double F = pp->mass_flow[0];
    if (F <= 0.0) return 1.0;
    const AirNode* up = pp->from_node;
    double rho = up->density;
    double v = F / (d->uv_area * rho);
    double rel = (float)(rho * d->uv_flow_ref / (F * UV_RATED_DENSITY));
    return rel * uvOutput(d, up->temperature - 273.15, v) * d->uv_dose_ref * uvAging(d);
}

FilterLoadRec* lastSubFilter(FilterLoadRec* own)
{
    FilterLoadRec* s = own->next;
    while (s && s->next) s = s->next;
    return s;
}

// Mass m [kg] of species k reaching the filter's states in the order the air meets them:
// each state captures its efficiency of what the states before it passed. A super
// filter's members are met in list order by forward flow and in reverse by reverse flow.
void captureSpecies(FilterLoadRec* first, bool forward, int k, double m)
{
    FilterLoadRec* fl = first;
    if (filter_is_super(first)) fl = forward ? first->next : lastSubFilter(first);
    while (fl && m != 0.0) {
        double e = fl->efficiency ? fl->efficiency[k] : 0.0;
        if (e != 0.0) {
            double c = e * m;
            fl->loads[k] += c;
            fl->rel_loading += c * fl->flte->inv_mass;
            m -= c;
        }
        if (!filter_is_super(first)) break;
        fl = forward ? fl->next : fl->prev;
    }
}

}  // namespace

bool filter_is_super(const FilterLoadRec* fl) { return fl->flte->type == FLT_SPF; }

void filter_lamp_start(int* day, int* time)
{
    *day = lampDay ? lampDay : _rcdat.start_date;
    *time = lampDay ? lampTime : _rcdat.start_time;
}

void filter_set_lamp_start(int day, int time)
{
    lampDay = day;
    lampTime = time;
}

void flt_cef(FilterLoadRec* fl, AirPath*) { constant_efficiency(fl); }

void flt_pf0(FilterLoadRec* fl, AirPath*) { constant_efficiency(fl); }

void flt_gf0(FilterLoadRec* fl, AirPath*)
{
    const FilterElemRec* el = fl->flte;
    const GasFilterData* d = static_cast<const GasFilterData*>(el->model_data);
    for (int i = 0; i < _nctm; ++i) {
        const CSF_DATA* fit = d->fit[i];
        if (!fit) continue;
        float eff = (float)CSFintrp(fit->npts, fit->pts, &d->fit_hint[i], nullptr, nullptr,
                                    (float)fl->rel_loading);
        setEfficiency(fl, i, eff);
        if (el->breakthrough && fl->bkt_day[i] == 0 && d->bkt_eff[i] >= eff) {
            fl->bkt_day[i] = _dayofy;
            fl->bkt_time[i] = _stepEndTime;
            ulog_printf(" Breakthrough in %s of %s on %s at %s\n", el->name, _ctm[i].name,
                        datestr(_dayofy), steptimestr(_stepEndTime));
        }
    }
}

void flt_uv1(FilterLoadRec* fl, AirPath* pp)
{
    double dose = uvDose(static_cast<const UvFilterData*>(fl->flte->model_data), pp);
    for (int i = 0; i < _nctm; ++i) {
        fl->penetration[i] = (float)std::exp(-_ctm[i].uv_coef * dose);
        fl->efficiency[i] = 1.0f - fl->penetration[i];
    }
}

void flt_spf(FilterLoadRec* fl, AirPath* pp)
{
    for (int i = 0; i < _nctm; ++i)
        fl->penetration[i] = 1.0f;
    for (FilterLoadRec* sub = fl->next; sub; sub = sub->next) {
        sub->flte->model_fn(sub, pp);
        for (int i = 0; i < _nctm; ++i)
            fl->penetration[i] *= sub->penetration[i];
    }
}

double filter_air_through(const AirPath* p, double dt, const double** up)
{
    if (!p->filter || !p->filter->load || !p->mf_from || !p->mf_to) return 0.0;
    double f = p->mass_flow[0];
    *up = f >= 0.0 ? p->mf_from : p->mf_to;
    return (f < 0.0 ? -f : f) * dt;
}

void filter_load_step(double dt, int first, int end)
{
    if (end < 0) end = _nctm;
    for (AirPath* p = _pafp0; p; p = p->next) {
        const double* up = nullptr;
        double q = filter_air_through(p, dt, &up);
        if (q == 0.0) continue;
        for (int k = first; k < end; k++) captureSpecies(p->filter->load, p->mass_flow[0] > 0.0, k, up[k] * q);
    }
}

void filter_capture(AirPath* p, int k, double captured)
{
    FilterLoadRec* first = p->filter->load;
    double e = 1.0 - (double)first->penetration[k];
    if (captured != 0.0 && e > 0.0) captureSpecies(first, p->mass_flow[0] > 0.0, k, captured / e);
}

const float* filter_sim(AirPath* pp)
{
    if (!pp->filter) return _penf;
    FilterLoadRec* fl = pp->filter->load;
    fl->flte->model_fn(fl, pp);
    return fl->penetration;
}

const float* filter_get_eff(const AirPath* pp)
{
    return pp->filter ? pp->filter->load->penetration : _penf;
}

}  // namespace vexlar
