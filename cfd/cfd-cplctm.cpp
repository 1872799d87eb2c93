// The contaminant coupling of the CFD zone with the network's trace species. comctm runs
// the zone's species solution and compares the concentrations the zone took in at its
// inflow openings with the network's upstream concentrations until they agree; inctmctm
// adds the species leaving the zone to the receiving nodes' generation; setCmon writes the
// zone's result (monitoring cell or volume mean) into the zone's network mass fractions.
#include <cmath>

#include "cfd/cfd-int.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/run-control.h"

namespace vexlar {

namespace {

CfdZone* zone() { return COUPLE && _cfdzone ? &_cfdzone[1] : nullptr; }

// Air enters the zone through an inlet running as an inlet, or an outlet running reversed.
bool entering(const CplPath* c)
{
    return (c->direction == 0 && !c->reversed) || (c->direction == 1 && c->reversed);
}

bool leaving(const CplPath* c)
{
    return (c->direction == 1 && !c->reversed) || c->direction == 3 || (c->direction == 0 && c->reversed);
}

bool ambient(const AirNode* n) { return n == _pambt || n->index == _nafnd; }

// The species exchanged at every opening to a zone of the network after the converged
// coupling: air flow, species flow and mass fraction, negative where air leaves the zone.
void openingTable()
{
    if (!VEXLAROUT) return;
    fprintf(VEXLAROUT, "\n%d ", _stepEndTime);
    for (const CplPath* c = zone()->paths; c; c = c->next) {
        if (ambient(c->other_node) || c->direction == 3 || !c->Crate2) continue;
        double sign = c->direction == 0 ? 1.0 : -1.0, F = c->path->flow_sum;
        for (int s = 1; s <= _nctmcpl; s++)
            fprintf(VEXLAROUT, "  %le [kg/s]  %le [kg/s]  %le [kg/kg]", sign * fabs(F),
                    sign * fabs(F * c->Crate2[s]), sign * fabs(c->Crate2[s]));
    }
    fflush(VEXLAROUT);
}

}  // namespace

int comctm()
{
    if (!_ctlctmcpl || !zone()) return 0;
    CONTAMINANT = 1;
    if (_tcpl == 1) {
        flow(1);
        storectm();
        if (VSTEADY == 0) _doneflow = 0, CONTAMINANT = 0;
        return 0;
    }
    double S = 0.0, Tsum = 0.0;
    for (int s = 1; s <= _nctmcpl; s++)
        for (const CplPath* c = zone()->paths; c; c = c->next) {
            if (!entering(c) || !c->Crate2) continue;
            double m = c->other_node->mf ? c->other_node->mf[s - 1] : 0.0;
            Tsum += m;
            S += fabs(c->Crate2[s] - m);
        }
    double ratio = S / (Tsum + 1e-6);
    if ((VSTEADY == 1 && _cciter < 1) || (ratio > 0.001 && _cciter < 101)) {
        flow(1);
        _cciter += 1;
        _cpl = 1;
        return 1;
    }
    if (ratio <= 0.001 && _cciter < 101) {
        // The openings agree; the zone's own species solve must have converged as well.
        if (cfd_ctm_converged) cfd_say("\nContaminant coupling converge at iteration %d\n\n", _cciter);
        _cciter = 0;
        _donectm = 1;
        storectm();
        openingTable();
        _donectm = 0;
        if (_ctmcpl == 2) setCmon(1);
        // The run control's contaminant switches stay on: the step's results, exfiltration
        // and summaries are booked after this, and the next step's coupling sets them again.
        if (VSTEADY == 0) {
            _doneflow = 0;
            _ctlctmcpl = 0;
            CONTAMINANT = 0;
        }
        return 0;
    }
    if (_ctmcpl > 2)
        errorf(FATAL, __FILE__, __LINE__, "\nContaminant coupling reach the maximum iteration %d\n\n", _cciter - 1);
    cfd_say("\nContaminant coupling reach the maximum iteration %d\n\n", _cciter - 1);
    _donectm = 1;
    _cciter = 0;
    return 0;
}

int inctmctm(double* e, int flag, int start, int end)
{
    CfdZone* z = zone();
    if (!z || _tcpl == 1 || CONTAMINANT == 0 || !flag) return 1;
    for (const CplPath* c = z->paths; c; c = c->next) {
        const AirNode* o = c->other_node;
        if (!o || ambient(o) || !leaving(c) || !c->Crate2 || !o->mf_eqn) continue;
        double F = c->path->flow_sum;
        for (int s = 1; s <= _nctmcpl; s++)
            if (s - 1 >= start && s - 1 < end) e[o->mf_eqn[s - 1]] += fabs(c->Crate2[s] * F);
    }
    return 1;
}

double avePHI(int i1, int i2, int j1, int j2, int k1, int k2, double*** phi)
{
    if (i2 < i1) return std::nan("");
    double sv = 0.0, svp = 0.0;
    for (int i = i1; i <= i2; i++)
        for (int j = j1; j <= j2; j++)
            for (int k = k1; k <= k2; k++)
                if (ICELL[i][j][k] == 0) {
                    sv += VOL[i][j][k];
                    svp += VOL[i][j][k] * phi[i][j][k];
                }
    return svp / sv;
}

void setCmon(int mode)
{
    CfdZone* z = zone();
    if (!z || !C1 || _tcpl == 1 || !z->node->mf) return;
    for (int s = 1; s <= _nctmcpl; s++) {
        double*** c = cfd_species(s);
        double v = 0.0;
        if (mode == 1 && c) v = c[IMON][JMON][KMON];
        else if (mode == 2 && c) v = avePHI(2, IM1, 2, JM1, 2, KM1, c);
        z->node->mf[s - 1] = v;
    }
}

void storectm()
{
    for (int s = 1; s <= 5; s++)
        if (cfd_species(s) && cfd_species_old(s)) cfd_copy_field(cfd_species_old(s), cfd_species(s));
    if (UP) {
        int i = IMON, j = JMON, k = KMON;
        cfd_monitor_line(UP[i][j][k], VP[i][j][k], WP[i][j][k], true);
    }
    if (CSTEADY) cfd_coupled_frame(1);
    else cfd_counted_frame(1);
    // The solver's time moves on once per coupled contaminant step, also over a steady
    // airflow, whose own store step does not advance it.
    CFDTIME += TIMESTEP;
}

}  // namespace vexlar
