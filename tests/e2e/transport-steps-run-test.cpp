// Contaminant transport against the methods' own step formulas, worked out by hand.
//
// reversed-filters.prj: a duct fan draws F = 0.05 kg/s of outdoor air (CO2 at c_a = 1e-3)
// into junction 2; the supply duct, drawn from room A's terminal back to junction 2, carries
// it against its drawn direction through a filter passing P1 = 0.8; the terminal's diffuser
// passes P3 = 0.7 into room A (50 m3); A spills into room B (25 m3) through an opening drawn
// from B to A (the air runs against it) whose grille passes P2 = 0.5; B exhausts outdoors.
// Rooms and junctions start clean. Every filter stands between two nodes whose mass fractions
// are solved, in both flow directions, so each penetration scales what arrives:
//   steady: A = P1 P3 c_a, B = P1 P3 P2 c_a.
// Short time steps (zones explicit in their inflow, implicit in their outflow, from the
// junctions' values of the previous step; ducts shorter than a cell pass their junction's
// value on unchanged) give per step dt, with M the rooms' air masses:
//   j_0 = 0, j_n = P1 c_a (the terminal's junction, mixed after the zones)
//   A_n = (M_A A_(n-1) + F dt P3 j_(n-1)) / (M_A + F dt)
//   B_n = (M_B B_(n-1) + F dt P2 A_(n-1)) / (M_B + F dt).
//
// ventilated-co2.prj: a fan brings F of outdoor air (c_a = 6.08e-4) into a 50 m3 room with a
// release G; an opening relieves it. The time-weighted implicit step at weight th is
//   c_(n+1) = ((M/dt - (1 - th) F) c_n + F c_a + G) / (M/dt + th F).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

const double F = (double)0.05f;   // fan flow as the engine reads it [kg/s]
const double RHO = 101325.0 / (287.055 * (double)293.15f);   // air at 20 C [kg/m3]

// Room CO2 of every listed time, rows ordered by time: {zone 1, zone 2, ...}.
std::vector<std::vector<double>> zoneSeries(const std::string& db, int zones)
{
    std::vector<std::vector<double>> out;
    std::vector<std::vector<double>> rows =
        sqlRows(db, "SELECT C0 FROM NODEZONECCDATA ORDER BY TimeID, ZoneNumber");
    for (size_t i = 0; i + zones <= rows.size(); i += zones) {
        out.emplace_back();
        for (int z = 0; z < zones; z++) out.back().push_back(rows[i + z][0]);
    }
    return out;
}

class ReversedFilters : public E2eTest {
protected:
    static constexpr double CA = (double)1e-3f;
    // Penetrations as the filters keep them: 1 - efficiency in single precision.
    const double P1 = 1.0f - 0.2f, P2 = 1.0f - 0.5f, P3 = 1.0f - 0.3f;

    // Runs the project with the airflows solved tightly and the given edits.
    std::vector<std::vector<double>> run(const std::vector<Edit>& more)
    {
        std::vector<Edit> e = more;
        e.push_back({"0 1 30 1e-4 1e-5 0.75 0 50 0", "0 1 30 1e-8 1e-12 0.75 0 50 0"});
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/reversed-filters.prj");
        std::ofstream(dir + "rev.prj") << edited(prj, e);
        Outcome r = runEngine("rev.prj", "rev.prj");
        EXPECT_EQ(r.status, 0) << r.err << r.log;
        // Path 1 and duct 2 run against their drawn direction, the supply terminal with it.
        std::vector<std::vector<double>> f =
            sqlRows(dir + "rev.sqlite3", "SELECT Flow0 FROM LINKPATHDATA WHERE TimeID = 1 AND PathNumber = 1");
        EXPECT_NEAR(f.at(0).at(0), -F, 1e-8);
        f = sqlRows(dir + "rev.sqlite3", "SELECT Flow0 FROM LINKDUCTDATA WHERE TimeID = 1 ORDER BY DuctLinkNumber");
        EXPECT_NEAR(f.at(1).at(0), -F, 1e-8);
        EXPECT_NEAR(f.at(3).at(0), F, 1e-8);
        return zoneSeries(dir + "rev.sqlite3", 2);
    }
};

TEST_F(ReversedFilters, ImplicitMethodSettlesAtTheProductOfThePenetrations)
{
    // Hour steps of the fully implicit method: a day takes both rooms to steady state.
    std::vector<std::vector<double>> c =
        run({{"1 0 1 0.5 0 0", "0 0 1 0.5 0 0"},
             {"Jan01 0:00:00 Jan01 0:00:00 Jan01 3:00:00 ",
              "Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 1:00:00 1:00:00 6:00:00"}});
    ASSERT_EQ(c.size(), 25u);
    EXPECT_NEAR(c.back()[0], P1 * P3 * CA, 1e-7 * CA);
    EXPECT_NEAR(c.back()[1], P1 * P3 * P2 * CA, 1e-7 * CA);
}

TEST_F(ReversedFilters, ShortTimeStepsCarryTheFilteredAirAgainstTheDrawnDirection)
{
    // Five-minute steps, every one listed: F dt / M is 0.25 for A and 0.5 for B.
    std::vector<std::vector<double>> c = run({});
    ASSERT_EQ(c.size(), 37u);
    const double dt = 300.0, MA = RHO * 50.0, MB = RHO * 25.0;
    double j = 0.0, a = 0.0, b = 0.0;
    for (size_t n = 1; n < c.size(); n++) {
        double a1 = (MA * a + F * dt * P3 * j) / (MA + F * dt);
        b = (MB * b + F * dt * P2 * a) / (MB + F * dt);
        a = a1;
        j = P1 * CA;
        EXPECT_NEAR(c[n][0], a, 1e-7 * CA) << "step " << n;
        EXPECT_NEAR(c[n][1], b, 1e-7 * CA) << "step " << n;
    }
    // Three hours are over eight time constants of A: close to its steady value.
    EXPECT_NEAR(c.back()[0], P1 * P3 * CA, 1e-3 * CA);
}

// The explicit part of the time-weighted step: at weights other than 1/2 a swapped weight,
// or an explicit part taken at the wrong state, gives another series.
class TimeWeight : public E2eTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(TimeWeight, ImplicitStepsFollowTheWeightedFormula)
{
    const double theta = std::atof(GetParam());
    std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ventilated-co2.prj");
    std::ofstream(dir + "room.prj") << edited(
        prj, {{"1 0 1e-4 1e-15 0 0", "2 0 1e-4 1e-15 0 0"},
              {"0 1 30 1e-4 1e-5 0.75 0 50 0", "0 1 30 1e-8 1e-12 0.75 0 50 0"},
              {"0 1 100 1e-4 1e-15 1.1 1 0", std::string("0 1 100 1e-4 1e-15 1.1 ") + GetParam() + " 0"},
              {"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 ",
               "Jan01 0:00:00 Jan01 0:00:00 Jan01 4:00:00 0:10:00 0:10:00 6:00:00"},
              {"1 6.08e-4", "1 3e-3"}});
    Outcome r = runEngine("room.prj", "room.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::vector<std::vector<double>> c = zoneSeries(dir + "room.sqlite3", 1);
    ASSERT_EQ(c.size(), 25u);
    // F dt / M = 0.5: far from the limit where the explicit part would turn negative.
    const double dt = 600.0, M = RHO * 50.0, CA = (double)6.08e-4f, G = (double)1e-5f;
    double x = (double)3e-3f;
    EXPECT_NEAR(c[0][0], x, 1e-12);
    for (size_t n = 1; n < c.size(); n++) {
        x = ((M / dt - (1.0 - theta) * F) * x + F * CA + G) / (M / dt + theta * F);
        EXPECT_NEAR(c[n][0], x, 1e-7 * x) << "step " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Weights, TimeWeight, ::testing::Values("0.25", "0"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             return std::string(i.param[1] ? "Quarter" : "Explicit");
                         });

}  // namespace
