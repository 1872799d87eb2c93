// The building pressurization test (run mode 4): pressurizes the building with the
// mechanical system shut and reports the envelope leakage in ".val".
#pragma once

namespace vexlar {

void BldgPres();

}  // namespace vexlar
