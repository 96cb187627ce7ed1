// The one job-state instance and the pre-test name hook.
#include "archivers/job_state.h"

#include <mutex>

namespace {
std::mutex g_sinkLock;
TPreTestNameSink& Sink() {
    static TPreTestNameSink* sink = new TPreTestNameSink;
    return *sink;
}
}  // namespace

TJobState& JobState() {
    // Never destroyed: the worker may still read it while the process ends.
    static TJobState* state = new TJobState;
    return *state;
}

void SetPreTestNameSink(TPreTestNameSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    Sink() = std::move(sink);
}

void ReportPreTestName(const std::string& memberName) {
    TPreTestNameSink sink;
    {
        std::lock_guard<std::mutex> lock(g_sinkLock);
        sink = Sink();
    }
    if (sink) sink(memberName);
}
