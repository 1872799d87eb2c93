// Benchmark of the steady airflow solution on generated office buildings of 10 to 100 000
// zones: floors of at most 100 rooms on a grid, a stairwell per floor joined by open
// stairs, doors and cracks between rooms, windows and cracks on the facades under wind,
// rooms warmer than the outside air (the plan of tools/gen-building.py). Each case
// times the matrix set-up and the solution (linear start plus Newton) per linear solver,
// with reordering on and off, and reports Newton iterations and time per iteration.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>

#include "airflow/af-assemble.h"
#include "airflow/solv-af.h"
#include "model/prj-data.h"
#include "tests/airflow/af-test-net.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

constexpr double T_ROOM = 293.15, T_STAIR = 291.15, T_OUT = 273.15;
constexpr float STOREY = 3.0f, ROOM = 5.0f;
constexpr double WIND_Q = 0.5 * 1.29 * 6.0 * 6.0;   // dynamic pressure at 6 m/s [Pa]

struct Building {
    AfNet net;
    PlrData crack{1e-6f, 5e-4f, 0.65f}, window{1e-5f, 0.05f, 0.5f}, stair{1e-4f, 1.0f, 0.55f};
    DoorData door = doorOf(2.0f, 0.9f);
    AfeRec *eCrack, *eWindow, *eStair, *eDoor;
    AirNode* amb = nullptr;

    Building()
    {
        eCrack = net.element(AFE_PLR_LEAK1, afe_plr, &crack);
        eWindow = net.element(AFE_PLR_ORFC, afe_plr, &window);
        eStair = net.element(AFE_PLR_STAIR, afe_plr, &stair);
        eDoor = net.element(AFE_DOR_DOOR, afe_dor, &door);
    }

    // Linear stack term of a path at height z between its two nodes.
    static void stack(AirPath* p, float z)
    {
        double dzf = z - p->from_node->height, dzt = z - p->to_node->height;
        p->stack_pressure = dzt * p->to_node->density * GRAVITY - dzf * p->from_node->density * GRAVITY;
    }

    void link(AirNode* from, AirNode* to, AfeRec* e, float z, int flags = 0, float cp = 0.0f)
    {
        AirPath* p = net.path(from, to, e, flags);
        stack(p, z);
        net.windOf(p) = (float)(cp * WIND_Q);
    }

    void facade(AirNode* z, float zf, float cp)
    {
        link(amb, z, eWindow, zf + 1.5f, PATH_WIND, cp);
        link(amb, z, eCrack, zf + 0.2f, PATH_WIND, cp);
    }

    void floorPlan(const std::vector<AirNode*>& room, float zf, AirNode* below)
    {
        int count = (int)room.size();
        int cols = (int)std::ceil(std::sqrt((double)count)), rows = (count + cols - 1) / cols;
        for (int k = 0; k < count; k++) {
            int c = k % cols, r = k / cols;
            if (c + 1 < cols && k + 1 < count) link(room[k], room[k + 1], eDoor, zf + 1.0f, PATH_NUM_DERIV);
            if (k + cols < count) link(room[k], room[k + cols], eCrack, zf + 1.5f);
            if (r == 0) facade(room[k], zf, -0.3f);
            if (r + 1 == rows || k + cols >= count) facade(room[k], zf, 0.6f);
            if (c == 0) facade(room[k], zf, -0.5f);
            if (c + 1 == cols || k + 1 == count) facade(room[k], zf, -0.5f);
        }
        if (below) link(below, room[0], eStair, zf);
    }

    explicit Building(int n) : Building()
    {
        int floors = (n + 99) / 100;
        std::vector<std::vector<AirNode*>> plan(floors);
        for (int f = 0; f < floors; f++) {
            int count = n / floors + (f < n % floors ? 1 : 0);
            for (int k = 0; k < count; k++) {
                AirNode* z = net.zone(k == 0 ? T_STAIR : T_ROOM, k == 0 ? 30.0f : 75.0f);
                z->height = f * STOREY;
                plan[f].push_back(z);
            }
        }
        amb = net.ambient(T_OUT);
        for (int f = 0; f < floors; f++)
            floorPlan(plan[f], f * STOREY, f > 0 ? plan[f - 1][0] : nullptr);
        link(amb, plan[floors - 1][0], eWindow, floors * STOREY, PATH_WIND, -0.6f);
    }
};

// args: zones, linear method, reordering.
void SteadyAirflow(benchmark::State& state)
{
    int n = (int)state.range(0);
    SolverChoice c{1, (int)state.range(1)};
    AfNet::runControl(c, 50, 1e-4f);
    _rcdat.abscnvg = 1e-5f;
    _rcdat.af_init = 1;
    _rcdat.af_reorder = (int)state.range(2);
    _sim_af_dyn = (uint8_t)state.range(2);   // reorder whatever the profile
    Building b(n);
    for (AirNode* z = _afnd0; z; z = z->next) z->abs_tol = (float)(2.4 * 1e-5 * std::fmax(z->volume, 0.01));
    clock_t t0 = clock();
    AF_MAT* m = b.net.setUp();
    double setup = (double)(clock() - t0) / CLOCKS_PER_SEC;
    int iterations = 0, solutions = 0, fills0 = _NrFillAf;
    clock_t t1 = clock();
    for (auto _ : state) {
        for (AirNode* z = _afnd0; z; z = z->next) z->pressure = 0.0;
        init_Af(m);
        iterations += SolveAf(m);
        solutions++;
    }
    double secs = (double)(clock() - t1) / CLOCKS_PER_SEC;
    double fills = (double)(_NrFillAf - fills0 - solutions) / solutions;   // without init_Af
    state.counters["setup_s"] = setup;
    state.counters["newton_its"] = (double)iterations / solutions;
    state.counters["s_per_it"] = benchmark::Counter((double)iterations,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["assemblies"] = fills;
    // Wall time per Newton iteration and zone: flat when the cost scales linearly.
    state.counters["ns_per_zone_it"] = secs * 1e9 / ((double)iterations * n);
    state.counters["profile_reordered"] = (double)_rcdat.af_reorder;
}

void Cases(benchmark::internal::Benchmark* b)
{
    for (int n : {10, 100, 1000, 10000, 100000}) {
        for (int slae : {AF_SLAE_SKYLINE, AF_SLAE_PCG, AF_SLAE_DENSE}) {
            if (slae == AF_SLAE_DENSE && n > 1000) continue;   // n^2 storage, n^3 work
            if (slae == AF_SLAE_PCG && n > 10000) continue;
            for (int reorder : {0, 1}) {
                if (slae != AF_SLAE_SKYLINE && reorder) continue;   // only skyline reorders
                b->Args({n, slae, reorder});
            }
        }
    }
}

}  // namespace

BENCHMARK(SteadyAirflow)->Apply(Cases)->Unit(benchmark::kMillisecond);
