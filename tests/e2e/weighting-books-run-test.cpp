// What the trapezoidal weighting (theta 0.5) books in the contaminant summary, checked
// against masses worked out by hand. ventilated-co2.prj: a fan brings F = 0.05 kg/s of
// outdoor air (CO2 6.08e-4) into a 50 m3 room with a release G = 1e-5 kg/s, an opening
// lets it out. gas-filter.prj: the same fan through a gas filter whose efficiency falls
// from 90 % as it loads. decaying-source.prj: a closed 50 m3 room whose release decays
// from 1e-6 kg/s at 1e-4 1/s.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

const double OUTDOOR = 6.08e-4, F = 0.05, G = (double)1e-5f;
const char* const TIMES = "Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 0:10:00 1:00:00 6:00:00";

class WeightedBooks : public E2eTest {
protected:
    // tests/e2e/prj/`project` with its edits, the .csm on, run (from the restart file
    // `rst` when it is given); the run must succeed.
    Outcome run(const std::string& project, const std::vector<Edit>& edits, const std::string& rst = "")
    {
        if (!rst.empty()) std::ofstream(dir + "run.rst", std::ios::binary) << rst;
        std::string prj = edited(slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/" + project), edits);
        const std::string off = "\n0 0 0 0 0 0\n0 0 1 1 1\n";
        size_t at = prj.find(off);
        if (at != std::string::npos) prj.replace(at, off.size(), "\n0 0 0 1 0 0\n0 0 1 1 1\n");
        std::ofstream(dir + "run.prj") << prj;
        Outcome r = runEngine("run.prj", "run.prj");
        EXPECT_EQ(r.status, 0) << r.err;
        return r;
    }
    std::string csm() { return slurp(dir + "run.csm"); }
    // The fields of the summary line that begins with `head` after the heading `section`.
    std::vector<std::string> csmLine(const std::string& section, const std::string& head)
    {
        std::string s = csm();
        size_t at = s.find(section);
        EXPECT_NE(at, std::string::npos) << section << "\n" << s;
        return at == std::string::npos ? std::vector<std::string>() : fieldsOf(s.substr(at), head);
    }
};

// Steady contaminants under transient airflow start from the steady solution: with flows
// that never change, the room stays at outdoors + G / F at every listing, and what the
// source released is what the envelope carried out net.
TEST_F(WeightedBooks, SteadyContaminantsDoNotMoveWhileTheFlowsHold)
{
    run("ventilated-co2.prj", {{"0 1 30 1e-4 1e-5 0.75 0 50 0", "1 1 30 1e-9 1e-12 0.75 0 50 0"},
                               {"0 1 100 1e-4 1e-15 1.1 1 0", "0 1 100 1e-12 1e-15 1.1 0.5 0"},
                               {TIMES, "Jan01 0:00:00 Jan01 0:00:00 Jan01 6:00:00 0:10:00 1:00:00 6:00:00"}});
    const double steady = OUTDOOR + G / F;
    std::vector<std::vector<double>> rows = sqlRows(dir + "run.sqlite3", "SELECT t.Time, c.C0 FROM TIME t JOIN NODEZONECCDATA c "
                                                                         "ON c.TimeID = t.TimeID ORDER BY t.TimeID");
    ASSERT_EQ(rows.size(), 7u);
    for (const std::vector<double>& r : rows) EXPECT_NEAR(r[1], steady, 1e-6 * steady) << "at " << r[0] << " s";
    const double released = num(csmLine("s/s#", "1\tccf\t"), 12);
    std::vector<std::string> env = csmLine("Interactions with ambient.", "CO2\t");
    EXPECT_NEAR(released, G * 6 * 3600.0, 1e-6 * released);
    // The exchange is printed to six digits.
    EXPECT_NEAR(num(env, 2) - num(env, 1), released, 6e-6 * (num(env, 1) + num(env, 2))) << csm();
}

// Trapezoidal weighting books a filter's challenge and passage half at the step start and
// half at its end; the filter must load exactly what the two parts took out of the air,
// while its efficiency falls from 90 % (a relative loading past 0.1 of its 0.5 kg).
TEST_F(WeightedBooks, FilterLoadsWhatItsChallengeLessItsPassageBooks)
{
    run("gas-filter.prj", {{"0 1 100 1e-4 1e-15 1.1 1 0", "0 1 100 1e-4 1e-15 1.1 0.5 0"},
                           {TIMES, "Jan01 0:00:00 Jan01 0:00:00 Jan01 4:00:00 0:01:00 1:00:00 6:00:00"}});
    const std::string s = csm();
    const size_t challenge = s.find("Filter challenge summary."), loading = s.find("Filter loading summary.");
    ASSERT_NE(loading, std::string::npos) << s;
    const double in = num(fieldsOf(s.substr(challenge), "1p\t"), 1);
    const double out = num(fieldsOf(s.substr(challenge), "--\t"), 1);
    const double loaded = num(fieldsOf(s.substr(loading), "1p\t"), 1);
    // Outdoor CO2 through the fan for 4 h, and at least the 10 % the spent bed still takes.
    EXPECT_NEAR(in, OUTDOOR * F * 4 * 3600.0, 1e-5 * in);
    EXPECT_GT(loaded, 0.1 * in);
    EXPECT_NEAR(in - out, loaded, 2e-6 * loaded) << s;
}

// Each species' filter books take the weight of the system that moves it. The ventilated
// room with air and CO2 non-trace and a tracer released at 1e-6 kg/s, its relief opening
// through a filter of constant efficiency (half the CO2, 30 % of the tracer), ten-minute
// steps listed at each: over step n the filter is challenged with dt ((1 - theta) F_n x_n +
// theta F_n+1 x_n+1) of each species, F the relief flow, x the room's mass fraction and
// theta that of its species' system, and it loads what it did not pass. Booked with the
// trace system's weight, the CO2's challenge came out 0.53 % low under 1 / 0.5.
struct Weights {
    const char* name;
    const char* nonTrace;   // theta of each system
    const char* trace;
};

void PrintTo(const Weights& w, std::ostream* os) { *os << w.name; }

class FilterWeights : public WeightedBooks, public ::testing::WithParamInterface<Weights> {};

TEST_P(FilterWeights, EachSpeciesFilterBooksTakeItsOwnSystemsWeight)
{
    const Weights& w = GetParam();
    run("ventilated-co2.prj",
        {{"1 0 1e-4 1e-15 0 0", "2 0 1e-4 1e-15 0 0"},
         {"0 1 100 1e-4 1e-15 1.25 0 0", std::string("0 1 100 1e-9 1e-15 1.25 ") + w.nonTrace + " 0"},
         {"0 1 100 1e-4 1e-15 1.1 1 0", std::string("0 1 100 1e-9 1e-15 1.1 ") + w.trace + " 0"},
         {TIMES, "Jan01 0:00:00 Jan01 0:00:00 Jan01 4:00:00 0:10:00 0:10:00 6:00:00"},
         {"1 1 ! simulated species", "3 1 2 3 ! simulated species\n3 ! species records\n"
                                     "1 0 1 28.9645 0 0 0 2e-5 1 1006 0 0 0 0 0 0 Air\nDry air"},
         {"1 ! species records", ""},
         {"1 0 0 44.0", "2 0 1 44.0 0 0 0 1.6e-5 6.08e-4 840 0 0 0 0 0 0 CO2"},
         {"Carbon dioxide", "Carbon dioxide\n3 0 0 146.0 0 0 0 1e-5 0 660 0 0 0 0 0 0 TRC\nA tracer gas"},
         {"0 ! filter elements", "1 ! filter elements\n1 cef 1 1 1 0 0 part\nPart of the CO2 and the tracer\n2\n"
                                 "CO2 0.5\nTRC 0.3"},
         {"0 ! filters", "1 ! filters\n1 1 1\n0.0 0"},
         {"1 ! source/sink elements", "2 ! source/sink elements"},
         {"1e-5 0 0 0", "1e-5 0 0 0\n2 TRC ccf tracer\nA constant release of 1e-6 kg/s\n1e-6 0 0 0"},
         {"1 ! zone concentrations", "3 ! zone concentrations"},
         {"1 6.08e-4", "1 0.999392 6.08e-4 0"},
         {"2 0 1 -1 1 0 0", "2 0 1 -1 1 1 0 0 0 0 1 0 0 1.5 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0"},
         {"1 ! sources", "2 ! sources"},
         {"1 1 1 0 0 1 0", "1 1 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n2 1 2 0 0 1 0 0 0 0 0 0 0 0 0 0 0"}});
    std::vector<std::vector<double>> rows = sqlRows(dir + "run.sqlite3",
                                                    "SELECT t.Time, c.C1, c.C2, r.Flow0 FROM TIME t JOIN NODEZONECCDATA c "
                                                    "ON c.TimeID = t.TimeID JOIN LINKPATHDATA r ON r.TimeID = t.TimeID "
                                                    "AND r.PathNumber = 2 ORDER BY t.TimeID");
    ASSERT_EQ(rows.size(), 25u);
    const std::vector<std::string> challenge = csmLine("Filter challenge summary.", "2p\t"),
                                   passed = csmLine("Filter challenge summary.", "--\t"),
                                   loaded = csmLine("Filter loading summary.", "2p\t");
    ASSERT_GE(loaded.size(), 4u) << csm();
    for (int k : {1, 2}) {
        const double theta = std::atof(k == 1 ? w.nonTrace : w.trace), e = k == 1 ? 0.5 : (double)0.3f;
        double hand = 0.0;
        for (size_t n = 0; n + 1 < rows.size(); n++)
            hand += 600.0 * ((1.0 - theta) * rows[n][3] * rows[n][k] + theta * rows[n + 1][3] * rows[n + 1][k]);
        EXPECT_NEAR(num(challenge, k + 1), hand, 1e-6 * hand) << "species " << k << "\n" << csm();
        EXPECT_NEAR(num(loaded, k + 1), e * hand, 1e-6 * hand) << "species " << k;
        EXPECT_NEAR(num(challenge, k + 1) - num(passed, k + 1), num(loaded, k + 1), 2e-6 * hand) << "species " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Mixed, FilterWeights,
                         ::testing::Values(Weights{"ImplicitNonTraceTrapezoidalTrace", "1", "0.5"},
                                           Weights{"TrapezoidalNonTraceImplicitTrace", "0.5", "1"}),
                         [](const ::testing::TestParamInfo<Weights>& i) { return std::string(i.param.name); });

// The room's CO2 at the last listed time [kg].
double roomMass(const std::string& db)
{
    std::vector<std::vector<double>> r = sqlRows(db, "SELECT c.C0 * z.Density * 50.0 FROM NODEZONECCDATA c JOIN NODEZONEFLOWDATA z "
                                                     "ON z.TimeID = c.TimeID ORDER BY c.TimeID DESC LIMIT 1");
    return r.empty() ? NAN : r[0][0];
}

// A run resumed at 3:00 books from its first step's start: the trapezoidal rule over its
// 10-minute steps of the release G0 exp(-k t) (the source starts at the steady instant,
// 0:00), which is all the closed room gains.
TEST_F(WeightedBooks, ResumedRunBooksTheStartOfItsFirstStep)
{
    const std::string theta = "0 1 100 1e-4 1e-15 1.1 1 0", weighted = "0 1 100 1e-12 1e-15 1.1 0.5 0";
    const Edit implicit = {"2 0 0 0.1 0 0", "0 0 0 0.1 0 0"};
    run("decaying-source.prj", {implicit, {theta, weighted}, {"Jan01 0:00:00 Jan01", "Jan01 0:00:00 Jan01 0:00:00 Jan01 3:00:00 0:10:00 1:00:00 6:00:00"}});
    const double before = roomMass(dir + "run.sqlite3");
    run("decaying-source.prj",
        {implicit, {theta, weighted}, {"Jan01 0:00:00 Jan01", "Jan01 0:00:00 Jan01 3:00:00 Jan01 6:00:00 0:10:00 1:00:00 6:00:00"},
         {"0 Jan01 0:00:00", "1 Jan01 0:00:00"}},
        slurp(dir + "run.rst"));
    const double G0 = (double)1e-6f, k = (double)1e-4f, dt = 600.0;
    double trapezoid = 0.0;
    for (double t = 3 * 3600.0; t < 6 * 3600.0; t += dt)
        trapezoid += dt / 2 * (G0 * std::exp(-k * t) + G0 * std::exp(-k * (t + dt)));
    const double released = num(csmLine("s/s#", "1\teds\t"), 12);
    EXPECT_NEAR(released, trapezoid, 1e-6 * trapezoid) << csm();
    EXPECT_NEAR(roomMass(dir + "run.sqlite3") - before, released, 1e-6 * released);
}

}  // namespace
