// Airflow system assembly: the Jacobian entries and residuals each kind of path adds,
// the storage term, the numerical derivative of two-way elements, and the isolated
// nodes that are held at a known pressure until a path connects them again.
#include "airflow/af-assemble.h"

#include <gtest/gtest.h>

#include "airflow/solv-af.h"
#include "model/clock.h"
#include "tests/airflow/af-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

constexpr double T_IN = 293.15;
constexpr double T_OUT = 263.15;

class Assembly : public ::testing::Test {
protected:
    void SetUp() override { AfNet::runControl({1, 0}); }
    void TearDown() override { _dti = 0.0f; }
    AfNet net;
    LogCapture log;
};

// A path from a variable zone into a known zone: the known node's residual stays 0 but
// both nodes count the flow's magnitude; the variable node's residual loses the flow.
TEST_F(Assembly, FlowIntoKnownNodeChangesOnlyTheOtherResidual)
{
    AirNode* z = net.zone(T_IN);
    AirNode* k = net.zone(T_IN, 10.0f, false);
    AirNode* a = net.ambient(T_IN);
    k->pressure = -4.0;
    net.path(z, k, net.powerLaw(0.02f, 0.5f));
    net.path(a, z, net.powerLaw(0.02f, 0.5f));
    AF_MAT* m = net.setUp();
    FillAf(m);
    double F = 0.02 * (double)z->sqrt_density * 2.0;   // 4 Pa across the first path
    double f = _pafp0->mass_flow[0];
    EXPECT_NEAR(f, F, 1e-7 * F);
    EXPECT_EQ(k->sum_flow, 0.0);
    EXPECT_EQ(k->sum_abs_flow, f);
    EXPECT_EQ(z->sum_flow, -f);
    EXPECT_EQ(z->sum_abs_flow, f);
    EXPECT_EQ(m->sa[k->af_eqn], 1.0);
    EXPECT_DOUBLE_EQ(m->sa[z->af_eqn] - _pafp0->next->dflow_dp, 0.5 * f / 4.0);
}

TEST_F(Assembly, StorageTermOfAZoneWithVolume)
{
    AirNode* z = net.zone(T_IN, 250.0f);
    AirNode* a = net.ambient(T_IN);
    z->flags |= NODE_STORAGE;
    z->air_mass_prev = z->air_mass - 0.36;
    z->src_rate = 0.002;
    net.path(z, a, net.powerLaw(0.02f, 0.5f));
    _dti = 1.0f / 3600.0f;
    AF_MAT* m = net.setUp();
    FillAf(m);
    float vdt = 250.0f * _dti;
    double dflow = _pafp0->dflow_dp;
    EXPECT_NEAR(m->sa[z->af_eqn] - dflow, vdt / (R_AIR * T_IN), 1e-9 * vdt / (R_AIR * T_IN));
    EXPECT_NEAR(z->storage_rate, 0.36 * _dti, 1e-12);
    EXPECT_NEAR(z->sum_flow, 0.002 - 0.36 * _dti, 1e-12);   // no flow at dp 0
    EXPECT_NEAR(z->sum_abs_flow, 0.002 + 0.36 * _dti, 1e-12);
}

// With the numerical derivative and dp = 0 the step is 1e-16: the derivative is the
// laminar slope of the power law.
TEST_F(Assembly, NumericalDerivativeAtZeroPressureDifferenceUsesTheSmallestStep)
{
    AirNode* z = net.zone(T_IN);
    AirNode* a = net.ambient(T_IN);
    const float lam = 3e-6f;
    AirPath* p = net.path(z, a, net.powerLaw(0.02f, 0.5f, lam), PATH_NUM_DERIV);
    AF_MAT* m = net.setUp();
    FillAf(m);
    double expect = (lam * (double)z->density_viscosity_ratio * 1e-16 - 0.0) * 1e16;
    EXPECT_DOUBLE_EQ(p->dflow_dp, expect);
    EXPECT_EQ(p->mass_flow[0], 0.0);
    EXPECT_EQ(p->flow_sum, 0.0f);
}

// A door between two variable zones in its two-way range: each flow adds its own
// forward-difference derivative to both diagonals and subtracts it from the shared entry.
TEST_F(Assembly, TwoFlowElementAddsTheDerivativesOfBothFlows)
{
    AirNode* w = net.zone(T_IN);
    AirNode* c = net.zone(T_OUT);
    AirNode* a = net.ambient(T_OUT);
    w->pressure = 0.3;
    DoorData door = doorOf(2.0f, 1.0f);
    AirPath* d = net.path(w, c, net.element(AFE_DOR_DOOR, afe_dor, &door), PATH_NUM_DERIV);
    net.path(w, a, net.powerLaw(0.001f, 0.5f));
    net.path(c, a, net.powerLaw(0.001f, 0.5f));
    AF_MAT* m = net.setUp();
    FillAf(m);
    ASSERT_EQ(afe_dor(d), 2);
    double f0 = d->mass_flow[0], f1 = d->mass_flow[1], step = 1e-5 * d->dp;
    double dp0 = d->dp;
    d->dp = dp0 + step;
    afe_dor(d);
    double d0 = (d->mass_flow[0] - f0) * (1.0 / step), d1 = (d->mass_flow[1] - f1) * (1.0 / step);
    d->dp = dp0;
    FillAf(m);
    EXPECT_DOUBLE_EQ(m->sa[d->sa_index], -(d0 + d1));
    double leak = d->next->dflow_dp;
    EXPECT_NEAR(m->sa[w->af_eqn], leak + d0 + d1, 1e-12 * std::fabs(leak + d0 + d1));
    EXPECT_NEAR(w->sum_abs_flow, std::fabs(f0) + std::fabs(f1) + std::fabs(d->next->mass_flow[0]),
                1e-15);
}

// A zone whose only path is closed has no working connection: it is reported once and
// held at the pressure of its air mass; reopening the path makes it variable again, and
// closing it once more is a new isolation with a new report.
TEST_F(Assembly, IsolatedZoneIsReportedOncePerIsolationAndReconnects)
{
    AirNode* z = net.zone(T_IN, 40.0f);
    AirNode* y = net.zone(T_IN, 40.0f);
    AirNode* a = net.ambient(T_IN);
    AirPath* p = net.path(z, a, net.powerLaw(0.02f, 0.5f));
    net.path(a, y, net.powerLaw(0.02f, 0.5f));
    net.windOf(_pafp0->next) = 5.0f;
    net.controlOf(p) = 0.0f;
    z->air_mass = (PBAR + 7.0) * 40.0 / (R_AIR * T_IN);
    _dayofy = 1;
    _stepEndTime = 0;
    AF_MAT* m = net.setUp();
    for (int k = 0; k < 3; k++) FillAf(m);
    EXPECT_FALSE(z->flags & NODE_VAR_P);
    EXPECT_NEAR(z->pressure, 7.0, 1e-9);
    EXPECT_EQ(m->sa[z->af_eqn], 1.0);
    EXPECT_EQ(countOf(LogCapture::screen(), "WARNING Isolated zone: 1 Jan01 00:00:00\n"), 1);
    EXPECT_EQ(countOf(log.text(), "WARNING  (file af-assemble, line "), 1);
    EXPECT_LE(SolveAf(m), m->itmax);   // the other zone still solves
    EXPECT_NEAR(AfNet::netInflow(y), 0.0, 1e-12);

    net.controlOf(p) = 1.0f;
    FillAf(m);
    EXPECT_TRUE(z->flags & NODE_VAR_P);
    EXPECT_LE(SolveAf(m), m->itmax);
    EXPECT_NEAR(z->pressure, 0.0, 1e-9);

    net.controlOf(p) = 0.0f;
    FillAf(m);
    EXPECT_EQ(countOf(LogCapture::screen(), "Isolated zone: 1 "), 2);
    EXPECT_EQ(countOf(log.text(), "Isolated zone: 1 Jan01 00:00:00"), 2);
}

TEST_F(Assembly, IsolatedJunctionWithoutVolumeKeepsItsPressure)
{
    AirNode* j = net.zone(T_IN, 0.0f, true, 1);
    AirNode* a = net.ambient(T_IN);
    ConstFlowData fan{0.0f};
    net.path(a, j, net.element(AFE_FAN_CMF, afe_cmf, &fan), PATH_CONST_FLOW);
    j->pressure = 3.5;
    _dayofy = 40;
    _stepEndTime = 7200;
    AF_MAT* m = net.setUp();
    FillAf(m);
    EXPECT_EQ(countOf(LogCapture::screen(), "WARNING Isolated junction: 1 Feb09 02:00:00\n"), 1);
    EXPECT_EQ(j->pressure, 3.5);
}

TEST_F(Assembly, EveryAssemblyIsCounted)
{
    AirNode* z = net.zone(T_IN);
    net.path(z, net.ambient(T_IN), net.powerLaw(0.02f, 0.5f));
    AF_MAT* m = net.setUp();
    int before = _NrFillAf;
    FillAf(m);
    FillAf(m);
    EXPECT_EQ(_NrFillAf, before + 2);
}

}  // namespace
