// Wind, stack and gauge pressures of the airflow network, prepared every time step:
// calc_wP after weather and controls, calc_sP before every airflow solution (density
// iteration), findPgage after it.
#pragma once

namespace vexlar {

void calc_wP();     // wind pressure of every exterior opening into _ENV_wP
void calc_sP();     // node density and viscosity; stack pressure and dp of every path
void findPgage();   // ambient state of every level; gauge pressure of every node

}  // namespace vexlar
