// Signal functions of the control network (see ctrl-signals.h). Each reads the node's
// inputs (in1, in2: the floats its input pointers name) and writes its output `value`;
// arithmetic is in single precision unless a comment says otherwise. Stateful types keep
// their state in the node's data between steps and start on their first evaluation, which
// main performs for the start time before the run; they advance by the seconds the control
// clock says passed since the network's previous evaluation (none at the same instant).
#include "simulation/ctrl-signals.h"

#include <cmath>

#include "common-src/memory.h"
#include "model/clock.h"
#include "model/schedules.h"
#include "simulation/day-week-sched.h"

namespace vexlar {

namespace {

float in1(const CtrlNode* n) { return *n->input1; }
float in2(const CtrlNode* n) { return *n->input2; }
template <class T> T* dataOf(CtrlNode* n) { return static_cast<T*>(n->data); }

float clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }
float elapsed() { return _ctrlClock.elapsed; }
float flag(bool b) { return b ? 1.0f : 0.0f; }

// Degrees to radians.
constexpr double RAD_PER_DEG = 0.0174532925199433;
// Floats of this magnitude and above have no fraction: rounding leaves them as they are.
constexpr float NO_FRACTION = 8388608.0f;   // 2^23

}  // namespace

// ---- Sources of values ----------------------------------------------------------------------

void sns_sig(CtrlNode* n)
{
    SensorData* s = dataOf<SensorData>(n);
    float x = n->input1 ? in1(n) : (float)*s->sensed_ptr;
    if (n->flags & 0x01) x = (x - s->offset) * s->scale;
    if (!(n->flags & 0x02)) {
        n->value = x;
        return;
    }
    if (!s->first_done) {
        if (!(s->tau > 0.0f)) ctrl_sim_fatal("Invalid time constant; sensor ", n);
        s->lag_factor = 1.0f;
        s->first_done = 1;
        n->value = x;
        return;
    }
    // s' = (x - s) / tau over the time that passed, x held: a gap decays by exp(-dt / tau).
    const float dt = elapsed();
    if (dt <= 0.0f) return;
    s->lag_factor = std::exp(-dt / s->tau);
    n->value = x + (n->value - x) * s->lag_factor;
}

void sch_sig(CtrlNode* n) { n->value = in1(n); }
void set_sig(CtrlNode*) {}   // the constant set when the network was built
// A values-file column is bound to its node when the file is read; until then the node
// keeps its value.
void cvf_sig(CtrlNode* n)
{
    if (n->input1) n->value = in1(n);
}

void dvf_sig(CtrlNode* n)
{
    if (n->input1) n->value = in1(n);
}
void pas_sig(CtrlNode* n) { n->value = in1(n); }
void sup_sig(CtrlNode*) {}   // a super node's inputs are read with the project only

void log_sig(CtrlNode* n)
{
    const LogData* g = dataOf<LogData>(n);
    n->value = (in1(n) - g->offset) * g->scale;
}

void mod_sig(CtrlNode* n)
{
    const ModData* m = dataOf<ModData>(n);
    n->value = (in1(n) - m->offset) * m->scale;
}

// ---- One input ------------------------------------------------------------------------------

// Backlash: the state follows the input only once it has moved more than the width away
// above, and at once below.
void hys_sig(CtrlNode* n)
{
    HysData* h = dataOf<HysData>(n);
    float x = clamp01(in1(n));
    if (x - h->state > h->width) h->state = x - h->width;
    else if (x < h->state) h->state = x;
    n->value = h->state * h->gain;
}

void abs_sig(CtrlNode* n) { n->value = std::fabs(in1(n)); }
void bin_sig(CtrlNode* n) { n->value = flag(in1(n) > 0.0f); }
void inv_sig(CtrlNode* n) { n->value = 1.0f - in1(n); }
void exp_sig(CtrlNode* n) { n->value = (float)std::exp((double)in1(n)); }

void ln_sig(CtrlNode* n)
{
    if (in1(n) <= 0.0f) ctrl_sim_fatal("Input <= 0; control: ", n);
    n->value = (float)std::log((double)in1(n));
}

void log10_sig(CtrlNode* n)
{
    if (in1(n) <= 0.0f) ctrl_sim_fatal("Input <= 0; control: ", n);
    n->value = (float)std::log10((double)in1(n));
}

void sqrt_sig(CtrlNode* n)
{
    if (in1(n) < 0.0f) ctrl_sim_fatal("Square root of negative number; control: ", n);
    n->value = std::sqrt(in1(n));
}

// Horner's rule over a0..an.
void poly_sig(CtrlNode* n)
{
    const PolyData* p = dataOf<PolyData>(n);
    float x = in1(n), out = p->coef[p->degree];
    for (int i = p->degree - 1; i >= 0; i--) out = out * x + p->coef[i];
    n->value = out;
}

void sin_sig(CtrlNode* n) { n->value = (float)std::sin(in1(n) * RAD_PER_DEG); }
void cos_sig(CtrlNode* n) { n->value = (float)std::cos(in1(n) * RAD_PER_DEG); }
void tan_sig(CtrlNode* n) { n->value = (float)std::tan(in1(n) * RAD_PER_DEG); }

void ceil_sig(CtrlNode* n)
{
    float x = in1(n);
    n->value = std::fabs(x) >= NO_FRACTION ? x : std::ceil(x);
}

void floor_sig(CtrlNode* n)
{
    float x = in1(n);
    n->value = std::fabs(x) >= NO_FRACTION ? x : std::floor(x);
}

// ---- Two inputs -----------------------------------------------------------------------------

void and_sig(CtrlNode* n) { n->value = flag(in1(n) > 0.0f && in2(n) > 0.0f); }
void or_sig(CtrlNode* n) { n->value = flag(in1(n) > 0.0f || in2(n) > 0.0f); }
void xor_sig(CtrlNode* n) { n->value = flag((in1(n) > 0.0f) != (in2(n) > 0.0f)); }
void add_sig(CtrlNode* n) { n->value = in1(n) + in2(n); }
void sub_sig(CtrlNode* n) { n->value = in1(n) - in2(n); }
void mul_sig(CtrlNode* n) { n->value = in1(n) * in2(n); }

void div_sig(CtrlNode* n)
{
    if (in2(n) == 0.0f) ctrl_sim_fatal("Divide by zero; control: ", n);
    n->value = in1(n) / in2(n);
}

void fmod_sig(CtrlNode* n)
{
    if (in2(n) == 0.0f) ctrl_sim_fatal("Divide by zero; control: ", n);
    n->value = std::fmod(in1(n), in2(n));
}

void pow_sig(CtrlNode* n) { n->value = (float)std::pow((double)in1(n), (double)in2(n)); }

void lls_sig(CtrlNode* n) { n->value = flag(in2(n) > in1(n)); }
void uls_sig(CtrlNode* n) { n->value = flag(in1(n) > in2(n)); }

// Band switches start off and switch on only past the band.
void lbs_sig(CtrlNode* n)
{
    float band = *dataOf<float>(n);
    if (n->value != 0.0f) {
        if (in1(n) < in2(n)) n->value = 0.0f;
    } else if (in1(n) > in2(n) + band) {
        n->value = 1.0f;
    }
}

void ubs_sig(CtrlNode* n)
{
    float band = *dataOf<float>(n);
    if (n->value != 0.0f) {
        if (in1(n) > in2(n)) n->value = 0.0f;
    } else if (in1(n) < in2(n) - band) {
        n->value = 1.0f;
    }
}

void llc_sig(CtrlNode* n)
{
    float d = in2(n) - in1(n);
    n->value = d >= 0.0f ? d : 0.0f;
}

void ulc_sig(CtrlNode* n)
{
    float d = in1(n) - in2(n);
    n->value = d >= 0.0f ? d : 0.0f;
}

// ---- Lists of inputs ------------------------------------------------------------------------

void sum_sig(CtrlNode* n)
{
    const SumData* s = dataOf<SumData>(n);
    double sum = 0.0;
    for (int i = 0; i < s->count; i++) sum += *s->vals[i];
    n->value = (float)sum;
}

// Without inputs the average keeps its output.
void avg_sig(CtrlNode* n)
{
    const SumData* s = dataOf<SumData>(n);
    if (s->count <= 0) return;
    double sum = 0.0;
    for (int i = 0; i < s->count; i++) sum += *s->vals[i];
    n->value = (float)(sum / s->count);
}

void max_sig(CtrlNode* n)
{
    const SumData* s = dataOf<SumData>(n);
    float out = s->count > 0 ? *s->vals[0] : 0.0f;
    for (int i = 1; i < s->count; i++) out = std::fmax(out, *s->vals[i]);
    n->value = out;
}

void min_sig(CtrlNode* n)
{
    const SumData* s = dataOf<SumData>(n);
    float out = s->count > 0 ? *s->vals[0] : 0.0f;
    for (int i = 1; i < s->count; i++) out = std::fmin(out, *s->vals[i]);
    n->value = out;
}

// ---- Controllers ----------------------------------------------------------------------------

void pc_sig(CtrlNode* n)
{
    float kp = *dataOf<float>(n);
    float x = in1(n);
    n->value = x > 0.0f ? std::fmin(1.0f, x * kp) : 0.0f;
}

// Velocity form with a trapezoidal integral, clamped to 0..1.
void pic_sig(CtrlNode* n)
{
    PicData* c = dataOf<PicData>(n);
    float x = in1(n);
    float out = c->prev_out + c->kp * (x - c->prev_in) + 0.5f * elapsed() * c->ki * (c->prev_in + x);
    n->value = clamp01(out);
    c->prev_in = x;
    c->prev_out = n->value;
}

// ---- Time-dependent signals -----------------------------------------------------------------

// in2 > 0 integrates in1 by the trapezoid rule, in2 < 0 resets, in2 = 0 holds (after
// closing the last half step of an integration that was running).
void int_sig(CtrlNode* n)
{
    IntData* d = dataOf<IntData>(n);
    if (!d->first_done) {
        d->first_done = 1;
        d->integral = 0.0;
        n->value = 0.0f;
        return;
    }
    float x = in1(n), gate = in2(n), dt = elapsed();
    if (gate > 0.0f) {
        d->integral += (d->prev_in1 + x) * 0.5f * dt;
    } else if (gate < 0.0f) {
        d->integral = 0.0;
    } else if (d->prev_in2 > 0.0f) {
        d->integral += d->prev_in1 * 0.5f * dt;
    }
    n->value = (float)d->integral;
    d->prev_in1 = x;
    d->prev_in2 = gate;
}

bool atListingTime(int t) { return _time_list <= 0 || t % _time_list == 0; }

// Integral (irs) and average (ars) over the listing step; both start again after a step
// that starts at a listing time. Over no time at all (a steady run with no time step)
// the average is the input itself.
static void listStepIntegral(CtrlNode* n, bool average)
{
    ListStepData* l = dataOf<ListStepData>(n);
    float x = in1(n), dt = elapsed();
    if (l->trapezoid) {
        l->integral += (l->prev_in + x) * 0.5f * dt;
        l->prev_in = x;
    } else {
        l->integral += x * dt;
    }
    l->elapsed += dt;
    if (!average) n->value = (float)l->integral;
    else n->value = l->elapsed > 0.0f ? (float)(l->integral / l->elapsed) : x;
    if (atListingTime(_stepStartTime)) {
        l->integral = 0.0;
        l->elapsed = 0.0f;
    }
}

void intrts_sig(CtrlNode* n) { listStepIntegral(n, false); }
void avgrts_sig(CtrlNode* n) { listStepIntegral(n, true); }

enum RavState { RAV_NEW = 0, RAV_ALLOCATED = 1, RAV_RUNNING = 2 };

// Average of the last N evaluations, N the window in time steps (at least 1), over a ring
// of N + 1 samples allocated on the first evaluation. An evaluation at the instant of the
// previous one takes the place of its sample.
void rav_sig(CtrlNode* n)
{
    RavData* r = dataOf<RavData>(n);
    float x;
    switch (r->state) {
    case RAV_NEW:
        r->ring_size = (int)((r->window + 0.5f) * _dti);
        if (r->ring_size < 1) r->ring_size = 1;
        r->ring = alc_vT<float>(0, r->ring_size, "rav");
        r->sum = 0.0;
        r->count = r->oldest = r->newest = 0;
        n->value = 0.0f;
        r->state = RAV_ALLOCATED;
        return;
    case RAV_ALLOCATED:
        x = in1(n);
        r->ring[0] = x;
        r->sum = x;
        r->count = 1;
        r->weight = 1.0;
        n->value = x;
        r->state = RAV_RUNNING;
        return;
    default:
        break;
    }
    x = in1(n);
    if (elapsed() <= 0.0f) {
        r->sum += x - r->ring[r->newest];
        r->ring[r->newest] = x;
        n->value = (float)(r->sum * r->weight);
        return;
    }
    const int N = r->ring_size;
    if (r->count < N) {
        r->count++;
        r->weight = 1.0 / r->count;
    } else {
        r->sum -= r->ring[r->oldest];
        if (++r->oldest > N) r->oldest = 0;
    }
    if (++r->newest > N) r->newest = 0;
    r->ring[r->newest] = x;
    r->sum += x;
    n->value = (float)(r->sum * r->weight);
}

void rav_free(CtrlNode* n)
{
    RavData* r = dataOf<RavData>(n);
    if (r->ring) r->ring = fre_vT(r->ring, 0, r->ring_size, "rav");
    r->state = RAV_NEW;
}

// Schedule delay: after a change of the input the output moves from where it was to the
// new input along the rising or falling day schedule, read at the time since the change.
void dls_sig(CtrlNode* n)
{
    DlsData* d = dataOf<DlsData>(n);
    float x = in1(n);
    if (!d->first_done) {
        d->first_done = 1;
        d->last_input = x;
        n->value = x;
        return;
    }
    float since;
    if (x == d->last_input && n->value == x) return;
    // A node resumed from a restart record has its output but no active schedule: the gap
    // between output and input is taken as a change now, as is a change of the input.
    if (x != d->last_input || !d->active) {
        d->last_input = x;
        d->step_change = x - n->value;
        d->active = d->step_change >= 0.0f ? d->rise : d->fall;
        since = 0.5f * elapsed();   // the change is taken at mid-step
        d->change_time = (int)((float)_stepEndTime - since);
    } else {
        since = (float)(_stepEndTime - d->change_time);
        if (since < 0.0f) {   // the change was on an earlier day
            d->change_time -= 86400;
            since = (float)(_stepEndTime - d->change_time);
        }
    }
    float s = sch_val(d->active, since);
    float D = d->step_change;
    n->value = D > 0.0f ? x - D * (1.0f - s) : x - s * D;
}

// The share of the gap between output and input x that the exponential delay closes in dt
// seconds: the rising time constant below the input, the falling one above it.
static float dlxFactor(const DlxData* d, float x, float out, float dt)
{
    if (x > out) return 1.0f - std::exp(-dt / (float)d->tau_rise);
    if (x < out) return 1.0f - std::exp(-dt / (float)d->tau_fall);
    return 0.0f;
}

// Exponential delay with rising and falling time constants; a change is taken at mid-step,
// so its first step moves by exp(-1/2) of the full factor. The output approaches the input
// from one side, so that side names the time constant at every step.
void dlx_sig(CtrlNode* n)
{
    DlxData* d = dataOf<DlxData>(n);
    float x = in1(n);
    if (!d->first_done) {
        d->first_done = 1;
        d->last_input = x;
        d->factor = 0.0f;
        n->value = x;
        return;
    }
    // Without a factor (a node resumed from a restart record has its output only) a gap
    // between output and input starts a delay as a change of the input does.
    const float dt = elapsed();
    if (x == d->last_input && (d->factor != 0.0f || n->value == x)) {
        if (dt <= 0.0f || n->value == x) return;
        d->factor = dlxFactor(d, x, n->value, dt);
        n->value -= d->factor * (n->value - x);
        return;
    }
    d->last_input = x;
    d->factor = dlxFactor(d, x, n->value, dt);
    n->value -= d->factor * 0.6065306f * (n->value - x);
}

}  // namespace vexlar
