// Duct networks: junctions grouped by the segments joining them, loops found by stripping
// free ends, the log listing, the check that every junction lies on a duct, and the
// volume and leakage that each segment's ends take.
#include <cmath>
#include <string>

#include "model/prj-data.h"
#include "tests/common-src/section-test-util.h"
#include "tests/model/network-fixture.h"

namespace vexlar {
namespace {

using testnet::NetworkTest;

class DuctNetworks : public NetworkTest {
protected:
    std::string analyse()
    {
        publish();
        _list = 1;
        sd_duct_networks();
        return log_text();
    }
    JunctionRec* j(int k) { return jcts[k]; }
};

TEST_F(DuctNetworks, SegmentsGroupJunctionsIntoSeparateNetworks)
{
    for (int k = 0; k < 5; k++) junction();
    AfeRec* plain = element(AFE_DCT_PLR);
    duct(j(1), j(2), plain);
    duct(j(3), j(4), plain);
    duct(j(5), j(4), plain);
    std::string log = analyse();
    EXPECT_EQ(j(1)->network, 1);
    EXPECT_EQ(j(2)->network, 1);
    for (int k = 3; k <= 5; k++) EXPECT_EQ(j(k)->network, 2);
    EXPECT_EQ(log, "2 Duct Networks\n"
                   "      network # 0 - jctns:\n"
                   "      network # 1 - jctns:\n"
                   "     1     2\n"
                   "      network # 2 - jctns:\n"
                   "     3     4     5\n"
                   "\n");
}

TEST_F(DuctNetworks, OnlyFansOnALoopAreReported)
{
    for (int k = 0; k < 4; k++) junction();
    AfeRec* plain = element(AFE_DCT_PLR);
    AfeRec* fan = element(AFE_DCT_FAN);
    duct(j(1), j(2), plain);
    duct(j(2), j(3), fan);    // on the loop 2-3-4
    duct(j(3), j(4), plain);
    duct(j(4), j(2), element(AFE_DCT_CMF));
    duct(j(1), j(1), fan);    // a segment from a junction to itself is a loop of its own
    std::string log = analyse();
    EXPECT_NE(log.find("WARNING: Duct network # 1 has a loop with a fan.\n"
                       "  This may cause duct sequencing to fail.\n"
                       "  Loop duct segment(s) with a fan: 2 4 5\n"),
              std::string::npos)
        << log;
}

TEST_F(DuctNetworks, FanOnABranchOutsideAnyLoopIsNotReported)
{
    for (int k = 0; k < 4; k++) junction();
    AfeRec* plain = element(AFE_DCT_PLR);
    duct(j(1), j(2), plain);
    duct(j(2), j(3), plain);
    duct(j(3), j(1), plain);
    duct(j(3), j(4), element(AFE_DCT_FAN));
    EXPECT_EQ(analyse().find("WARNING"), std::string::npos);
}

TEST_F(DuctNetworks, LongNetworkListsSixteenJunctionsToALine)
{
    for (int k = 0; k < 17; k++) junction();
    for (int k = 1; k < 17; k++) duct(j(k), j(k + 1), element(AFE_DCT_PLR));
    std::string log = analyse();
    std::string first;
    for (int k = 1; k <= 16; k++) first += std::string(5 - std::to_string(k).size() + 1, ' ') + std::to_string(k);
    EXPECT_NE(log.find("      network # 1 - jctns:\n" + first + "\n    17\n\n"), std::string::npos) << log;
}

TEST_F(DuctNetworks, JunctionThatNoSegmentUsesIsFatal)
{
    for (int k = 0; k < 3; k++) junction();
    jcts[3]->term_type = 1;   // a terminal too must lie on a duct
    duct(j(1), j(2), element(AFE_DCT_PLR));
    publish();
    _list = 1;
    std::fflush(_ulog);
    EXPECT_EXIT(sd_duct_networks(), ::testing::ExitedWithCode(2),
                "FATAL Error in duct network analysis: junction 3 is on no duct segment; join it to a duct "
                "or remove it\n");
    EXPECT_NE(log_text().find("      network # 0 - jctns:\n     3\n"), std::string::npos);
}

TEST_F(NetworkTest, EachEndJunctionTakesHalfASegmentsVolumeAndLeakage)
{
    JunctionRec* a = junction();
    JunctionRec* b = junction(&_ambt, 1);   // a terminal gains volume but no leakage
    JunctionRec* c = junction();
    duct(a, b, element(AFE_DCT_PLR, {0.3f, 1.2f, 0.1f, 1.5f, 25.0f}), 10.0f);
    duct(a, c, element(AFE_DCT_DWC, {0.3f, 1.2f, 0.1f, 0.0f, 0.0f}), 4.0f);
    publish();
    sd_junction_volumes();
    const double leak = 1.2 * 10.0 * 1.5e-3 / std::pow(25.0, 0.65);
    EXPECT_NEAR(a->volume, 0.5 * 1.0 + 0.5 * 0.4, 1e-6);
    EXPECT_NEAR(b->volume, 0.5, 1e-6);
    EXPECT_NEAR(a->leak_coef, 0.5 * leak, 1e-9);
    EXPECT_EQ(b->leak_coef, 0.0f);
    EXPECT_EQ(c->leak_coef, 0.0f);   // no leakage data: no leak path at c
}

TEST_F(NetworkTest, PlainJunctionWithoutLeakageGetsNoLeakPath)
{
    ZoneRec* z = zone();
    JunctionRec* t = junction(z, 1);
    JunctionRec* c = junction();
    duct(c, t, element(AFE_DCT_DWC, {0.3f, 1.2f, 0.07f, 0.0f, 0.0f}), 4.0f);
    path(z, &_ambt, element(AFE_PLR_ORFC));
    publish();
    testutil::MessageCapture msgs;
    sim_data();
    EXPECT_EQ(_nafpt, 3);   // path, duct, terminal
    for (AirPath* p = _pafp0; p; p = p->next) EXPECT_NE(p->kind, 3);
    AirPath* d = airpath(2);
    EXPECT_FLOAT_EQ(d->fan_state, 0.04f);
    EXPECT_EQ(d->multiplier, 0.02);
    EXPECT_FLOAT_EQ(d->duct_data->inv_sqrt_f, 5.0f);
    // Laminar up to Re 2300 with f = 64/Re: (L/D x 64/2300 + K) x 2300^2.
    EXPECT_NEAR(d->duct_data->lam_limit, 4.0 / 0.3 * 64.0 / 2300.0 * 2300.0 * 2300.0, 1.0);
}

}  // namespace
}  // namespace vexlar
