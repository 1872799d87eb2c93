// The per-step exchange with the peer: once the step end reaches the peer's run-until
// point the engine sends the results the peer selected (zone mass fractions, flows,
// output control values), a ready message, and serves the peer's messages until it names
// the next run-until point. Every message is built in the one message buffer.
#include "bridge/bridge-int.h"
#include "bridge/bridge.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"

namespace vexlar {

int advance_flag = 255;
int rd = 0;
int rt = 0;
int _peerEnded = 0;

// The peer's run-until time t [s] counts from the start of day `base`: a whole number of
// days means the end of the previous day, and t <= 0 the end of day `base`.
void bridge_RunUntil(int t, int base, int* day, int* time)
{
    int q = t / 86400;
    *day = base + q;
    if (t <= 0) {
        *time = 86400;
        return;
    }
    *time = t % 86400;
    if (*time == 0) {
        *time = 86400;
        *day = base + q - 1;
    }
}

// ---- Volume flows ------------------------------------------------------------------------------

// Air density [kg/m3] from the barometric pressure, a temperature [K] and a humidity ratio
// [kg/kg], with the gas constant of dry air 287 J/(kg K); 1.6077687 is the molar mass of
// dry air over that of water vapour (28.9645 / 18.01528) less one. A humidity ratio below
// the single-precision 1e-5 counts as that value.
static float moistDensity(double T, double W)
{
    const double Wmin = (double)1e-5f;
    if (W < Wmin) W = Wmin;
    double F = 1.0 + 1.6077687 * W;
    return (float)(_wthdat.Pbar / (T * 287.0 * F));
}

// An ordinary path: the air of its source node, or the mean of both ends unless the
// source is the ambient.
float bridge_PathVolumeDensity(const AirPath* p)
{
    const AirNode* src = p->dp >= 0.0 ? p->from_node : p->to_node;
    const AirNode* dst = p->dp >= 0.0 ? p->to_node : p->from_node;
    if (src == _pambt) return moistDensity(src->temperature, src->humidity_ratio);
    return moistDensity(0.5 * (src->temperature + dst->temperature),
                        0.5 * (src->humidity_ratio + dst->humidity_ratio));
}

// A system path or terminal: dry air at the temperature of its destination node.
float bridge_DestinationDensity(const AirPath* p)
{
    const AirNode* dst = p->dp >= 0.0 ? p->to_node : p->from_node;
    return moistDensity(dst->temperature, 0.0);
}

// ---- Update messages -----------------------------------------------------------------------

void bridge_PeerHungUp()
{
    _peerEnded = 1;
    _doBridge = 1;
}

// A report to a peer that has closed the connection is the session's end; once it has
// ended, the rest of the report is not sent.
static void reportSend(MsgOut& m)
{
    if (!_peerEnded && !msg_send(m, true)) bridge_PeerHungUp();
}

static void logUpdateTime()
{
    ulog_printf("time = %d (%s)\n", _stepEndTime, steptimestr(_stepEndTime));
}

// Time at 20, agent k at 24, the zones' mass fractions from 28, and 4 bytes that carry no
// value (sent as zeros) to the declared length 32 + 4 n. Agent 0 carries no values.
static void sendConcentrations(int k)
{
    int n = k > 0 ? _num_zones : 0;
    MsgOut m = msg_in_buffer(CONC_UPDATE_MSG, 32 + 4 * n);
    msg_int(m, _stepEndTime);
    msg_int(m, k);
    for (int z = 1; z <= n; z++) msg_float(m, (float)_zone_list[z]->mf[k - 1]);
    msg_int(m, 0);
    reportSend(m);
    if (bridge_echo() > 0) {
        logUpdateTime();
        ulog_printf("agent id = %d\n", k);
        for (int z = 1; z <= n; z++) ulog_printf(" %g", _zone_list[z]->mf[k - 1]);
        ulog_printf("\n-------------\n");
    }
}

// Time at 20, the count n at 24, then the columns of n values each from 28.
static MsgOut beginFlows(int type, int n, int columns)
{
    MsgOut m = msg_in_buffer(type, 28 + 4 * columns * n);
    msg_int(m, _stepEndTime);
    msg_int(m, n);
    return m;
}

// Sends the message; at echo level 1 or more logs its values in `format`.
static void endUpdate(MsgOut& m, const char* format = " %13.4e")
{
    reportSend(m);
    if (bridge_echo() > 0) {
        logUpdateTime();
        for (int off = 28; off < m.length; off += 4) ulog_printf(format, get_f32(m.buf, off));
        ulog_printf("\n-------------\n");
    }
}

static void sendPathFlows()
{
    int n = _num_afpaths;
    MsgOut m = beginFlows(PATH_FLOW_UPDATE_MSG, n, 2);
    for (int column = 0; column < 2; column++)
        for (int k = 1; k <= n; k++) {
            const AirPath* p = _afpath_list[k];
            float f = (float)p->mass_flow[column];
            msg_float(m, _vFBridge ? f / bridge_PathVolumeDensity(p) : f);
        }
    endUpdate(m);
}

// One float per path: its first flow, as a volume flow by the density the kind calls for.
static void sendFlows(int type, AirPath** list, int n, bool ductAir)
{
    MsgOut m = beginFlows(type, n, 1);
    for (int k = 1; k <= n; k++) {
        const AirPath* p = list[k];
        float f;
        if (!_vFBridge) f = (float)p->mass_flow[0];
        else if (ductAir) f = (float)(p->mass_flow[0] / p->from_node->density);
        else f = (float)p->mass_flow[0] / bridge_DestinationDensity(p);
        msg_float(m, f);
    }
    endUpdate(m);
}

static void sendControlValues()
{
    int n = _num_onodes;
    MsgOut m = beginFlows(CTRL_NODE_UPDATE_MSG, n, 1);
    for (int k = 1; k <= n; k++) msg_float(m, _onode_list[k]->value);
    endUpdate(m, " %g");
}

static void sendUpdates()
{
    int bits = advance_flag;
    if (bits == 0) sendConcentrations(0);
    if (bits & 0x02)
        for (int k = 1; k <= _num_agents; k++) sendConcentrations(k);
    if (bits & 0x04) sendPathFlows();
    if (bits & 0x08) sendFlows(AHSP_FLOW_UPDATE_MSG, _ahsp_list, _num_ahsp, false);
    if (bits & 0x10) sendFlows(DUCT_FLOW_UPDATE_MSG, _duct_list, _num_ducts, true);
    if (bits & 0x20) sendFlows(TERM_FLOW_UPDATE_MSG, _term_list, _num_terms, false);
    if (bits & 0x40) sendFlows(LEAK_FLOW_UPDATE_MSG, _leak_list, _num_leaks, true);
    if (bits & 0x80) sendControlValues();
}

// ---- The call of each step -----------------------------------------------------------------

static bool reached() { return _stepEndTime >= rt && _dayofy >= rd; }

bool bridge_PeerEnded() { return _peerEnded != 0; }

void bridge_CheckForMessages()
{
    // Code 0 came (connected still, but no more exchanges), or the user asked to stop: the
    // run ends at the loop's next poll and tells the peer then.
    if (_peerEnded || _stopRequested) return;
    int echo = bridge_echo();
    if (echo > 1) {
        ulog_printf("---------- bridge_CheckForMessages()(before bridge_MessageService)\n");
        ulog_printf("           _stepEndTime= %d _time_step= %d rt= %d _dayofy= %d rd= %d\n",
                    _stepEndTime, _time_step, rt, _dayofy, rd);
    }
    if (!reached()) {
        if (echo > 1)
            ulog_printf("  bridge_CheckForMessages (entry BUT return because _stepEndTime < rt AND _dayofy < rd)\n");
        return;
    }
    sendUpdates();
    if (!_peerEnded && !send_vx_ready_msg(_stepEndTime, true)) bridge_PeerHungUp();
    if (_peerEnded) return;
    // One convention for the peer's times: seconds from the start of day 1 of the year.
    bridge_RunUntil(bridge_MessageService(), 1, &rd, &rt);
    if (echo > 1)
        ulog_printf("  bridge_CheckForMessages() (after bridge_MessageService) : run_until_date %3d run_until_time %5d \n",
                    rd, rt);
    // A point already reached holds the engine for the next command; not after the peer
    // has ended the exchange, and not on the last day of the year.
    while (_doBridge == 2 && !_peerEnded && !_stopRequested && _stepEndTime >= rt && rd <= _dayofy && _dayofy <= 364) {
        if (echo > 1) {
            ulog_printf("    _stepEndTime(%5d) >= rt(%3d) and\n", _stepEndTime, rt);
            ulog_printf("    _dayofy(%5d)      >= rd(%3d)\n", _dayofy, rd);
        }
        bridge_RunUntil(bridge_MessageService(), 1, &rd, &rt);
    }
    if (echo > 1) ulog_printf("---------- End bridge_CheckForMessages()\n");
}

}  // namespace vexlar
