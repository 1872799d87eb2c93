// The simulation network built once from the project model: airflow nodes (zones, duct
// junctions and terminals, the ambient last), airflow paths (paths, duct segments,
// terminals, leaks) bound to their elements, duct networks, value bindings, the lists
// of the time loop, and the run-mode overrides and network warnings. sim_data runs the
// steps in their fixed order; later steps read what earlier ones built.
#pragma once
#include <cstdint>

namespace vexlar {

struct AirNode;
struct CtrlNode;
struct WeekSchedRec;

extern int _list;             // log detail level, from run control
extern uint8_t _sim_af_dyn;   // nonzero when the airflow is transient
// The airflows must be solved again at the next short time step: set when a timed input
// changes what the airflows depend on; starts set so the first step solves them.
extern int _newSTSaf;

// Builds the whole simulation network; returns 0 (a FATAL message ends the run).
int sim_data();

// Binds *target to the column `name` of the continuous (vf_type 1) or discrete (2) values
// file. A name not found is an ERROR and leaves *target unchanged (result 1); another
// vf_type is an ERROR that clears *target (result 0).
int ctrl_set_CvfDvf(float** target, int vf_type, const char* name);

// The value that scales an element or sets a temperature, first match wins: the control
// node's output, the value-file column, the week schedule's value, else the fallback.
float* sd_value_source(CtrlNode* ctrl, int vf_type, const char* vf_name, WeekSchedRec* ws,
                       float* fallback);

// The network build, step by step, in the order sim_data runs them.
void sd_ambient();              // ambient state and ambient mass fractions, humidity
void sd_duct_networks();        // group junctions into duct networks, log them, check them
void sd_junction_volumes();     // halves of each segment's volume and leakage to its ends
int afnd_set();                 // the airflow nodes; returns their count
void sd_ahs_paths();            // mark the recirculation, outdoor-air and exhaust paths
void sd_paths();                // project paths
void sd_ducts();                // duct segments
void sd_terminals_leaks();      // duct terminals and leaks, in junction order
void sd_envelope_pointers();    // wind-pressure and ambient mass-fraction pointers
void sd_source_value_files();   // value-file bindings of sources
void sd_builtin_elements();     // built-in elements of system paths and leaks
void sd_connectivity();         // every node reaches a known pressure
void sd_run_mode_overrides();   // run-control overrides and the network warnings
// The overrides of the special run modes alone (duct balancing and the building tests),
// which the program entry applies once more after the network build.
void sd_test_mode_overrides();

}  // namespace vexlar
