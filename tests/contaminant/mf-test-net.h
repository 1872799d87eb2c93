// Small transport networks built by hand for the species tests: the airflow test network
// with species storage on every node, paths whose flows are set directly, sources of any
// source/sink model, constant filters, and the mass-fraction systems of the run with the
// clock advanced step by step.
#pragma once
#include <deque>
#include <memory>
#include <vector>

#include "airflow/afe-filter.h"
#include "contaminant/cse-sim.h"
#include "contaminant/mf-mem.h"
#include "contaminant/mf-system.h"
#include "model/clock.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/source-lists.h"
#include "tests/airflow/af-test-net.h"

namespace vexlar_test {

// A species of the test: name, whether it is part of the air mixture, gas constant.
struct TestSpecies {
    const char* name;
    bool nonTrace;
    double gasConst;
};

class MfNet : public AfNet {
public:
    explicit MfNet(std::vector<TestSpecies> list, int simMf = 2)
    {
        AfNet::runControl({1, 0});
        _rcdat.sim_mf = simMf;
        species.assign(list.size(), SpeciesRec{});
        for (size_t i = 0; i < list.size(); i++) {
            snprintf(species[i].name, sizeof species[i].name, "%s", list[i].name);
            species[i].non_trace = list[i].nonTrace;
            Rs.push_back(list[i].gasConst);
            Cp.push_back(1006.0);
            penf.push_back(1.0f);
            if (list[i].nonTrace) _nntc++;
        }
        _ctm = species.data();
        _nctm = (int)list.size();
        _Rs = Rs.data();
        _Cp = Cp.data();
        _penf = penf.data();
        clearLists();
        _dayofy = 1;
        _daytyp = 1;
        _stepEndTime = 0;
        _time_step = 3600;
        _dt = 0.0f;
    }
    ~MfNet()
    {
        for (MF_MAT* m : systems) {
            mf_mem_fre(m);
            fre_e(m, sizeof(MF_MAT), "MF_mat");
        }
        clearLists();
        _ctm = nullptr;
        _nctm = _nntc = 0;
        _Rs = _Cp = nullptr;
        _penf = nullptr;
    }

    // A zone (variable mass fractions unless fixed) starting at the given mass fractions.
    AirNode* zone(double T, float volume, std::vector<double> mf0, bool variable = true)
    {
        AirNode* n = AfNet::zone(T, volume);
        if (variable) n->flags |= NODE_VAR_MF;
        return withSpecies(n, mf0);
    }

    AirNode* ambient(double T, std::vector<double> mf0) { return withSpecies(AfNet::ambient(T), mf0); }

    // A path carrying the fixed mass flow F [kg/s] from `from` to `to`.
    AirPath* flow(AirNode* from, AirNode* to, double F)
    {
        AirPath* p = path(from, to, nullptr);
        p->mass_flow[0] = F;
        p->mf_from = from->mf;
        p->mf_to = to->mf;
        return p;
    }

    // A source of model fn on species sp with data p0..p3, schedule value and multiplier.
    CssRec* source(AirNode* z, CSE_MODEL_FN fn, std::vector<float> p, int sp = 0, float m = 1.0f)
    {
        p.resize(4, 0.0f);
        data.push_back(p);
        cses.push_back(std::make_unique<CseRec>());
        CseRec* e = cses.back().get();
        e->model_data = data.back().data();
        e->model_fn = fn;
        e->species = sp;
        css.push_back(std::make_unique<CssRec>());
        CssRec* c = css.back().get();
        c->cse = e;
        c->zone_node = z;
        schedule.push_back(1.0f);
        c->value_ptr = &schedule.back();
        c->multiplier = m;
        return c;
    }

    // A constant filter of the given per-species efficiencies, put on path p.
    FilterLoadRec* constantFilter(AirPath* p, std::vector<float> eff, FILTER_MODEL_FN fn = flt_cef)
    {
        data.push_back(eff);
        flte.push_back(std::make_unique<FilterElemRec>());
        FilterElemRec* el = flte.back().get();
        el->model_data = data.back().data();
        el->model_fn = fn;
        FilterLoadRec* fl = loadState(el);
        if (p) {
            filters.push_back(std::make_unique<FilterRec>());
            filters.back()->load = fl;
            p->filter = filters.back().get();
        }
        return fl;
    }

    FilterLoadRec* loadState(FilterElemRec* el)
    {
        loads.push_back(std::make_unique<FilterLoadRec>());
        FilterLoadRec* fl = loads.back().get();
        floats.emplace_back(2 * _nctm, 0.0f);
        fl->efficiency = floats.back().data();
        fl->penetration = fl->efficiency + _nctm;
        for (int i = 0; i < _nctm; i++) fl->penetration[i] = 1.0f;
        ints.emplace_back(2 * _nctm, 0);
        fl->bkt_day = ints.back().data();
        fl->bkt_time = fl->bkt_day + _nctm;
        fl->flte = el;
        fl->init_pending = 1;
        return fl;
    }

    // The system of species start..end-1 of a run with these settings.
    MF_MAT* system(int start, int end, float theta, int method = 0, bool reorder = false)
    {
        MF_MAT* m = static_cast<MF_MAT*>(alc_e(sizeof(MF_MAT), "MF_mat"));
        bool nonTrace = start < _nntc;
        mf_mem_set(m, nonTrace ? _Blsnt0 : _Blst0, nonTrace ? _Dvrnt0 : _Dvrt0, start, end, reorder,
                   theta, 1e-12f, 1e-20f, 1.0f, method, 1000);
        systems.push_back(m);
        return m;
    }

    // The sources made so far, as the run's trace or non-trace list.
    static void listSources(CssRec* c, bool nonTrace) { (nonTrace ? _Cssnt0 : _Csst0) = c; }

    // Advances the clock by `steps` steps of dt seconds, solving the system at each.
    static void advance(MF_MAT* m, int steps, float dt, bool nonTrace = false)
    {
        _dt = dt;
        _dti = 1.0f / dt;
        for (int k = 0; k < steps; k++) {
            _stepEndTime += (int)dt;
            if (nonTrace)
                solve_Mfn(m, true);
            else
                solve_Mft(m, true);
        }
    }

    float& scheduleOf(const CssRec* c) { return *c->value_ptr; }

    std::vector<std::unique_ptr<CseRec>> cses;
    std::vector<std::unique_ptr<CssRec>> css;

private:
    AirNode* withSpecies(AirNode* n, std::vector<double> mf0)
    {
        mf0.resize(_nctm, 0.0);
        mfs.push_back(mf0);
        n->mf = mfs.back().data();
        mfs.push_back(mf0);
        n->mf_prev = mfs.back().data();
        eqns.emplace_back(_nctm, 0);
        n->mf_eqn = eqns.back().data();
        return n;
    }

    static void clearLists()
    {
        _Csst0 = _Cssnt0 = nullptr;
        _Blst0 = _Blsnt0 = nullptr;
        _Dvrt0 = _Dvrnt0 = nullptr;
        _Pxst0 = _Pxsnt0 = nullptr;
        _nkinr = 0;
    }

    std::vector<SpeciesRec> species;
    std::vector<double> Rs, Cp;
    std::vector<float> penf;
    std::deque<std::vector<double>> mfs;
    std::deque<std::vector<int32_t>> eqns;
    std::deque<std::vector<float>> data;
    std::deque<std::vector<float>> floats;
    std::deque<std::vector<int>> ints;
    std::deque<float> schedule;
    std::vector<std::unique_ptr<FilterElemRec>> flte;
    std::vector<std::unique_ptr<FilterLoadRec>> loads;
    std::vector<std::unique_ptr<FilterRec>> filters;
    std::vector<MF_MAT*> systems;
};

}  // namespace vexlar_test
