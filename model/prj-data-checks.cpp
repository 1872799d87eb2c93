// Checks that close the network build: every zone and junction must reach a node of known
// pressure through variable-flow paths; then the run-control overrides of the run mode
// and of a run without species, and the warnings about single-link nodes and constant-
// pressure zones with their log tables.
#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"

#include <cstring>

namespace vexlar {

namespace {

// Fans of fixed flow or with their own curve, and one-way or curve elements of ducts and
// leaks, do not carry pressure from one node to the other.
bool carries_pressure(const AirPath* p)
{
    switch (p->element ? p->element->type : -1) {
    case AFE_FAN_CMF: case AFE_FAN_CVF: case AFE_FAN_FAN: case AFE_DCT_BDF:
    case AFE_DCT_FSP: case AFE_DCT_QSP: case AFE_D_LEAK: case -1:
        return false;
    default:
        return true;
    }
}

void log_unlinked(const int* mark)
{
    ulog_printf("Unlinked nodes:\n");
    for (AirNode* n = _afnd0; n; n = n->next)
        if (!mark[n->index])
            ulog_printf(n->kind != 0 ? " junction: %4d\n" : "     zone: %4d\n", n->number);
}

double celsius(const AirNode* n) { return n->temperature - 273.15; }

// Nodes with exactly one distinct neighbour: partner[i] > 0 is that neighbour's index.
int single_links(int* partner)
{
    for (AirPath* p = _pafp0; p; p = p->next) {
        int a = p->from_node->index, b = p->to_node->index;
        partner[a] = partner[a] == 0 ? b : (partner[a] != b ? -1 : b);
        partner[b] = partner[b] == 0 ? a : (partner[b] != a ? -1 : a);
    }
    int count = 0;
    for (int i = 1; i <= _nafnd; i++)
        count += partner[i] > 0;
    return count;
}

void log_single_links(const int* partner)
{
    AirNode** at = static_cast<AirNode**>(alc_v(1, _nafnd, sizeof(AirNode*), "nodes"));
    for (AirNode* n = _afnd0; n; n = n->next)
        at[n->index] = n;
    ulog_printf("  Check that inter-zone flow can occur.\n");
    ulog_printf("  zone1 zone2   T1 [C] T2 [C]\n");
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (partner[n->index] <= 0)
            continue;
        AirNode* m = at[partner[n->index]];
        n == _pambt ? ulog_printf("   ambt") : ulog_printf("  %5d", n->index);
        m == _pambt ? ulog_printf("  ambt") : ulog_printf(" %5d", m->index);
        ulog_printf("  %6.2f %6.2f\n", celsius(n), celsius(m));
    }
    ulog_printf("\n");
    fre_v(at, 1, _nafnd, sizeof(AirNode*), "nodes");
}

void warn_single_links()
{
    int* partner = static_cast<int*>(alc_v(1, _nafnd, sizeof(int), "partner"));
    int count = single_links(partner);
    if (count) {
        error(WARNING, __FILE__, __LINE__, intstr(count),
              " zones linked to only one other zone. See XLog file for details.", "");
        log_single_links(partner);
    }
    fre_v(partner, 1, _nafnd, sizeof(int), "partner");
}

void warn_constant_pressure()
{
    int count = 0;
    for (AirNode* n = _afnd0; n; n = n->next)
        count += n != _pambt && !(n->flags & (NODE_VAR_P | NODE_AHS));
    if (!count)
        return;
    error(WARNING, __FILE__, __LINE__, intstr(count),
          " constant pressure zone(s) - not normally used. See XLog file for details.", "");
    ulog_printf(" *** Constant pressure zones:");
    for (AirNode* n = _afnd0; n; n = n->next)
        if (n != _pambt && !(n->flags & (NODE_VAR_P | NODE_AHS)))
            ulog_printf(" %d", n->number);
    ulog_printf("\n\n");
}

// Building airflow test: one trace species, no reactions, no sources or sinks, and fixed
// mass fractions in every zone but those of the air-handling systems.
void flow_test_overrides()
{
    if (_nctm != 1 || _nntc != 0)
        error(FATAL, __FILE__, __LINE__, "Flow validation mode requires one trace contaminant", "");
    for (AirNode* n = _afnd0; n; n = n->next) {
        n->reaction = nullptr;
        if (n->kind == 0 && !(n->flags & NODE_AHS))
            n->flags &= ~NODE_VAR_MF;
    }
    _Css0 = _Cssnt0 = _Csst0 = nullptr;
    _Bls0 = _Blsnt0 = _Blst0 = nullptr;
    _Dvr0 = _Dvrnt0 = _Dvrt0 = nullptr;
    _Pxs0 = _Pxst0 = nullptr;
    _rcdat.sim_mf = 1;
}

// Marks every node reached from a marked node through links that carry pressure (the
// same nodes that repeated passes over the links would mark), in time linear in the
// number of links: the links of each node are gathered once, then walked breadth first.
void mark_reachable(int* mark)
{
    int n = _nafnd, links = 0;
    int* first = static_cast<int*>(alc_v(1, n + 1, sizeof(int), "first"));
    for (AirPath* p = _pafp0; p; p = p->next)
        if (carries_pressure(p)) {
            first[p->from_node->index]++, first[p->to_node->index]++;
            links += 2;
        }
    for (int k = 1, at = 0; k <= n + 1; k++) {   // first[k]: where node k's neighbours start
        int count = k <= n ? first[k] : 0;
        first[k] = at;
        at += count;
    }
    int* adj = static_cast<int*>(alc_v(0, links, sizeof(int), "adj"));
    int* fill = static_cast<int*>(alc_v(1, n, sizeof(int), "fill"));
    for (AirPath* p = _pafp0; p; p = p->next)
        if (carries_pressure(p)) {
            int a = p->from_node->index, b = p->to_node->index;
            adj[first[a] + fill[a]++] = b;
            adj[first[b] + fill[b]++] = a;
        }
    int* queue = fill;   // reused: nodes waiting to pass their mark on
    int head = 0, tail = 0;
    for (int k = 1; k <= n; k++)
        if (mark[k])
            queue[++tail] = k;
    while (head < tail) {
        int k = queue[++head];
        for (int e = first[k]; e < first[k + 1]; e++)
            if (!mark[adj[e]]) {
                mark[adj[e]] = 1;
                queue[++tail] = adj[e];
            }
    }
    fre_v(fill, 1, n, sizeof(int), "fill");
    fre_v(adj, 0, links, sizeof(int), "adj");
    fre_v(first, 1, n + 1, sizeof(int), "first");
}

}  // namespace

void sd_connectivity()
{
    int* mark = static_cast<int*>(alc_v(1, _nafnd, sizeof(int), "mark"));
    int i = 0;
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (n->index != ++i)
            error(FATAL, __FILE__, __LINE__, "Node numbers not sequential", "");
        mark[i] = (n->flags & NODE_VAR_P) ? 0 : 1;
    }
    mark_reachable(mark);
    bool unlinked = false;
    for (int k = 1; k <= _nafnd; k++)
        unlinked |= !mark[k];
    if (unlinked) {
        log_unlinked(mark);
        error(FATAL, __FILE__, __LINE__, "Zones/junctions not linked to ambient by variable flow path", "");
    }
    fre_v(mark, 1, _nafnd, sizeof(int), "mark");
}

void sd_test_mode_overrides()
{
    RunControlData& r = _rcdat;
    r.mf_solver = r.sim_mf = r.tsdens = 0;
    if (r.sim_af == 3)
        flow_test_overrides();
    if (r.sim_af == 4)
        for (AirNode* n = _afnd0; n; n = n->next)
            n->flags = (n->flags & ~NODE_VAR_P) | ((n->flags & NODE_AMBIENT) ? NODE_VAR_P : 0);
    _doBridge = 0;
    _useWPC = 0;
    r.pfres = r.zfres = 1;
    r.zcres = 0;
    std::strcpy(_WTHfile, "null");
    std::strcpy(_CTMfile, "null");
    r.ach_step = r.ach_stats = r.cbw_stats = r.ebw_step = r.ebw_stats = 0;
    r.age_step = r.age_stats = r.rzf = r.rzm = r.rz1 = 0;
}

void sd_run_mode_overrides()
{
    RunControlData& r = _rcdat;
    _sim_af_dyn = (r.sim_af == 1);
    if (r.sim_af > 1)
        sd_test_mode_overrides();
    if (r.sim_af == 0)
        r.ach_stats = r.age_step = r.age_stats = 0;
    if (_nctm == 0)
        r.sim_mf = 0;
    if (r.sim_mf == 0) {
        r.mf_solver = r.zcres = r.cbw_stats = r.ebw_step = r.ebw_stats = 0;
        r.rzf = r.rzm = r.rz1 = r.srf = r.csm = r.cex_bldg = r.cex_ctm = r.zcsave = 0;
    }
    if (_nafnd > 2)
        warn_single_links();
    if (r.sim_af == 4)
        return;
    warn_constant_pressure();
}

}  // namespace vexlar
