// The CFD zone's pressures in the network's stack terms: each coupled path takes the
// pressure at its own opening, and an opening without flow leaves its path (and only its
// path) to the network.
#include <gtest/gtest.h>

#include <initializer_list>

#include "cfd/cfd-int.h"
#include "model/elements.h"
#include "model/network.h"

using namespace vexlar;

namespace {

class CfdStackTerms : public ::testing::Test {
protected:
    void SetUp() override
    {
        cfd_reset();
        elem.type = AFE_PLR_ORFC;
        elem.model_data = &law;
        for (AirPath* p : {&still, &open}) {
            p->from_node = &cfd;
            p->to_node = &room;
            p->element = &elem;
            p->multiplier = 1.0;
        }
        room.height = 1.0f;
        zones[1].node = &cfd;
        zones[1].paths = &first;
        first = {};
        first.path = &still, first.bc_type = 1, first.direction = 3, first.next = &second;
        second = {};
        second.path = &open, second.bc_type = 1, second.direction = 1, second.other_node = &room;
        second.dz_other = 0.5f, second.p_local = 2.0, second.p_ext = 0.5, second.coe = 0.25;
        second.multiplier = 2.0;
        _cfdzone = zones;
        COUPLE = 1;
        OPERDENS = 1.2, GRA = 9.8055, _cfdzonemp = 3.0;
    }
    void TearDown() override
    {
        _cfdzone = nullptr;   // the test's own records
        cfd_reset();
    }
    PlrData law{0.002f, 0.1f, 0.5f};
    AfeRec elem{};
    AirNode cfd{}, room{};
    AirPath still{}, open{};
    CfdZone zones[2]{};
    CplPath first{}, second{};
};

TEST_F(CfdStackTerms, EachOpeningFeedsItsOwnPathAndOneWithoutFlowNone)
{
    double to = -1.0, from = -1.0;
    invexlar_loc(&still, &to, &from, 0, 0);
    EXPECT_EQ(to, -1.0);
    EXPECT_EQ(from, -1.0);
    EXPECT_EQ(still.multiplier, 1.0);
    EXPECT_EQ(law.flow_exponent, 0.5f);
    // The open path, listed after the still one, still gets its opening's value: the zone's
    // mean pressure less the opening's, whose hydrostatic part (1.5 m of air at 1.2 kg/m3)
    // is taken out; its law becomes the CFD's linear one, |p_ext / coe| x 2 = 4.
    invexlar_loc(&open, &to, &from, 0, 0);
    EXPECT_NEAR(from, 3.0 - (2.0 - 1.5 * 1.2 * 9.8055), 1e-12);
    EXPECT_EQ(to, -1.0);
    EXPECT_EQ(open.multiplier, 4.0);
    EXPECT_EQ(law.flow_exponent, 1.0f);
    EXPECT_EQ(cfd.flags, 2u);   // the zone's pressure is the CFD's, no longer solved for
    EXPECT_EQ(cfd.pressure, 3.0);
}

}  // namespace
