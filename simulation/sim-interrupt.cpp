// Interruption of a transient run: the instruction line, the signal handlers and the
// loops' poll. A closed terminal (SIGHUP) asks for a stop as Ctrl-C and SIGTERM do; a
// message stream whose reader has gone no longer ends the process. The handler only notes
// the request, and the loop that polls stops where every result is whole. The handler
// also puts back the default actions, so that a run stuck in one step (a silent
// co-simulation peer, a long CFD solution) still ends at a second Ctrl-C.
#include "simulation/sim-interrupt.h"

#include <csignal>
#include <cstdio>

namespace vexlar {

static volatile sig_atomic_t _stopRequested = 0;
enum { STOP_SIGNALS = 3 };
static const int _stopSignals[STOP_SIGNALS] = {SIGINT, SIGTERM, SIGHUP};
static int _taken[STOP_SIGNALS];   // the signal's handler is ours

// Notes the request and gives the signals back their default action (sigaction may be
// called from a handler).
static void requestStop(int)
{
    _stopRequested = 1;
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    for (int k = 0; k < STOP_SIGNALS; k++)
        if (_taken[k]) sigaction(_stopSignals[k], &dfl, nullptr);
}

// A signal the process was started with ignored (a job run in the background without job
// control) stays ignored. Interrupted system calls resume, so that no read or write of the
// run fails because of a request.
static void takeStopRequests()
{
    struct sigaction sa = {};
    sa.sa_handler = requestStop;
    sigemptyset(&sa.sa_mask);
    for (int k = 0; k < STOP_SIGNALS; k++) sigaddset(&sa.sa_mask, _stopSignals[k]);
    sa.sa_flags = SA_RESTART;
    for (int k = 0; k < STOP_SIGNALS; k++) {
        struct sigaction old;
        if (sigaction(_stopSignals[k], nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        _taken[k] = 1;
        sigaction(_stopSignals[k], &sa, nullptr);
    }
}

// Installed once: a cyclic run starts its loop once a day, and installing again after the
// first request would take away the default action the second Ctrl-C relies on.
void simInterrupt_writeInstructions()
{
    static int taking = 0;
    if (!taking) {
        taking = 1;
        takeStopRequests();
    }
    fputs("\nPress <ctrl>-c to kill the transient simulation.\n\n", stderr);
}

int simInterrupt_checkInterrupt() { return _stopRequested ? 2 : 0; }

// A write to a pipe or socket without a reader then fails with EPIPE instead: standard
// error or output is dropped and the run goes on with its log; the bridge's sends report
// a lost peer as before.
void simInterrupt_ignoreClosedStreams() { signal(SIGPIPE, SIG_IGN); }

}  // namespace vexlar
