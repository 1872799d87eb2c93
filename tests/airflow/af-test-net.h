// Small airflow networks built by hand for the airflow solver tests and benchmark: zones
// and the ambient node with their air state, paths with power-law, fan, door and
// constant-flow elements, the run-control settings of the solution, the log captured in
// a temporary file, and the mass balance of every node recomputed from the path flows.
#pragma once
#include <cmath>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "airflow/afe-sim.h"
#include "airflow/mat-set.h"
#include "common-src/messages.h"
#include "model/counters.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/prj-data.h"
#include "model/run-control.h"

namespace vexlar_test {

using namespace vexlar;

constexpr double PBAR = 101325.0;
constexpr double R_AIR = 287.055;
constexpr double GRAVITY = 9.8;

inline double airDensity(double T) { return PBAR / (R_AIR * T); }

// Density, viscosity and their derived values of a node at temperature T (densities
// from the barometric pressure alone, so they stay fixed while pressures change).
inline void setAirState(AirNode* n, double T)
{
    n->temperature = T;
    n->gas_const = R_AIR;
    n->density = airDensity(T);
    n->viscosity = (float)(3.7143e-6 + 4.9286e-8 * T);
    n->sqrt_density = (float)std::sqrt(n->density);
    n->density_viscosity_ratio = (float)(n->density / n->viscosity);
}

// A fan whose curve is the straight line from its shut-off pressure to its free
// delivery (at reference density 1.2041), with an off-fan leak of laminar part lam.
inline FanData straightFan(float shutoff, float max_flow, float cutoff, float lam = 1e-6f)
{
    FanData fan{};
    fan.plr = PlrData{lam, 0.001f, 0.5f};
    fan.ref_density = 1.2041f;
    fan.max_flow = max_flow;
    fan.shutoff_dp = shutoff;
    fan.cutoff_ratio = cutoff;
    fan.curve_coef[0] = shutoff;
    fan.curve_coef[1] = -shutoff / max_flow;
    return fan;
}

// A door of height H and width W with discharge coefficient 0.6.
inline DoorData doorOf(float H, float W)
{
    DoorData door{};
    door.plr = PlrData{1e-6f, 0.5f, 0.5f};
    door.door_height = H;
    door.door_width = W;
    door.discharge_coef = 0.6f;
    return door;
}

// Run-control settings of an airflow solution: Newton method, linear method, tolerances.
struct SolverChoice {
    int newton;
    int slae;
};

// Test names of a parametrised test over solver choices ("TrustRegionPcg", ...).
struct ChoiceName {
    template <class ParamInfo>
    std::string operator()(const ParamInfo& info) const
    {
        static const char* const newton[] = {"Relaxed", "TrustRegion"};
        static const char* const slae[] = {"Skyline", "Pcg", "Dense"};
        return std::string(newton[info.param.newton]) + slae[info.param.slae];
    }
};

inline const SolverChoice kEveryChoice[] = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}};

inline std::string fileContents(FILE* f)
{
    std::string s;
    fflush(f);
    rewind(f);
    int c;
    while ((c = getc(f)) != EOF) s += (char)c;
    return s;
}

inline int countOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// A network under construction. Nodes are appended in the order given (the ambient node
// must come last, as in the engine); the records live as long as the fixture.
class AfNet {
public:
    AfNet()
    {
        _afnd0 = nullptr;
        _pafp0 = nullptr;
        _pambt = nullptr;
        _nafnd = _nafpt = 0;
    }
    ~AfNet()
    {
        if (_AF_mat == mat) _AF_mat = nullptr;
        mat = af_mat_fre(mat);
        _afnd0 = nullptr;
        _pafp0 = nullptr;
        _pambt = nullptr;
        _nafnd = _nafpt = 0;
    }

    AirNode* zone(double T, float volume = 100.0f, bool variable = true, int kind = 0)
    {
        AirNode* n = addNode(T, kind);
        n->volume = volume;
        n->flags = (variable ? NODE_VAR_P : 0u) | (volume > 0 ? NODE_VOLUME : 0u);
        n->number = ++zones;
        n->abs_tol = (float)(2.4 * 1e-12 * std::fmax(volume, 0.01));
        n->air_mass = n->density * volume;
        return n;
    }

    AirNode* ambient(double T)
    {
        AirNode* n = addNode(T, 0);
        n->flags = NODE_AMBIENT;
        _pambt = n;
        return n;
    }

    AfeRec* element(int type, AFE_MODEL_FN fn, void* data)
    {
        elements.push_back(std::make_unique<AfeRec>());
        AfeRec* e = elements.back().get();
        e->type = type;
        e->model_fn = fn;
        e->model_data = data;
        e->number = (int)elements.size();
        return e;
    }

    AfeRec* powerLaw(float turb, float n, float lam = 1e-6f)
    {
        plr.push_back(std::make_unique<PlrData>(PlrData{lam, turb, n}));
        return element(AFE_PLR_ORFC, afe_plr, plr.back().get());
    }

    AirPath* path(AirNode* from, AirNode* to, AfeRec* e, int flags = 0)
    {
        paths.push_back(std::make_unique<AirPath>());
        AirPath* p = paths.back().get();
        p->from_node = from;
        p->to_node = to;
        p->element = e;
        p->flags = flags;
        control.push_back(1.0f);
        wind.push_back(0.0f);
        p->value_ptr = &control.back();
        p->wind_pressure = &wind.back();
        p->multiplier = 1.0;
        p->index = (int)paths.size();
        p->number = p->index;
        if (paths.size() > 1) paths[paths.size() - 2]->next = p;
        else _pafp0 = p;
        _nafpt = (int)paths.size();
        return p;
    }

    float& windOf(const AirPath* p) { return wind[p->index - 1]; }
    float& controlOf(const AirPath* p) { return control[p->index - 1]; }

    // Run control of an airflow solution with tight tolerances.
    static void runControl(SolverChoice c, int itmax = 50, float relcnvg = 1e-7f)
    {
        _rcdat = RunControlData{};
        _sim_af_dyn = 0;   // a steady airflow unless the test makes it transient
        _rcdat.af_newton = c.newton;
        _rcdat.af_slae = c.slae;
        _rcdat.itmax = itmax;
        _rcdat.relcnvg = relcnvg;
        _rcdat.abscnvg = 1e-12f;
        _rcdat.relax = 0.75f;
        _rcdat.cnvg = 1e-10f;
        _rcdat.gravity = (float)GRAVITY;
        _wthdat = WeatherData{};
        _wthdat.Pbar = PBAR;
    }

    AF_MAT* setUp()
    {
        mat = static_cast<AF_MAT*>(alc_e(sizeof(AF_MAT), "af_mat"));
        _AF_mat = mat;
        af_mat_set(mat);
        return mat;
    }

    // Net flow into a node recomputed from the path flows (kg/s).
    static double netInflow(const AirNode* n)
    {
        double s = n->src_rate;
        for (const AirPath* p = _pafp0; p; p = p->next) {
            double f = p->mass_flow[0] + p->mass_flow[1];
            if (p->to_node == n) s += f;
            if (p->from_node == n) s -= f;
        }
        return s;
    }

    static double flowMagnitudes(const AirNode* n)
    {
        double s = std::fabs(n->src_rate);
        for (const AirPath* p = _pafp0; p; p = p->next)
            if (p->to_node == n || p->from_node == n)
                s += std::fabs(p->mass_flow[0]) + std::fabs(p->mass_flow[1]);
        return s;
    }

    AF_MAT* mat = nullptr;
    std::vector<std::unique_ptr<AirNode>> nodes;
    std::vector<std::unique_ptr<AirPath>> paths;
    std::vector<std::unique_ptr<AfeRec>> elements;
    std::vector<std::unique_ptr<PlrData>> plr;
    std::deque<float> wind;      // per path; a deque keeps the paths' pointers valid
    std::deque<float> control;

private:
    AirNode* addNode(double T, int kind)
    {
        nodes.push_back(std::make_unique<AirNode>());
        AirNode* n = nodes.back().get();
        setAirState(n, T);
        n->kind = kind;
        n->index = (int)nodes.size();
        if (nodes.size() > 1) nodes[nodes.size() - 2]->next = n;
        else _afnd0 = n;
        _nafnd = (int)nodes.size();
        return n;
    }
    int zones = 0;
};

// Captures the log of the run in a temporary file, and the screen messages in a string.
class LogCapture {
public:
    LogCapture()
    {
        log = tmpfile();
        _ulog = log;
        _errorLogFileP = &_ulog;
        _errorAuxFcnP = &LogCapture::toScreen;
        screen().clear();
        error(-2, __FILE__, __LINE__, "reset", "");
    }
    ~LogCapture()
    {
        _errorAuxFcnP = nullptr;
        _errorLogFileP = nullptr;
        _ulog = nullptr;
        fclose(log);
        error(-2, __FILE__, __LINE__, "reset", "");
    }
    std::string text() { return fileContents(log); }
    static std::string& screen()
    {
        static std::string s;
        return s;
    }

private:
    static void toScreen(const char* head, const char* text, int* count)
    {
        screen() += std::string(head) + text;
        (void)count;
    }
    FILE* log = nullptr;
};

}  // namespace vexlar_test
