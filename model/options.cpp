// Command-line options and co-simulation flags of the run (see options.h).
#include "model/options.h"

namespace vexlar {

int _doInput = 0;
int _doDOSwdw = 0;
int _doBridge = 0;
int _wPBridge = 1;
int _vFBridge = 0;
int _doBridgeMf = 0;
volatile sig_atomic_t _stopRequested = 0;

}  // namespace vexlar
