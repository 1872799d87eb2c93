// Benchmark of the short-time-step duct transport: a supply tree of 1 000 duct segments of
// 5 m (a binary tree of depth 10 below one root junction that holds a tracer), each sized
// for the flow of the branches it feeds so the air moves at one speed throughout. One
// benchmark iteration is one hour of 10 s steps (a step a room of 2M/S >= 10 s allows) of
// the whole step (sequencing, junction mixing, every duct); reported: time per short time
// step per duct cell. Cases: ducts passing their inflow through (no cells), fixed cells of
// 0.5 m at 0.02 m/s, and plugs at 2 m/s.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "contaminant/solv-sts.h"
#include "contaminant/sts-init.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/run-control.h"
#include "model/sts-links.h"

using namespace vexlar;

namespace {

constexpr int NDUCT = 1000, NJCT = NDUCT + 1;
constexpr double RHO = 1.2, DT = 10.0, LENGTH = 5.0, DX = 0.5;

struct Tree {
    std::vector<AirNode> nodes = std::vector<AirNode>(NJCT + 1);   // junctions, ambient last
    std::vector<JunctionNode> jn = std::vector<JunctionNode>(NJCT);
    std::vector<AirPath> paths = std::vector<AirPath>(NDUCT);
    std::vector<DuctLagData> lag = std::vector<DuctLagData>(NDUCT);
    std::vector<DuctLink> ducts = std::vector<DuctLink>(NDUCT);
    std::vector<double> mf = std::vector<double>(3 * (NJCT + 1) + 3 * NDUCT, 0.0);
    std::vector<int> below = std::vector<int>(NJCT, 1);   // junctions fed through each one
    float penf[1] = {1.0f};
    SpeciesRec species{};
    ZoneCell ambCell{};

    // Junction k (0 the root) is fed by duct k - 1 from junction (k - 1) / 2.
    Tree(double U, int cells)
    {
        _nctm = 1;
        _nntc = 0;
        species.diffusivity = 1e-5f;
        _ctm = &species;
        _penf = penf;
        for (int k = NJCT - 1; k > 0; k--) below[(k - 1) / 2] += below[k];
        double* next = mf.data();
        for (int k = 0; k <= NJCT; k++) {
            AirNode& n = nodes[k];
            n.kind = k < NJCT ? 1 : 0;
            n.index = k + 1;
            n.density = RHO;
            n.viscosity = 1.8e-5f;
            n.mf = next;
            n.mf_prev = next + 1;
            next += 3;
            if (k < NJCT) {
                n.next = &nodes[k + 1];
                jn[k].node = &n;
                jn[k].number = k + 1;
                if (k + 1 < NJCT) jn[k].next = &jn[k + 1];
            }
        }
        nodes[0].mf[0] = 1.0;   // the tracer at the root
        nodes[NJCT].zone_cell = &ambCell;
        _afnd0 = &nodes[0];
        _pambt = &nodes[NJCT];
        _jctn0 = &jn[0];
        for (int i = 0; i < NDUCT; i++) {
            int to = i + 1, from = i / 2;
            double flow = 1e-3 * below[to];
            paths[i].kind = 1;
            paths[i].number = i + 1;
            paths[i].from_node = &nodes[from];
            paths[i].to_node = &nodes[to];
            paths[i].mass_flow[0] = flow;
            if (i + 1 < NDUCT) paths[i].next = &paths[i + 1];
            lag[i].length = (float)LENGTH;
            lag[i].area = (float)(flow / (RHO * U));
            lag[i].diameter = 0.2f;
            lag[i].outlet_mf = next;
            lag[i].mf_start = next + 1;
            lag[i].mf_end = next + 2;
            next += 3;
            ducts[i] = DuctLink{i + 1 < NDUCT ? &ducts[i + 1] : nullptr, &lag[i], &jn[from], &jn[to], &paths[i],
                                i + 1, 0.0, 1};
        }
        _pafp0 = &paths[0];
        _duct0 = &ducts[0];
        _nCmctm = 1;
        _nCcctm = 0;
        _rcdat.sim_mf = 2;
        _rcdat.sts_cells = cells;
        _rcdat.sts_dx = (float)DX;
        _sim_af_dyn = 0;
        _dt = (float)DT;
        _dti = 1.0f / _dt;
        STSinit();
    }
    ~Tree()
    {
        fre_1DCD();
        fre_STSsums();
        fre_Znode();
        _duct0 = nullptr;
        _jctn0 = nullptr;
        _afnd0 = nullptr;
        _pafp0 = nullptr;
        _ctm = nullptr;
    }
};

void BM_DuctTreeHour(benchmark::State& state)
{
    if (!_ulog) _ulog = tmpfile();
    if (!_ms) _ms = alc_eci(32000, "ms");
    double U = state.range(0) / 100.0;
    int cells = (int)state.range(1);
    Tree t(U, cells);
    const int steps = (int)(3600.0 / DT);
    for (auto _ : state)
        for (int s = 0; s < steps; s++) solve_STS();
    long ductCells = 0;
    for (const DuctLagData& l : t.lag) ductCells += cells ? l.cell_count : 1;
    state.counters["duct_cells"] = (double)ductCells;
    state.counters["per_step_cell"] = benchmark::Counter((double)steps * ductCells,
                                                         benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
    state.counters["leaf_mf"] = t.nodes[NJCT - 1].mf[0];
}

}  // namespace

BENCHMARK(BM_DuctTreeHour)
    ->ArgNames({"U_cm_s", "cells"})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({200, 1})
    ->Unit(benchmark::kMillisecond);
