// Building pressurization test (run mode 4). The conditioned space is held at the test
// pressure above the ambient, with air at 20 C everywhere and no wind pressure on any
// opening, so the result does not depend on the project's temperatures or wind. Fans, air-handling systems and the duct
// terminals that blow outdoors or into unconditioned zones are shut; zones marked
// unconditioned float. One steady airflow solution gives the envelope leakage, reported
// in ".val" in metric and imperial units, path by path.
#include "simulation/sim-bldg-pres.h"

#include <cmath>

#include "airflow/afe-sim.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/constants.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "output/sim-out.h"
#include "simulation/sim-bldg-int.h"
#include "simulation/simulate.h"

namespace vexlar {

namespace {

constexpr double TEST_TEMPERATURE = T_REF;      // 20 C [K]
constexpr double DRY_AIR_RT = 84150.17325;      // 287.055 J/(kg K) x 293.15 K: rho = Pbar / RT
constexpr double PA_PER_INH2O = 248.84;         // inch of water
constexpr double PA_PER_INHG = 3386.389;        // inch of mercury at 0 C
constexpr double LBFT3_PER_KGM3 = 0.0624279606;

// Elements that move air by themselves and are switched off through their control value.
bool isDrivenFlow(int type)
{
    switch (type) {
    case AFE_FAN_CMF: case AFE_FAN_CVF: case AFE_DCT_FAN: case AFE_DCT_CMF: case AFE_DCT_CVF:
    case AFE_AHS_SR:
        return true;
    default:
        return false;
    }
}

// Whether a path before p uses p's element, whose data has then been cut already.
bool elementSeenBefore(const AirPath* p)
{
    for (const AirPath* q = _pafp0; q != p; q = q->next)
        if (q->element == p->element) return true;
    return false;
}

// A curve fan off: its off-fan leakage a thousandth of the project's, once per element
// however many paths use it.
void shutCurveFan(AirPath* p)
{
    if (!elementSeenBefore(p)) {
        FanData* d = static_cast<FanData*>(p->element->model_data);
        d->plr.lam_coef /= 1000.0f;
        d->plr.turb_coef /= 1000.0f;
    }
    p->value_ptr = &_zero;
}

// The flow an envelope path contributes: both flows of a two-opening door, the first of
// any other element. A second flow elsewhere (a one-opening door whose neutral plane lies
// within it) is left out; with `report` it is an ERROR saying so.
double envelopeFlow(const AirPath* p, bool report)
{
    double f = std::fabs(p->mass_flow[0]);
    if (p->element && p->element->type == AFE_DOR_PL2) return f + std::fabs(p->mass_flow[1]);
    if (report && p->mass_flow[1] != 0.0)
        error(ERROR, __FILE__, __LINE__, "Unexpected 2nd flow, path ", intstr(p->number), ": element ",
              p->element ? p->element->name : "(none)",
              " carries air both ways at the test pressure and only its first flow is counted;"
              " give the path a two-opening door element or raise the test pressure", "");
    return f;
}

bool isEnvelopePath(const AirPath* p) { return p->env_dir != 0 && p->kind == 0; }

// The two ends of a path as the report names them: the conditioned end, then the
// unconditioned one. When both are unconditioned the zone, not the ambient, is the Uzone.
void pathEnds(const AirPath* p, int* czone, int* uzone)
{
    const AirNode* c = p->from_node;
    const AirNode* u = p->to_node;
    bool from_u = (c->flags & NODE_AMBIENT) != 0, to_u = (u->flags & NODE_AMBIENT) != 0;
    if ((from_u && !to_u) || (from_u && to_u && c != _pambt)) {
        const AirNode* swap = c;
        c = u;
        u = swap;
    }
    *czone = c->number;
    *uzone = u->number;
}

// One line per unit: mass flows in kg/s, kg/h and scfm, volume flows in L/s, m3/h, cfm.
void writeFlowRow(FILE* f, double F, double rho)
{
    double q = F / rho;
    fprintf(f, "\t%.4g\t%.4g\t%.4g\t%.4g\t%.4g\t%.4g\n", F, 3600.0 * F, VAL_CFM_PER_M3S * F / RHO_REF,
            1000.0 * q, 3600.0 * q, VAL_CFM_PER_M3S * q);
}

void writeDetails(FILE* f, double rho)
{
    fprintf(f, "\nAirflow Details:\n"
               "Path\tCzone\tUzone\tdP [Pa]\t[in.H2O]\tF [kg/s]\t[kg/h]\t[scfm]\tQ [L/s]\t[m^3/h]\t[cfm]\n");
    for (const AirPath* p = _pafp0; p; p = p->next) {
        if (!isEnvelopePath(p)) continue;
        int czone, uzone;
        pathEnds(p, &czone, &uzone);
        double dp = std::fabs(p->dp);
        fprintf(f, "%d\t%d\t%d\t%.2f\t%.4f", p->number, czone, uzone, dp, dp / PA_PER_INH2O);
        writeFlowRow(f, envelopeFlow(p, true), rho);
    }
}

}  // namespace

void bpTestConditions(double rho)
{
    const double dp = _rcdat.bldg_dp;
    const double g = _rcdat.gravity;
    for (AirNode* n = _afnd0; n; n = n->next) {
        n->temperature = TEST_TEMPERATURE;
        // The test pressure holds across the envelope at every height: the node's
        // reference pressure is taken at its own elevation.
        if (!(n->flags & NODE_VAR_P)) n->pressure = dp - g * rho * n->height;
    }
    _pambt->flags &= ~NODE_VAR_P;
    _pambt->pressure = 0.0;
    // No wind: an opening given a fixed wind pressure would otherwise keep it and see
    // another pressure difference than the test's.
    for (AirPath* p = _pafp0; p; p = p->next) p->wind_pressure = &_zero;
}

void bpShutMechanical()
{
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (p->kind == 2) {
            if (p->to_node->flags & NODE_AMBIENT) {
                static_cast<TerminalData*>(p->element->model_data)->area /= 1000.0f;
                p->value_ptr = &_zero;
            }
        } else if (p->kind == 3) {
            p->duct_data->leak_coef /= 10000.0f;
        } else if (p->element && p->element->type == AFE_FAN_FAN) {
            shutCurveFan(p);
        } else if (p->element && isDrivenFlow(p->element->type)) {
            p->value_ptr = &_zero;
        }
    }
}

double bpTestFlow()
{
    double F = 0.0;
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (isEnvelopePath(p)) F += envelopeFlow(p, false);
    return F;
}

void bpWriteReport(FILE* f, double rho, double F, const BldgVolumes& v)
{
    const double dp = _rcdat.bldg_dp;
    const double V = F / rho;
    fprintf(f, "Building Pressurization Test for %s%s\n\n", _prjname, _pext);
    fprintf(f, "Pressurization:\n%.1f\tPa\n%.3f\tin.H2O\n\n", dp, dp / PA_PER_INH2O);
    fprintf(f, "Mass flow rate:\n%.4g\tkg/s\n%.4g\tkg/h\n%.4g\tscfm\n", F, 3600.0 * F,
            VAL_CFM_PER_M3S * F / RHO_REF);
    fprintf(f, "Volume flow rate:\n%.4g\tL/s\n%.4g\tm^3/h\n%.4g\tcfm\n\n", 1000.0 * V, 3600.0 * V,
            VAL_CFM_PER_M3S * V);
    fprintf(f, "Ambient conditions:\nPressure\n%.0f\tPa\n%.3f\tin.Hg\n", _wthdat.Pbar,
            _wthdat.Pbar / PA_PER_INHG);
    fprintf(f, "Temperature\n20\tC\n68\tF\nAir Density\n%.4f\tkg/m^3\n%.5f\tlb/ft^3\n", rho,
            rho * LBFT3_PER_KGM3);
    fprintf(f, "\nVolumes:\n");
    writeVolumes(f, v);
    writeDetails(f, rho);
}

void BldgPres()
{
    ulog_printf("Building pressurization test called\n");
    removeResultFile(".val");
    _rcdat.densZP = 0;
    _wthdat.WS = 0.0f;
    _wthdat.WD = 0.0f;
    const double rho = _wthdat.Pbar / DRY_AIR_RT;
    const BldgVolumes v = bldgVolumes();
    if (!haveConditionedZone()) {
        declineTest("No conditioned zone to pressurize: no pressurization test report");
        return;
    }
    if (!haveEnvelopePath(true)) {
        declineTest("No envelope path to leak through: no pressurization test report");
        return;
    }
    bpTestConditions(rho);
    bpShutMechanical();
    sim_init(1);
    const double F = bpTestFlow();
    FILE* f = openValReport();
    bpWriteReport(f, rho, F, v);
    closeValReport();
}

}  // namespace vexlar
