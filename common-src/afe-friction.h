// Darcy friction factor of a duct: laminar 64/Re, Colebrook in turbulent flow, linear
// blend in the transition range. Used by the duct model and by the network build.
#pragma once

namespace vexlar {

// rel_roughness e/D, Reynolds number, start value of the Colebrook iteration (> 0).
double ffdwc(double rel_roughness, double re, double f_start);

}  // namespace vexlar
