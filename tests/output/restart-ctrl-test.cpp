// Control nodes carried through the restart file: every piece of state a stateful signal
// keeps from one step to the next is written at a day's end and put back, each into its
// own field, when a later run resumes from that day. Every field holds a value no other
// field of the record holds, so a pair restored into each other's places, a double cut to
// single precision or a delay left on the wrong schedule shows as a difference.
#include "output/restart.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common-src/messages.h"
#include "model/clock.h"
#include "common-src/paths.h"
#include "contaminant/mf-mem.h"
#include "contaminant/sts-init.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/source-lists.h"
#include "model/sts-links.h"

using namespace vexlar;

namespace {

// The state of every stateful signal, as a resumed run must find it.
struct CtrlState {
    SensorData sns, snsFresh;
    HysData hys;
    PicData pi1;
    IntData integ;
    ListStepData irs, ars;
    DlxData dlx;
    DlsData dlsRise, dlsFall, dlsIdle;
};

// Fields apart from one another and from every output value; the integrals need more
// than single precision.
CtrlState underWay(DaySchedRec* rise, DaySchedRec* fall)
{
    CtrlState s{};
    s.sns.lag_factor = 0.8125f;
    s.sns.first_done = 1;
    s.hys.state = -2.75f;
    s.pi1.prev_out = 0.4375f;
    s.pi1.prev_in = -13.5f;
    s.integ.integral = 1234567.0 + 1.0 / 3.0;
    s.integ.prev_in1 = 21.25f;
    s.integ.prev_in2 = -7.625f;
    s.integ.first_done = 1;
    s.irs.integral = 86400.0 * 400.0 + 0.1;
    s.irs.elapsed = 1800.0f;
    s.irs.prev_in = 3.5f;
    s.ars.integral = -2.0e7 - 1.0 / 7.0;
    s.ars.elapsed = 2700.0f;
    s.ars.prev_in = -0.03125f;
    s.dlx.last_input = 55.5f;
    s.dlx.factor = 0.15625f;
    s.dlx.first_done = 1;
    s.dlsRise.step_change = 6.5f;
    s.dlsRise.last_input = 17.75f;
    s.dlsRise.change_time = -43200;   // a rise that began at noon the day before
    s.dlsRise.active = rise;
    s.dlsRise.first_done = 1;
    s.dlsFall.step_change = -4.25f;
    s.dlsFall.last_input = 0.875f;
    s.dlsFall.change_time = 61200;
    s.dlsFall.active = fall;
    s.dlsFall.first_done = 1;
    s.dlsIdle.step_change = 0.0f;
    s.dlsIdle.last_input = 9.0f;
    s.dlsIdle.change_time = 3600;
    s.dlsIdle.active = nullptr;
    s.dlsIdle.first_done = 0;
    return s;
}

// A network of control nodes only, installed in the engine's globals for a transient run
// of a project "ctrl" in a scratch folder of the test's own.
class RestartCtrl : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = ::testing::TempDir() + "vexlar-restart-ctrl-XXXXXX";
        ASSERT_NE(mkdtemp(&tmpl[0]), nullptr) << tmpl;
        dir = tmpl + "/";
        _pdrive[0] = '\0';
        snprintf(_pdir, sizeof _pdir, "%s", dir.c_str());
        snprintf(_prjname, sizeof _prjname, "ctrl");
        log = tmpfile();
        _ulog = log;
        _afnd0 = nullptr;
        _pafp0 = nullptr;
        _pambt = nullptr;
        _nafnd = _nafpt = 0;
        _nzone = _npath = _njct = _ndct = _nctm = 0;
        _ncss = _nbls = _ndvr = 0;
        _Css0 = _Csst0 = _Cssnt0 = nullptr;
        _Bls0 = _Blst0 = _Blsnt0 = _BlsInactive0 = nullptr;
        _Dvr0 = _Dvrt0 = _Dvrnt0 = _DvrInactive0 = nullptr;
        _MfC = nullptr;
        _nCcctm = 0;
        _duct0 = nullptr;
        _sim_af_dyn = 0;
        _rcdat = RunControlData{};
        _rcdat.sim_mf = 2;
        _rcdat.start_date = 1;
        _rcdat.end_date = 3;
        _daytyp = 1;   // the record keeps the day type of its day
        rst_reset();
        state = underWay(&rise, &fall);
        link();
    }
    void TearDown() override
    {
        _Ctrl0 = nullptr;
        _nctrl = 0;
        _rcdat = RunControlData{};
        _ulog = nullptr;
        fclose(log);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // One node per stateful signal, sequence order as listed, each with its own output.
    void link()
    {
        struct Entry {
            int16_t type;
            void* data;
        };
        const Entry entries[] = {{CT_SNS, &state.sns},         {CT_SNS, &state.snsFresh},
                                 {CT_HYS, &state.hys},         {CT_PI1, &state.pi1},
                                 {CT_INT, &state.integ},       {CT_IRS, &state.irs},
                                 {CT_ARS, &state.ars},         {CT_DLX, &state.dlx},
                                 {CT_DLS, &state.dlsRise},     {CT_DLS, &state.dlsFall},
                                 {CT_DLS, &state.dlsIdle}};
        nodes.assign(sizeof entries / sizeof entries[0], CtrlNode{});
        for (size_t i = 0; i < nodes.size(); i++) {
            nodes[i].type = entries[i].type;
            nodes[i].data = entries[i].data;
            nodes[i].number = nodes[i].sequence = (int)i + 1;
            nodes[i].value = 100.5f + 10.0f * (float)i;
            nodes[i].next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
        }
        for (DlsData* d : {&state.dlsRise, &state.dlsFall, &state.dlsIdle}) {
            d->rise = &rise;
            d->fall = &fall;
        }
        _Ctrl0 = &nodes[0];
        _nctrl = (int)nodes.size();
    }

    // Writes the state at the end of day 1, then a different one at the end of day 2.
    void writeTwoDays()
    {
        set_urst_init();
        set_urst_open();
        writeRst_stepTime(1, 86400);
        scramble();
        writeRst_stepTime(2, 86400);
        set_urst_close(0);
    }

    // Every field and output moved away from the state under way.
    void scramble()
    {
        CtrlState other = underWay(&fall, &rise);
        other.sns.first_done = 0;
        other.sns.lag_factor = 0.5f;
        other.snsFresh.first_done = 1;
        other.snsFresh.lag_factor = 0.25f;
        for (float* f : {&other.hys.state, &other.pi1.prev_out, &other.pi1.prev_in, &other.integ.prev_in1,
                         &other.integ.prev_in2, &other.irs.elapsed, &other.irs.prev_in, &other.ars.elapsed,
                         &other.ars.prev_in, &other.dlx.last_input, &other.dlx.factor})
            *f += 1.0f;
        other.integ.integral = other.irs.integral = other.ars.integral = 0.0;
        other.integ.first_done = other.dlx.first_done = 0;
        other.dlsIdle.active = &rise;
        other.dlsIdle.first_done = 1;
        for (DlsData* d : {&other.dlsRise, &other.dlsFall, &other.dlsIdle}) {
            d->change_time += 7;
            d->step_change += 1.0f;
            d->last_input += 1.0f;
        }
        state = other;
        link();
        for (CtrlNode& n : nodes) n.value = -1.0f;
    }

    std::string dir;
    FILE* log = nullptr;
    DaySchedRec rise{}, fall{};
    CtrlState state{};
    std::vector<CtrlNode> nodes;
};

TEST_F(RestartCtrl, EachStatefulSignalResumesWithItsOwnState)
{
    writeTwoDays();   // the state in memory is now that of day 2
    ASSERT_EQ(rstget(1), 0);
    const CtrlState want = underWay(&rise, &fall);
    for (size_t i = 0; i < nodes.size(); i++) EXPECT_EQ(nodes[i].value, 100.5f + 10.0f * (float)i) << "node " << i + 1;

    EXPECT_EQ(state.sns.lag_factor, want.sns.lag_factor);
    EXPECT_EQ(state.sns.first_done, 1);
    EXPECT_EQ(state.snsFresh.first_done, 0);   // not yet evaluated: its lag is set later
    EXPECT_EQ(state.snsFresh.lag_factor, 0.0f);
    EXPECT_EQ(state.hys.state, want.hys.state);
    EXPECT_EQ(state.pi1.prev_out, want.pi1.prev_out);
    EXPECT_EQ(state.pi1.prev_in, want.pi1.prev_in);

    EXPECT_EQ(state.integ.integral, want.integ.integral);
    EXPECT_EQ(state.integ.prev_in1, want.integ.prev_in1);
    EXPECT_EQ(state.integ.prev_in2, want.integ.prev_in2);
    EXPECT_EQ(state.integ.first_done, 1);

    for (const ListStepData* got : {&state.irs, &state.ars}) {
        const ListStepData& w = got == &state.irs ? want.irs : want.ars;
        EXPECT_EQ(got->integral, w.integral);
        EXPECT_EQ(got->elapsed, w.elapsed);
        EXPECT_EQ(got->prev_in, w.prev_in);
    }

    EXPECT_EQ(state.dlx.last_input, want.dlx.last_input);
    EXPECT_EQ(state.dlx.factor, want.dlx.factor);
    EXPECT_EQ(state.dlx.first_done, 1);

    const DlsData* got[3] = {&state.dlsRise, &state.dlsFall, &state.dlsIdle};
    const DlsData* w[3] = {&want.dlsRise, &want.dlsFall, &want.dlsIdle};
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(got[k]->step_change, w[k]->step_change) << k;
        EXPECT_EQ(got[k]->last_input, w[k]->last_input) << k;
        EXPECT_EQ(got[k]->change_time, w[k]->change_time) << k;
        EXPECT_EQ(got[k]->active, w[k]->active) << k;
        EXPECT_EQ(got[k]->first_done, w[k]->first_done) << k;
        EXPECT_EQ(got[k]->rise, &rise) << k;   // the schedules themselves are the project's
        EXPECT_EQ(got[k]->fall, &fall) << k;
    }
}

// Under the stiff integrator the storage term of the first step after a resume takes the
// length of the writing run's last step before the record, as the unbroken run's does.
TEST_F(RestartCtrl, StiffIntegratorResumesWithItsLastStepLength)
{
    _rcdat.mf_solver = 2;
    _dt = 137.0f;
    set_urst_init();
    set_urst_open();
    writeRst_stepTime(1, 86400);
    _dt = 41.0f;
    writeRst_stepTime(2, 86400);
    set_urst_close(0);
    _dt = 300.0f;   // the project's time step, where a resumed run starts
    _dti = 1.0f / _dt;
    ASSERT_EQ(rstget(1), 0);
    EXPECT_EQ(_dt, 137.0f);
    EXPECT_EQ(_dti, 1.0f / 137.0f);
}

}  // namespace
