// End-to-end short-time-step run of a room that a constant-flow duct fan supplies with
// outdoor air (CO2 at 6.08e-4, the room clean at the start) through a 2 m and a 10 m duct
// divided into 0.5 m cells; an opening relieves it. The air crosses both ducts within one
// ten-minute step (as plugs), and the room sees its supply terminal's junction as it was
// at the end of the step before: it rises along
// x1 = (M x0 + dt F c_J) / (M + R dt) with c_J = 0 in the first step and outdoor air after.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

// One listed time: room and outdoor CO2, relief flow, supply terminal flow, room density,
// and the CO2 at the supply terminal's junction.
struct Row {
    double room, outdoor, relief, supply, density, terminal;
};

std::vector<Row> listed(const std::string& db)
{
    const char* sql = "SELECT c.C0, a.C0, r.Flow0, s.Flow0, z.Density, j.C0 FROM TIME t "
                      "JOIN NODEZONECCDATA c ON c.TimeID = t.TimeID "
                      "JOIN AMBIENTCONDITIONS a ON a.TimeID = t.TimeID "
                      "JOIN LINKPATHDATA r ON r.TimeID = t.TimeID AND r.PathNumber = 1 "
                      "JOIN LINKDUCTDATA s ON s.TimeID = t.TimeID AND s.DuctLinkNumber = 4 "
                      "JOIN NODEZONEFLOWDATA z ON z.TimeID = t.TimeID "
                      "JOIN NODEDUCTCCDATA j ON j.TimeID = t.TimeID AND j.DuctNodeNumber = 3 "
                      "ORDER BY t.TimeID";
    std::vector<Row> rows;
    for (const std::vector<double>& v : sqlRows(db, sql)) rows.push_back({v[0], v[1], v[2], v[3], v[4], v[5]});
    return rows;
}

class StsDuctRun : public E2eTest {};

TEST_F(StsDuctRun, SupplyReachesTheRoomThroughPlugFlowDuctsOneStepLate)
{
    copyInto(dir, std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/duct-supply.prj");
    Outcome r = runEngine("duct-supply.prj", "duct-supply.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<Row> rows = listed(dir + "duct-supply.sqlite3");
    ASSERT_EQ(rows.size(), 25u);

    const Row& h1 = rows[1];
    const double dt = 600.0, M = h1.density * 50.0, ca = h1.outdoor;
    auto step = [&](double x, double cJ) { return (M * x + dt * h1.supply * cJ) / (M + h1.relief * dt); };
    double late = step(0.0, 0.0), prompt = step(0.0, ca);
    for (int k = 1; k < 6; k++) {
        late = step(late, ca);
        prompt = step(prompt, ca);
    }
    // The ducts' first plugs still mix in the clean air they held: within 0.5 % of the
    // one-step lag, well below supply without it (5 % higher).
    EXPECT_NEAR(h1.room, late, 0.005 * late);
    EXPECT_LT(h1.room, 0.96 * prompt);
    EXPECT_NEAR(h1.terminal, ca, 1e-6 * ca);  // flushed ducts deliver outdoor air
    // At the end of the day the room holds what the supply brings in over what the relief
    // lets out.
    const Row& end = rows.back();
    EXPECT_NEAR(end.room, end.supply * end.outdoor / end.relief, 1e-6 * end.room);

    EXPECT_NE(r.log.find("\nSet up structures for STS simulation.\nJunctions:          3\n"
                         "Duct segments:      2\nDuct cells:        24\nDuct terminals:     2\n"
                         "Duct leaks:         0\nTotal Zones:        2\nPaths:              1\n"
                         "STS initialization complete.\n"),
              std::string::npos)
        << r.log;
    EXPECT_NE(r.log.find("     288 ducts by Lagrangian\n"), std::string::npos);
    EXPECT_EQ(r.log.find("Weakest Link"), std::string::npos);
}

}  // namespace
