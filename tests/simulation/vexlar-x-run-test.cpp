// main's run steps: the run class and clock of every sim_af/sim_mf combination, the
// test-mode overrides, the exact log lines of the network report, the airflow
// numbering, the transport equation report, the work counters, the Newton histogram and
// the sink states, and the choice of the surface results file.
#include "simulation/vexlar-x-run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "output/sim-out.h"
#include "tests/param-names.h"
#include "tests/scratch-dir.h"

using namespace vexlar;

namespace {

// What write(log) writes to a fresh log stream.
template <class Write> std::string logged(Write write)
{
    FILE* f = tmpfile();
    write(f);
    std::string s;
    rewind(f);
    for (int c; (c = getc(f)) != EOF;) s += (char)c;
    fclose(f);
    return s;
}

struct ClassCase {
    int sim_af, sim_mf;
    int cls, sim_mf_after;
    int day, start, end_day, end_time;
};

void PrintTo(const ClassCase& c, std::ostream* os)
{
    *os << "sim_af " << c.sim_af << " sim_mf " << c.sim_mf;
}

class RunClassAndClock : public ::testing::TestWithParam<ClassCase> {};

TEST_P(RunClassAndClock, FollowRunControl)
{
    const ClassCase& c = GetParam();
    _rcdat = RunControlData();
    _rcdat.sim_af = c.sim_af;
    _rcdat.sim_mf = c.sim_mf;
    _rcdat.ss_date = 10;
    _rcdat.ss_time = 3600;
    _rcdat.start_date = 20;
    _rcdat.start_time = 7200;
    _rcdat.end_date = 30;
    _rcdat.end_time = 43200;
    _rcdat.time_step = 300;
    _rcdat.time_list = 600;
    _rcdat.time_scrn = 900;
    _stepEndTime = -1;
    EXPECT_EQ(setRunClock(), c.cls);
    EXPECT_EQ(_rcdat.sim_mf, c.sim_mf_after);
    EXPECT_EQ(_dayofy, c.day);
    EXPECT_EQ(_stepStartTime, c.start);
    EXPECT_EQ(_simEndDate, c.end_day);
    EXPECT_EQ(_simEndTime, c.end_time);
    if (c.cls != RUN_CYCLIC) EXPECT_EQ(_stepEndTime, c.start);
    else EXPECT_EQ(_stepEndTime, -1);   // the cyclic driver sets it
    EXPECT_EQ(_time_step, 300);
    EXPECT_EQ(_time_list, 600);
    EXPECT_EQ(_time_scrn, 900);
    EXPECT_FLOAT_EQ(_dt, 300.0f);
    EXPECT_FLOAT_EQ(_dti, 1.0f / 300.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Main, RunClassAndClock,
    ::testing::Values(ClassCase{2, 3, RUN_STEADY, 0, 10, 3600, 10, 3600},
                      ClassCase{4, 1, RUN_STEADY, 0, 10, 3600, 10, 3600},
                      ClassCase{0, 2, RUN_TRANSIENT, 2, 20, 7200, 30, 43200},
                      ClassCase{1, 0, RUN_TRANSIENT, 0, 20, 7200, 30, 43200},
                      ClassCase{1, 1, RUN_TRANSIENT, 1, 20, 7200, 30, 43200},
                      ClassCase{0, 5, RUN_TRANSIENT, 5, 20, 7200, 30, 43200},
                      ClassCase{0, 3, RUN_CYCLIC, 3, 10, 0, 10, 86400},
                      ClassCase{1, 3, RUN_CYCLIC, 3, 10, 0, 10, 86400},
                      ClassCase{0, 1, RUN_STEADY, 1, 10, 3600, 10, 3600},
                      ClassCase{-1, 0, RUN_STEADY, 0, 10, 3600, 10, 3600}),
    testnames::named([](const ClassCase& c) {
        return "sim_af_" + testnames::num(c.sim_af) + "_sim_mf_" + testnames::num(c.sim_mf);
    }));

class TestModes : public ::testing::Test {
protected:
    void SetUp() override
    {
        _rcdat = RunControlData();
        memset(nodes, 0, sizeof nodes);
        nodes[0].next = &nodes[1];
        nodes[1].next = &nodes[2];
        nodes[0].flags = NODE_VAR_P | NODE_VAR_MF | NODE_AMBIENT;   // unconditioned zone
        nodes[1].flags = NODE_VAR_P | NODE_VAR_MF | NODE_AHS;
        nodes[2].flags = NODE_AMBIENT;
        nodes[2].kind = 0;
        _afnd0 = nodes;
    }
    void TearDown() override { _afnd0 = nullptr; }
    AirNode nodes[3];
};

TEST_F(TestModes, PressurizationTestKeepsVariablePressureOnlyOnAmbientAndUnconditioned)
{
    _rcdat.sim_af = 4;
    _rcdat.mf_solver = _rcdat.sim_mf = _rcdat.tsdens = 2;
    _rcdat.ach_stats = _rcdat.zcres = _rcdat.rzf = 1;
    _doBridge = 2;
    _useWPC = 1;
    strcpy(_WTHfile, "w.wth");
    testModeOverrides();
    EXPECT_TRUE(nodes[0].flags & NODE_VAR_P);
    EXPECT_FALSE(nodes[1].flags & NODE_VAR_P);
    EXPECT_TRUE(nodes[2].flags & NODE_VAR_P);
    EXPECT_EQ(_rcdat.sim_mf + _rcdat.mf_solver + _rcdat.tsdens, 0);
    EXPECT_EQ(_rcdat.pfres + _rcdat.zfres, 2);
    EXPECT_EQ(_rcdat.zcres + _rcdat.ach_stats + _rcdat.rzf, 0);
    EXPECT_EQ(_doBridge + _useWPC, 0);
    EXPECT_STREQ(_WTHfile, "null");
    EXPECT_STREQ(_CTMfile, "null");
}

TEST_F(TestModes, FlowTestKeepsVariableMassFractionsOnlyInSystemZones)
{
    _rcdat.sim_af = 3;
    _nctm = 1;
    testModeOverrides();
    EXPECT_FALSE(nodes[0].flags & NODE_VAR_MF);
    EXPECT_TRUE(nodes[1].flags & NODE_VAR_MF);
    EXPECT_EQ(_rcdat.sim_mf, 1);
    _nctm = 0;
}

TEST_F(TestModes, FlowTestNeedsExactlyOneTraceSpecies)
{
    _rcdat.sim_af = 3;
    _nctm = 2;
    EXPECT_EXIT(testModeOverrides(), testing::ExitedWithCode(2),
                "FATAL Flow validation mode requires one trace contaminant");
    _nctm = 0;
}

TEST(MainLog, NetworkCountsAndAirflowControl)
{
    _rcdat = RunControlData();
    _rcdat.tsdens = 1;
    _nctm = 0;
    _nafnd = 3;
    _nafpt = 12;
    std::string s = logged(logNetworkCounts);
    EXPECT_EQ(s.rfind("Number of --\n      contaminants:    0\n", 0), 0u);
    EXPECT_NE(s.find("     airflow nodes:    3\n     airflow paths:   12\n"), std::string::npos);
    EXPECT_NE(s.find("Airflow control --\n   cnvgSS: 0\n   tsdens: 1\n"), std::string::npos);
    _nafnd = _nafpt = 0;
}

TEST(MainLog, AirflowNumberingStartsNewRowEveryTenPaths)
{
    AirNode n[2] = {};
    n[0].next = &n[1];
    n[0].index = 1;
    n[0].number = 1;
    n[0].af_eqn = 1;
    n[1].index = 2;
    n[1].kind = 1;
    n[1].number = 4;
    n[1].af_eqn = 2;
    AirPath p[11] = {};
    for (int i = 0; i < 11; i++) {
        p[i].next = i < 10 ? &p[i + 1] : nullptr;
        p[i].index = i + 1;
        p[i].number = i + 1;
        p[i].kind = i == 10 ? 3 : 0;
    }
    _afnd0 = n;
    _pafp0 = p;
    std::string s = logged(logAirflowNumbering);
    _afnd0 = nullptr;
    _pafp0 = nullptr;
    std::string want = "\nAirflow calculation data:\n Node | source | eqn\n"
                       "    1 :    1z :    1\n    2 :    4j :    2\n"
                       "  [z = zone, j = junction, t = terminal]\n"
                       " Link numbers vs. path & duct numbers:\n    1 -   10:";
    for (int i = 1; i <= 10; i++) want += "    " + std::to_string(i) + "p";
    want.replace(want.size() - 4, 1, "");   // "  10p" is one blank shorter
    want += "\n   11 -   20:   11l\n  [p = path, d = duct, t = terminal, l = leak]\n";
    EXPECT_EQ(s, want);
}

struct Histogram {
    int bins[5];
    const char* want;
};

void PrintTo(const Histogram& h, std::ostream* os) { *os << testing::PrintToString(h.want); }

class NewtonHistogram : public ::testing::TestWithParam<Histogram> {};

TEST_P(NewtonHistogram, EndsAtTheHighestNonzeroBin)
{
    _rangeDWC[0] = 1;
    _rangeDWC[1] = 2;
    _rangeDWC[2] = 3;
    std::string s = logged([](FILE* f) { logNewtonHistogram(f, GetParam().bins, 3); });
    EXPECT_EQ(s, std::string(GetParam().want) + "\n\nrangeDWC: 1 lam, 2 trns, 3 turbulent\n\n");
}

INSTANTIATE_TEST_SUITE_P(
    Main, NewtonHistogram,
    ::testing::Values(Histogram{{7, 0, 0, 0, 0}, "\nNR its. :    0\nJfacBins:    7"},
                      Histogram{{0, 0, 0, 0, 0}, "\nNR its. :    0\nJfacBins:    0"},
                      Histogram{{0, 4, 9, 0, 0}, "\nNR its. :    0    1    2\nJfacBins:    0    4    9"},
                      Histogram{{0, 0, 0, 0, 2},
                                "\nNR its. :    0    1    2    3    4\nJfacBins:    0    0    0    0    2"}),
    testnames::named([](const Histogram& h) {
        std::string s = "bins";
        for (int b : h.bins) s += "_" + std::to_string(b);
        return s;
    }));

TEST(MainLog, RunStatisticsListOnlyNonzeroCounters)
{
    // Other tests in this binary run solvers that leave counts behind.
    for (int* c : {&_NrTimeSteps, &_NrTStepIter, &_NrSolveAf, &_NrFillAf, &_NrLufSkyS,
                   &_NrLusSkyS, &_NrPCG, &_NrPCGiter, &_NrSolveHt, &_NrSolveMfn, &_NrSolveMft,
                   &_NrSolveSTS, &_NrLufSkyN, &_NrLusSkyN, &_NrBCG, &_NrBCGiter, &_NrDCset,
                   &_NrSOR, &_NrSORiter, &_NrLufGE, &_NrLusGE, &_NrCubicA, &_NrCubicN,
                   &_NrCDZsim, &_NrDuctLagr, &_NrDuctEulr})
        *c = 0;
    _NrSolveAf = 12;
    _NrSolveSTS = 3;
    _dtMaxStab = 2.5f;
    _aftime = 0;
    std::string s = logged(logRunStatistics);
    _NrSolveAf = _NrSolveSTS = 0;
    _dtMaxStab = 0;
    EXPECT_EQ(s, "\n       0 time steps\n      12 calls to SolveAf()\n"
                 "       3 calls to solve_STS()\n     2.5 s - maximum stable time step\n");
}

TEST(MainLog, FinalSinkReportGivesNumberSurfaceMassAndSpeciesPerSink)
{
    SpeciesRec* saved = _ctm;
    SpeciesRec ctm[2] = {};
    strcpy(ctm[0].name, "CO2");
    strcpy(ctm[1].name, "VOC-long-name");
    _ctm = ctm;
    BlsRec b[2] = {};
    b[0].next = &b[1];
    b[0].number = 3;
    b[0].surface_mass = 1.25e-6;
    b[1].number = 12;
    b[1].species = 1;
    b[1].surface_mass = 0.5;
    std::string s = logged([&](FILE* f) { bls_rept(f, b); });
    DvrRec d = {};
    d.number = 1;
    d.surface_mass = 2.0e-3;
    std::string t = logged([&](FILE* f) { dvr_rept(f, &d); });
    _ctm = saved;
    EXPECT_EQ(s, "     3    1.25000e-06  CO2\n    12    5.00000e-01  VOC-long-name\n");
    EXPECT_EQ(t, "     1    2.00000e-03  CO2\n");
}

// Two species and one zone node with its equation numbers; the report goes to a log
// of its own.
class EquationReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        strcpy(species[0].name, "CO2");
        strcpy(species[1].name, "FORMALDEHYDE");
        savedCtm = _ctm;
        _ctm = species;
        node.index = 1;
        node.number = 3;
        node.mf_eqn = eqn;
        _afnd0 = &node;
        savedLog = _ulog;
        _ulog = tmpfile();
    }
    void TearDown() override
    {
        fclose(_ulog);
        _ulog = savedLog;
        _afnd0 = nullptr;
        _ctm = savedCtm;
    }
    std::string text()
    {
        std::string s;
        rewind(_ulog);
        for (int c; (c = getc(_ulog)) != EOF;) s += (char)c;
        return s;
    }
    SpeciesRec species[2] = {};
    SpeciesRec* savedCtm = nullptr;
    int32_t eqn[2] = {1, 2};
    AirNode node = {};
    FILE* savedLog = nullptr;
};

TEST_F(EquationReport, ListsNodesThenTheEquationOfEverySink)
{
    BlsRec bls = {};
    bls.number = 2;
    bls.sink_eqn = 5;
    DvrRec dvr = {};
    dvr.number = 4;
    dvr.species = 1;
    dvr.sink_eqn = 6;
    mf_dat_rpt("Contaminants", &bls, &dvr, 0, 2);
    EXPECT_EQ(text(), "\nContaminants\n Node | source |  CO2 FORM\n"
                      "    1 :    3z :    1    2\n"
                      "  [z = zone, j = junction, t = terminal]\n"
                      "Boundary layer sink node numbers:\n  S/S |  eqn |  ctm\n"
                      "    2 :    5 :  CO2\n"
                      "Deposition/resuspension sink node numbers:\n  S/S |  eqn |  ctm\n"
                      "    4 :    6 :  FORMALDEHYDE\n");
}

TEST_F(EquationReport, WithoutSinksEndsAfterTheNodes)
{
    mf_dat_rpt("Trace contaminants", nullptr, nullptr, 1, 2);
    EXPECT_EQ(text(), "\nTrace contaminants\n Node | source | FORM\n"
                      "    1 :    3z :    2\n  [z = zone, j = junction, t = terminal]\n");
}

// The surface results file is kept only for a contaminant run with sinks that asks for
// it; otherwise a stale one of the project's name is removed.
struct SrfCase {
    int sim_mf, srf, nbls, ndvr;
    bool kept;
};

void PrintTo(const SrfCase& c, std::ostream* os)
{
    *os << "sim_mf " << c.sim_mf << " srf " << c.srf << " sinks " << c.nbls << "/" << c.ndvr;
}

class SurfaceResults : public ::testing::TestWithParam<SrfCase> {};

TEST_P(SurfaceResults, StaleFileIsRemovedUnlessTheRunSelectsIt)
{
    vexlar_test::ScratchDir scratch;
    const std::string& dir = scratch.path();
    snprintf(_pdir, sizeof _pdir, "%s", dir.c_str());
    snprintf(_prjname, sizeof _prjname, "office");
    _pdrive[0] = '\0';
    std::string srf = dir + "office.srf";
    std::ofstream(srf) << "stale";
    _nctm = 0;   // no species: no per-species file names
    _ctm = nullptr;
    _nlogc = 0;
    _rcdat = RunControlData();
    _rcdat.sim_mf = GetParam().sim_mf;
    _rcdat.srf = GetParam().srf;
    _nbls = GetParam().nbls;
    _ndvr = GetParam().ndvr;
    openResultFiles();
    EXPECT_EQ(access(srf.c_str(), F_OK) == 0, GetParam().kept);
    set_usrf(3);
    _nbls = _ndvr = 0;
    _pdir[0] = _prjname[0] = '\0';
}

INSTANTIATE_TEST_SUITE_P(Main, SurfaceResults,
                         ::testing::Values(SrfCase{1, 1, 1, 0, true}, SrfCase{2, 1, 0, 3, true},
                                           SrfCase{0, 1, 1, 1, false}, SrfCase{1, 0, 1, 1, false},
                                           SrfCase{1, 1, 0, 0, false}),
                         testnames::named([](const SrfCase& c) {
                             return "sim_mf" + std::to_string(c.sim_mf) + "_srf" + std::to_string(c.srf) + "_bls" +
                                    std::to_string(c.nbls) + "_dvr" + std::to_string(c.ndvr);
                         }));

}  // namespace
