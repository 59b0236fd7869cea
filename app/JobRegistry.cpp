#include "JobRegistry.h"

#include "COptionsDlg.h"
#include "GrabCommands.h"
#include "JobCommands.h"
#include "RecordJobs.h"
#include "VideoJobs.h"

// The one place that names every job: each job folder offers one command, registered
// here under its launcher button's control id.
void registerJobs(JobCommands& commands) {
    commands.set(1005, runCdToWav);
    commands.set(57671, [](JobContext& context, QWidget* launcher) {
        runOptionsCommand(context, launcher);
    });
    commands.set(1006, RunWmaRecorder);
    commands.set(1007, RunMp3Recorder);
    commands.set(1012, runAVI2WMVJob);
    commands.set(1013, runCapture2WMVJob);
}
