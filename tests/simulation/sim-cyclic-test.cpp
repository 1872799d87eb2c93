// The cyclic-day driver on one zone and the ambient, one step a day: the number of
// unreported days before the reported one, from the daily peak mass fractions, and the
// cut-off after 365 unreported days when the peaks can never repeat.
#include "simulation/sim-cyclic.h"

#include <gtest/gtest.h>

#include <string>

#include "common-src/memory.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/options.h"
#include "model/source-lists.h"
#include "simulation/vexlar-x-finish.h"
#include "simulation/weather.h"
#include "tests/airflow/af-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

struct CyclicCase {
    const char* name;
    double mf;         // the zone's mass fraction, constant from day to day
    bool variable;     // the zone's mass fractions are solved for
    float tol;         // cyc_tol
    int unreported;    // days run before the reported one
};
class CyclicDays : public ::testing::TestWithParam<CyclicCase> {
protected:
    void SetUp() override
    {
        AfNet::runControl({1, 0});
        _rcdat.sim_mf = 3;
        _rcdat.ss_date = _simEndDate = 200;
        _rcdat.cyc_cut = 1e-6f;
        _time_step = _time_list = _time_scrn = 86400;
        _dt = 86400.0f;
        _simEndTime = 86400;
        _dayofy = 200;
        _daytyp = 1;
        _stepStartTime = _stepEndTime = 0;
        _Lev0 = &level;
        z = net.zone(293.15);
        a = net.ambient(283.15);
        z->location.level = a->location.level = &level;
        z->mf = &zoneMf;
        a->mf = &ambientMf;
        _nctm = 1;
        _Css0 = nullptr;   // no sources or sinks whose totals restart each day
        srcl_clear();
        _Ctrl0 = nullptr;   // no controls, no peer, no timed inputs to start again
        _doBridge = 0;
        _sim_af_dyn = 0;    // steady airflow: no airflow solution within the day
        _npexp = 0;
        closeTimedInputs();
        WPC_close();
        _Mfmax = alc_mcT<float>(1, _nafnd, 0, 0, "_Mfmax");
        _Mftst = alc_mcT<float>(1, _nafnd, 0, 0, "_Mftst");
    }
    void TearDown() override
    {
        _Mfmax = fre_mcT(_Mfmax, 1, _nafnd, 0, 0);
        _Mftst = fre_mcT(_Mftst, 1, _nafnd, 0, 0);
        _nctm = 0;
        _Lev0 = nullptr;
        _rcdat = RunControlData{};
        _time_step = _time_list = _time_scrn = 0;
    }
    AfNet net;
    LogCapture log;
    LevelRec level{};
    AirNode *z = nullptr, *a = nullptr;
    double zoneMf = 0.0, ambientMf = 0.01;
};

// A species above the cutoff is first compared with the zero peaks before the first day,
// so it needs two days; below the cutoff, or in a zone of fixed mass fractions (and the
// ambient's 0.01 never counts), the first day is taken as converged. A negative tolerance
// can never be met: the driver stops after 365 unreported days with a WARNING.
TEST_P(CyclicDays, ReportsTheDayAfterThePeaksRepeat)
{
    const CyclicCase& c = GetParam();
    zoneMf = c.mf;
    z->flags |= c.variable ? NODE_VAR_MF : 0u;
    _rcdat.cyc_tol = c.tol;
    int before = _NrTimeSteps;
    testing::internal::CaptureStderr();
    drive_sim_loop_cyclic();
    std::string screen = testing::internal::GetCapturedStderr();
    EXPECT_EQ(_NrTimeSteps - before, c.unreported + 1);
    EXPECT_EQ(_dayofy, 200);
    EXPECT_EQ(_stepEndTime, 86400);
    const std::string cap = "Cyclic simulation did not converge in 365 days; the next day is reported";
    EXPECT_EQ(log.text().find(cap) != std::string::npos, c.unreported == 365) << log.text();
    EXPECT_EQ(_Mftst[z->index][0], (float)c.mf);
}

INSTANTIATE_TEST_SUITE_P(Peaks, CyclicDays,
                         ::testing::Values(CyclicCase{"AboveCutoff", 0.5, true, 1e-4f, 2},
                                           CyclicCase{"BelowCutoff", 1e-7, true, 1e-4f, 1},
                                           CyclicCase{"FixedZone", 0.5, false, 1e-4f, 1},
                                           CyclicCase{"NeverRepeating", 0.5, true, -1.0f, 365}),
                         [](const ::testing::TestParamInfo<CyclicCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
