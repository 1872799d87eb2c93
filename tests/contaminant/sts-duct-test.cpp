// Duct sequencing: a tree is ordered once without breaking anything, a loop is broken at
// the link carrying the smallest share of its junction's inflow (whose flow then counts
// once), and a loop of links that each carry their junction's whole inflow cannot be
// ordered. Junction temperatures mix the heat the ducts bring in.
#include "contaminant/sts-duct.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <deque>
#include <string>
#include <tuple>
#include <vector>

#include "common-src/messages.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/run-control.h"
#include "model/sts-links.h"
#include "tests/contaminant/sts-test-util.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

// Junctions 1..n with their nodes, and duct links between them, the log in a temporary
// file.
class DuctSequence : public ::testing::Test {
protected:
    void SetUp() override
    {
        _ulog = tmpfile();
        _stepEndTime = 60;
        _nctm = 1;
        _jctn0 = nullptr;
    }
    void TearDown() override
    {
        fclose(_ulog);
        _ulog = nullptr;
        _jctn0 = nullptr;
    }
    void junctions(int n)
    {
        nodes.resize(n);
        jn.resize(n);
        mf.assign(n, 0.0);
        sums.assign(n, 0.0);
        for (int i = n - 1; i >= 0; i--) {
            nodes[i] = AirNode{};
            nodes[i].sum_abs_flow = 1.0;
            jn[i] = JunctionNode{};
            jn[i].node = &nodes[i];
            jn[i].number = i + 1;
            jn[i].mf = &mf[i];
            jn[i].flow_mf_sums = &sums[i];
            jn[i].next = _jctn0;
            _jctn0 = &jn[i];
        }
    }
    // Links numbered in the order given, listed in that order; from/to are 1-based.
    DuctLink* links(std::vector<std::tuple<int, int, double>> spec)
    {
        lk.clear();
        paths.clear();
        for (auto& s : spec) {
            paths.emplace_back();
            lk.emplace_back();
            DuctLink& d = lk.back();
            d.from_junction = &jn[std::get<0>(s) - 1];
            d.to_junction = &jn[std::get<1>(s) - 1];
            d.link_flow = std::get<2>(s);
            d.number = (int)lk.size();
            d.path = &paths.back();
        }
        for (size_t i = 0; i + 1 < lk.size(); i++) lk[i].next = &lk[i + 1];
        return &lk[0];
    }
    std::vector<int> order(DuctLink* d)
    {
        std::vector<int> v;
        for (; d && v.size() <= lk.size(); d = d->next) v.push_back(d->number);
        return v;
    }
    std::vector<AirNode> nodes;
    std::vector<JunctionNode> jn;
    std::vector<double> mf, sums;
    std::deque<DuctLink> lk;
    std::deque<AirPath> paths;
};

TEST_F(DuctSequence, TreeIsOrderedOnceUpstreamFirstWithoutBreakingALink)
{
    // 1 -> 2 (0.3), then 2 feeds 3 (0.1) and 4 (0.2, the link drawn 4 -> 2 with negative
    // flow); a closed damper 3 - 4 carries nothing. Listed downstream first.
    junctions(4);
    DuctLink* first = links({{4, 2, -0.2}, {3, 4, 0.0}, {2, 3, 0.1}, {1, 2, 0.3}});
    DuctLink* seq = LinkSeq(first);
    // Pass 1 takes the still link and 1 -> 2; pass 2 the deferred links in reverse.
    EXPECT_EQ(order(seq), (std::vector<int>{2, 4, 3, 1}));
    EXPECT_EQ(jn[1].in_count, 1);
    EXPECT_DOUBLE_EQ(jn[1].inflow, 0.3);
    EXPECT_DOUBLE_EQ(jn[1].outflow, 0.3);
    EXPECT_DOUBLE_EQ(jn[0].outflow, 0.3);
    EXPECT_DOUBLE_EQ(jn[3].inflow, 0.2);
    EXPECT_EQ(jn[3].in_count, 1);  // the still link adds no count
    for (auto& j : jn) EXPECT_EQ(j.remaining, 0);
    EXPECT_EQ(readLog().find("Weakest Link"), std::string::npos);

    // Junction 1 has no feeding duct: flow-weighted from its terminal sums, or kept.
    jn[0].inflow = 0.5;
    sums[0] = 0.5 * 0.004;
    mf[2] = 0.7;
    LinkSet();
    EXPECT_DOUBLE_EQ(mf[0], 0.004);
    EXPECT_EQ(jn[1].remaining, 1);
    EXPECT_DOUBLE_EQ(mf[2], 0.7);
}

TEST_F(DuctSequence, LoopIsBrokenAtTheLinkWithTheSmallestShareAndItsFlowCountsOnce)
{
    // 1 -> 2 (0.1) and 2 -> 1 (0.3); terminals bring 0.2 into 1 and 0.5 into 2. Shares:
    // link 1 = 0.1 / 0.6, link 2 = 0.3 / 0.5.
    junctions(2);
    jn[0].inflow = 0.2;
    jn[1].inflow = 0.5;
    DuctLink* seq = LinkSeq(links({{1, 2, 0.1}, {2, 1, 0.3}}));
    EXPECT_EQ(order(seq), (std::vector<int>{1, 2}));
    EXPECT_EQ(readLog(), "00:01:00 Weakest Link: 1, ratio 0.16667\n");
    EXPECT_DOUBLE_EQ(jn[1].inflow, 0.6);
    EXPECT_DOUBLE_EQ(jn[0].inflow, 0.5);
    EXPECT_EQ(jn[0].remaining, 0);
    EXPECT_EQ(jn[1].remaining, 0);
}

TEST_F(DuctSequence, LoopOfWholeInflowsFailsWithTheTable)
{
    // 1 -> 2 -> 1 and nothing else: each link is its junction's whole inflow.
    junctions(2);
    nodes[1].sum_abs_flow = 0.0;
    DuctLink* first = links({{1, 2, 0.25}, {2, 1, 0.25}});
    EXPECT_EXIT(LinkSeq(first), ::testing::ExitedWithCode(2),
                "FATAL Duct sequencing failed, see XLog file");
    // The child shares the log file and flushes the table before the run ends.
    std::string text = readLog();
    EXPECT_NE(text.find("\n*** Duct sequencing failed at 00:01:00\nStill to be sequenced:\n"
                        "  Duct   From    To   Net  Flow [kg/s]  F-elt\n"
                        "     2     2J **     1J    0    2.500e-01  ?\n"
                        "     1     1J     2J **    0    2.500e-01  ?\n"
                        "Do the ducts form a loop with fans?\n"),
              std::string::npos)
        << text;
}

// Junctions 1 (300 K) and 2 feed 3, which holds no air, with 0.1 and 0.3 kg/s of air of
// 1000 J/(kg K). Junction 2 holds 2 kg at 280 K and its terminal brings 0.5 kg/s of 300 K
// air for 10 s: (10 x 0.5 x 1000 x 300 + 2 x 1000 x 280) / ((10 x 0.5 + 2) x 1000) =
// 294.29 K, which it passes on: 3 takes (0.1 x 300 + 0.3 x 294.29) / 0.4. Junction 1,
// without air and fed only air that brought no heat capacity, has nothing to divide by
// (0/0) and keeps its temperature.
TEST_F(DuctSequence, JunctionTemperaturesMixTheHeatFlowingIn)
{
    junctions(3);
    _dt = 10.0f;
    _nntc = 0;
    for (auto& n : nodes) n.cp = 1000.0f;
    nodes[0].temperature = 300.0;
    nodes[1].temperature = 280.0;
    nodes[2].temperature = 250.0;
    nodes[1].air_mass = 2.0;
    jn[0].inflow = 0.2;
    jn[1].inflow = 0.5;
    jn[1].heat_flow = 0.5 * 1000.0 * 300.0;
    DuctLink* seq = LinkSeq(links({{1, 3, 0.1}, {2, 3, 0.3}}));
    LinkTSim(seq);
    EXPECT_DOUBLE_EQ(nodes[0].temperature, 300.0);
    EXPECT_NEAR(nodes[1].temperature, (10 * 0.5 * 1000 * 300.0 + 2 * 1000 * 280.0) / (7 * 1000.0), 1e-9);
    // Junction 2's new temperature is what it passes on: 0.3 kg/s of 294.29 K.
    double t2 = nodes[1].temperature;
    EXPECT_NEAR(nodes[2].temperature, (0.1 * 300.0 + 0.3 * t2) / 0.4, 1e-9);
    EXPECT_EQ(jn[2].remaining, 0);
}

// A junction with air storage fed 5e-4 kg/s of air at mass fraction 0.01, whose outflow
// the airflow solution balances only to a relative 1e-4, keeps its air mass of 0.04 kg
// over a day of one-minute steps (summing that residual would take it to -0.0034 kg), and
// its mass fraction goes from 0 to the inflow's, never past it: after n steps
// 0.01 (1 - (0.04 / (0.04 + 0.03))^n).
TEST_F(DuctSequence, JunctionWithStorageKeepsTheAirMassOfItsAirflow)
{
    junctions(1);
    _dt = 60.0f;
    _nctm = 1;
    nodes[0].air_mass = nodes[0].air_mass_prev = 0.04;
    for (int step = 1; step <= 1440; step++) {
        jn[0].inflow = 5e-4;
        jn[0].outflow = 5e-4 * (1.0 + 1e-4);
        sums[0] = 5e-4 * 0.01;
        mixJunction(&jn[0], true);
        ASSERT_DOUBLE_EQ(nodes[0].air_mass, 0.04) << "step " << step;
        ASSERT_LE(mf[0], 0.01);
        if (step == 10) {
            EXPECT_NEAR(mf[0], 0.01 * (1.0 - std::pow(0.04 / 0.07, 10)), 1e-15);
        }
        nodes[0].air_mass_prev = nodes[0].air_mass;
    }
    EXPECT_NEAR(mf[0], 0.01, 1e-15);
}

}  // namespace
