// The building pressurization test (run mode 4): pressurizes the building with the
// mechanical system shut and reports the envelope leakage in ".val".
#pragma once

namespace vexlar {

void BldgPres();

// Closes the ".val" report of either building test if it is still open; with `flag` set,
// removes the report when this run created it (a run ending by a FATAL keeps no partial
// report).
void set_uval_close(int flag);

}  // namespace vexlar
