// The network, control, source and occupant sections of the project reader, each read from
// a small text against a model of the earlier sections built in memory: record contents,
// every cross-reference ERROR, and the lists the sections leave behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common-src/prj-read.h"
#include "model/elements.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/prj-common.h"
#include "simulation/ctrl-signals.h"
#include "tests/common-src/section-test-util.h"
#include "tests/param-names.h"

using namespace vexlar;
using vexlar::testutil::MessageCapture;
using vexlar::testutil::TokenInput;

namespace {

// The records of the earlier sections: 2 levels, 2 day and 2 week schedules, 1 wind
// profile, 1 reaction, 1 filter, 2 airflow elements, 2 duct elements (dct_dwc, dct_plr),
// 1 simulated species "CO2", and source/sink elements 1 (CO2), 2 (a species that is not
// simulated), 3 ("sup" of 1 and 2) and 4 ("sup" of 2 alone).
class Sections : public ::testing::Test {
protected:
    SpeciesRec species[1] = {};
    LevelRec levels[2] = {};
    DaySchedRec dsch[2] = {};
    WeekSchedRec wsch[2] = {};
    WindProfileRec wpf[1] = {};
    ReactionRec knr[1] = {};
    FilterRec filt[1] = {};
    AfeRec afe[2] = {}, dfe[2] = {};
    CseRec cse[4] = {};
    CseRec* sup_elems[2][2] = {{&cse[0], &cse[1]}, {&cse[1], nullptr}};
    int sup_numbers[2][2] = {{1, 2}, {2, 0}};
    SupCseData sup[2] = {};

    template <class T> T** list(T* records, int n, const char* tag)
    {
        T** l = prj_list<T>(n, tag);
        for (int i = 1; i <= n; i++) l[i] = &records[i - 1];
        return l;
    }

    void SetUp() override
    {
        clearModel();
        _ms = alc_eci(32000, "ms-block");
        _mb = alc_eci(8000, "mb-block");
        prjType = 0;   // the records are those of a VexlarW file
        strcpy(species[0].name, "CO2");
        _ctm = species;
        _nctm = 1;
        _LevList = list(levels, _nlev = 2, "LevLst");
        _DschList = list(dsch, _ndsch = 2, "DshLst");
        _WschList = list(wsch, _nwsch = 2, "WshLst");
        _WpfList = list(wpf, _nwpf = 1, "WpfLst");
        _KinrList = list(knr, _nkinr = 1, "KnrLst");
        _FiltList = list(filt, _nfilt = 1, "FltLst");
        afe[0].type = afe[1].type = AFE_PLR_ORFC;
        _AfeList = list(afe, _nafe = 2, "AfeLst");
        dfe[0].type = AFE_DCT_DWC;
        dfe[1].type = AFE_DCT_PLR;
        _DfeList = list(dfe, _ndfe = 2, "DfeLst");
        cse[0].species = 0;
        cse[1].species = 1;   // _nctm: not simulated
        for (int s = 0; s < 2; s++) {
            sup[s] = {s == 0 ? 2 : 1, sup_numbers[s], sup_elems[s]};
            cse[2 + s].type = CSE_SUP;
            cse[2 + s].model_data = &sup[s];
            cse[2 + s].species = 1;
        }
        _CseList = list(cse, _ncse = 4, "CseLst");
    }

    void TearDown() override
    {
        testutil::releaseProjectModel();
        clearModel();
    }

    // No records to look up until the test gives them (freed lists keep their counts).
    static void clearModel()
    {
        _nlev = _ndsch = _nwsch = _nwpf = _nkinr = _nflte = _nfilt = _ncse = _nafe = _ndfe = 0;
        _nahs = _nzone = _npath = _njct = _ndct = _nctrl = _ncss = _nosch = _npexp = 0;
        _nZctm = _nJctm = _nctm = 0;
        _OschList = nullptr;
        _PexpList = nullptr;
        _ctm = nullptr;
        _Css0 = nullptr;
        _Pxs0 = nullptr;
        _rcdat = RunControlData{};
    }

    // Zones 1..n read from the zone section (level 1, nothing else referenced).
    void readZones(int n)
    {
        std::string text = "x\n" + std::to_string(n) + "\n";
        for (int k = 1; k <= n; k++)
            text += std::to_string(k) + " 3 0 0 0 1 0.5 50 293.15 0 zone" + std::to_string(k) +
                    " 0 0 0 0 0 0 0 0\n";
        TokenInput in(text + "-999\n");
        zone_read();
    }
};

// ---- Zones --------------------------------------------------------------------------------

TEST_F(Sections, AZoneRecordKeepsItsValuesAndReferences)
{
    MessageCapture msgs;
    TokenInput in("x\n1\n1 0xffff 2 0 1 2 1.5 100 295.15 10 Office_on_level_two_long_name "
                  "0 0 0 0 0 0 1 ctemp 1 cfdz\n-999\n");
    EXPECT_EQ(zone_read(), 1);
    ZoneRec* z = _ZoneList[1];
    EXPECT_EQ(z->flags, 0x3f);
    EXPECT_EQ(z->wsch, &wsch[1]);
    EXPECT_EQ(wsch[1].use_count, 1);
    EXPECT_EQ(z->ctrl, nullptr);
    EXPECT_EQ(z->reaction, &knr[0]);
    EXPECT_EQ(z->level, &levels[1]);
    EXPECT_FLOAT_EQ(z->rel_height, 1.5f);
    EXPECT_FLOAT_EQ(z->volume, 100.0f);
    EXPECT_FLOAT_EQ(z->temperature, 295.15f);
    EXPECT_FLOAT_EQ(z->pressure, 10.0f);
    EXPECT_STREQ(z->name, "Office_on_level_two_long_name");
    EXPECT_EQ(z->vf_type, VF_CONTINUOUS);
    EXPECT_STREQ(z->vf_name, "ctemp");
    EXPECT_STREQ(z->cfd_name, "cfdz");
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
}

struct RefCase {
    const char* record;   // the zone line after its number
    const char* message;
};
std::ostream& operator<<(std::ostream& os, const RefCase& c) { return os << c.message; }

class ZoneRefs : public Sections, public ::testing::WithParamInterface<RefCase> {};
TEST_P(ZoneRefs, AReferenceOutsideItsSectionIsAnErrorNamingTheZone)
{
    MessageCapture msgs;
    TokenInput in(std::string("x\n1\n1 ") + GetParam().record + " z 0 0 0 0 0 0 0 0\n-999\n");
    zone_read();
    EXPECT_TRUE(msgs.has("ERROR", std::string(GetParam().message) + "1\n")) << msgs.dump();
    EXPECT_EQ(msgs.errors(), 1);
}
INSTANTIATE_TEST_SUITE_P(
    Zones, ZoneRefs,
    ::testing::Values(RefCase{"0 3 0 0 1 0 1 293 0", "Invalid schedule number, zone "},
                      RefCase{"0 0 1 0 1 0 1 293 0", "Invalid control node number, zone "},
                      RefCase{"0 0 0 2 1 0 1 293 0", "Invalid reaction number, zone "},
                      RefCase{"0 0 0 0 0 0 1 293 0", "Invalid level number, zone "},
                      RefCase{"0 0 0 0 3 0 1 293 0", "Invalid level number, zone "}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(Sections, OneDimensionalZonesNeedTheRunControlSwitch)
{
    const char* text = "x\n1\n1 3 0 0 0 1 0 10 293 0 long 0 0 0 0 0 1 0 0 "
                       "0 0 0 0 0 0 10 1 0.5 0 0\n-999\n";
    for (int allowed : {0, 1}) {
        MessageCapture msgs;
        _rcdat.cd1_zones = allowed;
        TokenInput in(text);
        zone_read();
        EXPECT_EQ(_ZoneList[1]->cd1, allowed);
        EXPECT_FLOAT_EQ(_ZoneList[1]->cd1_geom[5], 10.0f);
        EXPECT_FLOAT_EQ(_ZoneList[1]->cd1_geom[6], 1.0f);
        EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
        prj_read_free_comp_lists();
    }
}

TEST_F(Sections, ZoneConcentrationsFillOneBlockPerZoneAfterTheAmbient)
{
    readZones(2);
    MessageCapture msgs;
    TokenInput in("x\n2\n1 0.001\n2 0.002\n-999\n");
    zone_cc_read();
    ASSERT_NE(_MfZ, nullptr);
    EXPECT_EQ(_nZctm, 3);
    EXPECT_EQ(_MfZ[0], 0.0);
    EXPECT_FLOAT_EQ((float)_MfZ[1], 0.001f);
    EXPECT_FLOAT_EQ((float)_MfZ[2], 0.002f);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
}

TEST_F(Sections, AZoneConcentrationCountOtherThanZonesTimesSpeciesIsAnError)
{
    readZones(3);
    MessageCapture msgs;
    TokenInput in("x\n10\n-999\n");
    zone_cc_read();
    EXPECT_TRUE(msgs.has("ERROR", "Zones*contaminant count mis-match: 10 found, 3 expected (3 "
                                 "records times 1 simulated species)"))
        << msgs.dump();
    EXPECT_EQ(_MfZ, nullptr);
}

TEST_F(Sections, NegativeInitialMassFractionsGiveOneError)
{
    readZones(2);
    MessageCapture msgs;
    TokenInput in("x\n2\n1 -0.1\n2 -0.2\n-999\n");
    zone_cc_read();
    EXPECT_EQ(msgs.count("ERROR"), 1) << msgs.dump();
    EXPECT_TRUE(msgs.has("ERROR", "Zone initial mass fraction(s) < 0\n"));
}

// ---- Paths --------------------------------------------------------------------------------

// A path line after its number: flags, from, to, element, filter, profile, system, week
// schedule, control, level, eight floats, two unused floats, seven unused words, value file,
// CFD flag.
std::string pathLine(const std::string& head)
{
    return head + " 0 0 0 2 3 1 90 0 0 0 0 0 0 0 0 0 0 0 0";
}

TEST_F(Sections, APathFromTheAmbientRefersToTheAmbientRecord)
{
    readZones(3);
    MessageCapture msgs;
    TokenInput in("x\n1\n1 " + pathLine("0x101 -1 3 2 1 1 0 1 0 1") + "\n-999\n");
    EXPECT_EQ(path_read(), 1);
    PathRec* p = _PathList[1];
    EXPECT_EQ(p->flags, 0x101);
    EXPECT_EQ(p->from_zone, &_ambt);
    EXPECT_EQ(p->to_zone, _ZoneList[3]);
    EXPECT_EQ(p->element, &afe[1]);
    EXPECT_EQ(p->filter, &filt[0]);
    EXPECT_EQ(p->wind_profile, &wpf[0]);
    EXPECT_EQ(p->wsch, &wsch[0]);
    EXPECT_FLOAT_EQ(p->multiplier, 2.0f);
    EXPECT_FLOAT_EQ(p->fixed_wind_pressure, 3.0f);
    EXPECT_FLOAT_EQ(p->azimuth, 90.0f);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
}

class PathRefs : public Sections, public ::testing::WithParamInterface<RefCase> {};
TEST_P(PathRefs, AReferenceOutsideItsSectionIsAnErrorNamingThePath)
{
    readZones(2);
    MessageCapture msgs;
    TokenInput in("x\n1\n1 " + pathLine(GetParam().record) + "\n-999\n");
    path_read();
    EXPECT_TRUE(msgs.has("ERROR", std::string(GetParam().message) + "1\n")) << msgs.dump();
    EXPECT_EQ(msgs.errors(), 1);
}
INSTANTIATE_TEST_SUITE_P(
    Paths, PathRefs,
    ::testing::Values(RefCase{"0 -2 1 1 0 0 0 0 0 1", "Invalid zone number, path "},
                      RefCase{"0 1 3 1 0 0 0 0 0 1", "Invalid zone number, path "},
                      RefCase{"0 1 2 3 0 0 0 0 0 1", "Invalid flow element number, path "},
                      RefCase{"0 1 2 0 0 0 0 0 0 1", "Invalid flow element number, path "},
                      RefCase{"0 1 2 1 2 0 0 0 0 1", "Invalid filter number, path "},
                      RefCase{"0 1 2 1 0 2 0 0 0 1", "Invalid wind profile number, path "},
                      RefCase{"0x08 1 2 0 0 0 0 0 0 1", "Invalid AHS number, path "},
                      RefCase{"0 1 2 1 0 0 2 0 0 1", "Invalid AHS number, path "},
                      RefCase{"0 1 2 1 0 0 0 3 0 1", "Invalid week-schedule number, path "},
                      RefCase{"0 1 2 1 0 0 0 0 1 1", "Invalid control node number, path "},
                      RefCase{"0 1 2 1 0 0 0 0 0 0", "Invalid level number, path "}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(Sections, SystemPathsNeedNoElementAndNameTheirSystem)
{
    readZones(2);
    {
        TokenInput in("x\n1\n1 1 2 3 4 5 0 ahs1\ndesc\n-999\n");
        ahs_read();
    }
    MessageCapture msgs;
    std::string text = "x\n5\n";
    for (int k = 1; k <= 5; k++)
        text += std::to_string(k) + " " + pathLine(std::string(k <= 2 ? "0x08" : "0x10") +
                                                   " 1 2 0 0 0 " + (k <= 2 ? "1" : "0") +
                                                   " 0 0 1") + "\n";
    TokenInput in(text + "-999\n");
    path_read();
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
    EXPECT_EQ(_PathList[1]->ahs, _AhsList[1]);
    EXPECT_EQ(_PathList[1]->element, nullptr);
    EXPECT_EQ(_PathList[3]->ahs, nullptr);
}

TEST_F(Sections, ASystemMustNameZonesAndPathsThatExist)
{
    readZones(2);
    {
        TokenInput in("x\n1\n1 1 3 1 1 9 0 ahs1\ndesc\n-999\n");
        ahs_read();
    }
    MessageCapture msgs;
    TokenInput in("x\n1\n1 " + pathLine("0 1 2 1 0 0 0 0 0 1") + "\n-999\n");
    path_read();
    EXPECT_TRUE(msgs.has("ERROR", "Invalid zone number, AHS 1\n")) << msgs.dump();
    EXPECT_TRUE(msgs.has("ERROR", "Invalid path number, AHS 1\n")) << msgs.dump();
}

// ---- Junctions and ducts -----------------------------------------------------------------

TEST_F(Sections, TerminalsReadTheirOwnDataAndConcentrationsFollow)
{
    readZones(1);
    MessageCapture msgs;
    TokenInput in("x\n2\n"
                  "1 3 0 -1 1 0 0 0 1 0 0 2.5 293 0 0 0 0 0 0 0 0\n"
                  "2 3 1 1 1 0 1 0 1 1 2 3.5 294 0 0 0 0 0 0 0 0 0 0 1 1 2 3 1 0.05 0.2 "
                  "0.25 1.5 0.5 0 0 0 0 0\n"
                  "-999\n2\n1 0.001\n2 0.002\n-999\n");
    EXPECT_EQ(jct_read(), 2);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
    JunctionRec* plain = _JctList[1];
    JunctionRec* term = _JctList[2];
    EXPECT_EQ(plain->zone, &_ambt);
    EXPECT_EQ(plain->duct_number, 1);
    EXPECT_FLOAT_EQ(plain->rel_height, 2.5f);
    EXPECT_FLOAT_EQ(plain->temperature, 293.0f);
    EXPECT_EQ(term->zone, _ZoneList[1]);
    EXPECT_EQ(term->wsch, &wsch[0]);
    EXPECT_EQ(term->filter, nullptr);
    EXPECT_EQ(term->wind_profile, &wpf[0]);
    EXPECT_FLOAT_EQ(term->azimuth, 3.0f);
    EXPECT_EQ(term->balance, 1);
    EXPECT_FLOAT_EQ(term->design_flow, 0.05f);
    EXPECT_FLOAT_EQ(term->loss_coef2, 0.5f);
    ASSERT_NE(_MfJ, nullptr);
    EXPECT_EQ(_nJctm, 2);
    EXPECT_FLOAT_EQ((float)_MfJ[1], 0.002f);
}

TEST_F(Sections, JunctionsWithoutSpeciesAllocateNoConcentrations)
{
    _nctm = 0;
    MessageCapture msgs;
    TokenInput in("x\n0\n-999\n0\n-999\n");
    jct_read();
    EXPECT_EQ(_MfJ, nullptr);
    EXPECT_EQ(_nJctm, 0);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
}

// Two junctions in the ambient joined by one segment whose line follows the number.
std::string ductProject(const std::string& segment, int duct_of_jct1 = 1)
{
    return "x\n2\n1 0 0 -1 " + std::to_string(duct_of_jct1) +
           " 0 0 0 1 0 0 0 293 0 0 0 0 0 0 0 0\n"
           "2 0 0 -1 1 0 0 0 1 0 0 0 293 0 0 0 0 0 0 0 0\n-999\n0\n-999\n" +
           "1\n1 " + segment + "\n-999\n";
}

struct DuctCase {
    const char* segment;   // after the number
    const char* message;   // "" when accepted
};
std::ostream& operator<<(std::ostream& os, const DuctCase& c) { return os << c.segment; }

class DuctSegments : public Sections, public ::testing::WithParamInterface<DuctCase> {};
TEST_P(DuctSegments, SegmentsAreCheckedAgainstJunctionsElementsAndLength)
{
    _nctm = 0;
    MessageCapture msgs;
    TokenInput in(ductProject(GetParam().segment));
    jct_read();
    duct_read();
    if (GetParam().message[0]) {
        EXPECT_TRUE(msgs.has("ERROR", GetParam().message)) << msgs.dump();
        EXPECT_EQ(msgs.errors(), 1) << msgs.dump();
    } else {
        EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
        EXPECT_EQ(_JctList[1]->duct, _DctList[1]);
        EXPECT_EQ(_DctList[1]->jct_to, _JctList[2]);
    }
}
INSTANTIATE_TEST_SUITE_P(
    Ducts, DuctSegments,
    ::testing::Values(
        DuctCase{"0 1 2 1 0 0 0 0 0 0 0 0.5 0 0 0 0", ""},
        DuctCase{"0 1 2 1 0 0 0 0 0 0 0 0 0 0 0 0",
                 "Duct 1 with DWC element has neither length nor loss coefficient\n"},
        DuctCase{"0 1 2 2 0 0 0 0 0 0 0 0 0 0 0 0", ""},
        DuctCase{"0 1 3 1 0 0 0 0 5 0 0 0 0 0 0 0", "Invalid junction number, duct 1\n"},
        DuctCase{"0 1 2 3 0 0 0 0 5 0 0 0 0 0 0 0", "Invalid duct element number, duct 1\n"},
        DuctCase{"0 1 2 1 2 0 0 0 5 0 0 0 0 0 0 0", "Invalid filter number, duct 1\n"},
        DuctCase{"0 1 2 1 0 3 0 0 5 0 0 0 0 0 0 0", "Invalid week-schedule number, duct 1\n"},
        DuctCase{"0 1 2 1 0 0 1 0 5 0 0 0 0 0 0 0", "Invalid control node number, duct 1\n"}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(Sections, AJunctionMustNameADuctSegmentThatExists)
{
    _nctm = 0;
    MessageCapture msgs;
    TokenInput in(ductProject("0 1 2 2 0 0 0 0 5 0 0 0 0 0 0 0", 2));
    jct_read();
    duct_read();
    EXPECT_TRUE(msgs.has("ERROR", "Invalid duct number, junction 1\n")) << msgs.dump();
}

// ---- Sources and sinks -------------------------------------------------------------------

// A source line after its number: zone, element, week schedule, control, multiplier, seven
// floats, two unused words, value file, CFD flag.
std::string sourceLine(int zone, int element, int wsch = 0)
{
    return std::to_string(zone) + " " + std::to_string(element) + " " + std::to_string(wsch) +
           " 0 2 0 0 0 0 1 1 1 0 0 0 0";
}

TEST_F(Sections, SourcesOfSimulatedSpeciesAreKeptInReverseFileOrder)
{
    readZones(1);
    MessageCapture msgs;
    TokenInput in("x\n4\n1 " + sourceLine(1, 1, 1) + "\n2 " + sourceLine(1, 2, 2) + "\n3 " +
                  sourceLine(1, 1) + "\n4 " + sourceLine(1, 4) + "\n-999\n");
    EXPECT_EQ(css_read(), 4);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
    std::vector<int> kept;
    for (CssRec* c = _Css0; c; c = c->next) kept.push_back(c->number);
    EXPECT_EQ(kept, (std::vector<int>{3, 1}));
    EXPECT_EQ(_Css0->next->value_ptr, &wsch[0].value);
    EXPECT_EQ(_Css0->value_ptr, &_one);
    EXPECT_FLOAT_EQ(_Css0->multiplier, 2.0f);
    EXPECT_FLOAT_EQ(_Css0->box[5], 1.0f);
    EXPECT_EQ(wsch[0].use_count, 1);
    EXPECT_EQ(wsch[1].use_count, 0);   // its source is not simulated
}

TEST_F(Sections, ASuperSourceGivesOneInstancePerSimulatedSubElement)
{
    readZones(1);
    MessageCapture msgs;
    TokenInput in("x\n1\n1 " + sourceLine(1, 3) + "\n-999\n");
    css_read();
    ASSERT_NE(_Css0, nullptr);
    EXPECT_EQ(_Css0->cse, &cse[0]);
    EXPECT_EQ(_Css0->next, nullptr);
}

TEST_F(Sections, AControlNodeWithAValueFileMakesTheSourceTypeThree)
{
    readZones(1);
    _CtrlList = prj_list<CtrlNode>(_nctrl = 1, "CtLst");
    CtrlNode node = {};
    _CtrlList[1] = &node;
    MessageCapture msgs;
    TokenInput in("x\n1\n1 1 1 0 1 2 0 0 0 0 1 1 1 0 0 2 dcol 1 cfdsrc\n-999\n");
    css_read();
    ASSERT_NE(_Css0, nullptr);
    EXPECT_EQ(_Css0->value_ptr, &node.value);
    EXPECT_EQ(_Css0->value_file_type, VF_CTRL_AND_FILE);
    EXPECT_STREQ(_Css0->value_file_name, "dcol");
    EXPECT_STREQ(_Css0->cfd_name, "cfdsrc");
}

class SourceRefs : public Sections, public ::testing::WithParamInterface<RefCase> {};
TEST_P(SourceRefs, ABadReferenceStopsTheSectionAtItsRecord)
{
    readZones(1);
    MessageCapture msgs;
    TokenInput in(std::string("x\n2\n1 ") + GetParam().record + " 2 0 0 0 0 1 1 1 0 0 0 0\n2 " +
                  sourceLine(1, 1) + "\n-999\n");
    css_read();
    EXPECT_TRUE(msgs.has("ERROR", std::string(GetParam().message) + "1\n")) << msgs.dump();
    // The record's own ERROR says what is wrong; the section's count is right.
    EXPECT_FALSE(msgs.has("ERROR", "PRJ read error in Source/Sink section")) << msgs.dump();
    EXPECT_EQ(msgs.count("ERROR"), 1) << msgs.dump();
    EXPECT_EQ(_Css0, nullptr);
}
INSTANTIATE_TEST_SUITE_P(
    Sources, SourceRefs,
    ::testing::Values(RefCase{"2 1 0 0", "Invalid zone number, source "},
                      RefCase{"1 5 0 0", "Invalid element number, source "},
                      RefCase{"1 1 3 0", "Invalid week-schedule number, source "},
                      RefCase{"1 1 0 1", "Invalid control node number, source "}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(Sections, SourceNumbersSayTheNumberExpectedAndFound)
{
    readZones(1);
    MessageCapture msgs;
    TokenInput in("x\n2\n2 " + sourceLine(1, 1) + "\n-999\n");
    css_read();
    EXPECT_TRUE(msgs.has("ERROR", "S/S number mis-match: 1 expected, 2 found: number the records "
                                  "of a section 1, 2, 3, ... in file order\n"))
        << msgs.dump();
    EXPECT_EQ(msgs.count("ERROR"), 1) << msgs.dump();
}

// ---- Occupancy and occupants -----------------------------------------------------------

TEST_F(Sections, AnOccupantOutsideAtMidnightKeepsTheZoneOfThePointBefore)
{
    readZones(2);
    MessageCapture msgs;
    TokenInput in("x\n1\n1 4 0 sched\ndesc\n0:00:00 0 0 0 0\n8:00:00 2 1 2 1.5\n"
                  "17:00:00 -1 0 0 0\n24:00:00 0 0 0 0\n-999\n");
    EXPECT_EQ(osch_read(), 1);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
    OccSchedRec* o = _OschList[1];
    EXPECT_EQ(o->npts, 4);
    EXPECT_EQ(o->zones[0].zone, nullptr);
    EXPECT_EQ(o->zones[1].zone, _ZoneList[2]);
    EXPECT_EQ(o->zones[2].zone, &_ambt);
    EXPECT_EQ(o->zones[3].zone, &_ambt);
    EXPECT_EQ(o->times[1], 28800);
    EXPECT_FLOAT_EQ(o->rel_height[1], 1.5f);
}

TEST_F(Sections, AnOccupancyPointInAZoneThatDoesNotExistIsAnError)
{
    readZones(1);
    MessageCapture msgs;
    TokenInput in("x\n1\n1 1 0 sched\ndesc\n0:00:00 2 0 0 0\n-999\n");
    osch_read();
    EXPECT_TRUE(msgs.has("ERROR", "Invalid zone number, Occ 1\n")) << msgs.dump();
}

TEST_F(Sections, EmissionsOfSimulatedSpeciesAreKeptInFileOrder)
{
    readZones(1);
    {
        TokenInput in("x\n1\n1 1 0 s\nd\n0:00:00 1 0 0 0\n-999\n");
        osch_read();
    }
    MessageCapture msgs;
    TokenInput in("x\n1\n1 1 3 1.5 0\ndescription\n1 1 1 1 1 1 1 0 0 0 0 0\n"
                  "CO2 1 2.5e-6 0 0\nCO 0 1 0 0\nCO2 2 1e-6 0 1 ccol\n-999\n");
    EXPECT_EQ(pexp_read(), 1);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
    ExposureRec* e = _PexpList[1];
    EXPECT_EQ(e->occ_scheds[0], _OschList[1]);
    EXPECT_EQ(e->occ_scheds[11], nullptr);
    EXPECT_FLOAT_EQ(e->factor, 1.5f);
    ASSERT_NE(_Pxs0, nullptr);
    ASSERT_NE(_Pxs0->next, nullptr);
    EXPECT_EQ(_Pxs0->next->next, nullptr);
    EXPECT_EQ(_Pxs0->wsch, &wsch[0]);
    EXPECT_FLOAT_EQ(_Pxs0->rate, 2.5e-6f);
    EXPECT_EQ(_Pxs0->next->value_file_type, VF_CONTINUOUS);
    EXPECT_STREQ(_Pxs0->next->value_file_name, "ccol");
    EXPECT_EQ(wsch[1].use_count, 1);
}

class OccupantRefs : public Sections, public ::testing::WithParamInterface<RefCase> {};
TEST_P(OccupantRefs, OccupantReferencesAreChecked)
{
    MessageCapture msgs;
    TokenInput in(std::string("x\n1\n1 1 1 1 0\nd\n") + GetParam().record + "\n-999\n");
    pexp_read();
    EXPECT_TRUE(msgs.has("ERROR", std::string(GetParam().message) + "1\n")) << msgs.dump();
}
INSTANTIATE_TEST_SUITE_P(Occupants, OccupantRefs,
                         ::testing::Values(RefCase{"2 0 0 0 0 0 0 0 0 0 0 0\nCO2 1 1 0 0",
                                                   "Invalid occupancy-schedule number, exposure "},
                                           RefCase{"0 0 0 0 0 0 0 0 0 0 0 0\nCO2 3 1 0 0",
                                                   "Invalid week-schedule number, exposure "}),
                         testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(Sections, NotesAreCountedAndDropped)
{
    MessageCapture msgs;
    TokenInput in("x\n2\n1 0 first note, with words\n2 0 second\n-999\n");
    EXPECT_EQ(note_read(), 2);
    EXPECT_EQ(_nnote, 2);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
}

// ---- Controls ------------------------------------------------------------------------------

// A control record: number, keyword, sequence, flags, unused word, inputs, name, the
// description line, then the type's data.
std::string ctrlRecord(int k, const std::string& type, int seq, int in1, int in2,
                       const std::string& data = "")
{
    return std::to_string(k) + " " + type + " " + std::to_string(seq) + " 0 0 " +
           std::to_string(in1) + " " + std::to_string(in2) + " name" + std::to_string(k) +
           "\ndescription of it\n" + data;
}

TEST_F(Sections, ControlNodesBindTheirSignalFunctionsAndReadTheirData)
{
    MessageCapture msgs;
    TokenInput in("x\n6\n" + ctrlRecord(1, "sph", 6, 0, 0) +
                  ctrlRecord(2, "sch", 5, 0, 0, "2\n") +
                  ctrlRecord(3, "dls", 4, 1, 0, "1 2\n") +
                  ctrlRecord(4, "ply", 3, 1, 0, "2 0.5 1.5 2.5\n") +
                  ctrlRecord(5, "sns", 2, 0, 0, "0 1 0 0 -1 1 0 0 0 0 0 CO2\n") +
                  ctrlRecord(6, "max", 1, 0, 6, "2\n1 6\n") + "-999\n");
    EXPECT_EQ(ctrl_read(), 6);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
    EXPECT_EQ(_CtrlList[1]->signal_fn, &pas_sig);
    EXPECT_EQ(_CtrlList[1]->type, CT_SPH);
    EXPECT_EQ(_CtrlList[2]->data, &wsch[1]);
    EXPECT_EQ(wsch[1].use_count, 1);
    EXPECT_EQ(dsch[0].active_flag, 1);
    EXPECT_EQ(dsch[1].active_flag, 1);
    PolyData* poly = static_cast<PolyData*>(_CtrlList[4]->data);
    EXPECT_EQ(poly->degree, 2);
    EXPECT_FLOAT_EQ(poly->coef[2], 2.5f);
    SensorData* sns = static_cast<SensorData*>(_CtrlList[5]->data);
    EXPECT_EQ(sns->sensed_kind, 1);
    EXPECT_EQ(sns->sensed_number, -1);
    EXPECT_EQ(sns->species, 0);
    SumData* sum = static_cast<SumData*>(_CtrlList[6]->data);
    ASSERT_EQ(sum->count, 2);
    EXPECT_EQ(sum->cnode[0], 1);
    EXPECT_EQ(sum->cnode[1], 6);
    EXPECT_EQ(_CtrlList[6]->in2_number, 6);
}

struct CtrlCase {
    std::string records;   // two records
    const char* message;
};
std::ostream& operator<<(std::ostream& os, const CtrlCase& c) { return os << c.message; }

class ControlErrors : public Sections, public ::testing::WithParamInterface<CtrlCase> {};
TEST_P(ControlErrors, BadControlRecordsAreCountedErrors)
{
    MessageCapture msgs;
    TokenInput in("x\n2\n" + GetParam().records + "-999\n");
    ctrl_read();
    EXPECT_TRUE(msgs.has("ERROR", GetParam().message)) << msgs.dump();
}
INSTANTIATE_TEST_SUITE_P(
    Controls, ControlErrors,
    ::testing::Values(
        CtrlCase{ctrlRecord(1, "pas", 0, 0, 0) + ctrlRecord(2, "pas", 2, 0, 0),
                 "Control node 1 has invalid sequence number\n"},
        CtrlCase{ctrlRecord(1, "pas", 1, 3, 0) + ctrlRecord(2, "pas", 2, 0, 0),
                 "Invalid control node number, node 1\n"},
        CtrlCase{ctrlRecord(1, "pas", 1, 0, -1) + ctrlRecord(2, "pas", 2, 0, 0),
                 "Invalid control node number, node 1\n"},
        CtrlCase{ctrlRecord(1, "pas", 1, 0, 0) + ctrlRecord(2, "pas", 1, 0, 0),
                 "Control node 2 sequenced twice\n"},
        CtrlCase{ctrlRecord(1, "xyz", 1, 0, 0) + ctrlRecord(2, "pas", 2, 0, 0),
                 "Invalid control type 52\n"},
        CtrlCase{
            ctrlRecord(1, "a_keyword_of_28_characters_x", 1, 0, 0) + ctrlRecord(2, "pas", 2, 0, 0),
            "Undefined Element Type: a_keyword_of_28_characters_x\n"},
        CtrlCase{ctrlRecord(1, "sch", 1, 0, 0, "3\n") + ctrlRecord(2, "pas", 2, 0, 0),
                 "Invalid week-schedule number, control 1\n"},
        CtrlCase{ctrlRecord(1, "dls", 1, 0, 0, "1 0\n") + ctrlRecord(2, "pas", 2, 0, 0),
                 "Invalid day-schedule number, control 1\n"},
        CtrlCase{ctrlRecord(1, "sum", 1, 0, 0, "1\n3\n") + ctrlRecord(2, "pas", 2, 0, 0),
                 "Invalid control node number, node 1\n"},
        CtrlCase{ctrlRecord(2, "pas", 1, 0, 0) + ctrlRecord(2, "pas", 2, 0, 0),
                 "Control number mis-match: 1 expected"}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(Sections, AnInputEqualToTheNodeCountIsAccepted)
{
    MessageCapture msgs;
    TokenInput in("x\n2\n" +
                  ctrlRecord(1, "log", 2, 2, 0, "0 1 0 Heading_of_exactly_31_character mg\n") +
                  ctrlRecord(2, "set", 1, 0, 0, "0.5\n") + "-999\n");
    ctrl_read();
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
    EXPECT_EQ(_CtrlList[1]->in1_number, 2);
    EXPECT_EQ(_nlogc, 1);
    EXPECT_STREQ(static_cast<LogData*>(_CtrlList[1]->data)->heading,
                 "Heading_of_exactly_31_character");
    EXPECT_FLOAT_EQ(*static_cast<float*>(_CtrlList[2]->data), 0.5f);
}

TEST_F(Sections, ControllerDataLandInTheirNamedFields)
{
    MessageCapture msgs;
    TokenInput in("x\n3\n" + ctrlRecord(1, "mod", 1, 0, 0, "0.5 2\n") +
                  ctrlRecord(2, "hys", 2, 1, 0, "0.1 3 0.25\n") +
                  ctrlRecord(3, "pi1", 3, 1, 0, "1.5 0.2 0.7 0.9\n") + "-999\n");
    ctrl_read();
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
    auto* mod = static_cast<ModData*>(_CtrlList[1]->data);
    EXPECT_FLOAT_EQ(mod->offset, 0.5f);
    EXPECT_FLOAT_EQ(mod->scale, 2.0f);
    auto* hys = static_cast<HysData*>(_CtrlList[2]->data);
    EXPECT_FLOAT_EQ(hys->width, 0.1f);
    EXPECT_FLOAT_EQ(hys->gain, 3.0f);
    EXPECT_FLOAT_EQ(hys->state, 0.25f);
    auto* pic = static_cast<PicData*>(_CtrlList[3]->data);
    EXPECT_FLOAT_EQ(pic->kp, 1.5f);
    EXPECT_FLOAT_EQ(pic->prev_in, 0.9f);
}

// Every control kind reads exactly its own data: the node after it still reads, with
// no ERROR, and the data land in the node's block.
struct CtrlLayout {
    const char* type;
    const char* data;
    void (*check)(const CtrlNode* node);
};
std::ostream& operator<<(std::ostream& os, const CtrlLayout& c) { return os << c.type; }

template <class T> const T& block(const CtrlNode* n) { return *static_cast<const T*>(n->data); }

class ControlLayouts : public Sections, public ::testing::WithParamInterface<CtrlLayout> {};
TEST_P(ControlLayouts, ReadExactlyTheirData)
{
    const CtrlLayout& c = GetParam();
    MessageCapture msgs;
    TokenInput in("x\n2\n" + ctrlRecord(1, c.type, 1, 2, 2, c.data) +
                  ctrlRecord(2, "pas", 2, 1, 0) + "-999\n");
    EXPECT_EQ(ctrl_read(), 2);
    EXPECT_EQ(msgs.errors(), 0) << msgs.dump();
    const CtrlNode* node = _CtrlList[1];
    EXPECT_NE(node->signal_fn, nullptr);
    EXPECT_EQ(_CtrlList[2]->type, CT_PAS);
    EXPECT_STREQ(_CtrlList[2]->name, "name2");
    if (c.check) c.check(node);
}
INSTANTIATE_TEST_SUITE_P(
    Controls, ControlLayouts,
    ::testing::Values(
        CtrlLayout{"sns", "0.5 2 60 0 3 1 1 1 2 3 0 CO2\n",
                   +[](const CtrlNode* n) {
                       const SensorData& s = block<SensorData>(n);
                       EXPECT_FLOAT_EQ(s.scale, 2.0f);
                       EXPECT_FLOAT_EQ(s.tau, 60.0f);
                       EXPECT_EQ(s.sensed_number, 3);
                       EXPECT_EQ(s.measure, 1);
                       EXPECT_FLOAT_EQ(s.location[2], 3.0f);
                       EXPECT_STREQ(s.species_name, "CO2");
                   }},
        CtrlLayout{"sch", "1\n", +[](const CtrlNode* n) { EXPECT_NE(n->data, nullptr); }},
        CtrlLayout{"set", "0.25\n",
                   +[](const CtrlNode* n) { EXPECT_FLOAT_EQ(block<float>(n), 0.25f); }},
        CtrlLayout{"cvf", "column\n",
                   +[](const CtrlNode* n) { EXPECT_STREQ(&block<char>(n), "column"); }},
        CtrlLayout{"dvf", "column\n",
                   +[](const CtrlNode* n) { EXPECT_STREQ(&block<char>(n), "column"); }},
        CtrlLayout{"log", "1 2 0 head units\n",
                   +[](const CtrlNode* n) {
                       EXPECT_FLOAT_EQ(block<LogData>(n).scale, 2.0f);
                       EXPECT_STREQ(block<LogData>(n).units, "units");
                   }},
        CtrlLayout{"mod", "1 2\n",
                   +[](const CtrlNode* n) { EXPECT_FLOAT_EQ(block<ModData>(n).scale, 2.0f); }},
        CtrlLayout{"hys", "1 2 3\n",
                   +[](const CtrlNode* n) { EXPECT_FLOAT_EQ(block<HysData>(n).state, 3.0f); }},
        CtrlLayout{"dls", "1 2\n",
                   +[](const CtrlNode* n) { EXPECT_NE(block<DlsData>(n).fall, nullptr); }},
        CtrlLayout{"dlx", "0:01:00 0:02:00\n",
                   +[](const CtrlNode* n) {
                       EXPECT_EQ(block<DlxData>(n).tau_rise, 60);
                       EXPECT_EQ(block<DlxData>(n).tau_fall, 120);
                   }},
        CtrlLayout{"int", "", +[](const CtrlNode* n) { EXPECT_NE(n->data, nullptr); }},
        CtrlLayout{"rav", "1:00:00\n",
                   +[](const CtrlNode* n) { EXPECT_EQ(block<RavData>(n).window, 3600); }},
        CtrlLayout{"sum", "2\n1 2\n",
                   +[](const CtrlNode* n) { EXPECT_EQ(block<SumData>(n).cnode[1], 2); }},
        CtrlLayout{"avg", "1\n2\n",
                   +[](const CtrlNode* n) { EXPECT_EQ(block<SumData>(n).count, 1); }},
        CtrlLayout{"max", "1\n1\n",
                   +[](const CtrlNode* n) { EXPECT_EQ(block<SumData>(n).cnode[0], 1); }},
        CtrlLayout{"min", "0\n", +[](const CtrlNode* n) { EXPECT_EQ(block<SumData>(n).count, 0); }},
        CtrlLayout{"lbs", "-1.5\n",
                   +[](const CtrlNode* n) { EXPECT_FLOAT_EQ(block<float>(n), -1.5f); }},
        CtrlLayout{"ubs", "1.5\n",
                   +[](const CtrlNode* n) { EXPECT_FLOAT_EQ(block<float>(n), 1.5f); }},
        CtrlLayout{"pc1", "0.75\n",
                   +[](const CtrlNode* n) { EXPECT_FLOAT_EQ(block<float>(n), 0.75f); }},
        CtrlLayout{"pi1", "1 2 3 4\n",
                   +[](const CtrlNode* n) { EXPECT_FLOAT_EQ(block<PicData>(n).prev_in, 4.0f); }},
        CtrlLayout{"sup", "1 2 3\n", nullptr},
        CtrlLayout{"ply", "1 0.5 2\n",
                   +[](const CtrlNode* n) { EXPECT_FLOAT_EQ(block<PolyData>(n).coef[1], 2.0f); }},
        CtrlLayout{"irs", "1\n",
                   +[](const CtrlNode* n) { EXPECT_EQ(block<ListStepData>(n).trapezoid, 1); }},
        CtrlLayout{"ars", "0\n",
                   +[](const CtrlNode* n) { EXPECT_EQ(block<ListStepData>(n).trapezoid, 0); }},
        CtrlLayout{"inv", "", nullptr}, CtrlLayout{"and", "", nullptr},
        CtrlLayout{"or", "", nullptr}, CtrlLayout{"xor", "", nullptr},
        CtrlLayout{"add", "", nullptr}, CtrlLayout{"sub", "", nullptr},
        CtrlLayout{"mul", "", nullptr}, CtrlLayout{"div", "", nullptr},
        CtrlLayout{"abs", "", nullptr}, CtrlLayout{"bin", "", nullptr},
        CtrlLayout{"lls", "", nullptr}, CtrlLayout{"uls", "", nullptr},
        CtrlLayout{"llc", "", nullptr}, CtrlLayout{"ulc", "", nullptr},
        CtrlLayout{"exp", "", nullptr}, CtrlLayout{"lgn", "", nullptr},
        CtrlLayout{"lg1", "", nullptr}, CtrlLayout{"pow", "", nullptr},
        CtrlLayout{"sqt", "", nullptr}, CtrlLayout{"sin", "", nullptr},
        CtrlLayout{"cos", "", nullptr}, CtrlLayout{"tan", "", nullptr},
        CtrlLayout{"mdu", "", nullptr}, CtrlLayout{"cel", "", nullptr},
        CtrlLayout{"flr", "", nullptr}, CtrlLayout{"pas", "", nullptr},
        CtrlLayout{"sph", "", nullptr}),
    testnames::named([](const auto& c) { return std::string(c.type); }));

// A degree as high as a long integer goes is valid text, but its coefficients cannot
// follow in the file: a counted ERROR before anything is sized by it.
TEST_F(Sections, APolynomialDegreeBeyondTheFileIsAnError)
{
    MessageCapture msgs;
    TokenInput in("x\n1\n" + ctrlRecord(1, "ply", 1, 0, 0, "2147483647 1 2\n") + "-999\n");
    ctrl_read();
    EXPECT_EQ(msgs.errors(), 1) << msgs.dump();
    EXPECT_TRUE(msgs.has("ERROR", "Count in Controls record 1 is larger than the rest of the file: "
                                  "2147483647")) << msgs.dump();
    EXPECT_EQ(static_cast<PolyData*>(_CtrlList[1]->data)->degree, 0);
}

TEST_F(Sections, ALogHeadingOfThirtyTwoCharactersIsABufferOverflow)
{
    TokenInput in("x\n1\n" + ctrlRecord(1, "log", 1, 0, 0,
                                        "0 1 0 Heading_of_exactly_32_characters mg\n") + "-999\n");
    EXPECT_EXIT(ctrl_read(), ::testing::ExitedWithCode(2), "Buffer overflow: ");
}

// ---- Index lists ---------------------------------------------------------------------------

TEST_F(Sections, FreeingTheIndexListsClearsThem)
{
    readZones(2);
    ASSERT_NE(_ZoneList, nullptr);
    prj_read_free_comp_lists();
    prj_read_free_element_lists();
    EXPECT_EQ(_ZoneList, nullptr);
    EXPECT_EQ(_LevList, nullptr);
    EXPECT_EQ(_CseList, nullptr);
}

}  // namespace
