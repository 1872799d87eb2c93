// The bridge's receive loop: reads the peer's messages one after another and applies each
// to the shared simulation records (zone and junction states, ambient conditions, envelope
// wind pressures and ambient mass fractions, path elements, system settings, control
// inputs) until the peer names the next run-until time. Every count and number in a
// message is checked against the message's length and against the network before use.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bridge/bridge-int.h"
#include "bridge/bridge.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/elements.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"

namespace vexlar {

unsigned _steadyWarned = 0;

namespace {

const char* const errorTypeNames[2] = {"terminate_sim", "end_next_day"};

int msgLength() { return (int)reinterpret_cast<const BridgeMsgHeader*>(_msgbuf)->length; }
int32_t bodyInt(long long off) { return get_i32(_msgbuf, (int)off); }
float bodyFloat(long long off) { return get_f32(_msgbuf, (int)off); }

uint32_t s_type = 0;         // type of the message being served

// Where a fault of the peer's lies: the message that holds it, and that the peer sent it.
const char* fromPeer()
{
    static char text[96];
    std::snprintf(text, sizeof text, " in %s (type %u) sent by the peer", bridge_TypeName(s_type), (unsigned)s_type);
    return text;
}

// A FATAL ends the run through the finish hook, which exits; nothing after it may run.
// The message and the peer are named after the text.
template <class... Pieces> [[noreturn]] void fatal(int line, Pieces... pieces)
{
    error(FATAL, __FILE__, line, pieces..., fromPeer(), "");
    std::abort();
}

[[noreturn]] void bridgeLost()
{
    _doBridge = 1;
    error(FATAL, __FILE__, __LINE__, "  Bridge lost", "");
    std::abort();
}

// A count the peer sent, checked before any size is worked out from it: 0 up to what
// the message could hold at one byte an entry, so that no product of counts overflows.
bool countFits(long long count) { return count >= 0 && count <= msgLength(); }

// The message holds `need` bytes; else it is reported as malformed and skipped. A count
// (of the entries the size was worked out from) that does not fit fails too.
bool holds(long long need, long long count = 0)
{
    if (countFits(count) && need <= msgLength()) return true;
    char want[24];
    std::snprintf(want, sizeof want, "%lld", countFits(count) ? need : -1LL);
    if (countFits(count))
        error(ERROR, __FILE__, __LINE__, "Bridge: Invalid packet length: ", intstr(msgLength()), fromPeer(),
              ", which needs ", want, " bytes; the message is skipped", "");
    else
        error(ERROR, __FILE__, __LINE__, "Bridge: Invalid packet length: ", intstr(msgLength()), fromPeer(),
              ", whose count ", intstr((int)count), " it cannot hold; the message is skipped", "");
    return false;
}

[[noreturn]] void badIndex(const char* text, int index, int position)
{
    fatal(__LINE__, text, intstr(index), ", ", intstr(position));
}

// Under steady airflow (sim_af 0) the flows are solved once, before the first step: an
// adjustment that acts on them changes none, and the peer is told so once per kind.
void warnSteadyAirflow(const char* more = "")
{
    unsigned bit = 1u << (s_type / 10 % 32);
    if (_sim_af_dyn || (_steadyWarned & bit)) return;
    _steadyWarned |= bit;
    char text[400];
    std::snprintf(text, sizeof text,
                  "Bridge: %s sent by the peer changes no airflow: the project's airflow is steady (sim_af 0)%s; "
                  "set sim_af to 1 on Run Control for the peer's adjustments to act on the flows",
                  bridge_TypeName(s_type), more);
    error(WARNING, __FILE__, __LINE__, text, "");
}

// Not messages: the peer closed the connection between messages; the user asked to stop
// the run while the engine waited for the peer.
constexpr uint32_t PEER_HUNG_UP = 0xFFFFFFFFu;
constexpr uint32_t STOP_REQUESTED = 0xFFFFFFFEu;

// Reads a header: 1 when accepted, 0 when rejected (dropped, its body stays unread), -1
// when the peer closed the connection before it, BRIDGE_STOP on a stop request.
int readHeader(unsigned char* hdr)
{
    if (bridge_echo() > 1) ulog_printf("---------- bridge_ReadDataFromSocket() ---\n");
    int rc = bridge_ReadAll(_sockfd, hdr, BRIDGE_HEADER, true);
    if (rc == -2) return -1;
    if (rc == BRIDGE_STOP) return BRIDGE_STOP;
    if (rc != 0) bridgeLost();
    uint32_t length = (uint32_t)get_i32(hdr, 8);   // unsigned on the wire
    int32_t version = get_i32(hdr, 16);
    s_type = (uint32_t)get_i32(hdr, 12);
    if (std::memcmp(hdr, BRIDGE_MAGIC, 8) != 0) {
        char text[9];
        std::memcpy(text, hdr, 8);
        text[8] = '\0';
        error(ERROR, __FILE__, __LINE__, "Bridge: Invalid header pattern: ", text,
              " in a header sent by the peer; the header is skipped", "");
    } else if (length < (uint32_t)BRIDGE_HEADER || length > (uint32_t)_maxbuf) {
        char text[16], most[16];
        std::snprintf(text, sizeof text, "%u", (unsigned)length);
        std::snprintf(most, sizeof most, "%d", _maxbuf);
        error(ERROR, __FILE__, __LINE__, "Bridge: Invalid packet length: ", text, fromPeer(), ", which may be ",
              intstr(BRIDGE_HEADER), " to ", most, " bytes; the message is skipped", "");
    } else if (version != (int32_t)BRIDGE_VERSION) {
        error(ERROR, __FILE__, __LINE__, "Bridge: Invalid packet version: ", intstr(version), fromPeer(),
              ", which must be 10; the message is skipped", "");
    } else {
        return 1;
    }
    if (bridge_echo() > 0) ulog_printf(" bridge_ReadDataFromSocket() returned NULL\n");
    return 0;
}

// The next acceptable message in _msgbuf, header in host order; its type, PEER_HUNG_UP or
// STOP_REQUESTED.
uint32_t readMessage()
{
    unsigned char hdr[BRIDGE_HEADER];
    int got;
    while ((got = readHeader(hdr)) == 0) {
    }
    if (got == BRIDGE_STOP) return STOP_REQUESTED;
    if (got < 0) return PEER_HUNG_UP;
    BridgeMsgHeader h;
    std::memcpy(h.magic, hdr, 8);
    h.length = (uint32_t)get_i32(hdr, 8);
    h.type = (uint32_t)get_i32(hdr, 12);
    h.version = (uint32_t)get_i32(hdr, 16);
    std::memcpy(_msgbuf, &h, sizeof h);
    int rc = bridge_ReadAll(_sockfd, _msgbuf + BRIDGE_HEADER, (int)h.length - BRIDGE_HEADER);
    if (rc == BRIDGE_STOP) return STOP_REQUESTED;   // the message half read is not acted on
    if (rc != 0) bridgeLost();
    if (bridge_echo() > 1) ulog_printf("---------- End bridge_ReadDataFromSocket() ---\n");
    if (bridge_echo() > 0) bridge_PrintHeader(reinterpret_cast<const BridgeMsgHeader*>(hdr));
    return h.type;
}

const char* stepTime() { return steptimestr(_stepEndTime); }

void logEnd()
{
    if (bridge_echo() > 0) ulog_printf("---------\n");
}

// ---- Lists of (number, value) pairs --------------------------------------------------------

// Body from offset 20: int32 n, n int32 numbers, n floats. Each number must be 1..bound;
// apply gets each number, value and position. At echo level `level` or more the log first
// gets `head` with the step end and n.
template <class Apply> void forEachPair(int bound, const char* bad, int level, const char* head, Apply apply)
{
    if (!holds(24)) return;
    int n = bodyInt(20);
    if (!holds(24 + 8LL * n, n)) return;
    long long ids = 24, vals = ids + 4LL * n;
    if (bridge_echo() >= level) ulog_printf(head, stepTime(), n);
    for (int i = 0; i < n; i++) {
        int id = bodyInt(ids + 4 * i);
        if (id < 1 || id > bound) badIndex(bad, id, i + 1);
        apply(id, bodyFloat(vals + 4 * i), i + 1);
    }
    logEnd();
}

// ---- Actions -------------------------------------------------------------------------------

// Sets or adds (v a mass [kg] over the zone's air mass) one species' mass fraction in a
// zone: in every cell of a one-dimensional zone, in its short-time-step cell, or in the
// node itself, which the implicit transport then takes as the start of the next step.
void adjustConcentration(AirNode* node, int k, int op, float v)
{
    double add = node->air_mass > 0.0 ? v / node->air_mass : 0.0;
    auto change = [&](double& mf) { mf = op != 0 ? (double)v : mf + add; };
    double before = node->mf[k - 1];
    if (node->cd1_zone) {
        ZoneCell* c = node->cd1_zone->cells;
        for (int i = 0; i < node->cd1_zone->cell_count; i++) change(c[i].mf[k - 1]);
    } else if (node->zone_cell) {
        change(node->zone_cell->mf[k - 1]);
    } else {
        change(node->mf[k - 1]);
        _doBridgeMf = 1;
    }
    if (bridge_echo() > 1 && op == 0)
        ulog_printf("Add mass Mzone %g, MFadd %g, Mf[k] before %g after %g\n", node->air_mass, v,
                    before, node->mf[k - 1]);
}

void zoneConcentrations()
{
    if (!holds(32)) return;
    int op = bodyInt(20), k = bodyInt(28);
    if (bridge_echo() > 0) ulog_printf("%s op %d, nz %d, k %d\n", stepTime(), op, bodyInt(24), k);
    int n = bodyInt(24);
    if (!holds(32 + 8LL * n, n)) return;
    if (k < 1 || k > _num_agents) fatal(__LINE__, "Invalid agent index: ", intstr(k));
    for (int i = 0; i < n; i++) {
        int z = bodyInt(32 + 4 * i);
        float v = bodyFloat(32 + 4LL * n + 4 * i);
        if (z < 1 || z > _num_zones) badIndex("Invalid zone index: ", z, i + 1);
        if (bridge_echo() > 1) ulog_printf("Zone ID %d, CW# %d, M/Mf %g\n", z, _zone_list[z]->index, v);
        adjustConcentration(_zone_list[z], k, op, v);
    }
    logEnd();
}

void zoneTemperatures()
{
    warnSteadyAirflow();
    forEachPair(_num_zones, "Invalid zone index: ", 1, "%s nz %d\n", [](int z, float v, int) {
        _zone_list[z]->temperature = v;
        if (bridge_echo() > 1) ulog_printf("Zone ID %d, T %6.2f\n", z, v);
    });
}

void junctionTemperatures()
{
    warnSteadyAirflow();
    forEachPair(_num_jcts, "Invalid jct index: ", 1, "%s nj %d\n", [](int j, float v, int) {
        _jct_list[j]->temperature = v;
        if (bridge_echo() > 1) ulog_printf("jct ID %d, T %g\n", j, v);
    });
}

void zoneHumidities()
{
    forEachPair(_num_zones, "Invalid zone index: ", 1, "%s nz %d\n", [](int z, float v, int i) {
        _zone_list[z]->humidity_ratio = v;
        if (bridge_echo() > 1 && i == 1) ulog_printf("ZoneID HumidityRatio[kg/kg]\n");
        if (bridge_echo() > 1) ulog_printf("%6d %13.6e\n", z, v);
    });
}

bool isSystemPath(const AirPath* p) { return p->flags & (0x08 | 0x10 | 0x20 | 0x40); }

// Design flows of system paths; the flow then no longer follows the path's own control.
void systemPathFlows()
{
    const char* bad = "Bridge: invalid AHS path index: ";
    warnSteadyAirflow();
    forEachPair(_npath, bad, 2, "Bridge: %s nahsp %d\n", [bad](int p, float v, int i) {
        AirPath* pp = _path_list[p];
        if (!isSystemPath(pp)) badIndex(bad, p, i);
        pp->ahs_design_flow = v;
        pp->value_ptr = &_one;
        if (bridge_echo() > 1) ulog_printf("Bridge: path ID %d, Flow %g\n", p, v);
    });
}

AirPath* recirculationPath(int s)
{
    for (int k = 1; k <= _num_ahsp; k++)
        if (_ahsp_list[k]->ahs_number == s && (_ahsp_list[k]->flags & 0x10)) return _ahsp_list[k];
    return nullptr;
}

// Outdoor-air fractions: system s keeps its own entry _poa_list[s], which its
// recirculation path reads as its control value.
void outdoorAirFractions()
{
    warnSteadyAirflow();
    forEachPair(_num_ahs, "Bridge: invalid AHS index: ", 2, "Bridge: %s nahs %d\n", [](int s, float v, int i) {
        AirPath* rec = recirculationPath(s);
        if (!rec) badIndex("Bridge: AHS without recirculation path: ", s, i);
        _poa_list[s] = v;
        rec->value_ptr = &_poa_list[s];
        if (bridge_echo() > 1) ulog_printf("Bridge: AHS ID %d, POA %g\n", s, v);
    });
}

void pathElement()
{
    if (!holds(28)) return;
    int p = bodyInt(20), e = bodyInt(24);
    if (p < 1 || p > _npath) fatal(__LINE__, "Invalid path id: ", intstr(p));
    if (e < 1 || e > _num_elmts) fatal(__LINE__, "Invalid element id: ", intstr(e), " for path ", intstr(p));
    warnSteadyAirflow();
    _path_list[p]->element = _elmt_list[e];
    _path_list[p]->mass_flow[1] = 0.0;
    if (bridge_echo() > 0) ulog_printf("Bridge: Setting path %d to element %d\n", p, e);
    logEnd();
}

void controlValue()
{
    if (!holds(28)) return;
    int number = bodyInt(20);
    float v = bodyFloat(24);
    for (int k = 1; k <= _num_inodes; k++)
        if (_inode_list[k]->number == number) _inode_list[k]->value = v;
    if (bridge_echo() > 0) ulog_printf("Bridge: Setting control node %d to %f\n", number, v);
    logEnd();
}

void weather()
{
    if (!holds(40)) return;
    if (!_pambt) fatal(__LINE__, "Bridge: weather received without an ambient node");
    warnSteadyAirflow(", and the results list the peer's ambient conditions while the flows were solved at the "
                      "project's");
    _wthdat.Tambt = bodyFloat(20);
    _wthdat.Pbar = bodyFloat(24);
    _wthdat.WS = bodyFloat(28);
    _wthdat.WD = bodyFloat(32);
    _wthdat.HR = bodyFloat(36);
    _pambt->temperature = _wthdat.Tambt;
    _pambt->humidity_ratio = _wthdat.HR;
    if (bridge_echo() > 0) {
        ulog_printf("%s %s\n", datestr(_dayofy), stepTime());
        ulog_printf("Tambt %g\nPbar  %g\nWS    %g\nWD    %g\nHR    %g\n", _wthdat.Tambt,
                    _wthdat.Pbar, _wthdat.WS, _wthdat.WD, _wthdat.HR);
    }
}

// The envelope opening at position i of the announced order.
int opening(int i)
{
    if (i > _num_envp) fatal(__LINE__, "Invalid envelope path position: ", intstr(i));
    int x = _env_list[i];
    if (x < 1 || x > _nEnvPaths_Wpc) badIndex("Invalid envelope path index: ", x, i);
    return x;
}

// a < 1: m wind pressures [Pa], each taken with its opening's direction sign. Otherwise
// the a listed species' ambient mass fractions at each of m openings.
void envelope()
{
    if (!holds(32)) return;
    int t = bodyInt(20), a = bodyInt(24), m = bodyInt(28);
    int agents = a > 0 ? a : 0, perOpening = a > 0 ? a : 1;
    if (!holds(32, agents) || !holds(32, m)) return;   // both counts bounded before their product
    long long vals = 32 + 4LL * agents;
    if (!holds(vals + 4LL * m * perOpening, m)) return;
    if (a < 1 && m > 0) warnSteadyAirflow();
    int echo = bridge_echo();
    if (echo > 0) {
        ulog_printf("time: %d\nnum_agents: %d\nnum_paths: %d\n", t, a, m);
        ulog_printf(a < 1 ? "Recieving envelope Wind Pressures\n" : "Recieving envelope Mass Fractions\n");
    }
    if (a > _num_agents) fatal(__LINE__, "Invalid agent index: ", intstr(a));
    for (int j = 1; j <= agents; j++) {
        int k = bodyInt(32 + 4 * (j - 1));
        if (k < 1 || k > _num_agents) badIndex("Invalid agent index: ", k, j);
        _ctm_list[j] = k - 1;
    }
    if (a < 1 && m > 0 && !_ENV_wP)
        fatal(__LINE__, "Bridge: wind pressures received but the project has none");
    if (a > 0 && m > 0 && !_ENV_Mf)
        fatal(__LINE__, "Bridge: envelope mass fractions received but the project has none");
    for (int i = 1; i <= m; i++) {
        int x = opening(i);
        for (int j = 1; j <= perOpening; j++) {
            float v = bodyFloat(vals + 4LL * ((long long)(i - 1) * perOpening + (j - 1)));
            if (a < 1) {
                _ENV_wP[x] = v * _ENV_wPs[x];
                if (echo > 1) ulog_printf("wp %d: %11.3e\n", i, v);
            } else {
                _ENV_Mf[x][_ctm_list[j]] = v;
                if (echo > 1) ulog_printf("p %d, ctm %d mf: %11.3e\n", i, _ctm_list[j] + 1, v);
            }
        }
    }
    if (echo > 0) ulog_printf("-------------\n");
}

// The peer's end code: 1 ends the run at the end of today, 0 ends the session; either
// returns true. The engine answers code 0 with its own when the run has ended.
bool endCode()
{
    if (!holds(24)) return false;
    int code = bodyInt(20);
    if (bridge_echo() > 0) {
        ulog_printf("%s %s\n", datestr(_dayofy), stepTime());
        ulog_printf("error_type %d %s\n", code, code == 0 || code == 1 ? errorTypeNames[code] : "unknown");
    }
    if (code == 0) {
        error(NOTE, __FILE__, __LINE__, "VX_ERROR_MSGTYPE code ", "0", ":", errorTypeNames[0], "");
        _peerEnded = 1;
        return true;
    }
    if (code != 1) fatal(__LINE__, "VX_ERROR_MSGTYPE code Unknown");
    error(WARNING, __FILE__, __LINE__, "VX_ERROR_MSGTYPE code ", "1", ":", errorTypeNames[1], "");
    _simEndTime = 86400;
    _simEndDate = _dayofy;
    _doBridge = 1;
    return true;
}

}  // namespace

int bridge_MessageService()
{
    if (bridge_echo() > 1) ulog_printf("---------- bridge_MessageService() ---\n");
    for (;;) {
        uint32_t type = readMessage();
        switch (type) {
        case VX_ADVANCE_MSG:
            if (!holds(28)) break;
            if (_doBridge < 2) return _simEndTime;
            advance_flag = bodyInt(20);
            if (bridge_echo() > 1) {
                ulog_printf("   Advance simulation to %d option= %d \n", bodyInt(24), advance_flag);
                ulog_printf("---------- End bridge_MessageService()\n");
            }
            return bodyInt(24);
        case ADJ_ZONE_CONC_MSG: zoneConcentrations(); break;
        case ADJ_ZONE_TEMP_MSG: zoneTemperatures(); break;
        case ADJ_JCT_TEMP_MSG: junctionTemperatures(); break;
        case ADJ_ELEMENT_MSG: pathElement(); break;
        case ADJ_CTRL_NODE_MSG: controlValue(); break;
        case ADJ_WTH_MSG: weather(); break;
        case ADJ_WPC_MSG: envelope(); break;
        case ADJ_AHSP_FLOWS_MSGTYPE: systemPathFlows(); break;
        case ADJ_AHS_POA_MSGTYPE: outdoorAirFractions(); break;
        case ADJ_ZONE_HR_MSG: zoneHumidities(); break;
        case VX_ERROR_MSG:
            if (endCode()) return _simEndTime;
            break;
        case PEER_HUNG_UP:
            bridge_PeerHungUp();
            return _simEndTime;
        case STOP_REQUESTED: return _simEndTime;   // the time loop stops at its next poll
        default:
            error(ERROR, __FILE__, __LINE__, "Bridge: Invalid message type: ", intstr((int)type),
                  " sent by the peer; the message is skipped", "");
        }
    }
}

}  // namespace vexlar
