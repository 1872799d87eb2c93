// Result file set and SIM binary results file: names and removal by the closers, the SIM
// header, tables, step and day blocks and trailer byte for byte (little-endian, no
// padding), the per-step dispatch at listing times, and the run extremes in the log.
#include "output/sim-out.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>

#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>

#include "../common-src/section-test-util.h"
#include "output/expos.h"
#include "output/restart.h"
#include "output/sqlite-out.h"
#include "output/summary.h"
#include "simulation/sim-common.h"
#include "model/source-lists.h"
#include "result-net.h"
#include "simulation/ctrl-sim.h"
#include "simulation/vexlar-x-finish.h"
#include "tests/param-names.h"
#include "simulation/vexlar-x-run.h"

using namespace vexlar;
using namespace vexlar::testnet;

namespace {

// The expected file content, packed as the SIM layout prescribes: little-endian, no padding.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& i16(int v)
    {
        uint16_t u = (uint16_t)v;
        b.push_back(u & 0xff);
        b.push_back(u >> 8);
        return *this;
    }
    Bytes& i32(int64_t v)
    {
        uint32_t u = (uint32_t)v;
        for (int k = 0; k < 4; k++) b.push_back((u >> (8 * k)) & 0xff);
        return *this;
    }
    Bytes& f32(double v)
    {
        float f = (float)v;
        uint32_t u;
        memcpy(&u, &f, 4);
        return i32(u);
    }
    Bytes& ints(std::initializer_list<int64_t> v)
    {
        for (int64_t x : v) i32(x);
        return *this;
    }
    Bytes& floats(std::initializer_list<double> v)
    {
        for (double x : v) f32(x);
        return *this;
    }
    // A 16-byte indexed record: running index and three reals.
    Bytes& rec(int pos, double a, double b2, double c) { return i32(pos).floats({a, b2, c}); }
    Bytes& append(const Bytes& o)
    {
        b.insert(b.end(), o.b.begin(), o.b.end());
        return *this;
    }
};

int32_t intAt(const std::vector<uint8_t>& f, size_t off)
{
    return (int32_t)(f[off] | f[off + 1] << 8 | f[off + 2] << 16 | (uint32_t)f[off + 3] << 24);
}

class SimFile : public ResultTest {
protected:
    void SetUp() override
    {
        ResultTest::SetUp();
        _resultWriteFailures = 0;
    }
    void setSwitches(int pf, int zf, int zc)
    {
        _rcdat.pfres = pf;
        _rcdat.zfres = zf;
        _rcdat.zcres = zc;
    }
    std::vector<uint8_t> sim() const { return readFile(file(".sim")); }
    // Bytes written so far to the open file.
    long simSize() const
    {
        fflush(_usim);
        return (long)sim().size();
    }
};

// ---- Names and removal ------------------------------------------------------------------

TEST_F(SimFile, NameIsProjectDirectoryNameAndExtension)
{
    EXPECT_EQ(std::string(resultFileName(".sim")), dir + "bldg.sim");
}

struct Closer {
    const char* ext;
    void (*close)(int);
};

void PrintTo(const Closer& c, std::ostream* os) { *os << c.ext; }

class Closers : public ResultTest, public ::testing::WithParamInterface<Closer> {
protected:
    std::string touch(const std::string& ext)
    {
        std::ofstream(file(ext.c_str())) << "old";
        return file(ext.c_str());
    }
};

TEST_P(Closers, FlagRemovesTheStaleFileAndNoFlagKeepsIt)
{
    std::string path = touch(GetParam().ext);
    GetParam().close(0);
    EXPECT_TRUE(fileExists(path));
    GetParam().close(1);
    EXPECT_FALSE(fileExists(path));
    GetParam().close(1);   // removing a missing file is silent
}

INSTANTIATE_TEST_SUITE_P(
    Output, Closers,
    ::testing::Values(Closer{".sim", set_usim_close}, Closer{".ach", set_uach_close},
                      Closer{".cbw", set_ucbw_close}, Closer{".age", set_uage_close},
                      Closer{".ebw", set_uexp_close},
                      Closer{".log", set_ulogc_close}, Closer{".cex", set_ubcex_close},
                      Closer{".sqlite3", set_usql_close}),
    testnames::named([](const auto& c) { return std::string(c.ext); }));

// The short-time-step closers remove only what this run opened: a failed run that never
// reached its transient loop keeps the files of an earlier run.
TEST_F(Closers, ShortTimeStepClosersLeaveTheFilesOfAnEarlierRunAlone)
{
    for (const char* ext : {".rzf", ".rzm", ".rz1", ".rxr"}) touch(ext);
    set_uSTS_ResultFiles(2);
    set_uSTS_ResultFiles(3);
    for (const char* ext : {".rzf", ".rzm", ".rz1", ".rxr"})
        EXPECT_TRUE(fileExists(file(ext))) << ext;
}

TEST_F(Closers, SpeciesExfiltrationFilesAreNamedAfterProjectAndSpecies)
{
    std::string a = dir + "bldg_CO2.cex", b = dir + "bldg_SF6.cex";
    std::ofstream(a) << "old";
    std::ofstream(b) << "old";
    set_udcex_close(0);
    EXPECT_TRUE(fileExists(a));
    set_udcex_close(1);
    EXPECT_FALSE(fileExists(a));
    EXPECT_FALSE(fileExists(b));
}

TEST_F(SimFile, DeleteFlagRemovesAPartialFileAndNoFlagKeepsItWithItsTrailer)
{
    setSwitches(1, 0, 0);
    set_usim_open();
    writeSim_stepTime(3600);
    set_usim_close(1);
    EXPECT_FALSE(fileExists(file(".sim")));
    EXPECT_EQ(_usim, nullptr);

    set_usim_open();
    writeSim_stepTime(3600);
    set_usim_close(0);
    std::vector<uint8_t> f = sim();
    // Trailer: 16 counters then the histogram up to its highest nonzero bin (3): 20 words.
    ASSERT_GE(f.size(), 80u);
    EXPECT_EQ(intAt(f, f.size() - 80), 3);    // b
    EXPECT_EQ(intAt(f, f.size() - 76), 11);   // time steps
    EXPECT_EQ(intAt(f, f.size() - 4), 2);     // last histogram bin
}

// A run that ends by a FATAL leaves neither its SIM file nor its database behind.
TEST_F(SimFile, FatalEndRemovesThePartialResultFiles)
{
    setSwitches(1, 1, 1);
    _rcdat.pfsave = 1;
    EXPECT_EXIT(
        {
            _errorFinishFcnP = finish;
            set_usim_open();
            set_usql_open();
            writeSim_stepTime(3600);
            writeSql_stepTime(3600);
            error(FATAL, __FILE__, __LINE__, "stop in the middle of the run", "");
        },
        ::testing::ExitedWithCode(2), "stop in the middle of the run");
    EXPECT_FALSE(fileExists(file(".sim")));
    EXPECT_FALSE(fileExists(file(".sqlite3")));
}

// A result the disk refuses ends the run with a FATAL (exit 2), never with success, and the
// partial file goes: the SIM file on a full device, the database beyond a file-size limit,
// and the log once it can no longer be written (with a SIM file open).
struct LostResult {
    const char* name;
    const char* ext;          // the result file that must be gone afterwards
    void (*lose)(const std::string& dir);
    const char* error;        // the start of its ERROR; the path of the file follows
    const char* failed;       // the extension of that file
};
std::ostream& operator<<(std::ostream& os, const LostResult& c) { return os << c.name; }

class ResultWriteFailure : public SimFile, public ::testing::WithParamInterface<LostResult> {};

TEST_P(ResultWriteFailure, EndsTheRunWithTwoAndRemovesThePartialFile)
{
    const LostResult& c = GetParam();
    setSwitches(1, 1, 1);
    _rcdat.pfsave = _rcdat.zfsave = _rcdat.zcsave = 1;
    std::string expected = std::string("ERROR ") + c.error + dir + "bldg" + c.failed;
    EXPECT_EXIT(
        {
            _errorFinishFcnP = finish;
            _resultWriteFailures = 0;
            c.lose(dir);
            checkResultsWritten();
        },
        ::testing::ExitedWithCode(2),
        ::testing::AllOf(::testing::HasSubstr(expected),
                         ::testing::HasSubstr("FATAL Results of this run could not be written in full\n")));
    EXPECT_FALSE(fileExists(file(c.ext)));
}

INSTANTIATE_TEST_SUITE_P(Writers, ResultWriteFailure, ::testing::Values(
    LostResult{"SimOnAFullDevice", ".sim", [](const std::string& dir) {
        ASSERT_EQ(symlink("/dev/full", (dir + "bldg.sim").c_str()), 0);
        set_usim_open();
        writeSim_stepTime(3600);
        set_usim_close(0);
    }, "fwrite failed: ", ".sim"},
    LostResult{"DatabaseBeyondItsSizeLimit", ".sqlite3", [](const std::string& dir) {
        set_usql_open();
        struct stat st;
        ASSERT_EQ(stat((dir + "bldg.sqlite3").c_str(), &st), 0);
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{(rlim_t)st.st_size, (rlim_t)st.st_size};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        for (int t = 3600; t <= 400 * 3600; t += 3600) writeSql_stepTime(t);
        set_usql_close(0);
    }, "Insert into SQLite3 results database failed: ", ".sqlite3"},
    LostResult{"LogOnAFullDevice", ".sim", [](const std::string&) {
        set_usim_open();
        writeSim_stepTime(3600);
        set_usim_close(0);
        _ulog = fopen("/dev/full", "w");
        _errorLogFileP = &_ulog;
        fputs("a line the log cannot take\n", _ulog);
    }, "Could not write log file ", ".xlog"}),
    [](const ::testing::TestParamInfo<LostResult>& i) { return std::string(i.param.name); });

// A result that is not finite never reaches the SIM file or the database: the run ends with
// a FATAL naming the node or path, and the files opened so far go.
TEST_F(SimFile, NonFiniteResultsAreNotWritten)
{
    setSwitches(1, 1, 1);
    _rcdat.pfsave = _rcdat.zfsave = _rcdat.zcsave = 1;
    std::string node = std::to_string(net.node[1].number) + _ntype[net.node[1].kind];
    std::string path = std::to_string(net.path[2].number) + _ftype[net.path[2].kind];
    EXPECT_EXIT(
        {
            _errorFinishFcnP = finish;
            set_usim_open();
            set_usql_open();
            net.node[1].density = std::nan("");
            writeSim_stepTime(3600);
        },
        ::testing::ExitedWithCode(2), "FATAL Results are not finite and are not written: density of node " + node + "\n");
    EXPECT_EXIT(
        {
            _errorFinishFcnP = finish;
            set_usql_open();
            net.path[2].mass_flow[1] = HUGE_VAL;
            writeSql_stepTime(3600);
        },
        ::testing::ExitedWithCode(2), "FATAL Results are not finite and are not written: flow of path " + path + "\n");
    EXPECT_FALSE(fileExists(file(".sim")));
    EXPECT_FALSE(fileExists(file(".sqlite3")));
}

// Nor does any result file receive a value that is not finite once narrowed to the
// precision the file stores: a mass fraction of 1e39 or a gauge pressure beyond the float
// range, a day's extreme, a zone pressure of 2.7e77 Pa in the single-precision zone file, a
// control node's output in the control log. The run ends with the same FATAL, naming the
// value or the file, and the partial file goes.
struct NonFiniteCase {
    const char* name;
    const char* ext;   // the file written, gone afterwards
    void (*write)(ResultNet& net);
    const char* named;
};
std::ostream& operator<<(std::ostream& os, const NonFiniteCase& c) { return os << c.name; }

class NonFiniteResult : public SimFile, public ::testing::WithParamInterface<NonFiniteCase> {};

TEST_P(NonFiniteResult, EndsTheRunBeforeTheFileReceivesIt)
{
    const NonFiniteCase& c = GetParam();
    setSwitches(1, 1, 1);
    _rcdat.pfsave = _rcdat.zfsave = _rcdat.zcsave = 1;
    EXPECT_EXIT(
        {
            _errorFinishFcnP = finish;
            c.write(net);
        },
        ::testing::ExitedWithCode(2), std::string("FATAL Results are not finite and are not written: ") + c.named + "\n");
    EXPECT_FALSE(fileExists(file(c.ext)));
}

INSTANTIATE_TEST_SUITE_P(Writers, NonFiniteResult, ::testing::Values(
    NonFiniteCase{"MassFractionInTheSimFile", ".sim", [](ResultNet& net) {
        set_usim_open();
        net.mf[0][1] = 1e39;
        writeSim_stepTime(3600);
    }, "mass fraction of node 1z"},
    NonFiniteCase{"GaugePressureInTheDatabase", ".sqlite3", [](ResultNet& net) {
        set_usql_open();
        net.node[1].gauge_pressure = HUGE_VALF;
        writeSql_stepTime(3600);
    }, "gauge pressure of node 3z"},
    NonFiniteCase{"DayExtremeInTheSimFile", ".sim", [](ResultNet& net) {
        set_usim_open();
        net.path[3].flow_max = HUGE_VALF;
        writeSim_daySummary();
    }, "SIM file"},
    NonFiniteCase{"ZonePressureInTheZoneFile", ".rzf", [](ResultNet& net) {
        _rcdat.rzf = 1;
        set_uSTS_ResultFiles(1);
        net.node[1].pressure = 2.7e77;
        writeSTS_ResultFiles(3600);
    }, "RZF file"},
    NonFiniteCase{"ControlOutputInTheControlLog", ".log", [](ResultNet&) {
        static LogData data{0.0f, 1.0f, "sensor", "kg/kg"};
        static CtrlNode node{};
        static CtrlNode* logs[1] = {&node};
        node.data = &data;
        node.value = HUGE_VALF;
        _Ctrl0 = nullptr;
        _CtrlLogs = logs;
        _nlogc = 1;
        set_ulogc_open();
        set_ulogc_close(0);
    }, "control log"}),
    [](const ::testing::TestParamInfo<NonFiniteCase>& i) { return std::string(i.param.name); });

// Nor does a state that is not finite reach the restart file: the run ends with a FATAL
// naming the block of the record, and the file goes with the other results.
TEST_F(SimFile, NonFiniteStateIsNotWrittenToTheRestartFile)
{
    _rcdat.sim_mf = 2;
    EXPECT_EXIT(
        {
            _errorFinishFcnP = finish;
            set_urst_init();
            set_urst_open();
            writeRst_stepTime(1, 86400);
            net.path[2].dp = std::nan("");
            writeRst_stepTime(2, 86400);
        },
        ::testing::ExitedWithCode(2),
        "FATAL Results are not finite and are not written: restart record, path block\n");
    EXPECT_FALSE(fileExists(file(".rst")));
}

TEST_F(SimFile, UncreatableFileIsFatal)
{
    snprintf(_pdir, sizeof _pdir, "%s", (dir + "missing/").c_str());
    EXPECT_EXIT(set_usim_open(), ::testing::ExitedWithCode(2),
                "Could not open SIM file; is it already open\\? .*/missing/[^/]*\\.sim "
                "\\(No such file or directory\\)");
}

// ---- Layout -----------------------------------------------------------------------------

Bytes headerAndTables(int pf, int zf, int zc)
{
    Bytes x;
    x.ints({24, 2, 2, 2, 2, 1, 3600, 32, 3600, 33, 0, pf, zf, zc, 5, zc ? 5 : 0, 5});
    for (int copy = 0; copy < (zc ? 2 : 1); copy++) x.ints({0, 0, 1, 2, 0}).ints({1, 3, 7, 8, 0});
    x.ints({0, 0, 1, 2, 3}).ints({4, 9, 2, 8, 1});
    return x;
}

Bytes trailer()
{
    Bytes x;
    x.ints({3, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 0, 0});
    return x.ints({1, 6, 0, 2});
}

TEST_F(SimFile, HeaderTablesStepBlockAndTrailerAreLaidOutByteForByte)
{
    setSwitches(1, 1, 1);
    set_usim_open();
    writeSim_stepTime(3600);
    set_usim_close(0);

    Bytes step;
    step.i16(32).i16(3).i32(3600).floats({283.5, 101325.0, 4.5, 270.0});
    step.floats({4e-4, 0.0});   // ambient mass fractions
    step.rec(1, 3.0, 0.05, 0.0).rec(2, -1.0, -0.02, 0.01).rec(3, 6.0, 0.125, 0.0);
    step.rec(4, 4.0, 0.0625, 0.0).rec(5, 0.5, 0.001, 0.0);
    step.rec(1, 293.25, 2.5, 1.25).rec(2, 295.5, -1.5, 1.5).rec(3, 300.0, 10.0, 1.125);
    step.rec(4, 301.0, 4.0, 1.0);
    step.i32(1).floats({1e-3, 2e-6}).i32(2).floats({5e-4, 0.0});
    step.i32(3).floats({2.5e-4, 1e-7}).i32(4).floats({1.25e-4, 3e-7});
    Bytes want = headerAndTables(1, 1, 1);
    want.append(step).append(trailer());
    EXPECT_EQ(sim(), want.b);
}

TEST_F(SimFile, DaySummaryCarriesTheDayExtremesAndLeavesAirHandlingPathsAtTheirReset)
{
    setSwitches(1, 1, 0);
    net.path[1].flags = 0x20;   // an outdoor-air path of an air-handling system
    set_usim_open();
    writeSim_daySummary_init();
    long start = simSize();

    _wthdat.Tambt = 290.0f;     // warmer and calmer than at the reset
    _wthdat.WS = 1.5f;
    net.path[0].mass_flow[0] = -0.25;
    net.path[0].dp = -7.0;
    net.path[1].mass_flow[1] = 0.5;
    net.node[0].gauge_pressure = 6.0f;
    net.node[1].gauge_pressure = -3.0f;
    _stepEndTime = 7200;
    extremesCalc();
    writeSim_daySummary();
    set_usim_close(0);

    Bytes day;
    day.i16(32).i16(3).i32(7200).floats({290.0, 283.5, 4.5, 1.5});
    day.floats({4e-4, 0.0});   // no daily maxima table: the ambient's current values
    day.rec(1, 7.0, 0.25, 0.0).rec(2, 1.0, 0.02, 0.0).rec(3, 6.0, 0.125, 0.0);
    day.rec(4, 4.0, 0.0625, 0.0).rec(5, 0.5, 0.001, 0.0);
    day.rec(1, 6.0, 2.5, 0.0).rec(2, -1.5, -3.0, 0.0).rec(3, 10.0, 10.0, 0.0);
    day.rec(4, 4.0, 4.0, 0.0);
    std::vector<uint8_t> f = sim();
    std::vector<uint8_t> got(f.begin() + start, f.end() - trailer().b.size());
    EXPECT_EQ(got, day.b);
}

TEST_F(SimFile, DaySummaryConcentrationsComeFromTheDailyMaximaTable)
{
    setSwitches(0, 0, 1);
    float rows[NNODE + 1][2] = {};
    float* table[NNODE + 1];
    for (int i = 0; i <= NNODE; i++) table[i] = rows[i];
    _Mfmax = table;
    set_usim_open();
    writeSim_daySummary_init();
    EXPECT_EQ(rows[3][1], 0.0f);
    rows[2][0] = 0.75f;
    rows[5][1] = 0.125f;   // the ambient node's row
    long start = simSize();
    writeSim_daySummary();
    set_usim_close(0);
    _Mfmax = nullptr;

    Bytes day;
    day.i16(32).i16(3).i32(3600).floats({283.5, 283.5, 4.5, 4.5}).floats({0.0, 0.125});
    day.i32(1).floats({0, 0}).i32(2).floats({0.75, 0}).i32(3).floats({0, 0}).i32(4).floats({0, 0});
    std::vector<uint8_t> f = sim();
    std::vector<uint8_t> got(f.begin() + start, f.begin() + start + day.b.size());
    EXPECT_EQ(got, day.b);
}

// A single result time stands for its whole day: the extremes are its own values, the
// air-handling system's own paths excepted, and the day's largest concentrations are
// the current ones (never the zeros of a fresh table).
TEST_F(SimFile, SingleResultTimeIsTheWholeDaysExtremesAndMaxima)
{
    net.path[1].flags = 0x40;   // the exhaust path of an air-handling system
    net.path[1].flow_max = 9.0f;
    float rows[NNODE + 1][2] = {};
    rows[1][0] = 5e-3f;          // already above node 1's current value
    float* table[NNODE + 1];
    for (int i = 0; i <= NNODE; i++) table[i] = rows[i];
    _Mfmax = table;
    setDayExtremesToCurrent();
    noteMaxAirNodeConcs();
    _Mfmax = nullptr;
    EXPECT_EQ(net.path[0].flow_max, 0.05f);
    EXPECT_EQ(net.path[0].dp_max, 3.0f);
    EXPECT_EQ(net.path[1].flow_max, 9.0f);
    EXPECT_EQ(net.path[2].dp_max, 6.0f);
    EXPECT_EQ(net.node[1].gauge_pressure_max, -1.5f);
    EXPECT_EQ(net.node[1].gauge_pressure_min, -1.5f);
    EXPECT_EQ(rows[1][0], 5e-3f);
    EXPECT_EQ(rows[1][1], 2e-6f);
    EXPECT_EQ(rows[2][0], 5e-4f);
    EXPECT_EQ(rows[4][1], 3e-7f);
    EXPECT_EQ(rows[5][0], 4e-4f);
}

// A steady run writes its day summary without the transient loop's reset: the weather
// range then starts at the ambient state the run began with, not at 0 K.
TEST_F(SimFile, SteadyDaySummaryTakesTheWeatherOfTheRun)
{
    setSwitches(1, 0, 0);
    extremesInit();
    set_usim_open();
    long start = simSize();
    writeSim_daySummary();
    set_usim_close(0);
    Bytes record;
    record.i16(32).i16(3).i32(3600).floats({283.5, 283.5, 4.5, 4.5});
    std::vector<uint8_t> f = sim();
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + start, f.begin() + start + 24), record.b);
}

// File size from the switches: header 68, node tables (twice with concentrations), path
// tables, one step block and a 20-word trailer.
struct Layout {
    int pf, zf, zc, nctm;
};

void PrintTo(const Layout& l, std::ostream* os)
{
    *os << "pf" << l.pf << " zf" << l.zf << " zc" << l.zc << " species " << l.nctm;
}

class SimLayouts : public SimFile, public ::testing::WithParamInterface<Layout> {};

TEST_P(SimLayouts, BlocksPresentFollowTheSwitches)
{
    const Layout l = GetParam();
    _nctm = l.nctm;
    setSwitches(l.pf, l.zf, l.zc);
    set_usim_open();
    writeSim_stepTime(0);
    set_usim_close(0);
    std::vector<uint8_t> f = sim();
    size_t tables = 4 * 5 * 2 * (l.zc ? 2 : 1) + 4 * 5 * 2;
    size_t step = 24 + 4 * l.nctm + l.pf * 16 * 5 + l.zf * 16 * 4 + l.zc * (4 + 4 * l.nctm) * 4;
    EXPECT_EQ(f.size(), 68 + tables + step + 80);
    EXPECT_EQ(intAt(f, 4 * 15), l.zc ? 5 : 0);   // nccnd
    // Without species the first record after the time record is the first path's index.
    if (l.pf && l.nctm == 0) {
        EXPECT_EQ(intAt(f, 68 + tables + 24), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Output, SimLayouts,
                         ::testing::Values(Layout{0, 0, 1, 2}, Layout{1, 0, 0, 0},
                                           Layout{0, 1, 0, 2}, Layout{1, 1, 1, 0},
                                           Layout{0, 0, 1, 0}, Layout{1, 1, 0, 2}),
                         testnames::named([](const Layout& l) {
                             return "pf" + std::to_string(l.pf) + "_zf" + std::to_string(l.zf) + "_zc" + std::to_string(l.zc) +
                                    "_nctm" + std::to_string(l.nctm);
                         }));

struct Histogram {
    std::vector<int> bins;   // itmax + 2 entries
    std::vector<int> written;
};

class SimHistograms : public SimFile, public ::testing::WithParamInterface<Histogram> {};

TEST_P(SimHistograms, TrailerEndsWithTheBinsUpToTheHighestNonzeroAboveZero)
{
    std::vector<int> bins = GetParam().bins;
    _rcdat.itmax = (int)bins.size() - 2;
    _facBins = bins.data();
    setSwitches(1, 0, 0);
    set_usim_open();
    set_usim_close(0);
    std::vector<uint8_t> f = sim();
    const std::vector<int>& w = GetParam().written;
    size_t trailerStart = 68 + 4 * 5 * 4;
    ASSERT_EQ(f.size(), trailerStart + 64 + 4 * w.size());
    EXPECT_EQ(intAt(f, trailerStart), (int)w.size() - 1);
    for (size_t i = 0; i < w.size(); i++) EXPECT_EQ(intAt(f, trailerStart + 64 + 4 * i), w[i]);
}

INSTANTIATE_TEST_SUITE_P(Output, SimHistograms,
                         ::testing::Values(Histogram{{9, 0, 0, 0}, {9}},
                                           Histogram{{0, 0, 0, 0}, {0}},
                                           Histogram{{4, 0, 5, 0, 0}, {4, 0, 5}},
                                           Histogram{{3, 6, 0, 0}, {3, 6}},
                                           Histogram{{1, 1, 1, 1, 7}, {1, 1, 1, 1, 7}}),
                         testnames::named([](const Histogram& h) {
                             std::string s = "bins";
                             for (int b : h.bins) s += "_" + std::to_string(b);
                             return s;
                         }));

TEST_F(SimFile, NodeIndexOutOfStepIsAnErrorAndTheRunningPositionIsWritten)
{
    setSwitches(0, 1, 1);
    net.node[1].index = 9;
    set_usim_open();
    long start = simSize();
    testutil::MessageCapture capture;
    writeSim_stepTime(3600);
    set_usim_close(0);
    EXPECT_EQ(capture.errors(), 2);   // its state record and its concentration record
    EXPECT_TRUE(capture.has("ERROR", "Node number"));
    std::vector<uint8_t> f = sim();
    EXPECT_EQ(intAt(f, start + 24 + 8 + 16), 2);
}

TEST_F(SimFile, EveryShortWriteIsOneCountedError)
{
    setSwitches(1, 1, 1);
    set_usim_open();
    FILE* real = _usim;
    _usim = fopen("/dev/full", "wb");
    ASSERT_NE(_usim, nullptr);
    setvbuf(_usim, nullptr, _IONBF, 0);
    testutil::MessageCapture capture;
    writeSim_stepTime(3600);
    // Time record, ambient species, 5 paths, 4 node states, 4 x (index, species).
    EXPECT_EQ(capture.errors(), 1 + 1 + 5 + 4 + 8);
    EXPECT_TRUE(capture.has("ERROR", "fwrite failed"));
    fclose(_usim);
    _usim = real;
    set_usim_close(1);
}

// Records held in the stream's buffer reach the disk only when the file is closed: a disk
// that refuses them then is the same counted ERROR, not a silently truncated file.
TEST_F(SimFile, WriteFailingWhenTheFileIsClosedIsAnError)
{
    setSwitches(1, 0, 0);
    set_usim_open();
    fclose(_usim);
    _usim = fopen("/dev/full", "wb");   // fully buffered: the bytes fail when flushed
    ASSERT_NE(_usim, nullptr);
    testutil::MessageCapture capture;
    writeSim_stepTime(3600);
    EXPECT_EQ(capture.errors(), 0);
    set_usim_close(0);
    EXPECT_EQ(capture.errors(), 1);
    EXPECT_TRUE(capture.has("ERROR", "fwrite failed"));
    EXPECT_EQ(_resultWriteFailures, 1);
}

// A file closed to be removed (a failed run) is not written further, and what it could
// not take is no fault: it was to go anyway.
TEST_F(SimFile, FileClosedForRemovalIsNotWrittenFurther)
{
    setSwitches(1, 0, 0);
    set_usim_open();
    fclose(_usim);
    _usim = fopen("/dev/full", "wb");
    ASSERT_NE(_usim, nullptr);
    testutil::MessageCapture capture;
    writeSim_stepTime(3600);
    set_usim_close(1);
    EXPECT_EQ(capture.errors(), 0);
    EXPECT_EQ(_resultWriteFailures, 0);
    EXPECT_EQ(_usim, nullptr);
    EXPECT_FALSE(fileExists(file(".sim")));
}

TEST_F(SimFile, DebugListingEchoesTheHeaderAtDetailLevelTwo)
{
    setSwitches(1, 0, 0);
    std::string text = logDuring(2, [] {
        set_usim_open();
        writeSim_stepTime(3600);
        set_usim_close(0);
    });
    EXPECT_NE(text.find("SIM: nnode 2, npath 2, ncont 2, step 3600\n"), std::string::npos);
    EXPECT_NE(text.find("     nafnd 5, nccnd 0, nafpt 5\n"), std::string::npos);
    EXPECT_NE(text.find("AF path: 3 1 2  nd 3 4\n"), std::string::npos);
    EXPECT_NE(text.find("writeSim_stepTime(): time 01:00:00\n"), std::string::npos);
    EXPECT_NE(text.find("performance at "), std::string::npos);
}

// ---- Per-step dispatch and run extremes -------------------------------------------------

std::string extremesText()
{
    FILE* f = tmpfile();
    writeLog_extremes(f);
    std::string text = streamText(f);
    fclose(f);
    return text;
}

TEST_F(SimFile, OffListingStepWritesNoRecordButUpdatesExtremes)
{
    setSwitches(1, 0, 0);
    _rcdat.pfsave = 1;
    set_usim_open();
    set_usql_open();
    extremesInit();
    size_t before = simSize();
    _stepEndTime = 1800;
    writeResults_stepEnd(1800);
    EXPECT_EQ((size_t)simSize(), before);
    EXPECT_NE(extremesText().find("in zone 1 at 00:30:00 on Feb01"), std::string::npos);

    _stepEndTime = 3600;
    writeResults_stepEnd(3600);
    EXPECT_EQ((size_t)simSize(), before + 24 + 8 + 5 * 16);
    set_usim_close(0);
    set_usql_close(0);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file(".sqlite3").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT COUNT(*), MAX(Time) FROM TIME", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 1);
    EXPECT_EQ(sqlite3_column_int(st, 1), 3600);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

TEST_F(SimFile, RunExtremesNameTheZoneOrJunctionTimeAndDay)
{
    extremesInit();
    EXPECT_EQ(extremesText(), "\n");
    extremesCalc();
    EXPECT_EQ(extremesText(),
              "Maximum air exchange rate: ~1.4 ACH in zone 1 at 01:00:00 on Feb01\n"
              "Maximum gage pressure: 2.5 Pa in zone 1 at 01:00:00 on Feb01\n"
              "Minimum gage pressure: -1.5 Pa in zone 3 at 01:00:00 on Feb01\n"
              "Maximum gage pressure: 10.0 Pa in junction 7 at 01:00:00 on Feb01\n"
              "\n");

    // Equal values later keep the earlier occurrence; a strictly larger one replaces it.
    _stepEndTime = 7200;
    net.node[3].gauge_pressure = -2.0f;
    extremesCalc();
    _stepEndTime = 10800;
    net.node[2].gauge_pressure = 12.0f;
    extremesCalc();
    std::string text = extremesText();
    EXPECT_NE(text.find("Maximum gage pressure: 2.5 Pa in zone 1 at 01:00:00"), std::string::npos);
    EXPECT_NE(text.find("Maximum gage pressure: 12.0 Pa in junction 7 at 03:00:00"), std::string::npos);
    EXPECT_NE(text.find("Minimum gage pressure: -2.0 Pa in junction 8 at 02:00:00"), std::string::npos);
}

TEST_F(SimFile, WithoutJunctionsNoJunctionLinesAreLogged)
{
    net.node[1].next = &net.node[4];   // zones 1 and 3, then the ambient
    net.node[4].index = 3;
    _nafnd = 3;
    net.node[4].gauge_pressure = 5.0f;
    extremesInit();
    extremesCalc();
    std::string text = extremesText();
    EXPECT_EQ(text.find("junction"), std::string::npos);
    EXPECT_NE(text.find("Minimum gage pressure: -1.5 Pa in zone 3"), std::string::npos);
}

TEST_F(SimFile, ZoneWithoutVolumeNeverGivesAnAirChangeRate)
{
    net.node[0].volume = 0.0f;
    extremesInit();
    extremesCalc();
    EXPECT_EQ(extremesText().find("ACH"), std::string::npos);
}

}  // namespace
