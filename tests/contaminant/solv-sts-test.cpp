// The short-time-step zone step: a tracer washed out of a well-mixed room decays by the
// explicit-in, implicit-out factor M / (M + Q dt) per step, which tends to exp(-Q t / M);
// a first-order reaction A -> B is taken implicitly over the step.
#include "contaminant/solv-sts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "contaminant/sts-init.h"
#include "tests/contaminant/sts-test-util.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/elements.h"
#include "model/source-lists.h"
#include "model/sts-links.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

// A 50 m3 room holding M = 60 kg of air, ventilated by Q = 0.05 kg/s of clean outdoor air
// in through one path and out through another.
class StsRoom : public ::testing::Test {
protected:
    static constexpr double M = 60.0, Q = 0.05;

    void SetUp() override
    {
        scratch.open();
        _nctm = 2;
        _nntc = 0;
        _nCmctm = 2 * _nctm;
        _nCcctm = 0;
        _penf = penf;
        _rcdat.sim_mf = 2;
        _sim_af_dyn = 0;
        _dtMaxStab = 100000.0f;   // the start value the set-up lowers to the room's own
        _NrSolveSTS = 0;
        room.kind = amb.kind = 0;
        room.number = 1;
        room.index = 1;
        room.flags = NODE_VAR_MF;
        room.volume = 50.0f;
        room.air_mass = room.air_mass_prev = M;
        room.sum_abs_flow = 2 * Q;
        amb.flags = NODE_AMBIENT;
        amb.index = 2;
        room.mf = roomMf;
        room.mf_prev = roomMfPrev;
        amb.mf = ambMf;
        amb.mf_prev = ambMfPrev;
        room.zone_cell = &cells[0];
        amb.zone_cell = &cells[1];
        room.next = &amb;
        _afnd0 = &room;
        _pambt = &amb;
        path(in, &amb, &room, 1);
        path(out, &room, &amb, 2);
        in.next = &out;
        _pafp0 = &in;
        STSinit();
    }
    void TearDown() override
    {
        scratch.close();
        _afnd0 = nullptr;
        _pafp0 = nullptr;
        _rcdat.sim_mf = 0;
    }
    void path(AirPath& p, AirNode* from, AirNode* to, int number)
    {
        p.from_node = from;
        p.to_node = to;
        p.mf_from = from->mf;
        p.mf_to = to->mf;
        p.mass_flow[0] = Q;
        p.number = number;
    }
    void steps(int n, double dt)
    {
        _dt = (float)dt;
        _dti = 1.0f / _dt;
        for (int i = 0; i < n; i++) solve_STS();
    }

    float penf[2] = {1.0f, 1.0f};
    double roomMf[2] = {1e-3, 2e-3}, roomMfPrev[2], ambMf[2] = {0, 0}, ambMfPrev[2];
    ZoneCell cells[2]{};
    AirNode room{}, amb{};
    AirPath in{}, out{};
    StsScratch scratch;
};

TEST_F(StsRoom, TracerWashesOutByTheExplicitInImplicitOutFactorPerStep)
{
    EXPECT_EQ(readLog(),
              "\nSet up structures for STS simulation.\nTotal Zones:        2\n"
              "Paths:              2\nSTS initialization complete.\n\n");
    EXPECT_EQ(in.cell_to, &cells[0]);
    EXPECT_EQ(out.mf_to, ambMf);  // the ambient end keeps its own mass fractions

    // Q dt / M = 0.5: each ten-minute step keeps exactly 2/3, for both species.
    steps(6, 600.0);
    EXPECT_NEAR(roomMf[0], 1e-3 * std::pow(2.0 / 3.0, 6), 1e-15);
    EXPECT_NEAR(roomMf[1], 2e-3 * std::pow(2.0 / 3.0, 6), 1e-15);
    EXPECT_EQ(room.air_mass, M);  // trace species move no air
    EXPECT_FLOAT_EQ(_dtMaxStab, (float)(2 * M / (2 * Q)));

    // Short steps follow the exponential washout: with x = Q dt / M, n steps of
    // 1 / (1 + x) differ from exp(-n x) by a factor within exp(n x^2 / 2).
    roomMf[0] = 1e-3;
    double dt = 6.0, x = Q * dt / M;
    int n = 600;
    steps(n, dt);
    double exact = 1e-3 * std::exp(-Q * n * dt / M);
    EXPECT_GT(roomMf[0], exact);
    EXPECT_LT(roomMf[0], exact * std::exp(n * x * x / 2));
    EXPECT_EQ(_NrSolveSTS, 606);
}

// Surface sinks over one 600 s step of the ventilated room (Q dt = 30 kg out, M = 60 kg):
// species 0 sorbs on a boundary layer (h = s p0 p1 m = 0.01 kg/s, partition p2 = 2, loading
// 1e-3 on coef_mult = 4), species 1 deposits (dep = p2 m p0 rho = 20 x 1e-4 x 1.2 = 2.4e-3
// kg/s, resuspension s p3 p1 = 2e-3 1/s of a loading of 5e-4 kg/m2 on 20 m2). Both net
// fluxes are taken at the step-start air and enter like an inflow; what the air loses, the
// surface gains.
TEST_F(StsRoom, SurfaceSinksExchangeWithTheRoomAtTheStepStartValues)
{
    float one = 1.0f;
    float blsData[4] = {1e-3f, 10.0f, 2.0f, 0.0f}, dvrData[4] = {1e-4f, 1e-3f, 20.0f, 2.0f};
    CseRec blsElt{blsData, nullptr, 0, 1, CSE_BLS}, dvrElt{dvrData, nullptr, 1, 2, CSE_DVR};
    BlsRec bls{};
    bls.zone_node = &room;
    bls.cse = &blsElt;
    bls.value_ptr = &one;
    bls.surface_mass = 1e-3;
    bls.coef_mult = 4.0f;
    bls.multiplier = 1.0f;
    bls.species = 0;
    DvrRec dvr{};
    dvr.zone_node = &room;
    dvr.cse = &dvrElt;
    dvr.value_ptr = &one;
    dvr.surface_mass = 5e-4;
    dvr.multiplier = 1.0f;
    dvr.species = 1;
    // The room's single cell, as the set-up places them.
    bls.cell_first = bls.cell_last = dvr.cell_first = dvr.cell_last = &cells[0];
    bls.cell_share = dvr.cell_share = 1.0f;
    room.density = 1.2f;
    _Bls0 = &bls;
    _Dvr0 = &dvr;
    steps(1, 600.0);
    _Bls0 = nullptr;
    _Dvr0 = nullptr;

    const double dt = 600.0, div = M + Q * dt;
    // Boundary layer: 0.005 x 1e-3 released less 0.01 x 1e-3 taken = -5e-6 kg/s.
    // (Coefficients are products of single-precision data: 1e-6 relative.)
    EXPECT_NEAR(roomMf[0], (1e-3 * M - 5e-6 * dt) / div, 1e-6 * roomMf[0]);
    EXPECT_NEAR(bls.surface_mass, 1e-3 + 5e-6 * dt / 4.0, 1e-6 * bls.surface_mass);
    EXPECT_NEAR(bls.mass_removed, 5e-6 * dt, 1e-6 * 5e-6 * dt);
    EXPECT_EQ(bls.mass_released, 0.0);
    // Deposition: 2e-3 x 5e-4 = 1e-6 kg/s resuspended, 2.4e-3 x 2e-3 = 4.8e-6 deposited.
    EXPECT_NEAR(roomMf[1], (2e-3 * M - 3.8e-6 * dt) / div, 1e-6 * roomMf[1]);
    EXPECT_NEAR(dvr.surface_mass, 5e-4 + 3.8e-6 * dt / 20.0, 1e-6 * dvr.surface_mass);
    EXPECT_NEAR(dvr.mass_released, 1e-6 * dt, 1e-6 * 1e-6 * dt);
    EXPECT_NEAR(dvr.mass_removed, 4.8e-6 * dt, 1e-6 * 4.8e-6 * dt);
    // Each species' mass is in the air, on the surface, or gone out with the air.
    EXPECT_NEAR(roomMf[0] * div + bls.surface_mass * 4.0, 1e-3 * M + 1e-3 * 4.0, 1e-15);
    EXPECT_NEAR(roomMf[1] * div + dvr.surface_mass * 20.0, 2e-3 * M + 5e-4 * 20.0, 1e-15);
}

// An occupant emitting 2e-6 kg/s of species 1 for the last 200 s of a 600 s step (outdoors
// before): the room gets 2e-6 x 200 = 4e-4 kg, as an inflow of the step.
TEST_F(StsRoom, OccupantEmitsIntoTheRoomForTheTimeSpentThere)
{
    int times[3] = {0, 400, 86400};
    OccZone where[3];
    where[0].node = nullptr;
    where[1].node = &room;
    where[2].node = nullptr;
    ZoneCell* at[3] = {nullptr, &cells[0], nullptr};   // as the set-up places them
    OccSchedRec sched{};
    sched.times = times;
    sched.zones = where;
    sched.cells = at;
    sched.npts = 3;
    ExposureRec occupant{};
    occupant.occ_scheds[0] = &sched;
    occupant.factor = 1.0f;
    float one = 1.0f;
    ExposureSrcRec emission{};
    emission.owner = &occupant;
    emission.rate = 2e-6f;
    emission.value_ptr = &one;
    emission.species = 1;
    _daytyp = 1;
    _time_step = 600;
    _stepEndTime = 600;
    _Pxs0 = &emission;
    steps(1, 600.0);
    _Pxs0 = nullptr;
    const double dt = 600.0, div = M + Q * dt;
    EXPECT_NEAR(roomMf[0], 1e-3 * M / div, 1e-18);
    EXPECT_NEAR(roomMf[1], (2e-3 * M + (double)2e-6f * 200.0) / div, 1e-18);
    EXPECT_NEAR(emission.emitted_mass, (double)2e-6f * 200.0, 1e-18);
}

// A duct leak between a junction (5e-3, 0) and the ventilated room, 0.01 kg/s, one 600 s
// step each way. Blowing in, it brings the junction's value of the step before:
// (60 x 1e-3 + 6 kg x 5e-3) / (60 + 30) = 1e-3 exactly. Drawing room air out, it leaves the
// room at its new value (1e-3 x 60 / (60 + 36) = 6.25e-4), and the junction gets that value
// in the same step.
TEST_F(StsRoom, DuctLeakBringsTheJunctionsOldAirAndTakesTheRoomsNewAir)
{
    AirNode jn{};
    double jMf[2] = {5e-3, 0.0}, jSums[2];
    jn.mf = jMf;
    JunctionNode j{};
    j.node = &jn;
    j.mf = jMf;
    j.flow_mf_sums = jSums;
    AirPath leakPath{};
    leakPath.kind = 3;
    leakPath.from_node = &jn;
    leakPath.to_node = &room;
    leakPath.mf_from = jMf;
    leakPath.mf_to = roomMf;   // as the set-up points a zone end at its cell
    leakPath.cell_to = &cells[0];
    LeakLink leak{};
    leak.junction = &j;
    leak.path = &leakPath;
    _jctn0 = &j;
    _leak0 = &leak;

    leakPath.mass_flow[0] = 0.01;
    steps(1, 600.0);
    EXPECT_NEAR(roomMf[0], 1e-3, 1e-18);
    EXPECT_NEAR(roomMf[1], 2e-3 * 60.0 / 90.0, 1e-18);
    EXPECT_EQ(j.outflow, 0.01);
    EXPECT_EQ(j.inflow, 0.0);
    EXPECT_EQ(jSums[0], 0.0);

    leakPath.mass_flow[0] = -0.01;
    double before = roomMf[1];
    steps(1, 600.0);
    EXPECT_NEAR(roomMf[0], 6.25e-4, 1e-18);
    EXPECT_NEAR(roomMf[1], before * 60.0 / 96.0, 1e-18);
    EXPECT_EQ(j.inflow, 0.01);
    EXPECT_EQ(jSums[0], 0.01 * roomMf[0]);
    EXPECT_EQ(jSums[1], 0.01 * roomMf[1]);
    _jctn0 = nullptr;
    _leak0 = nullptr;
}

// A -> B at k = 1e-3 1/s over a 600 s step, implicit: A' = A / (1 + k dt), B' = B + k dt A'.
TEST_F(StsRoom, FirstOrderReactionIsTakenImplicitlyOverTheStep)
{
    float coef[2] = {-1e-3f, 1e-3f};
    int prod[2] = {0, 1}, src[2] = {0, 0};
    ReactionRec r{coef, prod, src, 2, 1};
    room.reaction = &r;
    _dt = 600.0f;
    _dti = 1.0f / _dt;
    roomMf[0] = 1e-3;
    roomMf[1] = 2e-4;
    stsKinetics(&room);
    double kdt = (double)1e-3f / (double)_dti;  // 0.6, with the step's single-precision 1/dt
    double a = 1e-3 / (1.0 + kdt);
    EXPECT_NEAR(roomMf[0], a, 1e-12 * a);
    EXPECT_NEAR(roomMf[1], 2e-4 + kdt * a, 1e-12 * a);
    EXPECT_NEAR(roomMf[0] + roomMf[1], 1.2e-3, 1e-15);  // A turns into B, nothing is lost

    // A removal of exactly 1/dt leaves no diagonal to divide by.
    coef[0] = (float)_dti;
    r.nterms = 1;
    EXPECT_EXIT(stsKinetics(&room), ::testing::ExitedWithCode(2),
                "Zero on diagonal, row 0; call Dravik");
}

}  // namespace
