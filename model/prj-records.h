// Project-level records of the network and its drivers: air-handling systems, zones, paths,
// duct junctions and segments (temporary, in the pool _mb, alive until the simulation network
// is built), control nodes, source/sink instances, occupancy schedules, occupants and their
// emissions (persistent, in _ms). Filled by the project reader with every reference checked.
#pragma once
#include <cstdint>

namespace vexlar {

struct AirNode;
struct AirPath;
struct JunctionNode;
struct ZoneCell;
struct AfeRec;
struct CseRec;
struct FilterRec;
struct WindProfileRec;
struct ReactionRec;
struct LevelRec;
struct DaySchedRec;
struct WeekSchedRec;
struct CtrlNode;

// Value-file codes of zones, paths, junctions, ducts, sources and emissions.
enum ValueFileType { VF_NONE = 0, VF_CONTINUOUS = 1, VF_DISCRETE = 2, VF_CTRL_AND_FILE = 3 };

// A simple air-handling system: its return and supply zones and the recirculation,
// outdoor-air and exhaust paths, as numbers of the project.
struct AhsRec {
    int number;
    char name[16];
    int zone_return;
    int zone_supply;
    int path_recirc;
    int path_outdoor;
    int path_exhaust;
};

struct ZoneRec {
    int number;
    uint16_t flags;        // low six bits of the file's flags (0x20: CFD zone)
    float rel_height;      // above its level [m]
    float volume;          // [m3]
    float temperature;     // [K]
    float pressure;        // [Pa], for zones whose pressure is not computed
    WeekSchedRec* wsch;
    CtrlNode* ctrl;
    ReactionRec* reaction;
    LevelRec* level;
    char name[32];
    int16_t cd1;           // one-dimensional zone
    float cd1_geom[8];     // x0 y0 z0 x1 y1 z1, requested cell length, diffusion coefficient
    int16_t vf_type;       // ValueFileType
    char vf_name[16];
    char cfd_name[16];
    AirNode* node;         // its airflow node once built
    // The ambient record _ambt only: the ambient state the network build copies in.
    double Pbar;           // [Pa]
    float* ambient_mf;     // per species
};

struct PathRec {
    int number;
    uint16_t flags;        // low nine bits of the file's flags
    ZoneRec* from_zone;    // _ambt for the ambient
    ZoneRec* to_zone;
    AfeRec* element;       // null for air-handling-system paths
    FilterRec* filter;
    WindProfileRec* wind_profile;
    AhsRec* ahs;
    WeekSchedRec* wsch;
    CtrlNode* ctrl;
    LevelRec* level;
    float x, y;            // [m]
    float rel_height;      // above its level [m]
    float multiplier;
    float fixed_wind_pressure;  // [Pa]
    float wind_mod;        // wind-speed modifier
    float azimuth;         // wall azimuth [deg]
    float design_flow;     // air-handling-system design flow [kg/s]
    int16_t vf_type;
    char vf_name[16];
    char cfd_name[16];
    int16_t cfd_codes[3];
    AirPath* path;         // its airflow path once built
    int pld_index;         // set by the envelope lists
    int env_index;
};

struct DuctSegRec;

struct JunctionRec {
    int number;
    uint16_t flags;
    int16_t term_type;     // above 0 for a terminal
    ZoneRec* zone;         // the zone it lies in, _ambt for the ambient
    int duct_number;       // as read; resolved into duct after the duct section
    DuctSegRec* duct;
    ReactionRec* reaction;
    WeekSchedRec* wsch;
    CtrlNode* ctrl;
    LevelRec* level;
    float x, y;            // [m]
    float rel_height;      // above its level [m]
    float temperature;     // [K]
    float jct_value5;      // fifth value of the junction line, kept as read
    int16_t vf_type;
    char vf_name[16];
    // Terminal data (term_type > 0)
    FilterRec* filter;
    WindProfileRec* wind_profile;
    float fixed_wind_pressure;  // [Pa]
    float wind_mod;
    float azimuth;         // [deg]
    int16_t balance;       // balancing switch
    float design_flow;     // [kg/s], positive for supply into the zone
    float area;            // terminal area [m2]
    float diameter;        // [m]
    float loss_coef1;      // terminal loss coefficient
    float loss_coef2;      // balance loss coefficient
    float term_value6;     // sixth terminal value, kept as read
    // Filled when the network is built
    float volume;          // halves of its segments' volumes [m3]
    float leak_coef;       // halves of its segments' leakage coefficients
    int network;           // duct network number, 0 for none
    int degree;            // segments of the network ending here (loop analysis)
    AirNode* node;
    JunctionNode* jctn;
    int pld_index;
    int env_index;
};

struct DuctSegRec {
    int number;
    uint16_t flags;
    JunctionRec* jct_from;  // null for 0
    JunctionRec* jct_to;
    AfeRec* element;        // from _DfeList
    FilterRec* filter;
    WeekSchedRec* wsch;
    CtrlNode* ctrl;
    float length;           // [m]
    float duct_value2;      // second and third values of the segment line, kept as read
    float duct_value3;
    float loss_coef;        // summed dynamic loss coefficient
    float lam_coef;         // laminar coefficient of a dct_dwc element, set by the build
    int16_t vf_type;
    char vf_name[16];
    AirPath* path;
};

// ---- Control nodes -------------------------------------------------------------------------

typedef void (*CTRL_SIGNAL_FN)(CtrlNode* node);

// Positions in _ctrl_names (the node's `type`).
enum CtrlType {
    CT_SNS = 0, CT_SCH, CT_SET, CT_CVF, CT_DVF, CT_LOG, CT_PAS, CT_MOD, CT_HYS, CT_ABS, CT_BIN,
    CT_DLS, CT_DLX, CT_INT, CT_RAV, CT_INV, CT_AND, CT_OR, CT_XOR, CT_ADD, CT_SUB, CT_MUL,
    CT_DIV, CT_SUM, CT_AVG, CT_MAX, CT_MIN, CT_LLS, CT_ULS, CT_LBS, CT_UBS, CT_LLC, CT_ULC,
    CT_PC1, CT_PI1, CT_SUP, CT_SNS2, CT_EXP, CT_LGN, CT_LG1, CT_POW, CT_SQT, CT_PLY, CT_SIN,
    CT_COS, CT_TAN, CT_MDU, CT_CEL, CT_FLR, CT_SPH, CT_IRS, CT_ARS,
    CT_NTYPES   // 52
};

// Sensor (sns): what it senses and how its reading is shaped.
struct SensorData {
    float offset, scale;   // flag 0x01: (x - offset) x scale
    float tau;             // flag 0x02: time constant of the first-order lag [s]
    int sensed_number;     // zone (-1 the ambient), path, junction, duct or occupant number
    int16_t sensed_kind;   // 1 zone, 2 path, 3 junction, 4 duct, 5 occupant, 6 terminal
    int16_t measure;       // 0 mass fraction, 1 temperature, 2 flow, 3 pressure (difference),
                           // 4 gauge pressure, 5 occupancy
    float location[3];     // [m]
    int16_t species;       // measure 0: species index (_nctm when not simulated)
    char species_name[16];
    float lag_factor;      // exp(-dt / tau) of the last evaluation's dt; 1 after the first
    int first_done;
    AirNode* sensed_node;
    double* sensed_ptr;    // quantity read when the input is not bound
};

// Log node: a column of the control log.
struct LogData {
    float offset, scale;
    char heading[32];      // at most 31 characters
    char units[16];
};

struct ModData { float offset, scale; };
struct HysData { float width, gain, state; };

// Schedule delay: day schedules of the delay after a rise and after a fall of the input.
struct DlsData {
    DaySchedRec* rise;
    DaySchedRec* fall;
    DaySchedRec* active;
    float step_change, last_input;
    int change_time;
    int first_done;
};

// Exponential delay with rise and fall time constants [s].
struct DlxData {
    int tau_rise, tau_fall;
    float last_input, factor;
    int first_done;
};

struct IntData {           // integrator
    double integral;
    float prev_in1, prev_in2;
    int first_done;
};

struct RavData {           // running average over a window [s]
    int window;
    int ring_size;
    float* ring;
    int count, oldest, newest;
    double sum, weight;
    int state;
};

// sum, avg, max, min over a list of nodes.
struct SumData {
    int count;
    int* cnode;            // node numbers, [0..count-1], in the persistent pool
    float** vals;          // their outputs, [0..count-1]
};

struct PicData { float kp, ki, prev_out, prev_in; };   // PI controller

struct PolyData {          // polynomial of degree n, coefficients a0..an
    int degree;
    float* coef;
};

struct ListStepData {      // irs, ars: integral and average over the listing step
    int trapezoid;
    double integral;
    float elapsed, prev_in;
};

struct CtrlNode {
    CtrlNode* next;        // sequence order, linked by the network build
    float value;           // the output other records point to
    float* input1;
    float* input2;
    void* data;            // per type, above (sch: its WeekSchedRec; cvf, dvf: column name)
    CTRL_SIGNAL_FN signal_fn;
    int flags;
    int number;
    int in1_number, in2_number;   // 0 = none
    int sequence;          // 1.._nctrl
    int16_t type;          // position in _ctrl_names
    char name[16];
};

// ---- Sources, occupancy and occupants ---------------------------------------------------

struct CssRec {
    CssRec* next;
    CseRec* cse;
    AirNode* zone_node;
    float* value_ptr;      // _one, a week schedule's value or a control node's output
    float multiplier;
    float init_value;      // initial surface mass of the sink models
    float box[6];          // location box x0 y0 z0 x1 y1 z1 [m]
    int number;
    int zone_number;
    char cfd_name[16];
    int16_t value_file_type;   // ValueFileType
    char value_file_name[16];
    double gen_rate;       // G [kg/s], written by the model
    double removal_coef;   // R [kg/s]
    double mass_released, mass_removed;   // run totals [kg]
    ZoneCell* cell_first;
    ZoneCell* cell_last;
    float cell_share;
    float decay_start;     // eds: initial rate
    int trigger_time, trigger_day, triggered;
    float burst_within;    // brs: schedule value of a burst that rose and fell inside this step
};

// Where an occupant is at a schedule point: the project zone as read (_ambt for the ambient,
// null outside the building), rewired to its airflow node when the network is built.
union OccZone {
    ZoneRec* zone;
    AirNode* node;
};

struct OccSchedRec {
    OccSchedRec* next;
    int* times;            // per point [s]
    OccZone* zones;        // per point
    ZoneCell** cells;      // per point, set by the short-time-step set-up
    float* x;
    float* y;
    float* rel_height;
    int number;
    int16_t npts;
};

struct ExposureRec {
    ExposureRec* next;
    OccSchedRec* occ_scheds[12];   // day types 1 to 12
    float factor;          // occupant factor
    float* exposure;       // per species: what the occupant breathed in the step [kg/kg]
    int schedule_pos;      // interval of the schedule the last walk ended in
    double occupied_time;  // seconds in a zone or outdoors in the step [s]
    double occupied_day;   // ... in the current day [s]
    double occupied_run;   // ... in the earlier days [s]
    int emission_flag;
    int number;
};

struct ExposureSrcRec {
    ExposureSrcRec* next;
    ExposureRec* owner;
    WeekSchedRec* wsch;
    float rate;            // generation rate
    float* value_ptr;
    int species;           // index into _ctm
    int16_t value_file_type;
    char value_file_name[16];
    int schedule_pos;
    double emission_rate;  // [kg/s]
    double emitted_mass;   // run total [kg]
};

// ---- Lists and counts ------------------------------------------------------------------------

extern AhsRec** _AhsList;  extern int _nahs;
extern ZoneRec** _ZoneList; extern int _nzone;
extern ZoneRec _ambt;      // target of every "-1" zone reference
extern PathRec** _PathList; extern int _npath;
extern JunctionRec** _JctList; extern int _njct;
extern DuctSegRec** _DctList; extern int _ndct;
extern CtrlNode** _CtrlList; extern int _nctrl;
extern CtrlNode* _Ctrl0;
extern int _nlogc;         // log nodes
extern CssRec* _Css0;      // source/sink instances, reverse file order
extern int _ncss;
extern OccSchedRec** _OschList; extern int _nosch;
extern ExposureRec** _PexpList; extern int _npexp;
extern ExposureSrcRec* _Pxs0;   // occupant emissions, file order
extern int _nnote;

// Initial mass fractions: zone k's block at k x _nctm (block 0 the ambient), junction k's
// at (k - 1) x _nctm; the ...i arrays hold the previous step.
extern double* _MfZ;
extern double* _MfZi;
extern int _nZctm;
extern double* _MfJ;
extern double* _MfJi;
extern int _nJctm;

// Shared constants that unbound value pointers read.
extern float _one;
extern float _zero;

}  // namespace vexlar
