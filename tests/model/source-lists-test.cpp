// The lists of the time loop: sources and sinks split by solver and species class in
// project order, occupant emissions, occupancy schedules, and the control network bound
// and linked in sequence order.
#include <string>
#include <vector>

#include "model/prj-data.h"
#include "model/source-lists.h"
#include "tests/common-src/section-test-util.h"
#include "tests/model/network-fixture.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

using testnet::NetworkTest;
using testutil::MessageCapture;

class SourceLists : public NetworkTest {
protected:
    void SetUp() override
    {
        NetworkTest::SetUp();
        z = zone();
        path(z, &_ambt, element(AFE_PLR_ORFC));
        publish();
        species(2, 1, 0.0);   // species 0 non-trace, species 1 trace
        _ctm[0].default_conc = 1.0f;
        mfz[0] = mfz[2] = 1.0;
        sd_ambient();
        _nafnd = afnd_set();
        sd_paths();
    }
    // Sources in project order 1..6: a plain non-trace source, a plain trace source, a
    // boundary-layer sink at multiplier 0, a deposition sink, a plain source at multiplier 0
    // and one at a negative multiplier.
    void six_sources()
    {
        source(CSE_CCF, z, 1.0f, 0);
        source(CSE_CCF, z, 1.0f, 1);
        source(CSE_BLS, z, 0.0f, 1);
        source(CSE_DVR, z, 2.0f, 1, 0.5f);
        source(CSE_CCF, z, 0.0f, 1);
        source(CSE_CCF, z, -1.0f, 1);
        _ncss = 6;
    }
    template <class T> std::vector<int> numbers(T* head)
    {
        std::vector<int> v;
        for (T* r = head; r; r = r->next) v.push_back(r->number);
        return v;
    }
    ZoneRec* z = nullptr;
};

TEST_F(SourceLists, ImplicitSolverSplitsSourcesBySpeciesClassInProjectOrder)
{
    six_sources();
    srcl_sources();
    EXPECT_EQ(numbers(_Cssnt0), std::vector<int>({1}));
    EXPECT_EQ(numbers(_Csst0), std::vector<int>({2, 6}));   // a negative multiplier stays
    EXPECT_EQ(_Css0, nullptr);
    EXPECT_EQ(numbers(_BlsInactive0), std::vector<int>({3}));
    EXPECT_EQ(numbers(_Dvrt0), std::vector<int>({4}));
    EXPECT_EQ(_nbls, 1);
    EXPECT_EQ(_ndvr, 1);
    EXPECT_EQ(_ncss, 3);   // the two sinks and the source at multiplier 0 left the count
    EXPECT_EQ(_Csst0->zone_node, node(1));
    EXPECT_DOUBLE_EQ(_Dvrt0->multiplier, 2.0);
}

TEST_F(SourceLists, OtherSolversKeepEverySpeciesInOneList)
{
    _rcdat.mf_solver = 1;
    six_sources();
    srcl_sources();
    EXPECT_EQ(numbers(_Css0), std::vector<int>({1, 2, 6}));
    EXPECT_EQ(_Cssnt0, nullptr);
    EXPECT_EQ(_Csst0, nullptr);
    EXPECT_EQ(numbers(_Dvr0), std::vector<int>({4}));
    EXPECT_EQ(_Bls0, nullptr);
}

TEST_F(SourceLists, SinksCarryTheirSourcesDataAndCoefficients)
{
    CssRec* s = source(CSE_BLS, z, 3.0f, 1);
    s->init_value = 0.25f;
    s->box[5] = 2.5f;
    CssRec* d = source(CSE_DVR, z, 1.0f, 1, 0.0f);   // multiplier x data value 3 = 0: inactive
    (void)d;
    srcl_sources();
    ASSERT_NE(_Blst0, nullptr);
    EXPECT_FLOAT_EQ(_Blst0->coef_mult, 3.0f);   // data value 4 (1) x multiplier
    EXPECT_DOUBLE_EQ(_Blst0->surface_mass, 0.25);
    EXPECT_FLOAT_EQ(_Blst0->box[5], 2.5f);
    EXPECT_EQ(_Blst0->species, 1);
    EXPECT_EQ(_Blst0->zone_node, node(1));
    EXPECT_EQ(numbers(_DvrInactive0), std::vector<int>({2}));
}

TEST_F(SourceLists, OnlyTraceSpeciesLeaveTheNonTraceListsEmpty)
{
    source(CSE_CCF, z, 1.0f, 1);
    source(CSE_BLS, z, 1.0f, 1);
    source(CSE_DVR, z, 1.0f, 1);
    srcl_sources();
    EXPECT_EQ(_Cssnt0, nullptr);
    EXPECT_EQ(_Blsnt0, nullptr);
    EXPECT_EQ(_Dvrnt0, nullptr);
    EXPECT_NE(_Csst0, nullptr);
    EXPECT_NE(_Blst0, nullptr);
    EXPECT_NE(_Dvrt0, nullptr);
}

TEST_F(SourceLists, EmissionsTakeTheirScheduleAndSplitByClassKeepingOrder)
{
    WeekSchedRec* ws = rec<WeekSchedRec>("wsch");
    ExposureSrcRec* xs[3];
    for (int i = 0; i < 3; i++) {
        xs[i] = rec<ExposureSrcRec>("pxs");
        xs[i]->species = i == 1 ? 0 : 1;
        xs[i]->rate = (float)i;
        if (i) xs[i - 1]->next = xs[i];
    }
    xs[2]->wsch = ws;
    _Pxs0 = xs[0];
    srcl_emissions();
    EXPECT_EQ(_Pxs0, nullptr);
    EXPECT_EQ(_Pxsnt0, xs[1]);
    EXPECT_EQ(_Pxsnt0->next, nullptr);
    EXPECT_EQ(_Pxst0, xs[0]);
    EXPECT_EQ(_Pxst0->next, xs[2]);
    EXPECT_EQ(xs[0]->value_ptr, &_one);
    EXPECT_EQ(xs[2]->value_ptr, &ws->value);
}

TEST_F(SourceLists, OccupancyPointsMoveToTheAirflowNodes)
{
    OccSchedRec* o = rec<OccSchedRec>("osch");
    o->npts = 3;
    OccZone pts[3];
    pts[0].zone = z;
    pts[1].zone = &_ambt;
    pts[2].zone = nullptr;
    o->zones = pts;
    std::vector<OccSchedRec*> list{nullptr, o};
    _OschList = list.data();
    _nosch = 1;
    srcl_occupants();
    EXPECT_EQ(_Osch0, o);
    EXPECT_EQ(pts[0].node, node(1));
    EXPECT_EQ(pts[1].node, _pambt);
    EXPECT_EQ(pts[2].node, nullptr);
    EXPECT_EQ(_Pexp0, nullptr);
}

// ---- Controls ------------------------------------------------------------------------------

class Controls : public SourceLists {
protected:
    void bind()
    {
        publish();
        srcl_controls();
    }
};

TEST_F(Controls, NodesRunInSequenceOrderWithTheirInputsBound)
{
    float set_value = 21.5f;
    WeekSchedRec* ws = rec<WeekSchedRec>("wsch");
    CtrlNode* sch = control(CT_SCH, 3, 0, 0, ws);
    CtrlNode* set = control(CT_SET, 1, 0, 0, &set_value);
    CtrlNode* add = control(CT_ADD, 4, 1, 2);
    CtrlNode* pas = control(CT_PAS, 2, 3);
    bind();
    std::vector<int> order;
    for (CtrlNode* c = _Ctrl0; c; c = c->next) order.push_back(c->number);
    EXPECT_EQ(order, std::vector<int>({2, 4, 1, 3}));
    EXPECT_EQ(sch->input1, &ws->value);
    EXPECT_FLOAT_EQ(set->value, 21.5f);
    EXPECT_EQ(add->input1, &sch->value);
    EXPECT_EQ(add->input2, &set->value);
    EXPECT_EQ(pas->input1, &add->value);
    EXPECT_EQ(pas->input2, nullptr);
}

TEST_F(Controls, ListNodesPointAtEachListedOutputAndLogNodesAreCollected)
{
    CtrlNode* a = control(CT_LOG, 1, 2);
    control(CT_PAS, 2, 1);
    SumData* s = rec<SumData>("sum");
    s->count = 2;
    s->cnode = static_cast<int*>(alc_ec(&_ms, 2 * sizeof(int), "cnode"));
    s->vals = static_cast<float**>(alc_ec(&_ms, 2 * sizeof(float*), "vals"));
    s->cnode[0] = 2, s->cnode[1] = 1;
    CtrlNode* sum = control(CT_SUM, 3, 0, 0, s);
    CtrlNode* b = control(CT_LOG, 4, 3);
    _nlogc = 2;
    bind();
    EXPECT_EQ(s->vals[0], &ctrls[2]->value);
    EXPECT_EQ(s->vals[1], &a->value);
    EXPECT_EQ(s->cnode, nullptr);
    ASSERT_NE(_CtrlLogs, nullptr);
    EXPECT_EQ(_CtrlLogs[0], a);
    EXPECT_EQ(_CtrlLogs[1], b);
    EXPECT_EQ(b->input1, &sum->value);
}

TEST_F(Controls, SensorsPointAtWhatTheySense)
{
    JunctionRec* t = junction(z, 1);
    JunctionRec* j = junction();
    duct(j, t, element(AFE_DCT_PLR));
    publish();
    species(2, 0, 0.0);   // the junctions' mass fractions too
    sd_ambient();
    sd_junction_volumes();
    _nafnd = afnd_set();
    sd_paths();
    sd_ducts();
    sd_terminals_leaks();
    CtrlNode* temp = sensor(1, 1, 1);
    CtrlNode* amb = sensor(1, -1, 0, 1);
    CtrlNode* none = sensor(1, 1, 0, 2);   // species index _nctm: the constant zero
    CtrlNode* occ = sensor(1, 1, 5);
    CtrlNode* flow = sensor(2, 1, 2);
    CtrlNode* ddp = sensor(4, 1, 3);
    CtrlNode* tflow = sensor(6, 1, 2);
    CtrlNode* gauge = sensor(3, 2, 4);
    bind();
    auto data = [](CtrlNode* c) { return static_cast<SensorData*>(c->data); };
    EXPECT_EQ(data(temp)->sensed_ptr, &node(1)->temperature);
    EXPECT_EQ(data(amb)->sensed_node, _pambt);
    EXPECT_EQ(data(amb)->sensed_ptr, &_pambt->mf[1]);
    EXPECT_EQ(none->input1, &_zero);
    EXPECT_EQ(occ->input1, &node(1)->occupancy);
    EXPECT_EQ(_doOccSens, 1);
    EXPECT_EQ(flow->input1, &airpath(1)->flow_sum);
    EXPECT_EQ(data(ddp)->sensed_ptr, &airpath(2)->dp);
    EXPECT_EQ(tflow->input1, &airpath(3)->flow_sum);
    EXPECT_EQ(gauge->input1, &node(3)->gauge_pressure);
}

struct BadControl {
    int type, kind, number, measure;
    const char* message;
};

class BadControls : public Controls, public ::testing::WithParamInterface<BadControl> {};

TEST_P(BadControls, BindingFailureEndsTheRunNamingTheNode)
{
    const BadControl& b = GetParam();
    junction();
    control(CT_PAS, 1, 1);
    CtrlNode* c = b.type == CT_SNS ? sensor(b.kind, b.number, b.measure)
                                   : control(b.type, 2, 1, b.number);
    (void)c;
    publish();
    EXPECT_EXIT(srcl_controls(), ::testing::ExitedWithCode(2), b.message);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, BadControls,
    ::testing::Values(BadControl{CT_ADD, 0, 9, 0, "FATAL  Invalid link, control 2"},
                      BadControl{CT_SNS2, 0, 1, 0, "FATAL Invalid control type: 36"},
                      BadControl{CT_SNS, 1, 2, 1, "FATAL  Invalid node, control 2"},
                      BadControl{CT_SNS, 1, 1, 2, "FATAL  Invalid measure, control 2"},
                      BadControl{CT_SNS, 2, 3, 2, "FATAL  Invalid path, control 2"},
                      BadControl{CT_SNS, 5, 1, 0, "FATAL  Invalid node, control 2"},
                      BadControl{CT_SNS, 6, 1, 2, "FATAL  Invalid node, control 2"},
                      BadControl{CT_SNS, 6, 2, 1, "FATAL  Invalid node, control 2"},
                      BadControl{CT_SNS, 7, 1, 0, "FATAL  Invalid sensor type, control 2"}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(Controls, TwoNodesWithOneSequenceNumberEndTheRunNamingTheSecond)
{
    control(CT_PAS, 2, 2);
    control(CT_PAS, 1, 1);
    control(CT_PAS, 2, 1);
    publish();
    EXPECT_EXIT(srcl_controls(), ::testing::ExitedWithCode(2), "FATAL Control node 3 sequenced twice");
}

}  // namespace
}  // namespace vexlar
