// Signal functions of the control network against outputs worked out by hand: every
// stateless type for one pair of inputs, and every stateful type over a run of steps of
// 10 s with a listing step of 30 s, its state carried from step to step.
#include "simulation/ctrl-signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/clock.h"
#include "model/schedules.h"

using namespace vexlar;

namespace {

struct Stateless {
    const char* name;
    CTRL_SIGNAL_FN fn;
    float in1, in2, out;
};
class StatelessSignal : public ::testing::TestWithParam<Stateless> {};

TEST_P(StatelessSignal, GivesTheHandWorkedOutput)
{
    const Stateless& c = GetParam();
    float a = c.in1, b = c.in2;
    CtrlNode node{};
    node.input1 = &a;
    node.input2 = &b;
    node.value = -99.0f;
    c.fn(&node);
    EXPECT_NEAR(node.value, c.out, 1e-6f * std::fmax(1.0f, std::fabs(c.out)));
}

INSTANTIATE_TEST_SUITE_P(
    Table, StatelessSignal,
    ::testing::Values(
        Stateless{"abs", abs_sig, -1.25f, 0, 1.25f}, Stateless{"binOn", bin_sig, 0.01f, 0, 1.0f},
        Stateless{"binOff", bin_sig, 0.0f, 0, 0.0f}, Stateless{"inv", inv_sig, 0.25f, 0, 0.75f},
        Stateless{"andOn", and_sig, 1.0f, 0.5f, 1.0f}, Stateless{"andOff", and_sig, 1.0f, 0.0f, 0.0f},
        Stateless{"or", or_sig, 0.0f, 2.0f, 1.0f}, Stateless{"orOff", or_sig, -1.0f, 0.0f, 0.0f},
        Stateless{"xorOne", xor_sig, 1.0f, 0.0f, 1.0f}, Stateless{"xorBoth", xor_sig, 1.0f, 1.0f, 0.0f},
        Stateless{"add", add_sig, 1.5f, 2.25f, 3.75f}, Stateless{"sub", sub_sig, 1.5f, 2.25f, -0.75f},
        Stateless{"mul", mul_sig, 1.5f, -4.0f, -6.0f}, Stateless{"div", div_sig, 3.0f, 4.0f, 0.75f},
        Stateless{"lls", lls_sig, 1.0f, 2.0f, 1.0f}, Stateless{"llsOff", lls_sig, 2.0f, 2.0f, 0.0f},
        Stateless{"uls", uls_sig, 3.0f, 2.0f, 1.0f}, Stateless{"ulsOff", uls_sig, 2.0f, 3.0f, 0.0f},
        Stateless{"llc", llc_sig, 1.0f, 3.5f, 2.5f}, Stateless{"llcNegative", llc_sig, 4.0f, 3.5f, 0.0f},
        Stateless{"ulc", ulc_sig, 4.0f, 3.5f, 0.5f}, Stateless{"ulcNegative", ulc_sig, 1.0f, 3.5f, 0.0f},
        Stateless{"exp", exp_sig, 1.0f, 0, 2.7182817f}, Stateless{"lgn", ln_sig, 7.389056f, 0, 2.0f},
        Stateless{"lg1", log10_sig, 1000.0f, 0, 3.0f}, Stateless{"pow", pow_sig, 2.0f, 10.0f, 1024.0f},
        Stateless{"sqt", sqrt_sig, 2.25f, 0, 1.5f}, Stateless{"sin", sin_sig, 30.0f, 0, 0.5f},
        Stateless{"cos", cos_sig, 60.0f, 0, 0.5f}, Stateless{"tan", tan_sig, 45.0f, 0, 1.0f},
        Stateless{"mdu", fmod_sig, 7.5f, 2.0f, 1.5f}, Stateless{"mduNegative", fmod_sig, -7.5f, 2.0f, -1.5f},
        Stateless{"cel", ceil_sig, -1.5f, 0, -1.0f}, Stateless{"flr", floor_sig, -1.5f, 0, -2.0f},
        Stateless{"celLarge", ceil_sig, 16777216.0f, 0, 16777216.0f}),
    [](const ::testing::TestParamInfo<Stateless>& info) { return std::string(info.param.name); });

// ---- Stateful signals -------------------------------------------------------------------

// One step: its end time [s] (its start is 10 s earlier, 0 for the first evaluation at the
// start time), the inputs and the output worked out by hand. The control clock stands at
// the end of the step before the first one: a sequence from 0 starts the clock there. A
// step that ends where the one before it ended is an evaluation at the same instant: no
// time passes, and the stateful types advance nothing.
struct Step {
    int end;
    float in1, in2, out;
    int day = 1;   // of the year; end 86400 is day 1's 24:00, the next day's 0:00 is {0, ..., 2}
};

// Data of every type a case may use.
struct Store {
    float set = 0.0f;
    SensorData sns{};
    LogData log{};
    ModData mod{};
    HysData hys{};
    DlsData dls{};
    DlxData dlx{};
    IntData integ{};
    RavData rav{};
    SumData sum{};
    PicData pic{};
    PolyData poly{};
    ListStepData list{};
    float listed[3] = {2.0f, -1.0f, 5.0f};
    float* vals[3] = {&listed[0], &listed[1], &listed[2]};
    float coef[3] = {1.0f, -2.0f, 3.0f};
    // Rising delay: 0 at the change to 1 after 20 s; falling: 1 to 0 over 40 s (linear).
    int riseTimes[3] = {0, 20, 86400};
    float riseValues[3] = {0.0f, 1.0f, 1.0f};
    int fallTimes[3] = {0, 40, 86400};
    float fallValues[3] = {1.0f, 0.0f, 0.0f};
    DaySchedRec rise{nullptr, 0.0f, riseTimes, riseValues, 0, 3, DSCH_LINEAR, 1, 0};
    DaySchedRec fall{nullptr, 0.0f, fallTimes, fallValues, 0, 3, DSCH_LINEAR, 2, 0};
};

struct Sequence {
    const char* name;
    CTRL_SIGNAL_FN fn;
    void (*setup)(CtrlNode& node, Store& s);
    std::vector<Step> steps;
};
class StatefulSignal : public ::testing::TestWithParam<Sequence> {
protected:
    void SetUp() override
    {
        _dt = 10.0f;
        _dti = 0.1f;
        _time_list = 30;
        ctrlClock_reset();
    }
    void TearDown() override
    {
        ctrlClock_reset();
        _stepStartTime = _stepEndTime = 0;
        _dt = _dti = 0.0f;
        _time_list = 0;
    }
};

TEST_P(StatefulSignal, CarriesItsStateAcrossSteps)
{
    const Sequence& c = GetParam();
    Store store;
    CtrlNode node{};
    float a = 0.0f, b = 0.0f;
    node.input1 = &a;
    node.input2 = &b;
    node.number = 3;
    c.setup(node, store);
    if (c.steps[0].end > 0) ctrlClock_advance(1, c.steps[0].end - 10);
    for (size_t k = 0; k < c.steps.size(); k++) {
        const Step& s = c.steps[k];
        _stepEndTime = s.end;
        _stepStartTime = s.end > 0 ? s.end - 10 : 0;
        ctrlClock_advance(s.day, s.end);
        a = s.in1;
        b = s.in2;
        c.fn(&node);
        EXPECT_NEAR(node.value, s.out, 2e-6f * std::fmax(1.0f, std::fabs(s.out))) << "step " << k;
    }
    if (c.fn == rav_sig) rav_free(&node);
}

const Sequence sequences[] = {
    // First evaluation 0, inputs not read; then in2 > 0 integrates by the trapezoid rule,
    // in2 = 0 closes the running half step and holds, in2 < 0 resets.
    {"Integrator", int_sig, [](CtrlNode& n, Store& s) { n.data = &s.integ; },
     {{0, 9, 9, 0}, {10, 1, 1, 5}, {10, 1, 1, 5}, {20, 3, 1, 25}, {30, 5, 0, 40}, {40, 7, 0, 40}, {50, 2, -1, 0},
      {60, 2, 1, 20}}},
    // Window 30 s of 10 s steps: the last 3 values; the first evaluation only allocates.
    {"RunningAverage", rav_sig, [](CtrlNode& n, Store& s) { s.rav.window = 30; n.data = &s.rav; },
     {{0, 1, 0, 0}, {10, 3, 0, 3}, {20, 6, 0, 4.5f}, {30, 9, 0, 6}, {40, 12, 0, 9}, {50, 15, 0, 12}}},
    // An evaluation at the same instant takes the place of that instant's sample.
    {"RunningAverageAtTheSameInstant", rav_sig, [](CtrlNode& n, Store& s) { s.rav.window = 30; n.data = &s.rav; },
     {{0, 1, 0, 0}, {10, 3, 0, 3}, {20, 6, 0, 4.5f}, {20, 8, 0, 5.5f}, {30, 9, 0, 6.6666667f}}},
    // A window of one step averages one value: the value itself.
    {"RunningAverageOfOneValue", rav_sig, [](CtrlNode& n, Store& s) { s.rav.window = 10; n.data = &s.rav; },
     {{0, 1, 0, 0}, {10, 4, 0, 4}, {20, 7, 0, 7}, {30, 1, 0, 1}}},
    // A window shorter than half a step still averages one value.
    {"RunningAverageOfNoWindow", rav_sig, [](CtrlNode& n, Store& s) { n.data = &s.rav; },
     {{0, 1, 0, 0}, {10, 4, 0, 4}, {20, 7, 0, 7}}},
    // in1 x dt summed; steps starting at 0 and 30 s end their accumulation. The first
    // evaluation, at the start, integrates over no time.
    {"ListingStepIntegral", intrts_sig, [](CtrlNode& n, Store& s) { n.data = &s.list; },
     {{0, 2, 0, 0}, {10, 2, 0, 20}, {20, 4, 0, 40}, {20, 4, 0, 40}, {30, 6, 0, 100}, {40, 8, 0, 180}, {50, 1, 0, 10}}},
    {"ListingStepAverage", avgrts_sig, [](CtrlNode& n, Store& s) { n.data = &s.list; },
     {{0, 2, 0, 2}, {10, 2, 0, 2}, {20, 4, 0, 4}, {30, 6, 0, 5}, {40, 8, 0, 6}, {50, 1, 0, 1}}},
    {"ListingStepTrapezoid", intrts_sig, [](CtrlNode& n, Store& s) { s.list.trapezoid = 1; n.data = &s.list; },
     {{20, 4, 0, 20}, {30, 6, 0, 70}, {40, 8, 0, 140}, {50, 1, 0, 45}}},
    // Width 0.2, gain 10: the state follows a rise only beyond the width, a fall at once.
    {"Hysteresis", hys_sig, [](CtrlNode& n, Store& s) { s.hys = {0.2f, 10.0f, 0.0f}; n.data = &s.hys; },
     {{10, 0.1f, 0, 0}, {20, 0.5f, 0, 3}, {30, 0.4f, 0, 3}, {40, 0.1f, 0, 1}, {50, 2.0f, 0, 8}}},
    // Band 1 below/above a limit of 5: off until past the band, on until past the limit.
    {"LowerBandSwitch", lbs_sig, [](CtrlNode& n, Store& s) { s.set = 1.0f; n.data = &s.set; },
     {{10, 5.5f, 5, 0}, {20, 6.5f, 5, 1}, {30, 5.2f, 5, 1}, {40, 4.9f, 5, 0}}},
    {"UpperBandSwitch", ubs_sig, [](CtrlNode& n, Store& s) { s.set = 1.0f; n.data = &s.set; },
     {{10, 4.5f, 5, 0}, {20, 3.5f, 5, 1}, {30, 4.9f, 5, 1}, {40, 5.1f, 5, 0}}},
    // Kp 0.5, Ki 0.01 from output 0.2 and input 0: 0.2 + 0.5 x 0.4 + 0.5 x 10 x 0.01 x 0.4.
    {"ProportionalIntegral", pic_sig,
     [](CtrlNode& n, Store& s) { s.pic = {0.5f, 0.01f, 0.2f, 0.0f}; n.data = &s.pic; },
     {{10, 0.4f, 0, 0.42f}, {20, 0.4f, 0, 0.46f}, {20, 0.4f, 0, 0.46f}, {30, 3.0f, 0, 1}, {40, -3.0f, 0, 0}}},
    // Kp 0.5, Ki 0.02 from output 0.9: the first step saturates at 1; the next starts from
    // that 1 (not the unclamped 1.14): 1 + 0.5 x (0.2 - 0.4) + 0.5 x 10 x 0.02 x (0.4 + 0.2),
    // and an input turning negative takes the integral term below zero with it.
    {"ProportionalIntegralFromSaturation", pic_sig,
     [](CtrlNode& n, Store& s) { s.pic = {0.5f, 0.02f, 0.9f, 0.0f}; n.data = &s.pic; },
     {{10, 0.4f, 0, 1}, {20, 0.2f, 0, 0.96f}, {30, -0.4f, 0, 0.64f}, {40, -0.4f, 0, 0.56f}}},
    {"Proportional", pc_sig, [](CtrlNode& n, Store& s) { s.set = 0.25f; n.data = &s.set; },
     {{10, 2, 0, 0.5f}, {20, 8, 0, 1}, {30, -1, 0, 0}}},
    // Time constants 10 s up and 20 s down: a change moves by (1 - exp(-dt/tau)) x
    // exp(-1/2) of the gap, later steps by the full factor.
    {"ExponentialDelay", dlx_sig,
     [](CtrlNode& n, Store& s) { s.dlx.tau_rise = 10; s.dlx.tau_fall = 20; n.data = &s.dlx; },
     {{0, 0, 0, 0}, {10, 1, 0, 0.38340046f}, {20, 1, 0, 0.77316571f}, {20, 1, 0, 0.77316571f}, {30, 0, 0, 0.58864879f},
      {40, 0, 0, 0.35703354f}}},
    // A rise of 2 at mid-step (5 s): the rising schedule at 5 s and 15 s after it gives
    // 0.25 and 0.75 of the rise; a fall of 2 follows the falling schedule from 1 down.
    {"ScheduleDelay", dls_sig,
     [](CtrlNode& n, Store& s) {
         s.dls.rise = &s.rise;
         s.dls.fall = &s.fall;
         n.data = &s.dls;
     },
     {{0, 0, 0, 0}, {10, 2, 0, 0.5f}, {20, 2, 0, 1.5f}, {30, 2, 0, 2}, {40, 2, 0, 2}, {50, 0, 0, 1.75f},
      {60, 0, 0, 1.25f}}},
    // Resumed from a restart record: evaluated at the start (input 1, or 2) and then given the
    // output 0 of the record. The gap is a change at the first step, as in the cases above.
    {"ExponentialDelayResumed", dlx_sig,
     [](CtrlNode& n, Store& s) {
         s.dlx = {10, 20, 1.0f, 0.0f, 1};
         n.data = &s.dlx;
     },
     {{10, 1, 0, 0.38340046f}, {20, 1, 0, 0.77316571f}}},
    {"ScheduleDelayResumed", dls_sig,
     [](CtrlNode& n, Store& s) {
         s.dls.rise = &s.rise;
         s.dls.fall = &s.fall;
         s.dls.last_input = 2.0f;
         s.dls.first_done = 1;
         n.data = &s.dls;
     },
     {{10, 2, 0, 0.5f}, {20, 2, 0, 1.5f}, {30, 2, 0, 2}}},
    // Time constants far apart, 5 s up and 50 s down: a rise follows its own, a fall its own.
    {"ExponentialDelayQuickRise", dlx_sig,
     [](CtrlNode& n, Store& s) { s.dlx.tau_rise = 5; s.dlx.tau_fall = 50; n.data = &s.dlx; },
     {{0, 0, 0, 0}, {10, 1, 0, 0.52444561f}, {20, 1, 0, 0.93564071f}}},
    {"ExponentialDelaySlowFall", dlx_sig,
     [](CtrlNode& n, Store& s) { s.dlx.tau_rise = 5; s.dlx.tau_fall = 50; n.data = &s.dlx; },
     {{0, 1, 0, 1}, {10, 0, 0, 0.89005465f}, {20, 0, 0, 0.72871512f}}},
    // Open for two steps of 2, shut for two: the shutting step adds half a step of the
    // last input, the next nothing; opened again, the trapezoid of the step before it.
    {"IntegratorShutAndOpenedAgain", int_sig, [](CtrlNode& n, Store& s) { n.data = &s.integ; },
     {{0, 2, 1, 0}, {10, 2, 1, 10}, {20, 2, 0, 20}, {30, 4, 0, 20}, {40, 4, 1, 60}}},
    // Across midnight: 24:00 and the next day's 0:00 are one instant, where no time passes,
    // and the next step is a whole step on from it.
    {"IntegratorAcrossMidnight", int_sig, [](CtrlNode& n, Store& s) { n.data = &s.integ; },
     {{86390, 9, 9, 0}, {86400, 1, 1, 5}, {0, 1, 1, 5, 2}, {10, 3, 1, 25, 2}}},
    {"ExponentialDelayAcrossMidnight", dlx_sig,
     [](CtrlNode& n, Store& s) { s.dlx.tau_rise = 10; s.dlx.tau_fall = 20; n.data = &s.dlx; },
     {{86390, 0, 0, 0}, {86400, 1, 0, 0.38340046f}, {0, 1, 0, 0.38340046f, 2}, {10, 1, 0, 0.77316571f, 2}}},
    {"ProportionalIntegralAcrossMidnight", pic_sig,
     [](CtrlNode& n, Store& s) { s.pic = {0.5f, 0.01f, 0.2f, 0.0f}; n.data = &s.pic; },
     {{86400, 0.4f, 0, 0.42f}, {0, 0.4f, 0, 0.42f, 2}, {10, 0.4f, 0, 0.46f, 2}}},
    {"SensorLagAcrossTheYearsEnd", sns_sig,
     [](CtrlNode& n, Store& s) {
         s.sns.tau = 20.0f;
         n.flags = 0x02;
         n.data = &s.sns;
     },
     {{86390, 2, 0, 2, 365}, {86400, 1, 0, 1.60653066f, 365}, {0, 1, 0, 1.60653066f, 1}, {10, 1, 0, 1.36787944f, 1}}},
    // Lag of 20 s on (x - 1) x 2: exp(-1/2) of the gap remains after each step.
    {"SensorWithOffsetScaleAndLag", sns_sig,
     [](CtrlNode& n, Store& s) {
         s.sns.offset = 1.0f;
         s.sns.scale = 2.0f;
         s.sns.tau = 20.0f;
         n.flags = 0x03;
         n.data = &s.sns;
     },
     {{0, 2, 0, 2}, {0, 2, 0, 2}, {10, 1, 0, 1.21306132f}, {10, 1, 0, 1.21306132f}, {20, 1, 0, 0.73575888f}}},
    {"Log", log_sig, [](CtrlNode& n, Store& s) { s.log.offset = 2; s.log.scale = 3; n.data = &s.log; },
     {{10, 5, 0, 9}}},
    {"Mod", mod_sig, [](CtrlNode& n, Store& s) { s.mod = {-1.0f, 0.5f}; n.data = &s.mod; },
     {{10, 5, 0, 3}}},
    {"Polynomial", poly_sig, [](CtrlNode& n, Store& s) { s.poly = {2, s.coef}; n.data = &s.poly; },
     {{10, 2, 0, 9}, {20, -1, 0, 6}}},
    {"Sum", sum_sig, [](CtrlNode& n, Store& s) { s.sum = {3, nullptr, s.vals}; n.data = &s.sum; }, {{10, 0, 0, 6}}},
    {"Average", avg_sig, [](CtrlNode& n, Store& s) { s.sum = {3, nullptr, s.vals}; n.data = &s.sum; },
     {{10, 0, 0, 2}}},
    {"Maximum", max_sig, [](CtrlNode& n, Store& s) { s.sum = {3, nullptr, s.vals}; n.data = &s.sum; },
     {{10, 0, 0, 5}}},
    {"Minimum", min_sig, [](CtrlNode& n, Store& s) { s.sum = {3, nullptr, s.vals}; n.data = &s.sum; },
     {{10, 0, 0, -1}}},
    // Without inputs sum, max and min give 0 and the average keeps its output.
    {"SumOfNone", sum_sig, [](CtrlNode& n, Store& s) { n.value = 7; n.data = &s.sum; }, {{10, 0, 0, 0}}},
    {"MaximumOfNone", max_sig, [](CtrlNode& n, Store& s) { n.value = 7; n.data = &s.sum; }, {{10, 0, 0, 0}}},
    {"MinimumOfNone", min_sig, [](CtrlNode& n, Store& s) { n.value = 7; n.data = &s.sum; }, {{10, 0, 0, 0}}},
    {"AverageOfNone", avg_sig, [](CtrlNode& n, Store& s) { n.value = 7; n.data = &s.sum; }, {{10, 0, 0, 7}}},
    // The constant keeps the value the network build gave it.
    {"Constant", set_sig, [](CtrlNode& n, Store&) { n.value = 0.6f; }, {{10, 3, 0, 0.6f}}},
};

INSTANTIATE_TEST_SUITE_P(Types, StatefulSignal, ::testing::ValuesIn(sequences),
                         [](const ::testing::TestParamInfo<Sequence>& info) {
                             return std::string(info.param.name);
                         });

// The control clock itself: the time that passes from one evaluation to the next.
struct ClockCase {
    const char* name;
    int day0, time0, day1, time1;
    float elapsed;   // of a step of 10 s
};
class ControlClock : public ::testing::TestWithParam<ClockCase> {
protected:
    void SetUp() override
    {
        _dt = 10.0f;
        ctrlClock_reset();
    }
    void TearDown() override
    {
        ctrlClock_reset();
        _dt = 0.0f;
    }
};

TEST_P(ControlClock, AdvancesByTheStepUnlessTheInstantIsTheSame)
{
    const ClockCase& c = GetParam();
    ctrlClock_advance(c.day0, c.time0);
    EXPECT_EQ(_ctrlClock.elapsed, 0.0f) << "the first evaluation";
    ctrlClock_advance(c.day1, c.time1);
    EXPECT_EQ(_ctrlClock.elapsed, c.elapsed);
    // The clock stands at the next day's 0:00 after a day's 24:00.
    EXPECT_EQ(_ctrlClock.time, c.time1 % 86400);
    EXPECT_EQ(_ctrlClock.day, c.time1 >= 86400 ? c.day1 % 365 + 1 : c.day1);
}

INSTANTIATE_TEST_SUITE_P(Instants, ControlClock,
                         ::testing::Values(ClockCase{"DayEndThenNextDayStart", 1, 86400, 2, 0, 0.0f},
                                           ClockCase{"NextDayStartThenDayEnd", 2, 0, 1, 86400, 0.0f},
                                           ClockCase{"YearEndThenNewYear", 365, 86400, 1, 0, 0.0f},
                                           ClockCase{"DayEndTwice", 3, 86400, 3, 86400, 0.0f},
                                           ClockCase{"ToTheDayEnd", 1, 86390, 1, 86400, 10.0f},
                                           ClockCase{"FromTheDayEnd", 1, 86400, 2, 10, 10.0f},
                                           ClockCase{"DayEndAgainstThatDaysStart", 2, 0, 2, 86400, 10.0f},
                                           ClockCase{"SameTimeOfAnotherDay", 1, 3600, 2, 3600, 10.0f}),
                         [](const ::testing::TestParamInfo<ClockCase>& info) { return std::string(info.param.name); });

TEST(ControlFatal, LaggedSensorWithoutTimeConstantStopsTheRun)
{
    SensorData s{};
    float x = 1.0f;
    CtrlNode node{};
    node.input1 = &x;
    node.flags = 0x02;
    node.number = 12;
    node.data = &s;
    EXPECT_EXIT(sns_sig(&node), ::testing::ExitedWithCode(2), "FATAL Invalid time constant; sensor 12");
}

TEST(ControlFatal, DivisionByZeroStopsTheRun)
{
    float a = 1.0f, b = 0.0f;
    CtrlNode node{};
    node.input1 = &a;
    node.input2 = &b;
    node.number = 4;
    EXPECT_EXIT(div_sig(&node), ::testing::ExitedWithCode(2), "FATAL Divide by zero; control: 4");
    EXPECT_EXIT(fmod_sig(&node), ::testing::ExitedWithCode(2), "FATAL Divide by zero; control: 4");
    a = 0.0f;
    EXPECT_EXIT(ln_sig(&node), ::testing::ExitedWithCode(2), "FATAL Input <= 0; control: 4");
    a = -1.0f;
    EXPECT_EXIT(sqrt_sig(&node), ::testing::ExitedWithCode(2), "FATAL Square root of negative number; control: 4");
}

}  // namespace
