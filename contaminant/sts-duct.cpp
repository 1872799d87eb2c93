// Duct sequencing and junction mixing of the short-time-step method: the order in which a
// step visits the ducts, and the junction mass fractions and temperatures that follow from
// what flows into each junction.
#include "contaminant/sts-duct.h"

#include <cmath>
#include <cstdlib>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/run-control.h"
#include "model/sts-links.h"

namespace vexlar {

namespace {

// The junction a link flows into, null for a link without flow.
JunctionNode* downstream(const DuctLink* d)
{
    if (d->link_flow > 0.0) return d->to_junction;
    if (d->link_flow < 0.0) return d->from_junction;
    return nullptr;
}

JunctionNode* upstream(const DuctLink* d)
{
    return d->link_flow > 0.0 ? d->from_junction : d->to_junction;
}

// Share of its downstream junction's inflow a link carries; 1 and above, or no inflow,
// make the link no candidate for breaking a loop.
double linkRatio(const DuctLink* d)
{
    const JunctionNode* j = downstream(d);
    if (!j || j->inflow == 0.0) return 1.0;
    return std::fabs(d->link_flow) / j->inflow;
}

// The deferred link with the smallest ratio below 1 (first met wins ties), optionally only
// among links whose downstream junction waits for at most one more link; null for none.
DuctLink** weakestLink(DuctLink** deferred, bool lastOnly, double* ratio)
{
    DuctLink** best = nullptr;
    double bestRatio = 1.0;
    for (DuctLink** p = deferred; *p; p = &(*p)->next) {
        const JunctionNode* j = downstream(*p);
        if (!j || j->inflow == 0.0) continue;
        if (lastOnly && j->remaining > 1) continue;
        double r = linkRatio(*p);
        if (r < bestRatio) {
            bestRatio = r;
            best = p;
        }
    }
    *ratio = bestRatio;
    return best;
}

void junctionColumn(const JunctionNode* j)
{
    ulog_printf(" %5d%c", j->number, "JRS"[j->terminal_state >= 0 && j->terminal_state < 3
                                                ? j->terminal_state : 0]);
    if (j->node->sum_abs_flow <= j->node->abs_tol) ulog_printf(" **");
}

[[noreturn]] void sequencingFailed(const DuctLink* remaining)
{
    ulog_printf("\n*** Duct sequencing failed at %s\n", steptimestr(_stepEndTime));
    ulog_printf("Still to be sequenced:\n");
    ulog_printf("  Duct   From    To   Net  Flow [kg/s]  F-elt\n");
    for (const DuctLink* d = remaining; d; d = d->next) {
        ulog_printf(" %5d", d->number);
        junctionColumn(d->from_junction);
        junctionColumn(d->to_junction);
        const AfeRec* e = d->path->element;
        int type = e ? e->type : AFE_NTYPES;
        ulog_printf("  %3d %12.3e  %s", d->network, d->link_flow,
                    type >= 0 && type < AFE_NTYPES ? _afe_dnames[type] : "?");
        if (type == AFE_DCT_FAN || type == AFE_DCT_CMF || type == AFE_DCT_CVF)
            ulog_printf(" ***");
        ulog_printf("\n");
    }
    ulog_printf("Do the ducts form a loop with fans?\n");
    ulog_flush();
    error(FATAL, __FILE__, __LINE__, "Duct sequencing failed, see XLog file", "");
    abort();  // the FATAL hook ends the run; never continue on an unordered network
}

}  // namespace

DuctLink* LinkSeq(DuctLink* first)
{
    for (JunctionNode* j = _jctn0; j; j = j->next) j->in_count = 0;
    for (DuctLink* d = first; d; d = d->next) {
        JunctionNode* down = downstream(d);
        if (!down) continue;
        double f = std::fabs(d->link_flow);
        down->in_count++;
        down->inflow += f;
        upstream(d)->outflow += f;
    }
    for (JunctionNode* j = _jctn0; j; j = j->next) j->remaining = j->in_count;

    DuctLink* head = nullptr;
    DuctLink** tail = &head;
    auto append = [&tail](DuctLink* d) {
        *tail = d;
        tail = &d->next;
        JunctionNode* down = downstream(d);
        if (down) down->remaining--;
    };
    DuctLink* pending = first;
    while (pending) {
        DuctLink* deferred = nullptr;
        bool progress = false;
        while (pending) {
            DuctLink* d = pending;
            pending = d->next;
            if (d->link_flow == 0.0 || upstream(d)->remaining == 0) {
                append(d);
                progress = true;
            } else {
                d->next = deferred;  // the next pass visits deferred links in reverse
                deferred = d;
            }
        }
        if (!progress && deferred) {
            // A loop: force the link carrying the smallest share of its junction's inflow.
            // Its flow is already in that inflow once; it is not counted again.
            double ratio;
            DuctLink** pick = weakestLink(&deferred, true, &ratio);
            if (!pick) pick = weakestLink(&deferred, false, &ratio);
            if (!pick) sequencingFailed(deferred);
            DuctLink* d = *pick;
            *pick = d->next;
            append(d);
            ulog_printf("%s Weakest Link: %d, ratio %.5f\n", steptimestr(_stepEndTime),
                        d->number, ratio);
        }
        pending = deferred;
    }
    *tail = nullptr;
    return head;
}

// A junction's air mass is the airflow solution's (the gas law at its pressure, held by
// the mass balance of its flows, with their storage term): the step's inflow less its
// outflow is that balance's residual, within the solver's tolerance, and summed over the
// steps it would drift without bound (below zero in a day). The mixture is what the
// junction held and what flowed in, so its mass fractions stay between the two.
void mixJunction(JunctionNode* j, bool storage)
{
    AirNode* n = j->node;
    double dt = _dt;
    if (storage && n->air_mass > 0.0) {
        double div = n->air_mass_prev + j->inflow * dt;
        for (int k = 0; k < _nctm; k++)
            j->mf[k] = (n->air_mass_prev * j->mf[k] + j->flow_mf_sums[k] * dt) / div;
    } else if (j->inflow > 0.0) {
        for (int k = 0; k < _nctm; k++) j->mf[k] = j->flow_mf_sums[k] / j->inflow;
    }
}

void LinkSet()
{
    bool storage = _rcdat.sts_cells == 0;
    for (JunctionNode* j = _jctn0; j; j = j->next) {
        j->remaining = j->in_count;
        if (j->in_count == 0) mixJunction(j, storage);
    }
}

namespace {

// A junction's temperature from the heat carried in by the step's inflows: mixed with its
// stored air when it has air mass, else the inflows' mean. A heat capacity of 0 (no air
// and no inflow) gives no temperature: the junction keeps the one it had.
void junctionTemperature(JunctionNode* j)
{
    AirNode* n = j->node;
    if (n->temperature_ptr) return;
    double dt = _dt;
    double M = n->air_mass;
    if (M > 0.0) {
        double div = (dt * j->inflow + M) * n->cp;
        if (div != 0.0) n->temperature = (dt * j->heat_flow + M * n->cp * n->temperature) / div;
    } else if (j->inflow > 0.0 && j->cp_flow != 0.0) {
        n->temperature = j->heat_flow / j->cp_flow;
    }
}

}  // namespace

void LinkTSim(DuctLink* first)
{
    if (_nntc > 0)
        for (JunctionNode* j = _jctn0; j; j = j->next) {
            double cp = 0.0;
            for (int k = 0; k < _nntc; k++) cp += _Cp[k] * j->mf[k];
            j->node->cp = (float)cp;
        }
    for (JunctionNode* j = _jctn0; j; j = j->next) {
        j->remaining = j->in_count;
        if (j->in_count == 0) junctionTemperature(j);
    }
    for (DuctLink* d = first; d; d = d->next) {
        JunctionNode* down = downstream(d);
        if (!down) continue;
        const AirNode* up = upstream(d)->node;
        double w = std::fabs(d->link_flow) * up->cp;
        down->cp_flow += w;
        down->heat_flow += w * up->temperature;
        if (--down->remaining <= 0) junctionTemperature(down);
    }
}

}  // namespace vexlar
