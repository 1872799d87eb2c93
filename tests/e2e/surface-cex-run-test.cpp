// End-to-end surface and exfiltration files on the ventilated room (50 m3 of air at
// 293.15 K and 101325 Pa: M = 50 x 101325 / (287.055 x 293.15) kg) and the laboratory
// example. Implicit transport with full time weighting: every step solves
// M (c1 - c0) = dt x (what enters - what leaves) with the step's end values, so the
// numbers below are the closed forms of that recurrence.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "e2e-util.h"

namespace {

const double M = 50.0 * 101325.0 / (287.055 * 293.15);   // room air [kg]

// The float a project value is read into.
double asRead(double v) { return (double)(float)v; }

// The data rows of a table: every line after the one that begins with `head`.
std::vector<std::vector<std::string>> rowsAfter(const std::string& text, const std::string& head)
{
    std::vector<std::vector<std::string>> rows;
    size_t at = text.find("\n" + head);
    if (at == std::string::npos) return rows;
    std::istringstream in(text.substr(text.find('\n', at + 1) + 1));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream l(line);
        for (std::string x; std::getline(l, x, '\t');) f.push_back(x);
        rows.push_back(f);
    }
    return rows;
}

class SurfaceCexRun : public E2eTest {
protected:
    // Runs the project text `prj` as name.prj with its line of short-time-step and summary
    // switches (rzf .. logc) and its line of exfiltration and database switches replaced.
    Outcome run(const std::string& name, std::string prj, const std::string& switches)
    {
        const std::string lines = "\n0 0 0 0 0 0\n0 0 1 1 1\n";
        size_t at = prj.find(lines);
        EXPECT_NE(at, std::string::npos);
        if (at != std::string::npos) prj.replace(at, lines.size(), "\n" + switches + "\n");
        std::ofstream(dir + name + ".prj") << prj;
        return runEngine(name + ".prj", name + ".prj");
    }
    Outcome room(const std::string& switches, const std::vector<Edit>& edits)
    {
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ventilated-co2.prj");
        return run("room", edited(prj, edits), switches);
    }
    std::string text(const std::string& name) const { return slurp(dir + name); }
};

const Edit TRANSIENT = {"1 0 1e-4 1e-15 0 0", "2 0 1e-4 1e-15 0 0"};
const Edit NO_RELEASE = {"1e-5 0 0 0", "0 0 0 0"};
const Edit START_AT_1E_2 = {"1 6.08e-4", "1 1e-2"};

// A boundary-layer sink of CO2 on the room's wall, source 2, after the release `release`:
// film coefficient h = 1e-3 x 10 kg/s, partition coefficient k = 2, sorbing mass 5 kg.
std::vector<Edit> sorbingWall(const std::string& release)
{
    return {{"1 ! source/sink elements", "2 ! source/sink elements"},
            {"1e-5 0 0 0", release + " 0 0 0\n2 CO2 bls sorb\nA sorbing wall\n1e-3 10 2 5 0 0 0"},
            {"1 ! sources", "2 ! sources"},
            {"1 1 1 0 0 1 0", "1 1 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n2 1 2 0 0 1 0 0 0 0 0 0 0 0 0 0 0"}};
}

std::vector<Edit> with(std::vector<Edit> a, const std::vector<Edit>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The fan stopped, the room is closed: its CO2 is shared with a boundary-layer sink of film
// coefficient h = 1e-3 x 10 kg/s, partition coefficient k = 2 and sorbing mass Ms = 5 kg.
// With u = c - s/k, M dc/dt = -h u and Ms ds/dt = h u, so du/dt = -lambda u with
// lambda = h (1/M + 1/(k Ms)); the room and surface together keep M c0. Each one-minute
// step shrinks u by r = 1/(1 + lambda dt) (the implicit form of exp(-lambda dt)), so after
// n steps s = s_end (1 - r^n), s_end = k M c0 / (M + k Ms). A second sink with multiplier
// 0 is inactive and keeps its initial 3e-3.
TEST_F(SurfaceCexRun, SorbedMassFractionFollowsTheClosedRoomsExchangeCurve)
{
    std::vector<Edit> edits = sorbingWall("0");
    edits[2] = {"1 ! sources", "3 ! sources"};
    edits[3].second += "\n3 1 2 0 0 0 3e-3 0 0 0 0 0 0 0 0 0 0";
    Outcome r = room("0 0 0 0 1 0\n0 0 0 0 0",
                     with(edits, {TRANSIENT, START_AT_1E_2, {"0.05", "0"},
                                  {"Jan01 0:00:00 Jan01",
                                   "Jan01 0:00:00 Jan01 0:00:00 Jan01 2:00:00 0:01:00 0:10:00 1:00:00"}}));
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    std::string srf = text("room.srf");
    EXPECT_EQ(srf.substr(0, srf.find("\n1/1")),
              "Project:  room\n\nnr\tzone\ttype\tspecies\tunits\ttrace/non-trace\n"
              "2\t1\tbls\tCO2\tkg/kg\ttrace\n3\t1\tbls\tCO2\tkg/kg\tinactive\n\ndate\ttime\tbls2\tbls3")
        << srf;
    const double h = asRead(1e-3) * 10.0, k = 2.0, Ms = 5.0, c0 = asRead(1e-2);
    const double lambda = h * (1.0 / M + 1.0 / (k * Ms)), rstep = 1.0 / (1.0 + lambda * 60.0);
    const double sEnd = k * M * c0 / (M + k * Ms);
    auto rows = rowsAfter(srf, "date\ttime");
    ASSERT_EQ(rows.size(), 13u) << "the start and every ten minutes to 02:00:00\n" << srf;
    for (int i = 0; i < 13; i++) {
        ASSERT_EQ(rows[i].size(), 4u) << i;
        char when[16];
        snprintf(when, sizeof when, "%02d:%02d:00", i / 6, i % 6 * 10);
        EXPECT_EQ(rows[i][0], "1/1");
        EXPECT_EQ(rows[i][1], when);
        const double s = sEnd * (1.0 - std::pow(rstep, 10 * i));
        EXPECT_NEAR(num(rows[i], 2), s, 2e-6 * sEnd) << when;
        EXPECT_EQ(rows[i][3], " 3.000000e-03") << when;
    }
    EXPECT_NEAR(num(rows[12], 2), sEnd, 1e-3 * sEnd) << "two hours are seven time constants";
}

// A tracer decay: the fan brings F = 0.05 kg/s of outdoor air (c_out = 6.08e-4) into a
// room at 1e-2 that releases nothing; the opening lets the same flow out. Each ten-minute
// step leaves the excess d = c - c_out smaller by r = M / (M + F dt), and carries F dt c_n
// out through the opening. A row of the hourly listing sums six such steps.
TEST_F(SurfaceCexRun, ExfiltratedMassesAreTheHourlySumsOfWhatTheOpeningCarriedOut)
{
    Outcome r = room("0 0 0 0 0 0\n1 1 0 0 0", {TRANSIENT, NO_RELEASE, START_AT_1E_2});
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    const double F = asRead(0.05), dt = 600.0, cOut = asRead(6.08e-4), c0 = asRead(1e-2);
    const double rstep = M / (M + F * dt);
    auto c = [&](int n) { return cOut + (c0 - cOut) * std::pow(rstep, n); };

    std::string cex = text("room.cex");
    EXPECT_EQ(cex.substr(0, cex.find("\n1/1")), "Project:  room\nnctm\tunits\n1\tkg\nDate\tTime\tCO2");
    std::string byPath = text("room_CO2.cex");
    EXPECT_EQ(byPath.substr(0, byPath.find("\n1/1")),
              "Project:  room\nnpath\tctm_name\tunits\n2\tCO2\tkg\nDate\tTime\tp1\tp2");
    auto rows = rowsAfter(cex, "Date\tTime");
    auto pathRows = rowsAfter(byPath, "Date\tTime");
    ASSERT_EQ(rows.size(), 25u) << cex;
    ASSERT_EQ(pathRows.size(), 24u) << byPath;
    double total = 0.0;
    for (int hour = 1; hour <= 24; hour++) {
        const auto& row = rows[hour - 1];
        double m = 0.0;
        for (int n = 6 * hour - 5; n <= 6 * hour; n++) m += F * dt * c(n);
        ASSERT_EQ(row.size(), 3u);
        EXPECT_EQ(row[1], (hour < 10 ? "0" : "") + std::to_string(hour) + ":00:00");
        EXPECT_NEAR(num(row, 2), m, 1e-4 * m) << row[1];
        // The fan's path only brings air in; the opening's column is the building's row.
        EXPECT_EQ(pathRows[hour - 1][2], "0.00000e+00");
        EXPECT_EQ(pathRows[hour - 1][3], row[2]);
        total += num(row, 2);
    }
    const auto& sum = rows[24];
    ASSERT_EQ(sum.size(), 3u);
    EXPECT_EQ(sum[0], "Sum");
    EXPECT_EQ(sum[1], "");
    EXPECT_NEAR(num(sum, 2), total, 1e-5 * total) << "the column total";
    // What left is what the room lost plus what the fan brought in over the day.
    const double lost = M * (c0 - c(144)) + F * cOut * 86400.0;
    EXPECT_NEAR(num(sum, 2), lost, 1e-4 * lost);
}

// The same decay in seven-minute steps, listed at each: 420 s does not divide the day, so
// its last step ends at 24:02:00 (step 206) and is listed under that time.
TEST_F(SurfaceCexRun, StepsThatDoNotDivideTheDayListTheirLastStepPastMidnight)
{
    Outcome r = room("0 0 0 0 0 0\n1 0 0 0 0",
                     {TRANSIENT, NO_RELEASE, START_AT_1E_2,
                      {"Jan01 0:00:00 Jan01", "Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 0:07:00 0:07:00 1:00:00"}});
    ASSERT_EQ(r.status, 0) << r.err;
    const double F = asRead(0.05), dt = 420.0, cOut = asRead(6.08e-4), c0 = asRead(1e-2);
    const double rstep = M / (M + F * dt);
    auto rows = rowsAfter(text("room.cex"), "Date\tTime");
    ASSERT_EQ(rows.size(), 207u) << "206 steps and the Sum row";
    for (int n : {1, 205, 206}) {
        const auto& row = rows[n - 1];
        ASSERT_EQ(row.size(), 3u) << n;
        char when[32];
        snprintf(when, sizeof when, "%02d:%02d:00", n * 7 / 60, n * 7 % 60);
        EXPECT_EQ(row[1], when);
        const double m = F * dt * (cOut + (c0 - cOut) * std::pow(rstep, n));
        EXPECT_NEAR(num(row, 2), m, 3e-4 * m) << when;
    }
}

// The same decay as a cyclic day: the unreported days bring the room down to outdoor air
// and list nothing; the reported day lists 24 rows of F x 3600 s x c_out, and its Sum
// row holds that day alone.
TEST_F(SurfaceCexRun, CyclicRunListsOnlyItsReportedDay)
{
    Outcome r = room("0 0 0 0 0 0\n1 0 0 0 0",
                     {{"1 0 1e-4 1e-15 0 0", "3 0 1e-4 1e-15 0 0"}, NO_RELEASE, START_AT_1E_2});
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    auto rows = rowsAfter(text("room.cex"), "Date\tTime");
    ASSERT_EQ(rows.size(), 25u) << text("room.cex");
    const double hour = asRead(0.05) * 3600.0 * asRead(6.08e-4);
    for (int i = 0; i < 24; i++) EXPECT_NEAR(num(rows[i], 2), hour, 1e-4 * hour) << rows[i][1];
    EXPECT_EQ(rows[24][0], "Sum");
    EXPECT_NEAR(num(rows[24], 2), 24.0 * hour, 1e-4 * 24.0 * hour);
}

// The laboratory's envelope paths, with its plain junction 2 moved outdoors so that its
// leak ends at the ambient: airflow paths p, the air handler's exhaust by its system
// number a1, the outdoor terminal t1 and the leak l2; the air handler's outdoor-air path
// (path 11) has no column, so 8 envelope paths give 7 columns. Every species file's
// columns add up to that species' building row.
TEST_F(SurfaceCexRun, DetailedFilesHeadEveryEnvelopePathKind)
{
    Outcome r = run("lab",
                    edited(slurp(examplePath("lab")),
                           {{"1 0 1e-4 1e-15 0 0", "2 0 1e-4 1e-15 0 0"},
                            {"Jun01 12:00:00", "Jun01 12:00:00 Jun01 0:00:00 Jun01 2:00:00 0:05:00 1:00:00 1:00:00"},
                            {"2 0 0 3 1 ", "2 0 0 -1 1 0 0 0 1 10 5 3.2 294.15 0 0 0 0 0 0 0 0"}}),
                    "0 0 0 0 0 0\n1 1 0 0 0");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    auto building = rowsAfter(text("lab.cex"), "Date\tTime");
    ASSERT_EQ(building.size(), 3u);
    const char* species[3] = {"H2O", "CO2", "PM25"};
    for (int s = 0; s < 3; s++) {
        std::string f = text(std::string("lab_") + species[s] + ".cex");
        EXPECT_EQ(f.substr(0, f.find("\n6/1")), std::string("Project:  lab\nnpath\tctm_name\tunits\n7\t") +
                                                    species[s] + "\tkg\nDate\tTime\tp1\tp2\tp5\ta1\tp13\tt1\tl2");
        auto rows = rowsAfter(f, "Date\tTime");
        ASSERT_EQ(rows.size(), 2u) << f;
        for (int i = 0; i < 2; i++) {
            ASSERT_EQ(rows[i].size(), 9u);
            double sum = 0.0;
            for (int k = 2; k < 9; k++) sum += num(rows[i], k);
            const double whole = num(building[i], 2 + s);
            EXPECT_NEAR(sum, whole, 2e-5 * whole + 1e-30) << species[s] << " " << rows[i][1];
        }
    }
    EXPECT_GT(num(building[0], 3), 0.0) << "CO2 leaves the building";
}

// A steady contaminant run: one surface row, and no exfiltration file though both switches
// are set (stale ones of an earlier run go).
TEST_F(SurfaceCexRun, SteadyRunWritesOneSurfaceRowAndNoExfiltrationFile)
{
    std::ofstream(dir + "room.cex") << "stale";
    std::ofstream(dir + "room_CO2.cex") << "stale";
    Outcome r = room("0 0 0 0 1 0\n1 1 0 0 0", sorbingWall("1e-5"));
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    EXPECT_FALSE(exists(dir + "room.cex"));
    EXPECT_FALSE(exists(dir + "room_CO2.cex"));
    auto rows = rowsAfter(text("room.srf"), "date\ttime");
    ASSERT_EQ(rows.size(), 1u) << text("room.srf");
    // At the steady state the sink holds k times the room's c = c_out + G / F, within the
    // airflow solution's relative tolerance (1e-4) on F.
    const double c = asRead(6.08e-4) + asRead(1e-5) / asRead(0.05);
    EXPECT_NEAR(num(rows[0], 2), 2.0 * c, 2e-4 * 2.0 * c);
}

// A result file the disk refuses (a link to the full device): an ERROR naming it, then the
// FATAL, exit status 2, and no result file of the run left behind.
class RefusedFile : public SurfaceCexRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(RefusedFile, EndsTheRunWithTwoAndRemovesTheResults)
{
    const std::string name = std::string("room") + GetParam();
    ASSERT_EQ(symlink("/dev/full", (dir + name).c_str()), 0);
    Outcome r = room("0 0 0 0 1 0\n1 1 0 0 0", with(sorbingWall("1e-5"), {TRANSIENT}));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ERROR Could not write result file " + name + ": No space left on device\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("FATAL Results of this run could not be written in full\n"), std::string::npos);
    struct stat st;
    for (const char* f : {"room.srf", "room.cex", "room_CO2.cex", "room.sim"})
        EXPECT_NE(lstat((dir + f).c_str(), &st), 0) << f;
}

INSTANTIATE_TEST_SUITE_P(SurfaceCex, RefusedFile, ::testing::Values(".srf", ".cex", "_CO2.cex"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             return std::string(i.param[1] == 's' ? "Surface" : i.param[1] == 'c' ? "Building" : "Species");
                         });

}  // namespace
