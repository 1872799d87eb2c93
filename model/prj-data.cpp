// sim_data: the fixed order of the network build, the ambient state it starts from, and
// the binding of value pointers to value-file columns. Names bound to value-file columns
// that do not resolve are reported one by one and then end the run, so that no element,
// source or emission is ever left reading a null or stale value.
#include "model/prj-data.h"

#include <cmath>
#include <cstring>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/source-lists.h"

namespace vexlar {

int _list = 0;
uint8_t _sim_af_dyn = 0;
int _newSTSaf = 1;

namespace {

int vfMisses = 0;   // value-file names not resolved during this build

// Saturation pressure of water vapour [Pa] at T [K], over ice below the triple point
// (Hyland-Wexler, ASHRAE).
double saturation_pressure(double T)
{
    if (T < 273.16)
        return std::exp(-5674.5359 / T + 6.3925247 - 0.009677843 * T + 6.2215701e-7 * T * T
                        + 2.0747825e-9 * T * T * T - 9.484024e-13 * T * T * T * T
                        + 4.1635019 * std::log(T));
    return std::exp(-5800.2206 / T + 1.3914993 - 0.048640239 * T + 4.1764768e-5 * T * T
                    - 1.4452093e-8 * T * T * T + 6.5459673 * std::log(T));
}

// Ambient humidity ratio from the project's relative humidity; the temperature is held
// within the range of the saturation formulas.
void ambient_humidity(int h2o)
{
    float T = _wthdat.Tambt;
    if (T < 203.0f) {
        error(ERROR, __FILE__, __LINE__, " T < 203: ", fltstr(4, T), "");
        T = 203.0f;
    }
    if (T > 373.0f) {
        error(ERROR, __FILE__, __LINE__, " T > 373: ", fltstr(4, T), "");
        T = 373.0f;
    }
    float RH = _wthdat.rel_humidity;
    float Ps = (float)saturation_pressure(T);
    float HR = 0.62472f * RH * Ps / ((float)_wthdat.Pbar - RH * Ps);
    _wthdat.HR = HR;
    _ambt.ambient_mf[h2o] = HR / (1.0f + HR);
}

// Ends the run when a value-file name was not found, saying what the names must match.
void fatal_on_value_file_misses()
{
    if (vfMisses)
        error(FATAL, __FILE__, __LINE__,
              "Fix errors reported above: each value-file node name of the project must be in its CVF or DVF file",
              "");
}

// Ends the run when building the network reported an ERROR in the project's data.
void fatal_on_errors()
{
    fatal_on_value_file_misses();
    if (error(-1, __FILE__, __LINE__, "test", ""))
        error(FATAL, __FILE__, __LINE__, "Fix errors reported above in the project file", "");
}

}  // namespace

int ctrl_set_CvfDvf(float** target, int vf_type, const char* name)
{
    int count;
    const char (*names)[16];
    float* vals;
    if (vf_type == 1) {
        count = _cvfNumNames, names = _cvfNames, vals = _cvfVals[2];
    } else if (vf_type == 2) {
        count = _dvfNumNames, names = _dvfNames, vals = _dvfVals;
    } else {
        *target = nullptr;
        vfMisses++;
        errorf(ERROR, __FILE__, __LINE__, "Invalid CVF/DVF vf_type, %d.\n", vf_type);
        return 0;
    }
    for (int i = 0; i < count && names && vals; i++) {
        if (streql(names[i], name)) {
            *target = &vals[i];
            return 1;
        }
    }
    vfMisses++;
    errorf(ERROR, __FILE__, __LINE__, "Node name %s not found in %s file.\n", name,
           vf_type == 1 ? "CVF" : "DVF");
    return 1;
}

float* sd_value_source(CtrlNode* ctrl, int vf_type, const char* vf_name, WeekSchedRec* ws,
                       float* fallback)
{
    if (ctrl)
        return &ctrl->value;
    float* p = ws ? &ws->value : fallback;
    if (vf_type != 0) {
        float* bound = p;
        ctrl_set_CvfDvf(&bound, vf_type, vf_name);
        if (bound)
            p = bound;
    }
    return p;
}

void sd_ambient()
{
    _wthdat.h2o_index = -1;
    _list = _rcdat.list;
    _ambt.temperature = _wthdat.Tambt;
    _ambt.Pbar = _wthdat.Pbar;
    _daytyp = _wthdat.day_type;
    if (_nctm <= 0)
        return;
    _ambt.ambient_mf = static_cast<float*>(alc_ec(&_ms, _nctm * sizeof(float), "aCC0"));
    for (int k = 0; k < _nctm; k++) {
        _ambt.ambient_mf[k] = _ctm[k].default_conc;
        if (std::strcmp(_ctm[k].name, "H2O") == 0)
            _wthdat.h2o_index = k;
    }
    if (_wthdat.h2o_index >= 0 && _wthdat.rel_humidity > 0.0f)
        ambient_humidity(_wthdat.h2o_index);
}

int sim_data()
{
    vfMisses = 0;
    sd_ambient();                                    // 1, 2
    EnvListsWpc_setup();                             // 3
    if (_useWPC)
        PLDlist(1);
    sd_duct_networks();                              // 4
    sd_junction_volumes();                           // 5
    _nafnd = afnd_set();                             // 6
    error(-2, __FILE__, __LINE__, "reset count", "");
    sd_ahs_paths();                                  // 7
    sd_paths();                                      // 8
    sd_ducts();                                      // 9
    sd_terminals_leaks();                            // 10
    sd_envelope_pointers();                          // 11
    fatal_on_errors();
    sd_source_value_files();                         // 12
    sd_builtin_elements();                           // 13
    EnvListsCsmCex_setup();                          // 14
    sd_connectivity();                               // 15
    srcl_schedules();                                // 16
    srcl_sources();
    srcl_emissions();
    fatal_on_value_file_misses();
    srcl_occupants();
    srcl_controls();
    sd_run_mode_overrides();                         // 17
    return 0;
}

}  // namespace vexlar
