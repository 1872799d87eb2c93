// The engine's version, as the version option prints it and as the log header and the
// results database record it.
#pragma once

namespace vexlar {

constexpr char VEXLAR_VERSION[] = "3.4.0.0";

}  // namespace vexlar
