#pragma once

namespace cld::engine {
class Job;
}

// Ctrl+C (SIGINT) and SIGTERM: the running engine job is cancelled, nothing starts after
// it, and the program ends with the exit code of an interruption.
namespace cld::cli {

void installInterruptHandlers();
bool interrupted();
// The job a signal cancels while it runs (null: none runs). A job set after a signal came
// is cancelled at once.
void setRunningJob(engine::Job* job);

// Sets the running job for a scope.
class RunningJobScope {
public:
    explicit RunningJobScope(engine::Job& job) { setRunningJob(&job); }
    ~RunningJobScope() { setRunningJob(nullptr); }
    RunningJobScope(const RunningJobScope&) = delete;
    RunningJobScope& operator=(const RunningJobScope&) = delete;
};

} // namespace cld::cli
