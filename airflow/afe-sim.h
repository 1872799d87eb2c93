// Airflow element models: each turns the pressure difference `dp` already set on one
// AirPath into its mass flow (two flows for doors and two-opening elements) and the flow
// derivative, and returns the number of flows (1 or 2). They are bound by element type
// through the model table of the element reader and called by the airflow assembly.
#pragma once
#include "model/network.h"

namespace vexlar {

// Reference state of the density/viscosity correction of the power laws.
// Power-law family
int afe_plr(AirPath* pp);   // orifices, leaks, cracks: mass flow from sqrt(rho) coefficient
int afe_qcn(AirPath* pp);   // volume-flow coefficient
int afe_fcn(AirPath* pp);   // mass-flow coefficient
int afe_bdq(AirPath* pp);   // one power law per direction, volume-flow form
int afe_bdf(AirPath* pp);   // one power law per direction, mass-flow form
int afe_jwa(AirPath* pp);   // exponential approach to a limit flow
int afe_qfr(AirPath* pp);   // quadratic dp = a F + b F^2
int afe_cmf(AirPath* pp);   // constant mass flow
int afe_cvf(AirPath* pp);   // constant volume flow

// Doors and two-opening elements (two-way flow, numerical derivative)
int afe_dor(AirPath* pp);
int afe_pl2(AirPath* pp);
void setNmDrv();            // flag door and two-opening paths for the numerical derivative

// Fans and the closed-form root of a cubic
int afe_fan(AirPath* pp);
// x_near picks the root where the closed form has three (and for a3 = 0, two).
double cubic(double a0, double a1, double a2, double a3, double x_near = 0.0);

// Curve elements (cubic-spline fits of flow against pressure and the inverse)
int afe_fsp(AirPath* pp);
int afe_qsp(AirPath* pp);
int afe_psf(AirPath* pp);
int afe_psq(AirPath* pp);

// Ducts (Darcy-Weisbach with Colebrook friction)
int afe_dwc(AirPath* pp);

// Built-in elements: air-handling-system paths, duct terminals and duct leaks
int afe_ahs(AirPath* pp);   // supply or return
int afe_ahr(AirPath* pp);   // recirculation
int afe_aho(AirPath* pp);   // outdoor air
int afe_ahx(AirPath* pp);   // exhaust
int afe_trm(AirPath* pp);   // duct terminal
int afe_jlk(AirPath* pp);   // duct junction leak

}  // namespace vexlar
