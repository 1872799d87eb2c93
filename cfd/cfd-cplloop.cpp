// The airflow coupling of the CFD zone with the network. cplloop runs once per network
// airflow solution: it takes each opening's direction, flow and power law from the
// network, runs the CFD solver when the mode asks for it, writes the coupling tables and
// tells the caller whether the network must be solved again. incfd hands the openings to
// the solver while it reads its input, outcfd takes the solver's opening values back, and
// invexlar_loc feeds the CFD pressures into the network's stack terms.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "cfd/cfd-int.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/run-control.h"

namespace vexlar {

namespace {

CfdZone* zone() { return COUPLE && _cfdzone ? &_cfdzone[1] : nullptr; }

void copyNodeState(CfdZone* z, const AirNode* n)
{
    z->temperature = n->temperature;
    z->pressure = n->pressure;
    z->density = n->density;
    z->volume = n->volume;
}

PlrData* plr(AirPath* p) { return static_cast<PlrData*>(p->element->model_data); }

bool powerLaw(const AirPath* p)
{
    return p->element->type >= AFE_PLR_ORFC && p->element->type <= AFE_PLR_SHAFT;
}

// Heights, rise and far node of an opening, seen from the CFD node.
void orient(CplPath* c, bool cfdIsFrom)
{
    const AirPath* p = c->path;
    c->dz_cfd = cfdIsFrom ? p->dz_from : p->dz_to;
    c->dz_other = cfdIsFrom ? p->dz_to : p->dz_from;
    c->rise = cfdIsFrom ? p->duct_rise : -p->duct_rise;
    c->other_node = cfdIsFrom ? p->to_node : p->from_node;
}

double signedNetFlow(const CplPath* c) { return c->direction == 0 ? fabs(c->flow) : -fabs(c->flow); }

void classifyPowerLaw(CplPath* c, bool cfdIsFrom, bool restartDirection)
{
    AirPath* p = c->path;
    orient(c, cfdIsFrom);
    c->direction = cfdIsFrom ? (p->dp >= 0 ? 1 : 0) : (p->dp <= 0 ? 1 : 0);
    if (restartDirection) c->direction = findrstio(c);
    c->stack_p = p->stack_pressure;
    c->dp = p->dp;
    c->wind_p = *p->wind_pressure;
    c->flow0 = p->mass_flow[0];
    c->flow1 = p->mass_flow[1];
    c->multiplier = p->multiplier;
    c->flow = p->flow_sum;
    c->expo = plr(p)->flow_exponent;
    if (fabs(c->dp) > 1e-10) {
        c->coe = fabs(c->flow0) / pow(fabs(c->dp), c->expo);
    } else {
        c->flow = 0.0f;
        c->coe = CFD_STILL_PATH_COEFFICIENT;
        c->expo = 1.0;
    }
    if (_cpliter == 0) c->coe0 = c->coe, c->expo0 = c->expo;
}

// Fans and air-handling paths: their end fixes the direction, not the flow's sign.
void classifyFixedFlow(CplPath* c, bool cfdIsFrom, bool ahs)
{
    const AirPath* p = c->path;
    orient(c, cfdIsFrom);
    c->direction = cfdIsFrom ? 1 : 0;
    c->flow = p->flow_sum;
    double sign = ahs && cfdIsFrom ? -1.0 : 1.0;
    c->flow0 = sign * p->mass_flow[0];
    c->flow1 = sign * p->mass_flow[1];
    c->bc_type = 6;
    c->value_source = 1;
    if (ahs) c->bc_kind = 0;
}

// Phase 1: the network's state at every opening.
void exchangeState()
{
    CfdZone* z = zone();
    copyNodeState(_refzone, _pambt);
    copyNodeState(z, z->node);
    z->n_inlets = z->n_outlets = 0;
    bool restartDirection = _crestart && _rcdat.cfd_cpl == 3 && VSTEADY == 1;
    for (CplPath* c = z->paths; c; c = c->next) {
        c->cfd_node = z->node;
        bool cfdIsFrom = c->path->from_node == z->node;
        int t = c->path->element->type;
        if (powerLaw(c->path)) {
            classifyPowerLaw(c, cfdIsFrom, restartDirection);
        } else if (t == AFE_FAN_CMF || t == AFE_FAN_CVF || t == AFE_AHS_SR) {
            classifyFixedFlow(c, cfdIsFrom, t == AFE_AHS_SR);
        } else {
            error(FATAL, __FILE__, __LINE__, "outvexlar(): this flow element is not supported currently", "");
        }
        c->net_flow = signedNetFlow(c);
        c->side = c->direction == 0 ? 0 : 1;
        if (c->side == 0) z->n_inlets++;
        else z->n_outlets++;
    }
}

// Phase 2: one line per opening for the coupling iteration in hand.
void iterationTable()
{
    if (!VEXLAROUT || _cpliter <= 0 || _doneflow || !(_cpliter == 1 || _cpliter % _dumpR == 0)) return;
    int i = _cpliter;
    fprintf(VEXLAROUT, "\n\nCPL   ZFLO_NITER   Path       Coe_VEXLAR    Exp_VEXLAR      PressureB_VEXLAR  "
                       "PressureB_ZFLO  Mass1_VEXLAR    Mass_ZFLO       Mass2_VEXLAR    PressureL_ZFLO  "
                       "Pressure_ext_ZFLO\n");
    for (const CplPath* c = zone()->paths; c; c = c->next)
        fprintf(VEXLAROUT, "%-9d %-9ld %-9d %-13le %-15le %-17le %-15le %-15le %-15le %-15le %-15le %-15le\n",
                i, _cfdniter[i], c->path_index, c->ctmcoe[i], c->ctmexp[i], c->pcomputed[i], c->pused[i],
                c->mbefore[i], c->mafter[i], c->net_flow, c->Plocal[i], c->cfdetp[i]);
    fflush(VEXLAROUT);
}

// Difference of the openings' network and CFD flows relative to the network's inflow;
// infinite without inflow.
double flowMismatch()
{
    double S = 0.0, D = 0.0;
    for (const CplPath* c = zone()->paths; c; c = c->next) {
        S += fabs(c->net_flow - c->cfd_flow_copy);
        if (c->direction == 0) D += fabs(c->net_flow);
    }
    return D > 0 ? S / D : HUGE_VAL;
}

// Network and CFD flows of the openings agree within the coupling's tolerance (a mismatch
// of exactly 0 does not end the iteration).
bool flowsAgree()
{
    double m = flowMismatch();
    return m > 0 && m <= _convcpl;
}

// The end of an iterated coupling step is converged when the flows agree (a limit of one
// exchange asks for no agreement) and the zone's last airflow solve met its criterion; a
// limit reached with the flows still apart is said as such.
void sayCouplingEnd()
{
    bool agreed = MAXCPL <= 1 || flowMismatch() <= _convcpl;
    if (agreed && cfd_flow_converged) cfd_say("\nAirflow coupling converge at iteration %d\n", _cpliter);
    else if (!agreed) cfd_say("\nAirflow coupling reach the maximum iteration %d\n", _cpliter);
}

void contaminantSwitching()
{
    RunControlData& r = _rcdat;
    if (_ctmcpl <= 0) return;
    _ctlctmcpl = 1;
    // Only the implicit method has a trace system of its own (the short-time-step method
    // has none, the stiff integrator one combined system of all species).
    bool traceSystem = _nntc < _nctm && r.mf_solver == 0;
    if (_ctmcpl == 1 && VSTEADY == 1) {
        CONTAMINANT = 1;
        r.sim_mf = 1;
        r.mft_on = traceSystem;
    } else if (_ctmcpl == 2) {
        if (r.start_time < _stepEndTime) {
            if (VSTEADY == 1 || _tcpl >= 2) CONTAMINANT = 1;
        } else {
            CONTAMINANT = 0;
            if (_tcpl == 3) _cpl = 0;
        }
        r.sim_mf = 2;
        r.mft_on = traceSystem;
    }
}

const char* HISTORY_FMT = "%-9d %-9d %-9ld %-13le %-15le %-17le %-15le %-15le %-15le %-15le %-15le\n";

void historyTables()
{
    if (!VEXLAROUT) return;
    int f = _finaliter;
    for (const CplPath* c = zone()->paths; c; c = c->next) {
        fprintf(VEXLAROUT, "\nPath  VEXLAR_Run  ZFLO_NITER  Coe_VEXLAR    Exp_VEXLAR      PressureB_VEXLAR  "
                           "PressureB_ZFLO  Mass_VEXLAR     Mass_ZFLO       PressureL_ZFLO  Pressure_ext_ZFLO\n");
        for (int l = 1; l <= f; l++)
            if (l == 1 || l % _dumpR == 0)
                fprintf(VEXLAROUT, HISTORY_FMT, c->path_index, l, _cfdniter[l], c->ctmcoe[l], c->ctmexp[l],
                        c->pcomputed[l], c->pused[l], c->mbefore[l], c->mafter[l], c->Plocal[l], c->cfdetp[l]);
        fprintf(VEXLAROUT, HISTORY_FMT, c->path_index, f + 1, _cfdniter[f], c->coe, c->expo, c->pcomputed[f],
                c->pused[f], c->net_flow, c->mafter[f], c->Plocal[f], c->cfdetp[f]);
    }
    fflush(VEXLAROUT);
}

void restartRecords()
{
    if (!CPLRST || _crestart) return;
    int f = _finaliter;
    for (const CplPath* c = zone()->paths; c; c = c->next)
        fprintf(CPLRST, "%s\n %d %-17le %-13le %-15le %-9d %-9ld %-15le %-15le %-15le %-15le %-15le %-15le\n",
                c->name, c->direction, c->pcomputed[f], c->ctmcoe[f], c->ctmexp[f], f, _cfdniter[f], c->pused[f],
                c->mbefore[f], c->mafter[f], c->net_flow, c->Plocal[f], c->cfdetp[f]);
    cfd_close_checked(&CPLRST, cfd_cpr_path());
}

// ---- The zone's balance at the end of a step --------------------------------------------------

// Air that enters and leaves the zone [kg/s].
struct Throughflow {
    double in = 0.0, out = 0.0;
    void add(double into) { (into > 0 ? in : out) += fabs(into); }
    double imbalance() const { return fabs(in - out); }
    // Apart by more than the part tol of the larger of the two; flows below the threshold
    // at which an opening counts as still (1e-10 kg/s) are no imbalance.
    bool apart(double tol) const { return imbalance() > fmax(tol * fmax(in, out), 1e-10); }
};

// An opening's flow into the zone: the opening's law gives it so; a coupled opening's flow
// is a sum of velocities, positive along the axis.
double intoZone(int kind, int code, double mass) { return kind == 3 ? face_inward(code) * mass : mass; }

Throughflow solverFlows()
{
    Throughflow f;
    for (int k = 1; k <= NBIN; k++) f.add(intoZone(PITYPE[k], INTY[k], AMASSIN[k]));
    for (int k = 1; k <= NBOUT; k++) f.add(intoZone(POTYPE[k], IOTY[k], AMASSOUT[k]));
    return f;
}

Throughflow networkFlows()
{
    Throughflow f;
    for (const CplPath* c = zone()->paths; c; c = c->next) f.add(c->net_flow);
    return f;
}

// A zone that lets out less or more air than it takes in has no solution the network can
// use, whatever it reports: the run ends here instead of writing results on it. The
// iterated coupling sets the zone's node pressure from the zone, so the network's flows
// at the node must balance as well, to the coupling's own tolerance when that is looser.
void checkBalance()
{
    Throughflow cfd = solverFlows(), net = networkFlows();
    bool netApart = net.apart(_tcpl == 3 ? fmax(CFD_BALANCE_TOLERANCE, _convcpl) : CFD_BALANCE_TOLERANCE);
    if (!cfd.apart(CFD_BALANCE_TOLERANCE) && !(_tcpl == 3 && netApart)) return;
    const AirNode* n = zone()->node;
    const Throughflow& worst = cfd.apart(CFD_BALANCE_TOLERANCE) ? cfd : net;
    char residuals[256];
    cfd_residual_text(residuals, sizeof residuals);
    // Handed flows the network did not balance (modes 1 and 2), the zone cannot balance
    // them either: the network's convergence is what to tighten.
    const char* advice = _tcpl == 3 ? ", or raise the coupling's iteration limit"
                         : netApart ? ", or tighten the airflow convergence of Run Control: the network's "
                                      "flows at the zone do not balance"
                                    : "";
    errorf(FATAL, __FILE__, __LINE__,
           "CFD zone %d (%s) does not balance its air: %.4g kg/s in and %.4g kg/s out in the zone's solution, "
           "%.4g kg/s in and %.4g kg/s out in the network, apart by %.3g kg/s (%.3g %% of the air through it); "
           "%s. Let air pass every opening, raise the iteration limit or lower the under-relaxation factors "
           "in %s%s",
           n->number, n->cfd_name, cfd.in, cfd.out, net.in, net.out, worst.imbalance(),
           100 * worst.imbalance() / fmax(worst.in, worst.out), residuals, cfd_input_name(), advice);
}

// Phase 4: the coupling step is finished.
int endOfStep()
{
    checkBalance();
    _doneflow = _ctmcpl == 0 && VSTEADY == 0 ? 0 : 1;
    storeflow();
    historyTables();
    restartRecords();
    _cpliter = 0;
    // In mode 3 the coupled paths keep the CFD's law between steps, so a transient run's
    // next network solutions keep the CFD's pressures at the openings as well; without
    // them each step would start from a network that does not balance the zone.
    _cpl = _tcpl == 3 && VSTEADY == 0 ? 1 : 0;
    int result = 0;
    if (VSTEADY == 1 && _rcdat.cfd_cpl == 3 && _crestart) _cpl = 1, result = 1;
    if (_ctmcpl > 0 && _tcpl >= 2) decpl(9);
    return result;
}

}  // namespace

int cplloop()
{
    if (!zone()) return 0;
    exchangeState();
    iterationTable();
    if (_doneflow && VSTEADY == 1) return 0;
    bool switchContaminants = false;
    if (_tcpl == 1 || _tcpl == 2) {
        if (_cpliter == 0) _cpliter = 1, _cpl = 1;
        else _cpl = 0;
        _finaliter = _cpliter;
        switchContaminants = true;
    } else if (_tcpl == 3) {
        bool iterate = false;
        if (_cpliter < MAXCPL && !(MAXCPL > 1 && _cpliter > 1 && flowsAgree())) {
            _cpliter += 1;
            _cpl = 1;
            _doneflow = 0;
            iterate = true;
        }
        if (!iterate) {
            sayCouplingEnd();
            _finaliter = _cpliter;
            _doneflow = 1;
            if (_ctmcpl >= 1) _cpliter += 1, _cpl = 1;
            else _cpliter = 0, _cpl = 0;
            switchContaminants = true;
        }
    } else {
        _cpl = 0;
        _doneflow = 0;
        return 0;
    }
    if (!CPLTE) cfd_tecplot_open();
    TIMESTEP = _time_step;
    if (switchContaminants) contaminantSwitching();
    bool ran = false;
    if (_cpl == 1) {
        flow(1);
        ran = true;
    }
    if (_doneflow == 0 && (_tcpl == 3 || !ran)) return _cpl;
    return endOfStep();
}

// ---- Hand-over to the solver's input stage ----------------------------------------------------

namespace {

// The coupled path an opening of the input file names: its name starts with the path's
// CFD name (the longest such name wins); paths without a name never match.
CplPath* matchPath(CfdZone* z, const char* name)
{
    CplPath* best = nullptr;
    size_t bestLen = 0;
    for (CplPath* c = z->paths; c; c = c->next) {
        size_t len = strnlen(c->name, sizeof c->name);
        if (len == 0 || strncmp(c->name, name, len) != 0 || len <= bestLen) continue;
        best = c;
        bestLen = len;
    }
    return best;
}

// Pressure at the opening on the network side, with the ambient's hydrostatic part added
// as the CFD pressures hold it.
double boundaryPressure(const CplPath* c)
{
    const AirNode* o = c->other_node;
    double z = o->height + c->dz_other;
    return z * GRA * _refzone->density + (c->wind_p + o->pressure - o->density * GRA * c->dz_other);
}

void logLocation(const char* name, const char* array, int k, const int* loc)
{
    for (int e = 1; e <= 6; e++) ulog_printf("%s %s[%1d][%1d] = %d\n", name, array, k, e, loc[e]);
    ulog_printf("\n");
}

struct Side {
    int *type, *mtype, **loc;
    double *mass, *coe, *expo, *pb, *p1, *p2, *temp, *vel, **conc, **side;
    char** names;
};

Side inletSide() { return {PITYPE, IMTYPE, LBIN, AMASSIN, COEIN, EXPIN, PBIN, PIN1, PIN2, TBIN, nullptr, CBIN, CBINSIDE, NMIN}; }
Side outletSide() { return {POTYPE, OMTYPE, LBOUT, AMASSOUT, COEOUT, EXPOUT, PBOUT, POUT1, POUT2, TBOUT, VBOUT, CBOUT, CBOUTSIDE, NMOUT}; }

void handOver(CplPath* c, const char* name, const int* loc, int k)
{
    bool inlet = c->side == 0;
    Side s = inlet ? inletSide() : outletSide();
    c->cfd_index = k;
    c->pb_prev = c->pb;
    c->pb = boundaryPressure(c);
    int i = _cpliter;
    c->pcomputed[i] = c->pb;
    c->mbefore[i] = c->net_flow = signedNetFlow(c);
    c->ctmcoe[i] = c->coe;
    c->ctmexp[i] = c->expo;
    s.mtype[k] = c->value_source;
    snprintf(s.names[k], 4097, "%s", name);
    for (int e = 1; e <= 6; e++) s.loc[k][e] = loc[e];
    logLocation(name, inlet ? "LBIN" : "LBOUT", k, loc);
    switch (c->bc_kind) {
    case 1: s.type[k] = 2, PBYN = 1; break;
    case 4: s.type[k] = 3; break;
    default: s.type[k] = 1; break;
    }
    c->flow_mag = fabs(c->flow);
    s.mass[k] = inlet ? fabs(c->flow) : -fabs(c->flow);
    s.coe[k] = c->coe0;
    s.expo[k] = c->expo0;
    // The velocities follow from the mass flow handed over now (the field set-up derives
    // them only when they are 0), so a changed flow never meets an old velocity.
    if (inlet) UBIN[k] = VBIN[k] = WBIN[k] = 0.0;
    else VBOUT[k] = 0.0;
    if (fabs(s.mass[k]) <= 1e-10) {
        s.mtype[k] = 1;
        s.coe[k] = -fabs(s.coe[k]);
        c->direction = 3;
    }
    // A coupled opening takes its inflow velocity from the solver's boundary layer, which
    // nothing fills: air entering through it would be lost without a trace.
    if (inlet && c->bc_kind == 4 && c->direction != 3)
        errorf(FATAL, __FILE__, __LINE__,
               "CFD path %d (%s) lets air into the zone through a coupled opening (boundary kind 4), "
               "which carries no inflow: give it boundary kind 0 (mass flow) or 1 (pressure)",
               c->path->number, c->name);
    if (CONTAMINANT && NOC >= 1 && NOC <= 5 && c->other_node->mf)
        for (int sp = 1; sp <= _nctmcpl; sp++) s.conc[k][sp] = s.side[k][sp] = fabs(c->other_node->mf[sp - 1]);
    s.pb[k] = c->pb;
    if (_crestart && _readrst && c->bc_kind == 1) {
        s.type[k] = 2;
        cfd_cpr_seek(c);
        int direction = c->direction;
        if (fscanf(CPLRST, "%d %le %le %le", &direction, &s.pb[k], &s.coe[k], &s.expo[k]) != 4)
            error(FATAL, __FILE__, __LINE__, "The restart file (cpr) entry of path ", c->name, " is incomplete", "");
        PBYN = 1;
    } else if (_cpliter >= 2) {
        s.p1[k] = c->p_ext;
        s.p2[k] = c->Plocal[_cpliter - 1];
    }
    c->pused[i] = s.pb[k];
    s.temp[k] = c->other_node->temperature;
    if (s.pb[k] < NULLP) NULLP = s.pb[k];
}

}  // namespace

int incfd()
{
    ulog_printf("===== incfd() =====\n");
    CfdZone* z = zone();
    if (!z) return 0;
    int listed = NBIN + NBOUT, paths = 0, nin = 0;
    for (CplPath* c = z->paths; c; c = c->next) {
        paths++;
        nin += c->side == 0;
        c->cfd_index = 0;
    }
    if (listed != paths)
        cfd_input_error("CFD input file lists %d openings but zone %d (%s) has %d coupled paths", listed,
                        z->node->number, z->node->cfd_name, paths);
    NBIN = nin;
    NBOUT = paths - nin;
    cfd_openings_reserve(NBIN, NBOUT);
    for (int k = 1; k <= NBIN; k++) for (int s = 1; s <= 5; s++) CBIN[k][s] = CBINSIDE[k][s] = 0.0;
    for (int k = 1; k <= NBOUT; k++) for (int s = 1; s <= 5; s++) CBOUT[k][s] = CBOUTSIDE[k][s] = 0.0;
    FLOWIN = 0.0;
    REFDENS = TM = 0.0;
    // The openings' pressures set the zone's pressure level when any of them is a pressure
    // opening, whatever the order they come in; else the reference cell does.
    PBYN = 0;
    int kin = 0, kout = 0;
    for (int e = 0; e < paths; e++) {
        char name[1024];
        int loc[7] = {0};
        if (!cfd_read_opening(name, loc))
            cfd_input_error("CFD input file error end of file before opening");
        CplPath* c = matchPath(z, name);
        if (!c)
            cfd_input_error("CFD opening \"%s\" matches no coupled path of zone %d (%s)", name, z->node->number,
                            z->node->cfd_name);
        if (c->cfd_index)
            cfd_input_error("CFD opening \"%s\" names path %d a second time", name, c->path->number);
        handOver(c, name, loc, c->side == 0 ? ++kin : ++kout);
    }
    // The volume-weighted means over the CFD zones are those of the one zone.
    REFDENS = z->density;
    TM = TINIT = z->temperature;
    _readrst = 0;
    OPERDENS = _refzone->density;
    return 1;
}

void outcfd()
{
    CfdZone* z = zone();
    if (!z) return;
    int i = _cpliter;
    _cfdniter[i] = NITER;
    if (P && psaved) cfd_copy_field(psaved, P);
    for (CplPath* c = z->paths; c; c = c->next) {
        int k = c->cfd_index;
        if (k < 1) continue;
        bool inlet = c->side == 0;
        double mass = inlet ? AMASSIN[k] : AMASSOUT[k];
        double p1 = inlet ? PIN1[k] : POUT1[k], p2 = inlet ? PIN2[k] : POUT2[k];
        c->reversed = inlet ? mass < 0 : mass > 0;
        c->p_ext_prev = c->p_ext_cur;
        c->cfdetp[i] = c->p_ext_cur = p1;
        c->cfd_flow = mass;
        c->p_local_prev = c->Plocal[i];
        c->Plocal1[i] = c->p_local_prev;
        c->Plocal[i] = p2;
        if (c->bc_type == 1) c->p_ext = p1, c->p_local = p2;
        if (_ctmcpl >= 1 && CONTAMINANT && c->Crate2) {
            if (_nctmcpl == 0)
                error(FATAL, __FILE__, __LINE__, inlet ? "Number of contaminant is zero for coupled contaminant simulation"
                                                       : "Number of contamiant is zero for coupled contaminant simulation", "");
            double** conc = inlet ? CBIN : CBOUT;
            for (int s = 1; s <= _nctmcpl; s++) {
                c->Crate1[s] = c->Crate2[s];
                c->Crate2[s] = fabs(conc[k][s]);
            }
        }
        c->mafter[i] = c->cfd_flow_copy = c->cfd_flow;
    }
}

// ---- The network's stack terms ----------------------------------------------------------------

void invexlar_loc(AirPath* pp, double* to_term, double* from_term, double, double)
{
    CfdZone* z = zone();
    if (!z) return;
    for (CplPath* c = z->paths; c; c = c->next) {
        // Each opening of this path feeds its own value; an opening without flow keeps the
        // network's term.
        if (c->path != pp || c->bc_type != 1 || c->direction == 3 || !powerLaw(pp)) continue;
        AirNode* n = z->node;
        n->flags = 2;
        n->pressure = _cfdzonemp;
        const AirNode* o = c->other_node;
        double v = _cfdzonemp - (c->p_local - (o->height + c->dz_other) * OPERDENS * GRA);
        *(n == pp->from_node ? from_term : to_term) = v;
        plr(pp)->flow_exponent = 1.0f;
        double m = fabs(c->p_ext / c->coe) * c->multiplier;
        if (c->coe != 0 && std::isfinite(m)) pp->multiplier = (float)m;
    }
}

// ---- End of a coupled airflow solution ----------------------------------------------------------

void cfd_copy_field(double*** to, double*** from)
{
    for (int i = 1; i <= IMAX; i++)
        for (int j = 1; j <= JMAX; j++)
            for (int k = 1; k <= KMAX; k++) to[i][j][k] = from[i][j][k];
}

void cfd_monitor_line(double u, double v, double w, bool species)
{
    if (!MON) return;
    int i = IMON, j = JMON, k = KMON;
    fprintf(MON, "\n%s\t%lf\t%lf\t%lf\t%lf\t%lf\t", steptimestr(_stepEndTime), u, v, w,
            sqrt(u * u + v * v + w * w), P[i][j][k]);
    if (ENERGY) fprintf(MON, "%lf\t", T[i][j][k] - 273.0);   // the header's T(C)
    for (int s = 1; s <= 5 && species; s++)
        if (cfd_species(s)) fprintf(MON, "%le\t", 1e6 * cfd_species(s)[i][j][k]);
    fflush(MON);
}

void cfd_coupled_frame(int ctm)
{
    if (CPLTE) plotvt(CPLTE, PrintVel, PrintGeo, ctm);
}

// A frame at the first solver time, every TPLSTEP steps and at the last time.
void cfd_counted_frame(int ctm)
{
    if (!CPLTE) return;
    _cnctlt += 1;
    if (CFDTIME == _rcdat.start_time || _cnctlt >= TPLSTEP || CFDTIME == TIMEMAX) {
        cfd_coupled_frame(ctm);
        _cnctlt = 0;
    }
}

static void writeFieldRestart()
{
    if (!VA) VA = cfd_create(cfd_zone_path(".var"), "wb", "Unable to open CFD field restart file ");
    if (!VA) return;
    for (int i = 1; i <= IMAX; i++)
        for (int j = 1; j <= JMAX; j++)
            for (int k = 1; k <= KMAX; k++)
                for (double*** f : {U, V, W, P, T, VIS}) cfd_put_f64(VA, f[i][j][k]);
    cfd_close_checked(&VA, cfd_zone_path(".var"));
}

void storeflow()
{
    if (!U) return;
    double*** const fields[5][2] = {{UOLD, U}, {VOLD, V}, {WOLD, W}, {TOLD, T}, {POLD, P}};
    for (auto& f : fields) cfd_copy_field(f[0], f[1]);
    if (CONTAMINANT == 0) cfd_monitor_line(U[IMON][JMON][KMON], V[IMON][JMON][KMON], W[IMON][JMON][KMON], false);
    if (_ctmcpl == 0) {
        if (VSTEADY) cfd_coupled_frame(0);
        else cfd_counted_frame(0);
        CFDTIME += TIMESTEP;
    } else if (_ctmcpl == 2 && CFDTIME == _rcdat.start_time) {
        if (VSTEADY == 0) _doneflow = 0;
        cfd_coupled_frame(0);
        CFDTIME += TIMESTEP;
    }
    if (_crestart == 0 && (CFDTIME > TIMEMAX || VSTEADY)) writeFieldRestart();
}

}  // namespace vexlar
