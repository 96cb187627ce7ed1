// The edge hook of the engine's instrumented code. The instrumentation calls __sanitizer_cov_trace_pc, which
// libFuzzer defines too; the link renames the engine's calls to the wrapper here (-Wl,--wrap), so libFuzzer's
// own coverage (its inline counters) stays as it is. This file is built without instrumentation.
#include "work_meter.h"

namespace {
uint64_t edges = 0;  // one thread compiles
}

extern "C" void __wrap___sanitizer_cov_trace_pc() { ++edges; }

namespace regexp_fuzz {
uint64_t EngineEdges() { return edges; }
}  // namespace regexp_fuzz
