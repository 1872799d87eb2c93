// Element records of the project: airflow and duct flow elements with their per-type model
// data, filter elements, filters and their loading state, source/sink elements, fitted
// curves, and the duct and terminal data the duct models read. The project reader fills
// them once; the airflow, filter and source/sink models read them for the whole run.
#pragma once
#include <cstdint>

namespace vexlar {

struct AirPath;         // model/network.h
struct CssRec;          // model/prj-records.h
struct FilterLoadRec;
struct FilterElemRec;
struct AfeRec;
struct CseRec;

// Model signatures. An airflow model writes both mass flows and dflow_dp of its path and
// returns the number of flows (1 or 2); a filter model leaves efficiency and penetration of
// its loading state current; a source/sink model writes gen_rate and removal_coef.
typedef int (*AFE_MODEL_FN)(AirPath* pp);
typedef void (*FILTER_MODEL_FN)(FilterLoadRec* fl, AirPath* pp);
typedef void (*CSE_MODEL_FN)(CssRec* css);

// Positions in _afe_dnames (the element's `type`).
enum AfeType {
    AFE_PLR_ORFC = 0, AFE_PLR_LEAK1, AFE_PLR_LEAK2, AFE_PLR_LEAK3, AFE_PLR_CONN, AFE_PLR_QCN,
    AFE_PLR_FCN, AFE_PLR_TEST1, AFE_PLR_TEST2, AFE_PLR_CRACK, AFE_PLR_STAIR, AFE_PLR_SHAFT,
    AFE_PLR_BDQ, AFE_PLR_BDF, AFE_SRV_JWA, AFE_QFR_QAB, AFE_QFR_FAB, AFE_QFR_CRACK,
    AFE_QFR_TEST2, AFE_DOR_DOOR, AFE_DOR_PL2, AFE_FAN_CMF, AFE_FAN_CVF, AFE_FAN_FAN,
    AFE_CSF_FSP, AFE_CSF_QSP, AFE_CSF_PSF, AFE_CSF_PSQ, AFE_SUP_AFE, AFE_DCT_DWC,
    AFE_DCT_PLR, AFE_DCT_FCN, AFE_DCT_QCN, AFE_DCT_FAN, AFE_DCT_CMF, AFE_DCT_CVF,
    AFE_DCT_BDQ, AFE_DCT_BDF, AFE_DCT_FSP, AFE_DCT_QSP, AFE_DCT_PSF, AFE_DCT_PSQ,
    AFE_AHS_SR, AFE_AHS_XOR, AFE_D_LEAK, AFE_D_TERM,
    AFE_NTYPES,              // 46 names; 0..AFE_LAST_FILE may stand in a project file
    AFE_LAST_FILE = AFE_DCT_PSQ
};

// Positions in _flte_names and _csse_names.
enum FilterType { FLT_CEF = 0, FLT_PF0, FLT_GF0, FLT_UV1, FLT_SPF, FLT_NTYPES };
enum CseType {
    CSE_CCF = 0, CSE_PRS, CSE_CUT, CSE_EDS, CSE_BLS, CSE_BRS, CSE_DVS, CSE_DRS, CSE_DVR,
    CSE_SUP, CSE_PLM, CSE_PKM, CSE_SXD, CSE_DXD, CSE_NTYPES
};

// The type keywords, in type order, each table ended by an empty name: the project file
// names an element's model by them, and messages and result files name it back.
extern const char* const _afe_dnames[AFE_NTYPES + 1];
extern const char* const _flte_names[FLT_NTYPES + 1];
extern const char* const _csse_names[CSE_NTYPES + 1];

// ---- Fitted curves ----------------------------------------------------------------------

// One point of a fitted curve and the cubic of the segment that starts there:
// y(x) = y + b t + c t^2 + d t^3 with t = x - this x. The last point's cubic is unused.
struct CsfPoint {
    double x, y, b, c, d;
};

struct CSF_DATA {
    int16_t npts;
    int status;        // 1 when the fit failed or is unsuitable for its curve kind
    CsfPoint* pts;     // npts points, ascending x
};

// ---- Airflow element model data, in the order the project file gives the values --------

// The five duct-geometry values that every duct flow element carries after its model data.
struct DuctLine {
    float hyd_diameter;  // g1 [m]
    float perimeter;     // g2 [m]; perimeter x length is the leaking surface
    float area;          // g3 cross-section [m2]
    float leak_rate;     // g4 leakage per unit surface at the reference dp (x 0.001 when used)
    float leak_dp;       // g5 reference pressure difference [Pa]
};

// plr_* (types 0-11), plr_qcn, plr_fcn: power law with its laminar part.
struct PlrData {
    float lam_coef;
    float turb_coef;
    float flow_exponent;
};

// plr_bdq, plr_bdf: one-way dampers, one power law per direction.
struct BdData {
    float lam_coef;
    float turb_pos;
    float expt_pos;
    float turb_neg;
    float expt_neg;
};

// srv_jwa: exponential approach to a limit flow.
struct JwaData {
    float jwa_flow;
    float jwa_dp;
    float jwa_ratio;
};

// qfr_*: quadratic dp = a F + b F^2.
struct QfrData {
    float quad_a;
    float quad_b;
};

// dor_door: power law for negligible buoyancy, then the opening's geometry.
struct DoorData {
    PlrData plr;
    float door_height;     // H [m]
    float door_width;      // W [m]
    float discharge_coef;  // Cd
};

// dor_pl2: two power-law openings d above and below the path's height.
struct Pl2Data {
    PlrData plr;
    float opening_offset;  // d [m]
    float extra;           // fifth value of the element, kept as read; not used by the model
};

// fan_cmf, fan_cvf: constant mass [kg/s] or volume [m3/s] flow.
struct ConstFlowData {
    float design_flow;
};

// fan_fan: cubic curve P(f) = a0 + a1 f + a2 f^2 + a3 f^3 at reference density and full
// speed, and the off-fan power law.
struct FanData {
    PlrData plr;
    float ref_density;
    float max_flow;      // free delivery
    float shutoff_dp;
    float cutoff_ratio;  // speed ratio at or below which the fan is off
    float curve_coef[4];
};

// sup_afe: a list of airflow elements with one of them selected.
struct SupAfeEntry {
    SupAfeEntry* next;
    AfeRec* elem;  // resolved from number after the section
    int number;
    float value;
    int value16;
    int selected;         // 1 for the entry whose number is the selected one
};

struct SupAfeData {
    int count;
    int selected_number;
    int value16;
    SupAfeEntry* first;
};

// Duct flow elements: the model data of the matching airflow type, then the geometry.
struct DwcData {            // dct_dwc
    float hyd_diameter;     // D [m] (= duct.hyd_diameter)
    float flow_area;        // A [m2] (= duct.area)
    float rel_roughness;    // e/D
    float extra;            // second value of the element line, kept as read
    float roughness;        // e [m]
    DuctLine duct;
};
struct DctPlrData {         // dct_plr
    PlrData plr;
    float extra[3];         // values 4 to 6 of the element line, kept as read
    DuctLine duct;
};
struct DctPlr3Data {        // dct_fcn, dct_qcn
    PlrData plr;
    DuctLine duct;
};
struct DctFanData {         // dct_fan
    FanData fan;
    DuctLine duct;
};
struct DctConstFlowData {   // dct_cmf, dct_cvf
    ConstFlowData flow;
    DuctLine duct;
};
struct DctBdData {          // dct_bdq, dct_bdf
    BdData bd;
    DuctLine duct;
};
struct DctCsfData {         // dct_fsp .. dct_psq
    CSF_DATA csf;
    DuctLine duct;
};

// An airflow or duct flow element.
struct AfeRec {
    void* model_data;       // one of the records above, by type
    AFE_MODEL_FN model_fn;  // from _pfaf; null for a type outside the table
    int number;
    int type;               // position in _afe_dnames
    char name[16];
};

// ---- Per-path duct data, filled when the network is built ------------------------------

struct DuctData {
    float length;       // [m]
    float area;         // [m2]
    float area2;        // second copy of the area
    float loss_coef;    // summed dynamic loss coefficient
    float leak_coef;    // segment leakage, or for a leak path the junction's total
    float lam_coef;     // laminar flow coefficient of a dct_dwc segment
    float lam_limit;    // regime variable below which the flow is laminar
    float turb_limit;   // regime variable above which the flow is turbulent
    float trans_a3;     // transition cubic o = a3 Re^3 + a2 Re^2
    float trans_a2;
    float inv_sqrt_f;   // 1/sqrt(f) carried between calls; 5 at start
    float re_state;     // Reynolds number carried in transition; 2900 at start
};

// Geometry of a duct segment derived from its element (duct_elmt_data).
struct DuctGeometry {
    float length;
    float diameter;
    float volume;
    float area;
    float leak_coef;
};

// Model data of a duct terminal (built-in type d_term).
struct TerminalData {
    float turb_coef;    // A sqrt(2 / (C1 + C2))
    float lam_coef;
    float loss_coef1;   // C1
    float loss_coef2;   // C2
    float area;         // A [m2]
    float design_flow;
    int balance;        // balancing switch
};

// ---- Filters ----------------------------------------------------------------------------

// gf0: per species an optional efficiency curve against relative loading.
struct GasFilterData {
    CSF_DATA** fit;     // per species, null for a species without a curve
    int* fit_hint;      // per species segment of the last evaluation
    float* bkt_eff;     // per species breakthrough efficiency
};

// uv1: ultraviolet germicidal filter.
struct UvFilterData {
    float uv_penetration_ref;  // p0, rated single-pass penetration
    float uv_velocity_ref;     // vr [m/s]
    float uv_flow_ref;         // q, rated mass flow at density RHO_REF
    float uv_k_ref;            // susceptibility of the rating species
    int uv_aging;              // switch
    float uv_poly[5];          // output polynomial c0..c4
    float uv_age_a;
    float uv_age_b;
    float uv_area;             // q / (vr x RHO_REF)
    float uv_dose_ref;         // -ln(p0) / uv_k_ref
};

// spf: super filter made of other filter elements.
struct SuperFilterData {
    int count;
    FilterElemRec** elems;  // resolved after the section
    int* numbers;
};

struct FilterElemRec {
    void* model_data;          // cef, pf0: float efficiency per species; gf0, uv1, spf: above
    FILTER_MODEL_FN model_fn;
    float dims[3];             // the three values of the file whose product is the mass
    float mass;
    float inv_mass;
    int number;
    int type;                  // position in _flte_names
    int breakthrough;          // 1 when a curve has a breakthrough value above 0
    char name[16];
};

// Loading state of a filter, or of one sub-filter of a super filter.
struct FilterLoadRec {
    FilterLoadRec* next;   // own record of a super filter: first sub-filter; sub-filter: next
    FilterLoadRec* prev;   // sub-filter: the one before; super filter's own: the last one
    double rel_loading;    // captured mass / element mass
    double* loads;         // per species captured mass
    float* loads_init;     // per species initial load x element mass
    double* mass_in;
    double* mass_out;
    float* efficiency;
    float* penetration;    // 1 - efficiency; 1 at start
    int* bkt_day;
    int* bkt_time;
    FilterElemRec* flte;
    int init_pending;
};

struct FilterRec {
    FilterLoadRec* load;
    int number;
};

// ---- Source/sink elements ----------------------------------------------------------------

// sup: a list of other source/sink elements.
struct SupCseData {
    int count;
    int* numbers;
    CseRec** elems;  // resolved after the section
};

struct CseRec {
    void* model_data;        // float p[4] for every type but sup (SupCseData)
    CSE_MODEL_FN model_fn;   // from _pfss; null for sup and unknown types
    int species;             // index into _ctm; _nctm when the species is not simulated
    int number;
    int type;                // position in _csse_names
};

// ---- Lists of the project (1-based index arrays, freed after the network is built) -------

extern FilterElemRec** _FlteList;
extern int _nflte;
extern FilterRec** _FiltList;
extern int _nfilt;
extern CseRec** _CseList;
extern int _ncse;
extern AfeRec** _AfeList;
extern int _nafe;
extern AfeRec** _DfeList;
extern int _ndfe;

}  // namespace vexlar
