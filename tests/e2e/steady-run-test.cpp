// End-to-end steady runs of the vexlar-x executable: the bundled examples solve their
// airflow networks and end normally with the set-up lines and the Newton histogram in
// their logs; a generated building (tools/gen-building.py) converges with every Newton
// method and linear solver, and the flows of its results database close the mass balance
// of every zone, at the same pressures whatever the method. Each test works in a
// temporary directory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "e2e-util.h"
#include "tests/param-names.h"

namespace {

class SteadyRun : public E2eTest {
protected:
    // Runs vexlar-x on the project `base` of the test's directory.
    Outcome run(const std::string& base) { return runEngine(base, base); }
};

// The bins printed after "JfacBins:" as the Newton iteration counts they stand for.
std::string histogram(const std::string& log)
{
    size_t at = log.find("\nNR its. :");
    if (at == std::string::npos) return "";
    return log.substr(at, log.find("\n\nrangeDWC", at) - at);
}

class ExampleRun : public SteadyRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExampleRun, SolvesItsAirflowsAndEndsNormally)
{
    std::string base = copyInto(dir, examplePath(GetParam()));
    Outcome r = run(base);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Running steady-state initialization:\n DATE: "), std::string::npos) << r.err;
    EXPECT_NE(r.log.find("\nAirflow Equations:\n"), std::string::npos);
    EXPECT_NE(r.log.find(" variable pressure nodes\n"), std::string::npos);
    EXPECT_NE(r.log.find("Solve nonlinear equations by Newton-Raphson with "), std::string::npos);
    EXPECT_EQ(r.log.find("Airflow iterations failed to converge"), std::string::npos) << r.log;
    std::string h = histogram(r.log);
    ASSERT_FALSE(h.empty()) << r.log;
    EXPECT_NE(h.find("\nJfacBins:"), std::string::npos);
    EXPECT_GE(r.log.find("Simulation completed successfully.\n"), r.log.size() - 40);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleRun, ::testing::Values("office", "lab", "catalog"),
                         testnames::named([](const char* s) { return std::string(s); }));

// A super element only names a choice of elements; placed on a path, the linear start of
// the airflow solution cannot linearise it, so the run ends with a FATAL naming the path
// and the element.
TEST_F(SteadyRun, SuperElementOnAPathEndsTheRunAtTheLinearStart)
{
    std::string prj = slurp(examplePath("catalog"));
    const std::string paths = "wind on the facade paths --\n28\n";
    const std::string last = "\n28 0 1 -1 28 0 0 0 0 0 1 10 3 2.0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
    size_t count = prj.find(paths), end = prj.find(last);
    ASSERT_NE(count, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    // A 29th path carrying element 29, the catalogue's super element.
    prj.insert(end + last.size(), "29 1 -1 1 29 0 2 0 0 0 1 0 11 1.8 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0\n");
    prj.replace(count + paths.size() - 3, 2, "29");
    std::ofstream(dir + "super.prj", std::ios::binary) << prj;
    Outcome r = run("super.prj");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Invalid AFE type: 28; path 29 uses element super (sup_afe), which no airflow "
                         "model solves: give it an element of another kind\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.log.find("FATAL  (file af-init, line "), std::string::npos) << r.log;
    EXPECT_EQ(r.log.find("Simulation completed successfully."), std::string::npos);
}

struct Choice {
    int newton, slae, reorder;
};

class GeneratedRun : public SteadyRun, public ::testing::WithParamInterface<Choice> {};

// 240 zones on three floors: the solver's summary line (dbg[1]) reports convergence
// within the iteration limit for every method.
TEST_P(GeneratedRun, BuildingConvergesWithEveryMethod)
{
    if (std::system("python3 -c 'pass' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    Choice c = GetParam();
    std::string gen = "python3 '" VEXLAR_SOURCE_DIR "/tools/gen-building.py' 240 --per-floor 80 --newton " +
                      std::to_string(c.newton) + " --slae " + std::to_string(c.slae) + " --reorder " +
                      std::to_string(c.reorder) + " -o '" + dir + "b.prj'";
    ASSERT_EQ(std::system(gen.c_str()), 0);
    Outcome r = run("b.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    const char* name = c.newton == 1 ? " SolveAfSTR: " : " SolveAfSUR: ";
    size_t at = r.log.find(name);
    ASSERT_NE(at, std::string::npos) << r.log;
    int its = std::atoi(r.log.c_str() + at + 13);
    EXPECT_GT(its, 0);
    EXPECT_LE(its, 50);
    EXPECT_EQ(r.log.find("failed to converge"), std::string::npos);
    EXPECT_NE(r.log.find("Simulation completed successfully.\n"), std::string::npos);
}

// The zones at the two ends of every path of a generated project (-1 the ambient).
std::vector<std::pair<int, int>> pathEnds(const std::string& prj)
{
    const std::string before = "! zone concentrations\n-999\n";
    std::istringstream in(prj.substr(prj.find(before) + before.size()));
    int count = 0;
    in >> count;
    std::vector<std::pair<int, int>> ends(count + 1);
    std::string line;
    std::getline(in, line);
    for (int k = 1; k <= count && std::getline(in, line); k++) {
        std::istringstream rec(line);
        int number, flags;
        rec >> number >> flags >> ends[k].first >> ends[k].second;
    }
    return ends;
}

struct SteadyResults {
    std::map<int, double> pressure;   // by zone
    std::map<int, double> inflow;     // net inflow by zone [kg/s]
    std::map<int, double> magnitude;  // sum of flow magnitudes by zone [kg/s]
};

SteadyResults readResults(const std::string& db, const std::vector<std::pair<int, int>>& ends)
{
    SteadyResults r;
    sqlite3* h = nullptr;
    EXPECT_EQ(sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(h, "SELECT ZoneNumber, Pressure FROM NODEZONEFLOWDATA", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) r.pressure[sqlite3_column_int(st, 0)] = sqlite3_column_double(st, 1);
    sqlite3_finalize(st);
    sqlite3_prepare_v2(h, "SELECT PathNumber, Flow0, Flow1 FROM LINKPATHDATA", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
        int p = sqlite3_column_int(st, 0);
        double f0 = sqlite3_column_double(st, 1), f1 = sqlite3_column_double(st, 2);
        auto [from, to] = ends.at(p);
        r.inflow[to] += f0 + f1;
        r.inflow[from] -= f0 + f1;
        r.magnitude[to] += std::fabs(f0) + std::fabs(f1);
        r.magnitude[from] += std::fabs(f0) + std::fabs(f1);
    }
    sqlite3_finalize(st);
    sqlite3_close(h);
    return r;
}

// Every method: each zone's flows balance to the relative tolerance 1e-4 of the run (or
// are within its absolute tolerance, 2.4 x 1e-5 x volume), and the pressures agree with
// those of the first method.
TEST_F(SteadyRun, GeneratedBuildingBalancesEveryZoneWithEveryMethod)
{
    if (std::system("python3 -c 'pass' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    const Choice choices[] = {{1, 0, 0}, {1, 1, 0}, {1, 2, 0}, {0, 0, 0}, {0, 1, 0}, {0, 2, 0}};
    std::map<int, double> reference;
    for (const Choice& c : choices) {
        std::string gen = "python3 '" VEXLAR_SOURCE_DIR "/tools/gen-building.py' 60 --per-floor 20 "
                          "--results --newton " + std::to_string(c.newton) + " --slae " +
                          std::to_string(c.slae) + " -o '" + dir + "b.prj'";
        ASSERT_EQ(std::system(gen.c_str()), 0);
        Outcome out = run("b.prj");
        ASSERT_EQ(out.status, 0) << out.err;
        SteadyResults r = readResults(dir + "b.sqlite3", pathEnds(slurp(dir + "b.prj")));
        ASSERT_EQ(r.pressure.size(), 60u);
        for (auto [zone, net] : r.inflow) {
            if (zone < 1) continue;
            double mag = r.magnitude[zone], vol = zone % 20 == 1 ? 30.0 : 75.0;
            if (mag <= 2.4 * 1e-5 * vol) continue;
            EXPECT_LE(std::fabs(net), 1e-4 * mag) << "zone " << zone << " newton " << c.newton
                                                  << " slae " << c.slae;
        }
        if (reference.empty()) reference = r.pressure;
        for (auto [zone, p] : r.pressure)
            EXPECT_NEAR(p, reference[zone], 1e-3 * std::fabs(reference[zone]) + 1e-3) << "zone " << zone;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, GeneratedRun,
                         ::testing::Values(Choice{1, 0, 1}, Choice{1, 0, 0}, Choice{1, 1, 0},
                                           Choice{1, 2, 0}, Choice{0, 0, 0}, Choice{0, 1, 0},
                                           Choice{0, 2, 0}),
                         testnames::named([](const Choice& c) {
                             static const char* const newton[] = {"Relaxed", "TrustRegion"};
                             static const char* const slae[] = {"Skyline", "Pcg", "Dense"};
                             return std::string(newton[c.newton]) + slae[c.slae] + (c.reorder ? "Reordered" : "");
                         }));

}  // namespace
