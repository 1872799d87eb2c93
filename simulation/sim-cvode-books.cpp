// The stiff integrator's books: the totals found once, their rates taken from the same
// routines that book a step of the other methods, called for one second into totals
// cleared for the purpose and put back afterwards.
#include "simulation/sim-cvode-loop-int.h"

#include <algorithm>

#include "contaminant/cse-sim.h"
#include "model/elements.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "output/summary.h"

namespace vexlar {

namespace {

template <class T> void sourceTotals(T* list, std::vector<double*>& s)
{
    for (T* p = list; p; p = p->next) {
        s.push_back(&p->mass_released);
        s.push_back(&p->mass_removed);
    }
}

}  // namespace

bool filterBooked(const AirPath* p) { return p->filter && p->filter->load && p->mf_from && p->mf_to; }

int StiffBooks::build()
{
    std::vector<double*>& s = slot_;
    s.clear();
    sourceTotals(_Css0, s);
    sourceTotals(_Bls0, s);
    sourceTotals(_Dvr0, s);
    const RunControlData& r = _rcdat;
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (!filterBooked(p)) continue;
        FilterLoadRec* f = p->filter->load;
        for (int k = 0; k < _nctm; k++) {
            s.push_back(&f->mass_in[k]);
            s.push_back(&f->mass_out[k]);
        }
    }
    if (_nEnvPaths_All > 0 && _Env_MdotIn_step)
        for (int k = 0; k < _nctm; k++) {
            s.push_back(&_Env_MassIn_sum[k]);
            s.push_back(&_Env_MassOut_sum[k]);
            if ((r.cex_bldg || r.cex_ctm) && _Env_MassOut_list) s.push_back(&_Env_MassOut_list[k]);
            if (r.cex_ctm && _Env_MassPath_list)
                for (int i = 0; i < _nEnvPaths_All; i++) s.push_back(&_Env_MassPath_list[k][i]);
        }
    // A filter element shared by several paths keeps one set of totals.
    std::sort(s.begin(), s.end());
    s.erase(std::unique(s.begin(), s.end()), s.end());
    kept_.assign(s.size(), 0.0);
    posted_.assign(s.size(), 0.0);
    return size();
}

void StiffBooks::rates(double* rate)
{
    const size_t n = slot_.size();
    for (size_t i = 0; i < n; i++) {
        kept_[i] = *slot_[i];
        *slot_[i] = 0.0;
    }
    sumCseGenRemoveMass(_Css0, _Bls0, _Dvr0, nullptr, 1.0f);
    sum_filter_compute(1.0);
    sum_ambient_add(1.0, 0);
    for (size_t i = 0; i < n; i++) {
        rate[i] = *slot_[i];
        *slot_[i] = kept_[i];
    }
}

void StiffBooks::post(const double* b)
{
    for (size_t i = 0; i < slot_.size(); i++) {
        *slot_[i] += b[i] - posted_[i];
        posted_[i] = b[i];
    }
}

}  // namespace vexlar
