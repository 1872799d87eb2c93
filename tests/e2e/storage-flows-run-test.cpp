// The storage term's airflows under the stiff integrator: heavy-gas.prj with dodMdt, its
// room filling with CO2 (air and CO2 both non-trace) so that its air mass falls as its
// gas constant does, and the openings carry G - dM/dt more out than in. The stiff
// integrator's flows of both openings match the trapezoidal method's at a 1 s step. The
// integrator lists the flows of its last airflow solution, at most its largest step (5 s)
// before the listing time: from the first hour on, when they change by less than 1e-5
// relative per second, they agree to 1e-4.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

class StorageFlows : public E2eTest {
protected:
    // Flows of the two openings at each listing time, by seconds.
    std::map<int, std::vector<double>> run(const std::string& solver, const std::string& theta,
                                           const std::string& step, const std::string& maxstep)
    {
        std::vector<Edit> e = {
            {"2 0 0 0.1 0 0", solver + " 0 0 0.1 0 0"},
            {"0 1 100 1e-6 1e-15 1.1 1 0", "0 1 100 1e-9 1e-15 1.1 " + theta + " 0"},
            {"0 1 100 1e-4 1e-15 1.1 1 0", "0 1 100 1e-9 1e-15 1.1 " + theta + " 0"},
            {"0 1e-6 1e-12 0", "0 1e-8 1e-12 " + maxstep},
            {"1 0 10 0 0 0 0", "1 0 10 0 0 0 1"},
            {"1 1 30 1e-6 1e-7", "1 1 30 1e-9 1e-7 0.75 0 50 0"},
            {"Jan01 0:00:00 Jan01", "Jan01 0:00:00 Jan01 0:00:00 Jan01 2:00:00 " + step + " 0:30:00 6:00:00"}};
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/heavy-gas.prj");
        std::ofstream(dir + "room.prj") << edited(prj, e);
        Outcome o = runEngine("room.prj", "room.prj");
        EXPECT_EQ(o.status, 0) << o.err << o.log;
        std::map<int, std::vector<double>> flows;
        for (const std::vector<double>& row : sqlRows(dir + "room.sqlite3",
                 "SELECT t.Time, p.Flow0 FROM TIME t JOIN LINKPATHDATA p ON p.TimeID = t.TimeID "
                 "ORDER BY t.TimeID, p.PathNumber"))
            flows[(int)row[0]].push_back(row[1]);
        return flows;
    }
};

TEST_F(StorageFlows, StiffIntegratorCarriesTheTrapezoidalMethodsFlows)
{
    std::map<int, std::vector<double>> trapezoidal = run("0", "0.5", "0:00:01", "0"),
                                       stiff = run("2", "1", "0:00:05", "5");
    int compared = 0;
    for (const auto& [t, want] : trapezoidal) {
        if (t < 3600) continue;
        ASSERT_EQ(want.size(), 2u) << t;
        ASSERT_EQ(stiff[t].size(), 2u) << t;
        // Out low, in high: the room is heavier than the outdoor air, and loses G - dM/dt.
        EXPECT_GT(want[0], 0.0);
        EXPECT_LT(want[1], 0.0);
        for (int k = 0; k < 2; k++) EXPECT_NEAR(stiff[t][k], want[k], 1e-4 * std::fabs(want[k])) << t << " s, opening " << k + 1;
        compared++;
    }
    EXPECT_EQ(compared, 3);
}

}  // namespace
