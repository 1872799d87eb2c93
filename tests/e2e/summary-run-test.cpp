// End-to-end text summaries of transient runs: the air changes and the age of air of a
// room of 50 m3 supplied with 0.1 kg/s by a fan that a schedule runs for the steps ending
// after 8:00 up to 18:00 (60 of the day's 144 ten-minute steps), and the FATAL end of an
// air-change density that is not positive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e-util.h"

namespace {

// The air-change rate of the running fan: 0.1 kg/s x 3600 s/h / (1.2041 kg/m3 x 50 m3).
const double FAN_ACH = 0.1 * 3600.0 / (1.2041 * 50.0);
// The share of the day's steps with the fan running.
const double ON_SHARE = 60.0 / 144.0;

class SummaryRun : public E2eTest {
protected:
    // The scheduled-fan project over two days with the air-change and age switches on.
    void writeProject(const std::string& achDensity = "1.2041")
    {
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/scheduled-fan.prj");
        replace(prj, "\n0 0 0 0 0 0 0 0\n", "\n0 1 1 0 0 0 1 1\n");
        replace(prj, "\n1.2041 9.8055 ", "\n" + achDensity + " 9.8055 ");
        std::ofstream(dir + "fan.prj", std::ios::binary) << prj;
    }
    static void replace(std::string& text, const std::string& from, const std::string& to)
    {
        size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
};

TEST_F(SummaryRun, ScheduledFanGivesItsAirChangeRateAndItsDailyStatistics)
{
    writeProject();
    Outcome r = runEngine("fan.prj", "fan.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::string ach = slurp(dir + "fan.ach");
    EXPECT_EQ(ach.substr(0, ach.find('\n') + 1), "1/1\t1/2\t3600\t1\t1\t50.00\n");
    EXPECT_NEAR(num(fieldsOf(ach, "1/1\t07:00:00\t"), 4), 0.0, 1e-12);
    for (const char* t : {"1/1\t09:00:00\t", "1/2\t18:00:00\t"}) {
        std::vector<std::string> f = fieldsOf(ach, t);
        EXPECT_NEAR(num(f, 2), FAN_ACH, 1e-5 * FAN_ACH) << t;   // path
        EXPECT_EQ(num(f, 3), 0.0) << t;                          // duct
        EXPECT_NEAR(num(f, 4), FAN_ACH, 1e-5 * FAN_ACH) << t;   // total
    }
    EXPECT_TRUE(fieldsOf(ach, "1/1\t09:10:00").empty());   // listed hourly only
    // The day: a two-valued rate, mean p r and deviation r sqrt(p (1 - p)); the minimum
    // first at the day's first step, the maximum at the first step of the fan.
    double mean = ON_SHARE * FAN_ACH, dev = FAN_ACH * std::sqrt(ON_SHARE * (1.0 - ON_SHARE));
    for (const char* head : {"1/1\ttotal\t", "1/2\ttotal\t", "final\ttotal\t", "final\tpath\t"}) {
        std::vector<std::string> f = fieldsOf(ach, head);
        ASSERT_EQ(f.size(), 8u) << head;
        EXPECT_NEAR(num(f, 2), mean, 1e-5 * mean) << head;
        EXPECT_NEAR(num(f, 3), dev, 1e-5 * dev) << head;
        EXPECT_EQ(num(f, 5), 0.0) << head;
        EXPECT_NEAR(num(f, 7), FAN_ACH, 1e-5 * FAN_ACH) << head;
        bool final = head[0] == 'f';
        EXPECT_EQ(f[4], final ? "1/1" : "00:10:00") << head;
        EXPECT_EQ(f[6], final ? "1/1" : "08:10:00") << head;
    }
    EXPECT_NE(r.log.find("Max relative imbalance in air exchange flows: "), std::string::npos);
}

// The room's air mass M = 50 m3 x 1.2041 kg/m3 is renewed by F = 0.1 kg/s: age M/F. With
// the fan off no air moves and the age is that of the smallest flow, M / 1e-6 kg/s.
TEST_F(SummaryRun, RoomAgeIsItsAirMassOverTheFanFlow)
{
    writeProject();
    Outcome r = runEngine("fan.prj", "fan.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::string age = slurp(dir + "fan.age");
    const double M = 50.0 * 1.2041;
    const double on = M / 0.1 / 3600.0, off = M / 1e-6 / 3600.0;
    const double tol = 3e-4;   // the outflow meets the fan flow within the airflow convergence
    EXPECT_EQ(age.substr(0, age.find('\n') + 1), "1\t1/1\t1/2\t3600\t1\t1\n");
    EXPECT_NEAR(num(fieldsOf(age, "1/1\t12:00:00\t"), 2), on, tol * on);
    EXPECT_NEAR(num(fieldsOf(age, "1/2\t07:00:00\t"), 2), off, tol * off);
    std::vector<std::string> day = fieldsOf(age, "1/2\t1\t");
    ASSERT_EQ(day.size(), 8u);
    EXPECT_NEAR(num(day, 2), ON_SHARE * on + (1.0 - ON_SHARE) * off, tol * off);
    EXPECT_EQ(day[4], "08:10:00");
    EXPECT_NEAR(num(day, 5), on, tol * on);
    EXPECT_EQ(day[6], "00:10:00");
    // Every node's inflow and outflow balance over the run, the ambient listed last.
    EXPECT_NE(r.log.find("Age-of-air balance data: |row[n] - col[n]|/(row[n] + col[n])\n  "), std::string::npos);
    EXPECT_NE(r.log.find(" j 1\n"), std::string::npos);
    EXPECT_EQ(r.err.find("Review age-of-air balance"), std::string::npos);
}

TEST_F(SummaryRun, NonPositiveAirChangeDensityIsFatalBeforeTheRun)
{
    for (const char* density : {"0", "-1.2"}) {
        writeProject(density);
        Outcome r = runEngine("fan.prj", "fan.prj");
        EXPECT_EQ(r.status, 2) << density;
        EXPECT_NE(r.err.find("FATAL Air-change density must be greater than 0 kg/m3: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(": set ach_dens in Run Control above 0 (e.g. 1.2041, air at 20 C)\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("Running steady-state initialization"), std::string::npos) << density;
        EXPECT_FALSE(exists(dir + "fan.ach")) << density;
    }
}

}  // namespace
