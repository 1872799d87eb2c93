// The co-simulation bridge: the engine as TCP client of a peer that sets the pace, reads
// selected results and overrides ambient conditions, zone states, flows and control
// inputs between steps. These are the entry points the rest of the engine uses (its
// shared flags are in model/options.h); the connection, wire protocol and message service
// live behind them.
#pragma once

namespace vexlar {

void bridge_ConnectToServer(const char* address);
void bridge_CreatePathList();
void bridge_SendInfoMessages();
void bridge_CheckForMessages();
void bridge_FreeBuffers();
void bridge_SendVxError(int code);
// The peer ended the session (closed the connection or sent error code 0): the run goes
// on to the end of its step and ends there, keeping its results.
bool bridge_PeerEnded();

}  // namespace vexlar
