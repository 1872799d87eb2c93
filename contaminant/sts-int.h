// What the files of the short-time-step method share among themselves: the step of a
// one-dimensional convection-diffusion zone, called by the transport step for every zone
// divided into cells along its axis.
#pragma once

namespace vexlar {

struct AirNode;

// Advances the cell mass fractions of one one-dimensional zone by one short time step from
// the flows and flow sums its cells gathered this step, and sets the zone's mass fractions to
// the cell average. FATAL on a zero pivot.
void stsZone1DStep(AirNode* zone);

}  // namespace vexlar
