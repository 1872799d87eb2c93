// End-to-end contaminant summaries of a day of ten-minute implicit steps in a room of 50 m3
// that a fan supplies with F = 0.05 kg/s of outdoor air and an opening relieves. A tracer
// decay: the room starts at 1e-2 with no release and falls by r = M / (M + F dt) each step
// toward the outdoor 6.08e-4. A mass balance: with clean outdoor air, a release G = 1e-5
// kg/s and a sink removing R = 0.02 kg/s of room air, what is released is removed by the
// sink, carried out through the opening or still in the room's air.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "e2e-util.h"

namespace {

const double DT = 600.0, F = 0.05, OUTDOOR = 6.08e-4, START = 1e-2;
const double M = 50.0 * 1.2041;   // room air [kg]

class ContaminantSummary : public E2eTest {
protected:
    // Runs the project with its two result-switch lines (ach .. age_stats; rzf .. logc)
    // replaced by `switches` and the other edits made, contaminants transient (sim_mf 2) or
    // cyclic (3).
    Outcome run(const std::string& switches, std::vector<Edit> edits, int simMf = 2)
    {
        edits.push_back({"1 0 1e-4 1e-15 0 0", std::to_string(simMf) + " 0 1e-4 1e-15 0 0"});
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ventilated-co2.prj");
        const std::string off = "\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0\n";
        size_t at = prj.find(off);
        EXPECT_NE(at, std::string::npos);
        if (at != std::string::npos) prj.replace(at, off.size(), "\n" + switches + "\n");
        std::ofstream(dir + "room.prj") << edited(prj, edits);
        return runEngine("room.prj", "room.prj");
    }
};

TEST_F(ContaminantSummary, TracerDecaysWithItsDailyMeanAndExtremes)
{
    Outcome r = run("0 0 0 1 0 0 0 0\n0 0 0 0 0 0",   // cbw_stats
                    {{"1e-5 0 0 0", "0 0 0 0"},       // no release
                     {"1 6.08e-4", "1 1e-2"}});
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::string cbw = slurp(dir + "room.cbw");
    EXPECT_EQ(cbw.substr(0, cbw.find("\n1/1")), "1\t1\t1/1\t1/1\nday\tzone\tctm\tavg\tdev\tmin\tmin\tmax\tmax");
    // The excess over outdoors after step n is d r^n: its day mean and deviation.
    const double r1 = M / (M + F * DT), d = START - OUTDOOR;
    double s1 = 0.0, s2 = 0.0;
    for (int n = 1; n <= 144; n++) {
        s1 += std::pow(r1, n) / 144.0;
        s2 += std::pow(r1, 2 * n) / 144.0;
    }
    std::vector<std::string> room = fieldsOf(cbw, "1/1\t1\t1\t");
    ASSERT_EQ(room.size(), 9u) << cbw;
    EXPECT_NEAR(num(room, 3) - OUTDOOR, d * s1, 2e-3 * d * s1);
    EXPECT_NEAR(num(room, 4), d * std::sqrt(s2 - s1 * s1), 2e-3 * d * std::sqrt(s2 - s1 * s1));
    EXPECT_NEAR(num(room, 6), OUTDOOR, 1e-3 * OUTDOOR);
    EXPECT_EQ(room[7], "00:10:00");   // the first step is the highest
    EXPECT_NEAR(num(room, 8) - OUTDOOR, d * r1, 2e-3 * d * r1);
    // The ambient, zone 0, comes first and never changes: its first step holds both extremes.
    std::vector<std::string> ambient = fieldsOf(cbw, "1/1\t0\t1\t");
    ASSERT_EQ(ambient.size(), 9u);
    EXPECT_LT(cbw.find("1/1\t0\t1\t"), cbw.find("1/1\t1\t1\t"));
    EXPECT_NEAR(num(ambient, 3), OUTDOOR, 1e-9);
    // Not quite 0: the divisor's reciprocal is taken in single precision.
    EXPECT_LT(num(ambient, 4), 1e-4 * OUTDOOR);
    EXPECT_EQ(ambient[5], "00:10:00");
    EXPECT_EQ(ambient[7], "00:10:00");
    std::vector<std::string> fin = fieldsOf(cbw, "final\t1\t1\t");
    ASSERT_EQ(fin.size(), 9u);
    EXPECT_EQ(fin[3], room[3]);
    EXPECT_EQ(fin[7], "1/1");
}

// The room's air mass and CO2 at the last listed time, from the results database.
void roomAtEnd(const std::string& db, double* mass, double* mf)
{
    sqlite3* h = nullptr;
    *mass = *mf = NAN;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        const char* sql = "SELECT c.C0, z.Density FROM NODEZONECCDATA c JOIN NODEZONEFLOWDATA z "
                          "ON z.TimeID = c.TimeID ORDER BY c.TimeID DESC LIMIT 1";
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
            *mf = sqlite3_column_double(st, 0);
            *mass = sqlite3_column_double(st, 1) * 50.0;
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(h);
}

TEST_F(ContaminantSummary, SourceSinkAndEnvelopeMassesCloseTheSpeciesBalance)
{
    Outcome r = run("0 0 0 0 0 0 0 0\n0 0 0 1 0 0",   // csm
                    {{"1 ! source/sink elements", "2 ! source/sink elements"},
                     {"1e-5 0 0 0", "1e-5 0 0 0\n2 CO2 ccf sink\nA removal of 0.02 kg/s of room air\n0 0.02 0 0"},
                     {"1 ! sources", "2 ! sources"},
                     {"1 1 1 0 0 1 ", "1 1 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n2 1 2 0 0 1 0 0 0 0 0 0 0 0 0 0 0"},
                     {"1 0 0 44.0 0 0 0 1.6e-5 6.08e-4", "1 0 0 44.0 0 0 0 1.6e-5 0 840 0 0 0 0 0 0 CO2"},
                     {"1 6.08e-4", "1 0"}});
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::string csm = slurp(dir + "room.csm");
    EXPECT_EQ(csm.substr(0, 10), "Project:  ");
    EXPECT_NE(csm.find("\n1\tcontaminants\nName\tEffDens\tMeanDiameter\nCO2\t"), std::string::npos) << csm;
    EXPECT_NE(csm.find("\nContaminant source/sink summary.\n2\tsource/sinks\n"), std::string::npos) << csm;
    std::vector<std::string> source = fieldsOf(csm, "1\tccf\tCO2\t1\t");
    std::vector<std::string> sink = fieldsOf(csm, "2\tccf\tCO2\t1\t");
    size_t amb = csm.find("\nInteractions with ambient.\ncontaminant\tmass from\tmass to [kg]\n");
    ASSERT_NE(amb, std::string::npos) << csm;
    std::vector<std::string> out = fieldsOf(csm.substr(amb + 1), "CO2\t");
    ASSERT_EQ(source.size(), 15u) << csm;
    ASSERT_EQ(sink.size(), 15u) << csm;
    const double released = num(source, 12), removed = num(sink, 13), exported = num(out, 2);
    EXPECT_NEAR(released, (double)1e-5f * 86400.0, 1e-6 * released);
    EXPECT_EQ(num(source, 13), 0.0);
    EXPECT_EQ(num(out, 1), 0.0);   // clean outdoor air brings nothing in
    // The sink and the opening take the room's air at 0.02 and 0.05 kg/s.
    EXPECT_NEAR(removed / exported, 0.02 / F, 1e-3);
    double mass = 0.0, mf = 0.0;
    roomAtEnd(dir + "room.sqlite3", &mass, &mf);
    EXPECT_NEAR(mf, (double)1e-5f / (0.02 + F), 1e-3 * mf);   // the steady end
    EXPECT_NEAR(released, removed + exported + mass * mf, 2e-5 * released);
    EXPECT_NE(csm.find("\nSimulation time:\n86400\tseconds\n24\thours\n1\tdays\n\n"), std::string::npos) << csm;
}

// A cyclic run reports its last design day alone, though several unreported days came
// before it: the release G = 1e-5 kg/s gives G x 86400 s, a 50 % filter on the supply is
// challenged with the outdoor CO2 that F brings in a day and keeps half of it, the envelope
// brings in the other half and, the day repeating the one before, carries out what came
// in and what was released.
TEST_F(ContaminantSummary, CyclicRunTotalsCoverTheReportedDayAlone)
{
    Outcome r = run("0 0 0 0 0 0 0 0\n0 0 0 1 0 0",   // csm
                    {{"0 ! filter elements", "1 ! filter elements\n1 cef 1 1 1 0 0 half\nHalf of the CO2\n1\nCO2 0.5"},
                     {"0 ! filters", "1 ! filters\n1 1 1\n0.0 0"},
                     {"1 0 -1 1 2 0", "1 0 -1 1 2 1 0 0 0 0 1 0 0 1.5 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0"}},
                    3);
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::string csm = slurp(dir + "room.csm");
    const double day = 86400.0, challenge = (double)6.08e-4f * F * day;
    std::vector<std::string> source = fieldsOf(csm, "1\tccf\tCO2\t1\t");
    ASSERT_EQ(source.size(), 15u) << csm;
    EXPECT_NEAR(num(source, 12), (double)1e-5f * day, 1e-6 * num(source, 12));
    size_t loading = csm.find("\nFilter loading summary.\n");
    ASSERT_NE(loading, std::string::npos) << csm;
    std::vector<std::string> in = fieldsOf(csm, "1p\t"), held = fieldsOf(csm.substr(loading), "1p\t");
    ASSERT_EQ(in.size(), 3u) << csm;
    ASSERT_EQ(held.size(), 4u) << csm;
    EXPECT_NEAR(num(in, 1), challenge, 1e-5 * challenge);
    EXPECT_NEAR(num(held, 1), 0.5 * challenge, 1e-5 * challenge);
    size_t amb = csm.find("\nInteractions with ambient.\n");
    ASSERT_NE(amb, std::string::npos) << csm;
    std::vector<std::string> env = fieldsOf(csm.substr(amb + 1), "CO2\t");
    EXPECT_NEAR(num(env, 1), 0.5 * challenge, 1e-5 * challenge);
    EXPECT_NEAR(num(env, 2), num(env, 1) + num(source, 12), 1e-4 * num(env, 2));
    EXPECT_NE(csm.find("\nSimulation time:\n86400\tseconds\n"), std::string::npos) << csm;
}

// The laboratory's filters over a transient day: what each filter holds is what it was
// challenged with less what passed it, species by species. The fume-hood path and a supply
// duct each have a combination filter of their own, as the carbon bed on the corridor
// path and the one on a supply terminal.
TEST_F(ContaminantSummary, EveryFilterHoldsWhatItTookFromTheAirThatPassed)
{
    std::string prj = slurp(examplePath("lab"));
    const std::string off = "\n0 0 0 0 0 0\n0 0 1 1 1\n";   // rzf .. logc, then cex .. zcsave
    ASSERT_NE(prj.find(off), std::string::npos);
    prj.replace(prj.find(off), off.size(), "\n0 0 0 1 0 0\n0 0 1 1 1\n");   // csm
    std::ofstream(dir + "lab.prj") << edited(prj, {{"1 0 1e-4 1e-15 0 0", "2 0 1e-4 1e-15 0 0"}});
    Outcome r = runEngine("lab.prj", "lab.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string csm = slurp(dir + "lab.csm");
    size_t challenge = csm.find("\nFilter challenge summary.\n"), loading = csm.find("\nFilter loading summary.\n");
    ASSERT_NE(challenge, std::string::npos) << csm;
    ASSERT_NE(loading, std::string::npos) << csm;
    std::string passed = csm.substr(challenge, loading - challenge), held = csm.substr(loading);
    int checked = 0;
    for (const char* path : {"3p\t", "5p\t", "10p\t", "13p\t", "2d\t", "3t\t"}) {
        size_t at = passed.find(std::string("\n") + path);
        ASSERT_NE(at, std::string::npos) << path << passed;
        std::vector<std::string> in = fieldsOf(passed.substr(at + 1), path);
        std::vector<std::string> out = fieldsOf(passed.substr(passed.find("\n--\t", at) + 1), "--\t");
        std::vector<std::string> load = fieldsOf(held, path);
        ASSERT_EQ(load.size(), 6u) << path << held;
        for (size_t k = 1; k <= 3; k++) {
            EXPECT_NEAR(num(load, k), num(in, k) - num(out, k), 2e-6 * num(in, k)) << path << " species " << k;
            checked++;
        }
    }
    EXPECT_EQ(checked, 18);
}

}  // namespace
