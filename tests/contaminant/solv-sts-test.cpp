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
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/run-control.h"

using namespace vexlar;

namespace {

std::string readLog()
{
    std::string s;
    rewind(_ulog);
    for (int c; (c = fgetc(_ulog)) != EOF;) s += (char)c;
    return s;
}

// A 50 m3 room holding M = 60 kg of air, ventilated by Q = 0.05 kg/s of clean outdoor air
// in through one path and out through another.
class StsRoom : public ::testing::Test {
protected:
    static constexpr double M = 60.0, Q = 0.05;

    void SetUp() override
    {
        _ulog = tmpfile();
        if (!_ms) _ms = alc_eci(32000, "ms");
        _nctm = 2;
        _nntc = 0;
        _nCmctm = 2 * _nctm;
        _nCcctm = 0;
        _penf = penf;
        _rcdat.sim_mf = 2;
        _sim_af_dyn = 0;
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
        fre_1DCD();
        fre_STSsums();
        fre_Znode();
        fclose(_ulog);
        _ulog = nullptr;
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
