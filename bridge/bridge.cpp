// The co-simulation bridge's one message buffer and the wire format of
// every message: big-endian integers and native-order single-precision reals behind a
// 20-byte header. Here too are the small fixed messages (ready, error, end of simulation),
// the log dump of a header and the release of the bridge's storage at the end of the run.
#include <cstring>

#include "bridge/bridge-int.h"
#include "bridge/bridge.h"
#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/tokens.h"

namespace vexlar {

unsigned char* _msgbuf = nullptr;
int _maxbuf = 0;

const char BRIDGE_MAGIC[8] = {'A', 'C', 'A', 'T', 'M', 'S', 'G', '\0'};

int bridge_echo() { return _echo; }

// ---- Byte order ------------------------------------------------------------------------------

void put_i32(unsigned char* buf, int off, int32_t v)
{
    uint32_t u = (uint32_t)v;
    buf[off] = (unsigned char)(u >> 24);
    buf[off + 1] = (unsigned char)(u >> 16);
    buf[off + 2] = (unsigned char)(u >> 8);
    buf[off + 3] = (unsigned char)u;
}

int32_t get_i32(const unsigned char* buf, int off)
{
    uint32_t u = (uint32_t)buf[off] << 24 | (uint32_t)buf[off + 1] << 16
                 | (uint32_t)buf[off + 2] << 8 | (uint32_t)buf[off + 3];
    return (int32_t)u;
}

// Reals travel in the engine's own (little-endian) order, copied as they are.
void put_f32(unsigned char* buf, int off, float v) { std::memcpy(buf + off, &v, 4); }

float get_f32(const unsigned char* buf, int off)
{
    float v;
    std::memcpy(&v, buf + off, 4);
    return v;
}

// ---- Outgoing messages -------------------------------------------------------------------

static MsgOut msg_start(unsigned char* buf, int type, int length, bool owned)
{
    std::memcpy(buf, BRIDGE_MAGIC, 8);
    put_i32(buf, 8, length);
    put_i32(buf, 12, type);
    put_i32(buf, 16, (int32_t)BRIDGE_VERSION);
    return MsgOut{buf, length, BRIDGE_HEADER, owned};
}

MsgOut msg_begin(int type, int length)
{
    auto* buf = static_cast<unsigned char*>(alc_e((size_t)length, "bridge_msg"));
    return msg_start(buf, type, length, true);
}

MsgOut msg_in_buffer(int type, int length) { return msg_start(_msgbuf, type, length, false); }

void msg_int(MsgOut& m, int32_t v)
{
    put_i32(m.buf, m.pos, v);
    m.pos += 4;
}

void msg_float(MsgOut& m, float v)
{
    put_f32(m.buf, m.pos, v);
    m.pos += 4;
}

void msg_name(MsgOut& m, const char* s)
{
    size_t n = std::strlen(s) + 1;
    std::memcpy(m.buf + m.pos, s, n);
    m.pos += (int)n;
}

bool msg_send(MsgOut& m, bool peerMayHaveGone)
{
    int len = m.length;
    bool sent = bridge_SendAll(_sockfd, m.buf, &len, peerMayHaveGone) == 0;
    if (bridge_echo() > 0) bridge_PrintHeader(reinterpret_cast<const BridgeMsgHeader*>(m.buf));
    if (m.owned) m.buf = static_cast<unsigned char*>(fre_e(m.buf, (size_t)m.length, "bridge_msg"));
    return sent;
}

// ---- Fixed messages ------------------------------------------------------------------------

bool send_vx_ready_msg(int time, bool peerMayHaveGone)
{
    if (!_msgbuf) return true;
    MsgOut m = msg_in_buffer(VX_READY_MSG, 24);
    msg_int(m, time);
    bool sent = msg_send(m, peerMayHaveGone);
    if (bridge_echo() > 0) ulog_printf("time = %d (%s)\n-------------\n", time, steptimestr(time));
    return sent;
}

// The end code is the engine's last word, sent once the results are closed: a peer that
// has gone by then cannot hear it, and that does not undo the run.
void bridge_SendVxError(int code)
{
    if (!_msgbuf) return;
    MsgOut m = msg_in_buffer(VX_ERROR_MSG, 24);
    msg_int(m, code);
    if (!msg_send(m, true))
        error(WARNING, __FILE__, __LINE__, "Bridge: the peer did not take the end code: ", strerror(_err_num), "");
    if (bridge_echo() > 0) ulog_printf(" error type = %d\n-------------\n", code);
}

void bridge_SendVxSimEnd()
{
    if (!_msgbuf) return;
    MsgOut m = msg_in_buffer(VX_ENDSIM_MSGTYPE, BRIDGE_HEADER);
    msg_send(m);
    if (bridge_echo() > 0) ulog_printf("-------------\n");
}

// ---- Log dump of a header --------------------------------------------------------------------

static const char* const lowNames[15] = {
    "VX_READY_MSG", "BLDG_INFO_MSG", "SIMPARM_INFO_MSG", "AGENT_INFO_MSG", "ELEMENT_INFO_MSG",
    "INPUT_CTRL_INFO_MSG", "OUTPUT_CTRL_INFO_MSG", "AHSP_INFO_MSG", "ZONE_INFO_MSG",
    "PATH_INFO_MSG", "JCT_INFO_MSG", "TERM_INFO_MSG", "LEAK_INFO_MSG", "DUCT_INFO_MSG",
    "AHS_INFO_MSGTYPE"};

// By type div 10: the names of types 20, 30, ... 210.
static const char* const tenNames[22] = {
    "00", "10", "VX_ADVANCE_MSG", "ADJ_ZONE_CONC_MSG", "ADJ_ZONE_TEMP_MSG", "ADJ_JCT_TEMP_MSG",
    "ADJ_ELEMENT_MSG", "ADJ_CTRL_NODE_MSG", "ADJ_WTH_MSG", "ADJ_WPC_MSG",
    "ADJ_AHSP_FLOWS_MSGTYPE", "ADJ_AHS_POA_MSGTYPE", "CONC_UPDATE_MSG", "PATH_FLOW_UPDATE_MSG",
    "TERM_FLOW_UPDATE_MSG", "AHSP_FLOW_UPDATE_MSG", "DUCT_FLOW_UPDATE_MSG",
    "LEAK_FLOW_UPDATE_MSG", "CTRL_NODE_UPDATE_MSG", "ADJ_ZONE_HR_MSG", "VX_ERROR_MSG",
    "VX_ENDSIM_MSGTYPE"};

const char* bridge_TypeName(uint32_t type)
{
    if (type < 15) return lowNames[type];
    if (type / 10 < 22) return tenNames[type / 10];
    return "UNKNOWN_MSGTYPE";
}

void bridge_PrintHeader(const BridgeMsgHeader* h)
{
    const auto* raw = reinterpret_cast<const unsigned char*>(h);
    char magic[9];
    std::memcpy(magic, h->magic, 8);
    magic[8] = '\0';
    uint32_t type = (uint32_t)get_i32(raw, 12);
    ulog_printf("Bridge Message Header:\npattern = %s\nlength = %u\n", magic,
                (unsigned)get_i32(raw, 8));
    ulog_printf("type = %u %s\nversion = %u\n", type, bridge_TypeName(type),
                (unsigned)get_i32(raw, 16));
    ulog_flush();
}

}  // namespace vexlar
