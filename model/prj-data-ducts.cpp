// Duct networks: junctions grouped into networks joined by duct segments, the loops
// within each network (a loop with a fan may defeat the duct sequencing of the
// short-time-step method), and the halves of each segment's volume and leakage that its
// end junctions take.
#include <initializer_list>

#include "common-src/memory.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/prj-file-util.h"
#include "model/elements.h"
#include "model/prj-data.h"
#include "model/prj-records.h"

namespace vexlar {

namespace {

// One duct segment on the work list of the analysis.
struct SegLink {
    SegLink* next;
    JunctionRec* from_junction;
    JunctionRec* to_junction;
    DuctSegRec* segment;
    bool gone;            // stripped off: not on a loop
};

// The work list and its sweeps are inconsistent: no project data leads here.
void analysis_fault() { error(FATAL, __FILE__, __LINE__, "Error in duct network analysis; call ZELT", ""); }

bool in_network(const JunctionRec* j, int c) { return j && j->network == c; }

void set_network(JunctionRec* j, int c)
{
    if (j)
        j->network = c;
}

// Work list of every segment in segment order, with every junction outside any network.
// A segment with neither junction joins nothing; the path build reports it.
SegLink* work_list(MemBlock** pool)
{
    SegLink* head = nullptr;
    SegLink** tail = &head;
    for (int k = 1; k <= _njct; k++)
        _JctList[k]->network = 0;
    for (int k = 1; k <= _ndct; k++) {
        if (!_DctList[k]->jct_from && !_DctList[k]->jct_to)
            continue;
        SegLink* e = static_cast<SegLink*>(alc_ec(pool, sizeof(SegLink), "plt"));
        e->segment = _DctList[k];
        e->from_junction = e->segment->jct_from;
        e->to_junction = e->segment->jct_to;
        *tail = e;
        tail = &e->next;
    }
    return head;
}

// One sweep: segments touching network c move to its list (appended); the others form the
// new work list, each pushed at its head. Returns whether a segment moved.
bool sweep(SegLink** work, SegLink**& net_tail, int c)
{
    SegLink* rest = nullptr;
    bool moved = false;
    for (SegLink* e = *work; e;) {
        SegLink* next = e->next;
        if (in_network(e->from_junction, c) || in_network(e->to_junction, c)) {
            set_network(e->from_junction, c);
            set_network(e->to_junction, c);
            e->next = nullptr;
            *net_tail = e;
            net_tail = &e->next;
            moved = true;
        } else {
            e->next = rest;
            rest = e;
        }
        e = next;
    }
    *work = rest;
    return moved;
}

// A missing end counts as a free end of degree 1, so its segment is never on a loop.
int degree_of(const JunctionRec* j) { return j ? j->degree : 1; }

void add_degree(JunctionRec* j, int d)
{
    if (j)
        j->degree += d;
}

bool is_fan(const DuctSegRec* s)
{
    int t = s->element ? s->element->type : -1;
    return t == AFE_DCT_FAN || t == AFE_DCT_CMF || t == AFE_DCT_CVF;
}

// Strips the segments with a free end until only loops are left, then warns when a loop
// holds a fan.
void check_loops(SegLink* net, int c)
{
    for (SegLink* e = net; e; e = e->next) {
        if (e->from_junction) e->from_junction->degree = 0;
        if (e->to_junction) e->to_junction->degree = 0;
    }
    for (SegLink* e = net; e; e = e->next) {
        add_degree(e->from_junction, 1);
        add_degree(e->to_junction, 1);
    }
    for (bool removed = true; removed;) {
        removed = false;
        for (SegLink* e = net; e; e = e->next) {
            if (e->gone || (degree_of(e->from_junction) != 1 && degree_of(e->to_junction) != 1))
                continue;
            e->gone = removed = true;
            add_degree(e->from_junction, -1);
            add_degree(e->to_junction, -1);
        }
    }
    bool warned = false;
    for (SegLink* e = net; e; e = e->next) {
        if (e->gone || !is_fan(e->segment))
            continue;
        if (!warned)
            ulog_printf("WARNING: Duct network # %d has a loop with a fan.\n"
                        "  This may cause duct sequencing to fail.\n"
                        "  Loop duct segment(s) with a fan:", c);
        warned = true;
        ulog_printf(" %d", e->segment->number);
    }
    if (warned)
        ulog_printf("\n");
}

void log_networks(int count)
{
    ulog_printf("%d Duct Networks\n", count);
    for (int m = 0; m <= count; m++) {
        ulog_printf("      network # %d - jctns:\n", m);
        int col = 0;
        for (int k = 1; k <= _njct; k++) {
            if (_JctList[k]->network != m)
                continue;
            ulog_printf(" %5d", _JctList[k]->number);
            if (++col == 16) {
                ulog_printf("\n");
                col = 0;
            }
        }
        if (col)
            ulog_printf("\n");
    }
    ulog_printf("\n");
}

}  // namespace

void sd_duct_networks()
{
    MemBlock* pool = alc_eci(4000, "md-block");
    SegLink* work = work_list(&pool);
    int c = 0;
    while (work) {
        JunctionRec* seed = work->to_junction ? work->to_junction : work->from_junction;
        if (seed->network)
            analysis_fault();
        seed->network = ++c;
        SegLink* net = nullptr;
        SegLink** net_tail = &net;
        while (sweep(&work, net_tail, c)) {}
        if (!net)
            analysis_fault();
        check_loops(net, c);
    }
    fre_ec(pool, "md-block");
    if (_list > 0)
        log_networks(c);
    for (int k = 1; k <= _njct; k++)
        if (_JctList[k]->network == 0)
            error(FATAL, __FILE__, __LINE__, "Error in duct network analysis: junction ",
                  intstr(_JctList[k]->number), " is on no duct segment; join it to a duct or remove it", "");
}

void sd_junction_volumes()
{
    for (int k = 1; k <= _ndct; k++) {
        DuctSegRec* s = _DctList[k];
        DuctGeometry g = {};
        if (!duct_elmt_data(s, &g))
            continue;
        for (JunctionRec* j : {s->jct_from, s->jct_to}) {
            if (!j)
                continue;
            j->volume += 0.5f * g.volume;
            if (j->term_type == 0)
                j->leak_coef += 0.5f * g.leak_coef;
        }
    }
}

}  // namespace vexlar
