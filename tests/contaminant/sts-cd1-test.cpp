// One-dimensional convection-diffusion zones: a single cell is the well-mixed zone, pure
// upwind transport and unequal flows against hand-worked profiles, a long zone against the
// analytic advection-diffusion front, and the zero-pivot FATAL.
#include "contaminant/sts-int.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common-src/memory.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "tests/param-names.h"

using namespace vexlar;

namespace {

// A zone of n cells along an axis of the given length, with its cell storage.
struct TestZone {
    AirNode node{};
    Cd1Zone z{};
    std::vector<ZoneCell> cells;
    std::vector<double> mf, mfPrev, sums, zoneMf, zoneMfPrev;

    TestZone(int n, double length, double volume, double diffusion, double airMass)
        : cells(n), mf(n * _nctm), mfPrev(n * _nctm), sums(n * _nctm), zoneMf(_nctm),
          zoneMfPrev(_nctm)
    {
        z.node = &node;
        z.cell_count = n;
        z.cell_length = (float)(length / n);
        z.inv_area = (float)(length / volume);
        z.diffusion_per_length = (float)(diffusion / z.cell_length);
        z.inv_cell_count = 1.0 / n;
        z.cells = cells.data();
        for (int i = 0; i < n; i++) {
            cells[i].mf = &mf[i * _nctm];
            cells[i].mf_prev = &mfPrev[i * _nctm];
            cells[i].flow_mf_sums = &sums[i * _nctm];
            cells[i].index = i;
        }
        node.cd1_zone = &z;
        node.volume = (float)volume;
        node.air_mass = node.air_mass_prev = airMass;
        node.mf = zoneMf.data();
        node.mf_prev = zoneMfPrev.data();
        node.number = 7;
    }
    // Every cell and the zone hold the same mass fractions at the step start.
    void fill(std::initializer_list<double> values)
    {
        int k = 0;
        for (double v : values) {
            for (auto& c : cells) c.mf_prev[k] = c.mf[k] = v;
            zoneMfPrev[k] = zoneMf[k] = v;
            k++;
        }
    }
    // Air of the given mass fractions enters cell i at flow f [kg/s].
    void inflow(int i, double f, std::initializer_list<double> mfIn)
    {
        cells[i].inflow += f;
        int k = 0;
        for (double v : mfIn) cells[i].flow_mf_sums[k++] += f * v;
    }
    // The end state becomes the start of the next step.
    void nextStep()
    {
        mfPrev = mf;
        zoneMfPrev = zoneMf;
        node.air_mass_prev = node.air_mass;
    }
    // Species mass in the zone [kg]: each cell holds density x its length x cross-section.
    double totalMass(int k) const
    {
        double s = 0.0;
        for (const auto& c : cells) s += c.mf[k];
        return s * node.density * z.cell_length / z.inv_area;
    }
};

class StsCd1 : public ::testing::Test {
protected:
    void SetUp() override
    {
        _nctm = 2;
        _nntc = 0;
        setStep(1.0f);
        _stepEndTime = 3600;
        _Atd = alc_mcT<double>(0, kRows, 0, 3, "Atd");
        _Bxtd = alc_vT<double>(0, kRows, "Bxtd");
    }
    void TearDown() override
    {
        _Atd = fre_mcT(_Atd, 0, kRows, 0, 3);
        _Bxtd = fre_vT(_Bxtd, 0, kRows, "Bxtd");
        _nctm = _nntc = 0;
    }
    static void setStep(float dt)
    {
        _dt = dt;
        _dti = 1.0f / dt;
    }
    static constexpr int kRows = 400;
};

// One cell: 3 m3 holding 3 kg of air (1.0 and 0.02 kg/kg) takes 0.5 kg/s of air at 0.1 kg/kg
// and loses 0.2 kg/s over 2 s. Well mixed: M' = 3 + 2 (0.5 - 0.2) = 3.6 kg when the first
// species carries the air, and mf = (3 mf + 2 x inflow sums) / (M' + 2 x 0.2).
struct OneCellCase {
    const char* name;
    int nntc;
    double airMass, density, mf0, mf1;
};

class StsCd1OneCell : public StsCd1, public ::testing::WithParamInterface<OneCellCase> {};

TEST_P(StsCd1OneCell, OneCellIsTheWellMixedZone)
{
    const OneCellCase& p = GetParam();
    _nntc = p.nntc;
    setStep(2.0f);
    TestZone t(1, 3.0, 3.0, 0.5, 3.0);
    t.fill({1.0, 0.02});
    t.inflow(0, 0.5, {1.0, 0.1});
    t.cells[0].outflow = 0.2;
    stsZone1DStep(&t.node);
    EXPECT_DOUBLE_EQ(t.node.air_mass, p.airMass);
    EXPECT_DOUBLE_EQ(t.node.density, p.density);
    EXPECT_NEAR(t.cells[0].mf[0], p.mf0, 1e-14);
    EXPECT_NEAR(t.cells[0].mf[1], p.mf1, 1e-14);
    EXPECT_EQ(t.node.mf[1], t.cells[0].mf[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Species, StsCd1OneCell,
    ::testing::Values(
        // (3 x 0.02 + 2 x 0.05) / (3.6 + 0.4) = 0.04; the carrier stays 1.
        OneCellCase{"CarrierSpecies", 1, 3.6, 1.2, 1.0, 0.04},
        // Trace only: the air mass stays 3 kg; (3 + 2 x 0.5) / 3.4 and 0.16 / 3.4.
        OneCellCase{"TraceOnly", 0, 3.0, 1.0, 4.0 / 3.4, 0.16 / 3.4}),
    testnames::named([](const OneCellCase& c) { return std::string(c.name); }));

TEST_F(StsCd1, PureUpwindWithoutDiffusion)
{
    // Three 1 m cells of 1 m2 holding 1 kg of air each; 1 kg/s enters the first cell and
    // leaves the last, so g = 1 m/s through both inner faces and dx/dt = 1 m/s. Upwind rows:
    // (1 + g) c_i - g c_(i-1) = c_i,prev, with g c_in in the first: clean air meeting
    // c_in = 1 gives 1/2, 1/4, 1/8. The second species enters as it already is and stays.
    TestZone t(3, 3.0, 3.0, 0.0, 3.0);
    t.fill({0.0, 0.5});
    t.inflow(0, 1.0, {1.0, 0.5});
    t.cells[2].outflow = 1.0;
    stsZone1DStep(&t.node);
    const double expected[3] = {0.5, 0.25, 0.125};
    for (int i = 0; i < 3; i++) {
        EXPECT_DOUBLE_EQ(t.cells[i].mf[0], expected[i]) << "cell " << i;
        EXPECT_DOUBLE_EQ(t.cells[i].mf[1], 0.5) << "cell " << i;
    }
    // What entered less what left with the last cell: 1 - 0.125 kg.
    EXPECT_DOUBLE_EQ(t.totalMass(0), 0.875);
    EXPECT_DOUBLE_EQ(t.node.mf[0], 0.875 / 3.0);
}

TEST_F(StsCd1, UnequalFlowsSpreadTheStorageAndNothingPassesTheFarEnd)
{
    // Two 1 m cells of 1 m2, 2 kg of air (the stale density 0.5 is replaced by 1 kg/m3);
    // 0.2 kg/s enters cell 0 and nothing leaves. Half the storage belongs to each cell, so
    // 0.1 kg/s crosses the middle face and none the far end: cell 0 (1 + 0.1) c0 = 0.2,
    // cell 1 (1 + 0.1 - 0.1) c1 = 0.1 c0.
    TestZone t(2, 2.0, 2.0, 0.0, 2.0);
    t.node.density = 0.5;
    t.fill({0.0, 0.0});
    t.inflow(0, 0.2, {1.0, 0.0});
    stsZone1DStep(&t.node);
    EXPECT_DOUBLE_EQ(t.node.air_mass, 2.0);   // trace species do not move the air mass
    EXPECT_DOUBLE_EQ(t.node.density, 1.0);
    EXPECT_DOUBLE_EQ(t.cells[0].mf[0], 0.2 / 1.1);
    EXPECT_DOUBLE_EQ(t.cells[1].mf[0], 0.02 / 1.1);
    EXPECT_DOUBLE_EQ(t.totalMass(0), 0.2);
}

TEST_F(StsCd1, AGrowingAirMassKeepsAUniformZoneUniform)
{
    // Three cells of 1 m3 with 3.6 kg of carrier air and 0.01 kg/kg of a trace species;
    // 0.6 kg/s of the same air enters cell 0 and 0.3 kg/s leaves cell 2 for 1 s: the air
    // mass grows to 3.9 kg (1.3 kg/m3) and nothing tells the cells apart.
    _nntc = 1;
    TestZone t(3, 3.0, 3.0, 0.05, 3.6);
    t.fill({1.0, 0.01});
    t.inflow(0, 0.6, {1.0, 0.01});
    t.cells[2].outflow = 0.3;
    stsZone1DStep(&t.node);
    EXPECT_DOUBLE_EQ(t.node.air_mass, 3.9);
    EXPECT_DOUBLE_EQ(t.node.density, 1.3);
    for (int i = 0; i < 3; i++) {
        EXPECT_DOUBLE_EQ(t.cells[i].mf[0], 1.0) << "cell " << i;
        EXPECT_NEAR(t.cells[i].mf[1], 0.01, 1e-15) << "cell " << i;
    }
}

// Concentration of a semi-infinite column with a flux inlet of concentration 1 at x = 0,
// velocity u and dispersion d, initially clean (the third-type inlet solution).
double fluxInletFront(double x, double t, double u, double d)
{
    const double s = 2.0 * std::sqrt(d * t);
    return 0.5 * std::erfc((x - u * t) / s) +
           std::sqrt(u * u * t / (M_PI * d)) * std::exp(-(x - u * t) * (x - u * t) / (4 * d * t)) -
           0.5 * (1 + u * x / d + u * u * t / d) * std::exp(u * x / d) * std::erfc((x + u * t) / s);
}

TEST_F(StsCd1, LongZoneFollowsTheAnalyticAdvectionDiffusionFront)
{
    // A 20 m corridor of 1 m2 in 400 cells, 1.2 kg/m3, 0.12 kg/s through it (u = 0.1 m/s),
    // dispersion 0.01 m2/s, 1200 steps of 0.05 s: after 60 s the front stands at 6 m with a
    // width 2 sqrt(D t) = 1.55 m. Backward Euler adds u^2 dt / 2 = 2.5e-4 m2/s of numerical
    // dispersion, a few thousandths of the concentration at the front.
    _nctm = 1;
    const double u = 0.1, d = 0.01, flow = 0.12;
    setStep(0.05f);
    TestZone t(kRows, 20.0, 20.0, d, 24.0);
    t.fill({0.0});
    t.inflow(0, flow, {1.0});
    t.cells[kRows - 1].outflow = flow;
    for (int step = 0; step < 1200; step++) {
        t.nextStep();
        stsZone1DStep(&t.node);
    }
    double worst = 0.0;
    for (int i = 0; i < kRows; i++) {
        const double x = (i + 0.5) * 0.05;
        worst = std::max(worst, std::fabs(t.cells[i].mf[0] - fluxInletFront(x, 60.0, u, d)));
    }
    EXPECT_LT(worst, 4e-3);
    // Everything that entered is still in the corridor: 0.12 kg/s over 1200 steps of 1/_dti.
    EXPECT_NEAR(t.totalMass(0), flow * 1200 / (double)_dti, 1e-11);
}

TEST_F(StsCd1, ZeroPivotEndsTheRunNamingTheZone)
{
    // A singular pair of rows fails at its second pivot: 2 - (-4/2)(-1) = 0.
    double r0[4] = {0, 2, -1, 0}, r1[4] = {-4, 2, 0, 0};
    double* rows[2] = {r0, r1};
    EXPECT_EQ(stsThomasFactor(rows, 1), 1);

    // A still zone without diffusion and without a time step to store into has nothing on
    // its first diagonal.
    _dti = 0.0f;
    TestZone t(2, 2.0, 2.0, 0.0, 2.0);
    t.fill({0.0, 0.0});
    EXPECT_EXIT(stsZone1DStep(&t.node), ::testing::ExitedWithCode(2),
                "FATAL Zero on diagonal of 1-D zone 7 at time 01:00:00");
}

}  // namespace
