// Co-simulation bridge entry points. The client, its wire protocol and the peer message
// service are not built yet: no connection is ever made, so _doBridge stays 0 and every
// caller takes its stand-alone path; the senders have no message buffer and send nothing.
#include "bridge/bridge.h"

namespace vexlar {

void bridge_ConnectToServer(const char*) {}
void bridge_CreatePathList() {}
void bridge_SendInfoMessages() {}
void bridge_CheckForMessages() {}
void bridge_FreeBuffers() {}
void bridge_SendVxError(int) {}

}  // namespace vexlar
