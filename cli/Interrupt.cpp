#include "Interrupt.h"

#include "Job.h"

#include <atomic>
#include <csignal>

namespace cld::cli {

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<engine::Job*> g_job{nullptr};

static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<engine::Job*>::is_always_lock_free);

extern "C" void onInterrupt(int) {
    // Only lock-free atomic stores here: Job::cancel() is one.
    g_interrupted.store(true);
    if (engine::Job* job = g_job.load())
        job->cancel();
}

} // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() {
    return g_interrupted.load();
}

void setRunningJob(engine::Job* job) {
    g_job.store(job);
    if (job && g_interrupted.load())
        job->cancel();
}

} // namespace cld::cli
