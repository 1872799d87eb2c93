// The questions main and the stiff-integrator loop ask of the control network: whether a
// values file is used by a control or by a zone, path, junction, duct or source, and
// whether the network needs the listing times.
#include "simulation/ctrl-sim.h"

#include <gtest/gtest.h>

#include "model/prj-records.h"

using namespace vexlar;

namespace {

class ControlQuestions : public ::testing::Test {
protected:
    void SetUp() override
    {
        list[1] = &nodes[0];
        list[2] = &nodes[1];
        nodes[0].type = CT_PAS;
        nodes[1].type = CT_CVF;
        nodes[0].next = &nodes[1];
        _CtrlList = list;
        _nctrl = 2;
        zones[1] = &zone;
        _ZoneList = zones;
        _nzone = 1;
    }
    void TearDown() override
    {
        _CtrlList = nullptr;
        _nctrl = 0;
        _ZoneList = nullptr;
        _nzone = 0;
        _Css0 = nullptr;
        _Ctrl0 = nullptr;
    }
    CtrlNode nodes[2]{};
    CtrlNode* list[3]{};
    ZoneRec zone{};
    ZoneRec* zones[2]{};
};

TEST_F(ControlQuestions, ValuesFileIsNeededByAControlAZoneOrASource)
{
    EXPECT_EQ(ctrl_NeedCvfDvf(CT_CVF), 1);   // node 2 reads continuous values
    EXPECT_EQ(ctrl_NeedCvfDvf(CT_DVF), 0);
    zone.vf_type = VF_DISCRETE;
    EXPECT_EQ(ctrl_NeedCvfDvf(CT_DVF), 1);
    zone.vf_type = VF_NONE;
    CssRec source{};
    source.value_file_type = VF_DISCRETE;
    _Css0 = &source;
    EXPECT_EQ(ctrl_NeedCvfDvf(CT_DVF), 1);
    EXPECT_EXIT(ctrl_NeedCvfDvf(5), ::testing::ExitedWithCode(2),
                "FATAL Invalid controls file type requested \\(CVF/DVF\\): 5");
}

TEST_F(ControlQuestions, ListingTimesAreNeededByListingStepIntegralsOnly)
{
    _Ctrl0 = &nodes[0];
    EXPECT_TRUE(haveCtrlNode_byType(CT_CVF));
    EXPECT_FALSE(haveCtrlNode_byType(CT_ARS));
    EXPECT_FALSE(haveCtrlNode_usesListTime());
    nodes[1].type = CT_ARS;
    EXPECT_TRUE(haveCtrlNode_usesListTime());
}

}  // namespace
