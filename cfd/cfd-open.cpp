// Opening flows and boundary velocities of the CFD zone. updateu recomputes every opening's
// mass flow from its boundary pressure and the pressures of the cells next to it, and
// stores per boundary cell the opening coefficient opencoe (flow per pressure difference)
// that the coupling uses as the opening's stiffness; mode 1 also writes the face-normal
// boundary velocity on the opening's own faces. The faces inside the zone keep their
// solved values: the tangential velocities at an opening are the solution's.
#include <cmath>

#include "cfd/cfd-int.h"
#include "cfd/cfd.h"
#include "common-src/messages.h"

namespace vexlar {

namespace {

// Roles of one boundary cell p of an opening (p on the opening's plane).
struct Roles {
    int b[3];       // boundary velocity cell and opencoe
    int pc[3];      // pressure cell
    int a, s;       // normal axis, sign of inflow
    bool high;      // high face: the extra velocity cell is p itself
};

Roles roles(const int* p, int code)
{
    Roles r;
    r.a = face_axis(code);
    r.s = face_inward(code);
    r.high = r.s < 0;
    for (int e = 0; e < 3; e++) r.b[e] = r.pc[e] = p[e];
    if (r.high) r.b[r.a] -= 1, r.pc[r.a] -= 1;
    else r.pc[r.a] += 1;
    return r;
}

void setCoefficient(const int* b, double x)
{
    double previous = cell(opencoe, b);
    cell(opencoe, b) = fabs(x);
    cell(opencoesv, b) = _cpliter < 2 ? fabs(x) : previous;
}

// Writes the face-normal velocity at the boundary cell (and on a high face at the extra cell).
void writeNormal(const Roles& r, const int* p, double v, bool extra)
{
    cell(velocity(r.a), r.b) = v;
    cell(velocity_star(r.a), r.b) = v;
    if (extra && r.high) {
        cell(velocity(r.a), p) = v;
        cell(velocity_star(r.a), p) = v;
    }
}

// Calls f for every cell of an opening; a cell in front of a solid block passes no air
// (its face is still and its coefficient 0), as the pressure correction has it.
template <class F> void forOpening(const int* L, int code, F f)
{
    if (code < 1 || code > 6) return;
    cfd_for_box(L, [&](const int* p) {
        Roles r = roles(p, code);
        if (cell(ICELL, r.pc)) {
            setCoefficient(r.b, 0.0);
            cell(velocity(r.a), r.b) = cell(velocity_star(r.a), r.b) = 0.0;
            return;
        }
        f(p, r, face_area(r.a, p), cell(P, r.pc));
    });
}

// An opening of given flow: the coefficient of its given velocity, or, when its value source
// is not 1, the flow of its power law added to the opening's mass flow.
void givenFlow(int mag, double coe, double area, double n, double pb, double pc, double A,
               double vn, const int* b, double* mass)
{
    double d = pb - pc + 1e-10;
    if (mag == 1) {
        setCoefficient(b, OPERDENS * A * vn / d);
        return;
    }
    double g = coe / area * pow(fabs(pb - pc), n) * A;
    if (pb < pc) g = -g;
    setCoefficient(b, g / d);
    *mass += g;
}

void velocityInlet(int l, int mode)
{
    int code = INTY[l], mag = abs(IMTYPE[l]);
    double vn = AMASSIN[l] / (OPERDENS * AIN[l]), pb = PBIN[l];
    if (mag == 2) AMASSIN[l] = 0.0;
    forOpening(LBIN[l], code, [&](const int* p, const Roles& r, double A, double pc) {
        if (mode == 1) writeNormal(r, p, r.a == 0 ? UBIN[l] : r.a == 1 ? VBIN[l] : WBIN[l], true);
        givenFlow(mag, COEIN[l], AIN[l], EXPIN[l], pb, pc, A, vn, r.b, &AMASSIN[l]);
    });
}

// A coupled inlet's flow is that of the boundary velocities the coupling stored.
void coupledInlet(int l)
{
    int code = INTY[l], ghost = ghost_layer(code);
    AMASSIN[l] = 0.0;
    forOpening(LBIN[l], code, [&](const int* p, const Roles& r, double A, double) {
        int g[3] = {p[0], p[1], p[2]};
        g[r.a] = ghost;
        AMASSIN[l] += OPERDENS * cell(velocity_star(r.a), g) * A;
    });
}

void flowOutlet(int l, int mode, const UcdOpeningNode* node)
{
    int code = IOTY[l], mag = abs(OMTYPE[l]);
    double m = node ? node->mass : AMASSOUT[l];
    if (POTYPE[l] == 3 || mag == 2) AMASSOUT[l] = 0.0;
    double vn = m / (OPERDENS * AOU[l]), pb = PBOUT[l];
    forOpening(LBOUT[l], code, [&](const int* p, const Roles& r, double A, double pc) {
        if (mode == 1) {
            double v = r.s * vn;
            if (POTYPE[l] == 3) {
                // a coupled outlet passes on the velocity of the face inside it
                int in[3] = {r.b[0], r.b[1], r.b[2]};
                in[r.a] += r.s;
                v = vn = cell(velocity(r.a), in);
                AMASSOUT[l] += A * vn * OPERDENS;
            }
            writeNormal(r, p, v, true);
        }
        givenFlow(mag, COEOUT[l], AOU[l], EXPOUT[l], pb, pc, A, vn, r.b, &AMASSOUT[l]);
    });
}

// A pressure opening: flow g per area by its law, positive into the zone. Inlets and
// outlets alike pass air both ways: a warm room lets air out through the top of a door
// that is its inlet.
void pressureOpening(bool inlet, int l, int mode)
{
    int code = inlet ? INTY[l] : IOTY[l];
    double* mass = inlet ? &AMASSIN[l] : &AMASSOUT[l];
    OpeningLaw law = cfd_opening_law(inlet, l, inlet ? "Error updateu: inlet type setup"
                                                     : "Error updateu: outlet type setup");
    *mass = 0.0;
    if (law.skip) return;
    forOpening(inlet ? LBIN[l] : LBOUT[l], code,
               [&](const int* p, const Roles& r, double A, double pc) {
        double g = cfd_law_flow(law, pc);
        setCoefficient(r.b, A * fabs(g) / (law.pb - pc + 1e-10));
        if (mode == 1) writeNormal(r, p, r.s * g / OPERDENS, false);
        *mass += g * A;
    });
}

}  // namespace

void updateu(int mode)
{
    for (int l = 1; l <= NBIN; l++) {
        const UcdOpeningNode* node =
            IMTYPE[l] < 0 && UCDINLET ? cfd_opening_node(&UCDINLET[l]) : nullptr;
        if (node) AMASSIN[l] = node->mass;
        if (PITYPE[l] == 3) coupledInlet(l);
        else if (PITYPE[l] == 1) velocityInlet(l, mode);
        else if (PITYPE[l] == 2) pressureOpening(true, l, mode);
    }
    for (int l = 1; l <= NBOUT; l++) {
        const UcdOpeningNode* node =
            OMTYPE[l] < 0 && UCDOUTLET ? cfd_opening_node(&UCDOUTLET[l]) : nullptr;
        if (POTYPE[l] == 2) pressureOpening(false, l, mode);
        else if (POTYPE[l] == 1 || POTYPE[l] == 3) flowOutlet(l, mode, node);
    }
}

}  // namespace vexlar
