// Filter models. The constant-efficiency models copy their element's per-species
// efficiencies into the loading state on first use; a super filter multiplies the
// penetrations of its sub-filters. The loading-dependent gas filter and the ultraviolet
// filter need the run's clock and loading totals and are completed with filter transport;
// until then they leave the state as it is.
#include "airflow/afe-filter.h"

#include "model/prj-common.h"

namespace vexlar {

namespace {

void constant_efficiency(FilterLoadRec* fl)
{
    if (!fl->init_pending)
        return;
    const float* eff = static_cast<const float*>(fl->flte->model_data);
    for (int i = 0; i < _nctm; ++i) {
        fl->efficiency[i] = eff[i];
        fl->penetration[i] = 1.0f - eff[i];
    }
    fl->init_pending = 0;
}

}  // namespace

void flt_cef(FilterLoadRec* fl, AirPath*) { constant_efficiency(fl); }

void flt_pf0(FilterLoadRec* fl, AirPath*) { constant_efficiency(fl); }

void flt_gf0(FilterLoadRec*, AirPath*) {}

void flt_uv1(FilterLoadRec*, AirPath*) {}

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

}  // namespace vexlar
