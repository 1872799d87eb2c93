// Species, kinetic reactions, building levels and wind-pressure profiles: the project data
// that the element, zone and path sections refer to by number. Filled once by the project
// reader; the transport, stack-pressure and wind-pressure code read them for the whole run.
#pragma once
#include <cstdint>

namespace vexlar {

// A simulated species; _ctm holds the simulated ones in the project's list order
// (non-trace species first).
struct SpeciesRec {
    float molar_mass;         // kg/kmol
    float mean_diameter;      // m
    float effective_density;  // kg/m3
    float decay_constant;     // 1/s
    float diffusivity;        // m2/s
    float default_conc;       // mass fraction
    float gas_const;          // 8314.41 / molar_mass [J/(kg K)]
    float cp;                 // J/(kg K)
    float cv;                 // cp - gas_const
    float uv_coef;            // ultraviolet susceptibility
    char name[16];
    int16_t non_trace;        // 1 when part of the air mixture
    int16_t number;           // number in the project file
};

// A building level; doubly linked from _Lev0 to _LevH in file order.
struct LevelRec {
    LevelRec* next;
    LevelRec* prev;
    float ref_height;       // m
    float height;           // m
    double amb_gauge_p;     // ambient gauge pressure at ref_height [Pa], set each step
    double amb_density;     // ambient density at ref_height [kg/m3], set each step
    char name[16];
    int number;
};

// One interval of a periodic wind-pressure spline: a + b t + c t^2 + d t^3 with t the
// angle minus x. The last point's block holds only x and a (its coefficient).
struct WpSpline {
    float x, a, b, c, d;
};

enum WindFitType { WPF_LINEAR = 1, WPF_SPLINE = 2, WPF_TRIG = 3 };

// Wind-pressure coefficient against wind direction.
struct WindProfileRec {
    int npts;
    int fit_type;          // WindFitType
    float* wp_azimuth;     // degrees, ascending
    float* wp_cp;          // pressure coefficients
    WpSpline* spline;      // fit_type 2: one block per point
    float* trig;           // fit_type 3: r0..r3 = Cp(0)+Cp(180), Cp(0)-Cp(180),
                           // Cp(90)+Cp(270), Cp(90)-Cp(270)
    int number;
};

// A kinetic reaction: d(product)/dt += coef x source, per term.
struct ReactionRec {
    float* coef;    // 1/s per term
    int* prod;      // product species index into _ctm, per term
    int* src;       // source species index into _ctm, per term
    int nterms;
    int number;
};

extern SpeciesRec* _ctm;     // _nctm records, index 0.._nctm-1
extern int _nctm;
extern int _nntc;            // simulated non-trace species
extern double* _Rs;          // per species gas constant
extern double* _Cp;          // per species specific heat
extern float* _penf;         // per species 1: penetration of a path without a filter

extern LevelRec** _LevList;  // 1.._nlev
extern int _nlev;
extern LevelRec* _Lev0;
extern LevelRec* _LevH;

extern WindProfileRec** _WpfList;  // 1.._nwpf
extern int _nwpf;
extern ReactionRec** _KinrList;    // 1.._nkinr
extern int _nkinr;

}  // namespace vexlar
