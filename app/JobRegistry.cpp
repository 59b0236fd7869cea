#include "JobRegistry.h"

#include "ConvertCommands.h"
#include "JobCommands.h"

// The one place that names every job: each job folder offers one command, registered
// here under its launcher button's control id.
void registerJobs(JobCommands& commands) {
    commands.set(1008, runFolderToWma);
    commands.set(1009, runFolderToMp3);
    commands.set(1010, runWmaToWav);
    commands.set(1011, runMp3ToWav);
}
