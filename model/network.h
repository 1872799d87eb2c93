// The simulation network the solvers work on: one AirNode per zone, duct junction and
// terminal plus the ambient node (always last), one AirPath per airflow path, duct
// segment, terminal and leak, and the transport records of the short-time-step method.
// Built once per run from the project records and kept in the persistent pool.
#pragma once
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace vexlar {

struct AfeRec;
struct FilterRec;
struct WindProfileRec;
struct ReactionRec;
struct LevelRec;
struct DuctData;
struct AirNode;
struct Cd1Zone;

// AirNode.flags
constexpr uint32_t NODE_VAR_P = 0x01;      // pressure solved for by the airflow system
constexpr uint32_t NODE_VAR_MF = 0x02;     // mass fractions solved for by transport
constexpr uint32_t NODE_AHS = 0x08;        // zone of a simple air-handling system
constexpr uint32_t NODE_AMBIENT = 0x10;    // the ambient node (on a zone: unconditioned)
constexpr uint32_t NODE_VOLUME = 0x20;     // volume > 0
constexpr uint32_t NODE_STORAGE = 0x40;    // air-mass storage term included

// AirPath.flags (low bits carried from the project path flags)
constexpr int32_t PATH_WIND = 0x01;        // exterior opening with wind pressure
constexpr int32_t PATH_AHS = 0x08;         // air-handling-system supply or return
constexpr int32_t PATH_CONST_FLOW = 0x200; // kept by constant-flow fans: no matrix entry
constexpr int32_t PATH_LEAK = 0x400;       // duct leak
constexpr int32_t PATH_NUM_DERIV = 0x800;  // flow derivative taken numerically

// A transport cell of the short-time-step method: the single cell of a well-mixed zone
// (or of the ambient node), or one cell of a one-dimensional zone.
struct ZoneCell {
    ZoneCell* next;          // next cell of the same 1-D zone, null for the last
    double* flow_mf_sums;    // per species: inflow x penetration x upstream mass fraction [kg/s]
    double* mf;              // current mass fractions of the cell
    double* mf_prev;         // mass fractions at the start of the step
    double inflow;           // flow entering from other volumes this step [kg/s]
    double outflow;          // flow leaving to other volumes this step [kg/s]
    double mass_rate;        // well-mixed zone: change of its air mass over the last step [kg/s]
    float position;          // cell centre along the zone axis [m]
    int32_t index;           // 0-based cell number
};

struct AirNode {
    AirNode* next;
    uint32_t flags;
    int32_t af_eqn;              // equation number in the airflow system
    int32_t* mf_eqn;             // one equation number per species, null without species
    ReactionRec* reaction;
    float* temperature_ptr;      // value setting the temperature each step, null when fixed
    Cd1Zone* cd1_zone;
    ZoneCell* zone_cell;
    float height;                // elevation [m]
    float volume;                // [m3]
    double gas_const;            // of the node's air mixture [J/(kg K)]
    float cp;                    // specific heat of the mixture [J/(kg K)]
    double src_rate;             // air-mass source of non-trace species [kg/s]
    double* mf;                  // _nctm mass fractions
    double* mf_prev;             // mass fractions at the start of the step
    double air_mass;             // [kg]
    double air_mass_prev;        // [kg]
    double temperature;          // [K]
    double humidity_ratio;       // [kg/kg]
    double pressure;             // relative to the barometric pressure [Pa]
    double density;              // [kg/m3]
    double storage_rate;         // rate of change of the air mass [kg/s]
    float viscosity;             // dynamic viscosity [kg/(m s)]
    float density_viscosity_ratio;  // density / viscosity [s/m2]
    float sqrt_density;
    float abs_tol;               // absolute flow tolerance of the convergence test [kg/s]
    double sum_flow;             // signed flow residual [kg/s]
    double sum_abs_flow;         // sum of flow magnitudes [kg/s]
    float gauge_pressure;        // relative to the surroundings at the node's height [Pa]
    float gauge_pressure_max, gauge_pressure_min;
    double pressure_prev;
    double work;                 // solver scratch
    union {
        LevelRec* level;         // the node's level
        AirNode* zone;           // for a junction inside a zone (in_zone 1): that zone
    } location;
    float occupancy;
    union {
        float ahs_flow;          // flow passed between the models of one system [kg/s]
        float age;               // age of air [h], for the results output
    };
    int32_t index;               // 1-based position in _afnd0
    int32_t in_zone;             // 1 for a junction or terminal inside a zone
    int32_t kind;                // 0 zone or ambient, 1 duct junction, 2 duct terminal
    int32_t number;              // number in its project section, 0 for the ambient
    char cfd_name[16];
    int32_t is_cfd;
};

struct AirPath {
    AirPath* next;
    int32_t flags;
    AirNode* from_node;          // positive flow runs from from_node to to_node
    AirNode* to_node;
    AfeRec* element;
    FilterRec* filter;
    WindProfileRec* wind_profile;
    float* value_ptr;            // control value scaling the element, else _one
    double mass_flow[2];         // [kg/s]; the second only for two-way elements
    double dflow_dp;             // d(flow)/d(dp) [kg/(s Pa)]
    double dp;                   // pressure difference across the path [Pa]
    double work;                 // solver scratch
    float flow_sum;              // mass_flow[0] + mass_flow[1]
    float* wind_pressure;        // wind pressure of the envelope opening, else _zero
    double stack_pressure;       // [Pa]
    double* mf_from;             // mass fractions on the from side
    double* mf_to;               // mass fractions on the to side
    ZoneCell* cell_from;
    ZoneCell* cell_to;
    float dp_max, flow_max;      // extremes of the day
    float x, y, z;               // location [m]; z includes the level reference height
    float dz_from, dz_to;        // z minus the from and to node heights [m]
    float duct_rise;             // duct segments: to height minus from height [m]
    double multiplier;
    float wind_mod;              // wind-speed modifier of an exterior opening
    float azimuth;               // wall azimuth [deg]
    float fixed_wind_pressure;   // [Pa]
    float ahs_design_flow;       // [kg/s]
    float fan_state;             // model state of fan, spline and duct elements
    int32_t spline_hint;         // segment of the last spline look-up
    DuctData* duct_data;         // duct segments, terminals and leaks; null for paths
    int32_t sa_index;            // off-diagonal slot in the airflow matrix
    int32_t pld_index;           // unique opening location, 0 when none
    int32_t env_index;           // envelope opening index, 0 when none
    int32_t index;               // 1-based position in _pafp0
    int32_t kind;                // 0 path, 1 duct segment, 2 terminal, 3 leak
    int32_t number;
    int32_t env_dir;             // +1 from the ambient only, -1 to the ambient only, else 0
    int32_t ahs_number;
    int16_t cfd_codes[3];
    char cfd_name[16];
};

// A duct junction of the short-time-step duct model.
struct JunctionNode {
    JunctionNode* next;
    AirNode* node;
    int32_t in_count;            // duct links flowing in this step
    int32_t remaining;           // inflowing links not yet processed
    double inflow, outflow;      // [kg/s]
    double cp_flow;              // [W/K]
    double heat_flow;            // [W]
    double* flow_mf_sums;
    double* mf;
    int32_t terminal_state;      // 0 plain junction; 1 terminal (2 while supplying its zone)
    int32_t network;             // duct network number
    int32_t number;
};

// A one-dimensional convection-diffusion zone divided into cells along its axis.
struct Cd1Zone {
    Cd1Zone* next;
    AirNode* node;
    float cell_length;           // dx [m]
    float inv_cell_length;       // 1/dx
    float zone_length;           // L [m]
    float inv_area;              // L / zone volume [1/m2]
    float diffusion_per_length;  // axial diffusion coefficient / dx [m/s]
    int32_t cell_count;
    double inv_cell_count;
    float end_points[6];         // x0, y0, z0, x1, y1, z1 [m]
    float direction[3];          // unit vector from the first to the second end
    ZoneCell* cells;
};

extern AirNode* _afnd0;          // node list: zones, junctions and terminals, ambient last
extern int _nafnd;
extern AirNode* _pambt;          // the ambient node
extern AirPath* _pafp0;          // path list: paths, duct segments, terminals, leaks
extern int _nafpt;
extern JunctionNode* _jctn0;
extern Cd1Zone* _cdzn0;
extern int _nCFDzone;            // zones modelled by the CFD zone model
extern int _nCmctm;              // well-mixed cells x species, the ambient included
extern int _nCcctm;              // cells of all 1-D zones x species
// Whether v is a number a result file can hold: finite, and within the float range where
// the file stores single precision (narrowed beyond it, v would be infinite).
inline bool resultFits(double v, bool single)
{
    return single ? std::fabs(v) <= FLT_MAX : std::isfinite(v);
}

// Finds the first value of the network that a file of single or double precision cannot
// hold (resultFits): a node's pressure, density, temperature, mass fraction or gauge
// pressure, a path's flows or pressure difference. 0 when there is none; else 1, with text
// naming the node or path (number and type letter) and the quantity.
int networkNonFinite(char* text, int len, bool single);

extern const char _ntype[];      // node-type letters by AirNode kind: zone, junction, terminal
extern const char _ftype[];      // path-type letters by AirPath kind: path, duct, terminal, leak

// The letter of a kind in _ntype or _ftype; '?' for a kind outside the table.
char typeLetter(const char* letters, int kind);

}  // namespace vexlar
