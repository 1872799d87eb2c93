// Day and week schedules: step and ramp values at and between their points, the time to
// the next point, a day schedule shared by week schedules, the day types, the return to
// the start of a day after midnight, and the delay control's direct reading.
#include <gtest/gtest.h>

#include <vector>

#include "model/schedules.h"
#include "model/source-lists.h"
#include "simulation/day-week-sched.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

// A day schedule over its own storage.
struct Day {
    Day(std::vector<int> t, std::vector<float> v, int shape) : times(t), values(v)
    {
        rec.times = times.data();
        rec.values = values.data();
        rec.npts = (int)times.size();
        rec.shape = shape;
    }
    std::vector<int> times;
    std::vector<float> values;
    DaySchedRec rec{};
};

class Schedules : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Day type 1: off until 8:00, on until 18:00 (step); day type 2: a ramp from 0 at
        // midnight to 1 at noon and back to 0 at midnight.
        week.dsch[0] = &office.rec;
        for (int d = 1; d < 12; d++) week.dsch[d] = &ramp.rec;
        second.dsch[0] = &office.rec;   // shares the step schedule
        for (int d = 1; d < 12; d++) second.dsch[d] = &office.rec;
        week.next = &second;
        office.rec.next = &ramp.rec;
        _Wsch0 = &week;
        _Dsch0 = &office.rec;
    }
    void TearDown() override
    {
        _Wsch0 = nullptr;
        _Dsch0 = nullptr;
    }
    float at(int slot, int t)
    {
        wkScheds_seek(slot, t);
        wkScheds_eval(t);
        return week.value;
    }

    Day office{{0, 28800, 64800, 86400}, {0.0f, 1.0f, 0.0f, 0.0f}, DSCH_STEP};
    Day ramp{{0, 43200, 86400}, {0.0f, 1.0f, 0.0f}, DSCH_LINEAR};
    WeekSchedRec week{};
    WeekSchedRec second{};
};

struct ScheduleAt {
    int slot, t;
    float value;
};
class ScheduleValues : public Schedules, public ::testing::WithParamInterface<ScheduleAt> {};

// Day type 1 steps: the value of the point at or before the time; day type 2 ramps: the
// value interpolated within its interval.
TEST_P(ScheduleValues, WeekScheduleTakesItsDayScheduleValueAtTheTime)
{
    const ScheduleAt& c = GetParam();
    EXPECT_FLOAT_EQ(at(c.slot, c.t), c.value);
}

INSTANTIATE_TEST_SUITE_P(Points, ScheduleValues,
                         ::testing::Values(ScheduleAt{0, 0, 0.0f}, ScheduleAt{0, 28799, 0.0f},
                                           ScheduleAt{0, 28800, 1.0f}, ScheduleAt{0, 64799, 1.0f},
                                           ScheduleAt{0, 64800, 0.0f}, ScheduleAt{0, 86400, 0.0f},
                                           ScheduleAt{1, 0, 0.0f}, ScheduleAt{1, 10800, 0.25f},
                                           ScheduleAt{1, 43200, 1.0f}, ScheduleAt{1, 64800, 0.5f},
                                           ScheduleAt{1, 86400, 0.0f}),
                         testnames::named([](const ScheduleAt& c) {
                             return "slot" + std::to_string(c.slot) + "_t" + std::to_string(c.t);
                         }));

TEST_F(Schedules, EachDayTypeUsesItsOwnDaySchedule)
{
    EXPECT_EQ(at(0, 36000), 1.0f);
    EXPECT_FLOAT_EQ(at(1, 36000), 36000.0f / 43200.0f);
    EXPECT_EQ(second.value, 1.0f);   // the second week uses the step schedule every day
    for (int slot = 2; slot < 12; slot++)
        EXPECT_FLOAT_EQ(at(slot, 21600), 0.5f) << "day type " << slot + 1;
    EXPECT_EQ(daytypeLastSeek, 11);
}

TEST_F(Schedules, SeekReturnsTheTimeToTheNextPointOfAnyScheduleInUse)
{
    EXPECT_EQ(wkScheds_seek(0, 3600), 28800 - 3600);
    EXPECT_EQ(wkScheds_seek(0, 70000), 86400 - 70000);
    EXPECT_EQ(wkScheds_seek(1, 40000), 3200);   // ramp at noon before the step at 18:00
    EXPECT_EQ(wkScheds_seek(1, 86400), 0);
}

TEST_F(Schedules, ScheduleSharedByTwoWeeksIsSoughtOnce)
{
    wkScheds_seek(1, 30000);
    EXPECT_EQ(office.rec.active_flag, 1);   // sought for the second week
    EXPECT_EQ(ramp.rec.active_flag, 1);
    wkScheds_seek(0, 30000);
    EXPECT_EQ(ramp.rec.active_flag, 0);     // not in use on day type 1
    EXPECT_EQ(office.rec.cur_point, 1);
}

TEST_F(Schedules, AfterMidnightTheSearchStartsAgainFromTheFirstPoint)
{
    EXPECT_EQ(at(0, 72000), 0.0f);
    EXPECT_EQ(office.rec.cur_point, 2);
    EXPECT_EQ(at(0, 30000), 1.0f);   // the next day: earlier than the current interval
    EXPECT_EQ(office.rec.cur_point, 1);
    EXPECT_EQ(at(0, 100), 0.0f);
    EXPECT_EQ(office.rec.cur_point, 0);
}

TEST_F(Schedules, DelayReadingIsLinearAndLeavesSoughtSchedulesWhereTheyWere)
{
    wkScheds_seek(0, 72000);
    // Read directly, the step schedule is interpolated: a quarter of the way from 8:00
    // (1) to 18:00 (0) is 0.75.
    EXPECT_FLOAT_EQ(sch_val(&office.rec, 37800.0f), 0.75f);
    EXPECT_FLOAT_EQ(sch_val(&office.rec, 14400.0f), 0.5f);
    EXPECT_EQ(office.rec.cur_point, 2);   // active: its position is restored
    // Not in use this step: the position found is kept.
    EXPECT_FLOAT_EQ(sch_val(&ramp.rec, 21600.5f), 21600.5f / 43200.0f);
    EXPECT_EQ(ramp.rec.cur_point, 0);
}

TEST_F(Schedules, DelayReadingBeyondTheLastPointExtrapolatesTheLastInterval)
{
    EXPECT_FLOAT_EQ(sch_val(&ramp.rec, 90000.0f), -3600.0f / 43200.0f);
}

// A day schedule that stops at 18:00 has no point after it: the seek counts to midnight,
// never a negative time.
TEST(DaySchedule, SeekPastAScheduleEndingBeforeMidnightCountsToMidnight)
{
    Day shortDay{{0, 28800, 64800}, {0.0f, 1.0f, 0.5f}, DSCH_STEP};
    WeekSchedRec w{};
    for (auto& d : w.dsch) d = &shortDay.rec;
    _Wsch0 = &w;
    _Dsch0 = &shortDay.rec;
    EXPECT_EQ(wkScheds_seek(0, 72000), 86400 - 72000);
    EXPECT_EQ(wkScheds_seek(0, 64800), 86400 - 64800);
    EXPECT_EQ(wkScheds_seek(0, 28000), 800);
    _Wsch0 = nullptr;
    _Dsch0 = nullptr;
}

TEST(DaySchedule, ScheduleWithASinglePointIsConstant)
{
    Day one{{0}, {0.7f}, DSCH_LINEAR};
    WeekSchedRec w{};
    for (auto& d : w.dsch) d = &one.rec;
    _Wsch0 = &w;
    _Dsch0 = &one.rec;
    EXPECT_EQ(wkScheds_seek(3, 500), 86400 - 500);
    wkScheds_eval(500);
    EXPECT_FLOAT_EQ(w.value, 0.7f);
    EXPECT_FLOAT_EQ(sch_val(&one.rec, 100.0f), 0.7f);
    _Wsch0 = nullptr;
    _Dsch0 = nullptr;
}

}  // namespace
}  // namespace vexlar
