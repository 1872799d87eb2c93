// The calendar of the time loop: the day and day type after midnight and after the year
// end, daylight saving past midnight taking tomorrow's day of the week, the seconds since
// a moment across the year end, and control-set zone temperatures.
#include "simulation/sim-common.h"

#include <gtest/gtest.h>

#include <string>

#include "model/clock.h"
#include "model/network.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/source-lists.h"
#include "tests/airflow/af-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

struct Rollover {
    int day, daytype;          // before
    int nextDay, nextDaytype;  // after
};
class DayRollover : public ::testing::TestWithParam<Rollover> {};

// Without weather data the days cycle through types 1 to 7; after a special type t (8 to
// 12) comes (t mod 7) + 1. Day 365 is followed by day 1, and the new day starts at 0 s.
TEST_P(DayRollover, NextDayAndDayType)
{
    const Rollover& c = GetParam();
    _dayofy = c.day;
    _daytyp = c.daytype;
    _stepStartTime = _stepEndTime = 86400;
    rolloverNewSimDate(0);
    EXPECT_EQ(_dayofy, c.nextDay);
    EXPECT_EQ(_daytyp, c.nextDaytype);
    EXPECT_EQ(_stepStartTime, 0);
    EXPECT_EQ(_stepEndTime, 0);
}

INSTANTIATE_TEST_SUITE_P(Calendar, DayRollover,
                         ::testing::Values(Rollover{100, 3, 101, 4}, Rollover{100, 7, 101, 1},
                                           Rollover{365, 5, 1, 6}, Rollover{40, 9, 41, 3},
                                           Rollover{40, 12, 41, 6}),
                         [](const ::testing::TestParamInfo<Rollover>& info) {
                             return "Day" + std::to_string(info.param.day) + "Type" +
                                    std::to_string(info.param.daytype);
                         });

class Clock : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Day type 1: 0.9 all day. Other day types: 0.25 until 0:30, then 0.75 (steps).
        weekday.dsch[0] = &allDay;
        for (int d = 1; d < 12; d++) weekday.dsch[d] = &early;
        allDay.next = &early;
        _Wsch0 = &weekday;
        _Dsch0 = &allDay;
        _daytyp = 1;
        _dayofw = 3;
    }
    void TearDown() override
    {
        _Wsch0 = nullptr;
        _Dsch0 = nullptr;
        _DSTind = 0;
        _afnd0 = nullptr;
        _rcdat = RunControlData{};
    }
    int allTimes[2] = {0, 86400};
    float allValues[2] = {0.9f, 0.9f};
    int earlyTimes[3] = {0, 1800, 86400};
    float earlyValues[3] = {0.25f, 0.75f, 0.75f};
    DaySchedRec allDay{nullptr, 0.0f, allTimes, allValues, 0, 2, DSCH_STEP, 1, 0};
    DaySchedRec early{nullptr, 0.0f, earlyTimes, earlyValues, 0, 3, DSCH_STEP, 2, 0};
    WeekSchedRec weekday{};
};

// At 23:30 under daylight saving the schedules stand at 0:30 of the next day, whose type
// is the day of the week after today's (day of week 3, so slot 3, type 4).
TEST_F(Clock, DaylightSavingPastMidnightUsesTomorrowsDayOfTheWeek)
{
    setSchedulesAndControls(84600, 0);
    EXPECT_EQ(weekday.value, 0.9f);   // no daylight saving: today's type 1
    _DSTind = 1;
    setSchedulesAndControls(84600, 0);
    // 0:30 on type 4: sought at 1799 s, the step at 0:30 is not yet taken.
    EXPECT_EQ(weekday.value, 0.25f);
    _DSTind = 0;
    _daytyp = 4;
    setSchedulesAndControls(1801, 0);
    EXPECT_EQ(weekday.value, 0.75f);
}

TEST_F(Clock, TimeElapsedCountsAcrossTheYearEnd)
{
    _dayofy = 1;
    _stepEndTime = 3600;
    EXPECT_EQ(timeElapsed(365, 82800), 7200);
    EXPECT_EQ(timeElapsed(1, 600), 3000);
    _dayofy = 20;
    EXPECT_EQ(timeElapsed(18, 86400), 86400 + 3600);
}

// A control setting 295 K sets the zone's temperature and, with densZP, its density by the
// gas law; 150 K is refused with an ERROR and the zone keeps its state.
TEST_F(Clock, ControlSetTemperatureAndItsLowerLimit)
{
    LogCapture log;
    AirNode zone{};
    float setting = 295.0f;
    zone.temperature_ptr = &setting;
    zone.temperature = 293.15;
    zone.gas_const = 287.0;
    zone.pressure = -25.0;
    zone.number = 4;
    _afnd0 = &zone;
    _wthdat.Pbar = 101325.0;
    _rcdat.densZP = 1;
    setSchedulesAndControls(3600, 0);
    EXPECT_EQ(zone.temperature, 295.0);
    EXPECT_NEAR(zone.density, 101300.0 / (295.0 * 287.0), 1e-12);
    setting = 150.0f;
    setSchedulesAndControls(7200, 0);
    EXPECT_EQ(zone.temperature, 295.0);
    EXPECT_NE(log.text().find("Control attempting to set temperature of zone 4 to 150.00 K."),
              std::string::npos)
        << log.text();
}

// A zone 150 Pa below the barometric pressure (an upper floor) and the ambient node. Without
// densZP the densities come from the barometric pressure alone and agree with it; with
// densZP they must agree with the node's own pressure as well.
TEST(DensityIteration, DensitiesAgreeWithThePressureTheyComeFrom)
{
    const double Pbar = 101325.0, R = 287.055, T = 293.15, P = -150.0;
    AirNode ambient{}, zone{};
    zone.next = &ambient;
    for (AirNode* n : {&zone, &ambient}) {
        n->gas_const = R;
        n->temperature = T;
    }
    zone.pressure = P;
    const RunControlData saved = _rcdat;
    const double savedPbar = _wthdat.Pbar;
    AirNode* savedNodes = _afnd0;
    _afnd0 = &zone;
    _wthdat.Pbar = Pbar;
    _rcdat.relcnvg = 1e-4f;
    auto converged = [&](int densZP, double zoneAbsolute) {
        _rcdat.densZP = densZP;
        zone.density = zoneAbsolute / (R * T);
        ambient.density = Pbar / (R * T);
        return airNodeDensitiesHaveConverged();
    };
    EXPECT_TRUE(converged(0, Pbar));
    EXPECT_FALSE(converged(0, Pbar + P)) << "150 Pa is 1.5e-3 of the barometric pressure, over 10 x 1e-4";
    EXPECT_FALSE(converged(1, Pbar));
    EXPECT_TRUE(converged(1, Pbar + P));
    _afnd0 = savedNodes;
    _wthdat.Pbar = savedPbar;
    _rcdat = saved;
}

}  // namespace
