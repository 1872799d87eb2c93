// Interruption of a transient run: the instruction line, the signal handlers and the
// loops' poll. A closed terminal (SIGHUP) asks for a stop as Ctrl-C and SIGTERM do; a
// message stream whose reader has gone no longer ends the process. The handler only notes
// the request, and the loop that polls stops where every result is whole. A stop is a
// stop: the handler stays, so the second hang-up of a closing terminal or a second Ctrl-C
// during the stop is absorbed until the files are closed. A run waiting for a silent
// co-simulation peer sees the request in the bridge's wait.
#include "simulation/sim-interrupt.h"

#include <csignal>
#include <cstdio>

#include "model/options.h"

namespace vexlar {

enum { STOP_SIGNALS = 3 };
static const int _stopSignals[STOP_SIGNALS] = {SIGINT, SIGTERM, SIGHUP};

static void requestStop(int) { _stopRequested = 1; }

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
        sigaction(_stopSignals[k], &sa, nullptr);
    }
}

// Installed once: a cyclic run starts its loop once a day.
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
