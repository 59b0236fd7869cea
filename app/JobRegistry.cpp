#include "JobRegistry.h"

#include "JobCommands.h"

// The one place that names every job: each job folder offers one command, registered
// here under its launcher button's control id.
void registerJobs(JobCommands& commands) {
    (void)commands;
}
