// Transport equations against closed forms. Zones of 100 m3 at 20 C hold M = 120.4 kg of
// air; flows of M / 3600 kg/s give a time constant tau of one hour. Steps of tau / 100
// bring the implicit method within 1 % of the exact curves (first order) and the
// trapezoidal method within 1e-4 (second order). Also: filters on the paths, sorption
// equilibrium, a kinetic reaction, a non-trace species changing the air's gas constant
// and mass, the stop on a negative mass fraction, and steady solutions that equal the
// transient run's limit with every linear method.
#include "contaminant/mf-mem.h"
#include "contaminant/mf-system.h"

#include <gtest/gtest.h>

#include <cmath>

#include "contaminant/node-help.h"
#include "tests/contaminant/mf-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

constexpr double T20 = 293.15;
constexpr float TAU = 3600.0f;

struct Scheme {
    float theta;
    double tol;   // relative error allowed at dt = tau / 100
};

struct SchemeName {
    template <class P> std::string operator()(const P& info) const
    {
        return info.param.theta == 1.0f ? "Implicit" : "Trapezoidal";
    }
};

// A 100 m3 zone starting at mf0, ventilated from outdoor air at out with time constant tau.
AirNode* ventilatedZone(MfNet& net, std::vector<double> mf0, std::vector<double> out = {0.0})
{
    AirNode* z = net.zone(T20, 100.0f, mf0);
    AirNode* a = net.ambient(T20, out);
    double Q = z->air_mass / TAU;
    net.flow(a, z, Q);
    net.flow(z, a, Q);
    return z;
}

class TransportClosedForm : public ::testing::TestWithParam<Scheme> {
protected:
    // 100 steps of tau / 100 on the trace system of the net.
    void runOneTau(MfNet& net)
    {
        m = net.system(0, _nctm, GetParam().theta);
        init_Mft(m);
        MfNet::advance(m, 100, TAU / 100.0f);
    }
    void expectNear(double got, double exact)
    {
        EXPECT_NEAR(got, exact, GetParam().tol * std::fabs(exact));
    }
    MF_MAT* m = nullptr;
};

TEST_P(TransportClosedForm, TracerDecaysAsExpOfFlowOverMass)
{
    MfNet net({{"tracer", false, 0.0}});
    AirNode* z = ventilatedZone(net, {1e-3});
    runOneTau(net);
    expectNear(z->mf[0], 1e-3 * std::exp(-1.0));
    EXPECT_EQ(_pambt->mf[0], 0.0);
}

TEST_P(TransportClosedForm, ConstantSourceRisesTowardsGOverQ)
{
    MfNet net({{"tracer", false, 0.0}});
    AirNode* z = ventilatedZone(net, {0.0});
    double Q = z->air_mass / TAU, G = (double)1e-6f;
    MfNet::listSources(net.source(z, cse_ccf, {(float)G}), false);
    runOneTau(net);
    expectNear(z->mf[0], G / Q * (1.0 - std::exp(-1.0)));
    MfNet::advance(m, 200, TAU);   // long after: the steady G/Q
    EXPECT_NEAR(z->mf[0], G / Q, 1e-9 * G / Q);
}

TEST_P(TransportClosedForm, FirstOrderSinkDecaysAtItsRate)
{
    MfNet net({{"tracer", false, 0.0}});
    AirNode* z = net.zone(T20, 100.0f, {1e-3});
    net.ambient(T20, {0.0});
    // Deposition at 1/3600 per second of the zone's air: a closed zone decays like e^(-t/tau).
    MfNet::listSources(net.source(z, cse_drs, {1.0f / TAU}), false);
    runOneTau(net);
    expectNear(z->mf[0], 1e-3 * std::exp(-1.0));
}

TEST_P(TransportClosedForm, TwoZonesInSeriesPassThePulseOn)
{
    MfNet net({{"tracer", false, 0.0}});
    AirNode* z1 = net.zone(T20, 100.0f, {1e-3});
    AirNode* z2 = net.zone(T20, 100.0f, {0.0});
    AirNode* a = net.ambient(T20, {0.0});
    double Q = z1->air_mass / TAU;
    net.flow(a, z1, Q);
    net.flow(z1, z2, Q);
    net.flow(z2, a, Q);
    runOneTau(net);
    // x1 = c0 e^(-t/tau), x2 = c0 (t/tau) e^(-t/tau): both c0/e at t = tau.
    expectNear(z1->mf[0], 1e-3 * std::exp(-1.0));
    expectNear(z2->mf[0], 1e-3 * std::exp(-1.0));
}

// A sorbing surface takes up the tracer until its loading is Kp times the air's; the
// tracer's mass is conserved between air and surface.
TEST_P(TransportClosedForm, BoundaryLayerSinkReachesPartitionEquilibrium)
{
    MfNet net({{"tracer", false, 0.0}});
    AirNode* z = net.zone(T20, 100.0f, {1e-3});
    net.ambient(T20, {0.0});
    CssRec* c = net.source(z, cse_bls, {0.0625f, 0.5f, 2.0f, 30.0f});
    BlsRec sink{};
    sink.zone_node = z;
    sink.cse = c->cse;
    sink.value_ptr = c->value_ptr;
    sink.multiplier = 1.0f;
    sink.coef_mult = 30.0f;   // p3 x m [kg]
    _Blst0 = &sink;
    m = net.system(0, 1, GetParam().theta);
    init_Mft(m);
    MfNet::advance(m, 1000, TAU / 10.0f);
    double Mz = z->air_mass, Kp = 2.0;
    double xz = Mz * 1e-3 / (Mz + 30.0 * Kp);
    EXPECT_NEAR(z->mf[0], xz, 1e-9 * xz);
    EXPECT_NEAR(sink.surface_mass, Kp * xz, 1e-9 * xz);
    EXPECT_EQ(sink.uptake_coef, 0.0625 * 0.5);
    EXPECT_EQ(sink.release_coef, 0.03125 / Kp);
}

// A -> B at k = 1/tau in a closed zone: A = A0 e^(-kt), B = A0 (1 - e^(-kt)).
TEST_P(TransportClosedForm, KineticReactionTurnsOneSpeciesIntoAnother)
{
    MfNet net({{"A", false, 0.0}, {"B", false, 0.0}});
    AirNode* z = net.zone(T20, 100.0f, {1e-3, 0.0});
    net.ambient(T20, {0.0, 0.0});
    float coef[2] = {-1.0f / TAU, 1.0f / TAU};
    int prod[2] = {0, 1}, src[2] = {0, 0};
    ReactionRec r{coef, prod, src, 2, 1};
    z->reaction = &r;
    _nkinr = 1;
    runOneTau(net);
    expectNear(z->mf[0], 1e-3 * std::exp(-1.0));
    expectNear(z->mf[1], 1e-3 * (1.0 - std::exp(-1.0)));
}

INSTANTIATE_TEST_SUITE_P(Schemes, TransportClosedForm,
                         ::testing::Values(Scheme{1.0f, 1e-2}, Scheme{0.5f, 1e-4}), SchemeName());

// Outdoor air at 1e-3 reaches a zone through filters: 50 % leaves half, and a super filter
// of a 50 % and a 20 % filter passes 0.5 x 0.8 = 40 %.
TEST(FilterPenetration, ScalesTheSteadyConcentrationBehindTheFilter)
{
    MfNet net({{"tracer", false, 0.0}}, 1);
    AirNode* z1 = net.zone(T20, 100.0f, {0.0});
    AirNode* z2 = net.zone(T20, 100.0f, {0.0});
    AirNode* a = net.ambient(T20, {1e-3});
    double Q = 0.05;
    net.constantFilter(net.flow(a, z1, Q), {0.5f});
    net.flow(z1, a, Q);
    AirPath* in2 = net.flow(a, z2, Q);
    net.flow(z2, a, Q);
    FilterLoadRec* own = net.constantFilter(in2, {0.0f}, flt_spf);
    own->next = net.constantFilter(nullptr, {0.5f});
    own->next->next = net.constantFilter(nullptr, {0.2f});
    MF_MAT* m = net.system(0, 1, 1.0f);
    init_Mft(m);
    solve_Mf_steady(m, 0, 1, false);
    EXPECT_NEAR(z1->mf[0], 0.5e-3, 1e-15);
    EXPECT_NEAR(z2->mf[0], (double)(0.5f * (1.0f - 0.2f)) * 1e-3, 1e-15);
    EXPECT_FLOAT_EQ(own->penetration[0], 0.4f);
    EXPECT_EQ(a->mf[0], 1e-3);
}

// A heavy non-trace gas released into a ventilated zone: its mass fraction settles at G/Q,
// the mixture's gas constant falls to the mass-weighted mean, and the zone holds more air.
TEST(NonTraceSpecies, ChangesTheGasConstantAndAirMassOfItsZone)
{
    const double R_CO2 = 8314.41 / 44.01;
    MfNet net({{"air", true, R_AIR}, {"CO2", true, R_CO2}});
    AirNode* z = net.zone(T20, 100.0f, {1.0, 0.0});
    AirNode* a = net.ambient(T20, {1.0, 0.0});
    double M0 = z->air_mass, Q = 0.05, G = (double)0.002f;
    net.flow(a, z, Q);
    net.flow(z, a, Q);
    MfNet::listSources(net.source(z, cse_ccf, {(float)G}, 1), true);
    MF_MAT* m = net.system(0, 2, 1.0f);
    init_Mfn(m);
    MfNet::advance(m, 200, TAU, true);
    double x = G / Q;
    EXPECT_NEAR(z->mf[1], x, 1e-12);
    EXPECT_NEAR(z->mf[0], 1.0 - x, 1e-12);
    double R = R_AIR * (1.0 - x) + R_CO2 * x;
    EXPECT_NEAR(z->gas_const, R, 1e-9);
    EXPECT_NEAR(z->air_mass, PBAR * 100.0 / (R * T20), 1e-9);
    EXPECT_GT(z->air_mass, M0 * 1.01);
    EXPECT_NEAR(z->src_rate, G, 1e-15);
    EXPECT_EQ(a->gas_const, R_AIR);
}

// The time loop adds the step's non-trace source terms into K and e before the step is
// solved; the trapezoidal explicit part must still be that of the step's start state. A
// small release keeps the air mass (and so tau) constant to 1e-5.
TEST(NonTraceSpecies, RiseWithTrapezoidalAccuracyInTheTimeLoopsOrder)
{
    MfNet net({{"air", true, R_AIR}, {"CO2", true, 8314.41 / 44.01}});
    AirNode* z = ventilatedZone(net, {1.0, 0.0}, {1.0, 0.0});
    double Q = z->air_mass / TAU, G = (double)1e-6f;
    MfNet::listSources(net.source(z, cse_ccf, {(float)G}, 1), true);
    MF_MAT* m = net.system(0, 2, 0.5f);
    init_Mfn(m);
    _dt = TAU / 100.0f;
    for (int k = 0; k < 100; k++) {
        _stepEndTime += (int)_dt;
        findPolMassRates_cse_implicit(m->K, m->ija, m->e, _Cssnt0, nullptr, nullptr, nullptr);
        solve_Mfn(m, true);
    }
    double x = G / Q * (1.0 - std::exp(-1.0));
    EXPECT_NEAR(z->mf[1], x, 1e-4 * x);
}

// Trapezoidal steps of four time constants overshoot: x1 = x0 (1 - 2)/(1 + 2) < 0.
TEST(NegativeMassFraction, EndsTheRun)
{
    MfNet net({{"tracer", false, 0.0}});
    ventilatedZone(net, {1e-3});
    MF_MAT* m = net.system(0, 1, 0.5f);
    init_Mft(m);
    EXPECT_EXIT(MfNet::advance(m, 1, 4.0f * TAU), ::testing::ExitedWithCode(2),
                "FATAL Mass fraction\\(s\\) < 0");
}

// Outdoor air at c through two zones in series, a source G in the second: c and c + G/Q,
// by the steady balance and as the limit of a long transient run, with every method.
class SteadyBalance : public ::testing::TestWithParam<int> {};

TEST_P(SteadyBalance, EqualsTheTransientLimit)
{
    MfNet net({{"tracer", false, 0.0}});
    AirNode* z1 = net.zone(T20, 100.0f, {0.0});
    AirNode* z2 = net.zone(T20, 50.0f, {0.0});
    AirNode* a = net.ambient(T20, {1e-4});
    double Q = 0.04, G = (double)2e-6f;
    net.flow(a, z1, Q);
    net.flow(z1, z2, Q);
    net.flow(z2, a, Q);
    MfNet::listSources(net.source(z2, cse_ccf, {(float)G}), false);
    MF_MAT* m = net.system(0, 1, 1.0f, GetParam(), true);
    init_Mft(m);
    MfNet::advance(m, 300, TAU);
    double t1 = z1->mf[0], t2 = z2->mf[0];
    z1->mf[0] = z2->mf[0] = 0.0;
    init_Mft(m);
    solve_Mf_steady(m, 0, 1, false);
    EXPECT_NEAR(z1->mf[0], 1e-4, 1e-12);
    EXPECT_NEAR(z2->mf[0], 1e-4 + G / Q, 1e-12);
    EXPECT_NEAR(t1, z1->mf[0], 1e-12);
    EXPECT_NEAR(t2, z2->mf[0], 1e-12);
}

struct MethodName {
    std::string operator()(const ::testing::TestParamInfo<int>& info) const
    {
        static const char* const names[] = {"Skyline", "Bcg", "Sor", "Dense"};
        return names[info.param];
    }
};

INSTANTIATE_TEST_SUITE_P(LinearMethods, SteadyBalance, ::testing::Values(0, 1, 2, 3), MethodName());

}  // namespace
