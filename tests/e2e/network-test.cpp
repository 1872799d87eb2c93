// End-to-end builds of the simulation network by the vexlar-x executable under the
// input-test option (-t): every bundled example builds its network, and a project made
// for it logs its duct networks, the loop with a fan, the envelope lists and the
// single-link and constant-pressure warnings. Each test works in a temporary directory.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "e2e-util.h"
#include "tests/param-names.h"

namespace {

class NetworkRun : public E2eTest, public ::testing::WithParamInterface<const char*> {
protected:
    // Runs vexlar-x -t on a copy of the project in the test's directory.
    Outcome input_test(const std::string& project)
    {
        std::string base = copyInto(dir, project);
        return runEngine("-t " + base, base);
    }
};

TEST_P(NetworkRun, BundledExampleBuildsItsNetwork)
{
    Outcome r = input_test(std::string(VEXLAR_SOURCE_DIR) + "/examples/" + GetParam() + ".prj");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.log.find("FATAL"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find(" envelope paths|terminals for WPC\n"), std::string::npos);
    EXPECT_NE(r.log.find(" envelope paths|terminals|leaks for CSM/CEX\n"), std::string::npos);
    EXPECT_NE(r.err.find("NOTE Input test completed"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Examples, NetworkRun,
                         ::testing::Values("office", "lab", "catalog", "balance"),
                         testnames::named([](const char* s) { return std::string(s); }));

TEST_F(NetworkRun, DuctProjectLogsItsNetworksLoopsEnvelopeAndWarnings)
{
    Outcome r = input_test(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ducts.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    const char* expected[] = {
        "Creating Envelope path lists:\n  3 envelope paths|terminals for WPC\n",
        "WARNING: Duct network # 1 has a loop with a fan.\n"
        "  This may cause duct sequencing to fail.\n"
        "  Loop duct segment(s) with a fan: 2\n",
        "2 Duct Networks\n"
        "      network # 0 - jctns:\n"
        "      network # 1 - jctns:\n"
        "     1     2     3\n"
        "      network # 2 - jctns:\n"
        "     4     5\n"
        "\n"
        "  3 envelope paths|terminals|leaks for CSM/CEX\n",
        " 2 zones linked to only one other zone. See XLog file for details.\n"
        "  Check that inter-zone flow can occur.\n"
        "  zone1 zone2   T1 [C] T2 [C]\n"
        "      3     1   20.00  20.00\n"
        "      4  ambt   20.00  20.00\n"
        "\n",
        " 1 constant pressure zone(s) - not normally used. See XLog file for details.\n"
        " *** Constant pressure zones: 4\n\n",
        // 4 zones, 5 junctions and the ambient; 4 paths, 4 ducts, 2 terminals, 3 leaks.
        "     airflow nodes:   10\n     airflow paths:   13\n",
    };
    for (const char* text : expected) EXPECT_NE(r.log.find(text), std::string::npos) << text;
    EXPECT_NE(r.err.find("WARNING 1 constant pressure zone(s)"), std::string::npos) << r.err;
}

// The last segment turned into a loop on junction 4 leaves junction 5 on no duct: the
// input test ends with a FATAL naming that junction and what to do about it.
TEST_F(NetworkRun, JunctionOnNoDuctIsNamedAndEndsTheInputTest)
{
    std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ducts.prj");
    std::ofstream(dir + "loose.prj", std::ios::binary)
        << edited(prj, {{"4 0 4 5 1 ", "4 0 4 4 1 0 0 0 0 2.0 0 0 0 0 0 0 0"}});
    Outcome r = runEngine("-t loose.prj", "loose.prj");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Error in duct network analysis: junction 5 is on no duct segment;"
                         " join it to a duct or remove it\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("ZELT"), std::string::npos) << r.err;
}

}  // namespace
