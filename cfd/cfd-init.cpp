// Field initialisation of the CFD zone (init), run before every solution: on the first
// solve of the run every field is reset and the given opening pressures are imprinted on
// the cells just inside the openings; on every solve the openings' mass flows and velocities
// are made to agree, and zero-flow velocity inlets write their tangential velocities into
// the opening plane. An opening marked as series-driven without a series uses its constants.
#include <cmath>
#include <initializer_list>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"
#include "model/network.h"
#include "model/prj-common.h"

namespace vexlar {

namespace {

// Cells of an opening's plane (step 0) or of the row just inside it (step 1).
struct Box { int lo[3], hi[3]; };

Box openingBox(const int* L, int code, int step)
{
    Box b = {{L[1], L[3], L[5]}, {L[2], L[4], L[6]}};
    int a = (code - 1) / 2, m = L[2 * a + 1] + (code % 2 ? step : -step);
    b.lo[a] = b.hi[a] = m;
    return b;
}

template <class F> void forBox(const Box& b, F f)
{
    for (int i = b.lo[0]; i <= b.hi[0]; i++)
        for (int j = b.lo[1]; j <= b.hi[1]; j++)
            for (int k = b.lo[2]; k <= b.hi[2]; k++) f(i, j, k);
}

bool validCode(int code) { return code >= 1 && code <= 6; }

// The zone's species start from its node's mass fractions as they stand at the first solve:
// the project's initial values at a cold start, the restart record's after a resume. At the
// coupling set-up the node has not been given its initial values yet.
void startMassFractions()
{
    const AirNode* node = _cfdzone ? _cfdzone[1].node : nullptr;
    if (!node || !node->mf) return;
    for (int s = 0; s < 5; s++) _cfdzoneMfi[s] = s < _nctm ? node->mf[s] : 0.0;
}

void resetFields()
{
    startMassFractions();
    double*** const zero[] = {U, V, W, US, VS, WS, UOLD, VOLD, WOLD, STORE, P, PP};
    double*** const tinit[] = {TOLD, T, TS};
    double vis = ITUR ? ANU * OPERDENS : ANU * 100.0;
    for (int i = 1; i <= IMAX; i++)
        for (int j = 1; j <= JMAX; j++)
            for (int k = 1; k <= KMAX; k++) {
                for (double*** f : zero) f[i][j][k] = 0.0;
                for (double*** f : tinit) f[i][j][k] = TINIT;
                VIS[i][j][k] = vis;
                for (int n = 1; n <= 5; n++)
                    if (CACTIVE[n] && cfd_species(n))
                        cfd_species(n)[i][j][k] = cfd_species_old(n)[i][j][k] = _cfdzoneMfi[n - 1];
            }
}

void imprint(const int* L, int code, double*** f, double value)
{
    forBox(openingBox(L, code, 1), [&](int i, int j, int k) { f[i][j][k] = value; });
}

UcdOpeningNode* seriesHead(UcdOpening* s, int l, int type)
{
    return type < 0 && s && s[l].head ? s[l].head : nullptr;
}

void outlet(int l)
{
    UcdOpeningNode* head = seriesHead(UCDOUTLET, l, OMTYPE[l]);
    double rhoA = OPERDENS * AOU[l];
    if (POTYPE[l] == 1 && head) {
        for (UcdOpeningNode* n = head; n; n = n->next)
            if (n->mass == 0.0)
                n->mass = -fabs(n->u * rhoA);
            else
                n->u = n->v = n->w = fabs(n->mass) / rhoA;
    } else if (POTYPE[l] == 1) {
        if (AMASSOUT[l] == 0.0)
            AMASSOUT[l] = -fabs(VBOUT[l] * rhoA);
        else if (VBOUT[l] == 0.0)
            VBOUT[l] = fabs(AMASSOUT[l]) / rhoA;
    } else if (POTYPE[l] == 2 && INITYN) {
        if (!validCode(IOTY[l]))
            error(FATAL, __FILE__, __LINE__, "Error of outlet opening location", "");
        imprint(LBOUT[l], IOTY[l], P, (head ? head->pressure : PBOUT[l]) + 1e-10);
    }
}

// The velocity component normal to an inlet's face, and +1 or -1 for inward flow along it.
double* normalComponent(int code, double* u, double* v, double* w, double* sign)
{
    *sign = code % 2 ? 1.0 : -1.0;
    double* c[3] = {u, v, w};
    return c[(code - 1) / 2];
}

// Makes an inlet's mass flow and normal velocity agree: the mass from the velocity when it
// is zero, else the velocity (when zero) from the mass.
void reconcileInlet(int code, double* mass, double* u, double* v, double* w, double rhoA)
{
    if (!validCode(code)) return;
    double sign, *c = normalComponent(code, u, v, w, &sign);
    if (*mass == 0.0) {
        double m = sign * *c * rhoA;
        if (m < 0.0) error(FATAL, __FILE__, __LINE__, "Error of inlet airflow direction setup", "");
        *mass = m;
    } else {
        *mass = fabs(*mass);
        if (*c == 0.0) *c = sign * *mass / rhoA;
    }
}

void zeroTangential(int code, double* u, double* v, double* w)
{
    if (!validCode(code)) return;
    double sign, *c = normalComponent(code, u, v, w, &sign);
    for (double* t : {u, v, w})
        if (t != c) *t = 0.0;
}

void inlet(int l)
{
    UcdOpeningNode* head = seriesHead(UCDINLET, l, IMTYPE[l]);
    double rhoA = OPERDENS * AIN[l];
    int code = INTY[l];
    if (PITYPE[l] == 1 && head) {
        for (UcdOpeningNode* n = head; n; n = n->next)
            reconcileInlet(code, &n->mass, &n->u, &n->v, &n->w, rhoA);
    } else if (PITYPE[l] == 1) {
        reconcileInlet(code, &AMASSIN[l], &UBIN[l], &VBIN[l], &WBIN[l], rhoA);
    } else if (PITYPE[l] == 2 && head) {
        for (UcdOpeningNode* n = head; n; n = n->next) zeroTangential(code, &n->u, &n->v, &n->w);
        UcdNode* t = UCDINLET[l].temperature;
        if (INITYN && validCode(code)) {
            imprint(LBIN[l], code, P, head->pressure - 1e-10);
            if (t) imprint(LBIN[l], code, TOLD, t->value);
        }
    } else if (PITYPE[l] == 2) {
        zeroTangential(code, &UBIN[l], &VBIN[l], &WBIN[l]);
        if (INITYN && validCode(code)) {
            imprint(LBIN[l], code, P, PBIN[l] - 1e-10);
            imprint(LBIN[l], code, T, TBIN[l]);
        }
    } else if (PITYPE[l] == 3) {
        AMASSIN[l] = 0.0;
    }
}

// A velocity inlet without flow holds its tangential velocities on the opening plane; from a
// series they go to the previous-step fields, from constants to the current ones.
void tangentialVelocities(int l)
{
    int code = INTY[l];
    UcdOpeningNode* head = seriesHead(UCDINLET, l, IMTYPE[l]);
    if (PITYPE[l] != 1 || !validCode(code) || (head ? head->mass : AMASSIN[l]) != 0.0) return;
    double u = head ? head->u : UBIN[l], v = head ? head->v : VBIN[l],
           w = head ? head->w : WBIN[l];
    double ***fu = head ? UOLD : U, ***fv = head ? VOLD : V, ***fw = head ? WOLD : W;
    int a = (code - 1) / 2;   // the normal axis keeps its fields
    forBox(openingBox(LBIN[l], code, 0), [&](int i, int j, int k) {
        if (a != 0) fu[i][j][k] = US[i][j][k] = u;
        if (a != 1) fv[i][j][k] = VS[i][j][k] = v;
        if (a != 2) fw[i][j][k] = WS[i][j][k] = w;
    });
}

}  // namespace

void init()
{
    if (INITYN && IMAX > 0 && JMAX > 0 && KMAX > 0) resetFields();
    for (int l = 1; l <= NBOUT; l++) outlet(l);
    for (int l = 1; l <= NBIN; l++) inlet(l);
    for (int l = 1; l <= NBIN; l++) tangentialVelocities(l);
}

}  // namespace vexlar
