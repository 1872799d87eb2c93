// Element section readers: filter elements by type, filters and their loading chains,
// source/sink elements with their data layouts, airflow and duct flow elements with their
// model blocks and bound models, the composite elements and every element ERROR text.
#include "common-src/prj-read-elements.h"

#include <gtest/gtest.h>

#include <cmath>

#include "airflow/afe-csf.h"
#include "airflow/afe-filter.h"
#include "airflow/afe-sim.h"
#include "contaminant/cse-sim.h"
#include "model/run-control.h"
#include "tests/common-src/section-test-util.h"
#include "tests/param-names.h"

namespace vexlar {
namespace {

using testutil::SectionTest;

// ---- Filter elements --------------------------------------------------------------------------

// A filter element record: number, type, three mass factors, two words, name, description.
std::string flte(int k, const char* type, const char* name, const char* data,
                 const char* dims = "0.5 0.2 10")
{
    return std::to_string(k) + " " + type + " " + dims + " 0 0 " + name + "\ndescription\n" +
           data;
}

TEST_F(SectionTest, ConstantFilterStoresEfficienciesOfSimulatedSpecies)
{
    species({"CO2", "O3"});
    input("1\n" + flte(1, "cef", "carbon", "3\nO3 0.8\nNOX 0.3\nCO2 1.0\n") + "-999\n");
    FilterElemRec* head = nullptr;
    EXPECT_EQ(1, flte_read(&head, nullptr, pool.get()));
    const FilterElemRec* fe = _FlteList[1];
    EXPECT_EQ(fe, head);
    EXPECT_EQ(FLT_CEF, fe->type);
    EXPECT_EQ(flt_cef, fe->model_fn);
    EXPECT_FLOAT_EQ(1.0f, fe->mass);
    EXPECT_FLOAT_EQ(1.0f, fe->inv_mass);
    EXPECT_STREQ("carbon", fe->name);
    const float* eff = static_cast<const float*>(fe->model_data);
    EXPECT_FLOAT_EQ(1.0f, eff[0]);
    EXPECT_FLOAT_EQ(0.8f, eff[1]);
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    EXPECT_NE(std::string::npos, log().find("Filter Element section read successfully.\n"));
}

TEST_F(SectionTest, EfficiencyAboveOneIsAnErrorForThatAndEveryLaterLine)
{
    species({"CO2"});
    input("1\n" + flte(1, "cef", "f", "3\nCO2 0.5\nCO2 1.01\nCO2 0.2\n") + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_EQ(2, msgs.count("ERROR") - msgs.has("ERROR", "PRJ read error")) << msgs.dump();
    EXPECT_TRUE(msgs.has("ERROR", " Invalid efficiency for filter element 1\n"));
}

TEST_F(SectionTest, FilterMassBelowLimitIsAnError)
{
    species({"CO2"});
    input("1\n" + flte(1, "cef", "thin", "0\n", "0.5 0.1 1e-5") + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Mass required for filter: thin\n")) << msgs.dump();
}

TEST_F(SectionTest, UnknownFilterKeywordGivesBothErrors)
{
    input("1\n" + flte(1, "hepa", "f", "") + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Undefined Element Type: hepa\n"));
    EXPECT_TRUE(msgs.has("ERROR", " Invalid filter element type 5\n"));
    EXPECT_EQ(nullptr, _FlteList[1]->model_fn);
}

// Efficiency rises from 0.1 to 0.95 between 0.3 and 3 microns, flat outside.
const char* kParticleCurve = "5\n1e-7 0.1\n3e-7 0.1\n1e-6 0.5\n3e-6 0.95\n1e-5 0.95\n";

TEST_F(SectionTest, ParticleFilterEfficiencyFollowsTheDiameterFit)
{
    species({"PM1", "CO2", "PM03", "PM10"}, {1e-6f, 0.0f, 3e-7f, 1e-5f});
    input("1\n" + flte(1, "pf0", "hepa", kParticleCurve) + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    const float* eff = static_cast<const float*>(_FlteList[1]->model_data);
    EXPECT_NEAR(0.5f, eff[0], 1e-6);
    EXPECT_EQ(0.0f, eff[1]);     // no diameter
    EXPECT_NEAR(0.1f, eff[2], 1e-6);
    EXPECT_NEAR(0.95f, eff[3], 1e-6);
    // Diameters at the ends of the fit are inside it.
    EXPECT_EQ(0, msgs.count("WARNING")) << msgs.dump();
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    EXPECT_NE(std::string::npos, log().find("CSFchk: particle filter: hepa\n"));
}

TEST_F(SectionTest, ParticleDiameterOutsideTheFitWarns)
{
    species({"PM25"}, {2e-5f});
    input("1\n" + flte(1, "pf0", "hepa", kParticleCurve) + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("WARNING", " Particle diameter outside range of fit -\n"
                                    "\tspecies: PM25\n\tfilter: hepa\n"))
        << msgs.dump();
    EXPECT_NEAR(0.95f, static_cast<const float*>(_FlteList[1]->model_data)[0], 1e-6);
}

struct FilterCurveFault {
    const char* curve;
    const char* message;
};

class ParticleCurveFaults : public SectionTest,
                            public ::testing::WithParamInterface<FilterCurveFault> {};

TEST_P(ParticleCurveFaults, AreErrorsAndGiveNoEfficiency)
{
    species({"PM1"}, {1e-6f});
    input("1\n" + flte(1, "pf0", "p", GetParam().curve) + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", GetParam().message)) << msgs.dump();
    EXPECT_EQ(0.0f, static_cast<const float*>(_FlteList[1]->model_data)[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, ParticleCurveFaults,
    ::testing::Values(FilterCurveFault{"1\n1e-6 0.5\n", " too few data points for spline\n"},
                      FilterCurveFault{"3\n1e-7 0.2\n1e-6 0.2\n1e-6 0.9\n",
                                       " Multiple data points  at x = -6\n"},
                      FilterCurveFault{"3\n1e-7 0.2\n1e-6 0.5\n1e-5 0.9\n",
                                       " Spline fit is not suitable for VEXLAR\n"},
                      FilterCurveFault{"3\n0 0.2\n1e-6 0.5\n1e-5 0.5\n",
                                       " Invalid particle diameter for filter element 1\n"}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(SectionTest, GasFilterKeepsCurvesOfSimulatedSpecies)
{
    species({"VOC", "O3"});
    input("1\n" +
          flte(1, "gf0", "carbon",
               "2\n"
               "O3 0.2 4\n0 0.9\n0.1 0.9\n0.5 0.3\n1 0.3\n"
               "NH3 0.1 2\n0 0.5\n1 0.4\n") +
          "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    const FilterElemRec* fe = _FlteList[1];
    const GasFilterData* gf = static_cast<const GasFilterData*>(fe->model_data);
    EXPECT_EQ(nullptr, gf->fit[0]);
    ASSERT_NE(nullptr, gf->fit[1]);
    EXPECT_EQ(4, gf->fit[1]->npts);
    EXPECT_EQ(0, gf->fit[1]->status);
    EXPECT_EQ((double)0.3f, gf->fit[1]->pts[2].y);
    EXPECT_FLOAT_EQ(0.2f, gf->bkt_eff[1]);
    EXPECT_EQ(1, fe->breakthrough);
    EXPECT_NE(std::string::npos, log().find("CSFchk: gas filter carbon, species O3\n"));
}

// Gas-filter curves are written as floats: each value is the float of its text, and a
// value no float holds is reported as a bad float.
TEST_F(SectionTest, GasFilterCurvePointsAreReadAsFloats)
{
    species({"O3"});
    input("1\n" + flte(1, "gf0", "g", "1\nO3 0 3\n0 0.9\n0.1 0.9\n1e39 0.3\n") + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    const CSF_DATA* fit = static_cast<const GasFilterData*>(_FlteList[1]->model_data)->fit[0];
    ASSERT_NE(nullptr, fit);
    EXPECT_EQ((double)0.1f, fit->pts[1].x);
    EXPECT_EQ((double)0.9f, fit->pts[1].y);
    EXPECT_TRUE(msgs.has("ERROR", " Bad float value: 1e39\n")) << msgs.dump();
}

TEST_F(SectionTest, GasFilterWhoseEfficiencyRisesIsUnsuitable)
{
    species({"O3"});
    input("1\n" + flte(1, "gf0", "g", "1\nO3 0 5\n0 0.5\n1 0.5\n2 0.7\n3 0.9\n4 0.9\n") +
          "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Spline fit is not suitable for VEXLAR\n"));
    EXPECT_EQ(0, _FlteList[1]->breakthrough);
}

TEST_F(SectionTest, UltravioletFilterDerivesAreaAndReferenceDose)
{
    input("1\n" + flte(1, "uv1", "uv", "0.2 2.5 0.6 0.05 1 10 0.5 0.1 0 0 30 5 0 0\n") +
          "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    const UvFilterData* uv = static_cast<const UvFilterData*>(_FlteList[1]->model_data);
    EXPECT_NEAR(0.6 / (2.5 * 1.2041), uv->uv_area, 1e-7);
    EXPECT_NEAR(-std::log(0.2) / 0.05, uv->uv_dose_ref, 1e-4);
    EXPECT_EQ(1, uv->uv_aging);
    EXPECT_FLOAT_EQ(0.1f, uv->uv_poly[2]);
    EXPECT_FLOAT_EQ(30.0f, uv->uv_age_a);
    EXPECT_FLOAT_EQ(5.0f, uv->uv_age_b);
}

TEST_F(SectionTest, UltravioletFilterWithZeroRatingIsAnError)
{
    input("1\n" + flte(1, "uv1", "uv", "0.2 0 0.6 0.05 1 10 0.5 0.1 0 0 30 5 0 0\n") + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Invalid UV filter parameters, filter element 1\n"));
}

const char* kBreakthroughCurve = "1\nO3 0.2 4\n0 0.9\n0.2 0.9\n0.8 0.2\n1 0.2\n";

TEST_F(SectionTest, SuperFilterResolvesItsSubElements)
{
    species({"O3"});
    input("3\n" + flte(1, "cef", "a", "1\nO3 0.5\n") + flte(2, "gf0", "b", kBreakthroughCurve) +
          flte(3, "spf", "ab", "2\n1 2\n") + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    const SuperFilterData* sf = static_cast<const SuperFilterData*>(_FlteList[3]->model_data);
    ASSERT_EQ(2, sf->count);
    EXPECT_EQ(_FlteList[1], sf->elems[0]);
    EXPECT_EQ(_FlteList[2], sf->elems[1]);
    EXPECT_EQ(1, _FlteList[3]->breakthrough);
    EXPECT_EQ(flt_spf, _FlteList[3]->model_fn);
}

class SuperFilterFaults : public SectionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SuperFilterFaults, OutOfRangeSelfOrNestedSubElementsAreErrors)
{
    species({"O3"});
    input("3\n" + flte(1, "cef", "a", "1\nO3 0.5\n") + flte(2, "spf", "s2", "1\n1\n") +
          flte(3, "spf", "s3", GetParam()) + "-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Invalid sub-element ")) << msgs.dump();
    EXPECT_TRUE(msgs.has("ERROR", " of super filter element 3\n")) << msgs.dump();
}

INSTANTIATE_TEST_SUITE_P(Filters, SuperFilterFaults,
                         ::testing::Values("2\n1 4\n", "2\n1 3\n", "2\n1 2\n", "1\n0\n"),
                         testnames::indexed([](const char* s) { return std::string(s); }));

// ---- Filters ----------------------------------------------------------------------------------

TEST_F(SectionTest, SimpleFilterHasOneLoadingStateWithInitialLoads)
{
    species({"CO2", "O3"});
    input("1\n" + flte(1, "cef", "a", "1\nO3 0.5\n", "1 2 1") + "-999\n" +
          "2\n1 1 1\n0.25 2\nO3 0.1\nNH3 5\n"
          "2 1 1\n0 0\n-999\n");
    flte_read(nullptr, nullptr, pool.get());
    EXPECT_EQ(2, filter_read(pool.get()));
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    const FilterLoadRec* fl = _FiltList[1]->load;
    ASSERT_NE(nullptr, fl);
    EXPECT_EQ(_FlteList[1], fl->flte);
    EXPECT_DOUBLE_EQ(0.25, fl->rel_loading);
    EXPECT_FLOAT_EQ(0.1f * 2.0f, fl->loads_init[1]);   // load x element mass
    EXPECT_EQ(0.0f, fl->loads_init[0]);
    EXPECT_EQ(1.0f, fl->penetration[0]);
    EXPECT_EQ(1.0f, fl->penetration[1]);
    EXPECT_EQ(1, fl->init_pending);
    EXPECT_EQ(nullptr, fl->next);
    EXPECT_NE(std::string::npos, log().find("Filter section read successfully.\n"));

    // The constant model fills its vectors once.
    flt_cef(_FiltList[1]->load, nullptr);
    EXPECT_FLOAT_EQ(0.5f, fl->penetration[1]);
    EXPECT_FLOAT_EQ(0.5f, fl->efficiency[1]);
    EXPECT_EQ(0, fl->init_pending);
}

TEST_F(SectionTest, SuperFilterChainsOneLoadingStatePerSubFilter)
{
    species({"O3"});
    input("3\n" + flte(1, "cef", "a", "1\nO3 0.5\n", "1 1 2") + flte(2, "cef", "b", "1\nO3 0.5\n") +
          flte(3, "spf", "ab", "2\n1 2\n") + "-999\n" +
          "1\n1 3 2\n0.1 1\nO3 0.3\n0.2 0\n-999\n");
    flte_read(nullptr, nullptr, pool.get());
    filter_read(pool.get());
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    FilterLoadRec* own = _FiltList[1]->load;
    FilterLoadRec* a = own->next;
    ASSERT_NE(nullptr, a);
    FilterLoadRec* b = a->next;
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(nullptr, b->next);
    EXPECT_EQ(nullptr, a->prev);
    EXPECT_EQ(a, b->prev);
    EXPECT_EQ(b, own->prev);
    EXPECT_EQ(_FlteList[3], own->flte);
    EXPECT_EQ(_FlteList[1], a->flte);
    EXPECT_EQ(_FlteList[2], b->flte);
    EXPECT_FLOAT_EQ(0.3f * 2.0f, a->loads_init[0]);
    EXPECT_FLOAT_EQ(0.2f, (float)b->rel_loading);
    // Two 50 % filters in series pass 25 %.
    flt_spf(own, nullptr);
    EXPECT_FLOAT_EQ(0.25f, own->penetration[0]);
}

struct FilterFault {
    const char* record;
    const char* message;
};

class FilterFaults : public SectionTest, public ::testing::WithParamInterface<FilterFault> {};

TEST_P(FilterFaults, AreCountedErrors)
{
    species({"O3"});
    input("2\n" + flte(1, "cef", "a", "1\nO3 0.5\n") + flte(2, "spf", "s", "1\n1\n") + "-999\n" +
          GetParam().record);
    flte_read(nullptr, nullptr, pool.get());
    filter_read(pool.get());
    EXPECT_TRUE(msgs.has("ERROR", GetParam().message)) << msgs.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FilterFaults,
    ::testing::Values(
        FilterFault{"1\n1 1 2\n0 0\n0 0\n-999\n",
                    " Number of sub-filter loads does not mach filter element\n"},
        FilterFault{"1\n1 2 2\n0 0\n0 0\n-999\n",
                    " Number of sub-filter loads does not mach filter element\n"},
        FilterFault{"1\n1 0 1\n0 0\n-999\n", " Invalid filter element number: 0\n"},
        FilterFault{"1\n1 3 1\n0 0\n-999\n", " Invalid filter element number: 3\n"},
        FilterFault{"1\n2 1 1\n0 0\n-999\n", " Filter number mis-match: 1 expected, 2 found"}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

// ---- Source/sink elements -----------------------------------------------------------------

std::string cse(int k, const char* species, const char* type, const char* data)
{
    return std::to_string(k) + " " + species + " " + type + " name\ndescription\n" + data;
}

struct CseLayoutCase {
    const char* type;
    const char* data;       // the data, then words the layout reads and does not use
    float p[4];
    CSE_MODEL_FN fn;        // the model the keyword binds
};

class CseLayouts : public SectionTest, public ::testing::WithParamInterface<CseLayoutCase> {};

// Each type consumes exactly its words: the next record still reads.
TEST_P(CseLayouts, ReadExactlyTheirWords)
{
    species({"CO2"});
    const CseLayoutCase& c = GetParam();
    input("2\n" + cse(1, "CO2", c.type, c.data) + cse(2, "CO2", "ccf", "1 2 0 0\n") + "-999\n");
    EXPECT_EQ(2, cselmt_read(nullptr, nullptr, pool.get()));
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    const float* p = static_cast<const float*>(_CseList[1]->model_data);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(c.p[i], p[i]) << c.type << " p" << i;
    EXPECT_EQ(0, _CseList[1]->species);
    EXPECT_EQ(c.fn, _CseList[1]->model_fn);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CseLayouts,
    ::testing::Values(CseLayoutCase{"ccf", "1e-6 2e-7 0 0\n", {1e-6f, 2e-7f, 0, 0}, cse_ccf},
                      CseLayoutCase{"prs", "3 0.65 0\n", {3, 0.65f, 0, 0}, cse_prs},
                      CseLayoutCase{"cut", "1e-6 5e-4 0 0\n", {1e-6f, 5e-4f, 0, 0}, cse_cut},
                      CseLayoutCase{"eds", "1e-6 1e-4 0 0\n", {1e-6f, 1e-4f, 0, 0}, cse_eds},
                      CseLayoutCase{"bls", "1 2 3 4 0 0 0\n", {1, 2, 3, 4}, cse_bls},
                      CseLayoutCase{"brs", "0.01 0\n", {0.01f, 0, 0, 0}, cse_brs},
                      CseLayoutCase{"dvs", "1e-4 10 0 0\n", {1e-4f, 10, 0, 0}, cse_dvs},
                      CseLayoutCase{"drs", "2e-4 0\n", {2e-4f, 0, 0, 0}, cse_drs},
                      CseLayoutCase{"dvr", "1 2 3 4 0 0 0 0\n", {1, 2, 3, 4}, cse_dvr},
                      CseLayoutCase{"plm", "5 0.5 60 0 0\n", {5, 0.5f, 60, 0}, cse_plm},
                      CseLayoutCase{"pkm", "5 2 4 0 0\n", {5, 0.5f, 0.25f, 0}, cse_pkm},
                      CseLayoutCase{"sxd", "7 0.1\n", {7, 0.1f, 0, 0}, cse_sxd},
                      CseLayoutCase{"dxd", "7 0.1 3 0.2\n", {7, 0.1f, 3, 0.2f}, cse_dxd}),
    testnames::named([](const auto& c) { return std::string(c.type); }));

TEST_F(SectionTest, SourceOfAnUnsimulatedSpeciesKeepsTheEndIndex)
{
    species({"CO2", "O3"});
    input("1\n" + cse(1, "NOX", "ccf", "1 0 0 0\n") + "-999\n");
    cselmt_read(nullptr, nullptr, pool.get());
    EXPECT_EQ(2, _CseList[1]->species);
    EXPECT_EQ(cse_ccf, _CseList[1]->model_fn);
    EXPECT_NE(std::string::npos, log().find("Source/Sink Element section read successfully.\n"));
}

TEST_F(SectionTest, PeakModelWithZeroParameterIsAnError)
{
    species({"CO2"});
    input("1\n" + cse(1, "CO2", "pkm", "5 0 4 0 0\n") + "-999\n");
    cselmt_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Invalid zero parameter, S/S element 1\n"));
}

TEST_F(SectionTest, CutOffSourceNeedsAPositiveCutOffMassFraction)
{
    species({"CO2"});
    input("2\n" + cse(1, "CO2", "cut", "1e-6 5e-4 0 0\n") + cse(2, "CO2", "cut", "1e-6 0 0 0\n") +
          "-999\n");
    cselmt_read(nullptr, nullptr, pool.get());
    EXPECT_FALSE(msgs.has("ERROR", " Invalid zero parameter, S/S element 1\n"));
    EXPECT_TRUE(msgs.has("ERROR", " Invalid zero parameter, S/S element 2\n"));
}

TEST_F(SectionTest, UnknownSourceKeywordGivesBothErrors)
{
    input("1\n" + cse(1, "CO2", "xyz", "") + "-999\n");
    cselmt_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " Undefined Element Type: xyz\n"));
    EXPECT_TRUE(msgs.has("ERROR", " Invalid S/S element type 14\n"));
}

TEST_F(SectionTest, SuperSourceResolvesItsParts)
{
    species({"CO2", "O3"});
    input("3\n" + cse(1, "CO2", "ccf", "1 0 0 0\n") + cse(2, "O3", "cut", "1 1 0 0\n") +
          cse(3, "CO2", "sup", "2\n1 2\n") + "-999\n");
    cselmt_read(nullptr, nullptr, pool.get());
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    const SupCseData* sup = static_cast<const SupCseData*>(_CseList[3]->model_data);
    EXPECT_EQ(nullptr, _CseList[3]->model_fn);
    ASSERT_EQ(2, sup->count);
    EXPECT_EQ(_CseList[1], sup->elems[0]);
    EXPECT_EQ(_CseList[2], sup->elems[1]);
}

class SuperSourceFaults : public SectionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SuperSourceFaults, OutOfRangeSelfOrNestedPartsAreErrors)
{
    species({"CO2"});
    input("3\n" + cse(1, "CO2", "ccf", "1 0 0 0\n") + cse(2, "CO2", "sup", "1\n1\n") +
          cse(3, "CO2", "sup", GetParam()) + "-999\n");
    cselmt_read(nullptr, nullptr, pool.get());
    EXPECT_TRUE(msgs.has("ERROR", " of S/S element 3\n")) << msgs.dump();
}

INSTANTIATE_TEST_SUITE_P(Sources, SuperSourceFaults,
                         ::testing::Values("1\n0\n", "1\n4\n", "2\n1 3\n", "2\n2 1\n"),
                         testnames::indexed([](const char* s) { return std::string(s); }));

// ---- Airflow and duct flow elements --------------------------------------------------------

std::string afe(int k, const char* type, const char* name, const std::string& data)
{
    return std::to_string(k) + " 0 " + type + " " + name + "\ndescription\n" + data;
}

const std::string kDuctLine = "0.2 0.63 0.0314 0 0 0 1.5 25\n0 0 0 0 0 0 0 0\n";

struct AfeCase {
    const char* type;
    std::string data;
    AFE_MODEL_FN fn;
    std::vector<float> values;   // the model block's floats in field order
};

class AirflowElementData : public SectionTest, public ::testing::WithParamInterface<AfeCase> {};

// Each element type fills its model block and binds its model; the next record still reads.
TEST_P(AirflowElementData, FillsTheModelBlockAndBindsTheModel)
{
    const AfeCase& c = GetParam();
    input("2\n" + afe(1, c.type, "e1", c.data) + afe(2, "plr_orfc", "next", "1e-5 0.01 0.5\n") +
          "-999\n");
    AfeRec* head = nullptr;
    EXPECT_EQ(2, afelmt_read(&head, pool.get(), 0));
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    const AfeRec* e = _AfeList[1];
    EXPECT_EQ(e, head);
    EXPECT_STREQ(c.type, _afe_dnames[e->type]);
    EXPECT_EQ(c.fn, e->model_fn);
    EXPECT_STREQ("e1", e->name);
    const float* v = static_cast<const float*>(e->model_data);
    for (size_t i = 0; i < c.values.size(); ++i) EXPECT_FLOAT_EQ(c.values[i], v[i]) << i;
    EXPECT_FLOAT_EQ(0.01f, static_cast<const PlrData*>(_AfeList[2]->model_data)->turb_coef);
}

INSTANTIATE_TEST_SUITE_P(
    Elements, AirflowElementData,
    ::testing::Values(
        AfeCase{"plr_leak2", "1e-6 2e-3 0.65 9 9\n", afe_plr, {1e-6f, 2e-3f, 0.65f}},
        AfeCase{"plr_qcn", "1e-6 2e-3 0.6\n", afe_qcn, {1e-6f, 2e-3f, 0.6f}},
        AfeCase{"plr_fcn", "1e-6 2e-3 0.6\n", afe_fcn, {1e-6f, 2e-3f, 0.6f}},
        AfeCase{"plr_bdq", "1e-6 0.01 0.5 0.02 0.6\n", afe_bdq, {1e-6f, 0.01f, 0.5f, 0.02f, 0.6f}},
        AfeCase{"plr_bdf", "1e-6 0.01 0.5 0.02 0.6\n", afe_bdf, {1e-6f, 0.01f, 0.5f, 0.02f, 0.6f}},
        AfeCase{"srv_jwa", "0.05 10 0.5\n", afe_jwa, {0.05f, 10, 0.5f}},
        AfeCase{"qfr_qab", "20 300\n", afe_qfr, {20, 300}},
        AfeCase{"dor_door", "1e-5 0.3 0.5 0.1 2.1 0.9 0.78\n", afe_dor,
                {1e-5f, 0.3f, 0.5f, 2.1f, 0.9f, 0.78f}},
        AfeCase{"dor_pl2", "1e-5 0.3 0.5 0.75 1.5\n", afe_pl2, {1e-5f, 0.3f, 0.5f, 0.75f, 1.5f}},
        AfeCase{"fan_cmf", "0.12\n", afe_cmf, {0.12f}},
        AfeCase{"fan_cvf", "0.1\n", afe_cvf, {0.1f}},
        AfeCase{"fan_fan", "1e-5 0.01 0.5 1.2041 0.5 250 0\n250 -100 -50 -200 2\n0 250\n0.5 0\n",
                afe_fan, {1e-5f, 0.01f, 0.5f, 1.2041f, 0.5f, 250, 0, 250, -100, -50, -200}},
        AfeCase{"dct_plr", "1e-6 2e-3 0.6 4 5 6\n" + kDuctLine, afe_plr,
                {1e-6f, 2e-3f, 0.6f, 4, 5, 6, 0.2f, 0.63f, 0.0314f, 1.5f, 25}},
        AfeCase{"dct_fcn", "1e-6 2e-3 0.6\n" + kDuctLine, afe_fcn,
                {1e-6f, 2e-3f, 0.6f, 0.2f, 0.63f, 0.0314f, 1.5f, 25}},
        AfeCase{"dct_qcn", "1e-6 2e-3 0.6\n" + kDuctLine, afe_qcn, {1e-6f, 2e-3f, 0.6f, 0.2f}},
        AfeCase{"dct_cvf", "0.1\n" + kDuctLine, afe_cvf, {0.1f, 0.2f, 0.63f, 0.0314f, 1.5f, 25}},
        AfeCase{"dct_bdf", "1e-6 0.01 0.5 0.02 0.6\n" + kDuctLine, afe_bdf,
                {1e-6f, 0.01f, 0.5f, 0.02f, 0.6f, 0.2f, 0.63f, 0.0314f, 1.5f, 25}},
        AfeCase{"dct_fan",
                "1e-5 0.01 0.5 1.2041 0.5 250 0.1\n250 -100 -50 -200 0\n" + kDuctLine, afe_fan,
                {1e-5f, 0.01f, 0.5f, 1.2041f, 0.5f, 250, 0.1f, 250, -100, -50, -200, 0.2f,
                 0.63f, 0.0314f, 1.5f, 25}},
        AfeCase{"dct_dwc", "0.0003 7 0\n" + kDuctLine, afe_dwc,
                {0.2f, 0.0314f, 0.0003f / 0.2f, 7, 0.0003f, 0.2f, 0.63f, 0.0314f, 1.5f, 25}}),
    testnames::named([](const auto& c) { return std::string(c.type); }));

TEST_F(SectionTest, CurveElementsAreFittedAndChecked)
{
    input("2\n" + afe(1, "csf_fsp", "curve", "4 0 0\n0 0\n10 0.1\n20 0.15\n40 0.2\n") +
          afe(2, "dct_psq", "back", "3 0 0\n0 0\n0.1 20\n0.2 10\n" + kDuctLine) + "-999\n");
    afelmt_read(nullptr, pool.get(), 1);
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    EXPECT_EQ(2, _ndfe);
    const CSF_DATA* c1 = static_cast<const CSF_DATA*>(_DfeList[1]->model_data);
    EXPECT_EQ(4, c1->npts);
    EXPECT_EQ(0, c1->status);
    EXPECT_EQ(afe_fsp, _DfeList[1]->model_fn);
    const DctCsfData* c2 = static_cast<const DctCsfData*>(_DfeList[2]->model_data);
    EXPECT_EQ(1, c2->csf.status);   // falling curve: unsuitable, reported when used
    EXPECT_FLOAT_EQ(0.0314f, c2->duct.area);
    EXPECT_EQ(afe_psq, _DfeList[2]->model_fn);
    EXPECT_NE(std::string::npos, log().find("CSFchk: back\n"));
    EXPECT_NE(std::string::npos, log().find("Airflow Element section read successfully.\n"));
}

TEST_F(SectionTest, SuperAirflowElementListsItsEntries)
{
    input("3\n" + afe(1, "plr_orfc", "a", "1e-5 0.01 0.5\n") +
          afe(2, "plr_orfc", "b", "1e-5 0.02 0.5\n") +
          afe(3, "sup_afe", "ab", "2 2 0\n1 1.0 1\n2 0.5 0\n") + "-999\n");
    afelmt_read(nullptr, pool.get(), 0);
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    const SupAfeData* sup = static_cast<const SupAfeData*>(_AfeList[3]->model_data);
    ASSERT_EQ(2, sup->count);
    const SupAfeEntry* a = sup->first;
    ASSERT_NE(nullptr, a);
    const SupAfeEntry* b = a->next;
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(nullptr, b->next);
    EXPECT_EQ(_AfeList[1], a->elem);
    EXPECT_EQ(_AfeList[2], b->elem);
    EXPECT_EQ(0, a->selected);
    EXPECT_EQ(1, b->selected);
    EXPECT_FLOAT_EQ(0.5f, b->value);
    EXPECT_EQ(1, a->value16);
}

class SuperAirflowFaults : public SectionTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SuperAirflowFaults, OutOfRangeSelfOrNestedEntriesAreErrors)
{
    input("3\n" + afe(1, "plr_orfc", "a", "1e-5 0.01 0.5\n") +
          afe(2, "sup_afe", "s", "1 1 0\n1 1 0\n") + afe(3, "sup_afe", "t", GetParam()) +
          "-999\n");
    afelmt_read(nullptr, pool.get(), 0);
    EXPECT_TRUE(msgs.has("ERROR", " of sup_afe element 3\n")) << msgs.dump();
}

INSTANTIATE_TEST_SUITE_P(Elements, SuperAirflowFaults,
                         ::testing::Values("1 1 0\n4 1 0\n", "1 3 0\n3 1 0\n",
                                           "1 2 0\n2 1 0\n", "1 0 0\n0 1 0\n"),
                         testnames::indexed([](const char* s) { return std::string(s); }));

struct AfeFault {
    std::string record;
    const char* message;
};

class AirflowElementFaults : public SectionTest, public ::testing::WithParamInterface<AfeFault> {};

TEST_P(AirflowElementFaults, AreCountedErrors)
{
    input("1\n" + GetParam().record + "-999\n");
    afelmt_read(nullptr, pool.get(), 0);
    EXPECT_TRUE(msgs.has("ERROR", GetParam().message)) << msgs.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Elements, AirflowElementFaults,
    ::testing::Values(
        AfeFault{afe(1, "ahs_sr", "x", "0\n"), " Invalid element type 42\n"},
        AfeFault{afe(1, "d_term", "x", "0\n"), " Invalid element type 45\n"},
        AfeFault{afe(1, "plr_huge", "x", "0\n"), " Invalid element type 46\n"},
        AfeFault{afe(1, "plr_huge", "x", "0\n"), " Undefined Element Type: plr_huge\n"},
        // a2 a2 = 3 a1 a3 exactly: the curve's slope touches zero.
        AfeFault{afe(1, "fan_fan", "F1", "1e-5 0.01 0.5 1.2 1 100 0\n100 3 3 1 0\n"),
                 " fan F1 has contraflecture\n"},
        // A reference density of 0 would scale the fan curve by density / 0.
        AfeFault{afe(1, "fan_fan", "F2", "1e-5 0.01 0.5 0 1 100 0\n100 -3 -1 -1 0\n"),
                 " fan F2 needs a reference density above 0\n"},
        AfeFault{afe(1, "srv_jwa", "J", "0.01 0 0.5\n"),
                 " Element J needs a rated pressure difference\n"},
        AfeFault{afe(1, "qfr_qab", "Q", "0 0\n"), " Element Q needs a quadratic coefficient\n"},
        AfeFault{afe(1, "dct_dwc", "d0", "0.0003 0 0\n0 0.6 0.03 0 0 0 0 0\n0 0 0 0 0 0 0 0\n"),
                 " Duct element d0 needs a hydraulic diameter and an area above 0\n"},
        // A negative roughness would take the logarithm of the friction law below zero.
        AfeFault{afe(1, "dct_dwc", "d1", "-0.01 0 0\n0.2 0.6 0.03 0 0 0 0 0\n0 0 0 0 0 0 0 0\n"),
                 " Duct element d1 has a negative roughness\n"},
        AfeFault{afe(1, "csf_qsp", "c", "1 0 0\n0 0\n"), " too few data points for spline\n"},
        AfeFault{afe(2, "plr_orfc", "x", "1 1 0.5\n"), 
                " Element number mis-match: 1 expected, 2 found"}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST_F(SectionTest, FanCurveWithoutContraflectureIsAccepted)
{
    input("1\n" + afe(1, "fan_fan", "F1", "1e-5 0.01 0.5 1.2 1 100 0\n100 -3 -1 -1 0\n") +
          "-999\n");
    afelmt_read(nullptr, pool.get(), 0);
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
}

TEST_F(SectionTest, OtherEditorFilesHaveOneMoreLineAfterSomeElements)
{
    prjType = 1;
    input("2\n" + afe(1, "plr_orfc", "a", "1e-5 0.01 0.5\nextra line\n") +
          afe(2, "plr_leak1", "b", "1e-5 0.01 0.65\n") + "-999\n");
    afelmt_read(nullptr, pool.get(), 0);
    prjType = 0;
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
    EXPECT_FLOAT_EQ(0.65f, static_cast<const PlrData*>(_AfeList[2]->model_data)->flow_exponent);
}

TEST_F(SectionTest, EmptyElementSectionsAreValid)
{
    input("0\n-999\n0\n-999\n0\n-999\n0\n-999\n");
    EXPECT_EQ(0, flte_read(nullptr, nullptr, pool.get()));
    EXPECT_EQ(0, filter_read(pool.get()));
    EXPECT_EQ(0, cselmt_read(nullptr, nullptr, pool.get()));
    EXPECT_EQ(0, afelmt_read(nullptr, pool.get(), 1));
    EXPECT_EQ(nullptr, _FlteList);
    EXPECT_EQ(nullptr, _DfeList);
    EXPECT_EQ(0, msgs.errors()) << msgs.dump();
}

}  // namespace
}  // namespace vexlar
