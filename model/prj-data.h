// The step from the project model to the simulation network: sim_data builds the airflow
// nodes and paths with their elements bound, the duct structures, the source, schedule,
// occupant and control lists, and applies the run-mode overrides. It runs once, after
// the project is read and the value files are set up, before the project records die.
#pragma once
#include <cstdint>

namespace vexlar {

extern int _list;             // log detail level, from run control
extern uint8_t _sim_af_dyn;   // nonzero when the airflow is transient

int sim_data();

}  // namespace vexlar
