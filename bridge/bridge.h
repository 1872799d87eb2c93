// The co-simulation bridge: the engine as TCP client of a peer that sets the pace, reads
// selected results and overrides ambient conditions, zone states, flows and control
// inputs between steps. These are the entry points and shared flags the rest of the
// engine uses; the connection, wire protocol and message service live behind them.
#pragma once

namespace vexlar {

extern int _doBridge;     // 0 no peer, 1 peer lost or last day requested, 2 connected
extern int _wPBridge;     // 1: the peer supplies envelope wind pressures (0 with -w)
extern int _vFBridge;     // 1: report volume flows [m3/s] instead of mass flows (-f)
extern int _doBridgeMf;   // the peer changed zone mass fractions since the last step

void bridge_ConnectToServer(const char* address);
void bridge_CreatePathList();
void bridge_SendInfoMessages();
void bridge_CheckForMessages();
void bridge_FreeBuffers();
void bridge_SendVxError(int code);

}  // namespace vexlar
