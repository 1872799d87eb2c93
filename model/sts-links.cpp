// Heads of the link lists of the short-time-step duct model.
#include "model/sts-links.h"

namespace vexlar {

DuctLink* _duct0 = nullptr;
TerminalLink* _term0 = nullptr;
LeakLink* _leak0 = nullptr;

}  // namespace vexlar
