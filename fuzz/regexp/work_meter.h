// The work the regular-expression engine does, counted without a clock: in the fuzz build the engine's code
// is compiled to call a hook on every branch edge it takes, and the hook counts them. The same input counts
// the same on any machine under any load.
#pragma once

#include <cstdint>

namespace regexp_fuzz {

// Edges the engine has taken since the program started.
uint64_t EngineEdges();

}  // namespace regexp_fuzz
