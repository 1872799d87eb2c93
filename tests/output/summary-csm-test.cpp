// Filter challenge and loading against hand-worked masses. A path carries 0.1 kg/s of air
// at 1e-3 kg/kg for 600 s: 0.06 kg of the species (60 kg of air) meets its filter. A 40 % filter keeps
// 0.024 kg and passes 0.036 kg. A super filter of a 50 % and an 80 % member passes 10 %:
// forward, the first keeps 0.03 kg and the second 80 % of the remaining 0.03 kg; reverse
// flow meets the 80 % member first (0.048 kg) and the 50 % one gets half of 0.012 kg.
// Kept and passed always add up to what came.
#include <gtest/gtest.h>

#include "airflow/afe-filter.h"
#include "model/elements.h"
#include "output/summary.h"
#include "result-net.h"

namespace vexlar {
namespace {

using testnet::ResultTest;

struct State {
    FilterLoadRec rec{};
    FilterElemRec elem{};
    double loads = 0, in = 0, out = 0;
    float eff = 0, pen = 1;
    void make(int type, float efficiency, float invMass)
    {
        elem.type = type;
        elem.inv_mass = invMass;
        rec.flte = &elem;
        rec.loads = &loads;
        rec.mass_in = &in;
        rec.mass_out = &out;
        eff = efficiency;
        pen = 1.0f - efficiency;
        rec.efficiency = type == FLT_SPF ? nullptr : &eff;
        rec.penetration = &pen;
    }
};

class FilterSummary : public ResultTest {
protected:
    void SetUp() override
    {
        ResultTest::SetUp();
        installNet(net, 1);
        path = net.path[0];
        path.next = nullptr;
        path.mf_from = &up;
        path.mf_to = &down;
        path.filter = &filter;
        _pafp0 = &path;
    }
    void pass(double flow)
    {
        path.mass_flow[0] = flow;
        filter_load_step(600);
        sum_filter_compute(600);
    }
    AirPath path{};
    FilterRec filter{};
    double up = 1e-3, down = 1e-3;
};

TEST_F(FilterSummary, SimpleFilterKeepsItsEfficiencyOfTheChallenge)
{
    State s;
    s.make(FLT_CEF, 0.4f, 0.5f);
    filter.load = &s.rec;
    pass(0.1);
    EXPECT_NEAR(s.in, 0.06, 1e-12);
    EXPECT_NEAR(s.loads, 0.024, 1e-8);
    EXPECT_NEAR(s.out, 0.036, 1e-8);
    EXPECT_NEAR(s.rec.rel_loading, 0.012, 1e-8);   // kept mass / element mass 2 kg
    pass(0.0);                                        // no flow, nothing added
    EXPECT_NEAR(s.in, 0.06, 1e-12);
}

TEST_F(FilterSummary, SuperFilterMembersAreMetInTheOrderTheAirPasses)
{
    State own, a, b;
    own.make(FLT_SPF, 0.0f, 0.0f);
    own.pen = 0.1f;
    a.make(FLT_CEF, 0.5f, 1.0f);
    b.make(FLT_CEF, 0.8f, 1.0f);
    own.rec.next = &a.rec;
    a.rec.next = &b.rec;
    b.rec.prev = &a.rec;
    own.rec.prev = &b.rec;
    filter.load = &own.rec;
    pass(0.1);
    EXPECT_NEAR(a.loads, 0.03, 1e-8);
    EXPECT_NEAR(b.loads, 0.024, 1e-8);
    EXPECT_NEAR(own.out, 0.006, 1e-8);
    EXPECT_NEAR(a.loads + b.loads + own.out, own.in, 1e-8);
    EXPECT_EQ(own.loads, 0.0);
    a.loads = b.loads = own.in = own.out = 0.0;
    pass(-0.1);
    EXPECT_NEAR(b.loads, 0.048, 1e-8);
    EXPECT_NEAR(a.loads, 0.006, 1e-8);
    EXPECT_NEAR(a.loads + b.loads + own.out, own.in, 1e-8);
}

}  // namespace
}  // namespace vexlar
