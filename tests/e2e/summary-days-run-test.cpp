// End-to-end text summaries over two days, each against values worked out by hand:
// - the air changes of a room whose outdoor air comes through envelope ducts (a supply fan
//   of 0.05 kg/s and a return fan of 0.03 kg/s, each between two terminals, one outdoors)
//   and through a path fan of 0.02 kg/s that a schedule runs from 8:00 to 18:00, with the
//   SIM file's tables of those nodes and links;
// - the exposure of a worker who moves between two closed rooms of constant CO2 on a
//   schedule of each day type, one that changes at midnight and again within the first step
//   of the second day;
// - the concentration statistics of an outdoor air whose CO2, read from an ambient
//   contaminant file, rises linearly over the first day and falls over the second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "e2e-util.h"

namespace {

// Mean and deviation of values v with weights w, as the summaries define them, the
// reciprocal of the weights' sum given (the concentration statistics form it in float).
struct MeanDev {
    double mean, dev;
};
MeanDev meanDev(const std::vector<double>& v, const std::vector<double>& w, double inverse)
{
    double s = 0.0, sq = 0.0;
    for (size_t k = 0; k < v.size(); k++) {
        s += w[k] * v[k];
        sq += w[k] * v[k] * v[k];
    }
    double mean = s * inverse;
    return {mean, std::sqrt(std::fabs(sq * inverse - mean * mean))};
}

std::string hhmm(int hour)
{
    char text[16];
    snprintf(text, sizeof text, "%02d:00:00", hour);
    return text;
}

// The statistics line `head` holds mean, deviation, time of the minimum, minimum, time of
// the maximum and maximum; each number within rel times the mean of its expected value
// (so that a zero deviation or minimum is held to the same absolute tolerance).
void expectStats(const std::string& text, const std::string& head, double mean, double dev, const std::string& atMin,
                 double min, const std::string& atMax, double max, double rel)
{
    std::vector<std::string> f = fieldsOf(text, head);
    size_t k = (size_t)std::count(head.begin(), head.end(), '\t');   // the fields naming the line
    ASSERT_EQ(f.size(), k + 6) << head << "\n" << text;
    EXPECT_NEAR(num(f, k), mean, rel * std::fabs(mean)) << head;
    EXPECT_NEAR(num(f, k + 1), dev, rel * std::fabs(mean)) << head;
    EXPECT_EQ(f[k + 2], atMin) << head;
    EXPECT_NEAR(num(f, k + 3), min, rel * std::fabs(mean)) << head;
    EXPECT_EQ(f[k + 4], atMax) << head;
    EXPECT_NEAR(num(f, k + 5), max, rel * std::fabs(mean)) << head;
}

class SummaryDays : public E2eTest {
protected:
    // Copies the project `name` of the test projects into the test's directory as run.prj
    // and runs it; the run must end normally.
    void run(const std::string& name)
    {
        copyInto(dir, std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/" + name + ".prj");
        std::rename((dir + name + ".prj").c_str(), (dir + "run.prj").c_str());
        r = runEngine("run.prj", "run.prj");
        ASSERT_EQ(r.status, 0) << r.err << r.log;
    }
    Outcome r;
};

// ---- Air changes through envelope ducts ------------------------------------------------------

// The building's volume: the room's 50 m3 and the ducts' 22 m of 0.0314 m2, which the
// junctions at their ends hold. Rates in air changes per hour at the density 1.2041 kg/m3.
const double VOLUME = 50.0 + 22.0 * 0.0314;
const double PER_KG_S = 3600.0 / (1.2041 * VOLUME);
const double DUCT_ACH = 0.05 * PER_KG_S;   // the supply fan's outdoor air; the return's leaves
const double PATH_ACH = 0.02 * PER_KG_S;   // the path fan while it runs; the opening lets air out
const double ON_SHARE = 60.0 / 144.0;      // ten-minute steps ending 8:10 to 18:00

int32_t int32At(const std::string& b, size_t k)
{
    const unsigned char* p = (const unsigned char*)b.data() + 4 * k;
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

TEST_F(SummaryDays, EnvelopeDuctsBringTheirInflowIntoTheAirChangesAndTheTotalIsTheSum)
{
    run("duct-exchange");
    std::string ach = slurp(dir + "run.ach");
    EXPECT_EQ(ach.substr(0, ach.find('\n') + 1), "1/1\t1/2\t3600\t1\t1\t50.69\n");
    const double tol = 2e-6;   // seven printed digits of single-precision rates
    for (const char* day : {"1/1", "1/2"})
        for (int hour = 1; hour <= 24; hour++) {
            std::vector<std::string> f = fieldsOf(ach, std::string(day) + "\t" + hhmm(hour) + "\t");
            ASSERT_EQ(f.size(), 5u) << day << " " << hour;
            double path = hour >= 9 && hour <= 18 ? PATH_ACH : 0.0;
            EXPECT_NEAR(num(f, 2), path, tol * PATH_ACH) << day << " " << hour;
            EXPECT_NEAR(num(f, 3), DUCT_ACH, tol * DUCT_ACH) << day << " " << hour;
            EXPECT_NEAR(num(f, 4), path + DUCT_ACH, tol * DUCT_ACH) << day << " " << hour;
            EXPECT_NEAR(num(f, 4), num(f, 2) + num(f, 3), tol * DUCT_ACH) << day << " " << hour;
        }
    // Each day and the run: the path fan's two-valued rate (mean p r, deviation
    // r sqrt(p (1 - p))) alone on the path row, the constant duct rate under it in the total.
    const double mean = ON_SHARE * PATH_ACH, dev = PATH_ACH * std::sqrt(ON_SHARE * (1.0 - ON_SHARE));
    for (const char* day : {"1/1", "1/2", "final"}) {
        bool final = day[0] == 'f';
        std::string first = final ? "1/1" : "00:10:00", on = final ? "1/1" : "08:10:00";
        expectStats(ach, std::string(day) + "\tpath\t", mean, dev, first, 0.0, on, PATH_ACH, 1e-5);
        expectStats(ach, std::string(day) + "\tduct\t", DUCT_ACH, 0.0, first, DUCT_ACH, first, DUCT_ACH, 1e-5);
        expectStats(ach, std::string(day) + "\ttotal\t", DUCT_ACH + mean, dev, first, DUCT_ACH, on,
                    DUCT_ACH + PATH_ACH, 1e-5);
    }
    // What enters leaves: the imbalance stays in the log.
    EXPECT_NE(r.log.find("Max relative imbalance in air exchange flows: "), std::string::npos);
    EXPECT_EQ(r.err.find("Max relative imbalance"), std::string::npos) << r.err;

    // The SIM file's header and tables: the room, the six junctions (terminals 1, 3, 4 and 6)
    // and the ambient last; the two paths, the four segments and the four terminals.
    std::string sim = slurp(dir + "run.sim");
    ASSERT_GE(sim.size(), 4u * (17 + 16 + 20));
    const std::vector<int32_t> want = {
        24, 1, 2, 0, 6, 4, 3600, 1, 0, 2, 86400, 1, 1, 0, 8, 0, 10,   // header
        0, 2, 1, 2, 2, 1, 2, 0,                                        // node kinds
        1, 1, 2, 3, 4, 5, 6, 0,                                        // node numbers
        0, 0, 1, 1, 1, 1, 2, 2, 2, 2,                                  // link kinds
        1, 2, 1, 2, 3, 4, 1, 3, 4, 6};                                 // link numbers
    for (size_t k = 0; k < want.size(); k++) EXPECT_EQ(int32At(sim, k), want[k]) << "int32 " << k;
}

// ---- Exposure across midnight --------------------------------------------------------------

// Room A holds 1e-3 and room B 4e-3 kg/kg throughout. On day 1 (day type 1) the worker is
// away until 8:00, in A until 12:30, in B until 22:30, then in A; on day 2 (day type 2) in B
// until 0:20, in A until 1:00, away until 7:00, then in A. An hour's exposure is the mean
// of what was breathed over the time inside; the statistics weight it by that time.
const double A = 1e-3, B = 4e-3;

struct HourBreathed {
    double exposure, inside;   // [kg/kg], [s]
};

HourBreathed breathed(int day, int hour)
{
    if (day == 1) {
        if (hour <= 8) return {0.0, 0.0};
        if (hour <= 12 || hour == 24) return {A, 3600.0};
        if (hour == 13 || hour == 23) return {(A + B) / 2.0, 3600.0};   // half an hour in each
        return {B, 3600.0};
    }
    if (hour == 1) return {(1200.0 * B + 2400.0 * A) / 3600.0, 3600.0};
    if (hour <= 7) return {0.0, 0.0};
    return {A, 3600.0};
}

TEST_F(SummaryDays, OccupantExposureFollowsEachDaysScheduleFromMidnight)
{
    run("occupant-days");
    std::string ebw = slurp(dir + "run.ebw");
    EXPECT_EQ(ebw.substr(0, ebw.find("day\tpexp")), "1\t1\t1/1\t1/2\t3600\t1\t1\nday\ttime\tctm\t1\n");
    std::vector<double> all, allW;
    for (int day = 1; day <= 2; day++) {
        std::vector<double> v, w;
        for (int hour = 1; hour <= 24; hour++) {
            HourBreathed h = breathed(day, hour);
            std::vector<std::string> f = fieldsOf(ebw, "1/" + std::to_string(day) + "\t" + hhmm(hour) + "\t1\t");
            ASSERT_EQ(f.size(), 4u) << day << " " << hour;
            EXPECT_NEAR(num(f, 3), h.exposure, 1e-6 * B) << day << " " << hour;
            v.push_back(h.exposure);
            w.push_back(h.inside);
        }
        all.insert(all.end(), v.begin(), v.end());
        allW.insert(allW.end(), w.begin(), w.end());
        double inside = 0.0;
        for (double x : w) inside += x;
        MeanDev s = meanDev(v, w, 1.0 / inside);
        // Day 1: lowest A at 9:00, highest B at 14:00. Day 2: the mixed first hour is the
        // highest; A from 8:00 the lowest.
        if (day == 1) expectStats(ebw, "1/1\t1\t1\t", s.mean, s.dev, "09:00:00", A, "14:00:00", B, 1e-6);
        else expectStats(ebw, "1/2\t1\t1\t", s.mean, s.dev, "08:00:00", A, "01:00:00", breathed(2, 1).exposure, 1e-6);
    }
    // 16 h inside on day 1 and 18 h on day 2: (46 + 19) x 1e-3 h of exposure over 34 h.
    MeanDev run = meanDev(all, allW, 1.0 / (34.0 * 3600.0));
    EXPECT_NEAR(run.mean, 65e-3 / 34.0, 1e-12);
    expectStats(ebw, "final\t1\t1\t", run.mean, run.dev, "1/1", A, "1/1", B, 1e-6);
}

// ---- Concentration statistics of a known series --------------------------------------------

// Records at 1/1 0:00 (0), 1/2 0:00 (24 k) and 1/3 0:00 (0), k = 1e-5: the outdoor CO2 at
// the end of hour h is k h on day 1 and k (24 - h) on day 2. The closed room keeps 1e-3.
const double K = 1e-5;

TEST_F(SummaryDays, DailyAndRunStatisticsOfTheOutdoorRampAndTheClosedRoom)
{
    std::ofstream(dir + "ramp.ctm") << "SpeciesFile VexlarW 2.0\nOutdoor CO2 up over a day and down over the next\n"
                                       "1/1 1/3\n1\nCO2\n1/1 00:00:00 0\n1/2 00:00:00 2.4e-4\n1/3 00:00:00 0\n";
    run("outdoor-ramp");
    std::string cbw = slurp(dir + "run.cbw");
    EXPECT_EQ(cbw.substr(0, cbw.find("day\tzone")), "1\t1\t1/1\t1/2\n");
    // The divisor's reciprocal is single precision: 1/24 and 1/48 as floats.
    const double day = (double)(1.0f / 24.0f), both = (double)(1.0f / 48.0f);
    std::vector<double> up, down, ones(24, 1.0);
    for (int h = 1; h <= 24; h++) {
        up.push_back(K * h);
        down.push_back(K * (24 - h));
    }
    std::vector<double> all = up;
    all.insert(all.end(), down.begin(), down.end());
    MeanDev d1 = meanDev(up, ones, day), d2 = meanDev(down, ones, day);
    MeanDev run = meanDev(all, std::vector<double>(48, 1.0), both);
    EXPECT_NEAR(d1.mean, 12.5 * K, 1e-6 * K);
    EXPECT_NEAR(d1.dev, K * std::sqrt(575.0 / 12.0), 1e-6 * K);   // (24^2 - 1) / 12
    EXPECT_NEAR(run.dev, K * std::sqrt(9224.0 / 48.0 - 144.0), 1e-6 * K);
    expectStats(cbw, "1/1\t0\t1\t", d1.mean, d1.dev, "01:00:00", K, "24:00:00", 24.0 * K, 1e-6);
    expectStats(cbw, "1/2\t0\t1\t", d2.mean, d2.dev, "24:00:00", 0.0, "01:00:00", 23.0 * K, 1e-6);
    expectStats(cbw, "final\t0\t1\t", run.mean, run.dev, "1/2", 0.0, "1/1", 24.0 * K, 1e-6);
    // The room: its constant value, first seen at the day's first step; the deviation is
    // what the float reciprocal leaves, |24 c (1 - 24 c)|^(1/2) of it.
    const double room = 1e-3;
    double dayDev = room * std::sqrt(std::fabs(24.0 * day * (1.0 - 24.0 * day)));
    double runDev = room * std::sqrt(std::fabs(48.0 * both * (1.0 - 48.0 * both)));
    for (const char* head : {"1/1\t1\t1\t", "1/2\t1\t1\t"})
        expectStats(cbw, head, room * 24.0 * day, dayDev, "01:00:00", room, "01:00:00", room, 1e-6);
    expectStats(cbw, "final\t1\t1\t", room * 48.0 * both, runDev, "1/1", room, "1/1", room, 1e-6);
}

}  // namespace
