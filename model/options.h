// Options of the run taken from the command line, and the co-simulation state that follows
// from them. main's option table sets them; the reader, the network build, the airflow
// solution and the bridge read them.
#pragma once
#include <csignal>

namespace vexlar {

extern int _doInput;      // -t: stop after the input is read and checked
extern int _doDOSwdw;     // -c: accepted, changes nothing
extern int _doBridge;     // 0 no peer, 1 peer lost or last day requested, 2 connected
extern int _wPBridge;     // 1: the peer supplies envelope wind pressures (0 with -w)
extern int _vFBridge;     // 1: report volume flows [m3/s] instead of mass flows (-f)
extern int _doBridgeMf;   // the peer changed zone mass fractions since the last step
// The user asked to stop the transient run (Ctrl-C, SIGTERM, SIGHUP): set by the signal
// handler, read by the time loops and by the bridge while it waits for the peer.
extern volatile sig_atomic_t _stopRequested;

}  // namespace vexlar
