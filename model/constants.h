// Physical constants of the air models and the reference state element data are given
// at, with their units. Gravity is not among them: it is a run-control value
// (_rcdat.gravity, model/run-control.h) that every buoyancy term reads.
#pragma once

namespace vexlar {

constexpr double RHO_REF = 1.2041;       // reference air density [kg/m3] (20 C, 101325 Pa)
constexpr double T_REF = 293.15;         // reference air temperature [K] (20 C)
constexpr double MU_REF = 1.81625e-5;    // reference dynamic viscosity [kg/(m s)]
constexpr double NU_REF = 1.50839e-5;    // reference kinematic viscosity [m2/s], MU_REF / RHO_REF

}  // namespace vexlar
