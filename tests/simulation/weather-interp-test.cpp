// Timed values between their records, read off the midpoint, where an interpolation from
// the wrong end, or by the wrong share of the span, shows: a quarter and three quarters of
// the way from one record to the next, the values are 1/4 and 3/4 of the way along, and
// the wind direction turns along the shorter arc whichever of its two ends is the smaller.
#include "simulation/weather.h"
#include "tests/simulation/timed-file-util.h"

namespace vexlar {
namespace {

class TimedValuesOffMidpoint : public TimedFileTest {
protected:
    void SetUp() override
    {
        TimedFileTest::SetUp();
        ambient = AirNode{};
        ambient.mf = mf;
        _pambt = &ambient;
    }
    void TearDown() override
    {
        _pambt = nullptr;
        TimedFileTest::TearDown();
    }
    AirNode ambient{};
    double mf[1] = {0.0};
};

// Records at 0:00, 4:00 and 6:00. From 0:00 to 4:00 the temperature rises 40 K, the
// pressure 4000 Pa, the wind 8 m/s, the humidity ratio 12 g/kg, and the wind turns from
// 350 through north to 30 degrees (390); from 4:00 to 6:00 it turns back through north to
// 300 (from 390).
TEST_F(TimedValuesOffMidpoint, WeatherIsInterpolatedByTheShareOfTheSpanGone)
{
    name(_WTHfile, file("w.wth", "WeatherFile VexlarW 2.0\nthree records\n1/1 1/1\n1/1 1 1 0 0\n"
                                 "1/1 00:00:00 263.15 98000 1 350 2 0 0 0 0 0\n"
                                 "1/1 04:00:00 303.15 102000 9 30 14 0 0 0 0 0\n"
                                 "1/1 06:00:00 303.15 102000 9 300 14 0 0 0 0 0\n"));
    WTH_init(1, 1, 1);
    EXPECT_EQ(WTH_get(1, 0, 1), 4 * 3600);
    EXPECT_EQ(WTH_get(1, 3 * 3600, 0), 3600);   // three quarters of the way to 4:00
    EXPECT_NEAR(ambient.temperature, 293.15, 1e-9);
    EXPECT_NEAR(_wthdat.Pbar, 101000.0, 1e-9);
    EXPECT_FLOAT_EQ(_wthdat.WS, 7.0f);
    EXPECT_FLOAT_EQ(_wthdat.WD, 20.0f);         // 350 + 0.75 x 40 = 380, past north
    EXPECT_FLOAT_EQ(_wthdat.HR, 0.011f);
    EXPECT_EQ(WTH_get(1, 3 * 3600 + 900, 0), 2700);
    EXPECT_NEAR(ambient.temperature, 263.15 + 40.0 * 13.0 / 16.0, 1e-9);

    WTH_get(1, 4 * 3600, 1);
    EXPECT_EQ(WTH_get(1, 5 * 3600 + 1800, 0), 1800);   // three quarters of the way to 6:00
    EXPECT_FLOAT_EQ(_wthdat.WD, 322.5f);                // 390 - 0.75 x 90
    EXPECT_FLOAT_EQ(_wthdat.WS, 9.0f);
    EXPECT_EQ(WTH_get(1, 4 * 3600 + 1800, 1), 5400);   // a quarter of the way
    EXPECT_FLOAT_EQ(_wthdat.WD, 7.5f);                  // 390 - 0.25 x 90 = 367.5
}

class ValueFileOffMidpoint : public TimedFileTest {
protected:
    void SetUp() override
    {
        TimedFileTest::SetUp();
        node = CtrlNode{};
        node.type = CT_CVF;
        node.data = const_cast<char*>("load");
        _Ctrl0 = &node;
    }
    void TearDown() override
    {
        _Ctrl0 = nullptr;
        TimedFileTest::TearDown();
    }
    CtrlNode node{};
};

// A continuous value from 10 at 0:00 to 90 at 0:40: 30 at 0:10, 70 at 0:30.
TEST_F(ValueFileOffMidpoint, ContinuousValueIsInterpolatedByTheShareOfTheSpanGone)
{
    name(_CVFfile, file("v.cvf", "ContinuousValuesFile VexlarW 2.1\none value\n1/1 1/1\n1\nload\n"
                                 "1/1 0:00:00 10\n1/1 0:40:00 90\n"));
    CVF_init_data(1, 1, 1);
    ASSERT_EQ(CVF_init_controls(), 0);
    CVF_get(1, 0, 1);
    EXPECT_EQ(CVF_get(1, 600, 0), 1800);
    EXPECT_FLOAT_EQ(*node.input1, 30.0f);
    EXPECT_EQ(CVF_get(1, 1800, 0), 600);
    EXPECT_FLOAT_EQ(*node.input1, 70.0f);
}

}  // namespace
}  // namespace vexlar
