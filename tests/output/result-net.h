// Test support for the result files: a small network built by hand (two zones, a duct
// junction, a duct terminal and the ambient node; two paths, a duct segment, a terminal
// and a leak; two species), installed in the engine's globals together with a clock, a
// run control and a project named "bldg" in a fresh temporary directory.
#pragma once
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "output/sim-out.h"

namespace vexlar {
namespace testnet {

constexpr int NNODE = 5, NPATH = 5;

struct ResultNet {
    AirNode node[NNODE];
    AirPath path[NPATH];
    double mf[NNODE][2];
    SpeciesRec ctm[2];
    int bins[4];   // Newton histogram for itmax 2
};

inline void setNode(AirNode& n, int index, int kind, int number, uint32_t flags, double T,
                    float gauge, double density)
{
    n.index = index;
    n.kind = kind;
    n.number = number;
    n.flags = flags;
    n.temperature = T;
    n.gauge_pressure = gauge;
    n.density = density;
    n.air_mass = 1.0;
}

inline void setPath(AirPath& p, int index, int kind, int number, AirNode* from, AirNode* to,
                    double dp, double f0, double f1)
{
    p.index = index;
    p.kind = kind;
    p.number = number;
    p.from_node = from;
    p.to_node = to;
    p.dp = dp;
    p.mass_flow[0] = f0;
    p.mass_flow[1] = f1;
}

// Fills the network and points the engine's globals at it.
inline void installNet(ResultNet& net, int nspecies)
{
    net = ResultNet{};
    AirNode* n = net.node;
    setNode(n[0], 1, 0, 1, NODE_VAR_P, 293.25, 2.5f, 1.25);
    setNode(n[1], 2, 0, 3, NODE_VAR_P, 295.5, -1.5f, 1.5);
    setNode(n[2], 3, 1, 7, NODE_VAR_P, 300.0, 10.0f, 1.125);
    setNode(n[3], 4, 2, 8, NODE_VAR_P, 301.0, 4.0f, 1.0);
    setNode(n[4], 5, 0, 0, NODE_AMBIENT, 280.0, 0.0f, 1.3);
    n[0].volume = 100.0f;
    n[0].sum_abs_flow = 0.1;   // 0.1 x 1800 / (100 x 1.25) = 1.44 air changes per hour
    n[1].volume = 0.0f;        // no volume: never an air-change rate
    n[1].sum_abs_flow = 50.0;
    const double mf[NNODE][2] = {{1e-3, 2e-6}, {5e-4, 0.0}, {2.5e-4, 1e-7}, {1.25e-4, 3e-7},
                                 {4e-4, 0.0}};
    for (int i = 0; i < NNODE; i++) {
        net.mf[i][0] = mf[i][0];
        net.mf[i][1] = mf[i][1];
        n[i].mf = net.mf[i];
        n[i].next = i + 1 < NNODE ? &n[i + 1] : nullptr;
    }
    AirPath* p = net.path;
    setPath(p[0], 1, 0, 4, &n[0], &n[4], 3.0, 0.05, 0.0);
    setPath(p[1], 2, 0, 9, &n[0], &n[1], -1.0, -0.02, 0.01);
    setPath(p[2], 3, 1, 2, &n[2], &n[3], 6.0, 0.125, 0.0);
    setPath(p[3], 4, 2, 8, &n[3], &n[1], 4.0, 0.0625, 0.0);
    setPath(p[4], 5, 3, 1, &n[2], &n[0], 0.5, 0.001, 0.0);
    for (int i = 0; i + 1 < NPATH; i++) p[i].next = &p[i + 1];
    strcpy(net.ctm[0].name, "CO2");
    strcpy(net.ctm[1].name, "SF6");

    _afnd0 = &n[0];
    _nafnd = NNODE;
    _pambt = &n[4];
    _pafp0 = &p[0];
    _nafpt = NPATH;
    _nzone = 2;
    _npath = 2;
    _njct = 2;
    _ndct = 1;
    _ctm = net.ctm;
    _nctm = nspecies;
}

// Run control, weather, clock and counters of a listing run on day 32 (Feb01).
inline void installRun(ResultNet& net)
{
    _rcdat = RunControlData{};
    _rcdat.itmax = 2;
    _rcdat.start_date = 32;
    _rcdat.start_time = 0;
    _wthdat = WeatherData{};
    _wthdat.Tambt = 283.5f;
    _wthdat.Pbar = 101325.0;
    _wthdat.WS = 4.5f;
    _wthdat.WD = 270.0f;
    _dayofy = 32;
    _daytyp = 3;
    _stepEndTime = 3600;
    _simEndDate = 33;
    _simEndTime = 0;
    _time_list = 3600;
    _Mfmax = nullptr;
    _list = 0;
    const int bins[4] = {1, 6, 0, 2};
    memcpy(net.bins, bins, sizeof bins);
    _facBins = net.bins;
    _NrTimeSteps = 11;
    _NrTStepIter = 12;
    _NrSolveSTS = 13;
    _NrSolveAf = 14;
    _NrFillAf = 15;
    _NrLufSkyS = 16;
    _NrPCG = 17;
    _NrPCGiter = 18;
    _NrSolveMft = 19;
    _NrSolveMfn = 20;
    _NrLufSkyN = 21;
    _NrBCG = 22;
    _NrBCGiter = 23;
}

inline void clearNet()
{
    _afnd0 = nullptr;
    _pambt = nullptr;
    _pafp0 = nullptr;
    _nafnd = _nafpt = _nzone = _npath = _njct = _ndct = _nctm = 0;
    _ctm = nullptr;
    _facBins = nullptr;
    _rcdat = RunControlData{};
    _NrTimeSteps = _NrTStepIter = _NrSolveSTS = _NrSolveAf = _NrFillAf = _NrLufSkyS = 0;
    _NrPCG = _NrPCGiter = _NrSolveMft = _NrSolveMfn = _NrLufSkyN = _NrBCG = _NrBCGiter = 0;
}

inline std::vector<uint8_t> readFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        int c;
        while ((c = fgetc(f)) != EOF) bytes.push_back((uint8_t)c);
        fclose(f);
    }
    return bytes;
}

inline std::string streamText(FILE* f)
{
    rewind(f);
    std::string text;
    for (int c; (c = fgetc(f)) != EOF;) text += (char)c;
    return text;
}

// Runs body with the log going to a temporary file at log detail level `level`; returns
// what was logged.
template <class Body> std::string logDuring(int level, Body body)
{
    FILE* log = tmpfile();
    _ulog = log;
    _list = level;
    body();
    _ulog = nullptr;
    _list = 0;
    std::string text = streamText(log);
    fclose(log);
    return text;
}

inline bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Removes a directory and whatever a test left in it (one level of subdirectories).
inline void removeTree(const std::string& dir)
{
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            std::string path = dir + "/" + name;
            if (remove(path.c_str()) != 0) removeTree(path);
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

// A project "bldg" in a fresh temporary directory with the network and run installed.
class ResultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = testing::TempDir() + "vexlar-results-XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        dir = std::string(buf.data()) + "/";
        snprintf(_pdir, sizeof _pdir, "%s", dir.c_str());
        snprintf(_prjname, sizeof _prjname, "bldg");
        _pdrive[0] = '\0';
        installNet(net, 2);
        installRun(net);
        srcl_clear();
        _resultWriteFailures = 0;   // the run's count of files not written in full
    }
    void TearDown() override
    {
        _resultWriteFailures = 0;
        clearNet();
        removeTree(dir.substr(0, dir.size() - 1));
    }
    std::string file(const char* ext) const { return dir + "bldg" + ext; }
    std::string dir;
    ResultNet net;
};

}  // namespace testnet
}  // namespace vexlar
