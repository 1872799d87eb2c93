// Node air masses from the gas law and the plain rescaling of non-trace mass fractions.
#include "contaminant/node-help.h"

#include <gtest/gtest.h>

#include "model/species.h"
#include "tests/airflow/af-test-net.h"

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

}  // namespace
