// Transport along a duct: a pulse let in during one step leaves the far end with its mass
// and its mean arrival where the air takes it, whether the duct holds fixed cells (air
// slower than a cell per step) or plugs moving with the air (faster).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "contaminant/sts-init.h"
#include "contaminant/sts-int.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/run-control.h"
#include "model/sts-links.h"
#include "tests/contaminant/sts-test-util.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

// A 10 m duct of 0.01 m2 between two junctions, in 0.5 m cells, carrying air of 1.2 kg/m3
// at a laminar Reynolds number. Species 0 has no molecular diffusivity (the duct does not
// disperse it); species 1 disperses by the laminar Taylor coefficient.
class DuctPulse : public ::testing::Test {
protected:
    static constexpr double L = 10.0, A = 0.01, RHO = 1.2, DX = 0.5;

    void SetUp() override
    {
        scratch.open();
        _nctm = 2;
        species[0] = SpeciesRec{};
        species[1] = SpeciesRec{};
        species[1].diffusivity = 1e-5f;
        _ctm = species;
        for (AirNode* n : {&up, &down}) {
            n->density = RHO;
            n->viscosity = 1.8e-5f;
            n->kind = 1;
        }
        up.mf = upMf;
        down.mf = downMf;
        up.next = &down;
        _afnd0 = &up;
        ju.node = &up;
        jd.node = &down;
        ju.next = &jd;
        _jctn0 = &ju;
        lag.length = (float)L;
        lag.area = (float)A;
        lag.outlet_mf = outlet;
        lag.mf_start = start;
        lag.mf_end = end;
        duct.lag = &lag;
        duct.from_junction = &ju;
        duct.to_junction = &jd;
        duct.path = &path;
        path.from_node = &up;
        path.to_node = &down;
        path.number = 4;
        _duct0 = &duct;
        _rcdat.sts_cells = 1;
        _rcdat.sts_dx = (float)DX;
        _rcdat.sim_mf = 0;
        STSinit();
    }
    void TearDown() override
    {
        scratch.close();
        _jctn0 = nullptr;
        _duct0 = nullptr;
        _afnd0 = nullptr;
        _ctm = nullptr;
        _rcdat.sts_cells = 0;
    }

    // Lets in 1 (kg/kg) of both species during the first step of dt seconds at the velocity
    // U, then clean air for `steps` steps; sums the outlet's mass and its time moments.
    void run(double U, double diameter, double dt, int steps)
    {
        lag.diameter = (float)diameter;
        _dt = (float)dt;
        _dti = 1.0f / _dt;
        duct.link_flow = RHO * A * U;
        double F = duct.link_flow;
        for (int i = 1; i <= steps; i++) {
            upMf[0] = upMf[1] = i == 1 ? 1.0 : 0.0;
            stsDuctStep(&duct);
            double t = (i - 0.5) * dt;  // the middle of the step in which it left
            for (int k = 0; k < 2; k++) {
                mass[k] += F * dt * outlet[k];
                moment[k] += F * dt * outlet[k] * t;
            }
            if (outlet[0] > 0.0 && first < 0) first = i;
        }
    }
    double arrival(int k) const { return moment[k] / mass[k] - 0.5 * _dt; }

    SpeciesRec species[2];
    AirNode up{}, down{};
    double upMf[2] = {0, 0}, downMf[2] = {0, 0};
    JunctionNode ju{}, jd{};
    DuctLagData lag{};
    DuctLink duct{};
    AirPath path{};
    double outlet[2], start[2], end[2];
    double mass[2] = {0, 0}, moment[2] = {0, 0};
    int first = -1;
    StsScratch scratch;
};

// At 0.2 m/s and 1 s steps the air moves 0.4 of a cell per step: fixed cells. Each
// implicit upwind cell delays what passes it by exactly dx/U on average, so the pulse
// leaves after the 20 cells and half the boundary cell the outlet is averaged with:
// (L + dx/2) / U = 51.25 s. Without dispersion the mass comes out in full.
TEST_F(DuctPulse, SlowAirCarriesAPulseThroughFixedCellsWithItsMass)
{
    double F = RHO * A * 0.2;
    int lagrangian = _NrDuctLagr;
    run(0.2, 0.1, 1.0, 3000);
    EXPECT_EQ(lag.mode, 0);
    EXPECT_EQ(_NrDuctLagr, lagrangian);
    EXPECT_NEAR(mass[0], F * 1.0, 1e-12 * F);
    EXPECT_NEAR(arrival(0), (L + 0.5 * DX) / 0.2, 1e-7 * L / 0.2);  // single-precision area
    // The dispersed species (Taylor coefficient 0.21 m2/s, Peclet number 9.6) keeps its mass
    // and arrives within 2 % of the same time.
    EXPECT_NEAR(mass[1], F, 1e-9 * F);
    EXPECT_NEAR(arrival(1), (L + 0.5 * DX) / 0.2, 0.02 * L / 0.2);
}

// At 2 m/s and 1 s steps the air moves four cells per step: the duct switches to plugs.
// The undispersed pulse is one plug that crosses the duct end after exactly L/U = 5 s,
// in the sixth step, whole.
TEST_F(DuctPulse, FastAirCarriesAPulseAsAPlugArrivingAfterLengthOverVelocity)
{
    double F = RHO * A * 2.0;
    run(2.0, 0.01, 1.0, 40);
    EXPECT_EQ(lag.mode, 1);
    EXPECT_EQ(first, 6);
    EXPECT_NEAR(arrival(0), L / 2.0, 1e-7 * L / 2.0);
    EXPECT_NEAR(mass[0], F * 1.0, 2e-7 * F);  // the plug is s = U dt long, U from a float area
    // Dispersed (Peclet number 96), what spreads past the end between samples is not all
    // counted: the mass comes out within 1.5 %, arriving within 1 % of L/U.
    EXPECT_NEAR(mass[1], F, 0.015 * F);
    EXPECT_NEAR(arrival(1), L / 2.0, 0.01 * L / 2.0);
}

// A step that moves the air exactly one cell stays in fixed cells; 3e-6 m more switches to
// plugs in the same step. Flow reversal in plug mode turns the plugs round without re-gridding.
TEST_F(DuctPulse, PlugsBeginJustBeyondOneCellPerStepAndTurnWithTheFlow)
{
    lag.mode = 0;
    run(DX, 0.01, 1.0, 1);
    EXPECT_EQ(lag.mode, 0);
    run((DX + 3e-6), 0.01, 1.0, 1);
    EXPECT_EQ(lag.mode, 1);
    run(-2.0, 0.01, 1.0, 1);
    EXPECT_EQ(lag.mode, -1);
    // Air slower than half a cell per step re-grids the plugs into fixed cells at once.
    run(-0.2, 0.01, 1.0, 1);
    EXPECT_EQ(lag.mode, 0);
    DuctCell* c = lag.head_cell;
    for (int j = 0; j < 22; j++, c = c->next) EXPECT_DOUBLE_EQ(c->position, -0.25 + 0.5 * j);
    EXPECT_EQ(lag.tail_cell, c->prev);
}

// Plugs stay plugs while the air moves at least half a cell per step (0.25 m; the float
// area makes U a hair faster); just below, the same step re-grids and runs fixed cells.
// Still air in fixed cells changes nothing inside and lets nothing out.
TEST_F(DuctPulse, HalfACellPerStepKeepsPlugsAndStillAirKeepsItsCells)
{
    int euler = _NrDuctEulr;
    run(0.5 * DX, 0.01, 1.0, 1);
    EXPECT_EQ(lag.mode, 1);
    EXPECT_EQ(_NrDuctEulr, euler);
    run(0.4999 * DX, 0.01, 1.0, 1);
    EXPECT_EQ(lag.mode, 0);
    EXPECT_EQ(_NrDuctEulr, euler + 1);

    std::vector<double> before;
    for (DuctCell* c = lag.head_cell->next; c != lag.tail_cell; c = c->next) before.push_back(c->mf[0]);
    ASSERT_EQ(before.size(), 20u);
    ASSERT_GT(before[0], 0.0);   // the pulse that entered above is inside
    mass[0] = 0.0;
    run(0.0, 0.01, 1.0, 3);
    EXPECT_EQ(lag.mode, 0);
    size_t i = 0;
    for (DuctCell* c = lag.head_cell->next; c != lag.tail_cell; c = c->next) EXPECT_EQ(c->mf[0], before[i++]);
    EXPECT_EQ(outlet[0], 0.0);
    EXPECT_EQ(outlet[1], 0.0);
    EXPECT_EQ(lag.head_cell->mf[0], lag.head_cell->next->mf[0]);
    EXPECT_EQ(lag.tail_cell->mf[0], lag.tail_cell->prev->mf[0]);
}

// Species 0 has no molecular diffusivity, species 1 has 1e-5 m2/s. At Re = 2013 (2 m/s in a
// 15.1 mm duct) the turbulent coefficient is the same for both, so a pulse of both leaves
// identically; at Re = 1987 (14.9 mm) the laminar one disperses species 1 alone.
TEST_F(DuctPulse, TurbulentDispersionIsTheSameForEverySpeciesLaminarIsNot)
{
    run(2.0, 0.0151, 1.0, 40);
    EXPECT_EQ(mass[0], mass[1]);
    EXPECT_EQ(moment[0], moment[1]);
    EXPECT_LT(mass[0], 1.0 * RHO * A * 2.0);   // dispersed past the end between samples
    mass[0] = mass[1] = moment[0] = moment[1] = 0.0;
    run(2.0, 0.0149, 1.0, 40);
    EXPECT_NEAR(mass[0], RHO * A * 2.0, 2e-7 * RHO * A * 2.0);   // a sharp plug, whole
    EXPECT_NE(mass[1], mass[0]);
}

// A plug of 1 (species 0, no dispersion) enters at 2 m/s, 2 m long; two steps later the
// flow turns: the plugs run back without a re-grid and the pulse leaves by the duct start,
// whole, when its middle (3 m in) crosses x = 0: in the second reversed step.
TEST_F(DuctPulse, ReversedPlugsCarryThePulseBackOutOfTheStartWhole)
{
    lag.diameter = 0.01f;
    _dt = 1.0f;
    _dti = 1.0f;
    double F = RHO * A * 2.0, out = 0.0;
    int firstBack = -1;
    for (int i = 1; i <= 12; i++) {
        bool back = i > 2;
        duct.link_flow = back ? -F : F;
        upMf[0] = i == 1 ? 1.0 : 0.0;
        stsDuctStep(&duct);
        EXPECT_EQ(lag.mode, back ? -1 : 1) << i;
        if (back) {
            out += F * outlet[0];
            if (outlet[0] > 0.0 && firstBack < 0) firstBack = i - 2;
        } else {
            EXPECT_EQ(outlet[0], 0.0) << i;   // nothing reaches the far end
        }
    }
    EXPECT_EQ(firstBack, 2);
    EXPECT_NEAR(out, F * 1.0, 2e-7 * F);
    for (DuctCell* c = lag.head_cell; c != lag.tail_cell; c = c->next) EXPECT_EQ(c->mf[0], 0.0);
}

}  // namespace
