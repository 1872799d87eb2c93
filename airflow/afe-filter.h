// Filter models: each leaves the per-species efficiency and penetration (1 - efficiency)
// of one filter loading state current for the path the filter sits on. Bound by filter
// element type through the reader's model table.
#pragma once
#include "model/elements.h"

namespace vexlar {

// Penetration per species of the path's filter after running its model; _penf (all ones)
// for a path without a filter.
const float* filter_sim(AirPath* pp);
// The same vector as last computed, without running the model.
const float* filter_get_eff(const AirPath* pp);

// Whether a loading state is a super filter's own, its members chained after it.
bool filter_is_super(const FilterLoadRec* fl);
// Air [kg] that passed the filter of path p over dt seconds, with the mass fractions
// upstream of it in *up; 0 for a path without a filter or without flow.
double filter_air_through(const AirPath* p, double dt, const double** up);
// Advances every filter's loading by what it captured from the air that passed it over a
// step of dt seconds: its per-species loads and its relative loading, which the gas filter
// reads back as its input. Runs after each step's transport in every loop. Species first
// to end - 1 only (end -1: to the last), so that each system loads with its own weight.
void filter_load_step(double dt, int first = 0, int end = -1);
// Loads the filter of path p with `captured` kg of species k that the air left in it, shared
// among a super filter's members as they share a challenge; a negative amount takes back
// what it captured.
void filter_capture(AirPath* p, int k, double captured);

// The start from which the lamps of aging ultraviolet filters age: the simulation's start,
// or for a run resumed from a restart record the start of the run that wrote it.
void filter_lamp_start(int* day, int* time);
void filter_set_lamp_start(int day, int time);

void flt_cef(FilterLoadRec* fl, AirPath* pp);   // constant efficiency per species
void flt_pf0(FilterLoadRec* fl, AirPath* pp);   // particle filter, efficiency by diameter
void flt_gf0(FilterLoadRec* fl, AirPath* pp);   // gas filter, efficiency by loading
void flt_uv1(FilterLoadRec* fl, AirPath* pp);   // ultraviolet germicidal filter
void flt_spf(FilterLoadRec* fl, AirPath* pp);   // super filter: its sub-filters in series

}  // namespace vexlar
