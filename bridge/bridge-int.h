// Private state and helpers of the co-simulation bridge, shared by its files: the socket
// and the one message buffer, the wire helpers (big-endian integers, native-order reals,
// the 20-byte header), the index lists through which the peer addresses the building,
// and the internal steps of the start-up description, the per-step report and the
// receive loop.
#pragma once
#include <cstdint>

namespace vexlar {

struct AirNode;
struct AirPath;
struct AfeRec;
struct CtrlNode;

// ---- Wire ------------------------------------------------------------------------------------

constexpr int BRIDGE_HEADER = 20;       // bytes of every message header
constexpr uint32_t BRIDGE_VERSION = 10;
constexpr int BRIDGE_DEFAULT_PORT = 8200;
constexpr int BRIDGE_HOST_MAX = 255;    // longest host text accepted from -b

// Message types.
enum BridgeMsgType {
    VX_READY_MSG = 0, BLDG_INFO_MSG = 1, SIMPARM_INFO_MSG = 2, AGENT_INFO_MSG = 3,
    ELEMENT_INFO_MSG = 4, INPUT_CTRL_INFO_MSG = 5, OUTPUT_CTRL_INFO_MSG = 6, AHSP_INFO_MSG = 7,
    ZONE_INFO_MSG = 8, PATH_INFO_MSG = 9, JCT_INFO_MSG = 10, TERM_INFO_MSG = 11,
    LEAK_INFO_MSG = 12, DUCT_INFO_MSG = 13, AHS_INFO_MSGTYPE = 14,
    VX_ADVANCE_MSG = 20, ADJ_ZONE_CONC_MSG = 30, ADJ_ZONE_TEMP_MSG = 40, ADJ_JCT_TEMP_MSG = 50,
    ADJ_ELEMENT_MSG = 60, ADJ_CTRL_NODE_MSG = 70, ADJ_WTH_MSG = 80, ADJ_WPC_MSG = 90,
    ADJ_AHSP_FLOWS_MSGTYPE = 100, ADJ_AHS_POA_MSGTYPE = 110, CONC_UPDATE_MSG = 120,
    PATH_FLOW_UPDATE_MSG = 130, TERM_FLOW_UPDATE_MSG = 140, AHSP_FLOW_UPDATE_MSG = 150,
    DUCT_FLOW_UPDATE_MSG = 160, LEAK_FLOW_UPDATE_MSG = 170, CTRL_NODE_UPDATE_MSG = 180,
    ADJ_ZONE_HR_MSG = 190, VX_ERROR_MSG = 200, VX_ENDSIM_MSGTYPE = 210
};

// The header as it travels: magic "ACATMSG\0", then length, type and version, each a
// big-endian uint32. In _msgbuf the three numbers are kept in host order.
struct BridgeMsgHeader {
    char magic[8];
    uint32_t length;   // whole message, header included
    uint32_t type;
    uint32_t version;
};
static_assert(sizeof(BridgeMsgHeader) == BRIDGE_HEADER, "the header has no padding");

extern const char BRIDGE_MAGIC[8];

// Big-endian int32 and native-order float at a byte offset.
void put_i32(unsigned char* buf, int off, int32_t v);
void put_f32(unsigned char* buf, int off, float v);
int32_t get_i32(const unsigned char* buf, int off);
float get_f32(const unsigned char* buf, int off);

// An outgoing message being filled: header written by msg_begin, fields appended in order.
struct MsgOut {
    unsigned char* buf;
    int length;     // declared length
    int pos;        // next byte to write
    bool owned;     // the buffer was allocated for this message alone
};
MsgOut msg_begin(int type, int length);      // its own buffer of exactly `length` bytes
MsgOut msg_in_buffer(int type, int length);  // in _msgbuf (per-step messages)
void msg_int(MsgOut& m, int32_t v);
void msg_float(MsgOut& m, float v);
void msg_name(MsgOut& m, const char* s);
// Sends the message (FATAL on failure; false when peerMayHaveGone and it has), dumps its
// header at echo level 1 or more and releases an owned buffer.
bool msg_send(MsgOut& m, bool peerMayHaveGone = false);

// ---- Socket layer (bridge-socket.cpp) -----------------------------------------------------

extern int _sockfd;     // -1 when closed
extern int _err_num;    // last system error number
// A failed send is FATAL; with peerMayHaveGone, a peer that has closed the connection
// gives -1 instead.
int bridge_SendAll(int sock, const unsigned char* data, int* len, bool peerMayHaveGone = false);
// 0 when size bytes came, -1 when the connection was lost; with endAllowed, -2 (and no
// ERROR) when the peer closed or reset it before the first byte; BRIDGE_STOP when the user
// asked to stop the run while the engine waited.
constexpr int BRIDGE_STOP = -3;
int bridge_ReadAll(int sock, unsigned char* buf, int size, bool endAllowed = false);

// ---- Message buffer, fixed messages, log dump (bridge.cpp) -------------------------------

extern unsigned char* _msgbuf;
extern int _maxbuf;
bool send_vx_ready_msg(int time, bool peerMayHaveGone = false);   // false: the peer has gone
void bridge_SendVxSimEnd();
void bridge_PrintHeader(const BridgeMsgHeader* netHeader);
const char* bridge_TypeName(uint32_t type);
int bridge_echo();      // the bridge's log detail level

// ---- Index lists and counts (bridge-info.cpp) --------------------------------------------

extern AirPath** _path_list;    // 1.._nafpt, entries 1.._npath: the ordinary paths by number
extern int* _ctm_list;          // 1.._nctm: species index (0-based) of each agent of ADJ_WPC_MSG
extern int* _env_list;          // 1.._nEnvPaths_Wpc: envelope index by opening position
extern AfeRec** _elmt_list;     // 1.._nafe
extern CtrlNode** _inode_list;  // 1.._num_inodes
extern CtrlNode** _onode_list;  // 1.._num_onodes
extern AirNode** _zone_list;    // 1.._nzone
extern AirNode** _jct_list;     // 1.._njct
extern float* _poa_list;        // 0.._nahs: outdoor-air fraction of system s at [s]
extern AirPath** _afpath_list;  // 1.._num_afpaths: ordinary non-system paths
extern AirPath** _ahsp_list;    // 1.._num_ahsp: system paths
extern AirPath** _term_list;    // 1.._num_terms
extern AirPath** _leak_list;    // 1.._num_leaks
extern AirPath** _duct_list;    // 1.._num_ducts
extern int _num_agents, _num_elmts, _num_inodes, _num_onodes, _num_afpaths, _num_ahsp;
extern int _num_terms, _num_leaks, _num_ducts, _num_envp, _num_zones, _num_jcts, _num_ahs;

int bridge_BufferSize();   // the largest message of either direction, from the counts

// ---- Per-step report and receive loop (bridge-step.cpp, bridge-service.cpp) -------------

extern int advance_flag;   // option bits of the last VX_ADVANCE_MSG
extern int rd, rt;         // run-until day of year and time of day [s]
extern int _peerEnded;     // the peer closed the connection or sent error code 0
extern unsigned _steadyWarned;   // adjustments told they change no steady airflow, bit type / 10
void bridge_PeerHungUp();  // the peer closed the connection: no more exchanges
void bridge_RunUntil(int t, int base, int* day, int* time);
float bridge_PathVolumeDensity(const AirPath* p);
float bridge_DestinationDensity(const AirPath* p);
int bridge_MessageService();

}  // namespace vexlar
