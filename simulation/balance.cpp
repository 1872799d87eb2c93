// Duct balancing (run mode 2). After a steady airflow solution at 20 C without wind, each
// balanced terminal is walked upstream (supply) or downstream (return) through the ducts
// to its fan; each fan becomes a constant mass flow of its terminals' total design flow,
// and the terminals above their design flow are throttled, one airflow solution per
// iteration, until every terminal passes its design flow. The ".bal" report is rewritten
// from its start at every stage, so it always holds one status and ends with "end".
#include "simulation/balance.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

#include "airflow/af-prep.h"
#include "airflow/afe-sim.h"
#include "airflow/solv-af.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/constants.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "output/sim-out.h"
#include "output/sqlite-out.h"
#include "simulation/simulate.h"

namespace vexlar {

BalDat* _BalDat0 = nullptr;
FILE* _ubal = nullptr;
static int s_balOpened;   // this run created the report

// A FATAL removes the report of this run, written in full or not; nothing else is touched.
void set_ubal_close(int flag)
{
    closeResultFile(&_ubal, flag && s_balOpened, ".bal");
}

namespace {

constexpr double BAL_TEMPERATURE = T_REF;           // air temperature of the balancing [K]
constexpr float FAN_REF_DENSITY = (float)RHO_REF;   // density of the fan-law ratio [kg/m3]

// ---- The report -------------------------------------------------------------------------

void balOpenReport()
{
    _ubal = createResultFile(".bal", "w", "BAL");
    s_balOpened = 1;
}

// Starts the report again from its first byte; truncating drops whatever a longer
// earlier stage left behind.
void balRewind()
{
    fflush(_ubal);
    rewind(_ubal);
    if (ftruncate(fileno(_ubal), 0) != 0) resultWriteFailed("Could not truncate BAL file ", ".bal", strerror(errno));
}

void balPuts(const char* text) { fputs(text, _ubal); }

// ---- Terminals and the walk ---------------------------------------------------------------

TerminalData* terminalData(const AirPath* p) { return static_cast<TerminalData*>(p->element->model_data); }

bool isDuctFan(const AirPath* p)
{
    int t = p->element->type;
    return t == AFE_DCT_FAN || t == AFE_DCT_CMF || t == AFE_DCT_CVF;
}

void detach(BalTerm** head, BalTerm* t)
{
    if (t->prev) t->prev->next = t->next;
    else *head = t->next;
    if (t->next) t->next->prev = t->prev;
    t->prev = t->next = nullptr;
}

void pushFinished(BalWalk* w, BalTerm* t)
{
    detach(&w->walking, t);
    t->next = w->finished;
    if (w->finished) w->finished->prev = t;
    w->finished = t;
}

// Moves a record along segment s to node `to`; a fan or another terminal ends its walk.
void moveAlong(BalWalk* w, BalTerm* t, AirPath* s, AirNode* to)
{
    t->node = to;
    t->moves++;
    if (isDuctFan(s)) {
        t->fan = s;
        pushFinished(w, t);
    } else if (to->kind == 2) {
        pushFinished(w, t);
    }
}

// The end of segment s a record at its current node reaches by walking against the flow
// (supply) or with it (return); null when the segment does not lead that way.
AirNode* searchStep(const BalTerm* t, const AirPath* s)
{
    bool with_from_to = (s->mass_flow[0] > 0.0) == (t->dir < 0);
    if (with_from_to) return t->node == s->from_node ? s->to_node : nullptr;
    return t->node == s->to_node ? s->from_node : nullptr;
}

// First step, per segment in path order: records still at their own junction leave it
// along the segment, whatever its flow.
void leaveOwnJunctions(BalWalk* w, AirPath* s)
{
    for (BalTerm *t = w->walking, *next; t; t = next) {
        next = t->next;
        if (t->node != t->terminal->from_node) continue;
        if (t->node == s->from_node) moveAlong(w, t, s, s->to_node);
        else if (t->node == s->to_node) moveAlong(w, t, s, s->from_node);
    }
}

// One pass over the segments; returns whether any record moved. A record that has walked
// as many segments as there are can only be going round a loop: it stops where it is.
bool walkPass(BalWalk* w)
{
    bool moved = false;
    for (BalDuct* d = w->ducts; d; d = d->next) {
        for (BalTerm *t = w->walking, *next; t; t = next) {
            next = t->next;
            if (t->moves >= w->nduct) continue;
            AirNode* to = searchStep(t, d->path);
            if (!to) continue;
            moveAlong(w, t, d->path, to);
            moved = true;
        }
    }
    return moved;
}

void writeWalkRows(const BalTerm* list, bool fanless_only)
{
    for (const BalTerm* t = list; t; t = t->next)
        if (!fanless_only || !t->fan)
            fprintf(_ubal, "trm\t%d\t%d\t%d\n", t->terminal->number, t->dir, t->node->number);
}

// ---- Fan systems --------------------------------------------------------------------------

BalDat* systemOf(const AirPath* fan)
{
    for (BalDat* b = _BalDat0; b; b = b->next)
        if (b->fan == fan) return b;
    return nullptr;
}

BalDat* newSystem(AirPath* fan)
{
    BalDat* b = alc_ecT<BalDat>(&_ms, "BalDat");
    b->fan = fan;
    if (fan->element->type == AFE_DCT_FAN) {
        const FanData* d = static_cast<const FanData*>(fan->element->model_data);
        b->has_curve = 1;
        for (int k = 0; k < 4; k++) b->curve[k] = d->curve_coef[k];
    }
    b->next = _BalDat0;
    _BalDat0 = b;
    return b;
}

void allocSystem(BalDat* b)
{
    b->pp = alc_vT<AirPath*>(0, b->n, "pp");
    b->sig = alc_vT<float>(0, b->n, "sig");
    b->Fd = alc_vT<double>(0, b->n, "Fd");
    b->AdFd = alc_vT<double>(0, b->n, "AdFd");
    b->pp[0] = b->fan;
    b->sig[0] = 1.0f;
    b->fan->value_ptr = &b->sig[0];
}

// Terminal i of system b: its design flow and starting setting. The balance coefficient
// moves from the terminal's data into its control value s, seen as Cb = (1 - s) / s.
void addTerminal(BalDat* b, int i, AirPath* p)
{
    TerminalData* td = terminalData(p);
    b->pp[i] = p;
    b->Fd[i] = td->design_flow;
    b->Fd[0] += b->Fd[i];
    b->AdFd[i] = 2.0 * td->area * td->area / (b->Fd[i] * b->Fd[i]);
    b->sig[i] = 1.0f / (td->loss_coef2 + 1.0f);
    td->loss_coef2 = 0.0f;
    p->value_ptr = &b->sig[i];
}

// The fan path's element becomes a constant mass flow of the system's total design flow,
// scaled by the fan's control value; the duct geometry of the old element is kept.
void replaceFan(BalDat* b)
{
    AfeRec* old = b->fan->element;
    AfeRec* e = alc_ecT<AfeRec>(&_ms, "pe");
    DctConstFlowData* d = alc_ecT<DctConstFlowData>(&_ms, "cmf");
    d->flow.design_flow = (float)fabs(b->Fd[0]);
    if (old->type == AFE_DCT_FAN) d->duct = static_cast<const DctFanData*>(old->model_data)->duct;
    else d->duct = static_cast<const DctConstFlowData*>(old->model_data)->duct;
    e->model_data = d;
    e->model_fn = afe_cmf;
    e->number = old->number;
    e->type = AFE_DCT_CMF;
    memcpy(e->name, old->name, sizeof e->name);
    b->fan->element = e;
}

bool isMixed(const BalDat* b)
{
    for (int i = 2; i <= b->n; i++)
        if ((b->Fd[i] > 0.0) != (b->Fd[1] > 0.0)) return true;
    return false;
}

int reportMixed()
{
    bool any = false;
    for (BalDat* b = _BalDat0; b; b = b->next) {
        b->mixed = b->n > 1 && isMixed(b);
        any = any || b->mixed;
    }
    if (!any) return BAL_CONVERGED;
    balPuts("5 ! Fan system includes supply and return terminals\n!fan path #\ttrm jct #\n");
    for (const BalDat* b = _BalDat0; b; b = b->next) {
        if (!b->mixed) continue;
        fprintf(_ubal, "fan\t%d\n", b->fan->number);
        for (int i = 1; i <= b->n; i++) fprintf(_ubal, "trm\t%d\n", b->pp[i]->number);
    }
    return BAL_MIXED;
}

// ---- Iterations -------------------------------------------------------------------------

void solveAirflow()
{
    switch (_AF_mat->newton) {
    case AF_NEWTON_TRUST: SolveAfstr(_AF_mat); break;
    case AF_NEWTON_RELAX: SolveAfsur(_AF_mat); break;
    default: error(FATAL, __FILE__, __LINE__, "Invalid method, Call Dravik", "");
    }
}

// Computed flows of system b into Fc (index 0 their sum), logged relative to design.
void systemFlows(const BalDat* b, double* Fc)
{
    Fc[0] = 0.0;
    for (int i = 1; i <= b->n; i++) {
        Fc[i] = b->pp[i]->mass_flow[0];
        Fc[0] += Fc[i];
    }
    ulog_printf(" Fan system %d (%d terminals):\n  Relative Flows:\n  ", b->fan->index, b->n);
    for (int i = 0; i <= b->n; i++) ulog_printf(" %8.6f", Fc[i] / b->Fd[i]);
    ulog_printf("\n");
    ulog_flush();
}

bool systemBalanced(const BalDat* b, const double* Fc, float tol)
{
    for (int i = 1; i <= b->n; i++)
        if (fabs(Fc[i] - b->Fd[i]) > fabs(tol * b->Fd[i])) return false;
    return true;
}

float balanceCoef(float s) { return (1.0f - s) / s; }

// The balance coefficient x that would give terminal i its design flow at its present
// pressure difference, K = 2 A^2 rho |dp| / Fd^2 less C1, over-stepped by a quarter of
// the change from the present coefficient.
void throttle(BalDat* b, int i)
{
    const AirPath* p = b->pp[i];
    float cb = balanceCoef(b->sig[i]);
    const AirNode* up = p->dp >= 0.0 ? p->from_node : p->to_node;
    double x = b->AdFd[i] * up->density * fabs(p->dp) - terminalData(p)->loss_coef1;
    b->sig[i] = (float)(1.0 / (x + 0.25 * (x - cb) + 1.0));
}

// The fan takes up the systems' shortfall or excess; terminals above their design flow
// are throttled, those at or below it keep their setting.
void adjustSystem(BalDat* b, const double* Fc)
{
    if (Fc[0] != 0.0) b->sig[0] = b->sig[0] * (float)(b->Fd[0] / Fc[0]);
    for (int i = b->n; i >= 1; i--)
        if (fabs(Fc[i]) > fabs(b->Fd[i])) throttle(b, i);
}

// ---- Endings ----------------------------------------------------------------------------

// The day extremes of the single result time: every path but the inner paths of simple
// air-handling systems, and every node's gauge pressure (recomputed for the final
// pressures, which the balancing iterations have changed since the initialisation).
void writeResults()
{
    findPgage();
    setDayExtremesToCurrent();
    writeSim_stepTime(_stepEndTime);
    writeSql_stepTime(_stepEndTime);
    writeSim_daySummary();
}

void endMessage(int ending, int iterations)
{
    static const struct {
        int level;
        const char* text;
    } msg[] = {
        {NOTE, "Duct balancing complete"},
        {WARNING, "Duct balance failed to converge in %d iterations"},
        {WARNING, "There are no terminals to balance"},
        {ERROR, "Invalid flow direction(s)"},
        {ERROR, "Failed to terminate link(s)"},
        {ERROR, "Fan system includes supply and return terminals"},
        {ERROR, "Failed to terminate link(s) at a fan"},
    };
    if (ending == BAL_NOT_CONVERGED) errorf(msg[ending].level, __FILE__, __LINE__, msg[ending].text, iterations);
    else error(msg[ending].level, __FILE__, __LINE__, msg[ending].text, "");
}

void balEnd(int ending, int iterations)
{
    balPuts("end\n");
    set_ubal_close(0);
    if (_mb) _mb = fre_ec(_mb, "mb-block");
    writeResults();
    endMessage(ending, iterations);
    balFreeSystems();
}

// Balancing runs at 20 C everywhere but outdoors, without wind.
void prepareAir()
{
    for (AirNode* n = _afnd0; n; n = n->next) n->temperature = BAL_TEMPERATURE;
    _wthdat.WS = 0.0f;
    _wthdat.WD = 0.0f;
    _pambt->temperature = _wthdat.Tambt;
}

}  // namespace

// ---- Steps ------------------------------------------------------------------------------

int balTerminals(BalWalk* w)
{
    balPuts("3 ! Invalid flow direction(s)\n!trm\tjct #\tFcalc\tFdes\n");
    BalTerm* tail = nullptr;
    int count = 0, wrong = 0;
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (p->kind != 2) continue;
        const TerminalData* td = terminalData(p);
        if (!td->balance) continue;
        if (td->design_flow == 0.0f) {   // no design flow to balance to
            errorf(ERROR, __FILE__, __LINE__, "Zero design flow for terminal %d", p->number);
            continue;
        }
        BalTerm* t = alc_ecT<BalTerm>(&_mb, "terminal");
        t->terminal = p;
        t->node = p->from_node;
        t->dir = td->design_flow > 0.0f ? 1 : -1;
        t->prev = tail;
        if (tail) tail->next = t;
        else w->walking = t;
        tail = t;
        count++;
        if (t->dir * p->mass_flow[0] <= 0.0) {
            fprintf(_ubal, "trm\t%d\t%.4e\t%.4e\n", p->number, p->mass_flow[0], (double)td->design_flow);
            wrong++;
        }
    }
    if (count == 0) {
        balRewind();
        balPuts("2 ! There are no terminals to balance\n!\n");
        return BAL_NO_TERMINALS;
    }
    return wrong ? BAL_BAD_DIRECTION : BAL_CONVERGED;
}

int balWalkToFans(BalWalk* w)
{
    balRewind();
    BalDuct* tail = nullptr;
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (p->kind != 1) continue;
        BalDuct* d = alc_ecT<BalDuct>(&_mb, "duct");
        d->path = p;
        if (tail) tail->next = d;
        else w->ducts = d;
        tail = d;
        w->nduct++;
        leaveOwnJunctions(w, p);
    }
    while (walkPass(w)) {
    }
    balPuts("4 ! Failed to terminate link(s) at a fan\n!trm\tjct #\tdir +/-\tjct #\n");
    if (w->walking) {
        writeWalkRows(w->walking, false);
        return BAL_WALK_STUCK;
    }
    bool fanless = false;
    for (const BalTerm* t = w->finished; t; t = t->next) fanless = fanless || !t->fan;
    if (!fanless) return BAL_CONVERGED;
    writeWalkRows(w->finished, true);
    return BAL_NO_FAN;
}

int balFanSystems(const BalWalk* w)
{
    balRewind();
    for (const BalTerm* t = w->finished; t; t = t->next) {
        BalDat* b = systemOf(t->fan);
        if (!b) b = newSystem(t->fan);
        b->n++;
    }
    for (BalDat* b = _BalDat0; b; b = b->next) {
        allocSystem(b);
        int i = 0;
        for (const BalTerm* t = w->finished; t; t = t->next)
            if (t->fan == b->fan) addTerminal(b, ++i, t->terminal);
        replaceFan(b);
    }
    return reportMixed();
}

int balIterate(int itmax, float tol, int* iterations)
{
    int nmax = 0;
    for (const BalDat* b = _BalDat0; b; b = b->next) nmax = b->n > nmax ? b->n : nmax;
    double* Fc = alc_vT<double>(0, nmax, "Fc");
    int ending = BAL_NOT_CONVERGED;
    int k = 0;
    while (ending != BAL_CONVERGED && k < 2 * itmax) {
        ulog_printf("Iteration %d:\n", ++k);
        solveAirflow();
        bool all = true;
        for (BalDat* b = _BalDat0; b; b = b->next) {
            systemFlows(b, Fc);
            all = systemBalanced(b, Fc, tol) && all;
            adjustSystem(b, Fc);
        }
        if (all) ending = BAL_CONVERGED;
    }
    Fc = fre_vT(Fc, 0, nmax, "Fc");
    *iterations = k;
    balPuts(ending == BAL_CONVERGED ? "0 ! Flow balance iterations converged\n"
                                    : "1 ! Flow balance iterations did not converge\n");
    return ending;
}

void balWriteBody(float ambient_density)
{
    balPuts("!fan\tduct #\tflow [kg/s]\tPrise [Pa]\tRPMratio\n!trm\tjctn #\trel-flow [-]\tCb [-]\n");
    const float J = ambient_density / FAN_REF_DENSITY;
    for (const BalDat* b = _BalDat0; b; b = b->next) {
        const AirPath* f = b->fan;
        fprintf(_ubal, "fan\t%d\t%g\t%g", f->number, f->mass_flow[0], -f->dp);
        if (b->has_curve)
            fprintf(_ubal, "\t%.6e", (double)fanSpeedRatio(b->curve, J, (float)fabs(f->mass_flow[0]), (float)-f->dp));
        balPuts("\n");
        for (int i = b->n; i >= 1; i--)
            fprintf(_ubal, "trm\t%d\t%.6e\t%g\n", b->pp[i]->number, b->pp[i]->mass_flow[0] / b->Fd[i],
                    (double)balanceCoef(b->sig[i]));
    }
}

void balFreeSystems()
{
    for (BalDat* b = _BalDat0; b; b = b->next) {
        if (!b->pp) continue;
        for (int i = 0; i <= b->n; i++) b->pp[i]->value_ptr = &_one;
        b->pp = fre_vT(b->pp, 0, b->n, "pp");
        b->sig = fre_vT(b->sig, 0, b->n, "sig");
        b->Fd = fre_vT(b->Fd, 0, b->n, "Fd");
        b->AdFd = fre_vT(b->AdFd, 0, b->n, "AdFd");
    }
}

// ---- Fan speed ratio --------------------------------------------------------------------

namespace {

// Pressure rise of the fan at speed ratio r by the fan laws: rise ~ J r^2 at the flow
// K / (J r) on the reference curve.
float fanRise(const float a[4], float J, float K, float r)
{
    float f = K / (J * r);
    return r * r * J * (a[0] + a[1] * f + a[2] * f * f + a[3] * f * f * f);
}

}  // namespace

float fanSpeedRatio(const float a[4], float J, float K, float L)
{
    float p1 = fanRise(a, J, K, 1.0f);
    if (p1 == L) return 1.0f;
    float lo = 0.0f, hi = 0.0f;
    if (p1 > L) {
        for (float r = 0.5f; r >= 1.0f / 128.0f && hi == 0.0f; r *= 0.5f)
            if (fanRise(a, J, K, r) <= L) lo = r, hi = 2.0f * r;
    } else {
        for (float r = 2.0f; r <= 128.0f && hi == 0.0f; r *= 2.0f)
            if (fanRise(a, J, K, r) >= L) lo = 0.5f * r, hi = r;
    }
    if (hi == 0.0f) return 0.0f;
    for (;;) {
        float m = 0.5f * (lo + hi);
        float pm = fanRise(a, J, K, m);
        if (pm == L) return m;
        if (pm < L) lo = m;
        else hi = m;
        if (hi - lo <= 1e-5f) return 0.5f * (lo + hi);
    }
}

// ---- The run ----------------------------------------------------------------------------

void Balance()
{
    ulog_printf("Duct balancing function called\n");
    const int itmax = _rcdat.itmax;
    const float relcnvg = _rcdat.relcnvg;
    prepareAir();
    sim_init(0);
    if (_mb) error(FATAL, __FILE__, __LINE__, "_mb not NULL, call Dravik", "");
    _mb = alc_eci(2000, "mb-block");
    _BalDat0 = nullptr;
    balOpenReport();

    BalWalk w{};
    int iterations = 0;
    int ending = balTerminals(&w);
    if (ending == BAL_CONVERGED) ending = balWalkToFans(&w);
    if (ending == BAL_CONVERGED) ending = balFanSystems(&w);
    if (ending == BAL_CONVERGED) {
        balRewind();
        _mb = fre_ec(_mb, "mb-block");
        ending = balIterate(itmax, 10.0f * relcnvg, &iterations);
        balWriteBody((float)_pambt->density);
    }
    balEnd(ending, iterations);
}

}  // namespace vexlar
