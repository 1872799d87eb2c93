// Filter models against hand-worked penetrations: a path without a filter passes
// everything; the gas filter follows its efficiency curve along the loading and notes
// breakthrough once per species; the ultraviolet filter's dose follows the air speed,
// temperature, flow direction and lamp age.
#include "airflow/afe-filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "airflow/afe-csf.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/run-control.h"
#include "tests/airflow/af-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

// Two species: "A" with ultraviolet susceptibility 1, "B" with 2.
class FilterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 2; i++) {
            species[i] = SpeciesRec{};
            snprintf(species[i].name, sizeof species[i].name, "%s", i ? "B" : "A");
            species[i].uv_coef = (float)(i + 1);
        }
        _ctm = species;
        _nctm = 2;
        _penf = ones;
        _rcdat = RunControlData{};
        _dayofy = 1;
        _stepEndTime = 3600;
        load.efficiency = eff;
        load.penetration = pen;
        load.bkt_day = bktDay;
        load.bkt_time = bktTime;
        load.flte = &elem;
        filter.load = &load;
        path.filter = &filter;
        path.from_node = &up;
        setAirState(&up, 293.15);
        up.density = 1.2041;
    }
    void TearDown() override
    {
        _ctm = nullptr;
        _nctm = 0;
        _penf = nullptr;
    }

    SpeciesRec species[2];
    float ones[2] = {1.0f, 1.0f};
    float eff[2] = {0.0f, 0.0f}, pen[2] = {1.0f, 1.0f};
    int bktDay[2] = {0, 0}, bktTime[2] = {0, 0};
    FilterElemRec elem{};
    FilterLoadRec load{};
    FilterRec filter{};
    AirNode up{};
    AirPath path{};
};

TEST_F(FilterTest, PathWithoutFilterPassesEverySpecies)
{
    AirPath bare{};
    const float* p = filter_sim(&bare);
    EXPECT_EQ(p, _penf);
    EXPECT_EQ(filter_get_eff(&bare), _penf);
}

// Efficiency of A falls linearly from 0.9 unloaded to 0.1 at full load; breakthrough at
// 0.6. B has no curve and keeps its values.
TEST_F(FilterTest, GasFilterFollowsItsLoadingAndNotesBreakthroughOnce)
{
    CsfPoint pts[3] = {{0.0, 0.9, 0, 0, 0}, {0.5, 0.5, 0, 0, 0}, {1.0, 0.1, 0, 0, 0}};
    ASSERT_EQ(CSFinit(3, pts), 0);
    CSF_DATA fit{3, 0, pts};
    CSF_DATA* fits[2] = {&fit, nullptr};
    int hint[2] = {0, 0};
    float bkt[2] = {0.6f, 0.0f};
    GasFilterData gf{fits, hint, bkt};
    elem.model_data = &gf;
    elem.model_fn = flt_gf0;
    elem.breakthrough = 1;
    snprintf(elem.name, sizeof elem.name, "carbon");
    LogCapture log;
    load.rel_loading = 0.25;
    const float* p = filter_sim(&path);
    EXPECT_NEAR(p[0], 0.3f, 1e-6f);
    EXPECT_EQ(p[1], 1.0f);
    EXPECT_EQ(bktDay[0], 0);
    _stepEndTime = 7200;
    load.rel_loading = 0.5;
    filter_sim(&path);
    EXPECT_NEAR(eff[0], 0.5f, 1e-6f);
    EXPECT_EQ(bktDay[0], 1);
    EXPECT_EQ(bktTime[0], 7200);
    _stepEndTime = 10800;
    load.rel_loading = 0.75;
    filter_sim(&path);
    EXPECT_EQ(bktTime[0], 7200);
    EXPECT_EQ(log.text(), " Breakthrough in carbon of A on Jan01 at 02:00:00\n");
    EXPECT_EQ(filter_get_eff(&path), pen);
}

// Rated at 1.2041 kg/s through 0.5 m2 (2 m/s) with a single-pass penetration of 1/2 for a
// susceptibility of 1: the rated dose is ln 2. Output (T + 40 + 20 v) / 100 with T in C.
class UvFilter : public FilterTest {
protected:
    void SetUp() override
    {
        FilterTest::SetUp();
        uv.uv_penetration_ref = 0.5f;
        uv.uv_velocity_ref = 2.0f;
        uv.uv_flow_ref = 1.2041f;
        uv.uv_k_ref = 1.0f;
        float poly[5] = {40.0f, 1.0f, 20.0f, 0.0f, 0.0f};
        for (int i = 0; i < 5; i++) uv.uv_poly[i] = poly[i];
        uv.uv_area = 0.5f;
        uv.uv_dose_ref = (float)std::log(2.0);
        elem.model_data = &uv;
        elem.model_fn = flt_uv1;
    }
    // Penetrations of A and B at mass flow F.
    std::vector<double> at(double F)
    {
        path.mass_flow[0] = F;
        const float* p = filter_sim(&path);
        EXPECT_FLOAT_EQ(eff[0], 1.0f - p[0]);
        return {p[0], p[1]};
    }
    UvFilterData uv{};
};

TEST_F(UvFilter, DoseFollowsFlowSpeedAndTemperature)
{
    std::vector<double> rated = at(1.2041);   // 20 C, 2 m/s: output 1, dose ln 2
    EXPECT_NEAR(rated[0], 0.5, 1e-6);
    EXPECT_NEAR(rated[1], 0.25, 1e-6);
    std::vector<double> half = at(0.60205);   // twice the time in the light at output 0.8
    EXPECT_NEAR(half[0], std::pow(2.0, -1.6), 1e-6);
    EXPECT_NEAR(half[1], std::pow(2.0, -3.2), 1e-6);
    for (double F : {0.0, -1.0}) {   // no forward flow: dose 1
        std::vector<double> p = at(F);
        EXPECT_NEAR(p[0], std::exp(-1.0), 1e-6) << F;
        EXPECT_NEAR(p[1], std::exp(-2.0), 1e-6) << F;
    }
}

// After ten hours the lamp gives (b ln 10 + a) % of its output; below zero it keeps 10 %.
TEST_F(UvFilter, AgingLampLosesOutputButKeepsATenth)
{
    uv.uv_aging = 1;
    uv.uv_age_a = 100.0f;
    uv.uv_age_b = -10.0f;
    _rcdat.start_date = 1;
    _rcdat.start_time = 0;
    _stepEndTime = 36000;
    double aged = (100.0 - 10.0 * std::log(10.0)) / 100.0;
    EXPECT_NEAR(at(1.2041)[0], std::pow(2.0, -aged), 1e-6);
    uv.uv_age_a = -50.0f;
    EXPECT_NEAR(at(1.2041)[0], std::pow(2.0, -0.1), 1e-6);
}

}  // namespace
