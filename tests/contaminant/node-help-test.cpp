// Node air masses from the gas law, the plain rescaling of non-trace mass fractions, and
// the checked rescaling of the initial ones: silent when nearly right, logged beyond 2 %,
// fatal below 0.9.
#include "contaminant/node-help.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "model/prj-common.h"
#include "tests/airflow/af-test-net.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

TEST(NodeHelp, AirMassFollowsTheGasLawOnlyForNodesWithVolume)
{
    AfNet::runControl({1, 0});
    AfNet net;
    AirNode* z = net.zone(293.15, 60.0f);
    AirNode* j = net.zone(293.15, 0.0f, true, 1);
    net.ambient(273.15);
    z->pressure = 12.5;
    j->air_mass = 7.0;
    findAirNodeConcBases();
    EXPECT_DOUBLE_EQ(z->air_mass, (12.5 + PBAR) * 60.0 / (R_AIR * 293.15));
    EXPECT_EQ(j->air_mass, 7.0);
}

TEST(NodeHelp, NonTraceMassFractionsAreRescaledToSumToOne)
{
    AfNet net;
    AirNode* z = net.zone(293.15);
    double mf[3] = {0.6, 0.3, 0.5};   // two non-trace species, one trace
    z->mf = mf;
    int saved = _nntc;
    _nntc = 2;
    normalizeAirNodeMfSums_nonTr();
    _nntc = saved;
    EXPECT_DOUBLE_EQ(mf[0], 0.6 / 0.9);
    EXPECT_DOUBLE_EQ(mf[1], 0.3 / 0.9);
    EXPECT_EQ(mf[2], 0.5);
}

// A node's two non-trace mass fractions summing to `sum`, and what the check must do.
struct InitialSum {
    double sum;
    bool rescaled, logged;
};

class InitialMassFractions : public ::testing::TestWithParam<InitialSum> {};

TEST_P(InitialMassFractions, AreRescaledToOneAndLoggedWhenFarOff)
{
    const InitialSum& c = GetParam();
    LogCapture log;
    AfNet net;
    AirNode* z = net.zone(293.15);
    double mf[3] = {0.75 * c.sum, 0.25 * c.sum, 0.5};   // the third is a trace species
    z->mf = mf;
    int saved = _nntc;
    _nntc = 2;
    normalizeAirNodeMfSums_nonTr_check();
    _nntc = saved;
    if (c.rescaled) {
        EXPECT_DOUBLE_EQ(mf[0] + mf[1], 1.0);
        EXPECT_DOUBLE_EQ(mf[0], 0.75);
    } else {
        EXPECT_EQ(mf[0], 0.75 * c.sum);
        EXPECT_EQ(mf[1], 0.25 * c.sum);
    }
    EXPECT_EQ(mf[2], 0.5);
    char line[80];
    std::snprintf(line, sizeof line, "Adjusting node 1z mass fractions because sum(Mf) = %.6f\n", c.sum);
    EXPECT_EQ(log.text() == line, c.logged) << log.text();
}

INSTANTIATE_TEST_SUITE_P(
    Sums, InitialMassFractions,
    ::testing::Values(InitialSum{0.99999995, false, false}, InitialSum{0.99, true, false},
                      InitialSum{1.015, true, false}, InitialSum{0.97, true, true},
                      InitialSum{1.05, true, true}, InitialSum{0.91, true, true}),
    testnames::named([](const InitialSum& c) { return "sum_" + testnames::num(c.sum); }));

TEST(NodeHelp, InitialMassFractionsFarBelowOneEndTheRun)
{
    AfNet net;
    AirNode* z = net.zone(293.15);
    double mf[2] = {0.6, 0.25};   // sum 0.85
    z->mf = mf;
    _nntc = 2;
    EXPECT_EXIT(normalizeAirNodeMfSums_nonTr_check(), ::testing::ExitedWithCode(2),
                "FATAL Unreasonable initial mass fractions");
    _nntc = 0;
}

}  // namespace
