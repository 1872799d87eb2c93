// Inlet and outlet boundary conditions of the CFD zone's transport equations. Each
// equation is assembled over the whole grid first; inletbc and outletbc then cut the links
// from the cells at an opening to the ghost layer and, where air enters, add the inflow as
// a linearised source: a conductance a [kg/(s m2)] into SP and a times the inflow value
// into BS. Outflow adds nothing, so the opening is a zero-gradient boundary there.
#include <cmath>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"

namespace vexlar {

int ghost_layer(int code)
{
    int a = face_axis(code);
    return face_inward(code) > 0 ? 1 : a == 0 ? IMAX : a == 1 ? JMAX : KMAX;
}

// ---- Series at the solver time -----------------------------------------------------------

template <class Node> static const Node* nodeAt(const Node* head, int count)
{
    const Node* pick = head;
    int n = 0;
    for (const Node* node = head; node && (count < 0 || n < count); node = node->next, n++) {
        if (node->time > CFDTIME) break;
        pick = node;
        if (node->time == CFDTIME) break;
    }
    return pick;
}

const UcdOpeningNode* cfd_opening_node(const UcdOpening* s)
{
    return s ? nodeAt(s->head, -1) : nullptr;
}

double cfd_node_value(const UcdNode* head)
{
    const UcdNode* n = nodeAt(head, -1);
    return n ? n->value : 0.0;
}

const UcdNode* cfd_series_node(const UcdSeries& s)
{
    return s.count > 0 ? nodeAt(s.head, s.count) : nullptr;
}

double cfd_series_value(const UcdSeries& s)
{
    const UcdNode* n = cfd_series_node(s);
    return n ? n->value : 0.0;
}

// ---- Shared by both operations -----------------------------------------------------------

namespace {

double*** const* coefficients()
{
    static double*** c[6];
    c[0] = AW, c[1] = AE, c[2] = AS, c[3] = AN, c[4] = AB, c[5] = AT;
    return c;
}

// The equation's variable is the face-normal velocity of the opening.
bool faceNormal(int code, int eqn) { return eqn >= 1 && eqn <= 3 && face_axis(code) == eqn - 1; }

// Where an equation's nodes meet an opening. A velocity lies on the high face of its cell,
// so along its own axis, when that axis lies in the opening's plane, the nodes of an
// opening of cells c1..c2 are the faces c1 - 1 .. c2: the inner ones wholly in the opening,
// the two at its edges half in it (a share of their control volume). Taking the cells'
// own indices instead would treat the high edge and not the low one, and a room that is a
// mirror image of itself would not get a mirror-image field. Every other axis, and every
// axis of a scalar equation, takes the opening's cells whole.
struct Span {
    int t = -1;                  // the velocity's own axis when it lies in the plane, else -1
    int c1 = 0, c2 = 0;          // the opening's cells along it
    const double *C = nullptr, *F = nullptr, *W = nullptr;   // centres, faces, widths along it
};

Span spanOf(const int* L, int code, int eqn)
{
    Span s;
    if (eqn < 1 || eqn > 3 || faceNormal(code, eqn)) return s;
    s.t = eqn - 1;
    s.c1 = L[2 * s.t + 1], s.c2 = L[2 * s.t + 2];
    s.C = s.t == 0 ? X : s.t == 1 ? Y : Z;
    s.F = s.t == 0 ? XF : s.t == 1 ? YF : ZF;
    s.W = s.t == 0 ? DELX : s.t == 1 ? DELY : DELZ;
    return s;
}

// One node of an opening: its position on the opening's plane, the share of its control
// volume that lies in the opening (1 inside), and the area of that part [m2].
struct Node { const int* p; double share, area; };

// Calls f(Node) for every node of the equation at the opening. The first and last velocity
// nodes of an axis reach the domain faces (their control volumes are stretched so).
template <class Fn> void forNodes(const int* L, int code, int eqn, Fn f)
{
    int a = face_axis(code);
    Span s = spanOf(L, code, eqn);
    if (s.t < 0) {
        cfd_for_box(L, [&](const int* p) { f(Node{p, 1.0, face_area(a, p)}); });
        return;
    }
    int t = s.t, last = (t == 0 ? IM1 : t == 1 ? JM1 : KM1) - 1;
    int B[7];
    for (int e = 1; e <= 6; e++) B[e] = L[e];
    B[2 * t + 1] = s.c1 - 1 > 2 ? s.c1 - 1 : 2;
    B[2 * t + 2] = s.c2 < last ? s.c2 : last;
    double lo = s.F[s.c1 - 1], hi = s.F[s.c2];
    cfd_for_box(B, [&](const int* p) {
        int n = p[t];
        double from = n == 2 ? s.F[1] : s.C[n], to = n == last ? s.F[last + 1] : s.C[n + 1];
        double in = (to < hi ? to : hi) - (from > lo ? from : lo);
        if (in > 0) f(Node{p, in / (to - from), face_area(a, p) / s.W[n] * in});
    });
}

// Mean of value(cell) over the opening's cells at node p: the cell itself, or for a velocity
// node along the opening, the opening's cells on either side of its face.
template <class Fn> double nodeMean(const int* L, int code, int eqn, const int* p, Fn value)
{
    Span s = spanOf(L, code, eqn);
    if (s.t < 0) return value(p);
    double sum = 0.0;
    int count = 0;
    for (int n = p[s.t]; n <= p[s.t] + 1; n++) {
        if (n < s.c1 || n > s.c2) continue;
        int c[3] = {p[0], p[1], p[2]};
        c[s.t] = n;
        sum += value(c);
        count++;
    }
    return count ? sum / count : 0.0;
}

// Cuts the link from each node next to the opening to the opening's own plane; a node at
// the opening's edge keeps the part of its link that faces the wall beside it. At an
// interior position the energy and species keep the link both ways: cutting one side of
// it alone would make the cells on either side exchange unequal amounts.
void cutLinks(const int* L, int code, int eqn)
{
    if (code < 1 || code > 6) return;
    if (eqn >= 4 && cfd_opening_interior(L, code)) return;
    int a = face_axis(code), in = face_inward(code);
    int shift = in < 0 && faceNormal(code, eqn) ? -1 : 0;
    double*** c = coefficients()[code - 1];
    forNodes(L, code, eqn, [&](const Node& n) {
        int q[3] = {n.p[0], n.p[1], n.p[2]};
        q[a] += in + shift;
        cell(c, q) = n.share < 1.0 ? cell(c, q) * (1.0 - n.share) : 0.0;
    });
}

// Cell of the opening that receives the source: one step inside, and for the face-normal
// velocity on a high face one more (the last velocity node lies inside the last cell).
void sourceCell(const int* p, int code, int eqn, bool coupled, int* q)
{
    int a = face_axis(code), in = face_inward(code);
    q[0] = p[0], q[1] = p[1], q[2] = p[2];
    q[a] += in;
    if (in < 0 && faceNormal(code, eqn) && !coupled) q[a] -= 1;
}

void inflow(const int* q, double a, double area, double phi)
{
    cell(BS, q) += phi * a * area;
    cell(SP, q) -= a * area;
}

// Pressure at the cell next to the opening.
double cellPressure(const int* p, int code)
{
    int q[3] = {p[0], p[1], p[2]};
    q[face_axis(code)] += face_inward(code);
    return cell(P, q);
}

}  // namespace

OpeningLaw cfd_opening_law(bool inlet, int l, const char* fatal)
{
    int mag = abs(inlet ? IMTYPE[l] : OMTYPE[l]);
    bool series = (inlet ? IMTYPE[l] : OMTYPE[l]) < 0;
    const UcdOpening* s = !series ? nullptr : inlet ? (UCDINLET ? &UCDINLET[l] : nullptr)
                                                    : (UCDOUTLET ? &UCDOUTLET[l] : nullptr);
    const UcdOpeningNode* node = cfd_opening_node(s);
    double pb = node ? node->pressure : inlet ? PBIN[l] : PBOUT[l];
    double n = node ? node->exp : inlet ? EXPIN[l] : EXPOUT[l];
    double* coe = inlet ? &COEIN[l] : &COEOUT[l];
    double area = inlet ? AIN[l] : AOU[l], K = node ? node->coe : *coe;
    if (mag == 2) return {2, pb, 0, 0, false};
    if (mag != 1) error(FATAL, __FILE__, __LINE__, fatal, "");
    if (node && inlet) return K > 0 ? OpeningLaw{1, pb, K / area, n, false} : OpeningLaw{1, pb, 0, 0, true};
    if (K > 0) return {1, pb, 1.0, 1.0, false};
    if (K < 0) return {1, pb, 0, 0, true};
    *coe = area;
    return {1, pb, 1.0, n, false};
}

double cfd_law_flow(const OpeningLaw& law, double pc)
{
    double factor = law.factor, exponent = law.exponent;
    if (law.mag == 2) {
        bool entering = pc <= law.pb;
        factor = entering ? sqrt(2 * OPERDENS) : 1000.0;
        exponent = entering ? 0.5 : 1.0;
    }
    double g = factor * pow(fabs(law.pb - pc), exponent);
    return law.pb < pc ? -g : g;
}

// ---- Inlets ------------------------------------------------------------------------------------

static double inletValue(int l, int eqn, const UcdOpeningNode* node)
{
    const UcdOpening* s = IMTYPE[l] < 0 && UCDINLET ? &UCDINLET[l] : nullptr;
    switch (eqn) {
    case 1: return node ? node->u : UBIN[l];
    case 2: return node ? node->v : VBIN[l];
    case 3: return node ? node->w : WBIN[l];
    case 4: return s && s->temperature ? cfd_node_value(s->temperature) : TBIN[l];
    default:
        return cfd_inflow_value(true, l, CINDEX);
    }
}

// Flow per unit area entering through the opening at cell c, by the opening's law; an
// outlet takes nothing within 1e-10 Pa of its boundary pressure.
static double enteringFlux(const OpeningLaw& law, const int* c, int code, bool outlet)
{
    double pc = cellPressure(c, code);
    if (outlet && fabs(law.pb - pc) < 1e-10) return 0.0;
    return fmax(cfd_law_flow(law, pc), 0.0);
}

static void velocityInlet(int l, int eqn, const UcdOpeningNode* node)
{
    int code = INTY[l];
    double phi = inletValue(l, eqn, node);
    if (AMASSIN[l] <= 0 || fabs(AMASSIN[l]) <= 1e-6) return;
    int a = face_axis(code);
    double un = node ? (a == 0 ? node->u : a == 1 ? node->v : node->w)
                     : (a == 0 ? UBIN[l] : a == 1 ? VBIN[l] : WBIN[l]);
    double g = fabs(OPERDENS * un);
    forNodes(LBIN[l], code, eqn, [&](const Node& n) {
        int q[3];
        sourceCell(n.p, code, eqn, false, q);
        if (g != 0) inflow(q, g, n.area, phi);
    });
    cutLinks(LBIN[l], code, eqn);
}

static void pressureInlet(int l, int eqn, const UcdOpeningNode* node)
{
    int code = INTY[l];
    const int* L = LBIN[l];
    OpeningLaw law = cfd_opening_law(true, l, "Error inletbc: inlet type setup");
    if (code >= 1 && code <= 6 && !law.skip)
        forNodes(L, code, eqn, [&](const Node& n) {
            double flux = nodeMean(L, code, eqn, n.p,
                                   [&](const int* c) { return enteringFlux(law, c, code, false); });
            double phi = faceNormal(code, eqn) ? face_inward(code) * flux / OPERDENS
                         : eqn >= 4 ? inletValue(l, eqn, node) : 0.0;
            int q[3];
            sourceCell(n.p, code, eqn, false, q);
            inflow(q, flux, n.area, phi);
        });
    cutLinks(L, code, eqn);
}

// Inflow velocity and value from the boundary velocities the coupling stores in the ghost
// layer; energy and contaminants take their inlet values.
static void coupledInlet(int l, int eqn)
{
    int code = INTY[l], a = face_axis(code);
    const int* L = LBIN[l];
    double*** ub = velocity_star(a);
    int ghost = ghost_layer(code);
    forNodes(L, code, eqn, [&](const Node& n) {
        double flux = nodeMean(L, code, eqn, n.p, [&](const int* c) {
            int g[3] = {c[0], c[1], c[2]};
            g[a] = ghost;
            return fabs(OPERDENS * cell(ub, g));
        });
        int g[3] = {n.p[0], n.p[1], n.p[2]};
        g[a] = ghost;
        double phi = eqn <= 3 ? cell(velocity_star(eqn - 1), g) : inletValue(l, eqn, nullptr);
        int q[3];
        sourceCell(n.p, code, eqn, true, q);
        inflow(q, flux, n.area, phi);
    });
    cutLinks(L, code, eqn);
}

void inletbc(int l, int eqn)
{
    const UcdOpeningNode* node =
        IMTYPE[l] < 0 && UCDINLET ? cfd_opening_node(&UCDINLET[l]) : nullptr;
    bool located = INTY[l] >= 1 && INTY[l] <= 6;
    switch (PITYPE[l]) {
    case 1:
    case 3:
        if (!located) error(FATAL, __FILE__, __LINE__, "Error inletbc: inlet location setup", "");
        if (PITYPE[l] == 1)
            velocityInlet(l, eqn, node);
        else
            coupledInlet(l, eqn);
        return;
    case 2: pressureInlet(l, eqn, node); return;
    default: error(FATAL, __FILE__, __LINE__, "Error inletbc: inlet boundary condition setup", "");
    }
}

// ---- Outlets -----------------------------------------------------------------------------------

void outletbc(int l, int eqn)
{
    int code = IOTY[l];
    const int* L = LBOUT[l];
    cutLinks(L, code, eqn);
    if (POTYPE[l] != 2) return;
    OpeningLaw law = cfd_opening_law(false, l, "Error outletbc: outlet type setup");
    if (law.skip || code < 1 || code > 6) return;
    const UcdOpening* s = OMTYPE[l] < 0 && UCDOUTLET ? &UCDOUTLET[l] : nullptr;
    double tb = s && s->temperature ? cfd_node_value(s->temperature) : TBOUT[l];
    forNodes(L, code, eqn, [&](const Node& n) {
        double flux = nodeMean(L, code, eqn, n.p,
                               [&](const int* c) { return enteringFlux(law, c, code, true); });
        double phi = faceNormal(code, eqn)
                         ? face_inward(code) * cfd_law_flow(law, cellPressure(n.p, code)) / OPERDENS
                     : eqn == 4 ? tb : 0.0;
        int q[3];
        sourceCell(n.p, code, eqn, false, q);
        inflow(q, flux, n.area, phi);
    });
}

}  // namespace vexlar
