// Source/sink models step by step against rates worked out by hand: hourly steps of day 1,
// each with the schedule value s of that step and the generation G and removal R the
// model must give. The zone holds 50 m3 of air at 1.2 kg/m3 and -4 Pa gauge. Then the
// assembly: a zone's equation gets +G in e and -R on the diagonal, a sink without an
// equation is skipped, and an occupant's emission counts with weight 1 when there is no
// step (steady initialisation). Under the short-time-step method the same terms go into the
// flow sums of the cells of a one-dimensional zone that each source, sink or occupant covers.
#include "contaminant/cse-sim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/contaminant/mf-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

constexpr double T_ZONE = 293.15;

struct Step {
    int end;      // step end [s of day 1]
    float s;      // schedule value
    double G, R;  // expected [kg/s]
};

struct ModelCase {
    const char* name;
    CSE_MODEL_FN fn;
    std::vector<float> p;
    float m;
    std::vector<Step> steps;
};

struct CaseName {
    template <class P> std::string operator()(const P& info) const { return info.param.name; }
};

class SourceModel : public ::testing::TestWithParam<ModelCase> {};

TEST_P(SourceModel, GivesTheHandWorkedRatesStepByStep)
{
    const ModelCase& c = GetParam();
    MfNet net({{"tracer", false, 0.0}});
    AirNode* z = net.zone(T_ZONE, 50.0f, {0.0});
    z->density = 1.2;
    z->gauge_pressure = -4.0f;
    CssRec* src = net.source(z, c.fn, c.p, 0, c.m);
    _dt = 3600.0f;
    for (const Step& st : c.steps) {
        _stepEndTime = st.end;
        net.scheduleOf(src) = st.s;
        src->cse->model_fn(src);
        EXPECT_NEAR(src->gen_rate, st.G, 1e-6 * std::fabs(st.G)) << "step ending " << st.end;
        EXPECT_NEAR(src->removal_coef, st.R, 1e-6 * std::fabs(st.R)) << "step ending " << st.end;
    }
}

constexpr double H = 3600.0;
const double E1 = std::exp(-1.0);

INSTANTIATE_TEST_SUITE_P(
    Models, SourceModel,
    ::testing::Values(
        // G = p0 s m, R = p1 s m.
        ModelCase{"ccf", cse_ccf, {2e-6f, 3e-3f}, 2.0f, {{3600, 0.5f, 2e-6, 3e-3}}},
        // s m p0 (-P)^p1 below ambient pressure: 4^0.5 = 2.
        ModelCase{"prs", cse_prs, {1e-6f, 0.5f}, 1.5f, {{3600, 1.0f, 3e-6, 0.0}}},
        // Net generation p0 (1 - x/p1) stops at x = p1.
        ModelCase{"cut", cse_cut, {1e-6f, 1e-4f}, 1.0f, {{3600, 1.0f, 1e-6, 1e-2}}},
        // G0 = 1e-6 from the first rise, decaying at 1e-4/s (0.36 per hour) while s is 0;
        // a new rise starts a new decay.
        ModelCase{"eds", cse_eds, {1e-6f, 1e-4f}, 1.0f,
                  {{3600, 0.0f, 0.0, 0.0}, {7200, 1.0f, 1e-6, 0.0},
                   {10800, 0.0f, 1e-6 * std::exp(-0.36), 0.0},
                   {14400, 0.0f, 1e-6 * std::exp(-0.72), 0.0}, {18000, 2.0f, 2e-6, 0.0}}},
        // 0.036 kg in the step of each rise from exactly 0.
        ModelCase{"brs", cse_brs, {0.036f}, 1.0f,
                  {{3600, 1.0f, 1e-5, 0.0}, {7200, 1.0f, 0.0, 0.0}, {10800, 0.0f, 0.0, 0.0},
                   {14400, 0.5f, 5e-6, 0.0}}},
        // Deposition velocity 1e-4 m/s onto 10 m2 of air at 1.2 kg/m3.
        ModelCase{"dvs", cse_dvs, {1e-4f, 10.0f}, 1.0f, {{3600, 1.0f, 0.0, 1.2e-3}}},
        // 50 m3 x 1.2 kg/m3 x 1e-4/s.
        ModelCase{"drs", cse_drs, {1e-4f}, 1.0f, {{3600, 1.0f, 0.0, 6e-3}}},
        // Flat at p0 (2 h)^-0.5 up to 7200 s of age, then p0 (te/h)^-0.5.
        ModelCase{"plm", cse_plm, {1e-6f, 0.5f, 7200.0f}, 2.0f,
                  {{3600, 0.0f, 0.0, 0.0}, {7200, 1.0f, 2e-6 / std::sqrt(2.0), 0.0},
                   {14400, 0.0f, 2e-6 / std::sqrt(2.0), 0.0}, {18000, 0.0f, 2e-6 / std::sqrt(3.0), 0.0}}},
        // Peak at 1 h (stored inverse 1/3600), width 1 (stored inverse 1): nothing in the
        // trigger step, p0 at the peak, p0 exp(-ln(2)^2 / 2) an hour later.
        ModelCase{"pkm", cse_pkm, {1e-6f, 1.0f, (float)(1.0 / H)}, 1.0f,
                  {{3600, 1.0f, 0.0, 0.0}, {7200, 0.0f, 1e-6, 0.0},
                   {10800, 0.0f, 1e-6 * std::exp(-0.5 * std::log(2.0) * std::log(2.0)), 0.0}}},
        // 36 mg/h = 1e-8 kg/s, decaying at 0.5 per hour.
        ModelCase{"sxd", cse_sxd, {36.0f, 0.5f}, 1.0f,
                  {{3600, 1.0f, 1e-8, 0.0}, {10800, 0.0f, 1e-8 * E1, 0.0}}},
        // 36 mg/h at 1 per hour plus a steady 18 mg/h.
        ModelCase{"dxd", cse_dxd, {36.0f, 1.0f, 18.0f, 0.0f}, 1.0f,
                  {{3600, 1.0f, 1.5e-8, 0.0}, {7200, 0.0f, (36.0 * E1 + 18.0) / 3.6e9, 0.0}}},
        ModelCase{"bls", cse_bls, {1.0f, 1.0f, 1.0f, 1.0f}, 1.0f, {{3600, 1.0f, 0.0, 0.0}}},
        ModelCase{"dvr", cse_dvr, {1.0f, 1.0f, 1.0f, 1.0f}, 1.0f, {{3600, 1.0f, 0.0, 0.0}}}),
    CaseName());

TEST(SourceModel, PressureDrivenSourceIsOffAtOrAboveAmbientPressure)
{
    MfNet net({{"tracer", false, 0.0}});
    AirNode* z = net.zone(T_ZONE, 50.0f, {0.0});
    CssRec* src = net.source(z, cse_prs, {1e-6f, 0.5f});
    for (float P : {0.0f, 3.0f}) {
        z->gauge_pressure = P;
        cse_prs(src);
        EXPECT_EQ(src->gen_rate, 0.0) << P;
    }
}

// With no step (_dt = 0, the steady initialisation) a burst neither fires nor divides by
// zero, and it fires in the first real step.
TEST(SourceModel, BurstWaitsThroughTheSteadyInitialisation)
{
    MfNet net({{"tracer", false, 0.0}});
    CssRec* src = net.source(net.zone(T_ZONE, 50.0f, {0.0}), cse_brs, {0.036f});
    _dt = 0.0f;
    cse_brs(src);
    EXPECT_EQ(src->gen_rate, 0.0);
    EXPECT_EQ(src->triggered, 0);
    _dt = 3600.0f;
    _stepEndTime = 3600;
    cse_brs(src);
    EXPECT_NEAR(src->gen_rate, 1e-5, 1e-12);
}

// A zone's source adds G to e and -R to the diagonal; a sink with no equation touches
// nothing; an occupant emits s x rate x factor, with weight 1 when there is no step.
TEST(SourceAssembly, FillsTheZoneEquationAndSkipsSinksWithoutOne)
{
    MfNet net({{"tracer", false, 0.0}});
    AirNode* z = net.zone(T_ZONE, 50.0f, {0.0});
    AirNode* a = net.ambient(T_ZONE, {0.0});
    net.flow(a, z, 0.01);
    CssRec* src = net.source(z, cse_ccf, {2e-6f, 3e-3f});
    BlsRec noEqn{};
    noEqn.zone_node = a;   // a sink in a fixed zone gets no equation
    noEqn.cse = src->cse;
    noEqn.value_ptr = src->value_ptr;
    noEqn.multiplier = 1.0f;
    _Blst0 = &noEqn;
    MF_MAT* m = net.system(0, 1, 1.0f);
    ASSERT_EQ(noEqn.sink_eqn, 0);
    OccSchedRec sched{};
    int times[2] = {0, 86400};
    OccZone where[2];
    where[0].node = z;
    where[1].node = z;
    sched.times = times;
    sched.zones = where;
    ExposureRec occupant{};
    occupant.occ_scheds[0] = &sched;
    occupant.factor = 2.0f;
    float s = 0.5f;
    ExposureSrcRec emission{};
    emission.owner = &occupant;
    emission.rate = 1e-6f;
    emission.value_ptr = &s;
    for (float dt : {0.0f, 3600.0f}) {
        _dt = dt;
        _stepEndTime = 3600;
        std::vector<double> K(m->nnz + 1, 0.0), e(m->neq + 1, 0.0);
        findPolMassRates_cse_implicit(K.data(), m->ija, e.data(), src, &noEqn, nullptr, &emission);
        int q = z->mf_eqn[0];
        EXPECT_NEAR(e[q], 2e-6 + 1e-6, 3e-13) << dt;
        EXPECT_NEAR(K[q], -3e-3, 3e-10) << dt;
        EXPECT_EQ(e[a->mf_eqn[0]], 0.0);
        EXPECT_EQ(K[0], 0.0);
        EXPECT_EQ(e[0], 0.0);
    }
}

// A corridor of four cells holding 1e-3 .. 4e-3 (kg/kg), one 600 s step. Each term is
// (release - uptake at the cell's step-start value) x the cell's share, and what a sink takes
// from the air its surface gains:
// - a ccf source G = 4e-6 kg/s, R = 0.01 kg/s over cells 1-2 (share 1/2):
//   cell 1 (4e-6 - 2e-5) / 2 = -8e-6, cell 2 (4e-6 - 3e-5) / 2 = -1.3e-5;
// - a boundary layer (h = 0.01 kg/s, h / Kp = 5e-3, loading 1e-3 on coef_mult 4) over cells
//   2-3: cell 2 (5e-6 - 3e-5) / 2 = -1.25e-5, cell 3 (5e-6 - 4e-5) / 2 = -1.75e-5;
// - a deposition sink in cell 0 (dep = 20 m2 x 1e-4 m/s x 1.2 kg/m3 = 2.4e-3 kg/s, res =
//   2e-3 1/s of a loading of 5e-4 kg/m2): 1e-6 - 2.4e-6 = -1.4e-6;
// - an occupant emitting 2e-6 kg/s spends 300 s in cell 3, then 300 s in cell 1: 1e-6 each.
TEST(SourceAssembly, ShortTimeStepTermsGoToTheCellsTheyCover)
{
    _nctm = 1;
    _nntc = 0;
    _dt = 600.0f;
    _time_step = 600;
    _stepEndTime = 600;
    _daytyp = 1;
    AirNode zone{};
    zone.density = 1.2f;
    zone.volume = 8.0f;
    zone.flags = NODE_VAR_MF;
    double cellMf[4] = {1e-3, 2e-3, 3e-3, 4e-3}, sums[4] = {0, 0, 0, 0}, zoneMf[1] = {2.5e-3};
    zone.mf = zoneMf;
    ZoneCell c[4]{};
    for (int k = 0; k < 4; k++) {
        c[k].mf = &cellMf[k];
        c[k].flow_mf_sums = &sums[k];
        c[k].index = k;
        c[k].next = k < 3 ? &c[k + 1] : nullptr;
    }
    _afnd0 = &zone;
    float one = 1.0f;
    float ccf[4] = {4e-6f, 0.01f, 0, 0}, blsData[4] = {1e-3f, 10.0f, 2.0f, 0}, dvrData[4] = {1e-4f, 1e-3f, 20.0f, 2.0f};
    CseRec srcElt{ccf, cse_ccf, 0, 1, CSE_CCF}, blsElt{blsData, nullptr, 0, 2, CSE_BLS}, dvrElt{dvrData, nullptr, 0, 3, CSE_DVR};
    CssRec src{};
    src.cse = &srcElt;
    src.zone_node = &zone;
    src.value_ptr = &one;
    src.multiplier = 1.0f;
    src.cell_first = &c[1];
    src.cell_last = &c[2];
    src.cell_share = 0.5f;
    BlsRec bls{};
    bls.zone_node = &zone;
    bls.cse = &blsElt;
    bls.value_ptr = &one;
    bls.multiplier = 1.0f;
    bls.surface_mass = 1e-3;
    bls.coef_mult = 4.0f;
    bls.cell_first = &c[2];
    bls.cell_last = &c[3];
    bls.cell_share = 0.5f;
    DvrRec dvr{};
    dvr.zone_node = &zone;
    dvr.cse = &dvrElt;
    dvr.value_ptr = &one;
    dvr.multiplier = 1.0f;
    dvr.surface_mass = 5e-4;
    dvr.cell_first = dvr.cell_last = &c[0];
    dvr.cell_share = 1.0f;
    int times[3] = {0, 300, 86400};
    OccZone where[3];
    where[0].node = where[1].node = &zone;
    where[2].node = nullptr;
    ZoneCell* at[3] = {&c[3], &c[1], nullptr};
    OccSchedRec sched{};
    sched.times = times;
    sched.zones = where;
    sched.cells = at;
    sched.npts = 3;
    ExposureRec occupant{};
    occupant.occ_scheds[0] = &sched;
    occupant.factor = 2.0f;
    ExposureSrcRec emission{};
    emission.owner = &occupant;
    emission.rate = 1e-6f;
    emission.value_ptr = &one;

    findPolMassRates_cse_sts(&src, &bls, &dvr, &emission);
    _afnd0 = nullptr;
    // The element data are single precision: 1e-6 relative.
    const double expected[4] = {-1.4e-6, -8e-6 + 1e-6, -1.3e-5 - 1.25e-5, -1.75e-5 + 1e-6};
    for (int k = 0; k < 4; k++) EXPECT_NEAR(sums[k], expected[k], 1e-6 * std::fabs(expected[k])) << k;
    EXPECT_NEAR(src.mass_released, 4e-6 * 600.0, 1e-6 * 4e-6 * 600.0);
    EXPECT_NEAR(src.mass_removed, 0.01 * (2e-3 + 3e-3) / 2 * 600.0, 1e-6 * 0.015);
    EXPECT_NEAR(bls.surface_mass, 1e-3 + 3e-5 * 600.0 / 4.0, 1e-6 * bls.surface_mass);
    EXPECT_NEAR(bls.mass_removed, 3e-5 * 600.0, 1e-6 * 3e-5 * 600.0);
    EXPECT_NEAR(dvr.surface_mass, 5e-4 + 1.4e-6 * 600.0 / 20.0, 1e-6 * dvr.surface_mass);
    EXPECT_NEAR(emission.emitted_mass, 2e-6 * 600.0, 1e-6 * 2e-6 * 600.0);
    EXPECT_EQ(zone.src_rate, 0.0);   // trace species move no air
}

}  // namespace
