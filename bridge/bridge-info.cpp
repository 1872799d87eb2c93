// The start-up description of the building sent to the peer once the network is built:
// project, run period, species, elements, control nodes, paths, system paths and systems,
// zones, junctions, terminals, leaks and ducts, then a ready message. It builds the index
// lists through which the peer later addresses the building, sizes the one message buffer
// for the largest message of either direction, and releases all of it at the end.
#include <cstring>
#include <initializer_list>

#include "bridge/bridge-int.h"
#include "bridge/bridge.h"
#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/elements.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"

namespace vexlar {

AirPath** _path_list = nullptr;
int* _ctm_list = nullptr;
int* _env_list = nullptr;
AfeRec** _elmt_list = nullptr;
CtrlNode** _inode_list = nullptr;
CtrlNode** _onode_list = nullptr;
AirNode** _zone_list = nullptr;
AirNode** _jct_list = nullptr;
float* _poa_list = nullptr;
AirPath** _afpath_list = nullptr;
AirPath** _ahsp_list = nullptr;
AirPath** _term_list = nullptr;
AirPath** _leak_list = nullptr;
AirPath** _duct_list = nullptr;
int _num_agents, _num_elmts, _num_inodes, _num_onodes, _num_afpaths, _num_ahsp;
int _num_terms, _num_leaks, _num_ducts, _num_envp, _num_zones, _num_jcts, _num_ahs;

namespace {

int pathListSize = 0;   // _nafpt when _path_list was made
int envListSize = 0;    // _nEnvPaths_Wpc when _env_list was made

constexpr int32_t AHS_BITS = 0x08 | 0x10 | 0x20 | 0x40;

template <class T> T* newList(int n, const char* tag) { return n > 0 ? alc_vT<T>(1, n, tag) : nullptr; }

template <class T> T* freeList(T* v, int lo, int hi, const char* tag)
{
    return v ? fre_vT(v, lo, hi, tag) : nullptr;
}

// ---- Which AirPaths go in which message -----------------------------------------------------

bool isOrdinaryPath(const AirPath* p) { return p->kind == 0 && !(p->flags & AHS_BITS); }
bool isSystemPath(const AirPath* p) { return p->kind == 0 && (p->flags & AHS_BITS); }
bool isDuct(const AirPath* p) { return p->kind == 1; }
bool isTerminal(const AirPath* p) { return p->kind == 2; }
bool isLeak(const AirPath* p) { return p->kind == 3; }

// The AirPaths the test picks, in list order, as a 1-based list; their count in *n.
AirPath** pickPaths(bool (*pick)(const AirPath*), int* n, const char* tag)
{
    *n = 0;
    for (AirPath* p = _pafp0; p; p = p->next) *n += pick(p);
    AirPath** list = newList<AirPath*>(*n, tag);
    int k = 0;
    for (AirPath* p = _pafp0; p && k < *n; p = p->next)
        if (pick(p)) list[++k] = p;
    return list;
}

// Appends the envelope openings among the listed paths to the envelope opening order.
void appendOpenings(AirPath** list, int n)
{
    for (int k = 1; k <= n; k++) {
        int env = list[k]->env_index;
        if (env == 0) continue;
        if (_num_envp < envListSize) _env_list[_num_envp + 1] = env;
        _num_envp++;
    }
}

bool announced(const CtrlNode* c, int type)
{
    return c->type == type && c->name[0] != '\0' && !streql(c->name, "<none>");
}

// Control nodes of one type in _CtrlList order: counted, then listed; a second pass that
// finds another count is reported and the first count stays in force.
CtrlNode** pickControls(int type, int* n, const char* tag, const char* mismatch)
{
    *n = 0;
    for (int k = 1; k <= _nctrl; k++) *n += announced(_CtrlList[k], type);
    CtrlNode** list = newList<CtrlNode*>(*n, tag);
    int found = 0;
    for (int k = 1; k <= _nctrl; k++)
        if (announced(_CtrlList[k], type) && ++found <= *n) list[found] = _CtrlList[k];
    if (found != *n) error(ERROR, __FILE__, __LINE__, mismatch, "");
    return list;
}

int zoneNumber(const AirNode* n) { return n ? n->number : 0; }

// ---- The messages ----------------------------------------------------------------------------

void logEnd() { ulog_printf("-------------\n"); }

void sendBuilding()
{
    MsgOut m = msg_begin(BLDG_INFO_MSG, BRIDGE_HEADER + 1 + (int)std::strlen(_prjname));
    msg_name(m, _prjname);
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("building name = %s\n", _prjname);
        logEnd();
    }
}

void sendRunPeriod()
{
    const RunControlData& r = _rcdat;
    MsgOut m = msg_begin(SIMPARM_INFO_MSG, 40);
    for (int v : {r.start_date, r.end_date, r.start_time, r.end_time, r.time_step}) msg_int(m, v);
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("date 0 = %s\ndate 1 = %s\n", datestr(r.start_date), datestr(r.end_date));
        ulog_printf("time 0 = %s\ntime 1 = %s\n", timestr(r.start_time), timestr(r.end_time));
        ulog_printf("timestep = %s\n", timestr(r.time_step));
        logEnd();
    }
}

int namesLength(const char* (*name)(int), int n)
{
    int len = 0;
    for (int k = 1; k <= n; k++) len += (int)std::strlen(name(k)) + 1;
    return len;
}

const char* agentName(int k) { return _ctm[k - 1].name; }
const char* elementName(int k) { return _elmt_list[k]->name; }
const char* systemName(int k) { return _AhsList[k]->name; }
const char* zoneName(int k) { return _ZoneList[k]->name; }

void sendAgents()
{
    int n = _num_agents;
    MsgOut m = msg_begin(AGENT_INFO_MSG, 24 + 4 * n + namesLength(agentName, n));
    msg_int(m, n);
    for (int k = 1; k <= n; k++) msg_int(m, k);
    for (int k = 1; k <= n; k++) msg_name(m, agentName(k));
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("num agents = %d\nagent  name:\n", n);
        for (int k = 1; k <= n; k++) ulog_printf("%5d  %s\n", k, agentName(k));
        logEnd();
    }
}

void sendElements()
{
    int n = _num_elmts;
    MsgOut m = msg_begin(ELEMENT_INFO_MSG, 24 + namesLength(elementName, n));
    msg_int(m, n);
    for (int k = 1; k <= n; k++) msg_name(m, elementName(k));
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("num elements = %d\n elmt  name:\n", n);
        for (int k = 1; k <= n; k++) ulog_printf("%5d  %s\n", k, elementName(k));
        logEnd();
    }
}

void sendControls(int type, CtrlNode** list, int n)
{
    int len = 24 + 8 * n;
    for (int k = 1; k <= n; k++) len += (int)std::strlen(list[k]->name) + 1;
    MsgOut m = msg_begin(type, len);
    msg_int(m, n);
    for (int k = 1; k <= n; k++) msg_int(m, list[k]->number);
    for (int k = 1; k <= n; k++) msg_float(m, list[k]->value);
    for (int k = 1; k <= n; k++) msg_name(m, list[k]->name);
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("num nodes = %d\n", n);
        if (n > 0) ulog_printf(" node  value  name:\n");
        for (int k = 1; k <= n; k++)
            ulog_printf("%5d %6g  %s\n", list[k]->number, list[k]->value, list[k]->name);
        logEnd();
    }
}

void msgPositions(MsgOut& m, AirPath** list, int n)
{
    for (int k = 1; k <= n; k++) msg_float(m, list[k]->x);
    for (int k = 1; k <= n; k++) msg_float(m, list[k]->y);
    for (int k = 1; k <= n; k++) msg_float(m, list[k]->z);
}

void sendPaths()
{
    int n = _num_afpaths;
    AirPath** l = _afpath_list;
    MsgOut m = msg_begin(PATH_INFO_MSG, 24 + 32 * n);
    msg_int(m, n);
    for (int k = 1; k <= n; k++) msg_int(m, l[k]->number);
    for (int k = 1; k <= n; k++) msg_int(m, l[k]->env_index);
    for (int k = 1; k <= n; k++) msg_int(m, l[k]->element ? l[k]->element->number : 0);
    for (int k = 1; k <= n; k++) msg_int(m, zoneNumber(l[k]->from_node));
    for (int k = 1; k <= n; k++) msg_int(m, zoneNumber(l[k]->to_node));
    msgPositions(m, l, n);
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("num paths = %d\n", n);
        if (n > 0) ulog_printf(" path  ambt  elmt  frmz  tozn    X       Y       Z\n");
        for (int k = 1; k <= n; k++)
            ulog_printf("%5d %5d %5d %5d %5d %7.3f %7.3f %7.3f\n", l[k]->number, l[k]->env_index,
                        l[k]->element ? l[k]->element->number : 0, zoneNumber(l[k]->from_node),
                        zoneNumber(l[k]->to_node), l[k]->x, l[k]->y, l[k]->z);
        logEnd();
    }
}

// Kind of a system path and the zone it serves: 2 recirculation, 3 outdoor air, 4 exhaust
// (zone 0); 0 return, 1 supply (the zone at the other end from the system zone); -1 when
// neither end of a supply or return path is a system zone.
void systemPathKind(const AirPath* p, int* kind, int* zone)
{
    *zone = 0;
    if (p->flags & 0x10) *kind = 2;
    else if (p->flags & 0x20) *kind = 3;
    else if (p->flags & 0x40) *kind = 4;
    else if (p->to_node && (p->to_node->flags & NODE_AHS)) *kind = 0, *zone = zoneNumber(p->from_node);
    else if (p->from_node && (p->from_node->flags & NODE_AHS)) *kind = 1, *zone = zoneNumber(p->to_node);
    else *kind = -1, *zone = -1;
}

const char* systemKindName(int kind)
{
    static const char* const names[5] = {"ret", "sup", "rec", "out", "exh"};
    return kind >= 0 && kind <= 4 ? names[kind] : "???";
}

void sendSystemPaths()
{
    int n = _num_ahsp;
    AirPath** l = _ahsp_list;
    MsgOut m = msg_begin(AHSP_INFO_MSG, 24 + 32 * n);
    msg_int(m, n);
    int kind, zone;
    for (int k = 1; k <= n; k++) msg_int(m, l[k]->number);
    for (int k = 1; k <= n; k++) msg_int(m, l[k]->env_index);
    for (int k = 1; k <= n; k++) systemPathKind(l[k], &kind, &zone), msg_int(m, kind);
    for (int k = 1; k <= n; k++) systemPathKind(l[k], &kind, &zone), msg_int(m, zone);
    for (int k = 1; k <= n; k++) msg_int(m, l[k]->ahs_number);
    msgPositions(m, l, n);
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("num AHS paths = %d\n path  ambt  type  zone   ahs    X       Y       Z\n", n);
        for (int k = 1; k <= n; k++) {
            systemPathKind(l[k], &kind, &zone);
            ulog_printf("%5d %5d   %s %5d %5d %7.3f %7.3f %7.3f\n", l[k]->number, l[k]->env_index,
                        systemKindName(kind), zone, l[k]->ahs_number, l[k]->x, l[k]->y, l[k]->z);
        }
        logEnd();
    }
}

void sendSystems()
{
    int n = _num_ahs;
    MsgOut m = msg_begin(AHS_INFO_MSGTYPE, 24 + 4 * n + namesLength(systemName, n));
    msg_int(m, n);
    for (int k = 1; k <= n; k++) msg_int(m, _AhsList[k]->number);
    for (int k = 1; k <= n; k++) msg_name(m, systemName(k));
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("num AHS = %d\n  ahs name\n", n);
        for (int k = 1; k <= n; k++) ulog_printf("%5d %s\n", _AhsList[k]->number, systemName(k));
        logEnd();
    }
}

int levelNumber(const ZoneRec* z) { return z->level ? z->level->number : 0; }
int systemZoneFlag(const ZoneRec* z) { return (z->flags & 0x08) ? 1 : 0; }

void sendZones()
{
    int n = _num_zones;
    MsgOut m = msg_begin(ZONE_INFO_MSG, 24 + 12 * n + namesLength(zoneName, n));
    msg_int(m, n);
    for (int k = 1; k <= n; k++) msg_int(m, levelNumber(_ZoneList[k]));
    for (int k = 1; k <= n; k++) msg_int(m, systemZoneFlag(_ZoneList[k]));
    for (int k = 1; k <= n; k++) msg_float(m, _ZoneList[k]->volume);
    for (int k = 1; k <= n; k++) msg_name(m, zoneName(k));
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("num zones = %d\n index     # level   AHS    vol  name\n", n);
        for (int k = 1; k <= n; k++) {
            const ZoneRec* z = _ZoneList[k];
            ulog_printf(" %5d %5d %5d %5d %7.1f %s\n", k, _zone_list[k]->index, levelNumber(z),
                        systemZoneFlag(z), z->volume, z->name);
        }
        logEnd();
    }
}

int junctionZone(const JunctionRec* j) { return (!j->zone || j->zone == &_ambt) ? 0 : j->zone->number; }

void sendJunctions()
{
    int n = _num_jcts;
    MsgOut m = msg_begin(JCT_INFO_MSG, 24 + 8 * n);
    msg_int(m, n);
    for (int k = 1; k <= n; k++) msg_int(m, _JctList[k]->term_type != 0 ? 1 : 0);
    for (int k = 1; k <= n; k++) msg_int(m, junctionZone(_JctList[k]));
    msg_send(m);
    ulog_printf("Jct Info Message:\n");
    if (bridge_echo() > 0) {
        ulog_printf("num jcts = %d\n    j ID(CW#) type zone\n", n);
        for (int k = 1; k <= n; k++)
            ulog_printf("%5d %7d %4s %d\n", k, _jct_list[k] ? _jct_list[k]->index : 0,
                        _JctList[k]->term_type != 0 ? "term" : "junc", junctionZone(_JctList[k]));
        logEnd();
    }
}

void sendTerminals()
{
    int n = _num_terms;
    AirPath** l = _term_list;
    MsgOut m = msg_begin(TERM_INFO_MSG, 24 + 20 * n);
    msg_int(m, n);
    for (int k = 1; k <= n; k++) msg_int(m, l[k]->number);
    for (int k = 1; k <= n; k++) msg_int(m, l[k]->env_index);
    msgPositions(m, l, n);
    msg_send(m);
    if (bridge_echo() > 0) {
        ulog_printf("num terms = %d\n term  ambt    X       Y       Z\n", n);
        for (int k = 1; k <= n; k++)
            ulog_printf("%5d %5d %7.3f %7.3f %7.3f\n", l[k]->number, l[k]->env_index, l[k]->x,
                        l[k]->y, l[k]->z);
        logEnd();
    }
}

void sendNumbers(int type, AirPath** l, int n)
{
    MsgOut m = msg_begin(type, 24 + 4 * n);
    msg_int(m, n);
    for (int k = 1; k <= n; k++) msg_int(m, l[k]->number);
    msg_send(m);
    if (bridge_echo() == 0) return;
    if (type == LEAK_INFO_MSG) {
        ulog_printf("num leaks = %d\n", n);
    } else {
        ulog_printf("num ducts = %d\n duct\n", n);
        for (int k = 1; k <= n; k++) ulog_printf("%5d\n", l[k]->number);
    }
    logEnd();
}

// ---- Lists and the buffer ----------------------------------------------------------------------

void makeLists()
{
    _num_agents = _nctm;
    _num_elmts = _nafe;
    _num_zones = _nzone;
    _num_jcts = _njct;
    _num_ahs = _nahs;
    _ctm_list = newList<int>(_num_agents, "_ctm_list");
    _elmt_list = newList<AfeRec*>(_num_elmts, "_elmt_list");
    for (int k = 1; k <= _num_elmts; k++) _elmt_list[k] = _AfeList[k];
    _zone_list = newList<AirNode*>(_num_zones, "_zone_list");
    for (int k = 1; k <= _num_zones; k++) _zone_list[k] = _ZoneList[k]->node;
    _jct_list = newList<AirNode*>(_num_jcts, "_jct_list");
    for (int k = 1; k <= _num_jcts; k++) _jct_list[k] = _JctList[k]->node;
    if (_num_ahs > 0) _poa_list = alc_vT<float>(0, _num_ahs, "_poa_list");
    envListSize = _nEnvPaths_Wpc;
    _env_list = newList<int>(envListSize, "_env_list");
    _num_envp = 0;
    _inode_list = pickControls(CT_SET, &_num_inodes, "_inode_list",
                               "bridge: incorrect input control node count.");
    _onode_list = pickControls(CT_PAS, &_num_onodes, "_onode_list",
                               "bridge: incorrect output control node count.");
    _afpath_list = pickPaths(isOrdinaryPath, &_num_afpaths, "_afpath_list");
    _ahsp_list = pickPaths(isSystemPath, &_num_ahsp, "_ahsp_list");
    _term_list = pickPaths(isTerminal, &_num_terms, "_term_list");
    _leak_list = pickPaths(isLeak, &_num_leaks, "_leak_list");
    _duct_list = pickPaths(isDuct, &_num_ducts, "_duct_list");
    appendOpenings(_afpath_list, _num_afpaths);
    appendOpenings(_ahsp_list, _num_ahsp);
    appendOpenings(_term_list, _num_terms);
    if (_num_envp > envListSize) {
        error(ERROR, __FILE__, __LINE__, "bridge: incorrect envelope path count.", "");
        _num_envp = envListSize;   // only the numbered openings can be addressed
    }
}

int largest(std::initializer_list<int> sizes)
{
    int m = 0;
    for (int s : sizes) m = s > m ? s : m;
    return m;
}

void logLists()
{
    ulog_printf("Bridge Lists:\n Zones\n");
    for (int k = 1; k <= _num_zones; k++) ulog_printf("%4d [%p]\n", k, (void*)_zone_list[k]);
    ulog_printf(" Paths\n");
    for (int k = 1; k <= _npath && k <= pathListSize; k++) ulog_printf("%4d [%p]\n", k, (void*)_path_list[k]);
    ulog_printf(" Airflow elements\n");
    for (int k = 1; k <= _num_elmts; k++) ulog_printf("%4d [%p]\n", k, (void*)_elmt_list[k]);
    ulog_printf(" Envelope paths, %d\n", _num_envp);
    for (int k = 1; k <= _num_envp; k++) ulog_printf("%4d %d\n", k, _env_list[k]);
    ulog_printf(" Control nodes\n");
    for (int k = 1; k <= _num_inodes; k++) ulog_printf("%4d %d\n", k, _inode_list[k]->number);
    ulog_printf(" Control output nodes\n");
    for (int k = 1; k <= _num_onodes; k++) ulog_printf("%4d %d\n", k, _onode_list[k]->number);
    logEnd();
}

}  // namespace

// Outgoing: the per-step updates. Incoming: each type listing every target it can address
// once (a concentration message of every zone is 32 + 8 n bytes), and the envelope message
// with every species at every numbered opening.
int bridge_BufferSize()
{
    int perOpening = _num_agents > 0 ? _num_agents : 1;
    return largest({
        4 * _num_ahsp + 28, 4 * _num_zones + 32, 40, 4 * _num_ducts + 28, 4 * _num_terms + 28,
        4 * _num_leaks + 28, 4 * _num_onodes + 28, 8 * _num_zones + 24, 8 * _num_jcts + 24,
        8 * _num_afpaths + 28, 4 * _num_agents * (_num_afpaths + 1) + 32,
        8 * _num_zones + 32, 8 * _num_ahsp + 24, 8 * _num_ahs + 24,
        32 + 4 * _num_agents + 4 * _num_envp * perOpening});
}

void bridge_CreatePathList()
{
    pathListSize = _nafpt;
    _path_list = newList<AirPath*>(pathListSize, "bridge_path_list");
    int k = 0;
    for (AirPath* p = _pafp0; p && k < _npath && k < pathListSize; p = p->next) _path_list[++k] = p;
}

void bridge_SendInfoMessages()
{
    makeLists();
    sendBuilding();
    sendRunPeriod();
    sendAgents();
    sendElements();
    sendControls(INPUT_CTRL_INFO_MSG, _inode_list, _num_inodes);
    sendControls(OUTPUT_CTRL_INFO_MSG, _onode_list, _num_onodes);
    sendPaths();
    sendSystemPaths();
    sendSystems();
    sendZones();
    sendJunctions();
    sendTerminals();
    sendNumbers(LEAK_INFO_MSG, _leak_list, _num_leaks);
    sendNumbers(DUCT_INFO_MSG, _duct_list, _num_ducts);
    if (_list > 0 && _num_envp != _nEnvPaths_Wpc) ulog_printf("_nEnvPaths_Wpc != _num_envp\n");
    _maxbuf = bridge_BufferSize();
    _msgbuf = static_cast<unsigned char*>(alc_e((size_t)_maxbuf, "_msgbuf"));
    if (bridge_echo() > 1) ulog_printf("Bridge: buffer size: %d\n", _maxbuf);
    if (bridge_echo() > 0) logLists();
    send_vx_ready_msg(_stepEndTime);
}

void bridge_FreeBuffers()
{
    if (_msgbuf) _msgbuf = static_cast<unsigned char*>(fre_e(_msgbuf, (size_t)_maxbuf, "_msgbuf"));
    _maxbuf = 0;
    _path_list = freeList(_path_list, 1, pathListSize, "bridge_path_list");
    _ctm_list = freeList(_ctm_list, 1, _num_agents, "_ctm_list");
    _env_list = freeList(_env_list, 1, envListSize, "_env_list");
    _elmt_list = freeList(_elmt_list, 1, _num_elmts, "_elmt_list");
    _inode_list = freeList(_inode_list, 1, _num_inodes, "_inode_list");
    _onode_list = freeList(_onode_list, 1, _num_onodes, "_onode_list");
    _zone_list = freeList(_zone_list, 1, _num_zones, "_zone_list");
    _jct_list = freeList(_jct_list, 1, _num_jcts, "_jct_list");
    if (_num_ahs) _poa_list = freeList(_poa_list, 0, _num_ahs, "_poa_list");
    _afpath_list = freeList(_afpath_list, 1, _num_afpaths, "_afpath_list");
    _ahsp_list = freeList(_ahsp_list, 1, _num_ahsp, "_ahsp_list");
    _term_list = freeList(_term_list, 1, _num_terms, "_term_list");
    _leak_list = freeList(_leak_list, 1, _num_leaks, "_leak_list");
    _duct_list = freeList(_duct_list, 1, _num_ducts, "_duct_list");
    pathListSize = envListSize = 0;
    rd = rt = 0;
    advance_flag = 255;
    _peerEnded = 0;
    _steadyWarned = 0;
}

}  // namespace vexlar
