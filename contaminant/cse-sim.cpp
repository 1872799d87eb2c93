// Source/sink element models and their assembly into the implicit transport equations.
// A model scales its element's data p0..p3 by the instance's schedule value s and
// multiplier m; the time-dependent models start at the first step with s > 0 and measure
// their age te from the end of that step, or to the time an integrator evaluating its
// rates inside the step has set. No model divides by a zero step: during the steady
// initialisation (_dt = 0) a burst waits and an emission counts with weight 1.
#include "contaminant/cse-sim.h"

#include <cmath>

#include "model/network.h"
#include "model/schedules.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/source-lists.h"
#include "model/clock.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

namespace {

// Time of day [s] the models take their age at; negative: the end of the current step.
double rateTime = -1.0;

float* dataOf(const CssRec* c) { return static_cast<float*>(c->cse->model_data); }
double scheduleOf(const CssRec* c) { return *c->value_ptr; }

void setRates(CssRec* c, double G, double R)
{
    c->gen_rate = G;
    c->removal_coef = R;
}

// Starts the source's clock at the first step in which its schedule is above 0.
void triggerOnRise(CssRec* c, double s)
{
    if (c->triggered || s <= 0.0) return;
    c->triggered = 1;
    c->trigger_time = _stepEndTime;
    c->trigger_day = _dayofy;
}

// Seconds from the end of the trigger step to the end of the current step, or to the
// rate time when one is set.
double ageOf(const CssRec* c)
{
    double age = timeElapsed(c->trigger_day, c->trigger_time);
    return rateTime < 0.0 ? age : age + (rateTime - _stepEndTime);
}

// Sources that once started run on their own clock, read s no more and scale by m alone.
bool startedOnce(CssRec* c)
{
    if (!c->triggered) triggerOnRise(c, scheduleOf(c));
    if (c->triggered) return true;
    setRates(c, 0.0, 0.0);
    return false;
}

}  // namespace

void cse_setRateTime(double t) { rateTime = t; }

void cse_ccf(CssRec* c)
{
    const float* p = dataOf(c);
    double x = scheduleOf(c) * c->multiplier;
    setRates(c, p[0] * x, p[1] * x);
}

// Released only while the zone is below the ambient pressure.
void cse_prs(CssRec* c)
{
    const float* p = dataOf(c);
    double P = c->zone_node->gauge_pressure;
    double G = 0.0;
    if (P < 0.0) G = scheduleOf(c) * c->multiplier * p[0] * (float)std::pow(-P, (double)p[1]);
    setRates(c, G, 0.0);
}

// Generation p0 less a removal that cancels it at the cut-off mass fraction p1.
void cse_cut(CssRec* c)
{
    const float* p = dataOf(c);
    double x = scheduleOf(c) * c->multiplier;
    setRates(c, p[0] * x, p[0] / p[1] * x);
}

// G0 = s p0 m taken at the start, decaying at p1 [1/s] even after the schedule returns to 0.
void cse_eds(CssRec* c)
{
    const float* p = dataOf(c);
    double s = scheduleOf(c);
    if (s <= 0.0) {
        c->triggered = 0;
    } else if (!c->triggered) {
        c->decay_start = (float)(s * p[0] * c->multiplier);
        triggerOnRise(c, s);
    }
    double G0 = c->decay_start;
    setRates(c, G0 <= 0.0 ? 0.0 : G0 * std::exp(-p[1] * ageOf(c)), 0.0);
}

void cse_bls(CssRec* c) { setRates(c, 0.0, 0.0); }
void cse_dvr(CssRec* c) { setRates(c, 0.0, 0.0); }

// The whole mass p0 s m enters in the step in which the schedule rises from 0; a new rise
// fires again. A schedule that rose and fell again between two step ends fires in its
// step with the value it rose to. Without a step (steady initialisation) nothing fires.
void cse_brs(CssRec* c)
{
    const float* p = dataOf(c);
    double s = scheduleOf(c);
    if (s == 0.0) c->triggered = 0;
    if (_dt > 0.0f) triggerOnRise(c, s);
    double G = 0.0;
    if (c->triggered && ageOf(c) == 0.0) G = p[0] * s * c->multiplier / _dt;
    else if (s == 0.0 && c->burst_within > 0.0f && _dt > 0.0f) G = p[0] * c->burst_within * c->multiplier / _dt;
    setRates(c, G, 0.0);
}

// Deposition velocity p0 [m/s] onto area p1 [m2].
void cse_dvs(CssRec* c)
{
    const float* p = dataOf(c);
    setRates(c, 0.0, p[0] * c->zone_node->density * p[1] * c->multiplier * scheduleOf(c));
}

// Deposition rate p0 [1/s] of the zone's air.
void cse_drs(CssRec* c)
{
    const float* p = dataOf(c);
    const AirNode* z = c->zone_node;
    setRates(c, 0.0, z->volume * z->density * p[0] * c->multiplier * scheduleOf(c));
}

// Constant p3 = p0 (p2/3600)^-p1 up to age p2, then the power law p0 (te/3600)^-p1.
void cse_plm(CssRec* c)
{
    bool fresh = !c->triggered;
    if (!startedOnce(c)) return;
    float* p = dataOf(c);
    if (fresh) p[3] = (float)(p[0] * std::pow(p[2] / 3600.0, -(double)p[1]));
    double te = ageOf(c);
    double rate = te <= p[2] ? p[3] : p[0] * std::pow(te / 3600.0, -(double)p[1]);
    setRates(c, c->multiplier * rate, 0.0);
}

// Log-normal peak in time; p1 and p2 are the inverses the reader stored.
void cse_pkm(CssRec* c)
{
    if (!startedOnce(c)) return;
    const float* p = dataOf(c);
    double te = ageOf(c);
    double G = 0.0;
    if (te > 0.0) {
        double u = p[1] * std::log(p[2] * te);
        G = p[0] * std::exp(-0.5 * u * u) * c->multiplier;
    }
    setRates(c, G, 0.0);
}

// p0 [mg/h] decaying at p1 [1/h]; 3.6e9 turns mg/h into kg/s.
void cse_sxd(CssRec* c)
{
    if (!startedOnce(c)) return;
    const float* p = dataOf(c);
    double h = ageOf(c) / 3600.0;
    setRates(c, p[0] * std::exp(-p[1] * h) * c->multiplier / 3.6e9, 0.0);
}

void cse_dxd(CssRec* c)
{
    if (!startedOnce(c)) return;
    const float* p = dataOf(c);
    double h = ageOf(c) / 3600.0;
    double mgph = p[0] * std::exp(-p[1] * h) + p[2] * std::exp(-p[3] * h);
    setRates(c, mgph * c->multiplier / 3.6e9, 0.0);
}

// ---- Assembly into the implicit equations ---------------------------------------------

namespace {

bool nonTrace(int species) { return species < _nntc; }

void addAt(double* K, const int* ija, int i, int j, double v)
{
    if (i == j) {
        K[i] += v;
        return;
    }
    int k = sa_find(ija, i, j);
    if (k) K[k] += v;
}

// Couples a sink's equation b with its zone's z: air to surface at `up` [kg/s], surface to
// air at `rel` [kg/s per unit loading].
void coupleSink(double* K, const int* ija, int z, int b, double up, double rel)
{
    K[z] -= up;
    addAt(K, ija, z, b, rel);
    K[b] -= rel;
    addAt(K, ija, b, z, up);
}

template <class Sink> double zoneMf(const Sink* k) { return k->zone_node->mf[k->species]; }

// Boundary-layer sink: film coefficient h = s p0 p1 m, partition coefficient p2.
void blsCoefficients(BlsRec* b)
{
    const float* p = static_cast<const float*>(b->cse->model_data);
    double h = *b->value_ptr * p[0] * p[1] * b->multiplier;
    b->uptake_coef = h;
    b->release_coef = h / p[2];
}

// Deposition p0 [m/s] onto p2 m [m2] of air of the zone's density; resuspension s p3 p1.
void dvrCoefficients(DvrRec* d)
{
    const float* p = static_cast<const float*>(d->cse->model_data);
    d->release_coef = *d->value_ptr * p[3] * p[1];
    d->uptake_coef = p[2] * d->multiplier * p[0] * d->zone_node->density;
}

template <class Sink> void sinkCoefficients(Sink* list, void (*coefs)(Sink*))
{
    for (Sink* k = list; k; k = k->next)
        if (k->sink_eqn) coefs(k);
}

template <class Sink> void sinkTerms(double* K, const int* ija, Sink* list)
{
    for (Sink* k = list; k; k = k->next) {
        if (k->sink_eqn == 0) continue;
        coupleSink(K, ija, k->zone_eqn, k->sink_eqn, k->uptake_coef, k->release_coef);
        if (nonTrace(k->species))
            k->zone_node->src_rate += k->release_coef * k->surface_mass - k->uptake_coef * zoneMf(k);
    }
}

// Walks an occupant through the step, calling visit(zone node, seconds there, transport
// cell there, null without short-time-step cells) for every stay inside the building.
template <class Visit> void walkStep(ExposureSrcRec* x, Visit visit)
{
    const OccSchedRec* sch = x->owner->occ_scheds[_daytyp - 1];
    if (!sch) return;
    int t = _stepEndTime - _time_step;
    while (t < _stepEndTime) {
        int before = t;
        int stay = occ_loc(&x->schedule_pos, &t, _stepEndTime, sch->times);
        AirNode* z = sch->zones[x->schedule_pos].node;
        if (z && stay > 0) visit(z, stay, sch->cells ? sch->cells[x->schedule_pos] : nullptr);
        if (t <= before) break;
    }
}

// Seconds in a zone as a share of the step; with no step (steady initialisation) the
// shares of the whole step length add up to one.
double stayWeight(int stay)
{
    if (_dt > 0.0f) return stay / (double)_dt;
    return _time_step > 0 ? stay / (double)_time_step : 0.0;
}

void emissionTerms(double* e, ExposureSrcRec* pxs)
{
    for (ExposureSrcRec* x = pxs; x; x = x->next) {
        x->emission_rate = (double)*x->value_ptr * x->rate * x->owner->factor;
        walkStep(x, [&](AirNode* z, int stay, ZoneCell*) {
            double g = stayWeight(stay) * x->emission_rate;
            e[z->mf_eqn[x->species]] += g;
            if (nonTrace(x->species)) z->src_rate += g;
        });
    }
}

}  // namespace

void findCseRates(CssRec* css, BlsRec* bls, DvrRec* dvr)
{
    for (CssRec* c = css; c; c = c->next)
        if (c->cse->model_fn) c->cse->model_fn(c);
    sinkCoefficients(bls, blsCoefficients);
    sinkCoefficients(dvr, dvrCoefficients);
}

void findPolMassRates_cse_implicit(double* K, const int32_t* ija, double* e, CssRec* css,
                                   BlsRec* bls, DvrRec* dvr, ExposureSrcRec* pxs)
{
    for (AirNode* n = _afnd0; n; n = n->next) n->src_rate = 0.0;
    findCseRates(css, bls, dvr);
    for (CssRec* c = css; c; c = c->next) {
        if (!c->cse->model_fn) continue;
        int sp = c->cse->species;
        int q = c->zone_node->mf_eqn[sp];
        e[q] += c->gen_rate;
        K[q] -= c->removal_coef;
        if (nonTrace(sp)) c->zone_node->src_rate += c->gen_rate - c->removal_coef * c->zone_node->mf[sp];
    }
    sinkTerms(K, ija, bls);
    sinkTerms(K, ija, dvr);
    emissionTerms(e, pxs);
}

namespace {

template <class Sink> void sinkTotals(Sink* list, double dt)
{
    for (Sink* k = list; k; k = k->next) {
        k->mass_released += k->release_coef * k->surface_mass * dt;
        k->mass_removed += zoneMf(k) * k->uptake_coef * dt;
    }
}

}  // namespace

void sumCseGenRemoveMass(CssRec* css, BlsRec* bls, DvrRec* dvr, ExposureSrcRec* pxs, float dt)
{
    for (CssRec* c = css; c; c = c->next) {
        c->mass_released += c->gen_rate * dt;
        c->mass_removed += c->zone_node->mf[c->cse->species] * c->removal_coef * dt;
    }
    sinkTotals(bls, dt);
    sinkTotals(dvr, dt);
    for (ExposureSrcRec* x = pxs; x; x = x->next)
        walkStep(x, [&](AirNode* z, int stay, ZoneCell*) {
            if (z->flags & NODE_VAR_MF) x->emitted_mass += stay * x->emission_rate;
        });
}

// ---- Short-time-step cell terms ---------------------------------------------------------

namespace {

// Calls f for every cell from first to last of one zone.
template <class F> void forCells(ZoneCell* first, ZoneCell* last, F f)
{
    for (ZoneCell* c = first; c; c = c->next) {
        f(c);
        if (c == last) break;
    }
}

void sourceCellTerms(CssRec* css, double dt)
{
    for (CssRec* c = css; c; c = c->next) {
        if (!c->cse->model_fn) continue;
        c->cse->model_fn(c);
        int sp = c->cse->species;
        double G = c->gen_rate, R = c->removal_coef, w = c->cell_share;
        forCells(c->cell_first, c->cell_last, [&](ZoneCell* z) {
            z->flow_mf_sums[sp] += (G - R * z->mf[sp]) * w;
            c->mass_released += G * dt * w;
            c->mass_removed += R * z->mf[sp] * dt * w;
        });
        if (nonTrace(sp)) c->zone_node->src_rate += G - R * c->zone_node->mf[sp];
    }
}

void blsCellTerms(BlsRec* bls, double dt)
{
    for (BlsRec* b = bls; b; b = b->next) {
        blsCoefficients(b);
        int sp = b->species;
        double S = 0.0;
        forCells(b->cell_first, b->cell_last, [&](ZoneCell* z) {
            double f = (b->release_coef * b->surface_mass - b->uptake_coef * z->mf[sp]) * b->cell_share;
            z->flow_mf_sums[sp] += f;
            S += f;
        });
        b->surface_mass -= S * dt / b->coef_mult;
        if (nonTrace(sp)) b->zone_node->src_rate += S;
        if (S >= 0.0) b->mass_released += S * dt;
        else b->mass_removed -= S * dt;
    }
}

void dvrCellTerms(DvrRec* dvr, double dt)
{
    for (DvrRec* d = dvr; d; d = d->next) {
        dvrCoefficients(d);
        int sp = d->species;
        double w = d->cell_share, S = 0.0;
        forCells(d->cell_first, d->cell_last, [&](ZoneCell* z) {
            double f = d->release_coef * d->surface_mass - d->uptake_coef * z->mf[sp];
            z->flow_mf_sums[sp] += w * f;
            S += f;
            d->mass_released += w * dt * d->release_coef * d->surface_mass;
            d->mass_removed += w * dt * d->uptake_coef * z->mf[sp];
        });
        const float* p = static_cast<const float*>(d->cse->model_data);
        d->surface_mass -= S * w * dt / (p[2] * d->multiplier);
        if (nonTrace(sp)) d->zone_node->src_rate += S * w;
    }
}

void emissionCellTerms(ExposureSrcRec* pxs)
{
    for (ExposureSrcRec* x = pxs; x; x = x->next) {
        x->emission_rate = (double)*x->value_ptr * x->rate * x->owner->factor;
        walkStep(x, [&](AirNode* z, int stay, ZoneCell* cell) {
            double g = stayWeight(stay) * x->emission_rate;
            if (cell) cell->flow_mf_sums[x->species] += g;
            if (z->flags & NODE_VAR_MF) x->emitted_mass += stay * x->emission_rate;
            if (nonTrace(x->species)) z->src_rate += g;
        });
    }
}

}  // namespace

void findPolMassRates_cse_sts(CssRec* css, BlsRec* bls, DvrRec* dvr, ExposureSrcRec* pxs)
{
    for (AirNode* n = _afnd0; n; n = n->next) n->src_rate = 0.0;
    double dt = _dt;
    sourceCellTerms(css, dt);
    blsCellTerms(bls, dt);
    dvrCellTerms(dvr, dt);
    emissionCellTerms(pxs);
}

}  // namespace vexlar
