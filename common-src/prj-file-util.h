// Numerical set-up of the network build: the geometry, volume and leakage of a duct
// segment taken from its duct flow element, the flow-regime data of Darcy-Weisbach
// ducts, and the periodic-spline and trigonometric fits of wind-pressure profiles.
#pragma once
#include "model/elements.h"
#include "model/prj-common.h"

namespace vexlar {

struct DuctSegRec;   // model/prj-records.h

// Geometry of a duct given its element, length and summed loss coefficient: 1 when out was
// filled, 0 for no element or a non-duct element. lam_coef receives the laminar coefficient
// of a dct_dwc element (left alone otherwise).
int duct_geometry(const AfeRec* elem, float length, float loss_coef, DuctGeometry* out,
                  float* lam_coef);
// The same for a project duct segment; stores a dct_dwc segment's laminar coefficient in it.
int duct_elmt_data(DuctSegRec* seg, DuctGeometry* out);
// Flow-regime fields of the DuctData of a dct_dwc segment of length L and loss sum K.
void dwc_regime_data(const DwcData* dwc, float length, float loss_coef, DuctData* dd);

// Periodic cubic spline of a wind profile into n blocks: 1 on success, 0 on failure.
int wp_ccspl(int n, const float* azm, const float* coef, WpSpline* blocks);
// Trigonometric coefficients from the points at 0, 90, 180, 270 and 360 degrees: 1 or 0.
int wp_htrig(int n, const float* azm, const float* coef, float* out);

}  // namespace vexlar
