// Age of air against hand-worked ages. Outdoor air enters zone 1 at F kg/s, passes on to
// zone 2 and leaves from there: the air in zone 1 is M1/F old, that in zone 2 has also
// spent M2/F in zone 2, (M1 + M2)/F. Two further zones that only trade air with each other
// have no age; they are listed undefined, once warned about, and change nothing for the
// others.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "output/summary.h"
#include "result-net.h"

namespace vexlar {
namespace {

using testnet::ResultTest;

constexpr double F = 0.05;                 // [kg/s]
constexpr double M1 = 120.0, M2 = 60.0;    // [kg]

class AgeOfAir : public ResultTest {
protected:
    // Zones 1..4 and the ambient (index 5); paths ambient -> 1 -> 2 -> ambient and, with
    // a loop, 3 -> 4 and 4 -> 3 at 0.2 kg/s.
    void build(bool loop, double leak = 0.0)
    {
        for (int i = 0; i < 5; i++) {
            AirNode& n = nodes[i];
            n = AirNode{};
            n.index = i + 1;
            n.number = i < 4 ? i + 1 : 0;
            n.flags = i < 4 ? NODE_VAR_P : NODE_AMBIENT;
            n.air_mass = i == 0 ? M1 : i == 1 ? M2 : 30.0;
            n.next = i < 4 ? &nodes[i + 1] : nullptr;
        }
        AirNode* amb = &nodes[4];
        // The first path is written backwards with a negative flow: the sign says which way.
        link(0, &nodes[0], amb, -F);
        link(1, &nodes[0], &nodes[1], F);
        link(2, &nodes[1], amb, F);
        int np = 3;
        if (loop) {
            link(3, &nodes[2], &nodes[3], 0.2);
            link(4, &nodes[3], &nodes[2], 0.2);
            np = 5;
        }
        if (leak != 0.0) link(np++, &nodes[3], amb, leak);
        for (int i = 0; i < np; i++) paths[i].next = i + 1 < np ? &paths[i + 1] : nullptr;
        _afnd0 = nodes;
        _nafnd = 5;
        _pambt = amb;
        _pafp0 = paths;
        _nafpt = np;
        _nzone = 4;
        _rcdat.age_step = 1;
        _rcdat.age_stats = 1;
        _rcdat.relcnvg = 1e-4f;
        _rcdat.end_date = 32;
        _time_list = 3600;
    }
    void link(int k, AirNode* from, AirNode* to, double flow)
    {
        paths[k] = AirPath{};
        paths[k].index = k + 1;
        paths[k].from_node = from;
        paths[k].to_node = to;
        paths[k].mass_flow[0] = flow;
    }
    AirNode nodes[5];
    AirPath paths[6];
};

TEST_F(AgeOfAir, ZonesInSeriesAddTheirAges)
{
    build(false);
    std::string log = testnet::logDuring(0, [] {
        set_uage_open();
        writeAge_stepEnd(3600);
        writeAge_dayEnd();
        writeAge_simEnd();
        set_uage_close(0);
    });
    EXPECT_NEAR(nodes[0].age, M1 / F / 3600.0, 1e-6 * M1 / F / 3600.0);
    EXPECT_NEAR(nodes[1].age, (M1 + M2) / F / 3600.0, 1e-6 * (M1 + M2) / F / 3600.0);
    // Zones 3 and 4 have no flow at all: the age of the smallest flow, M / 1e-6 kg/s.
    EXPECT_NEAR(nodes[2].age, 30.0 / 1e-6 / 3600.0, 1e-6 * 30.0 / 1e-6 / 3600.0);
    EXPECT_EQ(nodes[4].age, 0.0f);
    // Every node's run inflow equals its outflow; the ambient comes last as a junction.
    EXPECT_NE(log.find("Age-of-air balance data: |row[n] - col[n]|/(row[n] + col[n])\n"
                       "  0.000000e+00 z 1\n  0.000000e+00 z 2\n  0.000000e+00 z 3\n"
                       "  0.000000e+00 z 4\n  0.000000e+00 j 1\n"),
              std::string::npos)
        << log;
    auto bytes = testnet::readFile(file(".age"));
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("day\ttime\t1\t2\t3\t4\nday\tzone\tavg\tdev\tmin\tmin\tmax\tmax\n"
                        "2/1\t01:00:00\t6.666667e-01\t1.000000e+00\t8.333334e+03\t8.333334e+03\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nfinal\t2\t"), std::string::npos) << text;
}

// A run stopped after midnight but before the new day's first listing ends a day that
// holds no listed step: that day gets no line, and the run's final line holds the day
// before. A run stopped before any listing writes neither.
TEST_F(AgeOfAir, DayWithoutAListingWritesNoLineWhenTheRunStops)
{
    build(false);
    testnet::logDuring(0, [] {
        set_uage_open();
        writeAge_stepEnd(3600);
        writeAge_dayEnd();
        writeAge_dayEnd();
        writeAge_simEnd();
        set_uage_close(0);
    });
    auto bytes = testnet::readFile(file(".age"));
    std::string text(bytes.begin(), bytes.end());
    size_t day = text.find("\n2/1\t1\t");
    ASSERT_NE(day, std::string::npos) << text;
    EXPECT_EQ(text.find("\n2/1\t1\t", day + 1), std::string::npos) << text;
    EXPECT_NE(text.find("\nfinal\t1\t6.666667e-01\t"), std::string::npos) << text;

    build(false);
    testnet::logDuring(0, [] {
        set_uage_open();
        writeAge_dayEnd();
        writeAge_simEnd();
        set_uage_close(0);
    });
    bytes = testnet::readFile(file(".age"));
    text.assign(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find("final"), std::string::npos) << text;
}

TEST_F(AgeOfAir, ClosedRecirculationLoopIsUndefinedAndLeavesTheOthersAlone)
{
    build(true);
    std::string err;
    std::string log = testnet::logDuring(0, [&] {
        set_uage_open();
        testing::internal::CaptureStderr();
        writeAge_stepEnd(3600);
        writeAge_stepEnd(7200);
        err = testing::internal::GetCapturedStderr();
        writeAge_dayEnd();
        writeAge_simEnd();
        set_uage_close(0);
    });
    EXPECT_NEAR(nodes[0].age, M1 / F / 3600.0, 1e-6 * M1 / F / 3600.0);
    EXPECT_NEAR(nodes[1].age, (M1 + M2) / F / 3600.0, 1e-6 * (M1 + M2) / F / 3600.0);
    EXPECT_TRUE(std::isnan(nodes[2].age));
    EXPECT_TRUE(std::isnan(nodes[3].age));
    // One warning for the run, naming the first node of the loop.
    size_t at = err.find("WARNING Age of air undefined: air recirculates without outdoor air at node 3");
    EXPECT_NE(at, std::string::npos) << err;
    EXPECT_EQ(err.find("WARNING", at + 1), std::string::npos) << err;
    auto bytes = testnet::readFile(file(".age"));
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("\tundefined\tundefined\n2/1\t02:00:00\t6.66666"), std::string::npos) << text;
    EXPECT_NE(text.find("\n2/1\t3\tundefined\tundefined\t--\tundefined\t--\tundefined\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\nfinal\t1\t6.666667e-01\t"), std::string::npos) << text;
}

// The loop's rounding residue of 1e-20 kg/s to outdoors (what a network solution may leave
// on a path of a closed loop) does not make it reach outdoors: it stays undefined instead of
// making the age equations singular.
TEST_F(AgeOfAir, LoopLeakingARoundingResidueIsStillClosed)
{
    build(true, 1e-20);
    std::string err;
    testnet::logDuring(0, [&] {
        set_uage_open();
        testing::internal::CaptureStderr();
        writeAge_stepEnd(3600);
        err = testing::internal::GetCapturedStderr();
        set_uage_close(0);
    });
    EXPECT_NEAR(nodes[1].age, (M1 + M2) / F / 3600.0, 1e-6 * (M1 + M2) / F / 3600.0);
    EXPECT_TRUE(std::isnan(nodes[2].age));
    EXPECT_TRUE(std::isnan(nodes[3].age));
    EXPECT_NE(err.find("WARNING Age of air undefined: air recirculates without outdoor air at node 3"),
              std::string::npos)
        << err;
}

}  // namespace
}  // namespace vexlar
