// Occupant exposure against hand-worked numbers. Hourly steps; zone 1 holds 1e-3 kg/kg
// throughout; zone 2 rises from 0 to 4e-4 in the second hour and falls back to 2e-4 in the
// third. Occupant 1 is away until 1:00, in zone 1 until 1:30, in zone 2 until 2:30, then
// away: in the second hour it breathes 1e-3 for 1800 s and zone 2 at 1:45 (3e-4) for
// 1800 s, 6.5e-4 on average; in the third hour zone 2 at 2:15 (3.5e-4) for 1800 s.
// Occupant 2 never comes in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "model/source-lists.h"
#include "model/schedules.h"
#include "output/expos.h"
#include "result-net.h"

namespace vexlar {
namespace {

using testnet::ResultTest;

class Exposure : public ResultTest {
protected:
    void SetUp() override
    {
        ResultTest::SetUp();
        for (int i = 0; i < 3; i++) {
            nodes[i] = AirNode{};
            nodes[i].index = i + 1;
            nodes[i].number = i < 2 ? i + 1 : 0;
            nodes[i].mf = &mf[i];
            nodes[i].mf_prev = &mfPrev[i];
            nodes[i].next = i < 2 ? &nodes[i + 1] : nullptr;
        }
        _afnd0 = nodes;
        _pambt = &nodes[2];
        _nafnd = 3;
        _nzone = 2;
        _nctm = 1;
        zones1[0].node = nullptr;
        zones1[1].node = &nodes[0];
        zones1[2].node = &nodes[1];
        zones1[3].node = nullptr;
        zones1[4].node = nullptr;
        walk.times = times1;
        walk.zones = zones1;
        walk.npts = 5;
        away.times = times2;
        away.zones = zones2;
        away.npts = 2;
        for (int k = 0; k < 2; k++) {
            ExposureRec& x = occ[k];
            x = ExposureRec{};
            x.number = k + 1;
            x.factor = 2.0f;
            x.exposure = &breathed[k];
            x.occ_scheds[2] = k == 0 ? &walk : &away;   // day type 3
            x.next = k == 0 ? &occ[1] : nullptr;
        }
        _Pexp0 = occ;
        _npexp = 2;
        _daytyp = 3;
        _time_step = 3600;
        _dt = 3600.0f;
        _dti = 1.0f / 3600.0f;
        _rcdat.ebw_step = 1;
        _rcdat.ebw_stats = 1;
        _rcdat.end_date = 32;
    }
    void TearDown() override
    {
        _Pexp0 = nullptr;
        _npexp = 0;
        ResultTest::TearDown();
    }
    // Zone 2's mass fractions at the start and end of the step ending at t.
    void step(int t, double z2Start, double z2End)
    {
        mf[0] = mfPrev[0] = 1e-3;
        mfPrev[1] = z2Start;
        mf[1] = z2End;
        _stepEndTime = t;
        for (ExposureRec* x = _Pexp0; x; x = x->next) exposure(x);
        writeExp_stepEnd(t);
    }
    // The tab-separated fields after `head` in text, read as numbers (times as 0).
    static std::vector<double> numbersAfter(const std::string& text, const std::string& head)
    {
        std::vector<double> v;
        size_t at = text.find(head);
        if (at == std::string::npos) return v;
        std::string line = text.substr(at + head.size(), text.find('\n', at + head.size()) - at - head.size());
        for (size_t p = 0; p <= line.size();) {
            size_t q = line.find('\t', p);
            if (q == std::string::npos) q = line.size();
            v.push_back(std::atof(line.substr(p, q - p).c_str()));
            p = q + 1;
        }
        return v;
    }
    std::string text()
    {
        auto bytes = testnet::readFile(file(".ebw"));
        return std::string(bytes.begin(), bytes.end());
    }

    AirNode nodes[3];
    double mf[3] = {0, 0, 0}, mfPrev[3] = {0, 0, 0};
    int times1[5] = {0, 3600, 5400, 9000, 86400};
    OccZone zones1[5];
    int times2[2] = {0, 86400};
    OccZone zones2[2] = {};
    OccSchedRec walk{}, away{};
    ExposureRec occ[2];
    float breathed[2] = {0, 0};
};

TEST_F(Exposure, OccupantMovingBetweenTwoZonesBreathesEachForItsShareOfTheStep)
{
    set_uexp_open();
    step(3600, 0.0, 0.0);
    EXPECT_EQ(occ[0].occupied_time, 0.0);
    EXPECT_EQ(breathed[0], 0.0f);
    step(7200, 0.0, 4e-4);
    EXPECT_EQ(occ[0].occupied_time, 3600.0);
    EXPECT_NEAR(breathed[0], 6.5e-4, 1e-9);
    step(10800, 4e-4, 2e-4);
    EXPECT_EQ(occ[0].occupied_time, 1800.0);
    EXPECT_NEAR(breathed[0], 3.5e-4, 1e-9);
    step(14400, 2e-4, 2e-4);
    EXPECT_EQ(occ[1].occupied_time, 0.0);
    writeExp_dayEnd();
    writeExp_simEnd();
    set_uexp_close(0);
    std::string t = text();
    EXPECT_EQ(t.substr(0, t.find("2/1\t01:00:00")), "2\t1\t2/1\t2/1\t3600\t1\t1\nday\ttime\tctm\t1\t2\n"
                                             "day\tpexp\tctm\tavg\tdev\tmin\tmin\tmax\tmax\n");
    std::vector<double> v = numbersAfter(t, "\n2/1\t02:00:00\t1\t");
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NEAR(v[0], 6.5e-4, 1e-9);
    EXPECT_EQ(v[1], 0.0);
    // Weighted by the 3600 s and 1800 s inside: mean (6.5e-4 x 2 + 3.5e-4) / 3 = 5.5e-4,
    // deviation sqrt((4.225e-7 x 2 + 1.225e-7) / 3 - 3.025e-7) = sqrt(2e-8). The third
    // hour, only half spent inside, does not set the minimum: 6.5e-4 at 2:00 is both.
    for (const char* head : {"\n2/1\t1\t1\t", "\nfinal\t1\t1\t"}) {
        std::vector<double> d = numbersAfter(t, head);
        ASSERT_EQ(d.size(), 6u) << head << t;
        EXPECT_NEAR(d[0], 5.5e-4, 1e-9) << head;
        EXPECT_NEAR(d[1], 1.414214e-4, 1e-9) << head;
        EXPECT_NEAR(d[3], 6.5e-4, 1e-9) << head;
        EXPECT_NEAR(d[5], 6.5e-4, 1e-9) << head;
    }
    EXPECT_NE(t.find("\n2/1\t1\t1\t5.500000e-04\t1.414214e-04\t02:00:00\t"), std::string::npos) << t;
    // Never inside: zeros rather than a division by no time.
    EXPECT_NE(t.find("\n2/1\t2\t1\t0.000000e+00\t0.000000e+00\t01:00:00\t0.000000e+00\t01:00:00\t0.000000e+00\n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find("\nfinal\t2\t1\t0.000000e+00\t0.000000e+00\t"), std::string::npos) << t;
}

// Occupancy of the step ending at 2:00: half of it in each zone, times the factor 2; the
// occupant that stays away adds nothing, and the ambient never counts.
TEST_F(Exposure, ZoneOccupancyIsEachOccupantsShareOfTheStepTimesItsFactor)
{
    zones1[0].node = &nodes[2];   // outdoors until 1:00
    setZoneOcc(7200, 2);
    EXPECT_FLOAT_EQ(nodes[0].occupancy, 1.0f);
    EXPECT_FLOAT_EQ(nodes[1].occupancy, 1.0f);
    setZoneOcc(3600, 2);
    EXPECT_EQ(nodes[0].occupancy, 0.0f);
    EXPECT_EQ(nodes[2].occupancy, 0.0f);
    int pos = 3, t = 4000;
    EXPECT_EQ(occ_loc(&pos, &t, 9000, times1), 1400);   // 4000 s lies in 1:00..1:30
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(t, 5400);
}

}  // namespace
}  // namespace vexlar
